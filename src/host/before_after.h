// Before/after: the four configurable hotkeys that switch between the
// editor's values (after) and the game's own (before), for the timecycle,
// the visualsettings, both, or everything the editor writes live. The flags
// themselves (TimecycleAfterShown, VisualSettingsAfterShown) are in
// editor_state.h; the hold buttons of the tabs write them too.
#pragma once
#include <atomic>
#include <cstdint>

namespace host {

// Set when a hotkey or the Visualsettings tab's hold button changed
// VisualSettingsAfterShown; the visualsettings switch consumes it on the next tick.
extern std::atomic<uint8_t> VisualSettingsSwitchPending;
// 1 while the all-live hotkey holds everything in the before state.
extern std::atomic<uint8_t> AllBeforeShown;
// 1 while the UI takes text input (stored by the overlay every frame); the
// hotkeys do not fire meanwhile, so typing never flips before/after.
extern std::atomic<uint8_t> UiTakingTextInput;

// What the all-live hotkey asks of the other editors. An entry that is null
// is not built and is skipped. `changed` is set (never cleared) by a call
// that wrote anything.
struct BeforeAfterCallees {
    // Refreshes the timecycle groups' edited flags; true when one is edited.
    bool (*anyTimecycleGroupEdited)() = nullptr;
    bool (*anyVisualSettingsGroupEdited)() = nullptr;
    void (*modifierAllLiveBeforeAfter)(uint8_t before, uint8_t* changed) = nullptr;
    void (*showWeatherDocsBeforeAfter)(uint8_t before, uint8_t* changed) = nullptr;
};
extern BeforeAfterCallees BeforeAfterCalls;

// First step of every tick: polls the four hotkeys in the order Timecycle,
// VisualSettings, Both, AllLive. A hotkey fires on the press edge of its key
// (key-down bit), never while the UI takes text input or the game is not in
// front (HostServices::gameWindowInFront); a change of the chosen key never
// counts as a press.
void PollHotkeys();

// Back to the state at process start (tests).
void ResetBeforeAfterState();

}  // namespace host
