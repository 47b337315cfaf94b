#include "ui/visualsettings_tab.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>

#include "core/editor_state.h"
#include "game/before_after.h"
#include "runtime/live_slots.h"
#include "ui/param_rows.h"
#include "visualsettings/dat_export.h"
#include "visualsettings/dat_import.h"
#include "visualsettings/layout_reader.h"
#include "visualsettings/live_write.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/sections.h"
#include "visualsettings/traffic_lights.h"
#include "visualsettings/walkers.h"

namespace ui {

VisualSettingsTabState VisualSettingsTab;

namespace {

using visualsettings::VisibleRows;
using visualsettings::VisibleSlots;
using visualsettings::VisualSettingsGroup;
using visualsettings::VisualSettingsLayout;
using visualsettings::VisualSettingsParam;
using visualsettings::VisualSettingsSection;

const ImVec4 kEdited(1.0f, 0.68f, 0.18f, 1.0f);
const ImVec4 kWarnSection(1.0f, 0.45f, 0.35f, 1.0f);
const ImVec4 kRowLabel(0.8f, 0.75f, 0.7f, 1.0f);
const ImVec4 kLoaded(0.35f, 0.88f, 0.45f, 1.0f);
const ImVec4 kReady(0.35f, 0.74f, 1.0f, 1.0f);
const ImVec4 kMissing(0.95f, 0.25f, 0.25f, 1.0f);
constexpr const char kIdleStatus[] = "visualsettings.dat import/export idle.";

// The rows and slots the tab can show, by the editor's spelling of their
// keys. Rows never move and their keys never change: built once.
struct RowMaps {
    VisibleRows rows;
    VisibleSlots slots;
};
const RowMaps& Maps() {
    static const RowMaps maps = [] {
        RowMaps m;
        visualsettings::CollectVisibleVisualRows(m.rows, m.slots);
        return m;
    }();
    return maps;
}

void PushButtonColours(const ImVec4& normal, const ImVec4& hovered, const ImVec4& active) {
    ImGui::PushStyleColor(ImGuiCol_Button, normal);
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, hovered);
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, active);
}
void PushNeutralButton() {
    PushButtonColours(ImVec4(0.16f, 0.19f, 0.21f, 0.72f), ImVec4(0.22f, 0.27f, 0.30f, 0.86f), ImVec4(0.30f, 0.35f, 0.39f, 0.96f));
}

// ---- Before/after hold ----
void ShowEdits() {
    if (core::Editor.VisualSettingsAfterShown.Get() != 1) game::BeforeAfter.VisualSettingsSwitchPending.Set(1);
    core::Editor.VisualSettingsAfterShown.Set(1);
    game::BeforeAfter.AllBeforeShown.Set(core::Editor.TimecycleAfterShown.Get() != 0 ? 0 : 1);
    VisualSettingsTab.holdActive = 0;
}

// End of every UI frame: a hold the tab did not see released (the tab was
// not drawn) is released, so the game's values never stay shown.
void ReleaseUnseenHold(ImGuiContext* context, ImGuiContextHook*) {
    if (VisualSettingsTab.holdActive != 0 && VisualSettingsTab.drawnFrame != context->FrameCount) ShowEdits();
}

void EnsureHoldHook() {
    ImGuiContext* context = ImGui::GetCurrentContext();
    for (const ImGuiContextHook& hook : context->Hooks)
        if (hook.Callback == &ReleaseUnseenHold) return;
    ImGuiContextHook hook;
    hook.Type = ImGuiContextHookType_EndFramePre;
    hook.Callback = &ReleaseUnseenHold;
    ImGui::AddContextHook(context, &hook);
}

// ---- Filters and refresh ----
bool GroupHasMatchingKey(const VisualSettingsGroup& group, std::string_view text) {
    if (text.empty()) return !group.items.empty();
    for (const std::string& key : group.items)
        if (visualsettings::ContainsNoCase(key, text)) return true;
    return false;
}

bool RefreshDue(uint8_t loaded) {
    return core::Editor.MenuOpen.Get() != 0 && (loaded == 0 || core::Editor.SlotRefreshTick.Get() != 0);
}
void Refresh(VisualSettingsParam& row) {
    if (RefreshDue(row.loaded)) visualsettings::RefreshVisualSettingRow(row);
}
void Refresh(runtime::LiveOverrideSlot& slot) {
    if (RefreshDue(slot.loaded)) runtime::RefreshLiveSlot(slot, false, core::Editor.SlotRefreshTick.Get() != 0);
}

