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
#include "runtime/editor_entries.h"
#include "runtime/live_slots.h"
#include "runtime/override_patches.h"

namespace host {

TickState Tick;

namespace {

// The layers fill the editor's entry table at process start, before anything runs.
[[maybe_unused]] const bool g_entriesWired = (WireEditorEntries(), true);

constexpr uint64_t kSlotRefreshInterval = 250;  // ms

const runtime::TickStepEntries& Steps() { return runtime::Entries().tick; }

void FollowGameClock() {
    if (!game::GameClockReadDue(platform::TickCount64())) return;
    const game::ClockTime t = game::ReadGameClock();
    game::RecordGameClock(t.hours, t.minutes, t.seconds);
}

void RefreshModifierWhenBusy() {
    if (!core::Editor.MenuOpen.Get() && !EntryHolds(Steps().modifierWorkPending)) return;
    CallEntry(Steps().refreshModifier);
    CallEntry(Steps().stepModifierLiveResolve);
}

// A weather the tabs asked for, to a weather with a timecycle file only
// (a load's request keeps the timecycle slots as loaded).
void TakeWeatherRequest() { game::ServeWeatherRequest(Steps().isTimecycleFileWeather); }

void AssertHud() {
    const bool visible = core::GameControlFlags.GameHudVisible;
    game::CallNative(game::kNativeHudVisible, {game::BoolArg(visible)});
    game::CallNative(game::kNativeRadarVisible, {game::BoolArg(visible)});
    if (!visible) game::CallNative(game::kNativeHideHudFrame);
}

void UpdateSlotRefreshTick() {
    if (!core::Editor.MenuOpen.Get()) {
        Tick.SlotRefreshStamp = 0;
        core::Editor.SlotRefreshTick.Set(0);
        return;
    }
    const uint64_t now = platform::TickCount64();
    if (Tick.SlotRefreshStamp != 0 && now - Tick.SlotRefreshStamp < kSlotRefreshInterval) {
        core::Editor.SlotRefreshTick.Set(0);
    } else {
        Tick.SlotRefreshStamp = now;
        core::Editor.SlotRefreshTick.Set(1);
    }
}

// The light-direction slots (the members of the LightDir part), then the runs.
void RefreshSlots() {
    const bool refreshTick = core::Editor.MenuOpen.Get() != 0 && core::Editor.SlotRefreshTick.Get() != 0;
    for (const runtime::PartMember& member : runtime::Part(PartId::LightDir).members)
        runtime::RefreshLiveSlot(runtime::Slot(member.slot), false, refreshTick);
    Tick.VisualSettingsRefreshTick.Set(core::Editor.SlotRefreshTick.Get());
    for (const SlotRun& run : TickRefreshRuns()) {
        runtime::LiveOverrideSlot* first = &runtime::Slot(run.first);
        for (size_t i = 0; i < runtime::SlotRunLength(run.first, run.last); ++i)
            runtime::RefreshLiveSlot(first[i], false, refreshTick);
    }
}

void ApplyOrRestore() {
    runtime::RunRequestedRestore();  // a timecycle preview's
    switch (SelectTickMode()) {
    case TickMode::Before:
        CallEntry(Steps().visualSettingsBeforeAfter);
        CallEntry(Steps().clearWriteListCount);
        RestoreAllTickPatches();
        break;
    case TickMode::Imported:
        CallEntry(Steps().visualSettingsBeforeAfter);
        CallEntry(Steps().clearWriteListCount);
        if (!Tick.PatchesClearedForImport.Get()) {
            RestoreAllTickPatches();
            Tick.PatchesClearedForImport.Set(1);
        }
        RunGroupsImported();
        break;
    case TickMode::Override:
        Tick.PatchesClearedForImport.Set(0);
        RunGroupsOverride();
        CallEntry(Steps().clearWriteListCount);
        CallEntry(Steps().visualSettingsBeforeAfter);
        break;
    }
}

}  // namespace

void RestoreAllTickPatches() {
    CallEntry(Steps().restoreAllPatches);
    RestoreTickStorePatches();
}

TickMode SelectTickMode() {
    if (!core::Editor.TimecycleAfterShown.Get()) return TickMode::Before;
    if (EntryHolds(Steps().importedOverridesActive) && EntryHolds(Steps().contextHasEdits)) return TickMode::Imported;
    return TickMode::Override;
}

void ScriptTick() {
    game::PollHotkeys();
    CallEntry(Steps().syncTimecycleBeforeAfter);
    CallEntry(Steps().finishVisualSettingsSwitch);
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
    core::Editor.TimecycleRereadFrames.Set(0);
    Tick.SlotRefreshStamp = 0;
    core::Editor.SlotRefreshTick.Set(0);
    Tick.VisualSettingsRefreshTick.Set(0);
    Tick.PatchesClearedForImport.Set(0);
    ResetTickGroupState();
    ForgetTickStoreProbes();
}

}  // namespace host
