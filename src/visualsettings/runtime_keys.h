// The runtime slider keys: 89 visualsettings.dat keys whose game value lives
// in one table of 32-bit floats in the game's private writable memory
// (runtime_table.h locates it), each with its offset in that table. Their
// rows (src/visualsettings/data/runtime_keys.tsv) are searched in lookup
// order: the seven pattern rows that identify the table, then a table of 37
// rows, then one of 45. Read-only.
#pragma once
#include <span>

#include "visualsettings/param_data.h"

namespace visualsettings {

// Every row in lookup order.
std::span<const RuntimeSliderKey> RuntimeSliderKeys();
// The seven rows whose values identify the table.
std::span<const RuntimeSliderKey> RuntimePatternKeys();
// The 45 rows whose default bit patterns serve as reference values.
std::span<const RuntimeSliderKey> RuntimeReferenceKeys();

// The row of key (exact, case-sensitive), or null for null or an unknown key.
const RuntimeSliderKey* FindRuntimeSliderKey(const char* key);

}  // namespace visualsettings
