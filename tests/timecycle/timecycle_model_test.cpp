// The structures built from the timecycle tables and the binary16
// conversions (the tables' counts and bindings are checked by their generator).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>

#include "runtime/live_slots.h"
#include "timecycle/half_float.h"
#include "timecycle/timecycle_model.h"

namespace timecycle {
namespace {

const TimecycleVariable* Row(const char* name) { return &TimecycleVariableTable[FindVariableRow(name)]; }

// stem_r/_g/_b of a colour triple has a slot labelled "... R"/"G"/"B": the
// search finds triples by these labels.
TEST(TimecycleTables, ColourTriplesAreLabelledRGB) {
    for (const char* stem : kColourStems) {
        for (const char* suffix : {"_r", "_g", "_b"}) {
            const int row = FindVariableRow(std::string(stem) + suffix);
            ASSERT_GE(row, 0) << stem << suffix;
            const std::string label = TimecycleVariableTable[row].slot->name;
            EXPECT_EQ(label.substr(label.size() - 2), std::string(" ") + char(suffix[1] - 'a' + 'A')) << label;
        }
    }
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
    const struct {
        const char* name;
        const char* base;
        int group;
    } rows[] = {{"fog_col_r", "fog_col", 22},          {"fog_col_a", "fog_col_a", 22},
                {"sun_direction_x", "sun_direction_x", 1}, {"ped_light_direction_x", "ped_light_direction_x", 0},
                {"lodlight_range_mult", "lodlight_range_mult", 27}, {"lod_mult", "lod_mult", 27}};
    for (const auto& r : rows) {
        EXPECT_EQ(VariableBaseName(Row(r.name)), r.base) << r.name;
        EXPECT_EQ(VariableGroupIndexOf(Row(r.name)), r.group) << r.name;
    }
    EXPECT_EQ(VariableGroupIndexOf(nullptr), 27);
    EXPECT_EQ(VariableBaseName(nullptr), "misc");
    for (const auto& [name, matches] : {std::pair{"fog_col_z", true}, std::pair{"fog_col_a", false},
                                        std::pair{"fog_col_rr", false}, std::pair{"fog_col", true}})
        EXPECT_EQ(NameMatchesBase(name, "fog_col"), matches) << name;

    // The fog colour is one entry of three rows, followed by its alpha.
    const auto& fog = groups[22].entries;
    size_t c = 0;
    while (c + 1 < fog.size() && fog[c].key != "fog_col") ++c;
    ASSERT_LT(c + 1, fog.size());
    EXPECT_EQ(fog[c].rows.size(), 3u);
    EXPECT_EQ(fog[c + 1].key + std::to_string(fog[c + 1].rows.size()), "fog_col_a1");

    EXPECT_EQ(VariableNameIndex().begin()->first, "Lensflare_visibility");  // capital L sorts first
    EXPECT_EQ(FindVariableRow("far_clip"), 394);
    EXPECT_EQ(FindVariableRow("nope"), -1);
}

TEST(TimecycleModel, VariablesInertByWeatherAndTextSearch) {
    const struct {
        const char* name;
        int weather;
        bool inert;
    } rows[] = {
        {"postfx_motionblurlength", 7, false},  {"no_rain_ripples", 7, true},  // SMOG
        {"postfx_motionblurlength", 15, false}, {"no_rain_ripples", 15, false},  // HALLOWEEN
        {"ped_light_direction_z", 13, false},   // SNOW_HALLOWEEN
        {"postfx_motionblurlength", 17, true},  // UNDERWATER_DEEP
        {"vfxlightning_visibility", -1, true},  {"postfx_motionblurlength", 18, true}, {"far_clip", 18, false},
    };
    for (const auto& r : rows) EXPECT_EQ(IsVariableInertInWeather(Row(r.name), r.weather), r.inert) << r.name << r.weather;
    EXPECT_FALSE(IsVariableInertInWeather(nullptr, 0));

    const struct {
        const char* text;
        const char* query;
        bool found;
    } searches[] = {{"Light Dir Color R", "DIR COL", true}, {"Light Dir Color R", "color dir", false},
                    {"anything", "", true},                 {nullptr, nullptr, true},
                    {nullptr, "a", false},                  {"ab", "abc", false},
                    {"\xC9t\xE9", "\xC9T", true}};  // bytes above 127 compare as they are
    for (const auto& s : searches) EXPECT_EQ(TextContainsNoCase(s.text, s.query), s.found) << s.query;
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
