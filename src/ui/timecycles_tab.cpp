#include "ui/timecycles_tab.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/editor_state.h"
#include "core/text.h"
#include "game/clock_timelapse.h"
#include "game/game_controls.h"
#include "platform/clock.h"
#include "runtime/live_slots.h"
#include "timecycle/edit_store.h"
#include "timecycle/game_hooks.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/recognition_rows.h"
#include "timecycle/timecycle_copy.h"
#include "timecycle/timecycle_export.h"
#include "timecycle/timecycle_files.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_xml.h"
#include "ui/param_rows.h"
#include "visualsettings/live_write.h"

namespace ui {

TimecyclesTabState TimecyclesTab;

using timecycle::TimecycleVariable;

namespace {

// Colours of the tab.
const ImVec4 kBaseButton(0.16f, 0.19f, 0.21f, 0.72f);
const ImVec4 kTealHover(0.18f, 0.36f, 0.42f, 0.92f);
const ImVec4 kTealActive(0.24f, 0.46f, 0.54f, 1.0f);
const ImVec4 kGreyHover(0.22f, 0.27f, 0.30f, 0.86f);
const ImVec4 kGreyActive(0.30f, 0.35f, 0.39f, 0.96f);
const ImVec4 kRedButton(0.32f, 0.11f, 0.10f, 0.78f);
const ImVec4 kRedHover(0.48f, 0.15f, 0.13f, 0.92f);
const ImVec4 kRedActive(0.58f, 0.18f, 0.15f, 1.0f);
const ImVec4 kEditedOrange(1.0f, 0.68f, 0.18f, 1.0f);
const ImVec4 kParamLabel(0.80f, 0.75f, 0.70f, 1.0f);
const ImVec4 kInertLabel(1.0f, 0.2f, 0.2f, 1.0f);
const ImVec4 kLoadedGreen(0.35f, 0.88f, 0.45f, 1.0f);
const ImVec4 kReadyBlue(0.35f, 0.74f, 1.0f, 1.0f);

constexpr int32_t kHoldFrames = 4;
// The panels of one line: their size is fixed, nothing scrolls.
constexpr ImGuiWindowFlags kBarFlags = ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse;
constexpr uint64_t kAvailabilityRefreshMs = 1000;
constexpr size_t kWeathers = timecycle::kWeatherCount;

int32_t ClampedWeather(int32_t w) { return timecycle::ClampWeather(w); }

bool IsUnderwater(int32_t weather) {
    return weather >= 0 && static_cast<size_t>(weather) < kWeathers &&
           core::EqualsNoCase(timecycle::WeatherNameTable[weather].gameName, "UNDERWATER_DEEP");
}

int32_t KeyframeHour(int32_t keyframe) {
    const int32_t hour = static_cast<int32_t>(timecycle::TimeKeyframeTable[timecycle::ClampKeyframe(keyframe)].hour);
    return std::clamp(hour, 0, 23);
}

// The game clock to the keyframe's hour, with "Lock Time" as its pause.
void RequestKeyframeHour(int32_t keyframe, uint8_t lockTime) {
    game::ClockTimelapse.LockTimeState.Set(lockTime);
    game::ClockTimelapse.ClockHourRequest.Set(KeyframeHour(keyframe));
}

void HoldLoadedSlots() {
    core::SharedValue<int32_t>& hold = timecycle::KeyframeTable.SlotRefreshHoldFrames;
    if (hold < kHoldFrames) hold = kHoldFrames;
}

void MarkGroupsDirty() {
    timecycle::EditStoreLock lock(timecycle::EditStoreMutex());
    timecycle::EditStore.GroupFlagsDirty = 1;
}

// The values a copy or an edit left in the store, written into the game's
// table when the weather's block is known and the edits are shown; no
// search is started here.
void WriteWeatherIntoGame(int32_t weather) {
    const uint64_t block = timecycle::AcceptedWeatherBlock(weather);
    if (block == 0 || core::Editor.TimecycleAfterShown.Get() == 0) return;
    timecycle::CommitCurrentContext();
    timecycle::WriteWeatherRecords(weather, block, false);
}

void RefreshAvailability() {
    TimecyclesTabState& t = TimecyclesTab;
    const uint64_t now = platform::TickCount64();
    if (t.availableStamp != 0 && now - t.availableStamp < kAvailabilityRefreshMs) return;
    for (size_t w = 0; w < kWeathers; ++w) t.available[w] = TimecycleFileAvailable(static_cast<int32_t>(w)) ? 1 : 0;
    t.availableStamp = now != 0 ? now : 1;
}

int32_t FirstAvailable(int32_t other) {
    for (size_t w = 0; w < kWeathers; ++w)
        if (TimecyclesTab.available[w] && static_cast<int32_t>(w) != other) return static_cast<int32_t>(w);
    return -1;
}

size_t AvailableCount() {
    size_t n = 0;
    for (uint8_t a : TimecyclesTab.available) n += a;
    return n;
}

void PushButtonColours(const ImVec4& base, const ImVec4& hover, const ImVec4& active) {
    ImGui::PushStyleColor(ImGuiCol_Button, base);
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, hover);
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, active);
}

// A button that may be disabled; true when clicked.
bool ColouredButton(const char* label, ImVec2 size, bool enabled, const ImVec4& base, const ImVec4& hover,
                    const ImVec4& active) {
    ImGui::BeginDisabled(!enabled);
    PushButtonColours(base, hover, active);
    const bool clicked = ImGui::Button(label, size);
    ImGui::PopStyleColor(3);
    ImGui::EndDisabled();
    return clicked && enabled;
}

const char* SlotLabel(const TimecycleVariable* row) {
    return row->slot && row->slot->name ? row->slot->name : row->xmlName;
}

bool RowMatchesSearch(const TimecycleVariable* row, const char* search) {
    return timecycle::TextContainsNoCase(SlotLabel(row), search) || timecycle::TextContainsNoCase(row->xmlName, search);
}

