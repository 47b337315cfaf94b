// The vehicle sirens against a siren block planted in memory of the test's
// own, among decoys: the search and its loader thread (stop, also inside a
// chunk, time-out, reuse, a new load after a worker that is ending, failure
// to start, unload during a search), and the editor's baseline, writers,
// restore and before/after, also through the all-live hotkey's switch.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/simulated.h"
#include "runtime/guarded_memory.h"
#include "runtime/region_walk.h"
#include "support/memory_peek.h"
#include "support/siren_game.h"
#include "support/testdata.h"
#include "support/thread_waits.h"
#include "weather/document_live.h"
#include "weather/sirens_editor.h"
#include "weather/sirens_search.h"
#include "weather/sirens_state.h"

namespace {

using namespace weather;
using testsupport::SirenMemory;
using testsupport::MemoryBytes;
using testsupport::MemoryWord;

constexpr size_t kField_timeMultiplier = 0;
constexpr size_t kField_sequencerBpm = 6;
constexpr size_t kField_leftHeadLightMultiples = 11;
constexpr size_t kLight_intensity = 18;
constexpr size_t kLight_color = 17;

using testsupport::WaitUntil;  // at most 5 s

// Waits (at most five seconds) for the worker's outcome to be taken.
bool WaitForLoad() {
    return WaitUntil([] {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        PollSirensLoader();
        return Sirens.SirenLoadPending == 0;
    });
}

class SirensTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::Bounded("ResetSirenState", ResetSirenState);
        ASSERT_TRUE(memory_.ok());
        names_ = testsupport::PlantSirenNames(memory_.at(0));
        testsupport::PlantSirenDecoys(memory_.at(kDecoys), 256u << 10);
        block_ = memory_.base() + kBlock;
        testsupport::PlantSirenBlock(memory_.at(kBlock), names_);
        original_ = MemoryBytes(block_, kSirenBlockBytes);
        // The test's own copy of the block is no block of the game's.
        originalRange_ = runtime::RegisterOwnRange(original_.data(), original_.size());
        // The search is limited to the test's mapping: under the sanitizers
        // the whole address space holds terabytes of shadow memory.
        LimitSearchTo(memory_);
    }
    void TearDown() override {
        platform::sim::HoldSleeps(false);
        testsupport::Bounded("ResetSirenState", ResetSirenState);
        runtime::UnregisterOwnRange(originalRange_);
    }

    static void LimitSearchTo(const SirenMemory& m) {
        Sirens.searchFrom = m.base();
        Sirens.searchTo = m.end();
    }
    void UseBlock() { Sirens.SirenBlockAddress = block_; }
    uint64_t Profile(size_t k) const { return block_ + k * kSirenProfileBytes; }
    uint64_t Light(size_t k, size_t light) const { return Profile(k) + 72 + light * 72; }

    static constexpr uint64_t kDecoys = 64u << 10;
    static constexpr uint64_t kBlock = (320u << 10) + 8 * 37;  // 8-aligned, not page-aligned
    SirenMemory memory_{1u << 20};
    std::vector<uint64_t> names_;
    uint64_t block_ = 0;
    std::vector<uint8_t> original_;
    uint64_t originalRange_ = 0;
};

// ---- The search -------------------------------------------------------------------

TEST_F(SirensTest, SearchFindsTheBlockAmongDecoys) {
    EXPECT_EQ(ScanSirenRuntimeBlock(), block_);
    EXPECT_TRUE(SirenBlockMatchesAt(block_));
    EXPECT_FALSE(SirenBlockMatchesAt(block_ + 8));
    EXPECT_FALSE(SirenBlockMatchesAt(memory_.base() + kDecoys + 65536));  // a misspelt name
}

TEST_F(SirensTest, TwoCopiesOfTheBlockAreNotFound) {
    testsupport::PlantSirenBlock(memory_.at(kBlock + 2 * kSirenBlockBytes + 64), names_, 9);
    EXPECT_EQ(ScanSirenRuntimeBlock(), 0u);
}

TEST_F(SirensTest, NoBlockIsNotFound) {
    std::memset(memory_.at(kBlock), 0, kSirenBlockBytes);
    EXPECT_EQ(ScanSirenRuntimeBlock(), 0u);
}

