// The per-frame tick: step order, the three modes, the group table walked in
// its orders with recording subsystem callees, and the tick's own store
// patches on a simulated code image.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/clock_timelapse.h"
#include "host/editor_state.h"
#include "host/game_controls.h"
#include "host/natives.h"
#include "host/tick.h"
#include "host/tick_groups.h"
#include "platform/simulated.h"
#include "shell/game_control_settings.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace host;
using testsupport::SimWorldTest;
using Log = std::vector<std::string>;

// The subsystems as the tick sees them: every call lands in one log with the
// natives, tests answer from sets, code writes go to a byte map.
struct Subsystems {
    Log log;
    std::set<std::string> enabledSlots;
    std::set<std::string> trueTests;
    std::map<uint64_t, uint8_t> code;
    std::set<uint64_t> failingWrites;
    int scanlineProbes = 0;
    StoreSite heatHaze[6];
    bool heatHazeFound = true;
    bool weatherHasFile = true;
};
Subsystems* g_sub = nullptr;

bool Contains(const Log& log, const std::string& entry) {
    return std::find(log.begin(), log.end(), entry) != log.end();
}
size_t IndexOf(const Log& log, const std::string& entry) {
    return static_cast<size_t>(std::find(log.begin(), log.end(), entry) - log.begin());
}
size_t CountOf(const Log& log, const std::string& prefix) {
    return static_cast<size_t>(
        std::count_if(log.begin(), log.end(), [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
}

StoreSite MakeSite(uint64_t address, uint32_t offset, uint8_t length) {
    StoreSite site;
    site.address = address;
    site.blockOffset = offset;
    site.length = length;
    for (uint8_t i = 0; i < length; ++i) site.saved[i] = static_cast<uint8_t>(0x40 + i);
    site.captured = true;
    for (uint8_t i = 0; i < length; ++i) g_sub->code[address + i] = site.saved[i];
    return site;
}

class TickTest : public SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        g_sub = &sub;
        // The natives join the same log.
        for (uint64_t hash : testsupport::SimNativeHashes()) {
            platform::sim::SetNativeHandler(hash, [this](uint64_t h, const std::vector<uint64_t>& args, uint64_t* r) {
                sub.log.push_back(std::string("native ") + testsupport::SimNativeRole(h));
                testsupport::HandleSimNative(world, h, args.data(), args.size(), r);
            });
        }
        TickCalls.call = [](const char* name) { g_sub->log.push_back(name); };
        TickCalls.test = [](const char* name) {
            g_sub->log.push_back(std::string("test ") + name);
            return g_sub->trueTests.count(name) > 0;
        };
        TickCalls.slotEnabled = [](const char* slot) { return g_sub->enabledSlots.count(slot) > 0; };
        TickCalls.runEnabled = [](const char* first, const char*) {
            return g_sub->enabledSlots.count(first) > 0;  // the run's first slot stands for it
        };
        TickCalls.refreshSlot = [](const char* slot) { g_sub->log.push_back(std::string("refresh ") + slot); };
        TickCalls.refreshRun = [](const char* first, const char* last) {
            g_sub->log.push_back(std::string("refresh ") + first + ".." + last);
        };
        TickCalls.engineWrite = [](const char* slot, uint32_t offset) {
            g_sub->log.push_back("engine " + std::string(slot) + "@" + std::to_string(offset));
        };
        TickCalls.recordRestore = [](const char* record) { g_sub->log.push_back(std::string("record ") + record); };
        TickCalls.inlineRedirect = [](const char* slot, const char* installer) {
            g_sub->log.push_back(std::string("inline ") + slot + " " + installer);
        };
        TickCalls.isTimecycleFileWeather = [](uint32_t) { return g_sub->weatherHasFile; };
        TickCalls.probeStore = [](const char* probe, StoreSite& site) {
            g_sub->log.push_back(std::string("probe ") + probe);
            ++g_sub->scanlineProbes;
            site = MakeSite(probe == std::string("ProbeScanlineStore") ? 0x1000 : 0x2000, 464, 9);
            return true;
        };
        TickCalls.probeHeatHaze = [](StoreSite (&sites)[6]) {
            g_sub->log.push_back("probe heat haze");
            std::copy(std::begin(g_sub->heatHaze), std::end(g_sub->heatHaze), std::begin(sites));
            return g_sub->heatHazeFound;
        };
        TickCalls.patchCode = [](uint64_t address, const uint8_t* bytes, size_t length) {
            if (g_sub->failingWrites.count(address)) return false;
            g_sub->log.push_back("patch " + std::to_string(address) + " x" + std::to_string(length));
            for (size_t i = 0; i < length; ++i) g_sub->code[address + i] = bytes[i];
            return true;
        };
    }
    void TearDown() override {
        g_sub = nullptr;
        SimWorldTest::TearDown();
    }
    // One tick with a fresh log.
    const Log& Tick() {
        sub.log.clear();
        ScriptTick();
        return sub.log;
    }
    // The heat-haze stores in the order the probe captures them.
    void PlantHeatHaze() {
        const uint32_t offsets[6] = {576, 624, 592, 608, 640, 656};
        for (size_t i = 0; i < 6; ++i)
            sub.heatHaze[i] = MakeSite(0x3000 + 0x20 * i, offsets[i], offsets[i] == 624 ? 10 : 9);
    }
    uint8_t Code(uint64_t address) { return sub.code[address]; }
    Subsystems sub;
};

TEST_F(TickTest, StepsRunInTheirOrder) {
    const Log& log = Tick();
    const std::vector<std::string> order = {
        "SyncTimecycleBeforeAfter",
        "FinishVisualSettingsSwitch",
        "native clock seconds",
        "native clock minutes",
        "native clock hours",
        "test ModifierWorkPending",
        "native HUD shown",
        "native radar shown",
        "refresh Light Dir Color R",
        "refresh Light Dir Mult",
        "refresh PostFX Exposure..PostFX Environmental Blur Size",
        "refresh Light Ambient Occlusion Mult..Moon Direction Z",
        "test ImportedOverridesActive",
        "ClearWriteListCount",
        "VisualSettingsBeforeAfter",
    };
    for (const std::string& step : order) ASSERT_TRUE(Contains(log, step)) << step;
    for (size_t i = 1; i < order.size(); ++i)
        EXPECT_LT(IndexOf(log, order[i - 1]), IndexOf(log, order[i])) << order[i - 1] << " / " << order[i];
    EXPECT_EQ(IndexOf(log, "VisualSettingsBeforeAfter"), log.size() - 1);
    EXPECT_EQ(CountOf(log, "refresh "), 4u + 6u);
    EXPECT_FALSE(Contains(log, "RefreshModifier"));
}

TEST_F(TickTest, RefreshRunsCoverTheStatedSlotCounts) {
    uint32_t total = 0;
    for (const SlotRun& run : TickRefreshRuns()) total += run.count;
    EXPECT_EQ(total, 136u);
}

TEST_F(TickTest, ModeFollowsTheFlagsEveryFrame) {
    struct Case {
        uint8_t after;
        bool imported;
        bool edits;
        TickMode mode;
    } cases[] = {
        {0, true, true, TickMode::Before},      {1, true, true, TickMode::Imported},
        {1, true, false, TickMode::Override},   {1, false, true, TickMode::Override},
        {1, false, false, TickMode::Override},
    };
    for (const Case& c : cases) {
        TimecycleAfterShown.store(c.after);
        sub.trueTests.clear();
        if (c.imported) sub.trueTests.insert("ImportedOverridesActive");
        if (c.edits) sub.trueTests.insert("ContextHasEdits");
        EXPECT_EQ(SelectTickMode(), c.mode);
    }
}

TEST_F(TickTest, BeforeModeRemovesEveryPatchEveryFrameAndAppliesNothing) {
    TimecycleAfterShown.store(0);
    sub.enabledSlots = {"Light Dir Mult", "PostFX Noise"};
    for (int frame = 0; frame < 2; ++frame) {
        const Log& log = Tick();
        const size_t vs = IndexOf(log, "VisualSettingsBeforeAfter");
        ASSERT_LT(vs + 2, log.size());
        EXPECT_EQ(log[vs + 1], "ClearWriteListCount");
        EXPECT_EQ(log[vs + 2], "RestoreAllPatches");
        EXPECT_EQ(CountOf(log, "ApplyLive"), 0u);
    }
}

TEST_F(TickTest, ImportedModeClearsPatchesOnceThenAppliesInItsOrder) {
    sub.trueTests = {"ImportedOverridesActive", "ContextHasEdits"};
    sub.enabledSlots = {"Light Dir Mult", "PostFX Noise", "Vehicle Dirt Mod"};
    const Log first = Tick();
    EXPECT_EQ(CountOf(first, "RestoreAllPatches"), 1u);
    EXPECT_EQ(PatchesClearedForImport.load(), 1);
    EXPECT_LT(IndexOf(first, "RestoreAllPatches"), IndexOf(first, "ApplyLivePostFxExposure"));
    // Engine members and the tonemapping, then Noise before LightDir, the redirect step last.
    EXPECT_LT(IndexOf(first, "ApplyLivePostFxShiftCutoff"), IndexOf(first, "ApplyLiveTonemapDarkBright"));
    EXPECT_LT(IndexOf(first, "ApplyLiveTonemapDarkBright"), IndexOf(first, "ApplyLivePostFxNoise"));
    EXPECT_LT(IndexOf(first, "ApplyLivePostFxNoise"), IndexOf(first, "ApplyLiveLightDir"));
    EXPECT_LT(IndexOf(first, "ApplyLiveLightDir"),
              IndexOf(first, "inline Vehicle Dirt Mod PrepareRedirectVehicleDirtMod"));
    // No group is restored here.
    EXPECT_EQ(CountOf(first, "Restore"), 1u);
    EXPECT_EQ(CountOf(first, "record "), 0u);

    const Log second = Tick();
    EXPECT_EQ(CountOf(second, "RestoreAllPatches"), 0u);
    EXPECT_EQ(CountOf(second, "ApplyLivePostFxNoise"), 1u);
}

TEST_F(TickTest, OverrideModeAppliesEnabledGroupsAndRestoresTheOthers) {
    PatchesClearedForImport.store(1);
    sub.enabledSlots = {"Light Dir Mult", "PostFX Noise", "Directional Ambient Color B"};
    const Log& log = Tick();
    EXPECT_EQ(PatchesClearedForImport.load(), 0);
    EXPECT_LT(IndexOf(log, "ApplyLiveLightDir"), IndexOf(log, "ApplyLivePostFxExposure"));
    EXPECT_LT(IndexOf(log, "ApplyLivePostFxExposure"), IndexOf(log, "ApplyLivePostFxNoise"));
    EXPECT_FALSE(Contains(log, "ApplyLiveTonemapDarkBright"));
    EXPECT_FALSE(Contains(log, "RestoreLightDirRedirects"));
    EXPECT_FALSE(Contains(log, "record ApplyLivePostFxNoise"));
    // DirAmbient: the G/B row applies, its three other rows restore their records.
    EXPECT_TRUE(Contains(log, "ApplyLiveDirectionalAmbientColorGB"));
    EXPECT_TRUE(Contains(log, "record ApplyLiveDirectionalAmbientColorR"));
    EXPECT_FALSE(Contains(log, "record ApplyLiveDirectionalAmbientColorGB"));
    // Groups without an enabled slot are restored, ped lights with both vehicle records.
    for (const char* restore : {"RestorePostFxVignettingPatches", "RestorePostFxGradientPatches",
                                "RestoreLightRaysRedirects", "RestoreTemperatureBlockPatches",
                                "RestoreArtificialExteriorRedirect", "RestoreLightAmbDownWrapRedirect"})
        EXPECT_TRUE(Contains(log, restore)) << restore;
    const size_t ped = IndexOf(log, "RestorePedLightPatches");
    ASSERT_LT(ped + 2, log.size());
    EXPECT_EQ(log[ped + 1], "record Vehicle Second Spec Override");
    EXPECT_EQ(log[ped + 2], "record Vehicle Lights Intensity Scale");
    // Gated groups ask their gate only when a slot is enabled.
    EXPECT_FALSE(Contains(log, "test GatePostFxVignettingWrites"));
    // The write list and the visualsettings come last.
    EXPECT_EQ(log[log.size() - 2], "ClearWriteListCount");
    EXPECT_EQ(log.back(), "VisualSettingsBeforeAfter");
}

TEST_F(TickTest, GatesDecideTheGatedWrites) {
    sub.enabledSlots = {"PostFX Vignetting Radius", "Screen Blur Intensity"};
    sub.trueTests = {"AnyPostFxGradientOverride", "GatePostFxGradientWrites", "GatePostFxVignettingWrites"};
    const Log& log = Tick();
    EXPECT_EQ(CountOf(log, "ApplyLivePostFxVignetting"), 6u);
    EXPECT_EQ(CountOf(log, "engine PostFX Gradient"), 12u);
    EXPECT_TRUE(Contains(log, "engine PostFX Gradient Midpoint@956"));
    EXPECT_TRUE(Contains(log, "test GateScreenBlurWrites"));
    EXPECT_FALSE(Contains(log, "engine Screen Blur Intensity@456"));
    EXPECT_FALSE(Contains(log, "RestoreScreenBlurPatches"));  // enabled: not restored, only not written
}

TEST_F(TickTest, ScanlinePatchIsInstalledOnceAndWrittenBackWhenDisabled) {
    sub.enabledSlots = {"PostFX Scanline Speed"};
    Tick();
    for (uint64_t a = 0x1000; a < 0x1009; ++a) EXPECT_EQ(Code(a), 0x90);
    EXPECT_EQ(ScanlinePatchInstalled.load(), 1);
    const Log& again = Tick();
    EXPECT_EQ(sub.scanlineProbes, 1);
    EXPECT_EQ(CountOf(again, "patch "), 0u);
    for (const char* write : {"engine PostFX Scanline Intensity@464", "engine PostFX Scanline Frequency 0@468",
                              "engine PostFX Scanline Frequency 1@472", "engine PostFX Scanline Speed@476"})
        EXPECT_TRUE(Contains(again, write)) << write;

    sub.enabledSlots.clear();
    Tick();
    EXPECT_EQ(ScanlinePatchInstalled.load(), 0);
    for (uint64_t a = 0x1000; a < 0x1009; ++a) EXPECT_EQ(Code(a), 0x40 + (a - 0x1000));
    EXPECT_EQ(CountOf(Tick(), "patch "), 0u);
}

TEST_F(TickTest, LensDistortionWritesNothingWhileItsStoreStaysInPlace) {
    sub.enabledSlots = {"Chromatic Aberration Coeff 2"};
    sub.failingWrites = {0x2000};
    const Log& log = Tick();
    EXPECT_EQ(LensDistortionPatchInstalled.load(), 0);
    EXPECT_EQ(CountOf(log, "engine "), 0u);
    sub.failingWrites.clear();
    EXPECT_EQ(CountOf(Tick(), "engine Lens"), 2u);
}

TEST_F(TickTest, HeatHazeStoresArePatchedByBlockOffsetWithTheirOwnLengths) {
    sub.trueTests = {"ImportedOverridesActive", "ContextHasEdits"};
    sub.enabledSlots = {"Heat Haze Start Range"};
    PlantHeatHaze();
    Tick();
    ASSERT_EQ(HeatHazePatchesInstalled.load(), 1);
    for (const StoreSite& site : sub.heatHaze) {
        for (uint8_t i = 0; i < site.length; ++i) EXPECT_EQ(Code(site.address + i), 0x90) << site.blockOffset;
        EXPECT_NE(Code(site.address + site.length), 0x90) << "no byte past the store";
    }
    EXPECT_EQ(CountOf(Tick(), "probe heat haze"), 0u);

    sub.enabledSlots.clear();  // imported mode restores heat haze when nothing is enabled
    Tick();
    EXPECT_EQ(HeatHazePatchesInstalled.load(), 0);
    for (const StoreSite& site : sub.heatHaze)
        for (uint8_t i = 0; i < site.length; ++i) EXPECT_EQ(Code(site.address + i), site.saved[i]);
}

TEST_F(TickTest, HeatHazeThatFailsPartWayPutsBackWhatItPatched) {
    sub.trueTests = {"ImportedOverridesActive", "ContextHasEdits"};
    sub.enabledSlots = {"Heat Haze Start Range"};
    PlantHeatHaze();
    sub.failingWrites = {sub.heatHaze[1].address};  // the store at 624, fourth by offset
    Tick();
    EXPECT_EQ(HeatHazePatchesInstalled.load(), 0);
    for (const StoreSite& site : sub.heatHaze)
        for (uint8_t i = 0; i < site.length; ++i) EXPECT_EQ(Code(site.address + i), site.saved[i]) << site.blockOffset;
    sub.failingWrites.clear();
    Tick();  // tried again next frame
    EXPECT_EQ(HeatHazePatchesInstalled.load(), 1);
}

TEST_F(TickTest, HeatHazeSiteOfTheWrongLengthIsNeverPatched) {
    sub.trueTests = {"ImportedOverridesActive", "ContextHasEdits"};
    sub.enabledSlots = {"Heat Haze Start Range"};
    PlantHeatHaze();
    sub.heatHaze[1].length = 9;  // the store at 624 must be ten bytes
    const Log& log = Tick();
    EXPECT_EQ(HeatHazePatchesInstalled.load(), 0);
    EXPECT_EQ(CountOf(log, "patch "), 0u);
}

TEST_F(TickTest, OverrideModeRestoresWhatOnlyTheImportedModeApplies) {
    sub.trueTests = {"ImportedOverridesActive", "ContextHasEdits"};
    sub.enabledSlots = {"Heat Haze Start Range", "Temperature"};
    PlantHeatHaze();
    Tick();
    ASSERT_EQ(HeatHazePatchesInstalled.load(), 1);

    sub.trueTests.clear();  // override mode, slots still enabled: left in place
    Log log = Tick();
    EXPECT_EQ(HeatHazePatchesInstalled.load(), 1);
    EXPECT_FALSE(Contains(log, "ApplyLiveTemperature"));
    EXPECT_FALSE(Contains(log, "RestoreTemperatureRedirect"));

    sub.enabledSlots.clear();
    log = Tick();
    EXPECT_EQ(HeatHazePatchesInstalled.load(), 0);
    for (const char* restore : {"RestoreTemperatureRedirect", "record Vehicle Dirt Mod", "record Enable Occlusion",
                                "record Enable Shadow Occlusion", "record Shadow Distance Mult"})
        EXPECT_TRUE(Contains(log, restore)) << restore;
    EXPECT_LT(IndexOf(log, "record Shadow Distance Mult"), IndexOf(log, "ClearWriteListCount"));
}

TEST_F(TickTest, BeforeModeAlsoTakesBackTheTicksOwnPatches) {
    sub.enabledSlots = {"PostFX Scanline Intensity"};
    Tick();
    ASSERT_EQ(ScanlinePatchInstalled.load(), 1);
    TimecycleAfterShown.store(0);
    Tick();
    EXPECT_EQ(ScanlinePatchInstalled.load(), 0);
    EXPECT_EQ(Code(0x1000), 0x40);
}

TEST_F(TickTest, WeatherRequestsOutsideTheFileWeathersAreDropped) {
    for (int32_t request : {-1, 18, 17, 1000}) {
        WeatherRequest.store(request);
        TimecycleRereadFrames.store(0);
        const Log& log = Tick();
        EXPECT_EQ(CountOf(log, "native weather"), 0u) << request;
        EXPECT_EQ(TimecycleRereadFrames.load(), 0) << request;
        EXPECT_EQ(WeatherRequest.load(), -1);
    }
    sub.weatherHasFile = false;
    WeatherRequest.store(3);
    EXPECT_EQ(CountOf(Tick(), "native weather"), 0u);
    sub.weatherHasFile = true;
    WeatherRequest.store(3);
    EXPECT_EQ(CountOf(Tick(), "native weather"), 5u);
    EXPECT_EQ(world.weather, "OVERCAST");
    EXPECT_EQ(TimecycleRereadFrames.load(), 3);
}

TEST_F(TickTest, HudIsReassertedEveryFrame) {
    Tick();
    EXPECT_EQ(CallsOf(kNativeHudVisible), (std::vector<std::vector<uint64_t>>{{1}}));
    EXPECT_TRUE(CallsOf(kNativeHideHudFrame).empty());
    shell::GameControlFlags.GameHudVisible = false;
    ClearCalls();
    Tick();
    Tick();
    EXPECT_EQ(CallsOf(kNativeHudVisible), (std::vector<std::vector<uint64_t>>{{0}, {0}}));
    EXPECT_EQ(CallsOf(kNativeRadarVisible), (std::vector<std::vector<uint64_t>>{{0}, {0}}));
    EXPECT_EQ(CallsOf(kNativeHideHudFrame).size(), 2u);
    EXPECT_FALSE(world.hudVisible);
}

TEST_F(TickTest, GameClockIsReadAtMostEvery250Ms) {
    Tick();
    EXPECT_EQ(CallsOf(kNativeClockHours).size(), 1u);
    world.clockHours = 9;
    Advance(249);
    Tick();
    EXPECT_EQ(CallsOf(kNativeClockHours).size(), 1u);
    Advance(1);
    Tick();
    EXPECT_EQ(CallsOf(kNativeClockHours).size(), 2u);
    EXPECT_EQ(GameClockReading.hour.load(), 9);
}

TEST_F(TickTest, SlotRefreshTickWhileTheMenuIsOpen) {
    Tick();
    EXPECT_EQ(SlotRefreshTick.load(), 0);
    MenuOpen.store(1);
    Tick();
    EXPECT_EQ(SlotRefreshTick.load(), 1);
    EXPECT_EQ(VisualSettingsRefreshTick.load(), 1);
    Advance(100);
    Tick();
    EXPECT_EQ(SlotRefreshTick.load(), 0);
    EXPECT_EQ(VisualSettingsRefreshTick.load(), 0);
    Advance(150);
    Tick();
    EXPECT_EQ(SlotRefreshTick.load(), 1);
    MenuOpen.store(0);
    Tick();
    EXPECT_EQ(SlotRefreshTick.load(), 0);
    EXPECT_EQ(SlotRefreshStamp, 0u);
}

TEST_F(TickTest, ModifierWorkRunsWithTheMenuOpenOrWhenPending) {
    EXPECT_FALSE(Contains(Tick(), "RefreshModifier"));
    sub.trueTests = {"ModifierWorkPending"};
    Log log = Tick();
    EXPECT_LT(IndexOf(log, "RefreshModifier"), IndexOf(log, "StepModifierLiveResolve"));
    sub.trueTests.clear();
    MenuOpen.store(1);
    log = Tick();
    EXPECT_TRUE(Contains(log, "StepModifierLiveResolve"));
    EXPECT_FALSE(Contains(log, "test ModifierWorkPending"));
}

TEST_F(TickTest, ClockRequestAndTimelapseRunBeforeTheClockIsRead) {
    ClockHourRequest.store(22);
    shell::TimelapseEnabled = true;
    const Log& log = Tick();
    EXPECT_LT(IndexOf(log, "FinishVisualSettingsSwitch"), IndexOf(log, "native clock set"));
    EXPECT_EQ(GameClockReading.hour.load(), 22);
    EXPECT_TRUE(world.clockPaused);
}

// Every name the table uses in one place, so a wiring can be checked against it.
TEST(TickGroupTable, EveryGroupOfBothOrdersExistsOnce) {
    std::set<std::string> keys;
    for (const TickGroup& g : TickGroupTable()) EXPECT_TRUE(keys.insert(g.key).second) << g.key;
    EXPECT_EQ(keys.size(), 29u);
    for (auto order : {ImportedGroupOrder(), OverrideGroupOrder(), OverrideRestoreOnlyOrder()})
        for (const char* key : order)
            EXPECT_TRUE(std::string(key) == kEngineBlockKey || FindTickGroup(key)) << key;
    // Every group is in the imported order; the override order plus its
    // restore-only rows cover every group as well.
    EXPECT_EQ(ImportedGroupOrder().size(), 29u + 1u);
    EXPECT_EQ(OverrideGroupOrder().size() + OverrideRestoreOnlyOrder().size(), 29u + 1u);
    EXPECT_EQ(EngineBlockMembers().size(), 15u);
}

}  // namespace
