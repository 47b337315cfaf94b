#include "runtime/live_writes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/memory.h"
#include "runtime/code_index.h"
#include "runtime/guarded_memory.h"
#include "runtime/image_search.h"
#include "runtime/near_alloc.h"
#include "runtime/scans.h"
#include "runtime/store_probes.h"

namespace runtime {

LiveWriteState LiveWrites;

namespace {

// ---- Status line ------------------------------------------------------------------------

struct StatusLine {
    std::mutex mutex;
    std::string text = "Ready.";
};
StatusLine& Status() {
    static StatusLine status;
    return status;
}
void SetStatus(std::string text) {
    StatusLine& s = Status();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.text = std::move(text);
}

// ---- Cave assembly --------------------------------------------------------------------

struct Emitter {
    std::vector<uint8_t> bytes;
    void Bytes(std::initializer_list<uint8_t> list) {
        for (uint8_t b : list) bytes.push_back(b);
    }
    void U64(uint64_t v) {
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void I32(int32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    }
    // mov rax, imm64
    void MovRax(uint64_t v) {
        Bytes({0x48, 0xB8});
        U64(v);
    }
    size_t size() const { return bytes.size(); }
};

bool FitsRel32(int64_t d) { return d >= INT32_MIN && d <= INT32_MAX; }

// A jmp rel32 at the end of the bytes, placed at cave, to target.
bool EmitJumpBack(Emitter& e, uint64_t cave, uint64_t target) {
    const int64_t rel = static_cast<int64_t>(target - (cave + e.size() + 5));
    if (!FitsRel32(rel)) return false;
    e.Bytes({0xE9});
    e.I32(static_cast<int32_t>(rel));
    return true;
}

uint64_t PageSize() {
    const uint64_t page = platform::GetSystemMemoryInfo().pageSize;
    return page != 0 ? page : 4096;
}

// The cave's block near site: one code page and its data pages after it.
// Kept once had (a cave is never freed in the run).
bool OpenCave(CaveBlock& cave, uint64_t site, uint64_t dataBytes) {
    if (cave.code != 0) return true;
    const uint64_t page = PageSize();
    const uint64_t dataSize = (dataBytes + page - 1) / page * page;
    const uint64_t base = AllocNear(site, static_cast<size_t>(page + dataSize));
    if (base == 0) return false;
    cave.code = base;
    cave.codeSize = page;
    cave.data = base + page;
    cave.dataSize = dataSize;
    return true;
}

// Writes the cave's code and makes its code page execute-read, exactly the
// code page of the block (the data after it stays read-write).
bool SealCave(CaveBlock& cave, const std::vector<uint8_t>& bytes) {
    if (bytes.size() > cave.codeSize || !WriteCode(cave.code, bytes.data(), bytes.size())) return false;
    uint32_t old = 0;
    if (!platform::ChangeProtection(static_cast<uintptr_t>(cave.code), static_cast<size_t>(cave.codeSize),
                                    platform::kPageExecuteRead, &old))
        return false;
    platform::FlushInstructionCache(static_cast<uintptr_t>(cave.code), bytes.size());
    cave.built = 1;
    return true;
}

void StoreWord(uint64_t address, uint32_t bits) {
    __atomic_store_n(reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(address)), bits, __ATOMIC_RELAXED);
}
void ExchangeWord(uint64_t address, uint32_t bits) {
    __atomic_exchange_n(reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(address)), bits, __ATOMIC_ACQ_REL);
}

// The jump that replaces a store of length bytes at site: E9 rel32, then
// no-operations.
bool SetJump(CodePatch& jump, uint64_t cave) {
    const int64_t rel = static_cast<int64_t>(cave - (jump.site + 5));
    if (!FitsRel32(rel) || jump.length < 5) return false;
    uint8_t bytes[kMaxCodePatchLength];
    std::memset(bytes, 0x90, sizeof bytes);
    bytes[0] = 0xE9;
    const int32_t r32 = static_cast<int32_t>(rel);
    std::memcpy(bytes + 1, &r32, 4);
    SetPatchBytes(jump, bytes);
    return true;
}

bool InOneReadableRegion(uint64_t address, uint64_t length) { return IsReadable(address, length); }

int32_t I32At(uint64_t address) {
    uint32_t bits = 0;
    GuardedReadU32(address, bits);
    return static_cast<int32_t>(bits);
}

std::span<const CodeSiteRow> g_testRows;
bool g_useTestRows = false;

constexpr uint8_t kMovssStore[] = {0xF3, 0x0F, 0x11, 0x05};
constexpr uint8_t kPuddleStore[] = {0x0F, 0x11, 0x86, 0x80, 0x02, 0x00, 0x00};

}  // namespace

