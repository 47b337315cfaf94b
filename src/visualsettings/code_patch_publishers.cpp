#include "visualsettings/code_patch_publishers.h"

#include <cmath>

#include "core/editor_state.h"
#include "runtime/patch_tables.h"
#include "visualsettings/param_table.h"
#include "visualsettings/puddles.h"

namespace visualsettings {

PublisherState Publishers;

namespace {

bool Shown() { return core::Editor.VisualSettingsAfterShown.Get() != 0; }

// The row of a code-patch key: among the rain light rows, then the headlight rows.
VisualSettingsParam* CodePatchRow(const char* key) {
    if (VisualSettingsParam* row = FindParamInArray(ArrayByFirstKey(kRainLightArray), key)) return row;
    return FindParamInArray(ArrayByFirstKey(kHeadlightsArray), key);
}

// The lane rows of the selected generated live writes, found once.
const std::vector<std::array<VisualSettingsParam*, 4>>& LaneRows() {
    if (Publishers.lanesFound.Get() != 0) return Publishers.laneRows;
    std::lock_guard<std::mutex> lock(Publishers.laneMutex);
    if (Publishers.lanesFound.Get() == 0 && runtime::LiveWrites.selected) {
        Publishers.laneRows.assign(runtime::LiveWrites.autoCount, {});
        for (size_t i = 0; i < runtime::LiveWrites.autoCount; ++i) {
            const runtime::CodeSiteRow* row = runtime::LiveWrites.autos[i].row;
            for (size_t lane = 0; row != nullptr && lane < row->storeCount && lane < 4; ++lane)
                Publishers.laneRows[i][lane] = FindVisualSettingsParam(row->stores[lane].key);
        }
        Publishers.lanesFound.Set(1);
    }
    return Publishers.laneRows;
}

// The published range cells of a value: r - 1 and 1 / r, r = value x 7 kept
// at least 1e-6 from 0 (with its sign) for the division.
void PublishRange(float value) {
    const float r = value * 7.0f;
    float d = r;
    if (r >= 0.0f && std::fabs(r) < 1e-6f) d = 1e-6f;
    if (r < 0.0f && std::fabs(r) < 1e-6f) d = -1e-6f;
    runtime::PublishPuddleValue(1, r - 1.0f);
    runtime::PublishPuddleValue(2, 1.0f / d);
}

}  // namespace

const char* ManualLiveWriteKey(size_t i) {
    return i < runtime::kManualLiveWriteCount ? runtime::LiveWrites.manual[i].key : nullptr;
}

uint64_t ManualLiveWriteStoreTarget(size_t i) { return runtime::ReadMovssStoreTarget(i); }

void ApplyCodePatchKeys() {
    for (size_t i = 0; i < runtime::kManualLiveWriteCount; ++i) {
        const VisualSettingsParam* row = CodePatchRow(ManualLiveWriteKey(i));
        if (row != nullptr && Shown() && row->overridden) {
            const float v = row->value;
            Publishers.manualValue[i].Set(v);
            runtime::PublishManualLiveWrite(i, v, true);
        } else {
            runtime::PublishManualLiveWrite(i, Publishers.manualValue[i].Get(), false);
        }
    }
}

void PublishAutoLiveWriteValues() {
    const std::vector<std::array<VisualSettingsParam*, 4>>& lanes = LaneRows();
    for (size_t i = 0; i < runtime::LiveWrites.autoCount && i < lanes.size(); ++i) {
        const runtime::AutoLiveWrite& entry = runtime::LiveWrites.autos[i];
        if (entry.row == nullptr) continue;
        for (size_t lane = 0; lane < entry.row->storeCount && lane < 4; ++lane) {
            const VisualSettingsParam* row = lanes[i][lane];
            if (row == nullptr) continue;  // left as it is
            if (Shown() && row->overridden) runtime::PublishAutoLiveWriteLane(i, lane, row->value, true);
            else runtime::PublishAutoLiveWriteLane(i, lane, entry.initial[lane], false);
        }
    }
}

void InstallCodePatchesAndPublish() {
    runtime::InstallPuddleLiveWriteHook();
    PublishPuddlesValues();
    runtime::InstallManualLiveWrites();
    ApplyCodePatchKeys();
    runtime::InstallAutoLiveWrites();
    PublishAutoLiveWriteValues();
}

bool CaptureHookInstalled() { return runtime::LiveWrites.puddle.jump.applied != 0; }

void PublishPuddlesValues() {
    const ParamArray* array = ArrayByFirstKey(kPuddlesArray);
    const VisualSettingsParam* scale = FindParamInArray(array, kPuddlesScaleKey);
    const VisualSettingsParam* range = FindParamInArray(array, kPuddlesRangeKey);
    const VisualSettingsParam* depth = FindParamInArray(array, kPuddlesDepthTestKey);
    const bool shown = Shown();
    if (scale != nullptr && shown && scale->overridden) {
        runtime::PublishPuddleValue(0, scale->value);
        runtime::PublishPuddleOverride(0, true);
    } else {
        runtime::PublishPuddleOverride(0, false);
    }
    if (range != nullptr && shown && range->overridden) {
        PublishRange(range->value);
        runtime::PublishPuddleOverride(1, true);
    } else {
        runtime::PublishPuddleOverride(1, false);
    }
    if (depth != nullptr && shown && depth->overridden) {
        runtime::PublishPuddleValue(3, depth->value);
        runtime::PublishPuddleOverride(2, true);
    } else {
        runtime::PublishPuddleOverride(2, false);
    }
}

void PublishPuddlesScale(float value, bool active) {
    runtime::PublishPuddleValue(0, value);
    runtime::PublishPuddleOverride(0, active);
}

bool FindLaneParamValue(const char* key, float& value) {
    const VisualSettingsParam* row = FindVisualSettingsParam(key);
    if (row == nullptr) return false;
    value = row->value;
    return true;
}

void ResetPublishersForTesting() {
    for (core::SharedValue<float>& v : Publishers.manualValue) v.Set(0.0f);
    std::lock_guard<std::mutex> lock(Publishers.laneMutex);
    Publishers.laneRows.clear();
    Publishers.lanesFound.Set(0);
}

}  // namespace visualsettings
