#include "visualsettings/walkers.h"

#include <cstring>
#include <unordered_map>
#include <vector>

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

std::string LowerCopy(std::string_view key) {
    std::string text(key);
    for (char& c : text) c = core::LowerByte(c);
    return text;
}

// The walk discipline of the base-passing walkers: whether the walk visits
// the array (the bright filmic one only while its block is found).
bool Walked(const ParamArray& array) {
    return !(array.base == ArrayBase::BrightFilmic && Binding.filmicBlockFound.Get() == 0);
}

// step(row, base) for every row of the walk; bind: re-bind first while a base is missing.
template <typename Step>
void WalkWithBases(bool bind, bool nullKeysToo, Step&& step) {
    if (bind) BindWhenBasesMissing(true);
    for (const ParamArray& array : ParamArrays()) {
        if (!Walked(array)) continue;
        const uint64_t base = ArrayBaseAddress(array);
        for (VisualSettingsParam& row : array.Rows()) {
            if (row.key == nullptr ? !nullKeysToo : IsAlwaysSkippedKey(row.key)) continue;
            step(row, base);
        }
    }
}

bool IsVisibleRow(const VisualSettingsParam& row) {
    return row.key != nullptr && !IsVetoedKey(row.key) && !IsAlwaysSkippedKey(row.key);
}

// The walks by key, without going over every row for every key. Rows never
// move and their keys never change: each index is built once, on first use.
// The rows of the walk by lower-cased key (the always-skipped keys left
// out), in walk order.
const std::unordered_map<std::string, std::vector<VisualSettingsParam*>>& RowsByKey() {
    static const auto index = [] {
        std::unordered_map<std::string, std::vector<VisualSettingsParam*>> out;
        out.reserve(kParamRowCount);
        for (VisualSettingsParam& row : AllParams()) {
            if (row.key != nullptr && !IsAlwaysSkippedKey(row.key)) out[LowerCopy(row.key)].push_back(&row);
        }
        return out;
    }();
    return index;
}

// The editor's spelling of every visible row's key and dark filmic slot's
// name by the lower-cased key (rows first, the first one kept; no slot's
// name is hidden, so no hidden key is in it).
const std::unordered_map<std::string, const char*>& MappedKeys() {
    static const auto index = [] {
        std::unordered_map<std::string, const char*> out;
        out.reserve(kParamRowCount + kDarkFilmicSlotCount);
        for (const VisualSettingsParam& row : AllParams()) {
            if (IsVisibleRow(row)) out.emplace(LowerCopy(row.key), row.key);
        }
        for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) {
            const char* name = DarkFilmicSlot(i).name;
            if (name != nullptr) out.emplace(LowerCopy(name), name);
        }
        return out;
    }();
    return index;
}

}  // namespace

void ApplyVisualSettingByKey(std::string_view key, float value, bool liveAllowed, bool& found) {
    const auto rows = RowsByKey().find(LowerCopy(key));
    if (rows == RowsByKey().end()) return;
    for (VisualSettingsParam* row : rows->second) {
        const ParamArray& array = ParamArrays()[row->def->array - 1];
        if (!Walked(array)) continue;
        WriteLiveVisualSetting(*row, ArrayBaseAddress(array), value, liveAllowed);
        found = true;
    }
}

void SnapshotVisualSettings(VisualSettingsDefaultsMap& defaults) {
    WalkWithBases(false, false, [&](VisualSettingsParam& row, uint64_t) { defaults[LowerCopy(row.key)] = row.defaultValue; });
}

void ForEachVisualSettingsParam(const std::function<void(VisualSettingsParam&)>& visit) {
    WalkWithBases(true, true, [&](VisualSettingsParam& row, uint64_t) { visit(row); });
}

void ReapplySpecialVisualSettings() {
    WalkWithBases(true, false, [](VisualSettingsParam& row, uint64_t base) {
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

const char* LiveMappedKey(std::string_view key) {
    const auto found = MappedKeys().find(LowerCopy(key));
    return found == MappedKeys().end() ? nullptr : found->second;
}

}  // namespace visualsettings
