// The script loop, the one-time start-up and the unload on a fake drive,
// with host services that record every call the start-up and the unload
// make (hook engine, throw-away-object probe, window procedure, overlay
// release); and the self-undoing set-up steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/editor_state.h"
#include "core/settings.h"
#include "host/detour_gate.h"
#include "host/host_services.h"
#include "host/menu_hotkey.h"
#include "host/script_loop.h"
#include "host/shutdown.h"
#include "host/staged_setup.h"
#include "host/startup.h"
#include "platform/simulated.h"
#include "runtime/locator_state.h"
#include "runtime/live_slots.h"
#include "support/fake_drive.h"
#include "support/synthetic_game.h"
#include "support/synthetic_image.h"
#include "support/thread_waits.h"
#include "runtime/live_writes.h"
#include "runtime/locator_state.h"
#include "runtime/override_groups.h"
#include "runtime/override_patches.h"
#include "runtime/redirects.h"
#include "runtime/store_probes.h"
#include "timecycle/timecycle_model.h"
#include "visualsettings/binding.h"
#include "visualsettings/param_table.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/visualsettings_entries.h"

namespace {

// What the recording services do and saw.
struct Recorder {
    std::vector<std::string> calls;
    bool probeOpens = true;       // the throw-away Direct3D 12 objects can be made
    bool hasSwapChain3 = true;    // the swap chain answers for IDXGISwapChain3
    bool engineInitializes = true;
    // Whole-image searches of the start-up that had run when the throw-away
    // objects were made (the game-address searches come before the hooks).
    int secondarySearchesAtProbe = -1;
    // A fake method table of Present, ResizeBuffers, ResizeBuffers1 and
    // ExecuteCommandLists: the game's methods are the addresses of game[i],
    // the detours those of detour[i]; hooked[i] once a hook was created.
    void* table[4] = {};
    char game[4] = {}, detour[4] = {};
    bool hooked[4] = {};
};

Recorder g_rec;

void Note(const std::string& call) { g_rec.calls.push_back(call); }
bool SetAll(bool detoured) {
    for (int i = 0; i < 4; ++i)
        if (g_rec.hooked[i]) g_rec.table[i] = detoured ? &g_rec.detour[i] : &g_rec.game[i];
    return true;
}
const host::HookEngine kRecordingEngine = {
    "recording",
    [] { return Note("engine.initialize"), g_rec.engineInitializes; },
    [](void** slot, void* detour, void** original) {
        const int i = static_cast<int>(slot - g_rec.table);
        Note("engine.createHook slot" + std::to_string(i) + " detour" +
             std::to_string(static_cast<char*>(detour) - g_rec.detour));
        if (!g_rec.engineInitializes) return false;
        *original = *slot;
        g_rec.hooked[i] = true;
        return true;
    },
    [] { return Note("engine.enableAll"), SetAll(true); },
    [] { return Note("engine.disableAll"), SetAll(false); },
    [] { Note("engine.uninitialize"), SetAll(false); },
};

bool ProbeOpen(host::PresentationMethods& methods) {
    Note("probe.open");
    g_rec.secondarySearchesAtProbe = runtime::Locators.SecondaryBlockSearches;
    if (!g_rec.probeOpens) return false;
    methods.present = &g_rec.table[0];
    methods.resizeBuffers = &g_rec.table[1];
    methods.resizeBuffers1 = g_rec.hasSwapChain3 ? &g_rec.table[2] : nullptr;
    methods.executeCommandLists = &g_rec.table[3];
    return true;
}

host::HostServices RecordingServices() {
    host::HostServices s;
    s.engine = &kRecordingEngine;
    s.probe.open = ProbeOpen;
    s.probe.close = [] { Note("probe.close"); };
    char* detour = g_rec.detour;
    s.detours = {detour, detour + 1, detour + 2, detour + 3};
    s.restoreWindowProcedure = [] { Note("restoreWindowProcedure"); };
    s.releaseOverlay = [] { Note("releaseOverlay"); };
    return s;
}

class HostTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        ResetHostState();
    }
    void TearDown() override {
        ResetHostState();
        host::SetHostServices(host::HostServices{});
        FakeDriveTest::TearDown();
    }
    // Everything as at process start, with the recording services in place.
    static void ResetHostState() {
        g_rec = Recorder{};
        for (int i = 0; i < 4; ++i) g_rec.table[i] = &g_rec.game[i];
        host::ResetStartupState();
        host::SetHostServices(RecordingServices());
        host::ResetShutdownState();
        core::Editor.MenuOpen = core::Editor.MenuSuspended = 0;
        core::Editor.MenuCooldownFrames = 0;
        runtime::ResetLocatorState();
        core::ResetSettingsState();
        platform::sim::ReleaseAllKeys();
        platform::sim::UseManualClock(false);  // the game's clock: the editor's threads wait in real time
        visualsettings::ResetVisualSettingsForTesting();
    }

    static constexpr const char* kVrn = "C:\\Users\\Player\\Documents\\VRN\\";
};

