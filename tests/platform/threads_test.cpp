// The seam's waited-for threads (native; the Windows side's wait under the
// loader lock is in system_wintest.cpp).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/clock.h"
#if !defined(_WIN32)
#include "platform/simulated.h"
#include "support/thread_waits.h"
#endif

namespace {

using namespace platform;

std::atomic<bool> g_neverEnds{false};

// A thread that is still running when its bounded wait gives up stays the
// seam's to the end of the process, which then ends as it was asked to:
// never by destroying a thread that could still be joined.
TEST(ThreadsDeathTest, AThreadThatOutlivesItsWaitNeverAbortsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const uint64_t thread = StartThread([] {
                while (!g_neverEnds) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
            if (thread == 0 || WaitForThread(thread, 10)) std::_Exit(3);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

#if !defined(_WIN32)
// The unload's wait abandons a thread that has not reached its body (held
// at its start, as a Windows thread is by the loader lock the unload
// holds): it returns at once, and the body never runs, also once the start
// is let go. A thread that runs its body is waited for.
TEST(Threads, TheUnloadsWaitAbandonsAThreadThatHasNotStartedAndWaitsForOneThatHas) {
    testsupport::HeldThreadStarts held;
    std::atomic<bool> ran{false};
    const uint64_t abandoned = sim::AbandonedThreadsEnded();
    const uint64_t thread = StartThread([&ran] { ran = true; });
    ASSERT_NE(thread, 0u);
    ASSERT_TRUE(testsupport::WaitUntil([] { return sim::ThreadStartsHeld() == 1; })) << "the thread is held at its start";
    std::atomic<bool> returned{false};
    std::thread unload([&] { returned = AbandonOrWaitForThread(thread, kWaitForever); });
    EXPECT_TRUE(testsupport::WaitUntil([&] { return returned.load(); })) << "the wait waits for a thread that has not started";
    sim::HoldThreadStarts(false);
    unload.join();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return sim::AbandonedThreadsEnded() > abandoned || ran; }));
    EXPECT_FALSE(ran.load()) << "the abandoned thread ran its body";
    EXPECT_TRUE(WaitForThread(thread, 0)) << "an abandoned thread is forgotten";

    std::atomic<bool> running{false}, stop{false};
    const uint64_t runner = StartThread([&] {
        running = true;
        while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    ASSERT_TRUE(testsupport::WaitUntil([&] { return running.load(); }));
    EXPECT_FALSE(AbandonOrWaitForThread(runner, 20)) << "a running thread is waited for, not abandoned";
    stop = true;
    EXPECT_TRUE(AbandonOrWaitForThread(runner, 10000));
}
#endif

}  // namespace
