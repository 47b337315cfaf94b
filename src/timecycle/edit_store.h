// The timecycle edit store: every value the editor knows per weather, region
// and keyframe, with its original, its last game value and its flags, and
// the one current context whose values the live override slots mirror.
//
// The store is one fixed block of 702 slots x 429 entries that is never
// reallocated, so entries are only ever reset in place.
//
// Thread rule: the render thread (tabs, loads, exports, copies, the load
// preview) and the script fiber (the tick's ContextHasEdits and
// SyncTimecycleBeforeAfter, the before/after hotkeys' RefreshGroupEditedFlags)
// share the slots and their entries, EditStore (CurrentTimecycleContext,
// EditSequenceCounter, GroupFlagsDirty with the groups' edited flags,
// LastEditedNames and LastEditedLabel), and KeyframeTable.BeforeAfterSync. Each is
// read and written only while EditStoreMutex is held: every operation of the
// timecycle editor that touches them takes it (it is recursive, so one
// operation may call another), and it is never held while game memory is
// searched. Code outside the editor reaches the store only through those
// operations.
#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/shared_value.h"
#include "timecycle/timecycle_tables.h"

namespace timecycle {

inline constexpr size_t kEditSlotCount = kWeatherCount * kRegionCount * kKeyframeCount;  // 702

struct EditEntry {
    uint64_t editStamp = 0;  // EditSequenceCounter value of the last user edit or changed load; 0 = none
    float value = 0.0f;      // the editor's value
    float original = 0.0f;   // the game's value or the loaded file's reference value
    float live = 0.0f;       // the value last read from or written to the game
    uint8_t present = 0;
    uint8_t originalCaptured = 0;
    uint8_t edited = 0;
    uint8_t imported = 0;
};

struct EditSlot {
    std::array<EditEntry, kVariableCount> entries{};
    uint8_t loaded = 0;
};

// Number of entries of every slot (the length of TimecycleVariableList).
inline constexpr size_t EntryCount(const EditSlot& slot) { return slot.entries.size(); }

struct TimecycleContext {
    int32_t weather = 0;   // 0..17
    int32_t region = 0;    // 0 GLOBAL, 1 URBAN, 2 BOTH
    int32_t keyframe = 0;  // 0..12
    uint8_t valid = 0;     // 0 until the first selection
};

using TimecycleEditStore = std::array<EditSlot, kEditSlotCount>;

// The one lock of the edit store (see the thread rule above).
std::recursive_mutex& EditStoreMutex();
using EditStoreLock = std::lock_guard<std::recursive_mutex>;

// The store's own values besides the slots: all under EditStoreMutex (the
// thread rule above), except ImportedOverridesActive, a SharedValue the
// tick reads without the lock.
struct EditStoreState {
    TimecycleContext CurrentTimecycleContext;
    uint64_t EditSequenceCounter = 0;
    uint8_t GroupFlagsDirty = 0;
    // 1 while the current context holds imported values that differ from the
    // game's; the tick reads it to choose its imported mode.
    core::SharedValue<uint8_t> ImportedOverridesActive{0};
    std::vector<std::string> LastEditedNames;
    std::string LastEditedLabel;
};
extern EditStoreState EditStore;

// Two values differ when they are more than 1e-5 apart.
inline bool ValuesDiffer(float a, float b, double tolerance = 1e-5) {
    const double d = static_cast<double>(a) - static_cast<double>(b);
    return (d < 0 ? -d : d) > tolerance;
}
inline uint64_t NextEditStamp() { return ++EditStore.EditSequenceCounter; }

TimecycleEditStore& EnsureEditStore();
size_t EditSlotIndex(int weather, int region, int keyframe);  // keys clamped
EditSlot& GetEditSlot(int weather, int region, int keyframe);

void SelectTimecycleContext(int weather, int region, int keyframe);
void CommitSlotsToContext(uint32_t weather, uint32_t region, uint32_t keyframe);
void LoadContextIntoSlots(uint32_t weather, uint32_t region, uint32_t keyframe, uint8_t keepSlotState);
// Commit of the current context when one is valid.
void CommitCurrentContext();
// LoadContextIntoSlots of the current context (keepSlotState 0) when it is valid and on the weather.
void ReloadCurrentContextIfOnWeather(int weather);
void MarkParameterUserEdited(const char* xmlName);
void RememberEditedNames(const char* label, const std::vector<std::string>& names);
void RebuildBothRegion(int weather);
void RefreshGroupEditedFlags();
// RefreshGroupEditedFlags, then whether any of the 28 groups is edited (the
// all-live before/after hotkey asks this).
bool AnyTimecycleGroupEdited();
void ResetAllTimecycleVariables();
uint64_t CaptureLiveOriginalsForContext(int weather);
bool ContextHasEdits();
uint64_t CountWeatherEdits(int weather);
bool WeatherHasPendingEdits(int weather);
bool WeatherHasUserEdits(int weather);

// Empties the 39 slots of a weather in place (or those of the regions whose
// bit is set: 1 GLOBAL, 2 URBAN, 4 BOTH): fresh entries, loaded 0.
void ClearWeatherSlots(int weather, uint8_t regions = 0b111);

// Back to the state of a fresh process: empty store, no context, counter 0,
// flags cleared (tests and unload).
void ResetEditStoreForTesting();

}  // namespace timecycle
