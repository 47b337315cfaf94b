// CPU time of one headless UI frame of the Weather tab with every weather
// document loaded: the weather.xml panel with both trees open, a render file
// chosen (its values in the detail table), the lightning and watertune
// panels; the UI's new frame, the tab, and its render (vertex generation).
// The peer is the Settings tab in the same run.
#include <benchmark/benchmark.h>

#include <imgui.h>

#include "platform/simulated.h"
#include "support/imgui_harness.h"
#include "support/synthetic_image.h"
#include "support/weather_game.h"
#include "ui/settings_tab.h"
#include "ui/theme.h"
#include "ui/weather_tab.h"
#include "weather/live_state.h"

namespace {

void InWindow(void (*draw)()) {
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(1200.0f, 2000.0f), ImGuiCond_Always);
    ImGui::Begin("Varnel");
    draw();
    ImGui::End();
}

void BM_WeatherTabEveryDocumentLoaded(benchmark::State& state) {
    testsupport::ImGuiHarness ui(ImVec2(1920.0f, 2100.0f));
    ui::ApplyUiStyleMetrics();
    ui::ApplyUiStyleColours();
    weather::ResetWeatherLiveState();
    ui::ResetWeatherTabState();
    testsupport::SyntheticImage image;
    testsupport::PlantAndLoadEveryDocument(image);
    ui::WeatherTab.RenderFileSelected = 1;
    ui::WeatherTab.SelectedRenderFileIndex = 17;
    const auto draw = [] { InWindow(ui::DrawWeatherTab); };
    ui.Frames(2, draw);
    if (!ui.ClickItem("WeatherGpuFx", draw) || !ui.ClickItem("WeatherTypes", draw)) state.SkipWithError("no trees");
    for (auto _ : state) ui.Frame(draw);
    weather::ResetWeatherLiveState();
    weather::ReleaseWeatherDocuments();
}

void BM_SettingsTabPeer(benchmark::State& state) {
    testsupport::ImGuiHarness ui(ImVec2(1920.0f, 2100.0f));
    ui::ApplyUiStyleMetrics();
    ui::ApplyUiStyleColours();
    const auto draw = [] { InWindow(ui::DrawSettingsPanel); };
    ui.Frames(2, draw);
    for (auto _ : state) ui.Frame(draw);
}

BENCHMARK(BM_WeatherTabEveryDocumentLoaded)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SettingsTabPeer)->Unit(benchmark::kMicrosecond);

}  // namespace
