#include "visualsettings/visualsettings_entries.h"

#include <chrono>

#include "core/editor_state.h"
#include "platform/clock.h"
#include "runtime/group_appliers.h"
#include "runtime/live_writes.h"
#include "runtime/scans.h"
#include "visualsettings/binding.h"
#include "visualsettings/car_lod.h"
#include "visualsettings/code_patch_publishers.h"
#include "visualsettings/live_write.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/pointer_map.h"
#include "visualsettings/puddles.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/traffic_lights.h"
#include "visualsettings/volume_colour.h"

namespace visualsettings {

void FillVisualSettingsEntries(runtime::EditorEntries& entries) {
    RegisterBindingSearches();
    // What the live-write runtime asks of the parameters: a generated live
    // write's lane value by key, and the pointer map after a slot's direct write.
    runtime::LiveWrites.findParamValue = &FindLaneParamValue;
    runtime::GroupAppliers.onDirectWrite = [](const char* name, float value) { WritePointerMapTargets(name, value); };
    entries.tick.finishVisualSettingsSwitch = &FinishVisualSettingsSwitch;
    entries.tick.visualSettingsBeforeAfter = &VisualSettingsBeforeAfter;
    entries.beforeAfter.anyVisualSettingsGroupEdited = &AnyVisualSettingsGroupEdited;
}

void StartVisualSettings() {
    BindVisualSettingsParams();
    InitVisualSettingsDefaults();
}

void OverlayFrame(bool (*bindDue)()) {
    if (core::Editor.VisualSettingsAfterShown.Get() != 0 && runtime::GameImageBase() != 0 && BindingBaseMissing() &&
        (bindDue == nullptr || bindDue()))
        BindVisualSettingsParams();
    PuddlesRenderHook(PuddlesRenderPoint::Present);
}

bool StopVisualSettings(uint32_t timeoutMs) {
    // Both are asked to stop first, so that they end together.
    RuntimeTable.stop.Set(1);
    Puddles.keeperStop.Set(1);
    const auto start = std::chrono::steady_clock::now();
    const bool table = StopRuntimeTableLocator(timeoutMs);
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const uint32_t left = timeoutMs == platform::kWaitForever ? timeoutMs
                          : spent.count() >= timeoutMs      ? 0
                                                            : timeoutMs - static_cast<uint32_t>(spent.count());
    const bool keeper = StopPuddlesKeeper(left);
    return table && keeper;
}

void ResetVisualSettingsForTesting() {
    ResetParamTableForTesting();
    ResetBindingForTesting();
    ResetRuntimeTableForTesting();
    ResetPointerMapForTesting();
    ResetCarLodForTesting();
    ResetPuddlesForTesting();
    ResetTrafficLightsForTesting();
    ResetVolumeColorForTesting();
    ResetSwitchForTesting();
    ResetPublishersForTesting();
    VisualSettingsLive.VisualSettingsLivePaused.Set(0);
}

}  // namespace visualsettings
