// Runtime-internal: the one pass over the game image that the start-up
// searches share. The first search that needs the image read runs the pass
// for everything not yet tried: the two timecycle signatures, every data
// signature with bytes, the puddle store site, the lightning and
// water-tuning blocks, the SecondaryBlock's lea sites and the code index of
// the patches (code_index.h). Each search keeps its own rule (one attempt,
// unique match, bounds, retries); only the reading of the image is shared.
#pragma once
#include <vector>

#include "runtime/cached_search.h"
#include "runtime/image_search.h"

namespace runtime::detail {

// Runs the pass for every pending search. Call with
// Locators.SignaturePassMutex held (locator_state.h).
void RunSignaturePassLocked();
// The answer of a search that the pass settles (its first attempt): the
// kept one, or, while it is not tried, the pass's.
uint64_t AnswerOfPass(CachedSearch& search);

// ---- Timecycle side (block_locators.cpp) ----
bool TimecycleSearchPending();
void AddTimecyclePatterns(std::vector<SearchPattern>& patterns);
// Settles the locator from the two patterns' results (a, b in the order
// AddTimecyclePatterns added them); marks it tried.
void SettleTimecycleBlock(const SearchPattern& a, const SearchPattern& b);

// ---- SecondaryBlock (block_locators.cpp) ----
bool SecondarySearchPending();
// Adds the engine's nine store signatures, each collecting every match.
void AddSecondaryStorePatterns(std::vector<SearchPattern>& patterns, std::vector<uint64_t>* hits);
// Settles its first attempt: the lea r12 sites that may have a store in
// their window are the ones up to a window's length before a store.
void SettleSecondaryBlock(const std::vector<uint64_t>* storeHits);

// ---- Puddle store site (scans.cpp) ----
bool PuddleSearchPending();
void AddPuddlePattern(std::vector<SearchPattern>& patterns);
void SettlePuddleSite(const SearchPattern& pattern);

// ---- Lightning and water-tuning blocks (scans.cpp) ----
bool ValueBlocksPending();
// Adds the lightning run, then the water-tuning run.
void AddValueBlockPatterns(std::vector<SearchPattern>& patterns);
void SettleValueBlocks(const SearchPattern& lightning, const SearchPattern& watertune);

// ---- Data-signature side (data_signatures.cpp) ----
// Marks every pending id tried, adds the patterns of those with bytes.
void AddDataSignaturePatterns(std::vector<SearchPattern>& patterns, std::vector<int>& ids);
// regions: the image's regions as the pass queried them (its readability
// test of the block).
void SettleDataSignature(int id, const SearchPattern& pattern, const std::vector<platform::MemoryRegion>& regions);

}  // namespace runtime::detail
