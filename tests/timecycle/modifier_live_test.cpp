// The live resolve, apply and restore of a timecycle modifier on synthetic
// game memory: an 80 MiB heap is the whole arena the search may walk, the
// editor's own buffers are carved from its end (so a search that did not
// leave them out would find them), and the clock is the test's. Then the
// activation of the game's modifier through the natives.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "support/sim_world_fixture.h"
#include "game/natives.h"
#include "support/synthetic_image.h"
#include "timecycle/modifier_defaults.h"
#include "timecycle/modifier_files.h"
#include "timecycle/modifier_live.h"

namespace timecycle {
namespace {

constexpr uint64_t kMiB = 1u << 20;
constexpr uint64_t kHeapBytes = 80 * kMiB;
constexpr uint64_t kOwnArea = 72 * kMiB;  // the editor's buffers from here on

std::atomic<uint64_t> g_clock{0};
std::atomic<uint64_t> g_tick{500};
uint64_t g_bumpNext = 0, g_bumpEnd = 0;
void (*g_onClock)() = nullptr;

uint64_t TestClock() {
    if (g_onClock) {
        auto hook = g_onClock;
        g_onClock = nullptr;
        hook();
    }
    return g_clock += g_tick.load();
}
uint64_t BumpAllocate(uint64_t size) {
    if (g_bumpNext + size > g_bumpEnd) return 0;
    const uint64_t at = g_bumpNext;
    g_bumpNext += size;
    return at;
}
void BumpRelease(uint64_t) {}

// Values of the test modifier: row i holds 10 + i / 4 and 0.25 + i / 8.
constexpr size_t kRows = 9;
float ValueA(size_t i) { return 10.0f + static_cast<float>(i) / 4.0f; }
float ValueB(size_t i) { return 0.25f + static_cast<float>(i) / 8.0f; }

std::string ModifierText() {
    std::string text = "<timecycle_modifier_data version=\"1.0\">\n<modifier name=\"first\"><a>1 2</a></modifier>\n";
    text += "<modifier name=\"Tunnel\" numMods=\"9\">\n";
    for (size_t i = 0; i < kRows; ++i)
        text += "<v" + std::to_string(i) + ">" + std::to_string(ValueA(i)) + " " + std::to_string(ValueB(i)) + "</v" +
                std::to_string(i) + ">\n";
    text += "</modifier>\n<modifier name=\"short\"><a>1 2</a><b>3 4</b></modifier>\n</timecycle_modifier_data>\n";
    return text;
}

class ModifierLiveTest : public testsupport::SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        ASSERT_TRUE(heap.ok());
        ResetModifierLiveState();
        ResetModifierFilesState();
        ResetModifierDefaultsState();
        g_clock = 0;
        g_tick = 500;
        g_onClock = nullptr;
        g_bumpNext = heap.base() + kOwnArea;
        g_bumpEnd = heap.base() + kHeapBytes;
        ModifierLive.config = {heap.base(), heap.base() + kHeapBytes, &TestClock, &BumpAllocate, &BumpRelease};
        std::string status;
        ASSERT_TRUE(LoadTimecycleModifierFile(1, ModifierText(), status)) << status;
        ModifierFiles.slots[1].commonOnly = 0;  // the game holds this layout
        ModifierFiles.selectedFile = 1;
        ModifierFiles.selectedModifier = 1;
    }
    void TearDown() override {
        ResetModifierLiveState();
        ModifierLive.config = {};
        ResetModifierFilesState();
        SimWorldTest::TearDown();
    }
    // The game's block at offset: value pairs and the game's own 4 bytes.
    uint64_t Plant(uint64_t offset) {
        const uint64_t at = heap.base() + offset;
        for (size_t i = 0; i < kRows; ++i) {
            uint8_t* record = reinterpret_cast<uint8_t*>(at + i * 12);
            const float a = ValueA(i), b = ValueB(i);
            const uint32_t own = 0xC0DE0000u + static_cast<uint32_t>(i);
            std::memcpy(record, &a, 4);
            std::memcpy(record + 4, &b, 4);
            std::memcpy(record + 8, &own, 4);
        }
        return at;
    }
    static std::vector<uint8_t> Bytes(uint64_t at, size_t size = kRows * 12) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(at);
        return std::vector<uint8_t>(p, p + size);
    }
    // Steps until the resolve ends; the number of steps.
    static int Resolve(int limit = 400) {
        int steps = 0;
        while (ModifierLive.resolve.resolving && steps < limit) {
            StepModifierLiveResolve();
            ++steps;
        }
        return steps;
    }
    // Places in the arena holding the block's bytes.
    size_t CopiesInArena(const std::vector<uint8_t>& block) const {
        size_t count = 0;
        const uint8_t* p = reinterpret_cast<const uint8_t*>(heap.base());
        for (uint64_t at = 0; at + block.size() <= kHeapBytes; at += 4)
            if (p[at] == block[0] && std::memcmp(p + at, block.data(), block.size()) == 0) ++count;
        return count;
    }
    static std::string Status() { return ModifierLiveStatusText(); }

    testsupport::SyntheticHeap heap{kHeapBytes};
};

