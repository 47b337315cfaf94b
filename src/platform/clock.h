// Time and threads.
#pragma once
#include <cstdint>
#include <functional>

namespace platform {

// GetTickCount64: milliseconds since some fixed start.
uint64_t TickCount64();
void SleepMilliseconds(uint32_t ms);

// Starts body on a detached thread; false when no thread could be started.
// On Windows the thread keeps the plug-in loaded until it has ended: an
// unload asked for meanwhile happens at its end.
bool StartDetachedThread(std::function<void()> body);
// The calling thread runs below normal priority from now on.
void LowerCurrentThreadPriority();

// A thread that its starter waits for before the code it runs goes away:
// StartThread gives its id, 0 when no thread could be started. WaitForThread
// waits at most timeoutMs for it to end: true once it has ended (the id is
// then forgotten; 0 or an unknown id gives true at once), false when it is
// still running (the id stays valid for a later wait); kWaitForever waits
// without bound. "Ended" means the body has returned and the thread has left
// the plug-in's code for good (what it runs after that is the system's), so
// the wait also ends while the unload holds the loader lock, under which a
// thread cannot finish ending.
inline constexpr uint32_t kWaitForever = 0xFFFFFFFFu;
uint64_t StartThread(std::function<void()> body);
bool WaitForThread(uint64_t thread, uint32_t timeoutMs);
// The unload's wait: a thread that has not yet entered its body is
// abandoned instead of waited for (its body never runs, and it ends without
// entering the plug-in's code again) and true is returned at once; one that
// has is waited for as by WaitForThread. A new thread cannot enter its body
// while the unload holds the loader lock, so waiting for it there would
// never end.
bool AbandonOrWaitForThread(uint64_t thread, uint32_t timeoutMs);

}  // namespace platform
