// The "Settings" tab of the main window: layout, hotkeys, game controls,
// timelapse and workspace folders, with "Save settings" and "Reset defaults".
// Render thread only; the tick carries out the game controls on the script
// fiber from the values edited here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "shell/shared_value.h"

namespace shell {

// The whole tab; drawn inside the tab item once per overlay frame.
void DrawSettingsPanel();
// The main window's name for the same panel.
inline void DrawSettingsTab() { DrawSettingsPanel(); }

// One folder row: label, the editable folder text, "Browse" (opens the
// folder dialog of kind) and "Default" (disabled while the text is the
// default folder); both buttons are disabled while a dialog is open.
void DrawFolderRow(const char* label, const char* inputId, char* buffer, size_t capacity, const char* browseLabel,
                   int32_t kind, const char* dialogTitle, const std::string& startFolder,
                   const std::string& defaultFolder, bool dialogOpen);

// One before/after hotkey chooser over the 27 rows; the menu hotkey's key
// is shown disabled, and choosing a key takes it from any other hotkey.
void DrawHotkeyCombo(const char* label, SharedValue<uint32_t>& index);

// "Reset defaults": every setting of the tab back to its default, the VRN
// folder with its import and export folders, the FPS statistics and the
// timelapse (a running timelapse is stopped as by its checkbox, so the game
// clock runs again unless time is locked); then VRN.ini is saved and the
// main window resized. displayWidth and displayHeight size the window.
void ResetSettingsToDefaults(float displayWidth, float displayHeight);

}  // namespace shell
