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

// A thread that its starter waits for before the code it runs goes away:
// StartThread gives its id, 0 when no thread could be started. WaitForThread
// waits at most timeoutMs for it to end: true once it has ended (the id is
// then forgotten; 0 or an unknown id gives true at once), false when it is
// still running (the id stays valid for a later wait). The unload waits with
// a bound because it may hold the loader lock, under which a thread cannot
// finish ending.
uint64_t StartThread(std::function<void()> body);
bool WaitForThread(uint64_t thread, uint32_t timeoutMs);

}  // namespace platform
