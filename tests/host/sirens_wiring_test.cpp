// The vehicle sirens as the plug-in reaches them: the all-live before/after
// hotkey, polled by the tick, flips the siren block; the unload stops a
// running search and joins its thread, and leaves the edited sirens in the game.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "game/before_after.h"
#include "host/shutdown.h"
#include "host/tick.h"
#include "platform/simulated.h"
#include "support/memory_peek.h"
#include "support/sim_world_fixture.h"
#include "support/siren_game.h"
#include "support/thread_waits.h"
#include "weather/sirens_editor.h"
#include "weather/sirens_search.h"
#include "weather/sirens_state.h"

namespace {

using namespace weather;
using testsupport::MemoryBytes;

class SirensWiringTest : public testsupport::SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        testsupport::Bounded("ResetSirenState", ResetSirenState);
        UseF4ForAllLiveBeforeAfter();
        ASSERT_TRUE(memory.ok());
        testsupport::PlantSirenBlock(memory.at(4096), testsupport::PlantSirenNames(memory.at(0)));
        block = memory.base() + 4096;
        game = MemoryBytes(block, kSirenBlockBytes);
        std::lock_guard<std::mutex> lock(Sirens.lock);
        Sirens.SirenBlockAddress = block;
        std::string status;
        ASSERT_TRUE(ApplySirenLightValues(12, 18, 0x40400000u, status));  // intensity 3.0
        edited = MemoryBytes(block, kSirenBlockBytes);
        ASSERT_NE(edited, game);
    }
    void TearDown() override {
        testsupport::Bounded("ResetSirenState", ResetSirenState);
        SimWorldTest::TearDown();
    }

    testsupport::SirenMemory memory{64u << 10};
    uint64_t block = 0;
    std::vector<uint8_t> game, edited;
};

TEST_F(SirensWiringTest, TheAllLiveHotkeyFlipsTheSirens) {
    PressF4();
    EXPECT_EQ(game::BeforeAfter.AllBeforeShown.Get(), 1);
    EXPECT_EQ(MemoryBytes(block, kSirenBlockBytes), game);
    PressF4();
    EXPECT_EQ(game::BeforeAfter.AllBeforeShown.Get(), 0);
    EXPECT_EQ(MemoryBytes(block, kSirenBlockBytes), edited);
}

using testsupport::WaitUntil;  // at most 5 s

std::atomic<int> g_started{0};
uint64_t SearchUntilCancelled() {
    ++g_started;
    WaitUntil([] { return Sirens.workerCancel.Get() != 0; });
    return 0;
}

TEST_F(SirensWiringTest, TheUnloadLeavesTheEditedSirensInTheGame) {
    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    EXPECT_EQ(MemoryBytes(block, kSirenBlockBytes), edited);
    EXPECT_EQ(Sirens.SirenBaselineTaken, 0);
}

TEST_F(SirensWiringTest, TheUnloadStopsARunningSearchAndJoinsItsThread) {
    g_started = 0;
    Sirens.scan = SearchUntilCancelled;
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        StartSirenLoad(true);
    }
    ASSERT_TRUE(WaitUntil([] { return g_started.load() != 0; })) << "the search's start";
    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    EXPECT_EQ(Sirens.worker, 0u);
    EXPECT_EQ(Sirens.SirenWorkerRunning, 0);
}

}  // namespace
