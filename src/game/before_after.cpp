#include "game/before_after.h"

#include <array>

#include "core/editor_state.h"
#include "core/settings.h"
#include "platform/input.h"
#include "runtime/editor_entries.h"

namespace game {

BeforeAfterState BeforeAfter;

namespace {

enum Hotkey { kTimecycle, kVisualSettings, kBoth, kAllLive, kHotkeyCount };

static_assert(kHotkeyCount == std::tuple_size_v<decltype(BeforeAfterState::PolledKey)>);

const core::SharedValue<uint32_t>& HotkeyIndex(int hotkey) {
    switch (hotkey) {
    case kTimecycle: return core::UiSettings.TimecycleBeforeAfterHotkey;
    case kVisualSettings: return core::UiSettings.VisualSettingsBeforeAfterHotkey;
    case kBoth: return core::UiSettings.BothBeforeAfterHotkey;
    default: return core::UiSettings.AllLiveBeforeAfterHotkey;
    }
}

bool Fired(int hotkey, bool blocked) {
    uint32_t index = HotkeyIndex(hotkey);
    if (index >= core::BeforeAfterHotkeyTable.size()) index = 0;
    const uint32_t key = core::BeforeAfterHotkeyTable[index].virtualKey;
    const size_t h = static_cast<size_t>(hotkey);
    if (key == 0) {
        BeforeAfter.PolledKey[h] = 0;
        BeforeAfter.WasDown[h] = false;
        return false;
    }
    const bool down = platform::IsKeyDown(static_cast<int>(key));
    const bool sameKey = BeforeAfter.PolledKey[h] == key;
    const bool pressed = sameKey && down && !BeforeAfter.WasDown[h];
    BeforeAfter.PolledKey[h] = key;
    BeforeAfter.WasDown[h] = down;
    return pressed && !blocked;
}

void ShowVisualSettings(uint8_t after) {
    if (core::Editor.VisualSettingsAfterShown.Exchange(after) != after) BeforeAfter.VisualSettingsSwitchPending.Set(1);
}

bool Holds(bool (*test)()) { return test != nullptr && test(); }

// The modifier and weather-document steps of the all-live hotkey.
void AskLiveEditors(uint8_t before, uint8_t* changed) {
    const runtime::BeforeAfterEntries& editors = runtime::Entries().beforeAfter;
    if (editors.modifierAllLiveBeforeAfter) editors.modifierAllLiveBeforeAfter(before, changed);
    if (editors.showWeatherDocsBeforeAfter) editors.showWeatherDocsBeforeAfter(before, changed);
}

void EnterAllBefore() {
    const runtime::BeforeAfterEntries& editors = runtime::Entries().beforeAfter;
    uint8_t changed = 0;
    if (Holds(editors.anyTimecycleGroupEdited)) {
        core::Editor.TimecycleAfterShown.Set(0);
        changed = 1;
    }
    if (Holds(editors.anyVisualSettingsGroupEdited)) {
        ShowVisualSettings(0);
        changed = 1;
    }
    AskLiveEditors(1, &changed);
    BeforeAfter.AllBeforeShown.Set(changed);
}

void LeaveAllBefore() {
    uint8_t changed = 0;
    core::Editor.TimecycleAfterShown.Set(1);
    ShowVisualSettings(1);
    AskLiveEditors(0, &changed);
    BeforeAfter.AllBeforeShown.Set(0);
}

}  // namespace

void PollHotkeys() {
    core::ValidateHotkeys();
    const bool inFront = BeforeAfter.GameInFrontTest ? BeforeAfter.GameInFrontTest() : platform::GameWindowIsForeground();
    const bool blocked = (core::Editor.MenuOpen.Get() && BeforeAfter.UiTakingTextInput.Get()) || !inFront;
    bool fired[kHotkeyCount];
    for (int h = 0; h < kHotkeyCount; ++h) fired[h] = Fired(h, blocked);

    if (fired[kTimecycle]) core::Editor.TimecycleAfterShown.Set(core::Editor.TimecycleAfterShown.Get() ? 0 : 1);
    if (fired[kVisualSettings]) {
        core::Editor.VisualSettingsAfterShown.Set(core::Editor.VisualSettingsAfterShown.Get() ? 0 : 1);
        BeforeAfter.VisualSettingsSwitchPending.Set(1);
    }
    if (fired[kBoth]) {
        const uint8_t v = (core::Editor.TimecycleAfterShown.Get() == 0 && core::Editor.VisualSettingsAfterShown.Get() == 0) ? 1 : 0;
        core::Editor.TimecycleAfterShown.Set(v);
        ShowVisualSettings(v);
    }
    if (fired[kAllLive]) {
        if (BeforeAfter.AllBeforeShown.Get() == 0) EnterAllBefore();
        else LeaveAllBefore();
    }
}

bool GameIsInFront(uint64_t foreground, bool foregroundInGameProcess, uint64_t captured, uint64_t capturedTopLevel) {
    if (foreground == 0) return false;
    if (captured == 0) return foregroundInGameProcess;
    return foreground == captured || foreground == capturedTopLevel;
}

void ResetBeforeAfterState() {
    BeforeAfter.VisualSettingsSwitchPending.Set(0);
    BeforeAfter.AllBeforeShown.Set(0);
    BeforeAfter.UiTakingTextInput.Set(0);
    BeforeAfter.GameInFrontTest = nullptr;
    BeforeAfter.PolledKey.fill(0);
    BeforeAfter.WasDown.fill(false);
}

}  // namespace game
