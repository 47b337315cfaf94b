// The Settings tab, clicked through a headless UI on the fake drive, and the
// folder dialog it opens.
#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "core/core_fixture.h"
#include "core/editor_state.h"
#include "core/file_utils.h"
#include "core/folder_picker.h"
#include "core/game_control_settings.h"
#include "core/settings.h"
#include "core/workspace.h"
#include "game/before_after.h"
#include "game/clock_timelapse.h"
#include "platform/simulated.h"
#include "support/imgui_harness.h"
#include "support/thread_waits.h"
#include "ui/main_window.h"
#include "ui/settings_tab.h"

namespace {

using namespace core;
using namespace ui;
namespace sim = platform::sim;

// The dialog thread has handed its result back and closed.
bool DialogEnded() { return FolderPicker.FolderDialogReady.Get() == 1 && FolderPicker.FolderDialogOpen.Get() == 0; }

// Waits (a few seconds at most) until the condition holds.
bool WaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + testsupport::Scaled(std::chrono::seconds(10));
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

constexpr ImVec2 kDisplay(1920.0f, 3000.0f);

void Draw() {
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(900.0f, 2900.0f), ImGuiCond_Once);
    ImGui::Begin("Varnel");
    DrawSettingsPanel();
    ImGui::End();
}

class SettingsTabTest : public coretest::CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        game::ResetClockState();
        ResetSettingsTab();
        LoadSettings();
        // The window size the reset would choose, so nothing differs yet.
        const MainWindowSize size = DefaultMainWindowSize(kDisplay.x, kDisplay.y);
        UiSettings.MenuWidth = size.width;
        UiSettings.MenuHeight = size.height;
        ui.CaptureText(true);
        ui.Frame(Draw);
        shownBefore_ = sim::FolderDialogsShown();
    }
    void TearDown() override {
        sim::HoldFolderDialogs(false);
        EXPECT_TRUE(WaitFor([] { return FolderPicker.FolderDialogOpen.Get() == 0; }));
        FolderPicker.FolderDialogReady.Set(0);
        sim::FailNextThreadStarts(0);
        sim::FailDialogApartment(false);
        game::ResetClockState();
        CoreTest::TearDown();
    }
    int Shown() const { return sim::FolderDialogsShown() - shownBefore_; }
    // Opens a dialog as the Settings tab does, answered with answer.
    void Browse(int kind, std::optional<std::string> answer) {
        sim::QueueFolderDialogAnswer(std::move(answer));
        ASSERT_TRUE(SelectFolderDialog(kind, "Select VRN import folder", DefaultImportsFolder()));
        UiSettings.SettingsStatusLine = "Import folder dialog opened.";
        ASSERT_TRUE(WaitFor(DialogEnded));
    }
    void Open(const char* header) { ASSERT_TRUE(ui.ClickItem(header, Draw)) << header; }
    void Click(const char* label) { ASSERT_TRUE(ui.ClickItem(label, Draw)) << label; }
    // Combos record no label: they are found by the id of their hidden label
    // inside the tab's child region.
    void OpenCombo(const char* id) {
        ImGuiWindow* panel = nullptr;
        for (const testsupport::ImGuiItem& item : ui.Items())
            if (item.label.rfind("Varnel/##settings_skeleton_panel", 0) == 0)
                panel = ImGui::FindWindowByName(item.label.c_str());
        ASSERT_TRUE(panel);
        const ImGuiID wanted = panel->GetID(id);
        for (const testsupport::ImGuiItem& item : ui.Items()) {
            if (item.id != wanted) continue;
            ui.Click(item.Center(), Draw);
            ui.Frame(Draw);  // the popup takes its place on its second frame
            return;
        }
        FAIL() << "no combo " << id;
    }
    std::string Ini() { return GetFile(coretest::CoreTest::InVrn("VRN.ini")); }

    testsupport::ImGuiHarness ui{kDisplay};
    int shownBefore_ = 0;
};

// Each checkbox changes its setting; the timelapse's also lets the clock
// run when switched off, and the tab shows its clock meanwhile.
TEST_F(SettingsTabTest, GameControlCheckboxesChangeTheirSettings) {
    Open("Game Controls##settings_game_controls_v2");
    struct Case {
        const char* label;
        SharedValue<bool>& value;
        bool after;
    } cases[] = {
        {"Disable HUD", GameControlFlags.GameHudVisible, false},
        {"Disable Idle Camera", GameControlFlags.DisableIdleCamera, true},
        {"Disable Pedestrians", GameControlFlags.DisablePedestrians, true},
        {"Disable Vehicles", GameControlFlags.DisableVehicles, true},
        {"Blackout Mode", GameControlFlags.BlackoutMode, true},
        {"Enable Free Cam", GameControlFlags.FreeCamEnabled, true},
        {"Timelapse", GameControlFlags.TimelapseEnabled, true},
    };
    for (const Case& c : cases) {
        Click(c.label);
        EXPECT_EQ(c.value.Get(), c.after) << c.label;
    }
    EXPECT_EQ(game::ClockTimelapse.ClockPauseRequest.Get(), -1);
    game::ClockTimelapse.TimelapseClockSeconds.Set(13 * 3600 + 7 * 60 + 59.9);
    ui.Frame(Draw);
    EXPECT_NE(ui.Text().find("Clock 13:07"), std::string::npos);
    Click("Timelapse");
    EXPECT_EQ(game::ClockTimelapse.ClockPauseRequest.Get(), 0);
    Open("Layout##settings_layout_v2");
    Click("Show FPS Counter");
    Click("Show FPS When Menu Is Closed");
    EXPECT_TRUE(UiSettings.FPSCounter);
    EXPECT_FALSE(UiSettings.ShowFPSWhenClosed);
    Click("Save settings");
    EXPECT_NE(Ini().find("GameHudVisible=0\r\nDisableIdleCamera=1\r\n"), std::string::npos);
    EXPECT_NE(ui.Text().find("Settings saved."), std::string::npos);
}

TEST_F(SettingsTabTest, ResetDefaultsIsOfferedWhenSomethingDiffersAndStopsARunningTimelapse) {
    UiSettings.SettingsStatusLine = "marker";
    Click("Reset defaults");
    EXPECT_EQ(UiSettings.SettingsStatusLine, "marker") << "disabled while everything is default";
    UiSettings.UIScale = 1.5f;  // a failed save keeps its message
    sim::FailWritesTo(coretest::CoreTest::InVrn("VRN.ini"), true);
    ui.Frame(Draw);
    Click("Reset defaults");
    sim::FailWritesTo(coretest::CoreTest::InVrn("VRN.ini"), false);
    EXPECT_EQ(UiSettings.SettingsStatusLine.rfind("VRN.ini save failed: ", 0), 0u) << UiSettings.SettingsStatusLine;
    EXPECT_NE(ui.Text().find("Settings could not be saved."), std::string::npos);
    EXPECT_EQ(game::ClockTimelapse.ClockPauseRequest.Get(), -1) << "without a timelapse no clock request";

    Open("Game Controls##settings_game_controls_v2");
    Click("Timelapse");
    Click("Blackout Mode");
    UiSettings.TimecycleTimelapseSpeed = 60.0f;
    UiSettings.AllLiveBeforeAfterHotkey = 13;
    GameControlFlags.FreeCamSpeed = 40.0f;
    UiSettings.WindowSizeFromIni = true;
    ui.Frame(Draw);
    Click("Reset defaults");
    EXPECT_FALSE(GameControlFlags.TimelapseEnabled);
    EXPECT_EQ(game::ClockTimelapse.ClockPauseRequest.Get(), 0);
    EXPECT_FALSE(UiSettings.WindowSizeFromIni);
    EXPECT_TRUE(MainWindow.MainWindowSizeFitted);
    EXPECT_FALSE(SettingsDifferFromDefaults(kDisplay.x, kDisplay.y));
    EXPECT_EQ(UiSettings.SettingsStatusLine, "Default settings restored.");
    EXPECT_NE(Ini().find("AllLiveBeforeAfterHotkey=Off\r\n"), std::string::npos);
}

