// The tick's names against the live-write runtime's slot tables: every slot
// the group table, the refresh runs and the light-direction list name must
// exist and every record restore must name a slot of its own row, so that
// a mistyped name cannot silently switch a group off or restore another
// group's record; and the wired subsystems switch the groups.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/editor_state.h"
#include "game/before_after.h"
#include "host/tick.h"
#include "host/tick_groups.h"
#include "host/tick_wiring.h"
#include "runtime/live_slots.h"
#include "support/sim_world_fixture.h"
#include "timecycle/edit_store.h"
#include "timecycle/game_hooks.h"
#include "timecycle/timecycle_model.h"

namespace {

using namespace core;
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

TEST(TickWiring, EveryNameOfTheTablesIsASlotAndEveryRecordKeyASlotOfItsOwnRow) {
    // Each group once in the imported order, and once in the override order or its restore-only list.
    std::map<std::string, int> imported, override;
    for (const char* key : ImportedGroupOrder()) ++imported[key];
    for (auto order : {OverrideGroupOrder(), OverrideRestoreOnlyOrder()})
        for (const char* key : order) ++override[key];
    EXPECT_EQ(imported, override);
    EXPECT_EQ(imported.size(), TickGroupTable().size() + 1);  // the groups and the engine-block members
    std::vector<const std::atomic<uint8_t>*> storeFlags;
    for (const TickGroup& group : TickGroupTable()) {
        EXPECT_EQ(imported[group.key], 1) << group.key;
        for (const GroupPart& part : group.parts) {
            const std::vector<std::string> slots = Split(part.testSlots);
            if (part.testRunLast) {
                EXPECT_EQ(RunLength(part.testSlots, part.testRunLast), 22u) << group.key;
            } else {
                for (const std::string& slot : slots) EXPECT_TRUE(FindTickSlot(slot)) << slot;
            }
            for (const EngineWrite& write : part.writes) EXPECT_TRUE(FindTickSlot(write.slot)) << write.slot;
            if (part.restore == GroupRestore::Record) {
                EXPECT_FALSE(slots.empty() || part.testRunLast) << group.key;
            }
            for (const std::string& restore : Split(part.restoreNames)) {
                if (restore[0] != '@') continue;
                EXPECT_NE(std::find(slots.begin(), slots.end(), restore.substr(1)), slots.end())
                    << group.key << ": " << restore << " is not a slot of its row";
            }
            if (part.apply == GroupApply::StorePatch) {
                storeFlags.push_back(TickStorePatchFlag(part.gate));
                EXPECT_NE(storeFlags.back(), nullptr) << part.gate;
                EXPECT_EQ(part.restore, GroupRestore::StorePatch) << group.key;
            }
        }
    }
    ASSERT_EQ(storeFlags.size(), 2u);
    EXPECT_NE(storeFlags[0], storeFlags[1]);
    for (const SlotRun& run : TickRefreshRuns()) EXPECT_EQ(RunLength(run.first, run.last), run.count) << run.first;
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

// The before/after hotkeys (game) reach the timecycle editor through the
// table the host fills: an enabled slot edits its group.
TEST_F(TickWiredTest, TheAllLiveHotkeyAsksTheTimecycleEditor) {
    ASSERT_TRUE(game::BeforeAfterCalls.anyTimecycleGroupEdited);
    runtime::LiveOverrideSlot& slot = *timecycle::TimecycleVariableTable[0].slot;
    for (uint8_t enabled : {1, 0}) {
        slot.enabled = enabled;
        timecycle::GroupFlagsDirty = 1;
        EXPECT_EQ(game::BeforeAfterCalls.anyTimecycleGroupEdited(), enabled != 0);
    }
}

}  // namespace