TEST_F(SirensTest, AnchorNamesMatchWithTheirZeroOnly) {
    std::vector<SirenRegionSpan> readable;
    CollectSirenReadableRegions(readable);
    ASSERT_FALSE(readable.empty());
    struct Case {
        uint64_t pointer;
        bool firstOnly;
        bool match;
        int profile;
    };
    const uint64_t decoys = memory_.base() + kDecoys;
    const Case cases[] = {
        {names_[0], true, true, 0},
        {names_[0], false, true, 0},
        {names_[10], true, false, 0},   // "orange_lightbar" is for the second pass
        {names_[10], false, true, 10},
        {names_[13], false, true, 13},
        {names_[19], false, true, 19},
        {names_[20], false, true, 20},
        {names_[18], false, false, 0},  // "2024_01 Sirens" is no anchor
        {names_[1], false, false, 0},
        {decoys + 1024, false, false, 0},  // "0_unusedX"
        {decoys + 1040, false, false, 0},  // "orange_lightbarX"
        {names_[0] + 1, false, false, 0},
        {0x8000, false, false, 0},         // below the lowest pointer
        {memory_.end() - 1, false, false, 0},
    };
    for (const Case& c : cases) {
        int profile = -1;
        EXPECT_EQ(MatchSirenNameAt(c.pointer, readable, c.firstOnly, profile), c.match) << std::hex << c.pointer;
        if (c.match) {
            EXPECT_EQ(profile, c.profile);
        }
    }
}

// A block across the border of two 2 MiB chunks of the search: the profiles
// past the border are not in the chunk read with the anchor.
TEST_F(SirensTest, ABlockAcrossTwoChunksIsFound) {
    SirenMemory heap(4u << 20);
    ASSERT_TRUE(heap.ok());
    std::memset(memory_.at(kBlock), 0, kSirenBlockBytes);
    const uint64_t at = (2u << 20) - 10 * kSirenProfileBytes - 16;
    testsupport::PlantSirenBlock(heap.at(at), names_);
    LimitSearchTo(heap);  // the chunks begin at the mapping's start
    EXPECT_EQ(ScanSirenRuntimeBlock(), heap.base() + at);
}

// The same block reached through its five anchors (one chunk) counts once.
TEST_F(SirensTest, TheSameBlockFromSeveralAnchorsCountsOnce) {
    // Extra words pointing at the anchors right after the block change nothing.
    for (int i = 0; i < 4; ++i) std::memcpy(memory_.at(kBlock + kSirenBlockBytes + 8 * i), &names_[10 + i], 8);
    EXPECT_EQ(ScanSirenRuntimeBlock(), block_);
}

// A cancel set while a chunk is searched ends the search inside the chunk.
// The first 2 MiB chunk holds nothing, and the worker is held at its sleep
// after it, so that the second chunk's candidates count from its start:
// there one word in 32 points at the first anchor's name (no block starts
// at it; each costs a region query), the others just past that name.
TEST_F(SirensTest, ACancelEndsTheSearchInsideAChunk) {
    constexpr uint64_t kChunk = 2u << 20;
    constexpr uint64_t kCandidates = kChunk / 8 / 32;
    SirenMemory heap(2 * kChunk);
    ASSERT_TRUE(heap.ok());
    for (uint64_t at = kChunk; at < 2 * kChunk; at += 8) {
        const uint64_t p = at % (8 * 32) == 0 ? names_[0] : names_[0] + 1;
        std::memcpy(heap.at(at), &p, 8);
    }
    LimitSearchTo(heap);
    platform::sim::HoldSleeps(true);
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
    }
    ASSERT_TRUE(WaitUntil([] { return platform::sim::SleepsHeld() == 1; })) << "the worker at the end of the first chunk";
    const uint64_t before = runtime::GuardedMemory.RegionQueries.Get();
    platform::sim::HoldSleeps(false);
    ASSERT_TRUE(WaitUntil([before] { return runtime::GuardedMemory.RegionQueries.Get() > before; }))
        << "a candidate of the second chunk";
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StopSirenLoad();
    }
    ASSERT_TRUE(WaitForLoad()) << "the search's end after its cancel";
    EXPECT_EQ(Sirens.SirenLoadStatus, "Stopped.");
    EXPECT_LT(runtime::GuardedMemory.RegionQueries.Get() - before, kCandidates) << "the chunk was searched to its end";
}