// Rows out of view keep their space and draw nothing (a dummy of the height
// of a drawn row); true when the row at the cursor is such a row.
bool SkipRowOutOfView() {
    const float height = VisualSettingsTab.rowHeight;
    if (height <= 0.0f) return false;
    const ImVec2 at = ImGui::GetCursorScreenPos();
    if (ImGui::IsRectVisible(at, ImVec2(at.x + 1.0f, at.y + height))) return false;
    ImGui::Dummy(ImVec2(1.0f, std::max(1.0f, height - ImGui::GetStyle().ItemSpacing.y)));
    return true;
}

// A row: PushID(id), draw, PopID, Separator; its height measured.
template <typename Draw>
void DrawRow(const char* id, Draw&& draw) {
    if (SkipRowOutOfView()) return;
    const float top = ImGui::GetCursorPosY();
    ImGui::PushID(id);
    draw();
    ImGui::PopID();
    ImGui::Separator();
    ++VisualSettingsTab.rowsDrawn;
    const float height = ImGui::GetCursorPosY() - top;
    if (height > 0.0f) VisualSettingsTab.rowHeight = height;
}

bool IsBooleanVisualRow(const VisualSettingsParam& row) {
    using visualsettings::ValueKind;
    if (row.Kind() == ValueKind::BoolByte || row.Kind() == ValueKind::Bool32) return true;
    if (visualsettings::IsBoolVisualKey(row.key) || std::strcmp(row.key, "fsr3.masks.enabled") == 0) return true;
    const float v = row.hasOriginal ? row.original.Get() : row.defaultValue.Get();
    if (!(std::fabs(v) <= 0.0001f || std::fabs(v - 1.0f) <= 0.0001f)) return false;
    for (const char* part : {"useDynamicShadows", "useSun", "UsePerChannelLuminance", ".enabled", "OnlyOneLightMod"})
        if (visualsettings::ContainsNoCase(row.key, part)) return true;
    return false;
}

void MarkOverride(VisualSettingsParam& row) { row.overridden = visualsettings::IsVisualRowEdited(row) ? 1 : 0; }

void DrawVisualParamRow(VisualSettingsParam& row) {
    DrawRow(row.key, [&] {
        Refresh(row);
        ImGui::TextColored(kRowLabel, "%s", row.key);
        if (!visualsettings::HasValue(row)) {  // nothing read it yet: no number to show or edit
            ImGui::SameLine();
            ImGui::TextDisabled("%s", "no value");
            return;
        }
        const bool edited = visualsettings::IsVisualRowEdited(row);
        if (edited) DrawParamLabel();
        if (DrawResetParamButton(edited ? 1 : 0)) visualsettings::WriteVisualSettingRow(row);
        const float value = row.value;
        if (IsBooleanVisualRow(row)) {
            bool on = value >= 0.5f;
            if (ImGui::Checkbox("##checkbox", &on)) {
                row.value = on ? 1.0f : 0.0f;
                visualsettings::ApplyVisualSettingRow(row);
                MarkOverride(row);
                row.differs = 0;
                row.loaded = 1;
            }
            ImGui::SameLine();
            ImGui::TextDisabled("%s", on ? "on" : "off");
        } else if (row.Kind() == visualsettings::ValueKind::UnsignedInt || visualsettings::IsSpecialUnitKey(row.key)) {
            int i = VisualDragInt(static_cast<double>(value));
            int lo = VisualDragInt(static_cast<double>(row.def->minimum));
            int hi = row.def->maximum > row.def->minimum ? VisualDragInt(static_cast<double>(row.def->maximum)) : 0;
            if (hi <= lo) lo = hi = 0;
            ImGui::SetNextItemWidth(180.0f);
            if (ImGui::DragInt("##value", &i, 1.0f, lo, hi, "%d")) {
                row.value = static_cast<float>(i);
                visualsettings::ApplyVisualSettingRow(row);
                MarkOverride(row);
            }
        } else {
            float v = value;
            ImGui::SetNextItemWidth(std::max(140.0f, ImGui::GetContentRegionAvail().x));
            // A value that is not finite (typed as 1e39) is refused.
            if (ImGui::DragFloat("##value", &v, 0.01f, 0.0f, 0.0f, "%.6f") && std::isfinite(v)) {
                row.value = v;
                visualsettings::ApplyVisualSettingRow(row);
                MarkOverride(row);
            }
        }
    });
}