std::string LiveWritesStatus() {
    StatusLine& s = Status();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.text;
}

std::span<const CodeSiteRow> LiveWriteRows() { return g_useTestRows ? g_testRows : CarriedCodeSiteRows(); }

void SetCodeSiteRowsForTesting(std::span<const CodeSiteRow> rows) {
    g_testRows = rows;
    g_useTestRows = !rows.empty();
}

void ResetLiveWritesForTesting() {
    auto free = [](CaveBlock& cave) {
        if (cave.code != 0) platform::FreeMemory(static_cast<uintptr_t>(cave.code));
        cave = CaveBlock{};
    };
    for (ManualLiveWrite& m : LiveWrites.manual) {
        free(m.cave);
        m.target = 0;
        m.jump = CodePatch{};
        m.resolved = 0;
        m.attempts = {};
    }
    for (AutoLiveWrite& a : LiveWrites.autos) {
        free(a.cave);
        a = AutoLiveWrite{};
    }
    LiveWrites.autoCount = 0;
    LiveWrites.selected = 0;
    LiveWrites.matched = 0;
    for (CodeSiteMatch& m : LiveWrites.matches) m = {};
    free(LiveWrites.puddle.cave);
    LiveWrites.puddle.jump = CodePatch{};
    LiveWrites.puddle.attempts = {};
    WriteListCave& w = LiveWrites.writeList;
    free(w.cave);
    w.blockOffset = 0;
    w.blockFound = 0;
    w.countFallback.store(0);
    w.countCopy = 0;
    w.installed.Set(0);
    LiveWrites.findParamValue = nullptr;
    SetCodeSiteRowsForTesting({});
    SetStatus("Ready.");
}

// ---- Manual live writes -------------------------------------------------------------------

uint64_t FindLiveWritesStorePattern(uint64_t index) {
    if (index >= kManualLiveWriteCount) return 0;
    return CodePatternUnique(static_cast<CodePatternId>(static_cast<size_t>(CodePatternId::ManualLiveWrite0) + index));
}

uint64_t ReadMovssStoreTarget(uint64_t index) {
    ManualLiveWrite* entry = index < kManualLiveWriteCount ? &LiveWrites.manual[index] : nullptr;
    if (entry != nullptr && entry->target != 0) return entry->target;
    const uint64_t hit = FindLiveWritesStorePattern(index);
    uint8_t head[8];
    if (hit == 0 || !IsReadable(hit, 8) ||
        !GuardedCopy(head, reinterpret_cast<const void*>(static_cast<uintptr_t>(hit)), 8) ||
        std::memcmp(head, kMovssStore, 4) != 0)
        return 0;
    const uint64_t target = hit + 8 + static_cast<uint64_t>(static_cast<int64_t>(I32At(hit + 4)));
    if (target == 0 || !IsReadable(target, 4)) return 0;
    if (entry != nullptr) entry->target = target;
    return target;
}