TEST_F(SirensTest, TheEditorsOwnCopiesAreNeverFound) {
    // Freed memory may still hold copies of blocks that earlier tests
    // planted here (a search's chunk buffer): the names they point at are
    // wiped, and this block points at names that no block pointed at before.
    std::memset(memory_.at(0), 0, kBlock);
    const std::vector<uint64_t> names = testsupport::PlantUnusedSirenNames();
    ASSERT_EQ(names.size(), 21u);
    testsupport::PlantSirenBlock(memory_.at(kBlock), names);
    UseBlock();
    std::string status;
    ASSERT_TRUE(ApplySirenValue(3, kField_sequencerBpm, 777, status));  // baseline taken
    ASSERT_TRUE(ShowSirensBefore(status));                                // edited image saved
    ASSERT_EQ(Sirens.SirenBaseline.size(), kSirenBlockBytes);
    ASSERT_EQ(Sirens.SirenEditedImage.size(), kSirenBlockBytes);
    // Limited to the mapping, the copies lie elsewhere anyway: the whole
    // range is what shows that they are left out.
    if (VARNEL_UNDER_SHADOW_MEMORY) GTEST_SKIP() << "the whole address space is shadow memory here";
    Sirens.searchFrom = 0;
    Sirens.searchTo = 0;
    EXPECT_EQ(ScanSirenRuntimeBlock(), block_);
}

// ---- The loader thread ---------------------------------------------------------------

TEST_F(SirensTest, LoadLiveFindsTheBlockOnTheWorker) {
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
        EXPECT_EQ(Sirens.SirenLoadStatus, "Loading...");
    }
    ASSERT_TRUE(WaitForLoad());
    EXPECT_EQ(Sirens.SirenLoadStatus, "Ready.");
    EXPECT_EQ(Sirens.SirenBlockAddress, block_);
}

TEST_F(SirensTest, LoadLiveWithoutABlockSaysSo) {
    std::memset(memory_.at(kBlock), 0, kSirenBlockBytes);
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
    }
    ASSERT_TRUE(WaitForLoad());
    EXPECT_EQ(Sirens.SirenLoadStatus, "Vehicle Sirens could not be found.");
    EXPECT_EQ(Sirens.SirenBlockAddress, 0u);
}

TEST_F(SirensTest, LoadClearsTheEditsOfTheLastLoad) {
    UseBlock();
    std::string status;
    ASSERT_TRUE(ApplySirenValue(0, kField_timeMultiplier, std::bit_cast<uint32_t>(2.0f), status));
    std::lock_guard<std::mutex> lock(Sirens.lock);
    StartSirenLoad(true);
    EXPECT_EQ(Sirens.SirenBaselineTaken, 0);
    EXPECT_EQ(Sirens.SirenBaseline.size(), 0u);
    EXPECT_EQ(Sirens.SirenBlockAddress, 0u);
}

// A search that waits (at most five seconds) for its cancel, counting the
// searches begun.
std::atomic<int> g_searches{0};
std::atomic<int> g_release{0};
uint64_t WaitingSearch() {
    ++g_searches;
    WaitUntil([] { return Sirens.workerCancel.Get() != 0 || g_release.load() != 0; });
    return 0x12345678;
}

// A search that takes a moment to stop once it has seen its cancel, as the
// search does with some milliseconds of work; counts the searches ended.
std::atomic<int> g_searchesEnded{0};
uint64_t SlowToStopSearch() {
    ++g_searches;
    WaitUntil([] { return Sirens.workerCancel.Get() != 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ++g_searchesEnded;
    return 0;
}

// A search whose thread takes a moment to end after it has published: code
// of ours that the thread runs at its exit (Windows: its way out through
// the exit page). Counts the threads that have gone.
std::atomic<int> g_threadsGone{0};
struct SlowThreadExit {
    ~SlowThreadExit() {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ++g_threadsGone;
    }
};
uint64_t SearchWithASlowThreadExit() {
    thread_local SlowThreadExit atExit;  // destroyed at the thread's exit
    ++g_searches;
    return 0;
}

TEST_F(SirensTest, StopEndsTheSearchWithStopped) {
    g_searches = 0;
    g_release = 0;
    Sirens.scan = WaitingSearch;
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
        StopSirenLoad();
        EXPECT_EQ(Sirens.SirenLoadStatus, "Stopping...");
    }
    ASSERT_TRUE(WaitForLoad());
    EXPECT_EQ(Sirens.SirenLoadStatus, "Stopped.");
    EXPECT_EQ(Sirens.SirenBlockAddress, 0u);
}

TEST_F(SirensTest, LoadAgainWhileSearchingReusesTheWorker) {
    g_searches = 0;
    g_release = 0;
    Sirens.scan = WaitingSearch;
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
    }
    ASSERT_TRUE(WaitUntil([] { return g_searches.load() != 0; })) << "the search's start";
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
        StartSirenLoad(true);
    }
    g_release = 1;
    ASSERT_TRUE(WaitForLoad());
    EXPECT_EQ(g_searches.load(), 1);
    // The waiting search's result is no readable block.
    EXPECT_EQ(Sirens.SirenLoadStatus, "Vehicle Sirens could not be found.");
}

