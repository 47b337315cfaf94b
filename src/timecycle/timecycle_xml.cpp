#include "timecycle/timecycle_xml.h"

#include <vector>

#include "core/file_utils.h"
#include "core/workspace.h"
#include "timecycle/edit_store.h"
#include "timecycle/game_hooks.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/recognition_rows.h"
#include "timecycle/timecycle_files.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/xml_scan.h"

namespace timecycle {

TimecycleXmlState TimecycleXml;

void ResetTimecycleXmlState() { TimecycleXml = TimecycleXmlState{}; }

bool ReadTimecycleXmlText(int weather, std::string& text, std::string& sourceLabel, core::FileReadFailure* failure) {
    const uint32_t w = static_cast<uint32_t>(ClampWeather(weather));
    const std::string path = TimecycleFileImportPath(w);
    if (!path.empty() && core::ReadTextFile(path, text)) {
        sourceLabel = path;
        return true;
    }
    std::string bytes;
    if (core::ReadFileBytes(TimecycleFileWidePath(w), bytes, failure)) {
        text = std::move(bytes);
        sourceLabel = "workspace " + WeatherTimecycleFileName(w);
        return true;
    }
    return false;
}

namespace {

std::string_view ElementText(std::string_view text, const ElementSpan& span) {
    return text.substr(span.start, span.end - span.start);
}

// What one region of the file holds, read before the store is touched.
struct ParsedRow {
    uint64_t row = 0;
    std::array<float, kKeyframeCount> values{};
    std::array<float, kKeyframeCount> references{};
    bool referenced = false;
};

struct ParsedFile {
    std::array<std::vector<ParsedRow>, 2> regions;
    uint64_t valueCount = 0;
    uint64_t missingCount = 0;
    uint64_t skippedCount = 0;  // elements found whose text is not 13 finite numbers separated by white space
    uint8_t regionsFound = 0;   // 1 GLOBAL, 2 URBAN
};

// Both regions of text, each element checked against the same element of
// the reference text when there is one (an equal reference: every value is
// its own reference). One pass over each text and region.
void ParseTimecycleFile(const std::string& text, const std::string* reference, ParsedFile& parsed) {
    const bool referenceIsText = reference && *reference == text;
    std::vector<ValueToken> tokens;
    std::vector<ValueToken> referenceTokens;
    RegionText region;
    RegionText referenceRegion;
    const char* const regionNames[2] = {"GLOBAL", "URBAN"};
    for (int r = 0; r < 2; ++r) {
        ReadRegionText(text, regionNames[r], region);
        if (!region.found) {
            ++parsed.missingCount;
            continue;
        }
        parsed.regionsFound |= static_cast<uint8_t>(1u << r);
        const bool referenceRegionFound = reference && !referenceIsText &&
                                          (ReadRegionText(*reference, regionNames[r], referenceRegion), referenceRegion.found);
        for (const auto& [name, row] : VariableNameIndex()) {
            const ElementSpan& span = region.elements[row];
            if (!span.found) {
                ++parsed.missingCount;
                continue;
            }
            if (!ReadKeyframeValues(ElementText(text, span), tokens)) {
                ++parsed.skippedCount;
                continue;
            }
            ParsedRow& out = parsed.regions[static_cast<size_t>(r)].emplace_back();
            out.row = row;
            for (size_t k = 0; k < kKeyframeCount; ++k) out.values[k] = out.references[k] = tokens[k].value;
            out.referenced = referenceIsText;
            if (referenceRegionFound) {
                const ElementSpan& refSpan = referenceRegion.elements[row];
                if (refSpan.found && ReadKeyframeValues(ElementText(*reference, refSpan), referenceTokens)) {
                    out.referenced = true;
                    for (size_t k = 0; k < kKeyframeCount; ++k) out.references[k] = referenceTokens[k].value;
                }
            }
            parsed.valueCount += kKeyframeCount;
        }
    }
}

// The weather's slots emptied and filled with the parsed file; the number
// of values that differ from their reference. A region the file does not
// hold (cut short, left out) keeps its values and unsaved edits; BOTH is
// rebuilt from the regions.
uint64_t StoreParsedFile(int w, const ParsedFile& parsed) {
    ClearWeatherSlots(w, static_cast<uint8_t>(parsed.regionsFound | (1u << kRegionBoth)));
    uint64_t changedCount = 0;
    for (int r = 0; r < 2; ++r) {
        for (const ParsedRow& row : parsed.regions[static_cast<size_t>(r)]) {
            for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) {
                EditSlot& slot = GetEditSlot(w, r, k);
                EditEntry& e = slot.entries[row.row];
                const float v = row.values[static_cast<size_t>(k)];
                e.value = v;
                e.present = 1;
                e.originalCaptured = 1;
                if (row.referenced) {
                    const float ref = row.references[static_cast<size_t>(k)];
                    e.original = ref;
                    e.live = ref;
                    if (ValuesDiffer(v, ref)) {
                        e.edited = 1;
                        e.imported = 1;
                        e.editStamp = NextEditStamp();
                        ++changedCount;
                    } else {
                        e.edited = 0;
                        e.imported = 0;
                        e.editStamp = 0;
                    }
                } else {
                    e.original = v;
                    e.live = v;
                    e.edited = 1;
                    e.imported = 1;
                    e.editStamp = NextEditStamp();
                }
                slot.loaded = 1;
            }
        }
    }
    RebuildBothRegion(w);
    ReloadCurrentContextIfOnWeather(w);
    return changedCount;
}

// The load's own steps before anything is read: the tick leaves its
// imported mode and the weather's "before" image is taken anew.
void ForgetImportState(int w) {
    EditStore.ImportedOverridesActive = 0;
    ClearImportPatchesMark();
    DiscardWeatherSnapshot(w);
}

}  // namespace

