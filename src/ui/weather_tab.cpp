#include "ui/weather_tab.h"

#include <imgui.h>

#include <algorithm>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "core/file_utils.h"
#include "core/text.h"
#include "ui/sirens_panel.h"
#include "weather/document_io.h"
#include "weather/document_live.h"
#include "weather/live_state.h"
#include "weather/render_live.h"
#include "weather/value_filters.h"
#include "weather/water_lightning_live.h"
#include "weather/weather_xml_live.h"
#include "weather/weather_xml_model.h"

namespace ui {

WeatherTabState WeatherTab;

void ResetWeatherTabState() { WeatherTab = WeatherTabState{}; }

namespace {

using weather::WeatherDocument;
using weather::WeatherDocuments;

const ImVec4 kEditedColour(1.0f, 0.68f, 0.18f, 1.0f);
const ImVec4 kWarningColour(1.0f, 0.72f, 0.28f, 1.0f);
const ImVec4 kStatusColour(0.66f, 0.74f, 0.80f, 1.0f);
const ImVec4 kSeparatorColour(0.24f, 0.26f, 0.28f, 1.0f);
const ImVec4 kGroupEdge(0.05f, 0.06f, 0.07f, 1.0f);
const ImVec4 kGroupRow(0.11f, 0.12f, 0.13f, 1.0f);
const ImVec4 kGroupText(0.80f, 0.84f, 0.88f, 1.0f);
const ImVec4 kGroupBreak(0.45f, 0.14f, 0.12f, 1.0f);

const ImGuiTableFlags kFileTableFlags = ImGuiTableFlags_ScrollY | ImGuiTableFlags_RowBg |
                                        ImGuiTableFlags_BordersInnerV | ImGuiTableFlags_SizingStretchProp |
                                        ImGuiTableFlags_NoSavedSettings;
const ImGuiWindowFlags kFixedChild = ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse;

struct RenderGroup {
    const char* name;
    const char* label;
    std::array<const char*, 4> parts;
};
constexpr RenderGroup kRenderGroups[kRenderGroupCount - 1] = {
    {"Rainstorm", "Rainstorm", {"rainstorm_"}},
    {"Thunder", "Thunder", {"thunder_"}},
    {"Snow", "Snow", {"snowlight_", "snowheavy_"}},
    {"Blizzard", "Blizzard", {"blizzard_"}},
    {"Underwater", "Underwater", {"underwater_"}},
    {"Regional", "Regional Fog / Dust", {"countryside_", "desert_", "lake_fog_"}},
    {"Woodland", "Woodland / Ambient", {"pollen_", "firefly_", "woodland_", "fly_"}},
};

bool IsKind(const WeatherDocument& d, weather::DocumentKind kind) { return weather::DocumentKindOf(d) == kind; }

bool IsRenderRow(int32_t row) {
    return row >= 0 && row < static_cast<int32_t>(weather::kWeatherDocumentCount) &&
           IsKind(WeatherDocuments.WeatherDocumentRegistry[static_cast<size_t>(row)], weather::DocumentKind::Render);
}

int32_t RowOf(const char* fileName) { return weather::FindWeatherDocumentIndex(fileName); }

bool ColouredButton(const char* label, ImVec2 size, bool fileButton) {
    ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.16f, 0.19f, 0.21f, 0.72f));
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered,
                          fileButton ? ImVec4(0.18f, 0.36f, 0.42f, 0.92f) : ImVec4(0.22f, 0.27f, 0.30f, 0.86f));
    ImGui::PushStyleColor(ImGuiCol_ButtonActive,
                          fileButton ? ImVec4(0.24f, 0.46f, 0.54f, 1.0f) : ImVec4(0.30f, 0.35f, 0.39f, 0.96f));
    const bool clicked = ImGui::Button(label, size);
    ImGui::PopStyleColor(3);
    return clicked;
}

bool EnabledButton(const char* label, ImVec2 size, bool enabled, bool fileButton) {
    ImGui::BeginDisabled(!enabled);
    const bool clicked = ColouredButton(label, size, fileButton);
    ImGui::EndDisabled();
    return clicked && enabled;
}

