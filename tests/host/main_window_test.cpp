// The main window and the FPS overlay, drawn headless.
#include <gtest/gtest.h>

#include <imgui_internal.h>

#include <string>
#include <vector>

#include "host_fixture.h"
#include "shell/fonts.h"
#include "shell/main_window.h"
#include "shell/theme.h"
#include "support/imgui_harness.h"

namespace {

class MainWindowTest : public hosttest::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        shell::ResetFpsCounters();
        shell::ForgetUiFonts();
        shell::MainWindowDisplayWidth = 0.0f;
        shell::MainWindowDisplayHeight = 0.0f;
        shell::WindowSizeFromIni = false;
        platform::sim::UseManualClock(true);
        platform::sim::AdvanceClock(100'000);
    }
    void TearDown() override {
        platform::sim::UseManualClock(false);
        shell::ResetFpsCounters();
        shell::ForgetUiFonts();
        HostTest::TearDown();
    }
    void Draw(ImVec2 display = ImVec2(1920, 1080)) {
        ui.Io().DisplaySize = display;
        ui.Frame(shell::DrawMainWindow);
    }
    static ImGuiWindow* Window(const char* name) { return ImGui::FindWindowByName(name); }
    static bool Drawn(const char* name) {
        ImGuiWindow* w = ImGui::FindWindowByName(name);
        return w != nullptr && w->Active;  // drawn in the last frame
    }
    testsupport::ImGuiHarness ui;
};

TEST_F(MainWindowTest, ClosedDrawsNothingButFollowsTheDisplay) {
    Draw(ImVec2(1600, 900));
    EXPECT_FALSE(Drawn("Varnel"));
    EXPECT_FALSE(shell::MainWindowShown);
    EXPECT_EQ(shell::MainWindowDisplayWidth, 1600.0f);
    EXPECT_EQ(shell::MainWindowDisplayHeight, 900.0f);
}

TEST_F(MainWindowTest, OpeningWithoutAStoredSizeTakesTheDefaultAndPlacesItAt70By30) {
    host::MenuOpen = 1;
    ui.CaptureText(true);
    Draw();
    ASSERT_TRUE(Drawn("Varnel"));
    const shell::MainWindowSize def = shell::DefaultMainWindowSize(1920, 1080);
    EXPECT_EQ(shell::UiSettings.MenuWidth.Get(), def.width);
    EXPECT_EQ(shell::UiSettings.MenuHeight.Get(), def.height);
    EXPECT_TRUE(shell::MainWindowSizeFitted);
    EXPECT_TRUE(shell::MainWindowShown);
    ImGuiWindow* w = Window("Varnel");
    EXPECT_EQ(w->Pos.x, 70.0f);
    EXPECT_EQ(w->Pos.y, 30.0f);
    EXPECT_NEAR(w->Size.x, def.width, 1.0f);
    EXPECT_NEAR(w->Size.y, def.height, 1.0f);
    EXPECT_NE(ui.Text().find("V.R.N."), std::string::npos) << ui.Text();
    EXPECT_NE(ui.Text().find("for GTA 5 Enhanced"), std::string::npos);
}

TEST_F(MainWindowTest, HasTheSixTabsInOrderAndTheSettingsTabCanBeSelected) {
    host::MenuOpen = 1;
    Draw();
    Draw();
    const char* names[] = {"Timecycles", "Timecycle Mods", "Visualsettings", "Weather", "Misc", "Settings"};
    float lastX = -1.0f;
    for (const char* name : names) {
        const testsupport::ImGuiItem* tab = ui.FindItem(name);
        ASSERT_NE(tab, nullptr) << name;
        EXPECT_GT(tab->min.x, lastX) << name << " comes after the one before";
        lastX = tab->min.x;
    }
    ImGuiTabBar* bar = nullptr;
    auto selectedTab = [&]() -> ImGuiID {
        ImGuiWindow* w = Window("Varnel");
        bar = ImGui::GetCurrentContext()->TabBars.GetByKey(w->GetID("MainTabs"));
        return bar != nullptr ? bar->SelectedTabId : 0;
    };
    EXPECT_EQ(selectedTab(), ui.FindItem("Timecycles")->id) << "the first tab is selected at first";
    ASSERT_TRUE(ui.ClickItem("Settings", shell::DrawMainWindow));
    EXPECT_EQ(selectedTab(), ui.FindItem("Settings")->id);
}

TEST_F(MainWindowTest, TheCloseButtonClosesTheMenu) {
    host::MenuOpen = 1;
    Draw();
    ImGuiWindow* w = Window("Varnel");
    const ImGuiID close = w->GetID("#CLOSE");
    const testsupport::ImGuiItem* button = nullptr;
    for (const testsupport::ImGuiItem& item : ui.Items())
        if (item.id == close) button = &item;
    ASSERT_NE(button, nullptr);
    ui.Click(button->Center(), shell::DrawMainWindow);
    EXPECT_EQ(host::MenuOpen.load(), 0);
    Draw();
    EXPECT_FALSE(shell::MainWindowShown);
    EXPECT_FALSE(Drawn("Varnel"));
}

