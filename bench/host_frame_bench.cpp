// CPU time of one overlay UI frame of the editor shell, headless: the UI's
// new frame, DrawMainWindow with the window open (header, tab bar, the
// selected tab's panel) and the FPS overlay, and the UI's render (vertex
// generation). The Direct3D 12 recording and the GPU are not part of it.
// The Timecycles tab is measured with a weather's 39 keyframe slots loaded
// and edited: every group shown in turn (one a frame), and every row listed
// at once by a search (the rows out of sight are passed over). The harness
// records every item the UI lays out, so these are upper bounds.
#include <benchmark/benchmark.h>

#include <cstring>

#include "core/editor_state.h"
#include "core/settings.h"
#include "runtime/live_slots.h"
#include "timecycle/edit_store.h"
#include "timecycle/timecycle_model.h"
#include "ui/timecycles_tab.h"
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

// Every slot of weather 0 loaded, each hundredth value edited by the user.
void LoadAndEditWeather() {
    timecycle::ResetEditStoreForTesting();
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 13; ++k) {
            timecycle::EditSlot& slot = timecycle::GetEditSlot(0, r, k);
            slot.loaded = 1;
            for (size_t i = 0; i < slot.entries.size(); ++i) {
                timecycle::EditEntry& e = slot.entries[i];
                e.present = e.originalCaptured = 1;
                e.original = e.value = e.live = 0.25f * static_cast<float>(i % 7);
                if (i % 100 == 0) {
                    e.value += 1.0f;
                    e.edited = 1;
                    e.editStamp = timecycle::NextEditStamp();
                }
            }
        }
    }
}

void TimecyclesTabFrames(benchmark::State& state, bool everyRowBySearch) {
    testsupport::ImGuiHarness ui;
    ui::ApplyUiStyleMetrics();
    ui::ApplyUiStyleColours();
    core::Editor.MenuOpen = 1;
    ui::ResetTimecyclesTab();
    LoadAndEditWeather();
    if (everyRowBySearch) std::strcpy(ui::TimecyclesTab.search.data(), "_");
    ui.Frames(3, ui::DrawMainWindow);
    int group = 0;
    for (auto _ : state) {
        if (!everyRowBySearch) ui::TimecyclesTab.group = group++ % 28;
        ui.Frame(ui::DrawMainWindow);
    }
    if (ui.AssertionCount() != 0) state.SkipWithError("UI assertions");
    core::Editor.MenuOpen = 0;
    ui::ResetTimecyclesTab();
    timecycle::ResetEditStoreForTesting();
    runtime::ResetSlotTablesForTesting();
}

void BM_DrawTimecyclesTabEveryGroup(benchmark::State& state) { TimecyclesTabFrames(state, false); }
void BM_DrawTimecyclesTabEveryRowBySearch(benchmark::State& state) { TimecyclesTabFrames(state, true); }

void BM_DrawMainWindowOpen(benchmark::State& state) { RunFrames(state, true, nullptr); }
void BM_DrawMainWindowOpenSettingsTab(benchmark::State& state) { RunFrames(state, true, "Settings"); }
void BM_DrawMainWindowClosedWithFps(benchmark::State& state) { RunFrames(state, false, nullptr); }

BENCHMARK(BM_DrawMainWindowOpen)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawMainWindowOpenSettingsTab)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawMainWindowClosedWithFps)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawTimecyclesTabEveryGroup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawTimecyclesTabEveryRowBySearch)->Unit(benchmark::kMicrosecond);

}  // namespace
