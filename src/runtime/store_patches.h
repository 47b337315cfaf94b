// The store patches the tick installs itself (its store-patch parts,
// runtime/override_groups.h): the scanline and the lens-distortion store,
// and the six heat-haze stores, each removed while an override of its
// group is on. A part's stores go in whole or not at all.
//
// Script fiber only (the unload's thread at unload); the installed flags
// are atomics that anyone may read.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/shared_value.h"
#include "runtime/code_patch.h"
#include "runtime/slot_ids.h"
#include "runtime/store_probes.h"

namespace runtime {

// A store a patch removes: its block offset and its length in bytes.
struct StoreShape {
    uint32_t blockOffset;
    uint8_t length;
};

inline constexpr size_t kMostPatchedStores = 6;

struct StorePatch {
    PartId part;
    core::SharedValue<uint8_t> installed{0};
    std::span<const StoreShape> shapes;
    CodePatch sites[kMostPatchedStores];  // in the order of shapes, while installed
};

// The tick's own store patches; script fiber only but the installed flags
// (the rule above).
struct StorePatchState {
    StorePatch scanline;
    StorePatch lensDistortion;
    StorePatch heatHaze;
};
extern StorePatchState StorePatches;

// The stores of a store-patch part, in patch order: the scanline and the
// lens-distortion store, nine bytes each; the six heat-haze stores, the one
// at 624 a byte longer. Empty for any other part.
std::span<const StoreShape> StoreShapesOf(PartId part);
// The installed flag of a store-patch part; null for any other part.
core::SharedValue<uint8_t>* StorePatchFlag(PartId part);

// Installs the part's patch (true at once when installed): the stores the
// probe captures are taken by their block offset, never by the order the
// probe gives them, and each must have the length its patch writes; whole
// or not at all.
bool InstallStorePatch(PartId part, bool (*probe)(std::span<StoreSite>));
// Writes the saved bytes back (when installed) and clears the flag.
void RestoreStorePatch(PartId part);
void RestoreStorePatches();
// Back to nothing installed (tests).
void ResetStorePatches();

}  // namespace runtime
