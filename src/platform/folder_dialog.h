// The system's folder dialog (modal; runs on a thread of its own).
#pragma once
#include <string>

namespace platform {

// CoInitializeEx(apartment-threaded) for the calling thread; false when it
// failed (then EndDialogApartment must not be called).
bool BeginDialogApartment();
void EndDialogApartment();

// SHBrowseForFolderA (only file-system folders, edit box, new dialog style,
// no owner, no start folder) and SHGetPathFromIDListA. True with the chosen
// folder; false when cancelled or no path came back.
bool BrowseForFolderPath(const std::string& title, std::string& chosen);

}  // namespace platform
