// The one-time start-up and the unload, with a recording hook engine and
// probe; and the self-undoing set-up steps.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "host/staged_setup.h"
#include "host_fixture.h"
#include "runtime/live_slots.h"
#include "support/synthetic_image.h"
#include "timecycle/timecycle_model.h"

namespace {

using hosttest::Rec;
using Calls = std::vector<std::string>;

const Calls kHooks = {"engine.initialize", "probe.open", "engine.createHook slot0 detour0",
                      "engine.createHook slot1 detour1", "engine.createHook slot2 detour2",
                      "engine.createHook slot3 detour3", "engine.enableAll", "probe.close"};

class StartupTest : public hosttest::HostTest {};

TEST_F(StartupTest, HooksTheFourMethodsOnceOrAsFarAsTheStepsAllowAndIsNeverRetried) {
    const struct {
        const char* what;
        bool probeOpens, hasSwapChain3, engineInitializes;
        Calls calls;
        const char* hooked;  // per entry of the method table: whether it leads to its detour
    } cases[] = {
        {"everything there", true, true, true, kHooks, "1111"},
        {"no Direct3D 12 device: the throw-away objects are still cleaned up", false, true, true,
         {"engine.initialize", "probe.open", "probe.close"}, "0000"},
        {"no IDXGISwapChain3: only ResizeBuffers1 is missing", true, false, true,
         {"engine.initialize", "probe.open", "engine.createHook slot0 detour0", "engine.createHook slot1 detour1",
          "engine.createHook slot3 detour3", "engine.enableAll", "probe.close"},
         "1101"},
        {"no hook engine: every creation fails in turn", true, true, false, kHooks, "0000"},
    };
    const std::atomic<void*>* game[4] = {&host::GamePresent, &host::GameResizeBuffers, &host::GameResizeBuffers1,
                                         &host::GameExecuteCommandLists};
    for (const auto& c : cases) {
        ResetHostState();
        testsupport::SyntheticImage image;  // an image without any of the searched code
        Rec().probeOpens = c.probeOpens;
        Rec().hasSwapChain3 = c.hasSwapChain3;
        Rec().engineInitializes = c.engineInitializes;
        host::BootstrapEditor();
        EXPECT_EQ(Rec().calls, c.calls) << c.what;
        EXPECT_EQ(Rec().secondarySearchesAtProbe, 1) << "the engine block is searched once, before the hooks";
        EXPECT_TRUE(Exists(std::string(kVrn) + "Imports\\Timecycles")) << c.what;
        EXPECT_NE(shell::SettingsStatusLine, "VRN.ini not loaded.") << "the settings are read first";
        EXPECT_EQ(host::HookEngineStarted.load(), c.engineInitializes ? 1 : 0) << c.what;
        for (int i = 0; i < 4; ++i) {
            const bool hooked = c.hooked[i] == '1';
            EXPECT_EQ(Rec().table[i], hooked ? &Rec().detour[i] : &Rec().game[i]) << c.what << ", entry " << i;
            EXPECT_EQ(game[i]->load(), hooked ? &Rec().game[i] : nullptr) << c.what << ", entry " << i;
        }
        const size_t calls = Rec().calls.size();
        shell::SettingsStatusLine = "marker";
        host::BootstrapEditor();
        EXPECT_EQ(Rec().calls.size(), calls) << "runs once even when called again";
        EXPECT_EQ(shell::SettingsStatusLine, "marker");
    }
}

TEST_F(StartupTest, GivesEveryTimecycleVariablesSlotItsPlaceInTheTimecycleBlockOrZero) {
    for (const bool planted : {true, false}) {
        ResetHostState();
        runtime::ResetSlotTablesForTesting();
        testsupport::SyntheticImage game;
        ASSERT_TRUE(game.ok());
        const uint64_t block = planted ? game.PlantLocatableTimecycleBlock() : 0;
        host::BootstrapEditor();
        for (size_t i = 0; i < timecycle::kVariableCount; ++i)
            EXPECT_EQ(timecycle::TimecycleVariableTable[i].slot->address.Get(), planted ? block + 4 * i : 0u) << i;
        for (size_t row = runtime::kFirstDarkFilmicSlot; row < runtime::kLightDirSlotCount; ++row)
            EXPECT_EQ(runtime::LightDirSlotTable[row].address.Get(), 0u) << "light-direction row " << row;
    }
    runtime::ResetSlotTablesForTesting();
}

TEST_F(StartupTest, WithoutPlatformServicesTheBuiltInEngineStartsAndNothingIsHooked) {
    host::SetHostServices(host::HostServices{});
    host::BootstrapEditor();
    EXPECT_EQ(host::HookEngineStarted.load(), 1);
    EXPECT_EQ(host::GamePresent.load(), nullptr);
    EXPECT_STREQ(host::CurrentHookEngine().name, host::BuiltInHookEngine().name);
    host::CurrentHookEngine().uninitialize();
}

using ShutdownTest = hosttest::HostTest;

TEST_F(ShutdownTest, RemovesTheHooksBeforeTheWindowProcedureAndTheOverlayObjects) {
    host::ShutdownEditor();
    EXPECT_EQ(Rec().calls, (Calls{"restoreWindowProcedure", "releaseOverlay"})) << "before the first press";
    host::BootstrapEditor();
    Rec().calls.clear();
    host::ShutdownEditor();
    EXPECT_EQ(Rec().calls,
              (Calls{"engine.disableAll", "engine.uninitialize", "restoreWindowProcedure", "releaseOverlay"}));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Rec().table[i], &Rec().game[i]) << "the game's method is back";
    Rec().calls.clear();
    host::ShutdownEditor();
    EXPECT_EQ(Rec().calls, (Calls{"restoreWindowProcedure", "releaseOverlay"})) << "a second unload finds no hooks";
}

