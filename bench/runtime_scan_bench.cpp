// The start-up searches over a 128 MiB synthetic game image holding every
// signature once, against one memchr pass over the same bytes.
//
//   BM_MemchrPass         one memchr pass (the physical baseline)
//   BM_StartupSearches    SecondaryBlockLocator, TimecycleBlockLocator,
//                         DataSignatureBase of ids 1 to 161, the start-up's
//                         61 redirect preparers and store probes, and the
//                         visualsettings binding (its two code searches join
//                         the shared pass), from a fresh run
//   BM_AllImageSearches   the same plus the puddle site, the lightning and
//                         the water-tuning blocks
//   BM_EachSearch         the shared pass alone, the preparers alone
//   BM_Ratio              both in the same iteration; the counters give the
//                         searches' time in memchr passes, and a binding's
//                         walk over the parameters once the searches settled
//   BM_RegionWalk         one walk over the whole address space, region by
//                         region, with the walk query (QueryNextRegion), then
//                         the same walk with a fresh query per region, and
//                         the scans' region walk (RegionWalk, 1 MiB pieces of
//                         every readable region, as the heap scans make it);
//                         the counters give each in single region queries
#include <benchmark/benchmark.h>

#include <bit>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "runtime/block_locators.h"
#include "runtime/data_signatures.h"
#include "runtime/guarded_memory.h"
#include "runtime/locator_state.h"
#include "runtime/override_patches.h"
#include "runtime/region_walk.h"
#include "runtime/scans.h"
#include "support/synthetic_game.h"
#include "support/synthetic_image.h"
#include "visualsettings/binding.h"
#include "visualsettings/param_table.h"

