// The siren block search over 1 GiB of synthetic game heap (floats, small
// numbers, pointers into the heap, lone pointers to the siren names every
// 64 KiB, the block itself in the last MiB), against a chunked read of the
// same bytes in the same run; and the longest wait of a render thread on the
// sirens' lock while the search runs on its worker.
// Run: build/linux/bench/weather_sirens_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/memory.h"
#include "support/siren_game.h"
#include "weather/sirens_editor.h"
#include "weather/sirens_search.h"
#include "weather/sirens_state.h"

namespace {

constexpr size_t kHeapBytes = size_t(1) << 30;

struct Heap {
    testsupport::SirenMemory memory{kHeapBytes};
    uint64_t block = 0;
    Heap() {
        if (!memory.ok()) return;
        const std::vector<uint64_t> names = testsupport::PlantSirenNames(memory.at(0));
        uint32_t state = 12345;
        auto* words = reinterpret_cast<uint64_t*>(memory.at(0));
        const size_t count = kHeapBytes / 8;
        for (size_t i = 64; i < count; ++i) {
            state = state * 1664525u + 1013904223u;
            switch (state >> 29) {
                case 0:
                case 1:
                case 2: {  // two floats
                    const float pair[2] = {static_cast<float>(state & 0xFFFF) * 0.01f, 1.0f};
                    std::memcpy(&words[i], pair, 8);
                    break;
                }
                case 3: words[i] = state & 0xFF; break;
                case 4: words[i] = 0; break;
                default:  // a pointer into the heap
                    words[i] = memory.base() + ((static_cast<uint64_t>(state) * 8) % kHeapBytes);
                    break;
            }
            if (i % 8192 == 0) words[i] = names[i / 8192 % 2 == 0 ? 0 : 13];  // lone anchors
        }
        block = memory.base() + kHeapBytes - (1u << 20) + 8 * 101;
        testsupport::PlantSirenBlock(memory.at(block - memory.base()), names);
    }
};

Heap& TheHeap() {
    static Heap heap;
    return heap;
}

void LimitToHeap() {
    weather::Sirens.searchFrom = TheHeap().memory.base();
    weather::Sirens.searchTo = TheHeap().memory.end();
}

// The floor of any search: the same bytes read in 2 MiB chunks through the
// same own-process read, and summed.
void BM_ReadOver1GiBIn2MiBChunks(benchmark::State& state) {
    Heap& heap = TheHeap();
    std::vector<uint64_t> buffer((2u << 20) / 8);
    uint64_t sum = 0;
    for (auto _ : state) {
        for (size_t at = 0; at < kHeapBytes; at += 2u << 20) {
            platform::ReadOwnMemory(static_cast<uintptr_t>(heap.memory.base() + at), buffer.data(), 2u << 20);
            for (uint64_t w : buffer) sum += w;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kHeapBytes));
}
BENCHMARK(BM_ReadOver1GiBIn2MiBChunks)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SirenSearchOver1GiB(benchmark::State& state) {
    Heap& heap = TheHeap();
    weather::ResetSirenState();
    LimitToHeap();
    uint64_t found = 0;
    for (auto _ : state) {
        found = weather::ScanSirenRuntimeBlock();
        benchmark::DoNotOptimize(found);
    }
    if (found != heap.block) state.SkipWithError("the block was not found");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kHeapBytes));
    weather::ResetSirenState();
}
BENCHMARK(BM_SirenSearchOver1GiB)->Unit(benchmark::kMillisecond)->Iterations(3);

// Frames of a render thread (every 1 ms: take the lock, poll the loader,
// count the edited profiles) while the worker searches the heap; the
// longest and the mean wait for the lock.
void BM_RenderWaitOnSirenLockDuringSearch(benchmark::State& state) {
    Heap& heap = TheHeap();
    double longestUs = 0.0;
    double totalUs = 0.0;
    uint64_t frames = 0;
    for (auto _ : state) {
        weather::ResetSirenState();
        LimitToHeap();
        {
            std::lock_guard<std::mutex> lock(weather::Sirens.lock);
            weather::StartSirenLoad(true);
        }
        bool pending = true;
        while (pending) {
            const auto before = std::chrono::steady_clock::now();
            std::lock_guard<std::mutex> lock(weather::Sirens.lock);
            const auto after = std::chrono::steady_clock::now();
            const double us = std::chrono::duration<double, std::micro>(after - before).count();
            longestUs = std::max(longestUs, us);
            totalUs += us;
            ++frames;
            weather::PollSirensLoader();
            benchmark::DoNotOptimize(weather::CountEditedSirenProfiles(false));
            pending = weather::Sirens.SirenLoadPending != 0;
            if (pending) {
                weather::Sirens.lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                weather::Sirens.lock.lock();
            }
        }
        if (weather::Sirens.SirenBlockAddress != heap.block) state.SkipWithError("the block was not found");
    }
    state.counters["longest_wait_us"] = longestUs;
    state.counters["mean_wait_us"] = frames != 0 ? totalUs / static_cast<double>(frames) : 0.0;
    state.counters["frames"] = static_cast<double>(frames);
    weather::ResetSirenState();
}
BENCHMARK(BM_RenderWaitOnSirenLockDuringSearch)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