// A button that counts while the mouse holds it: held now, and released on this frame.
struct Hold {
    bool held = false;
    bool released = false;
};
Hold HoldButton(const char* label, bool enabled) {
    ImGui::BeginDisabled(!enabled);
    // 158 wide, or wider when the label needs it (a larger font or scale).
    const float width = std::max(158.0f, ImGui::CalcTextSize(label, nullptr, true).x + 2.0f * ImGui::GetStyle().FramePadding.x);
    ColouredButton(label, ImVec2(width, 0.0f), false);
    Hold hold{ImGui::IsItemActive(), ImGui::IsItemDeactivated()};
    ImGui::EndDisabled();
    return hold;
}

void EditedAndWarnings(const WeatherDocument& d) {
    const uint64_t edited = weather::CountChangedValues(d);
    if (edited != 0) {
        ImGui::SameLine();
        ImGui::TextColored(kEditedColour, "%llu edited", static_cast<unsigned long long>(edited));
    }
    if (d.warningCount != 0) {
        ImGui::SameLine();
        ImGui::TextColored(kWarningColour, "%llu xml warning%s", static_cast<unsigned long long>(d.warningCount),
                           d.warningCount == 1 ? "" : "s");
    }
}

void DrawEditedBadge(const WeatherDocument& d) {
    if (!d.loaded || weather::CountChangedValues(d) == 0) return;
    ImGui::SameLine();
    ImGui::TextColored(d.warningCount != 0 ? kWarningColour : kEditedColour, "Edited");
}

void EmptyChild(const char* id, const char* text) {
    if (ImGui::BeginChild(id, ImVec2(0.0f, 0.0f), ImGuiChildFlags_Borders)) ImGui::TextDisabled("%s", text);
    ImGui::EndChild();
}

void BeforeShownNote(const WeatherDocument& d) {
    if (!weather::WeatherDocumentBeforeShown(d)) return;
    ImGui::TextColored(kWarningColour, "Before shown: edits are written when after is shown.");
}

void HeaderRow(const char* value) {
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    ImGui::TextDisabled("Name");
    ImGui::TableSetColumnIndex(1);
    ImGui::TextDisabled("%s", value);
    ImGui::TableSetColumnIndex(2);
    ImGui::TextDisabled(" ");
}

void ColouredRow(float height, const ImVec4& colour) {
    ImGui::TableNextRow(ImGuiTableRowFlags_None, height);
    ImGui::TableSetBgColor(ImGuiTableBgTarget_RowBg0, ImGui::GetColorU32(colour));
}

void ValueColumns(float valueWidth, float resetWidth) {
    // A weight of its own: with proportional sizing a stretched column whose
    // content was never measured would get no width at all.
    ImGui::TableSetupColumn("Name", ImGuiTableColumnFlags_WidthStretch, 1.0f);
    ImGui::TableSetupColumn("Value", ImGuiTableColumnFlags_WidthFixed, valueWidth);
    ImGui::TableSetupColumn("##reset", ImGuiTableColumnFlags_WidthFixed, resetWidth);
}

void NoMatchingRow() {
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    ImGui::TextDisabled("No matching values.");
}

// ---- The weather.xml panel ---------------------------------------------------------------

void MakeTrees(const WeatherDocument& d) {
    WeatherTabState& tab = WeatherTab;
    if (tab.treesLoadSerial == d.loadSerial && !tab.gpuFxEntries.empty()) return;
    tab.treesLoadSerial = d.loadSerial;
    std::unordered_map<std::string_view, size_t> byPath;
    for (size_t i = 0; i < d.values.size(); ++i) byPath.emplace(d.values[i].path, i);
    const auto entry = [&](const std::string& path, const char* field, std::vector<WeatherTabState::TreeEntry>& out) {
        auto it = byPath.find(path);
        if (it != byPath.end() && weather::IsLiveSupportedValue(d, d.values[it->second])) out.push_back({it->second, field});
    };
    tab.gpuFxEntries.assign(weather::kWeatherGpuFxCount, {});
    for (size_t e = 0; e < weather::kWeatherGpuFxCount; ++e) {
        const std::string prefix = std::string("WeatherGpuFx/") + weather::WeatherGpuFxTable[e].effect + "/";
        for (const char* field : {"windInfluence", "gravity"}) entry(prefix + field, field, tab.gpuFxEntries[e]);
    }
    tab.weatherEntries.assign(weather::kWeatherTypeCount, {});
    for (size_t w = 0; w < weather::kWeatherTypeCount; ++w) {
        const std::string prefix = std::string("WeatherTypes/") + weather::WeatherTypeNameTable[w].name + "/";
        for (const weather::WeatherTypeField& f : weather::WeatherTypeFieldTable)
            entry(prefix + f.name, f.name, tab.weatherEntries[w]);
    }
}