using Calls = std::vector<std::string>;

const Calls kHooks = {"engine.initialize", "probe.open", "engine.createHook slot0 detour0",
                      "engine.createHook slot1 detour1", "engine.createHook slot2 detour2",
                      "engine.createHook slot3 detour3", "engine.enableAll", "probe.close"};

using StartupTest = HostTest;

// The hooks as far as the steps allow, and every timecycle variable's slot
// at its place in the timecycle block, or at 0 when the game image has none.
TEST_F(StartupTest, HooksTheFourMethodsAndPlacesTheTimecycleSlotsOnceAndIsNeverRetried) {
    const struct {
        const char* what;
        bool probeOpens, hasSwapChain3, engineInitializes, timecycleBlock;
        Calls calls;
        const char* hooked;  // per entry of the method table: whether it leads to its detour
    } cases[] = {
        {"everything there", true, true, true, true, kHooks, "1111"},
        {"no Direct3D 12 device: the throw-away objects are still cleaned up", false, true, true, false,
         {"engine.initialize", "probe.open", "probe.close"}, "0000"},
        {"no IDXGISwapChain3: only ResizeBuffers1 is missing", true, false, true, false,
         {"engine.initialize", "probe.open", "engine.createHook slot0 detour0", "engine.createHook slot1 detour1",
          "engine.createHook slot3 detour3", "engine.enableAll", "probe.close"},
         "1101"},
        {"no hook engine: every creation fails in turn", true, true, false, false, kHooks, "0000"},
    };
    const core::SharedValue<void*>* game[4] = {&host::Startup.GamePresent, &host::Startup.GameResizeBuffers, &host::Startup.GameResizeBuffers1,
                                         &host::Startup.GameExecuteCommandLists};
    for (const auto& c : cases) {
        ResetHostState();
        runtime::ResetSlotTablesForTesting();
        testsupport::SyntheticImage image;  // without the engine block's code
        ASSERT_TRUE(image.ok());
        const uint64_t block = c.timecycleBlock ? image.PlantLocatableTimecycleBlock() : 0;
        g_rec.probeOpens = c.probeOpens;
        g_rec.hasSwapChain3 = c.hasSwapChain3;
        g_rec.engineInitializes = c.engineInitializes;
        host::BootstrapEditor();
        EXPECT_EQ(g_rec.calls, c.calls) << c.what;
        EXPECT_EQ(g_rec.secondarySearchesAtProbe, 1) << "the engine block is searched once, before the hooks";
        EXPECT_TRUE(Exists(std::string(kVrn) + "Imports\\Timecycles")) << c.what;
        EXPECT_NE(core::UiSettings.SettingsStatusLine, "VRN.ini not loaded.") << "the settings are read first";
        EXPECT_EQ(host::Startup.HookEngineStarted.Get(), c.engineInitializes ? 1 : 0) << c.what;
        for (int i = 0; i < 4; ++i) {
            const bool hooked = c.hooked[i] == '1';
            EXPECT_EQ(g_rec.table[i], hooked ? &g_rec.detour[i] : &g_rec.game[i]) << c.what << ", entry " << i;
            EXPECT_EQ(game[i]->Get(), hooked ? &g_rec.game[i] : nullptr) << c.what << ", entry " << i;
        }
        for (size_t i = 0; i < timecycle::kVariableCount; ++i)
            EXPECT_EQ(timecycle::TimecycleVariableTable[i].slot->address.Get(), block ? block + 4 * i : 0u) << i;
        for (size_t row = runtime::kFirstDarkFilmicSlot; row < runtime::kLightDirSlotCount; ++row)
            EXPECT_EQ(runtime::LiveSlots.LightDirSlotTable[row].address.Get(), 0u) << "light-direction row " << row;
        const size_t calls = g_rec.calls.size();
        core::UiSettings.SettingsStatusLine = "marker";
        host::BootstrapEditor();
        EXPECT_EQ(g_rec.calls.size(), calls) << "runs once even when called again";
        EXPECT_EQ(core::UiSettings.SettingsStatusLine, "marker");
    }
    runtime::ResetSlotTablesForTesting();
}

