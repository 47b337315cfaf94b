#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host/detour_gate.h"

namespace {

TEST(DetourGate, UnloadWaitsForAThreadInsideADetourAndIgnoresItsOwnCalls) {
    ASSERT_TRUE(host::WaitForDetoursToLeave(0));
    std::atomic<bool> inside{false};
    std::atomic<bool> release{false};
    std::thread render([&] {
        host::DetourScope scope;
        inside = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!inside) std::this_thread::yield();
    EXPECT_FALSE(host::WaitForDetoursToLeave(20)) << "a Present still inside the detour";

    {
        // The unload may itself run inside a detour of this thread: that one
        // call is not waited for.
        host::DetourScope own;
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            release = true;
        });
        EXPECT_TRUE(host::WaitForDetoursToLeave(5000));
        releaser.join();
    }
    render.join();
    EXPECT_EQ(host::DetoursInFlight(), 0);
}

}  // namespace