uint64_t CheckLiveWritesSite(ManualLiveWrite& entry) {
    if (entry.resolved) return entry.jump.captured ? entry.jump.site : 0;
    entry.resolved = 1;
    const uint64_t base = GameImageBase();
    const uint64_t size = GetGameImageSize();
    if (base == 0 || size == 0) {
        SetStatus("Live writes: module lookup failed.");
        return 0;
    }
    const uint64_t hit = FindLiveWritesStorePattern(entry.index);
    const uint64_t target = ReadMovssStoreTarget(entry.index);
    if (hit < base || hit + 8 > base + size || target == 0 || !IsReadable(hit, 8)) {
        SetStatus("Live writes: target address unreadable.");
        return 0;
    }
    if (CaptureCodePatch(entry.jump, hit, MaskedBytes{kMovssStore, nullptr, 4}, 0, 8) != Capture::Captured) {
        SetStatus(std::string("Live writes: original bytes mismatch at ") + (entry.key ? entry.key : "unknown") + ".");
        return 0;
    }
    entry.target = target;
    return hit;
}

bool BuildManualCave(ManualLiveWrite& entry, uint64_t site) {
    if (entry.cave.built) return true;
    if (entry.target == 0) return false;
    if (!OpenCave(entry.cave, site, 8)) {
        SetStatus("Live writes: allocation failed.");
        return false;
    }
    const uint64_t cave = entry.cave.code;
    const uint64_t enabled = entry.cave.data;
    const uint64_t value = entry.cave.data + 4;
    Emitter e;
    e.Bytes({0x9C, 0x50, 0x52});         // pushfq; push rax; push rdx
    e.MovRax(entry.target);              // mov rax, target
    e.Bytes({0xF3, 0x0F, 0x11, 0x00});   // movss [rax], xmm0 (the game's store)
    e.MovRax(enabled);                   // mov rax, &enabled
    e.Bytes({0x83, 0x38, 0x00});         // cmp dword [rax], 0
    e.Bytes({0x0F, 0x84});               // je 60
    e.I32(24);
    e.MovRax(value);                     // mov rax, &value
    e.Bytes({0x8B, 0x10});               // mov edx, [rax]
    e.MovRax(entry.target);              // mov rax, target
    e.Bytes({0x89, 0x10});               // mov [rax], edx
    e.Bytes({0x5A, 0x58, 0x9D});         // pop rdx; pop rax; popfq
    if (!EmitJumpBack(e, cave, site + entry.jump.length)) {
        SetStatus("Live writes: jump build failed.");
        return false;
    }
    if (!SealCave(entry.cave, e.bytes)) {
        SetStatus("Live writes: write failed.");
        return false;
    }
    return true;
}

bool InstallManualLiveWrites() {
    size_t installed = 0;
    for (ManualLiveWrite& entry : LiveWrites.manual) {
        if (entry.jump.applied) {
            ++installed;
            continue;
        }
        const uint64_t site = CheckLiveWritesSite(entry);
        if (site == 0 || !AttemptDue(entry.attempts)) continue;
        if (!BuildManualCave(entry, site)) {
            FailForNow(entry.attempts);
            continue;
        }
        if (!SetJump(entry.jump, entry.cave.code)) {
            SetStatus("Live writes: jump range failed.");
            FailForGood(entry.attempts);
            continue;
        }
        if (!ApplyCodePatch(entry.jump)) {
            SetStatus("Live writes: patch write failed.");
            FailForNow(entry.attempts);
            continue;
        }
        ++installed;
    }
    SetStatus("Live writes: " + std::to_string(installed) + "/" + std::to_string(kManualLiveWriteCount) +
              " installed.");
    return installed == kManualLiveWriteCount;
}

void PublishManualLiveWrite(size_t index, float value, bool enabled) {
    if (index >= kManualLiveWriteCount) return;
    const CaveBlock& cave = LiveWrites.manual[index].cave;
    if (cave.data == 0) return;
    StoreWord(cave.data + 4, std::bit_cast<uint32_t>(value));
    ExchangeWord(cave.data, enabled ? 1u : 0u);
}

// ---- Generated live writes --------------------------------------------------------------