TEST_F(ModifierLiveTest, AUniqueBlockResolvesWithinItsSlices) {
    const uint64_t block = Plant(40 * kMiB + 20);
    StartModifierLiveResolve(1, 1, false);
    EXPECT_EQ(Status(), "Live resolve running: Tunnel anchor row 0, priority ranges 2. Keep the menu open until resolved.");
    EXPECT_EQ(ModifierLive.resolve.progress.priorityRanges.size(), 2u);
    const int steps = Resolve();
    // Each slice reads what fits its 8 ms: with 0.5 ms a clock reading, five 1 MiB chunks.
    EXPECT_GE(steps, 10);
    EXPECT_LE(steps, 24);
    // Past the budget by the test clock's own readings (0.5 ms each) only.
    EXPECT_LE(ModifierLive.resolve.progress.worstStepUs, kModifierSliceUs + 4 * 500);
    EXPECT_EQ(Status(), "Live block resolved safely: Tunnel at " + HexAddressText(block) + " (9 rows).");
    EXPECT_TRUE(LiveBlockValidFor(1, 1));
    EXPECT_EQ(ModifierLive.block.address, block);
    EXPECT_EQ(ModifierLive.resolve.lastRegion.start, heap.base());
}

TEST_F(ModifierLiveTest, OutcomesOfAResolve) {
    const struct {
        const char* what;
        std::vector<uint64_t> blocks;
        std::string status;
    } rows[] = {
        {"two copies in one range", {5 * kMiB, 30 * kMiB + 4}, "Live resolve AMBIGUOUS. No live write will be allowed."},
        {"none", {}, "Live resolve NO_MATCH. No live write will be allowed."},
        // A key in the last word of a 1 MiB chunk is read from the chunk's tail.
        {"a key at a chunk's end", {kMiB - 4}, "Live block resolved safely: Tunnel at "},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        std::memset(reinterpret_cast<void*>(heap.base()), 0, kOwnArea);
        for (uint64_t offset : r.blocks) Plant(offset);
        StartModifierLiveResolve(1, 1, false);
        Resolve();
        EXPECT_EQ(Status().rfind(r.status, 0), 0u) << Status();
        EXPECT_EQ(LiveBlockValidFor(1, 1), r.blocks.size() == 1);
    }
    // More than 32 places end the resolve at once.
    std::memset(reinterpret_cast<void*>(heap.base()), 0, kOwnArea);
    for (uint64_t i = 0; i < 40; ++i) Plant(i * 4096);
    StartModifierLiveResolve(1, 1, false);
    EXPECT_EQ(Resolve(), 1);
    EXPECT_EQ(ModifierLive.block.valid, 0);
    EXPECT_EQ(Status(), "Live resolve AMBIGUOUS. No live write will be allowed.");
}

TEST_F(ModifierLiveTest, TheEditorsOwnCopiesAreNeverFound) {
    const uint64_t block = Plant(10 * kMiB);
    const std::vector<uint8_t> original = Bytes(block);
    StartModifierLiveResolve(1, 1, false);
    Resolve();
    ASSERT_TRUE(LiveBlockValidFor(1, 1)) << Status();
    // The saved copy, the scan buffer and the check buffer hold the block
    // too, inside the arena: the next resolve still sees one place.
    EXPECT_GE(CopiesInArena(original), 3u);
    StartModifierLiveResolve(1, 1, false);
    Resolve();
    EXPECT_TRUE(LiveBlockValidFor(1, 1)) << Status();
    // A mapping dropped leaves no copy behind but those the scan keeps.
    ResetLiveMapping({}, false);
    ShutdownModifierLive();
    EXPECT_EQ(CopiesInArena(original), 1u);
}

