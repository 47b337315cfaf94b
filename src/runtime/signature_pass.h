// Runtime-internal: the start-up searches of the game image that share one
// pass. The first of TimecycleBlockLocator and DataSignatureBase that needs
// a search runs the pass for everything not yet tried: the two timecycle
// signatures and every data signature with bytes. Each search keeps its
// own rule (one attempt, unique match, bounds); only the reading of the
// image is shared. The puddle store site, also one attempt per run, joins
// the same pass.
#pragma once
#include <vector>

#include "runtime/cached_search.h"
#include "runtime/image_search.h"

namespace runtime::detail {

// Runs the pass for every pending search. Call with
// Locators.SignaturePassMutex held (locator_state.h).
void RunSignaturePassLocked();
// The answer of a search that the pass settles (one attempt per run): the
// kept one, or, while it is not tried, the pass's.
uint64_t AnswerOfPass(CachedSearch& search);

// ---- Timecycle side (block_locators.cpp) ----
bool TimecycleSearchPending();
void AddTimecyclePatterns(std::vector<SearchPattern>& patterns);
// Settles the locator from the two patterns' results (a, b in the order
// AddTimecyclePatterns added them); marks it tried.
void SettleTimecycleBlock(const SearchPattern& a, const SearchPattern& b);

// ---- Puddle store site (scans.cpp) ----
bool PuddleSearchPending();
void AddPuddlePattern(std::vector<SearchPattern>& patterns);
void SettlePuddleSite(const SearchPattern& pattern);

// ---- Data-signature side (data_signatures.cpp) ----
// Marks every pending id tried, adds the patterns of those with bytes.
void AddDataSignaturePatterns(std::vector<SearchPattern>& patterns, std::vector<int>& ids);
// regions: the image's regions as the pass queried them (its readability
// test of the block).
void SettleDataSignature(int id, const SearchPattern& pattern, const std::vector<platform::MemoryRegion>& regions);

}  // namespace runtime::detail
