#include "visualsettings/param_table.h"

#include <array>
#include <cmath>
#include <cstring>

#include "core/text.h"
#include "visualsettings/runtime_keys.h"

namespace visualsettings {
namespace {

constexpr const char* kAlwaysSkippedKeys[] = {
    "hdr.ui.cc.levels.max.r", "car.taxi.color.red", "car.taxi.color.green", "car.taxi.color.blue",
};
constexpr const char* kHiddenParamKeys[] = {
    "shadows.cloudtexture.scale", "rain.gravity.y", "rain.gravity.z", "cam.followped.blur.zoom.x",
    "cam.followped.blur.zoom.y", "cam.followped.blur.zoom.w", "cam.followped.blur.damage.y",
    "cam.followped.blur.damage.w", "cam.followped.blur.falling.x", "cam.followped.blur.falling.y",
    "cam.followped.blur.falling.z", "cam.followped.blur.falling.w", "cam.followped.blur.beta.x",
    "cam.followped.blur.beta.y", "cam.followped.blur.beta.z", "cam.followped.blur.beta.w",
    "cam.aimweapon.blur.zoom.x", "cam.aimweapon.blur.zoom.y", "cam.aimweapon.blur.zoom.z",
    "cam.aimweapon.blur.zoom.w", "cam.aimweapon.blur.damage.x", "cam.aimweapon.blur.damage.y",
    "cam.aimweapon.blur.damage.z", "cam.aimweapon.blur.damage.w", "cam.followvehicle.blur.zoom.y",
    "cam.followvehicle.blur.zoom.w", "cam.followvehicle.blur.speed.x", "cam.followvehicle.blur.speed.y",
    "cam.followvehicle.blur.speed.w", "cam.followvehicle.blur.damage.x", "cam.followvehicle.blur.damage.y",
    "cam.followvehicle.blur.damage.w", "imposter.color.blendRange", "imposter.color.amt1",
    "imposter.color.size2", "imposter.color.amt2", "imposter.backgroundColor.red",
    "imposter.backgroundColor.green", "imposter.backgroundColor.blue", "sky.cloudWarp",
    "Tonemapping.bright.filmic.W.HDR", "dark.secLight.lightDirBase", "hdr.ui.alphaAdjustment.enabled",
};
constexpr const char* kBoolVisualKeys[] = {
    "dark.useSpec", "dark.useShadows", "dark.useVolumes", "dark.secLight.enable", "dark.secLight.useSpec",
    "defaultmotionblur.enabled", "defaultmotionblur.new.enabled", "defaultmotionblur.fpv.enabled",
    "defaultsearchlight.mainLightInfo.enable", "defaultsearchlight.mainLightInfo.specular",
    "defaultsearchlight.mainLightInfo.shadow", "defaultsearchlight.mainLightInfo.volume",
    "helisearchlight.mainLightInfo.enable", "helisearchlight.mainLightInfo.specular",
    "helisearchlight.mainLightInfo.shadow", "helisearchlight.mainLightInfo.volume",
    "boatsearchlight.mainLightInfo.enable", "boatsearchlight.mainLightInfo.specular",
    "boatsearchlight.mainLightInfo.shadow", "boatsearchlight.mainLightInfo.volume",
};
constexpr const char* kSpecialUnitKeys[] = {
    "car.sirens.SpecularFade", "car.sirens.ShadowFade", "misc.DamageOverlay.RampUpDuration",
    "misc.DamageOverlay.HoldDuration", "misc.DamageOverlay.RampDownDuration",
    "misc.DamageOverlay.FP.RampUpDuration", "misc.DamageOverlay.FP.HoldDuration",
    "misc.DamageOverlay.FP.RampDownDuration", "adaptivedof.gridsize",
};

constexpr float kDarkFilmicDefaults[kDarkFilmicSlotCount] = {0.22f, 0.3f, 0.1f, 0.2f, 0.0f, 0.3f, 4.0f, 3.0f};
constexpr const char kHiddenPrefix[] = "bloom.airy.colour2.";

// The rows and the arrays over them. Built once, on first use.
struct ParamTableState {
    std::array<VisualSettingsParam, kParamRowCount> rows;
    std::array<ParamArray, kParamArrayCount> arrays{};

