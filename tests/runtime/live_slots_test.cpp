// Live override slots: the tables, the refresh rule and the group tests.
#include <gtest/gtest.h>

#include <vector>

#include "core/editor_state.h"
#include "runtime/live_slots.h"
#include "runtime/override_groups.h"
#include "support/synthetic_image.h"

namespace {

using namespace runtime;
using testsupport::ImageSection;
using testsupport::SyntheticImage;

class LiveSlots : public ::testing::Test {
protected:
    void SetUp() override { ResetSlotTablesForTesting(); }
    void TearDown() override {
        ResetSlotTablesForTesting();
        core::Editor.MenuOpen = 0;
        core::Editor.SlotRefreshTick = 0;
    }
};

// Rows at the edges of the range groups, and the dark filmic presets.
TEST_F(LiveSlots, SliderRangesAndDarkFilmicPresets) {
    const struct {
        const LiveOverrideSlot* table;
        size_t row;
        const char* name;
        float minimum, maximum;
    } rows[] = {
        {runtime::LiveSlots.LightDirSlotTable, 2, "Light Dir Color B", -2, 10}, {runtime::LiveSlots.LightDirSlotTable, 3, "Light Dir Mult", 0, 10},
        {runtime::LiveSlots.MainSlotTable, 3, "PostFX Desaturation", -5, 5}, {runtime::LiveSlots.MainSlotTable, 4, "PostFX Intensity Bloom", 0, 20},
        {runtime::LiveSlots.MainSlotTable, 58, "Heat Haze Displacement U", -20, 20}, {runtime::LiveSlots.MainSlotTable, 110, "PostFX Noise Size", -5, 50},
        {runtime::LiveSlots.MainSlotTable, 116, "Light Ray Distance", -1000, 10000}, {runtime::LiveSlots.MainSlotTable, 120, "Light Ray Blit Size", -50, 100},
        {runtime::LiveSlots.MainSlotTable, 166, "SSAO Type", -1, 10}, {runtime::LiveSlots.MainSlotTable, 273, "Fog Shadow Base Height", -10000, 10000},
        {runtime::LiveSlots.MainSlotTable, 274, "Far Clip", 0, 100000}, {runtime::LiveSlots.FogToneSlotTable, 97, "Filmic W Bright", -10, 20},
        {runtime::LiveSlots.MainSlotTable, 326, "Mirror Reflection Local Light Intensity", -10, 100},
        {runtime::LiveSlots.FogToneSlotTable, 77, "Ped Light Direction X", -10, 10}, {runtime::LiveSlots.FogToneSlotTable, 80, "Override Dark", 0, 1},
    };
    for (const auto& r : rows) {
        const LiveOverrideSlot& s = r.table[r.row];
        EXPECT_STREQ(s.name, r.name) << r.row;
        EXPECT_EQ(s.minValue, r.minimum) << r.name;
        EXPECT_EQ(s.maxValue, r.maximum) << r.name;
    }
    // A .. F, W and exposure: loaded and readable from the start, with no address.
    const float presets[] = {0.22f, 0.3f, 0.1f, 0.2f, 0.0f, 0.3f, 4.0f, 3.0f};
    for (size_t i = 0; i < std::size(presets); ++i) {
        const LiveOverrideSlot& s = runtime::LiveSlots.LightDirSlotTable[kFirstDarkFilmicSlot + i];
        EXPECT_TRUE(s.value == presets[i] && s.liveValue == presets[i] && s.minValue == -10.0f) << s.name;
        EXPECT_TRUE(s.loaded == 1 && s.liveReadable == 1 && s.address == 0u) << s.name;
    }
    EXPECT_STREQ(runtime::LiveSlots.LightDirSlotTable[11].name, "Tonemapping.dark.filmic.exposure");
    EXPECT_EQ(runtime::LiveSlots.MainSlotTable[5].loaded, 0);
    EXPECT_EQ(TimecycleSlotAddress(429), 0u);  // (start-up's addresses: the host's start-up tests)
}

// An identifier names its own row: the first and last of each table, and
// runs only inside one table.
TEST_F(LiveSlots, IdentifiersNameTheirRows) {
    const struct {
        SlotId id;
        const LiveOverrideSlot* row;
        const char* name;
    } ids[] = {
        {SlotId::LightDirColorR, &runtime::LiveSlots.LightDirSlotTable[0], "Light Dir Color R"},
        {SlotId::TonemappingDarkFilmicExposure, &runtime::LiveSlots.LightDirSlotTable[11], "Tonemapping.dark.filmic.exposure"},
        {SlotId::PostFxExposure, &runtime::LiveSlots.MainSlotTable[0], "PostFX Exposure"},
        {SlotId::MirrorReflectionLocalLightIntensity, &runtime::LiveSlots.MainSlotTable[326], "Mirror Reflection Local Light Intensity"},
        {SlotId::FogStart, &runtime::LiveSlots.FogToneSlotTable[0], "Fog Start"},
        {SlotId::FilmicWBright, &runtime::LiveSlots.FogToneSlotTable[97], "Filmic W Bright"},
    };
    for (const auto& i : ids) {
        EXPECT_EQ(&Slot(i.id), i.row) << i.name;
        EXPECT_STREQ(SlotName(i.id), i.name);
    }
    EXPECT_EQ(static_cast<size_t>(SlotId::FilmicWBright) + 1, kSlotCount);
    EXPECT_TRUE(IsSlotRun(SlotId::PostFxExposure, SlotId::MirrorReflectionLocalLightIntensity));
    EXPECT_FALSE(IsSlotRun(SlotId::TonemappingDarkFilmicExposure, SlotId::PostFxExposure)) << "two tables";
    EXPECT_FALSE(IsSlotRun(SlotId::MirrorReflectionLocalLightIntensity, SlotId::FogStart)) << "two tables";
    EXPECT_FALSE(IsSlotRun(SlotId::PostFxExposureMax, SlotId::PostFxExposure)) << "reversed";
}

TEST_F(LiveSlots, RefreshRule) {
    struct Row {
        const char* what;
        bool force, menuOpen, tick;
        uint8_t loaded, enabled, listed, followImport, baselineCaptured;
        bool readable;
        // expected
        bool read;           // liveValue taken from the game
        bool valueFollows;   // value := game value
        bool baselineTaken;  // baselineValue := game value now
    };
    const Row rows[] = {
        {"first read", false, false, false, 0, 0, 0, 0, 0, true, true, true, true},
        {"closed menu, loaded", false, false, true, 1, 0, 0, 0, 1, true, false, false, false},
        {"open menu, no tick", false, true, false, 1, 0, 0, 0, 1, true, false, false, false},
        {"open menu, tick", false, true, true, 1, 0, 0, 0, 1, true, true, true, false},
        {"listed keeps value", false, true, true, 1, 0, 1, 0, 1, true, true, false, false},
        {"imported keeps value", false, true, true, 1, 0, 0, 1, 1, true, true, false, false},
        {"forced listed follows", true, false, false, 1, 0, 1, 1, 1, true, true, true, false},
        {"enabled keeps value", true, false, false, 1, 1, 0, 0, 0, true, true, false, false},
        {"enabled before first read", false, false, false, 0, 1, 0, 0, 0, true, true, true, false},
        {"disabled again captures", true, false, false, 1, 0, 0, 0, 0, true, true, true, true},
        {"unreadable", true, true, true, 1, 0, 0, 0, 1, false, false, false, false},
    };
    SyntheticImage image;
    const uint64_t readable = image.Reserve(ImageSection::Data, 4, 4);
    image.WriteFloat(readable, 42.5f);
    const uint64_t unreadable = image.end();  // the no-access page
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        // name, address, value, liveValue, range, loaded, enabled, liveReadable, baseline and its flag, listed, imported
        LiveOverrideSlot slot{"test", r.readable ? readable : unreadable, 1.0f, 2.0f, 0.0f, 0.0f, r.loaded, r.enabled, 1,
                              3.0f, r.baselineCaptured, r.listed, r.followImport};
        RefreshLiveSlot(slot, r.force, r.menuOpen && r.tick);
        EXPECT_EQ(slot.liveValue, r.read ? 42.5f : 2.0f);
        EXPECT_EQ(slot.value, r.valueFollows ? 42.5f : 1.0f);
        EXPECT_EQ(slot.baselineValue, r.baselineTaken ? 42.5f : 3.0f);
        EXPECT_EQ(slot.baselineCaptured, r.baselineTaken ? 1 : r.baselineCaptured);
        EXPECT_EQ(slot.loaded, r.read ? 1 : r.loaded);
        EXPECT_EQ(slot.liveReadable, r.readable ? 1 : 0);
    }
}

// Each group answers for every one of its slots and for none of its neighbours.
TEST_F(LiveSlots, GroupTests) {
    const struct {
        bool (*test)();
        size_t first, count;
    } groups[] = {{AnyPostFxGradientOverride, 21, 12},
                  {AnyLightRayOverride, 111, 11},
                  {AnyNightVisionColorOverride, 97, 9},
                  {AnyNightVisionScalarOverride, 83, 14}};
    for (const auto& g : groups) {
        SCOPED_TRACE(g.first);
        for (size_t i = g.first - 1; i <= g.first + g.count; ++i) {
            runtime::LiveSlots.MainSlotTable[i].enabled = 1;
            EXPECT_EQ(g.test(), i >= g.first && i < g.first + g.count) << i;
            runtime::LiveSlots.MainSlotTable[i].enabled = 0;
        }
        EXPECT_FALSE(g.test());
    }
}

}  // namespace