TEST_F(SirensTest, ASearchOverTheTimeLimitIsStopped) {
    g_searches = 0;
    g_release = 0;
    Sirens.scan = WaitingSearch;
    platform::sim::UseManualClock(true);
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
        platform::sim::AdvanceClock(kSirenLoadTimeoutMs);
        PollSirensLoader();
        EXPECT_EQ(Sirens.SirenLoadStatus, "Loading...");
        EXPECT_EQ(Sirens.workerCancel.Get(), 0);
        platform::sim::AdvanceClock(1);
        PollSirensLoader();
        // The worker may have ended already: the status is one of the two.
        EXPECT_TRUE(Sirens.SirenLoadStatus == "Vehicle Sirens took too long to load." ||
                    Sirens.SirenLoadStatus == "Stopped.")
            << Sirens.SirenLoadStatus;
        EXPECT_EQ(Sirens.workerCancel.Get(), 1);
    }
    ASSERT_TRUE(WaitForLoad());
    platform::sim::UseManualClock(false);
    EXPECT_EQ(Sirens.SirenLoadStatus, "Stopped.");
}

TEST_F(SirensTest, AWorkerThatCannotStartLeavesNothingPending) {
    platform::sim::FailNextThreadStarts(1);
    std::lock_guard<std::mutex> lock(Sirens.lock);
    StartSirenLoad(true);
    EXPECT_EQ(Sirens.SirenLoadStatus, "Vehicle Sirens could not start loading.");
    EXPECT_EQ(Sirens.SirenLoadPending, 0);
    EXPECT_EQ(Sirens.SirenWorkerRunning, 0);
}

// A new load waits for the last worker, which has published and is
// ending, before its thread takes the worker's place.
TEST_F(SirensTest, ANewLoadWaitsForTheEndingWorker) {
    g_searches = 0;
    g_threadsGone = 0;
    Sirens.scan = SearchWithASlowThreadExit;
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
    }
    ASSERT_TRUE(WaitForLoad()) << "the first search's outcome";
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        testsupport::Bounded("StartSirenLoad", [] { StartSirenLoad(true); });
        EXPECT_EQ(g_threadsGone.load(), 1) << "the next worker started before the last one had ended";
    }
    ASSERT_TRUE(WaitForLoad()) << "the second search's outcome";
    EXPECT_EQ(g_searches.load(), 2);
}

// A search that finds the planted block at once.
std::atomic<uint64_t> g_block{0};
uint64_t FoundAtOnce() { return g_block.load(); }

// The worker held after one step of its hand-over (the step-th, counted
// from 1) until the test lets it go (at most five seconds).
std::atomic<int> g_holdAfter{0}, g_stepsDone{0};
std::atomic<bool> g_held{false}, g_letGo{false};
void HoldAfterOneStep() {
    if (++g_stepsDone != g_holdAfter.load()) return;
    g_held = true;
    WaitUntil([] { return g_letGo.load(); });
}