TEST_F(SettingsTabTest, ChoosingAKeyTakesItFromTheOtherHotkeys) {
    Open("Hotkeys##settings_hotkeys_v2");
    UiSettings.MenuHotkey = 8;  // out of range: repaired when shown
    UiSettings.VisualSettingsBeforeAfterHotkey = 40;
    UiSettings.AllLiveBeforeAfterHotkey = 5;  // F5 (the popup shows its first rows without scrolling)
    UiSettings.BothBeforeAfterHotkey = 9;     // F10
    ui.Frame(Draw);
    EXPECT_EQ(UiSettings.MenuHotkey.Get(), 3u);
    EXPECT_EQ(UiSettings.VisualSettingsBeforeAfterHotkey.Get(), 0u);
    OpenCombo("##Timecycle before / after hotkey");
    Click("F5");
    EXPECT_EQ(UiSettings.TimecycleBeforeAfterHotkey.Get(), 5u);
    EXPECT_EQ(UiSettings.AllLiveBeforeAfterHotkey.Get(), 0u);
    // The menu key is taken from the before/after hotkeys and offered there disabled.
    OpenCombo("##MenuHotkey");
    Click("F10");
    EXPECT_EQ(UiSettings.MenuHotkey.Get(), 4u);
    EXPECT_EQ(UiSettings.BothBeforeAfterHotkey.Get(), 0u);
    OpenCombo("##Timecycle + visualsettings hotkey");
    Click("F10");
    EXPECT_EQ(UiSettings.BothBeforeAfterHotkey.Get(), 0u);
}

// "Default" is disabled for the default folder in any letter case; "Browse"
// opens the dialog and disables the folder buttons while it is open.
TEST_F(SettingsTabTest, FolderButtons) {
    Open("Folders##settings_folders_v2");
    std::string lower = DefaultImportsFolder();
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    CopyFolderText(WorkspacePaths.ImportFolderText, lower);
    UiSettings.SettingsStatusLine = "marker";
    ui.Frame(Draw);
    Click("Default####TimecycleImportDirectory");
    EXPECT_EQ(UiSettings.SettingsStatusLine, "marker");
    CopyFolderText(WorkspacePaths.ImportFolderText, "C:\\Elsewhere\\");
    ui.Frame(Draw);
    Click("Default####TimecycleImportDirectory");
    EXPECT_TRUE(SamePath(WorkspacePaths.ImportFolderText, DefaultImportsFolder()));
    EXPECT_EQ(UiSettings.SettingsStatusLine, "Default import folder restored.");

    sim::HoldFolderDialogs(true);
    Click("Browse##BrowseExportFolder");
    EXPECT_EQ(UiSettings.SettingsStatusLine, "Export folder dialog opened.");
    ASSERT_EQ(FolderPicker.FolderDialogOpen.Get(), 1);
    UiSettings.SettingsStatusLine = "marker";
    Click("Browse##BrowseVrnFolder");
    EXPECT_EQ(UiSettings.SettingsStatusLine, "marker");
    sim::ReleaseFolderDialog();
}

// A folder typed into a field is taken as typed, but one too long for the
// folder texts is refused, never cut: the folder stays, the field keeps the
// typed path, and "Save settings" writes nothing until the field is mended.
TEST_F(SettingsTabTest, AFolderPathTooLongIsRefusedNeverCut) {
    Open("Folders##settings_folders_v2");
    const std::string imports = WorkspacePaths.ImportFolderText;
    const auto retype = [this](const std::string& text) {
        Click("##TimecycleImportDirectory");
        ui.Io().AddKeyEvent(ImGuiMod_Ctrl, true);
        ui.PressKey(ImGuiKey_A, Draw);
        ui.Io().AddKeyEvent(ImGuiMod_Ctrl, false);
        ui.TypeText(text.c_str(), Draw);
        ui.Frame(Draw);
    };
    std::string tooLong = "D:\\";
    while (tooLong.size() < 312) tooLong += "Long Folder Name\\";
    tooLong.resize(312);
    const std::string ini = Ini();
    retype(tooLong);
    EXPECT_EQ(WorkspacePaths.ImportFolderText, imports);
    EXPECT_EQ(UiSettings.SettingsStatusLine, "Import Folder not taken: folder path too long: " + tooLong);
    Click("Save settings");
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini not saved: folder path too long: " + tooLong);
    EXPECT_EQ(Ini(), ini);

    retype("D:\\Short\\");
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Short\\");
    Click("Save settings");
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini saved: " + InVrn("VRN.ini"));
    EXPECT_NE(Ini().find("ImportDirectory=D:\\Short\\"), std::string::npos);
}

