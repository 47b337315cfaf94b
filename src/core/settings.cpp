#include "core/settings.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "core/file_utils.h"
#include "core/text.h"
#include "core/workspace.h"
#include "platform/files.h"

namespace core {

SettingsState UiSettings;

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// The four before/after hotkeys in the order that decides which of two
// equal choices keeps its key.
SharedValue<uint32_t>* const kBeforeAfterHotkeys[4] = {
    &UiSettings.TimecycleBeforeAfterHotkey,
    &UiSettings.VisualSettingsBeforeAfterHotkey,
    &UiSettings.BothBeforeAfterHotkey,
    &UiSettings.AllLiveBeforeAfterHotkey,
};

uint32_t BeforeAfterKeyCode(uint32_t index) {
    return index < BeforeAfterHotkeyTable.size() ? BeforeAfterHotkeyTable[index].virtualKey : 0;
}

// A row name (any case) of the table, else a decimal row number; else fallback.
template <size_t N>
uint32_t HotkeyIndexFromText(std::string_view text, const std::array<HotkeyRow, N>& table, uint32_t fallback) {
    for (size_t i = 0; i < N; ++i) {
        if (EqualsNoCase(text, table[i].name)) return static_cast<uint32_t>(i);
    }
    int64_t number = 0;
    if (ParseIntPrefix(text, number) && number >= 0 && number < static_cast<int64_t>(N)) {
        return static_cast<uint32_t>(number);
    }
    return fallback;
}

// [Paths] WorkspaceDirectory, or its older names.
bool ReadWorkspaceDirectory(const std::string& path, std::string& value) {
    std::string text;
    if (!ReadSettingsFile(path, text)) return false;
    return IniTextValue(text, "Paths", "WorkspaceDirectory", value) || IniTextValue(text, "Paths", "VrnDirectory", value) ||
           IniTextValue(text, "Paths", "VRNFolder", value);
}

// One WorkspaceDirectory hop of FindSettingsFile: false when the folder
// named there is too long for the folder texts (with its "Imports\\").
bool FollowHop(const std::string& value, const std::string& defaultFolder, std::string& folder, std::string& file,
               bool& moved) {
    const std::string next = VrnFolderFromChoice(value, defaultFolder);
    if (!FitsFolderText(next + "Imports\\")) return false;
    folder = next;
    if (platform::IsExistingFile(folder + "VRN.ini")) file = folder + "VRN.ini";
    else moved = true;
    return true;
}

// A [Paths] folder of the file into its folder text; false (the text stays
// empty, so the default is used) when it is too long.
bool ReadFolderSetting(std::string_view iniText, std::initializer_list<const char*> keys, const std::string& fallback,
                       char (&dest)[kFolderTextSize]) {
    std::string raw = fallback;
    for (const char* key : keys) {
        if (IniTextValue(iniText, "Paths", key, raw)) break;
    }
    dest[0] = '\0';
    return CopyFolderText(dest, NormaliseChosenFolder(raw, fallback));
}

const char* Flag(bool on) { return on ? "1" : "0"; }

bool Near(float a, float b, float tolerance) { return std::fabs(a - b) <= tolerance; }

}  // namespace

std::string SettingsFileText() {
    const uint32_t menu = std::min<uint32_t>(UiSettings.MenuHotkey, MenuHotkeyTable.size() - 1);
    auto beforeAfterName = [](uint32_t index) {
        return BeforeAfterHotkeyTable[index < BeforeAfterHotkeyTable.size() ? index : 0].name;
    };
    std::string text;
    auto line = [&text](std::string_view a, std::string_view b = {}) {
        text += a;
        text += b;
        text += "\r\n";
    };
    line("[UI]");
    line("UIScale=", FormatFixed3(UiSettings.UIScale));
    line("UIOpacity=", FormatFixed3(UiSettings.UIOpacity));
    line("MenuWidth=", FormatFixed3(UiSettings.MenuWidth));
    line("MenuHeight=", FormatFixed3(UiSettings.MenuHeight));
    line("MenuHotkey=", MenuHotkeyTable[menu].name);
    line("TimecycleBeforeAfterHotkey=", beforeAfterName(UiSettings.TimecycleBeforeAfterHotkey));
    line("VisualSettingsBeforeAfterHotkey=", beforeAfterName(UiSettings.VisualSettingsBeforeAfterHotkey));
    line("BothBeforeAfterHotkey=", beforeAfterName(UiSettings.BothBeforeAfterHotkey));
    line("AllLiveBeforeAfterHotkey=", beforeAfterName(UiSettings.AllLiveBeforeAfterHotkey));
    line("FPSCounter=", Flag(UiSettings.FPSCounter));
    line("ShowFPSWhenClosed=", Flag(UiSettings.ShowFPSWhenClosed));
    line("TimecycleTimelapseSpeed=", FormatFixed3(UiSettings.TimecycleTimelapseSpeed));
    line("GameHudVisible=", Flag(GameControlFlags.GameHudVisible));
    line("DisableIdleCamera=", Flag(GameControlFlags.DisableIdleCamera));
    line("DisablePedestrians=", Flag(GameControlFlags.DisablePedestrians));
    line("DisableVehicles=", Flag(GameControlFlags.DisableVehicles));
    line("");
    line("[Paths]");
    line("WorkspaceDirectory=", VrnFolder());
    line("ImportDirectory=", ImportsFolder());
    line("ExportDirectory=", ExportsFolder());
    return text;
}

