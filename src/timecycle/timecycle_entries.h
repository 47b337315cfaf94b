// The timecycle editor's entries of the editor's entry table
// (runtime/editor_entries.h): the tick's before/after sync, weather and mode
// tests, the all-live hotkey's question about edited groups, and the
// modifier steps: the activation refresh, the resolve step, the test of
// pending modifier work and the all-live hotkey's modifier part.
#pragma once
#include "runtime/editor_entries.h"

namespace timecycle {

void FillTimecycleEntries(runtime::EditorEntries& entries);

}  // namespace timecycle
