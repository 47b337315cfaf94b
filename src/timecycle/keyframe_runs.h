// Finding recognition rows in memory: every start address at which a row's
// 13 binary16 values stand at their 864-byte spacing (one per keyframe
// record), read in place.
//
// A run of 13 values spans 13 consecutive 864-byte "classes" of the address
// space (class = (address mod 13 x 864) / 864), one keyframe in each, so
// every class holds one of its keyframes. A row is therefore found by
// looking at the addresses of a few classes only, through the values of the
// keyframes that land there: the index holds every keyframe of every row
// whose value is rare enough to look for (not 0, -0, 1 or -1), and the
// classes looked at are the fewest that meet one such keyframe of every row
// wherever it starts. Each run is reported once, through the first of its
// keyframes (in keyframe order) that lands in a looked-at class. A row with
// only trivial values is looked for through its rarest one, in every class.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "timecycle/recognition_rows.h"

namespace timecycle {

inline constexpr uint64_t kRunClassBytes = 864;  // one keyframe record
inline constexpr uint64_t kRunPeriodBytes = 13 * kRunClassBytes;

struct KeyframeRunIndex {
    struct Entry {
        uint16_t half = 0;
        uint8_t keyframe = 0;
        uint32_t row = 0;
    };
    std::array<uint64_t, 65536 / 64> bits{};  // halves some entry holds
    std::vector<Entry> entries;               // by half, then row, then keyframe
    std::vector<std::array<uint16_t, 13>> halves;
    // Per row and class of its start: the keyframe that reports it (0xFF: none).
    std::vector<std::array<uint8_t, 13>> reporter;
    uint16_t classes = 0;  // bit c: addresses of class c are looked at
};

// The 864-byte class of an address.
inline unsigned RunClassOf(uint64_t address) { return static_cast<unsigned>((address % kRunPeriodBytes) / kRunClassBytes); }

// Keyframes of a row that the index looks for (bit k).
uint16_t IndexedKeyframes(const TimecycleRowRecord& row);
// The fewest classes (bit c) that meet one indexed keyframe of every row,
// whatever class its start falls in; the lowest such mask of that size.
uint16_t CoveringClasses(const std::vector<uint16_t>& indexedKeyframes);
void BuildKeyframeRunIndex(const std::vector<TimecycleRowRecord>& rows, KeyframeRunIndex& index);

// Receives each run found; false stops the scan.
struct KeyframeRunSink {
    bool (*found)(void* context, uint64_t start, uint32_t row) = nullptr;
    void* context = nullptr;
};

// Reports every run whose start lies in [from, from + step) and whose 13
// values lie in [from, from + length), in place, with no copy. Reads memory
// the caller vouches for: call it inside platform::GuardedRun when the
// memory may fault. False when the sink stopped it.
bool FindKeyframeRuns(const KeyframeRunIndex& index, uint64_t from, uint64_t length, uint64_t step,
                      const KeyframeRunSink& sink);

}  // namespace timecycle
