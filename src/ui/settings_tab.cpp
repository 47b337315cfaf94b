#include "ui/settings_tab.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <imgui.h>
#include <imgui_stdlib.h>

#include "core/file_utils.h"
#include "core/folder_picker.h"
#include "core/game_control_settings.h"
#include "core/settings.h"
#include "core/workspace.h"
#include "game/clock_timelapse.h"
#include "ui/main_window.h"

namespace ui {

SettingsTabState SettingsTab;

void ResetSettingsTab() { SettingsTab = SettingsTabState{}; }

namespace {

constexpr const char* kMainWindowTitle = "Varnel";

struct ButtonColours {
    ImVec4 normal;
    ImVec4 hovered;
    ImVec4 active;
};
constexpr ButtonColours kSaveColours = {{0.16f, 0.19f, 0.21f, 0.72f}, {0.18f, 0.36f, 0.42f, 0.92f},
                                        {0.24f, 0.46f, 0.54f, 1.0f}};
constexpr ButtonColours kResetColours = {{0.32f, 0.11f, 0.10f, 0.78f}, {0.48f, 0.15f, 0.13f, 0.92f},
                                         {0.58f, 0.18f, 0.15f, 1.0f}};
constexpr ButtonColours kFolderColours = {{0.16f, 0.19f, 0.21f, 0.72f}, {0.22f, 0.27f, 0.30f, 0.86f},
                                          {0.30f, 0.35f, 0.39f, 0.96f}};
constexpr ImVec4 kStatusColour = {0.66f, 0.74f, 0.80f, 1.0f};

bool ColouredButton(const char* label, ImVec2 size, const ButtonColours& colours) {
    ImGui::PushStyleColor(ImGuiCol_Button, colours.normal);
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, colours.hovered);
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, colours.active);
    const bool clicked = ImGui::Button(label, size);
    ImGui::PopStyleColor(3);
    return clicked;
}

void ResizeMainWindow() {
    ImGui::SetWindowSize(kMainWindowTitle, ImVec2(core::UiSettings.MenuWidth, core::UiSettings.MenuHeight));
}

// A label line, then a full-width slider over a shared value.
bool LabelledSlider(const char* label, const char* id, core::SharedValue<float>& value, float min, float max,
                    const char* format) {
    ImGui::TextUnformatted(label);
    ImGui::SetNextItemWidth(-FLT_MIN);
    float v = value;
    if (!ImGui::SliderFloat(id, &v, min, max, format)) return false;
    value = v;
    return true;
}

bool SharedCheckbox(const char* label, core::SharedValue<bool>& value) {
    bool v = value;
    if (!ImGui::Checkbox(label, &v)) return false;
    value = v;
    return true;
}

void DrawLayout() {
    if (!ImGui::CollapsingHeader("Layout##settings_layout_v2")) return;
    LabelledSlider("UI Scale", "##UIScale", core::UiSettings.UIScale, 0.5f, 2.0f, "%.2f");
    LabelledSlider("UI Opacity", "##UIOpacity", core::UiSettings.UIOpacity, 0.2f, 1.0f, "%.2f");
    // A size set here is the user's: it is kept over display changes.
    if (LabelledSlider("Window Width", "##MenuWidth", core::UiSettings.MenuWidth, 540.0f, 1200.0f, "%.0f") |
        LabelledSlider("Window Height", "##MenuHeight", core::UiSettings.MenuHeight, 520.0f, 2200.0f, "%.0f")) {
        core::UiSettings.WindowSizeFromIni = true;
        ResizeMainWindow();
    }
    SharedCheckbox("Show FPS Counter", core::UiSettings.FPSCounter);
    SharedCheckbox("Show FPS When Menu Is Closed", core::UiSettings.ShowFPSWhenClosed);
    if (ImGui::SmallButton("Reset FPS")) ResetFpsCounters();
}

