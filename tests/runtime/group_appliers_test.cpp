// The multi-slot group appliers on the synthetic game: the light rays'
// redirects (all of them, or none when a required field has no reader),
// the tonemapping's short jump run for real, the ped and vehicle lights,
// the night-vision scalars.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "runtime/block_locators.h"
#include "runtime/group_appliers.h"
#include "runtime/near_alloc.h"
#include "runtime/override_groups.h"
#include "runtime/redirects.h"
#include "runtime/store_probes.h"
#include "support/synthetic_game.h"

namespace {

using namespace runtime;
using testsupport::ImageSection;
using testsupport::SyntheticImage;

float At(uint64_t address) {
    float f;
    std::memcpy(&f, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), 4);
    return f;
}

class GroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSlotTablesForTesting();
        game = testsupport::PlantSyntheticGame(image);
    }
    void TearDown() override { ResetSlotTablesForTesting(); }
    void Place(PartId part, uint64_t firstField) {
        const std::span<const PartMember> members = Part(part).members;
        for (size_t i = 0; i < members.size(); ++i) Slot(members[i].slot).address = game.timecycleBlock + firstField + 4 * i;
    }
    SyntheticImage image;
    testsupport::SyntheticGame game;
};

TEST_F(GroupTest, LightRaysRedirectEveryReaderIntoTheNearBlockAndBack) {
    Place(PartId::LightRays, 264);
    const std::vector<uint8_t> before = image.Bytes();
    for (const PartMember& m : Part(PartId::LightRays).members) {
        Slot(m.slot).enabled = 1;
        Slot(m.slot).value = 70.0f + static_cast<float>(&m - Part(PartId::LightRays).members.data());
    }
    ApplyLiveLightRays();
    ASSERT_NE(GroupAppliers.lightRayBlock, 0u);
    for (size_t i = 0; i < kLightRayFieldCount; ++i) EXPECT_EQ(At(GroupAppliers.lightRayBlock + 4 * i), 70.0f + i);
    for (const CodePatch& record : GroupAppliers.lightRays.records) EXPECT_EQ(record.applied, 1);
    EXPECT_EQ(At(game.timecycleBlock + 264), 70.0f) << "the enabled slots into their fields too";
    RestoreLightRaysRedirects();
    std::vector<uint8_t> after = image.Bytes();
    // The fields the applier wrote aside, the image is as it was.
    std::memcpy(after.data() + (game.timecycleBlock - image.base()) + 264, before.data() + (game.timecycleBlock - image.base()) + 264, 44);
    EXPECT_EQ(after, before);
}

// The light rays' first code site, its loads of fields 264, 268 and 272 of
// the timecycle block at block; returns the site.
uint64_t PlantLightRaysSite(SyntheticImage& image, uint64_t block) {
    std::vector<uint8_t> first = testsupport::PatternBytesOf(CodePatternId::LightRays1);
    const uint64_t site = image.Reserve(ImageSection::Text, first.size(), 1);
    auto address = [&](size_t disp, size_t end, uint64_t field) {
        const int32_t d = static_cast<int32_t>(static_cast<int64_t>(block + field - (site + end)));
        std::memcpy(first.data() + disp, &d, 4);
    };
    address(11, 15, 272);
    address(19, 23, 268);
    address(33, 37, 264);
    image.Write(site, first);
    return site;
}

// The other loads the light rays need besides the first site's: the
// multiplier and the distance after it (the blit size is each test's).
void PlantMultAndDistanceLoads(SyntheticImage& image, uint64_t block) {
    image.PlantRipRelative({0xF3, 0x0F, 0x10, 0x0D, 0, 0, 0, 0}, 4, block + 276);
    image.PlantRipRelative({0xF3, 0x0F, 0x10, 0x15, 0, 0, 0, 0}, 4, block + 284);
}

// Where a rip-relative disp32 at disp points now.
uint64_t TargetOf(uint64_t disp) {
    int32_t d;
    std::memcpy(&d, reinterpret_cast<const void*>(static_cast<uintptr_t>(disp)), 4);
    return disp + 4 + static_cast<uint64_t>(static_cast<int64_t>(d));
}

