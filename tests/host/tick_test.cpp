// The per-frame tick: one golden log per mode (steps, groups and natives in
// order, with recording subsystem callees), the tick's own store patches on
// a simulated code image (the wired probes on the game's code are the
// end-to-end run's to check) and their restore at unload, weather requests
// and the rate limits; its names against the live-write runtime's slot
// tables, and the groups with the built subsystems.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/editor_state.h"
#include "core/game_control_settings.h"
#include "game/before_after.h"
#include "game/natives.h"
#include "host/host_services.h"
#include "host/shutdown.h"
#include "host/startup.h"
#include "host/tick_wiring.h"
#include "runtime/guarded_memory.h"
#include "runtime/live_slots.h"
#include "support/sim_world_fixture.h"
#include "timecycle/edit_store.h"
#include "timecycle/game_hooks.h"
#include "timecycle/timecycle_model.h"

namespace {

using namespace core;
using namespace game;
using namespace host;

// The subsystems as the tick sees them: every call lands in one log with the
// natives, tests answer from sets, code writes go to a byte map.
struct Subsystems {
    std::string log;
    std::set<std::string> enabledSlots, trueTests;
    std::map<uint64_t, uint8_t> code;
    std::set<uint64_t> failingWrites;
    StoreSite heatHaze[6];
    bool weatherHasFile = true;
};
Subsystems* g_sub = nullptr;

template <class... Parts>
void Note(const Parts&... parts) {
    g_sub->log += (std::string() + ... + parts) + "; ";
}
size_t Count(const std::string& log, const std::string& entry) {
    size_t n = 0;
    for (size_t at = log.find(entry); at != std::string::npos; at = log.find(entry, at + 1)) ++n;
    return n;
}

StoreSite MakeSite(uint64_t address, uint32_t offset, uint8_t length) {
    StoreSite site{address, offset, length, {}, true};
    for (uint8_t i = 0; i < length; ++i) g_sub->code[address + i] = site.saved[i] = static_cast<uint8_t>(0x40 + i);
    return site;
}

class TickTest : public testsupport::SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        g_sub = &sub;
        onNative = [](uint64_t hash) { Note("native ", testsupport::SimNativeRole(hash)); };  // in the same log
        TickCalls.call = [](const char* name) { Note(name); };
        TickCalls.test = [](const char* name) { return Note("test ", name), g_sub->trueTests.count(name) > 0; };
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
        SetHostServices(HostServices{});
        SimWorldTest::TearDown();
    }
    const std::string& Tick() {  // one tick with a fresh log
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
    bool HeatHazeHolds(bool patched) {  // every store's bytes no-operations, or as the game had them
        for (const StoreSite& s : sub.heatHaze)
            for (uint8_t i = 0; i < s.length; ++i)
                if (sub.code[s.address + i] != (patched ? 0x90 : s.saved[i])) return false;
        return true;
    }
    Subsystems sub;
};

constexpr const char* kCommonSteps =
    "test ModifierWorkPending; native HUD shown; native radar shown; "
    "refresh Light Dir Color R; refresh Light Dir Color G; refresh Light Dir Color B; refresh Light Dir Mult; "
    "refresh PostFX Exposure..PostFX Environmental Blur Size; refresh Lens Distortion Coeff..Screen Blur Intensity; "
    "refresh Light Ray Color R..Light Ray Length; refresh Override Dark..Filmic W Bright; "
    "refresh Ambient Bake Ramp..Ambient Bake Ramp; refresh Light Ambient Occlusion Mult..Moon Direction Z; ";
