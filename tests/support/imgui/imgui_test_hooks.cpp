// Built into Dear ImGui in the native build (see imgui_test_config.h): the
// hook targets forward to what the test harness installed.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "imgui.h"
#include "imgui_internal.h"
#include "imgui_test_hooks.h"

namespace testsupport {
namespace {
ImGuiAssertHandler g_assertHandler = nullptr;
ImGuiItemHooks g_itemHooks{};
}  // namespace

void SetImGuiAssertHandler(ImGuiAssertHandler handler) { g_assertHandler = handler; }
void SetImGuiItemHooks(const ImGuiItemHooks& hooks) { g_itemHooks = hooks; }

void ImGuiAssertFailed(const char* expression, const char* file, int line) {
    if (g_assertHandler != nullptr) {
        g_assertHandler(expression, file, line);
        return;
    }
    std::fprintf(stderr, "Dear ImGui assertion failed: %s (%s:%d)\n", expression, file, line);
    std::abort();
}

}  // namespace testsupport

void ImGuiTestEngineHook_ItemAdd(ImGuiContext* ctx, ImGuiID id, const ImRect& bb, const ImGuiLastItemData*) {
    if (testsupport::g_itemHooks.itemAdd != nullptr) testsupport::g_itemHooks.itemAdd(ctx, id, bb.Min, bb.Max);
}

void ImGuiTestEngineHook_ItemInfo(ImGuiContext* ctx, ImGuiID id, const char* label, ImGuiItemStatusFlags flags) {
    if (testsupport::g_itemHooks.itemInfo != nullptr) testsupport::g_itemHooks.itemInfo(ctx, id, label, flags);
}

void ImGuiTestEngineHook_Log(ImGuiContext*, const char*, ...) {}

const char* ImGuiTestEngine_FindItemDebugLabel(ImGuiContext*, ImGuiID) { return nullptr; }
