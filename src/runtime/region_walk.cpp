#include "runtime/region_walk.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/clock.h"

namespace runtime {
namespace {

struct OwnRange {
    uint64_t id;
    uint64_t begin;
    uint64_t end;
};

// Every thread registers and walks; the generation tells a walk that its
// copy is out of date without taking the lock.
struct OwnRangeRegistry {
    std::mutex mutex;
    std::vector<OwnRange> ranges;
    uint64_t nextId = 1;
    std::atomic<uint64_t> generation{1};
};

// Built at its first use and never destroyed: the copies that unregister
// in their destructors include static ones built before it, which static
// destruction destroys after it.
OwnRangeRegistry& Registry() {
    static OwnRangeRegistry* const registry = new OwnRangeRegistry;
    return *registry;
}

// memset through a pointer the compiler cannot see through: a wipe just
// before the memory is freed is never taken for a dead store.
void* (*volatile const zeroBytes)(void*, int, size_t) = std::memset;

uint64_t RegionEnd(const platform::MemoryRegion& region) { return static_cast<uint64_t>(region.base) + region.size; }

uint64_t Now(const RegionWalk& walk) { return walk.clock != nullptr ? walk.clock() : platform::TickCount64(); }

void RefreshOwnRanges(RegionWalk& walk) {
    OwnRangeRegistry& registry = Registry();
    if (walk.ownGeneration == registry.generation.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(registry.mutex);
    std::vector<OwnRange> sorted = registry.ranges;
    std::sort(sorted.begin(), sorted.end(), [](const OwnRange& a, const OwnRange& b) { return a.begin < b.begin; });
    walk.own.clear();
    for (const OwnRange& range : sorted) {
        walk.own.push_back(range.begin);
        walk.own.push_back(range.end);
    }
    walk.ownGeneration = registry.generation.load(std::memory_order_relaxed);
}

void Start(RegionWalk& walk) {
    if (walk.started) return;
    walk.started = true;
    if (walk.to == 0) {
        const platform::SystemMemoryInfo info = platform::GetSystemMemoryInfo();
        walk.from = info.minimumAddress;
        walk.to = info.maximumAddress;
    }
    walk.next = walk.from;
}

bool HoldsSkipped(const RegionWalk& walk, const platform::MemoryRegion& region) {
    for (uint64_t address : walk.skipRegionsHolding) {
        if (address >= region.base && address < RegionEnd(region)) return true;
    }
    return false;
}

bool Finish(RegionWalk& walk) {
    walk.done = true;
    return false;
}

}  // namespace

uint64_t RegisterOwnRange(const void* begin, uint64_t size) {
    if (begin == nullptr || size == 0) return 0;
    OwnRangeRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const uint64_t id = registry.nextId++;
    const uint64_t start = reinterpret_cast<uintptr_t>(begin);
    registry.ranges.push_back({id, start, start + size < start ? UINT64_MAX : start + size});
    registry.generation.fetch_add(1, std::memory_order_release);
    return id;
}

void UnregisterOwnRange(uint64_t id) {
    if (id == 0) return;
    OwnRangeRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    std::erase_if(registry.ranges, [id](const OwnRange& range) { return range.id == id; });
    registry.generation.fetch_add(1, std::memory_order_release);
}

void WipeOwnBytes(void* begin, uint64_t size) {
    if (begin != nullptr && size != 0) zeroBytes(begin, 0, static_cast<size_t>(size));
}

OwnCopy::~OwnCopy() { Clear(); }

OwnCopy::OwnCopy(OwnCopy&& other) noexcept : bytes(std::move(other.bytes)), rangeId(std::exchange(other.rangeId, 0)) {}

OwnCopy& OwnCopy::operator=(OwnCopy&& other) noexcept {
    if (this != &other) {
        Clear();
        bytes = std::move(other.bytes);
        rangeId = std::exchange(other.rangeId, 0);
    }
    return *this;
}

uint8_t* OwnCopy::Reserve(size_t size) {
    if (size > bytes.size()) {
        // A larger buffer, registered before the bytes move in; the old one
        // is wiped before it goes back.
        std::vector<uint8_t> grown(size);
        const uint64_t grownId = RegisterOwnRange(grown.data(), grown.size());
        if (!bytes.empty()) std::memcpy(grown.data(), bytes.data(), bytes.size());
        Clear();
        bytes.swap(grown);
        rangeId = grownId;
    } else if (rangeId == 0) {
        rangeId = RegisterOwnRange(bytes.data(), bytes.size());
    }
    return bytes.data();
}

void OwnCopy::Assign(const uint8_t* data, size_t size) {
    // A shorter copy starts afresh: no bytes of the longer one stay behind it.
    if (size < bytes.size()) Clear();
    uint8_t* into = Reserve(size);
    if (size != 0) std::memcpy(into, data, size);
}

void OwnCopy::Clear() {
    // Wiped while still registered: no walk ever sees the bytes unmarked.
    WipeOwnBytes(bytes.data(), bytes.size());
    UnregisterOwnRange(std::exchange(rangeId, 0));
    std::vector<uint8_t>().swap(bytes);
}

bool IsReadWriteDataProtect(uint32_t protect) {
    if (protect & (platform::kPageGuard | platform::kPageNoAccess)) return false;
    const uint32_t low = protect & 0xFFu;
    return low == platform::kPageReadWrite || low == platform::kPageWriteCopy;
}

bool IsWritableDataProtect(uint32_t protect) {
    if (protect & (platform::kPageGuard | platform::kPageNoAccess)) return false;
    const uint32_t low = protect & 0xFFu;
    return low == platform::kPageReadWrite || low == platform::kPageWriteCopy ||
           low == platform::kPageExecuteReadWrite || low == platform::kPageExecuteWriteCopy;
}

bool RegionPasses(const RegionFilter& filter, const platform::MemoryRegion& region) {
    if (region.state != platform::kMemCommit) return false;
    if (filter.protection != nullptr && !filter.protection(region.protect)) return false;
    if (filter.types != 0 && (region.type & filter.types) == 0) return false;
    if (region.size < filter.minimumSize) return false;
    return filter.maximumSize == 0 || region.size <= filter.maximumSize;
}

bool NextRegionPiece(RegionWalk& walk, RegionPiece& piece) {
    if (walk.done) return false;
    Start(walk);
    if (walk.truncated) return Finish(walk);  // the last piece was cut to the budget
    if (walk.timeBudgetMs != 0 || walk.slice.ms != 0) {
        const uint64_t now = Now(walk);
        if (!walk.sliceClockSet) {
            walk.sliceClockSet = true;
            walk.sliceStartMs = now;
        }
        walk.elapsedMs = walk.elapsedBeforeSliceMs + (now - walk.sliceStartMs);
        if (walk.timeBudgetMs != 0 && walk.elapsedMs >= walk.timeBudgetMs) {
            walk.timedOut = true;
            return Finish(walk);
        }
        if (walk.slice.ms != 0 && now - walk.sliceStartMs > walk.slice.ms) return false;
    }
    if (walk.slice.bytes != 0 && walk.sliceBytes + std::max<uint64_t>(walk.pieceBytes, 1) > walk.slice.bytes)
        return false;
    RefreshOwnRanges(walk);
    for (;;) {
        if (walk.next >= walk.to) return Finish(walk);
        platform::MemoryRegion& region = walk.region;
        if (!walk.haveRegion || walk.next >= RegionEnd(region)) {
            const bool answered = walk.freshQueries ? QueryRegion(walk.next, region) : QueryNextRegion(walk.next, region);
            if (!answered || RegionEnd(region) <= walk.next) return Finish(walk);
            if (walk.queried != nullptr) walk.queried->push_back(region);
            walk.haveRegion = true;
            walk.regionCounted = false;
            walk.regionTaken = RegionPasses(walk.filter, region) && !HoldsSkipped(walk, region);
        }
        const uint64_t regionEnd = RegionEnd(region);
        if (!walk.regionTaken) {
            walk.next = regionEnd;
            continue;
        }
        // The run of bytes at next between the own ranges.
        uint64_t segmentStart = std::max<uint64_t>(region.base, walk.from);
        uint64_t start = std::max(walk.next, segmentStart);
        uint64_t segmentEnd = std::min(regionEnd, walk.to);
        for (size_t i = 0; i < walk.own.size(); i += 2) {
            const uint64_t begin = walk.own[i], end = walk.own[i + 1];
            if (end <= segmentStart) continue;
            if (begin >= segmentEnd) break;
            if (end <= start) {
                segmentStart = end;  // ended before start: the run begins after it
            } else if (begin <= start) {
                start = segmentStart = end;  // start lies in it: go on past it
            } else {
                segmentEnd = begin;
                break;
            }
        }
        if (start >= segmentEnd) {
            walk.next = std::min(start, regionEnd);
            continue;
        }
        uint64_t end = walk.pieceBytes != 0 ? start + std::min(walk.pieceBytes, segmentEnd - start) : segmentEnd;
        if (walk.byteBudget != 0) {
            if (walk.bytesSpent >= walk.byteBudget) {
                walk.truncated = true;
                return Finish(walk);
            }
            const uint64_t remaining = walk.byteBudget - walk.bytesSpent;
            if (end - start > remaining) {
                end = segmentEnd = start + remaining;
                walk.truncated = true;
            }
        }
        piece.segmentStart = segmentStart;
        piece.start = start;
        piece.end = end;
        piece.segmentEnd = segmentEnd;
        piece.region = region;
        if (!walk.regionCounted) {
            walk.regionCounted = true;
            ++walk.regionsTaken;
        }
        walk.next = end;
        return true;
    }
}

void SpendWalkBytes(RegionWalk& walk, uint64_t bytes) {
    walk.bytesSpent += bytes;
    walk.sliceBytes += bytes;
}

void BeginWalkSlice(RegionWalk& walk, WalkSlice slice) {
    walk.slice = slice;
    walk.sliceBytes = 0;
    walk.elapsedBeforeSliceMs = walk.elapsedMs;
    walk.sliceStartMs = Now(walk);
    walk.sliceClockSet = true;
}

void StopWalk(RegionWalk& walk) { walk.done = true; }

}  // namespace runtime
