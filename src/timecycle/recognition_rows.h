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
// The GLOBAL rows the search for the weather's block uses: those of its
// file (OVERCAST: the engine's), then, but for OVERCAST, those of its
// loaded values. withoutShared: the rows another weather shares
// (DropRowsSharedWithOtherWeathers) are dropped before each source's order
// and cut to 24, so that up to 24 rows each that tell the weather apart remain.
void ReadSearchRows(std::vector<TimecycleRowRecord>& rows, int weather, bool withoutShared);
// The filter and order of the XML and loaded-context rows: distinct >= 4
// and score >= 420, by score, distinct, then name; at most 24.
void FilterAndOrderRows(std::vector<TimecycleRowRecord>& rows);
// Drops the rows that another weather holds too: the same variable with the
// same 13 binary16 values in either region of another weather's file in the
// workspace or of its loaded values, or among OVERCAST's engine rows. A
// block in which such a row stands may be either weather's: the row tells
// nothing about which.
void DropRowsSharedWithOtherWeathers(std::vector<TimecycleRowRecord>& rows, int weather);

// The load preview of a file just loaded into the store. With the table
// located (or derivable) it writes the file into the game at once. Otherwise
// it starts the search for the table and runs its first slice; a search
// that needs more leaves status empty and returns false, and the preview
// goes on in StepTimecyclePreview.
bool LoadWeatherForPreview(int weather, std::string& status);
// One slice of a pending preview; called once per frame by the Timecycles
// tab (render thread). A frame waits at most one slice of the search. When
// the preview finishes it writes TimecycleXml.TimecycleStatusLine itself. True while it
// still runs.
bool StepTimecyclePreview();
bool TimecyclePreviewPending();
// Drops a pending preview (a new load, unload); the loaded values stay in the store.
void CancelTimecyclePreview();

}  // namespace timecycle