    ParamTableState() {
        size_t first = 0;
        for (size_t a = 0; a < kParamArrayCount; ++a) {
            size_t end = first;
            while (end < kParamRowCount && detail::kParamSpecs[end].array == a + 1) ++end;
            ParamArray& array = arrays[a];
            array.firstKey = detail::kParamSpecs[first].key;
            array.rows = &rows[first];
            array.count = end - first;
            array.base = a == 0 ? ArrayBase::Coronas : a == 1 ? ArrayBase::BrightFilmic : ArrayBase::Module;
            first = end;
        }
        for (size_t i = 0; i < kParamRowCount; ++i) ResetRow(rows[i], detail::kParamSpecs[i]);
    }

    static void ResetRow(VisualSettingsParam& row, const ParamDef& def) {
        row.key = def.key;
        row.def = &def;
        const float start = def.defaultGiven ? def.defaultValue : 0.0f;
        const uint8_t preset = def.preset && def.defaultGiven ? 1 : 0;
        row.liveAddress = 0;
        row.value = start;
        row.appliedValue = start;
        row.loaded = preset;
        row.overridden = 0;
        row.applied = preset;
        row.original = 0.0f;
        row.hasOriginal = 0;
        row.hold = 0;
        row.differs = 0;
        row.defaultValue = start;
        row.defaultKnown = def.defaultGiven ? 1 : 0;
        row.defaultCaptured = 0;
        row.originalFromFile = 0;
        row.importedValue = 0.0f;
        row.imported = 0;
    }
};

ParamTableState& Table() {
    static ParamTableState table;
    return table;
}

bool InList(const char* key, std::span<const char* const> list) {
    if (key == nullptr) return false;
    for (const char* entry : list) {
        if (std::strcmp(entry, key) == 0) return true;
    }
    return false;
}

void ResetToDefault(VisualSettingsParam& row) {
    const float d = row.defaultValue;
    row.original = d;
    row.hasOriginal = 1;
    if (row.overridden) return;
    row.value = d;
    row.appliedValue = d;
    row.loaded = 1;
    row.applied = 1;
}

float RoundHalfAway(double v) { return static_cast<float>(v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5)); }

}  // namespace

std::span<const ParamArray> ParamArrays() { return Table().arrays; }
std::span<VisualSettingsParam> AllParams() { return Table().rows; }

const ParamArray* ArrayByFirstKey(const char* firstKey) {
    if (firstKey == nullptr) return nullptr;
    for (const ParamArray& array : Table().arrays) {
        if (std::strcmp(array.firstKey, firstKey) == 0) return &array;
    }
    return nullptr;
}

VisualSettingsParam* FindVisualSettingsParam(const char* key) {
    if (key == nullptr) return nullptr;
    for (VisualSettingsParam& row : Table().rows) {
        if (row.key != nullptr && std::strcmp(row.key, key) == 0) return &row;
    }
    return nullptr;
}

VisualSettingsParam* FindParamInArray(const ParamArray* array, const char* key) {
    if (array == nullptr || key == nullptr) return nullptr;
    for (VisualSettingsParam& row : array->Rows()) {
        if (row.key != nullptr && std::strcmp(row.key, key) == 0) return &row;
    }
    return nullptr;
}

runtime::LiveOverrideSlot& DarkFilmicSlot(size_t i) {
    return runtime::LiveSlots.LightDirSlotTable[runtime::kFirstDarkFilmicSlot + (i < kDarkFilmicSlotCount ? i : 0)];
}

float DarkFilmicDefault(size_t i) { return i < kDarkFilmicSlotCount ? kDarkFilmicDefaults[i] : 0.0f; }

bool IsAlwaysSkippedKey(const char* key) {
    if (key == nullptr) return false;
    for (const char* skipped : kAlwaysSkippedKeys) {
        if (core::EqualsNoCase(skipped, key)) return true;
    }
    return false;
}

