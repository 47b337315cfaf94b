// The visualsettings parameters: 1,306 rows in 55 arrays, one row per key of
// visualsettings.dat that the editor can edit, with the row's run-time state
// (the editor's value, the value last applied to the game, the game's
// original value, flags). There is no other model of the parameters: the
// import, the export, the tab, the live writers and before/after all work on
// these rows in place. Rows are never added, removed or moved, so a row
// pointer stays valid for the run.
//
// Units: value, default, original and range are in the file's units; a
// row's unit conversion and value kind turn them into the game's form only
// at a game read or write (ToGameUnits, EncodeUnsigned, SetColorChannel).
//
// Defaults: a row whose default the data does not give (left to the game
// build) has an unknown default until the game's own value is first read
// (AdoptGameDefault); until then nothing writes the row's default, or any
// value of it, to the game.
//
// Reference: the value a row counts as unedited at, which the reset returns
// it to (ReferenceValue): the original (the game's value, or the data's
// default) when there is one. A row whose default is still unknown when an
// import reaches it takes the imported value as its reference instead
// (originalFromFile): what the file, and so the export's template, holds;
// each later import renews it. A row with neither has no value yet
// (HasValue false): nothing is shown, exported or written for it.
//
// Thread rule: the render thread (tab, import, export) and the script fiber
// (before/after and re-apply in the tick) both read and write the rows
// without a lock; every mutable field is a relaxed atomic
// (core::SharedValue), so a reader sees the old or the new value of one
// field and no multi-field consistency is promised. The locator thread
// touches no row.
#pragma once
#include <cstdint>
#include <span>

#include "core/shared_value.h"
#include "runtime/live_slots.h"
#include "visualsettings/param_data.h"

namespace visualsettings {

struct VisualSettingsParam {
    // ---- The fields a row shares with runtime::LiveOverrideSlot (same meaning) ----
    const char* key = nullptr;                  // slot: name
    core::SharedValue<uint64_t> liveAddress{0};  // slot: address; 0 until bound
    core::SharedValue<float> value{0.0f};         // the editor's value
    core::SharedValue<float> appliedValue{0.0f};  // slot: liveValue; last read from / written to the game
    core::SharedValue<uint8_t> loaded{0};         // value holds a meaningful editor value
    core::SharedValue<uint8_t> overridden{0};     // slot: enabled; set by hand in the editor
    core::SharedValue<uint8_t> applied{0};        // slot: liveReadable; the last game write or read succeeded
    core::SharedValue<float> original{0.0f};      // slot: baselineValue; the game's original value
    core::SharedValue<uint8_t> hasOriginal{0};    // slot: baselineCaptured
    core::SharedValue<uint8_t> hold{0};           // slot: listed; a refresh leaves value alone
    core::SharedValue<uint8_t> differs{0};        // slot: followImport; an imported value differs from the original
    // ---- Own fields ----
    const ParamDef* def = nullptr;  // array, range, kind, unit, targets
    core::SharedValue<float> defaultValue{0.0f};
    core::SharedValue<uint8_t> defaultKnown{0};     // given by the data or read from the game
    core::SharedValue<uint8_t> defaultCaptured{0};  // a recapture row's default was replaced by the game's
    // The original is the last imported value: the default was unknown when the first import reached the row.
    core::SharedValue<uint8_t> originalFromFile{0};
    // The last imported value, which the export's template holds for the row.
    core::SharedValue<float> importedValue{0.0f};
    core::SharedValue<uint8_t> imported{0};

