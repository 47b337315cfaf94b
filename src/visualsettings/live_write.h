// Live writing of parameter values: the entry operations for each situation
// (an imported value, a tab edit, a reset, the game's defaults shown, a read
// back) over one lower layer that dispatches by key class and otherwise
// writes by the row's value kind at its live address, then to its
// pointer-map and extra targets. Parameter writes never produce messages:
// each row records the outcome of its last game write in its applied flag.
//
// A row's game value is read before the first write to it when its default
// is left to the game build (EnsureGameDefault); a row whose game value was
// never known is not written at all.
//
// Thread rule: the render thread (tab, import) and the script fiber
// (before/after, tick) call these without a lock (see param_table.h).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/shared_value.h"
#include "runtime/live_slots.h"
#include "visualsettings/param_table.h"

namespace visualsettings {

// The live writes' own state; any thread (a SharedValue).
struct VisualSettingsLiveState {
    // When set, row refreshes and the before/after pass stop (nothing in the
    // editor sets it; a pause control would).
    core::SharedValue<uint8_t> VisualSettingsLivePaused{0};
};
extern VisualSettingsLiveState VisualSettingsLive;
// Back to the state at process start (tests).
void ResetVisualSettingsLiveState();

// Which channel writes a key, tested in this order.
enum class KeyClass {
    Hidden,                 // IsVetoedKey: never written
    TrafficLightComponent,  // the colour-group writers (traffic_lights.h)
    VolumeColor,            // the volume colour writers (volume_colour.h)
    PuddlesScale,           // the published scale cell (puddles.h)
    PuddlesPublished,       // "puddles.range", "puddles.depthtest": published only
    Ripple,                 // the ripple fields
    CarLodDistance,         // the car LOD distances (car_lod.h)
    RuntimeSlider,          // the runtime table (runtime_table.h)
    Plain,                  // by value kind at the live address
};
KeyClass ClassOfKey(const char* key);
// The class of a table row's key, worked out once per row.
KeyClass ClassOfRow(const VisualSettingsParam& row);

// gameValue encoded by the row's kind at address (floats with
// SafeWriteFloat, the rest with WriteBytesProtected; a colour channel reads
// the word first and writes nothing when it cannot); false for address 0.
bool WriteValueByKind(const VisualSettingsParam& row, uint64_t address, float gameValue);
// The row's game value at address, decoded by its kind, in file units.
bool ReadValueByKind(const VisualSettingsParam& row, uint64_t address, float& out);

// The dispatch by key class for v (file units); true when written.
bool WriteSpecialParam(VisualSettingsParam& row, float v);
// gameValue to each of the row's extra targets (at most 8; zero ones and
// those that decode to 0 skipped), by its kind; nothing for base 0 or a
// hidden key.
void WriteParamExtraTargets(const VisualSettingsParam& row, uint64_t base, float gameValue);
// Pointer-map targets (float rows) and extra targets.
void WriteParamOtherTargets(VisualSettingsParam& row, uint64_t base, float gameValue);

// An imported value: value, loaded, differs (from the game's own value),
// override cleared; written to the game when write. A row whose default is
// unknown takes it as its original (param_table.h).
void WriteLiveVisualSetting(VisualSettingsParam& row, uint64_t base, float v, bool write);
// A tab edit of the row's value: override set when it differs from the
// original; written.
void ApplyVisualSettingRow(VisualSettingsParam& row);
// Writes the row's default when force, or the row is overridden, or the
// game's values are shown and the row differs; reset first puts the row's
// own fields back to its reference (ResetRowToReference) and writes that.
void WriteParamByKind(VisualSettingsParam& row, uint64_t base, bool force, bool reset);
// The row's own fields back to its reference: value and applied value,
// loaded; differs cleared, unless the reference came from a file and the
// game's own value differs from it (or is unknown); override cleared, unless
// the reference differs from the last imported value, which the export
// would otherwise keep. A row without a reference keeps its value and loses
// only its edited marks.
void ResetRowToReference(VisualSettingsParam& row);
// WriteParamByKind over every array (the bright filmic one only while its
// block is found) and the same for the eight dark filmic slots with their
// fixed defaults. "Reset all": (1, 1); the switch to the game's values: (0, 0).
void ApplyAllVisualSettingsLive(bool reset, bool force);
// One row reset to its default, and the default written.
void WriteVisualSettingRow(VisualSettingsParam& row);
// The row (or slot) back to its original value (the applied value when no
// original is known), written to its address: a row by its value kind and
// unit, a slot as a float. True when a write succeeded.
bool ResetVisualSettingRow(VisualSettingsParam& row);
bool ResetVisualSettingRow(runtime::LiveOverrideSlot& slot);
// Reads the row's game value back (the tab's rows), by key class.
void RefreshVisualSettingRow(VisualSettingsParam& row);

// The default writer's test: force, or overridden, or the game's values
// shown and the row differs.
bool WantsDefaultWrite(const VisualSettingsParam& row, bool force);

// Colour rows written together as one colour (traffic-light groups, the
// volume colour). GameValuesKnown captures every row's game default first
// and says whether all are known; ComposeColour gives each channel its
// value, the default for the named channel (kNoChannel: none) and, with
// defaultsOfEdited, for rows that want their default written;
// FollowColourWrite records a written colour on the rows.
inline constexpr size_t kNoChannel = static_cast<size_t>(-1);
bool GameValuesKnown(std::span<VisualSettingsParam* const> rows);
void ComposeColour(std::span<VisualSettingsParam* const> rows, size_t named, bool defaultsOfEdited,
                   std::span<float> channels);
void FollowColourWrite(std::span<VisualSettingsParam* const> rows, std::span<const float> written, bool ok);

}  // namespace visualsettings
