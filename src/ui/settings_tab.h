// The "Settings" tab of the main window: layout, hotkeys, game controls,
// timelapse and workspace folders, with "Save settings" and "Reset defaults".
// Render thread only; the tick carries out the game controls on the script
// fiber from the values edited here. What the game then receives:
//   "Disable HUD" on: every tick 0xA6294919E56FF02A (0), 0xA0EBB943C300E693 (0)
//     and 0x719FF505F097FD20 (); off: the first two with 1.
//   "Blackout Mode": 0x1268615ACE24D504 (1 / 0), once per change.
//   "Disable Idle Camera", "Disable Pedestrians", "Disable Vehicles": their
//     suppression natives every tick (game_controls.cpp); vehicles off again
//     sends 0x80D9F74197EA47D9 (1) and 0x2AFD795EEAC8D30D (1) once.
//   "Timelapse" on: the clock read (0x494E97C2EF27C470, 0x13D2B8ADD79640F2,
//     0x25223CA6B4D20B7F), pause 0x4055E40BD2DBEC1D (1), then on each new
//     game minute or every 250 ms 0x4055E40BD2DBEC1D (1), 0x47C3B5848C3E45D8
//     (h, m, 0), 0xE679E3E06E363892 (h, m, 0); off: 0x4055E40BD2DBEC1D (0),
//     or (1) while "Lock Time" is set.
//   "Enable Free Cam": the camera natives of free_camera.cpp.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/shared_value.h"
#include "core/workspace.h"

namespace ui {

// The whole tab; drawn inside the tab item once per overlay frame.
void DrawSettingsPanel();
// The main window's name for the same panel.
inline void DrawSettingsTab() { DrawSettingsPanel(); }

// What a folder field shows. A path typed there that is too long for the
// folder text is refused, never cut: it stays in the field, the folder
// stays as it was, and "Save settings" does not save until the field is
// mended (or the folder is set another way).
struct FolderField {
    std::string text;
    std::string shownFolder;  // the folder text the field last took or set
    bool shown = false;       // false: the field takes the folder text at its next frame
    bool tooLong = false;
};
// The tab's own state: the folder fields. Render thread only.
struct SettingsTabState {
    std::array<FolderField, 3> folders;  // VRN, Import, Export
};
extern SettingsTabState SettingsTab;
void ResetSettingsTab();

// One folder row: label, the editable folder text, "Browse" (opens the
// folder dialog of kind) and "Default" (disabled while the field shows the
// default folder); both buttons are disabled while a dialog is open.
void DrawFolderRow(const char* label, const char* inputId, FolderField& field, char (&folder)[core::kFolderTextSize],
                   const char* browseLabel, int32_t kind, const char* dialogTitle, const std::string& startFolder,
                   const std::string& defaultFolder, bool dialogOpen);

// One before/after hotkey chooser over the 27 rows; the menu hotkey's key
// is shown disabled, and choosing a key takes it from any other hotkey.
void DrawHotkeyCombo(const char* label, core::SharedValue<uint32_t>& index);

// "Reset defaults": every setting of the tab back to its default, the VRN
// folder with its import and export folders, the FPS statistics and the
// timelapse (a running timelapse is stopped as by its checkbox, so the game
// clock runs again unless time is locked); then VRN.ini is saved and the
// main window resized. displayWidth and displayHeight size the window.
void ResetSettingsToDefaults(float displayWidth, float displayHeight);

}  // namespace ui