TEST_F(SettingsTabTest, WindowWidthTypedIntoItsSliderResizesTheMainWindow) {
    Open("Layout##settings_layout_v2");
    const testsupport::ImGuiItem* slider = ui.FindItem("##MenuWidth");
    ASSERT_TRUE(slider);
    ui.Io().AddKeyEvent(ImGuiMod_Ctrl, true);
    ui.Click(slider->Center(), Draw);
    ui.Io().AddKeyEvent(ImGuiMod_Ctrl, false);
    ui.TypeText("700", Draw);
    ui.PressKey(ImGuiKey_Enter, Draw);
    EXPECT_FLOAT_EQ(UiSettings.MenuWidth, 700.0f);
    ui.Frame(Draw);
    EXPECT_FLOAT_EQ(ImGui::FindWindowByName("Varnel")->Size.x, 700.0f);
    Click("Save settings");  // a size the user set is kept for the next start
    EXPECT_NE(Ini().find("MenuWidth=700.000\r\nMenuHeight="), std::string::npos);
}

// The first start (no VRN.ini) fits the window to the display, with nothing
// for "Reset defaults" to reset, and writes the default size into the new
// file; the next start opens the window at the stored size, kept inside the
// display.
using WindowStartTest = coretest::CoreTest;
TEST_F(WindowStartTest, TheNextStartOpensTheWindowAtTheStoredSize) {
    const struct {
        ImVec2 display;
        MainWindowSize first, next;
    } cases[] = {{{1920, 1080}, {830, 928.8f}, {830, 1020}}, {{1280, 720}, {830, 700}, {830, 700}}};
    for (const auto& c : cases) {
        std::filesystem::remove(Host(InVrn("VRN.ini")));
        for (const bool first : {true, false}) {
            const std::string start = first ? "first start" : "next start";
            ResetSettingsState();
            MainWindow.MainWindowShown = false;  // a new game session
            MainWindow.MainWindowSizeFitted = false;
            MainWindow.MainWindowDisplayWidth = MainWindow.MainWindowDisplayHeight = 0.0f;
            LoadSettings();
            EXPECT_EQ(UiSettings.WindowSizeFromIni.Get(), !first) << start;
            testsupport::ImGuiHarness ui(c.display);
            core::Editor.MenuOpen.Set(1);
            ui.Frames(2, DrawMainWindow);
            core::Editor.MenuOpen.Set(0);
            const ImVec2 size = ImGui::FindWindowByName("Varnel")->Size;
            const MainWindowSize want = first ? c.first : c.next;
            EXPECT_NEAR(size.x, want.width, 1.0f) << start << " at " << c.display.x;
            EXPECT_NEAR(size.y, want.height, 1.0f) << start << " at " << c.display.y;
            if (first) {
                EXPECT_FALSE(SettingsDifferFromDefaults(c.display.x, c.display.y)) << "Reset defaults offered";
            }
        }
    }
    MainWindow.MainWindowShown = false;
    MainWindow.MainWindowSizeFitted = false;
}