float ValueFieldWidth() { return std::max(140.0f, ImGui::GetContentRegionAvail().x); }

// The variables of a group, in list order (each variable's group is looked
// up once: the lookup compares names).
std::vector<const TimecycleVariable*> GroupVariables(int32_t group) {
    static const std::vector<int32_t> groupOf = [] {
        std::vector<int32_t> groups;
        for (const TimecycleVariable* row : timecycle::TimecycleVariableList())
            groups.push_back(timecycle::VariableGroupIndexOf(row));
        return groups;
    }();
    std::vector<const TimecycleVariable*> rows;
    const std::vector<const TimecycleVariable*>& list = timecycle::TimecycleVariableList();
    for (size_t i = 0; i < list.size() && i < groupOf.size(); ++i)
        if (groupOf[i] == group) rows.push_back(list[i]);
    return rows;
}

// The items on show for the group or the search, rebuilt when either changes.
const std::vector<TimecycleRowItem>& RowPlan(int32_t group, const char* search) {
    TimecyclesTabState& t = TimecyclesTab;
    const bool searching = search != nullptr && *search != '\0';
    const std::string key = searching ? search : "";
    if (t.planBuilt && t.planSearch == key && (searching || t.planGroup == group)) return t.plan;
    t.plan = BuildTimecycleRowItems(searching ? timecycle::SearchTimecycleParameters(search).rows : GroupVariables(group));
    t.planGroup = group;
    t.planSearch = key;
    t.planBuilt = true;
    return t.plan;
}

}  // namespace

void ResetTimecyclesTab() {
    TimecyclesTabState& t = TimecyclesTab;
    t.weather = 0;
    t.region = 0;
    t.keyframe = 0;
    t.lockTime = 0;
    t.group = 0;
    t.search.fill('\0');
    t.startupKeyframeSet = 0;
    t.beforeAfterHeld = 0;
    t.copyWeatherTarget = 0;
    t.regionRequest.store(-1);
    t.available.fill(0);
    t.availableStamp = 0;
    t.plan.clear();
    t.planGroup = -1;
    t.planSearch.clear();
    t.planBuilt = false;
    t.rowHeights.fill(0.0f);
    t.typicalRowHeight = 0.0f;
}

// ---- Rules ------------------------------------------------------------------------

int32_t StartupKeyframeForHour(int32_t hour) {
    if (hour < 0) return -1;
    const uint32_t h = static_cast<uint32_t>(std::min(hour, 23));
    int32_t last = 0;
    for (size_t k = 0; k < timecycle::kKeyframeCount; ++k) {
        const uint32_t at = timecycle::TimeKeyframeTable[k].hour;
        if (at == h) return static_cast<int32_t>(k);
        if (at < h) last = static_cast<int32_t>(k);
    }
    return last;
}

float GroupPaneWidth(float available) {
    if (available <= 0.0f) return 209.0f;
    const float most = std::min(0.34f * available, 209.0f);
    if (most < 145.0f) return 145.0f;
    return std::min(std::max(available - 340.0f, 145.0f), most);
}

std::string ShownTimecycleStatus(const std::string& status) {
    if (status.empty() || status == timecycle::kTimecycleStatusIdle) return {};
    for (const char* hidden : {"Loaded ", "Ready:", "Missing:"}) {
        if (status.rfind(hidden, 0) != 0) continue;
        const size_t end = status.find(". ");
        return end == std::string::npos ? std::string() : status.substr(end + 2);
    }
    return status;
}

bool TimecycleFileAvailable(int32_t weather) {
    if (weather < 0 || static_cast<size_t>(weather) >= kWeathers) return false;
    const uint32_t w = static_cast<uint32_t>(weather);
    return timecycle::TimecycleFileExists(w) || (IsUnderwater(weather) && timecycle::TimecycleFileWideExists(w));
}

int32_t RegionCopyTarget(int32_t region) {
    if (region == timecycle::kRegionGlobal) return timecycle::kRegionUrban;
    if (region == timecycle::kRegionUrban) return timecycle::kRegionGlobal;
    return -1;
}

bool ColorRowLabels(const std::vector<const TimecycleVariable*>& list, const std::string& base,
                    const TimecycleVariable*& r, const TimecycleVariable*& g, const TimecycleVariable*& b) {
    r = g = b = nullptr;
    for (const TimecycleVariable* row : list) {
        if (!row || !row->slot || !row->slot->name) continue;
        const std::string_view label = row->slot->name;
        if (label.size() != base.size() + 2 || label.compare(0, base.size(), base) != 0 || label[base.size()] != ' ')
            continue;
        const char c = label.back();
        if (c == 'R' && !r) r = row;
        if (c == 'G' && !g) g = row;
        if (c == 'B' && !b) b = row;
    }
    if (r && g && b) return true;
    r = g = b = nullptr;
    return false;
}

std::vector<TimecycleRowItem> BuildTimecycleRowItems(const std::vector<const TimecycleVariable*>& list) {
    std::vector<TimecycleRowItem> items;
    std::vector<const TimecycleVariable*> drawn;
    for (const TimecycleVariable* row : list) {
        if (!row || std::find(drawn.begin(), drawn.end(), row) != drawn.end()) continue;
        const char* name = row->slot ? row->slot->name : nullptr;
        const size_t length = name ? std::strlen(name) : 0;
        const char last = length ? name[length - 1] : '\0';
        if (length >= 3 && name[length - 2] == ' ' && (last == 'R' || last == 'G' || last == 'B')) {
            const std::string base(name, length - 2);
            const TimecycleVariable *r, *g, *b;
            if (ColorRowLabels(list, base, r, g, b)) {
                // The triple stands where its R row stands; G and B draw nothing.
                if (row != r) continue;
                drawn.insert(drawn.end(), {r, g, b});
                TimecycleRowItem item;
                item.rows[0] = r;
                item.rows[1] = g;
                item.rows[2] = b;
                item.baseLabel = base;
                items.push_back(std::move(item));
                continue;
            }
        }
        TimecycleRowItem item;
        item.rows[0] = row;
        items.push_back(std::move(item));
        drawn.push_back(row);
    }
    return items;
}

