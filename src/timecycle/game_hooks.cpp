#include "timecycle/game_hooks.h"

namespace timecycle {

// The owners of these pieces of state are not part of the build yet; each
// call becomes the owner's own operation as it lands.
void ClearWriteListCount() {}
void ClearImportPatchesMark() {}
void ClearTimecycleRereadFrames() {}
void RestoreOverridePatches() {}

}  // namespace timecycle