void DrawVisualColorRow(VisualSettingsParam* rgb[3], const std::string& base) {
    DrawRow(base.c_str(), [&] {
        for (int c = 0; c < 3; ++c) Refresh(*rgb[c]);
        ImGui::TextColored(kRowLabel, "%s", base.c_str());
        bool edited = false;
        for (int c = 0; c < 3; ++c) edited = edited || visualsettings::IsVisualRowEdited(*rgb[c]);
        if (edited) DrawParamLabel();
        const bool traffic = visualsettings::IsTrafficLightColorKey(base.c_str());
        if (DrawResetParamButton(edited ? 1 : 0)) {
            if (traffic) {
                for (int c = 0; c < 3; ++c) visualsettings::ResetRowToReference(*rgb[c]);
                visualsettings::WriteTrafficLightColorGroup(base.c_str());
            } else {
                for (int c = 0; c < 3; ++c) visualsettings::WriteVisualSettingRow(*rgb[c]);
            }
        }
        float colour[3] = {rgb[0]->value, rgb[1]->value, rgb[2]->value};
        ImGui::SetNextItemWidth(std::max(140.0f, ImGui::GetContentRegionAvail().x));
        if (!ImGui::ColorEdit3("##color", colour, ImGuiColorEditFlags_HDR | ImGuiColorEditFlags_Float | ImGuiColorEditFlags_InputRGB))
            return;
        bool moved[3] = {};
        for (int c = 0; c < 3; ++c) {
            if (!std::isfinite(colour[c]) || std::fabs(colour[c] - rgb[c]->value) <= 1e-5f) continue;
            moved[c] = true;
            rgb[c]->value = colour[c];
            MarkOverride(*rgb[c]);
            rgb[c]->loaded = 1;
        }
        if (traffic) {
            visualsettings::WriteTrafficLightColorGroup(base.c_str());
            return;
        }
        for (int c = 0; c < 3; ++c) {
            if (!moved[c]) continue;
            visualsettings::ApplyVisualSettingRow(*rgb[c]);
            MarkOverride(*rgb[c]);
        }
    });
}

