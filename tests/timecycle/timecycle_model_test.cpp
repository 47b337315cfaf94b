// The structures built from the timecycle tables and the binary16
// conversions (the tables' counts and bindings are checked by their
// generator); the text scanners of the timecycle files and the number writer
// (that the one-pass element finder agrees with FindElementText is the fuzz
// target's check, over its seeds and beyond; the C locale: the locale test of
// the settings).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "runtime/live_slots.h"
#include "runtime/override_groups.h"
#include "runtime/patch_tables.h"
#include "timecycle/half_float.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_numbers.h"
#include "timecycle/xml_scan.h"

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

TEST(FindRegionSection, FindsTheNamedRegion) {
    const struct {
        const char* text;
        const char* region;
        const char* body;
    } cases[] = {
        {"<region name=\"GLOBAL\">g</region><region name=\"URBAN\">u</region>", "URBAN", "u"},
        {"<region name=\"GLOBAL\">g</region><region name=\"URBAN\">u</region>", "GLOBAL", "g"},
        {"<region type=\"x\" name=\"URBAN\" extra>u</region>", "URBAN", "u"},   // another attribute first
        {"<region name='URBAN'>u</region>", "URBAN", "<none>"},                  // single quotes
        {"<region>a</region><region name=\"URBAN\">u</region>", "URBAN", "u"},  // nameless section skipped
        {"<region name=\"urban\">u</region>", "URBAN", "<none>"},                // case-sensitive
        {"<region name=\"URBAN\">u", "URBAN", "<none>"},                          // no end tag
        {"<region name=\"URBAN\"", "URBAN", "<none>"},                            // no ">"
        {"<region name=\"URBAN\">12345678</region>", "URBAN", "12345678"},
        {"", "URBAN", "<none>"},
        {"<regio", "URBAN", "<none>"},
        {"<region name=\"A\">x</region>", nullptr, "<none>"},
        // Nothing inside a comment or CDATA section is a tag.
        {"<!-- <region name=\"URBAN\">old</region> --><region name=\"URBAN\">u</region>", "URBAN", "u"},
        {"<region name=\"URBAN\">u<!-- </region> -->v</region>", "URBAN", "u<!-- </region> -->v"},
        {"<region name=\"URBAN\">u<![CDATA[</region>]]>v</region>", "URBAN", "u<![CDATA[</region>]]>v"},
        {"<!-- <region name=\"URBAN\">u</region>", "URBAN", "<none>"},  // never closed: hides the rest
    };
    for (const auto& c : cases) {
        uint64_t s = 7, e = 7;
        const bool found = FindRegionSection(c.text, c.region, s, e);
        EXPECT_EQ(found ? std::string(c.text).substr(s, e - s) : "<none>", c.body) << c.text;
        EXPECT_TRUE(found || (s == 0u && e == 0u)) << c.text;
    }
}

TEST(FindElementText, ExactTagsInsideTheRange) {
    const std::string text = "<r><a>1 2</a><b >3</b><c>4</c></r><c>5</c><e>6</e>";
    const uint64_t to = text.find("</r>");
    const struct {
        uint64_t from, to;
        const char* name;
        const char* element;
    } cases[] = {
        {0, to, "a", "1 2"}, {0, to, "c", "4"}, {0, to, "b", "<none>"},  // a space inside the tag
        {to, text.size(), "a", "<none>"}, {0, to, "", "<none>"}, {5, 5, "a", "<none>"},
        {0, text.size() + 1, "a", "<none>"}, {0, to, "e", "<none>"},  // opening tag beyond the range
    };
    for (const auto& c : cases) {
        uint64_t s = 9, e = 9;
        const bool found = FindElementText(text, c.from, c.to, c.name, s, e);
        EXPECT_EQ(found ? text.substr(s, e - s) : "<none>", c.element) << c.name << " " << c.from;
        EXPECT_TRUE(found || (s == 0u && e == 0u));
    }
    // Tags inside comments and CDATA sections are none; one never closed
    // hides the rest of the range.
    const std::string hidden = "<r><!-- <a>9</a> --><a>1<![CDATA[</a>]]>2</a><!-- <c>3</c>";
    uint64_t s = 0, e = 0;
    EXPECT_TRUE(FindElementText(hidden, 0, hidden.size(), "a", s, e) && hidden.substr(s, e - s) == "1<![CDATA[</a>]]>2");
    EXPECT_FALSE(FindElementText(hidden, 0, hidden.size(), "c", s, e));
    // A closing tag beyond the range does not count.
    const std::string open = "<region><d>1 2";
    EXPECT_FALSE(FindElementText(open + "</region></d>", 0, open.size(), "d", s, e));
}