bool AnyEdited(const WeatherDocument& d, const std::vector<WeatherTabState::TreeEntry>& entries) {
    for (const auto& e : entries)
        if (weather::IsValueEdited(d.values[e.value])) return true;
    return false;
}

void DrawWeatherXmlParamTable(WeatherDocument& d, const std::vector<WeatherTabState::TreeEntry>& entries,
                              bool isWeatherTypes) {
    if (!ImGui::BeginTable("##weather_xml_structured_params", 3,
                           ImGuiTableFlags_RowBg | ImGuiTableFlags_SizingStretchProp | ImGuiTableFlags_NoSavedSettings))
        return;
    ValueColumns(190.0f, 34.0f);
    HeaderRow("Value");
    std::string previous;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (isWeatherTypes) {
            const std::string_view field = entries[i].field;
            const std::string group = weather::WeatherFieldGroupName(field);
            if (i != 0 && group != previous && field != "OceanWaveAmplitude" && field != "OceanFoamIntensity" &&
                field != "CloudSettingsName")
                ColouredRow(4.0f, kGroupBreak);
            previous = group;
        }
        ImGui::PushID(static_cast<int>(i));
        EditXmlValue(d, entries[i].value, entries[i].field);
        ImGui::PopID();
    }
    ImGui::EndTable();
}

// A list of entries (effects or weathers) and the chosen one's values.
template <typename NameOf>
void DrawTree(WeatherDocument& d, const char* header, uint8_t& headerOpen, int32_t& selected,
              const std::vector<std::vector<WeatherTabState::TreeEntry>>& entries, NameOf nameOf, const char* listId,
              ImVec2 listSize, ImGuiWindowFlags listFlags, const char* paramsId, float paramsHeight,
              ImGuiWindowFlags paramsFlags, bool isWeatherTypes) {
    const bool open = ImGui::CollapsingHeader(header);
    headerOpen = open ? 1 : 0;
    if (!open) return;
    ImGui::Indent(10.0f);
    ImGui::PushID(header);
    const int32_t count = static_cast<int32_t>(entries.size());
    selected = std::clamp(selected, 0, std::max(0, count - 1));
    bool any = false;
    for (const auto& e : entries) any = any || !e.empty();
    if (any && entries[static_cast<size_t>(selected)].empty()) {
        for (int32_t i = 0; i < count; ++i)
            if (!entries[static_cast<size_t>(i)].empty()) {
                selected = i;
                break;
            }
    }
    if (ImGui::BeginChild(listId, listSize, ImGuiChildFlags_Borders, listFlags)) {
        for (int32_t i = 0; i < count; ++i) {
            const auto& list = entries[static_cast<size_t>(i)];
            if (list.empty()) continue;
            const bool isSelected = i == selected;
            const bool edited = AnyEdited(d, list) && !isSelected;
            if (edited) ImGui::PushStyleColor(ImGuiCol_Text, kEditedColour);
            if (ImGui::Selectable(nameOf(static_cast<size_t>(i)), isSelected)) selected = i;
            if (edited) ImGui::PopStyleColor();
        }
        if (!any) ImGui::TextDisabled("No matching values.");
    }
    ImGui::EndChild();
    ImGui::SameLine();
    if (ImGui::BeginChild(paramsId, ImVec2(0.0f, paramsHeight), ImGuiChildFlags_Borders, paramsFlags)) {
        if (!any) {
            ImGui::TextDisabled("No matching values.");
        } else {
            ImGui::TextUnformatted(nameOf(static_cast<size_t>(selected)));
            ImGui::Separator();
            ImGui::BeginDisabled(weather::WeatherDocumentBeforeShown(d));
            DrawWeatherXmlParamTable(d, entries[static_cast<size_t>(selected)], isWeatherTypes);
            ImGui::EndDisabled();
        }
    }
    ImGui::EndChild();
    ImGui::PopID();
    ImGui::Unindent(10.0f);
}

