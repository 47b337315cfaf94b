// The text scanners of the timecycle files and the number writer.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "shell/comma_locale.h"
#include "shell/file_utils.h"
#include "support/timecycle_gen.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_numbers.h"
#include "timecycle/xml_scan.h"

namespace timecycle {
namespace {

std::string Body(std::string_view text, const char* region) {
    uint64_t s = 0;
    uint64_t e = 0;
    if (!FindRegionSection(text, region, s, e)) return "<none>";
    return std::string(text.substr(s, e - s));
}

TEST(FindRegionSection, FindsTheNamedRegion) {
    struct Case {
        const char* text;
        const char* region;
        const char* body;
    };
    const Case cases[] = {
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
    };
    for (const Case& c : cases) EXPECT_EQ(Body(c.text, c.region), c.body) << c.text;
    uint64_t s = 7, e = 7;
    EXPECT_FALSE(FindRegionSection("<region name=\"A\">x</region>", nullptr, s, e));
    EXPECT_TRUE(s == 0u && e == 0u);
}

TEST(FindElementText, ExactTagsInsideTheRange) {
    const std::string text = "<r><a>1 2</a><b >3</b><c>4</c></r><c>5</c>";
    uint64_t s = 0, e = 0;
    const uint64_t to = text.find("</r>");
    ASSERT_TRUE(FindElementText(text, 0, to, "a", s, e));
    EXPECT_EQ(text.substr(s, e - s), "1 2");
    EXPECT_FALSE(FindElementText(text, 0, to, "b", s, e));  // space inside the tag
    EXPECT_EQ(s, 0u);
    ASSERT_TRUE(FindElementText(text, 0, to, "c", s, e));
    EXPECT_EQ(text.substr(s, e - s), "4");
    EXPECT_FALSE(FindElementText(text, to, text.size(), "a", s, e));
    EXPECT_FALSE(FindElementText(text, 0, to, "", s, e));
    EXPECT_FALSE(FindElementText(text, 5, 5, "a", s, e));
    EXPECT_FALSE(FindElementText(text, 0, text.size() + 1, "a", s, e));
    // Closing tag beyond the range does not count.
    const std::string open = "<region><d>1 2";
    EXPECT_FALSE(FindElementText(open + "</region></d>", 0, open.size(), "d", s, e));
}

TEST(ParseValueList, NumbersAndWhiteSpace) {
    std::vector<ValueToken> tokens;
    ASSERT_TRUE(ParseValueList(" \t1.5\r\n-2e1\v+.25 0x1p3\f ", tokens));
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_TRUE(tokens[0].value == 1.5f && tokens[0].start == 2u && tokens[0].end == 5u);
    EXPECT_TRUE(tokens[1].value == -20.0f && tokens[2].value == 0.25f && tokens[3].value == 8.0f);
    for (const char* empty : {"", "   "}) EXPECT_TRUE(ParseValueList(empty, tokens) && tokens.empty()) << empty;
    ASSERT_TRUE(ParseValueList("1e-40", tokens));
    EXPECT_GT(tokens[0].value, 0.0f);  // subnormal
    ASSERT_TRUE(ParseValueList("80.0000.0000", tokens));  // a broken number reads as two
    EXPECT_EQ(tokens.size(), 2u);
    for (const char* bad : {"1 nan", "inf 2", "1e39", "1 x 2", "1,5", "--1", "1 2]"})
        EXPECT_FALSE(ParseValueList(bad, tokens)) << bad;
}

TEST(ParseValueList, IndependentOfTheCLocale) {
    shelltest::CommaLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "no locale with a decimal comma available";
    std::vector<ValueToken> tokens;
    ASSERT_TRUE(ParseValueList("0.5 1.25", tokens));
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[1].value, 1.25f);
    EXPECT_EQ(FormatLikeExisting(1.25f, "0.00"), "1.25");
}

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
        {0.123456789f, "0.0000", "0.12346"},
        {1.0f / 3.0f, "1.0", "0.33333"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatLikeExisting(c.value, c.old), c.text) << c.value << " over " << c.old;
    EXPECT_EQ(FormatLikeExisting(NAN, "0.25"), "0.25");
    EXPECT_EQ(FormatLikeExisting(INFINITY, "0.25"), "0.25");
}

TEST(FormatLikeExisting, EveryWrittenValueReadsBackWithin1e5) {
    const char* olds[] = {"0", "0.5", "0.25", "1.000", "0.0000", "2.", "12.123456789"};
    for (int i = -2000; i <= 2000; ++i) {
        const float value = static_cast<float>(i) * 0.0012345f + 0.000003f * static_cast<float>(i % 7);
        for (const char* old : olds) {
            const std::string text = FormatLikeExisting(value, old);
            float back = 0.0f;
            size_t used = 0;
            ASSERT_TRUE(shell::ParseFloatPrefix(text, back, &used)) << text;
            ASSERT_EQ(used, text.size()) << text;
            ASSERT_LE(std::fabs(static_cast<double>(back) - static_cast<double>(value)), 1e-5) << value << " " << text;
            ASSERT_NE(text.rfind("-0.", 0) == 0 && back == 0.0f, true) << text;
        }
    }
}

TEST(FindRegionElements, AgreesWithFindElementTextOnGeneratedAndHostileFiles) {
    std::vector<testsupport::TimecycleFileOptions> variants(6);
    variants[1].commentsBetweenRows = true;
    variants[1].lineEnd = "\r";
    variants[2].duplicateVariables = {"far_clip", "fog_col_r"};
    variants[2].attributes = {{"sky_hdr", " type=\"float\""}};
    variants[3].strayText = true;
    variants[3].bom = true;
    variants[3].omitVariables = {"light_dir_mult", "lod_mult_slod4"};
    variants[4].nonAsciiComment = true;
    variants[4].elementTextOverride = {{"fog_start", " 1 2 3"}, {"temperature", "<temperature>"}};
    variants[5].omitRegions = {"GLOBAL"};
    for (size_t v = 0; v < variants.size(); ++v) {
        const std::string text = testsupport::MakeTimecycleXml(variants[v]);
        for (const char* region : {"GLOBAL", "URBAN"}) {
            uint64_t s = 0, e = 0;
            if (!FindRegionSection(text, region, s, e)) continue;
            RegionElements elements;
            FindRegionElements(text, s, e, elements);
            for (size_t i = 0; i < kVariableCount; ++i) {
                uint64_t a = 0, b = 0;
                const bool found = FindElementText(text, s, e, TimecycleVariableTable[i].xmlName, a, b);
                ASSERT_EQ(elements[i].found, found) << v << region << i;
                ASSERT_TRUE(!found || (elements[i].start == a && elements[i].end == b)) << v << region << i;
            }
        }
    }
}

}  // namespace
}  // namespace timecycle