namespace {

using namespace runtime;
using testsupport::ImageSection;
using testsupport::SyntheticImage;

constexpr uint8_t kAbsentByte = 0xF1;

struct Fixture {
    std::unique_ptr<SyntheticImage> image;
    bool ok = false;
};

// Data-like runs for the ids whose bytes this build does not carry (and the
// known ones too, so every id costs the same).
std::vector<uint8_t> SyntheticRun(size_t length, std::mt19937& random) {
    std::vector<uint8_t> run(length);
    for (size_t i = 0; i + 4 <= length; i += 4) {
        float f = static_cast<float>(random() % 100000u) / 100.0f;
        uint32_t v = std::bit_cast<uint32_t>(f);
        for (int b = 0; b < 4; ++b) {
            uint8_t byte = static_cast<uint8_t>(v >> (8 * b));
            run[i + static_cast<size_t>(b)] = byte == kAbsentByte ? 0xF0 : byte;
        }
    }
    return run;
}

Fixture& Image() {
    static Fixture fixture = [] {
        Fixture f;
        testsupport::SyntheticImageLayout layout;
        layout.textSize = 80u << 20;
        layout.rdataSize = 16u << 20;
        layout.dataSize = (32u << 20) - 8 * 4096;
        layout.fillSeed = 0x9E3779B9u;
        f.image = std::make_unique<SyntheticImage>(layout);
        SyntheticImage& image = *f.image;
        if (!image.ok()) return f;
        // One byte value that the filler never holds, for the memchr pass.
        std::vector<uint8_t> bytes = image.Bytes();
        for (auto& b : bytes) {
            if (b == kAbsentByte) b = 0xF0;
        }
        image.Write(image.base(), bytes);

        image.Reserve(ImageSection::Text, 48u << 20, 1);  // sites in the middle of the code
        image.Reserve(ImageSection::Data, 8u << 20, 1);
        // Every code site of the patches, the timecycle and engine blocks,
        // the puddle store.
        testsupport::PlantSyntheticGame(image);
        image.PlantLightningBlock();
        image.PlantWatertuneBlock();
        // The code stores the visualsettings binding searches for, and their blocks.
        const uint64_t coronas = image.Reserve(ImageSection::Data, 0xCD00, 16);
        const uint64_t filmic = image.Reserve(ImageSection::Data, 64, 16);
        image.PlantCoronasStore(coronas + visualsettings::kCoronasFirstField);
        image.PlantFilmicStores(filmic + 60);
        visualsettings::RegisterBindingSearches();
        std::mt19937 random(42);
        for (DataSignatureId id = 1; id <= kDataSignatureCount; ++id) {
            const DataSignature row = DataSignatureRow(id);
            if (row.kind == DataSignatureKind::None) continue;
            std::vector<uint8_t> run = SyntheticRun(row.length, random);
            const ImageSection section = id % 3 == 0 ? ImageSection::Rdata : ImageSection::Data;
            image.Plant(section, run, 4);
            image.Reserve(section, row.blockSize + 64, 4);
            SetDataSignatureForTesting(id, run, row.mask ? row.mask : "");
        }
        f.ok = true;
        return f;
    }();
    return fixture;
}

void FreshRun() {
    ResetPatchStateForTesting();
    ResetLocatorState();
    visualsettings::ResetBindingForTesting();
}

// Runs the start-up searches; false when one of them missed its target.
bool StartupSearches() {
    bool ok = SecondaryBlockLocator() != 0;
    ok = TimecycleBlockLocator() != 0 && ok;
    for (DataSignatureId id = 1; id <= kDataSignatureCount; ++id) {
        const uint64_t base = DataSignatureBase(id);
        ok = ok && (base != 0 || DataSignatureRow(id).kind == DataSignatureKind::None);
    }
    for (const StartupStep& step : StartupPreparers()) ok = step.run() && ok;
    visualsettings::BindVisualSettingsParams();
    return ok && visualsettings::Binding.coronasBase.Get() != 0 && visualsettings::Binding.filmicBrightBase.Get() != 0;
}

bool OtherImageSearches() {
    uint64_t scanned = 0, hits = 0;
    bool ok = FindPuddleStoreSite() != 0;
    ok = FindVfxLightningBlock(scanned, hits) != 0 && ok;
    ok = FindWatertuneBlock(scanned, hits) != 0 && ok;
    return ok;
}

size_t MemchrPass() {
    const SyntheticImage& image = *Image().image;
    const auto* p = reinterpret_cast<const uint8_t*>(image.base());
    const uint8_t* const end = p + image.size();
    size_t found = 0;
    while (p < end) {
        const void* hit = std::memchr(p, kAbsentByte, static_cast<size_t>(end - p));
        if (hit == nullptr) break;
        ++found;
        p = static_cast<const uint8_t*>(hit) + 1;
    }
    return found;
}

void BM_MemchrPass(benchmark::State& state) {
    if (!Image().ok) return state.SkipWithError("no image");
    for (auto _ : state) benchmark::DoNotOptimize(MemchrPass());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Image().image->size()));
}
BENCHMARK(BM_MemchrPass)->Unit(benchmark::kMillisecond);

void BM_StartupSearches(benchmark::State& state) {
    if (!Image().ok) return state.SkipWithError("no image");
    for (auto _ : state) {
        state.PauseTiming();
        FreshRun();
        state.ResumeTiming();
        if (!StartupSearches()) return state.SkipWithError("a search missed its target");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Image().image->size()));
}
BENCHMARK(BM_StartupSearches)->Unit(benchmark::kMillisecond);

void BM_AllImageSearches(benchmark::State& state) {
    if (!Image().ok) return state.SkipWithError("no image");
    for (auto _ : state) {
        state.PauseTiming();
        FreshRun();
        state.ResumeTiming();
        if (!StartupSearches() || !OtherImageSearches()) return state.SkipWithError("a search missed its target");
    }
}
BENCHMARK(BM_AllImageSearches)->Unit(benchmark::kMillisecond);