TEST(ParseValueList, NumbersSeparatedByWhiteSpaceOnly) {
    std::vector<ValueToken> tokens;
    ASSERT_TRUE(ParseValueList(" \t1.5\r\n-2e1\v+.25 0x1p3\f ", tokens));
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_TRUE(tokens[0].value == 1.5f && tokens[0].start == 2u && tokens[0].end == 5u);
    EXPECT_TRUE(tokens[1].value == -20.0f && tokens[2].value == 0.25f && tokens[3].value == 8.0f);
    for (const char* empty : {"", "   "}) EXPECT_TRUE(ParseValueList(empty, tokens) && tokens.empty()) << empty;
    ASSERT_TRUE(ParseValueList("1e-40", tokens));
    EXPECT_GT(tokens[0].value, 0.0f);  // subnormal
    // Numbers run together are no list: an edit of one would be spliced
    // into its neighbour ("1.5.5" with the first edited to 7 read back 1.57, 0).
    for (const char* bad : {"1.5.5", "80.0000.0000", "0.531300.9771", "1-2", "1+2", "0x1p3p", "1e5e5", "1 nan",
                            "inf 2", "1e39", "1 x 2", "1,5", "--1", "1 2]", "1<", "0xg"})
        EXPECT_FALSE(ParseValueList(bad, tokens)) << bad;
    // At most 13: the 14th number ends the read.
    EXPECT_FALSE(ReadKeyframeValues(" 1 2 3 4 5 6 7 8 9 10 11 12 13 14", tokens));
    EXPECT_TRUE(ReadKeyframeValues("1 2 3 4 5 6 7 8 9 10 11 12 13", tokens));
}

// A written number keeps the look of the one it replaces: as many digits
// after the point as the old text has, 4 when it has none.
TEST(FormatLikeExisting, DecimalsOfTheOldText) {
    const struct {
        float value;
        const char* old;
        const char* text;
    } cases[] = {
        {1.23456f, "0.500", "1.235"},      // three decimals, rounded
        {1.23456f, "3", "1.2346"},         // no point: 4 decimals
        {1.23456f, "2.", "1.2346"},        // nothing after the point: 4 decimals
        {-0.00004f, "0.0000", "0.0000"},   // rounds to zero: unsigned, never "-0.0000"
        {-0.000004f, "0.0000", "0.0000"},
        {-0.06f, "0.0", "-0.1"},
        {2.0f, "1.0", "2.0"},
        {30000.123f, "0.0000", "30000.1230"},
        {1.0f / 3.0f, "1.0", "0.3"},
        {0.123456f, "-1.5e3", "0.1"},      // the digits directly after the point
        {NAN, "0.25", "0.25"},  // no number the game could read: the old text stays
        {INFINITY, "0.25", "0.25"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatLikeExisting(c.value, c.old), c.text) << c.value << " over " << c.old;
}

}  // namespace
}  // namespace timecycle

namespace {

// The field of the TimecycleBlock a slot's variable lies at (4 x its row).
int64_t FieldOf(runtime::SlotId slot) {
    for (size_t i = 0; i < timecycle::kVariableCount; ++i)
        if (timecycle::TimecycleVariableTable[i].slot == &runtime::Slot(slot)) return 4 * static_cast<int64_t>(i);
    return -1;
}

// Every redirect's cell mirrors the block fields its slots' variables lie
// at, from the field its first record reads; the light rays' part lists its
// slots in the order of their fields.
TEST(TimecycleTables, RedirectCellsMirrorTheirVariablesFields) {
    for (size_t i = 0; i < runtime::kRedirectCount; ++i) {
        const runtime::RedirectId id = static_cast<runtime::RedirectId>(i);
        const std::span<const runtime::SlotId> slots = runtime::Redirect(id).slots;
        for (size_t k = 0; k < slots.size(); ++k)
            EXPECT_EQ(FieldOf(slots[k]), runtime::RedirectRecords(id)[0].field + 4 * static_cast<int64_t>(k))
                << runtime::Redirect(id).installer << " slot " << k;
        for (const runtime::RedirectRecordRow& r : runtime::RedirectRecords(id))
            EXPECT_EQ(r.field, runtime::RedirectRecords(id)[0].field + r.at) << runtime::Redirect(id).installer;
    }
    const std::span<const runtime::PartMember> rays = runtime::Part(runtime::PartId::LightRays).members;
    for (size_t k = 0; k < rays.size(); ++k) EXPECT_EQ(FieldOf(rays[k].slot), 264 + 4 * static_cast<int64_t>(k));
}

}  // namespace
