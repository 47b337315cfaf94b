#include "timecycle/game_hooks.h"

#include "host/tick.h"

namespace timecycle {

void ClearImportPatchesMark() { host::PatchesClearedForImport.store(0); }
void ClearTimecycleRereadFrames() { host::TimecycleRereadFrames.store(0); }

// The write-list cave and the restore of the override patches are not part
// of the build yet: with no cave the list has no count to clear, and with
// no installed patch there is nothing to restore. These become the
// runtime's own operations when it has them.
void ClearWriteListCount() {}
void RestoreOverridePatches() {}

}  // namespace timecycle
