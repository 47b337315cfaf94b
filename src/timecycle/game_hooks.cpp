#include "timecycle/game_hooks.h"

#include "core/editor_state.h"
#include "runtime/override_patches.h"

namespace timecycle {

TimecycleHostCallees TimecycleHostCalls;

void ClearImportPatchesMark() {
    if (TimecycleHostCalls.clearImportPatchesMark) TimecycleHostCalls.clearImportPatchesMark();
}
void ClearTimecycleRereadFrames() { core::TimecycleRereadFrames.store(0); }
void ClearWriteListCount() { runtime::ClearWriteListCount(); }
void RestoreOverridePatches() { runtime::RestoreOverridePatches(); }

}  // namespace timecycle