bool SlotShowsEdited(const TimecycleVariable* row) {
    const runtime::LiveOverrideSlot* s = row ? row->slot : nullptr;
    if (!s) return false;
    return s->followImport || (s->enabled && (!s->baselineCaptured ||
                                              timecycle::ValuesDiffer(s->value, s->baselineValue, 5e-5)));
}

// ---- Actions ----------------------------------------------------------------------

void ChooseImportWeather(int32_t weather) {
    TimecyclesTabState& t = TimecyclesTab;
    const int32_t w = ClampedWeather(weather);
    if (w != t.weather) HoldLoadedSlots();
    t.weather = w;
    if (!IsUnderwater(w)) game::RequestGameWeather(w);
    RequestKeyframeHour(t.keyframe, t.lockTime);
}

void LoadSelectedTimecycleFile() {
    TimecyclesTabState& t = TimecyclesTab;
    const int32_t w = ClampedWeather(t.weather);
    if (!TimecycleFileAvailable(w)) return;
    HoldLoadedSlots();
    // The weather goes to the tick (natives run on the script fiber only),
    // which must not read the slots again over the values loaded here.
    game::RequestGameWeatherKeepingSlots(w);
    timecycle::LoadTimecycleXml(w);
    RequestKeyframeHour(t.keyframe, t.lockTime);
    t.availableStamp = 0;
}

void ExportSelectedTimecycleFile() {
    std::string message;
    timecycle::SaveTimecycleXml(ClampedWeather(TimecyclesTab.weather), message);
    timecycle::TimecycleXml.TimecycleStatusLine = message;
}

void ChooseKeyframe(int32_t keyframe) {
    TimecyclesTabState& t = TimecyclesTab;
    t.keyframe = timecycle::ClampKeyframe(keyframe);
    timecycle::SelectTimecycleContext(t.weather, t.region, t.keyframe);
    RequestKeyframeHour(t.keyframe, t.lockTime);
}

void SwitchLockTime(uint8_t lockTime) {
    TimecyclesTabState& t = TimecyclesTab;
    t.lockTime = lockTime ? 1 : 0;
    game::ClockTimelapse.ClockPauseRequest.Set(t.lockTime);
    if (t.lockTime) RequestKeyframeHour(t.keyframe, 1);
}

void EditTimecycleValue(const TimecycleVariable* row, float value) {
    if (!row || !row->slot) return;
    runtime::LiveOverrideSlot& s = *row->slot;
    s.value = value;
    s.followImport = 0;
    s.enabled = s.baselineCaptured ? (timecycle::ValuesDiffer(value, s.baselineValue) ? 1 : 0) : 1;
    {
        timecycle::EditStoreLock lock(timecycle::EditStoreMutex());
        timecycle::CommitCurrentContext();
        timecycle::MarkParameterUserEdited(row->xmlName);
        timecycle::RememberEditedNames(SlotLabel(row), {row->xmlName ? row->xmlName : ""});
    }
    timecycle::ApplyContextToLive();
    timecycle::ClearWriteListCount();
    MarkGroupsDirty();
}

void EditTimecycleColour(const TimecycleVariable* const rows[3], const std::string& baseLabel, const float values[3]) {
    std::vector<std::string> changed;
    for (int i = 0; i < 3; ++i) {
        if (!rows[i] || !rows[i]->slot || std::isnan(values[i])) continue;
        runtime::LiveOverrideSlot& s = *rows[i]->slot;
        s.value = values[i];
        s.followImport = 0;
        s.enabled = s.baselineCaptured ? (timecycle::ValuesDiffer(values[i], s.baselineValue) ? 1 : 0) : 1;
        changed.push_back(rows[i]->xmlName ? rows[i]->xmlName : "");
    }
    if (changed.empty()) return;
    {
        timecycle::EditStoreLock lock(timecycle::EditStoreMutex());
        timecycle::CommitCurrentContext();
        for (const std::string& name : changed) timecycle::MarkParameterUserEdited(name.c_str());
        timecycle::RememberEditedNames(baseLabel.c_str(), changed);
    }
    timecycle::ApplyContextToLive();
    timecycle::ClearWriteListCount();
    MarkGroupsDirty();
}

void ResetTimecycleRows(const TimecycleVariable* const* rows, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (rows[i] && rows[i]->slot) visualsettings::ResetVisualSettingRow(*rows[i]->slot);
    timecycle::CommitCurrentContext();
    timecycle::ApplyContextToLive();
    timecycle::ClearWriteListCount();
    MarkGroupsDirty();
}

void ResetAllTimecycleEdits() {
    timecycle::ResetAllTimecycleVariables();
    timecycle::CommitCurrentContext();
    timecycle::ApplyContextToLive();
    timecycle::ClearWriteListCount();
    timecycle::TimecycleXml.TimecycleStatusLine = "Values reset.";
}

namespace {

void ReportCopy(uint64_t count, const char* target) {
    timecycle::TimecycleXml.TimecycleStatusLine = count != 0 ? std::string("Copied to ") + target + "." : "No values copied.";
}

}  // namespace

void CopyParameterEditsToOtherRegion() {
    const TimecyclesTabState& t = TimecyclesTab;
    const int32_t target = RegionCopyTarget(t.region);
    if (target < 0) return;
    std::vector<std::string> names;
    {
        timecycle::EditStoreLock lock(timecycle::EditStoreMutex());
        names = timecycle::EditStore.LastEditedNames;
    }
    if (names.empty()) return;
    const uint64_t count = timecycle::CopyParameterEditsToRegion(t.weather, t.region, target, names);
    if (count != 0) WriteWeatherIntoGame(t.weather);
    ReportCopy(count, timecycle::TimecycleRegionNames[target]);
}