void SelectLiveWriteSpecs() {
    if (LiveWrites.selected) return;
    LiveWrites.selected = 1;
    const std::span<const CodeSiteRow> rows = LiveWriteRows();
    size_t count = 0;
    for (const CodeSiteRow& row : rows) {
        if (count == kCodeSiteRowCount) break;
        if (row.kind < 1 || row.kind > 3 || row.storeCount < 1 || row.storeCount > 4) continue;
        AutoLiveWrite& entry = LiveWrites.autos[count];
        entry = AutoLiveWrite{};
        entry.row = &row;
        for (size_t s = 0; s < row.storeCount; ++s) {
            float value = 0.0f;
            const bool known = row.stores[s].key != nullptr && LiveWrites.findParamValue != nullptr &&
                               LiveWrites.findParamValue(row.stores[s].key, value);
            entry.hasParam[s] = known ? 1 : 0;
            entry.initial[s] = known ? value : 0.0f;
        }
        ++count;
    }
    LiveWrites.autoCount = count;
    SetStatus("Live writes: selected " + std::to_string(count) + " / " + std::to_string(kCodeSiteRowCount) +
              " generated specs.");
}

namespace {

bool IsStorePrefixByte(uint8_t b) {
    switch (b) {
        case 0xF3: case 0xF2: case 0x26: case 0x2E: case 0x36: case 0x3E:
        case 0x64: case 0x65: case 0x66: case 0x67:
            return true;
        default:
            return b >= 0x40 && b <= 0x4F;
    }
}

// A rip-relative 0F 11 / 0F 29 store whose 0F lies at at: every start of
// its prefixes (up to 8 before it) is compared with the rows of its kind.
void OnStore(void*, const detail::Span& span, uint64_t at) {
    const uint8_t* const bytes = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
    const uint64_t q = at - span.start;
    if (span.end - at < 7 || (bytes[q + 2] & 0xC7) != 0x05) return;
    const std::span<const CodeSiteRow> rows = LiveWriteRows();
    bool f3 = false;
    for (uint64_t k = 0; k <= 8 && k <= q; ++k) {
        const uint64_t p = q - k;
        if (k > 0) {
            if (!IsStorePrefixByte(bytes[p])) break;
            f3 = f3 || bytes[p] == 0xF3;
        }
        const uint8_t kind = bytes[q + 1] == 0x29 ? kStoreKindMovaps : (f3 ? kStoreKindMovss : kStoreKindMovups);
        const uint64_t left = (span.end - span.start) - p;
        for (size_t i = 0; i < LiveWrites.autoCount && i < rows.size(); ++i) {
            const CodeSiteRow& row = rows[i];
            CodeSiteMatch& match = LiveWrites.matches[i];
            if (match.count >= 2 || row.kind != kind || row.patternLength == 0 || row.patternLength > left) continue;
            if (!MaskedBytes{row.pattern, row.mask, row.patternLength}.MatchesAt(bytes + p)) continue;
            ++match.count;
            match.address = match.count == 1 ? span.start + p : 0;
        }
    }
}

}  // namespace

void MatchCodeSiteSpecs(uint64_t start, uint64_t length) {
    detail::CodeScan scan;
    scan.opcodes[0x11] = 1;
    scan.opcodes[0x29] = 1;
    scan.onOpcode = OnStore;
    detail::SearchPatterns(start, length, {}, nullptr, &scan);
}

