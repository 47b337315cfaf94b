// Time and threads.
#pragma once
#include <cstdint>
#include <functional>
#include <thread>

namespace platform {

// GetTickCount64: milliseconds since some fixed start.
uint64_t TickCount64();
void SleepMilliseconds(uint32_t ms);

// Starts body on a detached thread; false when no thread could be started.
bool StartDetachedThread(std::function<void()> body);
// Starts body on a thread that the caller keeps (and joins); false, and
// thread left as it was, when no thread could be started.
bool StartJoinableThread(std::function<void()> body, std::thread& thread);
// The calling thread runs below normal priority from now on.
void LowerCurrentThreadPriority();

}  // namespace platform
