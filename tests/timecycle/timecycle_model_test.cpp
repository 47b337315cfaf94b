// The fixed timecycle tables, the structures built from them and the
// binary16 conversions.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "runtime/block_locators.h"
#include "runtime/live_slots.h"
#include "support/synthetic_image.h"
#include "timecycle/half_float.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_tables.h"

namespace timecycle {
namespace {

TEST(TimecycleTables, VariableTableHasUniqueNamesAndOneSlotEach) {
    std::set<std::string> names;
    std::set<const runtime::LiveOverrideSlot*> slots;
    for (const TimecycleVariable& row : TimecycleVariableTable) {
        ASSERT_NE(row.xmlName, nullptr);
        ASSERT_NE(row.slot, nullptr);
        names.insert(row.xmlName);
        slots.insert(row.slot);
    }
    EXPECT_EQ(names.size(), 429u);
    EXPECT_EQ(slots.size(), 429u);
    EXPECT_EQ(std::string(TimecycleVariableTable[300].xmlName), "Lensflare_visibility");
    EXPECT_EQ(std::string(TimecycleVariableTable[428].xmlName), "lod_mult_slod4");
}

TEST(TimecycleTables, SlotBindingUsesEveryMainAndFogToneSlotAndFourLightDirSlots) {
    std::set<const runtime::LiveOverrideSlot*> slots;
    for (const TimecycleVariable& row : TimecycleVariableTable) slots.insert(row.slot);
    for (size_t i = 0; i < runtime::kMainSlotCount; ++i) EXPECT_TRUE(slots.count(&runtime::MainSlotTable[i])) << i;
    for (size_t i = 0; i < runtime::kFogToneSlotCount; ++i) EXPECT_TRUE(slots.count(&runtime::FogToneSlotTable[i])) << i;
    for (size_t i = 0; i < runtime::kLightDirSlotCount; ++i)
        EXPECT_EQ(slots.count(&runtime::LightDirSlotTable[i]) == 1, i < 4) << i;
    // Spot checks across the binding ranges.
    struct Expected {
        size_t row;
        const runtime::LiveOverrideSlot* slot;
    };
    const Expected expected[] = {
        {0, &runtime::LightDirSlotTable[0]},   {4, &runtime::MainSlotTable[122]}, {42, &runtime::FogToneSlotTable[77]},
        {77, &runtime::MainSlotTable[0]},      {80, &runtime::MainSlotTable[6]},  {81, &runtime::MainSlotTable[5]},
        {91, &runtime::MainSlotTable[3]},      {134, &runtime::FogToneSlotTable[72]},
        {333, &runtime::FogToneSlotTable[0]},  {410, &runtime::FogToneSlotTable[73]},
        {418, &runtime::FogToneSlotTable[76]}, {420, &runtime::FogToneSlotTable[75]},
        {428, &runtime::MainSlotTable[290]},
    };
    for (const Expected& e : expected) EXPECT_EQ(TimecycleVariableTable[e.row].slot, e.slot) << e.row;
}

TEST(TimecycleTables, ColourComponentsAreBoundToSlotsLabelledRGB) {
    // A variable named stem_r/_g/_b of a colour triple has a slot label ending " R"/" G"/" B".
    for (const char* stem : kColourStems) {
        for (const char* suffix : {"_r", "_g", "_b"}) {
            const int row = FindVariableRow(std::string(stem) + suffix);
            ASSERT_GE(row, 0) << stem << suffix;
            const std::string label = TimecycleVariableTable[row].slot->name;
            const char letter = static_cast<char>(suffix[1] - 'a' + 'A');
            EXPECT_EQ(label.substr(label.size() - 2), std::string(" ") + letter) << stem << suffix << " " << label;
        }
    }
}

TEST(TimecycleTables, GroupsWeathersKeyframesRegions) {
    uint64_t baseNames = 0;
    uint64_t variables = 0;
    for (const VariableGroupData& g : kVariableGroupData) {
        baseNames += g.count;
        variables += g.variableCount;
    }
    EXPECT_EQ(baseNames, 355u);
    EXPECT_EQ(variables, 429u);
    EXPECT_STREQ(kVariableGroupData[0].title, "Light");
    EXPECT_STREQ(kVariableGroupData[19].title, "Light Sprites & Flares");
    EXPECT_STREQ(kVariableGroupData[27].title, "Level of Detail");

    std::set<uint32_t> typeIds;
    for (const WeatherName& w : WeatherNameTable) typeIds.insert(w.typeId);
    EXPECT_EQ(typeIds.size(), 18u);
    EXPECT_STREQ(WeatherNameTable[13].gameName, "SNOW_HALLOWEEN");
    EXPECT_EQ(WeatherNameTable[13].typeId, 16u);
    EXPECT_STREQ(WeatherNameTable[17].displayName, "Underwater Deep");
    EXPECT_EQ(WeatherNameTable[3].typeId, 5u);  // OVERCAST

    const uint32_t hours[13] = {0, 5, 6, 7, 10, 12, 16, 17, 18, 19, 20, 21, 22};
    for (size_t k = 0; k < kKeyframeCount; ++k) EXPECT_EQ(TimeKeyframeTable[k].hour, hours[k]);
    EXPECT_STREQ(TimeKeyframeTable[12].label, "22:00");
    EXPECT_STREQ(TimecycleRegionNames[2], "BOTH (Global & Urban)");
    EXPECT_EQ(std::string(kColourStems[36]), "fog_haze_col");
}

TEST(TimecycleModel, EveryVariableFallsIntoExactlyTheGroupOfItsRows) {
    struct Range {
        int group;
        int first;
        int last;
    };
    const Range ranges[] = {{0, 0, 57},    {1, 58, 65},   {2, 66, 76},   {3, 77, 111},  {4, 112, 117},
                            {5, 118, 134}, {6, 135, 151}, {7, 152, 174}, {8, 175, 196}, {9, 197, 203},
                            {10, 204, 205}, {11, 206, 206}, {12, 207, 236}, {13, 237, 249}, {14, 250, 257},
                            {15, 258, 263}, {16, 264, 289}, {17, 290, 292}, {18, 293, 296}, {19, 297, 301},
                            {20, 302, 331}, {21, 332, 332}, {22, 333, 374}, {23, 375, 378}, {24, 379, 383},
                            {25, 384, 393}, {26, 394, 413}, {26, 415, 419}, {26, 421, 421}, {27, 414, 414},
                            {27, 420, 420}, {27, 422, 428}};
    int covered = 0;
    for (const Range& r : ranges) {
        for (int row = r.first; row <= r.last; ++row) {
            EXPECT_EQ(VariableGroupIndexOf(&TimecycleVariableTable[row]), r.group) << TimecycleVariableTable[row].xmlName;
            ++covered;
        }
    }
    EXPECT_EQ(covered, 429);

    const auto& groups = TimecycleVariableGroupList();
    ASSERT_EQ(groups.size(), 28u);
    uint64_t total = 0;
    size_t entries = 0;
    for (size_t g = 0; g < groups.size(); ++g) {
        EXPECT_EQ(groups[g].variableCount, kVariableGroupData[g].variableCount) << g;
        EXPECT_EQ(groups[g].entries.size(), kVariableGroupData[g].count) << g;
        total += groups[g].variableCount;
        entries += groups[g].entries.size();
    }
    EXPECT_EQ(total, 429u);
    EXPECT_EQ(entries, 355u);
}

TEST(TimecycleModel, BaseNamesAndGroupEntries) {
    auto row = [](const char* name) { return &TimecycleVariableTable[FindVariableRow(name)]; };
    EXPECT_EQ(VariableBaseName(row("fog_col_r")), "fog_col");
    EXPECT_EQ(VariableBaseName(row("fog_col_a")), "fog_col_a");
    EXPECT_EQ(VariableBaseName(row("sun_direction_x")), "sun_direction_x");
    EXPECT_EQ(VariableGroupIndexOf(row("sun_direction_x")), 1);
    EXPECT_EQ(VariableGroupIndexOf(row("ped_light_direction_x")), 0);
    EXPECT_EQ(VariableGroupIndexOf(row("lod_mult")), 27);
    EXPECT_EQ(VariableGroupIndexOf(row("lodlight_range_mult")), 27);
    EXPECT_TRUE(NameMatchesBase("fog_col_r", "fog_col"));
    EXPECT_TRUE(NameMatchesBase("fog_col_z", "fog_col"));
    EXPECT_FALSE(NameMatchesBase("fog_col_a", "fog_col"));
    EXPECT_FALSE(NameMatchesBase("fog_col_rr", "fog_col"));
    EXPECT_EQ(VariableGroupIndexOf(nullptr), 27);
    EXPECT_EQ(VariableBaseName(nullptr), "misc");

    const auto& fog = TimecycleVariableGroupList()[22];
    const VariableGroupEntry* colour = nullptr;
    const VariableGroupEntry* alpha = nullptr;
    for (const VariableGroupEntry& e : fog.entries) {
        if (e.key == "fog_col") colour = &e;
        if (e.key == "fog_col_a") alpha = &e;
    }
    ASSERT_NE(colour, nullptr);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(colour->rows.size(), 3u);
    EXPECT_EQ(alpha->rows.size(), 1u);
    EXPECT_EQ(alpha, colour + 1);

    const auto& index = VariableNameIndex();
    EXPECT_EQ(index.size(), 429u);
    EXPECT_EQ(index.begin()->first, "Lensflare_visibility");  // capital L sorts first
    EXPECT_EQ(FindVariableRow("far_clip"), 394);
    EXPECT_EQ(FindVariableRow("nope"), -1);
}

TEST(TimecycleModel, VariablesInertByWeather) {
    auto inert = [](const char* name, int weather) {
        return IsVariableInertInWeather(&TimecycleVariableTable[FindVariableRow(name)], weather);
    };
    EXPECT_FALSE(inert("postfx_motionblurlength", 7));  // SMOG
    EXPECT_TRUE(inert("no_rain_ripples", 7));
    EXPECT_FALSE(inert("postfx_motionblurlength", 15));  // HALLOWEEN
    EXPECT_FALSE(inert("no_rain_ripples", 15));
    EXPECT_FALSE(inert("ped_light_direction_z", 13));  // SNOW_HALLOWEEN
    EXPECT_TRUE(inert("postfx_motionblurlength", 17));  // UNDERWATER_DEEP
    EXPECT_TRUE(inert("no_rain_ripples", 17));
    EXPECT_TRUE(inert("vfxlightning_visibility", -1));
    EXPECT_TRUE(inert("postfx_motionblurlength", 18));
    EXPECT_FALSE(inert("far_clip", 18));
    EXPECT_FALSE(IsVariableInertInWeather(nullptr, 0));
}

TEST(TimecycleModel, TextContainsNoCase) {
    EXPECT_TRUE(TextContainsNoCase("Light Dir Color R", "DIR COL"));
    EXPECT_FALSE(TextContainsNoCase("Light Dir Color R", "color dir"));
    EXPECT_TRUE(TextContainsNoCase("anything", ""));
    EXPECT_TRUE(TextContainsNoCase(nullptr, nullptr));
    EXPECT_FALSE(TextContainsNoCase(nullptr, "a"));
    EXPECT_FALSE(TextContainsNoCase("ab", "abc"));
    EXPECT_TRUE(TextContainsNoCase("\xC9t\xE9", "\xC9T"));  // bytes above 127 compare as they are
}

TEST(TimecycleModel, VariableListMarksSlotsListed) {
    const auto& list = TimecycleVariableList();
    ASSERT_EQ(list.size(), 429u);
    EXPECT_EQ(&TimecycleVariableList(), &list);
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i], &TimecycleVariableTable[i]);
        EXPECT_EQ(RowIndexOf(list[i]), i);
    }
}

