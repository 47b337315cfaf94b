#include "ui/main_window.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>

#include "core/editor_state.h"
#include "game/before_after.h"
#include "platform/clock.h"
#include "ui/fonts.h"
#include "ui/settings_tab.h"
#include "ui/timecycle_mods_tab.h"
#include "ui/timecycles_tab.h"
#include "ui/visualsettings_tab.h"
#include "ui/weather_tab.h"

namespace ui {

MainWindowState MainWindow;

namespace {

const ImVec4 kAccent(0.95f, 0.45f, 0.45f, 1.00f);
constexpr uint64_t kFpsRefreshMs = 500;

void DrawFpsOverlay(const ImGuiIO& io) {
    const float ms = io.DeltaTime > 0.0f ? io.DeltaTime * 1000.0f : 0.0f;
    if (std::isfinite(ms) && ms > 0.0f) MainWindow.FpsAverageMs = SmoothedFrameTimeMs(MainWindow.FpsAverageMs, ms);
    ImGui::SetNextWindowBgAlpha(0.38f);
    ImGui::SetNextWindowPos(ImVec2(14.0f, 14.0f), ImGuiCond_Always, ImVec2(0.0f, 0.0f));
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                   ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoCollapse |
                                   ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoSavedSettings |
                                   ImGuiWindowFlags_NoMouseInputs | ImGuiWindowFlags_NoFocusOnAppearing |
                                   ImGuiWindowFlags_NoNavInputs | ImGuiWindowFlags_NoNavFocus;
    if (ImGui::Begin("##vrn_fps_overlay", nullptr, flags)) {
        const float fps = ms > 0.0f ? 1000.0f / ms : io.Framerate;
        const float average = MainWindow.FpsAverageMs > 0.0f ? 1000.0f / MainWindow.FpsAverageMs : 0.0f;
        const uint64_t now = platform::TickCount64();
        if (MainWindow.FpsShownStamp == 0 || now < MainWindow.FpsShownStamp || now - MainWindow.FpsShownStamp >= kFpsRefreshMs) {
            MainWindow.FpsShownFps = fps;
            MainWindow.FpsShownAverage = average;
            MainWindow.FpsShownStamp = now;
        }
        ImGui::Text("FPS %.0f", static_cast<double>(MainWindow.FpsShownFps));
        ImGui::Text("Avg %.0f FPS", static_cast<double>(MainWindow.FpsShownAverage));
    }
    ImGui::End();
}

void DrawHeader() {
    ImGui::PushID("vrn_header");
    ImFont* header = CurrentHeaderFont();
    if (header != nullptr) ImGui::PushFont(header, header->LegacySize);
    ImGui::TextColored(kAccent, "V.R.N.");
    if (header != nullptr) ImGui::PopFont();
    ImGui::SameLine();
    ImGui::AlignTextToFramePadding();
    ImGui::TextColored(kAccent, "for GTA 5 Enhanced");
    ImGui::Separator();
    ImGui::PopID();
}

void DrawTabs() {
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(8.0f, 6.0f));
    if (ImGui::BeginTabBar("MainTabs")) {
        // Each editor's panel is drawn inside its tab while that tab is selected.
        if (ImGui::BeginTabItem("Timecycles")) {
            DrawTimecyclesTab();
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Timecycle Mods")) {
            DrawTimecycleModsTab();
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Visualsettings")) {
            DrawVisualSettingsTab();
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Weather")) {
            DrawWeatherTab();
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Misc")) {
            DrawMiscTab();
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Settings")) {
            DrawSettingsTab();
            ImGui::EndTabItem();
        }
        ImGui::EndTabBar();
    }
    ImGui::PopStyleVar();
}

}  // namespace

float SmoothedFrameTimeMs(float averageMs, float frameMs) {
    if (averageMs <= 0.0f) return frameMs;
    return 0.015f * frameMs + 0.985f * averageMs;
}

MainWindowLimits MainWindowLimitsFor(float displayWidth, float displayHeight) {
    MainWindowLimits limits;
    limits.maxWidth = std::min(displayWidth - 20.0f > 240.0f ? displayWidth - 20.0f : 240.0f, 1200.0f);
    limits.maxHeight = std::min(displayHeight - 20.0f > 320.0f ? displayHeight - 20.0f : 320.0f, 2200.0f);
    limits.minWidth = std::min(limits.maxWidth, 540.0f);
    limits.minHeight = std::min(limits.maxHeight, 520.0f);
    return limits;
}