const CodePatch* LightRayRecordAt(uint64_t site) {
    for (const CodePatch& record : GroupAppliers.lightRays.records)
        if (record.site == site) return &record;
    return nullptr;
}

// The light rays need readers of colour, mult, distance and blit size:
// fields 0 to 3 and 5 without 9 are not enough.
TEST(LightRays, AWindowWithoutABlitSizeReaderIsNotEnough) {
    for (bool blitSize : {false, true}) {
        SyntheticImage image;
        const uint64_t block = image.PlantLocatableTimecycleBlock();
        PlantLightRaysSite(image, block);
        PlantMultAndDistanceLoads(image, block);
        if (blitSize) image.PlantRipRelative({0xF3, 0x0F, 0x10, 0x1D, 0, 0, 0, 0}, 4, block + 300);
        EXPECT_EQ(ProbeLightRays(), blitSize);
        EXPECT_EQ(GroupAppliers.lightRays.records.size(), blitSize ? 6u : 0u);
    }
}

// Every load of the eleven fields in the window is redirected, however
// many there are: seventy loads of the underwater multiplier come before the
// only loads of the multiplier, the distance and the blit size, which the
// redirect needs.
TEST(LightRays, EveryLoadInTheWindowIsRedirectedHoweverMany) {
    ResetSlotTablesForTesting();
    SyntheticImage image;
    const uint64_t block = image.PlantLocatableTimecycleBlock();
    PlantLightRaysSite(image, block);
    struct Load {
        uint64_t disp, field;
    };
    std::vector<Load> loads;
    for (int i = 0; i < 70; ++i)
        loads.push_back({image.PlantRipRelative({0xF3, 0x0F, 0x10, 0x25, 0, 0, 0, 0}, 4, block + 280) + 4, 280});
    for (uint64_t field : {276, 284, 300})
        loads.push_back({image.PlantRipRelative({0xF3, 0x0F, 0x10, 0x0D, 0, 0, 0, 0}, 4, block + field) + 4, field});
    ASSERT_TRUE(ProbeLightRays());
    EXPECT_EQ(GroupAppliers.lightRays.records.size(), 3 + loads.size());
    const std::span<const PartMember> members = Part(PartId::LightRays).members;
    for (size_t i = 0; i < members.size(); ++i) Slot(members[i].slot).address = block + 264 + 4 * i;
    Slot(members[3].slot).enabled = 1;
    ApplyLiveLightRays();
    auto target = [](const Load& load) {
        int32_t d;
        std::memcpy(&d, reinterpret_cast<const void*>(static_cast<uintptr_t>(load.disp)), 4);
        return load.disp + 4 + static_cast<uint64_t>(static_cast<int64_t>(d));
    };
    for (const Load& load : loads) EXPECT_EQ(target(load), GroupAppliers.lightRayBlock + (load.field - 264));
    RestoreLightRaysRedirects();
    for (const Load& load : loads) EXPECT_EQ(target(load), block + load.field);
    ResetSlotTablesForTesting();
}

