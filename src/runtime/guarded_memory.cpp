#include "runtime/guarded_memory.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/safe_copy.h"

namespace runtime {
namespace {

using platform::MemoryRegion;

bool InRegion(uint64_t address, uint64_t length, const MemoryRegion& region) {
    const uint64_t regionEnd = static_cast<uint64_t>(region.base) + region.size;
    return address >= region.base && address < regionEnd && length <= regionEnd - address;
}

bool ReadableRegionHolds(const MemoryRegion& region, uint64_t address, uint64_t length) {
    return region.state == platform::kMemCommit && IsReadableProtect(region.protect) &&
           InRegion(address, length, region);
}

bool IsExactlyWritable(uint32_t protect) {
    return protect == platform::kPageReadWrite || protect == platform::kPageWriteCopy ||
           protect == platform::kPageExecuteReadWrite || protect == platform::kPageExecuteWriteCopy;
}

void* Ptr(uint64_t address) { return reinterpret_cast<void*>(static_cast<uintptr_t>(address)); }

// Copies into place with the protection lifted to EXECUTE_READWRITE when
// needed (always for code), and puts the old protection back on every path.
bool CopyWithLiftedProtection(uint64_t destination, const void* source, uint64_t size, bool alwaysLift,
                              bool flush) {
    uint32_t old = 0;
    bool changed = false;
    if (alwaysLift || !IsWritable(destination, size)) {
        if (!platform::ChangeProtection(static_cast<uintptr_t>(destination), size, platform::kPageExecuteReadWrite,
                                        &old))
            return false;
        changed = true;
    }
    const bool ok = platform::SafeCopy(Ptr(destination), source, size);
    if (flush) platform::FlushInstructionCache(static_cast<uintptr_t>(destination), size);
    if (changed) {
        uint32_t ignored = 0;
        platform::ChangeProtection(static_cast<uintptr_t>(destination), size, old, &ignored);
    }
    return ok;
}

}  // namespace

GuardedMemoryState GuardedMemory;

bool RangeCache::Contains(uint64_t address, uint64_t length) const {
    const size_t n = count.Get();
    for (size_t i = 0; i < n; ++i) {
        if (address >= start[i] && address < end[i] && length <= end[i] - address) return true;
    }
    return false;
}

void RangeCache::Append(uint64_t from, uint64_t to) {
    std::lock_guard<std::mutex> lock(appendMutex);
    const size_t n = count.Get();
    for (size_t i = 0; i < n; ++i) {
        if (start[i] == from && end[i] == to) return;
    }
    if (n >= kCapacity) return;
    start[n] = from;
    end[n] = to;
    count.Set(n + 1);
}

bool IsReadableProtect(uint32_t protect) {
    if (protect & (platform::kPageNoAccess | platform::kPageGuard)) return false;
    switch (protect & 0xFFu) {
        case platform::kPageReadOnly:
        case platform::kPageReadWrite:
        case platform::kPageWriteCopy:
        case platform::kPageExecuteRead:
        case platform::kPageExecuteReadWrite:
        case platform::kPageExecuteWriteCopy:
            return true;
        default:
            return false;
    }
}

bool IsWritableProtect(uint8_t protect) { return IsExactlyWritable(protect); }

bool QueryRegion(uint64_t address, MemoryRegion& out) {
    GuardedMemory.RegionQueries.FetchAdd(1);
    if (address > UINTPTR_MAX) return false;
    return platform::QueryMemoryRegion(static_cast<uintptr_t>(address), out);
}

bool QueryNextRegion(uint64_t address, MemoryRegion& out) {
    GuardedMemory.RegionQueries.FetchAdd(1);
    if (address > UINTPTR_MAX) return false;
    return platform::QueryNextMemoryRegion(static_cast<uintptr_t>(address), out);
}

bool IsReadable(uint64_t address, uint64_t length) {
    if (address == 0 || length == 0) return false;
    MemoryRegion region;
    if (!QueryRegion(address, region)) return false;
    return ReadableRegionHolds(region, address, length);
}

bool IsWritable(uint64_t address, uint64_t length) {
    if (!IsReadable(address, length)) return false;
    MemoryRegion region;
    if (!QueryRegion(address, region)) return false;
    return IsExactlyWritable(region.protect);
}

bool IsReadableCached(uint64_t address, uint64_t length) {
    if (address != 0 && length != 0 && GuardedMemory.ReadableRangeCache.Contains(address, length)) return true;
    if (address == 0 || length == 0) return false;
    MemoryRegion region;
    if (!QueryRegion(address, region) || !ReadableRegionHolds(region, address, length)) return false;
    GuardedMemory.ReadableRangeCache.Append(region.base, static_cast<uint64_t>(region.base) + region.size);
    return true;
}

bool SafeReadU32(uint64_t address, uint32_t& out) {
    if (address == 0) return false;
    MemoryRegion region;
    if (!QueryRegion(address, region) || !ReadableRegionHolds(region, address, 4)) return false;
    uint32_t value = 0;
    if (!platform::SafeCopy(&value, Ptr(address), 4)) {
        out = 0;
        return false;
    }
    out = value;
    return true;
}

bool SafeWriteFloat(uint64_t address, float value) {
    if (address == 0) return false;
    if (GuardedMemory.WritableRangeCache.Contains(address, 4)) return platform::SafeCopy(Ptr(address), &value, 4);
    MemoryRegion region;
    if (QueryRegion(address, region) && region.state == platform::kMemCommit && IsReadableProtect(region.protect) &&
        IsWritableProtect(static_cast<uint8_t>(region.protect & 0xFFu)) && InRegion(address, 4, region)) {
        GuardedMemory.WritableRangeCache.Append(region.base, static_cast<uint64_t>(region.base) + region.size);
        return platform::SafeCopy(Ptr(address), &value, 4);
    }
    return CopyWithLiftedProtection(address, &value, 4, false, false);
}

bool WriteBytesProtected(uint64_t destination, const void* source, uint64_t size) {
    if (destination == 0 || source == nullptr || size == 0) return false;
    return CopyWithLiftedProtection(destination, source, size, false, false);
}

bool WriteBytesCached(uint64_t destination, const void* source, uint64_t size) {
    if (destination == 0 || source == nullptr || size == 0) return false;
    if (GuardedMemory.WritableRangeCache.Contains(destination, size))
        return platform::SafeCopy(Ptr(destination), source, size);
    MemoryRegion region;
    if (QueryRegion(destination, region) && region.state == platform::kMemCommit &&
        IsReadableProtect(region.protect) && IsExactlyWritable(region.protect) && InRegion(destination, size, region)) {
        GuardedMemory.WritableRangeCache.Append(region.base, static_cast<uint64_t>(region.base) + region.size);
        return platform::SafeCopy(Ptr(destination), source, size);
    }
    return CopyWithLiftedProtection(destination, source, size, false, false);
}

bool ReadBytesCached(uint64_t address, void* destination, uint64_t size) {
    if (destination == nullptr || !IsReadableCached(address, size)) return false;
    return platform::SafeCopy(destination, Ptr(address), size);
}

bool PatchCodeBytes(uint64_t destination, const void* source, uint64_t size) {
    if (destination == 0 || source == nullptr || size == 0) return false;
    return CopyWithLiftedProtection(destination, source, size, true, true);
}

bool SafeReadMemory(uint64_t address, void* destination, uint64_t size) {
    if (address == 0 || destination == nullptr || size == 0) return false;
    size_t done = 0;
    return platform::ReadOwnMemory(static_cast<uintptr_t>(address), destination, size, &done) && done == size;
}

bool SafeWriteMemory(uint64_t destination, const void* source, uint64_t size) {
    if (destination == 0 || source == nullptr || size == 0) return false;
    size_t done = 0;
    return platform::WriteOwnMemory(static_cast<uintptr_t>(destination), source, size, &done) && done == size;
}

bool GuardedCopy(void* destination, const void* source, uint64_t size) {
    return platform::SafeCopy(destination, source, size);
}

namespace {
template <typename T>
bool GuardedRead(uint64_t address, T& out) {
    T value{};
    if (address == 0 || !platform::SafeCopy(&value, Ptr(address), sizeof value)) {
        out = 0;
        return false;
    }
    out = value;
    return true;
}
}  // namespace

bool GuardedReadU32(uint64_t address, uint32_t& out) { return GuardedRead(address, out); }
bool GuardedReadU8(uint64_t address, uint8_t& out) { return GuardedRead(address, out); }

void ResetGuardedMemoryState() {
    GuardedMemory.ReadableRangeCache.count = 0;
    GuardedMemory.WritableRangeCache.count = 0;
    GuardedMemory.RegionQueries = 0;
}

}  // namespace runtime