TEST_F(MainWindowTest, AStoredSizeIsClampedToTheDisplayAndWrittenBack) {
    shell::WindowSizeFromIni = true;
    shell::UiSettings.MenuWidth = 1300.0f;
    shell::UiSettings.MenuHeight = 900.0f;
    host::MenuOpen = 1;
    Draw();
    EXPECT_EQ(shell::UiSettings.MenuWidth.Get(), 1200.0f);
    EXPECT_EQ(shell::UiSettings.MenuHeight.Get(), 900.0f);

    const shell::MainWindowLimits narrow = shell::MainWindowLimitsFor(900, 700);
    EXPECT_EQ(narrow.maxWidth, 880.0f);
    EXPECT_EQ(narrow.minWidth, 540.0f);
    EXPECT_EQ(narrow.maxHeight, 680.0f);
    EXPECT_EQ(narrow.minHeight, 520.0f);
    const shell::MainWindowLimits tiny = shell::MainWindowLimitsFor(250, 200);
    EXPECT_EQ(tiny.maxWidth, 240.0f);
    EXPECT_EQ(tiny.minWidth, 240.0f);
    EXPECT_EQ(tiny.maxHeight, 320.0f);
    EXPECT_EQ(tiny.minHeight, 320.0f);
    const shell::MainWindowSize small = shell::ClampMainWindowSize({100, 100}, narrow);
    EXPECT_EQ(small.width, 540.0f);
    EXPECT_EQ(small.height, 520.0f);
    const shell::MainWindowPos pos = shell::MainWindowOpenPosition(900, 700, {880, 680});
    EXPECT_EQ(pos.x, 20.0f);
    EXPECT_EQ(pos.y, 20.0f);
}

TEST_F(MainWindowTest, OnlyADisplayChangeOfMoreThanOnePixelMovesTheWindowBack) {
    host::MenuOpen = 1;
    Draw();
    ImGui::SetWindowPos("Varnel", ImVec2(300, 200));  // the user moved it
    Draw();
    Draw(ImVec2(1921, 1079));
    EXPECT_EQ(Window("Varnel")->Pos.x, 300.0f);
    Draw(ImVec2(1923, 1079));
    EXPECT_EQ(Window("Varnel")->Pos.x, 70.0f);
    EXPECT_EQ(Window("Varnel")->Pos.y, 30.0f);
}

TEST_F(MainWindowTest, ScaleAndOpacityFollowTheSettingsEveryFrame) {
    shell::ApplyUiStyleMetrics();
    shell::ApplyUiStyleColours();
    shell::UiSettings.UIScale = 1.5f;
    shell::UiSettings.UIOpacity = 0.4f;
    Draw();
    const ImGuiStyle& style = ImGui::GetStyle();
    EXPECT_EQ(style.FontScaleMain, 1.5f);
    EXPECT_EQ(style.Colors[ImGuiCol_WindowBg].w, 0.4f);
    EXPECT_EQ(style.Colors[ImGuiCol_ChildBg].w, 0.4f);
    EXPECT_EQ(style.Colors[ImGuiCol_FrameBg].w, 0.4f);
    EXPECT_EQ(style.Colors[ImGuiCol_PopupBg].w, 0.98f);
}

TEST_F(MainWindowTest, FpsOverlayShowsWhenAskedAndRefreshesAtMostEvery500Ms) {
    shell::UiSettings.FPSCounter = true;
    shell::UiSettings.ShowFPSWhenClosed = false;
    ui.CaptureText(true);
    Draw();
    EXPECT_FALSE(Drawn("##vrn_fps_overlay")) << "closed menu and ShowFPSWhenClosed off";
    shell::UiSettings.ShowFPSWhenClosed = true;
    ui.Io().DeltaTime = 0.01f;
    Draw();
    ASSERT_TRUE(Drawn("##vrn_fps_overlay"));
    EXPECT_EQ(Window("##vrn_fps_overlay")->Pos.x, 14.0f);
    EXPECT_NE(ui.Text().find("FPS 100"), std::string::npos) << ui.Text();
    EXPECT_NE(ui.Text().find("Avg 100 FPS"), std::string::npos) << ui.Text();

    ui.Io().DeltaTime = 0.02f;
    platform::sim::AdvanceClock(499);
    Draw();
    EXPECT_NE(ui.Text().find("FPS 100"), std::string::npos) << "kept for 500 ms: " << ui.Text();
    platform::sim::AdvanceClock(1);
    Draw();
    EXPECT_NE(ui.Text().find("FPS 50"), std::string::npos) << ui.Text();
    EXPECT_NE(ui.Text().find("Avg 97 FPS"), std::string::npos) << "smoothed: " << ui.Text();

    shell::ResetFpsCounters();
    ui.Io().DeltaTime = 0.025f;
    Draw();
    EXPECT_NE(ui.Text().find("FPS 40"), std::string::npos) << ui.Text();
    EXPECT_NE(ui.Text().find("Avg 40 FPS"), std::string::npos) << "a reset restarts the average: " << ui.Text();
}

TEST_F(MainWindowTest, TheHeaderUsesTheLargeFontWhenOneWasLoaded) {
    shell::LoadUiFontsFromWindowsFolder(ui.Io(), "");
    host::MenuOpen = 1;
    Draw();
    EXPECT_EQ(shell::HeaderFont, shell::MainFont);
    EXPECT_EQ(ui.AssertionCount(), 0);
}

TEST_F(MainWindowTest, AFontOfAnEarlierUiContextIsNeverUsed) {
    ImFontAtlas other;
    shell::HeaderFont = other.AddFontDefault();
    host::MenuOpen = 1;
    Draw();
    EXPECT_EQ(shell::CurrentHeaderFont(), nullptr);
    EXPECT_TRUE(Drawn("Varnel"));
    shell::HeaderFont = nullptr;
}

TEST(FpsSmoothing, FirstSampleStartsTheAverageLaterOnesBlendIn) {
    EXPECT_EQ(shell::SmoothedFrameTimeMs(0.0f, 16.0f), 16.0f);
    EXPECT_FLOAT_EQ(shell::SmoothedFrameTimeMs(10.0f, 20.0f), 10.15f);
}

}  // namespace
