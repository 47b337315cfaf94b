#include "visualsettings/dat_import.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/file_utils.h"
#include "core/text.h"
#include "core/workspace.h"
#include "platform/files.h"
#include "runtime/guarded_memory.h"
#include "visualsettings/binding.h"
#include "visualsettings/layout_reader.h"
#include "visualsettings/live_write.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/param_table.h"
#include "visualsettings/pointer_map.h"
#include "visualsettings/runtime_keys.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/walkers.h"

namespace visualsettings {

DatImportState DatImport;

namespace {

constexpr const char kFileName[] = "visualsettings.dat";

bool IsSpace(char c) { return core::IsSpaceByte(static_cast<unsigned char>(c)); }

// The live machinery ready before any value is applied, whatever the file
// holds: the binding, once per import. The code patches are installed and
// their values published by the next before/after pass on the script fiber
// (the runtime's caves are the fiber's), within a frame of the import.
void PrepareLive() { BindVisualSettingsParams(); }

std::string CountsStatus(uint64_t first, const ImportCounts& counts) {
    std::string status = "Loaded " + std::to_string(first) + " / " + std::to_string(counts.parsed) + " values";
    if (counts.unknown != 0) status += ", " + std::to_string(counts.unknown) + " unknown";
    return status + ".";
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool Has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

void ApplyImportedText(std::string text, const ImportOptions& options) {
    DatImport.loadedText = std::move(text);
    DatImport.loaded = 1;
    LayoutReader.reloadRequested.Set(1);
    Switch.specialKeysReapplyMs.Set(0);
    const std::string_view body = DatImport.loadedText;

    // The key list serves only the plausibility check and the unmapped test.
    ImportKeyList keyList;
    if (options.checkPlausibility || !options.forceLive) BuildImportKeyList(keyList);
    const ImportKeyList empty;
    const ImportKeyList& reference = options.checkPlausibility ? keyList : empty;

    std::string key;
    float value = 0.0f;
    bool liveMode = true;
    if (!options.forceLive && !options.checkPlausibility) {
        uint64_t unmapped = 0;
        ForEachDatLine(body, [&](std::string_view line) {
            if (ParseImportLine(line, key, value) && !IsVetoedKey(key.c_str()) && !keyList.contains(LowerAscii(key)))
                ++unmapped;
        });
        liveMode = unmapped == 0;
    }
    Switch.importHasUnmapped.Set(liveMode ? 0 : 1);

    // The runtime table is used when it is ready now. The search runs on its
    // own thread (it waits 45 s before it scans); the import never waits for it.
    bool tableUsable = false;
    if (liveMode) {
        if (RuntimeTable.ready.Get() == 0) StartDeferredRuntimeProbe();
        tableUsable = RuntimeTable.ready.Get() != 0;
    }

    ImportCounts counts;
    ForEachDatLine(body, [&](std::string_view line) {
        if (!ParseImportLine(line, key, value)) return;
        ++counts.parsed;
        if (IsVetoedKey(key.c_str())) return;
        if (options.checkPlausibility) {
            const auto ref = reference.find(LowerAscii(key));
            if (ref != reference.end() && CheckImportedValue(key.c_str(), value, ref->second)) return;
        }
        const bool liveAllowed = liveMode && (FindRuntimeSliderKey(key.c_str()) == nullptr || tableUsable);
        bool found = false;
        ApplyVisualSettingByKey(key, value, liveAllowed, found);
        if (!found && !WriteImportedValueLive(key.c_str(), value, liveMode) &&
            !WriteRuntimeKeyValue(key.c_str(), value, liveAllowed)) {
            ++counts.unknown;
            return;
        }
        ++counts.applied;
        if (liveAllowed) ++counts.live;
    });
    DatImport.last = counts;
    SetStatus(Switch.importExportStatus, CountsStatus(liveMode ? counts.live : counts.applied, counts));
}

}  // namespace

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = core::LowerByte(c);
    return out;
}

std::string ImportVisualSettingsPath() {
    core::EnsureWorkspaceFolders();
    const std::string folder = core::ImportsFolder();
    return folder.empty() ? std::string() : folder + kFileName;
}

bool ImportVisualSettingsExists() {
    const std::string path = ImportVisualSettingsPath();
    return !path.empty() && platform::IsExistingFile(path);
}

void ImportVisualSettingsDat(const ImportOptions& options) {
    ++DatImport.imports;
    const std::string path = ImportVisualSettingsPath();
    PrepareLive();
    std::string text;
    // A file over 64 MiB is refused like a missing one.
    if (path.empty() || !core::ReadTextFile(path, text)) {
        DatImport.loadedText.clear();
        DatImport.loaded = 0;
        SetStatus(Switch.importExportStatus, "Import failed: " + path + " not found/readable.");
        return;
    }
    ApplyImportedText(std::move(text), options);
}

void ImportVisualSettingsText(std::string text, const ImportOptions& options) {
    ++DatImport.imports;
    PrepareLive();
    ApplyImportedText(std::move(text), options);
}

bool ParseImportLine(std::string_view line, std::string& key, float& value) {
    if (line.size() >= 2) {
        const size_t comment = line.find("//");
        if (comment != std::string_view::npos) line = line.substr(0, comment);
    }
    line = TrimSpaces(line);
    if (line.empty() || line.front() == '#') return false;
    size_t end = 0;
    while (end < line.size() && !IsSpace(line[end])) ++end;
    if (end == line.size()) return false;  // a key alone
    std::string_view rest = TrimSpaces(line.substr(end));
    size_t valueEnd = 0;
    while (valueEnd < rest.size() && !IsSpace(rest[valueEnd])) ++valueEnd;
    float v = 0.0f;
    if (!core::ParseFloatPrefix(rest.substr(0, valueEnd), v) || !std::isfinite(v)) return false;
    key.assign(line.substr(0, end));
    value = v;
    return true;
}

void BuildImportKeyList(ImportKeyList& keys) {
    SnapshotVisualSettings(keys);
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) {
        const runtime::LiveOverrideSlot& slot = DarkFilmicSlot(i);
        if (slot.name != nullptr) keys[LowerAscii(slot.name)] = slot.baselineValue;
    }
    for (const RuntimeSliderKey& row : RuntimeReferenceKeys())
        keys.emplace(LowerAscii(row.key), std::bit_cast<float>(row.defaultBits));
}