void CopyAllRegionEditsToOtherRegion() {
    const TimecyclesTabState& t = TimecyclesTab;
    const int32_t target = RegionCopyTarget(t.region);
    if (target < 0) return;
    const uint64_t count = timecycle::CopyAllRegionEdits(t.weather, t.region, target, 0, 12);
    if (count != 0) WriteWeatherIntoGame(t.weather);
    ReportCopy(count, timecycle::TimecycleRegionNames[target]);
}

void CopyEditsToWeather(int32_t target) {
    const TimecyclesTabState& t = TimecyclesTab;
    if (target < 0 || static_cast<size_t>(target) >= kWeathers || target == t.weather) return;
    const uint64_t count = timecycle::CopyWeatherEdits(t.weather, target);
    if (count != 0) WriteWeatherIntoGame(target);
    ReportCopy(count, timecycle::WeatherNameTable[target].displayName);
}

int32_t ValidCopyWeatherTarget(int32_t target) {
    const TimecyclesTabState& t = TimecyclesTab;
    if (target >= 0 && static_cast<size_t>(target) < kWeathers && target != t.weather && t.available[static_cast<size_t>(target)])
        return target;
    const int32_t first = FirstAvailable(t.weather);
    return first >= 0 ? first : target;
}

void RequestRegionTeleport(int32_t which) {
    if (which != 1 && which != 2) return;
    game::RequestPresetTeleport(which);
    const int32_t region = which == 1 ? timecycle::kRegionUrban : timecycle::kRegionGlobal;
    TimecyclesTab.region = region;
    TimecyclesTab.regionRequest.store(region);
}

void HoldBeforeAfter(bool held) {
    TimecyclesTabState& t = TimecyclesTab;
    if (held) {
        core::Editor.TimecycleAfterShown.Set(0);
        t.beforeAfterHeld = 1;
    } else if (t.beforeAfterHeld) {
        core::Editor.TimecycleAfterShown.Set(1);
        t.beforeAfterHeld = 0;
    }
    timecycle::SyncTimecycleBeforeAfter();
}

void RereadTimecycleSlots() {
    if (core::Editor.TimecycleRereadFrames.Get() < 1 || timecycle::KeyframeTable.SlotRefreshHoldFrames > 0) return;
    timecycle::EditStoreLock lock(timecycle::EditStoreMutex());
    // A weather whose file is loaded keeps the file's keyframe values: the
    // game's current block (interpolated between keyframes and weathers)
    // never replaces them, so a load's clock request starts no re-read.
    const timecycle::TimecycleContext& c = timecycle::EditStore.CurrentTimecycleContext;
    const bool fileLoaded =
        c.valid && timecycle::TimecycleXml.TimecycleLoadRecords[static_cast<size_t>(timecycle::ClampWeather(c.weather))].loaded != 0;
    if (!fileLoaded && !timecycle::ContextHasEdits()) {
        // As the slot refresh reads them, but a value is kept only where the user set it.
        for (const TimecycleVariable* row : timecycle::TimecycleVariableList())
            if (row->slot) runtime::RefreshLiveSlot(*row->slot, true, false);
        core::Editor.TimecycleRereadFrames.FetchSub(1);
    } else {
        core::Editor.TimecycleRereadFrames.Set(0);
    }
    timecycle::CommitCurrentContext();
}

// ---- Drawing --------------------------------------------------------------------------

void DrawTimecycleImportFilesPanel(int32_t& weather, int32_t keyframe, uint8_t lockTime) {
    (void)keyframe;
    (void)lockTime;
    TimecyclesTabState& t = TimecyclesTab;
    if (!t.available[static_cast<size_t>(ClampedWeather(weather))]) {
        const int32_t first = FirstAvailable(-1);
        if (first >= 0) weather = first;
    }
    std::array<uint8_t, kWeathers> userEdits{};
    int edited = 0;
    for (size_t w = 0; w < kWeathers; ++w) {
        userEdits[w] = timecycle::WeatherHasUserEdits(static_cast<int32_t>(w)) ? 1 : 0;
        edited += userEdits[w];
    }
    if (ImGui::BeginChild("##timecycle_import_files_panel", ImVec2(0.0f, 176.0f), ImGuiChildFlags_Borders)) {
        bool lineShown = false;
        if (edited > 0) {
            ImGui::TextColored(kEditedOrange, "%d edited", edited);
            lineShown = true;
        }
        if (timecycle::TimecyclePreviewPending()) {
            if (lineShown) ImGui::SameLine();
            const double mib = static_cast<double>(timecycle::LastKeyframeScanStats().bytesScanned) / (1 << 20);
            ImGui::TextDisabled("Searching the game's memory for its keyframe table (%.0f MiB)...", mib);
            lineShown = true;
        }
        const std::string status = ShownTimecycleStatus(timecycle::TimecycleXml.TimecycleStatusLine);
        if (!status.empty()) {
            ImGui::PushStyleColor(ImGuiCol_Text, ImGui::GetStyleColorVec4(ImGuiCol_TextDisabled));
            ImGui::TextWrapped("%s", status.c_str());
            ImGui::PopStyleColor();
            lineShown = true;
        }
        if (!lineShown) ImGui::Dummy(ImVec2(0.0f, ImGui::GetFontSize()));
        const ImGuiTableFlags flags = ImGuiTableFlags_ScrollY | ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerV;
        if (ImGui::BeginTable("##timecycle_import_files_table", 3, flags, ImVec2(0.0f, 138.0f))) {
            ImGui::TableSetupColumn("Weather", ImGuiTableColumnFlags_WidthFixed, 118.0f);
            ImGui::TableSetupColumn("File", ImGuiTableColumnFlags_WidthStretch);
            ImGui::TableSetupColumn("Status", ImGuiTableColumnFlags_WidthFixed, 72.0f);
            ImGui::TableNextRow();
            for (const char* header : {"Weather", "File", "Status"}) {
                ImGui::TableNextColumn();
                ImGui::TextDisabled("%s", header);
            }
            bool any = false;
            char label[96];
            for (size_t w = 0; w < kWeathers; ++w) {
                if (!t.available[w]) continue;
                any = true;
                const int32_t index = static_cast<int32_t>(w);
                ImGui::TableNextRow();
                ImGui::TableNextColumn();
                std::snprintf(label, sizeof label, "%s##timecycle_import_weather_%d",
                              timecycle::WeatherNameTable[w].displayName, index);
                if (ImGui::Selectable(label, index == weather, ImGuiSelectableFlags_SpanAllColumns)) {
                    ChooseImportWeather(index);
                    weather = t.weather;
                }
                ImGui::TableNextColumn();
                ImGui::TextUnformatted(timecycle::WeatherTimecycleFileName(static_cast<uint32_t>(w)).c_str());
                ImGui::TableNextColumn();
                const timecycle::TimecycleLoadRecord& record = timecycle::TimecycleXml.TimecycleLoadRecords[w];
                if (userEdits[w]) {
                    ImGui::TextColored(kEditedOrange, "Edited");
                } else if (record.loaded || record.previewApplied) {
                    ImGui::TextColored(kLoadedGreen, "Loaded");
                } else {
                    ImGui::TextColored(kReadyBlue, "Ready");
                }
            }
            if (!any) {
                ImGui::TableNextRow();
                ImGui::TableSetColumnIndex(1);
                ImGui::TextDisabled("No Timecycle .xml files found.");
            }
            ImGui::EndTable();
        }
    }
    ImGui::EndChild();
}

