// The editor's work on the game's side of each frame: before/after hotkeys,
// clock and timelapse, modifier refresh, weather change, HUD, world toggles,
// free camera, the periodic re-reading of the live override slots and the
// writing (or restore) of the override patches. Script fiber only.
#pragma once
#include <atomic>
#include <cstdint>

namespace host {

// Runs one frame of the tick. Called by ScriptMain once per pass after the
// menu-hotkey handling and before ScriptWait(0); never before start-up and
// never on the render thread.
void ScriptTick();

}  // namespace host
