// The main window, the FPS overlay and the revert button, drawn headless;
// the overlay's fonts from the Windows fonts folder on the fake drive, with
// the built-in font as fall-back and never an assertion of the UI library.
#include <gtest/gtest.h>

#include <imgui_internal.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "core/editor_state.h"
#include "core/settings.h"
#include "platform/simulated.h"
#include "support/fake_drive.h"
#include "support/imgui_harness.h"
#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/theme.h"

namespace {

class MainWindowTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        Reset();
        platform::sim::UseManualClock(true);
        platform::sim::AdvanceClock(100'000);
        ui.CaptureText(true);
    }
    void TearDown() override {
        platform::sim::UseManualClock(false);
        Reset();
        FakeDriveTest::TearDown();
    }
    static void Reset() {
        core::ResetSettingsState();
        ui::ResetFpsCounters();
        ui::ResetFontsState();
        core::Editor.MenuOpen = 0;
        ui::MainWindow.MainWindowShown = false;
        ui::MainWindow.MainWindowSizeFitted = false;
        core::UiSettings.WindowSizeFromIni = false;
        ui::MainWindow.MainWindowDisplayWidth = ui::MainWindow.MainWindowDisplayHeight = 0.0f;
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

// The size it opens at is the settings' to test (WindowStartTest).
TEST_F(MainWindowTest, OpensAt70By30AndOnlyADisplayChangeOfMoreThanOnePixelMovesItBack) {
    Draw(ImVec2(1600, 900));
    EXPECT_FALSE(Drawn("Varnel"));
    EXPECT_FALSE(ui::MainWindow.MainWindowShown);
    EXPECT_EQ(ui::MainWindow.MainWindowDisplayWidth, 1600.0f) << "the display is followed while closed";
    EXPECT_EQ(ui::MainWindow.MainWindowDisplayHeight, 900.0f);

    core::Editor.MenuOpen = 1;
    Draw();
    ASSERT_TRUE(Drawn("Varnel"));
    EXPECT_TRUE(ui::MainWindow.MainWindowSizeFitted);
    EXPECT_TRUE(ui::MainWindow.MainWindowShown);
    EXPECT_TRUE(OpenPlace()) << Window("Varnel")->Pos.x << "," << Window("Varnel")->Pos.y;
    EXPECT_TRUE(Shows("V.R.N.")) << ui.Text();
    EXPECT_TRUE(Shows("for GTA 5 Enhanced"));
    ImGui::SetWindowPos("Varnel", ImVec2(300, 200));  // the user moved it
    Draw();
    Draw(ImVec2(1921, 1079));
    EXPECT_EQ(Window("Varnel")->Pos.x, 300.0f);
    Draw(ImVec2(1923, 1079));
    EXPECT_TRUE(OpenPlace()) << Window("Varnel")->Pos.x << "," << Window("Varnel")->Pos.y;
}

TEST_F(MainWindowTest, TheCloseButtonClosesTheMenu) {
    core::Editor.MenuOpen = 1;
    Draw();
    const ImGuiID close = Window("Varnel")->GetID("#CLOSE");
    const testsupport::ImGuiItem* button = nullptr;
    for (const testsupport::ImGuiItem& item : ui.Items())
        if (item.id == close) button = &item;
    ASSERT_NE(button, nullptr);
    ui.Click(button->Center(), ui::DrawMainWindow);
    EXPECT_EQ(core::Editor.MenuOpen.Get(), 0);
    Draw();
    EXPECT_FALSE(ui::MainWindow.MainWindowShown);
    EXPECT_FALSE(Drawn("Varnel"));
}

TEST_F(MainWindowTest, SizesAreHeldToTheDisplayAndWrittenBack) {
    core::UiSettings.WindowSizeFromIni = true;
    core::UiSettings.MenuWidth = 1300.0f;
    core::UiSettings.MenuHeight = 900.0f;
    core::Editor.MenuOpen = 1;
    Draw();
    EXPECT_EQ(core::UiSettings.MenuWidth.Get(), 1200.0f);
    EXPECT_EQ(core::UiSettings.MenuHeight.Get(), 900.0f);

    const core::MainWindowSize small = ui::ClampMainWindowSize({100, 100}, ui::MainWindowLimitsFor(900, 700));
    EXPECT_TRUE(small.width == 540.0f && small.height == 520.0f) << small.width << "x" << small.height;
    const ui::MainWindowPos pos = ui::MainWindowOpenPosition(900, 700, {880, 680});
    EXPECT_TRUE(pos.x == 20.0f && pos.y == 20.0f) << pos.x << "," << pos.y;
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
    ui::Fonts.HeaderFont = other.AddFontDefault();
    core::Editor.MenuOpen = 1;
    Draw();
    EXPECT_EQ(ui::CurrentHeaderFont(), nullptr);
    EXPECT_TRUE(Drawn("Varnel"));
    EXPECT_EQ(ui.AssertionCount(), 0);
    ui::Fonts.HeaderFont = nullptr;
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

// ---- Fonts ----------------------------------------------------------------

// A real TrueType font of this machine stands in for the system's UI font.
constexpr const char* kSystemFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kFonts = "C:\\Windows\\Fonts\\";

class FontsTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        std::ifstream in(kSystemFont, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        font = s.str();
    }
    void TearDown() override {
        ui::ResetFontsState();
        FakeDriveTest::TearDown();
    }
    bool HaveFont() const { return font.size() > 1000; }
    // Loads the fonts into a fresh UI and draws one frame with both.
    static void LoadAndDraw(testsupport::ImGuiHarness& ui) {
        ui::LoadUiFonts(ui.Io());
        ui.Frame([] {
            ImGui::Begin("Fonts");
            ImGui::Text("Main");
            ImGui::PushFont(ui::Fonts.HeaderFont, ui::Fonts.HeaderFont->LegacySize);
            ImGui::Text("Header");
            ImGui::PopFont();
            ImGui::End();
        });
    }
    std::string font;
};

TEST_F(FontsTest, SegoeUiOrElseTrebuchetGivesBothFontsAsSeparateAtlasEntries) {
    if (!HaveFont()) GTEST_SKIP() << "no TrueType font at " << kSystemFont;
    for (const char* file : {"trebuc.ttf", "segoeui.ttf"}) {
        PutFile(std::string(kFonts) + file, font);
        EXPECT_EQ(ui::UiFontPath("C:\\Windows"), std::string(kFonts) + file);
        testsupport::ImGuiHarness ui(ImVec2(1920, 1080), false);
        LoadAndDraw(ui);
        ASSERT_NE(ui::Fonts.MainFont, nullptr);
        EXPECT_NE(ui::Fonts.MainFont, ui::Fonts.HeaderFont);
        EXPECT_EQ(ui.Io().Fonts->Fonts.Size, 2);
        EXPECT_EQ(ui.Io().FontDefault, ui::Fonts.MainFont);
        EXPECT_EQ(ui.AssertionCount(), 0);
        ui::ResetFontsState();
    }
    EXPECT_EQ(ui::UiFontPath("C:\\Windows\\"), std::string(kFonts) + "segoeui.ttf") << "no second separator";
    EXPECT_EQ(ui::UiFontPath("C:\\Windows/"), "C:\\Windows/Fonts\\segoeui.ttf");
    EXPECT_EQ(ui::UiFontPath(""), "");
}

TEST_F(FontsTest, WithoutAUsableFontFileTheBuiltInFontServesBothSizes) {
    const std::string truncated = font.substr(0, font.size() / 3);
    const struct {
        const char* what;
        std::optional<std::string> windowsFolder;
        const char* file;  // placed in the fonts folder, or null
        std::string content;
    } cases[] = {
        {"no font file at all", std::string("C:\\Windows"), nullptr, ""},
        {"Windows folder unknown", std::nullopt, nullptr, ""},
        {"segoeui.ttf is a folder", std::string("C:\\Windows"), "segoeui.ttf\\inside", "x"},
        {"segoeui.ttf is text", std::string("C:\\Windows"), "segoeui.ttf", std::string(5000, 'a')},
        {"segoeui.ttf is empty", std::string("C:\\Windows"), "segoeui.ttf", ""},
        {"segoeui.ttf is cut short", std::string("C:\\Windows"), "segoeui.ttf", truncated},
        {"trebuc.ttf is cut short", std::string("C:\\Windows"), "trebuc.ttf", truncated},
    };
    for (const auto& c : cases) {
        platform::sim::SetWindowsFolder(c.windowsFolder);
        if (c.file != nullptr) PutFile(std::string(kFonts) + c.file, c.content);
        {
            testsupport::ImGuiHarness ui(ImVec2(1920, 1080), false);
            LoadAndDraw(ui);
            ASSERT_NE(ui::Fonts.MainFont, nullptr) << c.what;
            EXPECT_EQ(ui::Fonts.HeaderFont, ui::Fonts.MainFont) << c.what << ": the header shows at the normal size";
            EXPECT_EQ(ui.Io().Fonts->Fonts.Size, 1) << c.what;
            EXPECT_EQ(ui.AssertionCount(), 0) << c.what;
        }
        std::filesystem::remove_all(Host("C:\\Windows"));
    }
}

TEST_F(FontsTest, FontCheckRefusesDataTheRasteriserWouldTripOver) {
    if (!HaveFont()) GTEST_SKIP() << "no TrueType font at " << kSystemFont;
    EXPECT_TRUE(ui::LooksLikeUsableFont(font));
    auto with = [&](size_t at, const std::string& bytes, size_t keep = std::string::npos) {
        std::string changed = font;
        return changed.replace(at, bytes.size(), bytes).substr(0, keep);
    };
    const struct {
        const char* what;
        std::string data;
    } cases[] = {
        {"the first 100 bytes", font.substr(0, 100)},
        {"last table cut (beyond its padding)", font.substr(0, font.size() - 4)},
        {"no character map", with(font.find("cmap"), "x")},
        {"no tables", with(4, std::string(2, '\0'))},
        {"directory longer than the file", with(4, "\xFF\xFF", 2000)},
        {"zeros", std::string(200, '\0')},
    };
    for (const auto& c : cases) EXPECT_FALSE(ui::LooksLikeUsableFont(c.data)) << c.what;
}

}  // namespace