std::string LoadNotes(const std::string& fileName, const TimecycleLoadRecord& record) {
    std::string notes;
    for (const auto& [bit, region] : {std::pair<uint8_t, const char*>{1, "GLOBAL"}, {2, "URBAN"}}) {
        if ((record.regionsHeld & bit) == 0)
            notes += " " + fileName + ": no " + region + " region, " + region + " left as it was.";
    }
    return notes + SkippedRowsNote(fileName, record.skippedCount);
}

std::string SkippedRowsNote(const std::string& fileName, uint64_t skipped) {
    if (skipped == 0) return {};
    return " " + fileName + ": " + std::to_string(skipped) + (skipped == 1 ? " row" : " rows") +
           " skipped, not 13 finite numbers separated by white space.";
}

void LoadTimecycleXml(int weather) {
    const int w = ClampWeather(weather);
    const uint32_t uw = static_cast<uint32_t>(w);
    CancelTimecyclePreview();

    const std::string fileName = WeatherTimecycleFileName(uw);
    if (!TimecycleFileExists(uw)) {
        ForgetImportState(w);
        TimecycleXml.TimecycleStatusLine =
            "Load .xml skipped: " + fileName + " not found in " + core::ImportsTimecyclesFolder();
        return;
    }
    std::string text;
    std::string label;
    core::FileReadFailure failure = core::FileReadFailure::NotReadable;
    if (!ReadTimecycleXmlText(w, text, label, &failure)) {
        // The folder the file is in: Timecycles, or the Imports folder itself.
        const std::string path = TimecycleFileImportPath(uw);
        TimecycleXml.TimecycleStatusLine = "Load .xml failed: " + fileName + " " + core::FileReadFailureText(failure) + " in " +
                              path.substr(0, path.size() - fileName.size());
        return;
    }
    std::string reference;
    const bool haveReference = core::ReadFileBytes(TimecycleFileWidePath(uw), reference);
    // Everything is read before the store changes: a file that yields no
    // value (another encoding, other region names, cut short) leaves the
    // weather's values and edits as they were.
    ParsedFile parsed;
    ParseTimecycleFile(text, haveReference ? &reference : nullptr, parsed);
    const std::string skippedNote = SkippedRowsNote(fileName, parsed.skippedCount);
    if (parsed.valueCount == 0) {
        TimecycleXml.TimecycleStatusLine = "Load .xml failed: " + fileName + " holds no timecycle values." + skippedNote;
        return;
    }

    ForgetImportState(w);
    uint64_t changedCount = 0;
    {
        EditStoreLock lock(EditStoreMutex());
        changedCount = StoreParsedFile(w, parsed);
        EditStore.GroupFlagsDirty = 1;
    }
    TimecycleLoadRecord& record = TimecycleXml.TimecycleLoadRecords[static_cast<size_t>(w)];
    record.loaded = 1;
    record.previewApplied = 0;
    record.valueCount = parsed.valueCount;
    record.appliedCount = 0;
    record.missingCount = parsed.missingCount;
    record.skippedCount = parsed.skippedCount;
    record.regionsHeld = parsed.regionsFound;
    record.sourceLabel = label;
    ClearTimecycleRereadFrames();

    std::string status = "Loaded " + fileName + ": " + std::to_string(parsed.valueCount) + " values";
    if (changedCount != 0) status += ", " + std::to_string(changedCount) + " changed from vanilla";
    const std::string notes = LoadNotes(fileName, record);
    TimecycleXml.TimecycleStatusLine = status + "." + notes;

    std::string previewMessage;
    LoadWeatherForPreview(w, previewMessage);
    if (!previewMessage.empty()) TimecycleXml.TimecycleStatusLine = previewMessage + notes;
}

}  // namespace timecycle