void ResetSettingsState() {
    UiSettings.UIScale = kDefaultUIScale;
    UiSettings.UIOpacity = kDefaultUIOpacity;
    UiSettings.MenuWidth = kDefaultMenuWidth;
    UiSettings.MenuHeight = kDefaultMenuHeight;
    UiSettings.MenuHotkey = kDefaultMenuHotkey;
    for (SharedValue<uint32_t>* hotkey : kBeforeAfterHotkeys) *hotkey = 0;
    UiSettings.FPSCounter = false;
    UiSettings.ShowFPSWhenClosed = true;
    UiSettings.TimecycleTimelapseSpeed = kDefaultTimelapseSpeed;
    UiSettings.SettingsStatusLine = "VRN.ini not loaded.";
    UiSettings.WindowSizeFromIni = false;
    UiSettings.ImportFolderChanged = true;
    ResetGameControlSettings();
    ResetWorkspaceState();
}

// ---- Reading ------------------------------------------------------------------------------

bool ReadSettingsFile(const std::string& path, std::string& text, bool* tooLarge) {
    text.clear();
    if (tooLarge) *tooLarge = false;
    if (path.empty()) return false;
    const platform::ReadStatus status = platform::ReadWholeFile(path, kMaxFileBytes, text);
    if (tooLarge) *tooLarge = status == platform::ReadStatus::TooLarge;
    if (status != platform::ReadStatus::Ok) return false;
    const std::string_view start = std::string_view(text).substr(0, 2);
    if (text.find('\0') != std::string::npos || start == "\xFF\xFE" || start == "\xFE\xFF") {
        text.clear();
        return false;
    }
    return true;
}

bool IniTextValue(std::string_view text, std::string_view section, std::string_view key, std::string& value) {
    if (text.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) text.remove_prefix(kUtf8ByteOrderMark.size());
    bool inSection = false;
    while (!text.empty()) {
        const size_t end = text.find_first_of("\r\n");
        const std::string line = TrimCopy(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            inSection = EqualsNoCase(TrimCopy(std::string_view(line).substr(1, line.size() - 2)), section);
            continue;
        }
        if (!inSection) continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        if (!EqualsNoCase(TrimCopy(std::string_view(line).substr(0, equals)), key)) continue;
        value = TrimCopy(std::string_view(line).substr(equals + 1));
        return true;
    }
    return false;
}

bool IniReadRaw(const std::string& path, std::string_view section, std::string_view key, std::string& value) {
    std::string text;
    return ReadSettingsFile(path, text) && IniTextValue(text, section, key, value);
}

float IniReadFloat(std::string_view iniText, std::string_view key, float defaultValue, float minValue, float maxValue) {
    std::string raw;
    if (!IniTextValue(iniText, "UI", key, raw)) return defaultValue;
    float value = 0.0f;
    if (!ParseFloatPrefix(raw, value) || !std::isfinite(value)) return defaultValue;
    if (value < minValue) return minValue;
    if (value > maxValue) return maxValue;
    return value;
}

bool IniReadBool(std::string_view iniText, std::string_view key, bool defaultValue) {
    std::string raw;
    if (!IniTextValue(iniText, "UI", key, raw)) return defaultValue;
    for (const char* word : {"1", "true", "yes", "on"}) {
        if (EqualsNoCase(raw, word)) return true;
    }
    for (const char* word : {"0", "false", "no", "off"}) {
        if (EqualsNoCase(raw, word)) return false;
    }
    return defaultValue;
}

