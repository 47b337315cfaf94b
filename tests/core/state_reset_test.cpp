// Each module of the core keeps its mutable state in one structure, and its
// reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "core/folder_picker.h"

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

}  // namespace