// The steps every mode shares, before the apply-or-restore step; the game
// clock is read on the first tick only (the clock stands still).
std::string Steps(bool clockRead) {
    return std::string("SyncTimecycleBeforeAfter; FinishVisualSettingsSwitch; ") +
           (clockRead ? "native clock seconds; native clock minutes; native clock hours; " : "") + kCommonSteps;
}
constexpr const char* kEngineMembers =
    "ApplyLivePostFxExposure; ApplyLivePostFxExposureMin; ApplyLivePostFxExposureMax; ApplyLivePostFxDesaturation; "
    "ApplyLivePostFxIntensityBloom; ApplyLivePostFxBrightPassThresh; ApplyLivePostFxBrightPassThreshWidth; "
    "ApplyLivePostFxCorrectColorR; ApplyLivePostFxCorrectColorG; ApplyLivePostFxCorrectColorB; "
    "ApplyLivePostFxCorrectCutoff; ApplyLivePostFxShiftColorR; ApplyLivePostFxShiftColorG; "
    "ApplyLivePostFxShiftColorB; ApplyLivePostFxShiftCutoff; ";

TEST_F(TickTest, BeforeModeRemovesEveryPatchIncludingTheTicksOwnAndAppliesNothing) {
    sub.enabledSlots = {"PostFX Scanline Intensity", "Light Dir Mult"};
    Tick();
    ASSERT_EQ(ScanlinePatchInstalled.load(), 1);
    TimecycleAfterShown.store(0);
    for (int frame = 0; frame < 2; ++frame) {  // every frame, the scanline bytes (0x1000) written back once
        EXPECT_EQ(Tick(), Steps(false) + "VisualSettingsBeforeAfter; ClearWriteListCount; " +
                              "RestoreAllPatches; " + (frame == 0 ? "patch 4096; " : ""));
    }
    EXPECT_EQ(ScanlinePatchInstalled.load(), 0);
    EXPECT_EQ(sub.code[0x1000], 0x40);
}

TEST_F(TickTest, ImportedModeClearsPatchesOnceThenAppliesInItsOrder) {
    sub.trueTests = {"ImportedOverridesActive", "ContextHasEdits"};
    sub.enabledSlots = {"Light Dir Mult", "PostFX Noise", "Vehicle Dirt Mod", "PostFX Vignetting Radius"};
    // No group is restored in this mode (heat haze aside, which has nothing installed).
    const std::string groups = std::string(kEngineMembers) +
                               "ApplyLiveTonemapDarkBright; test GatePostFxVignettingWrites; "
                               "test AnyPostFxGradientOverride; test AnyNightVisionScalarOverride; "
                               "test AnyNightVisionColorOverride; ApplyLivePostFxNoise; test AnyLightRayOverride; "
                               "ApplyLiveLightDir; inline Vehicle Dirt Mod PrepareRedirectVehicleDirtMod; ";
    const std::string head =
        "test ImportedOverridesActive; test ContextHasEdits; VisualSettingsBeforeAfter; ClearWriteListCount; ";
    EXPECT_EQ(Tick(), Steps(true) + head + "RestoreAllPatches; " + groups);
    EXPECT_EQ(PatchesClearedForImport.load(), 1);
    EXPECT_EQ(Tick(), Steps(false) + head + groups);
}

