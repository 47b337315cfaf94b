// Each module of the core keeps its mutable state in one structure, and its
// reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "core/folder_picker.h"
#include "core/game_control_settings.h"
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

}  // namespace
