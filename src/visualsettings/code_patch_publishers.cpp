#include "visualsettings/code_patch_publishers.h"

namespace visualsettings {

namespace {
constexpr const char* kManualKeys[kManualLiveWriteCount] = {
    "rain.defaultlight.alpha", "car.headlights.submarine.Fake2LightsDisplacementMod",
    "car.headlights.aim.fullbeam.angle", "car.headlights.aim.dipeedbeam.angle"};
}  // namespace

const char* ManualLiveWriteKey(size_t i) { return i < kManualLiveWriteCount ? kManualKeys[i] : nullptr; }

uint64_t ManualLiveWriteStoreTarget(size_t) { return 0; }

void ApplyCodePatchKeys() {}

void PublishAutoLiveWriteValues() {}

void InstallCodePatchesAndPublish() {}

}  // namespace visualsettings

#include "visualsettings/puddles.h"

namespace visualsettings {

void PublishPuddlesValues() {}
void PublishPuddlesScale(float, bool) {}
bool CaptureHookInstalled() { return false; }

}  // namespace visualsettings
