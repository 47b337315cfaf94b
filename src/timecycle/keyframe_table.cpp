#include "timecycle/keyframe_table.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <map>
#include <mutex>

#include "core/editor_state.h"
#include "platform/clock.h"
#include "platform/memory.h"
#include "platform/safe_copy.h"
#include "runtime/guarded_memory.h"
#include "runtime/live_slots.h"
#include "runtime/region_walk.h"
#include "timecycle/edit_store.h"
#include "timecycle/half_float.h"
#include "timecycle/keyframe_runs.h"
#include "timecycle/recognition_rows.h"
#include "timecycle/timecycle_model.h"

namespace timecycle {

KeyframeTableState KeyframeTable;

namespace {

constexpr size_t kRecordCount = 2 * kKeyframeCount;

int64_t TypeIdOf(int weather) { return static_cast<int64_t>(WeatherNameTable[ClampWeather(weather)].typeId); }

bool BlockWritable(uint64_t address) { return address != 0 && runtime::IsWritable(address, kWeatherBlockBytes); }

// Reads one record whole; false when it is not committed and readable
// inside one region, or the copy faults. inWritableBlock: the whole block
// was just found writable in one region, so only the copy can fail.
bool ReadRecord(uint64_t address, uint8_t* image, bool inWritableBlock = false) {
    return (inWritableBlock || runtime::IsReadable(address, kKeyframeRecordBytes)) &&
           runtime::GuardedCopy(image, reinterpret_cast<const void*>(address), kKeyframeRecordBytes);
}

// Writes one record back. Inside a block just found writable this is the
// guarded write WriteBytesProtected makes for a writable range (each value
// in one store, never half written for the game's readers), without asking
// for the region again; anything else goes through WriteBytesProtected.
bool WriteRecord(uint64_t address, const uint8_t* image, bool inWritableBlock) {
    if (inWritableBlock && runtime::GuardedWrite(address, image, kKeyframeRecordBytes))
        return true;
    return runtime::WriteBytesProtected(address, image, kKeyframeRecordBytes);
}

void PutHalf(uint8_t* image, size_t index, float value) {
    const uint16_t half = FloatToHalf(value);
    std::memcpy(image + 2 * index, &half, 2);
}

uint16_t HalfAt(const uint8_t* bytes, size_t offset) {
    uint16_t half;
    std::memcpy(&half, bytes + offset, 2);
    return half;
}

bool IsUserEdit(const EditEntry& e) { return e.present && e.edited && !e.imported; }

// The value a region's record gets for one variable from the region's own
// entry and the BOTH entry of the same keyframe (either may be absent):
// "before" takes the region's original; "after" takes a BOTH edit when it
// is not older than the region's own edit (the exporter's rule), else the
// region's value. False when neither entry holds a value.
bool RecordValue(const EditEntry* own, const EditEntry* both, bool showBefore, float& value) {
    if (own && !own->present) own = nullptr;
    if (both && !both->present) both = nullptr;
    if (!showBefore && both && IsUserEdit(*both) &&
        !(own && IsUserEdit(*own) && both->editStamp < own->editStamp)) {
        value = both->value;
        return true;
    }
    const EditEntry* e = own ? own : both;
    if (!e) return false;
    value = (showBefore && e->originalCaptured) ? e->original : e->value;
    return true;
}

// Puts the values of one region and keyframe into the game record and
// writes it back. A record that cannot be read whole is not written: its
// values count as failed.
void WriteRegionRecord(uint64_t address, const EditSlot* own, const EditSlot* both, bool showBefore,
                       bool inWritableBlock, uint64_t& written, uint64_t& failed) {
    if (own && !own->loaded) own = nullptr;
    if (both && !both->loaded) both = nullptr;
    if (!own && !both) return;
    const size_t n = std::min<size_t>(kVariableCount, TimecycleVariableList().size());
    uint8_t image[kKeyframeRecordBytes];
    const bool readable = ReadRecord(address, image, inWritableBlock);
    uint64_t put = 0;
    for (size_t i = 0; i < n; ++i) {
        float value = 0.0f;
        if (!RecordValue(own ? &own->entries[i] : nullptr, both ? &both->entries[i] : nullptr, showBefore, value))
            continue;
        if (readable) PutHalf(image, i, value);
        ++put;
    }
    if (put == 0) return;
    if (readable && WriteRecord(address, image, inWritableBlock)) {
        written += put;
    } else {
        failed += put;
    }
}

// ---- The search ------------------------------------------------------------------
//
// A search walks the private read-write memory for whole 13-keyframe runs of
// recognition rows. It keeps where it stands between calls, so that it can
// run in slices: each step reads at most kScanSliceBytes of memory (or runs
// kScanSliceMs) and returns. The synchronous scan is the same search with
// its steps run back to back.

// Guards what a search on the script fiber (the before/after writer's
// ScanTimecycleTable) and one on the render thread (the load preview) share
// besides the atomics: the snapshots and LastScanStats. Held only for
// those short accesses.
std::mutex& SharedSearchStateMutex() {
    static std::mutex mutex;
    return mutex;
}

// One weather's rows searched through memory.
struct ScanState {
    int weather = 0;
    std::vector<TimecycleRowRecord> rows;
    uint64_t rowsFingerprint = 0;
    std::vector<int> rowVariable;  // variable index of each row, -1 when none
    KeyframeRunIndex index;
    // Room for every match the search keeps is reserved at its start: a
    // fault while memory is read in place may cut off an append.
    std::vector<KeyframeTableMatch> matches;
    // Where the walk stands, kept between steps (a region kept from the step
    // before that has changed only costs a skipped chunk: every read is
    // guarded and a candidate block is checked anew).
    runtime::RegionWalk walk;
    bool stop = false;
    KeyframeScanStats stats;  // published to KeyframeTable.LastScanStats after each step
};

// The candidate block with the most votes (lowest address on a tie); 0
// with votes 0 when no match names a known variable.
uint64_t Vote(const ScanState& state, int& votes) {
    std::map<uint64_t, int> tally;
    for (const KeyframeTableMatch& match : state.matches) {
        const int i = state.rowVariable[match.rowIndex];
        if (i < 0 || match.address < 2ull * static_cast<uint64_t>(i)) continue;
        ++tally[match.address - 2ull * static_cast<uint64_t>(i)];
    }
    uint64_t best = 0;
    votes = 0;
    for (const auto& [candidate, count] : tally) {
        if (count > votes) {
            best = candidate;
            votes = count;
        }
    }
    return best;
}

bool Acceptable(uint64_t candidate, int votes) {
    return candidate != 0 && votes >= kScanVotesNeeded && BlockWritable(candidate);
}

// One piece of memory matched in place, inside the fault guard.
struct PieceScan {
    ScanState* state;
    const runtime::RegionPiece* piece;
    uint64_t length;
    uint64_t step;
};

bool AppendMatch(void* context, uint64_t start, uint32_t row) {
    auto& scan = *static_cast<PieceScan*>(context);
    ScanState& state = *scan.state;
    if (state.matches.size() >= kScanMatchLimit) {
        state.stop = true;
        return false;
    }
    const platform::MemoryRegion& region = scan.piece->region;
    state.matches.push_back(
        KeyframeTableMatch{start, region.base, region.base + region.size, region.protect, region.type, row});
    return true;
}

void MatchPiece(void* context) {
    auto& scan = *static_cast<PieceScan*>(context);
    FindKeyframeRuns(scan.state->index, scan.piece->start, scan.length, scan.step, {&AppendMatch, &scan});
}

void BuildIndex(ScanState& state) {
    state.rowVariable.clear();
    for (const TimecycleRowRecord& row : state.rows) state.rowVariable.push_back(FindVariableRow(row.name));
    BuildKeyframeRunIndex(state.rows, state.index);
}

// Rows of a weather fingerprinted: a search that found nothing for the same
// rows finds nothing again while no block is located.
uint64_t RowsFingerprint(const std::vector<TimecycleRowRecord>& rows) {
    uint64_t h = 1469598103934665603ull;
    const auto mix = [&h](const void* data, size_t size) {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
    };
    for (const TimecycleRowRecord& row : rows) {
        mix(row.name.data(), row.name.size() + 1);
        mix(row.halves.data(), sizeof row.halves);
    }
    return h | 1;  // 0 means "no failed search"
}

void ForgetFailedSearches() {
    for (runtime::CachedSearch& search : KeyframeTable.FailedSearches) runtime::ForgetSearch(search);
}


// The GLOBAL recognition rows of a weather (ReadSearchRows); withoutShared:
// only rows that tell the weather's block from the other weathers'.
std::vector<TimecycleRowRecord> SearchRows(int w, bool withoutShared) {
    std::vector<TimecycleRowRecord> rows;
    ReadSearchRows(rows, w, withoutShared);
    return rows;
}

// Whether a block that follows from another weather's may be taken as this
// weather's: the weather has no rows at all, or one of its rows that no
// other weather shares stands whole in the block's GLOBAL records.
bool HoldsOwnRow(int w, uint64_t block) {
    if (SearchRows(w, false).empty()) return true;
    for (const TimecycleRowRecord& row : SearchRows(w, true)) {
        const int i = FindVariableRow(row.name);
        if (i < 0) continue;
        bool whole = true;
        for (int k = 0; k < static_cast<int>(kKeyframeCount) && whole; ++k) {
            uint16_t half = 0;
            const uint64_t at = KeyframeRecordAddress(block, kRegionGlobal, k) + 2 * static_cast<uint64_t>(i);
            whole = runtime::GuardedCopy(&half, reinterpret_cast<const void*>(at), 2) &&
                    half == row.halves[static_cast<size_t>(k)];
        }
        if (whole) return true;
    }
    return false;
}

// Takes a located block as the weather's when it was taken before or holds
// a row of the weather's own.
bool AcceptFollowingBlock(int w, uint64_t block) {
    core::SharedValue<uint64_t>& accepted = KeyframeTable.AcceptedBlocks[static_cast<size_t>(w)];
    if (accepted == block) return true;
    if (!HoldsOwnRow(w, block)) return false;
    accepted = block;
    return true;
}

// Prepares a search of the weather's rows; false when there is nothing to
// search (no rows, a failed search of the same rows remembered).
bool BeginScan(ScanState& state, int w) {
    state = ScanState{};
    state.weather = w;
    state.rows = SearchRows(w, true);
    if (state.rows.empty()) return false;
    state.rowsFingerprint = RowsFingerprint(state.rows);
    if (!runtime::SearchDue(KeyframeTable.FailedSearches[static_cast<size_t>(w)], platform::TickCount64(),
                           state.rowsFingerprint))
        return false;
    BuildIndex(state);
    state.matches.reserve(kScanMatchLimit);
    // The private read-write memory, in 1 MiB steps, within the budgets.
    runtime::RegionWalk& walk = state.walk;
    walk.filter = {runtime::IsWritableDataProtect, platform::kMemPrivate, 0, KeyframeTable.ScanRegionLimitForTesting};
    walk.pieceBytes = kScanStep;
    walk.byteBudget = kScanByteBudget;
    walk.timeBudgetMs = kScanTimeBudgetMs;
    return true;
}

// Matches one step of memory (and the reach of a row past it, within its
// run) where it stands. A fault drops the step and what it found. False
// when the search is to stop.
bool ScanPiece(ScanState& state, const runtime::RegionPiece& piece, uint64_t& stepBytes) {
    const uint64_t length = std::min<uint64_t>(kScanChunkBytes, piece.segmentEnd - piece.start);
    const uint64_t step = piece.end - piece.start;
    const size_t matchesBefore = state.matches.size();
    PieceScan scan{&state, &piece, length, step};
    if (length >= kRowReach && !platform::GuardedRun(&MatchPiece, &scan)) {
        state.matches.resize(matchesBefore);
        state.stop = false;
        ++state.stats.chunksSkipped;
        return true;
    }
    runtime::SpendWalkBytes(state.walk, step);
    stepBytes += step;
    if (state.stop) return false;
    if (state.matches.size() >= static_cast<size_t>(kScanVotesNeeded)) {
        int votes = 0;
        if (Acceptable(Vote(state, votes), votes)) {
            state.stats.stoppedEarly = true;
            return false;
        }
    }
    return true;
}

// One slice of the walk; true once the walk is over.
bool StepScan(ScanState& state) {
    runtime::RegionWalk& walk = state.walk;
    if (walk.done) return true;
    runtime::BeginWalkSlice(walk, {kScanSliceBytes, kScanSliceMs});
    uint64_t stepBytes = 0;
    runtime::RegionPiece piece;
    while (runtime::NextRegionPiece(walk, piece)) {
        if (!ScanPiece(state, piece, stepBytes)) runtime::StopWalk(walk);
    }
    KeyframeScanStats& stats = state.stats;
    ++stats.slices;
    stats.largestSliceBytes = std::max(stats.largestSliceBytes, stepBytes);
    stats.bytesScanned = walk.bytesSpent;
    stats.regionsScanned = walk.regionsTaken;
    stats.matches = state.matches.size();
    stats.elapsedMs = walk.elapsedMs;
    {
        std::lock_guard<std::mutex> lock(SharedSearchStateMutex());
        KeyframeTable.LastScanStats = stats;
    }
    return walk.done;
}

// The block the finished walk accepts, stored for the weather and every
// other; 0 when none (then the rows are remembered as not found).
uint64_t FinishScan(ScanState& state) {
    int votes = 0;
    const uint64_t best = Vote(state, votes);
    if (!Acceptable(best, votes)) {
        runtime::SettleSearch(KeyframeTable.FailedSearches[static_cast<size_t>(state.weather)], 0,
                              platform::TickCount64(), state.rowsFingerprint);
        return 0;
    }
    KeyframeTable.WeatherBlockTable[static_cast<size_t>(state.weather)] = best;
    KeyframeTable.AcceptedBlocks[static_cast<size_t>(state.weather)] = best;
    LocateWeatherBlocks(state.weather, best);
    return best;
}

// The search that a start asked for: the target weather, and EXTRASUNNY's
// rows first when the target could be derived from its block.
struct KeyframeSearch {
    KeyframeSearchState state = KeyframeSearchState::Idle;
    int target = 0;
    bool extrasunnyFirst = false;  // EXTRASUNNY's own walk still to come or running
    bool scanning = false;
    ScanState scan;
    uint64_t result = 0;
};
// The load preview's search (render thread); ScanTimecycleTable runs one of
// its own, so that a search on the script fiber never disturbs it.
KeyframeSearch Search;

void EndSearch(KeyframeSearch& search, uint64_t block) {
    search.scan = ScanState{};
    search.scanning = false;
    search.result = block;
    search.state = block ? KeyframeSearchState::Found : KeyframeSearchState::NotFound;
}

// Starts the next walk of the search, or ends it when none is left.
void BeginNextWalk(KeyframeSearch& search) {
    while (!search.scanning) {
        if (search.extrasunnyFirst) {
            if (BeginScan(search.scan, 0)) {
                search.scanning = true;
                return;
            }
            search.extrasunnyFirst = false;
            continue;
        }
        if (BeginScan(search.scan, search.target)) {
            search.scanning = true;
            return;
        }
        EndSearch(search, 0);
        return;
    }
}

}  // namespace

void LocateWeatherBlocks(int weather, uint64_t address) {
    if (address == 0) return;
    const int64_t t = TypeIdOf(weather);
    bool located = false;
    for (size_t j = 0; j < kWeatherCount; ++j) {
        const int64_t u = static_cast<int64_t>(WeatherNameTable[j].typeId);
        const uint64_t candidate = address + static_cast<uint64_t>((u - t) * static_cast<int64_t>(kWeatherBlockSpacing));
        // An entry that already holds this address passed the test before
        // and keeps it either way.
        if (candidate != 0 && candidate != KeyframeTable.WeatherBlockTable[j] && BlockWritable(candidate)) {
            KeyframeTable.WeatherBlockTable[j] = candidate;
            located = true;
        }
    }
    // A table in a new place: searches that found nothing may find it now.
    if (located) ForgetFailedSearches();
}

uint64_t DeriveWeatherBlockFromKnown(int weather) {
    const int w = ClampWeather(weather);
    const int64_t t = TypeIdOf(w);
    for (size_t k = 0; k < kWeatherCount; ++k) {
        const uint64_t known = KeyframeTable.WeatherBlockTable[k];
        if (known == 0) continue;
        const int64_t u = static_cast<int64_t>(WeatherNameTable[k].typeId);
        const uint64_t candidate = known + static_cast<uint64_t>((t - u) * static_cast<int64_t>(kWeatherBlockSpacing));
        if (candidate != 0 && BlockWritable(candidate)) {
            KeyframeTable.WeatherBlockTable[static_cast<size_t>(w)] = candidate;
            LocateWeatherBlocks(w, candidate);
            return candidate;
        }
    }
    return 0;
}

uint64_t KnownWeatherBlock(int weather) {
    const int w = ClampWeather(weather);
    const uint64_t known = KeyframeTable.WeatherBlockTable[static_cast<size_t>(w)];
    if (known != 0 && BlockWritable(known)) {
        if (!AcceptFollowingBlock(w, known)) return 0;
        LocateWeatherBlocks(w, known);
        return known;
    }
    if (w == 0) return 0;
    const uint64_t derived = DeriveWeatherBlockFromKnown(w);
    return derived != 0 && AcceptFollowingBlock(w, derived) ? derived : 0;
}

uint64_t AcceptedWeatherBlock(int weather) {
    const size_t w = static_cast<size_t>(ClampWeather(weather));
    const uint64_t block = KeyframeTable.AcceptedBlocks[w];
    return block != 0 && block == KeyframeTable.WeatherBlockTable[w] && BlockWritable(block) ? block : 0;
}

namespace {

void StartSearch(KeyframeSearch& search, int weather) {
    const int w = ClampWeather(weather);
    search.target = w;
    search.state = KeyframeSearchState::Running;
    if (const uint64_t known = KnownWeatherBlock(w)) {
        EndSearch(search, known);
        return;
    }
    search.extrasunnyFirst = w != 0 && KeyframeTable.WeatherBlockTable[0] == 0;
    BeginNextWalk(search);
}

KeyframeSearchState StepSearch(KeyframeSearch& search) {
    if (search.state != KeyframeSearchState::Running || !StepScan(search.scan)) return search.state;
    const uint64_t found = FinishScan(search.scan);
    search.scanning = false;
    if (search.extrasunnyFirst) {
        search.extrasunnyFirst = false;
        const uint64_t derived = found != 0 ? DeriveWeatherBlockFromKnown(search.target) : 0;
        if (derived != 0 && AcceptFollowingBlock(search.target, derived)) {
            EndSearch(search, derived);
        } else {
            BeginNextWalk(search);
        }
        return search.state;
    }
    EndSearch(search, found);
    return search.state;
}

}  // namespace

void StartKeyframeTableSearch(int weather) {
    CancelKeyframeTableSearch();
    StartSearch(Search, weather);
}

KeyframeSearchState StepKeyframeTableSearch() { return StepSearch(Search); }

uint64_t KeyframeTableSearchResult() { return Search.state == KeyframeSearchState::Found ? Search.result : 0; }

void CancelKeyframeTableSearch() { Search = KeyframeSearch{}; }

uint64_t ScanTimecycleTable(int weather) {
    KeyframeSearch search;
    StartSearch(search, weather);
    while (StepSearch(search) == KeyframeSearchState::Running) {
    }
    return search.state == KeyframeSearchState::Found ? search.result : 0;
}

bool SnapshotWeatherBlock(int weather, uint64_t address) {
    std::lock_guard<std::mutex> lock(SharedSearchStateMutex());
    WeatherBlockSnapshot& snapshot = KeyframeTable.WeatherBlockSnapshots[static_cast<size_t>(ClampWeather(weather))];
    if (snapshot.taken && snapshot.bytes.size() == kWeatherBlockBytes) return true;
    // The game's bytes in the editor's memory, registered before they
    // arrive: no search may take them for the game's.
    if (snapshot.bytes.size() != kWeatherBlockBytes) snapshot.bytes.Clear();
    uint8_t* const bytes = snapshot.bytes.Reserve(kWeatherBlockBytes);
    bool all = true;
    const bool readableBlock = runtime::IsReadable(address, kWeatherBlockBytes);
    for (size_t record = 0; record < kRecordCount; ++record) {
        uint8_t* image = bytes + record * kKeyframeRecordBytes;
        const bool read = ReadRecord(address + record * kKeyframeRecordBytes, image, readableBlock);
        if (!read) std::memset(image, 0, kKeyframeRecordBytes);
        snapshot.recordValid[record] = read ? 1 : 0;
        all = all && read;
    }
    snapshot.taken = 1;
    return all;
}

void DiscardWeatherSnapshot(int weather) {
    std::lock_guard<std::mutex> lock(SharedSearchStateMutex());
    WeatherBlockSnapshot& snapshot = KeyframeTable.WeatherBlockSnapshots[static_cast<size_t>(ClampWeather(weather))];
    snapshot.taken = 0;
    // Wiped before the memory goes back: a copy of the game's table left in
    // freed memory would be found by the next scan.
    snapshot.bytes.Clear();
    snapshot.recordValid.fill(0);
}

void ReleaseWeatherSnapshots() {
    for (size_t w = 0; w < kWeatherCount; ++w) DiscardWeatherSnapshot(static_cast<int>(w));
}

void CaptureOriginalsFromSnapshot(int weather, uint8_t regions) {
    const int w = ClampWeather(weather);
    EditStoreLock lock(EditStoreMutex());
    const WeatherBlockSnapshot& snapshot = KeyframeTable.WeatherBlockSnapshots[static_cast<size_t>(w)];
    if (!snapshot.taken || snapshot.bytes.size() != kWeatherBlockBytes) return;
    for (int r = 0; r < 2; ++r) {
        if (((regions >> r) & 1) == 0) continue;
        for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) {
            const size_t record = static_cast<size_t>(r * 13 + k);
            // A record the snapshot could not read holds no game values.
            if (!snapshot.recordValid[record]) continue;
            EditSlot& slot = GetEditSlot(w, r, k);
            if (!slot.loaded) continue;
            const size_t n = std::min<size_t>(EntryCount(slot), kKeyframeRecordValues);
            for (size_t i = 0; i < n; ++i) {
                EditEntry& e = slot.entries[i];
                if (!e.present) continue;
                const float original = HalfToFloat(HalfAt(snapshot.bytes.data(), record * kKeyframeRecordBytes + 2 * i));
                e.original = original;
                e.live = original;
                e.originalCaptured = 1;
                const bool d = ValuesDiffer(e.value, original);
                e.edited = d ? 1 : 0;
                e.imported = d ? 1 : 0;
                e.editStamp = d ? NextEditStamp() : 0;
            }
        }
    }
    RebuildBothRegion(w);
    ReloadCurrentContextIfOnWeather(w);
    EditStore.GroupFlagsDirty = 1;
}

