// Traffic-light colours and the blackout of traffic lights. The game keeps
// each traffic-light colour as a vector of four floats (red, green, blue and
// red again) in the data block of signature 3, while the parameter table
// holds one row per channel; the writers here join a colour's three rows
// and write the whole vector. While the Settings tab's "Blackout Mode" is
// on, every traffic-light parameter is held at 0.0 in the game, and put back
// once it is switched off.
//
// Thread rule: the writers run on the render thread (the tab's colour row)
// and the script fiber (before/after, blackout), without a lock; the rows'
// fields are atomics and every game write goes through the guarded writers.
// GameControls.BlackoutApplied is the script fiber's.
#pragma once
#include <cstdint>

#include "core/shared_value.h"
#include "visualsettings/param_table.h"

namespace visualsettings {

inline constexpr size_t kTrafficLightColorGroupCount = 6;
// The groups in their order: red, amber, green, walk, dontwalk, near.na.
extern const char* const kTrafficLightColorGroups[kTrafficLightColorGroupCount];

// The traffic lights' state; the thread rule above.
struct TrafficLightState {
    core::SharedValue<uint8_t> blackoutApplied{0};  // 1 while the blackout holds the rows at 0.0
    // Each group vector's address once resolved (its block lies in the game
    // image and never moves; the writes through it stay guarded).
    core::SharedValue<uint64_t> groupAddress[kTrafficLightColorGroupCount] = {};
};
extern TrafficLightState TrafficLights;

// ---- Keys (a null key gives false or null) --------------------------------------------------
bool IsTrafficLightColorKey(const char* key);        // one of the six group names
bool IsTrafficLightColorComponent(const char* key);  // a group name followed by "."
const char* TrafficLightGroupKey(const char* key);   // the group of a component key, or null
// The group vector's game address, 0 for any other text or when unavailable
// (kept once resolved).
uint64_t TrafficLightColorAddress(const char* group);
// The row's key is not hidden and contains "trafficlight." in any case.
bool ContainsTrafficLight(const VisualSettingsParam& row);
// Any existing channel row of the group is overridden.
bool IsTrafficLightColorOverridden(const char* group);

// ---- Writers ---------------------------------------------------------------------------------
// r, g, b and r again into the group's vector; true when all four stores succeeded.
bool WriteTrafficLightColor(const char* group, float r, float g, float b);
// The group's three rows' values into its vector; each row's applied value,
// applied flag and loaded flag follow. False when a row is missing or a
// row's game value was never known.
bool WriteTrafficLightColorGroup(const char* group);
// The named component's default into its group vector (the default writer's
// traffic-light step). reset: the named row is reset to its reference first
// (even when the vector cannot be written) and the reference is sent.
// The other channels are sent at their values; defaultsOfEdited (the switch
// to the game's values) sends every other channel that is edited (wanted by
// EditedForDefaultWrite) at its default too, so that the vector ends with
// every edited channel at its default whatever the order of the writes.
bool WriteTrafficLightComponent(const char* key, bool reset, bool defaultsOfEdited = false);
// value (file units) converted and stored as a float at the row's live
// address (applied value and flag follow), then at its extra targets.
void WriteParamPrimaryAndExtras(VisualSettingsParam& row, float value);
// Every visualsettings before/after pass: while "Blackout Mode" is on,
// every traffic-light row whose game value is known is written 0.0 (every
// pass); on the first pass after it is switched off, each is written its
// value when overridden, else its default.
void ApplyBlackoutToTrafficLights();

void ResetTrafficLightsForTesting();

}  // namespace visualsettings