// On a game image holding every code site the start-up finds every
// redirect it prepares and every store it probes in one pass over the
// image, fills the ambient-bounce cell, and changes the game's code only by
// the write-list cave's jump (the unload takes it back).
TEST_F(StartupTest, PreparesTheRedirectsAndProbesAndInstallsTheWriteListCave) {
    runtime::ResetSlotTablesForTesting();
    testsupport::SyntheticImage image;
    testsupport::PlantSyntheticGame(image);
    const std::vector<uint8_t> before = image.Bytes();
    host::BootstrapEditor();  // the slots get their addresses before group C is filled
    EXPECT_EQ(runtime::Locators.ImagePasses.Get(), 1);
    for (size_t i = 0; i < runtime::kRedirectCount; ++i) {
        const runtime::RedirectId id = static_cast<runtime::RedirectId>(i);
        const bool prepared = runtime::RecordsOf(id)[0].found != 0;
        // The temperature and the four redirects of the tick are prepared by their first use.
        const bool byStartup = id != runtime::RedirectId::Temperature && id != runtime::RedirectId::VehicleDirtMod &&
                               id != runtime::RedirectId::EnableOcclusion &&
                               id != runtime::RedirectId::EnableShadowOcclusion &&
                               id != runtime::RedirectId::ShadowDistanceMult;
        EXPECT_EQ(prepared, byStartup) << runtime::Redirect(id).installer;
    }
    EXPECT_TRUE(runtime::WriteListCaveInstalled());
    EXPECT_EQ(runtime::WriteListCount(), 0u);
    const uint64_t bounce = runtime::Redirects.cells[static_cast<size_t>(runtime::RedirectId::AmbientBounceDownWrap)];
    ASSERT_NE(bounce, 0u);
    float wrap = 0;
    std::memcpy(&wrap, reinterpret_cast<const void*>(bounce + 4), 4);
    EXPECT_EQ(wrap, 10.25f) << "group C: the game's own value of a slot not enabled (variable 10) in the cell";
    std::vector<uint8_t> after = image.Bytes();
    // The 8-byte movaps replaced by a jump and three no-operations, and no
    // other byte of the code (a byte of the jump's displacement may equal the
    // game's own by chance: the bytes are compared, not counted).
    const uint64_t site = runtime::ProbeSitesOf(runtime::ProbeId::WriteListSite)[0].site;
    ASSERT_NE(site, 0u);
    const size_t at = static_cast<size_t>(site - image.base());
    EXPECT_EQ(after[at], 0xE9);
    EXPECT_EQ(std::vector<uint8_t>(after.begin() + static_cast<long>(at) + 5, after.begin() + static_cast<long>(at) + 8),
              std::vector<uint8_t>(3, 0x90));
    for (size_t i = 0; image.base() + i < image.SectionStart(testsupport::ImageSection::Rdata); ++i) {
        if (i < at || i >= at + 8) {
            EXPECT_EQ(after[i], before[i]) << "code byte " << i << " changed";
        }
    }
    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    after = image.Bytes();
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + static_cast<long>(image.SectionStart(testsupport::ImageSection::Rdata) - image.base()), before.begin()));
    EXPECT_FALSE(runtime::WriteListCaveInstalled());
    runtime::ResetSlotTablesForTesting();
}

