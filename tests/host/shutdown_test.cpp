// The unload: order, nothing to undo before the start-up, and no release
// while a thread is still inside a detour.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "host_fixture.h"

namespace {

using hosttest::Rec;

class ShutdownTest : public hosttest::HostTest {};

TEST_F(ShutdownTest, BeforeTheFirstPressThereIsNoHookToUndo) {
    host::ShutdownEditor();
    const std::vector<std::string> expected = {"restoreWindowProcedure", "releaseOverlay"};
    EXPECT_EQ(Rec().calls, expected) << "the platform steps find nothing and do nothing";
}

TEST_F(ShutdownTest, DisablesAndRemovesTheHooksBeforeTheWindowProcedureAndTheOverlayObjects) {
    host::BootstrapEditor();
    Rec().calls.clear();
    host::ShutdownEditor();
    const std::vector<std::string> expected = {"engine.disableAll", "engine.uninitialize", "restoreWindowProcedure",
                                               "releaseOverlay"};
    EXPECT_EQ(Rec().calls, expected);
    for (int i = 0; i < 4; ++i) EXPECT_NE(Rec().table[i], nullptr);
    EXPECT_EQ(Rec().table[0], reinterpret_cast<void*>(&hosttest::GameMethod0)) << "the game's Present is back";
    EXPECT_EQ(Rec().table[3], reinterpret_cast<void*>(&hosttest::GameMethod3));

    Rec().calls.clear();
    host::ShutdownEditor();
    EXPECT_EQ(Rec().calls, (std::vector<std::string>{"restoreWindowProcedure", "releaseOverlay"}))
        << "a second unload finds the hooks gone";
}

TEST_F(ShutdownTest, WaitsForAPresentStillInsideTheDetourBeforeReleasing) {
    host::BootstrapEditor();
    Rec().calls.clear();
    std::atomic<bool> inside{false};
    std::atomic<bool> releasedWhileInside{false};
    std::thread render([&] {
        host::DetourScope scope;
        inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        for (const std::string& call : Rec().calls)
            if (call == "releaseOverlay") releasedWhileInside = true;
    });
    while (!inside) std::this_thread::yield();
    host::ShutdownEditor();
    render.join();
    EXPECT_FALSE(releasedWhileInside);
    ASSERT_FALSE(Rec().calls.empty());
    EXPECT_EQ(Rec().calls.back(), "releaseOverlay");
}

TEST_F(ShutdownTest, LeavesTheOverlayObjectsAloneWhenADetourNeverLeaves) {
    host::BootstrapEditor();
    Rec().calls.clear();
    host::DetourDrainTimeoutMs = 30;
    std::atomic<bool> inside{false};
    std::atomic<bool> leave{false};
    std::thread render([&] {
        host::DetourScope scope;
        inside = true;
        while (!leave) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!inside) std::this_thread::yield();
    host::ShutdownEditor();
    leave = true;
    render.join();
    const std::vector<std::string> expected = {"engine.disableAll", "engine.uninitialize", "restoreWindowProcedure"};
    EXPECT_EQ(Rec().calls, expected) << "a leak is better than freeing objects in use";
}

}  // namespace
