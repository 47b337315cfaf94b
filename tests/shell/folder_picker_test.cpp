#include "shell/folder_picker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "platform/simulated.h"
#include "shell/workspace.h"
#include "shell_fixture.h"

namespace shelltest {
namespace {

using namespace shell;
namespace sim = platform::sim;

// The dialog thread has handed its result back and closed.
bool DialogEnded() { return FolderDialogReady.load() == 1 && FolderDialogOpen.load() == 0; }

// Waits (a few seconds at most) until the condition holds.
bool WaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class FolderPickerTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        LoadSettings();
        shownBefore_ = sim::FolderDialogsShown();
    }
    void TearDown() override {
        sim::HoldFolderDialogs(false);
        EXPECT_TRUE(WaitFor([] { return FolderDialogOpen.load() == 0; }));
        FolderDialogReady.store(0);
        sim::FailNextThreadStarts(0);
        sim::FailDialogApartment(false);
        ShellTest::TearDown();
    }
    int Shown() const { return sim::FolderDialogsShown() - shownBefore_; }
    // Opens a dialog as the Settings tab does, answered with answer.
    void Browse(int kind, std::optional<std::string> answer) {
        sim::QueueFolderDialogAnswer(std::move(answer));
        ASSERT_TRUE(SelectFolderDialog(kind, "Select VRN import folder", DefaultImportsFolder()));
        SettingsStatusLine = "Import folder dialog opened.";
        ASSERT_TRUE(WaitFor(DialogEnded));
    }

    int shownBefore_ = 0;
};

TEST_F(FolderPickerTest, HandshakeWithASecondBrowseWhileOpen) {
    sim::HoldFolderDialogs(true);
    sim::QueueFolderDialogAnswer(std::string("  \"D:\\Chosen Imports\"  "));
    ASSERT_TRUE(SelectFolderDialog(kFolderKindImport, "Select VRN import folder", DefaultImportsFolder()));
    SettingsStatusLine = "Import folder dialog opened.";
    ASSERT_TRUE(WaitFor([this] { return Shown() == 1; }));
    EXPECT_EQ(FolderDialogOpen.load(), 1);
    EXPECT_GE(sim::CursorDisplayCount(), 0);  // the cursor is free and visible meanwhile

    // A second "Browse" while the dialog is open opens nothing and changes nothing.
    EXPECT_FALSE(SelectFolderDialog(kFolderKindExport, "Select VRN export folder", DefaultExportsFolder()));
    EXPECT_EQ(SettingsStatusLine, "Import folder dialog opened.");
    SaveFolderSelection();  // nothing waits yet
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, InVrn("Imports\\").c_str());

    ImportFolderChanged = false;
    sim::ReleaseFolderDialog();
    ASSERT_TRUE(WaitFor(DialogEnded));
    EXPECT_EQ(FolderDialogOpen.load(), 0);
    EXPECT_LT(sim::CursorDisplayCount(), 0);  // hidden again for the game
    EXPECT_EQ(Shown(), 1);

    SaveFolderSelection();
    EXPECT_EQ(FolderDialogReady.load(), 0);
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Chosen Imports\\");
    EXPECT_TRUE(ImportFolderChanged);
    EXPECT_TRUE(Exists("D:\\Chosen Imports\\Timecycles"));
    EXPECT_EQ(SettingsStatusLine, "Import folder selected and saved to VRN.ini.");
    EXPECT_EQ(SettingsStatusText(), "Import folder saved.");
    EXPECT_NE(GetFile(InVrn("VRN.ini")).find("ImportDirectory=D:\\Chosen Imports\\\r\n"), std::string::npos);

    // Taken once only.
    SettingsStatusLine = "later";
    SaveFolderSelection();
    EXPECT_EQ(SettingsStatusLine, "later");
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
        ImportFolderChanged = false;
        SaveFolderSelection();
        EXPECT_EQ(SettingsStatusLine, c.status);
        EXPECT_EQ(VrnFolder(), c.vrn) << c.status;
        EXPECT_EQ(WorkspacePaths.ExportFolderText, c.exports) << c.status;
        EXPECT_EQ(ImportFolderChanged, c.importChanged) << c.status;
        EXPECT_NE(GetFile(InVrn("VRN.ini")).find("WorkspaceDirectory=" + c.vrn + "\r\n"), std::string::npos) << c.status;
        EXPECT_NE(GetFile(c.vrn + "VRN.ini").find("ExportDirectory=" + c.exports + "\r\n"), std::string::npos) << c.status;
    }
    EXPECT_EQ(SettingsStatusText(), "Export folder saved.");
    sim::FailWritesTo("D:\\Mods\\vrn\\VRN.ini", true);  // a failed save is not reported as saved
    Browse(kFolderKindExport, std::string("E:\\Other"));
    SaveFolderSelection();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini save failed: D:\\Mods\\vrn\\VRN.ini");
    EXPECT_EQ(SettingsStatusText(), "Settings could not be saved.");
    sim::FailWritesTo("D:\\Mods\\vrn\\VRN.ini", false);
}

TEST_F(FolderPickerTest, ThreadThatCannotStart) {
    sim::FailNextThreadStarts(1);
    SettingsStatusLine = "before";
    EXPECT_FALSE(SelectFolderDialog(kFolderKindImport, "Select VRN import folder", DefaultImportsFolder()));
    EXPECT_EQ(FolderDialogOpen.load(), 0);  // input goes to the editor again
    EXPECT_EQ(SettingsStatusLine, "Folder dialog could not be opened: no thread could be started.");
    EXPECT_EQ(SettingsStatusText(), SettingsStatusLine);
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
    EXPECT_EQ(FolderDialogReady.load(), 0);
    SaveFolderSelection();  // the first result is gone
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, InVrn("Imports\\").c_str());
    sim::ReleaseFolderDialog();
    ASSERT_TRUE(WaitFor(DialogEnded));
    SaveFolderSelection();
    EXPECT_STREQ(WorkspacePaths.ExportFolderText, "D:\\Second\\");
}

}  // namespace
}  // namespace shelltest