void DrawVisualFloatRow(runtime::LiveOverrideSlot& slot) {
    DrawRow(slot.name, [&] {
        Refresh(slot);
        ImGui::TextColored(kRowLabel, "%s", slot.name);
        const bool edited = slot.baselineCaptured ? std::fabs(slot.value - slot.baselineValue) > 5e-5f
                                                  : (slot.enabled != 0 || slot.followImport != 0);
        if (edited) DrawParamLabel();
        if (DrawResetParamButton(edited ? 1 : 0)) visualsettings::ResetVisualSettingRow(slot);
        float v = slot.value;
        ImGui::SetNextItemWidth(std::max(140.0f, ImGui::GetContentRegionAvail().x));
        if (ImGui::DragFloat("##value", &v, 0.01f, 0.0f, 0.0f, "%.6f") && std::isfinite(v)) {
            slot.value = v;
            slot.enabled = slot.baselineCaptured ? (std::fabs(v - slot.baselineValue) > 1e-5f ? 1 : 0) : 1;
        }
    });
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

void DrawVisualBlockRows(const VisualSettingsGroup& group, std::string_view text) {
    static constexpr const char* kSuffixes[6] = {".red", ".green", ".blue", ".r", ".g", ".b"};
    const RowMaps& maps = Maps();
    std::unordered_set<std::string_view> drawn;
    for (const std::string& key : group.items) {
        if (drawn.contains(key)) continue;
        const auto rowEntry = maps.rows.find(key);
        if (rowEntry == maps.rows.end()) {
            const auto slotEntry = maps.slots.find(key);
            if (slotEntry != maps.slots.end()) {
                if (visualsettings::ContainsNoCase(key, text)) DrawVisualFloatRow(*slotEntry->second);
            } else if (visualsettings::ContainsNoCase(key, text)) {
                DrawRow(key.c_str(), [&] {
                    ImGui::BeginDisabled();
                    ImGui::TextDisabled("%s", key.c_str());
                    ImGui::EndDisabled();
                });
            }
            drawn.insert(key);
            continue;
        }
        VisualSettingsParam& row = *rowEntry->second;
        int channel = -1;
        size_t suffix = 0;
        for (size_t s = 0; s < 6 && channel < 0; ++s) {
            if (EndsWith(key, kSuffixes[s])) {
                channel = static_cast<int>(s % 3);
                suffix = s;
            }
        }
        if (channel >= 0) {
            const std::string base = key.substr(0, key.size() - std::strlen(kSuffixes[suffix]));
            const size_t first = suffix < 3 ? 0 : 3;
            VisualSettingsParam* rgb[3] = {};
            bool all = true;
            for (int c = 0; c < 3; ++c) {
                const auto found = maps.rows.find(base + kSuffixes[first + static_cast<size_t>(c)]);
                rgb[c] = found == maps.rows.end() ? nullptr : found->second;
                // A channel without a value has no colour to show: each key stands alone.
                all = all && rgb[c] != nullptr && visualsettings::HasValue(*rgb[c]);
            }
            if (all) {
                if (channel == 0) {
                    bool match = visualsettings::ContainsNoCase(base, text);
                    for (int c = 0; c < 3; ++c) match = match || visualsettings::ContainsNoCase(rgb[c]->key, text);
                    if (match) DrawVisualColorRow(rgb, base);
                    for (int c = 0; c < 3; ++c) drawn.insert(rgb[c]->key);
                }
                continue;
            }
        }
        if (visualsettings::ContainsNoCase(key, text)) DrawVisualParamRow(row);
        drawn.insert(key);
    }
}

void DrawVisualBlock(const VisualSettingsGroup& group, std::string_view text, const std::string& suffix, bool openByDefault) {
    if (!GroupHasMatchingKey(group, text)) return;
    const RowMaps& maps = Maps();
    int colours = 0;
    if (group.warn != 0) {
        ImGui::PushStyleColor(ImGuiCol_Header, ImVec4(0.45f, 0.12f, 0.12f, 0.85f));
        ImGui::PushStyleColor(ImGuiCol_HeaderHovered, ImVec4(0.6f, 0.16f, 0.16f, 0.95f));
        ImGui::PushStyleColor(ImGuiCol_HeaderActive, ImVec4(0.7f, 0.2f, 0.2f, 1.0f));
        colours = 3;
    } else if (visualsettings::KeysHaveEditedRow(group.items, maps.rows, maps.slots)) {
        ImGui::PushStyleColor(ImGuiCol_Text, kEdited);
        colours = 1;
    }
    const std::string label = (group.title.empty() ? std::string("Parameters") : group.title) + "##visual_block_" + suffix;
    const bool open = ImGui::CollapsingHeader(label.c_str(), openByDefault ? ImGuiTreeNodeFlags_DefaultOpen : 0);
    ImGui::PopStyleColor(colours);
    if (!open) return;
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(8.0f, 2.0f));
    ImGui::Indent(12.0f);
    // The block's own ID scope: a key listed in two blocks gets two IDs.
    ImGui::PushID(suffix.c_str());
    DrawVisualBlockRows(group, text);
    ImGui::PopID();
    ImGui::Unindent(12.0f);
    ImGui::PopStyleVar();
}

void DrawSectionBlocks(const VisualSettingsSection& section, size_t index, std::string_view text) {
    const bool single = section.items.size() == 1;
    for (size_t g = 0; g < section.items.size(); ++g)
        DrawVisualBlock(section.items[g], text, std::to_string(index) + "_" + std::to_string(g), single);
}

void DrawVisualSearch(const VisualSettingsLayout& layout, std::string_view text) {
    int n = 0;
    for (size_t i = 0; i < layout.size(); ++i) {
        const VisualSettingsSection& section = layout[i];
        bool match = false;
        for (const VisualSettingsGroup& group : section.items) match = match || GroupHasMatchingKey(group, text);
        if (!match) continue;
        ++n;
        const std::string label = section.title + "##visual_dat_search_" + std::to_string(n);
        if (!ImGui::CollapsingHeader(label.c_str(), section.items.size() == 1 ? ImGuiTreeNodeFlags_DefaultOpen : 0)) continue;
        ImGui::Indent(12.0f);
        DrawSectionBlocks(section, i, text);
        ImGui::Unindent(12.0f);
    }
    if (n == 0) ImGui::TextDisabled("No matching values.");
}

