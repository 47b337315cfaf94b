// Windows memory seam: VirtualQuery, VirtualProtect, VirtualAlloc and
// ReadProcessMemory/WriteProcessMemory on the own process.
#include <atomic>
#include <mutex>
#include <set>

#include "platform/memory.h"
#include "platform/windows/win32.h"

namespace platform {
namespace {

std::atomic<uintptr_t> g_testGameModule{0};
std::atomic<size_t> g_testGameModuleSize{0};

// Blocks handed out by AllocateAt/AllocateAnywhere: FreeMemory releases only
// these, never a region it did not allocate.
std::mutex g_allocMutex;
std::set<uintptr_t> g_allocations;

void Remember(uintptr_t base) {
    std::lock_guard<std::mutex> lock(g_allocMutex);
    g_allocations.insert(base);
}

}  // namespace

bool QueryMemoryRegion(uintptr_t address, MemoryRegion& out) {
    out = MemoryRegion{};
    MEMORY_BASIC_INFORMATION mbi{};
    if (VirtualQuery(reinterpret_cast<LPCVOID>(address), &mbi, sizeof mbi) != sizeof mbi) return false;
    out.base = reinterpret_cast<uintptr_t>(mbi.BaseAddress);
    out.size = mbi.RegionSize;
    out.allocationBase = reinterpret_cast<uintptr_t>(mbi.AllocationBase);
    out.allocationProtect = mbi.AllocationProtect;
    out.state = mbi.State;
    out.protect = mbi.Protect;
    out.type = mbi.Type;
    const uintptr_t game = g_testGameModule.load();
    if (game != 0 && out.state == kMemCommit && out.base >= game && out.base < game + g_testGameModuleSize.load()) {
        // Pages of a registered test image count as the game's image.
        out.type = kMemImage;
        out.allocationBase = game;
    }
    return true;
}

bool QueryNextMemoryRegion(uintptr_t address, MemoryRegion& out) { return QueryMemoryRegion(address, out); }

bool ChangeProtection(uintptr_t address, size_t size, uint32_t newProtect, uint32_t* oldProtect) {
    if (size == 0) return false;
    DWORD old = 0;
    if (!VirtualProtect(reinterpret_cast<LPVOID>(address), size, newProtect, &old)) return false;
    if (oldProtect) *oldProtect = old;
    return true;
}

uintptr_t AllocateAt(uintptr_t address, size_t size, uint32_t protect) {
    if (size == 0 || address == 0) return 0;
    void* p = VirtualAlloc(reinterpret_cast<LPVOID>(address), size, MEM_RESERVE | MEM_COMMIT, protect);
    if (p == nullptr) return 0;
    if (reinterpret_cast<uintptr_t>(p) != address) {  // rounded down to the granularity: not what was asked
        VirtualFree(p, 0, MEM_RELEASE);
        return 0;
    }
    Remember(address);
    return address;
}

uintptr_t AllocateAnywhere(size_t size, uint32_t protect) {
    if (size == 0) return 0;
    void* p = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, protect);
    if (p == nullptr) return 0;
    Remember(reinterpret_cast<uintptr_t>(p));
    return reinterpret_cast<uintptr_t>(p);
}

bool FreeMemory(uintptr_t address) {
    {
        std::lock_guard<std::mutex> lock(g_allocMutex);
        if (g_allocations.erase(address) == 0) return false;
    }
    return VirtualFree(reinterpret_cast<LPVOID>(address), 0, MEM_RELEASE) != 0;
}

void FlushInstructionCache(uintptr_t address, size_t size) {
    ::FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<LPCVOID>(address), size);
}

namespace {

enum class Access { Read, Write };

// Whether every page of [address, address+size) is committed and allows
// the access, as ReadProcessMemory and WriteProcessMemory decide it on
// Windows: no access and guard pages refuse both; read-only pages refuse
// writes; execute-only pages refuse reads; executable pages may be written,
// the call lifts their protection itself. Checked up front because Wine's
// calls ignore page protection on the own process.
bool RangeAllows(uintptr_t address, size_t size, Access access) {
    if (address + size < address) return false;
    const uintptr_t end = address + size;
    uintptr_t at = address;
    while (at < end) {
        MEMORY_BASIC_INFORMATION mbi{};
        if (VirtualQuery(reinterpret_cast<LPCVOID>(at), &mbi, sizeof mbi) != sizeof mbi) return false;
        if (mbi.State != MEM_COMMIT || (mbi.Protect & PAGE_GUARD) != 0) return false;
        const DWORD kind = mbi.Protect & 0xFFu;
        bool ok = false;
        if (access == Access::Read) {
            ok = kind == PAGE_READONLY || kind == PAGE_READWRITE || kind == PAGE_WRITECOPY ||
                 kind == PAGE_EXECUTE_READ || kind == PAGE_EXECUTE_READWRITE || kind == PAGE_EXECUTE_WRITECOPY;
        } else {
            ok = kind == PAGE_READWRITE || kind == PAGE_WRITECOPY || kind == PAGE_EXECUTE ||
                 kind == PAGE_EXECUTE_READ || kind == PAGE_EXECUTE_READWRITE || kind == PAGE_EXECUTE_WRITECOPY;
        }
        if (!ok) return false;
        const uintptr_t next = reinterpret_cast<uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= at) return false;
        at = next;
    }
    return true;
}

bool CopyOwn(Access access, uintptr_t remote, void* local, size_t size, size_t* done) {
    if (done) *done = 0;
    if (size == 0) return true;
    if (local == nullptr || !RangeAllows(remote, size, access)) return false;
    SIZE_T n = 0;
    const BOOL ok = access == Access::Read
                        ? ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(remote), local, size, &n)
                        : WriteProcessMemory(GetCurrentProcess(), reinterpret_cast<LPVOID>(remote), local, size, &n);
    if (done) *done = n;
    return ok && n == size;
}

}  // namespace

bool ReadOwnMemory(uintptr_t source, void* destination, size_t size, size_t* done) {
    return CopyOwn(Access::Read, source, destination, size, done);
}

bool WriteOwnMemory(uintptr_t destination, const void* source, size_t size, size_t* done) {
    return CopyOwn(Access::Write, destination, const_cast<void*>(source), size, done);
}

SystemMemoryInfo GetSystemMemoryInfo() {
    SYSTEM_INFO si{};
    GetSystemInfo(&si);
    SystemMemoryInfo info;
    if (si.dwPageSize != 0) info.pageSize = si.dwPageSize;
    if (si.dwAllocationGranularity != 0) info.allocationGranularity = si.dwAllocationGranularity;
    info.minimumAddress = reinterpret_cast<uintptr_t>(si.lpMinimumApplicationAddress);
    info.maximumAddress = reinterpret_cast<uintptr_t>(si.lpMaximumApplicationAddress);
    return info;
}

uintptr_t GameModuleBase() {
    const uintptr_t test = g_testGameModule.load();
    if (test != 0) return test;
    return reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
}

void SetGameModuleForTesting(uintptr_t base, size_t size) {
    g_testGameModuleSize.store(size);
    g_testGameModule.store(base);
}

}  // namespace platform
