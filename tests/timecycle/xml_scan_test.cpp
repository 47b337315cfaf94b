// The text scanners of the timecycle files and the number writer. (That the
// one-pass element finder agrees with FindElementText is the fuzz target's
// check, over its seeds in tests/fuzz/seeds/timecycle_xml_fuzz and beyond; the
// C locale: the locale test of the settings.)
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_numbers.h"
#include "timecycle/xml_scan.h"

namespace timecycle {
namespace {

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
    // A closing tag beyond the range does not count.
    const std::string open = "<region><d>1 2";
    uint64_t s = 0, e = 0;
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

// Every written value reads back within 1e-5 (the fuzz target's check too).
TEST(FormatLikeExisting, DecimalsOfTheOldText) {
    const struct {
        float value;
        const char* old;
        const char* text;
    } cases[] = {
        {1.2345f, "0.500", "1.2345"},     // 3 decimals would read back 5e-4 off: more are used
        {1.25f, "3", "1.2500"},           // no point: 4 decimals
        {1.25f, "2.", "1.2500"},          // nothing after the point: 4 decimals
        {-0.00004f, "0.0000", "-0.00004"},  // would read back as 0: one more decimal
        {-0.000004f, "0.0000", "0.0000"},   // within 1e-5 of 0: unsigned zero, never "-0.0000"
        {2.0f, "1.0", "2.0"},
        {30000.123f, "0.0000", "30000.1230"},
        {1.0f / 3.0f, "1.0", "0.33333"},
        {NAN, "0.25", "0.25"},  // no number the game could read: the old text stays
        {INFINITY, "0.25", "0.25"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatLikeExisting(c.value, c.old), c.text) << c.value << " over " << c.old;
}

}  // namespace
}  // namespace timecycle