void DrawImportPanel(bool edited, bool exists) {
    const char* word = !exists ? "Missing" : edited ? "Edited" : visualsettings::DatImport.loaded != 0 ? "Loaded" : "Ready";
    const ImVec4 colour = !exists ? kMissing : edited ? kEdited : visualsettings::DatImport.loaded != 0 ? kLoaded : kReady;
    const std::string status = visualsettings::StatusText(visualsettings::Switch.importExportStatus);
    const bool showStatus = !status.empty() && status != kIdleStatus && status.rfind("Loaded ", 0) != 0 &&
                            status.rfind("Ready:", 0) != 0 && status.rfind("Missing:", 0) != 0;
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(8.0f, 4.0f));
    if (ImGui::BeginChild("##visualsettings_import_panel", ImVec2(0.0f, showStatus ? 82.0f : 58.0f), ImGuiChildFlags_Borders,
                          ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse)) {
        if (ImGui::BeginTable("##visualsettings_import_file_table", 2,
                              ImGuiTableFlags_NoSavedSettings | ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerV |
                                  ImGuiTableFlags_SizingStretchProp,
                              ImVec2(0.0f, 42.0f))) {
            ImGui::TableSetupColumn("File", ImGuiTableColumnFlags_WidthStretch);
            ImGui::TableSetupColumn("Status", ImGuiTableColumnFlags_WidthFixed, 78.0f);
            ImGui::TableNextRow(ImGuiTableRowFlags_Headers);
            ImGui::TableSetColumnIndex(0);
            ImGui::TextDisabled("%s", "File");
            ImGui::TableSetColumnIndex(1);
            ImGui::TextDisabled("%s", "Status");
            ImGui::TableNextRow();
            ImGui::TableSetColumnIndex(0);
            ImGui::TextUnformatted("visualsettings.dat");
            ImGui::TableSetColumnIndex(1);
            ImGui::TextColored(colour, "%s", word);
            ImGui::EndTable();
        }
        if (showStatus) {
            ImGui::PushTextWrapPos(0.0f);
            ImGui::TextDisabled("%s", status.c_str());
            ImGui::PopTextWrapPos();
        }
    }
    ImGui::EndChild();
    ImGui::PopStyleVar();
}

void DrawButtons(bool exists, int edited) {
    PushNeutralButton();
    ImGui::BeginDisabled(!exists);
    if (ImGui::Button("Load visualsettings.dat", ImVec2(178.0f, 26.0f))) visualsettings::ImportVisualSettingsDat();
    ImGui::EndDisabled();
    ImGui::SameLine();
    ImGui::BeginDisabled(edited == 0);
    if (ImGui::Button("Export visualsettings.dat", ImVec2(186.0f, 26.0f))) visualsettings::ExportVisualSettingsDat();
    ImGui::EndDisabled();
    ImGui::PopStyleColor(3);
    ImGui::Spacing();

    PushButtonColours(ImVec4(0.32f, 0.11f, 0.10f, 0.78f), ImVec4(0.48f, 0.15f, 0.13f, 0.92f), ImVec4(0.58f, 0.18f, 0.15f, 1.0f));
    ImGui::BeginDisabled(edited == 0);
    if (ImGui::Button("Reset all", ImVec2(110.0f, 28.0f))) visualsettings::ApplyAllVisualSettingsLive(true, true);
    ImGui::EndDisabled();
    ImGui::PopStyleColor(3);
    ImGui::SameLine();

    ImGui::PushID("visual_configuration_before_after");
    ImGui::BeginDisabled(edited == 0);
    ImGui::Button("Hold for before / after");
    const bool held = ImGui::IsItemActive();
    ImGui::EndDisabled();
    ImGui::PopID();
    if (held) {
        if (core::Editor.VisualSettingsAfterShown.Get() != 0) game::BeforeAfter.VisualSettingsSwitchPending.Set(1);
        core::Editor.VisualSettingsAfterShown.Set(0);
        game::BeforeAfter.AllBeforeShown.Set(1);
        VisualSettingsTab.holdActive = 1;
    } else if (VisualSettingsTab.holdActive != 0) {
        ShowEdits();
    }
    ImGui::SameLine();

    PushNeutralButton();
    ImGui::BeginDisabled(VisualSettingsTab.search[0] == '\0');
    if (ImGui::Button("Clear search##visual_configuration", ImVec2(96.0f, 26.0f))) VisualSettingsTab.search[0] = '\0';
    ImGui::EndDisabled();
    ImGui::PopStyleColor(3);
    ImGui::SameLine();
    ImGui::SetNextItemWidth(-FLT_MIN);
    ImGui::InputTextWithHint("##visual_configuration_search", "Search values...", VisualSettingsTab.search,
                             sizeof(VisualSettingsTab.search));
    ImGui::Spacing();
}

}  // namespace

