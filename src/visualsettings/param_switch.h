// Before/after of the parameters, on the script fiber: while the edits are
// shown every overridden parameter is re-applied on each pass of the game
// tick (the game keeps rewriting many of them) and the special keys every
// 250 ms; the switch to the game's values writes the parameters' defaults;
// the way back restores the edits and, once, the imported values. Every
// pass also publishes the values the game-side code patches read.
//
// The switch itself runs on the script fiber (FinishVisualSettingsSwitch),
// never on the thread that flipped core::VisualSettingsAfterShown (the
// hotkeys set game::BeforeAfter.VisualSettingsSwitchPending with it; the tab's hold
// button does the same).
//
// Thread rule: the state below is atomics. The script fiber runs the passes;
// the import (render thread) sets importHasUnmapped and resets
// specialKeysReapplyMs; the runtime's per-frame appliers read ImportFollowFlag.
#pragma once
#include <cstdint>

#include "core/shared_value.h"
#include "visualsettings/sections.h"
#include "visualsettings/status_line.h"

namespace visualsettings {

inline constexpr uint64_t kSpecialKeysReapplyMs = 250;

// The switch's state; the thread rule above.
struct SwitchState {
    // The value of core::Editor.VisualSettingsAfterShown the last pass saw.
    core::SharedValue<uint8_t> lastApplied{1};
    // (ImportFollowFlag is runtime::GroupAppliers.importFollow, which the
    // runtime's appliers read too: 1 only during the first shown pass after
    // a switch to shown; rows and slots that merely differ, such as imported
    // values, are then written too.)
    // Set by an import whose file had keys the editor cannot map.
    core::SharedValue<uint8_t> importHasUnmapped{0};
    // Time of the last re-apply of the special keys; 0 = due now.
    core::SharedValue<uint64_t> specialKeysReapplyMs{0};
    // The sections of the user's visualsettings.dat layout for the edited
    // test of the all-live hotkey, as the layout reader gives them; null (no
    // layout) until a reader is set.
    core::SharedValue<const VisualSettingsLayout* (*)()> loadLayout{nullptr};
    // The import/export status line of the visualsettings area.
    StatusLine importExportStatus{"visualsettings.dat import/export idle."};
};
extern SwitchState Switch;

// Early in every tick: completes a pending switch (the defaults of every
// overridden or differing row written when the game's values are now
// shown), then a pass.
void FinishVisualSettingsSwitch();
// The last step of every tick (and of the switch): see above.
void VisualSettingsBeforeAfter();
// Every overridden row (and, with importFollow, every differing one) and
// dark filmic slot written with its value.
void ApplyAllParamsShown();
void ApplyOverriddenParam(VisualSettingsParam& row, uint64_t base);
// Some section of the layout has an edited row (false without a layout).
bool AnyVisualSettingsGroupEdited();

void ResetSwitchForTesting();

}  // namespace visualsettings
