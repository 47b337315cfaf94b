// The targets of ImGui's assertion and item hooks in the native build,
// installed by the test harness.
#pragma once
#include "imgui.h"

namespace testsupport {

using ImGuiAssertHandler = void (*)(const char* expression, const char* file, int line);
void SetImGuiAssertHandler(ImGuiAssertHandler handler);  // null: print and abort

struct ImGuiItemHooks {
    void (*itemAdd)(ImGuiContext* context, ImGuiID id, ImVec2 min, ImVec2 max) = nullptr;     // laid out
    void (*itemInfo)(ImGuiContext* context, ImGuiID id, const char* label, int flags) = nullptr;  // its label
};
void SetImGuiItemHooks(const ImGuiItemHooks& hooks);

}  // namespace testsupport
