#include "visualsettings/walkers.h"

#include <cstring>

#include "core/text.h"
#include "visualsettings/binding.h"
#include "visualsettings/live_write.h"
#include "visualsettings/pointer_map.h"
#include "visualsettings/runtime_keys.h"

namespace visualsettings {
namespace {

constexpr const char* kSpecialKeys[] = {
    "distantlights.carlight1.color.green", "distantlights.carlight1.color.blue",
    "distantlights.carlight2.color.green", "distantlights.streetlight.color.green",
    "distantlights.streetlight.color.blue", "lod.fadedist.hd", "lod.fadedist.lod", "lod.fadedist.orphanhd",
    "lod.fadedist.slod1", "lod.fadedist.slod2", "lod.fadedist.slod3", "lod.fadedist.slod4",
    "pedLight.volumeColor.z"};

bool IsSpecialKey(const char* key) {
    for (const char* special : kSpecialKeys) {
        if (std::strcmp(special, key) == 0) return true;
    }
    return false;
}

std::string LowerCopy(const char* key) {
    std::string text(key);
    for (char& c : text) c = core::LowerByte(c);
    return text;
}

// The walk discipline of the base-passing walkers: step(row, base).
template <typename Step>
void WalkWithBases(bool nullKeysToo, Step&& step) {
    BindWhenBasesMissing(true);
    for (const ParamArray& array : ParamArrays()) {
        if (array.base == ArrayBase::BrightFilmic && Binding.filmicBlockFound.Get() == 0) continue;
        const uint64_t base = ArrayBaseAddress(array);
        for (VisualSettingsParam& row : array.Rows()) {
            if (row.key == nullptr ? !nullKeysToo : IsAlwaysSkippedKey(row.key)) continue;
            step(row, base);
        }
    }
}

}  // namespace

bool IsVisibleRow(const VisualSettingsParam& row) {
    return row.key != nullptr && !IsVetoedKey(row.key) && !IsAlwaysSkippedKey(row.key);
}

void ApplyVisualSettingByKey(const char* key, float value, bool liveAllowed, bool& found) {
    if (key == nullptr) return;
    WalkWithBases(false, [&](VisualSettingsParam& row, uint64_t base) {
        if (!core::EqualsNoCase(row.key, key)) return;
        WriteLiveVisualSetting(row, base, value, liveAllowed);
        found = true;
    });
}

void SnapshotVisualSettings(VisualSettingsDefaultsMap& defaults) {
    WalkWithBases(false, [&](VisualSettingsParam& row, uint64_t) { defaults[LowerCopy(row.key)] = row.defaultValue; });
}

void ForEachVisualSettingsParam(const std::function<void(VisualSettingsParam&)>& visit) {
    WalkWithBases(true, [&](VisualSettingsParam& row, uint64_t) { visit(row); });
}

void ReapplySpecialVisualSettings() {
    WalkWithBases(false, [](VisualSettingsParam& row, uint64_t base) {
        if (!IsSpecialKey(row.key) || (!row.differs && !row.overridden)) return;
        const float v = row.value;
        const bool ok = WriteSpecialParam(row, v);
        if (ok) row.appliedValue = v;
        row.applied = ok ? 1 : 0;
        if (!row.defaultKnown) return;  // never read from the game: nothing else is written
        const float game = ToGameUnits(row, v);
        if (row.Kind() == ValueKind::Float) WritePointerMapTargets(row.key, game);
        WriteParamExtraTargets(row, base, game);
    });
}

void CollectVisibleVisualRows(VisibleRows& rows, VisibleSlots& slots) {
    for (VisualSettingsParam& row : AllParams()) {
        if (IsVisibleRow(row)) rows.emplace(row.key, &row);
    }
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) {
        runtime::LiveOverrideSlot& slot = DarkFilmicSlot(i);
        if (slot.name != nullptr && !IsVetoedKey(slot.name)) slots.emplace(slot.name, &slot);
    }
}

bool IsKeyLiveMapped(const char* key) {
    if (key == nullptr || IsVetoedKey(key)) return false;
    for (const VisualSettingsParam& row : AllParams()) {
        if (IsVisibleRow(row) && core::EqualsNoCase(row.key, key)) return true;
    }
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) {
        const char* name = DarkFilmicSlot(i).name;
        if (name != nullptr && core::EqualsNoCase(name, key)) return true;
    }
    return false;
}

}  // namespace visualsettings
