// Modifier search, the list filter with its "Teleports only" option, and the
// places in the game world where a modifier is active, with their labels.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "timecycle/modifier_files.h"

namespace timecycle {

struct ModifierLocation {
    const char* modifier;
    const char* label;  // place (rounded x, y, z)[ - kind of place]
    float x, y, z;
};
// The rows live in src/timecycle/data/modifier_locations.tsv; the build
// writes their C++ with tools/gen_timecycle_tables.py.
inline constexpr size_t kModifierLocationCount = 108;
extern const ModifierLocation ModifierLocationTable[kModifierLocationCount];

// Empty search matches everything; otherwise a substring without regard to case.
bool ModifierMatchesSearch(std::string_view name, std::string_view search);
// The modifier list's test: with teleportsOnly the name must have a location.
bool ModifierPassesFilter(const TimecycleModifier& modifier, std::string_view search, bool teleportsOnly);
bool ModifierHasLocation(std::string_view name);
size_t ModifierLocationCount(std::string_view name);
// The k-th row (table order) of the modifier's name, without regard to case.
const ModifierLocation* FindModifierLocation(std::string_view name, size_t k);
// The place part of a label: cut at " - " and at " (", trimmed.
std::string StripLocationLabel(const char* label);
// The place, numbered 1, 2, ... among the modifier's rows with the same place;
// "Location" when the modifier has no k-th row.
std::string ModifierLocationLabel(std::string_view name, size_t k);

}  // namespace timecycle
