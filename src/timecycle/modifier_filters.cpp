#include "timecycle/modifier_filters.h"

#include "core/file_utils.h"
#include "core/text.h"

namespace timecycle {

bool ModifierMatchesSearch(std::string_view name, std::string_view search) {
    return search.empty() || core::CaseInsensitiveContains(name, search);
}

bool ModifierHasLocation(std::string_view name) { return FindModifierLocation(name, 0) != nullptr; }

bool ModifierPassesFilter(const TimecycleModifier& modifier, std::string_view search, bool teleportsOnly) {
    if (teleportsOnly && !ModifierHasLocation(modifier.name)) return false;
    return ModifierMatchesSearch(modifier.name, search);
}

size_t ModifierLocationCount(std::string_view name) {
    size_t count = 0;
    for (const ModifierLocation& row : ModifierLocationTable) count += core::EqualsNoCase(row.modifier, name) ? 1 : 0;
    return count;
}

const ModifierLocation* FindModifierLocation(std::string_view name, size_t k) {
    for (const ModifierLocation& row : ModifierLocationTable) {
        if (!core::EqualsNoCase(row.modifier, name)) continue;
        if (k == 0) return &row;
        --k;
    }
    return nullptr;
}

std::string StripLocationLabel(const char* label) {
    std::string_view text = label ? label : "";
    if (const size_t dash = text.find(" - "); dash != std::string_view::npos) text = text.substr(0, dash);
    if (const size_t paren = text.find(" ("); paren != std::string_view::npos) text = text.substr(0, paren);
    return core::TrimCopy(text);
}

std::string ModifierLocationLabel(std::string_view name, size_t k) {
    const ModifierLocation* row = FindModifierLocation(name, k);
    if (!row) return "Location";
    const std::string place = StripLocationLabel(row->label);
    size_t total = 0, ordinal = 0;
    for (const ModifierLocation& other : ModifierLocationTable) {
        if (!core::EqualsNoCase(other.modifier, name) || !core::EqualsNoCase(StripLocationLabel(other.label), place))
            continue;
        ++total;
        if (&other == row) ordinal = total;
    }
    return total < 2 ? place : place + " " + std::to_string(ordinal);
}

}  // namespace timecycle
