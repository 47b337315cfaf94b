#include "timecycle/timecycle_model.h"

#include <unordered_map>

#include "core/file_utils.h"
#include "runtime/live_slots.h"

namespace timecycle {

int ClampWeather(int32_t weather) { return weather < 0 ? 0 : (weather > 17 ? 17 : weather); }
int ClampRegion(int32_t region) { return region < 0 ? 0 : (region > 2 ? 2 : region); }
int ClampKeyframe(int32_t keyframe) { return keyframe < 0 ? 0 : (keyframe > 12 ? 12 : keyframe); }

const std::vector<const TimecycleVariable*>& TimecycleVariableList() {
    static const std::vector<const TimecycleVariable*> list = [] {
        std::vector<const TimecycleVariable*> rows;
        rows.reserve(kVariableCount);
        for (const TimecycleVariable& row : TimecycleVariableTable) {
            if (row.slot) row.slot->listed = 1;
            rows.push_back(&row);
        }
        return rows;
    }();
    return list;
}

void AssignVariableSlotAddresses() {
    runtime::LiveOverrideSlot* slots[kVariableCount];
    for (size_t i = 0; i < kVariableCount; ++i) slots[i] = TimecycleVariableTable[i].slot;
    runtime::AssignTimecycleSlotAddresses(slots, kVariableCount);
}

bool NameMatchesBase(std::string_view name, std::string_view baseName) {
    if (name == baseName) return true;
    if (name.size() != baseName.size() + 2 || name.substr(0, baseName.size()) != baseName) return false;
    const char suffix = name.back();
    return name[baseName.size()] == '_' &&
           (suffix == 'r' || suffix == 'g' || suffix == 'b' || suffix == 'x' || suffix == 'y' || suffix == 'z');
}

namespace {

// The first group and base name the name matches; false when none.
bool MatchBaseName(const char* name, int& group, const char*& baseName) {
    if (!name) return false;
    const std::string_view n(name);
    for (size_t g = 0; g < kGroupCount; ++g) {
        const VariableGroupData& data = kVariableGroupData[g];
        for (uint64_t b = 0; b < data.count; ++b) {
            if (NameMatchesBase(n, data.baseNames[b])) {
                group = static_cast<int>(g);
                baseName = data.baseNames[b];
                return true;
            }
        }
    }
    return false;
}

}  // namespace

int VariableGroupIndexOf(const TimecycleVariable* row) {
    int group = 0;
    const char* baseName = nullptr;
    if (row && MatchBaseName(row->xmlName, group, baseName)) return group;
    return static_cast<int>(kGroupCount) - 1;
}

std::string VariableBaseName(const TimecycleVariable* row) {
    int group = 0;
    const char* baseName = nullptr;
    if (row && MatchBaseName(row->xmlName, group, baseName)) return baseName;
    if (row && row->xmlName) return row->xmlName;
    return "misc";
}

std::vector<TimecycleVariableGroup>& TimecycleVariableGroupList() {
    static std::vector<TimecycleVariableGroup> groups = [] {
        std::vector<TimecycleVariableGroup> list(kGroupCount);
        for (const TimecycleVariable* row : TimecycleVariableList()) {
            int g = VariableGroupIndexOf(row);
            if (g > 27) g = 27;
            TimecycleVariableGroup& group = list[static_cast<size_t>(g)];
            ++group.variableCount;
            const std::string key = VariableBaseName(row);
            bool added = false;
            for (VariableGroupEntry& entry : group.entries) {
                if (entry.key == key) {
                    entry.rows.push_back(row);
                    added = true;
                    break;
                }
            }
            if (!added) group.entries.push_back(VariableGroupEntry{key, {row}, 0});
        }
        return list;
    }();
    return groups;
}

const std::map<std::string, uint64_t>& VariableNameIndex() {
    static const std::map<std::string, uint64_t> index = [] {
        std::map<std::string, uint64_t> map;
        const auto& list = TimecycleVariableList();
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i]->xmlName) map[list[i]->xmlName] = i;
        }
        return map;
    }();
    return index;
}

int FindVariableRow(std::string_view xmlName) {
    static const std::unordered_map<std::string_view, int> index = [] {
        std::unordered_map<std::string_view, int> map;
        map.reserve(kVariableCount * 2);
        for (const auto& [name, row] : VariableNameIndex()) map[name] = static_cast<int>(row);
        return map;
    }();
    auto it = index.find(xmlName);
    return it == index.end() ? -1 : it->second;
}

bool IsVariableInertInWeather(const TimecycleVariable* row, int weather) {
    if (!row || !row->xmlName) return false;
    const std::string_view name(row->xmlName);
    const bool motionBlur = name == "postfx_motionblurlength";
    const bool halloweenOnly = name == "no_rain_ripples" || name == "vfxlightning_visibility" ||
                               name == "ped_light_direction_x" || name == "ped_light_direction_y" ||
                               name == "ped_light_direction_z";
    if (!motionBlur && !halloweenOnly) return false;
    if (weather < 0 || weather > 17) return true;
    const std::string_view game(WeatherNameTable[weather].gameName);
    const bool halloween = game == "HALLOWEEN" || game == "RAIN_HALLOWEEN" || game == "SNOW_HALLOWEEN";
    if (halloween) return false;
    if (motionBlur && game == "SMOG") return false;
    return true;
}

bool TextContainsNoCase(const char* text, const char* query) {
    if (!query || !*query) return true;
    return core::CaseInsensitiveContains(text, query);
}

}  // namespace timecycle
