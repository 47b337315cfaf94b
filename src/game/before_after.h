// Before/after: the four configurable hotkeys that switch between the
// editor's values (after) and the game's own (before), for the timecycle,
// the visualsettings, both, or everything the editor writes live. The flags
// themselves (Editor.TimecycleAfterShown, Editor.VisualSettingsAfterShown) are in
// editor_state.h; the hold buttons of the tabs write them too.
#pragma once
#include <array>
#include <cstdint>

#include "core/shared_value.h"

namespace game {

// The hotkeys' state. The two flags are written by the hotkeys (script
// fiber) and the tabs (render thread) and taken by the tick; the text-input
// flag is stored by the overlay (render thread); the in-front test is set
// at process start with the host services; the polled keys are the script
// fiber's only.
struct BeforeAfterState {
    // Set when a hotkey or the Visualsettings tab's hold button changed
    // Editor.VisualSettingsAfterShown; the visualsettings switch consumes it on the next tick.
    core::SharedValue<uint8_t> VisualSettingsSwitchPending{0};
    // 1 while the all-live hotkey holds everything in the before state.
    core::SharedValue<uint8_t> AllBeforeShown{0};
    // 1 while the UI takes text input (stored by the overlay every frame); the
    // hotkeys do not fire meanwhile, so typing never flips before/after.
    core::SharedValue<uint8_t> UiTakingTextInput{0};
    // Whether the game is in front, for the hotkeys: the host's test over the
    // window the overlay captured, set together with the host services
    // (HostServices::gameWindowInFront). Null: the platform's own test.
    bool (*GameInFrontTest)() = nullptr;
    // Per hotkey (Timecycle, VisualSettings, Both, AllLive): the key polled on
    // the previous tick and whether it was down.
    std::array<uint32_t, 4> PolledKey{};
    std::array<bool, 4> WasDown{};
};
extern BeforeAfterState BeforeAfter;

// Whether the game is in front, for the before/after hotkeys. With a window
// captured by the overlay (the one it reads input from, the swap chain's
// window when the game's window class was not found), the foreground
// window must be that window or its top-level window; before the capture,
// any window of the game's process counts. Window handles as integers, 0 =
// none.
bool GameIsInFront(uint64_t foreground, bool foregroundInGameProcess, uint64_t captured, uint64_t capturedTopLevel);

// First step of every tick: polls the four hotkeys in the order Timecycle,
// VisualSettings, Both, AllLive. A hotkey fires on the press edge of its key
// (key-down bit), never while the UI takes text input or the game is not in
// front (GameInFrontTest); a change of the chosen key never
// counts as a press. The all-live hotkey asks the editors through the
// entries runtime::Entries().beforeAfter, each skipped while it is null.
void PollHotkeys();

// Back to the state at process start, the in-front test too (tests).
void ResetBeforeAfterState();

}  // namespace game