void DrawWeatherXmlPanel(const char* childId, int32_t row) {
    if (row < 0 || row >= static_cast<int32_t>(weather::kWeatherDocumentCount)) {
        if (ImGui::BeginChild(childId, ImVec2(0.0f, 168.0f), ImGuiChildFlags_Borders)) {
            ImGui::PushTextWrapPos(0.0f);
            ImGui::TextDisabled("weather.xml not registered.");
            ImGui::PopTextWrapPos();
        }
        ImGui::EndChild();
        return;
    }
    WeatherDocument& d = WeatherDocuments.WeatherDocumentRegistry[static_cast<size_t>(row)];
    WeatherTabState& tab = WeatherTab;
    std::string& status = weather::WeatherDocuments.MiscEditorStatus;
    const float folded = ImGui::GetFrameHeightWithSpacing();
    const float height = d.loaded ? 112.0f + (tab.GpuFxHeaderOpen ? 258.0f : folded) +
                                        (tab.WeatherTypesHeaderOpen ? 438.0f : folded)
                                  : 168.0f;
    if (ImGui::BeginChild(childId, ImVec2(0.0f, height), ImGuiChildFlags_Borders, kFixedChild)) {
        if (EnabledButton("Load .xml", ImVec2(96.0f, 26.0f), weather::WeatherDocumentSourceExists(d), true))
            weather::LoadWeatherDocument(static_cast<size_t>(row), status);
        ImGui::SameLine();
        const bool edited = d.loaded && weather::CountChangedValues(d) != 0;
        if (EnabledButton("Export .xml", ImVec2(104.0f, 26.0f), edited, true))
            weather::SaveMiscXml(static_cast<size_t>(row), 0, status);
        if (!d.loaded) {
            EmptyChild("##weather_xml_structured_empty", "Load .xml first.");
        } else {
            ClearFilter(weather::ValueFilters.WeatherXmlFilterState);
            ImGui::TextUnformatted("weather.xml");
            EditedAndWarnings(d);
            const weather::WeatherLiveState& live = weather::WeatherLive;
            const bool saved = live.WeatherTypesTableSaved || live.WeatherEffectsSaved;
            if (EnabledButton("Reset file", ImVec2(86.0f, 22.0f), edited, false)) {
                weather::ResetWeatherDocument(d);
                status = "File reset.";
                if (saved && weather::WeatherLiveRestore(status)) status = "File reset.";
            }
            ImGui::SameLine();
            const bool before = live.WeatherXmlBeforeShown != 0;
            const Hold hold = HoldButton("Hold for before / after##weather_xml_hold_before_after",
                                         (edited && saved) || before);
            if (hold.held && edited && !before) weather::ShowWeatherValuesBefore(status);
            else if (hold.released && before && weather::ReapplyWeatherXmlEdits(d, status))
                weather::WeatherLive.WeatherXmlBeforeShown = 0;
            BeforeShownNote(d);
            ImGui::Separator();
            MakeTrees(d);
            DrawTree(
                d, "WeatherGpuFx", tab.GpuFxHeaderOpen, tab.SelectedGpuFxIndex, tab.gpuFxEntries,
                [](size_t i) { return weather::WeatherGpuFxTable[i].effect; }, "##weather_gpu_fx_list",
                ImVec2(230.0f, 220.0f), ImGuiWindowFlags_AlwaysVerticalScrollbar, "##weather_gpu_fx_params", 128.0f,
                ImGuiWindowFlags_NoScrollbar, false);
            DrawTree(
                d, "WeatherTypes", tab.WeatherTypesHeaderOpen, tab.SelectedWeatherTypeIndex, tab.weatherEntries,
                [](size_t i) { return weather::WeatherTypeNameTable[i].name; }, "##weather_type_list",
                ImVec2(176.0f, 398.0f), ImGuiWindowFlags_NoScrollbar, "##weather_type_params", 398.0f,
                ImGuiWindowFlags_AlwaysVerticalScrollbar, true);
            bool any = false;
            for (const auto& list : tab.gpuFxEntries) any = any || !list.empty();
            for (const auto& list : tab.weatherEntries) any = any || !list.empty();
            if (!any) ImGui::TextDisabled("No matching values.");
        }
    }
    ImGui::EndChild();
}

// ---- The render files -----------------------------------------------------------------------

size_t GroupIndexOf(const WeatherDocument& d) {
    const std::string_view name = d.fileName ? d.fileName : "";
    for (size_t g = 0; g < std::size(kRenderGroups); ++g)
        for (const char* part : kRenderGroups[g].parts)
            if (part != nullptr && core::CaseInsensitiveContains(name, part)) return g;
    return kRenderGroupCount - 1;
}