void ResolveCodeSites() {
    if (LiveWrites.matched) return;
    LiveWrites.matched = 1;
    SelectLiveWriteSpecs();
    const uint64_t base = GameImageBase();
    const uint64_t size = GetGameImageSize();
    if (base == 0 || size == 0 || LiveWrites.autoCount == 0) return;
    uint8_t dos[64];
    if (!GuardedCopy(dos, reinterpret_cast<const void*>(static_cast<uintptr_t>(base)), sizeof dos)) return;
    uint32_t lfanew;
    std::memcpy(&lfanew, dos + 0x3C, 4);
    uint8_t nt[24];
    if (!GuardedCopy(nt, reinterpret_cast<const void*>(static_cast<uintptr_t>(base + lfanew)), sizeof nt)) return;
    uint16_t sections, optional;
    std::memcpy(&sections, nt + 6, 2);
    std::memcpy(&optional, nt + 20, 2);
    const uint64_t end = base + size;
    for (uint16_t i = 0; i < sections; ++i) {
        uint8_t header[40];
        const uint64_t at = base + lfanew + 24 + optional + 40ull * i;
        if (!GuardedCopy(header, reinterpret_cast<const void*>(static_cast<uintptr_t>(at)), sizeof header)) return;
        uint32_t virtualSize, virtualAddress, rawSize, characteristics;
        std::memcpy(&virtualSize, header + 8, 4);
        std::memcpy(&virtualAddress, header + 12, 4);
        std::memcpy(&rawSize, header + 16, 4);
        std::memcpy(&characteristics, header + 36, 4);
        if (!(characteristics & 0x20000000u)) continue;
        const uint64_t start = base + virtualAddress;
        if (start >= end) continue;
        const uint64_t length = std::min<uint64_t>(end - start, virtualSize != 0 ? virtualSize : rawSize);
        platform::MemoryRegion region;
        if (QueryRegion(start, region) && region.state == platform::kMemCommit && IsReadableProtect(region.protect))
            MatchCodeSiteSpecs(start, length);
    }
}

uint64_t DecodeSseOperandTarget(const CodeSiteRow& row, uint64_t address) {
    uint8_t b[15];
    if (address == 0 || !InOneReadableRegion(address, sizeof b) ||
        !GuardedCopy(b, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), sizeof b))
        return 0;
    uint8_t kind = 0, length = 0, dispOffset = 0;
    if (!DecodeRipRelativeStore(b, sizeof b, kind, length, dispOffset) || kind != row.kind || length != row.storeLength)
        return 0;
    int32_t disp;
    std::memcpy(&disp, b + dispOffset, 4);
    const uint64_t target = address + length + static_cast<uint64_t>(static_cast<int64_t>(disp));
    return target != 0 && IsReadable(target, 4) ? target : 0;
}

uint64_t CaptureCodeSite(AutoLiveWrite& entry) {
    if (entry.resolved) return entry.jump.captured ? entry.jump.site : 0;
    entry.resolved = 1;
    const CodeSiteRow* row = entry.row;
    const std::span<const CodeSiteRow> rows = LiveWriteRows();
    if (row == nullptr || row->storeLength < 5 || row->storeLength > 16 || row < rows.data() ||
        row >= rows.data() + rows.size())
        return 0;
    ResolveCodeSites();
    const CodeSiteMatch& match = LiveWrites.matches[static_cast<size_t>(row - rows.data())];
    const uint64_t base = GameImageBase();
    const uint64_t address = match.address;
    if (match.count != 1 || address < base || address + row->storeLength > base + GetGameImageSize() ||
        !IsReadable(address, row->storeLength))
        return 0;
    const uint64_t target = DecodeSseOperandTarget(*row, address);
    if (target == 0) return 0;
    const MaskedBytes expect{row->pattern, row->mask, row->storeLength};
    if (CaptureCodePatch(entry.jump, address, expect, 0, row->storeLength) != Capture::Captured) return 0;
    entry.target = target;
    return address;
}

