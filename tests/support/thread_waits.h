// Tests that wait on the editor's threads: a wait for a state another
// thread reports that fails instead of hanging, the editor's own waits
// without bound given one by the test program's watchdog, and (Linux build)
// the simulated sleep gate held for a scope (a thread that does not come
// back in time).
#pragma once
#include <chrono>
#include <cstdint>
#include <thread>

#if !defined(_WIN32)
#include "platform/simulated.h"
#endif

namespace testsupport {

// Every limit of the tests below is given as a native build on an idle
// machine needs it, and multiplied by this: 1 natively, more under the
// sanitizers (they run the tests several to tens of times slower) and
// under Wine, times the number in VARNEL_TEST_TIME_SCALE when it is set
// (at least 1: a loaded or slow machine may raise the limits, never lower
// them).
double TimeScale();
template <typename Rep, typename Period>
std::chrono::milliseconds Scaled(std::chrono::duration<Rep, Period> limit) {
    const double ms = std::chrono::duration<double, std::milli>(limit).count() * TimeScale();
    return std::chrono::milliseconds(static_cast<int64_t>(ms));
}

// Polls done() until it holds; false once limit (real time, scaled) has passed.
template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + Scaled(limit);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs step while more() holds (a search run a slice at a time, as the
// render thread runs it a slice a frame), without pausing between steps;
// false when more() still held once limit (real time, scaled) had passed.
template <typename More, typename Step>
bool RunWhile(More more, Step step, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + Scaled(limit);
    while (more()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        step();
    }
    return true;
}

// The test program's watchdog (started by its main): a test still running
// after kTestLimit, or a Deadline's scope not left within its limit (both
// scaled), ends the program with a failure naming the test and what it
// waited for. A thread that never ends then fails its test within seconds,
// or minutes, instead of hanging the run (ctest runs each test as a program
// of its own, and ends it only after 5 or 10 minutes).
inline constexpr std::chrono::seconds kTestLimit{60};
inline constexpr std::chrono::seconds kWaitLimit{10};
void StartWatchdog();
// Ends its thread once the tests have run (a sanitizer may wait at the
// program's exit while another thread is left).
void StopWatchdog();

// While it lives the watchdog also ends the program once limit (scaled) has passed.
class Deadline {
public:
    explicit Deadline(const char* what, std::chrono::seconds limit = kWaitLimit);
    ~Deadline();
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    uint64_t id_;
};

// Calls call (a wait of the editor's that has no bound of its own, or one
// that a fault could make endless) on this thread within a Deadline.
template <typename Call>
decltype(auto) Bounded(const char* what, Call&& call, std::chrono::seconds limit = kWaitLimit) {
    const Deadline deadline(what, limit);
    return call();
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
