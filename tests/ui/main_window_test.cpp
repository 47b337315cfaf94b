// The main window, the FPS overlay and the revert button, drawn headless.
#include <gtest/gtest.h>

#include <imgui_internal.h>

#include <string>

#include "host/host_fixture.h"
#include "support/imgui_harness.h"
#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/theme.h"

namespace {

class MainWindowTest : public hosttest::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        ui::ResetFpsCounters();
        ui::ForgetUiFonts();
        ui::MainWindowDisplayWidth = ui::MainWindowDisplayHeight = 0.0f;
        core::WindowSizeFromIni = false;
        platform::sim::UseManualClock(true);
        platform::sim::AdvanceClock(100'000);
        ui.CaptureText(true);
    }
    void TearDown() override {
        platform::sim::UseManualClock(false);
        ui::ResetFpsCounters();
        ui::ForgetUiFonts();
        HostTest::TearDown();
    }
    void Draw(ImVec2 display = ImVec2(1920, 1080)) {
        ui.Io().DisplaySize = display;
        ui.Frame(ui::DrawMainWindow);
    }
    static ImGuiWindow* Window(const char* name) { return ImGui::FindWindowByName(name); }
    static bool Drawn(const char* name) { return Window(name) != nullptr && Window(name)->Active; }
    static bool OpenPlace() { return Window("Varnel")->Pos.x == 70.0f && Window("Varnel")->Pos.y == 30.0f; }
    bool Shows(const char* text) const { return ui.Text().find(text) != std::string::npos; }
    testsupport::ImGuiHarness ui;
};

TEST_F(MainWindowTest, OpensAtTheDefaultSizeAt70By30AndFollowsTheDisplayWhileClosed) {
    Draw(ImVec2(1600, 900));
    EXPECT_FALSE(Drawn("Varnel"));
    EXPECT_FALSE(ui::MainWindowShown);
    EXPECT_EQ(ui::MainWindowDisplayWidth, 1600.0f);
    EXPECT_EQ(ui::MainWindowDisplayHeight, 900.0f);

    core::MenuOpen = 1;
    Draw();
    ASSERT_TRUE(Drawn("Varnel"));
    const core::MainWindowSize def = core::DefaultMainWindowSize(1920, 1080);
    EXPECT_EQ(core::UiSettings.MenuWidth.Get(), def.width);
    EXPECT_EQ(core::UiSettings.MenuHeight.Get(), def.height);
    EXPECT_TRUE(ui::MainWindowSizeFitted);
    EXPECT_TRUE(ui::MainWindowShown);
    EXPECT_TRUE(OpenPlace()) << Window("Varnel")->Pos.x << "," << Window("Varnel")->Pos.y;
    EXPECT_NEAR(Window("Varnel")->Size.x, def.width, 1.0f);
    EXPECT_NEAR(Window("Varnel")->Size.y, def.height, 1.0f);
    EXPECT_TRUE(Shows("V.R.N.")) << ui.Text();
    EXPECT_TRUE(Shows("for GTA 5 Enhanced"));
}

TEST_F(MainWindowTest, TheCloseButtonClosesTheMenu) {
    core::MenuOpen = 1;
    Draw();
    const ImGuiID close = Window("Varnel")->GetID("#CLOSE");
    const testsupport::ImGuiItem* button = nullptr;
    for (const testsupport::ImGuiItem& item : ui.Items())
        if (item.id == close) button = &item;
    ASSERT_NE(button, nullptr);
    ui.Click(button->Center(), ui::DrawMainWindow);
    EXPECT_EQ(core::MenuOpen.load(), 0);
    Draw();
    EXPECT_FALSE(ui::MainWindowShown);
    EXPECT_FALSE(Drawn("Varnel"));
}

