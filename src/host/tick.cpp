#include "host/tick.h"

#include "core/editor_state.h"
#include "core/game_control_settings.h"
#include "game/before_after.h"
#include "game/clock_timelapse.h"
#include "game/free_camera.h"
#include "game/game_controls.h"
#include "game/natives.h"
#include "host/tick_groups.h"
#include "host/tick_wiring.h"
#include "platform/clock.h"

namespace host {

uint64_t SlotRefreshStamp = 0;
std::atomic<uint8_t> VisualSettingsRefreshTick{0};
std::atomic<uint8_t> PatchesClearedForImport{0};

namespace {

constexpr uint64_t kSlotRefreshInterval = 250;  // ms

void FollowGameClock() {
    if (!game::GameClockReadDue(platform::TickCount64())) return;
    const game::ClockTime t = game::ReadGameClock();
    game::RecordGameClock(t.hours, t.minutes, t.seconds);
}

void RefreshModifierWhenBusy() {
    if (!core::MenuOpen.load() && !TickTest("ModifierWorkPending")) return;
    CallTickStep("RefreshModifier");
    CallTickStep("StepModifierLiveResolve");
}

void TakeWeatherRequest() {
    const int32_t request = game::WeatherRequest.exchange(-1);
    const uint32_t weather = static_cast<uint32_t>(request);
    if (weather > 17) return;
    if (TickCalls.isTimecycleFileWeather && !TickCalls.isTimecycleFileWeather(weather)) return;
    if (game::SetGameWeather(request)) core::RaiseTimecycleRereadFrames(3);
}

void AssertHud() {
    const bool visible = core::GameControlFlags.GameHudVisible;
    game::CallNative(game::kNativeHudVisible, {game::BoolArg(visible)});
    game::CallNative(game::kNativeRadarVisible, {game::BoolArg(visible)});
    if (!visible) game::CallNative(game::kNativeHideHudFrame);
}

void UpdateSlotRefreshTick() {
    if (!core::MenuOpen.load()) {
        SlotRefreshStamp = 0;
        core::SlotRefreshTick.store(0);
        return;
    }
    const uint64_t now = platform::TickCount64();
    if (SlotRefreshStamp != 0 && now - SlotRefreshStamp < kSlotRefreshInterval) {
        core::SlotRefreshTick.store(0);
    } else {
        SlotRefreshStamp = now;
        core::SlotRefreshTick.store(1);
    }
}

void RefreshSlots() {
    if (TickCalls.refreshSlot)
        for (const char* slot : TickLightDirSlots()) TickCalls.refreshSlot(slot);
    VisualSettingsRefreshTick.store(core::SlotRefreshTick.load());
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

TickMode SelectTickMode() {
    if (!core::TimecycleAfterShown.load()) return TickMode::Before;
    if (TickTest("ImportedOverridesActive") && TickTest("ContextHasEdits")) return TickMode::Imported;
    return TickMode::Override;
}

void ScriptTick() {
    game::PollHotkeys();
    CallTickStep("SyncTimecycleBeforeAfter");
    CallTickStep("FinishVisualSettingsSwitch");
    game::ApplyClockRequest();
    game::TimelapseTick();
    FollowGameClock();
    RefreshModifierWhenBusy();
    TakeWeatherRequest();
    AssertHud();
    game::ApplyWorldToggles();
    game::FreeCameraTick();
    UpdateSlotRefreshTick();
    RefreshSlots();
    ApplyOrRestore();
}

void ResetTickState() {
    core::TimecycleRereadFrames.store(0);
    SlotRefreshStamp = 0;
    core::SlotRefreshTick.store(0);
    VisualSettingsRefreshTick.store(0);
    PatchesClearedForImport.store(0);
    ResetTickGroupState();
    ForgetTickStoreProbes();
}

}  // namespace host