uint32_t IniReadBeforeAfterHotkey(std::string_view iniText, std::string_view key) {
    std::string raw;
    if (!IniTextValue(iniText, "UI", key, raw)) return 0;
    return HotkeyIndexFromText(raw, BeforeAfterHotkeyTable, 0);
}

uint32_t MenuHotkeyIndexFromText(std::string_view text) {
    return HotkeyIndexFromText(text, MenuHotkeyTable, kDefaultMenuHotkey);
}

std::string FindSettingsFile(const std::string& defaultFolder, std::string& folder, bool& moved, bool* folderTooLong) {
    moved = false;
    folder = defaultFolder;
    if (defaultFolder.empty()) return {};
    std::string file = defaultFolder + "VRN.ini";
    std::string value;
    bool refused = false;
    // First hop: the default file may point at the workspace; second hop:
    // the file found there may point on once more.
    if (ReadWorkspaceDirectory(file, value)) refused = !FollowHop(value, defaultFolder, folder, file, moved);
    if (!refused && platform::IsExistingFile(file) && ReadWorkspaceDirectory(file, value) &&
        !SamePath(VrnFolderFromChoice(value, defaultFolder), folder))
        refused = !FollowHop(value, defaultFolder, folder, file, moved);
    if (folderTooLong) *folderTooLong = refused;
    return file;
}

std::string LocateSettingsAndPaths(bool& exists, bool& moved, bool* folderTooLong) {
    moved = false;
    exists = false;
    if (folderTooLong) *folderTooLong = false;
    const std::string defaultFolder = DefaultVrnFolder();
    if (defaultFolder.empty()) return {};
    std::string folder;
    const std::string file = FindSettingsFile(defaultFolder, folder, moved, folderTooLong);
    SetVrnFolder(folder);
    exists = platform::IsExistingFile(file);
    CreateDirectoryTree(folder);
    return file;
}

void LoadSettings() {
    bool exists = false;
    bool moved = false;
    bool folderTooLong = false;
    const std::string path = LocateSettingsAndPaths(exists, moved, &folderTooLong);
    // A file that is there but can't be read as text gives the defaults and
    // is left alone.
    std::string text;
    bool tooLarge = false;
    const bool unreadable = exists && !ReadSettingsFile(path, text, &tooLarge);

    UiSettings.UIScale = IniReadFloat(text, "UIScale", kDefaultUIScale, 0.5f, 2.0f);
    UiSettings.UIOpacity = IniReadFloat(text, "UIOpacity", kDefaultUIOpacity, 0.2f, 1.0f);
    std::string raw;
    UiSettings.WindowSizeFromIni = IniTextValue(text, "UI", "MenuWidth", raw) && IniTextValue(text, "UI", "MenuHeight", raw);
    float width = IniReadFloat(text, "MenuWidth", kDefaultMenuWidth, 540.0f, 1200.0f);
    bool migrated = false;
    if (exists && (Near(width, 540.0f, 0.5f) || Near(width, 590.0f, 0.5f))) {
        width = kDefaultMenuWidth;
        UiSettings.WindowSizeFromIni = false;
        migrated = true;
    }
    UiSettings.MenuWidth = width;
    UiSettings.MenuHeight = IniReadFloat(text, "MenuHeight", kDefaultMenuHeight, 520.0f, 2200.0f);
    UiSettings.FPSCounter = IniReadBool(text, "FPSCounter", false);
    UiSettings.ShowFPSWhenClosed = IniReadBool(text, "ShowFPSWhenClosed", true);
    UiSettings.TimecycleTimelapseSpeed = IniReadFloat(text, "TimecycleTimelapseSpeed", kDefaultTimelapseSpeed, 1.0f, 3600.0f);
    GameControlFlags.GameHudVisible = IniReadBool(text, "GameHudVisible", true);
    GameControlFlags.DisableIdleCamera = IniReadBool(text, "DisableIdleCamera", false);
    GameControlFlags.DisablePedestrians = IniReadBool(text, "DisablePedestrians", false);
    GameControlFlags.DisableVehicles = IniReadBool(text, "DisableVehicles", false);

    UiSettings.MenuHotkey =
        IniTextValue(text, "UI", "MenuHotkey", raw) ? MenuHotkeyIndexFromText(raw) : kDefaultMenuHotkey;
    UiSettings.TimecycleBeforeAfterHotkey = IniReadBeforeAfterHotkey(text, "TimecycleBeforeAfterHotkey");
    UiSettings.VisualSettingsBeforeAfterHotkey = IniReadBeforeAfterHotkey(text, "VisualSettingsBeforeAfterHotkey");
    UiSettings.BothBeforeAfterHotkey = IniReadBeforeAfterHotkey(text, "BothBeforeAfterHotkey");
    UiSettings.AllLiveBeforeAfterHotkey = IniReadBeforeAfterHotkey(text, "AllLiveBeforeAfterHotkey");
    ValidateHotkeys();

    if (!ReadFolderSetting(text, {"ImportDirectory", "TimecycleImportDirectory"}, DefaultImportsFolder(),
                           WorkspacePaths.ImportFolderText))
        folderTooLong = true;
    UiSettings.ImportFolderChanged = true;
    if (!ReadFolderSetting(text, {"ExportDirectory"}, DefaultExportsFolder(), WorkspacePaths.ExportFolderText))
        folderTooLong = true;
    if (moved) ResetImportExportFolders(VrnFolder());

    CreateDirectoryTree(VrnFolder());
    ImportsFolder();  // creates the import folder and its sub-folders
    EnsureWorkspaceSubfolders(ExportsFolder());

    // Neither an unreadable file nor one with a refused folder is saved
    // over: the user's file stays as it is until the user saves. A save
    // that fails keeps its own message, so a file that was not written is
    // never reported as created, moved or updated.
    if (unreadable) {
        UiSettings.SettingsStatusLine = std::string("VRN.ini ") +
                             (tooLarge ? FileReadFailureText(FileReadFailure::TooLarge) : "could not be read") +
                             ", defaults used: " + path;
    } else if (folderTooLong) {
        UiSettings.SettingsStatusLine = "VRN.ini folder path too long, default folder used: " + path;
    } else if (exists && moved) {
        if (SaveSettings()) UiSettings.SettingsStatusLine = "VRN.ini moved to selected VRN folder: " + IniPath();
    } else if (exists && migrated) {
        if (SaveSettings()) UiSettings.SettingsStatusLine = "VRN.ini updated with current default window width: " + path;
    } else if (exists) {
        UiSettings.SettingsStatusLine = "VRN.ini loaded: " + path;
    } else {
        if (SaveSettings()) UiSettings.SettingsStatusLine = "VRN.ini created with default settings: " + path;
    }
}

