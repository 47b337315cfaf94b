// The timecycle editor's entries of the editor's entry table
// (runtime/editor_entries.h): the tick's before/after sync, weather and mode
// tests, and the all-live hotkey's question about edited groups.
#pragma once
#include "runtime/editor_entries.h"

namespace timecycle {

void FillTimecycleEntries(runtime::EditorEntries& entries);

}  // namespace timecycle