// Typing a folder in the tab must not flip before/after: the main window
// tells the hotkeys while a text field has the keyboard.
TEST_F(SettingsTabTest, TypingIntoAFolderFieldIsSeenByTheHotkeys) {
    core::Editor.MenuOpen.Set(1);
    auto window = [] { DrawMainWindow(); };
    ui.Frames(3, window);  // the window takes its place
    ASSERT_TRUE(ui.ClickItem("Settings", window));
    ui.Frame(window);
    ASSERT_TRUE(ui.ClickItem("Folders##settings_folders_v2", window));
    ASSERT_TRUE(ui.ClickItem("##VrnExportDirectory", window));
    ui.Frame(window);
    EXPECT_EQ(game::BeforeAfter.UiTakingTextInput.Get(), 1);
    ui.PressKey(ImGuiKey_Escape, window);
    ui.Frame(window);
    EXPECT_EQ(game::BeforeAfter.UiTakingTextInput.Get(), 0);
    core::Editor.MenuOpen.Set(0);
    game::BeforeAfter.UiTakingTextInput.Set(0);
}

using FolderPickerTest = SettingsTabTest;

TEST_F(FolderPickerTest, HandshakeWithASecondBrowseWhileOpen) {
    sim::HoldFolderDialogs(true);
    sim::QueueFolderDialogAnswer(std::string("  \"D:\\Chosen Imports\"  "));
    ASSERT_TRUE(SelectFolderDialog(kFolderKindImport, "Select VRN import folder", DefaultImportsFolder()));
    UiSettings.SettingsStatusLine = "Import folder dialog opened.";
    ASSERT_TRUE(WaitFor([this] { return Shown() == 1; }));
    EXPECT_EQ(FolderPicker.FolderDialogOpen.Get(), 1);
    EXPECT_GE(sim::CursorDisplayCount(), 0);  // the cursor is free and visible meanwhile

    // A second "Browse" while the dialog is open opens nothing and changes nothing.
    EXPECT_FALSE(SelectFolderDialog(kFolderKindExport, "Select VRN export folder", DefaultExportsFolder()));
    EXPECT_EQ(UiSettings.SettingsStatusLine, "Import folder dialog opened.");
    SaveFolderSelection();  // nothing waits yet
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, InVrn("Imports\\").c_str());

    UiSettings.ImportFolderChanged = false;
    sim::ReleaseFolderDialog();
    ASSERT_TRUE(WaitFor(DialogEnded));
    EXPECT_EQ(FolderPicker.FolderDialogOpen.Get(), 0);
    EXPECT_LT(sim::CursorDisplayCount(), 0);  // hidden again for the game
    EXPECT_EQ(Shown(), 1);

    SaveFolderSelection();
    EXPECT_EQ(FolderPicker.FolderDialogReady.Get(), 0);
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Chosen Imports\\");
    EXPECT_TRUE(UiSettings.ImportFolderChanged);
    EXPECT_TRUE(Exists("D:\\Chosen Imports\\Timecycles"));
    EXPECT_EQ(UiSettings.SettingsStatusLine, "Import folder selected and saved to VRN.ini.");
    EXPECT_EQ(SettingsStatusText(), "Import folder saved.");
    EXPECT_NE(GetFile(InVrn("VRN.ini")).find("ImportDirectory=D:\\Chosen Imports\\\r\n"), std::string::npos);

    // Taken once only.
    UiSettings.SettingsStatusLine = "later";
    SaveFolderSelection();
    EXPECT_EQ(UiSettings.SettingsStatusLine, "later");
}