void BM_Ratio(benchmark::State& state) {
    if (!Image().ok) return state.SkipWithError("no image");
    using Clock = std::chrono::steady_clock;
    double memchrSeconds = 0, startupSeconds = 0, allSeconds = 0, bindSeconds = 0;
    for (auto _ : state) {
        FreshRun();
        auto t0 = Clock::now();
        benchmark::DoNotOptimize(MemchrPass());
        auto t1 = Clock::now();
        const bool startup = StartupSearches();
        auto t2 = Clock::now();
        const bool other = OtherImageSearches();
        auto t3 = Clock::now();
        visualsettings::BindVisualSettingsParams();
        auto t4 = Clock::now();
        if (!startup || !other) return state.SkipWithError("a search missed its target");
        memchrSeconds += std::chrono::duration<double>(t1 - t0).count();
        startupSeconds += std::chrono::duration<double>(t2 - t1).count();
        allSeconds += std::chrono::duration<double>(t3 - t1).count();
        bindSeconds += std::chrono::duration<double>(t4 - t3).count();
    }
    state.counters["startup_in_memchr_passes"] = startupSeconds / memchrSeconds;
    state.counters["all_in_memchr_passes"] = allSeconds / memchrSeconds;
    state.counters["bind_walk_in_memchr_passes"] = bindSeconds / memchrSeconds;
}
BENCHMARK(BM_Ratio)->Unit(benchmark::kMillisecond)->Iterations(10);

// From a fresh run: 0 the shared pass (the first search of any), 1 the
// 61 preparers and probes once the pass has run (their captures, cells and
// code index look-ups).
void BM_EachSearch(benchmark::State& state) {
    if (!Image().ok) return state.SkipWithError("no image");
    for (auto _ : state) {
        state.PauseTiming();
        FreshRun();
        if (state.range(0) == 1) TimecycleBlockLocator();
        state.ResumeTiming();
        if (state.range(0) == 0) {
            benchmark::DoNotOptimize(SecondaryBlockLocator());
        } else {
            for (const StartupStep& step : StartupPreparers()) benchmark::DoNotOptimize(step.run());
        }
    }
}
BENCHMARK(BM_EachSearch)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->Iterations(10);

// Walks [minimum, maximum) of the address space with one of the two
// queries; the number of regions.
size_t WalkRegions(bool (*query)(uint64_t, platform::MemoryRegion&)) {
    const platform::SystemMemoryInfo info = platform::GetSystemMemoryInfo();
    size_t regions = 0;
    for (uint64_t at = info.minimumAddress; at < info.maximumAddress; ++regions) {
        platform::MemoryRegion region;
        if (!query(at, region) || region.base + region.size <= at) break;
        at = region.base + region.size;
    }
    return regions;
}

// The pieces of one RegionWalk over the whole address space.
size_t WalkPieces() {
    RegionWalk walk;
    walk.pieceBytes = 1u << 20;
    size_t pieces = 0;
    RegionPiece piece;
    for (; NextRegionPiece(walk, piece); ++pieces) SpendWalkBytes(walk, piece.end - piece.start);
    return pieces;
}

void BM_RegionWalk(benchmark::State& state) {
    if (!Image().ok) return state.SkipWithError("no image");
    using Clock = std::chrono::steady_clock;
    const uint64_t probe = Image().image->SectionStart(ImageSection::Data);
    double walkSeconds = 0, freshWalkSeconds = 0, querySeconds = 0, regionWalkSeconds = 0;
    size_t regions = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        regions = WalkRegions(QueryNextRegion);
        auto t1 = Clock::now();
        platform::MemoryRegion region;
        benchmark::DoNotOptimize(QueryRegion(probe, region));
        auto t2 = Clock::now();
        benchmark::DoNotOptimize(WalkRegions(QueryRegion));
        auto t3 = Clock::now();
        benchmark::DoNotOptimize(WalkPieces());
        auto t4 = Clock::now();
        walkSeconds += std::chrono::duration<double>(t1 - t0).count();
        querySeconds += std::chrono::duration<double>(t2 - t1).count();
        freshWalkSeconds += std::chrono::duration<double>(t3 - t2).count();
        regionWalkSeconds += std::chrono::duration<double>(t4 - t3).count();
    }
    state.counters["regions"] = static_cast<double>(regions);
    state.counters["walk_in_single_queries"] = walkSeconds / querySeconds;
    state.counters["fresh_walk_in_single_queries"] = freshWalkSeconds / querySeconds;
    state.counters["region_walk_in_single_queries"] = regionWalkSeconds / querySeconds;
}
BENCHMARK(BM_RegionWalk)->Unit(benchmark::kMicrosecond);

}  // namespace
