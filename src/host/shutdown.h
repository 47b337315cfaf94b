// The unload: gives the game its own code back when the script host
// unloads the DLL. Safe when nothing was ever set up.
#pragma once
#include <cstdint>

namespace host {

// The unload's settings. Set before the unload runs (tests shorten the
// wait); read by the unload on the script host's thread.
struct ShutdownState {
    // How long the unload waits for threads still inside the editor's detours
    // before it releases what they use.
    uint32_t DetourDrainTimeoutMs = 2000;
};
extern ShutdownState Shutdown;
// Back to the values at process start (tests).
void ResetShutdownState();

// In this order: the editor's threads stopped and waited for (a bounded
// wait); the game's code written back (the write-list cave's jump, every
// override patch and the tick's own store patches, the jumps into the
// live-write caves); the hooks disabled; the game window's own procedure
// back; once no thread is inside a detour any more, the hook engine
// uninitialised (the hooks removed); the weather documents and the sirens
// released (the values they wrote stay in the game's data), and the
// keyframe table's snapshots of the game's bytes wiped and freed; then the
// overlay's GPU work waited for and its objects and UI context released;
// last, when one of the editor's own threads had not ended in the first
// wait, a wait until it has (its code must not go away under it). A thread
// that has not yet entered the editor's code is abandoned instead of waited
// for: it never enters it. When a thread does not leave a detour in time
// the hook engine and the overlay objects are left alone (a leak is better
// than freeing what is in use).
void ShutdownEditor();

}  // namespace host