void DrawTimecycleControlPanel(int32_t& region, int32_t& keyframe, uint8_t& lockTime) {
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(8.0f, 4.0f));
    const bool open = ImGui::BeginChild("##timecycle_control_panel", ImVec2(0.0f, 66.0f),
                                        ImGuiChildFlags_Borders | ImGuiChildFlags_AlwaysUseWindowPadding, kBarFlags);
    ImGui::PopStyleVar();
    if (open && ImGui::BeginTable("##timecycle_top_controls", 3)) {
        ImGui::TableSetupColumn("Region");
        ImGui::TableSetupColumn("Time");
        ImGui::TableSetupColumn("Clock");
        ImGui::TableNextRow();
        for (const char* header : {"Region", "Time", "Clock"}) {
            ImGui::TableNextColumn();
            ImGui::TextDisabled("%s", header);
        }
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        ImGui::SetNextItemWidth(-FLT_MIN);
        const int32_t r = timecycle::ClampRegion(region);
        if (ImGui::BeginCombo("##Region", timecycle::TimecycleRegionNames[r])) {
            for (int32_t i = 0; i < static_cast<int32_t>(timecycle::kRegionCount); ++i)
                if (ImGui::Selectable(timecycle::TimecycleRegionNames[i], i == r)) region = i;
            ImGui::EndCombo();
        }
        ImGui::TableNextColumn();
        ImGui::SetNextItemWidth(-FLT_MIN);
        const int32_t k = timecycle::ClampKeyframe(keyframe);
        if (ImGui::BeginCombo("##TimeKeyframe", timecycle::TimeKeyframeTable[k].label)) {
            for (int32_t i = 0; i < static_cast<int32_t>(timecycle::kKeyframeCount); ++i) {
                if (ImGui::Selectable(timecycle::TimeKeyframeTable[i].label, i == k) && i != k) {
                    keyframe = i;
                    RequestKeyframeHour(i, lockTime);  // the context follows after the copy panels
                }
            }
            ImGui::EndCombo();
        }
        ImGui::TableNextColumn();
        bool lock = lockTime != 0;
        if (ImGui::Checkbox("Lock Time", &lock)) {
            TimecyclesTab.keyframe = keyframe;
            SwitchLockTime(lock ? 1 : 0);
            lockTime = TimecyclesTab.lockTime;
        }
        ImGui::EndTable();
    }
    ImGui::EndChild();
}

void DrawRegionCopyPanel(int32_t weather, int32_t region) {
    const int32_t target = RegionCopyTarget(region);
    const char* name = target >= 0 ? timecycle::TimecycleRegionNames[target] : "Other";
    bool haveNames = false;
    {
        timecycle::EditStoreLock lock(timecycle::EditStoreMutex());
        haveNames = !timecycle::EditStore.LastEditedNames.empty();
    }
    const bool haveEdits = target >= 0 && timecycle::WeatherHasPendingEdits(weather);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(8.0f, 3.0f));
    const bool open = ImGui::BeginChild("##timecycle_region_copy_panel", ImVec2(0.0f, 30.0f),
                                        ImGuiChildFlags_Borders | ImGuiChildFlags_AlwaysUseWindowPadding, kBarFlags);
    ImGui::PopStyleVar();
    if (open) {
        char label[64];
        ImGui::AlignTextToFramePadding();
        ImGui::TextUnformatted("Copy parameter edits to");
        ImGui::SameLine();
        std::snprintf(label, sizeof label, "%s##copy_parameter_edits_region", name);
        if (ColouredButton(label, ImVec2(74.0f, 24.0f), target >= 0 && haveNames, kBaseButton, kTealHover, kTealActive))
            CopyParameterEditsToOtherRegion();
        ImGui::SameLine();
        ImGui::TextUnformatted("Copy all region edits to");
        ImGui::SameLine();
        std::snprintf(label, sizeof label, "%s##copy_all_region_edits_region", name);
        if (ColouredButton(label, ImVec2(74.0f, 24.0f), haveEdits, kBaseButton, kTealHover, kTealActive))
            CopyAllRegionEditsToOtherRegion();
    }
    ImGui::EndChild();
}

