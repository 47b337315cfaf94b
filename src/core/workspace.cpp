#include "core/workspace.h"

#include <array>
#include <cstring>
#include <mutex>

#include "core/file_utils.h"
#include "core/settings.h"
#include "core/text.h"

namespace core {

WorkspaceState WorkspacePaths;

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveRoot(std::string_view t) {
    const auto letter = static_cast<unsigned char>(t.empty() ? 0 : t[0]);
    return t.size() == 3 && ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) && t[1] == ':' &&
           IsSeparator(t[2]);
}

std::string Joined(const std::string& base, const char* name) { return base.empty() ? std::string() : base + name; }

// The folders the getters have made. The tabs ask for their folders several
// times a frame: each getter makes its folder once, and again only when the
// folder it names changes (another folder setting); asked again for the
// same folder it does not touch the disk. A folder that could not be made
// is tried again on the next call. Explicit makers (EnsureWorkspaceFolders,
// AdoptVrnFolder, RestoreDefaultFolder, the settings load) always make theirs.
// Threads: the getters run on the render thread and the script fiber; the
// lock guards the texts only, never a disk call. Reset: ResetWorkspaceState.
struct MadeFolders {
    std::mutex lock;
    std::string imports;  // made with its four sub-folders
    std::string exports;
    std::array<std::string, 4> exportSubfolders;  // Timecycles, Timecycle Mods, Weather Files, Misc
};
MadeFolders Made;

// Makes folder (and, with subfolders, its four sub-folders) unless it is
// the folder last made in record, a field of Made.
void MakeOnce(std::string& record, const std::string& folder, bool subfolders) {
    if (folder.empty()) return;
    {
        std::lock_guard<std::mutex> hold(Made.lock);
        if (record == folder) return;
    }
    const bool made = CreateDirectoryTree(folder);
    if (subfolders) EnsureWorkspaceSubfolders(folder);
    if (!made) return;
    std::lock_guard<std::mutex> hold(Made.lock);
    record = folder;
}

// ExportsFolder + name, made on its first use (with the export folder).
std::string CreatedExportSubfolder(size_t which, const char* name) {
    std::string folder = Joined(ExportsFolder(), name);
    MakeOnce(Made.exportSubfolders[which], folder, false);
    return folder;
}

}  // namespace

bool CopyFolderText(char (&dest)[kFolderTextSize], std::string_view text) {
    if (!FitsFolderText(text)) return false;
    std::memmove(dest, text.data(), text.size());  // text may lie in dest itself
    dest[text.size()] = '\0';
    return true;
}

void ResetWorkspaceState() {
    WorkspacePaths = WorkspaceState{};
    std::lock_guard<std::mutex> hold(Made.lock);
    Made.imports.clear();
    Made.exports.clear();
    for (std::string& folder : Made.exportSubfolders) folder.clear();
}

// ---- Folder getters -------------------------------------------------------------------

std::string DefaultVrnFolder() { return Joined(FindDocumentsFolders(), "VRN\\"); }

std::string DefaultIniPath() {
    const std::string folder = DefaultVrnFolder();
    if (folder.empty()) return {};
    CreateDirectoryTree(folder);
    return folder + "VRN.ini";
}

std::string VrnFolder() { return VrnFolderFromChoice(WorkspacePaths.VrnFolderText, DefaultVrnFolder()); }

std::string IniPath() {
    EnsureWorkspaceFolders();
    return Joined(VrnFolder(), "VRN.ini");
}

std::string DefaultImportsFolder() { return Joined(VrnFolder(), "Imports\\"); }
std::string DefaultExportsFolder() { return Joined(VrnFolder(), "Exports\\"); }

std::string ImportsFolder() {
    std::string folder = NormaliseChosenFolder(WorkspacePaths.ImportFolderText, DefaultImportsFolder());
    MakeOnce(Made.imports, folder, true);
    return folder;
}

std::string ExportsFolder() {
    std::string folder = NormaliseChosenFolder(WorkspacePaths.ExportFolderText, DefaultExportsFolder());
    MakeOnce(Made.exports, folder, false);
    return folder;
}

