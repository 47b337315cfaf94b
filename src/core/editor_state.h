// Flags shared by the script fiber, the render thread and the window
// procedure. Each is one byte or word; they are atomics (relaxed use is
// enough) so that the threads never race on them.
#pragma once
#include <atomic>
#include <cstdint>

namespace core {

// 1 while the main window is open.
extern std::atomic<uint8_t> MenuOpen;
// Before/after: 1 = edits shown, 0 = the game's own values. Both start at 1
// and are never saved.
extern std::atomic<uint8_t> TimecycleAfterShown;
extern std::atomic<uint8_t> VisualSettingsAfterShown;
// After a swap-chain resize or a display-size change the window closes and
// cannot reopen until the cooldown has run out.
extern std::atomic<uint8_t> MenuSuspended;
extern std::atomic<int32_t> MenuCooldownFrames;
// 1 on the frames of the game tick on which the open menu allows loaded
// live override slots to be read again (at most every 250 ms).
extern std::atomic<uint8_t> SlotRefreshTick;
// Frames during which the Timecycles tab re-reads the timecycle slots from
// the game (it counts them down). A weather change or a clock set raises it;
// whatever loads new timecycle values clears it.
extern std::atomic<int32_t> TimecycleRereadFrames;
// TimecycleRereadFrames := max(TimecycleRereadFrames, frames).
void RaiseTimecycleRereadFrames(int32_t frames);

// Whether the main window may open now: not suspended and the cooldown over.
bool CanOpenMenu();

}  // namespace core
