// The timecycle modifiers' two per-frame costs:
// - The live resolve over 1 GiB of private read-write memory (the search's
//   whole arena), the modifier's block at its far end, stepped as the tick
//   steps it with the real clock: the worst step must stay within the 8 ms
//   slice. Counters: the worst and mean step, the steps, the scan rate and
//   memchr's rate in the same run.
// - The reader and export of a hostile file: one body of 200,000 elements
//   that are never closed ("<tN>1 2 "), against memchr over the same bytes.
// - The Timecycle Mods tab drawn headless with four vanilla-sized files
//   loaded (1,087 modifiers, 30,881 rows), a modifier with edits selected:
//   CPU time per frame, target under 1 ms.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>

#include "support/imgui_harness.h"
#include "support/synthetic_image.h"
#include "support/timecycle_gen.h"
#include "timecycle/modifier_files.h"
#include "timecycle/modifier_live.h"
#include "ui/timecycle_mods_tab.h"

namespace {

using namespace timecycle;

constexpr uint64_t kHeapBytes = 1ull << 30;

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void LoadVanillaSizedFiles() {
    ResetModifierLiveState();
    ResetModifierFilesState();
    std::string status;
    for (int slot = 0; slot < kModFileSlots; ++slot) {
        const size_t s = static_cast<size_t>(slot);
        LoadTimecycleModifierFile(slot, testsupport::MakeModifierXml(VanillaModifierCounts[s], VanillaRowCounts[s]), status);
        ModifierFiles.slots[s].commonOnly = 0;
    }
}

void BM_ModifierResolveOver1GiB(benchmark::State& state) {
    testsupport::SyntheticHeap heap(kHeapBytes);
    if (!heap.ok()) {
        state.SkipWithError("no memory for the heap");
        return;
    }
    // Pseudo-random floats everywhere, so that the scan reads real pages.
    uint32_t seed = 12345;
    for (uint64_t at = 0; at < kHeapBytes; at += 4) {
        seed = seed * 1664525u + 1013904223u;
        const float v = static_cast<float>(seed >> 8) / 65536.0f;
        std::memcpy(reinterpret_cast<void*>(heap.base() + at), &v, 4);
    }
    LoadVanillaSizedFiles();
    ModifierLive.config.arenaFrom = heap.base();
    ModifierLive.config.arenaTo = heap.base() + kHeapBytes;
    const TimecycleModifier& m = ModifierFiles.slots[0].modifiers[5];
    const uint64_t block = heap.base() + kHeapBytes - 64 - m.rows.size() * 12;
    for (size_t i = 0; i < m.rows.size(); ++i) {
        std::memcpy(reinterpret_cast<void*>(block + i * 12), &m.rows[i].fileA, 4);
        std::memcpy(reinterpret_cast<void*>(block + i * 12 + 4), &m.rows[i].fileB, 4);
    }
    double worst = 0.0, total = 0.0;
    uint64_t steps = 0;
    bool resolved = false;
    for (auto _ : state) {
        StartModifierLiveResolve(0, 5, false);
        while (ModifierLive.resolve.resolving) {
            const double began = NowSeconds();
            StepModifierLiveResolve();
            const double took = NowSeconds() - began;
            worst = std::max(worst, took);
            total += took;
            ++steps;
        }
        resolved = LiveBlockValidFor(0, 5);
    }
    // memchr over 256 MiB of zeros for a byte that is not there: one linear pass.
    std::string zeros(256u << 20, '\0');
    const double began = NowSeconds();
    benchmark::DoNotOptimize(std::memchr(zeros.data(), 1, zeros.size()));
    const double memchrGBps = static_cast<double>(zeros.size()) / (NowSeconds() - began) / 1e9;
    const double scanned = static_cast<double>(ModifierLive.resolve.progress.bytesRead) / state.iterations();
    state.counters["resolved"] = resolved ? 1 : 0;
    state.counters["worst_step_ms"] = worst * 1e3;
    state.counters["mean_step_ms"] = steps ? total / static_cast<double>(steps) * 1e3 : 0.0;
    state.counters["steps"] = static_cast<double>(steps) / state.iterations();
    state.counters["scan_GBps"] = total > 0 ? scanned * state.iterations() / total / 1e9 : 0.0;
    state.counters["memchr_GBps"] = memchrGBps;
    ResetModifierLiveState();
    ModifierLive.config = {};
}
BENCHMARK(BM_ModifierResolveOver1GiB)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ModifierReaderHostile(benchmark::State& state) {
    std::string text = "<timecycle_modifier_data>\n<modifier name=\"h\">";
    for (int i = 0; i < 200000; ++i) text += "<t" + std::to_string(i) + ">1 2 ";
    text += "</modifier>\n</timecycle_modifier_data>\n";
    TimecycleModFileSlot slot;
    std::string error;
    for (auto _ : state) benchmark::DoNotOptimize(ParseTimecycleModifierText(1, text, slot, error));
    const double began = NowSeconds();
    for (int i = 0; i < 100; ++i) benchmark::DoNotOptimize(std::memchr(text.data(), 1, text.size()));
    const double memchrSeconds = (NowSeconds() - began) / 100.0;
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
    state.counters["memchr_us"] = memchrSeconds * 1e6;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ModifierReaderHostile)->Unit(benchmark::kMillisecond);

void BM_TimecycleModsTabFrame(benchmark::State& state) {
    LoadVanillaSizedFiles();
    SetModifierRowValues(0, 3, 1, 2.0f, 2.0f);
    ModifierFiles.selectedFile = 0;
    ModifierFiles.selectedModifier = 3;
    testsupport::ImGuiHarness ui;
    auto draw = [] {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(1100.0f, 900.0f), ImGuiCond_Always);
        ImGui::Begin("Varnel");
        ui::DrawTimecycleModsPanel();
        ImGui::End();
    };
    ui.Frames(3, draw);
    for (auto _ : state) ui.Frame(draw);
    state.counters["assertions"] = ui.AssertionCount();
    ResetModifierFilesState();
}
BENCHMARK(BM_TimecycleModsTabFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
