// The overlay render path's decisions: menu suspension and cooldown, the
// Present gate, the resize detour's order, per-buffer rebuilds, fence waits,
// SRV descriptor slots, the retry rates, and where the window's messages go.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "core/editor_state.h"
#include "core/folder_picker.h"
#include "host/overlay_state.h"
#include "host/window_routing.h"
#include "support/imgui_harness.h"
#include "ui/main_window.h"

namespace {

void ResetMenu() {
    host::ResetOverlayState();
    core::Editor.MenuOpen = 0;
    core::Editor.MenuSuspended = 0;
    core::Editor.MenuCooldownFrames = 0;
    core::FolderPicker.FolderDialogOpen = 0;
    ui::MainWindow.MainWindowSizeFitted = false;
}

class OverlayStateTest : public ::testing::Test {
protected:
    void SetUp() override { ResetMenu(); }
    void TearDown() override { ResetMenu(); }
    void DrawnFrame(float w, float h) {  // one drawn frame at that display size
        ui.Io().DisplaySize = ImVec2(w, h);
        host::UpdateOverlayInput(ui.Io());
    }
    testsupport::ImGuiHarness ui;
};

TEST_F(OverlayStateTest, DisplayPixelsRoundAndAnEmptyDisplayLaysOutAt1920By1080) {
    const std::pair<float, uint32_t> cases[] = {
        {1919.5f, 1920}, {1919.4f, 1919}, {0.0f, 0}, {-3.0f, 0}, {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& [extent, pixels] : cases) EXPECT_EQ(host::DisplayPixels(extent), pixels) << extent;
    ui.Io().DisplaySize = ImVec2(0, 0);
    host::DefaultDisplaySizeWhenEmpty(ui.Io());
    EXPECT_TRUE(ui.Io().DisplaySize.x == 1920.0f && ui.Io().DisplaySize.y == 1080.0f);
}

// A change of more than a pixel closes the menu and blocks it for 90 drawn
// frames and until 18 in a row keep the size; jitter of a pixel and
// minimised frames change nothing.
TEST_F(OverlayStateTest, ADisplayChangeBlocksTheMenuForTheCooldownAndUntilTheSizeHolds) {
    DrawnFrame(1920, 1080);
    core::Editor.MenuOpen = 1;
    ui::MainWindow.MainWindowSizeFitted = true;
    for (int i = 0; i < 30; ++i) DrawnFrame(i % 2 ? 1921.0f : 1920.0f, i % 2 ? 1080.0f : 1079.0f);
    DrawnFrame(0, 0);  // minimised: neither a change nor a counted frame
    EXPECT_EQ(core::Editor.MenuOpen.Get(), 1) << "one pixel of jitter is stable";
    EXPECT_EQ(host::Overlay.DisplayStableFrames.Get(), host::kDisplayStableFramesNeeded);
    for (const float width : {1923.0f, 1925.0f}) {  // two pixels from the last frame is a change
        DrawnFrame(width, 1080);
        EXPECT_TRUE(core::Editor.MenuOpen.Get() == 0 && core::Editor.MenuSuspended.Get() == 1);
        EXPECT_EQ(host::Overlay.DisplayStableFrames.Get(), 0);
        EXPECT_FALSE(ui::MainWindow.MainWindowSizeFitted);
        EXPECT_EQ(core::Editor.MenuCooldownFrames.Get(), host::kMenuCooldownFrames - 1) << "the frame of the change counts";
        int frames = 1;
        while (!core::CanOpenMenu() && frames < 500) {
            core::Editor.MenuOpen = 1;  // every blocked frame closes the window again
            DrawnFrame(width, 1080);
            EXPECT_EQ(core::Editor.MenuOpen.Get(), core::CanOpenMenu() ? 1 : 0);
            ++frames;
        }
        EXPECT_EQ(frames, host::kMenuCooldownFrames);
    }
}

TEST_F(OverlayStateTest, ABlockedMenuDropsTheUisKeyboardAndMouseInput) {
    ImGuiIO& io = ui.Io();
    io.AddMouseButtonEvent(ImGuiMouseButton_Left, true);
    io.AddKeyEvent(ImGuiKey_A, true);
    ui.Frames(2, {});  // the UI takes queued events of different kinds over several frames
    ASSERT_TRUE(io.MouseDown[0]);
    ASSERT_TRUE(ImGui::IsKeyDown(ImGuiKey_A));
    core::Editor.MenuCooldownFrames = 5;
    io.MouseDrawCursor = true;
    host::UpdateOverlayInput(io);
    EXPECT_FALSE(io.MouseDown[0]);
    EXPECT_FALSE(io.KeysData[ImGuiKey_A - ImGuiKey_NamedKey_BEGIN].Down);
    EXPECT_FALSE(io.MouseDrawCursor);
}

TEST_F(OverlayStateTest, PresentGatePassesThroughWhileBusyOrLockedElsewhere) {
    host::PresentGate gate = host::EnterPresentGate();
    EXPECT_TRUE(gate.draw && gate.locked);
    bool otherDraws = true;  // a second Present while the first one draws (another thread) passes through
    std::thread([&] { otherDraws = host::EnterPresentGate().draw; }).join();
    EXPECT_FALSE(otherDraws);
    host::LeavePresentGate(gate);

    host::Overlay.OverlayBusy = 1;
    gate = host::EnterPresentGate();
    EXPECT_FALSE(gate.draw || gate.locked);
    host::LeavePresentGate(gate);
    EXPECT_TRUE(host::Overlay.OverlayMutex.try_lock()) << "a busy gate never touches the lock";
    host::Overlay.OverlayMutex.unlock();
}

TEST_F(OverlayStateTest, ResizeDetourWaitsUnderTheLockResizesOutsideItAndSuspendsAfter) {
    std::vector<std::string> steps;
    auto lockState = [] {
        const bool free = host::Overlay.OverlayMutex.try_lock();
        if (free) host::Overlay.OverlayMutex.unlock();
        return std::string(" busy=") + std::to_string(host::Overlay.OverlayBusy.Get()) + (free ? " free" : " locked");
    };
    core::Editor.MenuOpen = 1;
    ui::MainWindow.MainWindowSizeFitted = true;
    auto callGame = [&] {
        steps.push_back("game" + lockState() + " present " + (host::EnterPresentGate().draw ? "draws" : "passes"));
        return host::kEFail;  // the game's result (E_FAIL without its method) is passed on
    };
    EXPECT_EQ(host::RunResizeDetour([&] { steps.push_back("wait" + lockState()); }, callGame), host::kEFail);
    EXPECT_EQ(steps, (std::vector<std::string>{"wait busy=1 locked", "game busy=1 free present passes"}));
    EXPECT_EQ(host::Overlay.OverlayBusy.Get(), 0);
    EXPECT_TRUE(core::Editor.MenuOpen.Get() == 0 && core::Editor.MenuSuspended.Get() == 1);
    EXPECT_EQ(core::Editor.MenuCooldownFrames.Get(), host::kMenuCooldownFrames);
    EXPECT_FALSE(ui::MainWindow.MainWindowSizeFitted);
}

TEST(FrameContexts, ANewSwapChainRebuildsThemAndOnlyANewShapeSuspendsTheMenu) {
    int a = 0, b = 0;
    using R = host::FrameRebuild;
    const host::SwapChainShape built{&a, 3, 1920, 1080, 7};
    const struct {
        const char* what;
        bool rows, rtv;
        host::SwapChainShape now;
        R rebuild;
    } cases[] = {
        {"same swap chain, shape and mark", true, true, {&a, 3, 1920, 1080, 7}, R::None},
        {"no rows", false, true, {&a, 3, 1920, 1080, 7}, R::NewShape},
        {"no RTV heap", true, false, {&a, 3, 1920, 1080, 7}, R::NewShape},
        {"another swap chain of the same size and count", true, true, {&b, 3, 1920, 1080, 0}, R::NewSwapChain},
        {"released and made anew at the same address: no mark", true, true, {&a, 3, 1920, 1080, 0}, R::NewSwapChain},
        {"height", true, true, {&a, 3, 1920, 720, 7}, R::NewShape},
        {"buffer count of a new swap chain", true, true, {&b, 2, 1920, 1080, 0}, R::NewShape},
    };
    for (const auto& c : cases)
        EXPECT_EQ(host::FrameContextsRebuildNeeded(c.rows, c.rtv, built, c.now), c.rebuild) << c.what;
    const host::SwapChainShape unmarked{&a, 3, 1920, 1080, 0};  // a swap chain that keeps no private data
    EXPECT_EQ(host::FrameContextsRebuildNeeded(true, true, unmarked, unmarked), R::None);
}

TEST(FrameContexts, AllocatorReuseWaitsForItsRowAndForTheRenderersBufferRing) {
    const struct {
        uint64_t row, last;
        uint32_t ring;
        uint64_t wait;
    } cases[] = {
        {0, 0, 3, 0},  // nothing submitted yet
        {2, 3, 3, 2},  // three buffers in turn: the row's own submission decides
        {4, 9, 3, 7},  // the renderer reuses the vertex buffers of submission 7 next
        {0, 5, 1, 5},  // a ring of one: everything before must be done
        {3, 3, 0, 3},  // no ring known: the row alone
    };
    for (const auto& c : cases)
        EXPECT_EQ(host::FenceValueBeforeRecording(c.row, c.last, c.ring), c.wait) << c.row << " " << c.last;
}

TEST(DescriptorSlots, HandsOutEachSlotOnceAndTakesBackOnlyItsOwn) {
    host::DescriptorSlots slots;
    for (int32_t i = 0; i < static_cast<int32_t>(host::kOverlaySrvDescriptors); ++i)
        EXPECT_EQ(host::AllocateDescriptorSlot(slots), i);
    EXPECT_EQ(host::AllocateDescriptorSlot(slots), -1);
    for (int32_t slot : {5, -1, 99}) host::FreeDescriptorSlot(slots, slot);
    EXPECT_EQ(host::AllocateDescriptorSlot(slots), 5);
    EXPECT_EQ(host::AllocateDescriptorSlot(slots), -1);
}

// The visualsettings address and a failed overlay set-up are retried at a
// bounded rate, never on every frame; a clock that went back blocks neither.
TEST(Retries, AMissingAddressOnceAnIntervalAFailedSetUpAfterADoublingWaitThatItNames) {
    host::ResetOverlayState();
    EXPECT_TRUE(host::VisualSettingsBindDue(10'000));
    int due = 0;
    for (uint64_t t = 10'000; t < 16'000; t += 16) due += host::VisualSettingsBindDue(t) ? 1 : 0;
    EXPECT_EQ(due, 2) << "one retry at 12 s and one at 14 s over six seconds of frames";
    EXPECT_TRUE(host::VisualSettingsBindDue(1'000));

    EXPECT_EQ(host::OverlayStatus(), "Overlay not set up yet.");
    int attempts = 0;  // a set-up that always fails, over two minutes of frames
    for (uint64_t t = 5'000; t < 125'000; t += 16) {
        if (!host::OverlaySetupDue(t)) continue;
        ++attempts;
        host::OverlaySetupFailed(t, "frame contexts");
    }
    EXPECT_EQ(attempts, 8) << "after 0, 1, 3, 7, 15, 31, 61 and 91 s";
    EXPECT_EQ(host::OverlayStatus(), "Overlay set-up failed at the frame contexts step; next try in 30 s.");
    EXPECT_TRUE(host::OverlaySetupDue(1'000));
    host::OverlaySetupSucceeded();
    EXPECT_EQ(host::OverlayStatus(), "Overlay ready.");
    EXPECT_TRUE(host::OverlaySetupDue(125'000));
    host::OverlaySetupFailed(125'000, "Direct3D 12 back end");
    EXPECT_EQ(host::OverlayStatus(), "Overlay set-up failed at the Direct3D 12 back end step; next try in 1 s.");
    EXPECT_FALSE(host::OverlaySetupDue(125'999));
    host::ResetOverlayState();
}

TEST(WindowRouting, RoutesAndClosesAsTheMenuStateSays) {
    using host::MessageRoute;
    enum Menu { Closed, Open, Suspended, CoolingDown, DialogOpen };
    constexpr uint32_t kKeyDown = host::kWmKeyDown, kUnichar = 0x0109, kMouseMove = 0x0200, kMouseHWheel = 0x020E,
                       kSetCursor = 0x0020, kInput = host::kWmInput;
    constexpr uint64_t kEsc = host::kVkEscape;
    const struct {
        const char* what;
        Menu menu;
        uint32_t message;
        uint64_t wParam;
        MessageRoute route;
        uint8_t openAfter;
    } cases[] = {
        {"closed: mouse", Closed, kMouseMove, 0, MessageRoute::ToGame, 0},
        {"closed: Escape key-down is swallowed", Closed, kKeyDown, kEsc, MessageRoute::Swallow, 0},
        {"open: Escape key-down closes", Open, kKeyDown, kEsc, MessageRoute::Swallow, 0},
        {"open: WM_UNICHAR, the last keyboard message", Open, kUnichar, 'a', MessageRoute::UiThenSwallow, 1},
        {"open: WM_MOUSEHWHEEL, the last mouse message", Open, kMouseHWheel, 0, MessageRoute::UiThenSwallow, 1},
        {"open: raw input kept from the game, still cleaned up", Open, kInput, 0,
         MessageRoute::UiThenDefaultCleanup, 1},
        {"open: WM_SETCURSOR (below the mouse range)", Open, kSetCursor, 0, MessageRoute::UiThenGame, 1},
        {"dialog open: Escape, menu untouched", DialogOpen, kKeyDown, kEsc, MessageRoute::ToGame, 1},
        {"suspended: every message closes the menu", Suspended, kMouseMove, 0, MessageRoute::ToGame, 0},
        {"cooling down: Escape", CoolingDown, kKeyDown, kEsc, MessageRoute::ToGame, 0},
    };
    for (const auto& c : cases) {
        core::Editor.MenuOpen = c.menu == Closed ? 0 : 1;
        core::Editor.MenuSuspended = c.menu == Suspended ? 1 : 0;
        core::Editor.MenuCooldownFrames = c.menu == CoolingDown ? 40 : 0;
        core::FolderPicker.FolderDialogOpen = c.menu == DialogOpen ? 1 : 0;
        EXPECT_EQ(host::RouteWindowMessage(c.message, c.wParam), c.route) << c.what;
        EXPECT_EQ(core::Editor.MenuOpen.Get(), c.openAfter) << c.what;
    }
    ResetMenu();
}

}  // namespace
