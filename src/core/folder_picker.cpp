#include "core/folder_picker.h"

#include <condition_variable>
#include <memory>

#include "core/settings.h"
#include "core/workspace.h"
#include "platform/clock.h"
#include "platform/folder_dialog.h"
#include "platform/input.h"

namespace core {

FolderPickerState FolderPicker;

void ResetFolderPickerState() {
    FolderPicker.FolderDialogOpen = 0;
    FolderPicker.FolderDialogReady = 0;
    std::lock_guard<std::mutex> lock(FolderPicker.FolderDialogMutex);
    FolderPicker.FolderDialogKind = 0;
    FolderPicker.FolderDialogResult.clear();
}

namespace {

// The cursor keeper of one dialog: its flag, and the signal that it ended.
struct CursorKeeper {
    SharedValue<uint8_t> run{1};
    std::mutex mutex;
    std::condition_variable cv;
    bool ended = false;
};

}  // namespace

bool SelectFolderDialog(int32_t kind, const char* title, const std::string& startFolder) {
    uint8_t closed = 0;
    if (!FolderPicker.FolderDialogOpen.CompareExchange(closed, 1)) return false;  // one dialog at a time
    {
        std::lock_guard<std::mutex> lock(FolderPicker.FolderDialogMutex);
        FolderPicker.FolderDialogKind = kind;
        FolderPicker.FolderDialogResult.clear();
        FolderPicker.FolderDialogReady.Set(0);
    }
    auto* request = new FolderDialogRequest{kind, title && *title ? title : "Select folder", startFolder};
    if (!platform::StartDetachedThread([request] { FolderPickerThread(request); })) {
        delete request;
        // Left at 1 the window procedure would pass all input to the game for good.
        FolderPicker.FolderDialogOpen.Set(0);
        UiSettings.SettingsStatusLine = "Folder dialog could not be opened: no thread could be started.";
        return false;
    }
    return true;
}

void FolderPickerThread(FolderDialogRequest* request) {
    std::unique_ptr<FolderDialogRequest> owned(request);
    BrowseForFolder(*owned);
}

void BrowseForFolder(const FolderDialogRequest& request) {
    const bool apartment = platform::BeginDialogApartment();
    platform::ReleaseAndShowCursor();

    auto keeper = std::make_shared<CursorKeeper>();
    const bool keeperStarted = platform::StartDetachedThread([keeper] {
        CursorKeeperThread(&keeper->run);
        std::lock_guard<std::mutex> lock(keeper->mutex);
        keeper->ended = true;
        keeper->cv.notify_all();
    });
    // Without a keeper the dialog still works; the cursor was freed above.

    std::string result;
    std::string chosen;
    if (platform::BrowseForFolderPath(request.title, chosen) && !chosen.empty()) {
        result = NormaliseChosenFolder(chosen, request.startFolder);
    }

    keeper->run = 0;
    if (keeperStarted) {
        std::unique_lock<std::mutex> lock(keeper->mutex);
        keeper->cv.wait(lock, [&] { return keeper->ended; });
    }
    platform::HideCursorAgain();

    {
        std::lock_guard<std::mutex> lock(FolderPicker.FolderDialogMutex);
        FolderPicker.FolderDialogKind = request.kind;
        FolderPicker.FolderDialogResult = std::move(result);
    }
    FolderPicker.FolderDialogReady.Set(1);
    FolderPicker.FolderDialogOpen.Set(0);
    if (apartment) platform::EndDialogApartment();
}

void CursorKeeperThread(const SharedValue<uint8_t>* keeperFlag) {
    while (keeperFlag->Get() == 1) {
        platform::ReleaseAndShowCursor();
        platform::SleepMilliseconds(50);
    }
}

void SaveFolderSelection() {
    if (FolderPicker.FolderDialogReady.Exchange(0) == 0) return;
    int32_t kind = 0;
    std::string result;
    {
        std::lock_guard<std::mutex> lock(FolderPicker.FolderDialogMutex);
        kind = FolderPicker.FolderDialogKind;
        result = std::move(FolderPicker.FolderDialogResult);
        FolderPicker.FolderDialogResult.clear();
    }
    if (result.empty()) return;  // cancelled: the "dialog opened" status stays
    CreateDirectoryTree(result);
    const char* message = nullptr;
    bool taken = false;  // a folder too long for the folder texts is refused, never cut
    if (kind == kFolderKindVrn) {
        taken = AdoptVrnFolder(result);
        UiSettings.ImportFolderChanged = true;
        message = "VRN folder selected and saved to VRN.ini.";
    } else if (kind == kFolderKindImport) {
        taken = CopyFolderText(WorkspacePaths.ImportFolderText, result);
        UiSettings.ImportFolderChanged = true;
        message = "Import folder selected and saved to VRN.ini.";
    } else if (kind == kFolderKindExport) {
        taken = CopyFolderText(WorkspacePaths.ExportFolderText, result);
        message = "Export folder selected and saved to VRN.ini.";
    } else {
        return;
    }
    if (!taken) {
        UiSettings.SettingsStatusLine = "Folder selection failed: folder path too long: " + result;
        return;
    }
    // Only a good save may say "saved to VRN.ini"; a failed one keeps its message.
    if (SaveSettings()) UiSettings.SettingsStatusLine = message;
}

}  // namespace core
