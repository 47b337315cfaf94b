// Windows tick count, sleep and threads.
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