bool BuildAutoCave(AutoLiveWrite& entry, uint64_t site) {
    if (entry.cave.built) return true;
    const CodeSiteRow* row = entry.row;
    if (row == nullptr || row->storeCount < 1 || row->storeCount > 4) return false;
    const uint64_t target = DecodeSseOperandTarget(*row, site);
    if (target == 0) return false;
    for (size_t s = 0; s < row->storeCount; ++s)
        if (entry.hasParam[s] && !InOneReadableRegion(target + row->stores[s].laneOffset, 4)) return false;
    if (!OpenCave(entry.cave, site, 32)) return false;
    const uint64_t cave = entry.cave.code;
    Emitter e;
    e.Bytes({0x9C, 0x50, 0x52});
    if (!RelocateOriginalInstruction(e.bytes, row->storeLength, row->kind, site, cave + e.size(), target)) return false;
    for (size_t s = 0; s < row->storeCount; ++s) {
        if (!entry.hasParam[s]) continue;
        e.MovRax(entry.cave.data + 4 * s);             // mov rax, &enabled[s]
        e.Bytes({0x83, 0x38, 0x00, 0x0F, 0x84});       // cmp dword [rax], 0; je the lane's end
        e.I32(24);
        e.MovRax(entry.cave.data + 16 + 4 * s);        // mov rax, &value[s]
        e.Bytes({0x8B, 0x10});                         // mov edx, [rax]
        e.MovRax(target + row->stores[s].laneOffset);  // mov rax, lane
        e.Bytes({0x89, 0x10});                         // mov [rax], edx
    }
    e.Bytes({0x5A, 0x58, 0x9D});
    for (size_t s = 0; s < row->storeCount; ++s) StoreWord(entry.cave.data + 16 + 4 * s, std::bit_cast<uint32_t>(entry.initial[s]));
    return EmitJumpBack(e, cave, site + row->storeLength) && SealCave(entry.cave, e.bytes);
}

bool InstallAutoLiveWrites() {
    SelectLiveWriteSpecs();
    struct Range {
        uint64_t from, to;
    };
    std::vector<Range> ranges;
    size_t installed = 0, covered = 0;
    // Every site is captured before any jump is written, so that rows of one
    // store all see the game's bytes there.
    for (size_t i = 0; i < LiveWrites.autoCount; ++i) CaptureCodeSite(LiveWrites.autos[i]);
    for (size_t i = 0; i < LiveWrites.autoCount; ++i) {
        AutoLiveWrite& entry = LiveWrites.autos[i];
        const uint64_t site = CaptureCodeSite(entry);
        const uint64_t length = entry.jump.length;
        if (site == 0 || length == 0) continue;
        if (std::any_of(ranges.begin(), ranges.end(), [&](const Range& r) { return site < r.to && r.from < site + length; })) {
            ++covered;
            continue;
        }
        if (!entry.jump.applied) {
            if (!AttemptDue(entry.attempts)) continue;
            if (!BuildAutoCave(entry, site) || !SetJump(entry.jump, entry.cave.code) || !ApplyCodePatch(entry.jump)) {
                FailForNow(entry.attempts);
                continue;
            }
        }
        ranges.push_back({site, site + length});
        ++installed;
    }
    size_t manual = 0;
    for (const ManualLiveWrite& m : LiveWrites.manual) manual += m.jump.applied != 0;
    std::string status = "Live writes: manual=" + std::to_string(manual) + ", autoFull=" + std::to_string(installed) +
                         "/" + std::to_string(LiveWrites.autoCount) + " installed";
    if (covered > 0) status += ", covered=" + std::to_string(covered);
    SetStatus(status + ".");
    return installed + covered == LiveWrites.autoCount;
}

void PublishAutoLiveWriteLane(size_t entry, size_t lane, float value, bool enabled) {
    if (entry >= LiveWrites.autoCount || lane >= 4) return;
    const CaveBlock& cave = LiveWrites.autos[entry].cave;
    LiveWrites.autos[entry].initial[lane] = value;
    if (cave.data == 0) return;
    StoreWord(cave.data + 16 + 4 * lane, std::bit_cast<uint32_t>(value));
    ExchangeWord(cave.data + 4 * lane, enabled ? 1u : 0u);
}

// ---- Puddle override cave ---------------------------------------------------------------

bool EmitGuardedFloatOverride(std::vector<uint8_t>& bytes, uint64_t flag, uint64_t source, int32_t displacement) {
    Emitter e;
    e.MovRax(flag);                           // mov rax, flag
    e.Bytes({0x83, 0x38, 0x00, 0x0F, 0x84});  // cmp dword [rax], 0; je past the override
    e.I32(22);
    e.MovRax(source);                         // mov rax, source
    e.Bytes({0xF3, 0x0F, 0x10, 0x00});        // movss xmm0, [rax]
    e.Bytes({0xF3, 0x0F, 0x11, 0x86});        // movss [rsi+disp32], xmm0
    e.I32(displacement);
    bytes.insert(bytes.end(), e.bytes.begin(), e.bytes.end());
    return true;
}