    ValueKind Kind() const { return static_cast<ValueKind>(def->kind); }
    UnitConversion Unit() const { return static_cast<UnitConversion>(def->unit); }
    uint64_t Target() const { return def->target; }
    // The row has a game location of its own (a target the data gives, not 0).
    bool HasTarget() const { return def->targetGiven && def->target != 0; }
};

// Which base a row's untagged target is an offset from.
enum class ArrayBase : uint8_t { Coronas, BrightFilmic, Module };

struct ParamArray {
    const char* firstKey = nullptr;
    VisualSettingsParam* rows = nullptr;
    size_t count = 0;
    ArrayBase base = ArrayBase::Module;
    std::span<VisualSettingsParam> Rows() const { return {rows, count}; }
};

// The 55 arrays in walk order; the rows of all of them, contiguous, in walk order.
std::span<const ParamArray> ParamArrays();
std::span<VisualSettingsParam> AllParams();
// The array whose first key is firstKey (exact), or null.
const ParamArray* ArrayByFirstKey(const char* firstKey);
inline constexpr const char* kCoronasArray = "misc.coronas.sizeScaleGlobal";
inline constexpr const char* kBrightFilmicArray = "Tonemapping.bright.filmic.A";
inline constexpr const char* kHeadlightsArray = "car.headlights.global.HeadlightIntensityMult";
inline constexpr const char* kNeonColourArray = "car.neon.defaultcolor.red";
inline constexpr const char* kTrafficLightArray = "trafficLight.near.intensity";
inline constexpr const char* kRainLightArray = "rain.defaultlight.red";
inline constexpr const char* kBrightLightArray = "misc.brightlight.distculled.FadeStart";
inline constexpr const char* kSeeThroughColourArray = "seeThrough.ColorNear.red";
inline constexpr const char* kPuddlesArray = "heightReflect.height";

// The row whose key equals key exactly (case-sensitive bytes), in walk
// order; null for a null key or a key no row has.
VisualSettingsParam* FindVisualSettingsParam(const char* key);
// The same inside one array.
VisualSettingsParam* FindParamInArray(const ParamArray* array, const char* key);

// ---- The dark filmic slots --------------------------------------------------------------
// The eight live override slots "Tonemapping.dark.filmic.A" .. ".exposure"
// (runtime::LiveSlots.LightDirSlotTable rows 4-11) that the editor treats as eight more
// parameters, and their fixed defaults.
inline constexpr size_t kDarkFilmicSlotCount = 8;
runtime::LiveOverrideSlot& DarkFilmicSlot(size_t i);
float DarkFilmicDefault(size_t i);

// ---- Key filters ---------------------------------------------------------------------
// The four keys every walker passes over (compared ignoring ASCII case).
bool IsAlwaysSkippedKey(const char* key);
// The hidden-key rule: a key that is no runtime slider key and is one of the
// 43 hidden keys or begins with "bloom.airy.colour2." (case-sensitive) is
// never listed, written live or exported. False for null.
bool IsVetoedKey(const char* key);
// The 20 keys shown as a checkbox, and the 9 edited as whole numbers (exact; false for null).
bool IsBoolVisualKey(const char* key);
bool IsSpecialUnitKey(const char* key);

// ---- Units and encodings --------------------------------------------------------------
// File units to game units and back, by the row's unit conversion.
float ToGameUnits(UnitConversion unit, float v);
float ToEditorUnits(UnitConversion unit, float v);
inline float ToGameUnits(const VisualSettingsParam& row, float v) { return ToGameUnits(row.Unit(), v); }
// The unsigned 32-bit form: 0 when v is not finite or v <= 0, 0xFFFFFFFF from
// 4294967296.0 on, else v rounded to nearest, halves away from zero.
uint32_t EncodeUnsigned(float v);
// A colour channel byte: 0 when v is not finite or v <= 0, 255 from 1.0 on,
// else v x 255 rounded to nearest (halves away from zero).
uint8_t ChannelByte(float v);
// The colour with the kind's channel replaced by ChannelByte(v); any kind
// other than Red, Green, Blue returns it unchanged.
uint32_t SetColorChannel(uint32_t colour, int32_t kind, float v);

// ---- Defaults ------------------------------------------------------------------------------
// The start-up reset (run once, after the binding), over every row in walk
// order and then the eight dark filmic slots: original := default and
// has-original := 1; unless the row is overridden, value := applied value :=
// default and loaded := applied := 1. A row whose default is still unknown
// is left alone. Nothing is written to the game.
void InitVisualSettingsDefaults();
// Makes the row's default known from a game value (file units) read before
// anything was written: default := v, and original := v unless the row has
// an original already (one taken from an imported file stays); a row not
// loaded takes the start-up reset as well. Nothing happens when the default
// is known already.
void AdoptGameDefault(VisualSettingsParam& row, float v);

// The row holds a value someone read (the data's default, the game's, an
// imported or an edited one), not the 0 it starts with.
bool HasValue(const VisualSettingsParam& row);
// The row has a reference, and its value (the original when there is one,
// else the default).
bool HasReference(const VisualSettingsParam& row);
float ReferenceValue(const VisualSettingsParam& row);

// ---- The fields a row shares with an override slot -------------------------------------
// One view of those fields, so that one operation serves a row and a slot
// (the row reset below, the tab's reset button and edited marker).
struct SharedRowFields {
    const char* key;
    core::SharedValue<uint64_t>& address;
    core::SharedValue<float>& value;
    core::SharedValue<float>& appliedValue;
    core::SharedValue<uint8_t>& loaded;
    core::SharedValue<uint8_t>& overridden;
    core::SharedValue<uint8_t>& applied;
    core::SharedValue<float>& original;
    core::SharedValue<uint8_t>& hasOriginal;
    core::SharedValue<uint8_t>& differs;
};
SharedRowFields FieldsOf(VisualSettingsParam& row);
SharedRowFields FieldsOf(runtime::LiveOverrideSlot& slot);

// Every row and the dark filmic slots' override fields back to the start
// state (tests; the run never calls it).
void ResetParamTableForTesting();

}  // namespace visualsettings