bool ApplyContextToLive() {
    EditStoreLock lock(EditStoreMutex());
    const TimecycleContext& c = EditStore.CurrentTimecycleContext;
    if (!c.valid) return false;
    const int w = ClampWeather(c.weather);
    const uint64_t block = AcceptedWeatherBlock(w);
    if (block == 0) return false;
    CommitCurrentContext();
    if (!GetEditSlot(c.weather, c.region, c.keyframe).loaded) return false;
    const int k = ClampKeyframe(c.keyframe);
    uint64_t written = 0;
    uint64_t failed = 0;
    for (int r = 0; r < 2; ++r) {
        if (c.region != kRegionBoth && c.region != r) continue;
        WriteRegionRecord(KeyframeRecordAddress(block, r, k), &GetEditSlot(w, r, k), &GetEditSlot(w, kRegionBoth, k),
                          false, true, written, failed);
    }
    return written > 0 && failed == 0;
}

RecordWriteCounts WriteWeatherRecords(int weather, uint64_t block, bool showBefore) {
    const int w = ClampWeather(weather);
    EditStoreLock lock(EditStoreMutex());
    RecordWriteCounts counts;
    const bool writableBlock = BlockWritable(block);
    for (int r = 0; r < 2; ++r) {
        for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) {
            const EditSlot& slot = GetEditSlot(w, r, k);
            if (!slot.loaded) continue;
            ++counts.loadedRecords;
            WriteRegionRecord(KeyframeRecordAddress(block, r, k), &slot, &GetEditSlot(w, kRegionBoth, k), showBefore,
                              writableBlock, counts.written, counts.failed);
        }
    }
    return counts;
}

