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
using Log = std::vector<std::string>;

// The subsystems as the tick sees them: every call lands in one log with the
// natives, tests answer from sets, code writes go to a byte map.
struct Subsystems {
    Log log;
    std::set<std::string> enabledSlots, trueTests;
    std::map<uint64_t, uint8_t> code;
    std::set<uint64_t> failingWrites;
    StoreSite heatHaze[6];
    bool weatherHasFile = true;
};
Subsystems* g_sub = nullptr;

bool Contains(const Log& log, const std::string& e) { return std::find(log.begin(), log.end(), e) != log.end(); }
size_t IndexOf(const Log& log, const std::string& entry) {
    return static_cast<size_t>(std::find(log.begin(), log.end(), entry) - log.begin());
}
size_t CountOf(const Log& log, const std::string& prefix) {
    return static_cast<size_t>(
        std::count_if(log.begin(), log.end(), [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
}
template <class... Parts>
void Note(const Parts&... parts) {
    g_sub->log.push_back((std::string() + ... + parts));
}

StoreSite MakeSite(uint64_t address, uint32_t offset, uint8_t length) {
    StoreSite site;
    site.address = address;
    site.blockOffset = offset;
    site.length = length;
    site.captured = true;
    for (uint8_t i = 0; i < length; ++i) g_sub->code[address + i] = site.saved[i] = static_cast<uint8_t>(0x40 + i);
    return site;
}

class TickTest : public testsupport::SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        g_sub = &sub;
        for (uint64_t hash : testsupport::SimNativeHashes()) {  // the natives join the same log
            platform::sim::SetNativeHandler(hash, [this](uint64_t h, const std::vector<uint64_t>& args, uint64_t* r) {
                Note("native ", testsupport::SimNativeRole(h));
                testsupport::HandleSimNative(world, h, args.data(), args.size(), r);
            });
        }
        TickCalls.call = [](const char* name) { Note(name); };
        TickCalls.test = [](const char* name) {
            Note("test ", name);
            return g_sub->trueTests.count(name) > 0;
        };
        TickCalls.slotEnabled = [](const char* slot) { return g_sub->enabledSlots.count(slot) > 0; };
        TickCalls.runEnabled = [](const char* first, const char*) { return g_sub->enabledSlots.count(first) > 0; };
        TickCalls.refreshSlot = [](const char* slot) { Note("refresh ", slot); };
        TickCalls.refreshRun = [](const char* first, const char* last) { Note("refresh ", first, "..", last); };
        TickCalls.engineWrite = [](const char* slot, uint32_t at) { Note("engine ", slot, "@", std::to_string(at)); };
        TickCalls.recordRestore = [](const char* record) { Note("record ", record); };
        TickCalls.inlineRedirect = [](const char* slot, const char* how) { Note("inline ", slot, " ", how); };
        TickCalls.isTimecycleFileWeather = [](uint32_t) { return g_sub->weatherHasFile; };
        TickCalls.probeStore = [](const char* probe, StoreSite& site) {
            Note("probe ", probe);
            site = MakeSite(probe == std::string("ProbeScanlineStore") ? 0x1000 : 0x2000, 464, 9);
            return true;
        };
        TickCalls.probeHeatHaze = [](StoreSite (&sites)[6]) {
            Note("probe heat haze");
            std::copy(std::begin(g_sub->heatHaze), std::end(g_sub->heatHaze), std::begin(sites));
            return true;
        };
        TickCalls.patchCode = [](uint64_t address, const uint8_t* bytes, size_t length) {
            if (g_sub->failingWrites.count(address)) return false;
            Note("patch ", std::to_string(address));
            for (size_t i = 0; i < length; ++i) g_sub->code[address + i] = bytes[i];
            return true;
        };
    }
    void TearDown() override {
        g_sub = nullptr;
        SimWorldTest::TearDown();
    }
    const Log& Tick() {  // one tick with a fresh log
        sub.log.clear();
        ScriptTick();
        return sub.log;
    }
    // Imported mode with heat haze enabled; the stores in the order the probe captures them.
    void ImportedWithHeatHaze() {
        sub.trueTests = {"ImportedOverridesActive", "ContextHasEdits"};
        sub.enabledSlots = {"Heat Haze Start Range"};
        const uint32_t offsets[6] = {576, 624, 592, 608, 640, 656};
        for (size_t i = 0; i < 6; ++i)
            sub.heatHaze[i] = MakeSite(0x3000 + 0x20 * i, offsets[i], offsets[i] == 624 ? 10 : 9);
    }
    bool HeatHazeHolds(bool patched) {
        bool all = true;
        for (const StoreSite& s : sub.heatHaze)
            for (uint8_t i = 0; i < s.length; ++i) all &= sub.code[s.address + i] == (patched ? 0x90 : s.saved[i]);
        return all;
    }
    Subsystems sub;
};

TEST_F(TickTest, StepsRunInTheirOrder) {
    sub.trueTests = {"ModifierWorkPending"};
    ClockHourRequest.store(22);
    shell::TimelapseEnabled = true;
    const Log& log = Tick();
    const std::vector<std::string> order = {
        "SyncTimecycleBeforeAfter", "FinishVisualSettingsSwitch", "native clock set", "native clock seconds",
        "native clock minutes", "native clock hours", "test ModifierWorkPending", "RefreshModifier",
        "StepModifierLiveResolve", "native HUD shown", "native radar shown", "refresh Light Dir Color R",
        "refresh Light Dir Mult", "refresh PostFX Exposure..PostFX Environmental Blur Size",
        "refresh Light Ambient Occlusion Mult..Moon Direction Z", "test ImportedOverridesActive",
        "ClearWriteListCount", "VisualSettingsBeforeAfter"};
    for (size_t i = 0; i < order.size(); ++i) {
        ASSERT_TRUE(Contains(log, order[i])) << order[i];
        if (i > 0) {
            EXPECT_LT(IndexOf(log, order[i - 1]), IndexOf(log, order[i])) << order[i];
        }
    }
    EXPECT_EQ(IndexOf(log, "VisualSettingsBeforeAfter"), log.size() - 1);
    EXPECT_EQ(CountOf(log, "refresh "), 4u + 6u);
    EXPECT_EQ(GameClockReading.hour.load(), 22);
    EXPECT_TRUE(world.clockPaused);
    sub.trueTests.clear();
    shell::GameControlFlags.GameHudVisible = false;  // reasserted every frame
    EXPECT_FALSE(Contains(Tick(), "RefreshModifier")) << "no modifier work pending";
    Tick();
    EXPECT_EQ(CallsOf(kNativeRadarVisible), (std::vector<std::vector<uint64_t>>{{1}, {0}, {0}}));
    EXPECT_EQ(CallsOf(kNativeHideHudFrame).size(), 2u);
    EXPECT_FALSE(world.hudVisible);
}

TEST_F(TickTest, BeforeModeRemovesEveryPatchIncludingTheTicksOwnAndAppliesNothing) {
    sub.enabledSlots = {"PostFX Scanline Intensity", "Light Dir Mult"};
    Tick();
    ASSERT_EQ(ScanlinePatchInstalled.load(), 1);
    TimecycleAfterShown.store(0);
    for (int frame = 0; frame < 2; ++frame) {
        const Log& log = Tick();
        const size_t vs = IndexOf(log, "VisualSettingsBeforeAfter");
        ASSERT_LT(vs + 2, log.size());
        EXPECT_EQ(log[vs + 1], "ClearWriteListCount");
        EXPECT_EQ(log[vs + 2], "RestoreAllPatches");
        EXPECT_EQ(CountOf(log, "ApplyLive"), 0u);
    }
    EXPECT_EQ(ScanlinePatchInstalled.load(), 0);
    EXPECT_EQ(sub.code[0x1000], 0x40);
}

TEST_F(TickTest, ImportedModeClearsPatchesOnceThenAppliesInItsOrder) {
    sub.trueTests = {"ImportedOverridesActive", "ContextHasEdits"};
    sub.enabledSlots = {"Light Dir Mult", "PostFX Noise", "Vehicle Dirt Mod"};
    const Log first = Tick();
    EXPECT_EQ(PatchesClearedForImport.load(), 1);
    // One clearing first; engine members and the tonemapping, Noise before LightDir, the redirect last.
    const char* order[] = {"RestoreAllPatches", "ApplyLivePostFxExposure", "ApplyLivePostFxShiftCutoff",
                           "ApplyLiveTonemapDarkBright", "ApplyLivePostFxNoise", "ApplyLiveLightDir",
                           "inline Vehicle Dirt Mod PrepareRedirectVehicleDirtMod"};
    for (size_t i = 1; i < std::size(order); ++i) EXPECT_LT(IndexOf(first, order[i - 1]), IndexOf(first, order[i]));
    EXPECT_EQ(CountOf(first, "Restore"), 1u) << "no group is restored here";
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
    // DirAmbient: the G/B row applies, its other rows restore their records; groups without an
    // enabled slot are restored, gated ones without asking their gate.
    for (const char* absent : {"ApplyLiveTonemapDarkBright", "RestoreLightDirRedirects",
                               "record ApplyLiveDirectionalAmbientColorGB", "test GatePostFxVignettingWrites"})
        EXPECT_FALSE(Contains(log, absent)) << absent;
    for (const char* present : {"ApplyLiveDirectionalAmbientColorGB", "record ApplyLiveDirectionalAmbientColorR",
                                "RestorePostFxVignettingPatches", "RestoreLightRaysRedirects"})
        EXPECT_TRUE(Contains(log, present)) << present;
    const size_t ped = IndexOf(log, "RestorePedLightPatches");  // with both vehicle records
    ASSERT_LT(ped + 2, log.size());
    EXPECT_EQ(log[ped + 1], "record Vehicle Second Spec Override");
    EXPECT_EQ(log[ped + 2], "record Vehicle Lights Intensity Scale");
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
    for (uint64_t a = 0x1000; a < 0x1009; ++a) EXPECT_EQ(sub.code[a], 0x90);
    const Log& again = Tick();
    EXPECT_EQ(CountOf(again, "probe "), 0u);
    EXPECT_EQ(CountOf(again, "patch "), 0u);
    EXPECT_EQ(CountOf(again, "engine PostFX Scanline"), 4u);
    sub.enabledSlots.clear();
    Tick();
    EXPECT_EQ(ScanlinePatchInstalled.load(), 0);
    for (uint64_t a = 0x1000; a < 0x1009; ++a) EXPECT_EQ(sub.code[a], 0x40 + (a - 0x1000));
    EXPECT_EQ(CountOf(Tick(), "patch "), 0u);
}

TEST_F(TickTest, LensDistortionWritesNothingWhileItsStoreStaysInPlace) {
    sub.enabledSlots = {"Chromatic Aberration Coeff 2"};
    sub.failingWrites = {0x2000};
    EXPECT_EQ(CountOf(Tick(), "engine "), 0u);
    EXPECT_EQ(LensDistortionPatchInstalled.load(), 0);
    sub.failingWrites.clear();
    EXPECT_EQ(CountOf(Tick(), "engine Lens"), 2u);
}

TEST_F(TickTest, HeatHazeStoresArePatchedWhollyWithTheirOwnLengthsOrNotAtAll) {
    ImportedWithHeatHaze();
    sub.heatHaze[1].length = 9;  // the store at 624 must be ten bytes: never patched
    EXPECT_EQ(CountOf(Tick(), "patch "), 0u);
    EXPECT_EQ(HeatHazePatchesInstalled.load(), 0);

    ImportedWithHeatHaze();
    sub.failingWrites = {sub.heatHaze[1].address};  // fourth by offset: what was patched goes back
    Tick();
    EXPECT_EQ(HeatHazePatchesInstalled.load(), 0);
    EXPECT_TRUE(HeatHazeHolds(false));

    sub.failingWrites.clear();
    Tick();  // tried again next frame
    ASSERT_EQ(HeatHazePatchesInstalled.load(), 1);
    EXPECT_TRUE(HeatHazeHolds(true));
    for (const StoreSite& s : sub.heatHaze) EXPECT_NE(sub.code[s.address + s.length], 0x90) << "no byte past the store";
    EXPECT_EQ(CountOf(Tick(), "probe heat haze"), 0u);
    sub.enabledSlots.clear();  // imported mode restores heat haze when nothing is enabled
    Tick();
    EXPECT_EQ(HeatHazePatchesInstalled.load(), 0);
    EXPECT_TRUE(HeatHazeHolds(false));
}

TEST_F(TickTest, OverrideModeRestoresWhatOnlyTheImportedModeApplies) {
    ImportedWithHeatHaze();
    sub.enabledSlots.insert("Temperature");
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

TEST_F(TickTest, WeatherRequestsOutsideTheFileWeathersAreDropped) {
    for (int32_t request : {-1, 18, 17, 1000}) {
        WeatherRequest.store(request);
        EXPECT_EQ(CountOf(Tick(), "native weather"), 0u) << request;
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

TEST_F(TickTest, ClockReadsAndSlotRefreshTicksAreRateLimited) {
    Tick();
    EXPECT_EQ(SlotRefreshTick.load(), 0) << "menu closed";
    world.clockHours = 9;
    MenuOpen.store(1);
    const struct {
        uint64_t advance;
        size_t clockReads;
        uint8_t refresh;
    } frames[] = {{0, 1, 1}, {100, 1, 0}, {149, 1, 0}, {1, 2, 1}};
    for (const auto& f : frames) {
        Advance(f.advance);
        Tick();
        EXPECT_EQ(CallsOf(kNativeClockHours).size(), f.clockReads) << f.advance;
        EXPECT_EQ(SlotRefreshTick.load(), f.refresh) << f.advance;
        EXPECT_EQ(VisualSettingsRefreshTick.load(), f.refresh) << f.advance;
    }
    EXPECT_TRUE(Contains(sub.log, "StepModifierLiveResolve")) << "modifier work while the menu is open";
    EXPECT_FALSE(Contains(sub.log, "test ModifierWorkPending"));
    EXPECT_EQ(GameClockReading.hour.load(), 9);
    MenuOpen.store(0);
    Tick();
    EXPECT_EQ(SlotRefreshTick.load(), 0);
    EXPECT_EQ(SlotRefreshStamp, 0u);
}

}  // namespace