bool BuildPuddleOverrideCave(uint64_t site) {
    PuddleCave& p = LiveWrites.puddle;
    if (p.cave.built) return true;
    if (!OpenCave(p.cave, site, 28)) return false;
    const uint64_t data = p.cave.data;
    Emitter e;
    e.Bytes({0x9C, 0x50});
    e.Bytes({0x0F, 0x11, 0x86, 0x80, 0x02, 0x00, 0x00});  // movups [rsi+0x280], xmm0
    EmitGuardedFloatOverride(e.bytes, data + 0, data + 12, 640);
    e.MovRax(data + 4);
    e.Bytes({0x83, 0x38, 0x00, 0x0F, 0x84});
    e.I32(44);
    for (uint32_t i = 0; i < 2; ++i) {
        e.MovRax(data + 16 + 4 * i);
        e.Bytes({0xF3, 0x0F, 0x10, 0x00, 0xF3, 0x0F, 0x11, 0x86});
        e.I32(static_cast<int32_t>(644 + 4 * i));
    }
    EmitGuardedFloatOverride(e.bytes, data + 8, data + 24, 652);
    e.Bytes({0x58, 0x9D});
    return EmitJumpBack(e, p.cave.code, site + 7) && SealCave(p.cave, e.bytes);
}

bool InstallPuddleLiveWriteHook() {
    PuddleCave& p = LiveWrites.puddle;
    if (p.jump.applied) return true;
    if (!AttemptDue(p.attempts)) return false;
    if (!p.jump.captured) {
        const uint64_t base = GameImageBase();
        const uint64_t size = GetGameImageSize();
        const uint64_t site = FindPuddleStoreSite();
        if (base == 0 || size == 0 || site < base || site + 7 > base + size) {
            FailForGood(p.attempts);
            return false;
        }
        // Other bytes there (another program's hook, say) may give way
        // later: looked at again, at the bounded rate.
        if (CaptureCodePatch(p.jump, site, MaskedBytes{kPuddleStore, nullptr, 7}, 0, 7) != Capture::Captured) {
            FailForNow(p.attempts);
            return false;
        }
    }
    if (!BuildPuddleOverrideCave(p.jump.site) || !SetJump(p.jump, p.cave.code) || !ApplyCodePatch(p.jump)) {
        FailForNow(p.attempts);
        return false;
    }
    return true;
}

void PublishPuddleOverride(size_t flag, bool enabled) {
    const uint64_t data = LiveWrites.puddle.cave.data;
    if (flag < 3 && data != 0) ExchangeWord(data + 4 * flag, enabled ? 1u : 0u);
}

void PublishPuddleValue(size_t value, float v) {
    const uint64_t data = LiveWrites.puddle.cave.data;
    if (value < 4 && data != 0) StoreWord(data + 12 + 4 * value, std::bit_cast<uint32_t>(v));
}

// ---- Write-list cave ----------------------------------------------------------------------

namespace {

uint64_t CountAddress() {
    const WriteListCave& w = LiveWrites.writeList;
    return w.cave.data != 0 ? w.cave.data + kWriteListEntryCount * kWriteListEntrySize
                            : reinterpret_cast<uintptr_t>(&LiveWrites.writeList.countFallback);
}

}  // namespace

bool ProbeWriteListBlock() {
    WriteListCave& w = LiveWrites.writeList;
    if (w.blockFound) return true;
    const uint64_t hit = CodePatternUnique(CodePatternId::PedLight);
    if (hit == 0) return false;
    const uint64_t read = hit + 16 + static_cast<uint64_t>(static_cast<int64_t>(I32At(hit + 12)));
    w.blockOffset = read - 152 - GameImageBase();
    w.blockFound = 1;
    return true;
}

