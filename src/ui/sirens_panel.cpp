#include "ui/sirens_panel.h"

#include <imgui.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "ui/theme.h"
#include "weather/sirens_editor.h"
#include "weather/sirens_export.h"
#include "weather/sirens_search.h"
#include "weather/sirens_state.h"

namespace ui {

SirensPanelState SirensPanel;

void ResetSirensPanelState() { SirensPanel = SirensPanelState{}; }

namespace {

using weather::kSirenProfileBytes;
using weather::SirenField;
using weather::SirenFieldType;
using weather::Sirens;

const ImVec4 kEditedColour(1.0f, 0.68f, 0.18f, 1.0f);
const ImVec4 kStatusColour(0.66f, 0.74f, 0.80f, 1.0f);
const ImGuiTableFlags kValueTableFlags = ImGuiTableFlags_BordersInnerV | ImGuiTableFlags_RowBg |
                                         ImGuiTableFlags_SizingStretchProp | ImGuiTableFlags_NoSavedSettings;

bool EnabledButton(const char* label, ImVec2 size, bool enabled) {
    ImGui::BeginDisabled(!enabled);
    const bool clicked = ImGui::Button(label, size);
    ImGui::EndDisabled();
    return clicked && enabled;
}

struct Hold {
    bool held = false;
    bool released = false;
};
Hold HoldButton(const char* label, bool enabled) {
    ImGui::BeginDisabled(!enabled);
    const float width =
        std::max(158.0f, ImGui::CalcTextSize(label, nullptr, true).x + 2.0f * ImGui::GetStyle().FramePadding.x);
    ImGui::Button(label, ImVec2(width, 24.0f));
    Hold hold{ImGui::IsItemActive(), ImGui::IsItemDeactivated()};
    ImGui::EndDisabled();
    return hold;
}

uint32_t FieldBits(const uint8_t* at, SirenFieldType type) {
    if (weather::SirenFieldWidth(type) == 1) return at[0];
    uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
}

// The value editor of one field; true with the new bits when it changed.
// Identifiers: prefix + "_float" etc. for the head ("##profile_..."), the
// bare kinds for lights.
bool FieldEditor(const SirenField& f, const uint8_t* at, bool head, uint32_t& bits) {
    const uint32_t old = FieldBits(at, f.type);
    ImGui::SetNextItemWidth(-1.0f);
    switch (f.type) {
        case SirenFieldType::Float: {
            float v;
            std::memcpy(&v, &old, 4);
            if (!std::isfinite(v)) {
                ImGui::TextDisabled("-");
                return false;
            }
            if (!ImGui::DragFloat(head ? "##profile_float" : "##value", &v, f.step, -1000.0f, 1000.0f, "%.6f")) return false;
            std::memcpy(&bits, &v, 4);
            return bits != old;
        }
        case SirenFieldType::Byte: {
            int v = static_cast<int>(old);
            if (!ImGui::InputInt(head ? "##profile_byte" : "##byte", &v, 1, 100)) return false;
            bits = static_cast<uint32_t>(std::clamp(v, 0, 255));
            return bits != old;
        }
        case SirenFieldType::Bool: {
            bool v = old != 0;
            if (!ImGui::Checkbox(head ? "##profile_bool" : "##bool", &v)) return false;
            bits = v ? 1 : 0;
            return bits != old;
        }
        case SirenFieldType::U32:
            if (f.colour) {
                float channels[4];
                SirenColourToChannels(old, channels);
                if (!ImGui::ColorEdit4("##color", channels)) return false;
                bits = SirenColourFromChannels(channels);
                return bits != old;
            } else {
                int v = static_cast<int>(old);
                if (!ImGui::InputInt(head ? "##profile_u32" : "##u32", &v, 1, 100)) return false;
                bits = static_cast<uint32_t>(v);
                return bits != old;
            }
    }
    return false;
}

void ValueTableHeader() {
    const float avail = ImGui::GetContentRegionAvail().x;
    const float value = std::max(220.0f, 0.75f * (avail - ImGui::GetStyle().ScrollbarSize - 214.0f));
    ImGui::TableSetupColumn("Name", ImGuiTableColumnFlags_WidthFixed, 180.0f);
    ImGui::TableSetupColumn("Value", ImGuiTableColumnFlags_WidthFixed, value);
    ImGui::TableSetupColumn("##reset", ImGuiTableColumnFlags_WidthFixed, 34.0f);
    ImGui::TableNextRow(ImGuiTableRowFlags_Headers);
    ImGui::TableSetColumnIndex(0);
    ImGui::TextDisabled("Name");
    ImGui::TableSetColumnIndex(1);
    ImGui::TextDisabled("Value");
    ImGui::TableSetColumnIndex(2);
    ImGui::TextDisabled(" ");
}

void NameCell(const char* name, bool changed) {
    ImGui::TableSetColumnIndex(0);
    if (changed) ImGui::TextColored(kEditedColour, "%s", name);
    else ImGui::TextUnformatted(name);
}

bool Differs(const uint8_t* image, uint64_t offsetInProfile, uint64_t profile, uint64_t width) {
    if (!Sirens.SirenBaselineTaken) return false;
    return std::memcmp(image + offsetInProfile,
                       Sirens.SirenBaseline.data() + weather::SirenProfileOffset(profile) + offsetInProfile, width) != 0;
}

void DrawProfileFields(size_t profile, const uint8_t* image) {
    std::string& status = Sirens.SirenLoadStatus;
    if (!ImGui::BeginTable("##carcols_siren_profile_fields", 3, kValueTableFlags)) return;
    ValueTableHeader();
    for (size_t row = 0; row < weather::SirenProfileFieldTable.size(); ++row) {
        const SirenField& f = weather::SirenProfileFieldTable[row];
        const uint64_t width = weather::SirenFieldWidth(f.type);
        ImGui::PushID(f.name);
        ImGui::TableNextRow();
        const bool changed = Differs(image, f.offset, profile, width);
        NameCell(f.name, changed);
        ImGui::TableSetColumnIndex(1);
        uint32_t bits = 0;
        if (FieldEditor(f, image + f.offset, true, bits)) weather::ApplySirenValue(profile, row, bits, status);
        ImGui::TableSetColumnIndex(2);
        if (PushToggleButtonColors(changed)) weather::ResetSirenValue(profile, row, status);
        ImGui::PopID();
    }
    ImGui::EndTable();
}

void DrawLightFields(size_t profile, int32_t light, const uint8_t* image) {
    std::string& status = Sirens.SirenLoadStatus;
    if (!ImGui::BeginTable("##carcols_siren_fields", 3, kValueTableFlags)) return;
    ValueTableHeader();
    const uint64_t shownLight = light < 0 ? 0 : static_cast<uint64_t>(light);
    for (size_t row = 0; row < weather::SirenLightFieldTable.size(); ++row) {
        const SirenField& f = weather::SirenLightFieldTable[row];
        const uint64_t width = weather::SirenFieldWidth(f.type);
        ImGui::PushID(f.name);
        ImGui::TableNextRow();
        bool changed = false;
        for (uint64_t i = 0; i < weather::kSirenLightCount; ++i) {
            if (light >= 0 && i != shownLight) continue;
            changed = changed || Differs(image, weather::kSirenHeadBytes + i * weather::kSirenLightBytes + f.offset,
                                         profile, width);
        }
        NameCell(f.name, changed);
        ImGui::TableSetColumnIndex(1);
        uint32_t bits = 0;
        const uint8_t* at = image + weather::kSirenHeadBytes + shownLight * weather::kSirenLightBytes + f.offset;
        if (FieldEditor(f, at, false, bits)) {
            if (light < 0) weather::ApplySirenLightValues(profile, row, bits, status);
            else weather::ApplySirenLightValue(profile, static_cast<size_t>(light), row, bits, status);
        }
        ImGui::TableSetColumnIndex(2);
        if (PushToggleButtonColors(changed)) weather::ResetSirenLightValue(profile, light, row, status);
        ImGui::PopID();
    }
    ImGui::EndTable();
}

}  // namespace

const char* SirenProfileLabel(int32_t profile) {
    switch (profile) {
        case 0: return "police2 / police4 / sheriff2 / fbi / fbi2 / riot / pranger";
        case 1: return "police3";
        case 3: return "ambulance";
        case 4: return "police van";
        case 5: return "policebike";
        case 6: return "firetruk";
        case 7: return "policeold2";
        case 8: return "towtruck / towtruck2 / airtug / boxville";
        case 9: return "lguard";
        case 12: return "police / sheriff";
        default:
            if (profile >= 0 && profile < static_cast<int32_t>(weather::kSirenProfileCount))
                return weather::SirenProfileTable[static_cast<size_t>(profile)].name;
            return "";
    }
}

bool SirenStatusShown(const std::string& status, bool blockValid) {
    if (status.empty()) return false;
    const auto has = [&status](const char* part) { return status.find(part) != std::string::npos; };
    if (has("Export") || has("Nothing to export") || has("carcols.ymt")) return true;
    if (blockValid) return false;
    // Without a block: the loader's progress and every failure it reports.
    return has("failed") || has("Stopped") || has("Vehicle Sirens") || has("Loading") || has("Stopping");
}

void SirenColourToChannels(uint32_t colour, float channels[4]) {
    for (int i = 0; i < 4; ++i) channels[i] = static_cast<float>((colour >> (8 * i)) & 0xFFu) / 255.0f;
}

uint32_t SirenColourFromChannels(const float channels[4]) {
    uint32_t colour = 0;
    for (int i = 0; i < 4; ++i) {
        const float c = std::clamp(channels[i], 0.0f, 1.0f);
        colour |= static_cast<uint32_t>(c * 255.0f + 0.5f) << (8 * i);
    }
    return colour;
}

void DrawVehicleSirensPanel() {
    SirensPanelState& panel = SirensPanel;
    weather::PollSirensLoader();
    const float height = std::clamp(ImGui::GetContentRegionAvail().y - 2.0f, 240.0f, 720.0f);
    if (!ImGui::BeginChild("##carcols_sirens_live_panel", ImVec2(0.0f, height), ImGuiChildFlags_Borders)) {
        ImGui::EndChild();
        return;
    }
    std::string& status = Sirens.SirenLoadStatus;
    ImGui::TextUnformatted("Vehicle Sirens");
    const bool valid = weather::SirenBlockValid();
    const uint64_t count = valid ? weather::CountEditedSirenProfiles(false) : 0;
    if (count != 0) {
        ImGui::SameLine();
        ImGui::TextColored(kEditedColour, "%llu edited", static_cast<unsigned long long>(count));
    }
    if (EnabledButton(valid ? "Refresh" : "Load live", ImVec2(92.0f, 24.0f), !Sirens.SirenLoadPending && count == 0))
        weather::StartSirenLoad(true);
    if (Sirens.SirenLoadPending) {
        ImGui::SameLine();
        if (ImGui::Button("Stop", ImVec2(64.0f, 24.0f))) weather::StopSirenLoad();
    }
    ImGui::SameLine();
    if (EnabledButton("Restore", ImVec2(82.0f, 24.0f), count != 0)) weather::RestoreSirenState(status);
    ImGui::SameLine();
    const bool beforeShown = Sirens.SirenBeforeShown && Sirens.SirenEditedImageSaved;
    const Hold hold = HoldButton("Hold for before / after##carcols_siren_hold_before_after",
                                 (count != 0 && Sirens.SirenBaselineTaken) || beforeShown);
    if (hold.held && !beforeShown && count != 0 && Sirens.SirenBaselineTaken) weather::ShowSirensBefore(status);
    else if (hold.released && Sirens.SirenBeforeShown) weather::ShowSirensAfter(status);
    ImGui::SameLine();
    if (EnabledButton("Export", ImVec2(78.0f, 24.0f), valid && count != 0 && Sirens.SirenBaselineTaken))
        weather::ExportCarcolsYmt(status);
    if (SirenStatusShown(status, valid)) {
        ImGui::PushStyleColor(ImGuiCol_Text, kStatusColour);
        ImGui::TextWrapped("%s", status.c_str());
        ImGui::PopStyleColor();
    }
    if (!valid) {
        ImGui::EndChild();
        return;
    }

    panel.SelectedSirenProfile = std::clamp(panel.SelectedSirenProfile, 0, 20);
    panel.SelectedSirenLight = std::clamp(panel.SelectedSirenLight, -1, 19);
    const auto profile = static_cast<size_t>(panel.SelectedSirenProfile);
    ImGui::Spacing();
    ImGui::TextUnformatted("1. Vehicle");
    ImGui::SetNextItemWidth(360.0f);
    if (ImGui::BeginCombo("##carcols_siren_profile", SirenProfileLabel(panel.SelectedSirenProfile))) {
        for (int32_t p : SirenProfileComboOrder) {
            ImGui::PushID(p);
            if (ImGui::Selectable(SirenProfileLabel(p), p == panel.SelectedSirenProfile)) panel.SelectedSirenProfile = p;
            ImGui::PopID();
        }
        ImGui::EndCombo();
    }

    std::array<uint8_t, kSirenProfileBytes> image{};
    const bool haveImage = weather::ReadSirenDisplayProfile(profile, image.data());
    const bool changed = haveImage ? Sirens.SirenBaselineTaken &&
                                         std::memcmp(image.data(),
                                                     Sirens.SirenBaseline.data() + weather::SirenProfileOffset(profile),
                                                     kSirenProfileBytes) != 0
                                   : weather::SirenProfileChanged(profile);

    ImGui::Spacing();
    ImGui::TextUnformatted("2. Siren lights");
    char preview[32];
    if (panel.SelectedSirenLight < 0) std::snprintf(preview, sizeof preview, "All siren lights");
    else std::snprintf(preview, sizeof preview, "Siren light %02d", panel.SelectedSirenLight + 1);
    ImGui::SetNextItemWidth(162.0f);
    if (ImGui::BeginCombo("##carcols_siren_light_item", preview)) {
        if (ImGui::Selectable("All siren lights", panel.SelectedSirenLight < 0)) panel.SelectedSirenLight = -1;
        for (int32_t i = 0; i < 20; ++i) {
            char label[32];
            std::snprintf(label, sizeof label, "Siren light %02d", i + 1);
            if (ImGui::Selectable(label, panel.SelectedSirenLight == i)) panel.SelectedSirenLight = i;
        }
        ImGui::EndCombo();
    }
    ImGui::SameLine();
    if (EnabledButton("Reset values", ImVec2(98.0f, 22.0f), changed)) weather::ResetSirenProfile(profile, status);

    ImGui::Spacing();
    ImGui::TextUnformatted("3. Values");
    if (!haveImage) {
        ImGui::TextDisabled("Profile not readable.");
    } else if (ImGui::BeginTabBar("##carcols_siren_value_tabs")) {
        if (ImGui::BeginTabItem("Main values")) {
            DrawProfileFields(profile, image.data());
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Siren light values")) {
            DrawLightFields(profile, panel.SelectedSirenLight, image.data());
            ImGui::EndTabItem();
        }
        ImGui::EndTabBar();
    }
    ImGui::EndChild();
}

void DrawMiscSirens() {
    SirensPanelState& panel = SirensPanel;
    std::lock_guard<std::mutex> lock(Sirens.lock);
    const uint64_t count = weather::SirenBlockValid() ? weather::CountEditedSirenProfiles(false) : 0;
    if (ImGui::BeginTable("##misc_editor_overview", 1,
                          ImGuiTableFlags_BordersInnerV | ImGuiTableFlags_SizingStretchProp |
                              ImGuiTableFlags_NoSavedSettings)) {
        ImGui::TableSetupColumn("Carcols", ImGuiTableColumnFlags_WidthStretch);
        ImGui::TableNextRow();
        ImGui::TableSetColumnIndex(0);
        ImGui::TextDisabled("Vehicle Sirens");
        if (count != 0) ImGui::TextColored(kEditedColour, "Edited");
        else ImGui::Dummy(ImVec2(0.0f, ImGui::GetFontSize()));
        ImGui::EndTable();
    }
    ImGui::Separator();
    if (panel.SirensHeaderOpenRequest) ImGui::SetNextItemOpen(true);
    const bool open = ImGui::CollapsingHeader("Vehicle Sirens (carcols.ymt)");
    if (count != 0) {
        ImGui::SameLine();
        ImGui::TextColored(kEditedColour, "%llu edited", static_cast<unsigned long long>(count));
    }
    if (open) {
        DrawVehicleSirensPanel();
        ImGui::Spacing();
    }
    panel.SirensHeaderOpenRequest = 0;
}

}  // namespace ui
