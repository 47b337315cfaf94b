// Linux memory seam: /proc/self/maps for region queries, mprotect, mmap
// with MAP_FIXED_NOREPLACE and process_vm_readv/writev, all translated into
// the Win32 values the editor tests.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/memory.h"
#include "platform/safe_copy.h"

namespace platform {
namespace {

constexpr uintptr_t kMinAddress = 0x10000;
constexpr uintptr_t kMaxAddress = 0x7FFFFFFEFFFFull;

struct MapsLine {
    uintptr_t start = 0;
    uintptr_t end = 0;
    uint32_t protect = 0;
    bool fileBacked = false;
};

std::atomic<uintptr_t> g_testGameModule{0};
std::atomic<size_t> g_testGameModuleSize{0};
std::mutex g_allocMutex;
std::map<uintptr_t, size_t> g_allocations;

uint32_t ProtectFromFlags(bool r, bool w, bool x) {
    if (x) return w ? kPageExecuteReadWrite : (r ? kPageExecuteRead : kPageExecute);
    if (w) return kPageReadWrite;
    if (r) return kPageReadOnly;
    return kPageNoAccess;
}

int ProtFromWin32(uint32_t protect) {
    switch (protect & 0xFFu) {
        case kPageNoAccess: return PROT_NONE;
        case kPageReadOnly: return PROT_READ;
        case kPageReadWrite:
        case kPageWriteCopy: return PROT_READ | PROT_WRITE;
        case kPageExecute: return PROT_EXEC;
        case kPageExecuteRead: return PROT_READ | PROT_EXEC;
        case kPageExecuteReadWrite:
        case kPageExecuteWriteCopy: return PROT_READ | PROT_WRITE | PROT_EXEC;
        default: return -1;
    }
}

// Reads /proc/self/maps whole with plain system calls (no allocation inside
// the read loop beyond the buffer).
bool ReadMaps(std::vector<MapsLine>& lines) {
    lines.clear();
    int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string text;
    char buffer[16384];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        const char* line = text.c_str() + pos;
        unsigned long long start = 0, end = 0, offset = 0, inode = 0;
        char perms[5] = {};
        char dev[16] = {};
        int consumed = 0;
        if (std::sscanf(line, "%llx-%llx %4s %llx %15s %llu %n", &start, &end, perms, &offset, dev, &inode,
                        &consumed) >= 6) {
            MapsLine m;
            m.start = static_cast<uintptr_t>(start);
            m.end = static_cast<uintptr_t>(end);
            m.protect = ProtectFromFlags(perms[0] == 'r', perms[1] == 'w', perms[2] == 'x');
            m.fileBacked = inode != 0;
            lines.push_back(m);
        }
        pos = eol + 1;
    }
    return true;
}

}  // namespace

bool QueryMemoryRegion(uintptr_t address, MemoryRegion& out) {
    out = MemoryRegion{};
    if (address < kMinAddress || address > kMaxAddress) return false;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t pageAddress = address & ~(static_cast<uintptr_t>(page) - 1);
    std::vector<MapsLine> lines;
    if (!ReadMaps(lines)) return false;
    uintptr_t gapStart = kMinAddress;
    const uintptr_t game = g_testGameModule.load();
    for (const MapsLine& m : lines) {
        if (address < m.start) {
            out.base = gapStart > pageAddress ? pageAddress : gapStart;
            out.size = m.start - out.base;
            out.state = kMemFree;
            out.protect = kPageNoAccess;
            return true;
        }
        if (address < m.end) {
            out.base = m.start;
            out.size = m.end - m.start;
            out.allocationBase = m.start;
            out.allocationProtect = m.protect;
            out.state = kMemCommit;
            out.protect = m.protect;
            out.type = m.fileBacked ? kMemMapped : kMemPrivate;
            if (game != 0 && m.start >= game && m.start < game + g_testGameModuleSize.load()) {
                // Pages of a registered test image count as the game's image.
                out.type = kMemImage;
                out.allocationBase = game;
            }
            return true;
        }
        gapStart = m.end;
    }
    out.base = gapStart;
    out.size = kMaxAddress + 1 - gapStart;
    out.state = kMemFree;
    out.protect = kPageNoAccess;
    return true;
}

bool ChangeProtection(uintptr_t address, size_t size, uint32_t newProtect, uint32_t* oldProtect) {
    const int prot = ProtFromWin32(newProtect);
    if (prot < 0 || size == 0) return false;
    MemoryRegion region;
    if (!QueryMemoryRegion(address, region) || region.state != kMemCommit) return false;
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t start = address & ~(page - 1);
    const uintptr_t end = (address + size + page - 1) & ~(page - 1);
    if (mprotect(reinterpret_cast<void*>(start), end - start, prot) != 0) return false;
    if (oldProtect) *oldProtect = region.protect;
    return true;
}

