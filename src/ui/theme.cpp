#include "ui/theme.h"

#include <imgui.h>

namespace ui {
namespace {

struct ColourRow {
    ImGuiCol id;
    ImVec4 value;
};

// The base palette (what remains of it after ApplyUiStyleColours).
constexpr ColourRow kMetricsColours[] = {
    {ImGuiCol_TextDisabled, {0.49f, 0.55f, 0.58f, 1.00f}},
    {ImGuiCol_PopupBg, {0.10f, 0.12f, 0.13f, 0.98f}},
    {ImGuiCol_Border, {0.25f, 0.30f, 0.33f, 0.80f}},
    {ImGuiCol_ScrollbarBg, {0.08f, 0.10f, 0.11f, 1.00f}},
    {ImGuiCol_ScrollbarGrab, {0.22f, 0.27f, 0.30f, 1.00f}},
    {ImGuiCol_ScrollbarGrabHovered, {0.28f, 0.35f, 0.39f, 1.00f}},
    {ImGuiCol_ScrollbarGrabActive, {0.35f, 0.44f, 0.50f, 1.00f}},
    {ImGuiCol_CheckMark, {0.94f, 0.68f, 0.28f, 1.00f}},
};

constexpr ColourRow kThemeColours[] = {
    {ImGuiCol_Text, {0.96f, 0.92f, 0.90f, 1.00f}},
    {ImGuiCol_WindowBg, {0.14f, 0.10f, 0.10f, 0.95f}},
    {ImGuiCol_ChildBg, {0.18f, 0.13f, 0.13f, 0.95f}},
    {ImGuiCol_FrameBg, {0.24f, 0.17f, 0.17f, 1.00f}},
    {ImGuiCol_FrameBgHovered, {0.85f, 0.35f, 0.35f, 0.40f}},
    {ImGuiCol_FrameBgActive, {0.85f, 0.35f, 0.35f, 0.60f}},
    {ImGuiCol_TitleBg, {0.14f, 0.10f, 0.10f, 1.00f}},
    {ImGuiCol_TitleBgActive, {0.18f, 0.13f, 0.13f, 1.00f}},
    {ImGuiCol_SliderGrab, {0.85f, 0.35f, 0.35f, 1.00f}},
    {ImGuiCol_SliderGrabActive, {0.95f, 0.45f, 0.45f, 1.00f}},
    {ImGuiCol_Button, {0.85f, 0.35f, 0.35f, 0.80f}},
    {ImGuiCol_ButtonHovered, {0.90f, 0.40f, 0.40f, 1.00f}},
    {ImGuiCol_ButtonActive, {0.95f, 0.45f, 0.45f, 1.00f}},
    {ImGuiCol_Header, {0.85f, 0.35f, 0.35f, 0.70f}},
    {ImGuiCol_HeaderHovered, {0.90f, 0.40f, 0.40f, 0.80f}},
    {ImGuiCol_HeaderActive, {0.95f, 0.45f, 0.45f, 0.90f}},
    {ImGuiCol_Separator, {0.85f, 0.35f, 0.35f, 0.80f}},
    {ImGuiCol_SeparatorHovered, {0.85f, 0.45f, 0.42f, 0.82f}},
    {ImGuiCol_SeparatorActive, {0.85f, 0.50f, 0.46f, 0.92f}},
    {ImGuiCol_TabHovered, {0.85f, 0.35f, 0.35f, 0.80f}},
    {ImGuiCol_Tab, {0.24f, 0.17f, 0.17f, 1.00f}},
    {ImGuiCol_TabSelected, {0.85f, 0.35f, 0.35f, 1.00f}},
    {ImGuiCol_TableBorderStrong, {0.31f, 0.22f, 0.22f, 0.72f}},
    {ImGuiCol_TableBorderLight, {0.26f, 0.18f, 0.18f, 0.52f}},
};

void ApplyColours(const ColourRow* rows, size_t count) {
    ImGuiStyle& style = ImGui::GetStyle();
    for (size_t i = 0; i < count; ++i) style.Colors[rows[i].id] = rows[i].value;
}

}  // namespace

void ApplyUiStyleMetrics() {
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowPadding = ImVec2(14.0f, 12.0f);
    style.WindowRounding = 6.0f;
    style.WindowBorderSize = 1.0f;
    style.FramePadding = ImVec2(9.0f, 5.0f);
    style.FrameRounding = 4.0f;
    style.FrameBorderSize = 0.0f;
    style.ItemSpacing = ImVec2(10.0f, 8.0f);
    style.ItemInnerSpacing = ImVec2(8.0f, 5.0f);
    style.ScrollbarRounding = 5.0f;
    style.GrabRounding = 4.0f;
    ApplyColours(kMetricsColours, sizeof(kMetricsColours) / sizeof(kMetricsColours[0]));
}

void ApplyUiStyleColours() {
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowRounding = 8.0f;
    style.ChildRounding = 6.0f;
    style.PopupRounding = 6.0f;
    style.FrameRounding = 6.0f;
    style.GrabRounding = 6.0f;
    ApplyColours(kThemeColours, sizeof(kThemeColours) / sizeof(kThemeColours[0]));
}

bool PushToggleButtonColors(bool on) {
    if (on) {
        ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.50f, 0.17f, 0.16f, 1.00f));
        ImGui::PushStyleColor(ImGuiCol_ButtonHovered, ImVec4(0.66f, 0.22f, 0.20f, 1.00f));
        ImGui::PushStyleColor(ImGuiCol_ButtonActive, ImVec4(0.76f, 0.28f, 0.25f, 1.00f));
        ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(1.00f, 0.92f, 0.90f, 1.00f));
    } else {
        const ImVec4 inert(0.11f, 0.12f, 0.13f, 1.00f);
        ImGui::PushStyleColor(ImGuiCol_Button, inert);
        ImGui::PushStyleColor(ImGuiCol_ButtonHovered, inert);
        ImGui::PushStyleColor(ImGuiCol_ButtonActive, inert);
        ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(0.40f, 0.43f, 0.45f, 1.00f));
    }
    const bool clicked = ImGui::SmallButton("R");
    ImGui::PopStyleColor(4);
    return on && clicked;
}

}  // namespace ui
