#include "ui/param_rows.h"

#include <imgui.h>


namespace ui {

namespace {

const ImVec4 kEditedOrange(1.0f, 0.68f, 0.18f, 1.0f);
constexpr float kResetButtonSize = 18.0f;

}  // namespace

void DrawParamLabel() {
    ImGui::SameLine();
    const ImVec2 at = ImGui::GetCursorScreenPos();
    const float size = ImGui::GetFontSize();
    ImGui::Dummy(ImVec2(ImGui::CalcTextSize("*").x + 7.0f, size));
    ImGui::GetWindowDrawList()->AddText(ImGui::GetFont(), size + 4.0f, ImVec2(at.x, at.y - 2.0f),
                                        ImGui::GetColorU32(kEditedOrange), "*");
}

bool DrawResetParamButton(uint8_t shown) {
    if (shown == 0) return false;
    ImGui::SameLine();
    const float x = ImGui::GetCursorPosX();
    const float right = x + ImGui::GetContentRegionAvail().x - kResetButtonSize;
    if (right > x) ImGui::SetCursorPosX(right);
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(2.0f, 1.0f));
    ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(1.0f, 1.0f, 1.0f, 0.05f));
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, ImVec4(1.0f, 0.72f, 0.28f, 0.18f));
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, ImVec4(1.0f, 0.72f, 0.28f, 0.28f));
    ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(0.82f, 0.82f, 0.82f, 0.85f));
    const bool clicked = ImGui::Button("R##reset_param", ImVec2(kResetButtonSize, kResetButtonSize));
    ImGui::PopStyleColor(4);
    ImGui::PopStyleVar();
    return clicked;
}

}  // namespace ui