void DrawRenderFileRow(int32_t row) {
    WeatherTabState& tab = WeatherTab;
    const WeatherDocument& d = WeatherDocuments.WeatherDocumentRegistry[static_cast<size_t>(row)];
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    const std::string label = "    " + weather::WeatherDocumentDisplayName(d) + "##" + d.fileName;
    const bool edited = d.loaded && weather::CountChangedValues(d) != 0;
    if (edited) ImGui::PushStyleColor(ImGuiCol_Text, kEditedColour);
    if (ImGui::Selectable(label.c_str(), tab.RenderFileSelected && tab.SelectedRenderFileIndex == row,
                          ImGuiSelectableFlags_SpanAllColumns)) {
        tab.RenderFileSelected = 1;
        tab.SelectedRenderFileIndex = row;
    }
    if (edited) ImGui::PopStyleColor();
}

void DrawRenderCategoryToggle(const char* label, uint8_t& open) {
    ColouredRow(4.0f, kGroupEdge);
    ColouredRow(24.0f, kGroupRow);
    ImGui::TableSetColumnIndex(0);
    ImGui::PushID(label);
    ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.16f, 0.19f, 0.21f, 0.72f));
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, ImVec4(0.22f, 0.27f, 0.30f, 0.86f));
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, ImVec4(0.30f, 0.35f, 0.39f, 0.96f));
    if (ImGui::ArrowButton("##toggle_weather_render_category", open ? ImGuiDir_Down : ImGuiDir_Right)) open = !open;
    ImGui::PopStyleColor(3);
    ImGui::SameLine();
    ImGui::TextColored(kGroupText, "%s", label);
    ImGui::PopID();
}

void DrawRenderFileList() {
    WeatherTabState& tab = WeatherTab;
    tab.SelectedRenderFileIndex = std::clamp(tab.SelectedRenderFileIndex, 0, static_cast<int32_t>(weather::kWeatherDocumentCount) - 1);
    std::array<std::vector<int32_t>, kRenderGroupCount> groups;
    int32_t first = -1;
    for (int32_t row = 0; row < static_cast<int32_t>(weather::kWeatherDocumentCount); ++row) {
        if (!IsRenderRow(row)) continue;
        if (first < 0) first = row;
        groups[GroupIndexOf(WeatherDocuments.WeatherDocumentRegistry[static_cast<size_t>(row)])].push_back(row);
    }
    if (!IsRenderRow(tab.SelectedRenderFileIndex) && first >= 0) tab.SelectedRenderFileIndex = first;
    if (first < 0) tab.RenderFileSelected = 0;
    if (!ImGui::BeginTable("##misc_xml_files", 1, kFileTableFlags)) return;
    ImGui::TableSetupColumn("File", ImGuiTableColumnFlags_WidthStretch, 1.0f);
    for (size_t g = 0; g < kRenderGroupCount; ++g) {
        if (groups[g].empty()) continue;
        DrawRenderCategoryToggle(g < std::size(kRenderGroups) ? kRenderGroups[g].label : "Other Weather Files",
                                 tab.RenderCategoryOpen[g]);
        if (!tab.RenderCategoryOpen[g]) continue;
        for (int32_t row : groups[g]) DrawRenderFileRow(row);
    }
    if (first < 0) {
        ImGui::TableNextRow();
        ImGui::TableSetColumnIndex(0);
        ImGui::TextDisabled("No render files.");
    }
    ImGui::EndTable();
}

