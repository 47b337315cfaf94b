// CPU time of one overlay UI frame of the editor shell, headless: the UI's
// new frame, DrawMainWindow with the window open (header, tab bar, the
// selected tab's panel) and the FPS overlay, and the UI's render (vertex
// generation). The Direct3D 12 recording and the GPU are not part of it.
#include <benchmark/benchmark.h>

#include "core/editor_state.h"
#include "core/settings.h"
#include "support/imgui_harness.h"
#include "ui/main_window.h"
#include "ui/theme.h"

namespace {

void RunFrames(benchmark::State& state, bool menuOpen, const char* tab) {
    testsupport::ImGuiHarness ui;
    ui::ApplyUiStyleMetrics();
    ui::ApplyUiStyleColours();
    core::UiSettings.FPSCounter = true;
    core::Editor.MenuOpen = menuOpen ? 1 : 0;
    ui.Frames(3, ui::DrawMainWindow);
    if (tab != nullptr && !ui.ClickItem(tab, ui::DrawMainWindow)) state.SkipWithError("tab not found");
    for (auto _ : state) ui.Frame(ui::DrawMainWindow);
    core::Editor.MenuOpen = 0;
    core::UiSettings.FPSCounter = false;
}

void BM_DrawMainWindowOpen(benchmark::State& state) { RunFrames(state, true, nullptr); }
void BM_DrawMainWindowOpenSettingsTab(benchmark::State& state) { RunFrames(state, true, "Settings"); }
void BM_DrawMainWindowClosedWithFps(benchmark::State& state) { RunFrames(state, false, nullptr); }

BENCHMARK(BM_DrawMainWindowOpen)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawMainWindowOpenSettingsTab)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawMainWindowClosedWithFps)->Unit(benchmark::kMicrosecond);

}  // namespace