// The worker is held after each step of its hand-over in turn. There a
// frame polls, as the panel does on every frame, and when it has taken
// the outcome the user asks for the next load at once (its button is
// enabled again). The outcome taken is the search's, and the next load
// ends in an outcome of its own once the worker goes on: a load that
// counted on a worker that had already handed over would wait forever.
TEST_F(SirensTest, ALoadAskedForAsSoonAsAnOutcomeIsTakenEndsInOneAtEveryStepOfTheHandOver) {
    for (const int step : {1, 2, 3}) {
        SCOPED_TRACE(::testing::Message() << "held after step " << step);
        testsupport::Bounded("ResetSirenState", ResetSirenState);
        LimitSearchTo(memory_);
        g_block = block_;
        g_holdAfter = step;
        g_stepsDone = 0;
        g_held = false;
        g_letGo = false;
        Sirens.scan = FoundAtOnce;
        Sirens.afterHandOverStep = HoldAfterOneStep;
        {
            std::lock_guard<std::mutex> lock(Sirens.lock);
            StartSirenLoad(true);
        }
        const bool held = WaitUntil([] { return g_held.load(); });
        bool taken = false;
        std::string outcome;
        if (held) {
            std::lock_guard<std::mutex> lock(Sirens.lock);
            PollSirensLoader();
            taken = Sirens.SirenLoadPending == 0;
            outcome = Sirens.SirenLoadStatus;
        }
        // The next load may wait for the held worker to end: on a thread
        // of its own. The worker is let go only once that load has decided:
        // it has returned (it counts on the worker), or it holds the worker
        // lock (it waits for the worker's thread to end and starts another).
        std::thread next;
        std::atomic<bool> returned{false};
        if (taken) {
            next = std::thread([&returned] {
                std::lock_guard<std::mutex> lock(Sirens.lock);
                StartSirenLoad(true);
                returned = true;
            });
            const bool decided = WaitUntil([&returned] {
                if (returned.load()) return true;
                if (!Sirens.workerLock.try_lock()) return true;
                Sirens.workerLock.unlock();
                return false;
            });
            EXPECT_TRUE(decided) << "the next load neither returned nor waited for the worker";
        }
        g_letGo = true;
        if (next.joinable()) testsupport::Bounded("StartSirenLoad", [&] { next.join(); });
        ASSERT_TRUE(held) << "the worker did not come to the step";
        if (taken) {
            EXPECT_EQ(outcome, "Ready.") << "an outcome was taken before its result was stored";
        }
        EXPECT_TRUE(WaitForLoad()) << "a load never ended: " << Sirens.SirenLoadStatus << (taken ? " (the next load)" : "");
        EXPECT_EQ(Sirens.SirenLoadStatus, "Ready.");
        EXPECT_EQ(Sirens.SirenBlockAddress, block_);
    }
}

// Loads back to back, each asked for as soon as the last one's outcome was
// taken by a frame polling without pause, while the worker yields between
// the steps of its hand-over: every one ends with the block found.
TEST_F(SirensTest, BackToBackLoadsEachEndInAnOutcome) {
    g_block = block_;
    Sirens.scan = FoundAtOnce;
    Sirens.afterHandOverStep = [] { std::this_thread::yield(); };
    // About two seconds of loads, at least 100 of them however slow the machine.
    constexpr int kFewestLoads = 100, kMostLoads = 20000;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int loads = 0;
    for (; loads < kMostLoads && (loads < kFewestLoads || std::chrono::steady_clock::now() < until); ++loads) {
        // It may wait for the last worker to end.
        testsupport::Bounded("StartSirenLoad", [] {
            std::lock_guard<std::mutex> lock(Sirens.lock);
            StartSirenLoad(true);
        });
        const auto limit = std::chrono::steady_clock::now() + testsupport::Scaled(std::chrono::seconds(5));
        bool pending = true;
        while (pending && std::chrono::steady_clock::now() < limit) {
            std::lock_guard<std::mutex> lock(Sirens.lock);
            PollSirensLoader();
            pending = Sirens.SirenLoadPending != 0;
        }
        ASSERT_FALSE(pending) << "load " << loads << " never ended: running " << int(Sirens.SirenWorkerRunning)
                              << ", done " << int(Sirens.SirenWorkerDone) << ", " << Sirens.SirenLoadStatus;
        ASSERT_EQ(Sirens.SirenLoadStatus, "Ready.") << "load " << loads;
    }
    std::printf("%d loads back to back\n", loads);
}

