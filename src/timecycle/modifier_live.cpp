#include "timecycle/modifier_live.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>

#include "core/file_utils.h"
#include "core/text.h"
#include "game/natives.h"
#include "platform/clock.h"
#include "platform/memory.h"
#include "runtime/guarded_memory.h"
#include "timecycle/modifier_defaults.h"

namespace timecycle {

ModifierLiveState ModifierLive;

namespace {

constexpr uint64_t kRefreshIntervalMs = 250;
constexpr uint64_t kBufferGranularity = 64u << 10;

uint64_t NowUs() {
    if (ModifierLive.config.clockUs) return ModifierLive.config.clockUs();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

uint64_t PackPair(float a, float b) {
    uint8_t bytes[8];
    std::memcpy(bytes, &a, 4);
    std::memcpy(bytes + 4, &b, 4);
    uint64_t word;
    std::memcpy(&word, bytes, 8);
    return word;
}

bool Finite(uint32_t bits) { return (bits & 0x7F800000u) != 0x7F800000u; }

bool Near(float game, float want) {
    return std::fabs(static_cast<double>(game) - static_cast<double>(want)) <= kModifierMatchTolerance;
}

// One record against a row: finite floats within the tolerance of the
// file's (useOriginals) or the current values.
bool RecordMatches(const uint8_t* record, const ModifierRowPair& row, bool useOriginals) {
    uint32_t aBits, bBits;
    std::memcpy(&aBits, record, 4);
    std::memcpy(&bBits, record + 4, 4);
    if (!Finite(aBits) || !Finite(bBits)) return false;
    const float a = std::bit_cast<float>(aBits), b = std::bit_cast<float>(bBits);
    return useOriginals ? Near(a, row.fileA) && Near(b, row.fileB) : Near(a, row.valueA) && Near(b, row.valueB);
}

std::vector<ModifierRowPair> RowPairsOf(const TimecycleModifier& m) {
    std::vector<ModifierRowPair> rows;
    rows.reserve(m.rows.size());
    for (const ModifierRow& r : m.rows) rows.push_back({r.fileA, r.fileB, r.valueA, r.valueB});
    return rows;
}

const TimecycleModifier* SelectedModifierOf(int32_t file, int32_t modifier) {
    if (file < 0 || file >= kModFileSlots) return nullptr;
    const TimecycleModFileSlot& slot = ModifierFiles.slots[static_cast<size_t>(file)];
    if (!slot.loaded || modifier < 0 || static_cast<size_t>(modifier) >= slot.modifiers.size()) return nullptr;
    return &slot.modifiers[static_cast<size_t>(modifier)];
}

bool SlotCommonOnly(int32_t file) { return ModifierFiles.slots[static_cast<size_t>(file)].commonOnly != 0; }

bool VerifyInto(uint8_t* buffer, uint64_t address, const std::vector<ModifierRowPair>& rows) {
    const uint64_t size = rows.size() * kModifierRecordBytes;
    if (rows.empty() || !runtime::SafeReadMemory(address, buffer, size)) return false;
    return MatchLiveRows(buffer, rows, 0, rows.size(), true) || MatchLiveRows(buffer, rows, 0, rows.size(), false);
}

OwnBuffer& CheckBuffer(uint64_t size) {
    if (!ModifierLive.checkBuffer) ModifierLive.checkBuffer = std::make_unique<OwnBuffer>();
    ModifierLive.checkBuffer->Reserve(size);
    return *ModifierLive.checkBuffer;
}

void SetStatus(std::string text) { ModifierLive.status = std::move(text); }

// ---- The resolved block --------------------------------------------------------------------

void ClearBlock() {
    ResolvedModifierBlock& b = ModifierLive.block;
    b.saved.reset();
    b.written.reset();
    b = ResolvedModifierBlock{};
}

void StopResolve() {
    ModifierResolveState& r = ModifierLive.resolve;
    r.resolving = 0;
    r.applyWhenReady = 0;
    r.file = -1;
    r.modifier = -1;
    r.anchorStart = 0;
    r.progress = ModifierScanProgress{};
    ++r.generation;
}

std::string BlockKey() {
    const ResolvedModifierBlock& b = ModifierLive.block;
    return LiveBlockCacheKey(b.file, b.modifier, b.modifierName, b.rows, b.commonOnly != 0);
}

// Reads the block's bytes as its saved copy and makes it the resolved block.
bool TakeBlock(uint64_t address, int32_t file, int32_t modifier, const std::string& name, uint64_t rows) {
    const uint64_t size = rows * kModifierRecordBytes;
    auto saved = std::make_unique<OwnBuffer>();
    auto written = std::make_unique<OwnBuffer>();
    if (size == 0 || !saved->Reserve(size) || !written->Reserve(size) ||
        !runtime::SafeReadMemory(address, saved->data(), size))
        return false;
    std::memcpy(written->data(), saved->data(), size);
    ClearBlock();
    ResolvedModifierBlock& b = ModifierLive.block;
    b.valid = 1;
    b.address = address;
    b.file = file;
    b.modifier = modifier;
    b.fileName = ModifierFiles.slots[static_cast<size_t>(file)].fileName;
    b.modifierName = name;
    b.rows = rows;
    b.commonOnly = 0;
    b.savedBytes = size;
    b.saved = std::move(saved);
    b.written = std::move(written);
    platform::MemoryRegion region;
    if (runtime::QueryRegion(address, region)) {
        // From the start of the allocation: a query answers from the page asked about.
        const uint64_t start = region.allocationBase != 0 && region.allocationBase <= region.base ? region.allocationBase
                                                                                                   : region.base;
        ModifierLive.resolve.lastRegion = {start, static_cast<uint64_t>(region.base) + region.size};
    }
    return true;
}

void StoreLiveBlockCache(int32_t file, int32_t modifier, const std::string& name, uint64_t rows, uint64_t address) {
    if (file < 0 || modifier < 0 || address == 0 || rows == 0) return;
    ModifierLive.cache[LiveBlockCacheKey(file, modifier, name, rows, false)] =
        LiveBlockCacheEntry{1, address, file, modifier, name, rows, 0};
}

// Whether every record of the block still holds the saved bytes or the
// values last written (A and B; the other 4 bytes are the game's).
bool BlockStillHeld() {
    const ResolvedModifierBlock& b = ModifierLive.block;
    if (!b.valid || !b.saved || !b.written) return false;
    OwnBuffer& check = CheckBuffer(b.savedBytes);
    if (check.capacity() < b.savedBytes || !runtime::SafeReadMemory(b.address, check.data(), b.savedBytes)) return false;
    for (uint64_t i = 0; i < b.rows; ++i) {
        const uint64_t at = i * kModifierRecordBytes;
        if (std::memcmp(check.data() + at, b.saved->data() + at, 8) != 0 &&
            std::memcmp(check.data() + at, b.written->data() + at, 8) != 0)
            return false;
    }
    return true;
}

// The game reused the block: forget it (no write) and say so.
void DropReusedBlock(const char* what) {
    ModifierLive.cache.erase(BlockKey());
    const std::string name = ModifierLive.block.modifierName;
    ClearBlock();
    StopResolve();
    ModifierLive.beforeShown = 0;
    ModifierLive.liveApplied = 0;
    SetStatus(std::string(what) + " failed: the game no longer holds the block of " + name + "; live mapping dropped.");
}

bool WriteRowValues(uint64_t index, float a, float b) {
    ResolvedModifierBlock& block = ModifierLive.block;
    const uint64_t at = block.address + index * kModifierRecordBytes;
    if (!runtime::SafeWriteMemory(at, &a, 4)) return false;
    std::memcpy(block.written->data() + index * kModifierRecordBytes, &a, 4);
    if (!runtime::SafeWriteMemory(at + 4, &b, 4)) return false;
    std::memcpy(block.written->data() + index * kModifierRecordBytes + 4, &b, 4);
    return true;
}

// ---- The scan ------------------------------------------------------------------------------

void StartRangeWalk(ModifierScanProgress& p, ModifierScanRange range) {
    p.walk = runtime::RegionWalk{};
    p.walk.filter = {runtime::IsWritableDataProtect, platform::kMemPrivate};
    p.walk.from = range.start;
    p.walk.to = range.end;
    p.walk.pieceBytes = kModifierChunkBytes;
}

void StartFullWalk(ModifierScanProgress& p) {
    StartRangeWalk(p, {ModifierLive.config.arenaFrom, ModifierLive.config.arenaTo});
    p.fullScan = true;
}

bool OverlapsOwn(const std::vector<uint64_t>& own, uint64_t start, uint64_t size) {
    for (size_t i = 0; i + 1 < own.size(); i += 2)
        if (own[i] < start + size && start < own[i + 1]) return true;
    return false;
}

struct ScanJob {
    uint64_t generation = 0;
    uint64_t anchor = 0;
    std::vector<ModifierRowPair> rows;
    ModifierScanProgress progress;
    // Chunk + tail, then one block for checks. The job holds it while it
    // scans, so nothing frees it meanwhile.
    std::unique_ptr<OwnBuffer> owned;
    uint8_t* buffer = nullptr;
};

// Scans until the slice is over (empty result) or the resolve has an outcome.
std::string ScanSlice(ScanJob& job) {
    ModifierScanProgress& p = job.progress;
    const uint64_t n = job.rows.size();
    const uint64_t blockBytes = n * kModifierRecordBytes;
    const uint64_t anchorBytes = job.anchor * kModifierRecordBytes;
    const uint64_t tail = anchorBytes + blockBytes;
    const ModifierRowPair& anchor = job.rows[job.anchor];
    const uint64_t key0 = PackPair(anchor.fileA, anchor.fileB);
    const uint64_t key1 = PackPair(anchor.valueA, anchor.valueB);
    uint8_t* chunk = job.buffer;
    uint8_t* check = job.buffer + kModifierChunkBytes + tail;
    const uint64_t began = NowUs();
    uint64_t longest = 0;
    bool first = true;
    for (;;) {
        const uint64_t now = NowUs();
        if (!first && now - began + longest > kModifierSliceUs) return {};
        first = false;
        runtime::RegionPiece piece;
        if (!runtime::NextRegionPiece(p.walk, piece)) {
            if (p.fullScan) return p.matches.empty() ? "NO_MATCH" : "AMBIGUOUS";
            if (!p.matches.empty()) return p.matches.size() == 1 ? "RESOLVED_RANGE" : "AMBIGUOUS";
            if (p.priorityIndex < p.priorityRanges.size()) {
                StartRangeWalk(p, p.priorityRanges[p.priorityIndex++]);
            } else {
                StartFullWalk(p);
            }
            continue;
        }
        const uint64_t chunkBegan = NowUs();
        runtime::SpendWalkBytes(p.walk, piece.end - piece.start);
        const uint64_t start = (piece.start + 3) & ~uint64_t(3);
        const uint64_t regionEnd = static_cast<uint64_t>(piece.region.base) + piece.region.size;
        if (start >= piece.end) continue;
        const uint64_t span = piece.end - start;
        const uint64_t length = std::min(span + tail, regionEnd - start);
        if (length < 8 || !runtime::SafeReadMemory(start, chunk, length)) continue;
        p.bytesRead += length;
        // Every 4-byte step of the piece whose 8 bytes were read: a key that
        // starts in the piece's last word is read from the tail.
        for (uint64_t q = 0; q < span && q + 8 <= length; q += 4) {
            uint64_t word;
            std::memcpy(&word, chunk + q, 8);
            if (word != key0 && word != key1) continue;
            const uint64_t hit = start + q;
            if (hit < anchorBytes) continue;
            const uint64_t c = hit - anchorBytes;
            if (c < piece.region.base || c + blockBytes > regionEnd) continue;
            if (OverlapsOwn(p.walk.own, c, blockBytes)) continue;
            if (std::find(p.matches.begin(), p.matches.end(), c) != p.matches.end()) continue;
            // Rows already in the chunk first: a row that fits neither its
            // file nor its current values rules the place out without a read.
            bool possible = true;
            for (uint64_t i = 0; i < n && possible; ++i) {
                const uint64_t at = c + i * kModifierRecordBytes;
                if (at < start || at + 8 > start + length) continue;
                const uint8_t* record = chunk + (at - start);
                possible = RecordMatches(record, job.rows[i], true) || RecordMatches(record, job.rows[i], false);
            }
            if (!possible || !VerifyInto(check, c, job.rows)) continue;
            p.matches.push_back(c);
            if (p.matches.size() > kModifierMaxMatches) return "AMBIGUOUS";
        }
        longest = std::max(longest, NowUs() - chunkBegan);
    }
}

void ResolveLiveBlock(const std::string& outcome) {
    ModifierResolveState& r = ModifierLive.resolve;
    r.resolving = 0;
    const TimecycleModifier* m = SelectedModifierOf(r.file, r.modifier);
    if (!m) {
        StopResolve();
        SetStatus("Live resolve stopped: selected modifier changed or unloaded.");
        return;
    }
    const std::vector<ModifierRowPair> rows = RowPairsOf(*m);
    OwnBuffer& check = CheckBuffer(rows.size() * kModifierRecordBytes);
    std::vector<uint64_t> candidates;
    for (uint64_t c : r.progress.matches)
        if (check.capacity() >= rows.size() * kModifierRecordBytes && VerifyInto(check.data(), c, rows))
            candidates.push_back(c);
    const int32_t file = r.file, modifier = r.modifier;
    const bool applyWhenReady = r.applyWhenReady != 0;
    r.applyWhenReady = 0;
    if (candidates.size() != 1) {
        SetStatus("Live resolve " + outcome + ". No live write will be allowed.");
        return;
    }
    if (!TakeBlock(candidates[0], file, modifier, m->name, rows.size())) {
        SetStatus("Live resolve failed: saved state unavailable.");
        return;
    }
    StoreLiveBlockCache(file, modifier, m->name, rows.size(), candidates[0]);
    SetStatus("Live block resolved safely: " + m->name + " at " + HexAddressText(candidates[0]) + " (" +
              std::to_string(rows.size()) + " rows).");
    if (applyWhenReady) ApplyModifierLive(file, modifier, 1, 1);
}

}  // namespace

// ---- Own buffers ----------------------------------------------------------------------------

OwnBuffer::~OwnBuffer() { Release(); }

bool OwnBuffer::Reserve(uint64_t size) {
    if (size <= capacity_) return true;
    Release();
    const uint64_t rounded = (size + kBufferGranularity - 1) / kBufferGranularity * kBufferGranularity;
    const ModifierResolveConfig& config = ModifierLive.config;
    base_ = config.allocate ? config.allocate(rounded) : platform::AllocateAnywhere(rounded, platform::kPageReadWrite);
    if (base_ == 0) return false;
    capacity_ = rounded;
    ownRange_ = runtime::RegisterOwnRange(data(), capacity_);
    return true;
}

void OwnBuffer::Release() {
    if (base_ == 0) return;
    runtime::WipeOwnBytes(data(), capacity_);
    runtime::UnregisterOwnRange(ownRange_);
    const ModifierResolveConfig& config = ModifierLive.config;
    if (config.release) {
        config.release(base_);
    } else {
        platform::FreeMemory(base_);
    }
    base_ = capacity_ = ownRange_ = 0;
}

void ResetModifierLiveState() {
    ModifierLock lock(ModifierMutex());
    const ModifierResolveConfig config = ModifierLive.config;
    const uint64_t generation = ModifierLive.resolve.generation;
    ClearBlock();
    ModifierLive.scanBuffer.reset();
    ModifierLive.checkBuffer.reset();
    ModifierLive.resolve = ModifierResolveState{};
    ModifierLive.resolve.generation = generation + 1;
    ModifierLive.cache.clear();
    ModifierLive.activation = ModifierActivation{};
    ModifierLive.liveApplied = 0;
    ModifierLive.beforeShown = 0;
    ModifierLive.status.clear();
    ModifierLive.closed = 0;
    ModifierLive.config = config;
}

// ---- Resolve --------------------------------------------------------------------------------

uint64_t ChooseModifierAnchor(const std::vector<ModifierRowPair>& rows) {
    if (rows.size() <= 6) return 0;
    auto score = [](const ModifierRowPair& r) {
        int s = 0;
        if (std::fabs(r.fileA) > 0.0005f) s += 4;
        if (std::fabs(r.fileB) > 0.0005f && std::fabs(r.fileB - 1.0f) > 0.0005f) s += 3;
        if (std::fabs(r.fileA) > 10.0f || std::fabs(r.fileB) > 10.0f) s += 2;
        return s;
    };
    uint64_t best = 0;
    int bestSum = -1;
    for (uint64_t w = 0; w + 6 <= rows.size(); ++w) {
        int sum = 0;
        for (uint64_t i = w; i < w + 6; ++i) sum += score(rows[i]);
        if (sum > bestSum) {
            bestSum = sum;
            best = w;
        }
    }
    return best;
}

bool MatchLiveRows(const uint8_t* bytes, const std::vector<ModifierRowPair>& rows, uint64_t first, uint64_t count,
                   bool useOriginals) {
    if (first > rows.size() || count > rows.size() - first) return false;
    for (uint64_t i = first; i < first + count; ++i)
        if (!RecordMatches(bytes + i * kModifierRecordBytes, rows[i], useOriginals)) return false;
    return true;
}

bool VerifyLiveBlock(uint64_t address, const std::vector<ModifierRowPair>& rows) {
    ModifierLock lock(ModifierMutex());
    OwnBuffer& check = CheckBuffer(rows.size() * kModifierRecordBytes);
    return check.capacity() >= rows.size() * kModifierRecordBytes && VerifyInto(check.data(), address, rows);
}

std::vector<ModifierScanRange> CollectScanRegions() {
    const ModifierResolveConfig& config = ModifierLive.config;
    const platform::SystemMemoryInfo info = platform::GetSystemMemoryInfo();
    const uint64_t from = config.arenaTo != 0 ? config.arenaFrom : info.minimumAddress;
    const uint64_t to = config.arenaTo != 0 ? config.arenaTo : info.maximumAddress;
    std::vector<ModifierScanRange> regions;
    const ModifierScanRange last = ModifierLive.resolve.lastRegion;
    if (last.start != 0 && last.end > last.start) regions.push_back(last);
    platform::MemoryRegion region;
    for (uint64_t at = from; at < to && runtime::QueryRegion(at, region);) {
        const uint64_t end = static_cast<uint64_t>(region.base) + region.size;
        if (end <= at) break;
        const bool readWrite = (region.protect & 0xFFu) == platform::kPageReadWrite &&
                               (region.protect & (platform::kPageGuard | platform::kPageNoAccess)) == 0;
        if (region.state == platform::kMemCommit && region.type == platform::kMemPrivate && readWrite &&
            region.size >= kModifierLargeRegion)
            regions.push_back({std::max<uint64_t>(region.base, from), std::min(end, to)});
        at = end;
    }
    std::vector<ModifierScanRange> ranges;
    auto add = [&](ModifierScanRange range) {
        if (range.start == 0 || range.end <= range.start) return;
        if (std::find(ranges.begin(), ranges.end(), range) == ranges.end()) ranges.push_back(range);
    };
    for (const ModifierScanRange& r : regions) add({r.start, std::min(r.start + kModifierPriorityHead, r.end)});
    for (const ModifierScanRange& r : regions)
        if (r.end - r.start > kModifierPriorityHead) add({r.start + kModifierPriorityHead, r.end});
    return ranges;
}

std::string LiveBlockCacheKey(int32_t file, int32_t modifier, std::string_view name, uint64_t rows, bool commonOnly) {
    std::string key = std::to_string(file) + "|" + std::to_string(modifier) + "|";
    key.append(name);
    key += "|" + std::to_string(rows) + "|" + (commonOnly ? "common" : "full");
    return key;
}

std::string HexAddressText(uint64_t address) { return core::FormatHexAddress(address); }

bool LiveBlockValidFor(int32_t file, int32_t modifier) {
    ModifierLock lock(ModifierMutex());
    const ResolvedModifierBlock& b = ModifierLive.block;
    return b.valid && b.file == file && b.modifier == modifier;
}

void StartModifierLiveResolve(int32_t file, int32_t modifier, bool applyWhenReady) {
    ModifierLock lock(ModifierMutex());
    const ResolvedModifierBlock& b = ModifierLive.block;
    ResetLiveMapping({}, b.valid && (b.file != file || b.modifier != modifier));
    ModifierResolveState& r = ModifierLive.resolve;
    if (file < 0 || file >= kModFileSlots) {
        SetStatus("Live resolve failed: invalid file selection.");
        return;
    }
    const TimecycleModifier* m = SelectedModifierOf(file, modifier);
    if (!m) {
        SetStatus("Live resolve failed: load and select a modifier first.");
        return;
    }
    if (SlotCommonOnly(file)) {
        SetStatus("Live resolve skipped: files whose layout differs from the game's are not resolved.");
        return;
    }
    if (m->rows.size() < 3) {
        SetStatus("Live resolve skipped: modifier has too few rows for a safe unique match.");
        return;
    }
    r.applyWhenReady = applyWhenReady ? 1 : 0;
    r.resolving = 1;
    r.file = file;
    r.modifier = modifier;
    r.anchorStart = ChooseModifierAnchor(RowPairsOf(*m));
    r.progress = ModifierScanProgress{};
    r.progress.priorityRanges = CollectScanRegions();
    if (!r.progress.priorityRanges.empty()) {
        StartRangeWalk(r.progress, r.progress.priorityRanges[0]);
        r.progress.priorityIndex = 1;
    } else {
        StartFullWalk(r.progress);
    }
    ++r.generation;
    ActivateModifier(m->name);
    SetStatus("Live resolve running: " + m->name + " anchor row " + std::to_string(r.anchorStart) +
              ", priority ranges " + std::to_string(r.progress.priorityRanges.size()) +
              (applyWhenReady ? ". It will apply when ready." : ". Keep the menu open until resolved."));
}

void StepModifierLiveResolve() {
    ScanJob job;
    {
        ModifierLock lock(ModifierMutex());
        ModifierResolveState& r = ModifierLive.resolve;
        if (!r.resolving || ModifierLive.closed) return;
        if (r.file < 0 || r.file >= kModFileSlots) {
            StopResolve();
            SetStatus("Live resolve stopped: invalid file index.");
            return;
        }
        const TimecycleModifier* m = SelectedModifierOf(r.file, r.modifier);
        if (!m) {
            StopResolve();
            SetStatus("Live resolve stopped: selected modifier changed or unloaded.");
            return;
        }
        job.rows = RowPairsOf(*m);
        if (job.rows.empty() || r.anchorStart >= job.rows.size()) {
            StopResolve();
            SetStatus("Live resolve stopped: invalid live state.");
            return;
        }
        const uint64_t blockBytes = job.rows.size() * kModifierRecordBytes;
        const uint64_t need = kModifierChunkBytes + r.anchorStart * kModifierRecordBytes + 2 * blockBytes;
        job.owned = ModifierLive.scanBuffer ? std::move(ModifierLive.scanBuffer) : std::make_unique<OwnBuffer>();
        if (!job.owned->Reserve(need)) {
            StopResolve();
            SetStatus("Live resolve stopped: no memory for the scan.");
            return;
        }
        job.buffer = job.owned->data();
        job.generation = r.generation;
        job.anchor = r.anchorStart;
        job.progress = std::move(r.progress);
        r.progress = ModifierScanProgress{};
    }
    // Game memory is read without the lock: the tab never waits for a slice.
    const uint64_t began = NowUs();
    const std::string outcome = ScanSlice(job);
    const uint64_t took = NowUs() - began;
    ModifierLock lock(ModifierMutex());
    if (!ModifierLive.closed && !ModifierLive.scanBuffer) ModifierLive.scanBuffer = std::move(job.owned);
    ModifierResolveState& r = ModifierLive.resolve;
    if (r.generation != job.generation || !r.resolving) return;  // restarted or stopped meanwhile
    r.progress = std::move(job.progress);
    ++r.progress.steps;
    r.progress.worstStepUs = std::max(r.progress.worstStepUs, took);
    if (!outcome.empty()) {
        ResolveLiveBlock(outcome);
        return;
    }
    SetStatus("Live resolve running: checked " + std::to_string(r.progress.bytesRead >> 20) + " MB, matches " +
              std::to_string(r.progress.matches.size()) + (r.progress.fullScan ? ", full scan." : ", priority pass."));
}

bool ReuseCachedLiveBlock(int32_t file, int32_t modifier) {
    ModifierLock lock(ModifierMutex());
    const TimecycleModifier* m = SelectedModifierOf(file, modifier);
    if (!m || SlotCommonOnly(file)) return false;
    const std::string key = LiveBlockCacheKey(file, modifier, m->name, m->rows.size(), false);
    const auto it = ModifierLive.cache.find(key);
    if (it == ModifierLive.cache.end()) return false;
    const LiveBlockCacheEntry e = it->second;
    const std::vector<ModifierRowPair> rows = RowPairsOf(*m);
    if (!e.found || e.address == 0 || e.rows != rows.size() || e.commonOnly != 0 || !VerifyLiveBlock(e.address, rows) ||
        !TakeBlock(e.address, file, modifier, m->name, rows.size())) {
        ModifierLive.cache.erase(key);
        return false;
    }
    SetStatus("Live block reused from cache: " + m->name + " at " + HexAddressText(e.address) + " (" +
              std::to_string(rows.size()) + " rows).");
    return true;
}

// ---- Apply and restore -------------------------------------------------------------------------

void ApplyModifierLive(int32_t file, int32_t modifier, uint8_t startIfNeeded, uint8_t refreshActive) {
    ModifierLock lock(ModifierMutex());
    if (file < 0 || file >= kModFileSlots) {
        SetStatus("Live apply skipped: invalid file selection.");
        return;
    }
    const TimecycleModifier* m = SelectedModifierOf(file, modifier);
    if (!m) {
        SetStatus("Live apply skipped: load and select a modifier first.");
        return;
    }
    if (SlotCommonOnly(file)) {
        TimecycleModifier vanilla;
        SetStatus(FindVanillaModifier(file, *m, vanilla)
                      ? "Value stored."
                      : "Live apply skipped: no matching vanilla modifier for common-only live apply.");
        return;
    }
    ModifierResolveState& r = ModifierLive.resolve;
    if (!LiveBlockValidFor(file, modifier)) {
        if (r.resolving && r.file == file && r.modifier == modifier) {
            if (startIfNeeded) {
                r.applyWhenReady = 1;
                SetStatus("Live apply queued: live mapping is still running.");
            } else {
                SetStatus("Value stored.");
            }
            return;
        }
        if (!ReuseCachedLiveBlock(file, modifier)) {
            if (!startIfNeeded) {
                SetStatus("Value stored.");
            } else {
                StartModifierLiveResolve(file, modifier, true);
            }
            return;
        }
        r.applyWhenReady = 0;
    }
    ResolvedModifierBlock& b = ModifierLive.block;
    if (m->rows.size() != b.rows || b.commonOnly != 0) {
        SetStatus("Live apply skipped: row count changed after resolve.");
        return;
    }
    if (!BlockStillHeld()) {
        DropReusedBlock("Live apply");
        return;
    }
    for (uint64_t i = 0; i < m->rows.size(); ++i) {
        if (!WriteRowValues(i, m->rows[i].valueA, m->rows[i].valueB)) {
            SetStatus("Live apply failed: runtime write failed.");
            return;
        }
    }
    ModifierLive.liveApplied = 1;
    ModifierActivation& act = ModifierLive.activation;
    if (refreshActive && act.applyRequested && core::EqualsNoCase(act.activeName, m->name)) act.applyNow = 1;
    SetStatus("Applied edits to " + m->name + ".");
}

void ApplyLiveRow(int32_t file, int32_t modifier, uint64_t row) {
    ModifierLock lock(ModifierMutex());
    const TimecycleModifier* m = SelectedModifierOf(file, modifier);
    if (!m || SlotCommonOnly(file) || !ModifierLive.liveApplied || row >= m->rows.size() ||
        (!LiveBlockValidFor(file, modifier) && !ReuseCachedLiveBlock(file, modifier)) ||
        ModifierLive.block.rows != m->rows.size() || ModifierLive.block.commonOnly != 0) {
        SetStatus("Value stored.");
        return;
    }
    if (!BlockStillHeld()) {
        DropReusedBlock("Live apply");
        return;
    }
    if (!WriteRowValues(row, m->rows[row].valueA, m->rows[row].valueB)) {
        SetStatus("Value stored.");
        return;
    }
    SetStatus("Applied live row " + std::to_string(row) + " to " + m->name + ".");
}

void RestoreModifierLive(int32_t file, int32_t modifier) {
    ModifierLock lock(ModifierMutex());
    ResolvedModifierBlock& b = ModifierLive.block;
    if (!LiveBlockValidFor(file, modifier)) {
        SetStatus("Live restore skipped: no resolved block for this selection.");
        return;
    }
    if (b.savedBytes == 0 || !b.saved) {
        SetStatus("Live restore skipped: saved state is empty.");
        return;
    }
    if (!BlockStillHeld()) {
        DropReusedBlock("Live restore");
        return;
    }
    if (!runtime::SafeWriteMemory(b.address, b.saved->data(), b.savedBytes)) {
        SetStatus("Live restore failed: runtime write failed.");
        return;
    }
    std::memcpy(b.written->data(), b.saved->data(), b.savedBytes);
    SetStatus("Restored " + b.modifierName + ".");
}

void ResetLiveMapping(std::string_view message, bool restoreFirst) {
    ModifierLock lock(ModifierMutex());
    ResolvedModifierBlock& b = ModifierLive.block;
    bool restored = false;
    if (restoreFirst && b.valid && b.savedBytes != 0 && b.saved) {
        if (BlockStillHeld()) {
            restored = runtime::SafeWriteMemory(b.address, b.saved->data(), b.savedBytes);
        } else {
            ModifierLive.cache.erase(BlockKey());
        }
    }
    ClearBlock();
    StopResolve();
    ModifierLive.beforeShown = 0;
    ModifierLive.liveApplied = 0;
    if (message.empty()) return;
    std::string text(message);
    if (restoreFirst)
        text += restored ? " Previous live state was restored first." : " No previous live state was available.";
    SetStatus(std::move(text));
}

void ForgetLiveStateOfSlot(int slot, std::string_view message) {
    ModifierLock lock(ModifierMutex());
    const bool blockOfSlot = ModifierLive.block.valid && ModifierLive.block.file == slot;
    const bool resolvingSlot = ModifierLive.resolve.resolving && ModifierLive.resolve.file == slot;
    if (blockOfSlot || resolvingSlot) ResetLiveMapping(message, true);
    std::erase_if(ModifierLive.cache, [slot](const auto& entry) { return entry.second.file == slot; });
}

void ModifierAllLiveBeforeAfter(uint8_t showBefore, uint8_t* changed) {
    ModifierLock lock(ModifierMutex());
    const int32_t file = ModifierFiles.selectedFile, modifier = ModifierFiles.selectedModifier;
    const TimecycleModifier* m = SelectedModifierOf(file, modifier);
    if (showBefore) {
        if (!m || !LiveBlockValidFor(file, modifier) || !ModifierHasEdits(*m)) return;
        RestoreModifierLive(file, modifier);
        if (!ModifierLive.block.valid) return;  // refused: nothing was written
        ModifierLive.activation = ModifierActivation{};
        ModifierLive.beforeShown = 1;
        if (changed) *changed = 1;
        return;
    }
    if (!ModifierLive.beforeShown || file < 0 || file >= kModFileSlots) return;
    if (m) ModifierLive.activation.activeName = m->name;
    ApplyModifierLive(file, modifier, 0, 0);
    ModifierLive.beforeShown = 0;
    if (changed) *changed = 1;
}

void ShutdownModifierLive() {
    ModifierLock lock(ModifierMutex());
    ModifierLive.closed = 1;
    // The mapping goes; the edited values stay in the game, as every data
    // edit does at the unload (only code is put back).
    ResetLiveMapping({}, false);
    ModifierLive.scanBuffer.reset();
    ModifierLive.checkBuffer.reset();
}

// ---- Activation ---------------------------------------------------------------------------------

void ActivateModifier(std::string_view name) {
    if (name.empty()) return;
    ModifierLock lock(ModifierMutex());
    ModifierActivation& act = ModifierLive.activation;
    act.activeName.assign(name);
    act.applyRequested = 1;
    act.applyNow = 1;
    act.deactivateRequested = 0;
    act.lastApplyTick = 0;
}

void RequestModifierDeactivation() {
    ModifierLock lock(ModifierMutex());
    ModifierActivation& act = ModifierLive.activation;
    act.applyRequested = 0;
    act.applyNow = 0;
    act.lastApplyTick = 0;
    act.deactivateRequested = 1;
}

void RefreshModifier() {
    std::string name;
    {
        ModifierLock lock(ModifierMutex());
        ModifierActivation& act = ModifierLive.activation;
        if (act.deactivateRequested) {
            act.deactivateRequested = 0;
            act.activeName.clear();
            act.lastApplyTick = 0;
        } else {
            if (!act.applyRequested || act.activeName.empty()) return;
            const uint64_t now = platform::TickCount64();
            if (!act.applyNow && act.lastApplyTick != 0 && now - act.lastApplyTick < kRefreshIntervalMs) return;
            act.applyNow = 0;
            act.lastApplyTick = now;
            name = act.activeName;
        }
    }
    // Natives without the lock: the render thread never waits on the game.
    if (name.empty()) {
        game::CallNative(game::kNativeClearModifier);
        return;
    }
    game::CallNative(game::kNativeSetModifier, {game::StringArg(name.c_str())});
    game::SetActiveModifierStrength(1.0f);
}

bool ModifierWorkPending() {
    ModifierLock lock(ModifierMutex());
    const ModifierActivation& act = ModifierLive.activation;
    return act.applyRequested || act.applyNow || act.deactivateRequested || ModifierLive.beforeShown ||
           ModifierLive.resolve.resolving || ModifierLive.resolve.applyWhenReady;
}

void SetModifierLiveStatus(std::string_view text) {
    ModifierLock lock(ModifierMutex());
    ModifierLive.status.assign(text);
}

std::string ModifierLiveStatusText() {
    ModifierLock lock(ModifierMutex());
    return ModifierLive.status;
}

}  // namespace timecycle
