// Windows tick count, sleep and threads.
#include <atomic>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "platform/clock.h"
#include "platform/windows/win32.h"

namespace platform {

uint64_t TickCount64() { return GetTickCount64(); }

void SleepMilliseconds(uint32_t ms) { Sleep(ms); }

namespace {

// A detached thread holds a reference on the module its code is in, taken
// before it starts and given back by FreeLibraryAndExitThread, which does
// not return: an unload asked for while it runs (a folder dialog left open)
// takes effect once it has ended, never under it.
struct DetachedStart {
    std::function<void()> body;
    HMODULE module;
};

DWORD WINAPI RunDetachedBody(LPVOID parameter) {
    auto* start = static_cast<DetachedStart*>(parameter);
    const HMODULE module = start->module;
    start->body();
    delete start;
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
    if (!body) return false;
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(reinterpret_cast<void*>(&RunDetachedBody)), &module)) {
        return false;
    }
    auto* start = new (std::nothrow) DetachedStart{std::move(body), module};
    if (start == nullptr) {
        FreeLibrary(module);
        return false;
    }
    HANDLE handle = CreateThread(nullptr, 0, RunDetachedBody, start, 0, nullptr);
    if (handle == nullptr) {
        delete start;
        FreeLibrary(module);
        return false;
    }
    CloseHandle(handle);
    return true;
}

namespace {

// A started thread's state byte: not started until its entry (below) has
// taken it to running; the unload may take a thread that has not started to
// abandoned instead, and then never waits for it.
constexpr uint8_t kThreadNotStarted = 0;
constexpr uint8_t kThreadRunning = 1;
constexpr uint8_t kThreadEnded = 2;
constexpr uint8_t kThreadAbandoned = 3;

// What a started thread is given: its state byte and its body. The block
// lives on the process heap, which outlives the plug-in: a thread that
// starts or ends after an unload still has it to read and write.
struct ThreadBlock {
    uint8_t state;
    std::function<void()>* body;
};

// A started thread's handle and its block.
struct StartedThread {
    HANDLE handle = nullptr;
    ThreadBlock* block = nullptr;
};
std::mutex g_threadsMutex;
std::map<uint64_t, StartedThread> g_threads;
uint64_t g_nextThread = 1;

uint8_t LoadState(ThreadBlock* block) { return std::atomic_ref<uint8_t>(block->state).load(); }

DWORD WINAPI RunThreadBody(LPVOID parameter);

// The first and last steps of a started thread run outside the plug-in's
// code, in a page of their own that is never freed. The entry moves the
// state byte from not started to running (one compare-exchange) and jumps
// into the plug-in, or, when the unload has abandoned the thread, calls
// ExitThread(0) without entering it: a new thread waits for the loader lock
// before it reaches its entry, so it may get there after the plug-in is
// gone. The exit marks the byte ended, then ExitThread(0): once the byte is
// set the thread never comes back into code that an unload may take away,
// and its end (which waits for the loader lock) needs none of it.
using ExitStub = void (*)(uint8_t* state);
struct ThreadStubs {
    LPTHREAD_START_ROUTINE entry = nullptr;
    ExitStub exit = nullptr;
};

ThreadStubs MakeThreadStubs() {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC exitThread = kernel != nullptr ? GetProcAddress(kernel, "ExitThread") : nullptr;
    if (exitThread == nullptr) return {};
    uint8_t code[56] = {
        // entry (0): rcx = the thread's block, its state byte first
        0x31, 0xC0,                          // xor eax, eax            (not started)
        0xB2, 0x01,                          // mov dl, 1               (running)
        0xF0, 0x0F, 0xB0, 0x11,              // lock cmpxchg [rcx], dl
        0x75, 0x06,                          // jne abandoned
        0xFF, 0x25, 0x20, 0x00, 0x00, 0x00,  // jmp qword ptr [body]    (48)
        // abandoned (16)
        0x31, 0xC9,                          // xor ecx, ecx
        0xFF, 0x25, 0x10, 0x00, 0x00, 0x00,  // jmp qword ptr [exit]    (40)
        // exit (24): rcx = the state byte
        0xC6, 0x01, 0x02,                    // mov byte ptr [rcx], 2   (ended)
        0x31, 0xC9,                          // xor ecx, ecx
        0xFF, 0x25, 0x05, 0x00, 0x00, 0x00,  // jmp qword ptr [exit]    (40)
        0xCC, 0xCC, 0xCC, 0xCC, 0xCC,
    };
    static_assert(kThreadNotStarted == 0 && kThreadRunning == 1 && kThreadEnded == 2, "the stubs' constants");
    static_assert(offsetof(ThreadBlock, state) == 0, "the entry's compare-exchange");
    const auto exitTarget = reinterpret_cast<uint64_t>(exitThread);
    const auto bodyTarget = reinterpret_cast<uint64_t>(&RunThreadBody);
    std::memcpy(code + 40, &exitTarget, 8);
    std::memcpy(code + 48, &bodyTarget, 8);
    void* page = VirtualAlloc(nullptr, sizeof code, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (page == nullptr) return {};
    std::memcpy(page, code, sizeof code);
    DWORD old = 0;
    if (!VirtualProtect(page, sizeof code, PAGE_EXECUTE_READ, &old)) {
        VirtualFree(page, 0, MEM_RELEASE);
        return {};
    }
    FlushInstructionCache(GetCurrentProcess(), page, sizeof code);
    auto* bytes = static_cast<uint8_t*>(page);
    return {reinterpret_cast<LPTHREAD_START_ROUTINE>(bytes), reinterpret_cast<ExitStub>(bytes + 24)};
}

const ThreadStubs& TheThreadStubs() {
    static const ThreadStubs stubs = MakeThreadStubs();
    return stubs;
}

// The stubs are made while the module loads, before any of its threads can
// be started: making them asks the loader (GetModuleHandleA,
// GetProcAddress), which waits for its lock, and the unload holds that lock
// while a start may still be under way on another thread.
[[maybe_unused]] const ThreadStubs& g_stubsMadeAtLoad = TheThreadStubs();

// Reached only from the entry, once the thread is running.
DWORD WINAPI RunThreadBody(LPVOID parameter) {
    auto* block = static_cast<ThreadBlock*>(parameter);
    (*block->body)();
    delete block->body;
    TheThreadStubs().exit(&block->state);  // does not return (StartThread starts none without it)
    return 0;
}

void FreeBlock(ThreadBlock* block) { HeapFree(GetProcessHeap(), 0, block); }

}  // namespace

uint64_t StartThread(std::function<void()> body) {
    const ThreadStubs& stubs = TheThreadStubs();
    if (!body || stubs.entry == nullptr) return 0;
    auto* block = static_cast<ThreadBlock*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ThreadBlock)));
    if (block == nullptr) return 0;
    block->state = kThreadNotStarted;
    block->body = new (std::nothrow) std::function<void()>(std::move(body));
    if (block->body == nullptr) {
        FreeBlock(block);
        return 0;
    }
    HANDLE handle = CreateThread(nullptr, 0, stubs.entry, block, 0, nullptr);
    if (handle == nullptr) {
        delete block->body;
        FreeBlock(block);
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_threadsMutex);
    const uint64_t id = g_nextThread++;
    g_threads[id] = StartedThread{handle, block};
    return id;
}