TEST_F(StartupTest, WithoutPlatformServicesTheBuiltInEngineStartsAndNothingIsHooked) {
    host::SetHostServices(host::HostServices{});
    host::BootstrapEditor();
    EXPECT_EQ(host::Startup.HookEngineStarted.Get(), 1);
    EXPECT_EQ(host::Startup.GamePresent.Get(), nullptr);
    EXPECT_STREQ(host::CurrentHookEngine().name, host::BuiltInHookEngine().name);
    host::CurrentHookEngine().uninitialize();
}

TEST_F(StartupTest, BindsTheVisualsettingsParametersThenResetsThemToTheirDefaults) {
    runtime::ResetSlotTablesForTesting();
    testsupport::SyntheticImage image;
    const uint64_t block = image.Reserve(testsupport::ImageSection::Data, 0xCD00, 16);
    image.WriteFloat(block + 0xCC18, 1.25f);
    image.PlantCoronasStore(block + 0xCC18);
    host::BootstrapEditor();
    const visualsettings::VisualSettingsParam* row = visualsettings::FindVisualSettingsParam("misc.coronas.sizeScaleGlobal");
    EXPECT_EQ(row->liveAddress.Get(), block + 0xCC18);
    EXPECT_EQ(row->value.Get(), 1.25f) << "its default, the game's value read at the binding";
    EXPECT_TRUE(row->loaded.Get() && row->hasOriginal.Get());
    const visualsettings::VisualSettingsParam* lod = visualsettings::FindVisualSettingsParam("car.lod.distance.high");
    EXPECT_EQ(lod->value.Get(), 40.0f);
    EXPECT_EQ(visualsettings::DarkFilmicSlot(0).baselineValue.Get(), 0.22f);
    runtime::ResetSlotTablesForTesting();
}

using ShutdownTest = HostTest;

TEST_F(ShutdownTest, StopsTheEditorsThreadsAndWaitsForThem) {
    {
        testsupport::HeldSleeps held;
        ASSERT_TRUE(visualsettings::StartDeferredRuntimeProbe());  // waits 45 s before its search
        ASSERT_TRUE(testsupport::WaitForHeldSleepers(1)) << "the search thread is in its wait";
    }
    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    EXPECT_EQ(visualsettings::RuntimeTable.thread.Get(), 0u) << "ended and waited for";
    EXPECT_EQ(visualsettings::RuntimeTable.searches.Get(), 0u);
    EXPECT_FALSE(visualsettings::StartDeferredRuntimeProbe()) << "none starts after the unload";
}

// A thread of the editor that does not come back in time (held in its
// sleep, so that it cannot see the stop) does not hold up the rest of the
// unload, whose last step then waits for it without bound: the unload
// returns only once the thread has ended, however long it is held.
std::atomic<bool> g_overlayReleased{false};

TEST_F(ShutdownTest, GoesOnWhenAThreadHasNotEndedInTimeAndReturnsOnlyOnceItHas) {
    host::HostServices services = RecordingServices();
    services.restoreWindowProcedure = nullptr;
    services.releaseOverlay = [] { g_overlayReleased = true; };
    host::SetHostServices(services);
    g_overlayReleased = false;
    host::Shutdown.DetourDrainTimeoutMs = 30;
    testsupport::HeldSleeps held;
    ASSERT_TRUE(visualsettings::StartDeferredRuntimeProbe());
    ASSERT_TRUE(testsupport::WaitForHeldSleepers(1)) << "the search thread is in its wait";
    std::atomic<bool> letGo{false}, returned{false}, returnedWhileHeld{false};
    std::atomic<uint32_t> endedAtReturn{0};
    std::thread unload([&] {
        host::ShutdownEditor();
        endedAtReturn = visualsettings::RuntimeTable.finished.Get();
        returnedWhileHeld = !letGo;
        returned = true;
    });
    // Everything else is done; an unload held up by the thread gets no
    // further until the thread is let go below.
    EXPECT_TRUE(testsupport::WaitUntil([] { return g_overlayReleased.load(); })) << "the unload stopped at the thread";
    // Held far longer than the unload's other waits (30 ms each): a last
    // wait with any bound of its own gives up and returns meanwhile.
    testsupport::WaitUntil([&] { return returned.load(); }, std::chrono::seconds(3));
    letGo = true;
    platform::sim::HoldSleeps(false);
    testsupport::Bounded("ShutdownEditor", [&] { unload.join(); });
    EXPECT_FALSE(returnedWhileHeld.load()) << "returned while its thread was still held";
    EXPECT_EQ(endedAtReturn.load(), 1u) << "the search thread had ended";
    EXPECT_EQ(visualsettings::RuntimeTable.thread.Get(), 0u);
    EXPECT_EQ(visualsettings::RuntimeTable.searches.Get(), 0u) << "it saw the stop";
}