core::MainWindowSize ClampMainWindowSize(core::MainWindowSize size, const MainWindowLimits& limits) {
    core::MainWindowSize out;
    out.width = limits.minWidth > size.width ? limits.minWidth : std::min(limits.maxWidth, size.width);
    out.height = limits.minHeight > size.height ? limits.minHeight : std::min(limits.maxHeight, size.height);
    return out;
}

MainWindowPos MainWindowOpenPosition(float displayWidth, float displayHeight, core::MainWindowSize size) {
    const float roomX = displayWidth - size.width;
    const float roomY = displayHeight - size.height;
    return MainWindowPos{std::min(roomX > 0.0f ? roomX : 0.0f, 70.0f), std::min(roomY > 0.0f ? roomY : 0.0f, 30.0f)};
}

void ResetMainWindowState() {
    MainWindow.MainWindowShown = false;
    MainWindow.MainWindowSizeFitted = false;
    MainWindow.MainWindowDisplayWidth = 0.0f;
    MainWindow.MainWindowDisplayHeight = 0.0f;
    ResetFpsCounters();
}

void ResetFpsCounters() {
    MainWindow.FpsAverageMs = 0.0f;
    MainWindow.FpsShownFps = 0.0f;
    MainWindow.FpsShownAverage = 0.0f;
    MainWindow.FpsShownStamp = 0;
}

void DrawMainWindow() {
    ImGuiIO& io = ImGui::GetIO();
    ImGuiStyle& style = ImGui::GetStyle();
    const float opacity = core::UiSettings.UIOpacity;
    style.FontScaleMain = core::UiSettings.UIScale;
    style.Colors[ImGuiCol_WindowBg].w = opacity;
    style.Colors[ImGuiCol_ChildBg].w = opacity;
    style.Colors[ImGuiCol_FrameBg].w = opacity;

    // The before/after hotkeys stay quiet while a text field takes the keys.
    game::BeforeAfter.UiTakingTextInput.Set(io.WantTextInput ? 1 : 0);

    const bool menuOpen = core::Editor.MenuOpen.Get() != 0;
    if (core::UiSettings.FPSCounter && (menuOpen || core::UiSettings.ShowFPSWhenClosed)) DrawFpsOverlay(io);

    const ImVec2 display = io.DisplaySize;
    if (!menuOpen) {
        MainWindow.MainWindowDisplayWidth = display.x;
        MainWindow.MainWindowDisplayHeight = display.y;
        MainWindow.MainWindowShown = false;
        return;
    }

    const bool displayChanged = std::fabs(display.x - MainWindow.MainWindowDisplayWidth) > 1.0f ||
                                std::fabs(display.y - MainWindow.MainWindowDisplayHeight) > 1.0f;
    core::MainWindowSize size{core::UiSettings.MenuWidth, core::UiSettings.MenuHeight};
    if (!MainWindow.MainWindowShown && !core::UiSettings.WindowSizeFromIni && !MainWindow.MainWindowSizeFitted) {
        size = core::DefaultMainWindowSize(display.x, display.y);
        core::UiSettings.MenuWidth = size.width;
        core::UiSettings.MenuHeight = size.height;
        MainWindow.MainWindowSizeFitted = true;
    }
    const core::MainWindowSize clamped = ClampMainWindowSize(size, MainWindowLimitsFor(display.x, display.y));
    bool wasClamped = false;
    if (std::fabs(clamped.width - size.width) > 0.5f || std::fabs(clamped.height - size.height) > 0.5f) {
        core::UiSettings.MenuWidth = clamped.width;
        core::UiSettings.MenuHeight = clamped.height;
        size = clamped;
        wasClamped = true;
    }
    if (!MainWindow.MainWindowShown || displayChanged || wasClamped) {
        const MainWindowPos pos = MainWindowOpenPosition(display.x, display.y, size);
        ImGui::SetNextWindowPos(ImVec2(pos.x, pos.y), ImGuiCond_Always, ImVec2(0.0f, 0.0f));
    }
    ImGui::SetNextWindowSize(ImVec2(size.width, size.height), ImGuiCond_Always);
    ImGui::SetNextWindowBgAlpha(opacity);

    bool open = true;
    const bool visible = ImGui::Begin("Varnel", &open, ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings);
    if (!open) core::Editor.MenuOpen.Set(0);
    if (visible) {
        MainWindow.MainWindowDisplayWidth = display.x;
        MainWindow.MainWindowDisplayHeight = display.y;
        MainWindow.MainWindowShown = true;
        DrawHeader();
        DrawTabs();
    }
    ImGui::End();
}

}  // namespace ui
