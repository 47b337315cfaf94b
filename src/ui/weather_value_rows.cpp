#include "ui/weather_value_rows.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/text.h"
#include "timecycle/timecycle_numbers.h"
#include "ui/theme.h"
#include "ui/weather_tab.h"
#include "weather/document_io.h"
#include "weather/document_live.h"
#include "weather/live_state.h"
#include "weather/water_lightning_live.h"
#include "weather/weather_xml_model.h"

namespace ui {
namespace {

using weather::WeatherDocument;
using weather::XmlValueRecord;

const ImVec4 kEditedColour(1.0f, 0.68f, 0.18f, 1.0f);
constexpr size_t kTextEditBytes = 96;

void Label(const std::string& text, bool edited) {
    if (edited) ImGui::TextColored(kEditedColour, "%s", text.c_str());
    else ImGui::TextUnformatted(text.c_str());
}

// A new text for the value: set (refused texts set the status line), then
// written live when the value maps onto the game.
bool CommitText(WeatherDocument& document, size_t valueIndex, const std::string& text) {
    std::string& status = weather::WeatherDocuments.MiscEditorStatus;
    if (!weather::SetWeatherValueText(document, valueIndex, text, status)) return false;
    const XmlValueRecord& value = document.values[valueIndex];
    if (weather::IsValueLiveEditable(document, value)) weather::ApplyValueLive(document, value, status);
    else status = "Value changed.";
    return true;
}

void ResetButton(WeatherDocument& document, size_t valueIndex) {
    const XmlValueRecord& value = document.values[valueIndex];
    if (!PushToggleButtonColors(weather::IsValueEdited(value))) return;
    weather::ResetWeatherValue(document, valueIndex);
    if (weather::IsValueLiveEditable(document, value))
        weather::ApplyValueLive(document, document.values[valueIndex], weather::WeatherDocuments.MiscEditorStatus);
}

// The float drag: while it is held, the unrounded value is kept, and the
// text written is the value rounded to the decimals of the file's text.
bool FloatEditor(WeatherDocument& document, size_t valueIndex) {
    const XmlValueRecord& value = document.values[valueIndex];
    WeatherRowState& rows = WeatherTab.rows;
    const ImGuiID id = ImGui::GetID("##float");
    float v = rows.dragId == id ? rows.dragValue : value.floatValue;
    const bool changed = ImGui::DragFloat("##float", &v, 0.01f, 0.0f, 0.0f, "%.6f");
    if (ImGui::IsItemActive()) {
        rows.dragId = id;
        rows.dragValue = v;
    } else if (rows.dragId == id) {
        rows.dragId = 0;
    }
    if (!changed) return false;
    const std::string text = timecycle::FormatLikeExisting(v, value.originalText);
    return text != value.currentText && CommitText(document, valueIndex, text);
}

bool TextEditor(WeatherDocument& document, size_t valueIndex) {
    char buffer[kTextEditBytes] = {};
    const std::string& current = document.values[valueIndex].currentText;
    std::memcpy(buffer, current.data(), std::min(current.size(), kTextEditBytes - 1));
    if (!ImGui::InputText("##text", buffer, sizeof buffer)) return false;
    return CommitText(document, valueIndex, buffer);
}

// The editor of column 1 by the value's kind; true when the text changed.
bool ValueEditor(WeatherDocument& document, size_t valueIndex, const char* fieldName) {
    const XmlValueRecord& value = document.values[valueIndex];
    ImGui::SetNextItemWidth(-FLT_MIN);
    if (fieldName == nullptr && weather::IsColorField(weather::DocumentKindOf(document), value.path)) {
        float rgba[4];
        ColorOfText(value.currentText.c_str(), rgba);
        if (!ImGui::ColorEdit4("##color", rgba, ImGuiColorEditFlags_AlphaBar)) return false;
        return CommitText(document, valueIndex, weather::FormatColorHex(rgba[0], rgba[1], rgba[2], rgba[3]));
    }
    switch (value.kind) {
        case weather::kXmlValueBool: {
            bool on = value.boolValue != 0;
            if (!ImGui::Checkbox("##bool", &on)) return false;
            return CommitText(document, valueIndex, on ? "true" : "false");
        }
        case weather::kXmlValueInteger: {
            int v = value.intValue;
            if (!ImGui::DragInt("##int", &v, 1.0f)) return false;
            return CommitText(document, valueIndex, std::to_string(v));
        }
        case weather::kXmlValueFloat:
            return FloatEditor(document, valueIndex);
        default:
            break;
    }
    if (fieldName != nullptr) {
        const std::string_view field = fieldName;
        if (field == "CloudSettingsName") return CloudSettingsNameCombo(document, valueIndex);
        if (field == "DropSettingName" || field == "MistSettingName" || field == "GroundSettingName")
            return WeatherSettingNameCombo(document, valueIndex, fieldName);
    }
    return TextEditor(document, valueIndex);
}

std::string RowLabel(const WeatherDocument& document, const XmlValueRecord& value, bool narrow) {
    const weather::DocumentKind kind = weather::DocumentKindOf(document);
    if (kind == weather::DocumentKind::WeatherXml) {
        std::string section, entry, field;
        if (weather::SplitWeatherPath(value.path, section, entry, field)) return field;
    } else if (narrow && kind == weather::DocumentKind::Render) {
        std::string element, attribute;
        if (weather::SplitAttributePath(value.path, element, attribute)) return attribute;
    }
    return weather::WeatherPathLabel(value.path);
}

void DrawRow(size_t documentRow, size_t valueIndex, bool narrow) {
    WeatherDocument& document = weather::WeatherDocuments.WeatherDocumentRegistry[documentRow];
    if (valueIndex >= document.values.size()) return;
    ImGui::TableNextRow();
    ImGui::PushID(document.fileName);
    ImGui::PushID(static_cast<int>(valueIndex));
    ImGui::TableSetColumnIndex(0);
    ImGui::AlignTextToFramePadding();
    Label(RowLabel(document, document.values[valueIndex], narrow), weather::IsValueEdited(document.values[valueIndex]));
    ImGui::TableSetColumnIndex(1);
    ValueEditor(document, valueIndex, nullptr);
    ImGui::TableSetColumnIndex(2);
    ResetButton(document, valueIndex);
    ImGui::PopID();
    ImGui::PopID();
}

template <size_t N>
bool NameCombo(WeatherDocument& document, size_t valueIndex, const std::array<const char*, N>& names) {
    const std::string& current = document.values[valueIndex].currentText;
    bool chosen = false;
    if (!ImGui::BeginCombo("##weatherSetting", current.c_str())) return false;
    for (const char* name : names) {
        const bool selected = current == name;
        if (ImGui::Selectable(name, selected) && !selected) chosen = CommitText(document, valueIndex, name) || chosen;
        if (selected) ImGui::SetItemDefaultFocus();
    }
    ImGui::EndCombo();
    return chosen;
}

template <typename Table>
auto NamesOf(const Table& table) {
    std::array<const char*, std::tuple_size<Table>::value> names{};
    for (size_t i = 0; i < table.size(); ++i) names[i] = table[i].name;
    return names;
}

}  // namespace

void ColorOfText(const char* text, float rgba[4]) {
    uint32_t word = 0;
    if (text == nullptr || !weather::TextToUnsignedWord(text, word)) word = 0xFF000000u;
    rgba[0] = static_cast<float>((word >> 16) & 0xFF) / 255.0f;
    rgba[1] = static_cast<float>((word >> 8) & 0xFF) / 255.0f;
    rgba[2] = static_cast<float>(word & 0xFF) / 255.0f;
    rgba[3] = static_cast<float>((word >> 24) & 0xFF) / 255.0f;
}

void DrawWeatherValueRow(size_t documentRow, size_t valueIndex) { DrawRow(documentRow, valueIndex, true); }

void DrawWeatherValueRowWide(size_t documentRow, size_t valueIndex) { DrawRow(documentRow, valueIndex, false); }

bool EditXmlValue(WeatherDocument& document, size_t valueIndex, const char* fieldName) {
    if (valueIndex >= document.values.size()) return false;
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    ImGui::AlignTextToFramePadding();
    Label(fieldName, weather::IsValueEdited(document.values[valueIndex]));
    ImGui::TableSetColumnIndex(1);
    const bool changed = ValueEditor(document, valueIndex, fieldName);
    ImGui::TableSetColumnIndex(2);
    ResetButton(document, valueIndex);
    return changed;
}

bool CloudSettingsNameCombo(WeatherDocument& document, size_t valueIndex) {
    static const auto kNames = NamesOf(weather::CloudSettingsNameTable);
    return NameCombo(document, valueIndex, kNames);
}

bool WeatherSettingNameCombo(WeatherDocument& document, size_t valueIndex, const char* fieldName) {
    static const auto kDrop = NamesOf(weather::DropSettingNameTable);
    static const auto kMist = NamesOf(weather::MistSettingNameTable);
    static const auto kGround = NamesOf(weather::GroundSettingNameTable);
    const std::string_view field = fieldName ? fieldName : "";
    if (field == "MistSettingName") return NameCombo(document, valueIndex, kMist);
    if (field == "GroundSettingName") return NameCombo(document, valueIndex, kGround);
    return NameCombo(document, valueIndex, kDrop);
}

void WeatherScopeCombos(weather::MiscXmlFilterState& filter, const char* sectionId, const char* entryId,
                        const char* groupId) {
    filter.scope = std::clamp(filter.scope, 0, 2);
    filter.weather = std::clamp(filter.weather, 0, static_cast<int32_t>(weather::kWeatherTypeCount));
    filter.effect = std::clamp(filter.effect, 0, static_cast<int32_t>(weather::kWeatherGpuFxCount));
    static const char* const kSections[] = {"All", "WeatherTypes", "WeatherGpuFx"};
    ImGui::SetNextItemWidth(138.0f);
    if (ImGui::BeginCombo(sectionId, kSections[filter.scope])) {
        for (int32_t s = 0; s < 3; ++s) {
            if (!ImGui::Selectable(kSections[s], filter.scope == s)) continue;
            filter.scope = s;
            if (s != 1) filter.weather = filter.group = 0;
            if (s != 2) filter.effect = 0;
        }
        ImGui::EndCombo();
    }
    if (filter.scope == 1) {
        filter.effect = 0;
        ImGui::SameLine();
        ImGui::SetNextItemWidth(176.0f);
        const char* preview =
            filter.weather == 0 ? "All weather" : weather::WeatherTypeNameTable[static_cast<size_t>(filter.weather - 1)].name;
        if (ImGui::BeginCombo(entryId, preview)) {
            if (ImGui::Selectable("All weather", filter.weather == 0)) filter.weather = 0;
            for (size_t w = 0; w < weather::kWeatherTypeCount; ++w)
                if (ImGui::Selectable(weather::WeatherTypeNameTable[w].name, filter.weather == static_cast<int32_t>(w + 1)))
                    filter.weather = static_cast<int32_t>(w + 1);
            ImGui::EndCombo();
        }
        static const char* const kGroups[] = {"All fields", "Sky",   "Wind", "Weather", "Ripples",
                                              "Ocean",      "Waves", "Foam", "Details", "Clouds"};
        filter.group = std::clamp(filter.group, 0, 9);
        ImGui::SameLine();
        ImGui::SetNextItemWidth(176.0f);
        if (ImGui::BeginCombo(groupId, kGroups[filter.group])) {
            for (int32_t g = 0; g < 10; ++g)
                if (ImGui::Selectable(kGroups[g], filter.group == g)) filter.group = g;
            ImGui::EndCombo();
        }
    } else if (filter.scope == 2) {
        filter.weather = filter.group = 0;
        ImGui::SameLine();
        ImGui::SetNextItemWidth(206.0f);
        const char* preview =
            filter.effect == 0 ? "All entries" : weather::WeatherGpuFxTable[static_cast<size_t>(filter.effect - 1)].effect;
        if (ImGui::BeginCombo(entryId, preview)) {
            if (ImGui::Selectable("All entries", filter.effect == 0)) filter.effect = 0;
            for (size_t e = 0; e < weather::kWeatherGpuFxCount; ++e)
                if (ImGui::Selectable(weather::WeatherGpuFxTable[e].effect, filter.effect == static_cast<int32_t>(e + 1)))
                    filter.effect = static_cast<int32_t>(e + 1);
            ImGui::EndCombo();
        }
    } else {
        filter.weather = filter.effect = filter.group = 0;
    }
}

void ClearFilter(weather::MiscXmlFilterState& filter) { filter = weather::MiscXmlFilterState{}; }

bool ValuePassesFilter(const WeatherDocument& document, const XmlValueRecord& value,
                       const weather::MiscXmlFilterState& filter) {
    return weather::IsValueShown(document, value) && weather::ValueMatchesSearch(value, filter) &&
           weather::ValuePassesWeatherScope(document, value, filter) &&
           (!filter.editedOnly || weather::IsValueEdited(value));
}

void DrawValueFilterRow(const WeatherDocument& document, weather::MiscXmlFilterState& filter) {
    ImGui::SetNextItemWidth(220.0f);
    ImGui::InputTextWithHint("##focused_misc_xml_param_search", "Search values...", filter.searchText,
                             sizeof filter.searchText);
    ImGui::SameLine();
    bool editedOnly = filter.editedOnly != 0;
    if (ImGui::Checkbox("Edited only", &editedOnly)) filter.editedOnly = editedOnly ? 1 : 0;
    if (weather::DocumentKindOf(document) == weather::DocumentKind::WeatherXml) {
        ImGui::SameLine();
        WeatherScopeCombos(filter, "##focused_misc_xml_section", "##focused_misc_xml_entry", "##focused_misc_xml_group");
    }
    ImGui::SameLine();
    const bool any = filter.searchText[0] != '\0' || filter.editedOnly || filter.scope || filter.weather ||
                     filter.effect || filter.group;
    ImGui::BeginDisabled(!any);
    if (ImGui::Button("Clear filters##focused_misc_xml_params", ImVec2(102.0f, 22.0f))) ClearFilter(filter);
    ImGui::EndDisabled();
}

}  // namespace ui
