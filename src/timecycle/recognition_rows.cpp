#include "timecycle/recognition_rows.h"

#include <algorithm>
#include <cmath>

#include "core/file_utils.h"
#include "timecycle/edit_store.h"
#include "timecycle/game_hooks.h"
#include "timecycle/half_float.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/timecycle_files.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_xml.h"
#include "timecycle/xml_scan.h"

namespace timecycle {

bool IsTrivialHalf(uint16_t half) { return half == 0x0000 || half == 0x8000 || half == 0x3C00 || half == 0xBC00; }

void FinishTimecycleRow(TimecycleRowRecord& row) {
    uint32_t nonTrivial = 0;
    uint32_t distinct = 0;
    float lo = row.values[0];
    float hi = row.values[0];
    std::array<uint32_t, kKeyframeCount> sameCount{};
    for (size_t k = 0; k < kKeyframeCount; ++k) {
        if (!IsTrivialHalf(row.halves[k])) ++nonTrivial;
        bool seen = false;
        for (size_t j = 0; j < kKeyframeCount; ++j) {
            if (row.halves[j] == row.halves[k]) {
                ++sameCount[k];
                if (j < k) seen = true;
            }
        }
        if (!seen) ++distinct;
        lo = std::min(lo, row.values[k]);
        hi = std::max(hi, row.values[k]);
    }
    row.distinct = distinct;
    row.range = hi - lo;
    row.score = (nonTrivial + 10 * distinct) * 10 + (row.range > 0.001f ? 25 : 0);
    int best = -1;
    for (size_t k = 0; k < kKeyframeCount; ++k) {
        const double magnitude = std::min(40.0, 3.0 * std::fabs(static_cast<double>(row.values[k])));
        const int s = static_cast<int>(magnitude) + (IsTrivialHalf(row.halves[k]) ? 0 : 100) +
                      4 * static_cast<int>(kKeyframeCount - sameCount[k]);
        if (s > best) {
            best = s;
            row.anchorKeyframe = static_cast<int32_t>(k);
        }
    }
    row.anchorHalf = row.halves[static_cast<size_t>(row.anchorKeyframe)];
}

namespace {

TimecycleRowRecord MakeRow(const char* name, const char* region, const char* source, const float* values) {
    TimecycleRowRecord row;
    row.name = name;
    row.region = region;
    row.source = source;
    for (size_t k = 0; k < kKeyframeCount; ++k) {
        row.values[k] = values[k];
        row.halves[k] = FloatToHalf(values[k]);
    }
    FinishTimecycleRow(row);
    return row;
}

bool Keeps(const TimecycleRowRecord& row) { return row.distinct >= kRowMinDistinct && row.score >= kRowMinScore; }

bool RegionRequested(int requested, int region) {
    const int r = ClampRegion(requested);
    return r == kRegionBoth || r == region;
}

}  // namespace

void FilterAndOrderRows(std::vector<TimecycleRowRecord>& rows) {
    rows.erase(std::remove_if(rows.begin(), rows.end(), [](const TimecycleRowRecord& r) { return !Keeps(r); }),
               rows.end());
    std::stable_sort(rows.begin(), rows.end(), [](const TimecycleRowRecord& a, const TimecycleRowRecord& b) {
        if (a.score != b.score) return a.score > b.score;
        if (a.distinct != b.distinct) return a.distinct > b.distinct;
        return a.name < b.name;
    });
    if (rows.size() > kRowLimit) rows.resize(kRowLimit);
}

void AddEngineBaselineRows(int weather, int region, std::vector<TimecycleRowRecord>& rows) {
    if (WeatherNameTable[static_cast<size_t>(ClampWeather(weather))].typeId != 5) return;
    if (!RegionRequested(region, kRegionGlobal)) return;
    for (const EngineBaselineRow& baseline : EngineBaselineTable)
        rows.push_back(MakeRow(baseline.name, "GLOBAL", "engine_baseline", baseline.values));
}

namespace {

// The rows of the weather's file that pass the filter, not yet ordered nor cut.
void CollectXmlRows(std::vector<TimecycleRowRecord>& found, int w, int region) {
    std::string text;
    if (!core::ReadFileBytes(TimecycleFileWidePath(static_cast<uint32_t>(w)), text)) return;
    std::vector<ValueToken> tokens;
    RegionText regionText;
    const char* const names[2] = {"GLOBAL", "URBAN"};
    for (int r = 0; r < 2; ++r) {
        if (!RegionRequested(region, r)) continue;
        ReadRegionText(text, names[r], regionText);
        if (!regionText.found) continue;
        for (const auto& [name, index] : VariableNameIndex()) {
            const ElementSpan& span = regionText.elements[index];
            if (!span.found) continue;
            if (!ReadKeyframeValues(std::string_view(text).substr(span.start, span.end - span.start), tokens)) continue;
            float values[kKeyframeCount];
            for (size_t k = 0; k < kKeyframeCount; ++k) values[k] = tokens[k].value;
            TimecycleRowRecord row = MakeRow(name.c_str(), names[r], "original_xml", values);
            if (Keeps(row)) found.push_back(std::move(row));
        }
    }
}

// The rows of the weather's loaded values that pass the filter, not yet
// ordered nor cut.
void CollectLoadedRows(std::vector<TimecycleRowRecord>& found, int w, int region) {
    const char* const names[2] = {"GLOBAL", "URBAN"};
    const auto& list = TimecycleVariableList();
    EditStoreLock lock(EditStoreMutex());
    for (int r = 0; r < 2; ++r) {
        if (!RegionRequested(region, r)) continue;
        for (size_t i = 0; i < list.size(); ++i) {
            if (!list[i]->slot || !list[i]->xmlName) continue;
            float values[kKeyframeCount];
            bool complete = true;
            for (int k = 0; k < static_cast<int>(kKeyframeCount) && complete; ++k) {
                const EditSlot& slot = GetEditSlot(w, r, k);
                complete = slot.loaded && i < EntryCount(slot) && slot.entries[i].present;
                if (complete) values[k] = slot.entries[i].value;
            }
            if (!complete) continue;
            TimecycleRowRecord row = MakeRow(list[i]->xmlName, names[r], "loaded_context", values);
            if (Keeps(row)) found.push_back(std::move(row));
        }
    }
}

}  // namespace

void ReadOriginalXmlRows(std::vector<TimecycleRowRecord>& rows, int weather, int region) {
    const int w = ClampWeather(weather);
    const size_t before = rows.size();
    AddEngineBaselineRows(w, region, rows);
    if (rows.size() != before) return;
    std::vector<TimecycleRowRecord> found;
    CollectXmlRows(found, w, region);
    FilterAndOrderRows(found);
    rows.insert(rows.end(), found.begin(), found.end());
}

void ReadLoadedContextRows(std::vector<TimecycleRowRecord>& rows, int weather, int region) {
    std::vector<TimecycleRowRecord> found;
    CollectLoadedRows(found, ClampWeather(weather), region);
    FilterAndOrderRows(found);
    rows.insert(rows.end(), found.begin(), found.end());
}

void ReadSearchRows(std::vector<TimecycleRowRecord>& rows, int weather, bool withoutShared) {
    const int w = ClampWeather(weather);
    std::vector<TimecycleRowRecord> found;
    AddEngineBaselineRows(w, kRegionGlobal, found);
    if (found.empty()) CollectXmlRows(found, w, kRegionGlobal);
    if (WeatherNameTable[static_cast<size_t>(w)].typeId != 5) CollectLoadedRows(found, w, kRegionGlobal);
    if (withoutShared) DropRowsSharedWithOtherWeathers(found, w);
    // Each source in its own order, cut to its own 24 (the engine's rows are never cut).
    for (const char* source : {"engine_baseline", "original_xml", "loaded_context"}) {
        std::vector<TimecycleRowRecord> part;
        for (TimecycleRowRecord& row : found)
            if (row.source == source) part.push_back(std::move(row));
        if (part.empty()) continue;
        if (part.front().source != "engine_baseline") FilterAndOrderRows(part);
        rows.insert(rows.end(), part.begin(), part.end());
    }
}

namespace {

// The rows still open whose variable holds the same 13 halves in the values
// that have() gives for it (false: the source has no such values).
template <class Have>
void MarkShared(const std::vector<TimecycleRowRecord>& rows, const std::vector<int>& variables,
                std::vector<uint8_t>& shared, Have&& have) {
    std::array<uint16_t, kKeyframeCount> halves{};
    for (size_t i = 0; i < rows.size(); ++i) {
        if (shared[i] || variables[i] < 0) continue;
        if (have(static_cast<size_t>(variables[i]), rows[i].name, halves) && halves == rows[i].halves) shared[i] = 1;
    }
}

}  // namespace

void DropRowsSharedWithOtherWeathers(std::vector<TimecycleRowRecord>& rows, int weather) {
    if (rows.empty()) return;
    const int w = ClampWeather(weather);
    std::vector<int> variables;
    for (const TimecycleRowRecord& row : rows) variables.push_back(FindVariableRow(row.name));
    std::vector<uint8_t> shared(rows.size(), 0);
    std::string text;
    std::vector<ValueToken> tokens;
    RegionText regionText;
    for (int v = 0; v < static_cast<int>(kWeatherCount); ++v) {
        if (v == w) continue;
        if (WeatherNameTable[static_cast<size_t>(v)].typeId == 5) {
            MarkShared(rows, variables, shared, [](size_t, const std::string& name, auto& halves) {
                for (const EngineBaselineRow& baseline : EngineBaselineTable) {
                    if (name != baseline.name) continue;
                    for (size_t k = 0; k < kKeyframeCount; ++k) halves[k] = FloatToHalf(baseline.values[k]);
                    return true;
                }
                return false;
            });
        }
        if (core::ReadFileBytes(TimecycleFileWidePath(static_cast<uint32_t>(v)), text)) {
            for (const char* region : {"GLOBAL", "URBAN"}) {
                ReadRegionText(text, region, regionText);
                if (!regionText.found) continue;
                MarkShared(rows, variables, shared, [&](size_t i, const std::string&, auto& halves) {
                    const ElementSpan& span = regionText.elements[i];
                    if (!span.found ||
                        !ReadKeyframeValues(std::string_view(text).substr(span.start, span.end - span.start), tokens))
                        return false;
                    for (size_t k = 0; k < kKeyframeCount; ++k) halves[k] = FloatToHalf(tokens[k].value);
                    return true;
                });
            }
        }
        EditStoreLock lock(EditStoreMutex());
        for (int r = 0; r < 2; ++r) {
            MarkShared(rows, variables, shared, [&](size_t i, const std::string&, auto& halves) {
                for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) {
                    const EditSlot& slot = GetEditSlot(v, r, k);
                    if (!slot.loaded || i >= EntryCount(slot) || !slot.entries[i].present) return false;
                    halves[static_cast<size_t>(k)] = FloatToHalf(slot.entries[i].value);
                }
                return true;
            });
        }
    }
    size_t kept = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (shared[i]) continue;
        if (kept != i) rows[kept] = std::move(rows[i]);
        ++kept;
    }
    rows.resize(kept);
}