std::string ImportsTimecyclesFolder() { return Joined(ImportsFolder(), "Timecycles\\"); }
std::string ImportsTimecycleModsFolder() { return Joined(ImportsFolder(), "Timecycle Mods\\"); }
std::string ImportsWeatherFilesFolder() { return Joined(ImportsFolder(), "Weather Files\\"); }
std::string ImportsMiscFolder() { return Joined(ImportsFolder(), "Misc\\"); }
std::string ExportsTimecyclesFolder() { return CreatedExportSubfolder(0, "Timecycles\\"); }
std::string ExportsTimecycleModsFolder() { return CreatedExportSubfolder(1, "Timecycle Mods\\"); }
std::string ExportsWeatherFilesFolder() { return CreatedExportSubfolder(2, "Weather Files\\"); }
std::string ExportsMiscFolder() { return CreatedExportSubfolder(3, "Misc\\"); }
std::string VrnMiscFolder() { return Joined(VrnFolder(), "Misc\\"); }

// ---- Folder rules -------------------------------------------------------------------------

std::string KnownFolderPathA(platform::KnownFolder folder) { return platform::KnownFolderPath(folder); }

std::string DocumentsSubfolder(std::string_view folder) {
    if (folder.empty()) return {};
    return WithTrailingSeparator(WithTrailingSeparator(folder) + "Documents");
}

std::string FindDocumentsFolders() {
    constexpr int kCsidlPersonal = 5;
    constexpr int kCsidlCommonDocuments = 46;
    std::string found = KnownFolderPathA(platform::KnownFolder::Documents);
    if (found.empty()) found = platform::ShellFolderPath(kCsidlPersonal);
    if (found.empty()) found = DocumentsSubfolder(platform::EnvironmentVariable("USERPROFILE"));
    if (found.empty()) found = DocumentsSubfolder(KnownFolderPathA(platform::KnownFolder::Profile));
    if (found.empty()) found = KnownFolderPathA(platform::KnownFolder::PublicDocuments);
    if (found.empty()) found = platform::ShellFolderPath(kCsidlCommonDocuments);
    if (found.empty()) found = DocumentsSubfolder(platform::EnvironmentVariable("PUBLIC"));
    return WithTrailingSeparator(found);
}

std::string VrnFolderFromChoice(std::string_view chosen, std::string_view fallback) {
    std::string folder = TrimAndUnquote(chosen);
    if (folder.empty()) folder = std::string(fallback);
    folder = WithTrailingSeparator(folder);
    if (folder.empty()) return folder;
    if (!EqualsNoCase(LastPathComponent(folder), "VRN")) folder += "VRN\\";
    return folder;
}

std::string NormaliseChosenFolder(std::string_view chosen, std::string_view fallback) {
    std::string folder = TrimAndUnquote(chosen);
    if (folder.empty()) folder = std::string(fallback);
    return WithTrailingSeparator(folder);
}

bool SetVrnFolder(std::string_view folder) {
    const std::string vrn = VrnFolderFromChoice(folder, DefaultVrnFolder());
    return CopyFolderText(WorkspacePaths.VrnFolderText, vrn) && CopyFolderText(WorkspacePaths.AdoptedVrnFolder, vrn);
}

void ResetImportExportFolders(std::string_view folder) {
    const std::string vrn = VrnFolderFromChoice(folder, DefaultVrnFolder());
    // Without any VRN folder the texts stay empty rather than becoming
    // folders relative to the game's current folder.
    if (!CopyFolderText(WorkspacePaths.ImportFolderText, Joined(vrn, "Imports\\")))
        WorkspacePaths.ImportFolderText[0] = '\0';
    if (!CopyFolderText(WorkspacePaths.ExportFolderText, Joined(vrn, "Exports\\")))
        WorkspacePaths.ExportFolderText[0] = '\0';
}

bool AdoptVrnFolder(std::string_view chosen) {
    const std::string folder = VrnFolderFromChoice(chosen, DefaultVrnFolder());
    if (!FitsFolderText(folder + "Imports\\") || !SetVrnFolder(folder)) return false;
    ResetImportExportFolders(folder);
    CreateDirectoryTree(folder);
    CreateDirectoryTree(WorkspacePaths.ImportFolderText);
    EnsureWorkspaceSubfolders(WorkspacePaths.ImportFolderText);
    CreateDirectoryTree(WorkspacePaths.ExportFolderText);
    EnsureWorkspaceSubfolders(WorkspacePaths.ExportFolderText);
    return true;
}

