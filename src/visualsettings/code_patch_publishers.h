// The values that the game-side code patches of the live-write runtime read:
// the four manual live writes and the generated ones. A patch gets its
// row's value and active flag 1 while the edits are shown and the row is
// overridden, and flag 0 in every other case; a value is stored before its
// flag, and the flag by atomic exchange, so that a patch that sees the flag
// set reads the new value.
//
// Thread rule: the publishers run on the script fiber (before/after pass)
// and the render thread (import), without a lock.
#pragma once
#include <cstddef>
#include <cstdint>

namespace visualsettings {

inline constexpr size_t kManualLiveWriteCount = 4;
// The key of manual live write i (0 .. 3).
const char* ManualLiveWriteKey(size_t i);
// The game address that manual live write i's store writes, or 0.
uint64_t ManualLiveWriteStoreTarget(size_t i);

// The four manual live writes' values and flags.
void ApplyCodePatchKeys();
// The generated live writes' values and flags.
void PublishAutoLiveWriteValues();
// The installers of the code patches, in the order a before/after pass runs
// them with the publishers.
void InstallCodePatchesAndPublish();

}  // namespace visualsettings