namespace {

// The preview of a loaded file while the search for the game's table runs.
struct PendingPreview {
    bool active = false;
    int weather = 0;
    uint64_t editStampAtStart = 0;  // a store change since makes the file no longer the reference
};
PendingPreview Pending;

// Without a table the loaded values go live through the override slots.
bool PreviewThroughSlots(int w, std::string& status) {
    CaptureLiveOriginalsForContext(w);
    status = "Loaded for preview.";
    return false;
}

// Steps 3 to 7 of the preview: the game's bytes are kept, the loaded
// keyframes written into the table, and the loaded file becomes the reference.
bool PreviewIntoTable(int w, uint64_t block, std::string& status) {
    SnapshotWeatherBlock(w, block);
    EditStoreLock lock(EditStoreMutex());
    // A region the file did not hold keeps its originals and edits.
    const uint8_t held = TimecycleXml.TimecycleLoadRecords[static_cast<size_t>(w)].regionsHeld;
    CaptureOriginalsFromSnapshot(w, held);
    CommitCurrentContext();

    const RecordWriteCounts counts = WriteWeatherRecords(w, block, false);
    TimecycleLoadRecord& record = TimecycleXml.TimecycleLoadRecords[static_cast<size_t>(w)];
    if (counts.failed != 0) {
        status = "Loaded, but some values could not be applied.";
        record.previewApplied = 0;
        return false;
    }
    record.previewApplied = 1;
    record.appliedCount = counts.written;
    // The loaded file is now what the game shows: it becomes the reference.
    EditStore.ImportedOverridesActive = 0;
    ClearImportPatchesMark();
    for (int r = 0; r < static_cast<int>(kRegionCount); ++r) {
        if (r != kRegionBoth && ((held >> r) & 1) == 0) continue;
        for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) {
            EditSlot& slot = GetEditSlot(w, r, k);
            if (!slot.loaded) continue;
            for (EditEntry& e : slot.entries) {
                if (!e.present) continue;
                e.original = e.value;
                e.live = e.value;
                e.originalCaptured = 1;
                e.edited = 0;
                e.imported = 0;
                e.editStamp = 0;
            }
        }
    }
    ReloadCurrentContextIfOnWeather(w);
    EditStore.GroupFlagsDirty = 1;
    ClearWriteListCount();
    RestoreOverridePatches();
    KeyframeTable.BeforeAfterSync = BeforeAfterSyncState{1, 1, w};
    const uint64_t perContext = counts.loadedRecords ? counts.written / counts.loadedRecords : counts.written;
    status = "Loaded " + std::to_string(perContext) + " parameters.";
    return true;
}

