// Time and threads.
#pragma once
#include <cstdint>
#include <functional>

namespace platform {

// GetTickCount64: milliseconds since some fixed start.
uint64_t TickCount64();
void SleepMilliseconds(uint32_t ms);

// Starts body on a detached thread; false when no thread could be started.
bool StartDetachedThread(std::function<void()> body);

}  // namespace platform
