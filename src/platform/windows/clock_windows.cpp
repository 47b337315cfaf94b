// Windows tick count, sleep and threads.
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

// A started thread's handle and the byte that says it has left our code.
struct StartedThread {
    HANDLE handle = nullptr;
    volatile uint8_t* ended = nullptr;
};
std::mutex g_threadsMutex;
std::map<uint64_t, StartedThread> g_threads;
uint64_t g_nextThread = 1;

// What a started thread runs: its body, then the exit below.
struct ThreadStart {
    std::function<void()> body;
    volatile uint8_t* ended;
};

// The last steps of a started thread run outside the plug-in's code, in a
// page of their own that is never freed: mark the thread's byte, then
// ExitThread(0). Once the byte is set the thread never comes back into
// code that an unload may take away, and its end (which waits for the
// loader lock) needs none of it.
using ExitStub = void (*)(volatile uint8_t* ended);
ExitStub MakeExitStub() {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC exitThread = kernel != nullptr ? GetProcAddress(kernel, "ExitThread") : nullptr;
    if (exitThread == nullptr) return nullptr;
    uint8_t code[19] = {
        0xC6, 0x01, 0x01,                    // mov byte ptr [rcx], 1
        0x31, 0xC9,                          // xor ecx, ecx
        0xFF, 0x25, 0x00, 0x00, 0x00, 0x00,  // jmp qword ptr [rip]
    };
    const auto target = reinterpret_cast<uint64_t>(exitThread);
    std::memcpy(code + 11, &target, 8);
    void* page = VirtualAlloc(nullptr, sizeof code, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (page == nullptr) return nullptr;
    std::memcpy(page, code, sizeof code);
    DWORD old = 0;
    if (!VirtualProtect(page, sizeof code, PAGE_EXECUTE_READ, &old)) {
        VirtualFree(page, 0, MEM_RELEASE);
        return nullptr;
    }
    FlushInstructionCache(GetCurrentProcess(), page, sizeof code);
    return reinterpret_cast<ExitStub>(page);
}

ExitStub TheExitStub() {
    static const ExitStub stub = MakeExitStub();
    return stub;
}

DWORD WINAPI RunThreadBody(LPVOID parameter) {
    auto* start = static_cast<ThreadStart*>(parameter);
    start->body();
    volatile uint8_t* ended = start->ended;
    delete start;
    TheExitStub()(ended);  // does not return (StartThread starts none without it)
    return 0;
}

// The byte lives on the process heap, which outlives the plug-in: a thread
// that ends after an unload still has it to write.
volatile uint8_t* NewEndedByte() {
    return static_cast<volatile uint8_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 1));
}

}  // namespace

uint64_t StartThread(std::function<void()> body) {
    if (!body || TheExitStub() == nullptr) return 0;
    volatile uint8_t* ended = NewEndedByte();
    if (ended == nullptr) return 0;
    auto* start = new (std::nothrow) ThreadStart{std::move(body), ended};
    if (start == nullptr) {
        HeapFree(GetProcessHeap(), 0, const_cast<uint8_t*>(ended));
        return 0;
    }
    HANDLE handle = CreateThread(nullptr, 0, RunThreadBody, start, 0, nullptr);
    if (handle == nullptr) {
        delete start;
        HeapFree(GetProcessHeap(), 0, const_cast<uint8_t*>(ended));
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_threadsMutex);
    const uint64_t id = g_nextThread++;
    g_threads[id] = StartedThread{handle, ended};
    return id;
}

bool WaitForThread(uint64_t thread, uint32_t timeoutMs) {
    volatile uint8_t* ended = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_threadsMutex);
        auto it = g_threads.find(thread);
        if (it == g_threads.end()) return true;
        ended = it->second.ended;
    }
    // Not the thread's handle: under the loader lock a thread that has left
    // our code still cannot end, and its handle would never be signalled.
    const uint64_t start = GetTickCount64();
    while (*ended == 0) {
        if (timeoutMs != kWaitForever && GetTickCount64() - start >= timeoutMs) return false;
        Sleep(1);
    }
    std::lock_guard<std::mutex> lock(g_threadsMutex);
    auto it = g_threads.find(thread);
    if (it != g_threads.end()) {
        CloseHandle(it->second.handle);
        HeapFree(GetProcessHeap(), 0, const_cast<uint8_t*>(it->second.ended));
        g_threads.erase(it);
    }
    return true;
}

void LowerCurrentThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

}  // namespace platform
