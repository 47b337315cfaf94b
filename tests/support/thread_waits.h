// Tests that wait on the editor's threads: a wait for a state another
// thread reports that fails instead of hanging, and (Linux build) the
// simulated sleep gate held for a scope (a thread that does not come back
// in time).
#pragma once
#include <chrono>
#include <thread>

#if !defined(_WIN32)
#include "platform/simulated.h"
#endif

namespace testsupport {

// Polls done() until it holds; false once limit (real time) has passed.
template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

#if !defined(_WIN32)
// Every simulated sleep waits at the gate while this lives.
struct HeldSleeps {
    HeldSleeps() { platform::sim::HoldSleeps(true); }
    ~HeldSleeps() { platform::sim::HoldSleeps(false); }
    HeldSleeps(const HeldSleeps&) = delete;
    HeldSleeps& operator=(const HeldSleeps&) = delete;
};

// Every thread started by platform::StartThread waits before its body
// while this lives.
struct HeldThreadStarts {
    HeldThreadStarts() { platform::sim::HoldThreadStarts(true); }
    ~HeldThreadStarts() { platform::sim::HoldThreadStarts(false); }
    HeldThreadStarts(const HeldThreadStarts&) = delete;
    HeldThreadStarts& operator=(const HeldThreadStarts&) = delete;
};

// True once count threads wait at the sleep gate: they have started and
// reached a sleep (at most WaitUntil's limit).
inline bool WaitForHeldSleepers(int count) {
    return WaitUntil([count] { return platform::sim::SleepsHeld() == count; });
}
#endif

}  // namespace testsupport