// The render thread stays inside a detour until the unload has put the window
// procedure back (the unload's last step before it waits), or for good. The
// unload runs inside a detour of its own thread (as from a Present), which
// it does not wait for. The two threads share only atomics.
std::atomic<int> g_releases{0}, g_inFlightAtRelease{-1};
std::atomic<bool> g_procedureRestored{false};

TEST_F(ShutdownTest, ReleasesTheOverlayOnlyOnceNoThreadIsInsideADetour) {
    host::HostServices services = hosttest::RecordingServices();
    services.restoreWindowProcedure = [] { g_procedureRestored = true; };
    services.releaseOverlay = [] {
        g_inFlightAtRelease = host::DetoursInFlight();
        ++g_releases;
    };
    for (const bool leaves : {true, false}) {
        g_releases = 0;
        g_inFlightAtRelease = -1;
        g_procedureRestored = false;
        host::SetHostServices(services);
        host::DetourDrainTimeoutMs = leaves ? 10'000 : 30;
        std::atomic<bool> inside{false}, leave{false};
        std::thread render([&] {
            host::DetourScope scope;
            inside = true;
            while (!(leaves ? g_procedureRestored.load() : leave.load())) std::this_thread::yield();
        });
        while (!inside) std::this_thread::yield();
        {
            host::DetourScope own;
            host::ShutdownEditor();
        }
        leave = true;
        render.join();
        // Else a leak is better than freeing objects in use.
        EXPECT_EQ(g_releases.load(), leaves ? 1 : 0) << leaves;
        EXPECT_EQ(g_inFlightAtRelease.load(), leaves ? 1 : -1) << "released while another thread was inside a detour";
    }
}

std::vector<std::string> g_log;
int g_failAt = -1;

template <int N>
bool Create() {
    g_log.push_back("create " + std::to_string(N));
    return N != g_failAt;
}
template <int N>
void Release() {
    g_log.push_back("release " + std::to_string(N));
}

TEST(StagedSetup, AFailedStepReleasesWhatTheEarlierOnesCreatedNewestFirst) {
    const host::SetupStep steps[] = {{"device", Create<0>, Release<0>},
                                     {"context", Create<1>, Release<1>},
                                     {"window procedure", Create<2>, nullptr},
                                     {"heap", Create<3>, Release<3>}};
    const struct {
        int failAt;
        Calls log;
    } cases[] = {
        {-1, {"create 0", "create 1", "create 2", "create 3"}},
        {0, {"create 0"}},
        {1, {"create 0", "create 1", "release 0"}},
        {3, {"create 0", "create 1", "create 2", "create 3", "release 1", "release 0"}},
    };
    for (const auto& c : cases) {
        g_log.clear();
        g_failAt = c.failAt;
        size_t failedAt = 99;
        EXPECT_EQ(host::RunSetupSteps(steps, 4, &failedAt), c.failAt < 0) << c.failAt;
        EXPECT_EQ(failedAt, c.failAt < 0 ? 99u : static_cast<size_t>(c.failAt)) << "the failed step is named";
        EXPECT_EQ(g_log, c.log) << "failing at " << c.failAt;
    }
}

}  // namespace
