#include "host/editor_state.h"

namespace host {

std::atomic<uint8_t> MenuOpen{0};
std::atomic<uint8_t> TimecycleAfterShown{1};
std::atomic<uint8_t> VisualSettingsAfterShown{1};
std::atomic<uint8_t> MenuSuspended{0};
std::atomic<int32_t> MenuCooldownFrames{0};
std::atomic<uint8_t> SlotRefreshTick{0};

bool CanOpenMenu() { return MenuSuspended.load() == 0 && MenuCooldownFrames.load() < 1; }

}  // namespace host
