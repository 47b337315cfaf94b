// Each module of the core keeps its mutable state in one structure, and its
// reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "core/editor_state.h"
#include "core/folder_picker.h"
#include "core/game_control_settings.h"
#include "core/settings.h"
#include "core/workspace.h"

namespace {

TEST(CoreStateReset, FolderPicker) {
    core::FolderPickerState& s = core::FolderPicker;
    s.FolderDialogOpen = 1;
    s.FolderDialogReady = 1;
    s.FolderDialogKind = 2;
    s.FolderDialogResult = "C:\\Chosen\\";
    core::ResetFolderPickerState();
    EXPECT_EQ(s.FolderDialogOpen.Get(), 0);
    EXPECT_EQ(s.FolderDialogReady.Get(), 0);
    EXPECT_EQ(s.FolderDialogKind, 0);
    EXPECT_EQ(s.FolderDialogResult, "");
}

TEST(CoreStateReset, GameControlSettings) {
    core::GameControlSettingsState& s = core::GameControlFlags;
    s.GameHudVisible = false;
    for (core::SharedValue<bool>* flag : {&s.DisableIdleCamera, &s.DisablePedestrians, &s.DisableVehicles,
                                          &s.BlackoutMode, &s.FreeCamEnabled, &s.TimelapseEnabled})
        *flag = true;
    s.FreeCamSpeed = 50.0f;
    s.FreeCamMouseSensitivity = 3.0f;
    core::ResetGameControlSettings();
    EXPECT_TRUE(s.GameHudVisible);
    EXPECT_FALSE(s.DisableIdleCamera);
    EXPECT_FALSE(s.DisablePedestrians);
    EXPECT_FALSE(s.DisableVehicles);
    EXPECT_FALSE(s.BlackoutMode);
    EXPECT_FALSE(s.FreeCamEnabled);
    EXPECT_FALSE(s.TimelapseEnabled);
    EXPECT_EQ(s.FreeCamSpeed.Get(), 10.0f);
    EXPECT_EQ(s.FreeCamMouseSensitivity.Get(), 1.0f);
}

TEST(CoreStateReset, Workspace) {
    core::WorkspaceState& s = core::WorkspacePaths;
    for (char(*text)[core::kFolderTextSize] : {&s.VrnFolderText, &s.AdoptedVrnFolder, &s.ImportFolderText, &s.ExportFolderText})
        ASSERT_TRUE(core::CopyFolderText(*text, "C:\\Folder\\"));
    core::ResetWorkspaceState();
    EXPECT_STREQ(s.VrnFolderText, "");
    EXPECT_STREQ(s.AdoptedVrnFolder, "");
    EXPECT_STREQ(s.ImportFolderText, "");
    EXPECT_STREQ(s.ExportFolderText, "");
}

TEST(CoreStateReset, Settings) {
    core::SettingsState& s = core::UiSettings;
    s.UIScale = 1.5f;
    s.UIOpacity = 0.5f;
    s.MenuWidth = 900.0f;
    s.MenuHeight = 900.0f;
    s.MenuHotkey = 3;
    for (core::SharedValue<uint32_t>* key : {&s.TimecycleBeforeAfterHotkey, &s.VisualSettingsBeforeAfterHotkey,
                                             &s.BothBeforeAfterHotkey, &s.AllLiveBeforeAfterHotkey})
        *key = 5;
    s.FPSCounter = true;
    s.ShowFPSWhenClosed = false;
    s.TimecycleTimelapseSpeed = 100.0f;
    s.SettingsStatusLine = "changed";
    s.WindowSizeFromIni = true;
    s.ImportFolderChanged = false;
    core::GameControlFlags.BlackoutMode = true;
    ASSERT_TRUE(core::CopyFolderText(core::WorkspacePaths.ImportFolderText, "C:\\Import\\"));
    core::ResetSettingsState();
    EXPECT_EQ(s.UIScale.Get(), core::kDefaultUIScale);
    EXPECT_EQ(s.UIOpacity.Get(), core::kDefaultUIOpacity);
    EXPECT_EQ(s.MenuWidth.Get(), core::kDefaultMenuWidth);
    EXPECT_EQ(s.MenuHeight.Get(), core::kDefaultMenuHeight);
    EXPECT_EQ(s.MenuHotkey.Get(), core::kDefaultMenuHotkey);
    EXPECT_EQ(s.TimecycleBeforeAfterHotkey.Get(), 0u);
    EXPECT_EQ(s.VisualSettingsBeforeAfterHotkey.Get(), 0u);
    EXPECT_EQ(s.BothBeforeAfterHotkey.Get(), 0u);
    EXPECT_EQ(s.AllLiveBeforeAfterHotkey.Get(), 0u);
    EXPECT_FALSE(s.FPSCounter);
    EXPECT_TRUE(s.ShowFPSWhenClosed);
    EXPECT_EQ(s.TimecycleTimelapseSpeed.Get(), core::kDefaultTimelapseSpeed);
    EXPECT_EQ(s.SettingsStatusLine, "VRN.ini not loaded.");
    EXPECT_FALSE(s.WindowSizeFromIni);
    EXPECT_TRUE(s.ImportFolderChanged);
    EXPECT_FALSE(core::GameControlFlags.BlackoutMode) << "the game controls are reset with the settings";
    EXPECT_STREQ(core::WorkspacePaths.ImportFolderText, "") << "the folders are reset with the settings";
}

TEST(CoreStateReset, Editor) {
    core::EditorState& s = core::Editor;
    s.MenuOpen = s.MenuSuspended = s.SlotRefreshTick = 1;
    s.TimecycleAfterShown = s.VisualSettingsAfterShown = 0;
    s.MenuCooldownFrames = 90;
    core::RaiseTimecycleRereadFrames(3);
    EXPECT_FALSE(core::CanOpenMenu());
    core::ResetEditorState();
    EXPECT_EQ(s.MenuOpen.Get(), 0);
    EXPECT_EQ(s.TimecycleAfterShown.Get(), 1);
    EXPECT_EQ(s.VisualSettingsAfterShown.Get(), 1);
    EXPECT_EQ(s.MenuSuspended.Get(), 0);
    EXPECT_EQ(s.MenuCooldownFrames.Get(), 0);
    EXPECT_EQ(s.SlotRefreshTick.Get(), 0);
    EXPECT_EQ(s.TimecycleRereadFrames.Get(), 0);
    EXPECT_TRUE(core::CanOpenMenu());
}

}  // namespace
