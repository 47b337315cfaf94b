// The values that the game-side code patches of the live-write runtime
// (runtime/live_writes.h) read: the four manual live writes, the generated
// ones and the puddle override cave. A patch gets its row's value and active
// flag 1 while the edits are shown and the row is overridden, and flag 0 in
// every other case; flag 0 leaves the value the patch holds as it was. The
// runtime stores a value before its flag, and the flag by atomic exchange,
// so that a patch that sees the flag set reads the new value.
//
// Thread rule: the before/after pass runs these on the script fiber (as the
// runtime's live writes require). The state below is atomics.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/shared_value.h"
#include "runtime/live_writes.h"

namespace visualsettings {

struct VisualSettingsParam;

// The publishers' state; the thread rule above.
struct PublisherState {
    // The value each manual live write holds (the last one published with flag 1).
    core::SharedValue<float> manualValue[runtime::kManualLiveWriteCount] = {};
    // The parameter row of each lane of the selected generated live writes,
    // found once after their selection (under laneMutex).
    std::mutex laneMutex;
    std::vector<std::array<VisualSettingsParam*, 4>> laneRows;
    core::SharedValue<uint8_t> lanesFound{0};
};
extern PublisherState Publishers;

// The key of manual live write i (0 .. 3), and the game address its store writes (or 0).
const char* ManualLiveWriteKey(size_t i);
uint64_t ManualLiveWriteStoreTarget(size_t i);

// The four manual live writes' values and flags.
void ApplyCodePatchKeys();
// The generated live writes' values and flags, lane by lane (lanes without
// a parameter row are left alone).
void PublishAutoLiveWriteValues();
// The before/after pass's step: the code patches installed where they are
// not yet (the runtime bounds the rate of its attempts) and their values
// published: the puddle cave, the manual live writes, the generated ones.
void InstallCodePatchesAndPublish();
// Whether the capture patch that reads the published puddle values is in place.
bool CaptureHookInstalled();

// The runtime's question for the value of a generated live write's lane
// (a copy: the rows' values are shared between threads).
bool FindLaneParamValue(const char* key, float& value);

void ResetPublishersForTesting();

}  // namespace visualsettings
