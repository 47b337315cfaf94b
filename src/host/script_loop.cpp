#include "host/script_loop.h"

#include "core/editor_state.h"
#include "core/settings.h"
#include "host/menu_hotkey.h"
#include "host/startup.h"
#include "host/tick.h"
#include "platform/input.h"
#include "platform/script_host.h"

namespace host {
namespace {
constexpr int kVkEscape = 27;
}  // namespace

void ScriptLoopBegin(ScriptLoopState& state) {
    ReadMenuHotkeyBeforeStart();
    state.menuKey = core::GetMenuHotkeyVk();
    state.menuKeyWasDown = platform::IsKeyDown(state.menuKey);
    state.escapeWasDown = platform::IsKeyDown(kVkEscape);
    state.started = false;
}

void ScriptLoopPass(ScriptLoopState& state) {
    const int32_t key = core::GetMenuHotkeyVk();
    if (key != state.menuKey) {
        state.menuKey = key;
        state.menuKeyWasDown = platform::IsKeyDown(key);
    }
    const bool down = platform::IsKeyDown(key);
    const bool pressed = down && !state.menuKeyWasDown;
    state.menuKeyWasDown = down;

    if (!state.started) {
        if (pressed) {
            BootstrapEditor();
            state.started = true;
            if (core::CanOpenMenu()) core::Editor.MenuOpen.Set(1);
        }
        return;
    }

    const bool esc = platform::IsKeyDown(kVkEscape);
    if (esc && !state.escapeWasDown) core::Editor.MenuOpen.Set(0);
    if (pressed) core::Editor.MenuOpen.Set(core::CanOpenMenu() ? (core::Editor.MenuOpen.Get() != 0 ? 0 : 1) : 0);
    ScriptTick();
    state.escapeWasDown = esc;
}

void ScriptMain() {
    ScriptLoopState state;
    ScriptLoopBegin(state);
    for (;;) {
        ScriptLoopPass(state);
        platform::ScriptWait(0);
    }
}

}  // namespace host
