#include "host/window_routing.h"

#include "core/editor_state.h"
#include "core/folder_picker.h"

namespace host {

MessageRoute RouteWindowMessage(uint32_t message, uint64_t wParam) {
    if (core::FolderPicker.FolderDialogOpen.Get() != 0) return MessageRoute::ToGame;
    if (core::Editor.MenuSuspended.Get() != 0 || core::Editor.MenuCooldownFrames.Get() >= 1) {
        core::Editor.MenuOpen.Set(0);
        return MessageRoute::ToGame;
    }
    if (message == kWmKeyDown && wParam == kVkEscape) {
        core::Editor.MenuOpen.Set(0);
        return MessageRoute::Swallow;
    }
    if (core::Editor.MenuOpen.Get() == 0) return MessageRoute::ToGame;
    if (message == kWmInput) return MessageRoute::UiThenDefaultCleanup;
    const bool keyboard = message >= kWmKeyDown && message <= kWmKeyLast;
    const bool mouse = message >= kWmMouseFirst && message <= kWmMouseLast;
    return keyboard || mouse ? MessageRoute::UiThenSwallow : MessageRoute::UiThenGame;
}

}  // namespace host
