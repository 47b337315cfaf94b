#include "host/tick.h"

#include "host/before_after.h"
#include "host/clock_timelapse.h"
#include "host/editor_state.h"
#include "host/free_camera.h"
#include "host/game_controls.h"
#include "host/natives.h"
#include "host/tick_groups.h"
#include "host/tick_wiring.h"
#include "platform/clock.h"
#include "shell/game_control_settings.h"

namespace host {

std::atomic<int32_t> TimecycleRereadFrames{0};
uint64_t SlotRefreshStamp = 0;
std::atomic<uint8_t> VisualSettingsRefreshTick{0};
std::atomic<uint8_t> PatchesClearedForImport{0};

namespace {

constexpr uint64_t kSlotRefreshInterval = 250;  // ms

void FollowGameClock() {
    if (!GameClockReadDue(platform::TickCount64())) return;
    const ClockTime t = ReadGameClock();
    RecordGameClock(t.hours, t.minutes, t.seconds);
}

void RefreshModifierWhenBusy() {
    if (!MenuOpen.load() && !TickTest("ModifierWorkPending")) return;
    CallTickStep("RefreshModifier");
    CallTickStep("StepModifierLiveResolve");
}

void TakeWeatherRequest() {
    const int32_t request = WeatherRequest.exchange(-1);
    const uint32_t weather = static_cast<uint32_t>(request);
    if (weather > 17) return;
    if (TickCalls.isTimecycleFileWeather && !TickCalls.isTimecycleFileWeather(weather)) return;
    if (SetGameWeather(request)) RaiseTimecycleRereadFrames(3);
}

void AssertHud() {
    const bool visible = shell::GameControlFlags.GameHudVisible;
    CallNative(kNativeHudVisible, {BoolArg(visible)});
    CallNative(kNativeRadarVisible, {BoolArg(visible)});
    if (!visible) CallNative(kNativeHideHudFrame);
}

void UpdateSlotRefreshTick() {
    if (!MenuOpen.load()) {
        SlotRefreshStamp = 0;
        SlotRefreshTick.store(0);
        return;
    }
    const uint64_t now = platform::TickCount64();
    if (SlotRefreshStamp != 0 && now - SlotRefreshStamp < kSlotRefreshInterval) {
        SlotRefreshTick.store(0);
    } else {
        SlotRefreshStamp = now;
        SlotRefreshTick.store(1);
    }
}

void RefreshSlots() {
    if (TickCalls.refreshSlot)
        for (const char* slot : TickLightDirSlots()) TickCalls.refreshSlot(slot);
    VisualSettingsRefreshTick.store(SlotRefreshTick.load());
    if (TickCalls.refreshRun)
        for (const SlotRun& run : TickRefreshRuns()) TickCalls.refreshRun(run.first, run.last);
}

void ApplyOrRestore() {
    switch (SelectTickMode()) {
    case TickMode::Before:
        CallTickStep("VisualSettingsBeforeAfter");
        CallTickStep("ClearWriteListCount");
        RestoreAllTickPatches();
        break;
    case TickMode::Imported:
        CallTickStep("VisualSettingsBeforeAfter");
        CallTickStep("ClearWriteListCount");
        if (!PatchesClearedForImport.load()) {
            RestoreAllTickPatches();
            PatchesClearedForImport.store(1);
        }
        RunGroupsImported();
        break;
    case TickMode::Override:
        PatchesClearedForImport.store(0);
        RunGroupsOverride();
        CallTickStep("ClearWriteListCount");
        CallTickStep("VisualSettingsBeforeAfter");
        break;
    }
}

}  // namespace

void RestoreAllTickPatches() {
    CallTickStep("RestoreAllPatches");
    RestoreTickStorePatches();
}

void RaiseTimecycleRereadFrames(int32_t frames) {
    int32_t current = TimecycleRereadFrames.load();
    while (current < frames && !TimecycleRereadFrames.compare_exchange_weak(current, frames)) {
    }
}

TickMode SelectTickMode() {
    if (!TimecycleAfterShown.load()) return TickMode::Before;
    if (TickTest("ImportedOverridesActive") && TickTest("ContextHasEdits")) return TickMode::Imported;
    return TickMode::Override;
}

void ScriptTick() {
    PollHotkeys();
    CallTickStep("SyncTimecycleBeforeAfter");
    CallTickStep("FinishVisualSettingsSwitch");
    ApplyClockRequest();
    TimelapseTick();
    FollowGameClock();
    RefreshModifierWhenBusy();
    TakeWeatherRequest();
    AssertHud();
    ApplyWorldToggles();
    FreeCameraTick();
    UpdateSlotRefreshTick();
    RefreshSlots();
    ApplyOrRestore();
}

void ResetTickState() {
    TimecycleRereadFrames.store(0);
    SlotRefreshStamp = 0;
    SlotRefreshTick.store(0);
    VisualSettingsRefreshTick.store(0);
    PatchesClearedForImport.store(0);
    ResetTickGroupState();
    ForgetTickStoreProbes();
}

}  // namespace host
