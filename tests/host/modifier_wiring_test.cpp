// A timecycle modifier through the wired host: the tick activates it and
// resolves its block a slice per frame, the all-live before/after hotkey
// shows the game's bytes and the edits in turn, and the unload puts the
// game's bytes back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/editor_state.h"
#include "core/settings.h"
#include "game/before_after.h"
#include "host/shutdown.h"
#include "host/tick.h"
#include "host/tick_wiring.h"
#include "platform/simulated.h"
#include "support/sim_world_fixture.h"
#include "support/synthetic_image.h"
#include "support/thread_waits.h"
#include "support/timecycle_gen.h"
#include "timecycle/modifier_files.h"
#include "timecycle/modifier_live.h"

namespace {

using namespace timecycle;

constexpr int kVkF4 = 0x73;

class ModifierWiringTest : public testsupport::SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        host::WireEditorEntries();
        ResetModifierLiveState();
        ResetModifierFilesState();
        ModifierLive.config.arenaFrom = heap.base();
        ModifierLive.config.arenaTo = heap.base() + heap.size();
        std::string status;
        ASSERT_TRUE(LoadTimecycleModifierFile(1, testsupport::MakeModifierXml(3, 15), status)) << status;
        ModifierFiles.slots[1].commonOnly = 0;
        ModifierFiles.selectedFile = 1;
        ModifierFiles.selectedModifier = 2;
        const TimecycleModifier& m = ModifierFiles.slots[1].modifiers[2];
        for (size_t i = 0; i < m.rows.size(); ++i) {
            std::memcpy(reinterpret_cast<void*>(Block() + i * 12), &m.rows[i].fileA, 4);
            std::memcpy(reinterpret_cast<void*>(Block() + i * 12 + 4), &m.rows[i].fileB, 4);
        }
        original = Bytes();
        core::UiSettings.AllLiveBeforeAfterHotkey = 4;  // F4
        host::ScriptTick();  // the first poll learns the keys
    }
    void TearDown() override {
        ResetModifierLiveState();
        ModifierLive.config = {};
        ResetModifierFilesState();
        SimWorldTest::TearDown();
    }
    uint64_t Block() const { return heap.base() + 8192; }
    std::vector<uint8_t> Bytes() const {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(Block());
        return std::vector<uint8_t>(p, p + 5 * 12);
    }
    void PressAllLive() {
        platform::sim::SetKeyDown(kVkF4, true);
        host::ScriptTick();
        platform::sim::SetKeyDown(kVkF4, false);
        host::ScriptTick();
    }

    testsupport::SyntheticHeap heap{1u << 20};
    std::vector<uint8_t> original;
};

TEST_F(ModifierWiringTest, TheTickResolvesTheHotkeyShowsBeforeAndAfterAndTheUnloadLeavesTheEdits) {
    SetModifierRowValues(1, 2, 0, 9.5f, 0.25f);
    StartModifierLiveResolve(1, 2, true);
    // With the menu closed the pending resolve still runs, a slice a frame.
    int ticks = 0;
    while (ModifierLive.resolve.resolving && ticks < 20) {
        host::ScriptTick();
        ++ticks;
    }
    EXPECT_EQ(ModifierLive.status, "Applied edits to mod_2.");
    EXPECT_EQ(world.modifierIndex, 1) << "the tick set the game's modifier";
    const std::vector<uint8_t> edited = Bytes();
    EXPECT_NE(edited, original);

    PressAllLive();
    EXPECT_EQ(game::BeforeAfter.AllBeforeShown.Get(), 1);
    EXPECT_EQ(Bytes(), original);
    PressAllLive();
    EXPECT_EQ(game::BeforeAfter.AllBeforeShown.Get(), 0);
    EXPECT_EQ(Bytes(), edited);

    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    EXPECT_EQ(Bytes(), edited);
    EXPECT_FALSE(ModifierLive.block.valid);
}

}  // namespace