void DrawWeatherCopyPanel(int32_t weather) {
    TimecyclesTabState& t = TimecyclesTab;
    t.copyWeatherTarget = ValidCopyWeatherTarget(t.copyWeatherTarget);
    const int32_t target = t.copyWeatherTarget;
    const bool targetOk = target >= 0 && static_cast<size_t>(target) < kWeathers && target != weather &&
                          t.available[static_cast<size_t>(target)];
    const bool comboOn = AvailableCount() >= 2;
    const bool buttonOn = comboOn && targetOk && timecycle::WeatherHasPendingEdits(weather);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(8.0f, 3.0f));
    const bool open = ImGui::BeginChild("##timecycle_weather_copy_panel", ImVec2(0.0f, 30.0f),
                                        ImGuiChildFlags_Borders | ImGuiChildFlags_AlwaysUseWindowPadding, kBarFlags);
    ImGui::PopStyleVar();
    if (open) {
        ImGui::AlignTextToFramePadding();
        ImGui::TextUnformatted("Copy edited values to");
        ImGui::SameLine();
        ImGui::SetNextItemWidth(154.0f);
        ImGui::BeginDisabled(!comboOn);
        const char* shown = targetOk ? timecycle::WeatherNameTable[target].displayName : "";
        if (ImGui::BeginCombo("##timecycle_copy_weather_target", shown)) {
            for (size_t w = 0; w < kWeathers; ++w) {
                if (!t.available[w]) continue;
                const int32_t index = static_cast<int32_t>(w);
                ImGui::BeginDisabled(index == weather);
                if (ImGui::Selectable(timecycle::WeatherNameTable[w].displayName, index == target)) t.copyWeatherTarget = index;
                ImGui::EndDisabled();
            }
            ImGui::EndCombo();
        }
        ImGui::EndDisabled();
        ImGui::SameLine();
        if (ColouredButton("Copy edits", ImVec2(96.0f, 24.0f), buttonOn, kBaseButton, kTealHover, kTealActive))
            CopyEditsToWeather(target);
    }
    ImGui::EndChild();
}

void DrawTeleportPanel() {
    if (ImGui::BeginChild("##timecycle_teleport_panel", ImVec2(0.0f, 24.0f), ImGuiChildFlags_None, kBarFlags)) {
        ImGui::AlignTextToFramePadding();
        ImGui::TextUnformatted("Location");
        ImGui::SameLine();
        if (ColouredButton("Urban", ImVec2(74.0f, 22.0f), true, kBaseButton, kTealHover, kTealActive))
            RequestRegionTeleport(1);
        ImGui::SameLine();
        if (ColouredButton("Global", ImVec2(74.0f, 22.0f), true, kBaseButton, kTealHover, kTealActive))
            RequestRegionTeleport(2);
    }
    ImGui::EndChild();
}

void DrawTimeKeyframeStepper(int32_t& keyframe, uint8_t lockTime) {
    ImGui::PushID("time_keyframe_stepper");
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(3.0f, 1.0f));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(4.0f, ImGui::GetStyle().ItemSpacing.y));
    const ImVec2 size(38.0f, 18.0f);
    const float startX = ImGui::GetCursorPosX();
    const float right = startX + ImGui::GetContentRegionAvail().x;
    float x = startX;
    int32_t chosen = -1;
    for (int32_t k = 0; k < static_cast<int32_t>(timecycle::kKeyframeCount); ++k) {
        if (k > 0) {
            if (x + 4.0f + size.x <= right) {
                ImGui::SameLine(0.0f, 4.0f);
                x += 4.0f;
            } else {
                x = startX;
            }
        }
        const bool selected = k == keyframe;
        ImGui::PushStyleColor(ImGuiCol_Button, selected ? ImVec4(1.0f, 0.72f, 0.28f, 0.28f) : ImVec4(1.0f, 1.0f, 1.0f, 0.04f));
        ImGui::PushStyleColor(ImGuiCol_ButtonHovered, ImVec4(1.0f, 0.72f, 0.28f, 0.16f));
        ImGui::PushStyleColor(ImGuiCol_ButtonActive, ImVec4(1.0f, 0.72f, 0.28f, 0.26f));
        ImGui::PushStyleColor(ImGuiCol_Text, selected ? ImVec4(1.0f, 0.86f, 0.58f, 1.0f) : ImVec4(0.70f, 0.73f, 0.74f, 0.86f));
        if (x == startX && k > 0) ImGui::SetCursorPosX(startX);
        if (ImGui::Button(timecycle::TimeKeyframeTable[k].label, size)) chosen = k;
        ImGui::PopStyleColor(4);
        x += size.x;
    }
    ImGui::PopStyleVar(2);
    ImGui::PopID();
    if (chosen >= 0) {
        TimecyclesTab.lockTime = lockTime;
        ChooseKeyframe(chosen);
        keyframe = TimecyclesTab.keyframe;
    }
}

void DrawTimecycleFloatRow(const TimecycleVariable* row, const char* search, int32_t& keyframe, uint8_t lockTime) {
    if (!row || !row->slot) return;
    if (search && *search && !RowMatchesSearch(row, search)) return;
    runtime::LiveOverrideSlot& s = *row->slot;
    timecycle::RefreshTimecycleSlot(s);
    ImGui::PushID(static_cast<int>(timecycle::RowIndexOf(row)));
    const bool inert = timecycle::IsVariableInertInWeather(row, TimecyclesTab.weather);
    ImGui::TextColored(inert ? kInertLabel : kParamLabel, "%s", SlotLabel(row));
    const bool edited = SlotShowsEdited(row);
    if (edited) DrawParamLabel();
    if (DrawResetParamButton(edited ? 1 : 0)) ResetTimecycleRows(&row, 1);
    float value = s.value;
    ImGui::SetNextItemWidth(ValueFieldWidth());
    if (ImGui::DragFloat("##value", &value, 0.01f, 0.0f, 0.0f, "%.6f")) EditTimecycleValue(row, value);
    DrawTimeKeyframeStepper(keyframe, lockTime);
    ImGui::Separator();
    ImGui::PopID();
}

