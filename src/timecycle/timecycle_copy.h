// Copies of user edits between regions and weathers, and the parameter
// search of the Timecycles tab.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "timecycle/timecycle_model.h"

namespace timecycle {

uint64_t CopyWeatherEdits(int source, int destination);
uint64_t CopyParameterEditsToRegion(int weather, int sourceRegion, int destinationRegion,
                                    const std::vector<std::string>& names);
uint64_t CopyAllRegionEdits(int weather, int sourceRegion, int destinationRegion, int keyframe0, int keyframe1);

struct SearchResults {
    std::vector<const TimecycleVariable*> rows;
    std::string SearchQuery;
    uint8_t computed = 0;
};
// The rows whose label or XML name contains the query (colour triples as a
// whole); every row for an empty query. Recomputed only when the query changes.
const SearchResults& SearchTimecycleParameters(const char* query);
void PushUniquePointer(std::vector<const TimecycleVariable*>& list, const TimecycleVariable* row);

}  // namespace timecycle