bool WriteWeatherBlockLive(int weather, bool showBefore, uint64_t* writtenValues) {
    if (writtenValues) *writtenValues = 0;
    const int w = ClampWeather(weather);
    uint64_t block = AcceptedWeatherBlock(w);
    if (block == 0) block = ScanTimecycleTable(w);
    if (!BlockWritable(block)) return false;
    EditStoreLock lock(EditStoreMutex());
    CommitCurrentContext();
    const RecordWriteCounts counts = WriteWeatherRecords(w, block, showBefore);
    if (writtenValues) *writtenValues = counts.written;
    return counts.written > 0 && counts.failed == 0;
}

void SyncTimecycleBeforeAfter() {
    int w = 0;
    uint8_t shown = 0;
    {
        EditStoreLock lock(EditStoreMutex());
        const TimecycleContext& c = EditStore.CurrentTimecycleContext;
        if (!c.valid) return;
        w = ClampWeather(c.weather);
        shown = core::Editor.TimecycleAfterShown.Get();
        BeforeAfterSyncState& sync = KeyframeTable.BeforeAfterSync;
        const bool changed = sync.initialised && shown != sync.lastAfterShown;
        sync.initialised = 1;
        sync.lastAfterShown = shown;
        sync.lastWeather = w;
        // A change of weather alone writes nothing.
        if (!changed || KeyframeTable.AcceptedBlocks[static_cast<size_t>(w)] == 0) return;
    }
    // Outside the lock: the write may have to search for the block again.
    WriteWeatherBlockLive(w, shown == 0);
}