TEST_F(TickTest, OverrideModeAppliesEnabledGroupsAndRestoresTheOthers) {
    PatchesClearedForImport.store(1);
    sub.enabledSlots = {"Light Dir Mult", "Directional Ambient Color B", "PostFX Vignetting Radius",
                        "Screen Blur Intensity"};
    sub.trueTests = {"AnyPostFxGradientOverride", "GatePostFxGradientWrites", "GatePostFxVignettingWrites"};
    std::string gradient;
    for (const char* w : {"Top Color R@912", "Top Color G@916", "Top Color B@920", "Top/Middle Midpoint@924",
                          "Middle Color R@928", "Middle Color G@932", "Middle Color B@936",
                          "Middle/Bottom Midpoint@940", "Bottom Color R@944", "Bottom Color G@948",
                          "Bottom Color B@952", "Midpoint@956"})
        gradient += std::string("engine PostFX Gradient ") + w + "; ";
    // DirAmbient: the G/B row applies, its other rows restore their records; gated groups that
    // are enabled are only not written when the gate fails; Temperature and the inline
    // redirects, which this mode never applies, are restored.
    EXPECT_EQ(Tick(),
              Steps(true) + "test ImportedOverridesActive; ApplyLiveLightDir; " + kEngineMembers +
                  "test GatePostFxVignettingWrites; ApplyLivePostFxVignettingIntensity; "
                  "ApplyLivePostFxVignettingRadius; ApplyLivePostFxVignettingContrast; "
                  "ApplyLivePostFxVignettingColorR; ApplyLivePostFxVignettingColorG; "
                  "ApplyLivePostFxVignettingColorB; test AnyPostFxGradientOverride; test GatePostFxGradientWrites; " +
                  gradient +
                  "RestoreEnvironmentalBlurPatches; RestoreLensArtefactsPatch; test AnyNightVisionScalarOverride; "
                  "RestoreNightVisionPatches; test AnyNightVisionColorOverride; RestoreNightVisionColorPatches; "
                  "record Blur Vignetting Radius; record PostFX Noise; test GateScreenBlurWrites; "
                  "test AnyLightRayOverride; RestoreLightRaysRedirects; record Directional Ambient Color R; "
                  "ApplyLiveDirectionalAmbientColorGB; record Directional Ambient Intensity; "
                  "record Directional Ambient Intensity Mult; RestoreLightAmbDownWrapRedirect; "
                  "record Natural Ambient Down Color B; record Natural Ambient Down Intensity; "
                  "record Natural Ambient Up Color R; record Natural Ambient Up Color B; "
                  "record Natural Ambient Up Intensity; record Natural Ambient Up Intensity Mult; "
                  "record Natural Ambient Push; record Artificial Exterior Down Color R; "
                  "record Artificial Exterior Down Color B; RestoreArtificialExteriorRedirect; "
                  "record Artificial Exterior Up Intensity; record Sky Sun Color R; record Sky Sun Color G; "
                  "record Sky Moon Color R; record Sky Moon Color G; record Fog Shadow Amount; "
                  "record Fog Shadow Base Height; record Far Clip; record Wind Speed Mult; record LOD Mult; "
                  "record LOD Mult HD; record LOD Mult OrphanHD; record LOD Mult LOD; record LOD Mult SLOD1; "
                  "record LOD Mult SLOD2; record LOD Mult SLOD3; record LOD Mult SLOD4; record Render Exterior; "
                  "record Light Falloff Mult; record Artificial Int Down Color R; "
                  "record Artificial Int Down Color B; record Artificial Int Down Intensity; "
                  "record Artificial Int Up Color R; record Artificial Int Up Color B; "
                  "record Artificial Int Up Intensity; RestorePedLightPatches; "
                  "record Vehicle Second Spec Override; record Vehicle Lights Intensity Scale; "
                  "RestoreTemperatureBlockPatches; RestoreTemperatureRedirect; record Vehicle Dirt Mod; "
                  "record Enable Occlusion; record Enable Shadow Occlusion; record Shadow Distance Mult; "
                  "ClearWriteListCount; VisualSettingsBeforeAfter; ");
    EXPECT_EQ(PatchesClearedForImport.load(), 0);
}

// The scanline store is patched once and written back when its slots go
// off; the lens-distortion values are not written while their store stays.
TEST_F(TickTest, StorePatchesAreInstalledOnceGateTheirWritesAndAreWrittenBackWhenDisabled) {
    sub.enabledSlots = {"PostFX Scanline Speed"};
    EXPECT_EQ(Count(Tick(), "probe ProbeScanlineStore; patch 4096; engine PostFX Scanline Intensity@464; "), 1u);
    for (uint64_t a = 0x1000; a < 0x1009; ++a) EXPECT_EQ(sub.code[a], 0x90);
    const std::string again = Tick();
    EXPECT_EQ(Count(again, "probe ") + Count(again, "patch "), 0u);
    EXPECT_EQ(Count(again, "engine PostFX Scanline"), 4u);
    sub.enabledSlots = {"Chromatic Aberration Coeff 2"};
    sub.failingWrites = {0x2000};
    EXPECT_EQ(Count(Tick(), "engine "), 0u);
    EXPECT_EQ(ScanlinePatchInstalled.load() + LensDistortionPatchInstalled.load(), 0);
    for (uint64_t a = 0x1000; a < 0x1009; ++a) EXPECT_EQ(sub.code[a], 0x40 + (a - 0x1000));
    sub.failingWrites.clear();
    EXPECT_EQ(Count(Tick(), "engine Lens"), 2u);
    sub.enabledSlots.clear();
    Tick();
    EXPECT_EQ(Count(Tick(), "patch "), 0u);
}

