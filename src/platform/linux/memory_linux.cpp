// Linux memory seam: /proc/self/maps for region queries, mprotect, mmap
// with MAP_FIXED_NOREPLACE and process_vm_readv/writev, all translated into
// the Win32 values the editor tests.
//
// Reading the map is the seam's slowest call (the kernel prints every
// mapping), and a memory scan asks for every region in turn. So each thread
// keeps its last reading, and a walk (QueryNextMemoryRegion at the address
// where the thread's previous answer ended) is answered from it while
// nothing was mapped, unmapped or re-protected through this seam since and
// the reading is younger than kMapsLifetimeMs. Every other query, and the
// old protection that ChangeProtection reports, reads the map afresh, so a
// single check is exact whoever changed the map. Within a walk, a mapping
// that another thread or code outside the seam made or changed meanwhile
// can be missed or seen with its old protection for at most that lifetime,
// as if the walk had been that much faster; the walks copy through the
// fault guard, so a region that went away gives a failed copy, not a crash.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
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
#include "platform/simulated.h"

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

constexpr uint64_t kMapsLifetimeMs = 250;

std::atomic<uintptr_t> g_testGameModule{0};
std::atomic<size_t> g_testGameModuleSize{0};
std::mutex g_allocMutex;
std::map<uintptr_t, size_t> g_allocations;
// Counts the changes made through the seam; a reading of the map taken
// before the last one is not reused.
std::atomic<uint64_t> g_mapChanges{0};
std::atomic<uint64_t> g_mapsReads{0};

// One thread's last reading of the map and where its last answer ended.
struct MapsReading {
    std::vector<MapsLine> lines;
    uint64_t changes = 0;
    uint64_t readAtMs = 0;
    uintptr_t answerEnd = 0;  // 0: no answer to continue from
};
thread_local MapsReading t_maps;

uint64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

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

// One line of the map: "start-end perms offset major:minor inode [path]",
// numbers in hex but the inode in decimal. False for a line of another form.
bool ParseMapsLine(const char* p, const char* end, MapsLine& line) {
    auto number = [&](unsigned base, uint64_t& value) {
        const char* from = p;
        value = 0;
        for (; p < end; ++p) {
            const char c = *p;
            unsigned digit;
            if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
            else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
            else break;
            value = value * base + digit;
        }
        return p != from;
    };
    auto skip = [&](char c) { return p < end && *p++ == c; };
    uint64_t start = 0, stop = 0, ignored = 0, inode = 0;
    if (!number(16, start) || !skip('-') || !number(16, stop) || !skip(' ') || end - p < 5) return false;
    const bool r = p[0] == 'r', w = p[1] == 'w', x = p[2] == 'x';
    p += 4;
    if (!skip(' ') || !number(16, ignored) || !skip(' ') || !number(16, ignored) || !skip(':') ||
        !number(16, ignored) || !skip(' ') || !number(10, inode) || stop <= start)
        return false;
    line.start = static_cast<uintptr_t>(start);
    line.end = static_cast<uintptr_t>(stop);
    line.protect = ProtectFromFlags(r, w, x);
    line.fileBacked = inode != 0;
    return true;
}

// Reads /proc/self/maps whole with plain system calls.
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
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (eol == nullptr) eol = end;
        MapsLine m;
        if (ParseMapsLine(p, eol, m)) lines.push_back(m);
        p = eol + 1;
    }
    return true;
}

}  // namespace