void RefreshTimecycleSlot(runtime::LiveOverrideSlot& slot) {
    if (slot.loaded && KeyframeTable.SlotRefreshHoldFrames >= 1) return;
    runtime::RefreshLiveSlot(slot, false, core::Editor.MenuOpen.Get() != 0 && core::Editor.SlotRefreshTick.Get() != 0);
}

KeyframeScanStats LastKeyframeScanStats() {
    std::lock_guard<std::mutex> lock(SharedSearchStateMutex());
    return KeyframeTable.LastScanStats;
}

void ResetKeyframeTable() {
    CancelTimecyclePreview();
    CancelKeyframeTableSearch();
    ForgetFailedSearches();
    for (core::SharedValue<uint64_t>& entry : KeyframeTable.WeatherBlockTable) entry = 0;
    for (core::SharedValue<uint64_t>& entry : KeyframeTable.AcceptedBlocks) entry = 0;
    ReleaseWeatherSnapshots();
    {
        EditStoreLock lock(EditStoreMutex());
        KeyframeTable.BeforeAfterSync = BeforeAfterSyncState{};
    }
    KeyframeTable.SlotRefreshHoldFrames = 0;
    KeyframeTable.ScanRegionLimitForTesting = 0;
    std::lock_guard<std::mutex> lock(SharedSearchStateMutex());
    KeyframeTable.LastScanStats = KeyframeScanStats{};
}

}  // namespace timecycle