void DrawHotkeys() {
    if (!ImGui::CollapsingHeader("Hotkeys##settings_hotkeys_v2")) return;
    if (core::UiSettings.MenuHotkey >= core::MenuHotkeyTable.size()) core::UiSettings.MenuHotkey = core::kDefaultMenuHotkey;
    const uint32_t current = core::UiSettings.MenuHotkey;
    ImGui::TextUnformatted("Menu Hotkey");
    ImGui::SetNextItemWidth(-FLT_MIN);
    if (ImGui::BeginCombo("##MenuHotkey", core::MenuHotkeyTable[current].name)) {
        for (uint32_t row = 0; row < core::MenuHotkeyTable.size(); ++row) {
            const bool selected = row == current;
            if (ImGui::Selectable(core::MenuHotkeyTable[row].name, selected)) {
                core::UiSettings.MenuHotkey = row;
                core::ClearDuplicateHotkey(core::MenuHotkeyTable[row].virtualKey, nullptr);
            }
            if (selected) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    ImGui::Spacing();
    DrawHotkeyCombo("Timecycle before / after hotkey", core::UiSettings.TimecycleBeforeAfterHotkey);
    DrawHotkeyCombo("visualsettings.dat before / after hotkey", core::UiSettings.VisualSettingsBeforeAfterHotkey);
    DrawHotkeyCombo("Timecycle + visualsettings hotkey", core::UiSettings.BothBeforeAfterHotkey);
    DrawHotkeyCombo("All live before / after hotkey", core::UiSettings.AllLiveBeforeAfterHotkey);
}

void DrawTimelapse() {
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse;
    if (ImGui::BeginChild("##timecycle_timelapse_panel", ImVec2(0.0f, 44.0f), ImGuiChildFlags_Borders, flags)) {
        bool enabled = core::GameControlFlags.TimelapseEnabled;
        if (ImGui::Checkbox("Timelapse", &enabled)) {
            core::GameControlFlags.TimelapseEnabled = enabled;
            game::TimelapseSwitched(enabled);
        }
        ImGui::SameLine(0.0f, 14.0f);
        ImGui::SetNextItemWidth(220.0f);
        float speed = core::UiSettings.TimecycleTimelapseSpeed;
        if (ImGui::SliderFloat("Speed##TimecycleTimelapseSpeed", &speed, 1.0f, 3600.0f, "x%.0f",
                               ImGuiSliderFlags_Logarithmic))
            core::UiSettings.TimecycleTimelapseSpeed = speed;
        ImGui::SameLine(0.0f, 14.0f);
        const double clock = game::ClockTimelapse.TimelapseClockSeconds.Get();
        ImGui::Text("Clock %02d:%02d", static_cast<int>(game::ClockHourOf(clock)),
                    static_cast<int>(game::ClockMinuteOf(clock)));
    }
    ImGui::EndChild();
}

void DrawGameControls() {
    if (!ImGui::CollapsingHeader("Game Controls##settings_game_controls_v2")) return;
    bool hudDisabled = !core::GameControlFlags.GameHudVisible;
    if (ImGui::Checkbox("Disable HUD", &hudDisabled)) core::GameControlFlags.GameHudVisible = !hudDisabled;
    SharedCheckbox("Disable Idle Camera", core::GameControlFlags.DisableIdleCamera);
    SharedCheckbox("Disable Pedestrians", core::GameControlFlags.DisablePedestrians);
    SharedCheckbox("Disable Vehicles", core::GameControlFlags.DisableVehicles);
    SharedCheckbox("Blackout Mode", core::GameControlFlags.BlackoutMode);
    ImGui::TextUnformatted("Free Camera");
    SharedCheckbox("Enable Free Cam", core::GameControlFlags.FreeCamEnabled);
    LabelledSlider("Speed", "##FreeCamSpeed", core::GameControlFlags.FreeCamSpeed, 0.5f, 100.0f, "%.1f");
    LabelledSlider("Mouse Sensitivity", "##FreeCamMouseSensitivity", core::GameControlFlags.FreeCamMouseSensitivity, 0.1f, 5.0f, "%.2f");
    DrawTimelapse();
}

void DrawFolderLayout() {
    if (!ImGui::TreeNodeEx("Folder layout##settings_import_structure_overview", ImGuiTreeNodeFlags_SpanAvailWidth))
        return;
    const ImGuiTableFlags flags = ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerV | ImGuiTableFlags_NoSavedSettings;
    if (ImGui::BeginTable("##vrn_import_structure_overview", 2, flags)) {
        ImGui::TableSetupColumn("Type", ImGuiTableColumnFlags_WidthFixed, 118.0f);
        ImGui::TableSetupColumn("Folder", ImGuiTableColumnFlags_WidthStretch);
        ImGui::TableHeadersRow();
        static const char* const kRows[][2] = {
            {"Timecycles", "Imports\\Timecycles\\"},
            {"Timecycle Mods", "Imports\\Timecycle Mods\\"},
            {"Weather", "Imports\\Weather Files\\"},
            {"Vehicle Sirens", "Imports\\Misc\\carcols.ymt"},
            {"Visualsettings", "Imports\\visualsettings.dat"},
        };
        for (const auto& row : kRows) {
            ImGui::TableNextRow();
            ImGui::TableNextColumn();
            ImGui::TextUnformatted(row[0]);
            ImGui::TableNextColumn();
            ImGui::TextDisabled("%s", row[1]);
        }
        ImGui::EndTable();
    }
    ImGui::TreePop();
}

void DrawFolders() {
    ImGui::Spacing();
    if (!ImGui::CollapsingHeader("Folders##settings_folders_v2")) return;
    const bool dialogOpen = core::FolderPicker.FolderDialogOpen.Get() != 0;
    std::array<FolderField, 3>& fields = SettingsTab.folders;
    DrawFolderRow("VRN Folder", "##VrnWorkspaceDirectory", fields[0], core::WorkspacePaths.VrnFolderText,
                  "Browse##BrowseVrnFolder", core::kFolderKindVrn, "Select VRN folder or parent folder", core::VrnFolder(),
                  core::DefaultVrnFolder(), dialogOpen);
    DrawFolderRow("Import Folder", "##TimecycleImportDirectory", fields[1], core::WorkspacePaths.ImportFolderText,
                  "Browse##BrowseImportFolder", core::kFolderKindImport, "Select VRN import folder", core::DefaultImportsFolder(),
                  core::DefaultImportsFolder(), dialogOpen);
    ImGui::Spacing();
    DrawFolderLayout();
    ImGui::Spacing();
    DrawFolderRow("Export Folder", "##VrnExportDirectory", fields[2], core::WorkspacePaths.ExportFolderText,
                  "Browse##BrowseExportFolder", core::kFolderKindExport, "Select VRN export folder", core::DefaultExportsFolder(),
                  core::DefaultExportsFolder(), dialogOpen);
}

const char* DialogOpenedMessage(int32_t kind) {
    switch (kind) {
    case core::kFolderKindVrn: return "VRN folder dialog opened.";
    case core::kFolderKindImport: return "Import folder dialog opened.";
    default: return "Export folder dialog opened.";
    }
}

}  // namespace

void DrawFolderRow(const char* label, const char* inputId, FolderField& field, char (&folder)[core::kFolderTextSize],
                   const char* browseLabel, int32_t kind, const char* dialogTitle, const std::string& startFolder,
                   const std::string& defaultFolder, bool dialogOpen) {
    // A folder set another way (the dialog, "Default", a reset, the start)
    // replaces what the field shows, a refused path too.
    if (!field.shown || field.shownFolder != folder) {
        field.text = field.shownFolder = folder;
        field.shown = true;
        field.tooLong = false;
    }
    ImGui::TextUnformatted(label);
    ImGui::SetNextItemWidth(std::max(ImGui::GetContentRegionAvail().x - 176.0f, 160.0f));
    if (ImGui::InputText(inputId, &field.text)) {
        field.tooLong = !core::CopyFolderText(folder, field.text);
        if (field.tooLong) {
            core::UiSettings.SettingsStatusLine = std::string(label) + " not taken: folder path too long: " + field.text;
        } else {
            field.shownFolder = folder;
        }
    }

    ImGui::SameLine();
    ImGui::BeginDisabled(dialogOpen);
    if (ColouredButton(browseLabel, ImVec2(76.0f, 22.0f), kFolderColours) &&
        core::SelectFolderDialog(kind, dialogTitle, startFolder))
        core::UiSettings.SettingsStatusLine = DialogOpenedMessage(kind);
    ImGui::SameLine();
    const std::string defaultLabel = std::string("Default##") + inputId;
    ImGui::BeginDisabled(core::SamePath(field.text, defaultFolder));
    if (ColouredButton(defaultLabel.c_str(), ImVec2(84.0f, 22.0f), kFolderColours)) {
        core::RestoreDefaultFolder(kind);
        field.shown = false;
    }
    ImGui::EndDisabled();
    ImGui::EndDisabled();
}

void DrawHotkeyCombo(const char* label, core::SharedValue<uint32_t>& index) {
    if (index >= core::BeforeAfterHotkeyTable.size()) index = 0;
    if (core::UiSettings.MenuHotkey >= core::MenuHotkeyTable.size()) core::UiSettings.MenuHotkey = core::kDefaultMenuHotkey;
    const uint32_t menuKey = core::MenuHotkeyTable[core::UiSettings.MenuHotkey].virtualKey;
    const uint32_t current = index;
    ImGui::TextUnformatted(label);
    ImGui::SetNextItemWidth(-FLT_MIN);
    const std::string id = std::string("##") + label;
    if (!ImGui::BeginCombo(id.c_str(), core::BeforeAfterHotkeyTable[current].name)) return;
    for (uint32_t row = 0; row < core::BeforeAfterHotkeyTable.size(); ++row) {
        const uint32_t key = core::BeforeAfterHotkeyTable[row].virtualKey;
        const bool selected = row == current;
        ImGui::BeginDisabled(key != 0 && key == menuKey);
        if (ImGui::Selectable(core::BeforeAfterHotkeyTable[row].name, selected)) {
            index = row;
            core::ClearDuplicateHotkey(key, &index);
        }
        if (selected) ImGui::SetItemDefaultFocus();
        ImGui::EndDisabled();
    }
    ImGui::EndCombo();
}

void ResetSettingsToDefaults(float displayWidth, float displayHeight) {
    const core::MainWindowSize size = core::DefaultMainWindowSize(displayWidth, displayHeight);
    core::UiSettings.UIScale = core::kDefaultUIScale;
    core::UiSettings.UIOpacity = core::kDefaultUIOpacity;
    core::UiSettings.MenuWidth = size.width;
    core::UiSettings.MenuHeight = size.height;
    core::UiSettings.WindowSizeFromIni = false;
    MainWindow.MainWindowSizeFitted = true;

    core::UiSettings.MenuHotkey = core::kDefaultMenuHotkey;
    core::UiSettings.TimecycleBeforeAfterHotkey = 0;
    core::UiSettings.VisualSettingsBeforeAfterHotkey = 0;
    core::UiSettings.BothBeforeAfterHotkey = 0;
    core::UiSettings.AllLiveBeforeAfterHotkey = 0;

    // The game controls, the free camera's speeds and the timelapse checkbox.
    const bool timelapseWasRunning = core::GameControlFlags.TimelapseEnabled;
    core::ResetGameControlSettings();
    core::UiSettings.FPSCounter = false;
    core::UiSettings.ShowFPSWhenClosed = true;

    core::AdoptVrnFolder(core::DefaultVrnFolder());
    ResetSettingsTab();
    ResetFpsCounters();

    // A running timelapse stops as by its checkbox: the game clock is let go.
    core::UiSettings.TimecycleTimelapseSpeed = core::kDefaultTimelapseSpeed;
    if (timelapseWasRunning) game::TimelapseSwitched(false);
    else game::ResetTimelapseState();

    // A failed save keeps its own message.
    if (core::SaveSettings()) core::UiSettings.SettingsStatusLine = "Default settings restored.";
    ResizeMainWindow();
}

void DrawSettingsPanel() {
    core::SaveFolderSelection();
    if (ImGui::BeginChild("##settings_skeleton_panel", ImVec2(0.0f, 0.0f), ImGuiChildFlags_Borders)) {
        ImGui::TextUnformatted("Settings");
        ImGui::Separator();
        ImGui::Spacing();

        if (ColouredButton("Save settings", ImVec2(132.0f, 28.0f), kSaveColours)) {
            const FolderField* refused = nullptr;
            for (const FolderField& field : SettingsTab.folders)
                if (field.tooLong && !refused) refused = &field;
            if (refused) {
                core::UiSettings.SettingsStatusLine = "VRN.ini not saved: folder path too long: " + refused->text;
            } else {
                core::SaveSettings();
            }
        }
        ImGui::SameLine();
        const ImVec2 display = ImGui::GetIO().DisplaySize;
        ImGui::BeginDisabled(!core::SettingsDifferFromDefaults(display.x, display.y));
        if (ColouredButton("Reset defaults", ImVec2(132.0f, 28.0f), kResetColours))
            ResetSettingsToDefaults(display.x, display.y);
        ImGui::EndDisabled();

        const std::string status = core::SettingsStatusText();
        if (!status.empty()) {
            ImGui::Spacing();
            ImGui::PushStyleColor(ImGuiCol_Text, kStatusColour);
            ImGui::TextWrapped("%s", status.c_str());
            ImGui::PopStyleColor();
        }

        DrawLayout();
        DrawHotkeys();
        DrawGameControls();
        DrawFolders();
    }
    ImGui::EndChild();
}

}  // namespace ui
