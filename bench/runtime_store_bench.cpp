// The per-frame guarded writes against the byte copy they replaced, in the
// same iteration on the same page (both through the writable-range cache).
//
//   BM_StoreRatio   1,000,000 SafeWriteFloat into a cached page (one 4-byte
//                   store) and 1,000,000 cache lookups with a guarded 4-byte
//                   byte copy (rep movsb); then 20,000 WriteBytesCached of an
//                   864-byte record (each aligned element in one store) and
//                   20,000 lookups with a guarded 864-byte byte copy. The
//                   counters give each writer's time over its peer's.
#include <benchmark/benchmark.h>

#include <bit>
#include <chrono>
#include <vector>

#include "platform/memory.h"
#include "platform/safe_copy.h"
#include "runtime/guarded_memory.h"

namespace {

using namespace runtime;

void* Ptr(uint64_t address) { return reinterpret_cast<void*>(static_cast<uintptr_t>(address)); }

bool OldCachedCopy(uint64_t address, const void* source, uint64_t size) {
    return GuardedMemory.WritableRangeCache.Contains(address, size) && platform::SafeCopy(Ptr(address), source, size);
}

void BM_StoreRatio(benchmark::State& state) {
    constexpr int kFloats = 1000000;
    constexpr int kRecords = 20000;
    constexpr size_t kRecordBytes = 864;
    const size_t page = platform::GetSystemMemoryInfo().pageSize;
    const uint64_t block = platform::AllocateAnywhere(page, platform::kPageReadWrite);
    std::vector<uint8_t> record(kRecordBytes, 0x3C);
    SafeWriteFloat(block, 1.0f);  // caches the page
    double floatNew = 0, floatOld = 0, recordNew = 0, recordOld = 0;
    bool ok = true;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < kFloats; ++i) ok &= SafeWriteFloat(block + 4 * (i & 63), static_cast<float>(i));
        const auto t1 = std::chrono::steady_clock::now();
        for (int i = 0; i < kFloats; ++i) {
            const float v = static_cast<float>(i);
            ok &= OldCachedCopy(block + 4 * (i & 63), &v, 4);
        }
        const auto t2 = std::chrono::steady_clock::now();
        for (int i = 0; i < kRecords; ++i) ok &= WriteBytesCached(block + 1024, record.data(), kRecordBytes);
        const auto t3 = std::chrono::steady_clock::now();
        for (int i = 0; i < kRecords; ++i) ok &= OldCachedCopy(block + 1024, record.data(), kRecordBytes);
        const auto t4 = std::chrono::steady_clock::now();
        floatNew += std::chrono::duration<double>(t1 - t0).count();
        floatOld += std::chrono::duration<double>(t2 - t1).count();
        recordNew += std::chrono::duration<double>(t3 - t2).count();
        recordOld += std::chrono::duration<double>(t4 - t3).count();
    }
    if (!ok) state.SkipWithError("a guarded write failed");
    state.counters["float_ns"] = 1e9 * floatNew / (static_cast<double>(state.iterations()) * kFloats);
    state.counters["float_copy_ns"] = 1e9 * floatOld / (static_cast<double>(state.iterations()) * kFloats);
    state.counters["float_ratio"] = floatNew / floatOld;
    state.counters["record_ns"] = 1e9 * recordNew / (static_cast<double>(state.iterations()) * kRecords);
    state.counters["record_copy_ns"] = 1e9 * recordOld / (static_cast<double>(state.iterations()) * kRecords);
    state.counters["record_ratio"] = recordNew / recordOld;
    platform::FreeMemory(block);
}
BENCHMARK(BM_StoreRatio)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
