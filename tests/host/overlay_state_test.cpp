// The overlay render path's decisions: menu suspension and cooldown, the
// Present gate, the resize detour's order, per-buffer rebuilds, fence waits,
// SRV descriptor slots and the rate of the visualsettings address retry.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "host/editor_state.h"
#include "host/overlay_state.h"
#include "shell/folder_picker.h"
#include "shell/main_window.h"
#include "support/imgui_harness.h"

namespace {

class OverlayStateTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        host::ResetOverlayState();
        host::MenuOpen = 0;
        host::MenuSuspended = 0;
        host::MenuCooldownFrames = 0;
        shell::FolderDialogOpen = 0;
        shell::MainWindowSizeFitted = false;
    }
    // One drawn frame at the given display size.
    void DrawnFrame(float w, float h) {
        ImGuiIO& io = ui.Io();
        io.DisplaySize = ImVec2(w, h);
        host::UpdateOverlayInput(io);
    }
    testsupport::ImGuiHarness ui;
};

TEST_F(OverlayStateTest, DisplayPixelsRoundsAndTreatsNonPositiveAsZero) {
    EXPECT_EQ(host::DisplayPixels(1919.5f), 1920u);
    EXPECT_EQ(host::DisplayPixels(1919.4f), 1919u);
    EXPECT_EQ(host::DisplayPixels(0.0f), 0u);
    EXPECT_EQ(host::DisplayPixels(-3.0f), 0u);
    EXPECT_EQ(host::DisplayPixels(std::numeric_limits<float>::quiet_NaN()), 0u);
}

TEST_F(OverlayStateTest, AResolutionChangeBlocksTheMenuForNinetyFramesAndEighteenStableOnes) {
    DrawnFrame(1920, 1080);
    host::MenuOpen = 1;
    shell::MainWindowSizeFitted = true;
    DrawnFrame(1920, 1080);
    EXPECT_EQ(host::MenuOpen.load(), 1);
    EXPECT_TRUE(host::CanOpenMenu());

    DrawnFrame(1280, 720);
    EXPECT_EQ(host::MenuOpen.load(), 0);
    EXPECT_EQ(host::MenuSuspended.load(), 1);
    EXPECT_FALSE(shell::MainWindowSizeFitted);
    EXPECT_EQ(host::MenuCooldownFrames.load(), host::kMenuCooldownFrames - 1) << "the frame of the change counts";
    int frames = 1;
    while (!host::CanOpenMenu() && frames < 500) {
        host::MenuOpen = 1;  // every blocked frame closes the window again
        DrawnFrame(1280, 720);
        EXPECT_EQ(host::MenuOpen.load(), host::CanOpenMenu() ? 1 : 0);
        ++frames;
    }
    EXPECT_EQ(frames, host::kMenuCooldownFrames);
    EXPECT_EQ(host::DisplayStableFrames.load(), host::kDisplayStableFramesNeeded);
}

TEST_F(OverlayStateTest, AnUnsteadySizeKeepsTheMenuSuspendedAfterTheCooldown) {
    DrawnFrame(1920, 1080);
    DrawnFrame(1600, 900);
    for (int i = 0; i < 100; ++i) DrawnFrame(1600, 900);
    ASSERT_TRUE(host::CanOpenMenu());
    // A new change, then after the cooldown the size still moves every few frames.
    DrawnFrame(1700, 900);
    for (int i = 0; i < 89; ++i) DrawnFrame(1700, 900);
    EXPECT_EQ(host::MenuCooldownFrames.load(), 0);
    for (int i = 0; i < 10; ++i) DrawnFrame(1700, 900);
    DrawnFrame(1705, 900);  // restarts the stable count and the cooldown
    EXPECT_EQ(host::MenuSuspended.load(), 1);
    EXPECT_EQ(host::DisplayStableFrames.load(), 0);
    EXPECT_EQ(host::MenuCooldownFrames.load(), host::kMenuCooldownFrames - 1);
}

TEST_F(OverlayStateTest, OnePixelJitterIsStableAndTwoPixelsIsAChange) {
    DrawnFrame(1920, 1080);
    for (int i = 0; i < 30; ++i) DrawnFrame(i % 2 ? 1921.0f : 1920.0f, i % 2 ? 1080.0f : 1079.0f);
    EXPECT_EQ(host::MenuSuspended.load(), 0);
    EXPECT_EQ(host::DisplayStableFrames.load(), host::kDisplayStableFramesNeeded);
    DrawnFrame(1923, 1080);  // the last frame was 1921 x 1080
    EXPECT_EQ(host::MenuSuspended.load(), 1);
}

TEST_F(OverlayStateTest, AMinimisedFrameNeitherChangesNorCountsTheSize) {
    DrawnFrame(1920, 1080);
    DrawnFrame(1920, 1080);
    const int stable = host::DisplayStableFrames.load();
    DrawnFrame(0, 0);
    EXPECT_EQ(host::MenuSuspended.load(), 0);
    EXPECT_EQ(host::DisplayStableFrames.load(), stable);
    EXPECT_EQ(host::LastDisplayWidth.load(), 1920u);

    ImGuiIO& io = ui.Io();
    io.DisplaySize = ImVec2(0, 0);
    host::DefaultDisplaySizeWhenEmpty(io);
    EXPECT_EQ(io.DisplaySize.x, 1920.0f);
    EXPECT_EQ(io.DisplaySize.y, 1080.0f);
}

TEST_F(OverlayStateTest, ABlockedMenuDropsTheUisKeyboardAndMouseInput) {
    ImGuiIO& io = ui.Io();
    io.AddMouseButtonEvent(ImGuiMouseButton_Left, true);
    io.AddKeyEvent(ImGuiKey_A, true);
    ui.Frames(2, {});  // the UI takes queued events of different kinds over several frames
    ASSERT_TRUE(io.MouseDown[0]);
    ASSERT_TRUE(ImGui::IsKeyDown(ImGuiKey_A));
    host::MenuCooldownFrames = 5;
    io.MouseDrawCursor = true;
    host::UpdateOverlayInput(io);
    EXPECT_FALSE(io.MouseDown[0]);
    EXPECT_FALSE(io.KeysData[ImGuiKey_A - ImGuiKey_NamedKey_BEGIN].Down);
    EXPECT_FALSE(io.MouseDrawCursor);
}

TEST_F(OverlayStateTest, SoftwareCursorOnlyWhileTheMenuIsOpenAndFree) {
    host::MenuOpen = 1;
    EXPECT_TRUE(host::SoftwareCursorWanted());
    shell::FolderDialogOpen = 1;
    EXPECT_FALSE(host::SoftwareCursorWanted());
    shell::FolderDialogOpen = 0;
    host::MenuCooldownFrames = 1;
    EXPECT_FALSE(host::SoftwareCursorWanted());
    host::MenuCooldownFrames = 0;
    host::MenuSuspended = 1;
    EXPECT_FALSE(host::SoftwareCursorWanted());
    host::MenuSuspended = 0;
    host::MenuOpen = 0;
    EXPECT_FALSE(host::SoftwareCursorWanted());
}

TEST_F(OverlayStateTest, PresentGatePassesThroughWhileBusyOrLockedElsewhere) {
    host::PresentGate gate = host::EnterPresentGate();
    EXPECT_TRUE(gate.draw);
    EXPECT_TRUE(gate.locked);
    // A second Present while the first one draws (another thread) passes through.
    bool otherDraws = true;
    std::thread([&] { otherDraws = host::EnterPresentGate().draw; }).join();
    EXPECT_FALSE(otherDraws);
    host::LeavePresentGate(gate);

    host::OverlayBusy = 1;
    gate = host::EnterPresentGate();
    EXPECT_FALSE(gate.draw);
    EXPECT_FALSE(gate.locked);
    host::LeavePresentGate(gate);
    EXPECT_TRUE(host::OverlayMutex.try_lock()) << "a busy gate never touches the lock";
    host::OverlayMutex.unlock();
}

TEST_F(OverlayStateTest, ResizeDetourWaitsUnderTheLockResizesOutsideItAndSuspendsAfter) {
    std::vector<std::string> steps;
    host::MenuOpen = 1;
    shell::MainWindowSizeFitted = true;
    const int32_t result = host::RunResizeDetour(
        [&] {
            steps.push_back(std::string("wait busy=") + std::to_string(host::OverlayBusy.load()) +
                            " locked=" + (host::OverlayMutex.try_lock() ? "no" : "yes"));
            if (steps.back().find("locked=no") != std::string::npos) host::OverlayMutex.unlock();
        },
        [&] {
            const bool free = host::OverlayMutex.try_lock();
            if (free) host::OverlayMutex.unlock();
            steps.push_back(std::string("game busy=") + std::to_string(host::OverlayBusy.load()) +
                            " locked=" + (free ? "no" : "yes") + " present=" +
                            (host::EnterPresentGate().draw ? "draws" : "passes"));
            return 0;
        });
    EXPECT_EQ(result, 0);
    const std::vector<std::string> expected = {"wait busy=1 locked=yes", "game busy=1 locked=no present=passes"};
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(host::OverlayBusy.load(), 0);
    EXPECT_EQ(host::MenuOpen.load(), 0);
    EXPECT_EQ(host::MenuSuspended.load(), 1);
    EXPECT_EQ(host::MenuCooldownFrames.load(), host::kMenuCooldownFrames);
    EXPECT_FALSE(shell::MainWindowSizeFitted);
}

TEST_F(OverlayStateTest, ResizeDetourWithoutTheGamesMethodReturnsEFailAndStaysSuspended) {
    const int32_t result = host::RunResizeDetour([] {}, [] { return host::kEFail; });
    EXPECT_EQ(static_cast<uint32_t>(result), 0x80004005u);
    EXPECT_EQ(host::MenuSuspended.load(), 1);
    EXPECT_FALSE(host::CanOpenMenu());
}

TEST(FrameContexts, RebuildWhenMissingOrWhenTheSwapChainIsAnotherOrChanged) {
    int a = 0, b = 0;
    const host::SwapChainShape built{&a, 3, 1920, 1080};
    struct Case {
        const char* what;
        bool rows, rtv;
        host::SwapChainShape now;
        bool rebuild;
    };
    const Case cases[] = {
        {"same swap chain and shape", true, true, {&a, 3, 1920, 1080}, false},
        {"no rows", false, true, {&a, 3, 1920, 1080}, true},
        {"no RTV heap", true, false, {&a, 3, 1920, 1080}, true},
        {"new swap chain of the same size and count", true, true, {&b, 3, 1920, 1080}, true},
        {"buffer count", true, true, {&a, 2, 1920, 1080}, true},
        {"width", true, true, {&a, 3, 1280, 1080}, true},
        {"height", true, true, {&a, 3, 1920, 720}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(host::FrameContextsNeedRebuild(c.rows, c.rtv, built, c.now), c.rebuild) << c.what;
}

TEST(FrameContexts, AllocatorReuseWaitsForItsRowAndForTheRenderersBufferRing) {
    struct Case {
        uint64_t row, last;
        uint32_t ring;
        uint64_t wait;
    };
    const Case cases[] = {
        {0, 0, 3, 0},  // nothing submitted yet
        {2, 3, 3, 2},  // three buffers in turn: the row's own submission decides
        {1, 1, 3, 1},
        {4, 9, 3, 7},  // the renderer reuses the vertex buffers of submission 7 next
        {0, 5, 1, 5},  // a ring of one: everything before must be done
        {3, 3, 0, 3},  // no ring known: the row alone
    };
    for (const Case& c : cases)
        EXPECT_EQ(host::FenceValueBeforeRecording(c.row, c.last, c.ring), c.wait)
            << "row " << c.row << " last " << c.last << " ring " << c.ring;
}

TEST(DescriptorSlots, HandsOutEachSlotOnceAndTakesBackOnlyItsOwn) {
    host::DescriptorSlots slots;
    for (int32_t i = 0; i < static_cast<int32_t>(host::kOverlaySrvDescriptors); ++i)
        EXPECT_EQ(host::AllocateDescriptorSlot(slots), i);
    EXPECT_EQ(host::AllocateDescriptorSlot(slots), -1);
    host::FreeDescriptorSlot(slots, 5);
    host::FreeDescriptorSlot(slots, -1);
    host::FreeDescriptorSlot(slots, 99);
    EXPECT_EQ(host::AllocateDescriptorSlot(slots), 5);
    EXPECT_EQ(host::AllocateDescriptorSlot(slots), -1);
}

TEST(VisualSettingsBindRetry, RetriesAtMostOncePerIntervalWhileAnAddressIsMissing) {
    host::ResetVisualSettingsBindRetry();
    EXPECT_TRUE(host::VisualSettingsBindDue(10'000));
    int due = 0;
    for (uint64_t t = 10'000; t < 16'000; t += 16) due += host::VisualSettingsBindDue(t) ? 1 : 0;
    EXPECT_EQ(due, 2) << "one retry at 12 s and one at 14 s over six seconds of frames";
    EXPECT_TRUE(host::VisualSettingsBindDue(1'000)) << "a clock that went back does not block the retry for ever";
    host::ResetVisualSettingsBindRetry();
}

}  // namespace
