// The car LOD distances "car.lod.distance.high" and "car.lod.distance.low":
// two adjacent game floats (low = high + 8) whose addresses a car-LOD
// address job publishes (the addresses first, then the found flag). This
// build has no such job (how to find the two floats is game data it does not
// carry), so the pair stays PENDING and the two keys are never read or
// written; everything below works once a job publishes.
//
// Thread rule: the render thread and the script fiber run the checks; the
// addresses are plain 64-bit atomics stored before the found flag
// (release), which readers test first (acquire); a failed check clears
// both. The status line takes its lock.
#pragma once
#include <cstdint>

#include "core/shared_value.h"
#include "visualsettings/status_line.h"

namespace visualsettings {

// The checks' state; the thread rule above.
struct CarLodState {
    core::SharedValue<uint64_t> high{0};
    core::SharedValue<uint64_t> low{0};
    core::SharedValue<uint32_t> found{0};
    StatusLine status{"Ready."};  // the last check's state name and "."; no panel shows it
};
extern CarLodState CarLod;

inline constexpr const char* kCarLodHighKey = "car.lod.distance.high";
inline constexpr const char* kCarLodLowKey = "car.lod.distance.low";
bool IsCarLodKey(const char* key);  // exact, case-sensitive

// The job's side: the pair, then the flag.
void PublishCarLodAddresses(uint64_t high, uint64_t low);

// The readiness check: true in READY_DEFAULT and READY_CURRENT. Each check
// writes its state's name and "." into the status line; a failed one
// (PENDING, ADDR_UNAVAILABLE) forgets the pair.
bool CarLodReadiness();
// For one of the two keys (any other key is refused before the check):
// the key's address after a true check, else 0; its value read or written
// (game units, unconverted) at that address.
uint64_t CarLodDistanceAddress(const char* key);
bool ReadCarLodDistance(const char* key, float& value);
bool WriteCarLodDistance(const char* key, float value);

void ResetCarLodForTesting();

}  // namespace visualsettings
