#include "weather/sirens_search.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/memory.h"
#include "runtime/guarded_memory.h"
#include "runtime/region_walk.h"
#include "weather/sirens_editor.h"
#include "weather/sirens_state.h"

namespace weather {

namespace {

constexpr uint64_t kChunkBytes = 0x200000;  // read at most 2 MiB at a time
constexpr uint64_t kLowestPointer = 0x10000;
constexpr uint64_t kNameWindow = 64;
// Words of a chunk searched between two looks at the cancel flag.
constexpr size_t kWordsBetweenCancelLooks = 8192;

bool Cancelled() { return Sirens.workerCancel.Get() != 0; }

struct SearchOutcome {
    uint64_t first = 0;
    int hits = 0;
};

// Tests the word at address a that points at anchor profile k.
void TryCandidate(uint64_t a, int k, SearchOutcome& outcome) {
    const uint64_t offset = static_cast<uint64_t>(k) * kSirenProfileBytes;
    if (a < offset) return;
    const uint64_t base = a - offset;
    if (base == 0 || base == outcome.first) return;
    if (!SirenBlockMatchesAt(base)) return;
    if (outcome.hits == 0) outcome.first = base;
    ++outcome.hits;
}

// Whether the block that the word at index i would start as anchor k has a
// pointer into [lowest, lowest + span) at the start of each of its 21
// profiles, as far as they lie in the words read (those outside count as
// plausible). Only a cheap filter: every block the search accepts passes it.
bool BlockPlausible(const uint8_t* bytes, size_t words, size_t i, int k, uint64_t lowest, uint64_t span) {
    constexpr size_t kProfileWords = kSirenProfileBytes / 8;
    const size_t offset = static_cast<size_t>(k) * kProfileWords;
    for (size_t j = 0; j < kSirenProfileCount; ++j) {
        if (static_cast<int>(j) == k) continue;
        const size_t at = i - offset + j * kProfileWords;  // wraps to huge when before the words
        if (i < offset || at >= words) continue;
        uint64_t q;
        std::memcpy(&q, bytes + at * 8, 8);
        if (q - lowest >= span) return false;
    }
    return true;
}

bool AnyAnchorPlausible(const uint8_t* bytes, size_t words, size_t i, uint64_t lowest, uint64_t span,
                        bool firstAnchorOnly) {
    const size_t anchors = firstAnchorOnly ? 1 : kSirenAnchorCount;
    for (size_t a = 0; a < anchors; ++a)
        if (BlockPlausible(bytes, words, i, SirenAnchorTable[a].index, lowest, span)) return true;
    return false;
}

// One pass over the candidate regions; true when it ended the search (a
// block accepted, two distinct blocks, or cancelled).
bool SearchPass(bool firstAnchorOnly, const std::vector<SirenRegionSpan>& readable, OwnCopy& buffer,
                SearchOutcome& outcome) {
    if (readable.empty()) return false;
    const uint64_t lowest = std::max(readable.front().start, kLowestPointer);
    const uint64_t span = readable.back().end > lowest ? readable.back().end - lowest : 0;
    runtime::RegionWalk walk;
    walk.filter = {runtime::IsWritableDataProtect, platform::kMemPrivate | platform::kMemMapped, kSirenBlockBytes, 0};
    walk.from = Sirens.searchFrom;
    walk.to = Sirens.searchTo;
    walk.pieceBytes = kChunkBytes;
    runtime::RegionPiece piece;
    while (!Cancelled() && runtime::NextRegionPiece(walk, piece)) {
        const uint64_t start = (piece.start + 7) & ~uint64_t(7);
        runtime::SpendWalkBytes(walk, piece.end - piece.start);
        if (start >= piece.end || piece.end - start < 8) continue;
        const uint64_t length = piece.end - start;
        size_t done = 0;
        platform::ReadOwnMemory(static_cast<uintptr_t>(start), buffer.bytes.data(), static_cast<size_t>(length), &done);
        if (done >= 8) {
            const size_t words = done / 8;
            const uint8_t* bytes = buffer.data();
            for (size_t i = 0; i < words; ++i) {
                if (i % kWordsBetweenCancelLooks == 0 && i != 0 && Cancelled()) return true;
                uint64_t q;
                std::memcpy(&q, bytes + i * 8, 8);
                // Cheap first: the word must point into the span of readable memory.
                if (q - lowest >= span) continue;
                // Cheaper than reading at q: a block needs a pointer into
                // readable memory at every profile's start.
                if (!AnyAnchorPlausible(bytes, words, i, lowest, span, firstAnchorOnly)) continue;
                int k = 0;
                if (!MatchSirenNameAt(q, readable, firstAnchorOnly, k)) continue;
                TryCandidate(start + i * 8, k, outcome);
                if (outcome.hits >= 2) return true;
            }
        }
        // The rest of the chunk was searched for a second, different block.
        if (outcome.hits > 0) return true;
        platform::SleepMilliseconds(0);
    }
    return Cancelled();
}

void BackgroundLocateThread() {
    platform::LowerCurrentThreadPriority();
    const uint64_t result = Sirens.scan != nullptr ? Sirens.scan() : ScanSirenRuntimeBlock();
    // Handed over without a lock (a frame may hold Sirens.lock while the
    // unload waits for this thread). The result is stored first. Running is
    // cleared before done is set: a load asked for once the outcome has been
    // taken then never counts on this worker, which has nothing more to
    // give; it waits for the thread to end and starts one of its own.
    void (*const step)() = Sirens.afterHandOverStep;
    Sirens.SirenWorkerResult.Exchange(result);
    if (step != nullptr) step();
    Sirens.SirenWorkerRunning.Exchange(0);
    if (step != nullptr) step();
    Sirens.SirenWorkerDone.Exchange(1);
    if (step != nullptr) step();
}

}  // namespace

void CollectSirenReadableRegions(std::vector<SirenRegionSpan>& readable) {
    readable.clear();
    const platform::SystemMemoryInfo info = platform::GetSystemMemoryInfo();
    uint64_t address = info.minimumAddress;
    platform::MemoryRegion region;
    while (address < info.maximumAddress && !Cancelled()) {
        if (!runtime::QueryNextRegion(address, region)) break;
        const uint64_t end = region.base + region.size;
        if (end <= address) break;
        if (region.state == platform::kMemCommit && runtime::IsReadableProtect(region.protect)) {
            if (!readable.empty() && readable.back().end == region.base) readable.back().end = end;
            else readable.push_back({region.base, end});
        }
        address = end;
    }
}

bool MatchSirenNameAt(uint64_t p, const std::vector<SirenRegionSpan>& readable, bool firstAnchorOnly, int& profile) {
    if (p < kLowestPointer) return false;
    auto after = std::upper_bound(readable.begin(), readable.end(), p,
                                  [](uint64_t value, const SirenRegionSpan& r) { return value < r.start; });
    if (after == readable.begin()) return false;
    const SirenRegionSpan& region = *(after - 1);
    if (p >= region.end) return false;
    const uint64_t available = std::min<uint64_t>(region.end - p, kNameWindow);
    if (available < 2) return false;
    char text[kNameWindow];
    const size_t anchors = firstAnchorOnly ? 1 : kSirenAnchorCount;
    size_t longest = 0;
    for (size_t i = 0; i < anchors; ++i) longest = std::max(longest, std::strlen(SirenAnchorTable[i].name) + 1);
    const uint64_t want = std::min<uint64_t>(available, longest);
    // A fault while reading is no match; a shorter read still serves the shorter names.
    if (!runtime::GuardedCopy(text, reinterpret_cast<const void*>(static_cast<uintptr_t>(p)), want)) return false;
    for (size_t i = 0; i < anchors; ++i) {
        const size_t n = std::strlen(SirenAnchorTable[i].name) + 1;
        if (n <= want && std::memcmp(text, SirenAnchorTable[i].name, n) == 0) {
            profile = SirenAnchorTable[i].index;
            return true;
        }
    }
    return false;
}

bool SirenBlockMatchesAt(uint64_t base) {
    platform::MemoryRegion region;
    if (base == 0 || !runtime::QueryRegion(base, region)) return false;
    if (region.state != platform::kMemCommit || !runtime::IsReadableProtect(region.protect)) return false;
    if (base + kSirenBlockBytes < base || base + kSirenBlockBytes > region.base + region.size) return false;
    for (const SirenProfileRow& row : SirenProfileTable) {
        uint64_t pointer = 0;
        if (!runtime::SafeReadMemory(base + SirenProfileOffset(static_cast<uint64_t>(row.index)), &pointer, 8)) return false;
        if (pointer == 0) return false;
        const size_t n = std::strlen(row.name) + 1;
        if (n > kNameWindow) return false;
        char text[kNameWindow];
        if (!runtime::SafeReadMemory(pointer, text, n)) return false;
        if (std::memcmp(text, row.name, n) != 0) return false;
    }
    return true;
}

uint64_t ScanSirenRuntimeBlock() {
    std::vector<SirenRegionSpan> readable;
    CollectSirenReadableRegions(readable);
    // The chunk buffer holds copies of game memory: an own copy, which no
    // walk finds, wiped on every way out of the search before it is freed.
    OwnCopy buffer;
    buffer.Reserve(kChunkBytes);
    SearchOutcome outcome;
    if (!SearchPass(true, readable, buffer, outcome) && !Cancelled()) SearchPass(false, readable, buffer, outcome);
    if (Cancelled()) return 0;
    return outcome.hits == 1 ? outcome.first : 0;
}

void StartSirenLoad(bool clearEdits) {
    SirenState& s = Sirens;
    if (clearEdits) ForgetSirenEdits();
    s.SirenBlockAddress = 0;
    s.SirenLoadPending = 1;
    s.SirenLoadStartTick = SirenNowMs();
    s.SirenLoadStatus = "Loading...";
    // A worker still searching gives its outcome to the next polls. One
    // that has begun to hand over has cleared running.
    if (s.SirenWorkerRunning) return;
    std::lock_guard<std::mutex> workerLock(s.workerLock);
    if (!s.workerStopped) {
        // The previous worker is handing over or ending: wait for it before
        // its place is taken (and its outcome, not yet taken, is dropped).
        platform::WaitForThread(std::exchange(s.worker, 0), platform::kWaitForever);
        s.workerCancel.Set(0);
        s.SirenWorkerDone = 0;
        s.SirenWorkerResult = 0;
        s.SirenWorkerRunning = 1;
        s.worker = platform::StartThread(BackgroundLocateThread);
    }
    if (s.worker == 0) {
        s.SirenWorkerRunning = 0;
        s.SirenWorkerDone = 0;
        s.SirenLoadPending = 0;
        s.SirenLoadStatus = "Vehicle Sirens could not start loading.";
    }
}

void PollSirensLoader() {
    SirenState& s = Sirens;
    if (!s.SirenLoadPending) return;
    const bool cancelled = s.workerCancel.Get() != 0;
    if (!s.SirenWorkerDone) {
        if (SirenNowMs() - s.SirenLoadStartTick > kSirenLoadTimeoutMs) {
            s.workerCancel.Set(1);
            s.SirenLoadStatus = "Vehicle Sirens took too long to load.";
        } else {
            s.SirenLoadStatus = cancelled ? "Stopping..." : "Loading...";
        }
        return;
    }
    s.SirenWorkerDone.Exchange(0);
    s.SirenLoadPending = 0;
    if (cancelled) {
        s.SirenBlockAddress = 0;
        s.SirenLoadStatus = "Stopped.";
        return;
    }
    const uint64_t result = s.SirenWorkerResult;
    if (result != 0 && runtime::IsReadable(result, kSirenBlockBytes)) {
        s.SirenBlockAddress = result;
        s.SirenLoadStatus = "Ready.";
    } else {
        s.SirenBlockAddress = 0;
        s.SirenLoadStatus = "Vehicle Sirens could not be found.";
    }
}

void StopSirenLoad() {
    Sirens.workerCancel.Set(1);
    Sirens.SirenLoadStatus = "Stopping...";
}

bool ReleaseSirens(bool waitForLock) {
    SirenState& s = Sirens;
    uint64_t worker = 0;
    {
        std::lock_guard<std::mutex> workerLock(s.workerLock);
        s.workerStopped = 1;
        s.workerCancel.Set(1);  // after any load's start, which clears it
        worker = std::exchange(s.worker, 0);
    }
    // Waited for whether a frame holds the lock or not: the worker needs no
    // lock to hand over its outcome. It sees the cancel within a few
    // milliseconds of work; its code must not go away under it. A worker
    // that has not reached its body yet (held at its start by the loader
    // lock the unload holds) is abandoned instead.
    platform::AbandonOrWaitForThread(worker, platform::kWaitForever);
    std::unique_lock<std::mutex> lock(s.lock, std::defer_lock);
    if (waitForLock) lock.lock();
    else if (!lock.try_lock()) return false;
    s.SirenWorkerRunning = 0;
    s.SirenWorkerDone = 0;
    // Nothing is written to the game: the edited sirens stay in it.
    s.SirenBaselineTaken = 0;
    s.SirenEditedImageSaved = 0;
    s.SirenBeforeShown = 0;
    s.SirenBaseline.Clear();
    s.SirenEditedImage.Clear();
    s.scratch.Clear();
    s.SirenBlockAddress = 0;
    s.SirenLoadPending = 0;
    return true;
}

}  // namespace weather