// Disabled first, so that no new call enters a detour; removed (the engine
// uninitialised) only after the window procedure, when the detours are left.
TEST_F(ShutdownTest, DisablesTheHooksBeforeTheWindowProcedureAndRemovesThemBeforeTheOverlayObjects) {
    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    EXPECT_EQ(g_rec.calls, (Calls{"restoreWindowProcedure", "releaseOverlay"})) << "before the first press";
    host::BootstrapEditor();
    g_rec.calls.clear();
    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    EXPECT_EQ(g_rec.calls,
              (Calls{"engine.disableAll", "restoreWindowProcedure", "engine.uninitialize", "releaseOverlay"}));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(g_rec.table[i], &g_rec.game[i]) << "the game's method is back";
    g_rec.calls.clear();
    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    EXPECT_EQ(g_rec.calls, (Calls{"restoreWindowProcedure", "releaseOverlay"})) << "a second unload finds no hooks";
}

// The render thread stays inside a detour until the unload has put the window
// procedure back (the unload's last step before it waits), or for good. The
// unload runs inside a detour of its own thread (as from a Present), which
// it does not wait for. The two threads share only atomics. A thread still
// inside a detour calls the game's method through what the engine keeps (a
// MinHook trampoline): the engine is not uninitialised under it either.
std::atomic<bool> g_procedureRestored{false};

TEST_F(ShutdownTest, UninitialisesTheEngineAndReleasesTheOverlayOnlyOnceNoThreadIsInsideADetour) {
    static const host::HookEngine kDrainEngine = {
        "drain", [] { return true; }, nullptr,
        [] { return true; },
        [] { return Note("disabled with " + std::to_string(host::DetoursInFlight()) + " in detours"), true; },
        [] { Note("uninitialised with " + std::to_string(host::DetoursInFlight()) + " in detours"); },
    };
    host::HostServices services = RecordingServices();
    services.engine = &kDrainEngine;
    services.restoreWindowProcedure = [] { g_procedureRestored = true; };
    services.releaseOverlay = [] { Note("released with " + std::to_string(host::DetoursInFlight()) + " in detours"); };
    for (const bool leaves : {true, false}) {
        g_rec.calls.clear();
        g_procedureRestored = false;
        host::SetHostServices(services);
        host::Startup.HookEngineStarted = 1;
        host::Shutdown.DetourDrainTimeoutMs = leaves ? 10'000 : 30;
        std::atomic<bool> inside{false}, leave{false}, gaveUp{false};
        std::thread render([&] {
            host::DetourScope scope;
            inside = true;
            gaveUp = !testsupport::WaitUntil([&] { return (leaves && g_procedureRestored.load()) || leave.load(); });
        });
        EXPECT_TRUE(testsupport::WaitUntil([&] { return inside.load(); })) << "the render thread is in its detour";
        {
            host::DetourScope own;
            // Beyond the bound of the detours' drain (10 s).
            testsupport::Bounded("ShutdownEditor", host::ShutdownEditor, std::chrono::seconds(30));
        }
        leave = true;
        render.join();
        EXPECT_FALSE(gaveUp.load()) << "the render thread left its detour only when its wait ran out";
        // Else a leak is better than freeing what is in use.
        EXPECT_EQ(g_rec.calls, leaves ? (Calls{"disabled with 2 in detours", "uninitialised with 1 in detours",
                                               "released with 1 in detours"})
                                      : Calls{"disabled with 2 in detours"})
            << leaves;
    }
}

