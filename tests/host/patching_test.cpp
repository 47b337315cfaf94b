// The code patches in the tick, for real: a synthetic game image holding
// every code site, the start-up's preparers and probes, every group
// installed by the tick in its three modes with the real appliers, the
// live-write caves, and the unload, after which the image's code is byte
// for byte what the game had; also over random sequences of slots switched
// on and off and of modes.
#include <gtest/gtest.h>

#include <bit>
#include <random>

#include "host/shutdown.h"
#include "host/tick.h"
#include "runtime/live_writes.h"
#include "runtime/override_groups.h"
#include "runtime/override_patches.h"
#include "runtime/redirects.h"
#include "runtime/store_probes.h"
#include "support/sim_world_fixture.h"
#include "support/synthetic_game.h"
#include "support/thread_waits.h"
#include "timecycle/timecycle_model.h"

namespace {

using namespace runtime;
using testsupport::ImageSection;

enum class Mode { Before, Imported, Override };
Mode g_mode = Mode::Override;

class PatchingTest : public testsupport::SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        ASSERT_TRUE(image.ok());
        game = testsupport::PlantSyntheticGame(image);
        pristine = Code();
        // Start-up: the preparers and probes, the slots' addresses, the write-list cave.
        RunStartupPreparers();
        timecycle::AssignVariableSlotAddresses();
        PrepareRedirect(RedirectId::AmbientBounceDownWrap);
        ApplyLiveSlotGroupC();
        ASSERT_TRUE(InstallWriteListCave());
        // The visualsettings flows' caves.
        EXPECT_TRUE(InstallManualLiveWrites());
        EXPECT_TRUE(InstallPuddleLiveWriteHook());
        Entries().tick.importedOverridesActive = [] { return g_mode == Mode::Imported; };
        Entries().tick.contextHasEdits = [] { return true; };
        g_mode = Mode::Override;
    }
    void TearDown() override {
        testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
        SimWorldTest::TearDown();
    }
    std::vector<uint8_t> Code() const {
        const std::vector<uint8_t> all = image.Bytes();
        const size_t from = image.SectionStart(ImageSection::Text) - image.base();
        return {all.begin() + static_cast<long>(from),
                all.begin() + static_cast<long>(from + image.SectionSize(ImageSection::Text))};
    }
    // Bytes that differ from the game's code.
    size_t Changed() const {
        const std::vector<uint8_t> now = Code();
        size_t n = 0;
        for (size_t i = 0; i < now.size(); ++i) n += now[i] != pristine[i];
        return n;
    }
    void Tick(Mode mode) {
        g_mode = mode;
        core::Editor.TimecycleAfterShown.Set(mode == Mode::Before ? 0 : 1);
        host::ScriptTick();
    }
    void EnableAll() {
        for (size_t i = 0; i < kSlotCount; ++i) {
            LiveOverrideSlot& slot = Slot(static_cast<SlotId>(i));
            slot.value = 500.0f + static_cast<float>(i);
            slot.enabled = 1;
        }
    }
    // The installed patches that write code of the game, not counting the caves' jumps.
    size_t OverridePatches() const {
        size_t jumps = 0;
        for (const ManualLiveWrite& m : LiveWrites.manual) jumps += m.jump.applied;
        jumps += LiveWrites.puddle.jump.applied + (WriteListCaveInstalled() ? 1 : 0);
        return ReportCodePatches().applied - jumps;
    }
    float ReadFarClip() {
        uint32_t out[4] = {};
        const RedirectRecordRow& record = RedirectRecords(RedirectId::FarClip)[0];
        testsupport::CallReader(game.readers[static_cast<size_t>(&record - AllRedirectRecords().data())], out);
        return std::bit_cast<float>(out[0]);
    }

    testsupport::SyntheticImage image;
    testsupport::SyntheticGame game;
    std::vector<uint8_t> pristine;
};

