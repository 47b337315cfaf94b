// The tick's names against the live-write runtime's slot tables: every slot
// the group table, the refresh runs and the light-direction list name must
// exist, so a mistyped name cannot silently switch a group off.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "host/editor_state.h"
#include "host/tick.h"
#include "host/tick_groups.h"
#include "host/tick_wiring.h"
#include "runtime/live_slots.h"
#include "timecycle/edit_store.h"
#include "timecycle/game_hooks.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace host;

std::vector<std::string> Split(const char* list) {
    std::vector<std::string> names;
    if (!list) return names;
    names.emplace_back();
    for (const char* p = list; *p; ++p) {
        if (*p == '|') names.emplace_back();
        else names.back() += *p;
    }
    return names;
}

size_t RunLength(const char* first, const char* last) {
    runtime::LiveOverrideSlot *begin = nullptr, *end = nullptr;
    return FindTickSlotRun(first, last, begin, end) ? static_cast<size_t>(end - begin) + 1 : 0;
}

// The counts of the transcribed tables, and every name they use exists once.
TEST(TickWiring, EverySlotTheTablesNameExistsWithTheRunLengths) {
    std::set<std::string> keys;
    for (const TickGroup& g : TickGroupTable()) EXPECT_TRUE(keys.insert(g.key).second) << g.key;
    EXPECT_EQ(keys.size(), 29u);
    for (auto order : {ImportedGroupOrder(), OverrideGroupOrder(), OverrideRestoreOnlyOrder()})
        for (const char* key : order) EXPECT_TRUE(std::string(key) == kEngineBlockKey || FindTickGroup(key)) << key;
    EXPECT_EQ(ImportedGroupOrder().size(), 29u + 1u);
    EXPECT_EQ(OverrideGroupOrder().size() + OverrideRestoreOnlyOrder().size(), 29u + 1u);
    EXPECT_EQ(EngineBlockMembers().size(), 15u);
    uint32_t slots = 0;
    for (const TickGroup& group : TickGroupTable()) {
        for (const GroupPart& part : group.parts) {
            if (part.testRunLast) {
                EXPECT_EQ(RunLength(part.testSlots, part.testRunLast), 22u) << group.key;
            } else {
                for (const std::string& slot : Split(part.testSlots)) EXPECT_TRUE(FindTickSlot(slot)) << slot;
            }
            for (const EngineWrite& write : part.writes) EXPECT_TRUE(FindTickSlot(write.slot)) << write.slot;
            // Record restores of the vehicle lights and the inline redirects name their slot.
            for (const std::string& restore : Split(part.restoreNames)) {
                if (restore[0] == '@' && restore.rfind("@ApplyLive", 0) != 0) {
                    EXPECT_TRUE(FindTickSlot(restore.substr(1))) << restore;
                }
            }
        }
    }
    for (const SlotRun& run : TickRefreshRuns()) {
        EXPECT_EQ(RunLength(run.first, run.last), run.count) << run.first;
        slots += run.count;
    }
    EXPECT_EQ(slots, 136u);
    for (const char* slot : TickLightDirSlots()) EXPECT_TRUE(FindTickSlot(slot)) << slot;
    EXPECT_EQ(FindTickSlot("No Such Slot"), nullptr);
    EXPECT_EQ(RunLength("PostFX Environmental Blur Size", "PostFX Exposure"), 0u) << "reversed";
    EXPECT_EQ(RunLength("Light Dir Mult", "PostFX Exposure"), 0u) << "two tables";
}

// With the built subsystems wired, an enabled slot reaches its group.
class TickWiredTest : public testsupport::SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        runtime::ResetSlotTablesForTesting();
        g_calls = &calls;
        TickCalls.call = [](const char* name) { g_calls->push_back(name); };
    }
    void TearDown() override {
        runtime::ResetSlotTablesForTesting();
        g_calls = nullptr;
        SimWorldTest::TearDown();
    }
    bool Called(const char* name) const { return std::find(calls.begin(), calls.end(), name) != calls.end(); }
    static inline std::vector<std::string>* g_calls = nullptr;
    std::vector<std::string> calls;
};

TEST_F(TickWiredTest, EnabledSlotsAndRuntimeGroupTestsSwitchTheirGroups) {
    FindTickSlot("Light Dir Mult")->enabled = 1;
    FindTickSlot("PostFX Gradient Midpoint")->enabled = 1;
    FindTickSlot("Heat Haze Tex2 V Scrolling Speed")->enabled = 1;  // last of the run
    ScriptTick();
    EXPECT_TRUE(Called("ApplyLiveLightDir"));
    EXPECT_FALSE(Called("RestoreLightDirRedirects"));
    EXPECT_FALSE(Called("RestorePostFxGradientPatches"));  // AnyPostFxGradientOverride held
    EXPECT_TRUE(Called("RestorePostFxVignettingPatches"));
    EXPECT_FALSE(Called("RestoreHeatHazePatches"));
}

TEST_F(TickWiredTest, NeverLoadedSlotsAreReadEvenWithTheMenuClosed) {
    runtime::LiveOverrideSlot* slot = FindTickSlot("Moon Direction Z");
    ASSERT_TRUE(slot);
    float game = 0.75f;
    slot->address = reinterpret_cast<uintptr_t>(&game);
    ScriptTick();
    EXPECT_EQ(slot->loaded.Get(), 1);
    EXPECT_FLOAT_EQ(slot->liveValue, 0.75f);
    game = 0.5f;  // loaded: only re-read while the menu is open
    ScriptTick();
    EXPECT_FLOAT_EQ(slot->liveValue, 0.75f);
    MenuOpen.store(1);
    ScriptTick();
    EXPECT_FLOAT_EQ(slot->liveValue, 0.5f);
    slot->address = 0;
}

TEST_F(TickWiredTest, TimecycleStateChoosesTheModeAndClearsTheTicksMarks) {
    timecycle::ImportedOverridesActive.store(1);
    EXPECT_EQ(SelectTickMode(), TickMode::Override);  // no edits in the current context
    timecycle::ImportedOverridesActive.store(0);
    PatchesClearedForImport.store(1);
    TimecycleRereadFrames.store(3);
    timecycle::ClearImportPatchesMark();
    timecycle::ClearTimecycleRereadFrames();
    EXPECT_EQ(PatchesClearedForImport.load(), 0);
    EXPECT_EQ(TimecycleRereadFrames.load(), 0);
}

}  // namespace
