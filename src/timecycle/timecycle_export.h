// "Export .xml": the edited values of one weather are spliced into a copy of
// its source file, which is otherwise written back byte for byte.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "timecycle/timecycle_tables.h"

namespace timecycle {

struct KeyframeEditRecord {
    std::array<float, kKeyframeCount> values{};
    std::array<uint64_t, kKeyframeCount> stamps{};
    std::array<uint8_t, kKeyframeCount> written{};
};
using KeyframeEditMap = std::map<std::string, KeyframeEditRecord>;

struct TextSplice {
    uint64_t start = 0;
    uint64_t end = 0;
    std::string replacement;
};

bool SaveTimecycleXml(int weather, std::string& message);
void CollectEditedRows(uint32_t weather, uint32_t region, KeyframeEditMap& map, uint8_t overwrite,
                       uint8_t withImported);
uint64_t CountEditedKeyframes(const KeyframeEditMap& map);
std::string& MergeTimecycleRegions(std::string& out, std::string_view source, const KeyframeEditMap& global,
                                   const KeyframeEditMap& urban, uint64_t& parameters, uint64_t& values);
void SpliceRegionKeyframes(std::string_view source, std::vector<TextSplice>& splices, uint64_t& parameters,
                           uint64_t& values, const char* region, const KeyframeEditMap& map);

}  // namespace timecycle
