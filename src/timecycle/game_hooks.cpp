#include "timecycle/game_hooks.h"

#include "core/editor_state.h"
#include "runtime/editor_entries.h"
#include "runtime/override_patches.h"

namespace timecycle {

void ClearImportPatchesMark() {
    if (void (*clear)() = runtime::Entries().clearImportPatchesMark) clear();
}
void ClearTimecycleRereadFrames() { core::Editor.TimecycleRereadFrames.Set(0); }
void ClearWriteListCount() { runtime::ClearWriteListCount(); }
void RestoreOverridePatches() { runtime::RestoreOverridePatches(); }

}  // namespace timecycle
