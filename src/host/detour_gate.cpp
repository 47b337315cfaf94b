#include "host/detour_gate.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace host {
namespace {

std::atomic<int32_t> g_inFlight{0};
thread_local int32_t t_depth = 0;

}  // namespace

void EnterDetour() {
    ++t_depth;
    g_inFlight.fetch_add(1, std::memory_order_acq_rel);
}

void LeaveDetour() {
    g_inFlight.fetch_sub(1, std::memory_order_acq_rel);
    --t_depth;
}

int32_t DetoursInFlight() { return g_inFlight.load(std::memory_order_acquire); }

bool WaitForDetoursToLeave(uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (g_inFlight.load(std::memory_order_acquire) <= t_depth) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace host