void DrawTimecycleColorRow(const TimecycleVariable* const rows[3], const std::string& baseLabel, const char* search,
                           int32_t& keyframe, uint8_t lockTime) {
    for (int i = 0; i < 3; ++i)
        if (!rows[i] || !rows[i]->slot) return;
    if (search && *search && !timecycle::TextContainsNoCase(baseLabel.c_str(), search) &&
        !RowMatchesSearch(rows[0], search) && !RowMatchesSearch(rows[1], search) && !RowMatchesSearch(rows[2], search))
        return;
    for (int i = 0; i < 3; ++i) timecycle::RefreshTimecycleSlot(*rows[i]->slot);
    ImGui::PushID(static_cast<int>(timecycle::RowIndexOf(rows[0])));
    bool inert = false;
    bool edited = false;
    for (int i = 0; i < 3; ++i) {
        inert = inert || timecycle::IsVariableInertInWeather(rows[i], TimecyclesTab.weather);
        edited = edited || SlotShowsEdited(rows[i]);
    }
    ImGui::TextColored(inert ? kInertLabel : kParamLabel, "%s", baseLabel.c_str());
    if (edited) DrawParamLabel();
    if (DrawResetParamButton(edited ? 1 : 0)) ResetTimecycleRows(rows, 3);
    float rgb[3] = {rows[0]->slot->value, rows[1]->slot->value, rows[2]->slot->value};
    const float before[3] = {rgb[0], rgb[1], rgb[2]};
    ImGui::SetNextItemWidth(ValueFieldWidth());
    const ImGuiColorEditFlags flags = ImGuiColorEditFlags_Float | ImGuiColorEditFlags_HDR | ImGuiColorEditFlags_DisplayRGB |
                                      ImGuiColorEditFlags_InputRGB;
    if (ImGui::ColorEdit3("##color", rgb, flags)) {
        float changed[3];
        for (int i = 0; i < 3; ++i)
            changed[i] = timecycle::ValuesDiffer(rgb[i], before[i]) ? rgb[i] : std::nanf("");
        EditTimecycleColour(rows, baseLabel, changed);
    }
    DrawTimeKeyframeStepper(keyframe, lockTime);
    ImGui::Separator();
    ImGui::PopID();
}

void DrawTimecycleGroupRows(const std::vector<TimecycleRowItem>& items, const char* search, int32_t& keyframe,
                            uint8_t lockTime) {
    TimecyclesTabState& t = TimecyclesTab;
    const ImDrawList* drawList = ImGui::GetWindowDrawList();
    const float clipTop = drawList->GetClipRectMin().y;
    const float clipBottom = drawList->GetClipRectMax().y;
    const float spacing = ImGui::GetStyle().ItemSpacing.y;
    float y = ImGui::GetCursorScreenPos().y;
    float skipped = 0.0f;  // height of the rows passed over since the last one drawn
    for (const TimecycleRowItem& item : items) {
        const size_t first = timecycle::RowIndexOf(item.rows[0]);
        float& height = t.rowHeights[first];
        const float guess = height > 0.0f ? height : t.typicalRowHeight;
        if (guess > 0.0f && (y + guess < clipTop || y > clipBottom)) {
            y += guess;
            skipped += guess;
            continue;
        }
        if (skipped > 0.0f) {
            ImGui::Dummy(ImVec2(1.0f, std::max(0.0f, skipped - spacing)));
            skipped = 0.0f;
        }
        const float top = ImGui::GetCursorScreenPos().y;
        if (item.IsColour()) {
            DrawTimecycleColorRow(item.rows, item.baseLabel, search, keyframe, lockTime);
        } else {
            DrawTimecycleFloatRow(item.rows[0], search, keyframe, lockTime);
        }
        const float drawnHeight = ImGui::GetCursorScreenPos().y - top;
        if (drawnHeight > 0.0f) {
            height = drawnHeight;
            if (t.typicalRowHeight <= 0.0f) t.typicalRowHeight = drawnHeight;
        }
        y = top + drawnHeight;
    }
    if (skipped > 0.0f) ImGui::Dummy(ImVec2(1.0f, std::max(0.0f, skipped - spacing)));
}

