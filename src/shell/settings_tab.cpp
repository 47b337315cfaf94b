#include "shell/settings_tab.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <imgui.h>

#include "host/clock_timelapse.h"
#include "shell/file_utils.h"
#include "shell/folder_picker.h"
#include "shell/game_control_settings.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "shell/workspace.h"

namespace shell {
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
    ImGui::SetWindowSize(kMainWindowTitle, ImVec2(UiSettings.MenuWidth, UiSettings.MenuHeight));
}

// A label line, then a full-width slider over a shared value.
bool LabelledSlider(const char* label, const char* id, SharedValue<float>& value, float min, float max,
                    const char* format) {
    ImGui::TextUnformatted(label);
    ImGui::SetNextItemWidth(-FLT_MIN);
    float v = value;
    if (!ImGui::SliderFloat(id, &v, min, max, format)) return false;
    value = v;
    return true;
}

bool SharedCheckbox(const char* label, SharedValue<bool>& value) {
    bool v = value;
    if (!ImGui::Checkbox(label, &v)) return false;
    value = v;
    return true;
}

void DrawLayout() {
    if (!ImGui::CollapsingHeader("Layout##settings_layout_v2")) return;
    LabelledSlider("UI Scale", "##UIScale", UiSettings.UIScale, 0.5f, 2.0f, "%.2f");
    LabelledSlider("UI Opacity", "##UIOpacity", UiSettings.UIOpacity, 0.2f, 1.0f, "%.2f");
    // A size set here is the user's: it is kept over display changes and saved.
    if (LabelledSlider("Window Width", "##MenuWidth", UiSettings.MenuWidth, 540.0f, 1200.0f, "%.0f") |
        LabelledSlider("Window Height", "##MenuHeight", UiSettings.MenuHeight, 520.0f, 2200.0f, "%.0f")) {
        WindowSizeFromIni = true;
        ResizeMainWindow();
    }
    SharedCheckbox("Show FPS Counter", UiSettings.FPSCounter);
    SharedCheckbox("Show FPS When Menu Is Closed", UiSettings.ShowFPSWhenClosed);
    if (ImGui::SmallButton("Reset FPS")) ResetFpsCounters();
}