// ---- Writing -------------------------------------------------------------------------------

bool SaveSettings() {
    ValidateHotkeys();
    const std::string chosen = VrnFolderFromChoice(WorkspacePaths.VrnFolderText, DefaultVrnFolder());
    const bool fits = SamePath(chosen, WorkspacePaths.AdoptedVrnFolder) ? SetVrnFolder(chosen)
                                                                         : AdoptVrnFolder(chosen);  // newly typed
    if (!fits) {
        UiSettings.SettingsStatusLine = "VRN.ini save failed: folder path too long.";
        return false;
    }
    const std::string path = IniPath();
    if (!IsPathInWorkspace(path)) {
        UiSettings.SettingsStatusLine = "VRN.ini save failed: invalid path.";
        return false;
    }
    if (!platform::WriteWholeFile(path, SettingsFileText())) {
        UiSettings.SettingsStatusLine = "VRN.ini save failed: " + path;
        return false;
    }
    WritePathsOnlyIni();
    UiSettings.SettingsStatusLine = "VRN.ini saved: " + path;
    return true;
}

void WritePathsOnlyIni() {
    const std::string vrn = VrnFolder();
    const std::string defaultFolder = DefaultVrnFolder();
    if (vrn.empty() || defaultFolder.empty() || SamePath(vrn, defaultFolder)) return;
    CreateDirectoryTree(defaultFolder);
    const std::string pointer = defaultFolder + "VRN.ini";
    if (!IsPathInWorkspace(pointer)) return;
    platform::WriteWholeFile(pointer, "[Paths]\r\nWorkspaceDirectory=" + vrn + "\r\n");
}

// ---- Hotkeys ----------------------------------------------------------------------------------

void ValidateHotkeys() {
    uint32_t menu = UiSettings.MenuHotkey;
    if (menu >= MenuHotkeyTable.size()) {
        menu = kDefaultMenuHotkey;
        UiSettings.MenuHotkey = menu;
    }
    const uint32_t menuKey = MenuHotkeyTable[menu].virtualKey;
    for (SharedValue<uint32_t>* hotkey : kBeforeAfterHotkeys) {
        const uint32_t index = *hotkey;
        if (index >= BeforeAfterHotkeyTable.size() || BeforeAfterKeyCode(index) == menuKey) *hotkey = 0;
    }
    for (SharedValue<uint32_t>* hotkey : kBeforeAfterHotkeys) ClearDuplicateHotkey(BeforeAfterKeyCode(*hotkey), hotkey);
}