// The unload cancels a running search and returns only once its thread has
// ended, however long the search takes to stop.
TEST_F(SirensTest, UnloadDuringASearchCancelsAndJoinsIt) {
    g_searches = 0;
    g_searchesEnded = 0;
    Sirens.scan = SlowToStopSearch;
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
    }
    ASSERT_TRUE(WaitUntil([] { return g_searches.load() != 0; })) << "the search's start";
    const uint64_t worker = Sirens.worker;
    // Returns only once the worker is joined.
    EXPECT_TRUE(testsupport::Bounded("ReleaseSirens", [] { return ReleaseSirens(true); }));
    EXPECT_EQ(g_searchesEnded.load(), 1) << "the unload returned while the search ran";
    EXPECT_TRUE(platform::WaitForThread(worker, 0)) << "the worker's thread is still running";
    EXPECT_EQ(Sirens.worker, 0u);
    EXPECT_EQ(Sirens.SirenWorkerRunning, 0);
    platform::WaitForThread(worker, 10000);  // a worker left running does not outlive the test
}

TEST_F(SirensTest, UnloadDuringARealSearchOfALargeHeap) {
    SirenMemory heap(256u << 20);
    ASSERT_TRUE(heap.ok());
    // Pointer-like words everywhere keep the search busy.
    for (uint64_t at = 0; at < heap.size(); at += 8) {
        const uint64_t p = names_[at / 8 % 21] + 1;
        std::memcpy(heap.at(at), &p, 8);
    }
    LimitSearchTo(heap);
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
    }
    EXPECT_TRUE(testsupport::Bounded("ReleaseSirens", [] { return ReleaseSirens(true); }));
    EXPECT_EQ(Sirens.worker, 0u);
    EXPECT_EQ(Sirens.SirenLoadPending, 0);
}

TEST_F(SirensTest, UnloadLeavesTheEditsInTheGame) {
    UseBlock();
    std::string status;
    ASSERT_TRUE(ApplySirenLightValues(12, kLight_intensity, std::bit_cast<uint32_t>(9.0f), status));
    const std::vector<uint8_t> edited = MemoryBytes(block_, kSirenBlockBytes);
    ASSERT_NE(edited, original_);
    EXPECT_TRUE(testsupport::Bounded("ReleaseSirens", [] { return ReleaseSirens(true); }));
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), edited);
    EXPECT_EQ(Sirens.SirenBaselineTaken, 0);
}

// The search thread, the render thread (poll, edits, count) and the script
// fiber (the all-live hotkey) at once: one lock keeps them apart (run under
// ThreadSanitizer by the tsan stage).
TEST_F(SirensTest, SearchPanelAndHotkeyAtOnce) {
    std::atomic<bool> stop{false};
    std::thread fiber([&stop] {
        for (uint8_t before = 1; !stop.load(); before ^= 1) {
            uint8_t changed = 0;
            SirensAllLiveBeforeAfter(before, &changed);
            std::this_thread::yield();
        }
    });
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
    }
    std::string status;
    int edits = 0;
    const auto deadline = std::chrono::steady_clock::now() + testsupport::Scaled(std::chrono::seconds(10));
    for (uint32_t frame = 0; edits < 200 && std::chrono::steady_clock::now() < deadline; ++frame) {
        bool valid = false;
        {
            std::lock_guard<std::mutex> lock(Sirens.lock);
            PollSirensLoader();
            valid = SirenBlockValid();
            if (valid && ApplySirenValue(12, kField_sequencerBpm, frame, status)) ++edits;
            CountEditedSirenProfiles(false);
        }
        if (!valid) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    stop = true;
    fiber.join();
    EXPECT_EQ(edits, 200) << Sirens.SirenLoadStatus;
    std::lock_guard<std::mutex> lock(Sirens.lock);
    if (Sirens.SirenBeforeShown) {
        ASSERT_TRUE(ShowSirensAfter(status));
    }
    EXPECT_TRUE(RestoreSirenState(status)) << status;
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), original_);
}

// ---- The editor ------------------------------------------------------------------

TEST_F(SirensTest, WritersWithoutABlockAskToResolveFirst) {
    std::string status;
    EXPECT_FALSE(ApplySirenValue(0, 0, 0, status));
    EXPECT_EQ(status, "Resolve first.");
    EXPECT_EQ(CountEditedSirenProfiles(true), 0u);
}

