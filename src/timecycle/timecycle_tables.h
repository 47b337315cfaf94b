// The fixed description of the game's timecycle: the 28 display groups, the
// 13 keyframes, the editor's three regions and the engine baseline rows that
// recognise the game's keyframe table (the 18 weathers are the game's,
// game/weathers.h). The rows live in src/timecycle/data; the build writes
// their C++ (with TimecycleVariableTable, timecycle_model.h) with
// tools/gen_timecycle_tables.py.
#pragma once
#include <cstddef>
#include <cstdint>

#include "game/weathers.h"

namespace timecycle {

inline constexpr size_t kVariableCount = 429;
inline constexpr size_t kGroupCount = 28;
inline constexpr size_t kColourStemCount = 37;
using game::kWeatherCount;
inline constexpr size_t kKeyframeCount = 13;
inline constexpr size_t kRegionCount = 3;  // GLOBAL, URBAN, BOTH
inline constexpr size_t kEngineBaselineRowCount = 8;

inline constexpr int kRegionGlobal = 0;
inline constexpr int kRegionUrban = 1;
inline constexpr int kRegionBoth = 2;

struct VariableGroupData {
    const char* title;
    const char* const* baseNames;
    uint64_t count;          // number of base names
    uint64_t variableCount;  // number of variables that fall into the group
    uint64_t firstRow;
};
extern const VariableGroupData kVariableGroupData[kGroupCount];

// Stems of the colour triples: stem + "_r", "_g", "_b".
extern const char* const kColourStems[kColourStemCount];

// The 18 weathers are the game's (game/weathers.h).
using game::WeatherName;
using game::WeatherNameTable;

struct TimeKeyframe {
    const char* label;
    uint32_t hour;
};
extern const TimeKeyframe TimeKeyframeTable[kKeyframeCount];

extern const char* const TimecycleRegionNames[kRegionCount];

// Game values of eight GLOBAL variables of OVERCAST at the 13 keyframes.
struct EngineBaselineRow {
    const char* name;
    float values[kKeyframeCount];
};
extern const EngineBaselineRow EngineBaselineTable[kEngineBaselineRowCount];

}  // namespace timecycle
