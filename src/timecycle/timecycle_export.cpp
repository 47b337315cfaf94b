#include "timecycle/timecycle_export.h"

#include <algorithm>

#include "core/file_utils.h"
#include "timecycle/edit_store.h"
#include "timecycle/timecycle_files.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_numbers.h"
#include "timecycle/timecycle_xml.h"
#include "timecycle/xml_scan.h"

namespace timecycle {

void CollectEditedRows(uint32_t weather, uint32_t region, KeyframeEditMap& map, uint8_t overwrite,
                       uint8_t withImported) {
    const int w = ClampWeather(weather);
    const int r = ClampRegion(region);
    const auto& list = TimecycleVariableList();
    EditStoreLock lock(EditStoreMutex());
    for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) {
        const EditSlot& slot = GetEditSlot(w, r, k);
        if (!slot.loaded) continue;
        for (size_t i = 0; i < list.size() && i < EntryCount(slot); ++i) {
            const EditEntry& e = slot.entries[i];
            const char* name = list[i]->xmlName;
            if (!name || !e.present) continue;
            const bool userEdit = e.edited && !e.imported;
            const bool importedEdit =
                e.imported && e.originalCaptured && ValuesDiffer(e.value, e.original) && withImported;
            if (!userEdit && !importedEdit) continue;
            KeyframeEditRecord& rec = map[name];
            const size_t kk = static_cast<size_t>(k);
            if (!(rec.written[kk] && !overwrite && e.editStamp < rec.stamps[kk])) {
                rec.values[kk] = e.value;
                rec.stamps[kk] = e.editStamp;
                rec.written[kk] = 1;
            }
        }
    }
}

uint64_t CountEditedKeyframes(const KeyframeEditMap& map) {
    uint64_t count = 0;
    for (const auto& [name, rec] : map) {
        for (uint8_t w : rec.written) count += w ? 1 : 0;
    }
    return count;
}

void SpliceRegionKeyframes(std::string_view source, std::vector<TextSplice>& splices, uint64_t& parameters,
                           uint64_t& values, const char* region, const KeyframeEditMap& map) {
    // One pass finds every element of the region; each edited variable is
    // then looked up, so the work grows with the file, not with the edits.
    RegionText text;
    ReadRegionText(source, region, text);
    if (!text.found) return;
    std::vector<ValueToken> tokens;
    for (const auto& [name, rec] : map) {
        const int row = FindVariableRow(name);
        if (row < 0) continue;
        const ElementSpan& span = text.elements[static_cast<size_t>(row)];
        if (!span.found) continue;
        const std::string_view element = source.substr(span.start, span.end - span.start);
        if (!ReadKeyframeValues(element, tokens)) continue;
        bool any = false;
        for (size_t k = 0; k < kKeyframeCount; ++k) {
            if (!rec.written[k]) continue;
            const ValueToken& token = tokens[k];
            const std::string_view old = element.substr(token.start, token.end - token.start);
            splices.push_back(
                TextSplice{span.start + token.start, span.start + token.end, FormatLikeExisting(rec.values[k], old)});
            ++values;
            any = true;
        }
        if (any) ++parameters;
    }
}

std::string& MergeTimecycleRegions(std::string& out, std::string_view source, const KeyframeEditMap& global,
                                   const KeyframeEditMap& urban, uint64_t& parameters, uint64_t& values) {
    parameters = 0;
    values = 0;
    if (global.empty() && urban.empty()) {
        out.assign(source);
        return out;
    }
    std::vector<TextSplice> splices;
    SpliceRegionKeyframes(source, splices, parameters, values, "GLOBAL", global);
    SpliceRegionKeyframes(source, splices, parameters, values, "URBAN", urban);
    if (splices.empty()) {
        out.assign(source);
        return out;
    }
    std::stable_sort(splices.begin(), splices.end(),
                     [](const TextSplice& a, const TextSplice& b) { return a.start < b.start; });
    std::string result;
    result.reserve(source.size() + splices.size() * 4);
    uint64_t cursor = 0;
    for (const TextSplice& splice : splices) {
        if (splice.start < cursor || splice.start > source.size() || splice.end > source.size() ||
            splice.end < splice.start) {
            // Not written after all: the caller must not count it as written.
            if (values > 0) --values;
            continue;
        }
        result.append(source.substr(cursor, splice.start - cursor));
        result.append(splice.replacement);
        cursor = splice.end;
    }
    result.append(source.substr(cursor));
    out = std::move(result);
    return out;
}

bool SaveTimecycleXml(int weather, std::string& message) {
    const int w = ClampWeather(weather);
    const uint32_t uw = static_cast<uint32_t>(w);
    CommitCurrentContext();
    std::string source;
    std::string label;
    core::FileReadFailure failure = core::FileReadFailure::NotFound;
    if (!ReadTimecycleXmlText(w, source, label, &failure)) {
        message = failure == core::FileReadFailure::NotFound
                      ? "Save .xml failed: no " + WeatherTimecycleFileName(uw) + " found in the import folder or workspace."
                      : "Save .xml failed: " + WeatherTimecycleFileName(uw) + " " + core::FileReadFailureText(failure) + ".";
        return false;
    }
    const uint8_t withImported = (!core::SameTextTrimmedNoCase(label, TimecycleFileInImports(uw)) &&
                                  !core::SameTextTrimmedNoCase(label, TimecycleFileInImportsRoot(uw)))
                                     ? 1
                                     : 0;
    KeyframeEditMap global;
    KeyframeEditMap urban;
    {
        EditStoreLock lock(EditStoreMutex());
        CommitCurrentContext();
        CollectEditedRows(uw, kRegionGlobal, global, 1, withImported);
        CollectEditedRows(uw, kRegionUrban, urban, 1, withImported);
        CollectEditedRows(uw, kRegionBoth, global, 0, 0);
        CollectEditedRows(uw, kRegionBoth, urban, 0, 0);
    }
    const uint64_t expected = CountEditedKeyframes(urban) + CountEditedKeyframes(global);
    std::string output;
    uint64_t parameters = 0;
    uint64_t values = 0;
    MergeTimecycleRegions(output, source, global, urban, parameters, values);
    const std::string path = TimecycleFileExportPath(uw);
    if (path.empty() || !core::WriteTextFile(path, output)) {
        message = "Save .xml failed: " + path + " not writable.";
        return false;
    }
    message = "Exported " + WeatherTimecycleFileName(uw) + ".";
    if (values != expected) message += " Some edits were not written.";
    return true;
}

}  // namespace timecycle
