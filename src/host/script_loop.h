// The editor's script: registered with the script host by the DLL entry, it
// runs for the whole life of the game on the host's script fiber. Until the
// first press of the menu hotkey it only watches that key; the press starts
// the editor (BootstrapEditor) and from then on every pass handles Escape
// and the hotkey and runs the game tick.
#pragma once
#include <cstdint>

namespace host {

// The loop's memory between passes.
struct ScriptLoopState {
    bool started = false;         // the start-up has run
    int32_t menuKey = 0;          // virtual key of the menu hotkey on the previous pass
    bool menuKeyWasDown = false;  // that key was down on the previous pass
    bool escapeWasDown = false;   // Escape was down on the previous pass
};

// Before the first pass: the menu hotkey configured in VRN.ini (read only),
// and the current state of that key and of Escape, so that keys held while
// the game loads don't count as presses.
void ScriptLoopBegin(ScriptLoopState& state);
// One pass, without the wait that ends it. A change of the menu hotkey never
// counts as a press; the first press runs the start-up and opens the menu
// if it may; afterwards Escape (on its press) closes the menu before the
// hotkey toggles it (or closes it while it may not open), then the tick runs.
void ScriptLoopPass(ScriptLoopState& state);

// The registered script: ScriptLoopBegin, then passes for ever, each ended
// by a wait of one frame. Never returns.
[[noreturn]] void ScriptMain();

}  // namespace host
