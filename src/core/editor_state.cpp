#include "core/editor_state.h"

namespace core {

EditorState Editor;

void ResetEditorState() {
    Editor.MenuOpen = 0;
    Editor.TimecycleAfterShown = 1;
    Editor.VisualSettingsAfterShown = 1;
    Editor.MenuSuspended = 0;
    Editor.MenuCooldownFrames = 0;
    Editor.SlotRefreshTick = 0;
    Editor.TimecycleRereadFrames = 0;
}

void RaiseTimecycleRereadFrames(int32_t frames) {
    int32_t current = Editor.TimecycleRereadFrames;
    while (current < frames && !Editor.TimecycleRereadFrames.CompareExchange(current, frames)) {
    }
}

bool CanOpenMenu() { return Editor.MenuSuspended == 0 && Editor.MenuCooldownFrames < 1; }

}  // namespace core
