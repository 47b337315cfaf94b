// What the runtime's locators remember for the run: each search of the
// game image (the TimecycleBlock and the SecondaryBlock, the data
// signatures, the puddle store site, the lightning and water-tuning blocks)
// keeps its answer or its failure here, with the lock it is searched under.
#pragma once
#include <array>
#include <mutex>
#include <vector>

#include "core/shared_value.h"
#include "runtime/cached_search.h"
#include "runtime/data_signatures.h"

namespace runtime {

struct SharedImageSearch;

// The locators' state for the run; any thread, each search settled under
// the lock named beside it.
struct LocatorState {
    // Timecycle block cache and tried flag: one attempt per run (the first
    // call decides; signatures that disagree give 0 for the run). Settled
    // under SignaturePassMutex; read by any thread.
    CachedSearch TimecycleBlock;
    // Secondary block cache: kept once found; while not found, searched
    // again at most every kSearchRetryIntervalMs. Settled under SecondaryBlockMutex.
    CachedSearch SecondaryBlock{kSearchRetryIntervalMs};
    // The puddle cave's code site: one attempt per run, under SignaturePassMutex.
    CachedSearch PuddleStoreSite;
    // Lightning and water-tuning blocks: kept while readable; a failure is
    // searched again after kSearchRetryIntervalMs. Under ValueBlockMutex
    // (the weather documents ask from the render thread and the tick).
    CachedSearch VfxLightningBlock{kSearchRetryIntervalMs};
    CachedSearch WatertuneBlock{kSearchRetryIntervalMs};
    // Signature cache: per data signature id (1 to 161) one attempt per run.
    // Settled under SignaturePassMutex.
    std::array<CachedSearch, kDataSignatureCount + 1> SignatureCache;
    // The searches of the layers above that join the pass
    // (shared_image_search.h), in the order registered; the searches
    // themselves live with their owners. Under SignaturePassMutex.
    std::vector<SharedImageSearch*> SharedSearches;
    // Diagnostics and tests: whole-image searches made for the
    // SecondaryBlock, and image passes made for data signatures.
    core::SharedValue<int> SecondaryBlockSearches{0};
    core::SharedValue<int> SignaturePasses{0};
    // Passes over the image (signature_pass.h), the bytes the last one read
    // and the matches it counted of the lightning and water-tuning runs.
    core::SharedValue<int> ImagePasses{0};
    core::SharedValue<uint64_t> LastPassBytes{0};
    core::SharedValue<uint32_t> LastPassLightningHits{0};
    core::SharedValue<uint32_t> LastPassWatertuneHits{0};
    // The first match of each timecycle signature (the sprite redirects
    // take their instructions); settled with TimecycleBlock.
    core::SharedValue<uint64_t> TimecycleSiteA{0};
    core::SharedValue<uint64_t> TimecycleSiteB{0};
    // The locks named above (never reset).
    std::mutex SignaturePassMutex;
    std::mutex SecondaryBlockMutex;
    std::mutex ValueBlockMutex;
};
extern LocatorState Locators;

// Every answer and failure forgotten (the code index of the patches with
// them) and the counts zero, as at the start of the run. The run never calls it (tests and benchmarks, while no search runs).
void ResetLocatorState();

}  // namespace runtime