bool WaitForThread(uint64_t thread, uint32_t timeoutMs) {
    ThreadBlock* block = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_threadsMutex);
        auto it = g_threads.find(thread);
        if (it == g_threads.end()) return true;
        block = it->second.block;
    }
    // Not the thread's handle: under the loader lock a thread that has left
    // our code still cannot end, and its handle would never be signalled.
    const uint64_t start = GetTickCount64();
    while (LoadState(block) != kThreadEnded) {
        if (timeoutMs != kWaitForever && GetTickCount64() - start >= timeoutMs) return false;
        Sleep(1);
    }
    std::lock_guard<std::mutex> lock(g_threadsMutex);
    auto it = g_threads.find(thread);
    if (it != g_threads.end()) {
        CloseHandle(it->second.handle);
        FreeBlock(it->second.block);
        g_threads.erase(it);
    }
    return true;
}

bool AbandonOrWaitForThread(uint64_t thread, uint32_t timeoutMs) {
    {
        std::lock_guard<std::mutex> lock(g_threadsMutex);
        auto it = g_threads.find(thread);
        if (it == g_threads.end()) return true;
        ThreadBlock* block = it->second.block;
        uint8_t expected = kThreadNotStarted;
        if (std::atomic_ref<uint8_t>(block->state).compare_exchange_strong(expected, kThreadAbandoned)) {
            // The thread never reads its body now: it goes while the code
            // that frees it is still here. Its block stays, for the entry
            // to read whenever the thread gets there.
            delete block->body;
            block->body = nullptr;
            CloseHandle(it->second.handle);
            g_threads.erase(it);
            return true;
        }
    }
    return WaitForThread(thread, timeoutMs);
}

void LowerCurrentThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

}  // namespace platform
