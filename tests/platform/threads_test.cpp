// The seam's waited-for threads (native; the Windows side's wait under the
// loader lock is in system_wintest.cpp).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/clock.h"

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

}  // namespace