// Every group of the tick installs in the override mode; the before mode
// takes every override patch back (the caves' jumps stay until the
// unload), the imported mode installs again, the unload leaves the code as
// the game had it.
TEST_F(PatchingTest, EveryGroupInstallsAndTheUnloadLeavesTheGamesCodeByteForByte) {
    EnableAll();
    const float own = ReadFarClip();
    Tick(Mode::Override);
    // 97 sites: 51 redirect records (all but the temperature's three and the
    // four inline ones, which the override mode leaves), 7 light-ray and 3
    // sprite records, 36 stores removed (all but the heat haze's six).
    const size_t installed = OverridePatches();
    EXPECT_EQ(installed, 97u);
    EXPECT_EQ(ReadFarClip(), Slot(SlotId::FarClip).value.Get());
    EXPECT_EQ(runtime::StorePatches.scanline.installed.Get() + runtime::StorePatches.lensDistortion.installed.Get(), 2);
    EXPECT_EQ(runtime::StorePatches.heatHaze.installed.Get(), 0) << "the override mode leaves heat haze to the imported mode";
    Tick(Mode::Override);
    EXPECT_EQ(OverridePatches(), installed) << "a second frame installs nothing more";

    Tick(Mode::Before);
    EXPECT_EQ(OverridePatches(), 0u);
    EXPECT_EQ(ReadFarClip(), own);
    Tick(Mode::Imported);
    EXPECT_EQ(runtime::StorePatches.heatHaze.installed.Get(), 1);
    // The tonemapping jump, the temperature's three readers, the four inline
    // redirects and the six heat-haze stores.
    EXPECT_EQ(OverridePatches(), installed + 14) << "the imported mode adds the groups the override mode leaves out";
    EXPECT_EQ(ReadFarClip(), Slot(SlotId::FarClip).value.Get());

    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    EXPECT_EQ(ReportCodePatches().applied, 0u);
    EXPECT_EQ(Changed(), 0u);
    static int writes = 0;
    Entries().patchCode = [](uint64_t, const uint8_t*, size_t) { return ++writes, true; };
    RestoreAllPatches();
    EXPECT_EQ(writes, 0) << "a second restore writes nothing";
}

// Random slots switched on and off and random modes: after each before-mode
// frame no override patch is in the game, and after the unload no byte of
// the game's code differs.
TEST_F(PatchingTest, RandomSlotsAndModesEndWithTheGamesCode) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        for (int step = 0; step < 60; ++step) {
            for (int flips = 0; flips < 12; ++flips) {
                LiveOverrideSlot& slot = Slot(static_cast<SlotId>(random() % kSlotCount));
                slot.value = static_cast<float>(random() % 1000) / 10.0f;
                slot.enabled = slot.enabled ? 0 : 1;
            }
            const Mode mode = static_cast<Mode>(random() % 3);
            Tick(mode);
            if (mode == Mode::Before) {
                EXPECT_EQ(OverridePatches(), 0u) << step;
            }
        }
        Tick(Mode::Before);
        EXPECT_EQ(OverridePatches(), 0u);
    }
    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    EXPECT_EQ(Changed(), 0u);
}

// The tick's three modes with the real appliers: the redirected read shows
// the editor's value in the two applying modes, the game's in the before
// mode; a disabled group is taken back by the override mode and left by the
// imported mode.
TEST_F(PatchingTest, TheThreeModesWithTheRealAppliers) {
    LiveOverrideSlot& farClip = Slot(SlotId::FarClip);
    farClip.value = 4321.0f;
    farClip.enabled = 1;
    const float own = ReadFarClip();
    Tick(Mode::Override);
    EXPECT_EQ(ReadFarClip(), 4321.0f);
    Tick(Mode::Before);
    EXPECT_EQ(ReadFarClip(), own);
    Tick(Mode::Imported);
    EXPECT_EQ(ReadFarClip(), 4321.0f);
    farClip.enabled = 0;
    Tick(Mode::Imported);
    EXPECT_TRUE(RedirectPatched(RedirectId::FarClip)) << "the imported mode restores no group";
    Tick(Mode::Override);
    EXPECT_FALSE(RedirectPatched(RedirectId::FarClip));
    EXPECT_EQ(ReadFarClip(), own);
}

}  // namespace

namespace {

// A timecycle preview asks for every patch back from the thread it runs on;
// the tick takes them back at its next frame, before the groups run.
TEST_F(PatchingTest, APreviewsRestoreIsCarriedOutByTheTick) {
    Slot(SlotId::FarClip).enabled = 1;
    Tick(Mode::Override);
    ASSERT_TRUE(RedirectPatched(RedirectId::FarClip));
    RestoreOverridePatches();
    EXPECT_TRUE(RedirectPatched(RedirectId::FarClip)) << "nothing changes off the script fiber";
    Slot(SlotId::FarClip).enabled = 0;
    host::Tick.PatchesClearedForImport.Set(1);
    Tick(Mode::Imported);  // the imported mode, patches cleared before: it restores nothing of its own
    EXPECT_FALSE(RedirectPatched(RedirectId::FarClip));
}

}  // namespace
