// The search for the game's siren block and its loader. The block is not
// reachable through a code signature: the search walks the writable
// private and mapped memory for the pointers to the profiles' name texts,
// on a thread of its own (it reads much of the address space). The Vehicle
// Sirens panel starts it ("Load live", "Refresh"), stops it ("Stop") and
// takes its outcome each time it is drawn.
//
// Thread rule: see weather/sirens_state.h. The search (ScanSirenRuntimeBlock
// and what it calls) runs on the worker without a lock; the rest expects
// the caller to hold Sirens.lock, but ReleaseSirens, which must not be
// called with it held.
#pragma once
#include <cstdint>
#include <vector>

namespace weather {

struct SirenRegionSpan {
    uint64_t start = 0;
    uint64_t end = 0;
};

// Every committed readable region of the application range, in ascending
// order (the regions a name may lie in). Stops early when the worker is
// cancelled.
void CollectSirenReadableRegions(std::vector<SirenRegionSpan>& readable);

// True when p points at one of the anchor names (only the first when
// firstAnchorOnly) with its terminating zero, inside one readable region;
// profile gets the anchor's profile index. A fault while reading is no match.
bool MatchSirenNameAt(uint64_t p, const std::vector<SirenRegionSpan>& readable, bool firstAnchorOnly, int& profile);

// True when all 21 profiles at base point at their names.
bool SirenBlockMatchesAt(uint64_t base);

// The search: the block's address when exactly one distinct block is found,
// else 0 (also when cancelled). Reads Sirens.workerCancel and the search range.
uint64_t ScanSirenRuntimeBlock();

// Starts a load ("Load live", "Refresh"): clearEdits drops the baseline and
// the edited image first. A worker still running is reused; once the unload
// has begun none starts (the load fails as when no thread can be started).
void StartSirenLoad(bool clearEdits);
// Takes the worker's outcome; the panel calls it first thing on every draw.
void PollSirensLoader();
// "Stop": asks the worker to stop.
void StopSirenLoad();

// The unload: cancels a running search and waits for its thread (one that
// has not started yet is abandoned instead), whether the lock is free or
// not, and no load starts one afterwards; then drops what the editor kept.
// Nothing is written to the game (the edited sirens stay in it). Call
// without the lock. waitForLock false: when the lock is taken (a frame
// still drawing the panel) nothing is dropped, and false is returned.
bool ReleaseSirens(bool waitForLock);

}  // namespace weather