TEST(TimecycleModel, SlotAddressesFollowTheTimecycleBlock) {
    runtime::ResetSlotTablesForTesting();
    {
        testsupport::SyntheticImage image;
        const uint64_t block = image.PlantLocatableTimecycleBlock();
        AssignVariableSlotAddresses();
        EXPECT_EQ(runtime::TimecycleBlockLocator(), block);
        for (size_t i = 0; i < kVariableCount; ++i) ASSERT_EQ(TimecycleVariableTable[i].slot->address, block + 4 * i) << i;
        EXPECT_EQ(runtime::MainSlotTable[0].address, block + 308);     // PostFX Exposure, variable 77
        EXPECT_EQ(runtime::FogToneSlotTable[0].address, block + 1332); // Fog Start, variable 333
    }
    runtime::ResetSlotTablesForTesting();
    testsupport::ResetRuntimeSearchState();
}

// ---- binary16 ------------------------------------------------------------------------

TEST(HalfFloat, EveryBitPatternRoundTrips) {
    for (uint32_t h = 0; h <= 0xFFFF; ++h) {
        const uint16_t half = static_cast<uint16_t>(h);
        const float f = HalfToFloat(half);
        const bool nan = (half & 0x7C00) == 0x7C00 && (half & 0x3FF) != 0;
        if (nan) {
            ASSERT_TRUE(std::isnan(f)) << h;
            ASSERT_EQ(FloatToHalf(f), (half & 0x8000) | 0x7E00) << h;
        } else {
            ASSERT_EQ(FloatToHalf(f), half) << h;
        }
    }
}