bool IsVetoedKey(const char* key) {
    if (key == nullptr || FindRuntimeSliderKey(key) != nullptr) return false;
    if (InList(key, kHiddenParamKeys)) return true;
    return std::strncmp(key, kHiddenPrefix, sizeof kHiddenPrefix - 1) == 0;
}

bool IsBoolVisualKey(const char* key) { return InList(key, kBoolVisualKeys); }
bool IsSpecialUnitKey(const char* key) { return InList(key, kSpecialUnitKeys); }

float ToGameUnits(UnitConversion unit, float v) {
    switch (unit) {
    case UnitConversion::Degrees: return v * 0.017453292f;
    case UnitConversion::Thousandths: return v * 1000.0f;
    default: return v;
    }
}

float ToEditorUnits(UnitConversion unit, float v) {
    switch (unit) {
    case UnitConversion::Degrees: return v * 57.29578f;
    case UnitConversion::Thousandths: return v * 0.001f;
    default: return v;
    }
}

uint32_t EncodeUnsigned(float v) {
    if (!std::isfinite(v) || v <= 0.0f) return 0;
    if (v >= 4294967296.0f) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(RoundHalfAway(static_cast<double>(v)));
}

uint8_t ChannelByte(float v) {
    if (!std::isfinite(v) || v <= 0.0f) return 0;
    if (v >= 1.0f) return 255;
    return static_cast<uint8_t>(static_cast<uint32_t>(RoundHalfAway(static_cast<double>(v) * 255.0)) & 0xFFu);
}

uint32_t SetColorChannel(uint32_t colour, int32_t kind, float v) {
    unsigned shift;
    switch (static_cast<ValueKind>(kind)) {
    case ValueKind::Red: shift = 16; break;
    case ValueKind::Green: shift = 8; break;
    case ValueKind::Blue: shift = 0; break;
    default: return colour;
    }
    return (colour & ~(0xFFu << shift)) | (static_cast<uint32_t>(ChannelByte(v)) << shift);
}

void InitVisualSettingsDefaults() {
    for (VisualSettingsParam& row : Table().rows) {
        if (row.defaultKnown) ResetToDefault(row);
    }
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) {
        runtime::LiveOverrideSlot& slot = DarkFilmicSlot(i);
        const float d = kDarkFilmicDefaults[i];
        slot.baselineValue = d;
        slot.baselineCaptured = 1;
        if (slot.enabled) continue;
        slot.value = d;
        slot.liveValue = d;
        slot.loaded = 1;
        slot.liveReadable = 1;
    }
}

void AdoptGameDefault(VisualSettingsParam& row, float v) {
    if (row.defaultKnown) return;
    row.defaultValue = v;
    if (!row.hasOriginal) {
        row.original = v;
        row.hasOriginal = 1;
    }
    row.defaultKnown = 1;
    if (row.loaded) return;  // an imported or edited value stays
    row.value = v;
    row.appliedValue = v;
    row.loaded = 1;
    row.applied = 1;
}

bool HasValue(const VisualSettingsParam& row) { return row.loaded || row.defaultKnown; }
bool HasReference(const VisualSettingsParam& row) { return row.hasOriginal || row.defaultKnown; }
float ReferenceValue(const VisualSettingsParam& row) {
    return row.hasOriginal ? row.original.Get() : row.defaultValue.Get();
}

SharedRowFields FieldsOf(VisualSettingsParam& row) {
    return {row.key,         row.liveAddress, row.value,       row.appliedValue, row.loaded,
            row.overridden,  row.applied,     row.original,    row.hasOriginal,  row.differs};
}

SharedRowFields FieldsOf(runtime::LiveOverrideSlot& slot) {
    return {slot.name,    slot.address,      slot.value,          slot.liveValue,        slot.loaded,
            slot.enabled, slot.liveReadable, slot.baselineValue, slot.baselineCaptured, slot.followImport};
}

void ResetParamTableForTesting() {
    ParamTableState& table = Table();
    for (size_t i = 0; i < kParamRowCount; ++i) ParamTableState::ResetRow(table.rows[i], detail::kParamSpecs[i]);
}

}  // namespace visualsettings
