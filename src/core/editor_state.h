// Flags shared by the script fiber, the render thread and the window
// procedure. Each is one byte or word, a SharedValue, so that the threads
// never race on them.
#pragma once
#include <cstdint>

#include "core/shared_value.h"

namespace core {

// The editor's shared flags (any thread; each is a SharedValue).
struct EditorState {
    // 1 while the main window is open.
    SharedValue<uint8_t> MenuOpen{0};
    // Before/after: 1 = edits shown, 0 = the game's own values. Both start at 1
    // and are never saved.
    SharedValue<uint8_t> TimecycleAfterShown{1};
    SharedValue<uint8_t> VisualSettingsAfterShown{1};
    // After a swap-chain resize or a display-size change the window closes and
    // cannot reopen until the cooldown has run out.
    SharedValue<uint8_t> MenuSuspended{0};
    SharedValue<int32_t> MenuCooldownFrames{0};
    // 1 on the frames of the game tick on which the open menu allows loaded
    // live override slots to be read again (at most every 250 ms).
    SharedValue<uint8_t> SlotRefreshTick{0};
    // Frames during which the Timecycles tab re-reads the timecycle slots from
    // the game (it counts them down). A weather change or a clock set raises it;
    // whatever loads new timecycle values clears it.
    SharedValue<int32_t> TimecycleRereadFrames{0};
};
extern EditorState Editor;
// Every flag back to its value at process start (tests).
void ResetEditorState();

// TimecycleRereadFrames := max(TimecycleRereadFrames, frames).
void RaiseTimecycleRereadFrames(int32_t frames);

// Whether the main window may open now: not suspended and the cooldown over.
bool CanOpenMenu();

}  // namespace core
