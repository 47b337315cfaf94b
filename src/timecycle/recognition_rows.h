// Recognition rows for the keyframe-table scan (whole 13-keyframe runs of
// known values: the engine baseline for OVERCAST, the most distinctive rows
// of a weather's XML file or of the values the editor holds) and the load
// preview that writes a freshly loaded file into the game's table.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "timecycle/timecycle_tables.h"

namespace timecycle {

struct TimecycleRowRecord {
    std::string name;    // XML name of the variable
    std::string region;  // "GLOBAL" or "URBAN"
    std::string source;  // "engine_baseline", "original_xml" or "loaded_context"
    std::array<float, kKeyframeCount> values{};
    std::array<uint16_t, kKeyframeCount> halves{};
    int32_t anchorKeyframe = 0;
    uint16_t anchorHalf = 0;
    uint32_t distinct = 0;
    float range = 0.0f;
    uint32_t score = 0;
};

// Rows of the scan are kept only with this many different halves and this score.
inline constexpr uint32_t kRowMinDistinct = 4;
inline constexpr uint32_t kRowMinScore = 420;
inline constexpr size_t kRowLimit = 24;

// Zero, negative zero, 1 and -1.
bool IsTrivialHalf(uint16_t half);
void FinishTimecycleRow(TimecycleRowRecord& row);
// Region argument of the row sources: 0 GLOBAL, 1 URBAN, 2 both (clamped).
void AddEngineBaselineRows(int weather, int region, std::vector<TimecycleRowRecord>& rows);
void ReadOriginalXmlRows(std::vector<TimecycleRowRecord>& rows, int weather, int region);
void ReadLoadedContextRows(std::vector<TimecycleRowRecord>& rows, int weather, int region);
// The filter and order of the XML and loaded-context rows: distinct >= 4
// and score >= 420, by score, distinct, then name; at most 24.
void FilterAndOrderRows(std::vector<TimecycleRowRecord>& rows);

bool LoadWeatherForPreview(int weather, std::string& status);

}  // namespace timecycle