void RestoreDefaultFolder(int kind) {
    const char* message = nullptr;
    if (kind == kFolderKindVrn) {
        AdoptVrnFolder(DefaultVrnFolder());
        UiSettings.ImportFolderChanged = true;
        message = "Default VRN folder restored.";
    } else if (kind == kFolderKindImport) {
        CopyFolderText(WorkspacePaths.ImportFolderText, DefaultImportsFolder());
        CreateDirectoryTree(WorkspacePaths.ImportFolderText);
        EnsureWorkspaceSubfolders(WorkspacePaths.ImportFolderText);
        UiSettings.ImportFolderChanged = true;
        message = "Default import folder restored.";
    } else if (kind == kFolderKindExport) {
        CopyFolderText(WorkspacePaths.ExportFolderText, DefaultExportsFolder());
        CreateDirectoryTree(WorkspacePaths.ExportFolderText);
        message = "Default export folder restored.";
    } else {
        return;
    }
    // A failed save keeps its own message: the folder is not in VRN.ini.
    if (SaveSettings()) UiSettings.SettingsStatusLine = message;
}

bool CreateDirectoryTree(std::string_view folder) {
    if (folder.empty()) return false;
    std::string t(folder);
    if (platform::IsExistingFolder(t)) return true;
    while (t.size() > 3 && IsSeparator(t.back())) t.pop_back();
    if (!IsDriveRoot(t)) {
        const size_t pos = t.find_last_of("\\/");
        std::string parent = pos == std::string::npos ? std::string() : t.substr(0, pos);
        if (parent.size() == 2 && parent[1] == ':') parent += '\\';
        if (!parent.empty() && parent != t && !platform::IsExistingFolder(parent)) CreateDirectoryTree(parent);
    }
    switch (platform::CreateFolder(t)) {
        case platform::CreateFolderResult::Created: return true;
        case platform::CreateFolderResult::AlreadyExists: return platform::IsExistingFolder(t);
        case platform::CreateFolderResult::Failed: break;
    }
    return false;
}

void EnsureWorkspaceSubfolders(std::string_view root) {
    if (root.empty()) return;
    const std::string base(root);
    CreateDirectoryTree(base + "Timecycles\\");
    CreateDirectoryTree(base + "Timecycle Mods\\");
    CreateDirectoryTree(base + "Weather Files\\");
    CreateDirectoryTree(base + "Misc\\");
}

bool EnsureWorkspaceFolders() {
    const std::string vrn = VrnFolder();
    const std::string exports = ExportsFolder();
    const std::string imports = ImportsFolder();
    const bool vrnMade = CreateDirectoryTree(vrn);
    const bool exportsMade = CreateDirectoryTree(exports);
    const bool importsMade = CreateDirectoryTree(imports);
    EnsureWorkspaceSubfolders(exports);
    EnsureWorkspaceSubfolders(imports);
    return vrnMade && exportsMade && importsMade;
}

void CreateParentDirectory(std::string_view filePath) {
    const size_t pos = filePath.find_last_of("\\/");
    if (pos != std::string_view::npos) CreateDirectoryTree(filePath.substr(0, pos + 1));
}

bool IsPathInWorkspace(std::string_view filePath) {
    // The path is written as given, so it must not need the trimming and
    // unquoting that the folder checks below apply.
    if (filePath.empty() || TrimAndUnquote(filePath) != filePath) return false;
    const std::string parent = ParentFolder(filePath);
    if (parent.empty()) return false;
    const std::string full = FullPath(parent);
    if (full.empty()) return false;
    if (IsInsideProgramFolders(full)) return false;
    return IsUnderFolder(full, VrnFolder()) || IsUnderFolder(full, DefaultVrnFolder()) ||
           IsUnderFolder(full, NormaliseChosenFolder(WorkspacePaths.ImportFolderText, DefaultImportsFolder())) ||
           IsUnderFolder(full, NormaliseChosenFolder(WorkspacePaths.ExportFolderText, DefaultExportsFolder()));
}

bool IsInsideProgramFolders(std::string_view folder) {
    return IsUnderFolder(folder, GetGameFolder()) || IsUnderFolder(folder, GetOwnModuleFolder());
}

std::string GetGameFolder() {
    const std::string exe = platform::ExecutablePath();
    const size_t pos = exe.find_last_of("\\/");
    if (exe.empty() || exe.size() >= 260 || pos == std::string::npos) return ".\\";
    return exe.substr(0, pos + 1);
}

std::string GetOwnModuleFolder() {
    const std::string module = platform::OwnModulePath();
    const size_t pos = module.find_last_of("\\/");
    if (module.empty() || module.size() >= 260 || pos == std::string::npos) return GetGameFolder();
    return module.substr(0, pos + 1);
}

}  // namespace core