int g_failAt = -1;
template <int N>
bool Create() {
    return Note("create " + std::to_string(N)), N != g_failAt;
}
template <int N>
void Release() {
    Note("release " + std::to_string(N));
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
        g_rec.calls.clear();
        g_failAt = c.failAt;
        size_t failedAt = 99;
        EXPECT_EQ(host::RunSetupSteps(steps, 4, &failedAt), c.failAt < 0) << c.failAt;
        EXPECT_EQ(failedAt, c.failAt < 0 ? 99u : static_cast<size_t>(c.failAt)) << "the failed step is named";
        EXPECT_EQ(g_rec.calls, c.log) << "failing at " << c.failAt;
    }
}

// ---- Script loop ----------------------------------------------------------

constexpr int kF6 = 0x75, kF9 = 0x78, kF10 = 0x79, kEscape = 27;

class ScriptLoopTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        host::ScriptLoopBegin(loop);
    }
    void Key(int key, bool down) {
        platform::sim::SetKeyDown(key, down);
        host::ScriptLoopPass(loop);
    }
    void Press(int key) {
        Key(key, true);
        Key(key, false);
    }
    uint8_t Open() const { return core::Editor.MenuOpen.Get(); }
    host::ScriptLoopState loop;
};

TEST_F(ScriptLoopTest, DormantUntilTheFirstPressWhichStartsTheEditorAndOpensTheMenu) {
    for (int i = 0; i < 10; ++i) host::ScriptLoopPass(loop);
    Press(kEscape);
    EXPECT_EQ(host::Startup.BootstrapDone.Get(), 0);
    EXPECT_TRUE(g_rec.calls.empty()) << "nothing is hooked, read or scanned before the press";
    EXPECT_FALSE(Exists(kVrn)) << "no folder is created before the press";

    Key(kF9, true);
    EXPECT_EQ(host::Startup.BootstrapDone.Get(), 1);
    EXPECT_EQ(Open(), 1);
    EXPECT_TRUE(Exists(std::string(kVrn) + "VRN.ini"));
    for (int i = 0; i < 20; ++i) Key(kF9, true);
    EXPECT_EQ(Open(), 1) << "holding the key toggles once";
    Key(kF9, false);
    Press(kF9);
    EXPECT_EQ(Open(), 0);
}

// A key held while the game loads is no press; a hotkey index out of the
// table means F9.
TEST_F(ScriptLoopTest, AKeyHeldWhileTheGameLoadsIsNoPressAndABadIndexMeansF9) {
    platform::sim::SetKeyDown(kF9, true);
    host::ScriptLoopBegin(loop);
    core::UiSettings.MenuHotkey = 8;
    Key(kF9, true);
    EXPECT_EQ(host::Startup.BootstrapDone.Get(), 0);
    EXPECT_EQ(core::UiSettings.MenuHotkey.Get(), 3u);
    Key(kF9, false);
    Press(kF9);
    EXPECT_EQ(host::Startup.BootstrapDone.Get(), 1);
}

TEST_F(ScriptLoopTest, EscapeClosesOnItsPressEdgeAndLeavesAClosedWindowToTheHotkey) {
    Press(kF9);
    ASSERT_EQ(Open(), 1);
    Key(kEscape, true);
    EXPECT_EQ(Open(), 0);
    Press(kF9);  // reopened while Escape is still held
    EXPECT_EQ(Open(), 1) << "a held Escape closes once, on its press";
    Key(kEscape, false);
    Press(kEscape);
    EXPECT_EQ(Open(), 0);
    platform::sim::SetKeyDown(kEscape, true);  // both on the same pass
    Key(kF9, true);
    EXPECT_EQ(Open(), 1);
}

