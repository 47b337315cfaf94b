#include "timecycle/timecycle_xml.h"

#include <vector>

#include "shell/file_utils.h"
#include "shell/workspace.h"
#include "timecycle/edit_store.h"
#include "timecycle/game_hooks.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/recognition_rows.h"
#include "timecycle/timecycle_files.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/xml_scan.h"

namespace timecycle {

std::array<TimecycleLoadRecord, kWeatherCount> TimecycleLoadRecords;
std::string TimecycleStatusLine = kTimecycleStatusIdle;

bool ReadTimecycleXmlText(int weather, std::string& text, std::string& sourceLabel, shell::FileReadFailure* failure) {
    const uint32_t w = static_cast<uint32_t>(ClampWeather(weather));
    const std::string path = TimecycleFileImportPath(w);
    if (!path.empty() && shell::ReadTextFile(path, text)) {
        sourceLabel = path;
        return true;
    }
    std::string bytes;
    if (shell::ReadFileBytes(TimecycleFileWidePath(w), bytes, failure)) {
        text = std::move(bytes);
        sourceLabel = "workspace " + WeatherTimecycleFileName(w);
        return true;
    }
    return false;
}

namespace {

struct RegionText {
    bool found = false;
    uint64_t bodyStart = 0;
    uint64_t bodyEnd = 0;
    RegionElements elements;
};

void FindRegion(const std::string& text, const char* name, RegionText& region) {
    region.found = FindRegionSection(text, name, region.bodyStart, region.bodyEnd);
    if (region.found) FindRegionElements(text, region.bodyStart, region.bodyEnd, region.elements);
}

std::string_view ElementText(const std::string& text, const ElementSpan& span) {
    return std::string_view(text).substr(span.start, span.end - span.start);
}

}  // namespace

void LoadTimecycleXml(int weather) {
    const int w = ClampWeather(weather);
    const uint32_t uw = static_cast<uint32_t>(w);
    ImportedOverridesActive = 0;
    ClearImportPatchesMark();
    DiscardWeatherSnapshot(w);

    const std::string fileName = WeatherTimecycleFileName(uw);
    if (!TimecycleFileExists(uw)) {
        TimecycleStatusLine =
            "Load .xml skipped: " + fileName + " not found in " + shell::ImportsTimecyclesFolder();
        return;
    }
    std::string text;
    std::string label;
    shell::FileReadFailure failure = shell::FileReadFailure::NotReadable;
    if (!ReadTimecycleXmlText(w, text, label, &failure)) {
        TimecycleStatusLine = "Load .xml failed: " + fileName + " " + shell::FileReadFailureText(failure) + " in " +
                              shell::ImportsTimecyclesFolder();
        return;
    }
    std::string reference;
    const bool haveReference = shell::ReadFileBytes(TimecycleFileWidePath(uw), reference);
    // The reference is normally the very same bytes; then every value is its
    // own reference and the second scan can be skipped.
    const bool referenceIsText = haveReference && reference == text;

    ClearWeatherSlots(w);

    uint64_t valueCount = 0;
    uint64_t missingCount = 0;
    uint64_t changedCount = 0;
    std::vector<ValueToken> tokens;
    std::vector<ValueToken> referenceTokens;
    RegionText region;
    RegionText referenceRegion;
    const char* const regionNames[2] = {"GLOBAL", "URBAN"};
    for (int r = 0; r < 2; ++r) {
        FindRegion(text, regionNames[r], region);
        if (!region.found) {
            ++missingCount;
            continue;
        }
        bool referenceRegionFound = false;
        if (haveReference && !referenceIsText) {
            FindRegion(reference, regionNames[r], referenceRegion);
            referenceRegionFound = referenceRegion.found;
        }
        for (const auto& [name, row] : VariableNameIndex()) {
            const ElementSpan& span = region.elements[row];
            if (!span.found) {
                ++missingCount;
                continue;
            }
            if (!ReadKeyframeValues(ElementText(text, span), tokens)) continue;
            bool referenced = referenceIsText;
            const std::vector<ValueToken>* referenceValues = &tokens;
            if (referenceRegionFound) {
                const ElementSpan& refSpan = referenceRegion.elements[row];
                if (refSpan.found && ReadKeyframeValues(ElementText(reference, refSpan), referenceTokens)) {
                    referenced = true;
                    referenceValues = &referenceTokens;
                }
            }
            for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) {
                EditSlot& slot = GetEditSlot(w, r, k);
                EditEntry& e = slot.entries[row];
                const float v = tokens[static_cast<size_t>(k)].value;
                e.value = v;
                e.present = 1;
                e.originalCaptured = 1;
                if (referenced) {
                    const float ref = (*referenceValues)[static_cast<size_t>(k)].value;
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
            valueCount += kKeyframeCount;
        }
    }

    RebuildBothRegion(w);
    ReloadCurrentContextIfOnWeather(w);

    TimecycleLoadRecord& record = TimecycleLoadRecords[static_cast<size_t>(w)];
    record.loaded = 1;
    record.previewApplied = 0;
    record.valueCount = valueCount;
    record.appliedCount = 0;
    record.missingCount = missingCount;
    record.sourceLabel = label;
    ClearTimecycleRereadFrames();
    GroupFlagsDirty = 1;

    std::string status = "Loaded " + fileName + ": " + std::to_string(valueCount) + " values";
    if (changedCount != 0) status += ", " + std::to_string(changedCount) + " changed from vanilla";
    TimecycleStatusLine = status + ".";

    std::string previewMessage;
    LoadWeatherForPreview(w, previewMessage);
    if (!previewMessage.empty()) TimecycleStatusLine = previewMessage;
}

}  // namespace timecycle
