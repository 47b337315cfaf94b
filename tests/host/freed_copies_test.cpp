// The editor's copies of game blocks after their memory is freed: every
// kind of copy freed or cleared in every way the editor does it, and the
// freed memory read back through the guarded read, with nothing of the
// game's block left in it; and the Vehicle Sirens panel's sequences, each
// followed by a search of the whole address space as the panel makes it,
// which finds the game's block and not a copy the editor freed.
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/shutdown.h"
#include "platform/simulated.h"
#include "runtime/guarded_memory.h"
#include "runtime/region_walk.h"
#include "support/memory_peek.h"
#include "support/siren_game.h"
#include "support/testdata.h"
#include "support/thread_waits.h"
#include "support/timecycle_gen.h"
#include "timecycle/keyframe_table.h"
#include "weather/sirens_editor.h"
#include "weather/sirens_search.h"
#include "weather/sirens_state.h"

namespace {

using namespace weather;
using testsupport::MemoryWord;
using testsupport::SirenMemory;

constexpr size_t kField_timeMultiplier = 0;
constexpr size_t kField_sequencerBpm = 6;
constexpr uint64_t kChunk = 2u << 20;  // the siren search reads 2 MiB at a time

uint64_t Address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// Where a copy lay, and where the game's bytes it held lie.
struct Copy {
    uint64_t at = 0;
    uint64_t size = 0;
    uint64_t game = 0;
};
Copy CopyOf(const OwnCopy& copy, uint64_t game) { return {Address(copy.data()), copy.size(), game}; }

// The 8-byte words of a freed copy that still equal the game's word at the
// same place (words of zeros aside), read through the guarded read: memory
// given back to the system holds nothing.
size_t WordsLeft(const Copy& copy) {
    size_t left = 0;
    for (uint64_t offset = 0; offset + 8 <= copy.size; offset += 8) {
        uint64_t word = 0;
        if (!runtime::GuardedCopy(&word, reinterpret_cast<const void*>(copy.at + offset), 8)) continue;
        uint64_t game = 0;
        std::memcpy(&game, reinterpret_cast<const void*>(copy.game + offset), 8);
        if (game != 0 && word == game) ++left;
    }
    return left;
}

// Polls the loader as the panel does every frame until the load's outcome
// is taken; false once limit has passed.
bool PollUntilLoaded(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    return testsupport::WaitUntil(
        [] {
            std::lock_guard<std::mutex> lock(Sirens.lock);
            PollSirensLoader();
            return Sirens.SirenLoadPending == 0;
        },
        limit);
}

// A load as the panel's "Load live" and "Refresh" make it.
bool LoadAsThePanelDoes() {
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
    }
    return PollUntilLoaded(std::chrono::seconds(30));
}

// The start of the one own range of size bytes (0 when there is none).
uint64_t OwnRangeOfSize(uint64_t size) {
    runtime::RegionWalk walk;
    runtime::RegionPiece piece;
    runtime::NextRegionPiece(walk, piece);  // takes the own ranges as they stand
    uint64_t found = 0;
    for (size_t i = 0; i + 1 < walk.own.size(); i += 2) {
        if (walk.own[i + 1] - walk.own[i] != size) continue;
        if (found != 0) return 0;
        found = walk.own[i];
    }
    return found;
}

class FreedCopiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        Reset();
        ASSERT_TRUE(memory_.ok());
        ASSERT_TRUE(heap_.ok());
        ASSERT_TRUE(table_.ok());
    }
    void TearDown() override {
        platform::sim::HoldSleeps(false);
        Reset();
    }
    static void Reset() {
        testsupport::Bounded("ResetSirenState", ResetSirenState);
        timecycle::ResetKeyframeTable();
    }

    // The game's siren block at block(), its names at addresses that no
    // block pointed at before: the copies that other tests left in freed
    // memory point at names wiped since, and are no blocks.
    void PlantBlock() {
        const std::vector<uint64_t> names = testsupport::PlantUnusedSirenNames();
        ASSERT_EQ(names.size(), 21u);
        testsupport::PlantSirenBlock(memory_.at(kBlock), names);
        Sirens.SirenBlockAddress = block();
    }
    uint64_t block() const { return memory_.base() + kBlock; }

    // One edit through the editor: its first takes the baseline.
    static void Edit() {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        std::string status;
        EXPECT_TRUE(ApplySirenValue(3, kField_sequencerBpm, 777, status)) << status;
    }
    static void Restore() {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        std::string status;
        EXPECT_TRUE(RestoreSirenState(status)) << status;
    }
    static void HoldBefore(bool before) {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        std::string status;
        EXPECT_TRUE(before ? ShowSirensBefore(status) : ShowSirensAfter(status)) << status;
    }
    // The baseline an edit took; the scratch copy that Restore read back.
    Copy Baseline() const {
        Edit();
        return CopyOf(Sirens.SirenBaseline, block());
    }
    Copy RestoredScratch() const {
        Edit();
        Restore();
        return CopyOf(Sirens.scratch, block());
    }
    // The copy, then the unload.
    static Copy ThenUnload(Copy copy) {
        testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
        return copy;
    }

    // The search over heap_ (two chunks), whose chunk buffer is found among
    // the own ranges while the worker waits at its sleep after the first
    // chunk. The game's block, or a block with a misspelt name that the
    // search passes over, lies in the chunk given. stop: the search is
    // stopped there. Returns the place in the freed buffer of the block's
    // bytes as the last chunk read copied them.
    Copy ChunkBufferOfASearch(bool misspelt, int chunk, bool stop) {
        std::memset(heap_.at(0), 0, heap_.size());
        const uint64_t offset = static_cast<uint64_t>(chunk) * kChunk + 8 * 4099;
        const std::vector<uint64_t> names = testsupport::PlantUnusedSirenNames();
        const std::vector<uint64_t> misspeltNames = testsupport::PlantSirenNames(heap_.at(kChunk - 4096), 7);
        testsupport::PlantSirenBlock(heap_.at(offset), misspelt ? misspeltNames : names);
        Sirens.searchFrom = heap_.base();
        Sirens.searchTo = heap_.end();
        // A search before: the allocator then keeps blocks of the buffer's
        // size when they are freed (the first is often given back to the
        // system at once, and then holds nothing to find).
        ScanSirenRuntimeBlock();
        platform::sim::HoldSleeps(true);
        {
            std::lock_guard<std::mutex> lock(Sirens.lock);
            StartSirenLoad(true);
        }
        EXPECT_TRUE(testsupport::WaitForHeldSleepers(1)) << "the worker after the first chunk";
        const uint64_t buffer = OwnRangeOfSize(kChunk);
        if (stop) {
            std::lock_guard<std::mutex> lock(Sirens.lock);
            StopSirenLoad();
        }
        platform::sim::HoldSleeps(false);
        EXPECT_TRUE(PollUntilLoaded()) << "the search's end";
        EXPECT_EQ(Sirens.SirenBlockAddress, misspelt || stop ? 0 : heap_.base() + offset) << Sirens.SirenLoadStatus;
        if (buffer == 0) return {};
        return {buffer + offset % kChunk, kSirenBlockBytes, heap_.base() + offset};
    }

    // The keyframe snapshot of RAIN's block in table_, and after it CLEAR's
    // (a weather previewed later).
    Copy RainSnapshot() {
        EXPECT_TRUE(timecycle::SnapshotWeatherBlock(4, blockOf(4)));
        EXPECT_TRUE(timecycle::SnapshotWeatherBlock(1, blockOf(1)));
        return CopyOf(timecycle::KeyframeTable.WeatherBlockSnapshots[4].bytes, blockOf(4));
    }
    // The weather's keyframe block in table_.
    uint64_t blockOf(size_t weather) const {
        return table_.base() + timecycle::WeatherNameTable[weather].typeId * timecycle::kWeatherBlockSpacing;
    }

    static constexpr uint64_t kBlock = 4096 + 8 * 37;
    SirenMemory memory_{64u << 10};
    SirenMemory heap_{2 * kChunk};
    SirenMemory table_{testsupport::kGeneratedKeyframeTableBytes};
};

