// Windows tick count, sleep and threads.
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "platform/clock.h"
#include "platform/windows/win32.h"

namespace platform {

uint64_t TickCount64() { return GetTickCount64(); }

void SleepMilliseconds(uint32_t ms) { Sleep(ms); }

bool StartDetachedThread(std::function<void()> body) {
    if (!body) return false;
    try {
        std::thread(std::move(body)).detach();
    } catch (...) {  // std::system_error when no thread can be made, or bad_alloc
        return false;
    }
    return true;
}

namespace {

std::mutex g_threadsMutex;
std::map<uint64_t, HANDLE> g_threads;
uint64_t g_nextThread = 1;

DWORD WINAPI RunThreadBody(LPVOID parameter) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    (*body)();
    return 0;
}

}  // namespace

uint64_t StartThread(std::function<void()> body) {
    if (!body) return 0;
    auto* owned = new (std::nothrow) std::function<void()>(std::move(body));
    if (owned == nullptr) return 0;
    HANDLE handle = CreateThread(nullptr, 0, RunThreadBody, owned, 0, nullptr);
    if (handle == nullptr) {
        delete owned;
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_threadsMutex);
    const uint64_t id = g_nextThread++;
    g_threads[id] = handle;
    return id;
}

bool WaitForThread(uint64_t thread, uint32_t timeoutMs) {
    HANDLE handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_threadsMutex);
        auto it = g_threads.find(thread);
        if (it == g_threads.end()) return true;
        handle = it->second;
    }
    if (WaitForSingleObject(handle, timeoutMs) != WAIT_OBJECT_0) return false;
    std::lock_guard<std::mutex> lock(g_threadsMutex);
    auto it = g_threads.find(thread);
    if (it != g_threads.end()) {
        CloseHandle(it->second);
        g_threads.erase(it);
    }
    return true;
}

bool StartJoinableThread(std::function<void()> body, std::thread& thread) {
    if (!body) return false;
    try {
        thread = std::thread(std::move(body));
    } catch (...) {  // std::system_error when no thread can be made, or bad_alloc
        return false;
    }
    return true;
}

void LowerCurrentThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

}  // namespace platform
