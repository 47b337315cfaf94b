// "Load .xml": the timecycle file of one weather is read from the import
// folder into the edit store for both regions and all 13 keyframes, and the
// load preview then writes it into the game.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "shell/file_utils.h"
#include "timecycle/timecycle_tables.h"

namespace timecycle {

struct TimecycleLoadRecord {
    uint8_t loaded = 0;
    uint8_t previewApplied = 0;
    uint64_t valueCount = 0;
    uint64_t appliedCount = 0;
    uint64_t missingCount = 0;  // one per variable without an element in a region, one per missing region
    std::string sourceLabel;
};
extern std::array<TimecycleLoadRecord, kWeatherCount> TimecycleLoadRecords;

// The status line of timecycle imports and exports.
inline constexpr const char* kTimecycleStatusIdle = "Timecycle import/export idle.";
extern std::string TimecycleStatusLine;

// The text of the weather's file: the import path read as a text file
// (label: that path), else the wide path read as bytes (label: "workspace "
// + file name). *failure (when given) says why neither read.
bool ReadTimecycleXmlText(int weather, std::string& text, std::string& sourceLabel,
                          shell::FileReadFailure* failure = nullptr);
void LoadTimecycleXml(int weather);

}  // namespace timecycle
