// CPU time of one overlay UI frame of the editor shell, headless: the UI's
// new frame, DrawMainWindow with the window open (header, tab bar, the
// selected tab's panel) and the FPS overlay, and the UI's render (vertex
// generation). The Direct3D 12 recording and the GPU are not part of it.
#include <benchmark/benchmark.h>

#include "host/editor_state.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "shell/theme.h"
#include "support/imgui_harness.h"

namespace {

void RunFrames(benchmark::State& state, bool menuOpen, const char* tab) {
    testsupport::ImGuiHarness ui;
    shell::ApplyUiStyleMetrics();
    shell::ApplyUiStyleColours();
    shell::UiSettings.FPSCounter = true;
    host::MenuOpen = menuOpen ? 1 : 0;
    ui.Frames(3, shell::DrawMainWindow);
    if (tab != nullptr && !ui.ClickItem(tab, shell::DrawMainWindow)) state.SkipWithError("tab not found");
    for (auto _ : state) ui.Frame(shell::DrawMainWindow);
    host::MenuOpen = 0;
    shell::UiSettings.FPSCounter = false;
}

void BM_DrawMainWindowOpen(benchmark::State& state) { RunFrames(state, true, nullptr); }
void BM_DrawMainWindowOpenSettingsTab(benchmark::State& state) { RunFrames(state, true, "Settings"); }
void BM_DrawMainWindowClosedWithFps(benchmark::State& state) { RunFrames(state, false, nullptr); }

BENCHMARK(BM_DrawMainWindowOpen)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawMainWindowOpenSettingsTab)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawMainWindowClosedWithFps)->Unit(benchmark::kMicrosecond);

}  // namespace
