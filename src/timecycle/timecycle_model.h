// The editor's model of the game's timecycle: the variable table bound to
// the live override slots, the display groups, the name index and the
// weather rule for variables without effect. Every timecycle structure
// indexes its data by a variable's row in TimecycleVariableTable.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "timecycle/timecycle_tables.h"

namespace runtime {
struct LiveOverrideSlot;
}

namespace timecycle {

// One timecycle variable: its live override slot (whose name is the display
// label and whose address is TimecycleBlock + 4 x row) and its element name
// in the timecycle XML files.
struct TimecycleVariable {
    runtime::LiveOverrideSlot* slot;
    const char* xmlName;
};
extern const TimecycleVariable TimecycleVariableTable[kVariableCount];

// Row index of a row of TimecycleVariableTable.
inline size_t RowIndexOf(const TimecycleVariable* row) {
    return static_cast<size_t>(row - TimecycleVariableTable);
}

struct VariableGroupEntry {
    std::string key;                             // base name
    std::vector<const TimecycleVariable*> rows;  // one row, or the R, G, B rows of a colour
    uint8_t edited = 0;
};

struct TimecycleVariableGroup {
    std::vector<VariableGroupEntry> entries;
    uint64_t variableCount = 0;
    uint8_t edited = 0;
};

// The 429 rows in row order. The first call sets the listed flag of every
// variable's slot (so that unforced refreshes keep the values of loaded
// slots); later calls return the same list.
const std::vector<const TimecycleVariable*>& TimecycleVariableList();
// The 28 groups; the edited flags are kept up to date by RefreshGroupEditedFlags.
std::vector<TimecycleVariableGroup>& TimecycleVariableGroupList();
// Start-up: gives the slot of every variable its game address,
// TimecycleBlock + 4 x row (0 while the block is not located).
void AssignVariableSlotAddresses();

// XML name -> row index, in byte order of the names.
const std::map<std::string, uint64_t>& VariableNameIndex();
// Row index of an XML name, or -1. Same content as VariableNameIndex, hashed.
int FindVariableRow(std::string_view xmlName);

// The group (0..27) holding the first base name the row's XML name matches;
// 27 when none does.
int VariableGroupIndexOf(const TimecycleVariable* row);
// The base name the row's XML name matches; its own name (or "misc" for a
// row without one) when none does.
std::string VariableBaseName(const TimecycleVariable* row);
// A name matches a base name when it equals it or is it followed by "_" and
// one of r, g, b, x, y, z.
bool NameMatchesBase(std::string_view name, std::string_view baseName);

// True when the variable has no effect in the weather (index into
// WeatherNameTable): the motion blur length outside the Halloween weathers
// and SMOG, and the rain ripple, lightning visibility and pedestrian light
// direction values outside the Halloween weathers.
bool IsVariableInertInWeather(const TimecycleVariable* row, int weather);

// True for an empty or null query; false for a null text; otherwise whether
// the query occurs in the text when both are compared lower-cased.
bool TextContainsNoCase(const char* text, const char* query);

// Clamps of the three keys (below 0 gives 0, above the range its maximum),
// the one rule for every weather, region and keyframe index of the editor.
// An index passed as unsigned is the same 32 bits: 0xFFFFFFFF is -1 and
// gives 0, 40 gives 17.
int ClampWeather(int32_t weather);
int ClampRegion(int32_t region);
int ClampKeyframe(int32_t keyframe);
inline int ClampWeather(uint32_t weather) { return ClampWeather(static_cast<int32_t>(weather)); }
inline int ClampRegion(uint32_t region) { return ClampRegion(static_cast<int32_t>(region)); }
inline int ClampKeyframe(uint32_t keyframe) { return ClampKeyframe(static_cast<int32_t>(keyframe)); }

}  // namespace timecycle
