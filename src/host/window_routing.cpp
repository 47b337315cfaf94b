#include "host/window_routing.h"

#include "host/editor_state.h"
#include "shell/folder_picker.h"

namespace host {

MessageRoute RouteWindowMessage(uint32_t message, uint64_t wParam) {
    if (shell::FolderDialogOpen.load() != 0) return MessageRoute::ToGame;
    if (MenuSuspended.load() != 0 || MenuCooldownFrames.load() >= 1) {
        MenuOpen.store(0);
        return MessageRoute::ToGame;
    }
    if (message == kWmKeyDown && wParam == kVkEscape) {
        MenuOpen.store(0);
        return MessageRoute::Swallow;
    }
    if (MenuOpen.load() == 0) return MessageRoute::ToGame;
    if (message == kWmInput) return MessageRoute::UiThenDefaultCleanup;
    const bool keyboard = message >= kWmKeyDown && message <= kWmKeyLast;
    const bool mouse = message >= kWmMouseFirst && message <= kWmMouseLast;
    return keyboard || mouse ? MessageRoute::UiThenSwallow : MessageRoute::UiThenGame;
}

}  // namespace host