uintptr_t AllocateAt(uintptr_t address, size_t size, uint32_t protect) {
    const int prot = ProtFromWin32(protect);
    if (prot < 0 || size == 0 || address < kMinAddress || address > kMaxAddress) return 0;
    void* p = mmap(reinterpret_cast<void*>(address), size, prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE,
                   -1, 0);
    if (p == MAP_FAILED) return 0;
    if (reinterpret_cast<uintptr_t>(p) != address) {  // kernel without MAP_FIXED_NOREPLACE
        munmap(p, size);
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_allocMutex);
    g_allocations[address] = size;
    return address;
}

uintptr_t AllocateAnywhere(size_t size, uint32_t protect) {
    const int prot = ProtFromWin32(protect);
    if (prot < 0 || size == 0) return 0;
    void* p = mmap(nullptr, size, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return 0;
    std::lock_guard<std::mutex> lock(g_allocMutex);
    g_allocations[reinterpret_cast<uintptr_t>(p)] = size;
    return reinterpret_cast<uintptr_t>(p);
}

bool FreeMemory(uintptr_t address) {
    size_t size = 0;
    {
        std::lock_guard<std::mutex> lock(g_allocMutex);
        auto it = g_allocations.find(address);
        if (it == g_allocations.end()) return false;
        size = it->second;
        g_allocations.erase(it);
    }
    return munmap(reinterpret_cast<void*>(address), size) == 0;
}

void FlushInstructionCache(uintptr_t address, size_t size) {
    __builtin___clear_cache(reinterpret_cast<char*>(address), reinterpret_cast<char*>(address + size));
}

namespace {
// process_vm_readv/writev may be refused in some sandboxes; the fault-safe
// copy is then used instead.
std::atomic<int> g_vmCallsWork{-1};

bool CopyOwn(bool write, uintptr_t remote, void* local, size_t size, size_t* done) {
    if (done) *done = 0;
    if (size == 0) return true;
    if (g_vmCallsWork.load() != 0) {
        iovec localIov{local, size};
        iovec remoteIov{reinterpret_cast<void*>(remote), size};
        ssize_t n = write ? process_vm_writev(getpid(), &localIov, 1, &remoteIov, 1, 0)
                          : process_vm_readv(getpid(), &localIov, 1, &remoteIov, 1, 0);
        if (n >= 0) {
            g_vmCallsWork.store(1);
            if (done) *done = static_cast<size_t>(n);
            return static_cast<size_t>(n) == size;
        }
        if (errno != ENOSYS && errno != EPERM) return false;
        g_vmCallsWork.store(0);
    }
    // Fallback: check the protection first (WriteProcessMemory refuses
    // read-only pages just as process_vm_writev does), then copy guarded.
    MemoryRegion region;
    uintptr_t at = remote;
    const uintptr_t end = remote + size;
    while (at < end) {
        if (!QueryMemoryRegion(at, region) || region.state != kMemCommit) return false;
        const uint32_t p = region.protect & 0xFFu;
        const bool ok = write ? (p == kPageReadWrite || p == kPageExecuteReadWrite)
                              : (p != kPageNoAccess && p != kPageExecute);
        if (!ok) return false;
        at = region.base + region.size;
    }
    bool ok = write ? SafeCopy(reinterpret_cast<void*>(remote), local, size)
                    : SafeCopy(local, reinterpret_cast<const void*>(remote), size);
    if (ok && done) *done = size;
    return ok;
}
}  // namespace

bool ReadOwnMemory(uintptr_t source, void* destination, size_t size, size_t* done) {
    return CopyOwn(false, source, destination, size, done);
}

bool WriteOwnMemory(uintptr_t destination, const void* source, size_t size, size_t* done) {
    return CopyOwn(true, destination, const_cast<void*>(source), size, done);
}

SystemMemoryInfo GetSystemMemoryInfo() {
    SystemMemoryInfo info;
    info.pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    info.allocationGranularity = 65536;
    info.minimumAddress = kMinAddress;
    info.maximumAddress = kMaxAddress;
    return info;
}

uintptr_t GameModuleBase() {
    const uintptr_t test = g_testGameModule.load();
    if (test != 0) return test;
    // The executable's first mapping.
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return 0;
    exe[n] = '\0';
    FILE* f = std::fopen("/proc/self/maps", "r");
    if (!f) return 0;
    char line[8192];
    uintptr_t base = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strstr(line, exe)) {
            unsigned long long start = 0;
            if (std::sscanf(line, "%llx-", &start) == 1) base = static_cast<uintptr_t>(start);
            break;
        }
    }
    std::fclose(f);
    return base;
}

void SetGameModuleForTesting(uintptr_t base, size_t size) {
    g_testGameModuleSize.store(size);
    g_testGameModule.store(base);
}

}  // namespace platform
