// CPU time of one frame of the tick with every override group applied, on
// a synthetic game image that holds every code site: each slot enabled,
// each group's patches in the game (installed by the frames before the
// measured ones), the simulated game behind the natives.
//
//   BM_TickOverrideMode   the override mode (the user's enabled slots)
//   BM_TickImportedMode   the imported mode (a loaded file's values)
//   BM_TickBeforeMode     the before mode with nothing patched: the restore
//                         of every group finds nothing to do
//
//   BM_TickOverrideMode/iterations:1000 (and 2000)  the first, a fixed number of frames:
//                         for the instruction count of a frame under callgrind,
//   valgrind --tool=callgrind --toggle-collect='host::ScriptTick()'
//     build/linux/bench/host_tick_bench --benchmark_filter=iterations:1000
// (one command), and again with iterations:2000: the difference over 1000
// frames is the instructions of a frame (the first three install the groups).
#include <benchmark/benchmark.h>

#include <memory>

#include "core/editor_state.h"
#include "host/tick.h"
#include "platform/simulated.h"
#include "runtime/editor_entries.h"
#include "runtime/live_slots.h"
#include "runtime/live_writes.h"
#include "runtime/override_groups.h"
#include "runtime/override_patches.h"
#include "runtime/redirects.h"
#include "support/sim_world.h"
#include "support/synthetic_game.h"
#include "timecycle/timecycle_model.h"

namespace {

bool g_imported = false;

struct TickWorld {
    testsupport::SimWorld world;
    std::unique_ptr<testsupport::SyntheticImage> image;

    explicit TickWorld(bool imported) {
        g_imported = imported;
        platform::sim::UseManualClock(true);
        platform::sim::ClearNativeHandlers();
        for (uint64_t hash : testsupport::SimNativeHashes())
            platform::sim::SetNativeHandler(hash, [this](uint64_t h, const std::vector<uint64_t>& args, uint64_t* r) {
                testsupport::HandleSimNative(world, h, args.data(), args.size(), r);
            });
        host::ResetTickState();
        runtime::ResetSlotTablesForTesting();
        image = std::make_unique<testsupport::SyntheticImage>();
        testsupport::PlantSyntheticGame(*image);
        runtime::RunStartupPreparers();
        timecycle::AssignVariableSlotAddresses();
        runtime::InstallWriteListCave();
        runtime::Entries().tick.importedOverridesActive = [] { return g_imported; };
        runtime::Entries().tick.contextHasEdits = [] { return true; };
        for (size_t i = 0; i < runtime::kSlotCount; ++i) {
            runtime::LiveOverrideSlot& slot = runtime::Slot(static_cast<runtime::SlotId>(i));
            slot.value = 1.0f + static_cast<float>(i);
            slot.enabled = 1;
        }
        core::Editor.MenuOpen.Set(0);
        core::Editor.TimecycleAfterShown.Set(1);
    }
    ~TickWorld() {
        runtime::RestoreAllPatches();
        runtime::RestoreWriteListCave();
        runtime::ResetSlotTablesForTesting();
        platform::sim::ClearNativeHandlers();
        image.reset();
    }
};

void RunTicks(benchmark::State& state, bool imported, bool before) {
    TickWorld world(imported);
    for (int frame = 0; frame < 3; ++frame) host::ScriptTick();  // installs every group
    const size_t applied = runtime::ReportCodePatches().applied;
    if (before) core::Editor.TimecycleAfterShown.Set(0);
    for (auto _ : state) host::ScriptTick();
    state.counters["patches_in_game"] = static_cast<double>(before ? runtime::ReportCodePatches().applied : applied);
}

void BM_TickOverrideMode(benchmark::State& state) { RunTicks(state, false, false); }
void BM_TickImportedMode(benchmark::State& state) { RunTicks(state, true, false); }
void BM_TickBeforeMode(benchmark::State& state) { RunTicks(state, false, true); }

BENCHMARK(BM_TickOverrideMode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickImportedMode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickBeforeMode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickOverrideMode)->Unit(benchmark::kMicrosecond)->Iterations(1000);
BENCHMARK(BM_TickOverrideMode)->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace
