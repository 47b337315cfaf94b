// Pieces of the parameter rows that the editor tabs share: the edited
// marker and the reset button beside it (a row's reset itself is
// visualsettings::ResetVisualSettingRow). Render thread only.
#pragma once
#include <cstdint>

namespace ui {

// The edited marker, on the same line: "*" a little larger and raised, in
// the edited orange, in a space of the width of "*" plus 7 px and the
// font's height.
void DrawParamLabel();

// With shown 0 nothing is drawn and the result is false. Otherwise, on the
// same line 18 px from the right edge of the content region (or where the
// line stands when that is further right), the small "R##reset_param"
// button; true in the frame it is clicked.
bool DrawResetParamButton(uint8_t shown);

}  // namespace ui
