#include "runtime/override_patches.h"

namespace runtime {

// The write-list cave and the override patches are not part of the build
// yet: with no cave the list has no count to clear, and with no installed
// patch there is nothing to restore.
void ClearWriteListCount() {}
void RestoreOverridePatches() {}

}  // namespace runtime