TEST_F(ModifierLiveTest, ApplyAndRestoreWriteExactBytes) {
    const uint64_t block = Plant(12 * kMiB);
    const std::vector<uint8_t> original = Bytes(block);
    // Apply before any resolve starts one that applies when ready.
    SetModifierRowValues(1, 1, 2, 42.0f, 0.5f);
    ApplyModifierLive(1, 1, 1, 1);
    EXPECT_EQ(Status().rfind("Live resolve running: Tunnel", 0), 0u) << Status();
    EXPECT_TRUE(ModifierLive.resolve.applyWhenReady);
    Resolve();
    EXPECT_EQ(Status(), "Applied edits to Tunnel.");
    std::vector<uint8_t> want = original;
    const float a = 42.0f, b = 0.5f;
    std::memcpy(want.data() + 2 * 12, &a, 4);
    std::memcpy(want.data() + 2 * 12 + 4, &b, 4);
    EXPECT_EQ(Bytes(block), want);

    SetModifierRowValues(1, 1, 5, -1.0f, 3.0f);
    ApplyLiveRow(1, 1, 5);
    EXPECT_EQ(Status(), "Applied live row 5 to Tunnel.");
    const float c = -1.0f, d = 3.0f;
    std::memcpy(want.data() + 5 * 12, &c, 4);
    std::memcpy(want.data() + 5 * 12 + 4, &d, 4);
    EXPECT_EQ(Bytes(block), want);

    for (int i = 0; i < 2; ++i) {
        RestoreModifierLive(1, 1);
        EXPECT_EQ(Status(), "Restored Tunnel.");
        EXPECT_EQ(Bytes(block), original);
        EXPECT_TRUE(LiveBlockValidFor(1, 1));
    }
    // The before/after hotkey: restore, then the edits again.
    uint8_t changed = 0;
    ApplyModifierLive(1, 1, 0, 0);
    ModifierAllLiveBeforeAfter(1, &changed);
    EXPECT_TRUE(changed && ModifierLive.beforeShown);
    EXPECT_EQ(Bytes(block), original);
    changed = 0;
    ModifierAllLiveBeforeAfter(0, &changed);
    EXPECT_TRUE(changed && !ModifierLive.beforeShown);
    EXPECT_EQ(Bytes(block), want);
    EXPECT_EQ(ModifierLive.activation.activeName, "Tunnel");

    // A reload of the file puts the game's bytes back first.
    std::string status;
    ASSERT_TRUE(LoadTimecycleModifierFile(1, ModifierText(), status));
    EXPECT_EQ(Bytes(block), original);
    EXPECT_EQ(Status(), "Live mapping reset because the selected Timecycle Mods .xml was reloaded. Previous live state was restored first.");
    EXPECT_FALSE(ReuseCachedLiveBlock(1, 1)) << "a reload forgets the slot's cached blocks";
}

TEST_F(ModifierLiveTest, TheUnloadLeavesTheEditsInTheGame) {
    const uint64_t block = Plant(12 * kMiB);
    const std::vector<uint8_t> original = Bytes(block);
    StartModifierLiveResolve(1, 1, false);
    Resolve();
    ASSERT_TRUE(LiveBlockValidFor(1, 1)) << Status();
    SetModifierRowValues(1, 1, 2, 42.0f, 0.5f);
    ApplyModifierLive(1, 1, 0, 0);
    const std::vector<uint8_t> edited = Bytes(block);
    EXPECT_NE(edited, original);
    ShutdownModifierLive();
    EXPECT_FALSE(LiveBlockValidFor(1, 1));
    EXPECT_EQ(Bytes(block), edited);
}

