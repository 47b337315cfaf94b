// The "Settings" tab of the main window: layout, hotkeys, game controls,
// timelapse and workspace folders, with "Save settings" and "Reset defaults".
// Render thread only.
#pragma once

namespace shell {

// The whole tab; drawn inside the tab item once per overlay frame.
void DrawSettingsPanel();
// The main window's name for the same panel.
inline void DrawSettingsTab() { DrawSettingsPanel(); }

}  // namespace shell
