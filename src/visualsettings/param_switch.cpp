#include "visualsettings/param_switch.h"

#include <cstring>

#include "core/editor_state.h"
#include "game/before_after.h"
#include "platform/clock.h"
#include "runtime/group_appliers.h"
#include "runtime/guarded_memory.h"
#include "visualsettings/binding.h"
#include "visualsettings/car_lod.h"
#include "visualsettings/code_patch_publishers.h"
#include "visualsettings/live_write.h"
#include "visualsettings/pointer_map.h"
#include "visualsettings/puddles.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/traffic_lights.h"
#include "visualsettings/volume_colour.h"
#include "visualsettings/walkers.h"

namespace visualsettings {

SwitchState Switch;

namespace {

constexpr const char* kUnmappedNotice =
    "Before / after restored manual visualsettings.dat overrides only; imported file has unmapped values.";

void ShownAgain() {
    if (Switch.importHasUnmapped.Get() != 0) SetStatus(Switch.importExportStatus, kUnmappedNotice);
    else runtime::GroupAppliers.importFollow.Set(1);
}

bool Writes(const VisualSettingsParam& row) {
    return row.overridden || (runtime::GroupAppliers.importFollow.Get() != 0 && row.differs);
}

}  // namespace

void FinishVisualSettingsSwitch() {
    if (game::BeforeAfter.VisualSettingsSwitchPending.Exchange(0) == 0) return;
    if (core::Editor.VisualSettingsAfterShown.Get() == 0) ApplyAllVisualSettingsLive(false, false);
    else ShownAgain();
    VisualSettingsBeforeAfter();
}

void VisualSettingsBeforeAfter() {
    BindWhenBasesMissing();
    InstallCodePatchesAndPublish();
    const uint8_t shown = core::Editor.VisualSettingsAfterShown.Get() != 0 ? 1 : 0;
    if (Switch.lastApplied.Exchange(shown) != shown && shown) ShownAgain();
    if (VisualSettingsLive.VisualSettingsLivePaused.Get() != 0) {
        ApplyBlackoutToTrafficLights();
        return;
    }
    StartPuddlesKeeperWhenAsked();
    if (shown) {
        ApplyAllParamsShown();
        const uint64_t now = platform::TickCount64();
        const uint64_t last = Switch.specialKeysReapplyMs.Get();
        if (core::Editor.VisualSettingsAfterShown.Get() != 0 && (last == 0 || now < last || now - last >= kSpecialKeysReapplyMs)) {
            Switch.specialKeysReapplyMs.Set(now != 0 ? now : 1);
            ReapplySpecialVisualSettings();
        }
        for (const char* group : kTrafficLightColorGroups) {
            if (IsTrafficLightColorOverridden(group)) WriteTrafficLightColorGroup(group);
        }
        ApplyBlackoutToTrafficLights();
        runtime::GroupAppliers.importFollow.Set(0);
        return;
    }
    PublishPuddlesValues();
    ApplyCodePatchKeys();
    PublishAutoLiveWriteValues();
    ApplyBlackoutToTrafficLights();
}

void ApplyAllParamsShown() {
    for (const ParamArray& array : ParamArrays()) {
        if (array.base == ArrayBase::BrightFilmic && Binding.filmicBlockFound.Get() == 0) continue;
        const uint64_t base = ArrayBaseAddress(array);
        for (VisualSettingsParam& row : array.Rows()) ApplyOverriddenParam(row, base);
    }
    const bool follow = runtime::GroupAppliers.importFollow.Get() != 0;
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) {
        runtime::LiveOverrideSlot& slot = DarkFilmicSlot(i);
        if (!slot.enabled && !(follow && slot.followImport)) continue;
        const float v = slot.value;
        if (runtime::SafeWriteFloat(slot.address, v)) {
            WritePointerMapTargets(slot.name, v);
            slot.liveValue = v;
            slot.liveReadable = 1;
        } else {
            slot.liveReadable = 0;
        }
    }
}

void ApplyOverriddenParam(VisualSettingsParam& row, uint64_t base) {
    const KeyClass kind = ClassOfRow(row);
    if (kind == KeyClass::Hidden) {
        row.overridden = 0;
        row.applied = 0;
        return;
    }
    if (!Writes(row)) return;
    const float v = row.value;
    switch (kind) {
    case KeyClass::PuddlesScale:
        PublishPuddlesScale(ToGameUnits(row, v), core::Editor.VisualSettingsAfterShown.Get() != 0);
        row.appliedValue = v;
        row.applied = CaptureHookInstalled() ? 1 : 0;
        return;
    case KeyClass::PuddlesPublished:
        PublishPuddlesValues();
        row.appliedValue = v;
        row.applied = CaptureHookInstalled() ? 1 : 0;
        return;
    case KeyClass::Ripple:
    case KeyClass::CarLodDistance:
    case KeyClass::RuntimeSlider: {
        const bool ok = WriteSpecialParam(row, v);
        row.applied = ok ? 1 : 0;
        if (ok) row.appliedValue = v;
        return;
    }
    case KeyClass::TrafficLightComponent: {
        const char* group = TrafficLightGroupKey(row.key);
        row.applied = group != nullptr && WriteTrafficLightColorGroup(group) ? 1 : 0;
        return;
    }
    case KeyClass::VolumeColor: row.applied = SyncVolumeColor() ? 1 : 0; return;
    default: {
        const bool ok = WriteSpecialParam(row, v);
        if (ok) row.appliedValue = v;
        row.applied = ok ? 1 : 0;
        WriteParamOtherTargets(row, base, ToGameUnits(row, v));
        return;
    }
    }
}

bool AnyVisualSettingsGroupEdited() {
    const VisualSettingsLayout* (*load)() = Switch.loadLayout.Get();
    const VisualSettingsLayout* layout = load != nullptr ? load() : nullptr;
    if (layout == nullptr || layout->empty()) return false;
    VisibleRows rows;
    VisibleSlots slots;
    CollectVisibleVisualRows(rows, slots);
    for (const VisualSettingsSection& section : *layout) {
        if (SectionHasEditedRow(section, rows, slots)) return true;
    }
    return false;
}

void ResetSwitchForTesting() {
    Switch.lastApplied.Set(1);
    runtime::GroupAppliers.importFollow.Set(0);
    Switch.importHasUnmapped.Set(0);
    Switch.specialKeysReapplyMs.Set(0);
    Switch.loadLayout.Set(nullptr);
    ResetStatus(Switch.importExportStatus);
}

}  // namespace visualsettings
