// The per-frame tick: one golden log per mode (steps, groups and natives in
// order, with recording entries), the tick's own store patches on a
// simulated code image (the wired probes on the game's code are the
// end-to-end run's to check) and their restore at unload, weather requests,
// the rate limits and the slots re-read; the orders and store patches
// against the group data, the entries every layer fills and the ones still
// missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/editor_state.h"
#include "core/game_control_settings.h"
#include "game/before_after.h"
#include "game/natives.h"
#include "host/host_services.h"
#include "host/shutdown.h"
#include "host/startup.h"
#include "host/tick_wiring.h"
#include "runtime/editor_entries.h"
#include "runtime/live_slots.h"
#include "support/sim_world_fixture.h"
#include "support/thread_waits.h"
#include "timecycle/edit_store.h"
#include "timecycle/game_hooks.h"
#include "timecycle/timecycle_model.h"

namespace {

using namespace core;
using namespace game;
using namespace host;
using runtime::Entries;
using runtime::PartApply;
using S = runtime::SlotId;

// The subsystems as the tick sees them: every call lands in one log with the
// natives, tests and gates answer from a set, code writes go to a byte map.
struct Subsystems {
    std::string log;
    std::set<std::string> trueTests;
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
bool NoteTest(const char* name) { return Note("test ", name), g_sub->trueTests.count(name) > 0; }
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

// ---- Recording entries: each names the function it stands for ---------------------------

const runtime::PartInfo& PartAt(size_t p) { return runtime::Part(static_cast<runtime::PartId>(p)); }

// A part's entries where it has the function (a store patch's probe is the test's own).
template <size_t P>
void RecordPart() {
    runtime::PartEntries& e = Entries().parts[P];
    if (PartAt(P).applier) e.apply = [] { Note(PartAt(P).applier); };
    if (PartAt(P).gate && PartAt(P).apply != PartApply::StorePatch) e.gate = [] { return NoteTest(PartAt(P).gate); };
    if (PartAt(P).restorer) e.restore = [] { Note(PartAt(P).restorer); };
}

const char* MemberApplierOf(size_t slot) {
    for (size_t p = 0; p < runtime::kPartCount; ++p)
        for (const runtime::PartMember& m : PartAt(p).members)
            if (static_cast<size_t>(m.slot) == slot && m.applier) return m.applier;
    return "no applier";
}

template <size_t Slot>
void RecordMember() {
    Entries().memberAppliers[Slot] = [] { Note(MemberApplierOf(Slot)); };
}

template <size_t... P, size_t... Slot>
void RecordGroups(std::index_sequence<P...>, std::index_sequence<Slot...>) {
    (RecordPart<P>(), ...);
    (RecordMember<Slot>(), ...);
}

// The entries of every part and member, and the ones the parts share.
void RecordGroupEntries() {
    RecordGroups(std::make_index_sequence<runtime::kPartCount>(), std::make_index_sequence<runtime::kSlotCount>());
    runtime::EditorEntries& e = Entries();
    e.engineWrite = [](S slot, uint32_t at) { Note("engine ", runtime::SlotName(slot), "@", std::to_string(at)); };
    e.restoreRecord = [](S slot) { Note("record ", runtime::SlotName(slot)); };
    e.redirectStep = [](S slot) { Note("redirect ", runtime::SlotName(slot)); };
}

runtime::PartEntries& EntriesOf(PartId part) { return Entries().parts[static_cast<size_t>(part)]; }

void Enable(std::initializer_list<S> slots) {
    for (S slot : slots) runtime::Slot(slot).enabled = 1;
}
void DisableAll() {
    for (size_t i = 0; i < runtime::kSlotCount; ++i) runtime::Slot(static_cast<S>(i)).enabled = 0;
}

class TickTest : public testsupport::SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        g_sub = &sub;
        onNative = [](uint64_t hash) { Note("native ", testsupport::SimNativeRole(hash)); };  // in the same log
        RecordGroupEntries();
        runtime::TickStepEntries& t = Entries().tick;
        t.syncTimecycleBeforeAfter = [] { Note("SyncTimecycleBeforeAfter"); };
        t.finishVisualSettingsSwitch = [] { Note("FinishVisualSettingsSwitch"); };
        t.modifierWorkPending = [] { return NoteTest("ModifierWorkPending"); };
        t.refreshModifier = [] { Note("RefreshModifier"); };
        t.stepModifierLiveResolve = [] { Note("StepModifierLiveResolve"); };
        t.isTimecycleFileWeather = [](uint32_t) { return g_sub->weatherHasFile; };
        t.importedOverridesActive = [] { return NoteTest("ImportedOverridesActive"); };
        t.contextHasEdits = [] { return NoteTest("ContextHasEdits"); };
        t.visualSettingsBeforeAfter = [] { Note("VisualSettingsBeforeAfter"); };
        t.clearWriteListCount = [] { Note("ClearWriteListCount"); };
        t.restoreAllPatches = [] { Note("RestoreAllPatches"); };
        EntriesOf(PartId::Scanline).probe = [](std::span<StoreSite> sites) {
            Note("probe ProbeScanlineStore");
            sites[0] = MakeSite(0x1000, 464, 9);
            return true;
        };
        EntriesOf(PartId::LensDistortion).probe = [](std::span<StoreSite> sites) {
            Note("probe ProbeLensDistortionStore");
            sites[0] = MakeSite(0x2000, 960, 9);
            return true;
        };
        EntriesOf(PartId::HeatHaze).probe = [](std::span<StoreSite> sites) {
            Note("probe heat haze");
            std::copy(std::begin(g_sub->heatHaze), std::end(g_sub->heatHaze), sites.begin());
            return sites.size() == 6;
        };
        Entries().patchCode = [](uint64_t address, const uint8_t* bytes, size_t length) {
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
        DisableAll();
        Enable({S::HeatHazeStartRange});
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

// The steps every mode shares, before the apply-or-restore step; the game
// clock is read on the first tick only (the clock stands still).
std::string Steps(bool clockRead) {
    return std::string("SyncTimecycleBeforeAfter; FinishVisualSettingsSwitch; ") +
           (clockRead ? "native clock seconds; native clock minutes; native clock hours; " : "") +
           "test ModifierWorkPending; native HUD shown; native radar shown; ";
}
constexpr const char* kEngineMembers =
    "ApplyLivePostFxExposure; ApplyLivePostFxExposureMin; ApplyLivePostFxExposureMax; ApplyLivePostFxDesaturation; "
    "ApplyLivePostFxIntensityBloom; ApplyLivePostFxBrightPassThresh; ApplyLivePostFxBrightPassThreshWidth; "
    "ApplyLivePostFxCorrectColorR; ApplyLivePostFxCorrectColorG; ApplyLivePostFxCorrectColorB; "
    "ApplyLivePostFxCorrectCutoff; ApplyLivePostFxShiftColorR; ApplyLivePostFxShiftColorG; "
    "ApplyLivePostFxShiftColorB; ApplyLivePostFxShiftCutoff; ";

TEST_F(TickTest, BeforeModeRemovesEveryPatchIncludingTheTicksOwnAndAppliesNothing) {
    Enable({S::PostFxScanlineIntensity, S::LightDirMult});
    Tick();
    ASSERT_EQ(runtime::StorePatches.scanline.installed.Get(), 1);
    Editor.TimecycleAfterShown.Set(0);
    for (int frame = 0; frame < 2; ++frame) {  // every frame, the scanline bytes (0x1000) written back once
        EXPECT_EQ(Tick(), Steps(false) + "VisualSettingsBeforeAfter; ClearWriteListCount; " +
                              "RestoreAllPatches; " + (frame == 0 ? "patch 4096; " : ""));
    }
    EXPECT_EQ(runtime::StorePatches.scanline.installed.Get(), 0);
    EXPECT_EQ(sub.code[0x1000], 0x40);
}

TEST_F(TickTest, ImportedModeClearsPatchesOnceThenAppliesInItsOrder) {
    sub.trueTests = {"ImportedOverridesActive", "ContextHasEdits", "PrepareRedirectVehicleDirtMod"};
    Enable({S::LightDirMult, S::PostFxNoise, S::VehicleDirtMod, S::EnableOcclusion, S::PostFxVignettingRadius});
    // No group is restored in this mode (heat haze aside, which has nothing installed); a
    // redirect whose installer is not ready is left alone.
    const std::string groups = std::string(kEngineMembers) +
                               "ApplyLiveTonemapDarkBright; test GatePostFxVignettingWrites; ApplyLivePostFxNoise; "
                               "ApplyLiveLightDir; test PrepareRedirectVehicleDirtMod; redirect Vehicle Dirt Mod; "
                               "test PrepareRedirectEnableOcclusion; ";
    const std::string head =
        "test ImportedOverridesActive; test ContextHasEdits; VisualSettingsBeforeAfter; ClearWriteListCount; ";
    EXPECT_EQ(Tick(), Steps(true) + head + "RestoreAllPatches; " + groups);
    EXPECT_EQ(host::Tick.PatchesClearedForImport.Get(), 1);
    EXPECT_EQ(Tick(), Steps(false) + head + groups);
}

TEST_F(TickTest, OverrideModeAppliesEnabledGroupsAndRestoresTheOthers) {
    host::Tick.PatchesClearedForImport.Set(1);
    Enable({S::LightDirMult, S::DirectionalAmbientColorB, S::PostFxVignettingRadius, S::ScreenBlurIntensity,
            S::PostFxGradientMidpoint});
    sub.trueTests = {"GatePostFxGradientWrites", "GatePostFxVignettingWrites"};
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
                  "ApplyLivePostFxVignettingColorB; test GatePostFxGradientWrites; " +
                  gradient +
                  "RestoreEnvironmentalBlurPatches; RestoreLensArtefactsPatch; "
                  "RestoreNightVisionPatches; RestoreNightVisionColorPatches; "
                  "record Blur Vignetting Radius; record PostFX Noise; test GateScreenBlurWrites; "
                  "RestoreLightRaysRedirects; record Directional Ambient Color R; "
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
    EXPECT_EQ(host::Tick.PatchesClearedForImport.Get(), 0);
}

// A part is tested on its own members: the night-vision scalars (14 slots),
// the colour gradient (12) and the light rays (11) switch on and off at
// their first and last member and not at a neighbour.
TEST_F(TickTest, EachPartHoldsForEveryMemberAndNoNeighbour) {
    host::Tick.PatchesClearedForImport.Set(1);
    const struct {
        S first, last;
        const char* restorer;
    } parts[] = {{S::NightVisionLightDirMult, S::NightVisionBloomLum, "RestoreNightVisionPatches"},
                 {S::PostFxGradientTopColorR, S::PostFxGradientMiddleBottomMidpoint, "RestorePostFxGradientPatches"},
                 {S::LightRayColorR, S::LightRayLength, "RestoreLightRaysRedirects"}};
    for (const auto& p : parts) {
        SCOPED_TRACE(p.restorer);
        const size_t first = static_cast<size_t>(p.first), last = static_cast<size_t>(p.last);
        for (size_t i : {first - 1, first, last, last + 1}) {
            DisableAll();
            Enable({static_cast<S>(i)});
            const bool member = i >= first && i <= last;
            EXPECT_EQ(Count(Tick(), p.restorer), member ? 0u : 1u) << runtime::SlotName(static_cast<S>(i));
        }
    }
}

// The scanline store is patched once and written back when its slots go
// off; the lens-distortion values are not written while their store stays.
TEST_F(TickTest, StorePatchesAreInstalledOnceGateTheirWritesAndAreWrittenBackWhenDisabled) {
    Enable({S::PostFxScanlineSpeed});
    EXPECT_EQ(Count(Tick(), "probe ProbeScanlineStore; patch 4096; engine PostFX Scanline Intensity@464; "), 1u);
    for (uint64_t a = 0x1000; a < 0x1009; ++a) EXPECT_EQ(sub.code[a], 0x90);
    const std::string again = Tick();
    EXPECT_EQ(Count(again, "probe ") + Count(again, "patch "), 0u);
    EXPECT_EQ(Count(again, "engine PostFX Scanline"), 4u);
    DisableAll();
    Enable({S::ChromaticAberrationCoeff2});
    sub.failingWrites = {0x2000};
    EXPECT_EQ(Count(Tick(), "engine "), 0u);
    EXPECT_EQ(runtime::StorePatches.scanline.installed.Get() + runtime::StorePatches.lensDistortion.installed.Get(), 0);
    for (uint64_t a = 0x1000; a < 0x1009; ++a) EXPECT_EQ(sub.code[a], 0x40 + (a - 0x1000));
    sub.failingWrites.clear();
    EXPECT_EQ(Count(Tick(), "engine Lens"), 2u);
    DisableAll();
    Tick();
    EXPECT_EQ(Count(Tick(), "patch "), 0u);
}

// A store the probe reports at another block offset, or not captured, is no
// store of the patch: nothing is written.
TEST_F(TickTest, AStoreOfTheWrongOffsetOrNotCapturedIsNeverPatched) {
    for (bool capturedElsewhere : {true, false}) {
        EntriesOf(PartId::Scanline).probe = capturedElsewhere ? +[](std::span<StoreSite> sites) {
            sites[0] = MakeSite(0x1000, 960, 9);
            return true;
        } : +[](std::span<StoreSite> sites) {
            sites[0] = MakeSite(0x1000, 464, 9);
            sites[0].captured = false;
            return true;
        };
        Enable({S::PostFxScanlineIntensity});
        EXPECT_EQ(Count(Tick(), "patch "), 0u) << capturedElsewhere;
        EXPECT_EQ(runtime::StorePatches.scanline.installed.Get(), 0);
    }
}

TEST_F(TickTest, HeatHazeStoresArePatchedWhollyWithTheirOwnLengthsOrNotAtAll) {
    ImportedWithHeatHaze();
    sub.heatHaze[1].length = 9;  // the store at 624 must be ten bytes: never patched
    EXPECT_EQ(Count(Tick(), "patch "), 0u);
    EXPECT_EQ(runtime::StorePatches.heatHaze.installed.Get(), 0);

    ImportedWithHeatHaze();
    sub.failingWrites = {sub.heatHaze[1].address};  // fourth by offset: what was patched goes back
    Tick();
    EXPECT_EQ(runtime::StorePatches.heatHaze.installed.Get(), 0);
    EXPECT_TRUE(HeatHazeHolds(false));

    sub.failingWrites.clear();
    Tick();  // tried again next frame
    ASSERT_EQ(runtime::StorePatches.heatHaze.installed.Get(), 1);
    EXPECT_TRUE(HeatHazeHolds(true));
    for (const StoreSite& s : sub.heatHaze) EXPECT_NE(sub.code[s.address + s.length], 0x90) << "no byte past the store";
    EXPECT_EQ(Count(Tick(), "probe heat haze"), 0u);
    DisableAll();  // imported mode restores heat haze when nothing is enabled
    Tick();
    EXPECT_EQ(runtime::StorePatches.heatHaze.installed.Get(), 0);
    EXPECT_TRUE(HeatHazeHolds(false));
}

// The unload writes back the tick's own patches (which only the tick and the
// before mode restored before) ahead of everything else it undoes.
TEST_F(TickTest, UnloadWritesBackTheTicksStorePatchesBeforeTheHooksGo) {
    ImportedWithHeatHaze();
    Enable({S::PostFxScanlineIntensity, S::LensDistortionCoeff});
    Tick();
    ASSERT_EQ(runtime::StorePatches.scanline.installed.Get() + runtime::StorePatches.lensDistortion.installed.Get() + runtime::StorePatches.heatHaze.installed.Get(), 3);
    static const HookEngine kEngine = {"noting", [] { return true; }, nullptr, [] { return true; },
                                       [] { return Note("hooks off"), true; }, [] {}};
    HostServices services;
    services.engine = &kEngine;
    SetHostServices(services);
    Startup.HookEngineStarted = 1;
    sub.log.clear();
    testsupport::Bounded("ShutdownEditor", ShutdownEditor);
    EXPECT_EQ(sub.log, "RestoreAllPatches; patch 4096; patch 8192; patch 12288; patch 12352; patch 12384; "
                       "patch 12320; patch 12416; patch 12448; hooks off; ");  // heat haze by block offset
    EXPECT_EQ(runtime::StorePatches.scanline.installed.Get() + runtime::StorePatches.lensDistortion.installed.Get() + runtime::StorePatches.heatHaze.installed.Get(), 0);
    EXPECT_TRUE(HeatHazeHolds(false));
    EXPECT_TRUE(sub.code[0x1000] == 0x40 && sub.code[0x2008] == 0x48) << "the scanline and lens-distortion stores";
}

// Only a weather of the timecycle files is set: the tab's request, the
// tick and the change itself refuse the others alike.
TEST_F(TickTest, WeatherChangesOnlyToAFileWeatherInFiveStepsWithTheGameName) {
    for (int32_t request : {-1, 18, 17, 1000}) {
        EXPECT_FALSE(CanSetGameWeather(request) || RequestGameWeather(request) || SetGameWeather(request)) << request;
        GameControls.WeatherRequest.Set(request);
        EXPECT_EQ(Count(Tick(), "native weather"), 0u) << request;
        EXPECT_EQ(Editor.TimecycleRereadFrames.Get(), 0) << request;
        EXPECT_EQ(GameControls.WeatherRequest.Get(), -1);
    }
    sub.weatherHasFile = false;
    GameControls.WeatherRequest.Set(3);
    EXPECT_EQ(Count(Tick(), "native weather"), 0u);
    sub.weatherHasFile = true;
    EXPECT_TRUE(RequestGameWeather(3));  // posted by the tab, carried out by the tick
    Tick();
    EXPECT_EQ(world.weather, "OVERCAST") << "the world takes it on the fifth of the steps in order with one name";
    EXPECT_EQ(Editor.TimecycleRereadFrames.Get(), 3);
    // "Load .xml": the weather changes, the loaded timecycle slots are not read again.
    Editor.TimecycleRereadFrames = 0;
    EXPECT_TRUE(RequestGameWeatherKeepingSlots(4));
    Tick();
    EXPECT_EQ(world.weather, "RAIN");
    EXPECT_EQ(Editor.TimecycleRereadFrames.Get(), 0);
}

TEST_F(TickTest, ClockModifierHudAndSlotRefreshFollowTheirRates) {
    ClockTimelapse.ClockHourRequest.Set(22);
    core::GameControlFlags.TimelapseEnabled = true;
    sub.trueTests = {"ModifierWorkPending"};
    EXPECT_EQ(Count(Tick(), "StepModifierLiveResolve"), 1u) << "modifier work pending";
    EXPECT_EQ(ClockTimelapse.GameClockReading.hour.Get(), 22);
    EXPECT_TRUE(world.clockPaused);
    sub.trueTests.clear();
    core::GameControlFlags.TimelapseEnabled = false;
    core::GameControlFlags.GameHudVisible = false;  // reasserted every frame
    Tick();
    EXPECT_EQ(CallsOf(kNativeRadarVisible).back(), std::vector<uint64_t>{0});
    EXPECT_EQ(CallsOf(kNativeHideHudFrame).size(), 1u);
    EXPECT_FALSE(world.hudVisible);
    world.clockHours = 9;
    Editor.MenuOpen.Set(1);
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
        EXPECT_EQ(Editor.SlotRefreshTick.Get(), f.refresh) << f.advance;
        EXPECT_EQ(host::Tick.VisualSettingsRefreshTick.Get(), f.refresh) << f.advance;
    }
    EXPECT_EQ(ClockTimelapse.GameClockReading.hour.Get(), 9);
    Editor.MenuOpen.Set(0);
    EXPECT_EQ(Count(Tick(), "RefreshModifier"), 0u);
    EXPECT_EQ(Editor.SlotRefreshTick.Get(), 0);
    EXPECT_EQ(host::Tick.SlotRefreshStamp, 0u);
}

// The tick reads the four light-direction slots and its six runs, 140 slots,
// and no other (the edges of each run checked); here every slot can be
// read, none is loaded yet.
TEST_F(TickTest, ReadsTheLightDirectionSlotsAndItsRunsAndNoOther) {
    float game = 0.5f;
    for (size_t i = 0; i < runtime::kSlotCount; ++i) {
        runtime::LiveOverrideSlot& slot = runtime::Slot(static_cast<S>(i));
        slot.address = reinterpret_cast<uintptr_t>(&game);
        slot.loaded = 0;
    }
    Tick();
    std::set<std::string> read;
    for (size_t i = 0; i < runtime::kSlotCount; ++i)
        if (runtime::Slot(static_cast<S>(i)).liveValue == game) read.insert(runtime::SlotName(static_cast<S>(i)));
    EXPECT_EQ(read.size(), 140u);
    const struct {
        const char* slot;
        bool read;
    } edges[] = {{"Light Dir Mult", true},
                 {"Tonemapping.dark.filmic.A", false},
                 {"PostFX Exposure", true},
                 {"PostFX Environmental Blur Size", true},
                 {"Heat Haze Start Range", false},
                 {"Heat Haze Tex2 V Scrolling Speed", false},
                 {"Lens Distortion Coeff", true},
                 {"Screen Blur Intensity", true},
                 {"PostFX Noise", false},
                 {"Light Ray Length", true},
                 {"Directional Ambient Color R", false},
                 {"Ambient Bake Ramp", true},
                 {"Artificial Int Down Color R", false},
                 {"Light Ambient Occlusion Mult", true},
                 {"Moon Direction Z", true},
                 {"Vehicle Second Spec Override", false},
                 {"Override Dark", true},
                 {"Filmic W Bright", true},
                 {"Ped Light Direction Z", false}};
    for (const auto& e : edges) EXPECT_EQ(read.count(e.slot), e.read ? 1u : 0u) << e.slot;
    for (size_t i = 0; i < runtime::kSlotCount; ++i) runtime::Slot(static_cast<S>(i)).address = 0;
}

// Every group runs once in each mode's order (the override mode leaves the
// dark and bright tonemapping out), and the tick has a store patch
// for each store-patch part of the group data (a part it had none for would
// never be applied).
TEST(TickGroups, EveryGroupRunsOnceInEachOrderAndEveryStorePatchPartHasItsStores) {
    for (auto order : {ImportedOrder(), OverrideOrder()}) {
        std::map<size_t, int> runs;
        for (const OrderStep& step : order) ++runs[static_cast<size_t>(step.group)];
        const bool imported = order.data() == ImportedOrder().data();
        EXPECT_EQ(runs.size(), runtime::kGroupCount - (imported ? 0 : 1));
        EXPECT_EQ(runs.count(static_cast<size_t>(GroupId::TonemapDarkBright)), imported ? 1u : 0u);
        for (const auto& [group, n] : runs) EXPECT_EQ(n, 1) << runtime::Group(static_cast<GroupId>(group)).name;
    }
    std::set<core::SharedValue<uint8_t>*> flags;
    for (size_t p = 0; p < runtime::kPartCount; ++p) {
        const PartId part = static_cast<PartId>(p);
        const bool storePatch = runtime::Part(part).apply == PartApply::StorePatch;
        EXPECT_EQ(StorePatchFlag(part) != nullptr, storePatch) << runtime::Part(part).name;
        EXPECT_EQ(StoreShapesOf(part).empty(), !storePatch) << runtime::Part(part).name;
        if (storePatch) flags.insert(StorePatchFlag(part));
    }
    EXPECT_EQ(flags.size(), 3u) << "a flag of its own each";
    const size_t lengths[] = {54, 33, 11, 18, 1, 19};
    ASSERT_EQ(TickRefreshRuns().size(), std::size(lengths));
    for (size_t i = 0; i < std::size(lengths); ++i)
        EXPECT_EQ(runtime::SlotRunLength(TickRefreshRuns()[i].first, TickRefreshRuns()[i].last), lengths[i]) << i;
}

// The entries that are not built yet, by part and kind: each line goes as
// the code behind it lands (and a line that appears is an entry lost). The
// table is wired afresh: earlier tests put their own entries in.
TEST(TickWiring, TheEntriesNotBuiltYet) {
    host::WireEditorEntries();
    const std::vector<std::string> missing = {};  // every entry is built
    EXPECT_EQ(runtime::MissingEntries(Entries()), missing);
}

class TickWiredTest : public testsupport::SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        g_sub = &sub;
        RecordGroupEntries();  // the steps stay the wired ones
    }
    void TearDown() override {
        g_sub = nullptr;
        SimWorldTest::TearDown();
    }
    Subsystems sub;
};