namespace {

// The region of address from this thread's reading of the map, read afresh
// unless a walk continues on a reading that is still current.
bool LookUpRegion(uintptr_t address, MemoryRegion& out, bool mayContinueWalk) {
    out = MemoryRegion{};
    if (address < kMinAddress || address > kMaxAddress) return false;
    MapsReading& maps = t_maps;
    const uint64_t changes = g_mapChanges.load(std::memory_order_acquire);
    const uint64_t now = NowMs();
    if (!mayContinueWalk || address != maps.answerEnd || maps.changes != changes ||
        now - maps.readAtMs >= kMapsLifetimeMs) {
        maps.answerEnd = 0;
        if (!ReadMaps(maps.lines)) return false;
        g_mapsReads.fetch_add(1, std::memory_order_relaxed);
        maps.changes = changes;
        maps.readAtMs = now;
    }
    // As VirtualQuery: the region runs from the page of address to the end of
    // the pages that share its state and protection.
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    out.base = address & ~(static_cast<uintptr_t>(page) - 1);
    // The first mapping that ends after address.
    const auto it = std::upper_bound(maps.lines.begin(), maps.lines.end(), address,
                                     [](uintptr_t a, const MapsLine& m) { return a < m.end; });
    if (it == maps.lines.end() || address < it->start) {
        out.size = (it == maps.lines.end() ? kMaxAddress + 1 : std::min(it->start, kMaxAddress + 1)) - out.base;
        out.state = kMemFree;
        out.protect = kPageNoAccess;
    } else {
        out.size = it->end - out.base;
        out.allocationBase = it->start;
        out.allocationProtect = it->protect;
        out.state = kMemCommit;
        out.protect = it->protect;
        out.type = it->fileBacked ? kMemMapped : kMemPrivate;
        const uintptr_t game = g_testGameModule.load();
        if (game != 0 && it->start >= game && it->start < game + g_testGameModuleSize.load()) {
            // Pages of a registered test image count as the game's image.
            out.type = kMemImage;
            out.allocationBase = game;
        }
    }
    maps.answerEnd = out.base + out.size;
    return true;
}

void NoteMapChange() { g_mapChanges.fetch_add(1, std::memory_order_acq_rel); }

}  // namespace

bool QueryMemoryRegion(uintptr_t address, MemoryRegion& out) { return LookUpRegion(address, out, false); }

bool QueryNextMemoryRegion(uintptr_t address, MemoryRegion& out) { return LookUpRegion(address, out, true); }

bool ChangeProtection(uintptr_t address, size_t size, uint32_t newProtect, uint32_t* oldProtect) {
    const int prot = ProtFromWin32(newProtect);
    if (prot < 0 || size == 0) return false;
    MemoryRegion region;
    if (!LookUpRegion(address, region, false) || region.state != kMemCommit) return false;
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t start = address & ~(page - 1);
    const uintptr_t end = (address + size + page - 1) & ~(page - 1);
    const int result = mprotect(reinterpret_cast<void*>(start), end - start, prot);
    NoteMapChange();  // also after a failure: mprotect may have changed some pages
    if (result != 0) return false;
    if (oldProtect) *oldProtect = region.protect;
    return true;
}

uintptr_t AllocateAt(uintptr_t address, size_t size, uint32_t protect) {
    const int prot = ProtFromWin32(protect);
    if (prot < 0 || size == 0 || address < kMinAddress || address > kMaxAddress) return 0;
    void* p = mmap(reinterpret_cast<void*>(address), size, prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE,
                   -1, 0);
    if (p == MAP_FAILED) return 0;
    NoteMapChange();
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
    NoteMapChange();
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
    const bool ok = munmap(reinterpret_cast<void*>(address), size) == 0;
    NoteMapChange();
    return ok;
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
        if (!QueryNextMemoryRegion(at, region) || region.state != kMemCommit) return false;
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
    // The executable's first mapping, which stays where it is for the run.
    static std::atomic<uintptr_t> executable{0};
    if (const uintptr_t known = executable.load(); known != 0) return known;
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
    executable.store(base);
    return base;
}

void SetGameModuleForTesting(uintptr_t base, size_t size) {
    g_testGameModuleSize.store(size);
    g_testGameModule.store(base);
}

uint64_t sim::RegionMapReads() { return g_mapsReads.load(); }

}  // namespace platform
