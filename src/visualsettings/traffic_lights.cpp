#include "visualsettings/traffic_lights.h"

#include <cstring>
#include <string>

#include "core/game_control_settings.h"
#include "core/text.h"
#include "runtime/data_signatures.h"
#include "runtime/guarded_memory.h"
#include "runtime/scans.h"
#include "visualsettings/binding.h"
#include "visualsettings/live_write.h"

namespace visualsettings {

TrafficLightState TrafficLights;

const char* const kTrafficLightColorGroups[kTrafficLightColorGroupCount] = {
    "trafficLight.red.color",  "trafficLight.amber.color",    "trafficLight.green.color",
    "trafficLight.walk.color", "trafficLight.dontwalk.color", "trafficLight.near.na.color"};

namespace {

// The group vectors in data block 3, in the order of the groups.
constexpr runtime::LiveHandle kGroupTargets[kTrafficLightColorGroupCount] = {
    0x1003000000000050ull, 0x1003000000000070ull, 0x1003000000000060ull,
    0x1003000000000080ull, 0x1003000000000090ull, 0x1003000000000030ull};

constexpr const char* kChannels[3] = {"red", "green", "blue"};

int GroupIndex(const char* group) {
    if (group == nullptr) return -1;
    for (size_t i = 0; i < kTrafficLightColorGroupCount; ++i) {
        if (std::strcmp(group, kTrafficLightColorGroups[i]) == 0) return static_cast<int>(i);
    }
    return -1;
}

// The group's three channel rows (red, green, blue); false when one is missing.
bool ChannelRows(const char* group, VisualSettingsParam* (&rows)[3]) {
    const ParamArray* array = ArrayByFirstKey(kTrafficLightArray);
    for (size_t c = 0; c < 3; ++c) {
        const std::string key = std::string(group) + "." + kChannels[c];
        rows[c] = FindParamInArray(array, key.c_str());
        if (rows[c] == nullptr) return false;
    }
    return true;
}

bool EndsWith(const char* key, const char* tail) {
    const size_t n = std::strlen(key), t = std::strlen(tail);
    return n >= t && std::strcmp(key + n - t, tail) == 0;
}

}  // namespace

bool IsTrafficLightColorKey(const char* key) { return GroupIndex(key) >= 0; }

const char* TrafficLightGroupKey(const char* key) {
    if (key == nullptr) return nullptr;
    for (const char* group : kTrafficLightColorGroups) {
        const size_t n = std::strlen(group);
        if (std::strncmp(key, group, n) == 0 && key[n] == '.') return group;
    }
    return nullptr;
}

bool IsTrafficLightColorComponent(const char* key) { return TrafficLightGroupKey(key) != nullptr; }

uint64_t TrafficLightColorAddress(const char* group) {
    const int i = GroupIndex(group);
    if (i < 0) return 0;
    core::SharedValue<uint64_t>& kept = TrafficLights.groupAddress[i];
    if (const uint64_t address = kept.Get()) return address;
    const uint64_t address = runtime::ResolveSignatureField(kGroupTargets[i]);
    if (address != 0) kept.Set(address);
    return address;
}

bool ContainsTrafficLight(const VisualSettingsParam& row) {
    if (row.key == nullptr || IsVetoedKey(row.key)) return false;
    std::string lower(row.key);
    for (char& c : lower) c = core::LowerByte(c);
    return lower.find("trafficlight.") != std::string::npos;
}

bool IsTrafficLightColorOverridden(const char* group) {
    if (GroupIndex(group) < 0) return false;
    const ParamArray* array = ArrayByFirstKey(kTrafficLightArray);
    for (const char* channel : kChannels) {
        const std::string key = std::string(group) + "." + channel;
        const VisualSettingsParam* row = FindParamInArray(array, key.c_str());
        if (row != nullptr && row->overridden) return true;
    }
    return false;
}

bool WriteTrafficLightColor(const char* group, float r, float g, float b) {
    const uint64_t address = TrafficLightColorAddress(group);
    if (address == 0) return false;
    bool ok = runtime::SafeWriteFloat(address, r);
    ok = runtime::SafeWriteFloat(address + 4, g) && ok;
    ok = runtime::SafeWriteFloat(address + 8, b) && ok;
    ok = runtime::SafeWriteFloat(address + 12, r) && ok;
    return ok;
}

bool WriteTrafficLightColorGroup(const char* group) {
    VisualSettingsParam* rows[3];
    if (GroupIndex(group) < 0 || !ChannelRows(group, rows) || !GameValuesKnown(rows)) return false;
    const float values[3] = {rows[0]->value, rows[1]->value, rows[2]->value};
    const bool ok = WriteTrafficLightColor(group, values[0], values[1], values[2]);
    FollowColourWrite(rows, values, ok);
    return ok;
}

bool WriteTrafficLightComponent(const char* key, bool reset, bool defaultsOfEdited) {
    const char* group = TrafficLightGroupKey(key);
    VisualSettingsParam* rows[3];
    if (group == nullptr || !ChannelRows(group, rows)) return false;
    int named = -1;
    for (int c = 0; c < 3 && named < 0; ++c) {
        if (EndsWith(key, (std::string(".") + kChannels[c]).c_str())) named = c;
    }
    if (named < 0) return false;
    const bool known = GameValuesKnown(rows);
    VisualSettingsParam& row = *rows[named];
    if (reset) ResetRowToReference(row);  // whether or not the colour can be written
    if (!known) return false;
    float channels[3];
    ComposeColour(rows, reset ? kNoChannel : static_cast<size_t>(named), defaultsOfEdited, channels);
    const bool ok = WriteTrafficLightColor(group, channels[0], channels[1], channels[2]);
    FollowColourWrite(rows, channels, ok);
    if (reset && row.liveAddress != 0) runtime::SafeWriteFloat(row.liveAddress, row.value);
    return ok;
}

void WriteParamPrimaryAndExtras(VisualSettingsParam& row, float value) {
    const float game = ToGameUnits(row, value);
    const uint64_t address = row.liveAddress;
    const bool ok = address != 0 && runtime::SafeWriteFloat(address, game);
    if (ok) row.appliedValue = value;
    row.applied = ok ? 1 : 0;
    WriteParamExtraTargets(row, runtime::GameImageBase(), game);
}

void ApplyBlackoutToTrafficLights() {
    const bool on = core::GameControlFlags.BlackoutMode;
    if (!on && TrafficLights.blackoutApplied.Get() == 0) return;
    const ParamArray* array = ArrayByFirstKey(kTrafficLightArray);
    if (array != nullptr) {
        for (VisualSettingsParam& row : array->Rows()) {
            // Only rows whose game value is known: the blackout must be able to put it back.
            if (!ContainsTrafficLight(row) || !EnsureGameDefault(row)) continue;
            WriteParamPrimaryAndExtras(row, on ? 0.0f : (row.overridden ? row.value.Get() : row.defaultValue.Get()));
        }
    }
    TrafficLights.blackoutApplied.Set(on ? 1 : 0);
}

void ResetTrafficLightsForTesting() {
    TrafficLights.blackoutApplied.Set(0);
    for (core::SharedValue<uint64_t>& address : TrafficLights.groupAddress) address.Set(0);
}

}  // namespace visualsettings
