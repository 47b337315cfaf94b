// The overlay's style and colour theme, and the per-row revert button.
#include <gtest/gtest.h>

#include <imgui_internal.h>

#include "shell/theme.h"
#include "support/imgui_harness.h"

namespace {

void ExpectColour(ImGuiCol id, float r, float g, float b, float a, const char* name) {
    const ImVec4 c = ImGui::GetStyle().Colors[id];
    EXPECT_FLOAT_EQ(c.x, r) << name;
    EXPECT_FLOAT_EQ(c.y, g) << name;
    EXPECT_FLOAT_EQ(c.z, b) << name;
    EXPECT_FLOAT_EQ(c.w, a) << name;
}

void ExpectVec(ImVec2 v, float x, float y, const char* name) {
    EXPECT_EQ(v.x, x) << name;
    EXPECT_EQ(v.y, y) << name;
}

TEST(Theme, MetricsThenColoursGiveTheEditorsStyle) {
    testsupport::ImGuiHarness ui;
    const ImGuiStyle defaults = ImGui::GetStyle();
    shell::ApplyUiStyleMetrics();
    shell::ApplyUiStyleColours();
    const ImGuiStyle& s = ImGui::GetStyle();
    ExpectVec(s.WindowPadding, 14, 12, "WindowPadding");
    EXPECT_EQ(s.WindowRounding, 8.0f);
    EXPECT_EQ(s.WindowBorderSize, 1.0f);
    EXPECT_EQ(s.ChildRounding, 6.0f);
    EXPECT_EQ(s.PopupRounding, 6.0f);
    ExpectVec(s.FramePadding, 9, 5, "FramePadding");
    EXPECT_EQ(s.FrameRounding, 6.0f);
    EXPECT_EQ(s.FrameBorderSize, 0.0f);
    ExpectVec(s.ItemSpacing, 10, 8, "ItemSpacing");
    ExpectVec(s.ItemInnerSpacing, 8, 5, "ItemInnerSpacing");
    EXPECT_EQ(s.ScrollbarRounding, 5.0f);
    EXPECT_EQ(s.GrabRounding, 6.0f);
    EXPECT_EQ(s.IndentSpacing, defaults.IndentSpacing) << "fields not named keep the dark default";

#define COLOUR(name, r, g, b, a) ExpectColour(ImGuiCol_##name, r, g, b, a, #name)
    COLOUR(Text, 0.96f, 0.92f, 0.90f, 1.00f);
    COLOUR(TextDisabled, 0.49f, 0.55f, 0.58f, 1.00f);
    COLOUR(WindowBg, 0.14f, 0.10f, 0.10f, 0.95f);
    COLOUR(ChildBg, 0.18f, 0.13f, 0.13f, 0.95f);
    COLOUR(PopupBg, 0.10f, 0.12f, 0.13f, 0.98f);
    COLOUR(Border, 0.25f, 0.30f, 0.33f, 0.80f);
    COLOUR(FrameBg, 0.24f, 0.17f, 0.17f, 1.00f);
    COLOUR(FrameBgHovered, 0.85f, 0.35f, 0.35f, 0.40f);
    COLOUR(FrameBgActive, 0.85f, 0.35f, 0.35f, 0.60f);
    COLOUR(TitleBg, 0.14f, 0.10f, 0.10f, 1.00f);
    COLOUR(TitleBgActive, 0.18f, 0.13f, 0.13f, 1.00f);
    COLOUR(ScrollbarBg, 0.08f, 0.10f, 0.11f, 1.00f);
    COLOUR(ScrollbarGrab, 0.22f, 0.27f, 0.30f, 1.00f);
    COLOUR(ScrollbarGrabHovered, 0.28f, 0.35f, 0.39f, 1.00f);
    COLOUR(ScrollbarGrabActive, 0.35f, 0.44f, 0.50f, 1.00f);
    COLOUR(CheckMark, 0.94f, 0.68f, 0.28f, 1.00f);
    COLOUR(SliderGrab, 0.85f, 0.35f, 0.35f, 1.00f);
    COLOUR(SliderGrabActive, 0.95f, 0.45f, 0.45f, 1.00f);
    COLOUR(Button, 0.85f, 0.35f, 0.35f, 0.80f);
    COLOUR(ButtonHovered, 0.90f, 0.40f, 0.40f, 1.00f);
    COLOUR(ButtonActive, 0.95f, 0.45f, 0.45f, 1.00f);
    COLOUR(Header, 0.85f, 0.35f, 0.35f, 0.70f);
    COLOUR(HeaderHovered, 0.90f, 0.40f, 0.40f, 0.80f);
    COLOUR(HeaderActive, 0.95f, 0.45f, 0.45f, 0.90f);
    COLOUR(Separator, 0.85f, 0.35f, 0.35f, 0.80f);
    COLOUR(SeparatorHovered, 0.85f, 0.45f, 0.42f, 0.82f);
    COLOUR(SeparatorActive, 0.85f, 0.50f, 0.46f, 0.92f);
    COLOUR(TabHovered, 0.85f, 0.35f, 0.35f, 0.80f);
    COLOUR(Tab, 0.24f, 0.17f, 0.17f, 1.00f);
    COLOUR(TabSelected, 0.85f, 0.35f, 0.35f, 1.00f);
    COLOUR(TableBorderStrong, 0.31f, 0.22f, 0.22f, 0.72f);
    COLOUR(TableBorderLight, 0.26f, 0.18f, 0.18f, 0.52f);
#undef COLOUR
    const ImVec4 resize = s.Colors[ImGuiCol_ResizeGrip];
    EXPECT_EQ(resize.w, defaults.Colors[ImGuiCol_ResizeGrip].w) << "colours not named keep the dark default";
}

TEST(Theme, RevertButtonReportsAClickOnlyWhileOnAndLeavesTheColourStackAlone) {
    testsupport::ImGuiHarness ui;
    bool on = true;
    int clicks = 0;
    int stackDepthAfter = -1;
    auto draw = [&] {
        ImGui::Begin("Rows");
        const int depth = ImGui::GetCurrentContext()->ColorStack.Size;
        if (shell::PushToggleButtonColors(on)) ++clicks;
        stackDepthAfter = ImGui::GetCurrentContext()->ColorStack.Size - depth;
        ImGui::End();
    };
    ui.Frame(draw);
    EXPECT_EQ(stackDepthAfter, 0);
    ASSERT_TRUE(ui.ClickItem("R", draw));
    EXPECT_EQ(clicks, 1);
    on = false;
    ui.Frame(draw);
    EXPECT_EQ(stackDepthAfter, 0);
    ASSERT_TRUE(ui.ClickItem("R", draw));
    EXPECT_EQ(clicks, 1) << "a click while off does nothing";
}

}  // namespace