// The walk starts 128 bytes before the first site: a load from there on is
// redirected (here the only reader of the blit size, which the redirect
// needs) and its record begins at the load's first byte, its prefix; one
// that ends where the walk starts is not.
TEST(LightRays, TheWalkTakesTheLoadsFrom128BytesBeforeTheFirstSite) {
    const struct {
        const char* what;
        uint64_t before;  // the blit-size load's start, before site 1
        bool taken;
    } cases[] = {
        {"at the walk's first byte", 128, true},
        {"ending where the walk starts", 136, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResetSlotTablesForTesting();
        SyntheticImage image;
        const uint64_t block = image.PlantLocatableTimecycleBlock();
        const uint64_t blitSize = image.PlantRipRelative({0xF3, 0x0F, 0x10, 0x1D, 0, 0, 0, 0}, 4, block + 300);
        image.Reserve(ImageSection::Text, c.before - 8, 1);
        ASSERT_EQ(PlantLightRaysSite(image, block), blitSize + c.before);
        PlantMultAndDistanceLoads(image, block);
        ASSERT_EQ(ProbeLightRays(), c.taken);
        const CodePatch* record = LightRayRecordAt(blitSize + 4);
        EXPECT_EQ(record != nullptr, c.taken);
        if (!c.taken || record == nullptr) continue;
        EXPECT_EQ(record->instruction, blitSize);
        ApplyLiveLightRays();
        EXPECT_EQ(TargetOf(blitSize + 4), GroupAppliers.lightRayBlock + 36);
        RestoreLightRaysRedirects();
        EXPECT_EQ(TargetOf(blitSize + 4), block + 300);
    }
    ResetSlotTablesForTesting();
}

// A game thread runs a light-ray load while the redirect points it at the
// near block and back, its displacement running across two 16-byte blocks,
// so that each rewrite holds the instruction at its first byte: every run
// reads the game's field or the near block, never through a half-written
// displacement.
TEST(LightRays, ALoadRunWhileItsDisplacementCrossesBlocksReadsTheFieldOrTheNearBlock) {
    ResetSlotTablesForTesting();
    SyntheticImage image;
    const uint64_t block = image.PlantLocatableTimecycleBlock();
    PlantLightRaysSite(image, block);
    PlantMultAndDistanceLoads(image, block);
    const uint64_t load = testsupport::PlantLoadAcrossBlocks(image, {0xF3, 0x0F, 0x10, 0x1D}, block + 300);
    LiveOverrideSlot& blitSize = Slot(SlotId::LightRayBlitSize);
    blitSize.value = 5.5f;  // no address: the near block alone gets it
    blitSize.enabled = 1;
    ASSERT_TRUE(ProbeLightRays());
    const CodePatch* record = LightRayRecordAt(load + 4);
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(testsupport::ChangesAcrossBlocks(*record));
    const std::vector<uint8_t> before = image.Bytes();
    int unapplied = 0;
    const float field = 300 / 4 + 0.25f;  // the synthetic block holds i + 0.25 at 4 i
    const testsupport::CallsDuringRewrites runs =
        testsupport::CallWhileRewriting(load, field, 5.5f, 100, [&] {
            ApplyLiveLightRays();
            unapplied += record->applied == 0;
            RestoreLightRaysRedirects();
        });
    EXPECT_EQ(unapplied, 0);
    EXPECT_EQ(runs.unexpected, 0u) << runs.calls << " runs";
    EXPECT_GE(runs.calls, 100u) << "the game thread stalled";
    EXPECT_EQ(image.Bytes(), before);
    ResetSlotTablesForTesting();
}

// The ja over the filmic tonemapping becomes a jmp while a dark or bright
// override is on: run for real, the game's code after the jump is skipped
// whatever the compare says.
TEST(Tonemapping, TheShortJumpSkipsTheGamesCodeWhileAnOverrideIsOn) {
    ResetSlotTablesForTesting();
    SyntheticImage image;
    const uint64_t block = image.PlantLocatableTimecycleBlock();
    image.WriteFloat(block + 376, -1.0f);  // override_dark below 0: the ja falls through
    std::vector<uint8_t> code = {0x31, 0xC0};  // xor eax, eax
    std::vector<uint8_t> pattern = testsupport::PatternBytesOf(CodePatternId::Tonemap);
    code.insert(code.end(), pattern.begin(), pattern.end());
    code.insert(code.end(), {0xB8, 0x01, 0x00, 0x00, 0x00});  // the game's code: mov eax, 1
    code.resize(code.size() + 36, 0x90);
    code.push_back(0xC3);
    const uint64_t function = image.Reserve(ImageSection::Text, code.size(), 16);
    auto address = [&](size_t disp, size_t end, uint64_t field) {
        const int32_t d = static_cast<int32_t>(static_cast<int64_t>(block + field - (function + 2 + end)));
        std::memcpy(code.data() + 2 + disp, &d, 4);
    };
    address(5, 9, 376);
    address(21, 25, 412);
    image.Write(function, code);
    auto run = [&] { return reinterpret_cast<int (*)()>(static_cast<uintptr_t>(function))(); };
    EXPECT_EQ(run(), 1) << "the game's code runs";
    LiveOverrideSlot& w = Slot(SlotId::FilmicWBright);
    w.address = block + 4 * 100;
    w.value = 6.5f;
    w.enabled = 1;
    ApplyLiveTonemapDarkBright();
    EXPECT_EQ(run(), 0) << "jumped over";
    EXPECT_EQ(At(block + 400), 6.5f) << "only the enabled field written";
    EXPECT_EQ(At(block + 396), 99.25f);
    w.enabled = 0;
    ApplyLiveTonemapDarkBright();
    EXPECT_EQ(run(), 1);
    ResetSlotTablesForTesting();
}

// The vehicle lights' scale alone patches its redirect and no ped-light
// store; a ped-light slot removes the three stores and writes the globals.
TEST_F(GroupTest, PedAndVehicleLightsEachPatchOnlyTheirOwnSites) {
    Place(PartId::PedVehicleLights, 0);
    LiveOverrideSlot& scale = Slot(SlotId::VehicleLightsIntensityScale);
    scale.enabled = 1;
    scale.value = 2.5f;
    ApplyLivePedAndVehicleLights();
    EXPECT_TRUE(RedirectPatched(RedirectId::VehicleLightsIntensityScale));
    for (const CodePatch& p : ProbeSitesOf(ProbeId::PedLightSite)) EXPECT_EQ(p.applied, 0);
    LiveOverrideSlot& mult = Slot(SlotId::PedLightMult);
    mult.enabled = 1;
    mult.value = 4.0f;
    ApplyLivePedAndVehicleLights();
    for (const CodePatch& p : ProbeSitesOf(ProbeId::PedLightSite)) EXPECT_EQ(p.applied, 1);
    EXPECT_EQ(At(game.pedGlobals[2]), 4.0f);
    scale.enabled = 0;
    mult.enabled = 0;
    ApplyLivePedAndVehicleLights();
    EXPECT_FALSE(RedirectPatched(RedirectId::VehicleLightsIntensityScale));
    for (const CodePatch& p : ProbeSitesOf(ProbeId::PedLightSite)) EXPECT_EQ(p.applied, 0);
}

// A night-vision multiplier alone is written to its field only; a scalar
// removes the four stores and writes its engine field.
TEST_F(GroupTest, NightVisionStoresGoOnlyForTheScalars) {
    Place(PartId::NightVision, 0);
    Slot(SlotId::NightVisionAmbUpMult).enabled = 1;
    ApplyLiveNightVision();
    for (const CodePatch& p : std::span(StoreProbes.nightVisionScalar.sites).first(4)) EXPECT_EQ(p.applied, 0);
    LiveOverrideSlot& low = Slot(SlotId::NightVisionLowLum);
    low.enabled = 1;
    low.value = 0.75f;
    ApplyLiveNightVision();
    for (const CodePatch& p : std::span(StoreProbes.nightVisionScalar.sites).first(4)) EXPECT_EQ(p.applied, 1);
    EXPECT_EQ(At(game.engineBlock + 412), 0.75f);
    low.enabled = 0;
    ApplyLiveNightVision();
    for (const CodePatch& p : std::span(StoreProbes.nightVisionScalar.sites).first(4)) EXPECT_EQ(p.applied, 0);
}

// The sprite values go to the shared near block that both timecycle
// signatures' reads are pointed at.
TEST_F(GroupTest, SpriteAndLensFlareReadTheSharedValueBlock) {
    Slot(SlotId::SpriteSize).enabled = 1;
    Slot(SlotId::SpriteSize).value = 12.0f;
    ApplyLiveSpriteLensflare();
    ASSERT_NE(NearAlloc.NearValueBlock, 0u);
    EXPECT_EQ(At(NearAlloc.NearValueBlock + 4), 12.0f);
    EXPECT_EQ(GroupAppliers.spriteA.records[0].applied + GroupAppliers.spriteB.records[0].applied +
                  GroupAppliers.spriteB.records[1].applied, 3);
    RestoreTemperatureBlockPatches();
    EXPECT_EQ(GroupAppliers.spriteB.records[1].applied, 0);
}

}  // namespace