TEST_F(SirensTest, TheFirstEditTakesTheBaselineAndRestoreGivesTheGamesBytes) {
    UseBlock();
    std::string status;
    ASSERT_TRUE(ApplySirenValue(4, kField_timeMultiplier, std::bit_cast<uint32_t>(1.5f), status));
    EXPECT_EQ(status, "Value applied.");
    EXPECT_EQ(MemoryWord(Profile(4) + 12), std::bit_cast<uint32_t>(1.5f));
    ASSERT_TRUE(ApplySirenValue(4, kField_leftHeadLightMultiples, 0x1FF, status));
    EXPECT_EQ(*memory_.at(kBlock + 4 * kSirenProfileBytes + 60), 0xFF);  // one byte written
    EXPECT_EQ(*memory_.at(kBlock + 4 * kSirenProfileBytes + 61), original_[4 * kSirenProfileBytes + 61]);
    ASSERT_TRUE(ApplySirenLightValue(7, 19, kLight_color, 0xFF00FF00u, status));
    EXPECT_EQ(status, "Light value applied.");
    EXPECT_EQ(MemoryWord(Light(7, 19) + 52), 0xFF00FF00u);
    EXPECT_EQ(CountEditedSirenProfiles(true), 2u);
    EXPECT_TRUE(SirenProfileChanged(4));
    EXPECT_FALSE(SirenProfileChanged(5));
    ASSERT_TRUE(RestoreSirenState(status));
    EXPECT_EQ(status, "Restored.");
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), original_);
    EXPECT_EQ(Sirens.SirenBaselineTaken, 0);
    EXPECT_FALSE(RestoreSirenState(status));
    EXPECT_EQ(status, "No saved state.");
}

TEST_F(SirensTest, AllLightsTakeTheValueInOneProfileWrite) {
    UseBlock();
    std::string status;
    ASSERT_TRUE(ApplySirenLightValues(1, kLight_intensity, std::bit_cast<uint32_t>(7.25f), status));
    EXPECT_EQ(status, "Light values applied.");
    for (size_t light = 0; light < 20; ++light) EXPECT_EQ(MemoryWord(Light(1, light) + 56), std::bit_cast<uint32_t>(7.25f));
    // Nothing else of the profile moved.
    std::vector<uint8_t> expected(original_.begin() + kSirenProfileBytes, original_.begin() + 2 * kSirenProfileBytes);
    for (size_t light = 0; light < 20; ++light) {
        const float f = 7.25f;
        std::memcpy(expected.data() + 72 + light * 72 + 56, &f, 4);
    }
    EXPECT_EQ(MemoryBytes(Profile(1), kSirenProfileBytes), expected);
}

TEST_F(SirensTest, ResetsWriteTheBaselinesBytes) {
    UseBlock();
    std::string status;
    ASSERT_TRUE(ApplySirenLightValues(1, kLight_intensity, std::bit_cast<uint32_t>(7.25f), status));
    ASSERT_TRUE(ApplySirenValue(1, kField_sequencerBpm, 1, status));
    ASSERT_TRUE(ResetSirenLightValue(1, 3, kLight_intensity, status));
    EXPECT_EQ(status, "Light value reset.");
    EXPECT_EQ(MemoryWord(Light(1, 3) + 56), MemoryWord(reinterpret_cast<uintptr_t>(original_.data()) + kSirenProfileBytes + 72 + 3 * 72 + 56));
    ASSERT_TRUE(ResetSirenLightValue(1, -1, kLight_intensity, status));
    EXPECT_EQ(status, "Light values reset.");
    ASSERT_TRUE(ResetSirenValue(1, kField_sequencerBpm, status));
    EXPECT_EQ(status, "Value reset.");
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), original_);
    ASSERT_TRUE(ApplySirenValue(2, kField_sequencerBpm, 5, status));
    ASSERT_TRUE(ResetSirenProfile(2, status));
    EXPECT_EQ(status, "Profile reset.");
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), original_);
    EXPECT_EQ(CountEditedSirenProfiles(false), 0u);
}

TEST_F(SirensTest, BeforeAndAfter) {
    UseBlock();
    std::string status;
    EXPECT_FALSE(ShowSirensBefore(status));
    EXPECT_EQ(status, "No edited values.");
    EXPECT_FALSE(ShowSirensAfter(status));
    EXPECT_EQ(status, "No active comparison.");
    ASSERT_TRUE(ApplySirenValue(12, kField_sequencerBpm, 999, status));
    const std::vector<uint8_t> edited = MemoryBytes(block_, kSirenBlockBytes);
    ASSERT_TRUE(ShowSirensBefore(status));
    EXPECT_EQ(status, "Before shown.");
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), original_);
    EXPECT_EQ(CountEditedSirenProfiles(false), 1u);  // counted from the saved edits
    ASSERT_TRUE(ShowSirensAfter(status));
    EXPECT_EQ(status, "After shown.");
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), edited);
}

