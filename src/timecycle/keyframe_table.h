// The game's keyframe table: per weather, 2 regions x 13 keyframes of
// 864-byte records holding 432 binary16 values (value i belongs to variable
// i). This file finds the table in the game's memory, keeps the game's own
// bytes of a weather (the "before" image), takes originals from them, and
// writes edited values into the game one whole record at a time.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "core/shared_value.h"
#include "runtime/cached_search.h"
#include "runtime/region_walk.h"
#include "timecycle/timecycle_tables.h"

namespace runtime {
struct LiveOverrideSlot;
}

namespace timecycle {

inline constexpr uint64_t kKeyframeRecordBytes = 864;
inline constexpr uint64_t kKeyframeRecordValues = 432;
inline constexpr uint64_t kWeatherBlockBytes = 22464;    // 2 x 13 records
inline constexpr uint64_t kWeatherBlockSpacing = 22496;  // start to start, by type id
// Reach of one recognition row over 13 records: 12 x 864 + 2.
inline constexpr uint64_t kRowReach = 12 * kKeyframeRecordBytes + 2;
inline constexpr uint64_t kScanStep = 1u << 20;
inline constexpr uint64_t kScanChunkBytes = kScanStep + kRowReach;
inline constexpr uint64_t kScanTimeBudgetMs = 12000;
inline constexpr uint64_t kScanByteBudget = 1ull << 32;
inline constexpr size_t kScanMatchLimit = 256;
inline constexpr int kScanVotesNeeded = 6;
// One slice of a search, the most a frame waits for it: 4 MiB of memory
// walked (about 0.25 ms at the 16 GB/s measured in place), or 8 ms spent,
// whichever comes first.
inline constexpr uint64_t kScanSliceBytes = 4u << 20;
inline constexpr uint64_t kScanSliceMs = 8;

struct WeatherBlockSnapshot {
    uint8_t taken = 0;
    // 22,464 bytes once taken: the editor's own, which no scan reads, wiped
    // whenever they are freed (at the unload and at static destruction too).
    runtime::OwnCopy bytes;
    // 1 for each of the 26 records that was read whole; a record that could
    // not be read holds zeros that are never taken as game values.
    std::array<uint8_t, 2 * kKeyframeCount> recordValid{};
};

struct KeyframeTableMatch {
    uint64_t address = 0;  // the row's keyframe-0 value
    uint64_t regionBase = 0;
    uint64_t regionEnd = 0;
    uint32_t protect = 0;
    uint32_t type = 0;
    uint64_t rowIndex = 0;  // recognition row that matched
};

struct BeforeAfterSyncState {
    uint8_t initialised = 0;
    uint8_t lastAfterShown = 0;
    int32_t lastWeather = 0;
};

// Statistics of the last walk of a search (diagnostics, tests and benchmarks).
struct KeyframeScanStats {
    uint64_t bytesScanned = 0;
    uint64_t regionsScanned = 0;
    uint64_t chunksSkipped = 0;
    uint64_t elapsedMs = 0;
    size_t matches = 0;
    bool stoppedEarly = false;
    uint64_t slices = 0;             // steps of the search
    uint64_t largestSliceBytes = 0;  // most memory read by one step
};

// What the keyframe table keeps for the run. (The load preview's search in
// progress is kept beside it, in keyframe_table.cpp; the same reset ends it.)
struct KeyframeTableState {
    // Game address of each weather's block by its index in WeatherNameTable;
    // 0 = not located. Shared: the tick reads them while a search on the
    // render thread stores them.
    std::array<core::SharedValue<uint64_t>, kWeatherCount> WeatherBlockTable{};
    // Per weather, the block taken as that weather's (0: none): found by a
    // search on rows that tell the weather from the others, or following
    // from a located block and holding one such row of the weather's own (or
    // the weather has no rows at all). Only a block taken so, and still the
    // weather's located one, is ever written.
    std::array<core::SharedValue<uint64_t>, kWeatherCount> AcceptedBlocks{};
    // The game's own bytes of each weather (the "before" image). Taken and
    // discarded under the search's shared-state lock (render thread: the
    // load preview and the reader; script fiber: the before/after writer).
    std::array<WeatherBlockSnapshot, kWeatherCount> WeatherBlockSnapshots;
    // Under EditStoreMutex (the tick's before/after sync and the preview).
    BeforeAfterSyncState BeforeAfterSync;
    // Frames during which the Timecycles tab (render thread) leaves loaded
    // slots alone; read by the slot refresh.
    core::SharedValue<int32_t> SlotRefreshHoldFrames{0};
    // Per weather, the search that found nothing, keyed by its recognition
    // rows: the same rows are not searched again until a block is located
    // somewhere (failed until something changes). Settled without a lock by
    // whichever search ended (render thread or script fiber): the two may
    // overlap, and the last failure stands.
    std::array<runtime::CachedSearch, kWeatherCount> FailedSearches;
    // Published after each step of a search, under the shared-state lock.
    KeyframeScanStats LastScanStats;
    // Tests under a sanitizer: regions larger than this are passed over
    // (the sanitizer's shadow memory is terabytes of read-write pages).
    // 0 = no limit, as in the game.
    uint64_t ScanRegionLimitForTesting = 0;
};
extern KeyframeTableState KeyframeTable;

// A copy of LastScanStats taken under the lock it is published under (any thread).
KeyframeScanStats LastKeyframeScanStats();

// Forgets every located block, snapshot, search and remembered failure,
// the before/after state and the statistics (tests; the run keeps them
// until it ends).
void ResetKeyframeTable();

// The block of the weather, searched for if needed: the search of
// StartKeyframeTableSearch with its steps run back to back (it may take up
// to the search's budgets on the calling thread).
uint64_t ScanTimecycleTable(int weather);
// The weather's block when it was taken as the weather's, or is located (or
// follows from a located one) and holds a row of the weather's own that no
// other weather shares; no search.
uint64_t KnownWeatherBlock(int weather);
// The block taken as the weather's while it is still its located, writable
// block; 0 otherwise. No check of rows, no search: what the writers use.
uint64_t AcceptedWeatherBlock(int weather);
uint64_t DeriveWeatherBlockFromKnown(int weather);

// The search for a weather's block, in slices. Start runs no search itself
// (a known or derivable block finishes it at once); each step reads at most
// one slice of memory. EXTRASUNNY's rows are searched first when the weather
// could be derived from EXTRASUNNY's block. Only rows that no other weather
// shares vote, so that a block is never taken for a weather on the evidence
// of rows it has in common with another. A search that finds nothing is
// remembered per weather with its recognition rows: the same rows are not
// searched again until a block is located somewhere (or the rows change,
// e.g. another file is loaded). One search at a time; a start cancels the
// one before.
enum class KeyframeSearchState { Idle, Running, Found, NotFound };
void StartKeyframeTableSearch(int weather);
KeyframeSearchState StepKeyframeTableSearch();
uint64_t KeyframeTableSearchResult();  // the block once Found, else 0
void CancelKeyframeTableSearch();
void LocateWeatherBlocks(int weather, uint64_t address);
bool SnapshotWeatherBlock(int weather, uint64_t address);
// regions: bit 1 GLOBAL, 2 URBAN; a region left out keeps its originals
// and edit marks (a loaded file that did not hold it left it as it was).
void CaptureOriginalsFromSnapshot(int weather, uint8_t regions = 0b11);
// Clears the weather's taken flag and empties its bytes (a new load snapshots anew).
void DiscardWeatherSnapshot(int weather);
// The unload: every weather's snapshot discarded (the located blocks stay).
void ReleaseWeatherSnapshots();
bool ApplyContextToLive();
bool WriteWeatherBlockLive(int weather, bool showBefore, uint64_t* writtenValues = nullptr);

// Writes every loaded GLOBAL and URBAN slot of the weather into its record
// of the block (originals instead of values for showBefore, where captured).
// A user edit made in BOTH goes into both regions' records unless the
// region holds a newer edit of its own, as in the exported file.
struct RecordWriteCounts {
    uint64_t written = 0;        // values in records written back
    uint64_t failed = 0;         // values in records not readable whole or not written
    uint64_t loadedRecords = 0;  // slots that were loaded
};
RecordWriteCounts WriteWeatherRecords(int weather, uint64_t block, bool showBefore);
void SyncTimecycleBeforeAfter();
void RefreshTimecycleSlot(runtime::LiveOverrideSlot& slot);

// Address of record (region, keyframe) of a block.
inline uint64_t KeyframeRecordAddress(uint64_t block, int region, int keyframe) {
    return block + static_cast<uint64_t>(region * 13 + keyframe) * kKeyframeRecordBytes;
}

}  // namespace timecycle
