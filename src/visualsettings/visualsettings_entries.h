// How the rest of the editor reaches the visualsettings editor: its entries
// in the editor's entry table (the tick's switch and before/after pass, the
// all-live hotkey's edited test), and the calls of the start-up, the
// overlay's frames and the unload.
#pragma once
#include <cstdint>

#include "runtime/editor_entries.h"

namespace visualsettings {

// Fills the visualsettings entries and registers the binding's code
// searches with the runtime's shared start-up pass (process start).
void FillVisualSettingsEntries(runtime::EditorEntries& entries);

// The one-time start-up: binds the parameters, then resets them to their defaults.
void StartVisualSettings();

// The overlay's frame, after the UI frame is built: while the edits are
// shown and the game module is known, the binding re-runs when a base it
// needs is still missing and bindDue() agrees (the overlay's rate); then the
// puddles scale at the Present point of its mode.
void OverlayFrame(bool (*bindDue)());

// The unload: stops the runtime-table search and the puddles keeper and
// waits at most timeoutMs in all for them (platform::kWaitForever: until
// they have ended; a thread that has not started yet is abandoned instead);
// true when no thread of the editor is left running.
bool StopVisualSettings(uint32_t timeoutMs);

// Every state of the visualsettings editor back to the start of the run
// (tests, while none of its threads runs; the dark filmic slots are the
// runtime's slot tables').
void ResetVisualSettingsForTesting();

}  // namespace visualsettings