TEST(HalfFloat, ConversionEdges) {
    struct Case {
        float value;
        uint16_t half;
    };
    const Case cases[] = {
        {65504.0f, 0x7BFF},      {65519.0f, 0x7BFF},     {65520.0f, 0x7C00},   {70000.0f, 0x7C00},
        {-70000.0f, 0xFC00},     {1.0f, 0x3C00},         {-1.0f, 0xBC00},      {0.0f, 0x0000},
        {-0.0f, 0x8000},         {std::ldexp(1.0f, -24), 0x0001}, {std::ldexp(1.0f, -25), 0x0001},
        {std::ldexp(1.0f, -26), 0x0000}, {-std::ldexp(1.0f, -27), 0x8000},
        {std::ldexp(1.0f, -14), 0x0400}, {std::ldexp(1023.5f, -24), 0x0400},  // subnormal carrying into the smallest normal
        {INFINITY, 0x7C00},      {-INFINITY, 0xFC00},    {1.0009765625f, 0x3C01}, {0.5f, 0x3800},
        {2049.0f, 0x6801},  // half-way rounds away from zero
    };
    for (const Case& c : cases) EXPECT_EQ(FloatToHalf(c.value), c.half) << c.value;
    EXPECT_EQ(FloatToHalf(NAN), 0x7E00);
    EXPECT_EQ(FloatToHalf(-NAN), 0xFE00);
    EXPECT_EQ(HalfToFloat(0x3C00), 1.0f);
    EXPECT_EQ(HalfToFloat(0x0001), std::ldexp(1.0f, -24));
    EXPECT_EQ(std::bit_cast<uint32_t>(HalfToFloat(0x8000)), 0x80000000u);
    EXPECT_EQ(std::bit_cast<uint32_t>(HalfToFloat(0x7C01)), 0x7F802000u);  // payload kept
}

}  // namespace
}  // namespace timecycle
