// Live writing of the visualsettings parameters on one game frame: every row
// that has a game location (the coronas and bright filmic rows, the
// traffic-light and volume-colour rows, the 89 rows of the runtime table)
// and the eight dark filmic slots overridden, then the before/after pass of
// one tick (which re-applies every overridden row and the colour groups).
//
//   BM_OneFrameOfLiveWrites   the pass; counter rows_written: the rows bound
//   BM_BindWalk               a binding once the code searches have settled
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/editor_state.h"
#include "runtime/data_signatures.h"
#include "runtime/live_slots.h"
#include "support/synthetic_image.h"
#include "visualsettings/binding.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/param_table.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/visualsettings_entries.h"

namespace {

using namespace visualsettings;
using testsupport::ImageSection;
using testsupport::SyntheticHeap;
using testsupport::SyntheticImage;

struct Game {
    std::unique_ptr<SyntheticImage> image;
    std::unique_ptr<SyntheticHeap> heap;
    size_t bound = 0;
    bool ok = false;
};

uint64_t PlantBlock(SyntheticImage& image, runtime::DataSignatureId id, uint32_t size) {
    std::vector<uint8_t> bytes(size, 0);
    for (uint32_t i = 0; i < size / 4; ++i) {
        const float f = 1.0f + 0.25f * static_cast<float>(i) + static_cast<float>(id);
        std::memcpy(&bytes[4 * i], &f, 4);
    }
    const uint64_t at = image.Plant(ImageSection::Data, bytes, 16);
    runtime::SetDataSignatureForTesting(id, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 32), "", size);
    return at;
}

Game& TheGame() {
    static Game game = [] {
        Game g;
        ResetVisualSettingsForTesting();
        runtime::ResetSlotTablesForTesting();
        g.image = std::make_unique<SyntheticImage>();
        SyntheticImage& image = *g.image;
        const uint64_t coronas = image.Reserve(ImageSection::Data, 0xCD00, 16);
        const uint64_t filmic = image.Reserve(ImageSection::Data, 64, 16);
        image.PlantCoronasStore(coronas + kCoronasFirstField);
        image.PlantFilmicStores(filmic + 60);
        PlantBlock(image, 3, 192);
        PlantBlock(image, 14, 224);
        g.heap = std::make_unique<SyntheticHeap>(64 << 10);
        RuntimeTable.base.Set(g.heap->PlantVisualSettingsTable(4096, 0));
        RuntimeTable.ready.Exchange(1);
        StartVisualSettings();
        for (VisualSettingsParam& row : AllParams()) {
            if (row.liveAddress == 0) continue;
            ++g.bound;
            row.value = row.defaultValue + 0.5f;
            row.overridden = 1;
        }
        for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) DarkFilmicSlot(i).enabled = 1;
        core::Editor.VisualSettingsAfterShown.Set(1);
        g.ok = g.bound > 0;
        return g;
    }();
    return game;
}

void BM_OneFrameOfLiveWrites(benchmark::State& state) {
    Game& game = TheGame();
    if (!game.ok) return state.SkipWithError("nothing bound");
    VisualSettingsBeforeAfter();  // the first pass reads what it needs once
    for (auto _ : state) VisualSettingsBeforeAfter();
    state.counters["rows_written"] = static_cast<double>(game.bound);
}
BENCHMARK(BM_OneFrameOfLiveWrites)->Unit(benchmark::kMicrosecond);

void BM_BindWalk(benchmark::State& state) {
    if (!TheGame().ok) return state.SkipWithError("nothing bound");
    for (auto _ : state) BindVisualSettingsParams();
}
BENCHMARK(BM_BindWalk)->Unit(benchmark::kMicrosecond);

}  // namespace
