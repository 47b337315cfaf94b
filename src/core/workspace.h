// The workspace: the VRN folder (by default "VRN\" in the user's Documents
// folder) with VRN.ini, the import and export folders (by default "Imports\"
// and "Exports\" under it, each replaceable) and their sub-folders
// "Timecycles\", "Timecycle Mods\", "Weather Files\" and "Misc\". Every
// loader and exporter takes its folder from the getters here, and every
// file write is checked by IsPathInWorkspace.
//
// Threads: the four folder texts are plain texts. They are written by the
// start-up (script fiber, before the overlay exists) and afterwards only on
// the render thread (Settings tab, folder picker result, exporters); the
// folder picker's own thread never touches them.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace core {

// Size of each folder text, terminating zero included. A longer folder is
// never cut (that would name another folder): it is refused.
inline constexpr size_t kFolderTextSize = 260;

// Which folder a folder dialog or a "Default" button is about.
inline constexpr int kFolderKindImport = 1;
inline constexpr int kFolderKindExport = 2;
inline constexpr int kFolderKindVrn = 3;

// The workspace folder texts. Set by the start-up's settings read (script
// fiber, before the menu can open) and then by the Settings tab and the
// folder picker's result (render thread); read by either.
struct WorkspaceState {
    // The workspace folder as chosen or typed (the Settings tab edits it in place).
    char VrnFolderText[kFolderTextSize] = {};
    // The VRN folder as last set by SetVrnFolder; SaveSettings compares the
    // edited VrnFolderText with it to notice a newly typed folder.
    char AdoptedVrnFolder[kFolderTextSize] = {};
    // The replaced import and export folders (edited in place by the Settings tab).
    char ImportFolderText[kFolderTextSize] = {};
    char ExportFolderText[kFolderTextSize] = {};
};
// Initially all empty: every getter then falls back to the Documents-based
// defaults until the settings have been read.
extern WorkspaceState WorkspacePaths;

// Whether text fits a folder text whole (259 bytes at most).
inline bool FitsFolderText(std::string_view text) { return text.size() < kFolderTextSize; }
// Copies text into a folder text, zero-terminated; a text that doesn't fit
// leaves dest unchanged and gives false.
bool CopyFolderText(char (&dest)[kFolderTextSize], std::string_view text);
// Clears all four folder texts and what the getters remember having made
// (as at process start).
void ResetWorkspaceState();

// ---- Folder getters (each returns a new text; an empty base gives "") -------
// A getter that "creates" its folder does so on its first call for that
// folder, and again only when the folder it names changes (a new folder
// setting, or after ResetWorkspaceState); a folder that could not be made is
// tried again on the next call. Callers may ask several times a frame.

std::string DefaultVrnFolder();         // Documents + "VRN\"
std::string DefaultIniPath();           // DefaultVrnFolder + "VRN.ini"; creates the default VRN folder
std::string VrnFolder();                // VrnFolderFromChoice(VrnFolderText, DefaultVrnFolder)
std::string IniPath();                  // VrnFolder + "VRN.ini"; runs EnsureWorkspaceFolders first
std::string DefaultImportsFolder();     // VrnFolder + "Imports\"
std::string DefaultExportsFolder();     // VrnFolder + "Exports\"
std::string ImportsFolder();            // NormaliseChosenFolder(ImportFolderText, DefaultImportsFolder); creates it and its 4 sub-folders
std::string ExportsFolder();            // NormaliseChosenFolder(ExportFolderText, DefaultExportsFolder); creates it
std::string ImportsTimecyclesFolder();      // ImportsFolder + "Timecycles\"
std::string ImportsTimecycleModsFolder();   // ImportsFolder + "Timecycle Mods\"
std::string ImportsWeatherFilesFolder();    // ImportsFolder + "Weather Files\"
std::string ImportsMiscFolder();            // ImportsFolder + "Misc\"
std::string ExportsTimecyclesFolder();      // ExportsFolder + "Timecycles\"; creates it
std::string ExportsTimecycleModsFolder();   // ExportsFolder + "Timecycle Mods\"; creates it
std::string ExportsWeatherFilesFolder();    // ExportsFolder + "Weather Files\"; creates it
std::string ExportsMiscFolder();            // ExportsFolder + "Misc\"; creates it
std::string VrnMiscFolder();            // VrnFolder + "Misc\"

// ---- Folder rules ----------------------------------------------------------------

// The user's Documents folder with a trailing backslash: the known folder,
// CSIDL_PERSONAL, %USERPROFILE%\Documents, the profile's Documents, Public
// Documents, CSIDL_COMMON_DOCUMENTS, %PUBLIC%\Documents; empty when none.
std::string FindDocumentsFolders();
// A known folder in the ANSI code page; empty on failure.
std::string KnownFolderPathA(platform::KnownFolder folder);
// folder + "\Documents\".
std::string DocumentsSubfolder(std::string_view folder);

// Trimmed and unquoted (empty: fallback), with a trailing separator, plus
// "VRN\" unless its last component already is VRN (any case).
std::string VrnFolderFromChoice(std::string_view chosen, std::string_view fallback);
// Trimmed and unquoted (empty: fallback), with a trailing separator; not made absolute.
std::string NormaliseChosenFolder(std::string_view chosen, std::string_view fallback);

// VrnFolderText and AdoptedVrnFolder := VrnFolderFromChoice(folder,
// DefaultVrnFolder); false (nothing changed) when that doesn't fit.
bool SetVrnFolder(std::string_view folder);
// Import/export folder texts := "Imports\" / "Exports\" under the VRN folder
// made of folder (left empty when too long: the getters then give the same
// folders in full).
void ResetImportExportFolders(std::string_view folder);
// Makes a new VRN folder current, resets the import and export folders
// under it and creates them all. False, and nothing changed, when the VRN
// folder made of chosen, with "Imports\" or "Exports\", doesn't fit the
// folder texts.
bool AdoptVrnFolder(std::string_view chosen);
// The Settings tab's "Default" buttons (kind 1 import, 2 export, 3 VRN
// folder): restores the folder, saves VRN.ini and sets the status line to
// "Default ... restored.". Other kinds do nothing.
void RestoreDefaultFolder(int kind);

// Creates a folder and any missing parents; true when it exists afterwards.
bool CreateDirectoryTree(std::string_view folder);
// Creates root + "Timecycles\", "Timecycle Mods\", "Weather Files\", "Misc\"
// (root must end in a separator; empty root does nothing).
void EnsureWorkspaceSubfolders(std::string_view root);
// Creates the VRN, import and export folders and their sub-folders; true
// when the three folders exist.
bool EnsureWorkspaceFolders();
// Creates the folder part of a file path (nothing for a bare name).
void CreateParentDirectory(std::string_view filePath);

// The guard of every file write: true when the file's folder lies under the
// VRN folder, the default VRN folder, the import folder or the export folder,
// and not inside the game's folder or the editor's own module folder.
bool IsPathInWorkspace(std::string_view filePath);
bool IsInsideProgramFolders(std::string_view folder);
// Folder of the game's executable (".\" when unknown) and of the module
// holding the editor's code (the game folder when unknown), each ending in
// a separator.
std::string GetGameFolder();
std::string GetOwnModuleFolder();

}  // namespace core
