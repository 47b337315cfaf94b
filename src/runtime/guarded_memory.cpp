#include "runtime/guarded_memory.h"

#include <atomic>
#include <bit>
#include <cstring>
#include <mutex>
#include <vector>

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

// Writes data that game threads read: a 4- or 8-byte value in one store, a
// block with each of its aligned elements in one store.
bool StoreData(uint64_t destination, const void* source, uint64_t size) {
    if (size == 4) {
        uint32_t v;
        std::memcpy(&v, source, 4);
        return platform::SafeStore32(Ptr(destination), v);
    }
    if (size == 8) {
        uint64_t v;
        std::memcpy(&v, source, 8);
        return platform::SafeStore64(Ptr(destination), v);
    }
    return platform::SafeWrite(Ptr(destination), source, static_cast<size_t>(size));
}

// Runs store with the protection of [destination, destination + size)
// lifted to EXECUTE_READWRITE when needed (always for code), and puts the
// old protection back on every path.
template <typename Store>
bool WithLiftedProtection(uint64_t destination, uint64_t size, bool alwaysLift, Store store) {
    uint32_t old = 0;
    bool changed = false;
    if (alwaysLift || !IsWritable(destination, size)) {
        if (!platform::ChangeProtection(static_cast<uintptr_t>(destination), size, platform::kPageExecuteReadWrite,
                                        &old))
            return false;
        changed = true;
    }
    const bool ok = store();
    if (changed) {
        uint32_t ignored = 0;
        platform::ChangeProtection(static_cast<uintptr_t>(destination), size, old, &ignored);
    }
    return ok;
}

constexpr uint64_t kMostInstructionBytes = 15;
constexpr uint8_t kBreakpoint = 0xCC;

// Every thread that runs code sees the code written so far.
void Publish(uint64_t address, uint64_t size) {
    platform::FlushInstructionCache(static_cast<uintptr_t>(address), static_cast<size_t>(size));
    platform::SynchronizeInstructionStreams();
}

// Rewrites bytes of the instruction that begins at instruction while game
// threads may run it. Only the bytes that change count: when they lie in one
// aligned 16-byte block they are written by one store of the block, which an
// instruction fetch sees whole (a displacement, a jump's first byte, most
// short patches). Otherwise in steps, the instruction held: a breakpoint over
// its first byte, then the bytes after it, then its new first byte; a thread
// that reaches the instruction meanwhile waits at the breakpoint and then
// runs the whole new instruction. (Nothing can be done for a thread already
// inside a run of one-byte no-operations that the write replaces.)
bool StoreCode(uint64_t instruction, uint64_t destination, const uint8_t* bytes, uint64_t size) {
    if (instruction > destination || destination - instruction > kMostInstructionBytes) instruction = destination;
    const uint64_t length = destination - instruction + size;
    std::vector<uint8_t> old(static_cast<size_t>(length));
    if (!platform::SafeCopy(old.data(), Ptr(instruction), old.size())) return false;
    std::vector<uint8_t> now = old;
    std::memcpy(now.data() + (destination - instruction), bytes, static_cast<size_t>(size));
    size_t first = 0;
    while (first < now.size() && now[first] == old[first]) ++first;
    if (first == now.size()) return true;
    size_t last = now.size() - 1;
    while (now[last] == old[last]) --last;
    const uint64_t from = instruction + first;
    const uint64_t to = instruction + last + 1;
    if ((from >> 4) == ((to - 1) >> 4)) {
        const bool ok = platform::SafeStoreWithinBlock(Ptr(from), now.data() + first, static_cast<size_t>(to - from));
        platform::FlushInstructionCache(static_cast<uintptr_t>(from), static_cast<size_t>(to - from));
        return ok;
    }
    const size_t hold = platform::HoldInstruction(static_cast<uintptr_t>(instruction));
    bool ok = platform::SafeStoreWithinBlock(Ptr(instruction), &kBreakpoint, 1);
    if (ok) {
        Publish(instruction, 1);
        ok = platform::SafeWrite(Ptr(instruction + 1), now.data() + 1, now.size() - 1);
        // A failed step puts back what it can of the game's bytes.
        if (!ok) platform::SafeWrite(Ptr(instruction + 1), old.data() + 1, old.size() - 1);
        Publish(instruction + 1, length - 1);
        if (!platform::SafeStoreWithinBlock(Ptr(instruction), ok ? &now[0] : &old[0], 1)) ok = false;
        Publish(instruction, length);
    }
    platform::EndInstructionHold(hold);
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
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    if (GuardedMemory.WritableRangeCache.Contains(address, 4)) return platform::SafeStore32(Ptr(address), bits);
    MemoryRegion region;
    if (QueryRegion(address, region) && region.state == platform::kMemCommit && IsReadableProtect(region.protect) &&
        IsWritableProtect(static_cast<uint8_t>(region.protect & 0xFFu)) && InRegion(address, 4, region)) {
        GuardedMemory.WritableRangeCache.Append(region.base, static_cast<uint64_t>(region.base) + region.size);
        return platform::SafeStore32(Ptr(address), bits);
    }
    return WithLiftedProtection(address, 4, false, [&] { return platform::SafeStore32(Ptr(address), bits); });
}

bool WriteBytesProtected(uint64_t destination, const void* source, uint64_t size) {
    if (destination == 0 || source == nullptr || size == 0) return false;
    return WithLiftedProtection(destination, size, false, [&] { return StoreData(destination, source, size); });
}

bool WriteBytesCached(uint64_t destination, const void* source, uint64_t size) {
    if (destination == 0 || source == nullptr || size == 0) return false;
    if (GuardedMemory.WritableRangeCache.Contains(destination, size)) return StoreData(destination, source, size);
    MemoryRegion region;
    if (QueryRegion(destination, region) && region.state == platform::kMemCommit &&
        IsReadableProtect(region.protect) && IsExactlyWritable(region.protect) && InRegion(destination, size, region)) {
        GuardedMemory.WritableRangeCache.Append(region.base, static_cast<uint64_t>(region.base) + region.size);
        return StoreData(destination, source, size);
    }
    return WithLiftedProtection(destination, size, false, [&] { return StoreData(destination, source, size); });
}

bool ReadBytesCached(uint64_t address, void* destination, uint64_t size) {
    if (destination == nullptr || !IsReadableCached(address, size)) return false;
    return platform::SafeCopy(destination, Ptr(address), size);
}

bool PatchCodeBytes(uint64_t destination, const void* source, uint64_t size) {
    return PatchInstructionBytes(destination, destination, source, size);
}

bool PatchInstructionBytes(uint64_t instruction, uint64_t destination, const void* source, uint64_t size) {
    if (destination == 0 || source == nullptr || size == 0 || size > UINT32_MAX) return false;
    if (instruction == 0 || instruction > destination || destination - instruction > kMostInstructionBytes)
        instruction = destination;
    const uint64_t span = destination - instruction + size;
    return WithLiftedProtection(instruction, span, true, [&] {
        return StoreCode(instruction, destination, static_cast<const uint8_t*>(source), size);
    });
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

bool GuardedWrite(uint64_t destination, const void* source, uint64_t size) {
    return destination != 0 && source != nullptr && size != 0 && StoreData(destination, source, size);
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