// An enabled slot reaches its group and a runtime group test holds its
// group; the last slot of the last refresh run is read, never loaded, with
// the menu closed; imported overrides without edits in the context choose
// the override mode.
TEST_F(TickWiredTest, SlotsRuntimeTestsRefreshRunsAndTheTimecycleStateReachTheTick) {
    Enable({S::LightDirMult, S::PostFxGradientMidpoint});
    runtime::LiveOverrideSlot& moon = runtime::Slot(S::MoonDirectionZ);
    float game = 0.75f;
    moon.address = reinterpret_cast<uintptr_t>(&game);
    timecycle::EditStore.ImportedOverridesActive.Set(1);
    ScriptTick();
    timecycle::EditStore.ImportedOverridesActive.Set(0);
    moon.address = 0;
    EXPECT_EQ(Count(sub.log, "ApplyLiveLightDir; "), 1u);
    EXPECT_EQ(Count(sub.log, "RestoreLightDirRedirects"), 0u);
    EXPECT_EQ(Count(sub.log, "RestorePostFxGradientPatches"), 0u);
    EXPECT_EQ(Count(sub.log, "RestorePostFxVignettingPatches"), 1u);
    EXPECT_EQ(moon.loaded.Get(), 1);
    EXPECT_FLOAT_EQ(moon.liveValue, 0.75f);
}

// The layers below reach the editors and the host through the entries each
// fills: the all-live hotkey asks the timecycle editor (an enabled slot
// edits its group), and a timecycle load clears the tick's import mark.
TEST_F(TickWiredTest, TheAllLiveHotkeyAndTheTimecycleEditorReachTheirEntries) {
    bool (*edited)() = Entries().beforeAfter.anyTimecycleGroupEdited;
    ASSERT_TRUE(edited);
    runtime::LiveOverrideSlot& slot = *timecycle::TimecycleVariableTable[0].slot;
    for (uint8_t enabled : {1, 0}) {
        slot.enabled = enabled;
        timecycle::EditStore.GroupFlagsDirty = 1;
        EXPECT_EQ(edited(), enabled != 0);
    }
    host::Tick.PatchesClearedForImport.Set(1);
    timecycle::ClearImportPatchesMark();
    EXPECT_EQ(host::Tick.PatchesClearedForImport.Get(), 0);
}

}  // namespace
