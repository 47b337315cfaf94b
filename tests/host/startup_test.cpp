// The one-time start-up: its order, with a recording hook engine and probe.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_fixture.h"
#include "runtime/live_slots.h"
#include "timecycle/timecycle_model.h"
#include "support/synthetic_image.h"

namespace {

using hosttest::Rec;

class StartupTest : public hosttest::HostTest {};

TEST_F(StartupTest, CreatesTheWorkspaceReadsTheSettingsThenHooksTheFourMethodsInOrder) {
    testsupport::SyntheticImage game;  // an image without any of the searched code
    ASSERT_TRUE(game.ok());
    host::BootstrapEditor();
    EXPECT_TRUE(Exists(std::string(kVrn) + "VRN.ini"));
    EXPECT_TRUE(Exists(std::string(kVrn) + "Imports\\Timecycles"));
    EXPECT_EQ(shell::SettingsStatusLine.rfind("VRN.ini created with default settings: ", 0), 0u)
        << shell::SettingsStatusLine;

    const std::vector<std::string> expected = {
        "engine.initialize",
        "probe.open",
        "engine.createHook slot0 HookedPresent",
        "engine.createHook slot1 HookedResizeBuffers",
        "engine.createHook slot2 HookedResizeBuffers1",
        "engine.createHook slot3 HookedExecuteCommandLists",
        "engine.enableAll",
        "probe.close",
    };
    EXPECT_EQ(Rec().calls, expected);
    EXPECT_EQ(Rec().secondarySearchesAtProbe, 1) << "the engine block is searched once, before the hooks";
    EXPECT_EQ(host::GamePresent.load(), reinterpret_cast<void*>(&hosttest::GameMethod0));
    EXPECT_EQ(host::GameResizeBuffers.load(), reinterpret_cast<void*>(&hosttest::GameMethod1));
    EXPECT_EQ(host::GameResizeBuffers1.load(), reinterpret_cast<void*>(&hosttest::GameMethod2));
    EXPECT_EQ(host::GameExecuteCommandLists.load(), reinterpret_cast<void*>(&hosttest::GameMethod3));
    EXPECT_EQ(Rec().table[0], reinterpret_cast<void*>(&hosttest::DetourPresent));
    EXPECT_EQ(host::HookEngineStarted.load(), 1);
}

TEST_F(StartupTest, GivesEveryTimecycleVariablesSlotItsPlaceInTheTimecycleBlock) {
    runtime::ResetSlotTablesForTesting();
    testsupport::SyntheticImage game;
    ASSERT_TRUE(game.ok());
    const uint64_t block = game.PlantLocatableTimecycleBlock();
    host::BootstrapEditor();
    for (size_t i = 0; i < timecycle::kVariableCount; ++i) {
        const runtime::LiveOverrideSlot* slot = timecycle::TimecycleVariableTable[i].slot;
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot->address.Get(), block + 4 * i) << "variable " << i;
    }
    for (size_t row = runtime::kFirstDarkFilmicSlot; row < runtime::kLightDirSlotCount; ++row)
        EXPECT_EQ(runtime::LightDirSlotTable[row].address.Get(), 0u) << "light-direction row " << row;
    runtime::ResetSlotTablesForTesting();
}

TEST_F(StartupTest, WithoutATimecycleBlockEverySlotAddressIsZero) {
    runtime::ResetSlotTablesForTesting();
    testsupport::SyntheticImage game;
    host::BootstrapEditor();
    for (size_t i = 0; i < timecycle::kVariableCount; ++i)
        EXPECT_EQ(timecycle::TimecycleVariableTable[i].slot->address.Get(), 0u) << "variable " << i;
    runtime::ResetSlotTablesForTesting();
}

TEST_F(StartupTest, RunsOnceEvenWhenCalledAgain) {
    host::BootstrapEditor();
    const size_t calls = Rec().calls.size();
    shell::SettingsStatusLine = "marker";
    host::BootstrapEditor();
    EXPECT_EQ(Rec().calls.size(), calls);
    EXPECT_EQ(shell::SettingsStatusLine, "marker");
}

TEST_F(StartupTest, WithoutADirect3D12DeviceNoHookIsCreatedButTheThrowAwayObjectsAreStillCleanedUp) {
    Rec().probeOpens = false;
    host::BootstrapEditor();
    const std::vector<std::string> expected = {"engine.initialize", "probe.open", "probe.close"};
    EXPECT_EQ(Rec().calls, expected);
    EXPECT_EQ(host::GamePresent.load(), nullptr);
    EXPECT_EQ(host::BootstrapDone.load(), 1) << "a failed start-up is never tried again";
}

TEST_F(StartupTest, WithoutIDXGISwapChain3OnlyResizeBuffers1IsMissing) {
    Rec().hasSwapChain3 = false;
    host::BootstrapEditor();
    const std::vector<std::string> expected = {
        "engine.initialize",
        "probe.open",
        "engine.createHook slot0 HookedPresent",
        "engine.createHook slot1 HookedResizeBuffers",
        "engine.createHook slot3 HookedExecuteCommandLists",
        "engine.enableAll",
        "probe.close",
    };
    EXPECT_EQ(Rec().calls, expected);
    EXPECT_EQ(host::GameResizeBuffers1.load(), nullptr);
    EXPECT_NE(host::GameResizeBuffers.load(), nullptr);
}

TEST_F(StartupTest, AFailedEngineLeavesEveryGamePointerNull) {
    Rec().engineInitializes = false;
    host::BootstrapEditor();
    EXPECT_EQ(host::HookEngineStarted.load(), 0);
    EXPECT_EQ(host::GamePresent.load(), nullptr);
    EXPECT_EQ(host::GameExecuteCommandLists.load(), nullptr);
    EXPECT_EQ(Rec().table[0], reinterpret_cast<void*>(&hosttest::GameMethod0)) << "nothing was hooked";
}

TEST_F(StartupTest, WithoutPlatformServicesTheBuiltInEngineStartsAndNothingIsHooked) {
    host::SetHostServices(host::HostServices{});
    host::BootstrapEditor();
    EXPECT_EQ(host::HookEngineStarted.load(), 1);
    EXPECT_EQ(host::GamePresent.load(), nullptr);
    EXPECT_STREQ(host::CurrentHookEngine().name, host::BuiltInHookEngine().name);
    host::CurrentHookEngine().uninitialize();
}

}  // namespace