uint64_t ProbeWriteListSite() { return RunProbe(ProbeId::WriteListSite) ? ProbeSitesOf(ProbeId::WriteListSite)[0].site : 0; }

bool BuildWriteListCave(uint64_t site) {
    WriteListCave& w = LiveWrites.writeList;
    if (w.cave.built) return true;
    if (!OpenCave(w.cave, site, kWriteListEntryCount * kWriteListEntrySize + 4)) return false;
    const uint64_t table = w.cave.data;
    const uint64_t count = table + kWriteListEntryCount * kWriteListEntrySize;
    Emitter e;
    e.Bytes({0x9C, 0x50, 0x51, 0x41, 0x52, 0x41, 0x53});  // pushfq; push rax, rcx, r10, r11
    e.MovRax(table);                                       // mov rax, table
    e.Bytes({0x49, 0xBA});                                 // mov r10, &count
    e.U64(count);
    e.Bytes({0x41, 0x8B, 0x0A, 0x85, 0xC9, 0x0F, 0x84});   // mov ecx, [r10]; test ecx, ecx; je 70
    e.I32(32);
    e.Bytes({0x4C, 0x8B, 0x58, 0x08, 0x4D, 0x85, 0xDB, 0x0F, 0x84});  // mov r11, [rax+8]; test r11, r11; je 58
    e.I32(7);
    e.Bytes({0x44, 0x8B, 0x50, 0x10, 0x45, 0x89, 0x13});  // mov r10d, [rax+16]; mov [r11], r10d
    e.Bytes({0x48, 0x83, 0xC0, 0x18, 0xFF, 0xC9, 0x0F, 0x85});  // add rax, 24; dec ecx; jne 38
    e.I32(-32);
    e.Bytes({0x41, 0x5B, 0x41, 0x5A, 0x59, 0x58, 0x9D});  // pop r11, r10, rcx, rax; popfq
    e.Bytes({0x0F, 0x28, 0xB4, 0x24, 0x40, 0x03, 0x00, 0x00});  // movaps xmm6, [rsp+0x340]
    return EmitJumpBack(e, w.cave.code, site + 8) && SealCave(w.cave, e.bytes);
}

bool InstallWriteListCave() {
    WriteListCave& w = LiveWrites.writeList;
    if (w.installed.Get()) return true;
    if (!ProbeWriteListBlock()) return false;
    const uint64_t site = ProbeWriteListSite();
    if (site == 0) return false;
    CodePatch& jump = ProbeSitesOf(ProbeId::WriteListSite)[0];
    if (!BuildWriteListCave(site) || !SetJump(jump, w.cave.code) || !ApplyCodePatch(jump)) return false;
    w.installed.Set(1);
    return true;
}

void ClearWriteListCount() {
    const uint64_t count = CountAddress();
    ExchangeWord(count, 0);
    LiveWrites.writeList.countCopy = 0;
    ExchangeWord(count, 0);
}

uint32_t WriteListCount() {
    return __atomic_load_n(reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(CountAddress())), __ATOMIC_ACQUIRE);
}

bool WriteListCaveInstalled() { return LiveWrites.writeList.installed.Get() != 0; }

void RestoreWriteListCave() {
    WriteListCave& w = LiveWrites.writeList;
    if (w.installed.Get()) RestoreCodePatch(ProbeSitesOf(ProbeId::WriteListSite)[0]);
    w.installed.Set(0);
    ClearWriteListCount();
    if (w.cave.data != 0)
        for (size_t i = 0; i < kWriteListEntryCount; ++i) ExchangeWord(w.cave.data + i * kWriteListEntrySize, 0);
}

void RestoreLiveWriteJumps() {
    for (ManualLiveWrite& m : LiveWrites.manual) RestoreCodePatch(m.jump);
    for (size_t i = 0; i < LiveWrites.autoCount; ++i) RestoreCodePatch(LiveWrites.autos[i].jump);
    RestoreCodePatch(LiveWrites.puddle.jump);
}

}  // namespace runtime