TEST_F(TickTest, HeatHazeStoresArePatchedWhollyWithTheirOwnLengthsOrNotAtAll) {
    ImportedWithHeatHaze();
    sub.heatHaze[1].length = 9;  // the store at 624 must be ten bytes: never patched
    EXPECT_EQ(Count(Tick(), "patch "), 0u);
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
    EXPECT_EQ(Count(Tick(), "probe heat haze"), 0u);
    sub.enabledSlots.clear();  // imported mode restores heat haze when nothing is enabled
    Tick();
    EXPECT_EQ(HeatHazePatchesInstalled.load(), 0);
    EXPECT_TRUE(HeatHazeHolds(false));
}

// The unload writes back the tick's own patches (which only the tick and the
// before mode restored before) ahead of everything else it undoes.
TEST_F(TickTest, UnloadWritesBackTheTicksStorePatchesBeforeTheHooksGo) {
    ImportedWithHeatHaze();
    sub.enabledSlots.insert("PostFX Scanline Intensity");
    sub.enabledSlots.insert("Lens Distortion Coeff");
    Tick();
    ASSERT_EQ(ScanlinePatchInstalled.load() + LensDistortionPatchInstalled.load() + HeatHazePatchesInstalled.load(), 3);
    static const HookEngine kEngine = {"noting", [] { return true; }, nullptr, [] { return true; },
                                       [] { return Note("hooks off"), true; }, [] {}};
    HostServices services;
    services.engine = &kEngine;
    SetHostServices(services);
    HookEngineStarted = 1;
    sub.log.clear();
    ShutdownEditor();
    EXPECT_EQ(sub.log, "RestoreAllPatches; patch 4096; patch 8192; patch 12288; patch 12352; patch 12384; "
                       "patch 12320; patch 12416; patch 12448; hooks off; ");  // heat haze by block offset
    EXPECT_EQ(ScanlinePatchInstalled.load() + LensDistortionPatchInstalled.load() + HeatHazePatchesInstalled.load(), 0);
    EXPECT_TRUE(HeatHazeHolds(false));
    EXPECT_TRUE(sub.code[0x1000] == 0x40 && sub.code[0x2008] == 0x48) << "the scanline and lens-distortion stores";
}

// Only a weather of the timecycle files is set: the tab's request, the
// tick and the change itself refuse the others alike.
TEST_F(TickTest, WeatherChangesOnlyToAFileWeatherInFiveStepsWithTheGameName) {
    for (int32_t request : {-1, 18, 17, 1000}) {
        EXPECT_FALSE(CanSetGameWeather(request) || RequestGameWeather(request) || SetGameWeather(request)) << request;
        WeatherRequest.store(request);
        EXPECT_EQ(Count(Tick(), "native weather"), 0u) << request;
        EXPECT_EQ(TimecycleRereadFrames.load(), 0) << request;
        EXPECT_EQ(WeatherRequest.load(), -1);
    }
    sub.weatherHasFile = false;
    WeatherRequest.store(3);
    EXPECT_EQ(Count(Tick(), "native weather"), 0u);
    sub.weatherHasFile = true;
    EXPECT_TRUE(RequestGameWeather(3));  // posted by the tab, carried out by the tick
    Tick();
    EXPECT_EQ(world.weather, "OVERCAST") << "the world takes it on the fifth of the steps in order with one name";
    EXPECT_EQ(TimecycleRereadFrames.load(), 3);
}

