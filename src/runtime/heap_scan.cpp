#include "runtime/heap_scan.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/memory.h"
#include "runtime/guarded_memory.h"
#include "runtime/region_walk.h"
#include "runtime/scans.h"

namespace runtime {

const VisualSettingsFingerprintRow VisualSettingsFingerprint[kVisualSettingsFingerprintRows] = {
    {"sky.sun.centreStart", 864, 0x3F7AE148u, 0x3F800000u, 0x3FB0F0A6u},
    {"imposter.shadow.blendRange", 1960, 0x41400000u, 0x40400000u, 0x4157C005u},
    {"imposter.shadow.amt1", 6424, 0x41400000u, 0u, 0x41584005u},
    {"imposter.shadow.size2", 6472, 0x43000000u, 0u, 0x4305E000u},
    {"ped.phonelight.cone.outer", 7728, 0x42B40000u, 0u, 0x42C0A000u},
    {"cloudgen.frequency", 8360, 0x40000000u, 0u, 0x403B0000u},
    {"imposter.shadow.amt2", 9720, 0x42800000u, 0u, 0x428BE000u},
};

namespace {

constexpr uint64_t kFirstCheckOffset = 864;
// Candidate bases tested per copied chunk.
constexpr uint64_t kChunk = 1u << 20;

uint32_t U32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

bool FirstValueFits(uint32_t v, uint8_t mode) {
    return mode == 0 ? (v == 0x3F7AE148u || v == 0x3F800000u) : v == 0x3FB0F0A6u;
}

bool RowFits(const VisualSettingsFingerprintRow& row, uint32_t v, uint8_t mode) {
    if (mode != 0) return v == row.guardBits;
    return v == row.defaultBits || (row.alternateDefaultBits != 0 && v == row.alternateDefaultBits);
}

// All rows through GuardedReadU32 (a fault rejects the candidate and gives
// the address that faulted in faulted).
bool CandidateFitsGuarded(uint64_t p, uint8_t mode, uint64_t& faulted) {
    uint32_t v = 0;
    if (!GuardedReadU32(p + kFirstCheckOffset, v)) {
        faulted = p + kFirstCheckOffset;
        return false;
    }
    if (!FirstValueFits(v, mode)) return false;
    for (const VisualSettingsFingerprintRow& row : VisualSettingsFingerprint) {
        if (!GuardedReadU32(p + row.offset, v)) {
            faulted = p + row.offset;
            return false;
        }
        if (!RowFits(row, v, mode)) return false;
    }
    return true;
}

bool CandidateFitsCopy(const uint8_t* window, uint8_t mode) {
    if (!FirstValueFits(U32(window + kFirstCheckOffset), mode)) return false;
    for (const VisualSettingsFingerprintRow& row : VisualSettingsFingerprint) {
        if (!RowFits(row, U32(window + row.offset), mode)) return false;
    }
    return true;
}

// The scanner's own chunk buffer, a mapping of its own, registered as an
// own range so that a copy of the table in it is never taken for the game's.
struct Scratch {
    uint64_t base = 0;
    uint64_t size = kChunk + kVisualSettingsWindow;
    uint64_t ownRange = 0;
    Scratch() {
        base = platform::AllocateAnywhere(size, platform::kPageReadWrite);
        ownRange = RegisterOwnRange(reinterpret_cast<const void*>(static_cast<uintptr_t>(base)), base ? size : 0);
    }
    ~Scratch() {
        UnregisterOwnRange(ownRange);
        if (base) platform::FreeMemory(base);
    }
};

std::string FormatU64(uint64_t v) {
    char buffer[24];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

}  // namespace

uint64_t ScanFingerprintCandidates(uint64_t first, uint64_t last, const uint8_t* copy, uint8_t mode,
                                   std::vector<FingerprintHit>& hits, const core::SharedValue<uint32_t>* stop) {
    const uint64_t pageBytes = std::max<uint64_t>(platform::GetSystemMemoryInfo().pageSize, 4);
    uint64_t nextLook = first;
    uint64_t p = first;
    for (; p <= last && hits.size() < kHeapScanMaxHits; p += 4) {
        if (p >= nextLook) {
            if (stop != nullptr && stop->Get() != 0) break;
            nextLook = p + kHeapScanStopStride;
        }
        uint64_t faulted = 0;
        const bool fits = copy != nullptr ? CandidateFitsCopy(copy + (p - first), mode) : CandidateFitsGuarded(p, mode, faulted);
        if (faulted != 0) {
            // Every later candidate that reads that page at the same offset
            // faults too: go on with the first that reads past it.
            const uint64_t past = (faulted | (pageBytes - 1)) + 1;
            p += (past - faulted + 3) / 4 * 4 - 4;
            continue;
        }
        if (!fits) continue;
        const RegionDescription d = DescribeRegion(p);
        hits.push_back({p, d.type, d.section});
    }
    return p > last ? last + 4 - first : p - first;
}

void ScanForVisualSettingsBlock(std::vector<FingerprintHit>& hits, uint8_t mode, uint64_t& bytesScanned,
                                uint32_t& regionsScanned, uint8_t& truncated, const core::SharedValue<uint32_t>* stop) {
    hits.clear();
    bytesScanned = 0;
    regionsScanned = 0;
    truncated = 0;
    Scratch scratch;
    uint8_t* const buffer = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(scratch.base));
    RegionWalk walk;
    walk.filter = {IsReadWriteDataProtect, platform::kMemPrivate};
    walk.pieceBytes = kChunk;
    walk.byteBudget = kHeapScanBudget;
    // A region that holds one of the outputs is passed over whole.
    for (const void* output : {static_cast<const void*>(&hits), static_cast<const void*>(&bytesScanned),
                               static_cast<const void*>(&regionsScanned), static_cast<const void*>(&truncated)})
        walk.skipRegionsHolding.push_back(reinterpret_cast<uintptr_t>(output));
    RegionPiece piece;
    while (hits.size() < kHeapScanMaxHits && (stop == nullptr || stop->Get() == 0) && NextRegionPiece(walk, piece)) {
        // Candidates: the 4-byte aligned bases of the run whose window fits it.
        const uint64_t first = (piece.segmentStart + 3) & ~uint64_t(3);
        if (first >= piece.segmentEnd || piece.segmentEnd - first < kVisualSettingsWindow) continue;
        const uint64_t from = std::max(piece.start, first);
        SpendWalkBytes(walk, piece.end - from);
        const uint64_t lastBase = piece.segmentEnd - kVisualSettingsWindow;
        const uint64_t chunk = first + (from - first + 3) / 4 * 4;
        if (chunk > lastBase) continue;
        const uint64_t chunkLast = std::min(lastBase, piece.end - 1);
        const uint64_t copyLength = chunkLast - chunk + kVisualSettingsWindow;
        const bool copied =
            buffer != nullptr && GuardedCopy(buffer, reinterpret_cast<const void*>(static_cast<uintptr_t>(chunk)), copyLength);
        ScanFingerprintCandidates(chunk, chunkLast, copied ? buffer : nullptr, mode, hits, stop);
    }
    bytesScanned = walk.bytesSpent;
    regionsScanned = static_cast<uint32_t>(walk.regionsTaken);
    truncated = walk.truncated ? 1 : 0;
}

std::string ProtectionText(uint32_t protect) {
    std::string text;
    switch (protect & 0xFFu) {
        case 0x01: text = "PAGE_NOACCESS"; break;
        case 0x02: text = "PAGE_READONLY"; break;
        case 0x04: text = "PAGE_READWRITE"; break;
        case 0x08: text = "PAGE_WRITECOPY"; break;
        case 0x10: text = "PAGE_EXECUTE"; break;
        case 0x20: text = "PAGE_EXECUTE_READ"; break;
        case 0x40: text = "PAGE_EXECUTE_READWRITE"; break;
        case 0x80: text = "PAGE_EXECUTE_WRITECOPY"; break;
        default: text = "UNKNOWN"; break;
    }
    if (protect & platform::kPageGuard) text += "|PAGE_GUARD";
    if (protect & platform::kPageNoCache) text += "|PAGE_NOCACHE";
    if (protect & platform::kPageWriteCombine) text += "|PAGE_WRITECOMBINE";
    return text;
}

std::string SectionNameOf(uint64_t address) {
    const uint64_t base = GameImageBase();
    if (base == 0 || address < base) return "N/A";
    auto read = [](uint64_t at, void* out, size_t n) {
        return GuardedCopy(out, reinterpret_cast<const void*>(static_cast<uintptr_t>(at)), n);
    };
    uint8_t dos[64];
    if (!read(base, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return "N/A";
    const uint64_t nt = base + U32(dos + 0x3C);
    uint8_t file[24];
    if (!read(nt, file, sizeof file) || std::memcmp(file, "PE\0\0", 4) != 0) return "N/A";
    uint16_t sections, optionalSize;
    std::memcpy(&sections, file + 6, 2);
    std::memcpy(&optionalSize, file + 20, 2);
    const uint64_t rva = address - base;
    const uint64_t table = nt + 24 + optionalSize;
    for (uint16_t i = 0; i < sections && i < 96; ++i) {
        uint8_t header[40];
        if (!read(table + 40ull * i, header, sizeof header)) return "N/A";
        const uint32_t virtualSize = U32(header + 8);
        const uint32_t virtualAddress = U32(header + 12);
        const uint32_t span = virtualSize != 0 ? virtualSize : U32(header + 16);
        if (rva >= virtualAddress && rva - virtualAddress < span) {
            const uint8_t* nameEnd = std::find(header, header + 8, uint8_t{0});
            const auto length = static_cast<size_t>(nameEnd - header);
            return length == 0 ? "unnamed" : std::string(reinterpret_cast<const char*>(header), length);
        }
    }
    return "N/A";
}

RegionDescription DescribeRegion(uint64_t address) {
    RegionDescription d;
    platform::MemoryRegion region;
    if (!QueryRegion(address, region)) return d;
    d.protection = ProtectionText(region.protect);
    switch (region.type) {
        case platform::kMemImage: d.type = "IMAGE"; break;
        case platform::kMemMapped: d.type = "MAPPED"; break;
        case platform::kMemPrivate: d.type = "LOCAL"; break;
        default: d.type = "UNKNOWN"; break;
    }
    d.section = SectionNameOf(address);
    const uint32_t low = region.protect & 0xFFu;
    d.executable = low == 0x10 || low == 0x20 || low == 0x40 || low == 0x80;
    d.writable = low == 0x04 || low == 0x08 || low == 0x40 || low == 0x80;
    d.code = d.section == ".text" || d.section == "CODE";
    d.data = d.section == ".data" || d.section == "DATA";
    d.readOnlyData = d.section == ".rdata" || d.section == "RDATA";
    if (d.code || d.readOnlyData) d.heapLike = false;
    else if (d.data || d.writable) d.heapLike = true;
    else d.heapLike = region.type == platform::kMemPrivate || region.type == platform::kMemMapped;
    return d;
}

std::string FormatFingerprintValues(uint64_t base) {
    std::string text;
    for (const VisualSettingsFingerprintRow& row : VisualSettingsFingerprint) {
        if (!text.empty()) text += ';';
        text += row.key;
        text += '@';
        text += FormatU64(row.offset);
        uint32_t v = 0;
        if (!GuardedReadU32(base + row.offset, v)) {
            text += "=READ_FAILED";
            continue;
        }
        text += '=';
        text += FormatU64(v);
        text += '/';
        char buffer[32];
        auto r = std::to_chars(buffer, buffer + sizeof buffer, std::bit_cast<float>(v));
        text.append(buffer, r.ptr);
    }
    return text;
}

std::string FormatLocalTimestamp() {
    static std::mutex mutex;
    std::tm local{};
    {
        std::lock_guard<std::mutex> lock(mutex);
        const std::time_t now = std::time(nullptr);
        if (const std::tm* t = std::localtime(&now)) local = *t;
    }
    auto two = [](int v) {
        char b[3] = {static_cast<char>('0' + (v / 10) % 10), static_cast<char>('0' + v % 10), 0};
        return std::string(b);
    };
    const int year = local.tm_year + 1900;
    std::string text;
    text += two(year / 100) + two(year % 100);
    text += '-' + two(local.tm_mon + 1) + '-' + two(local.tm_mday);
    text += ' ' + two(local.tm_hour) + ':' + two(local.tm_min) + ':' + two(local.tm_sec);
    return text;
}

}  // namespace runtime
