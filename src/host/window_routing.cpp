#include "host/window_routing.h"

#include "core/editor_state.h"
#include "core/folder_picker.h"

namespace host {

MessageRoute RouteWindowMessage(uint32_t message, uint64_t wParam) {
    if (core::FolderPicker.FolderDialogOpen.Get() != 0) return MessageRoute::ToGame;
    if (core::MenuSuspended.load() != 0 || core::MenuCooldownFrames.load() >= 1) {
        core::MenuOpen.store(0);
        return MessageRoute::ToGame;
    }
    if (message == kWmKeyDown && wParam == kVkEscape) {
        core::MenuOpen.store(0);
        return MessageRoute::Swallow;
    }
    if (core::MenuOpen.load() == 0) return MessageRoute::ToGame;
    if (message == kWmInput) return MessageRoute::UiThenDefaultCleanup;
    const bool keyboard = message >= kWmKeyDown && message <= kWmKeyLast;
    const bool mouse = message >= kWmMouseFirst && message <= kWmMouseLast;
    return keyboard || mouse ? MessageRoute::UiThenSwallow : MessageRoute::UiThenGame;
}

}  // namespace host