void DrawRenderDetail() {
    WeatherTabState& tab = WeatherTab;
    std::string& status = weather::WeatherDocuments.MiscEditorStatus;
    const int32_t row = tab.SelectedRenderFileIndex;
    const bool chosen = tab.RenderFileSelected && IsRenderRow(row);
    WeatherDocument* d = chosen ? &WeatherDocuments.WeatherDocumentRegistry[static_cast<size_t>(row)] : nullptr;
    if (EnabledButton("Load .xml", ImVec2(96.0f, 26.0f), d && weather::WeatherDocumentSourceExists(*d), true))
        weather::LoadWeatherDocument(static_cast<size_t>(row), status);
    ImGui::SameLine();
    const bool edited = d && d->loaded && weather::CountChangedValues(*d) != 0;
    if (EnabledButton("Export .xml", ImVec2(104.0f, 26.0f), edited, true))
        weather::SaveMiscXml(static_cast<size_t>(row), 0, status);
    if (d == nullptr || !d->loaded) {
        EmptyChild("##misc_xml_empty", d == nullptr ? "Select a render file." : "Load .xml first.");
        return;
    }
    ImGui::TextUnformatted(weather::WeatherDocumentDisplayName(*d).c_str());
    EditedAndWarnings(*d);
    ImGui::Spacing();
    if (EnabledButton("Reset file", ImVec2(86.0f, 22.0f), edited, false)) {
        weather::ResetWeatherDocument(*d);
        status = "File reset.";
        if (weather::ApplyDocumentLive(*d, status)) status = "File reset.";
    }
    if (IsKind(*d, weather::DocumentKind::Render)) {
        ImGui::SameLine();
        const bool saved = weather::WeatherDocumentSaved(*d);
        const bool before = weather::WeatherDocumentBeforeShown(*d);
        const Hold hold = HoldButton("Hold for before / after##weather_render_hold_before_after",
                                     (edited && saved) || before);
        if (hold.held && !before && edited && saved) {
            weather::ShowWeatherDocBefore(*d, status);
        } else if (hold.released && before && weather::ApplyWeatherRenderLive(*d, status)) {
            weather::WeatherLive.CurrentRenderContext.beforeShown = 0;
        }
    }
    BeforeShownNote(*d);
    weather::MiscXmlFilterState& filter = weather::MiscXmlFilterStateOf(*d);
    ClearFilter(filter);
    ImGui::Separator();
    const float height = std::max(ImGui::GetContentRegionAvail().y, 300.0f);
    if (!ImGui::BeginTable("##misc_xml_params", 3, kFileTableFlags, ImVec2(0.0f, height))) return;
    ValueColumns(141.0f, 30.0f);
    HeaderRow("Value");
    ImGui::BeginDisabled(weather::WeatherDocumentBeforeShown(*d));
    std::string previous;
    bool any = false;
    for (size_t i = 0; i < d->values.size(); ++i) {
        if (!ValuePassesFilter(*d, d->values[i], filter)) continue;
        const std::string group = RenderValueGroupLabel(d->values[i].path);
        if (any && group != previous) ColouredRow(4.0f, kGroupBreak);
        previous = group;
        any = true;
        DrawWeatherValueRowWide(static_cast<size_t>(row), i);
    }
    ImGui::EndDisabled();
    if (!any) NoMatchingRow();
    ImGui::EndTable();
}

// ---- watertune.xml and vfxlightningsettings.xml ----------------------------------------------

void DrawLightningWatertunePanels(bool openRequest) {
    const struct {
        const char* file;
        const char* header;
        const char* child;
    } panels[] = {{"vfxlightningsettings.xml", "VFX Lightning Settings (vfxlightningsettings.xml)",
                   "##weather_vfxlightning_xml_panel"},
                  {"watertune.xml", "Watertune (watertune.xml)", "##weather_watertune_xml_panel"}};
    for (const auto& p : panels) {
        const int32_t row = RowOf(p.file);
        if (row < 0) continue;
        if (openRequest) ImGui::SetNextItemOpen(true, ImGuiCond_Always);
        const bool open = ImGui::CollapsingHeader(p.header);
        DrawEditedBadge(WeatherDocuments.WeatherDocumentRegistry[static_cast<size_t>(row)]);
        if (!open) continue;
        DrawFocusedMiscXmlPanel(p.child, static_cast<size_t>(row));
        ImGui::Spacing();
    }
}

// The heading rows of weather.xml values in the focused panel.
struct Headings {
    std::string section, entry, group;
    void Draw(const std::string& path) {
        std::string s, e, field;
        if (!weather::SplitWeatherPath(path, s, e, field)) return;
        if (s != section) {
            ColouredRow(0.0f, ImVec4(0.14f, 0.17f, 0.20f, 1.0f));
            ImGui::TableSetColumnIndex(0);
            ImGui::TextColored(ImVec4(0.82f, 0.88f, 0.96f, 1.0f), "%s", s.c_str());
            entry.clear();
            group.clear();
        }
        if (e != entry) {
            ColouredRow(0.0f, ImVec4(0.10f, 0.12f, 0.15f, 1.0f));
            ImGui::TableSetColumnIndex(0);
            ImGui::TextColored(ImVec4(0.70f, 0.78f, 0.88f, 1.0f), "%s", e.c_str());
            group.clear();
        }
        if (s == "WeatherTypes") {
            const std::string g = weather::WeatherFieldGroupName(field);
            if (g != group) {
                ColouredRow(0.0f, ImVec4(0.08f, 0.09f, 0.11f, 1.0f));
                ImGui::TableSetColumnIndex(0);
                ImGui::TextDisabled("  %s", g.c_str());
            }
            group = g;
        }
        section = s;
        entry = e;
    }
};

