// Memory of the own process: region queries, protection, allocation, and
// reads and writes that never fault. Values are the Win32 ones on every
// platform so that the code above the seam tests them the same way.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// MEMORY_BASIC_INFORMATION::State
inline constexpr uint32_t kMemCommit = 0x1000;
inline constexpr uint32_t kMemReserve = 0x2000;
inline constexpr uint32_t kMemFree = 0x10000;
// MEMORY_BASIC_INFORMATION::Type
inline constexpr uint32_t kMemPrivate = 0x20000;
inline constexpr uint32_t kMemMapped = 0x40000;
inline constexpr uint32_t kMemImage = 0x1000000;
// Page protections
inline constexpr uint32_t kPageNoAccess = 0x01;
inline constexpr uint32_t kPageReadOnly = 0x02;
inline constexpr uint32_t kPageReadWrite = 0x04;
inline constexpr uint32_t kPageWriteCopy = 0x08;
inline constexpr uint32_t kPageExecute = 0x10;
inline constexpr uint32_t kPageExecuteRead = 0x20;
inline constexpr uint32_t kPageExecuteReadWrite = 0x40;
inline constexpr uint32_t kPageExecuteWriteCopy = 0x80;
inline constexpr uint32_t kPageGuard = 0x100;
inline constexpr uint32_t kPageNoCache = 0x200;
inline constexpr uint32_t kPageWriteCombine = 0x400;

// One region as VirtualQuery describes it: pages with equal state,
// protection and type.
struct MemoryRegion {
    uintptr_t base = 0;
    size_t size = 0;
    uintptr_t allocationBase = 0;
    uint32_t allocationProtect = 0;
    uint32_t state = 0;
    uint32_t protect = 0;
    uint32_t type = 0;
};

// The region that holds address; false when the address is outside the
// user address range.
bool QueryMemoryRegion(uintptr_t address, MemoryRegion& out);
// The same for a walk over the regions: when address is where this
// thread's previous answer ended, the answer may come from the map read for
// that answer (Linux: the map is read once per walk, and read again after a
// change through this seam or after a quarter of a second), so a mapping
// made or changed meanwhile by others can be missed or seen with its old
// protection. Walks that read what they find through the fault guard use
// it; single checks use QueryMemoryRegion. On Windows both are VirtualQuery.
bool QueryNextMemoryRegion(uintptr_t address, MemoryRegion& out);

// VirtualProtect: sets newProtect on the pages of [address, address+size)
// and returns the old protection of the first page.
bool ChangeProtection(uintptr_t address, size_t size, uint32_t newProtect, uint32_t* oldProtect);

// VirtualAlloc(MEM_RESERVE|MEM_COMMIT) at exactly this address (a multiple
// of the allocation granularity). Returns 0 when the range is taken.
uintptr_t AllocateAt(uintptr_t address, size_t size, uint32_t protect);
// VirtualAlloc anywhere.
uintptr_t AllocateAnywhere(size_t size, uint32_t protect);
// VirtualFree(MEM_RELEASE) of a block from AllocateAt/AllocateAnywhere.
bool FreeMemory(uintptr_t address);

void FlushInstructionCache(uintptr_t address, size_t size);

// ReadProcessMemory / WriteProcessMemory on the own process: false instead
// of a fault for unmapped or inaccessible bytes.
bool ReadOwnMemory(uintptr_t source, void* destination, size_t size, size_t* done = nullptr);
bool WriteOwnMemory(uintptr_t destination, const void* source, size_t size, size_t* done = nullptr);

struct SystemMemoryInfo {
    size_t pageSize = 4096;
    size_t allocationGranularity = 65536;
    uintptr_t minimumAddress = 0;
    uintptr_t maximumAddress = 0;
};
SystemMemoryInfo GetSystemMemoryInfo();

// The game's executable image (GetModuleHandleW(nullptr) and its PE headers).
// A test can make any mapping that starts with MZ/PE headers the game image;
// its pages then report the type MEM_IMAGE. A base of 0 puts the real one back.
uintptr_t GameModuleBase();
void SetGameModuleForTesting(uintptr_t base, size_t size);

}  // namespace platform