// The end of a preview whose search has finished. When the store changed
// while the search ran (an edit, a copy), the file is no longer simply what
// the game should show: the values go live through the slots instead.
bool FinishPendingPreview(KeyframeSearchState outcome, std::string& status) {
    const int w = Pending.weather;
    bool unchanged = false;
    {
        EditStoreLock lock(EditStoreMutex());
        unchanged = EditStore.EditSequenceCounter == Pending.editStampAtStart;
    }
    const uint64_t block = KeyframeTableSearchResult();
    Pending = PendingPreview{};
    CancelKeyframeTableSearch();
    if (outcome == KeyframeSearchState::Found && block != 0 && unchanged) return PreviewIntoTable(w, block, status);
    return PreviewThroughSlots(w, status);
}

}  // namespace

bool LoadWeatherForPreview(int weather, std::string& status) {
    const int w = ClampWeather(weather);
    CancelTimecyclePreview();
    if (const uint64_t block = KnownWeatherBlock(w)) return PreviewIntoTable(w, block, status);
    StartKeyframeTableSearch(w);
    Pending.active = true;
    Pending.weather = w;
    {
        EditStoreLock lock(EditStoreMutex());
        Pending.editStampAtStart = EditStore.EditSequenceCounter;
    }
    const KeyframeSearchState outcome = StepKeyframeTableSearch();
    if (outcome == KeyframeSearchState::Running) {
        status.clear();
        return false;
    }
    return FinishPendingPreview(outcome, status);
}

bool StepTimecyclePreview() {
    if (!Pending.active) return false;
    const KeyframeSearchState outcome = StepKeyframeTableSearch();
    if (outcome == KeyframeSearchState::Running) return true;
    const int w = Pending.weather;
    std::string status;
    FinishPendingPreview(outcome, status);
    TimecycleXml.TimecycleStatusLine =
        status + LoadNotes(WeatherTimecycleFileName(static_cast<uint32_t>(w)), TimecycleXml.TimecycleLoadRecords[static_cast<size_t>(w)]);
    return false;
}

bool TimecyclePreviewPending() { return Pending.active; }

void CancelTimecyclePreview() {
    if (!Pending.active) return;
    Pending = PendingPreview{};
    CancelKeyframeTableSearch();
}

}  // namespace timecycle
