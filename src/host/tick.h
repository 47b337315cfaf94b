// The editor's work on the game's side of each frame: before/after hotkeys,
// clock and timelapse, modifier refresh, weather change, HUD, world toggles,
// free camera, the periodic re-reading of the live override slots and the
// writing (or restore) of the override patches. Script fiber only.
#pragma once
#include <cstdint>

#include "core/shared_value.h"

namespace host {

// Runs one frame of the tick. Called by ScriptMain once per pass after the
// menu-hotkey handling and before ScriptWait(0); never before start-up and
// never on the render thread.
void ScriptTick();

// The tick's state. Written by the tick (script fiber); the two shared
// flags are also read by the render thread (the visualsettings rows) and
// cleared by whatever loads new timecycle values.
struct TickState {
    // Time of the last slot refresh tick (TickCount64 ms, 0 = none); 0 while the
    // menu is closed. Script fiber only.
    uint64_t SlotRefreshStamp = 0;
    // The tick's copy of core::SlotRefreshTick (core/editor_state.h) for the visualsettings rows.
    core::SharedValue<uint8_t> VisualSettingsRefreshTick{0};
    // Set when the imported mode has removed every code patch once; cleared by
    // each frame of the override mode and by whatever loads new timecycle
    // values, so that the next imported frame starts from a clean game.
    core::SharedValue<uint8_t> PatchesClearedForImport{0};
};
extern TickState Tick;

// How a frame writes the override values: before (the game's values shown,
// every patch removed), imported (a loaded timecycle file carried by the
// slots) or override (the user's enabled slots).
enum class TickMode { Before, Imported, Override };
TickMode SelectTickMode();

// Every override patch the tick's groups installed, the tick's own store
// patches included, back to the game's bytes (the before mode does this
// every frame, the unload once).
void RestoreAllTickPatches();

// Back to the state at process start (tests).
void ResetTickState();

}  // namespace host
