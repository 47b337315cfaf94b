// The overlay's look: style metrics and the warm red colour theme, applied
// once when the overlay is set up, and the per-row revert button that the
// editor tables share.
#pragma once

namespace ui {

// Spacing, padding, rounding and border sizes, with a blue-grey base palette.
void ApplyUiStyleMetrics();
// The warm red palette and final roundings over the metrics' base. Always
// called after ApplyUiStyleMetrics.
void ApplyUiStyleColours();

// Draws a table row's small revert button "R": red while on, inert grey
// while off. True only when clicked while on. Leaves the style colour
// stack as it found it.
bool PushToggleButtonColors(bool on);

}  // namespace ui