void ClearDuplicateHotkey(uint32_t code, const SharedValue<uint32_t>* keep) {
    if (code == 0) return;
    for (SharedValue<uint32_t>* hotkey : kBeforeAfterHotkeys) {
        if (hotkey != keep && BeforeAfterKeyCode(*hotkey) == code) *hotkey = 0;
    }
}

int32_t GetMenuHotkeyVk() {
    uint32_t menu = UiSettings.MenuHotkey;
    if (menu >= MenuHotkeyTable.size()) {
        menu = kDefaultMenuHotkey;
        UiSettings.MenuHotkey = menu;
    }
    return static_cast<int32_t>(MenuHotkeyTable[menu].virtualKey);
}

// ---- Settings tab ------------------------------------------------------------------------------

std::string SettingsStatusText() {
    const std::string line = UiSettings.SettingsStatusLine;
    struct Row {
        std::string_view prefix;
        const char* shortText;
    };
    static constexpr Row kRows[] = {
        {"VRN.ini loaded:", ""},
        {"VRN.ini saved:", "Settings saved."},
        {"VRN.ini save failed:", "Settings could not be saved."},
        {"VRN.ini created", "Settings created."},
        {"VRN.ini moved", "VRN folder saved."},
        {"VRN folder selected", "VRN folder saved."},
        {"Import folder selected", "Import folder saved."},
        {"Export folder selected", "Export folder saved."},
        {"VRN.ini updated", "Settings updated."},
    };
    if (line.empty() || line == "VRN.ini not loaded.") return {};
    for (const Row& row : kRows) {
        if (std::string_view(line).starts_with(row.prefix)) return row.shortText;
    }
    return line;
}

MainWindowSize DefaultMainWindowSize(float displayWidth, float displayHeight) {
    const float w = displayWidth > 0.0f ? displayWidth : 1920.0f;
    const float h = displayHeight > 0.0f ? displayHeight : 1080.0f;
    const float maxW = std::min(std::max(w - 20.0f, 240.0f), 1200.0f);
    const float maxH = std::min(std::max(h - 20.0f, 320.0f), 1100.0f);
    const float minW = std::min(maxW, 540.0f);
    const float minH = std::min(maxH, 720.0f);
    return {std::max(minW, std::min(830.0f, maxW)), std::max(minH, std::min(0.86f * h, maxH))};
}

bool SettingsDifferFromDefaults(float displayWidth, float displayHeight) {
    const MainWindowSize size = DefaultMainWindowSize(displayWidth, displayHeight);
    bool anyBeforeAfter = false;
    for (const SharedValue<uint32_t>* hotkey : kBeforeAfterHotkeys) anyBeforeAfter = anyBeforeAfter || *hotkey != 0;
    return !Near(UiSettings.UIScale, kDefaultUIScale, 0.0005f) || !Near(UiSettings.UIOpacity, kDefaultUIOpacity, 0.0005f) ||
           !Near(UiSettings.MenuWidth, size.width, 0.5f) || !Near(UiSettings.MenuHeight, size.height, 0.5f) ||
           UiSettings.MenuHotkey != kDefaultMenuHotkey || anyBeforeAfter || !GameControlFlags.GameHudVisible ||
           GameControlFlags.DisableIdleCamera || GameControlFlags.DisablePedestrians || GameControlFlags.DisableVehicles ||
           GameControlFlags.BlackoutMode || GameControlFlags.FreeCamEnabled ||
           !Near(GameControlFlags.FreeCamSpeed, kDefaultFreeCamSpeed, 0.0005f) ||
           !Near(GameControlFlags.FreeCamMouseSensitivity, kDefaultFreeCamMouseSensitivity, 0.0005f) || UiSettings.FPSCounter ||
           !UiSettings.ShowFPSWhenClosed || !SamePath(WorkspacePaths.VrnFolderText, DefaultVrnFolder()) ||
           !SamePath(WorkspacePaths.ImportFolderText, DefaultImportsFolder()) ||
           !SamePath(WorkspacePaths.ExportFolderText, DefaultExportsFolder()) || GameControlFlags.TimelapseEnabled ||
           !Near(UiSettings.TimecycleTimelapseSpeed, kDefaultTimelapseSpeed, 0.0005f);
}

}  // namespace core