void DrawHotkeys() {
    if (!ImGui::CollapsingHeader("Hotkeys##settings_hotkeys_v2")) return;
    if (UiSettings.MenuHotkey >= MenuHotkeyTable.size()) UiSettings.MenuHotkey = kDefaultMenuHotkey;
    const uint32_t current = UiSettings.MenuHotkey;
    ImGui::TextUnformatted("Menu Hotkey");
    ImGui::SetNextItemWidth(-FLT_MIN);
    if (ImGui::BeginCombo("##MenuHotkey", MenuHotkeyTable[current].name)) {
        for (uint32_t row = 0; row < MenuHotkeyTable.size(); ++row) {
            const bool selected = row == current;
            if (ImGui::Selectable(MenuHotkeyTable[row].name, selected)) {
                UiSettings.MenuHotkey = row;
                ClearDuplicateHotkey(MenuHotkeyTable[row].virtualKey, nullptr);
            }
            if (selected) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    ImGui::Spacing();
    DrawHotkeyCombo("Timecycle before / after hotkey", UiSettings.TimecycleBeforeAfterHotkey);
    DrawHotkeyCombo("visualsettings.dat before / after hotkey", UiSettings.VisualSettingsBeforeAfterHotkey);
    DrawHotkeyCombo("Timecycle + visualsettings hotkey", UiSettings.BothBeforeAfterHotkey);
    DrawHotkeyCombo("All live before / after hotkey", UiSettings.AllLiveBeforeAfterHotkey);
}

void DrawTimelapse() {
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse;
    if (ImGui::BeginChild("##timecycle_timelapse_panel", ImVec2(0.0f, 44.0f), ImGuiChildFlags_Borders, flags)) {
        bool enabled = TimelapseEnabled;
        if (ImGui::Checkbox("Timelapse", &enabled)) {
            TimelapseEnabled = enabled;
            host::TimelapseSwitched(enabled);
        }
        ImGui::SameLine(0.0f, 14.0f);
        ImGui::SetNextItemWidth(220.0f);
        float speed = UiSettings.TimecycleTimelapseSpeed;
        if (ImGui::SliderFloat("Speed##TimecycleTimelapseSpeed", &speed, 1.0f, 3600.0f, "x%.0f",
                               ImGuiSliderFlags_Logarithmic))
            UiSettings.TimecycleTimelapseSpeed = speed;
        ImGui::SameLine(0.0f, 14.0f);
        const double clock = host::TimelapseClockSeconds.load();
        ImGui::Text("Clock %02d:%02d", static_cast<int>(host::ClockHourOf(clock)),
                    static_cast<int>(host::ClockMinuteOf(clock)));
    }
    ImGui::EndChild();
}

void DrawGameControls() {
    if (!ImGui::CollapsingHeader("Game Controls##settings_game_controls_v2")) return;
    bool hudDisabled = !GameControlFlags.GameHudVisible;
    if (ImGui::Checkbox("Disable HUD", &hudDisabled)) GameControlFlags.GameHudVisible = !hudDisabled;
    SharedCheckbox("Disable Idle Camera", GameControlFlags.DisableIdleCamera);
    SharedCheckbox("Disable Pedestrians", GameControlFlags.DisablePedestrians);
    SharedCheckbox("Disable Vehicles", GameControlFlags.DisableVehicles);
    SharedCheckbox("Blackout Mode", GameControlFlags.BlackoutMode);
    ImGui::TextUnformatted("Free Camera");
    SharedCheckbox("Enable Free Cam", GameControlFlags.FreeCamEnabled);
    LabelledSlider("Speed", "##FreeCamSpeed", FreeCamSpeed, 0.5f, 100.0f, "%.1f");
    LabelledSlider("Mouse Sensitivity", "##FreeCamMouseSensitivity", FreeCamMouseSensitivity, 0.1f, 5.0f, "%.2f");
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
    const bool dialogOpen = FolderDialogOpen.load() != 0;
    DrawFolderRow("VRN Folder", "##VrnWorkspaceDirectory", WorkspacePaths.VrnFolderText, kFolderTextSize,
                  "Browse##BrowseVrnFolder", kFolderKindVrn, "Select VRN folder or parent folder", VrnFolder(),
                  DefaultVrnFolder(), dialogOpen);
    DrawFolderRow("Import Folder", "##TimecycleImportDirectory", WorkspacePaths.ImportFolderText, kFolderTextSize,
                  "Browse##BrowseImportFolder", kFolderKindImport, "Select VRN import folder", DefaultImportsFolder(),
                  DefaultImportsFolder(), dialogOpen);
    ImGui::Spacing();
    DrawFolderLayout();
    ImGui::Spacing();
    DrawFolderRow("Export Folder", "##VrnExportDirectory", WorkspacePaths.ExportFolderText, kFolderTextSize,
                  "Browse##BrowseExportFolder", kFolderKindExport, "Select VRN export folder", DefaultExportsFolder(),
                  DefaultExportsFolder(), dialogOpen);
}

const char* DialogOpenedMessage(int32_t kind) {
    switch (kind) {
    case kFolderKindVrn: return "VRN folder dialog opened.";
    case kFolderKindImport: return "Import folder dialog opened.";
    default: return "Export folder dialog opened.";
    }
}

}  // namespace

void DrawFolderRow(const char* label, const char* inputId, char* buffer, size_t capacity, const char* browseLabel,
                   int32_t kind, const char* dialogTitle, const std::string& startFolder,
                   const std::string& defaultFolder, bool dialogOpen) {
    ImGui::TextUnformatted(label);
    ImGui::SetNextItemWidth(std::max(ImGui::GetContentRegionAvail().x - 176.0f, 160.0f));
    ImGui::InputText(inputId, buffer, capacity);

    ImGui::SameLine();
    ImGui::BeginDisabled(dialogOpen);
    if (ColouredButton(browseLabel, ImVec2(76.0f, 22.0f), kFolderColours) &&
        SelectFolderDialog(kind, dialogTitle, startFolder))
        SettingsStatusLine = DialogOpenedMessage(kind);
    ImGui::SameLine();
    const std::string defaultLabel = std::string("Default##") + inputId;
    ImGui::BeginDisabled(SamePath(buffer, defaultFolder));
    if (ColouredButton(defaultLabel.c_str(), ImVec2(84.0f, 22.0f), kFolderColours)) RestoreDefaultFolder(kind);
    ImGui::EndDisabled();
    ImGui::EndDisabled();
}

void DrawHotkeyCombo(const char* label, SharedValue<uint32_t>& index) {
    if (index >= BeforeAfterHotkeyTable.size()) index = 0;
    if (UiSettings.MenuHotkey >= MenuHotkeyTable.size()) UiSettings.MenuHotkey = kDefaultMenuHotkey;
    const uint32_t menuKey = MenuHotkeyTable[UiSettings.MenuHotkey].virtualKey;
    const uint32_t current = index;
    ImGui::TextUnformatted(label);
    ImGui::SetNextItemWidth(-FLT_MIN);
    const std::string id = std::string("##") + label;
    if (!ImGui::BeginCombo(id.c_str(), BeforeAfterHotkeyTable[current].name)) return;
    for (uint32_t row = 0; row < BeforeAfterHotkeyTable.size(); ++row) {
        const uint32_t key = BeforeAfterHotkeyTable[row].virtualKey;
        const bool selected = row == current;
        ImGui::BeginDisabled(key != 0 && key == menuKey);
        if (ImGui::Selectable(BeforeAfterHotkeyTable[row].name, selected)) {
            index = row;
            ClearDuplicateHotkey(key, &index);
        }
        if (selected) ImGui::SetItemDefaultFocus();
        ImGui::EndDisabled();
    }
    ImGui::EndCombo();
}

void ResetSettingsToDefaults(float displayWidth, float displayHeight) {
    const MainWindowSize size = DefaultMainWindowSize(displayWidth, displayHeight);
    UiSettings.UIScale = kDefaultUIScale;
    UiSettings.UIOpacity = kDefaultUIOpacity;
    UiSettings.MenuWidth = size.width;
    UiSettings.MenuHeight = size.height;
    WindowSizeFromIni = false;
    MainWindowSizeFitted = true;

    UiSettings.MenuHotkey = kDefaultMenuHotkey;
    UiSettings.TimecycleBeforeAfterHotkey = 0;
    UiSettings.VisualSettingsBeforeAfterHotkey = 0;
    UiSettings.BothBeforeAfterHotkey = 0;
    UiSettings.AllLiveBeforeAfterHotkey = 0;

    // The game controls, the free camera's speeds and the timelapse checkbox.
    const bool timelapseWasRunning = TimelapseEnabled;
    ResetGameControlSettings();
    UiSettings.FPSCounter = false;
    UiSettings.ShowFPSWhenClosed = true;

    AdoptVrnFolder(DefaultVrnFolder());
    ResetFpsCounters();

    // A running timelapse stops as by its checkbox: the game clock is let go.
    UiSettings.TimecycleTimelapseSpeed = kDefaultTimelapseSpeed;
    if (timelapseWasRunning) host::TimelapseSwitched(false);
    else host::ResetTimelapseState();

    // A failed save keeps its own message.
    if (SaveSettings()) SettingsStatusLine = "Default settings restored.";
    ResizeMainWindow();
}

void DrawSettingsPanel() {
    SaveFolderSelection();
    if (ImGui::BeginChild("##settings_skeleton_panel", ImVec2(0.0f, 0.0f), ImGuiChildFlags_Borders)) {
        ImGui::TextUnformatted("Settings");
        ImGui::Separator();
        ImGui::Spacing();

        if (ColouredButton("Save settings", ImVec2(132.0f, 28.0f), kSaveColours)) SaveSettings();
        ImGui::SameLine();
        const ImVec2 display = ImGui::GetIO().DisplaySize;
        ImGui::BeginDisabled(!SettingsDifferFromDefaults(display.x, display.y));
        if (ColouredButton("Reset defaults", ImVec2(132.0f, 28.0f), kResetColours))
            ResetSettingsToDefaults(display.x, display.y);
        ImGui::EndDisabled();

        const std::string status = SettingsStatusText();
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

}  // namespace shell
