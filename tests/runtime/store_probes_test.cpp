// The store probes on a synthetic game image that holds every pattern: each
// finds its sites and captures the store it expects there; a site holding
// anything else is not captured, and a probe whose pattern is missing does
// not search again.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/simulated.h"
#include "runtime/code_index.h"
#include "runtime/group_appliers.h"
#include "runtime/guarded_memory.h"
#include "runtime/live_writes.h"
#include "runtime/locator_state.h"
#include "runtime/override_patches.h"
#include "runtime/store_probes.h"
#include "support/synthetic_game.h"

namespace {

using namespace runtime;
using testsupport::SyntheticGame;
using testsupport::SyntheticImage;

TEST(StoreProbes, EveryProbeCapturesTheStoresItExpects) {
    SyntheticImage image;
    const SyntheticGame game = testsupport::PlantSyntheticGame(image);
    for (size_t p = 0; p < kProbeCount; ++p) {
        const ProbeId id = static_cast<ProbeId>(p);
        SCOPED_TRACE(ProbeInfo(id).name);
        ASSERT_TRUE(RunProbe(id));
        const std::span<const ProbeSiteRow> rows = ProbeSites(id);
        for (size_t i = 0; i < rows.size(); ++i) {
            const CodePatch& site = ProbeSitesOf(id)[i];
            EXPECT_EQ(site.site, game.patterns[static_cast<size_t>(rows[i].pattern)] + rows[i].at) << i;
            EXPECT_EQ(site.length, rows[i].length);
            EXPECT_TRUE(rows[i].instruction.MatchesAt(site.saved)) << i;
        }
    }
    ASSERT_TRUE(ProbeHeatHazeStores());
    ASSERT_TRUE(ProbeNightVisionScalar());
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(StoreProbes.heatHaze.sites[i].site, game.heatHazeStores[i]) << i;
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(StoreProbes.nightVisionScalar.sites[i].site, game.nightVisionStores[i]) << i;
    EXPECT_TRUE(ProbeLightRays());
    EXPECT_EQ(GroupAppliers.lightRays.records.size(), 7u) << "six loads of the two groups and light_ray_mult";
    EXPECT_TRUE(ProbeSpriteRedirectA() && ProbeSpriteRedirectB());
    EXPECT_EQ(GroupAppliers.spriteA.records.size() + GroupAppliers.spriteB.records.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(StoreProbes.pedLightTargets[i], game.pedGlobals[i]) << i;
    EXPECT_TRUE(ProbeWriteListBlock());
    EXPECT_EQ(LiveWrites.writeList.blockOffset, game.timecycleBlock - image.base());
    for (const StartupStep& step : StartupPreparers()) EXPECT_TRUE(step.run()) << step.name;
    EXPECT_EQ(Locators.ImagePasses.Get(), 1);
}

// The night-vision colours' last two stores lie 96 and 106 bytes into their
// pattern, after the second load pair (at 88 a load stands).
TEST(StoreProbes, TheNightVisionColourStoresAreTheStoresOfTheirOffsets) {
    SyntheticImage image;
    const SyntheticGame game = testsupport::PlantSyntheticGame(image);
    ASSERT_TRUE(ProbeNightVisionColorStores());
    const uint64_t hit = game.patterns[static_cast<size_t>(CodePatternId::NightVisionColor)];
    const uint32_t offsets[6] = {480, 488, 496, 504, 512, 520};
    const uint64_t at[6] = {0, 10, 48, 58, 96, 106};
    for (size_t i = 0; i < 6; ++i) {
        const CodePatch& site = ProbeSitesOf(ProbeId::NightVisionColorStores)[i];
        uint32_t displacement = 0;
        std::memcpy(&displacement, site.saved + 6, 4);
        EXPECT_TRUE(site.site == hit + at[i] && displacement == offsets[i]) << i;
        EXPECT_TRUE(site.saved[2] == 0x0F && site.saved[3] == 0x11) << "a store, " << i;
    }
}

// A match whose site holds another instruction than the probe expects is
// not captured, and not looked at again.
TEST(StoreProbes, ASiteHoldingAnotherInstructionIsNeverCaptured) {
    SyntheticImage image;
    const SyntheticGame game = testsupport::PlantSyntheticGame(image);
    // The exposure-bloom store's last byte lies past its pattern.
    const uint64_t site = game.patterns[static_cast<size_t>(CodePatternId::ExposureBloom)] + 30;
    const uint8_t other = 0x90;
    image.Write(site + 8, &other, 1);
    EXPECT_EQ(ProbeExposureBloomSite(), 0u);
    EXPECT_EQ(ProbeSitesOf(ProbeId::ExposureBloomSite)[0].captured, 0);
    image.Write(site + 8, std::vector<uint8_t>{0x00});
    const uint64_t queries = GuardedMemory.RegionQueries.Get();
    EXPECT_EQ(ProbeExposureBloomSite(), 0u) << "a mismatch is for good";
    EXPECT_EQ(GuardedMemory.RegionQueries.Get(), queries);
}

// A probe whose site could not be read tries again after the interval; the
// screen-blur store alone stands in for its long pattern.
TEST(StoreProbes, AnUnreadableSiteIsTriedAgainAfterTheIntervalAndTheScreenBlurStoreStandsAlone) {
    platform::sim::UseManualClock(true);
    SyntheticImage image;
    const SyntheticGame game = testsupport::PlantSyntheticGame(image);
    const uint64_t blur = game.patterns[static_cast<size_t>(CodePatternId::ScreenBlur)];
    image.Write(blur + 8, std::vector<uint8_t>{0x49});  // the long pattern broken: the store alone is found
    ASSERT_TRUE(EnsureCodeIndex());
    const uint64_t site = game.patterns[static_cast<size_t>(CodePatternId::Scanline)] + 7;
    const uint64_t page = site & ~uint64_t(4095);
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(page, 4096, platform::kPageNoAccess, &old));
    EXPECT_EQ(ProbeScanlineStore(), 0u);
    platform::ChangeProtection(page, 4096, platform::kPageExecuteRead, &old);
    EXPECT_EQ(ProbeScanlineStore(), 0u);
    platform::sim::AdvanceClock(kPatchRetryIntervalMs);
    EXPECT_EQ(ProbeScanlineStore(), site);
    EXPECT_EQ(ProbeScreenBlurStore(), blur + 42);
    platform::sim::UseManualClock(false);
}

}  // namespace

namespace {

using namespace runtime;

// Without its 34-byte run the environmental blur takes the first store to
// 0x30 and the stores to 0x34 and 0x38 that follow it within 64 bytes.
TEST(StoreProbes, TheEnvironmentalBlurFallsBackToItsThreeStoresWithin64Bytes) {
    for (bool near : {true, false}) {
        testsupport::SyntheticImage image;
        const testsupport::SyntheticGame game = testsupport::PlantSyntheticGame(image);
        const uint64_t run = game.patterns[static_cast<size_t>(CodePatternId::EnvBlur)];
        image.Write(run + 6, std::vector<uint8_t>{0x90});  // the run broken, its stores kept
        if (!near) image.Write(run + 28, std::vector<uint8_t>{0x90, 0x90, 0x90, 0x90, 0x90, 0x90});
        if (!near) image.PlantCode({0xF3, 0x0F, 0x11, 0x44, 0x2B, 0x38});  // far after it
        EXPECT_EQ(ProbeEnvironmentalBlurStores(), near) << near;
        if (!near) continue;
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(ProbeSitesOf(ProbeId::EnvironmentalBlurStores)[i].site, run + 14 * i);
    }
}

}  // namespace
