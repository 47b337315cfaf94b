// The weather documents' entries of the editor's entry table
// (runtime/editor_entries.h): the all-live hotkey's weather-document step.
#pragma once
#include "runtime/editor_entries.h"

namespace weather {

void FillWeatherEntries(runtime::EditorEntries& entries);

}  // namespace weather
