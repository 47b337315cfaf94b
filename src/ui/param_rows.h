// Pieces of the parameter rows that the editor tabs share: the edited
// marker, the reset button beside it, and the reset of a row's live
// override slot. Render thread only.
#pragma once
#include <cstdint>

namespace runtime {
struct LiveOverrideSlot;
}

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

// A row back to the game's value: value and liveValue := the captured
// baseline (else the last live value), loaded, not enabled, not following
// an import; the value is written to the slot's game address when it has
// one (the write's result is not reported). Nothing for a null slot.
void ResetParamSlot(runtime::LiveOverrideSlot* slot);

}  // namespace ui