int32_t VisualDragInt(double v) {
    if (!std::isfinite(v)) return 0;
    const long long r = std::llround(std::clamp(v, -9.0e18, 9.0e18));
    return static_cast<int32_t>(std::clamp<long long>(r, INT_MIN, INT_MAX));
}

float VisualSectionListWidth(float available) {
    if (available <= 0.0f) return 220.0f;
    const float m = std::min(0.34f * available, 220.0f);
    if (m < 190.0f) return 190.0f;
    return std::min(std::max(available - 330.0f, 190.0f), m);
}

void ResetVisualSettingsTabState() { VisualSettingsTab = VisualSettingsTabState{}; }

void DrawVisualsettingsPanel() {
    EnsureHoldHook();
    VisualSettingsTab.drawnFrame = ImGui::GetFrameCount();
    VisualSettingsTab.rowsDrawn = 0;
    const VisualSettingsLayout& layout = visualsettings::LoadVisualSettingsLayout();
    const int32_t count = static_cast<int32_t>(layout.size());
    if (VisualSettingsTab.selectedSection < 0 || VisualSettingsTab.selectedSection >= count) VisualSettingsTab.selectedSection = 0;
    const bool exists = visualsettings::ImportVisualSettingsExists();
    const RowMaps& maps = Maps();
    std::vector<uint8_t> sectionEdited(layout.size(), 0);
    int edited = 0;
    for (size_t i = 0; i < layout.size(); ++i) {
        sectionEdited[i] = visualsettings::SectionHasEditedRow(layout[i], maps.rows, maps.slots) ? 1 : 0;
        edited += sectionEdited[i];
    }
    DrawImportPanel(edited > 0, exists);
    ImGui::Spacing();
    // The buttons stand whatever the layout holds: the file can always be loaded.
    DrawButtons(exists, edited);
    if (layout.empty()) {
        ImGui::TextDisabled("No visualsettings.dat layout data loaded.");
        return;
    }

    const float width = VisualSectionListWidth(ImGui::GetContentRegionAvail().x);
    if (ImGui::BeginChild("VisCategories", ImVec2(width, 0.0f), ImGuiChildFlags_Borders)) {
        if (edited > 0) ImGui::TextColored(kEdited, "%d edited", edited);
        else ImGui::Dummy(ImVec2(1.0f, ImGui::GetFontSize()));
        ImGui::Separator();
        if (ImGui::BeginTable("##visual_category_table", 1,
                              ImGuiTableFlags_NoSavedSettings | ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerV |
                                  ImGuiTableFlags_SizingStretchProp | ImGuiTableFlags_ScrollY)) {
            ImGui::TableSetupColumn("##visual_category_column", ImGuiTableColumnFlags_WidthStretch);
            for (int32_t i = 0; i < count; ++i) {
                const VisualSettingsSection& section = layout[static_cast<size_t>(i)];
                const std::string label = section.title + "##visual_category_" + std::to_string(i);
                ImGui::TableNextRow();
                ImGui::TableSetColumnIndex(0);
                const bool coloured = section.warn != 0 || sectionEdited[static_cast<size_t>(i)] != 0;
                if (coloured) ImGui::PushStyleColor(ImGuiCol_Text, section.warn != 0 ? kWarnSection : kEdited);
                if (ImGui::Selectable(label.c_str(), i == VisualSettingsTab.selectedSection, ImGuiSelectableFlags_SpanAllColumns))
                    VisualSettingsTab.selectedSection = i;
                if (coloured) ImGui::PopStyleColor();
            }
            ImGui::EndTable();
        }
    }
    ImGui::EndChild();
    ImGui::SameLine();
    if (ImGui::BeginChild("VisParameters", ImVec2(0.0f, 0.0f), ImGuiChildFlags_Borders)) {
        const std::string_view text = VisualSettingsTab.search;
        if (!text.empty()) {
            ImGui::TextUnformatted("Search Results");
            ImGui::Separator();
            DrawVisualSearch(layout, text);
        } else {
            const size_t index = static_cast<size_t>(VisualSettingsTab.selectedSection);
            ImGui::TextUnformatted(layout[index].title.c_str());
            ImGui::Separator();
            DrawSectionBlocks(layout[index], index, text);
        }
    }
    ImGui::EndChild();
}

}  // namespace ui
