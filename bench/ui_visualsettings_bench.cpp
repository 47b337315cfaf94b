// visualsettings.dat costs, over the largest real file (skipped without
// the shared test data):
// - The import with its binding on a synthetic game image that carries the
//   coronas and filmic stores: time per import, the share of the binding,
//   and the time per line.
// - The export: template sizes 1x, 4x and 16x the file, with 0, 12 and
//   every edited row: ns per byte (flat = linear in the size, whatever the
//   number of edits), against memchr over the same bytes.
// - The Visualsettings tab drawn headless with every block of every section
//   open in one tall section list walk (all 1,306 rows expanded, the window
//   1,000 px high, rows out of view clipped): CPU time per frame, target
//   under 1 ms.
#include <benchmark/benchmark.h>

#include <imgui_internal.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/workspace.h"
#include "platform/simulated.h"
#include "support/imgui_harness.h"
#include "support/synthetic_image.h"
#include "support/testdata.h"
#include "ui/visualsettings_tab.h"
#include "visualsettings/binding.h"
#include "visualsettings/dat_export.h"
#include "visualsettings/dat_import.h"
#include "visualsettings/layout_reader.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/visualsettings_entries.h"

namespace {

using namespace visualsettings;

std::string LargestRealFile() {
    std::string best;
    for (const std::string& path : testsupport::RealFiles("visualsettings")) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        if (s.str().size() > best.size()) best = s.str();
    }
    return best;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A game image with the coronas block and the filmic blocks behind their stores.
struct Game {
    Game() {
        ResetVisualSettingsForTesting();
        RuntimeTable.started.Set(1);  // no 45 s search thread in a benchmark
        const uint64_t coronas = image.Reserve(testsupport::ImageSection::Data, kCoronasFirstField + 0xC0, 16);
        const uint64_t filmic = image.Reserve(testsupport::ImageSection::Data, 64, 16);
        image.PlantCoronasStore(coronas + kCoronasFirstField);
        image.PlantFilmicStores(filmic + 32 + 28);
        BindVisualSettingsParams();
        InitVisualSettingsDefaults();
    }
    testsupport::SyntheticImage image;
};

void BM_ImportLargestRealFile(benchmark::State& state) {
    const std::string text = LargestRealFile();
    if (text.empty()) {
        state.SkipWithError("no real visualsettings.dat (../shared/testdata/real is absent)");
        return;
    }
    Game game;
    uint64_t lines = 0;
    ForEachDatLine(text, [&](std::string_view) { ++lines; });
    double prepare = 0.0, total = 0.0;
    for (auto _ : state) {
        const auto a = std::chrono::steady_clock::now();
        BindVisualSettingsParams();
        const auto b = std::chrono::steady_clock::now();
        ImportVisualSettingsText(text);  // binds and prepares once more, then the lines
        const auto c = std::chrono::steady_clock::now();
        prepare += Seconds(b - a);
        total += Seconds(c - b);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["import_us"] = total / n * 1e6;
    state.counters["binding_share_pct"] = total > 0 ? prepare / total * 100.0 : 0.0;
    state.counters["per_line_ns"] = (total - prepare) / n / static_cast<double>(lines) * 1e9;
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["parsed"] = static_cast<double>(DatImport.last.parsed);
}
BENCHMARK(BM_ImportLargestRealFile)->Unit(benchmark::kMicrosecond);

void BM_ExportRewrite(benchmark::State& state) {
    const std::string one = LargestRealFile();
    if (one.empty()) {
        state.SkipWithError("no real visualsettings.dat (../shared/testdata/real is absent)");
        return;
    }
    std::string text;
    for (int64_t i = 0; i < state.range(0); ++i) text += one;
    EditedKeyMap edited;
    size_t want = state.range(1) < 0 ? kParamRowCount : static_cast<size_t>(state.range(1));
    for (const VisualSettingsParam& row : AllParams()) {
        if (edited.size() >= want) break;
        if (row.key != nullptr) edited[LowerAscii(row.key)] = 1.25f;
    }
    std::string out;
    uint64_t count = 0;
    double spent = 0.0;
    for (auto _ : state) {
        WrittenKeyMap written;
        const auto began = std::chrono::steady_clock::now();
        RewriteVisualSettingsTemplate(out, text, edited, written, count);
        spent += Seconds(std::chrono::steady_clock::now() - began);
        benchmark::DoNotOptimize(out.data());
    }
    const auto a = std::chrono::steady_clock::now();
    size_t newlines = 0;
    for (int r = 0; r < 64; ++r)
        for (const char* p = text.data(); (p = static_cast<const char*>(std::memchr(p, '\n', text.data() + text.size() - p))); ++p)
            ++newlines;
    benchmark::DoNotOptimize(newlines);
    state.counters["memchr_ns_per_byte"] = Seconds(std::chrono::steady_clock::now() - a) / 64 / static_cast<double>(text.size()) * 1e9;
    state.counters["ns_per_byte"] = spent / static_cast<double>(state.iterations()) / static_cast<double>(text.size()) * 1e9;
    state.counters["edited_keys"] = static_cast<double>(edited.size());
    state.counters["KB"] = static_cast<double>(text.size()) / 1024.0;
}
BENCHMARK(BM_ExportRewrite)->ArgsProduct({{1, 4, 16}, {0, 12, -1}})->Unit(benchmark::kMicrosecond);

void BM_VisualSettingsTabFrame(benchmark::State& state) {
    const std::string text = LargestRealFile();
    if (text.empty()) {
        state.SkipWithError("no real visualsettings.dat (../shared/testdata/real is absent)");
        return;
    }
    char pattern[] = "/tmp/varnel-bench-XXXXXX";
    const std::string root = mkdtemp(pattern);
    platform::sim::SetFakeDriveRoot(root);
    std::filesystem::create_directories(root + "/C/Users/Player/Documents");
    platform::sim::SetKnownFolder(platform::KnownFolder::Documents, std::string("C:\\Users\\Player\\Documents\\"));
    core::ResetWorkspaceState();
    Game game;
    {
        std::ofstream out(platform::sim::HostPathOf(ImportVisualSettingsPath()), std::ios::binary);
        out << text;
    }
    ImportVisualSettingsDat();
    const bool all = state.range(0) != 0;  // every section's blocks, or the biggest section's
    const VisualSettingsLayout& layout = LoadVisualSettingsLayout();
    testsupport::ImGuiHarness ui;
    // Searching "." lists every section with its blocks; each header opened.
    if (all) std::strcpy(ui::VisualSettingsTab.search, ".");
    auto draw = [] {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(1100.0f, 1000.0f), ImGuiCond_Always);
        ImGui::Begin("Varnel");
        ui::DrawVisualsettingsPanel();
        ImGui::End();
    };
    size_t biggest = 0;
    for (size_t i = 0; i < layout.size(); ++i)
        if (layout[i].items.size() > layout[biggest].items.size()) biggest = i;
    ui::VisualSettingsTab.selectedSection = static_cast<int32_t>(biggest);
    for (int pass = 0; pass < 3; ++pass) {
        ui.Frame(draw);
        for (ImGuiWindow* window : ImGui::GetCurrentContext()->Windows) {
            if (std::strstr(window->Name, "VisParameters") == nullptr) continue;
            for (const testsupport::ImGuiItem& item : ui.Items())
                if (item.label.find("##visual_") != std::string::npos) window->StateStorage.SetInt(item.id, 1);
        }
    }
    ui.Frame(draw);
    uint64_t headers = 0;
    for (const testsupport::ImGuiItem& item : ui.Items()) headers += item.label.find("##visual_block_") != std::string::npos ? 1 : 0;
    for (auto _ : state) ui.Frame(draw);
    state.counters["blocks"] = static_cast<double>(headers);
    state.counters["rows_drawn"] = static_cast<double>(ui::VisualSettingsTab.rowsDrawn);
    state.counters["assertions"] = ui.AssertionCount();
    ui::ResetVisualSettingsTabState();
    platform::sim::ResetFiles();
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_VisualSettingsTabFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