TEST_F(ScriptLoopTest, AHotkeyPressWhileTheMenuIsBlockedClosesIt) {
    core::Editor.MenuCooldownFrames = 5;
    Press(kF9);
    EXPECT_EQ(host::Startup.BootstrapDone.Get(), 1) << "the first press during a cooldown starts the editor";
    EXPECT_EQ(Open(), 0);
    core::Editor.MenuCooldownFrames = 0;
    Press(kF9);
    ASSERT_EQ(Open(), 1);
    for (const bool suspended : {false, true}) {
        core::Editor.MenuCooldownFrames = suspended ? 0 : 10;
        core::Editor.MenuSuspended = suspended ? 1 : 0;
        Press(kF9);
        EXPECT_EQ(Open(), 0);
        Press(kF9);
        EXPECT_EQ(Open(), 0);
    }
    core::Editor.MenuSuspended = 0;
    Press(kF9);
    EXPECT_EQ(Open(), 1);
}

TEST_F(ScriptLoopTest, ChangingTheHotkeyNeverCountsAsAPress) {
    Press(kF9);
    ASSERT_EQ(Open(), 1);
    // F10 is held when the Settings tab makes it the hotkey: no toggle until
    // it is released and pressed again.
    Key(kF10, true);
    core::UiSettings.MenuHotkey = 4;
    Key(kF10, true);
    Key(kF10, false);
    EXPECT_EQ(Open(), 1);
    Press(kF9);
    EXPECT_EQ(Open(), 1) << "F9 is no longer the hotkey";
    Press(kF10);
    EXPECT_EQ(Open(), 0);
    // The old key F10 is held while the hotkey goes back to F9 (up): no toggle.
    Key(kF10, true);
    EXPECT_EQ(Open(), 1);
    core::UiSettings.MenuHotkey = 3;
    Key(kF10, true);
    Key(kF10, false);
    EXPECT_EQ(Open(), 1);
    Press(kF9);
    EXPECT_EQ(Open(), 0);
}

// The hotkey of VRN.ini, or of the file its workspace pointer leads to,
// works from the first press; the early read creates nothing.
TEST_F(ScriptLoopTest, TheHotkeyOfVrnIniWorksFromTheFirstPressAndReadingCreatesNothing) {
    EXPECT_FALSE(host::ReadMenuHotkeyBeforeStart());
    EXPECT_FALSE(Exists(kVrn)) << "no file: no default folder either";
    EXPECT_EQ(core::UiSettings.MenuHotkey.Get(), 3u);
    const std::string ini = std::string(kVrn) + "VRN.ini";
    PutFile("D:\\Mods\\VRN\\VRN.ini", "[UI]\r\nMenuHotkey=insert\r\n");
    PutFile(ini, "[Paths]\r\nWorkspaceDirectory=D:\\Mods\r\n");
    EXPECT_TRUE(host::ReadMenuHotkeyBeforeStart());
    EXPECT_EQ(core::UiSettings.MenuHotkey.Get(), 7u);
    EXPECT_FALSE(Exists("D:\\Mods\\VRN\\Imports"));

    PutFile(ini, "[UI]\r\nMenuHotkey=F6\r\n");
    const auto before = std::filesystem::last_write_time(Host(ini));
    host::ScriptLoopBegin(loop);
    EXPECT_EQ(core::UiSettings.MenuHotkey.Get(), 0u);
    Press(kF9);
    EXPECT_EQ(host::Startup.BootstrapDone.Get(), 0) << "F9 is not the configured key";
    EXPECT_FALSE(Exists(std::string(kVrn) + "Imports")) << "the early read creates nothing";
    EXPECT_EQ(std::filesystem::last_write_time(Host(ini)), before);
    Press(kF6);
    EXPECT_EQ(host::Startup.BootstrapDone.Get(), 1);
    EXPECT_EQ(Open(), 1);
}

TEST(MenuHotkeyText, NamesInAnyCaseOrNumbersZeroToSeven) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"F6", 0}, {"insert", 7}, {"f12", 6}, {"5", 5},   {"5abc", 5}, {"-1", 3},
        {"9", 3},  {"", 3},       {"F13", 3}, {"0", 0},   {"07", 7},   {"99999999999999999999", 3}};
    for (const auto& [text, index] : cases) EXPECT_EQ(core::MenuHotkeyIndexFromText(text), index) << text;
}

}  // namespace
