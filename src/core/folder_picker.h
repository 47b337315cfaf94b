// The folder picker behind the Settings tab's "Browse" buttons. The
// system's folder dialog is modal, so it runs on a thread of its own (with
// a second thread that keeps the cursor free and visible); its result is
// handed back to the render thread, which applies it and saves VRN.ini.
//
// Handshake: SelectFolderDialog (render thread) sets FolderDialogOpen from 0
// to 1 and starts the dialog thread; the dialog thread stores kind and
// result under FolderDialogMutex, then sets FolderDialogReady and clears
// FolderDialogOpen; SaveFolderSelection (render thread, every frame the
// Settings tab is drawn) takes FolderDialogReady and applies the result.
// While FolderDialogOpen is set the window procedure passes every message
// to the game and the overlay draws no cursor of its own.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>

#include "core/shared_value.h"

namespace core {

// The picker's state, shared by the render thread, the dialog thread and the
// window procedure as the handshake above says.
struct FolderPickerState {
    // 1 while a dialog is open (read by the window procedure and the overlay).
    SharedValue<uint8_t> FolderDialogOpen{0};
    // 1 when a dialog has ended and its result waits for SaveFolderSelection.
    SharedValue<uint8_t> FolderDialogReady{0};
    // Guards FolderDialogKind and FolderDialogResult (held only for copies;
    // never reset).
    std::mutex FolderDialogMutex;
    // Which folder the open or last dialog chooses (kFolderKind* of workspace.h).
    int32_t FolderDialogKind = 0;
    // The chosen folder; empty when nothing was chosen.
    std::string FolderDialogResult;
};
extern FolderPickerState FolderPicker;
// Back to no dialog and no result (tests, while no dialog thread runs).
void ResetFolderPickerState();

// One dialog's request, owned by its dialog thread.
struct FolderDialogRequest {
    int32_t kind = 0;
    std::string title;
    std::string startFolder;
};

// Opens a dialog unless one is open (render thread). Without a title the
// dialog is titled "Select folder". True when a dialog was started: the
// caller then sets its "... folder dialog opened." status line. False when
// one is already open (nothing changes) or its thread could not start
// (FolderDialogOpen is cleared again and the status line says so).
bool SelectFolderDialog(int32_t kind, const char* title, const std::string& startFolder);
// The dialog thread's body: BrowseForFolder, then the request is freed.
void FolderPickerThread(FolderDialogRequest* request);
// Shows the dialog and hands the result back (dialog thread).
void BrowseForFolder(const FolderDialogRequest& request);
// Keeps the cursor free and visible every 50 ms while *keeperFlag is 1.
void CursorKeeperThread(const SharedValue<uint8_t>* keeperFlag);
// Applies a waiting result (render thread): creates the folder, makes it
// the VRN, import or export folder, saves VRN.ini and sets the status line
// to "VRN folder selected and saved to VRN.ini." (or the import/export
// form). A cancelled dialog changes nothing.
void SaveFolderSelection();

}  // namespace core
