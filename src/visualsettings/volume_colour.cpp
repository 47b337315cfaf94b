#include "visualsettings/volume_colour.h"

#include <cstring>

#include "runtime/data_signatures.h"
#include "runtime/guarded_memory.h"
#include "visualsettings/binding.h"
#include "visualsettings/live_write.h"
#include "visualsettings/param_table.h"

namespace visualsettings {
namespace {

// The vector's address once resolved. Any thread.
core::SharedValue<uint64_t> g_volumeColorAddress{0};

constexpr const char* kComponentKeys[4] = {"dark.volumeColor.x", "dark.volumeColor.y", "dark.volumeColor.z",
                                           "dark.volumeColor.w"};

bool ComponentRows(VisualSettingsParam* (&rows)[4]) {
    const ParamArray* array = ArrayByFirstKey(kBrightLightArray);
    for (size_t i = 0; i < 4; ++i) {
        rows[i] = FindParamInArray(array, kComponentKeys[i]);
        if (rows[i] == nullptr) return false;
    }
    return true;
}

}  // namespace

bool IsVolumeColorKey(const char* key) {
    return key != nullptr && std::strncmp(key, kVolumeColorPrefix, std::strlen(kVolumeColorPrefix)) == 0;
}

uint64_t VolumeColorAddress() {
    if (const uint64_t address = g_volumeColorAddress.Get()) return address;
    const uint64_t address = runtime::ResolveSignatureField(kVolumeColorTarget);
    if (address != 0) g_volumeColorAddress.Set(address);
    return address;
}

void ResetVolumeColorForTesting() { g_volumeColorAddress.Set(0); }

bool WriteVolumeColor(float x, float y, float z, float w) {
    const uint64_t address = VolumeColorAddress();
    if (address == 0) return false;
    bool ok = runtime::SafeWriteFloat(address, x);
    ok = runtime::SafeWriteFloat(address + 4, y) && ok;
    ok = runtime::SafeWriteFloat(address + 8, z) && ok;
    ok = runtime::SafeWriteFloat(address + 12, w) && ok;
    return ok;
}

bool SyncVolumeColor() {
    VisualSettingsParam* rows[4];
    if (!ComponentRows(rows) || !GameValuesKnown(rows)) return false;
    const float values[4] = {rows[0]->value, rows[1]->value, rows[2]->value, rows[3]->value};
    const bool ok = WriteVolumeColor(values[0], values[1], values[2], values[3]);
    FollowColourWrite(rows, values, ok);
    return ok;
}

bool WriteVolumeColorComponent(const char* key, bool reset, bool defaultsOfEdited) {
    VisualSettingsParam* rows[4];
    if (key == nullptr || !ComponentRows(rows)) return false;
    int named = -1;
    for (int i = 0; i < 4; ++i) {
        if (std::strcmp(key, kComponentKeys[i]) == 0) named = i;
    }
    if (named < 0) return false;
    const bool known = GameValuesKnown(rows);
    VisualSettingsParam& row = *rows[named];
    if (reset) ResetRowToReference(row);  // whether or not the colour can be written
    if (!known) return false;
    float values[4];
    ComposeColour(rows, reset ? kNoChannel : static_cast<size_t>(named), defaultsOfEdited, values);
    bool ok = WriteVolumeColor(values[0], values[1], values[2], values[3]);
    if (reset && row.liveAddress != 0) ok = runtime::SafeWriteFloat(row.liveAddress, row.value) || ok;
    FollowColourWrite(rows, values, ok);
    return ok;
}

}  // namespace visualsettings
