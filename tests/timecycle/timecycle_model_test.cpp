// The fixed timecycle tables, the structures built from them and the
// binary16 conversions.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
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

const TimecycleVariable* Row(const char* name) { return &TimecycleVariableTable[FindVariableRow(name)]; }

// The transcribed tables: counts, unique names and slots, the slot binding
// and the colour labels.
TEST(TimecycleTables, CountsNamesAndSlotBinding) {
    std::set<std::string> names;
    std::set<const runtime::LiveOverrideSlot*> slots;
    for (const TimecycleVariable& row : TimecycleVariableTable) {
        ASSERT_TRUE(row.xmlName != nullptr && row.slot != nullptr);
        names.insert(row.xmlName);
        slots.insert(row.slot);
    }
    EXPECT_EQ(names.size(), 429u);
    EXPECT_EQ(slots.size(), 429u);
    // Every main and fog/tone slot, and the four timecycle light-direction slots.
    for (size_t i = 0; i < runtime::kMainSlotCount; ++i) EXPECT_TRUE(slots.count(&runtime::MainSlotTable[i])) << i;
    for (size_t i = 0; i < runtime::kFogToneSlotCount; ++i) EXPECT_TRUE(slots.count(&runtime::FogToneSlotTable[i])) << i;
    for (size_t i = 0; i < runtime::kLightDirSlotCount; ++i)
        EXPECT_EQ(slots.count(&runtime::LightDirSlotTable[i]) == 1, i < 4) << i;
    // stem_r/_g/_b of a colour triple has a slot labelled "... R"/"G"/"B".
    for (const char* stem : kColourStems) {
        for (const char* suffix : {"_r", "_g", "_b"}) {
            const int row = FindVariableRow(std::string(stem) + suffix);
            ASSERT_GE(row, 0) << stem << suffix;
            const std::string label = TimecycleVariableTable[row].slot->name;
            EXPECT_EQ(label.substr(label.size() - 2), std::string(" ") + char(suffix[1] - 'a' + 'A')) << label;
        }
    }
    uint64_t baseNames = 0;
    uint64_t variables = 0;
    for (const VariableGroupData& g : kVariableGroupData) {
        baseNames += g.count;
        variables += g.variableCount;
    }
    EXPECT_EQ(baseNames, 355u);
    EXPECT_EQ(variables, 429u);
    std::set<uint32_t> typeIds;
    for (const WeatherName& w : WeatherNameTable) typeIds.insert(w.typeId);
    EXPECT_EQ(typeIds.size(), 18u);
}

// The groups built by matching names against base names hold exactly the
// variables and entries the group table gives.
TEST(TimecycleModel, GroupsBaseNamesAndTheNameIndex) {
    const auto& groups = TimecycleVariableGroupList();
    ASSERT_EQ(groups.size(), 28u);
    for (size_t g = 0; g < groups.size(); ++g) {
        EXPECT_EQ(groups[g].variableCount, kVariableGroupData[g].variableCount) << g;
        EXPECT_EQ(groups[g].entries.size(), kVariableGroupData[g].count) << g;
    }
    EXPECT_EQ(VariableBaseName(Row("fog_col_r")), "fog_col");
    EXPECT_EQ(VariableBaseName(Row("fog_col_a")), "fog_col_a");
    EXPECT_EQ(VariableBaseName(Row("sun_direction_x")), "sun_direction_x");
    EXPECT_EQ(VariableGroupIndexOf(Row("sun_direction_x")), 1);
    EXPECT_EQ(VariableGroupIndexOf(Row("ped_light_direction_x")), 0);
    EXPECT_EQ(VariableGroupIndexOf(Row("lodlight_range_mult")), 27);
    EXPECT_EQ(VariableGroupIndexOf(nullptr), 27);
    EXPECT_EQ(VariableBaseName(nullptr), "misc");
    EXPECT_TRUE(NameMatchesBase("fog_col_r", "fog_col"));
    EXPECT_TRUE(NameMatchesBase("fog_col_z", "fog_col"));
    EXPECT_FALSE(NameMatchesBase("fog_col_a", "fog_col"));
    EXPECT_FALSE(NameMatchesBase("fog_col_rr", "fog_col"));

    // The fog colour is one entry of three rows, followed by its alpha.
    const auto& fog = groups[22].entries;
    size_t c = 0;
    while (c + 1 < fog.size() && fog[c].key != "fog_col") ++c;
    ASSERT_LT(c + 1, fog.size());
    EXPECT_EQ(fog[c].rows.size(), 3u);
    EXPECT_EQ(fog[c + 1].key, "fog_col_a");
    EXPECT_EQ(fog[c + 1].rows.size(), 1u);

    EXPECT_EQ(VariableNameIndex().size(), 429u);
    EXPECT_EQ(VariableNameIndex().begin()->first, "Lensflare_visibility");  // capital L sorts first
    EXPECT_EQ(FindVariableRow("far_clip"), 394);
    EXPECT_EQ(FindVariableRow("nope"), -1);
}