TEST_F(MainWindowTest, SizesAreHeldToTheDisplayAndWrittenBack) {
    core::WindowSizeFromIni = true;
    core::UiSettings.MenuWidth = 1300.0f;
    core::UiSettings.MenuHeight = 900.0f;
    core::MenuOpen = 1;
    Draw();
    EXPECT_EQ(core::UiSettings.MenuWidth.Get(), 1200.0f);
    EXPECT_EQ(core::UiSettings.MenuHeight.Get(), 900.0f);

    const core::MainWindowSize small = ui::ClampMainWindowSize({100, 100}, ui::MainWindowLimitsFor(900, 700));
    EXPECT_EQ(small.width, 540.0f);
    EXPECT_EQ(small.height, 520.0f);
    const ui::MainWindowPos pos = ui::MainWindowOpenPosition(900, 700, {880, 680});
    EXPECT_EQ(pos.x, 20.0f);
    EXPECT_EQ(pos.y, 20.0f);
}

TEST_F(MainWindowTest, OnlyADisplayChangeOfMoreThanOnePixelMovesTheWindowBack) {
    core::MenuOpen = 1;
    Draw();
    ImGui::SetWindowPos("Varnel", ImVec2(300, 200));  // the user moved it
    Draw();
    Draw(ImVec2(1921, 1079));
    EXPECT_EQ(Window("Varnel")->Pos.x, 300.0f);
    Draw(ImVec2(1923, 1079));
    EXPECT_TRUE(OpenPlace()) << Window("Varnel")->Pos.x << "," << Window("Varnel")->Pos.y;
}

TEST_F(MainWindowTest, FpsOverlayShowsWhenAskedAndRefreshesAtMostEvery500Ms) {
    core::UiSettings.FPSCounter = true;
    core::UiSettings.ShowFPSWhenClosed = false;
    Draw();
    EXPECT_FALSE(Drawn("##vrn_fps_overlay")) << "closed menu and ShowFPSWhenClosed off";
    core::UiSettings.ShowFPSWhenClosed = true;
    ui.Io().DeltaTime = 0.01f;
    Draw();
    ASSERT_TRUE(Drawn("##vrn_fps_overlay"));
    EXPECT_EQ(Window("##vrn_fps_overlay")->Pos.x, 14.0f);
    EXPECT_TRUE(Shows("FPS 100") && Shows("Avg 100 FPS")) << ui.Text();
    ui.Io().DeltaTime = 0.02f;
    platform::sim::AdvanceClock(499);
    Draw();
    EXPECT_TRUE(Shows("FPS 100")) << "kept for 500 ms: " << ui.Text();
    platform::sim::AdvanceClock(1);
    Draw();
    EXPECT_TRUE(Shows("FPS 50") && Shows("Avg 97 FPS")) << "smoothed: " << ui.Text();
    ui::ResetFpsCounters();
    ui.Io().DeltaTime = 0.025f;
    Draw();
    EXPECT_TRUE(Shows("FPS 40") && Shows("Avg 40 FPS")) << "a reset restarts the average: " << ui.Text();
}

TEST_F(MainWindowTest, AFontOfAnEarlierUiContextIsNeverUsed) {
    ImFontAtlas other;
    ui::HeaderFont = other.AddFontDefault();
    core::MenuOpen = 1;
    Draw();
    EXPECT_EQ(ui::CurrentHeaderFont(), nullptr);
    EXPECT_TRUE(Drawn("Varnel"));
    EXPECT_EQ(ui.AssertionCount(), 0);
    ui::HeaderFont = nullptr;
}

TEST(Theme, RevertButtonReportsAClickOnlyWhileOnAndLeavesTheColourStackAlone) {
    testsupport::ImGuiHarness ui;
    bool on = true;
    int clicks = 0, stackDepthAfter = -1;
    auto draw = [&] {
        ImGui::Begin("Rows");
        const int depth = ImGui::GetCurrentContext()->ColorStack.Size;
        if (ui::PushToggleButtonColors(on)) ++clicks;
        stackDepthAfter = ImGui::GetCurrentContext()->ColorStack.Size - depth;
        ImGui::End();
    };
    for (const bool state : {true, false}) {
        on = state;
        ui.Frame(draw);
        EXPECT_EQ(stackDepthAfter, 0);
        ASSERT_TRUE(ui.ClickItem("R", draw));
        EXPECT_EQ(clicks, 1) << "a click while off does nothing";
    }
}

}  // namespace