// ---- The tabs -----------------------------------------------------------------------------------

void DrawStatusLine() {
    const std::string& status = weather::WeatherDocuments.MiscEditorStatus;
    if (status.empty()) return;
    ImGui::PushStyleColor(ImGuiCol_Text, kStatusColour);
    ImGui::TextWrapped("%s", status.c_str());
    ImGui::PopStyleColor();
}

void DrawWeatherTabBody() {
    WeatherTabState& tab = WeatherTab;
    const bool request = tab.WeatherTabOpenRequest != 0;
    int edited = 0;
    for (const WeatherDocument& d : WeatherDocuments.WeatherDocumentRegistry)
        if (!IsKind(d, weather::DocumentKind::Watertune) && !IsKind(d, weather::DocumentKind::VfxLightning) && d.loaded &&
            weather::CountChangedValues(d) != 0)
            ++edited;
    if (edited != 0) ImGui::TextColored(kEditedColour, "%d edited", edited);
    else ImGui::Dummy(ImVec2(0.0f, ImGui::GetFontSize()));
    DrawStatusLine();
    ImGui::Spacing();

    const int32_t weatherRow = RowOf("weather.xml");
    if (weatherRow >= 0) {
        if (request) ImGui::SetNextItemOpen(true, ImGuiCond_Always);
        const bool open = ImGui::CollapsingHeader("Weather Settings (weather.xml)");
        DrawEditedBadge(WeatherDocuments.WeatherDocumentRegistry[static_cast<size_t>(weatherRow)]);
        if (open) {
            DrawWeatherXmlPanel("##weather_settings_xml_panel", weatherRow);
            ImGui::Spacing();
        }
    }
    ImGui::Dummy(ImVec2(0.0f, 12.0f));
    ImGui::PushStyleColor(ImGuiCol_Separator, kSeparatorColour);
    ImGui::Separator();
    ImGui::PopStyleColor();
    ImGui::Dummy(ImVec2(0.0f, 10.0f));

    if (request) ImGui::SetNextItemOpen(true, ImGuiCond_Always);
    if (!ImGui::CollapsingHeader("Weather Render Files")) {
        DrawLightningWatertunePanels(request);
        tab.WeatherTabOpenRequest = 0;
        return;
    }
    if (ImGui::BeginChild("##weather_render_split_panel", ImVec2(0.0f, 620.0f), ImGuiChildFlags_Borders)) {
        if (ImGui::BeginChild("##weather_render_file_list_panel", ImVec2(252.0f, 0.0f), ImGuiChildFlags_Borders,
                              kFixedChild))
            DrawRenderFileList();
        ImGui::EndChild();
        ImGui::SameLine();
        if (ImGui::BeginChild("##weather_render_detail_panel", ImVec2(0.0f, 0.0f), ImGuiChildFlags_Borders, kFixedChild))
            DrawRenderDetail();
        ImGui::EndChild();
    }
    ImGui::EndChild();
    ImGui::Spacing();
    DrawLightningWatertunePanels(request);
    tab.WeatherTabOpenRequest = 0;
}

// The Misc tab's body: each Misc editor adds its section here with one
// call, drawn in order under the tab's frame.
void DrawMiscTabBody() { DrawMiscSirens(); }

}  // namespace

std::string RenderValueGroupLabel(const std::string& path) {
    std::string element, attribute;
    weather::SplitAttributePath(path, element, attribute);
    if (core::StartsWithNoCase(attribute, "backgroundDistortion")) return element + "/backgroundDistortion";
    if (core::StartsWithNoCase(element, "backgroundDistortion")) return "backgroundDistortion";
    return element;
}

std::string WeatherRenderFileGroup(const WeatherDocument& document) {
    if (document.fileName == nullptr || !weather::IsWeatherSubfolderFile(document.fileName)) return {};
    const size_t g = GroupIndexOf(document);
    return g < std::size(kRenderGroups) ? kRenderGroups[g].name : "Other";
}

