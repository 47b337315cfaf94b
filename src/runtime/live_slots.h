// Live override slots: one named float of the game's lighting state that
// the editor shows, overrides and writes live. Every timecycle variable has
// one slot; the three static tables keep their own row order (the timecycle
// variable table points each variable at its slot). Their rows are
// src/runtime/data/live_slots.tsv; runtime/override_groups.h names each
// slot by its identifier (SlotId).
//
// Slots are shared by the render thread (the tabs write value and enabled)
// and the script fiber (refresh and appliers write the rest). Every mutable
// field is an atomic (core::SharedValue): a reader sees the old or
// the new value of one field, and no multi-field consistency is promised.
// A widget that wants a pointer edits a local copy and stores it back.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/shared_value.h"

namespace runtime {

struct LiveOverrideSlot {
    const char* name = nullptr;                    // display label
    core::SharedValue<uint64_t> address{0};        // game address, 0 = none
    core::SharedValue<float> value{0.0f};          // the editor's value
    core::SharedValue<float> liveValue{0.0f};      // last read from / written to the game
    core::SharedValue<float> minValue{0.0f};       // slider range
    core::SharedValue<float> maxValue{0.0f};
    core::SharedValue<uint8_t> loaded{0};          // a game value was read (or the row is preset)
    core::SharedValue<uint8_t> enabled{0};         // override on: the appliers write value
    core::SharedValue<uint8_t> liveReadable{0};    // the last read or write succeeded
    core::SharedValue<float> baselineValue{0.0f};  // the game's own value before any override
    core::SharedValue<uint8_t> baselineCaptured{0};
    core::SharedValue<uint8_t> listed{0};          // referred to by the variable list: keeps value
    core::SharedValue<uint8_t> followImport{0};    // value came from an imported file: keeps value
};

inline constexpr size_t kLightDirSlotCount = 12;
inline constexpr size_t kMainSlotCount = 327;
inline constexpr size_t kFogToneSlotCount = 98;
// Rows 0-3 of LightDirSlotTable plus the other two tables.
inline constexpr size_t kTimecycleVariableCount = 429;

// The three slot tables, filled from the slot rows at process start. Any
// thread, field by field, as the rule at the top says.
struct LiveSlotsState {
    // Rows 0-3: timecycle variables. Rows 4-11: the eight dark filmic
    // tonemapping values of the visualsettings live apply (preset loaded with
    // their defaults; start-up gives them no address).
    LiveOverrideSlot LightDirSlotTable[kLightDirSlotCount];
    LiveOverrideSlot MainSlotTable[kMainSlotCount];
    LiveOverrideSlot FogToneSlotTable[kFogToneSlotCount];
};
extern LiveSlotsState LiveSlots;
inline constexpr size_t kFirstDarkFilmicSlot = 4;

// Reads the game value into the slot. Without force, only a slot not yet
// loaded is read, or any slot on a refresh tick (refreshTick: the menu is
// open and this frame is a slot-refresh frame, core::Editor.MenuOpen and
// core::Editor.SlotRefreshTick). A successful read sets liveValue and
// liveReadable, captures the baseline once (not while enabled), and
// replaces value unless the slot is loaded and enabled (or, unforced,
// listed or followImport). A failed read only clears liveReadable.
void RefreshLiveSlot(LiveOverrideSlot& slot, bool force, bool refreshTick);

// Start-up: the slot of timecycle variable i gets TimecycleBlock + 4 * i,
// or 0 when the block is not located. slotOfVariable[i] is the slot of
// variable i (null entries are passed over).
void AssignTimecycleSlotAddresses(LiveOverrideSlot* const* slotOfVariable, size_t variableCount);
// TimecycleBlock + 4 * variableIndex, or 0 without a block or for an index
// outside 0..428.
uint64_t TimecycleSlotAddress(size_t variableIndex);

// ---- Group tests: true while any slot of the group's part is enabled -----------
// (the members of the parts Gradient, LightRays, NightVisionColor and
// NightVision, runtime/override_groups.h)
bool AnyOverrideInGroup(const LiveOverrideSlot* first, size_t count);
bool AnyPostFxGradientOverride();     // MainSlotTable 21-32
bool AnyLightRayOverride();           // MainSlotTable 111-121
bool AnyNightVisionColorOverride();   // MainSlotTable 97-105
bool AnyNightVisionScalarOverride();  // MainSlotTable 83-96

// ---- Test seam ---------------------------------------------------------------------
// Puts every row of the three tables back to its start state.
void ResetSlotTablesForTesting();

}  // namespace runtime