TEST_F(ModifierLiveTest, ABlockTheGameReusedIsNeverWritten) {
    const uint64_t block = Plant(3 * kMiB);
    StartModifierLiveResolve(1, 1, false);
    Resolve();
    ASSERT_TRUE(LiveBlockValidFor(1, 1));
    ApplyModifierLive(1, 1, 0, 0);
    const struct {
        const char* what;
        void (*operation)();
        const char* status;
    } rows[] = {
        {"full apply", [] { ApplyModifierLive(1, 1, 0, 0); }, "Live apply failed: the game no longer holds the block of Tunnel; live mapping dropped."},
        {"row apply", [] { ApplyLiveRow(1, 1, 0); }, "Live apply failed: the game no longer holds the block of Tunnel; live mapping dropped."},
        {"restore", [] { RestoreModifierLive(1, 1); }, "Live restore failed: the game no longer holds the block of Tunnel; live mapping dropped."},
        {"reset with restore", [] { ResetLiveMapping("Cleared.", true); }, "Cleared. No previous live state was available."},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Plant(3 * kMiB);
        StartModifierLiveResolve(1, 1, false);
        Resolve();
        ASSERT_TRUE(LiveBlockValidFor(1, 1)) << Status();
        ModifierLive.liveApplied = 1;
        const float reused = 123.0f;  // the game put something else in row 4
        std::memcpy(reinterpret_cast<void*>(block + 4 * 12 + 4), &reused, 4);
        const std::vector<uint8_t> before = Bytes(block);
        r.operation();
        EXPECT_EQ(Status(), r.status);
        EXPECT_EQ(Bytes(block), before);
        EXPECT_FALSE(LiveBlockValidFor(1, 1));
        EXPECT_FALSE(ReuseCachedLiveBlock(1, 1));
    }
}

TEST_F(ModifierLiveTest, CacheReuseAndChecksBeforeAnyScan) {
    const uint64_t block = Plant(9 * kMiB);
    StartModifierLiveResolve(1, 1, false);
    Resolve();
    ResetLiveMapping({}, false);
    EXPECT_TRUE(ReuseCachedLiveBlock(1, 1));
    EXPECT_EQ(Status(), "Live block reused from cache: Tunnel at " + HexAddressText(block) + " (9 rows).");
    ResetLiveMapping({}, false);
    std::memset(reinterpret_cast<void*>(block), 0, 12);
    EXPECT_FALSE(ReuseCachedLiveBlock(1, 1));
    EXPECT_TRUE(ModifierLive.cache.empty()) << "an entry that no longer verifies is dropped";

    const struct {
        int file, modifier;
        bool commonOnly;
        const char* status;
    } refused[] = {
        {4, 0, false, "Live resolve failed: invalid file selection."},
        {2, 0, false, "Live resolve failed: load and select a modifier first."},
        {1, 7, false, "Live resolve failed: load and select a modifier first."},
        {1, 2, false, "Live resolve skipped: modifier has too few rows for a safe unique match."},
        {1, 1, true, "Live resolve skipped: files whose layout differs from the game's are not resolved."},
    };
    for (const auto& r : refused) {
        ModifierFiles.slots[1].commonOnly = r.commonOnly ? 1 : 0;
        StartModifierLiveResolve(r.file, r.modifier, true);
        EXPECT_EQ(Status(), r.status);
        EXPECT_FALSE(ModifierLive.resolve.resolving || ModifierLive.resolve.applyWhenReady);
    }
    ApplyModifierLive(1, 1, 1, 1);
    EXPECT_EQ(Status(), "Live apply skipped: no matching vanilla modifier for common-only live apply.");
    ModifierFiles.slots[1].commonOnly = 0;
    ApplyModifierLive(1, 1, 0, 0);
    EXPECT_EQ(Status(), "Value stored.");
}

