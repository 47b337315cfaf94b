#include "visualsettings/dat_export.h"

#include <cmath>

#include "core/file_utils.h"
#include "core/text.h"
#include "core/workspace.h"
#include "visualsettings/dat_import.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/walkers.h"

namespace visualsettings {
namespace {

bool IsSpace(char c) { return core::IsSpaceByte(static_cast<unsigned char>(c)); }

}  // namespace

std::string ExportVisualSettingsPath() {
    core::EnsureWorkspaceFolders();
    const std::string folder = core::ExportsFolder();
    return folder.empty() ? std::string() : folder + "visualsettings.dat";
}

bool GetVisualSettingsTemplate(std::string& text) {
    if (DatImport.loaded != 0 && !DatImport.loadedText.empty()) {
        text = DatImport.loadedText;
        return true;
    }
    text.clear();
    const std::string path = ImportVisualSettingsPath();
    return !path.empty() && core::ReadTextFile(path, text);
}

void AddEditedParamKey(EditedKeyMap& edited, const char* key, float value, bool overridden) {
    if (key == nullptr || key[0] == '\0' || !overridden || IsVetoedKey(key)) return;
    if (!std::isfinite(value)) return;  // never written into a file
    edited[LowerAscii(key)] = value;
}

void CollectEditedVisualKeys(EditedKeyMap& edited) {
    edited.clear();
    // A row without a value has nothing to export, whatever its flags say.
    ForEachVisualSettingsParam([&](VisualSettingsParam& row) {
        AddEditedParamKey(edited, row.key, row.value, row.overridden != 0 && HasValue(row));
    });
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) {
        const runtime::LiveOverrideSlot& slot = DarkFilmicSlot(i);
        AddEditedParamKey(edited, slot.name, slot.value, slot.enabled != 0);
    }
}

bool ParseTemplateLine(std::string_view line, const EditedKeyMap& edited, WrittenKeyMap& written, std::string& newLine) {
    const size_t n = line.size();
    size_t p = 0;
    while (p < n && IsSpace(line[p])) ++p;
    if (p == n || line[p] == '#' || line.substr(p, 2) == "//") return false;
    const size_t keyStart = p;
    while (p < n && !IsSpace(line[p])) ++p;
    // The key in lower case, on the stack for keys of usual length.
    const std::string_view key = line.substr(keyStart, p - keyStart);
    char buffer[160];
    std::string longKey;
    std::string_view lower;
    if (key.size() <= sizeof(buffer)) {
        for (size_t i = 0; i < key.size(); ++i) buffer[i] = core::LowerByte(key[i]);
        lower = std::string_view(buffer, key.size());
    } else {
        longKey = LowerAscii(key);
        lower = longKey;
    }
    const auto entry = edited.find(lower);
    if (entry == edited.end()) return false;
    while (p < n && IsSpace(line[p])) ++p;
    if (p == n || line[p] == '#') return false;
    const size_t tokenStart = p;
    while (p < n && !IsSpace(line[p]) && line[p] != '#' && line.substr(p, 2) != "//") ++p;
    const std::string_view token = line.substr(tokenStart, p - tokenStart);
    float parsed = 0.0f;
    if (!core::ParseFloatPrefix(token, parsed)) return false;
    newLine.assign(line.substr(0, tokenStart));
    newLine += core::FormatFloatTrimmed(entry->second, token);
    newLine.append(line.substr(p));
    written[entry->first] = true;
    return true;
}

void RewriteVisualSettingsTemplate(std::string& out, std::string_view templ, const EditedKeyMap& edited,
                                   WrittenKeyMap& written, uint64_t& count) {
    if (edited.empty()) {
        out.assign(templ);
        return;
    }
    out.clear();
    out.reserve(templ.size() + 8 * edited.size());
    std::string newLine;
    size_t p = 0;
    while (p < templ.size()) {
        size_t end = p;
        while (end < templ.size() && templ[end] != '\r' && templ[end] != '\n') ++end;
        const std::string_view line = templ.substr(p, end - p);
        if (ParseTemplateLine(line, edited, written, newLine)) {
            ++count;
            out += newLine;
        } else {
            out.append(line);
        }
        if (end == templ.size()) break;
        if (templ[end] == '\r' && end + 1 < templ.size() && templ[end + 1] == '\n') {
            out.append("\r\n");
            p = end + 2;
        } else {
            out.push_back(templ[end]);
            p = end + 1;
        }
    }
}

void ExportVisualSettingsDat() {
    const std::string path = ExportVisualSettingsPath();
    std::string templ;
    if (!GetVisualSettingsTemplate(templ)) {
        SetStatus(Switch.importExportStatus, "Export failed: no template visualsettings.dat found in VRN\\Imports or workspace.");
        return;
    }
    EditedKeyMap edited;
    CollectEditedVisualKeys(edited);
    WrittenKeyMap written;
    for (const auto& entry : edited) written.emplace(entry.first, false);
    std::string out;
    uint64_t count = 0;
    RewriteVisualSettingsTemplate(out, templ, edited, written, count);
    if (path.empty() || !core::WriteTextFile(path, out)) {
        SetStatus(Switch.importExportStatus, "Export failed: " + path + " not writable.");
        return;
    }
    uint64_t notWritten = 0;
    for (const auto& entry : written) notWritten += entry.second ? 0 : 1;
    std::string status = "Exported visualsettings.dat (" + std::to_string(count) + " edited value";
    if (count != 1) status += "s";
    if (notWritten != 0) status += ", " + std::to_string(notWritten) + " not written";
    SetStatus(Switch.importExportStatus, status + ").");
}

}  // namespace visualsettings
