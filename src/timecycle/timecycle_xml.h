// "Load .xml": the timecycle file of one weather is read from the import
// folder into the edit store for both regions and all 13 keyframes, and the
// load preview then writes it into the game.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "core/file_utils.h"
#include "timecycle/timecycle_tables.h"

namespace timecycle {

struct TimecycleLoadRecord {
    uint8_t loaded = 0;
    uint8_t previewApplied = 0;
    uint64_t valueCount = 0;
    uint64_t appliedCount = 0;
    uint64_t missingCount = 0;  // one per variable without an element in a region, one per missing region
    uint64_t skippedCount = 0;  // elements whose text is not 13 finite numbers separated by white space
    uint8_t regionsHeld = 0;    // the regions the last load read: 1 GLOBAL, 2 URBAN (the others were left as they were)
    std::string sourceLabel;
};

// The status line of timecycle imports and exports.
inline constexpr const char* kTimecycleStatusIdle = "Timecycle import/export idle.";

// What the loads and exports leave behind. Render thread only (the tabs,
// the loads, the exports and the load preview's slices).
struct TimecycleXmlState {
    // Per weather: the last load and its preview.
    std::array<TimecycleLoadRecord, kWeatherCount> TimecycleLoadRecords;
    std::string TimecycleStatusLine = kTimecycleStatusIdle;
};
extern TimecycleXmlState TimecycleXml;
// No load recorded and the status idle, as at process start (tests).
void ResetTimecycleXmlState();

// The text of the weather's file: the import path read as a text file
// (label: that path), else the wide path read as bytes (label: "workspace "
// + file name). *failure (when given) says why neither read.
bool ReadTimecycleXmlText(int weather, std::string& text, std::string& sourceLabel,
                          core::FileReadFailure* failure = nullptr);
// Reads the whole file first and changes the store only when it holds at
// least one value ("Load .xml failed: ... holds no timecycle values."
// otherwise); then fills the weather's slots and starts the load preview.
// Skipped elements are counted at the end of the status.
void LoadTimecycleXml(int weather);
// The sentence the load adds to its status for skipped elements; empty for 0.
std::string SkippedRowsNote(const std::string& fileName, uint64_t skipped);
// What the load adds to its status: a region the file did not hold (left as
// it was, unsaved edits included), then the skipped elements.
std::string LoadNotes(const std::string& fileName, const TimecycleLoadRecord& record);

}  // namespace timecycle
