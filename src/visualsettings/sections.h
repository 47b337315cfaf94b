// The records the Visualsettings tab is built from (a section of the user's
// visualsettings.dat layout holds groups, a group holds keys) and the tests
// of whether a section or a list of keys holds an edited value.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "visualsettings/walkers.h"

namespace visualsettings {

struct VisualSettingsGroup {
    std::string title;
    std::vector<std::string> items;  // keys in file order (a key may occur twice)
    uint8_t warn = 0;
};
struct VisualSettingsSection {
    std::string title;
    std::vector<VisualSettingsGroup> items;
    uint8_t warn = 0;
};
using VisualSettingsLayout = std::vector<VisualSettingsSection>;

// A row's value differs from its captured original as the game would store
// it (by value kind and unit); without an original, its override or
// differs flag.
bool IsVisualRowEdited(const VisualSettingsParam& row);
// The first key edited: a key of the rows map by IsVisualRowEdited, else a
// key of the slots map by its slot's value against its baseline (or its
// flags without one); a key in neither map is not edited.
bool KeysHaveEditedRow(const std::vector<std::string>& keys, const VisibleRows& rows, const VisibleSlots& slots);
bool SectionHasEditedRow(const VisualSettingsSection& section, const VisibleRows& rows, const VisibleSlots& slots);

}  // namespace visualsettings