// What each answer does once the tab takes it: a cancel nothing, a chosen
// folder is taken and saved, one too long for the folder texts is refused.
TEST_F(FolderPickerTest, AnswersAreTakenAndSaved) {
    const std::string tooLong = "D:\\" + std::string(256, 'x');  // 260 bytes with its backslash
    const struct {
        int kind;
        std::optional<std::string> answer;
        std::string status, vrn, exports;
        bool importChanged;
    } cases[] = {
        {kFolderKindImport, std::nullopt, "Import folder dialog opened.", kVrn, InVrn("Exports\\"), false},
        {kFolderKindImport, "", "Import folder dialog opened.", kVrn, InVrn("Exports\\"), false},
        {kFolderKindVrn, "D:\\Games", "VRN folder selected and saved to VRN.ini.", "D:\\Games\\VRN\\",
         "D:\\Games\\VRN\\Exports\\", true},
        {kFolderKindVrn, "D:\\Mods\\vrn", "VRN folder selected and saved to VRN.ini.", "D:\\Mods\\vrn\\",
         "D:\\Mods\\vrn\\Exports\\", true},  // a folder named VRN is used itself
        {kFolderKindExport, tooLong, "Folder selection failed: folder path too long: " + tooLong + "\\", "D:\\Mods\\vrn\\",
         "D:\\Mods\\vrn\\Exports\\", false},
        {kFolderKindExport, "E:\\Out", "Export folder selected and saved to VRN.ini.", "D:\\Mods\\vrn\\", "E:\\Out\\", false},
    };
    for (const auto& c : cases) {
        Browse(c.kind, c.answer);
        UiSettings.ImportFolderChanged = false;
        SaveFolderSelection();
        EXPECT_EQ(UiSettings.SettingsStatusLine, c.status);
        EXPECT_EQ(VrnFolder(), c.vrn) << c.status;
        EXPECT_EQ(WorkspacePaths.ExportFolderText, c.exports) << c.status;
        EXPECT_EQ(UiSettings.ImportFolderChanged, c.importChanged) << c.status;
        EXPECT_NE(GetFile(InVrn("VRN.ini")).find("WorkspaceDirectory=" + c.vrn + "\r\n"), std::string::npos) << c.status;
        EXPECT_NE(GetFile(c.vrn + "VRN.ini").find("ExportDirectory=" + c.exports + "\r\n"), std::string::npos) << c.status;
    }
    EXPECT_EQ(SettingsStatusText(), "Export folder saved.");
    sim::FailWritesTo("D:\\Mods\\vrn\\VRN.ini", true);  // a failed save is not reported as saved
    Browse(kFolderKindExport, std::string("E:\\Other"));
    SaveFolderSelection();
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini save failed: D:\\Mods\\vrn\\VRN.ini");
    EXPECT_EQ(SettingsStatusText(), "Settings could not be saved.");
    sim::FailWritesTo("D:\\Mods\\vrn\\VRN.ini", false);
}

TEST_F(FolderPickerTest, ThreadThatCannotStart) {
    sim::FailNextThreadStarts(1);
    UiSettings.SettingsStatusLine = "before";
    EXPECT_FALSE(SelectFolderDialog(kFolderKindImport, "Select VRN import folder", DefaultImportsFolder()));
    EXPECT_EQ(FolderPicker.FolderDialogOpen.Get(), 0);  // input goes to the editor again
    EXPECT_EQ(UiSettings.SettingsStatusLine, "Folder dialog could not be opened: no thread could be started.");
    EXPECT_EQ(SettingsStatusText(), UiSettings.SettingsStatusLine);
    EXPECT_EQ(Shown(), 0);
    // The next "Browse" works.
    Browse(kFolderKindImport, std::string("D:\\Next"));
    SaveFolderSelection();
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Next\\");
}

TEST_F(FolderPickerTest, NewDialogDropsAWaitingResultAndTheApartmentMayFail) {
    Browse(kFolderKindImport, std::string("D:\\First"));
    sim::HoldFolderDialogs(true);
    sim::FailDialogApartment(true);
    sim::QueueFolderDialogAnswer(std::string("D:\\Second"));
    ASSERT_TRUE(SelectFolderDialog(kFolderKindExport, nullptr, DefaultExportsFolder()));
    EXPECT_EQ(FolderPicker.FolderDialogReady.Get(), 0);
    SaveFolderSelection();  // the first result is gone
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, InVrn("Imports\\").c_str());
    sim::ReleaseFolderDialog();
    ASSERT_TRUE(WaitFor(DialogEnded));
    SaveFolderSelection();
    EXPECT_STREQ(WorkspacePaths.ExportFolderText, "D:\\Second\\");
}

}  // namespace
