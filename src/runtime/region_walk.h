// The walk over the process's memory regions that every scan of the
// runtime and the editors makes: which regions it reads (filter), how much
// (byte budget, time budget), the editor's own buffers and copies left out,
// whole or in slices that keep their place between calls.
//
// A walk hands out pieces: runs of bytes of one region that passed the
// filter, in rising address order, cut where an own range lies and at most
// pieceBytes long. The reader reads a piece (and, for a pattern that reaches
// further, up to the piece's segmentEnd), says how many bytes it counts as
// read (SpendWalkBytes), and asks for the next piece until there is none.
//
//     RegionWalk walk;
//     walk.filter = {IsWritableDataProtect, platform::kMemPrivate};
//     walk.pieceBytes = 1 << 20;
//     RegionPiece piece;
//     while (NextRegionPiece(walk, piece)) { ...read...; SpendWalkBytes(walk, n); }
//
// Thread rule: a RegionWalk belongs to the thread that steps it. The own
// ranges are shared by every thread (they take a lock; walks copy them when
// they change).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/memory.h"
#include "runtime/guarded_memory.h"

namespace runtime {

// ---- The editor's own ranges ------------------------------------------------------
// Memory that holds the editor's copies of game bytes (scan buffers,
// snapshots of game blocks, saved bytes, the runs a search looks for): every
// walk leaves it out, so no search finds the editor's own copy. A range is
// registered while it holds such bytes; the id (0 for an empty range) takes
// it out again. Any thread, also during static destruction (the registry is
// never destroyed).
uint64_t RegisterOwnRange(const void* begin, uint64_t size);
void UnregisterOwnRange(uint64_t id);

// Zeroes a copy of game bytes before its memory is freed or moved: once
// unregistered, freed memory is walked like any other, and a copy left there
// would be found as the game's. The stores are never dropped as dead.
void WipeOwnBytes(void* begin, uint64_t size);

// A range registered for the life of a scope.
struct ScopedOwnRange {
    uint64_t id = 0;
    ScopedOwnRange(const void* begin, uint64_t size) : id(RegisterOwnRange(begin, size)) {}
    ~ScopedOwnRange() { UnregisterOwnRange(id); }
    ScopedOwnRange(const ScopedOwnRange&) = delete;
    ScopedOwnRange& operator=(const ScopedOwnRange&) = delete;
};

// Bytes copied from the game that the editor keeps: registered as its own
// range while they live, and wiped before their memory is freed or given
// up (cleared, grown, moved onto, destroyed). The caller's lock guards it.
struct OwnCopy {
    std::vector<uint8_t> bytes;
    uint64_t rangeId = 0;

    OwnCopy() = default;
    ~OwnCopy();
    OwnCopy(OwnCopy&& other) noexcept;
    OwnCopy& operator=(OwnCopy&& other) noexcept;
    OwnCopy(const OwnCopy&) = delete;
    OwnCopy& operator=(const OwnCopy&) = delete;

    // The bytes become these.
    void Assign(const uint8_t* data, size_t size);
    // At least size bytes, registered before the caller copies game bytes
    // in; the buffer and its bytes are kept while they suffice (working
    // copies), else they move into a larger one.
    uint8_t* Reserve(size_t size);
    void Clear();
    size_t size() const { return bytes.size(); }
    const uint8_t* data() const { return bytes.data(); }
};

// ---- Which regions a walk reads -----------------------------------------------------
// Protection predicates for walks (whole protection values; PAGE_GUARD and
// PAGE_NOACCESS refuse): read-write data, low byte READWRITE or WRITECOPY;
// writable, those two and EXECUTE_READWRITE, EXECUTE_WRITECOPY.
bool IsReadWriteDataProtect(uint32_t protect);
bool IsWritableDataProtect(uint32_t protect);

// A region is read when it is committed, its protection passes, its type is
// one of types (MEM_PRIVATE, MEM_MAPPED, MEM_IMAGE bits; 0 = any), and its
// size is within the limits (0 = none).
struct RegionFilter {
    bool (*protection)(uint32_t protect) = IsReadableProtect;
    uint32_t types = 0;
    uint64_t minimumSize = 0;
    uint64_t maximumSize = 0;
};
bool RegionPasses(const RegionFilter& filter, const platform::MemoryRegion& region);

// ---- The walk ------------------------------------------------------------------------------
// One slice of a walk: it ends before a piece of pieceBytes would take the
// bytes counted in the slice past bytes, or once more than ms have passed
// since the slice began (0 = no limit).
struct WalkSlice {
    uint64_t bytes = 0;
    uint64_t ms = 0;
};

// Bytes to read: [start, end) of region; a read may reach on to segmentEnd
// (the run of bytes the piece lies in ends there: the region's end, an own
// range, the walk's end or its budget). segmentStart is where that run began.
struct RegionPiece {
    uint64_t segmentStart = 0;
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t segmentEnd = 0;
    platform::MemoryRegion region;
};

struct RegionWalk {
    // ---- What to walk: set before the first piece ----
    RegionFilter filter;
    uint64_t from = 0;  // [from, to); to = 0: the whole application address range
    uint64_t to = 0;
    uint64_t pieceBytes = 0;    // most bytes in one piece; 0 = whole runs
    uint64_t byteBudget = 0;    // bytes counted as read after which the walk ends (truncated); 0 = none
    uint64_t timeBudgetMs = 0;  // milliseconds over all slices after which it ends (timedOut); 0 = none
    // Regions are queried afresh for readers that read without the fault
    // guard; walks that read through it use the walk query (QueryNextRegion).
    bool freshQueries = false;
    // Regions holding any of these addresses are passed over whole.
    std::vector<uint64_t> skipRegionsHolding;
    // Receives every region the walk queried, when set.
    std::vector<platform::MemoryRegion>* queried = nullptr;
    uint64_t (*clock)() = nullptr;  // milliseconds; null = platform::TickCount64

    // ---- Where it stands: kept by the walk between slices ----
    uint64_t next = 0;  // where the walk goes on
    platform::MemoryRegion region;
    bool haveRegion = false;
    bool regionTaken = false;
    bool regionCounted = false;
    uint64_t bytesSpent = 0;    // counted as read (SpendWalkBytes)
    uint64_t regionsTaken = 0;  // regions that gave at least one piece
    uint64_t elapsedMs = 0;
    bool started = false;
    bool done = false;
    bool truncated = false;  // the byte budget ended it
    bool timedOut = false;   // the time budget ended it
    WalkSlice slice;
    uint64_t sliceStartMs = 0;
    bool sliceClockSet = false;
    uint64_t sliceBytes = 0;
    uint64_t elapsedBeforeSliceMs = 0;
    std::vector<uint64_t> own;  // own ranges, begin and end by turns, by begin
    uint64_t ownGeneration = 0;
};

// The next piece; false when the walk is over (done) or, with done still
// false, when its slice is.
bool NextRegionPiece(RegionWalk& walk, RegionPiece& piece);
// Counts bytes as read, toward the budget and the slice.
void SpendWalkBytes(RegionWalk& walk, uint64_t bytes);
// Starts a slice; the walk goes on where it stood.
void BeginWalkSlice(RegionWalk& walk, WalkSlice slice);
// Ends the walk (the reader found what it wanted or has to stop).
void StopWalk(RegionWalk& walk);

}  // namespace runtime
