#include "core/editor_state.h"

namespace core {

std::atomic<uint8_t> MenuOpen{0};
std::atomic<uint8_t> TimecycleAfterShown{1};
std::atomic<uint8_t> VisualSettingsAfterShown{1};
std::atomic<uint8_t> MenuSuspended{0};
std::atomic<int32_t> MenuCooldownFrames{0};
std::atomic<uint8_t> SlotRefreshTick{0};
std::atomic<int32_t> TimecycleRereadFrames{0};

void RaiseTimecycleRereadFrames(int32_t frames) {
    int32_t current = TimecycleRereadFrames.load();
    while (current < frames && !TimecycleRereadFrames.compare_exchange_weak(current, frames)) {
    }
}

bool CanOpenMenu() { return MenuSuspended.load() == 0 && MenuCooldownFrames.load() < 1; }

}  // namespace core
