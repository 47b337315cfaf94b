// The editor's settings: the in-memory values (UiSettings), the two hotkey
// tables, and VRN.ini with its [UI] and [Paths] sections: read once at
// start-up (LoadSettings), written whole by SaveSettings, with the pointer
// file that ties the default VRN folder to a workspace chosen elsewhere.
//
// Threads: every value in UiSettings, and WindowSizeFromIni and
// ImportFolderChanged, is a SharedValue (relaxed atomic) read and written
// by the render thread and the script fiber without locks. The status line
// is a plain text: written by LoadSettings at start-up (script fiber, before
// the overlay exists) and afterwards only on the render thread.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/game_control_settings.h"
#include "core/shared_value.h"

namespace core {

// ---- Hotkey tables ---------------------------------------------------------------

struct HotkeyRow {
    const char* name;
    uint32_t virtualKey;  // 0: no key ("Off")
};

inline constexpr std::array<HotkeyRow, 8> MenuHotkeyTable = {{
    {"F6", 0x75}, {"F7", 0x76}, {"F8", 0x77}, {"F9", 0x78},
    {"F10", 0x79}, {"F11", 0x7A}, {"F12", 0x7B}, {"Insert", 0x2D},
}};

// 26 keys and "Off"; F8 is not offered.
inline constexpr std::array<HotkeyRow, 27> BeforeAfterHotkeyTable = {{
    {"Off", 0},          {"F1", 0x70},        {"F2", 0x71},        {"F3", 0x72},
    {"F4", 0x73},        {"F5", 0x74},        {"F6", 0x75},        {"F7", 0x76},
    {"F9", 0x78},        {"F10", 0x79},       {"F11", 0x7A},       {"F12", 0x7B},
    {"Insert", 0x2D},    {"Home", 0x24},      {"End", 0x23},       {"Page Up", 0x21},
    {"Page Down", 0x22}, {"Numpad 0", 0x60},  {"Numpad 1", 0x61},  {"Numpad 2", 0x62},
    {"Numpad 3", 0x63},  {"Numpad 4", 0x64},  {"Numpad 5", 0x65},  {"Numpad 6", 0x66},
    {"Numpad 7", 0x67},  {"Numpad 8", 0x68},  {"Numpad 9", 0x69},
}};

inline constexpr uint32_t kDefaultMenuHotkey = 3;  // F9

// ---- Settings values ----------------------------------------------------------------

// Defaults and the ranges applied when VRN.ini is read.
inline constexpr float kDefaultUIScale = 1.0f;
inline constexpr float kDefaultUIOpacity = 0.96f;
inline constexpr float kDefaultMenuWidth = 830.0f;
inline constexpr float kDefaultMenuHeight = 1020.0f;
inline constexpr float kDefaultTimelapseSpeed = 600.0f;

// The settings' state: the [UI] values of VRN.ini, the status line and two
// marks. The game-control flags that VRN.ini also stores (GameHudVisible,
// DisableIdleCamera, DisablePedestrians, DisableVehicles) are in
// GameControlFlags (game_control_settings.h). The values and marks are
// SharedValues: read and written by the render thread (the tabs) and the
// script fiber (start-up, tick). The status line is written by the start-up
// before the menu can open and then only on the render thread.
struct SettingsState {
    SharedValue<float> UIScale{kDefaultUIScale};        // 0.5 .. 2.0
    SharedValue<float> UIOpacity{kDefaultUIOpacity};    // 0.2 .. 1.0
    SharedValue<float> MenuWidth{kDefaultMenuWidth};    // pixels, 540 .. 1200
    SharedValue<float> MenuHeight{kDefaultMenuHeight};  // pixels, 520 .. 2200
    SharedValue<uint32_t> MenuHotkey{kDefaultMenuHotkey};         // row of MenuHotkeyTable, 0 .. 7
    SharedValue<uint32_t> TimecycleBeforeAfterHotkey{0};          // rows of BeforeAfterHotkeyTable, 0 .. 26
    SharedValue<uint32_t> VisualSettingsBeforeAfterHotkey{0};
    SharedValue<uint32_t> BothBeforeAfterHotkey{0};
    SharedValue<uint32_t> AllLiveBeforeAfterHotkey{0};
    SharedValue<bool> FPSCounter{false};
    SharedValue<bool> ShowFPSWhenClosed{true};
    SharedValue<float> TimecycleTimelapseSpeed{kDefaultTimelapseSpeed};  // game seconds per real second, 1 .. 3600
    // The settings and folder operations' status line; initially "VRN.ini not loaded.".
    std::string SettingsStatusLine = "VRN.ini not loaded.";
    // The window size is the stored one: 1 after LoadSettings found both
    // MenuWidth and MenuHeight in [UI] of the file (and migrated no width),
    // or after the Settings tab's size sliders moved (a size the user set is
    // not fitted to the display again). While 0 the main window sizes itself
    // by DefaultMainWindowSize of the display. "Reset defaults" clears it.
    SharedValue<bool> WindowSizeFromIni{false};
    // Set whenever the import folder is read or chosen anew; the visualsettings
    // layout reader re-reads its layout while it is set and clears it.
    SharedValue<bool> ImportFolderChanged{true};
};
extern SettingsState UiSettings;

// Every value above, the game controls and the folder texts back to their
// state at process start (for tests and the reset of a whole session).
void ResetSettingsState();

// ---- VRN.ini ------------------------------------------------------------------------

// Locates the file, fills the values and folders, creates the folders, sets
// the status line, and saves where needed. Once, at start-up. A file that
// is there but can't be read as text (UTF-16, binary, over 64 MiB, no
// access) gives the defaults and "VRN.ini could not be read, defaults
// used: <path>"; a folder in it too long for the 260-byte folder texts is
// refused (the default folder is used) with "VRN.ini folder path too long,
// default folder used: <path>". Neither file is then saved by the start-up.
void LoadSettings();
// Writes the whole file (CR LF line ends) and sets the status line:
// "VRN.ini saved: <path>", "VRN.ini save failed: invalid path.",
// "VRN.ini save failed: folder path too long." or "VRN.ini save failed:
// <path>" (the path ends the line). A failed write leaves the old file as
// it was. True when the file was written; callers that put their own
// message over the save's keep the failure message when it is false.
bool SaveSettings();
// The whole text SaveSettings writes for the current values and folders.
std::string SettingsFileText();
// Writes the pointer file ("[Paths]", "WorkspaceDirectory=") in the default
// VRN folder when the VRN folder lies elsewhere. Reports nothing.
void WritePathsOnlyIni();
// A MenuHotkey value of VRN.ini as a row of MenuHotkeyTable: a row name in
// any case, else a decimal number 0 to 7 (leading digits, the rest
// ignored), else 3 (F9).
uint32_t MenuHotkeyIndexFromText(std::string_view text);
// The VRN.ini to read: the one in defaultFolder, then up to two
// WorkspaceDirectory hops (a hop to a folder without VRN.ini keeps the file
// before it and sets moved; a hop to a folder too long for the folder texts
// is not taken and sets *folderTooLong). folder receives the VRN folder the
// hops lead to. Reads only; empty when defaultFolder is.
std::string FindSettingsFile(const std::string& defaultFolder, std::string& folder, bool& moved,
                             bool* folderTooLong = nullptr);
// Decides which VRN.ini to read (following up to two WorkspaceDirectory
// hops) and sets the VRN folder. Empty path when there is no Documents folder.
std::string LocateSettingsAndPaths(bool& exists, bool& moved, bool* folderTooLong = nullptr);

// The settings text of a file: false when the file is missing, over 64 MiB,
// can't be read, or is not 8-bit text (it holds a zero byte or begins with
// a UTF-16 byte-order mark); text is then empty. *tooLarge (when given)
// tells a file over 64 MiB from the others.
bool ReadSettingsFile(const std::string& path, std::string& text, bool* tooLarge = nullptr);
// The raw (trimmed, not unquoted) value of key in section of a settings
// text. Lines end in CR LF, LF or CR alone; keys and section names match
// without regard to case; the first matching line wins; a UTF-8 byte-order
// mark at the start is skipped.
bool IniTextValue(std::string_view iniText, std::string_view section, std::string_view key, std::string& value);
// IniTextValue over the file at path (ReadSettingsFile); false when it
// can't be read or the key isn't there.
bool IniReadRaw(const std::string& path, std::string_view section, std::string_view key, std::string& value);
// Typed readers over a settings text, always in section "UI". A missing key
// gives the default (not clamped); no number read, infinity or NaN give the
// default; other values are clamped to min .. max.
float IniReadFloat(std::string_view iniText, std::string_view key, float defaultValue, float minValue, float maxValue);
// "1"/"true"/"yes"/"on" and "0"/"false"/"no"/"off" in any case; else the default.
bool IniReadBool(std::string_view iniText, std::string_view key, bool defaultValue);
// A row name of BeforeAfterHotkeyTable (any case) or a number 0 .. 26; else 0.
uint32_t IniReadBeforeAfterHotkey(std::string_view iniText, std::string_view key);

// ---- Hotkeys --------------------------------------------------------------------------

// Brings the menu hotkey (>= 8: 3) and the four before/after hotkeys (>= 27
// or the menu key: 0) into range and de-duplicates them in the order
// Timecycle, VisualSettings, Both, AllLive (the earlier keeps its key).
void ValidateHotkeys();
// Frees a key for a new use: every before/after hotkey other than keep whose
// key code equals code becomes 0 ("Off"). Code 0 does nothing; keep may be null.
void ClearDuplicateHotkey(uint32_t code, const SharedValue<uint32_t>* keep);
// The menu hotkey's virtual key; an index above 7 is first reset to 3.
int32_t GetMenuHotkeyVk();

// ---- Settings tab -----------------------------------------------------------------

// The short form of SettingsStatusLine for the Settings tab (maybe empty).
std::string SettingsStatusText();

struct MainWindowSize {
    float width;
    float height;
};
// The default main window size for a display of width x height pixels.
MainWindowSize DefaultMainWindowSize(float displayWidth, float displayHeight);

// Whether anything the Settings tab shows differs from its default; the
// window size is compared with DefaultMainWindowSize of the given display.
// Reads the game controls from game_control_settings.h.
bool SettingsDifferFromDefaults(float displayWidth, float displayHeight);

}  // namespace core