TEST_F(ModifierLiveTest, RowMatchingAndAnchor) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const std::vector<ModifierRowPair> row = {{1.0f, 2.0f, 5.0f, 6.0f}};
    const struct {
        float a, b;
        bool originals, current;
    } records[] = {
        {1.0005f, 2.0f, true, false}, {1.0006f, 2.0f, false, false}, {5.0f, 5.9996f, false, true},
        {nan, 2.0f, false, false},    {1.0f, inf, false, false},
    };
    for (const auto& r : records) {
        uint8_t bytes[12] = {};
        std::memcpy(bytes, &r.a, 4);
        std::memcpy(bytes + 4, &r.b, 4);
        EXPECT_EQ(MatchLiveRows(bytes, row, 0, 1, true), r.originals) << r.a << " " << r.b;
        EXPECT_EQ(MatchLiveRows(bytes, row, 0, 1, false), r.current) << r.a << " " << r.b;
    }
    auto rows = [](std::initializer_list<float> as) {
        std::vector<ModifierRowPair> out;
        for (float a : as) out.push_back({a, 1.0f, a, 1.0f});
        return out;
    };
    EXPECT_EQ(ChooseModifierAnchor(rows({0, 0, 50, 50, 50, 50})), 0u);
    EXPECT_EQ(ChooseModifierAnchor(rows({0, 1, 1, 1, 1, 1, 1, 0})), 1u) << "the earlier of two equal windows";
    EXPECT_EQ(ChooseModifierAnchor(rows({0, 0, 0, 1, 1, 1, 1, 1, 1})), 3u);
}

TEST_F(ModifierLiveTest, AStepScansWithoutTheLockAndAReloadMeanwhileDropsItsFindings) {
    Plant(2 * kMiB);
    StartModifierLiveResolve(1, 1, false);
    static std::atomic<bool> lockFree{false};
    g_onClock = [] {
        // The tab's thread takes the lock while the step scans...
        std::thread other([] {
            std::unique_lock<std::recursive_mutex> lock(ModifierMutex(), std::try_to_lock);
            lockFree = lock.owns_lock();
        });
        other.join();
        // ...and reloads the file under it.
        std::string status;
        LoadTimecycleModifierFile(1, ModifierText(), status);
    };
    StepModifierLiveResolve();
    EXPECT_TRUE(lockFree.load());
    EXPECT_FALSE(ModifierLive.resolve.resolving);
    EXPECT_FALSE(ModifierLive.block.valid);
    EXPECT_TRUE(ModifierLive.resolve.progress.matches.empty());

    // The unload while a step scans: the step keeps its buffer to the end.
    ModifierFiles.slots[1].commonOnly = 0;
    StartModifierLiveResolve(1, 1, false);
    g_onClock = [] { ShutdownModifierLive(); };
    StepModifierLiveResolve();
    EXPECT_FALSE(ModifierLive.resolve.resolving);
    EXPECT_FALSE(ModifierLive.scanBuffer);
    ResetModifierLiveState();

    // The render thread edits and reads while the fiber resolves.
    ModifierFiles.slots[1].commonOnly = 0;
    StartModifierLiveResolve(1, 1, true);
    std::thread fiber([] { Resolve(); });
    for (int i = 0; i < 200; ++i) {
        SetModifierRowValues(1, 1, 0, ValueA(0), ValueB(0) + (i % 2 ? 0.5f : 0.0f));
        (void)ModifierLiveStatusText();
        (void)ModifierWorkPending();
    }
    fiber.join();
    EXPECT_FALSE(ModifierLive.resolve.resolving);
}

// ---- Activation --------------------------------------------------------------------------------

TEST_F(ModifierLiveTest, TheActiveModifierIsSetEvery250MsUntilDeactivated) {
    Advance(1000);
    ClearCalls();
    RefreshModifier();
    EXPECT_TRUE(Calls().empty());
    EXPECT_FALSE(ModifierWorkPending());
    ActivateModifier("Tunnel");
    EXPECT_TRUE(ModifierWorkPending());
    RefreshModifier();
    EXPECT_EQ(Natives(), "timecycle modifier set; timecycle modifier strength; ");
    EXPECT_EQ(world.modifierIndex, 1);
    ClearCalls();
    Advance(249);
    RefreshModifier();
    EXPECT_TRUE(Calls().empty());
    Advance(1);
    RefreshModifier();
    EXPECT_EQ(CallsOf(game::kNativeSetModifier).size(), 1u);
    ClearCalls();
    RequestModifierDeactivation();
    RefreshModifier();
    RefreshModifier();
    EXPECT_EQ(Natives(), "timecycle modifier cleared; ");
    EXPECT_EQ(world.modifierIndex, -1);
    EXPECT_FALSE(ModifierWorkPending());
    EXPECT_TRUE(ModifierLive.activation.activeName.empty());
}

}  // namespace
}  // namespace timecycle