TEST_F(TickTest, ClockModifierHudAndSlotRefreshFollowTheirRates) {
    ClockHourRequest.store(22);
    core::TimelapseEnabled = true;
    sub.trueTests = {"ModifierWorkPending"};
    EXPECT_EQ(Count(Tick(), "StepModifierLiveResolve"), 1u) << "modifier work pending";
    EXPECT_EQ(GameClockReading.hour.load(), 22);
    EXPECT_TRUE(world.clockPaused);
    sub.trueTests.clear();
    core::TimelapseEnabled = false;
    core::GameControlFlags.GameHudVisible = false;  // reasserted every frame
    Tick();
    EXPECT_EQ(CallsOf(kNativeRadarVisible).back(), std::vector<uint64_t>{0});
    EXPECT_EQ(CallsOf(kNativeHideHudFrame).size(), 1u);
    EXPECT_FALSE(world.hudVisible);
    world.clockHours = 9;
    MenuOpen.store(1);
    const size_t reads = CallsOf(kNativeClockHours).size();
    const struct {
        uint64_t advance;
        size_t clockReads;
        uint8_t refresh;
    } frames[] = {{0, 0, 1}, {100, 0, 0}, {149, 0, 0}, {1, 1, 1}};
    for (const auto& f : frames) {
        Advance(f.advance);
        EXPECT_EQ(Count(Tick(), "StepModifierLiveResolve"), 1u) << "modifier work while the menu is open";
        EXPECT_EQ(CallsOf(kNativeClockHours).size(), reads + f.clockReads) << f.advance;
        EXPECT_EQ(SlotRefreshTick.load(), f.refresh) << f.advance;
        EXPECT_EQ(VisualSettingsRefreshTick.load(), f.refresh) << f.advance;
    }
    EXPECT_EQ(GameClockReading.hour.load(), 9);
    MenuOpen.store(0);
    EXPECT_EQ(Count(Tick(), "RefreshModifier"), 0u);
    EXPECT_EQ(SlotRefreshTick.load(), 0);
    EXPECT_EQ(SlotRefreshStamp, 0u);
}

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

// Every slot the group table, the refresh runs and the light-direction list
// name must exist and every record restore must name a slot of its own row,
// so that a mistyped name cannot silently switch a group off or restore
// another group's record; a probe name of neither store patch has no flag.
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
    const char* const unknownProbes[] = {"ProbeLensDistortionStores", "ProbeScreenBlurStore", "", nullptr};
    for (const char* probe : unknownProbes) EXPECT_EQ(TickStorePatchFlag(probe), nullptr) << (probe ? probe : "null");
    for (const SlotRun& run : TickRefreshRuns()) EXPECT_EQ(RunLength(run.first, run.last), run.count) << run.first;
    for (const char* slot : TickLightDirSlots()) EXPECT_TRUE(FindTickSlot(slot)) << slot;
    EXPECT_EQ(FindTickSlot("No Such Slot"), nullptr);
    EXPECT_EQ(RunLength("PostFX Environmental Blur Size", "PostFX Exposure"), 0u) << "reversed";
    EXPECT_EQ(RunLength("Light Dir Mult", "PostFX Exposure"), 0u) << "two tables";
}

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

// An enabled slot reaches its group and a runtime group test holds its
// group; the last slot of the last refresh run is read, never loaded, with
// the menu closed; imported overrides without edits in the context choose
// the override mode.
TEST_F(TickWiredTest, SlotsRuntimeTestsRefreshRunsAndTheTimecycleStateReachTheTick) {
    FindTickSlot("Light Dir Mult")->enabled = 1;
    FindTickSlot("PostFX Gradient Midpoint")->enabled = 1;
    runtime::LiveOverrideSlot* moon = FindTickSlot("Moon Direction Z");
    float game = 0.75f;
    moon->address = reinterpret_cast<uintptr_t>(&game);
    timecycle::ImportedOverridesActive.store(1);
    ScriptTick();
    timecycle::ImportedOverridesActive.store(0);
    moon->address = 0;
    EXPECT_TRUE(Called("ApplyLiveLightDir"));
    EXPECT_FALSE(Called("RestoreLightDirRedirects"));
    EXPECT_FALSE(Called("RestorePostFxGradientPatches"));  // AnyPostFxGradientOverride held
    EXPECT_TRUE(Called("RestorePostFxVignettingPatches"));
    EXPECT_EQ(moon->loaded.Get(), 1);
    EXPECT_FLOAT_EQ(moon->liveValue, 0.75f);
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
