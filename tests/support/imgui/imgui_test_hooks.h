// Installs the targets of ImGui's assertion and item hooks (native build).
// Used by the test harness; nothing else needs it.
#pragma once
#include "imgui.h"

namespace testsupport {

using ImGuiAssertHandler = void (*)(const char* expression, const char* file, int line);
// Null restores the default (print and abort).
void SetImGuiAssertHandler(ImGuiAssertHandler handler);

struct ImGuiItemHooks {
    // An item was laid out with this identifier and rectangle.
    void (*itemAdd)(ImGuiContext* context, ImGuiID id, ImVec2 min, ImVec2 max) = nullptr;
    // A widget told its label (and status flags) for an identifier.
    void (*itemInfo)(ImGuiContext* context, ImGuiID id, const char* label, int flags) = nullptr;
};
void SetImGuiItemHooks(const ImGuiItemHooks& hooks);

}  // namespace testsupport
