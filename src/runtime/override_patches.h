// The code patches, redirects and the write-list cave behind the live
// override slots, as far as the rest of the editor resets them.
#pragma once

namespace runtime {

// Write-list entry count and its copy := 0.
void ClearWriteListCount();
// Takes back every code patch and redirect of the override slots.
void RestoreOverridePatches();

}  // namespace runtime