// A second "before" (the hold button held while the hotkey asks too) keeps
// the saved edits: after gives them back, not the baseline.
TEST_F(SirensTest, ASecondBeforeKeepsTheSavedEdits) {
    UseBlock();
    std::string status;
    ASSERT_TRUE(ApplySirenValue(12, kField_sequencerBpm, 999, status));
    const std::vector<uint8_t> edited = MemoryBytes(block_, kSirenBlockBytes);
    ASSERT_TRUE(ShowSirensBefore(status));
    ASSERT_TRUE(ShowSirensBefore(status));
    uint8_t changed = 0;
    SirensAllLiveBeforeAfter(1, &changed);
    EXPECT_EQ(changed, 0);  // nothing written: the before view stands
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), original_);
    ASSERT_TRUE(ShowSirensAfter(status));
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), edited);
}

// Edits made while the game shows its own values wait in the edited image
// and arrive with "after".
TEST_F(SirensTest, EditsWhileBeforeIsShownAreKeptForAfter) {
    UseBlock();
    std::string status;
    ASSERT_TRUE(ApplySirenValue(12, kField_sequencerBpm, 999, status));
    ASSERT_TRUE(ShowSirensBefore(status));
    ASSERT_TRUE(ApplySirenLightValue(0, 2, kLight_intensity, std::bit_cast<uint32_t>(3.5f), status));
    ASSERT_TRUE(ApplySirenLightValues(5, kLight_color, 0x80808080u, status));
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), original_);  // the before view stays honest
    uint8_t profile[kSirenProfileBytes];
    ASSERT_TRUE(ReadSirenDisplayProfile(0, profile));
    float shown;
    std::memcpy(&shown, profile + 72 + 2 * 72 + 56, 4);
    EXPECT_EQ(shown, 3.5f);
    EXPECT_EQ(CountEditedSirenProfiles(false), 3u);
    ASSERT_TRUE(ShowSirensAfter(status));
    EXPECT_EQ(MemoryWord(Profile(12) + 40), 999u);
    EXPECT_EQ(MemoryWord(Light(0, 2) + 56), std::bit_cast<uint32_t>(3.5f));
    EXPECT_EQ(MemoryWord(Light(5, 11) + 52), 0x80808080u);
}

// The all-live hotkey reaches the sirens through the weather documents' switch.
TEST_F(SirensTest, TheAllLiveHotkeyFlipsTheSirens) {
    UseBlock();
    std::string status;
    ASSERT_TRUE(ApplySirenValue(9, kField_sequencerBpm, 4242, status));
    const std::vector<uint8_t> edited = MemoryBytes(block_, kSirenBlockBytes);
    uint8_t changed = 0;
    ShowWeatherDocsBeforeAfter(1, &changed);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), original_);
    changed = 0;
    ShowWeatherDocsBeforeAfter(0, &changed);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(MemoryBytes(block_, kSirenBlockBytes), edited);
    changed = 0;
    ShowWeatherDocsBeforeAfter(0, &changed);  // nothing to bring back
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(status, "Value applied.");  // the hotkey changes no status line
}

TEST_F(SirensTest, TheEditedCountIsCachedUntilAnEdit) {
    UseBlock();
    std::string status;
    ASSERT_TRUE(ApplySirenValue(3, kField_sequencerBpm, 1, status));
    EXPECT_EQ(CountEditedSirenProfiles(false), 1u);
    // A change the editor did not make shows after the cache's time.
    platform::sim::UseManualClock(true);
    EXPECT_EQ(CountEditedSirenProfiles(true), 1u);
    *memory_.at(kBlock + 6 * kSirenProfileBytes + 40) ^= 1;
    EXPECT_EQ(CountEditedSirenProfiles(false), 1u);
    platform::sim::AdvanceClock(250);
    EXPECT_EQ(CountEditedSirenProfiles(false), 2u);
    platform::sim::UseManualClock(false);
    ASSERT_TRUE(ApplySirenValue(4, kField_sequencerBpm, 1, status));
    EXPECT_EQ(CountEditedSirenProfiles(false), 3u);
}

}  // namespace
