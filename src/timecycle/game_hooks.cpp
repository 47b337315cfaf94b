#include "timecycle/game_hooks.h"

#include "host/tick.h"

namespace timecycle {

// The owners of these pieces of state are not part of the build yet; each
// call becomes the owner's own operation as it lands.
void ClearWriteListCount() {}
void ClearImportPatchesMark() { host::PatchesClearedForImport.store(0); }
void ClearTimecycleRereadFrames() { host::TimecycleRereadFrames.store(0); }
void RestoreOverridePatches() {}

}  // namespace timecycle
