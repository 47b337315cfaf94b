#include "timecycle/keyframe_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>

#include "host/editor_state.h"
#include "platform/clock.h"
#include "platform/memory.h"
#include "runtime/guarded_memory.h"
#include "runtime/live_slots.h"
#include "timecycle/edit_store.h"
#include "timecycle/half_float.h"
#include "timecycle/recognition_rows.h"
#include "timecycle/timecycle_model.h"

namespace timecycle {

std::array<uint64_t, kWeatherCount> WeatherBlockTable{};
std::array<WeatherBlockSnapshot, kWeatherCount> WeatherBlockSnapshots;
BeforeAfterSyncState TimecycleBeforeAfterSync;
int32_t SlotRefreshHoldFrames = 0;
KeyframeScanStats LastKeyframeScanStats;
uint64_t KeyframeScanRegionLimitForTesting = 0;

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
// guarded copy WriteBytesProtected makes for a writable range, without
// asking for the region again; anything else goes through WriteBytesProtected.
bool WriteRecord(uint64_t address, const uint8_t* image, bool inWritableBlock) {
    if (inWritableBlock && runtime::GuardedCopy(reinterpret_cast<void*>(address), image, kKeyframeRecordBytes))
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

// ---- The scan ---------------------------------------------------------------------

struct AddressRange {
    uint64_t begin = 0;
    uint64_t end = 0;
};

struct ScanState {
    const std::vector<TimecycleRowRecord>* rows = nullptr;
    std::vector<int> rowVariable;                      // variable index of each row, -1 when none
    std::array<uint64_t, 65536 / 64> anchorBits{};     // which halves are some row's anchor
    std::vector<std::pair<uint16_t, uint32_t>> lists;  // (anchor half, row), by anchor then row order
    std::vector<KeyframeTableMatch> matches;
    std::vector<AddressRange> excluded;
    uint8_t* buffer = nullptr;
    uint64_t startTick = 0;
    uint64_t bytesScanned = 0;
    bool stop = false;
    bool accepted = false;
};

bool OverBudget(ScanState& state) {
    if (state.stop) return true;
    if (platform::TickCount64() - state.startTick >= kScanTimeBudgetMs) return true;
    if (state.bytesScanned >= kScanByteBudget) return true;
    return false;
}

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

inline bool IsAnchor(const uint64_t* bits, uint16_t v) { return ((bits[v >> 6] >> (v & 63)) & 1) != 0; }

// The rows anchored on the u16 at offset p: each whose 13 values stand at
// their 864-byte spacing from a start below step is a match.
void TryAnchor(ScanState& state, uint64_t p, uint16_t value, uint64_t position, uint64_t length, uint64_t step,
               const platform::MemoryRegion& region) {
    const uint8_t* buffer = state.buffer;
    const std::vector<TimecycleRowRecord>& rows = *state.rows;
    auto it = std::lower_bound(state.lists.begin(), state.lists.end(), std::make_pair(value, uint32_t{0}));
    for (; it != state.lists.end() && it->first == value; ++it) {
        const TimecycleRowRecord& row = rows[it->second];
        const uint64_t anchorOffset = static_cast<uint64_t>(row.anchorKeyframe) * kKeyframeRecordBytes;
        if (p < anchorOffset) continue;
        const uint64_t start = p - anchorOffset;
        if (start >= step || start + kRowReach > length) continue;
        bool all = true;
        for (size_t k = 0; k < kKeyframeCount && all; ++k)
            all = HalfAt(buffer, start + k * kKeyframeRecordBytes) == row.halves[k];
        if (!all) continue;
        if (state.matches.size() >= kScanMatchLimit) {
            state.stop = true;
            return;
        }
        state.matches.push_back(KeyframeTableMatch{position + start, region.base, region.base + region.size,
                                                   region.protect, region.type, it->second});
    }
}

// Tries every start offset below step whose 13-record reach lies in the
// buffer. Offsets are tried through the anchor value a row expects at
// start + anchorKeyframe x 864, which may lie past step; the u16 values are
// tested four at a time against the anchor bitmap.
void MatchChunk(ScanState& state, uint64_t position, uint64_t length, uint64_t step,
                const platform::MemoryRegion& region) {
    const uint8_t* buffer = state.buffer;
    const uint64_t* bits = state.anchorBits.data();
    uint64_t p = 0;
    for (; p + 8 <= length && !state.stop; p += 8) {
        uint64_t word;
        std::memcpy(&word, buffer + p, 8);
        const uint16_t v0 = static_cast<uint16_t>(word);
        const uint16_t v1 = static_cast<uint16_t>(word >> 16);
        const uint16_t v2 = static_cast<uint16_t>(word >> 32);
        const uint16_t v3 = static_cast<uint16_t>(word >> 48);
        const uint64_t any = (bits[v0 >> 6] >> (v0 & 63)) | (bits[v1 >> 6] >> (v1 & 63)) |
                             (bits[v2 >> 6] >> (v2 & 63)) | (bits[v3 >> 6] >> (v3 & 63));
        if ((any & 1) == 0) continue;
        const uint16_t values[4] = {v0, v1, v2, v3};
        for (uint64_t j = 0; j < 4 && !state.stop; ++j) {
            if (IsAnchor(bits, values[j])) TryAnchor(state, p + 2 * j, values[j], position, length, step, region);
        }
    }
    for (; p + 2 <= length && !state.stop; p += 2) {
        const uint16_t value = HalfAt(buffer, p);
        if (IsAnchor(bits, value)) TryAnchor(state, p, value, position, length, step, region);
    }
}

void ScanSegment(ScanState& state, uint64_t begin, uint64_t end, const platform::MemoryRegion& region) {
    for (uint64_t position = begin; position < end; position += kScanStep) {
        if (OverBudget(state)) {
            state.stop = true;
            return;
        }
        const uint64_t length = std::min<uint64_t>(kScanChunkBytes, end - position);
        if (!runtime::GuardedCopy(state.buffer, reinterpret_cast<const void*>(position), length)) {
            ++LastKeyframeScanStats.chunksSkipped;
            continue;
        }
        const uint64_t step = std::min<uint64_t>(kScanStep, end - position);
        state.bytesScanned += step;
        if (length >= kRowReach) MatchChunk(state, position, length, step, region);
        if (state.stop) return;
        if (state.matches.size() >= static_cast<size_t>(kScanVotesNeeded)) {
            int votes = 0;
            const uint64_t best = Vote(state, votes);
            if (Acceptable(best, votes)) {
                state.stop = true;
                LastKeyframeScanStats.stoppedEarly = true;
                return;
            }
        }
    }
}

bool IsScannableRegion(const platform::MemoryRegion& region) {
    if (region.state != platform::kMemCommit || region.type != platform::kMemPrivate) return false;
    if (region.protect & (platform::kPageNoAccess | platform::kPageGuard)) return false;
    const uint32_t low = region.protect & 0xFF;
    return low == platform::kPageReadWrite || low == platform::kPageWriteCopy ||
           low == platform::kPageExecuteReadWrite || low == platform::kPageExecuteWriteCopy;
}

// Scans the region without the editor's own buffers that lie in it.
void ScanRegion(ScanState& state, const platform::MemoryRegion& region) {
    uint64_t begin = region.base;
    const uint64_t end = region.base + region.size;
    for (const AddressRange& range : state.excluded) {
        if (range.end <= begin || range.begin >= end) continue;
        if (range.begin > begin) ScanSegment(state, begin, range.begin, region);
        if (state.stop) return;
        begin = std::max(begin, range.end);
    }
    if (begin < end) ScanSegment(state, begin, end, region);
}

void BuildIndex(ScanState& state) {
    const std::vector<TimecycleRowRecord>& rows = *state.rows;
    state.rowVariable.resize(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        state.rowVariable[r] = FindVariableRow(rows[r].name);
        const uint16_t anchor = rows[r].anchorHalf;
        state.anchorBits[anchor >> 6] |= 1ull << (anchor & 63);
        state.lists.emplace_back(anchor, static_cast<uint32_t>(r));
    }
    std::stable_sort(state.lists.begin(), state.lists.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

void ExcludeOwnBuffers(ScanState& state, uint64_t bufferBegin, uint64_t bufferEnd) {
    state.excluded.push_back(AddressRange{bufferBegin, bufferEnd});
    for (const WeatherBlockSnapshot& snapshot : WeatherBlockSnapshots) {
        if (snapshot.bytes.capacity() == 0) continue;
        const uint64_t begin = reinterpret_cast<uint64_t>(snapshot.bytes.data());
        state.excluded.push_back(AddressRange{begin, begin + snapshot.bytes.capacity()});
    }
    std::sort(state.excluded.begin(), state.excluded.end(),
              [](const AddressRange& a, const AddressRange& b) { return a.begin < b.begin; });
}

// Walks the private read-write memory for the rows; the accepted block or 0.
uint64_t ScanForBlock(const std::vector<TimecycleRowRecord>& rows) {
    LastKeyframeScanStats = KeyframeScanStats{};
    ScanState state;
    state.rows = &rows;
    BuildIndex(state);
    const platform::SystemMemoryInfo info = platform::GetSystemMemoryInfo();
    const uint64_t bufferSize =
        (kScanChunkBytes + info.pageSize - 1) / info.pageSize * static_cast<uint64_t>(info.pageSize);
    const uintptr_t buffer = platform::AllocateAnywhere(bufferSize, platform::kPageReadWrite);
    if (buffer == 0) return 0;
    state.buffer = reinterpret_cast<uint8_t*>(buffer);
    ExcludeOwnBuffers(state, buffer, buffer + bufferSize);
    state.startTick = platform::TickCount64();

    uint64_t address = info.minimumAddress;
    while (address < info.maximumAddress && !OverBudget(state)) {
        platform::MemoryRegion region;
        if (!runtime::QueryNextRegion(address, region)) break;
        const uint64_t next = region.base + region.size;
        if (next <= address) break;
        if (IsScannableRegion(region) &&
            (KeyframeScanRegionLimitForTesting == 0 || region.size <= KeyframeScanRegionLimitForTesting)) {
            ++LastKeyframeScanStats.regionsScanned;
            ScanRegion(state, region);
            if (state.stop) break;
        }
        address = next;
    }
    platform::FreeMemory(buffer);

    LastKeyframeScanStats.bytesScanned = state.bytesScanned;
    LastKeyframeScanStats.matches = state.matches.size();
    LastKeyframeScanStats.elapsedMs = platform::TickCount64() - state.startTick;
    int votes = 0;
    const uint64_t best = Vote(state, votes);
    return Acceptable(best, votes) ? best : 0;
}

}  // namespace

void LocateWeatherBlocks(int weather, uint64_t address) {
    if (address == 0) return;
    const int64_t t = TypeIdOf(weather);
    for (size_t j = 0; j < kWeatherCount; ++j) {
        const int64_t u = static_cast<int64_t>(WeatherNameTable[j].typeId);
        const uint64_t candidate = address + static_cast<uint64_t>((u - t) * static_cast<int64_t>(kWeatherBlockSpacing));
        // An entry that already holds this address passed the test before
        // and keeps it either way.
        if (candidate != 0 && candidate != WeatherBlockTable[j] && BlockWritable(candidate)) WeatherBlockTable[j] = candidate;
    }
}

uint64_t DeriveWeatherBlockFromKnown(int weather) {
    const int w = ClampWeather(weather);
    const int64_t t = TypeIdOf(w);
    for (size_t k = 0; k < kWeatherCount; ++k) {
        if (WeatherBlockTable[k] == 0) continue;
        const int64_t u = static_cast<int64_t>(WeatherNameTable[k].typeId);
        const uint64_t candidate =
            WeatherBlockTable[k] + static_cast<uint64_t>((t - u) * static_cast<int64_t>(kWeatherBlockSpacing));
        if (candidate != 0 && BlockWritable(candidate)) {
            WeatherBlockTable[static_cast<size_t>(w)] = candidate;
            LocateWeatherBlocks(w, candidate);
            return candidate;
        }
    }
    return 0;
}

uint64_t ScanTimecycleTable(int weather) {
    const int w = ClampWeather(weather);
    const uint64_t known = WeatherBlockTable[static_cast<size_t>(w)];
    if (known != 0 && BlockWritable(known)) {
        LocateWeatherBlocks(w, known);
        return known;
    }
    if (w != 0) {
        if (const uint64_t derived = DeriveWeatherBlockFromKnown(w)) return derived;
        if (WeatherBlockTable[0] == 0 && ScanTimecycleTable(0) != 0) {
            if (const uint64_t derived = DeriveWeatherBlockFromKnown(w)) return derived;
        }
    }
    std::vector<TimecycleRowRecord> rows;
    ReadOriginalXmlRows(rows, w, kRegionGlobal);
    if (WeatherNameTable[static_cast<size_t>(w)].typeId != 5) {
        std::vector<TimecycleRowRecord> loaded;
        ReadLoadedContextRows(loaded, w, kRegionGlobal);
        rows.insert(rows.end(), loaded.begin(), loaded.end());
    }
    if (rows.empty()) return 0;
    const uint64_t block = ScanForBlock(rows);
    if (block == 0) return 0;
    WeatherBlockTable[static_cast<size_t>(w)] = block;
    LocateWeatherBlocks(w, block);
    return block;
}

bool SnapshotWeatherBlock(int weather, uint64_t address) {
    WeatherBlockSnapshot& snapshot = WeatherBlockSnapshots[static_cast<size_t>(ClampWeather(weather))];
    if (snapshot.taken && snapshot.bytes.size() == kWeatherBlockBytes) return true;
    snapshot.bytes.assign(kWeatherBlockBytes, 0);
    bool all = true;
    const bool readableBlock = runtime::IsReadable(address, kWeatherBlockBytes);
    for (size_t record = 0; record < kRecordCount; ++record) {
        uint8_t* image = snapshot.bytes.data() + record * kKeyframeRecordBytes;
        const bool read = ReadRecord(address + record * kKeyframeRecordBytes, image, readableBlock);
        if (!read) std::memset(image, 0, kKeyframeRecordBytes);
        snapshot.recordValid[record] = read ? 1 : 0;
        all = all && read;
    }
    snapshot.taken = 1;
    return all;
}

void DiscardWeatherSnapshot(int weather) {
    WeatherBlockSnapshot& snapshot = WeatherBlockSnapshots[static_cast<size_t>(ClampWeather(weather))];
    snapshot.taken = 0;
    // A copy of the game's table left in freed memory would be found by the
    // next scan: clear it before the memory goes back.
    // (Volatile stores: the compiler may not drop them as dead before the free.)
    volatile uint8_t* bytes = snapshot.bytes.data();
    for (size_t i = 0; i < snapshot.bytes.size(); ++i) bytes[i] = 0;
    std::vector<uint8_t>().swap(snapshot.bytes);
    snapshot.recordValid.fill(0);
}

void CaptureOriginalsFromSnapshot(int weather) {
    const int w = ClampWeather(weather);
    const WeatherBlockSnapshot& snapshot = WeatherBlockSnapshots[static_cast<size_t>(w)];
    if (!snapshot.taken || snapshot.bytes.size() != kWeatherBlockBytes) return;
    for (int r = 0; r < 2; ++r) {
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
    GroupFlagsDirty = 1;
}

bool ApplyContextToLive() {
    const TimecycleContext& c = CurrentTimecycleContext;
    if (!c.valid) return false;
    const int w = ClampWeather(c.weather);
    const uint64_t block = WeatherBlockTable[static_cast<size_t>(w)];
    if (!BlockWritable(block)) return false;
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
    uint64_t block = WeatherBlockTable[static_cast<size_t>(w)];
    if (!BlockWritable(block)) block = ScanTimecycleTable(w);
    if (!BlockWritable(block)) return false;
    CommitCurrentContext();
    const RecordWriteCounts counts = WriteWeatherRecords(w, block, showBefore);
    if (writtenValues) *writtenValues = counts.written;
    return counts.written > 0 && counts.failed == 0;
}

void SyncTimecycleBeforeAfter() {
    const TimecycleContext& c = CurrentTimecycleContext;
    if (!c.valid) return;
    const int w = ClampWeather(c.weather);
    const uint8_t shown = host::TimecycleAfterShown.load(std::memory_order_relaxed);
    BeforeAfterSyncState& sync = TimecycleBeforeAfterSync;
    if (!sync.initialised) {
        sync.initialised = 1;
        sync.lastAfterShown = shown;
        sync.lastWeather = w;
        return;
    }
    if (shown == sync.lastAfterShown) {
        sync.lastWeather = w;
        return;
    }
    if (WeatherBlockTable[static_cast<size_t>(w)] != 0) WriteWeatherBlockLive(w, shown == 0);
    sync.lastAfterShown = shown;
    sync.lastWeather = w;
}

void RefreshTimecycleSlot(runtime::LiveOverrideSlot& slot) {
    if (slot.loaded && SlotRefreshHoldFrames >= 1) return;
    runtime::RefreshLiveSlot(slot, false);
}

void ResetKeyframeTableForTesting() {
    WeatherBlockTable.fill(0);
    for (size_t w = 0; w < kWeatherCount; ++w) DiscardWeatherSnapshot(static_cast<int>(w));
    TimecycleBeforeAfterSync = BeforeAfterSyncState{};
    SlotRefreshHoldFrames = 0;
    LastKeyframeScanStats = KeyframeScanStats{};
}

}  // namespace timecycle
