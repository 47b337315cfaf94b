#include "runtime/near_alloc.h"

#include <algorithm>
#include <cstring>

#include "platform/memory.h"
#include "runtime/guarded_memory.h"

namespace runtime {

NearAllocState NearAlloc;

void ResetNearAllocState() { NearAlloc = NearAllocState{}; }

namespace {

constexpr uint64_t kSearchDistance = 0x70000000;

bool TryKeep(uint64_t site, uintptr_t block) {
    if (block == 0) return false;
    if (IsWithinNearReach(site, block)) return true;
    platform::FreeMemory(block);
    return false;
}

// The bytes of [address, address+length) when they lie in one committed
// readable region, read under the fault guard.
bool ReadSiteBytes(uint64_t address, uint8_t* out, size_t length) {
    if (address == 0) return false;
    platform::MemoryRegion region;
    if (!QueryRegion(address, region) || region.state != platform::kMemCommit || !IsReadableProtect(region.protect))
        return false;
    const uint64_t regionEnd = static_cast<uint64_t>(region.base) + region.size;
    if (address < region.base || address >= regionEnd || length > regionEnd - address) return false;
    return GuardedCopy(out, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), length);
}

bool CapturePatchSite(PatchSiteRecord& record, uint64_t site, size_t length) {
    uint8_t bytes[kMaxPatchSiteLength];
    if (site == 0 || !ReadSiteBytes(site, bytes, length)) return false;
    record.site = site;
    std::memset(record.original, 0, sizeof record.original);
    std::memcpy(record.original, bytes, length);
    record.length = static_cast<uint8_t>(length);
    record.captured = 1;
    return true;
}

bool IsRex(uint8_t b) { return b >= 0x40 && b <= 0x4F; }

bool IsStorePrefix(uint8_t b) {
    switch (b) {
        case 0xF3: case 0xF2: case 0x26: case 0x2E: case 0x36: case 0x3E:
        case 0x64: case 0x65: case 0x66: case 0x67:
            return true;
        default:
            return IsRex(b);
    }
}

int32_t I32(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

bool IsWithinNearReach(uint64_t site, uint64_t block) { return block - site + 0x7FFFFFF8ull <= 0xFFFFFFFFull; }

uint64_t AllocNear(uint64_t site, size_t size) {
    const platform::SystemMemoryInfo info = platform::GetSystemMemoryInfo();
    const uint64_t page = info.pageSize != 0 ? info.pageSize : 4096;
    const uint64_t granularity = info.allocationGranularity != 0 ? info.allocationGranularity : 0x10000;
    const uint64_t lowest = info.minimumAddress;
    const uint64_t highest = info.maximumAddress;
    if (size == 0) return 0;
    const uint64_t bytes = (static_cast<uint64_t>(size) + page - 1) / page * page;

    const uintptr_t anywhere = platform::AllocateAnywhere(bytes, platform::kPageReadWrite);
    if (TryKeep(site, anywhere)) return anywhere;

    const uint64_t start = site & ~(granularity - 1);
    const uint64_t lowerLimit = std::max(lowest, site > kSearchDistance ? site - kSearchDistance : lowest);
    const uint64_t upperLimit = std::min(site + kSearchDistance < site ? highest : site + kSearchDistance, highest);
    for (uint64_t d = 0; d < kSearchDistance; d += granularity) {
        // Below: never past address zero or the lowest application address.
        if (d <= start && start - d >= lowerLimit) {
            const uintptr_t below = platform::AllocateAt(start - d, bytes, platform::kPageReadWrite);
            if (TryKeep(site, below)) return below;
        }
        // Above: the whole block must stay within the application range.
        const uint64_t above = start + d;
        if (d != 0 && above >= start && above <= upperLimit && bytes - 1 <= highest - above) {
            const uintptr_t got = platform::AllocateAt(above, bytes, platform::kPageReadWrite);
            if (TryKeep(site, got)) return got;
        }
    }
    return 0;
}

namespace {

// The near blocks the cells are cut from (script fiber only).
struct NearCellPool {
    static constexpr size_t kCapacity = 64;
    uint64_t blocks[kCapacity] = {};
    uint64_t used[kCapacity] = {};
    size_t count = 0;
};
NearCellPool g_cells;

}  // namespace

uint64_t NearCell(uint64_t site, size_t size) {
    const uint64_t page = platform::GetSystemMemoryInfo().pageSize != 0 ? platform::GetSystemMemoryInfo().pageSize : 4096;
    if (size == 0 || size > page) return 0;
    const uint64_t need = (size + 15) & ~uint64_t(15);
    for (size_t i = 0; i < g_cells.count; ++i) {
        const uint64_t cell = g_cells.blocks[i] + g_cells.used[i];
        if (g_cells.used[i] + need <= page && IsWithinNearReach(site, cell) && IsWithinNearReach(site, cell + need)) {
            g_cells.used[i] += need;
            return cell;
        }
    }
    if (g_cells.count == NearCellPool::kCapacity) return 0;
    const uint64_t block = AllocNear(site, page);
    if (block == 0) return 0;
    g_cells.blocks[g_cells.count] = block;
    g_cells.used[g_cells.count] = need;
    ++g_cells.count;
    return block;
}

void ResetNearCellsForTesting() {
    for (size_t i = 0; i < g_cells.count; ++i) platform::FreeMemory(g_cells.blocks[i]);
    g_cells = NearCellPool{};
}

bool CapturePatchSite6(PatchSiteRecord& record, uint64_t site) { return CapturePatchSite(record, site, 6); }
bool CapturePatchSite8(PatchSiteRecord& record, uint64_t site) { return CapturePatchSite(record, site, 8); }
bool CapturePatchSite9(PatchSiteRecord& record, uint64_t site) { return CapturePatchSite(record, site, 9); }
bool CapturePatchSite10(PatchSiteRecord& record, uint64_t site) { return CapturePatchSite(record, site, 10); }

bool DecodeRipRelativeLoadBytes(const uint8_t* b, size_t available, uint32_t& displacementOffset, uint32_t& length,
                                int64_t& relativeTarget) {
    if (b == nullptr || available < 12) return false;
    auto isLoad = [&](size_t at) { return b[at] == 0x0F && b[at + 1] == 0x10 && (b[at + 2] & 0xC7) == 0x05; };
    uint32_t offset = 0, len = 0;
    if (isLoad(0)) {
        offset = 3, len = 7;
    } else if ((b[0] == 0xF2 || b[0] == 0xF3) && isLoad(1)) {
        offset = 4, len = 8;
    } else if ((b[0] == 0xF2 || b[0] == 0xF3) && IsRex(b[1]) && isLoad(2)) {
        offset = 5, len = 9;
    } else if (IsRex(b[0]) && isLoad(1)) {
        offset = 4, len = 8;
    } else {
        return false;
    }
    displacementOffset = offset;
    length = len;
    relativeTarget = static_cast<int64_t>(len) + I32(b + offset);
    return true;
}

bool DecodeRipRelativeLoad(uint64_t address, uint32_t& displacementOffset, uint32_t& length, uint64_t& target) {
    uint8_t b[12];
    int64_t relative = 0;
    if (!ReadSiteBytes(address, b, sizeof b) || !DecodeRipRelativeLoadBytes(b, sizeof b, displacementOffset, length, relative))
        return false;
    target = address + static_cast<uint64_t>(relative);
    return true;
}

bool DecodeRipRelativeStore(const uint8_t* bytes, size_t available, uint8_t& kind, uint8_t& length,
                            uint8_t& displacementOffset) {
    if (bytes == nullptr) return false;
    size_t p = 0;
    bool f3 = false;
    while (p < 8 && p < available && IsStorePrefix(bytes[p])) {
        f3 = f3 || bytes[p] == 0xF3;
        ++p;
    }
    if (p + 7 > 15 || p + 7 > available) return false;
    if (bytes[p] != 0x0F || (bytes[p + 1] != 0x11 && bytes[p + 1] != 0x29) || (bytes[p + 2] & 0xC7) != 0x05)
        return false;
    kind = bytes[p + 1] == 0x29 ? kStoreKindMovaps : (f3 ? kStoreKindMovss : kStoreKindMovups);
    length = static_cast<uint8_t>(p + 7);
    displacementOffset = static_cast<uint8_t>(p + 3);
    return true;
}

bool RelocateOriginalInstruction(std::vector<uint8_t>& cave, uint8_t expectedLength, uint8_t expectedKind,
                                 uint64_t site, uint64_t copyAddress, uint64_t target) {
    uint8_t b[15];
    if (site == 0 || !ReadSiteBytes(site, b, sizeof b)) return false;
    uint8_t kind = 0, length = 0, offset = 0;
    if (!DecodeRipRelativeStore(b, sizeof b, kind, length, offset)) return false;
    if (kind != expectedKind || length != expectedLength || target == 0) return false;
    const int64_t displacement = static_cast<int64_t>(target - (copyAddress + length));
    if (displacement < INT32_MIN || displacement > INT32_MAX) return false;
    const int32_t d32 = static_cast<int32_t>(displacement);
    std::memcpy(b + offset, &d32, 4);
    cave.insert(cave.end(), b, b + length);
    return true;
}

bool AllocateNearValueBlock(uint64_t site) {
    if (NearAlloc.NearValueBlock != 0) return true;
    const uint64_t block = AllocNear(site, kNearValueBlockSize);
    if (block == 0) return false;
    const uint8_t zeros[kNearValueBlockSize] = {};
    GuardedCopy(reinterpret_cast<void*>(static_cast<uintptr_t>(block)), zeros, sizeof zeros);
    NearAlloc.NearValueBlock = block;
    return true;
}

}  // namespace runtime
