// The few pieces of game-side state that the timecycle editor resets but
// other parts of the editor own: the write-list cave's entry count, the
// tick's overrides-applied mark and re-read countdown, and the restore of
// every override patch.
#pragma once

namespace timecycle {

// Write-list entry count and its copy := 0.
void ClearWriteListCount();
// The tick's overrides-applied mark of the imported mode := 0 (through the
// host's entry runtime::Entries().clearImportPatchesMark).
void ClearImportPatchesMark();
// The tick's countdown of timecycle slot re-reads := 0.
void ClearTimecycleRereadFrames();
// Takes back every code patch and redirect of the override slots.
void RestoreOverridePatches();

}  // namespace timecycle