namespace {

void DrawLoadExportLine(int32_t weather) {
    const bool available = TimecyclesTab.available[static_cast<size_t>(ClampedWeather(weather))] != 0;
    if (ColouredButton("Load .xml", ImVec2(96.0f, 26.0f), available, kBaseButton, kTealHover, kTealActive))
        LoadSelectedTimecycleFile();
    ImGui::SameLine();
    if (ColouredButton("Export .xml", ImVec2(104.0f, 26.0f), timecycle::WeatherHasPendingEdits(weather), kBaseButton,
                       kTealHover, kTealActive))
        ExportSelectedTimecycleFile();
}

void DrawActionBar(int32_t weather) {
    TimecyclesTabState& t = TimecyclesTab;
    const bool pending = timecycle::WeatherHasPendingEdits(weather);
    bool held = false;
    // The hold button is as wide as its label needs in the font and scale
    // drawn with; the buttons' column grows with it.
    constexpr const char* kHoldLabel = "Hold for before / after";
    const ImGuiStyle& style = ImGui::GetStyle();
    const float holdWidth = std::max(190.0f, ImGui::CalcTextSize(kHoldLabel).x + 2.0f * style.FramePadding.x);
    const float buttonsWidth = std::max(430.0f, 110.0f + holdWidth + 96.0f + 2.0f * style.ItemSpacing.x);
    if (ImGui::BeginTable("##timecycle_action_bar", 2)) {
        ImGui::TableSetupColumn("buttons", ImGuiTableColumnFlags_WidthFixed, buttonsWidth);
        ImGui::TableSetupColumn("search", ImGuiTableColumnFlags_WidthStretch);
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        if (ColouredButton("Reset all", ImVec2(110.0f, 28.0f), pending, kRedButton, kRedHover, kRedActive))
            ResetAllTimecycleEdits();
        ImGui::SameLine();
        ImGui::PushID("timecycle_before_after");
        ImGui::BeginDisabled(!pending);
        PushButtonColours(kBaseButton, kTealHover, kTealActive);
        ImGui::Button(kHoldLabel, ImVec2(holdWidth, 28.0f));
        held = pending && ImGui::IsItemActive();
        ImGui::PopStyleColor(3);
        ImGui::EndDisabled();
        ImGui::PopID();
        ImGui::SameLine();
        if (ColouredButton("Clear search##timecycle", ImVec2(96.0f, 26.0f), t.search[0] != '\0', kBaseButton, kGreyHover,
                           kGreyActive))
            t.search.fill('\0');
        ImGui::TableNextColumn();
        ImGui::SetNextItemWidth(-FLT_MIN);
        ImGui::InputTextWithHint("##timecycle_search", "Search values...", t.search.data(), t.search.size());
        ImGui::EndTable();
    }
    HoldBeforeAfter(held);
}

void DrawPanes() {
    TimecyclesTabState& t = TimecyclesTab;
    const float width = GroupPaneWidth(ImGui::GetContentRegionAvail().x);
    if (ImGui::BeginChild("##timecycle_category_pane", ImVec2(width, 0.0f), ImGuiChildFlags_Borders)) {
        timecycle::RefreshGroupEditedFlags();
        std::vector<timecycle::TimecycleVariableGroup>& groups = timecycle::TimecycleVariableGroupList();
        int edited = 0;
        {
            timecycle::EditStoreLock lock(timecycle::EditStoreMutex());
            for (const timecycle::TimecycleVariableGroup& g : groups) edited += g.edited ? 1 : 0;
        }
        if (edited > 0) {
            ImGui::TextColored(kEditedOrange, "%d edited", edited);
        } else {
            ImGui::Dummy(ImVec2(0.0f, ImGui::GetFontSize()));
        }
        ImGui::Separator();
        if (ImGui::BeginTable("##timecycle_category_table", 1)) {
            ImGui::TableSetupColumn("##timecycle_category_column");
            char label[96];
            for (size_t g = 0; g < groups.size() && g < timecycle::kGroupCount; ++g) {
                ImGui::TableNextRow();
                ImGui::TableNextColumn();
                std::snprintf(label, sizeof label, "%s##timecycle_category_%zu", timecycle::kVariableGroupData[g].title, g);
                if (groups[g].edited) ImGui::PushStyleColor(ImGuiCol_Text, kEditedOrange);
                if (ImGui::Selectable(label, static_cast<int32_t>(g) == t.group)) t.group = static_cast<int32_t>(g);
                if (groups[g].edited) ImGui::PopStyleColor();
            }
            ImGui::EndTable();
        }
    }
    ImGui::EndChild();
    ImGui::SameLine();
    if (ImGui::BeginChild("##timecycle_parameter_pane", ImVec2(0.0f, 0.0f), ImGuiChildFlags_Borders)) {
        const char* search = t.search.data();
        const bool searching = search[0] != '\0';
        const std::vector<TimecycleRowItem>& plan = RowPlan(t.group, search);
        if (searching) {
            ImGui::TextUnformatted("Search Results");
        } else {
            const bool inRange = t.group >= 0 && static_cast<size_t>(t.group) < timecycle::kGroupCount;
            ImGui::TextUnformatted(inRange ? timecycle::kVariableGroupData[t.group].title : "Misc");
        }
        if (searching && plan.empty()) {
            ImGui::TextDisabled("No matching values.");
        } else {
            ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(8.0f, 2.0f));
            DrawTimecycleGroupRows(plan, search, t.keyframe, t.lockTime);
            ImGui::PopStyleVar();
        }
    }
    ImGui::EndChild();
}

}  // namespace

void DrawTimecyclesPanel() {
    TimecyclesTabState& t = TimecyclesTab;
    // One slice of a load preview's search a frame: no frame waits for the whole search.
    timecycle::StepTimecyclePreview();
    RefreshAvailability();
    if (!t.startupKeyframeSet) {
        const int32_t k = StartupKeyframeForHour(game::ClockTimelapse.GameClockReading.hour.Get());
        if (k >= 0) {
            t.keyframe = k;
            t.startupKeyframeSet = 1;
        }
    }
    const int32_t requested = t.regionRequest.exchange(-1);
    if (requested >= 0 && requested < static_cast<int32_t>(timecycle::kRegionCount)) t.region = requested;
    if (t.group < 0 || t.group > 27) t.group = 0;

    timecycle::SelectTimecycleContext(t.weather, t.region, t.keyframe);
    DrawTimecycleImportFilesPanel(t.weather, t.keyframe, t.lockTime);
    timecycle::SelectTimecycleContext(t.weather, t.region, t.keyframe);
    DrawLoadExportLine(t.weather);
    DrawTimecycleControlPanel(t.region, t.keyframe, t.lockTime);
    DrawRegionCopyPanel(t.weather, t.region);
    DrawWeatherCopyPanel(t.weather);
    timecycle::SelectTimecycleContext(t.weather, t.region, t.keyframe);
    DrawTeleportPanel();
    DrawActionBar(t.weather);
    RereadTimecycleSlots();
    DrawPanes();

    core::SharedValue<int32_t>& hold = timecycle::KeyframeTable.SlotRefreshHoldFrames;
    if (hold >= 1) hold = hold - 1;
}

}  // namespace ui