bool WriteImportedValueLive(const char* key, float value, bool live) {
    if (key == nullptr) return false;
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) {
        runtime::LiveOverrideSlot& slot = DarkFilmicSlot(i);
        if (slot.name == nullptr || !core::EqualsNoCase(slot.name, key)) continue;
        slot.value = value;
        slot.loaded = 1;
        slot.followImport = slot.baselineCaptured ? (std::fabs(value - slot.baselineValue) > 0.00001f ? 1 : 0) : 1;
        slot.enabled = 0;
        if (live && runtime::SafeWriteFloat(slot.address, value)) {
            WritePointerMapTargets(slot.name, value);
            slot.liveValue = value;
            slot.liveReadable = 1;
        } else {
            slot.liveReadable = 0;
        }
        return true;
    }
    return false;
}

bool WriteRuntimeKeyValue(const char* key, float value, bool live) {
    if (FindRuntimeSliderKey(key) == nullptr) return false;
    if (!live) return true;
    uint64_t address = LiveAddressOfRuntimeKey(key);
    if (address == 0 || !runtime::SafeWriteFloat(address, value)) return false;
    address = LiveAddressOfRuntimeKey(key);
    uint32_t bits = 0;
    if (address == 0 || !runtime::SafeReadU32(address, bits)) return false;
    const float back = std::bit_cast<float>(bits);
    return std::fabs(back - value) <= std::fmax(std::fabs(value) * 0.0001f, 0.0005f);
}

bool CheckImportedValue(const char* key, float imported, float reference) {
    if (key == nullptr || !std::isfinite(imported) || !std::isfinite(reference)) return false;
    const std::string k = LowerAscii(key);
    const float absImported = std::fabs(imported);
    const float diff = std::fabs(imported - reference);
    const float ratio = std::fabs(reference) > 0.000001f ? absImported / std::fabs(reference) : 0.0f;
    if (diff <= 0.00001f) return false;
    for (const char* prefix : {"car.lod.distance.", "ped.lod.distance.", "pedincar.lod.distance.", "lod.container.", "lodlight."})
        if (StartsWith(k, prefix)) return true;
    if (StartsWith(k, "lights.cutoff.")) return true;
    if (StartsWith(k, "defaultsearchlight.") || StartsWith(k, "helisearchlight.") || StartsWith(k, "misc.brightlight."))
        return absImported >= 100.0f || ratio >= 10.0f;
    if (StartsWith(k, "trafficlight.") && (Has(k, "falloff") || Has(k, "fade") || Has(k, "radius")))
        return absImported >= 100.0f || ratio >= 8.0f;
    if (Has(k, "falloff")) return absImported >= 256.0f || (absImported >= 32.0f && ratio >= 8.0f);
    if (Has(k, "fadedistance") || Has(k, "fadingdistance")) return absImported >= 200.0f || ratio >= 8.0f;
    if (Has(k, "radius")) return absImported >= 60.0f || (absImported >= 10.0f && ratio >= 10.0f);
    if (StartsWith(k, "misc.coronas.") && (Has(k, "screenspaceexpansion") || Has(k, "cutoff") || Has(k, "zbias")))
        return diff >= 50.0f;
    if (k == "lights.screenshadow.numsamples") return imported > 8.0f;
    return false;
}

void ResetDatImportForTesting() {
    DatImport.loadedText.clear();
    DatImport.loaded = 0;
    DatImport.last = {};
    DatImport.imports = 0;
}

}  // namespace visualsettings