void DrawFocusedMiscXmlPanel(const char* childId, size_t row) {
    if (row >= weather::kWeatherDocumentCount) {
        if (ImGui::BeginChild(childId, ImVec2(0.0f, 168.0f), ImGuiChildFlags_Borders)) {
            ImGui::PushTextWrapPos(0.0f);
            ImGui::TextDisabled(".xml file not registered.");
            ImGui::PopTextWrapPos();
        }
        ImGui::EndChild();
        return;
    }
    WeatherDocument& d = WeatherDocuments.WeatherDocumentRegistry[row];
    std::string& status = weather::WeatherDocuments.MiscEditorStatus;
    const bool isWeatherXml = IsKind(d, weather::DocumentKind::WeatherXml);
    const bool isWatertune = IsKind(d, weather::DocumentKind::Watertune);
    const bool isLightning = IsKind(d, weather::DocumentKind::VfxLightning);
    if (ImGui::BeginChild(childId, ImVec2(0.0f, 560.0f), ImGuiChildFlags_Borders, kFixedChild)) {
        if (EnabledButton("Load .xml", ImVec2(96.0f, 26.0f), weather::WeatherDocumentSourceExists(d), true) &&
            weather::LoadWeatherDocument(row, status) && !isWeatherXml)
            weather::ApplyDocumentLive(d, status);
        ImGui::SameLine();
        const bool edited = d.loaded && weather::CountChangedValues(d) != 0;
        if (EnabledButton("Export .xml", ImVec2(104.0f, 26.0f), edited, true)) weather::SaveMiscXml(row, 0, status);
        if (!d.loaded) {
            EmptyChild("##focused_misc_xml_empty", "Load .xml first.");
        } else {
            ImGui::TextUnformatted(weather::WeatherDocumentDisplayName(d).c_str());
            EditedAndWarnings(d);
            if (EnabledButton("Reset file", ImVec2(86.0f, 22.0f), edited, false)) {
                weather::ResetWeatherDocument(d);
                status = "File reset.";
                if (!isWeatherXml && weather::ApplyDocumentLive(d, status)) status = "File reset.";
            }
            weather::WeatherLiveState& live = weather::WeatherLive;
            if (isWatertune || isLightning) {
                ImGui::SameLine();
                const bool saved = isWatertune ? live.WatertuneSaved : live.VfxLightningSaved;
                const bool before = isWatertune ? live.WatertuneBeforeShown : live.VfxLightningBeforeShown;
                const Hold hold = HoldButton(isWatertune ? "Hold for before / after##watertune_hold_before_after"
                                                         : "Hold for before / after##vfxlightning_hold_before_after",
                                             (edited && saved) || before);
                if (hold.held && edited && !before) {
                    if (isWatertune) weather::ShowWatertuneBefore(status);
                    else weather::ShowVfxLightningBefore(status);
                } else if (hold.released && before) {
                    if (isLightning) weather::ApplyVfxLightningLive(d, status);
                    else if (weather::ApplyWatertuneLive(d, status)) live.WatertuneBeforeShown = 0;
                }
            }
            BeforeShownNote(d);
            weather::MiscXmlFilterState& filter = weather::MiscXmlFilterStateOf(d);
            if (isWatertune) ClearFilter(filter);
            else DrawValueFilterRow(d, filter);
            ImGui::Separator();
            const float height = std::max(ImGui::GetContentRegionAvail().y, 260.0f);
            if (ImGui::BeginTable("##focused_misc_xml_params", 3, kFileTableFlags, ImVec2(0.0f, height))) {
                ValueColumns(190.0f, 34.0f);
                HeaderRow("Value");
                ImGui::BeginDisabled(weather::WeatherDocumentBeforeShown(d));
                Headings headings;
                bool any = false;
                for (size_t i = 0; i < d.values.size(); ++i) {
                    if (!ValuePassesFilter(d, d.values[i], filter)) continue;
                    if (isWeatherXml) headings.Draw(d.values[i].path);
                    any = true;
                    DrawWeatherValueRow(row, i);
                }
                ImGui::EndDisabled();
                if (!any) NoMatchingRow();
                ImGui::EndTable();
            }
        }
    }
    ImGui::EndChild();
}

void DrawWeatherMiscEditor(bool weatherTab) {
    std::lock_guard<std::mutex> lock(weather::WeatherLive.lock);
    if (ImGui::BeginChild(weatherTab ? "##weather_editor_skeleton" : "##misc_editor_skeleton", ImVec2(0.0f, 0.0f),
                          ImGuiChildFlags_Borders)) {
        ImGui::TextUnformatted(weatherTab ? "Weather Editor" : "Misc Editor");
        ImGui::Separator();
        if (weatherTab) DrawWeatherTabBody();
        else DrawMiscTabBody();
    }
    ImGui::EndChild();
}

}  // namespace ui