// Every kind of copy, freed or cleared in each way the editor does it: no
// word of the game's block is left in the memory it lay in.
TEST_F(FreedCopiesTest, NoFreedCopyKeepsTheGamesBytes) {
    testsupport::WriteGeneratedKeyframeTable(table_.at(0));
    const struct {
        const char* what;
        std::function<Copy()> freeOne;
    } rows[] = {
        {"baseline, forgotten by a new load", [&] {
             const Copy c = Baseline();
             ForgetSirenEdits();
             return c;
         }},
        {"baseline, after Restore", [&] {
             const Copy c = Baseline();
             Restore();
             return c;
         }},
        {"baseline, at the unload", [&] { return ThenUnload(Baseline()); }},
        {"edited image, after before/after and Restore", [&] {
             Edit();
             HoldBefore(true);
             HoldBefore(false);
             const Copy c = CopyOf(Sirens.SirenEditedImage, block());
             Restore();
             return c;
         }},
        {"edited image, at the unload while before is shown", [&] {
             Edit();
             HoldBefore(true);
             return ThenUnload(CopyOf(Sirens.SirenEditedImage, block()));
         }},
        {"scratch, at the unload", [&] { return ThenUnload(RestoredScratch()); }},
        {"scratch, grown", [&] {
             const Copy c = RestoredScratch();
             Sirens.scratch.Reserve(2 * kSirenBlockBytes);
             return c;
         }},
        {"scratch, replaced by a shorter copy", [&] {
             const Copy c = RestoredScratch();
             const uint8_t few[8] = {};
             Sirens.scratch.Assign(few, sizeof few);
             return c;
         }},
        {"scratch, moved onto", [&] {
             const Copy c = RestoredScratch();
             Sirens.scratch = OwnCopy{};
             return c;
         }},
        {"scratch, destroyed as at static destruction", [&] {
             const Copy c = RestoredScratch();
             std::destroy_at(&Sirens.scratch);
             std::construct_at(&Sirens.scratch);
             return c;
         }},
        {"chunk buffer, no block found", [&] { return ChunkBufferOfASearch(true, 1, false); }},
        {"chunk buffer, the search stopped", [&] { return ChunkBufferOfASearch(true, 0, true); }},
        {"chunk buffer, the block found", [&] { return ChunkBufferOfASearch(false, 1, false); }},
        {"keyframe snapshot, discarded by a new load of its weather", [&] {
             const Copy c = RainSnapshot();
             timecycle::DiscardWeatherSnapshot(4);
             return c;
         }},
        {"keyframe snapshot, at the unload", [&] { return ThenUnload(RainSnapshot()); }},
        {"keyframe snapshot, destroyed as at static destruction", [&] {
             const Copy c = RainSnapshot();
             std::destroy_at(&timecycle::KeyframeTable.WeatherBlockSnapshots[4]);
             std::construct_at(&timecycle::KeyframeTable.WeatherBlockSnapshots[4]);
             return c;
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Reset();
        PlantBlock();
        const Copy freed = row.freeOne();
        ASSERT_NE(freed.at, 0u) << "no copy";
        ASSERT_GE(freed.size, 8u);
        EXPECT_EQ(WordsLeft(freed), 0u) << "words of the game's block left in freed memory";
    }
}

// The unload discards the snapshot of every weather, the last of the table
// too: each is left empty, and none of their memory keeps a word of the
// game's blocks.
TEST_F(FreedCopiesTest, TheUnloadWipesTheSnapshotOfEveryWeather) {
    testsupport::WriteGeneratedKeyframeTable(table_.at(0));
    std::vector<Copy> copies;
    for (size_t w = 0; w < timecycle::kWeatherCount; ++w) {
        ASSERT_TRUE(timecycle::SnapshotWeatherBlock(static_cast<int>(w), blockOf(w))) << w;
        copies.push_back(CopyOf(timecycle::KeyframeTable.WeatherBlockSnapshots[w].bytes, blockOf(w)));
        ASSERT_NE(copies.back().at, 0u) << w;
    }
    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    for (size_t w = 0; w < timecycle::kWeatherCount; ++w) {
        SCOPED_TRACE(timecycle::WeatherNameTable[w].gameName);
        const timecycle::WeatherBlockSnapshot& snapshot = timecycle::KeyframeTable.WeatherBlockSnapshots[w];
        EXPECT_EQ(snapshot.taken, 0);
        EXPECT_EQ(snapshot.bytes.size(), 0u);
        EXPECT_EQ(WordsLeft(copies[w]), 0u) << "words of the game's block left in the snapshot's memory";
    }
}

// What the user does in the Vehicle Sirens panel between two searches. The
// second search, over the whole address space as the panel makes it, takes
// the game's block (in a mapping of its own, above the heap where the
// editor's copies lie), and the next edit changes the game.
TEST_F(FreedCopiesTest, EverySearchAfterThePanelsStepsTakesTheGamesBlock) {
    if (VARNEL_UNDER_SHADOW_MEMORY) GTEST_SKIP() << "the search covers the whole address space: terabytes of shadow memory here";
    const struct {
        const char* what;
        std::function<void()> steps;
    } rows[] = {
        {"Load live, Refresh", [] {}},
        {"edit, Restore, Refresh", [] {
             Edit();
             Restore();
         }},
        {"edit, Reset values, Refresh", [] {
             Edit();
             std::lock_guard<std::mutex> lock(Sirens.lock);
             std::string status;
             EXPECT_TRUE(ResetSirenProfile(3, status)) << status;
         }},
        {"edit, hold before/after, release, Restore, Refresh", [] {
             Edit();
             HoldBefore(true);
             HoldBefore(false);
             Restore();
         }},
        {"edit, unload, load again, Load live", [] {
             Edit();
             testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
             testsupport::Bounded("ResetSirenState", ResetSirenState);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Reset();
        PlantBlock();
        Sirens.SirenBlockAddress = 0;
        ASSERT_TRUE(LoadAsThePanelDoes()) << "the first search's end";
        ASSERT_EQ(Sirens.SirenBlockAddress, block()) << Sirens.SirenLoadStatus;
        row.steps();
        ASSERT_TRUE(LoadAsThePanelDoes()) << "the second search's end";
        EXPECT_EQ(Sirens.SirenLoadStatus, "Ready.");
        EXPECT_EQ(Sirens.SirenBlockAddress, block());
        if (Sirens.SirenBlockAddress != block()) continue;  // no edit into what it found instead
        std::lock_guard<std::mutex> lock(Sirens.lock);
        std::string status;
        ASSERT_TRUE(ApplySirenValue(0, kField_timeMultiplier, std::bit_cast<uint32_t>(2.5f), status)) << status;
        EXPECT_EQ(MemoryWord(block() + 12), std::bit_cast<uint32_t>(2.5f)) << "the edit did not reach the game";
    }
}

}  // namespace
