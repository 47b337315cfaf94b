// The shell's folder dialog, in a single-threaded COM apartment of the
// dialog's own thread.
#include "platform/folder_dialog.h"
#include "platform/windows/win32.h"
// The shell headers after windows.h.
#include <objbase.h>
#include <shlobj.h>

namespace platform {

bool BeginDialogApartment() {
    return SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

void EndDialogApartment() { CoUninitialize(); }

bool BrowseForFolderPath(const std::string& title, std::string& chosen) {
    BROWSEINFOA info{};
    info.hwndOwner = nullptr;
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = title.c_str();
    // Only file-system folders, an edit box, the resizable new style.
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    info.lpfn = nullptr;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info);
    if (item == nullptr) return false;
    char buffer[260] = {};
    const bool ok = SHGetPathFromIDListA(item, buffer) && buffer[0] != '\0';
    CoTaskMemFree(item);
    if (!ok) return false;
    buffer[sizeof buffer - 1] = '\0';
    chosen = buffer;
    return true;
}

}  // namespace platform