TEST(TimecycleModel, VariablesInertByWeather) {
    const struct {
        const char* name;
        int weather;
        bool inert;
    } rows[] = {
        {"postfx_motionblurlength", 7, false},  // SMOG
        {"no_rain_ripples", 7, true},
        {"postfx_motionblurlength", 15, false},  // HALLOWEEN
        {"no_rain_ripples", 15, false},
        {"ped_light_direction_z", 13, false},  // SNOW_HALLOWEEN
        {"postfx_motionblurlength", 17, true},  // UNDERWATER_DEEP
        {"vfxlightning_visibility", -1, true},
        {"postfx_motionblurlength", 18, true},
        {"far_clip", 18, false},
    };
    for (const auto& r : rows) EXPECT_EQ(IsVariableInertInWeather(Row(r.name), r.weather), r.inert) << r.name << r.weather;
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

TEST(TimecycleModel, SlotAddressesFollowTheTimecycleBlock) {
    runtime::ResetSlotTablesForTesting();
    {
        testsupport::SyntheticImage image;
        const uint64_t block = image.PlantLocatableTimecycleBlock();
        AssignVariableSlotAddresses();
        EXPECT_EQ(runtime::TimecycleBlockLocator(), block);
        for (size_t i = 0; i < kVariableCount; ++i) ASSERT_EQ(TimecycleVariableTable[i].slot->address, block + 4 * i) << i;
    }
    runtime::ResetSlotTablesForTesting();
    testsupport::ResetRuntimeSearchState();
}

// ---- binary16 ------------------------------------------------------------------------

TEST(HalfFloat, EveryBitPatternRoundTrips) {
    for (uint32_t h = 0; h <= 0xFFFF; ++h) {
        const uint16_t half = static_cast<uint16_t>(h);
        const float f = HalfToFloat(half);
        if ((half & 0x7C00) == 0x7C00 && (half & 0x3FF) != 0) {
            ASSERT_TRUE(std::isnan(f)) << h;
            ASSERT_EQ(FloatToHalf(f), (half & 0x8000) | 0x7E00) << h;
        } else {
            ASSERT_EQ(FloatToHalf(f), half) << h;
        }
    }
}

TEST(HalfFloat, ConversionEdges) {
    const struct {
        float value;
        uint16_t half;
    } cases[] = {
        {65504.0f, 0x7BFF}, {65519.0f, 0x7BFF}, {65520.0f, 0x7C00}, {-70000.0f, 0xFC00}, {-0.0f, 0x8000},
        {std::ldexp(1.0f, -25), 0x0001}, {std::ldexp(1.0f, -26), 0x0000}, {-std::ldexp(1.0f, -27), 0x8000},
        {std::ldexp(1023.5f, -24), 0x0400},  // subnormal carrying into the smallest normal
        {INFINITY, 0x7C00}, {1.0009765625f, 0x3C01},
        {2049.0f, 0x6801},  // half-way rounds away from zero
        {NAN, 0x7E00}, {-NAN, 0xFE00},
    };
    for (const auto& c : cases) EXPECT_EQ(FloatToHalf(c.value), c.half) << c.value;
    EXPECT_EQ(std::bit_cast<uint32_t>(HalfToFloat(0x7C01)), 0x7F802000u);  // payload kept
}

}  // namespace
}  // namespace timecycle
