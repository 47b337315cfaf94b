// The "Visualsettings" tab: the state of the Imports folder's
// visualsettings.dat, the load, export and reset buttons, a hold button for
// before/after, a search box, the sections of the file's layout on the left
// and the collapsible groups ("blocks") of the chosen section on the right
// with one editing row per key. Every change goes to the game at once
// through the visualsettings live writers. Rows outside the visible part of
// the list are not drawn (their space is kept).
//
// Keys are looked up ignoring case, as the import matches them: the layout
// spells every key as the editor's row spells it.
#pragma once
#include <cstdint>

namespace ui {

// The tab's own state. Thread rule: render thread only.
struct VisualSettingsTabState {
    int32_t selectedSection = 0;
    char search[160] = {};
    // The hold button was down on the tab's last frame.
    uint8_t holdActive = 0;
    // ImGui's frame count when the tab was last drawn; a hold that the tab
    // cannot see released (the tab or the menu closed) is released at the
    // end of the first frame that does not draw the tab.
    int32_t drawnFrame = -1;
    // Height of one drawn row (label, editor, separator), for the rows left out.
    float rowHeight = 0.0f;
    uint64_t rowsDrawn = 0;  // rows drawn in the last frame (tests)
};
extern VisualSettingsTabState VisualSettingsTab;
void ResetVisualSettingsTabState();

// The tab body, drawn inside its tab item once per overlay frame.
void DrawVisualsettingsPanel();
inline void DrawVisualSettingsTab() { DrawVisualsettingsPanel(); }

// The whole number a drag of a row edits: v rounded in 64 bits and clamped
// to the int range (0 for a value that is not finite).
int32_t VisualDragInt(double v);
// The section list's width for the available width.
float VisualSectionListWidth(float available);

}  // namespace ui
