// The XML value scanner: paths, kinds, offsets, warnings, and the markup it
// must not take for values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/comma_locale.h"
#include "weather/xml_scanner.h"

namespace {

using namespace weather;

struct Scan {
    std::vector<XmlValueRecord> records;
    uint64_t warnings = 0;
    bool found = false;
    explicit Scan(std::string_view text) { found = ScanXmlValues(text, records, warnings); }
    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        for (const XmlValueRecord& r : records) paths.push_back(r.path);
        return paths;
    }
};

struct PathCase {
    const char* name;
    const char* xml;
    std::vector<std::string> paths;
};

class ScannerPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(ScannerPaths, NamesEveryValueByItsPath) {
    const Scan scan(GetParam().xml);
    EXPECT_EQ(scan.Paths(), GetParam().paths);
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, ScannerPaths,
    ::testing::Values(
        PathCase{"ItemsAlwaysNumbered", R"(<A><Item value="1"/><Item value="2"/></A>)", {"A/Item[1]", "A/Item[2]"}},
        PathCase{"OthersFromSecond", R"(<A><B value="1"/><B value="2"/><B value="3"/></A>)", {"A/B", "A/B[2]", "A/B[3]"}},
        PathCase{"CountsPerParentInstance", R"(<R><A><Item value="1"/></A><A><Item value="2"/></A></R>)",
                 {"R/A/Item[1]", "R/A[2]/Item[1]"}},
        PathCase{"AttributeAfterDot", R"(<M><FogMin x="1" y="2" z="3" w="4" q="5"/></M>)",
                 {"M/FogMin.x", "M/FogMin.y", "M/FogMin.z", "M/FogMin.w"}},
        PathCase{"RepeatedAttribute", R"(<P x="1" x="2" x="3"/>)", {"P.x", "P.x #2", "P.x #3"}},
        PathCase{"ValueAttributeOnOpenElement", R"(<A value="1"><B value="2"/></A>)", {"A", "A/B"}},
        PathCase{"NamesAreCaseSensitive", R"(<A Value="1" X="2" value="3"/>)", {"A"}},
        PathCase{"ArrayNumbers", "<R><F content=\"float_array\">1 2.5\n-3</F></R>", {"R/F[1]", "R/F[2]", "R/F[3]"}},
        PathCase{"IntArrayAnyCase", R"(<F content="INT_Array">7 8</F>)", {"F[1]", "F[2]"}},
        PathCase{"ArrayCollidesWithSibling", R"(<R><F content="float_array">1 2</F><F value="9"/></R>)",
                 {"R/F[1]", "R/F[2]", "R/F[2] #2"}},
        PathCase{"CommaArrayRejected", R"(<F content="float_array">1,2,3</F>)", {}},
        PathCase{"EndTagWithBlankRejectsArray", R"(<F content="float_array">1 2</F >)", {}},
        PathCase{"InfiniteArrayRejected", R"(<F content="float_array">1 1e999</F>)", {}},
        PathCase{"ArrayWithoutEndTag", R"(<F content="float_array">1 2)", {}},
        PathCase{"SelfClosingArrayNotRead", R"(<R><F content="float_array"/>1 2</R>)", {}},
        PathCase{"StrayEndTagClosesAll", R"(<R><A><B value="1"/></X><C value="2"/></R>)", {"R/A/B", "C"}},
        PathCase{"SpacesAroundNames", "< A  value = '1' / >", {"A"}},
        PathCase{"CommentsAreNotValues",
                 R"(<R><!-- <B value="1"/> </R> --><C value="2"/><!----><D value="3"/></R>)", {"R/C", "R/D"}},
        PathCase{"CommentWithTagsLikeWeatherXml",
                 "<R><Item><!--  <T platform=\"pc\">X</T>\n <T platform=\"!pc\">Y</T>--><T>Z</T><S value=\"1\"/></Item></R>",
                 {"R/Item[1]/S"}},
        PathCase{"CdataIsNotValues", R"(<R><![CDATA[ <B value="1"/> ]]><C value="2"/></R>)", {"R/C"}},
        PathCase{"UnclosedCommentHidesRest", R"(<R><A value="1"/><!-- <B value="2"/>)", {"R/A"}},
        PathCase{"DeclarationsSkipped", R"(<?xml version="1.0"?><!DOCTYPE r><R value="1"/>)", {"R"}},
        PathCase{"ContentAttributeNameBoundary", R"(<F xcontent="float_array">1 2</F>)", {}},
        PathCase{"ContentAttributeOtherTagIgnored", R"(<R><F>1 2</F><G content="float_array"/></R>)", {}},
        PathCase{"NonAsciiNameStopsName", "<R>\xC3\xA9<Gr\xC3\xB6sse value=\"1\"/></R>", {"R/Gr"}}),
    [](const auto& c) { return std::string(c.param.name); });

struct KindCase {
    const char* text;
    XmlValueKind kind;
};

class ScannerKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(ScannerKinds, ClassifiesValueText) { EXPECT_EQ(ParseBoolOrNumber(GetParam().text), GetParam().kind); }

INSTANTIATE_TEST_SUITE_P(Kinds, ScannerKinds,
                         ::testing::Values(KindCase{"true", kXmlValueBool}, KindCase{"FaLsE", kXmlValueBool},
                                           KindCase{"0x1F", kXmlValueHex}, KindCase{"0XzZ", kXmlValueHex},
                                           KindCase{"0x", kXmlValueText}, KindCase{"+5", kXmlValueInteger},
                                           KindCase{"-0012", kXmlValueInteger}, KindCase{"5", kXmlValueInteger},
                                           KindCase{"1e5", kXmlValueFloat}, KindCase{"2.0", kXmlValueFloat},
                                           KindCase{" 5", kXmlValueFloat}, KindCase{"5 ", kXmlValueText},
                                           KindCase{".5", kXmlValueFloat}, KindCase{"-0x1p3", kXmlValueFloat},
                                           KindCase{"inf", kXmlValueFloat}, KindCase{"-", kXmlValueText},
                                           KindCase{"", kXmlValueText}, KindCase{"1.0.0", kXmlValueText},
                                           KindCase{"RAIN", kXmlValueText}));

TEST(ScannerRecords, TypedValuesUseExplicitWidths) {
    const Scan scan(R"(<R><A value="2147483647"/><B value="99999999999"/><C value="-99999999999"/>)"
                    R"(<D value="0.5"/><E value="TRUE"/><F value="0x10"/></R>)");
    ASSERT_EQ(scan.records.size(), 6u);
    EXPECT_EQ(scan.records[0].intValue, 2147483647);
    EXPECT_EQ(scan.records[1].intValue, 2147483647);  // saturates, on every platform
    EXPECT_EQ(scan.records[2].intValue, -2147483647 - 1);
    EXPECT_FLOAT_EQ(scan.records[3].floatValue, 0.5f);
    EXPECT_EQ(scan.records[4].boolValue, 1);
    EXPECT_EQ(scan.records[5].kind, kXmlValueHex);
    EXPECT_EQ(scan.records[5].intValue, 0);
}

TEST(ScannerRecords, NumbersIgnoreTheCLocale) {
    shelltest::CommaLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "no locale with a decimal comma is available";
    const Scan scan(R"(<R><A value="0.25"/><F content="float_array">1.5 -2.75</F></R>)");
    ASSERT_EQ(scan.records.size(), 3u);
    EXPECT_FLOAT_EQ(scan.records[0].floatValue, 0.25f);
    EXPECT_FLOAT_EQ(scan.records[1].floatValue, 1.5f);
    EXPECT_FLOAT_EQ(scan.records[2].floatValue, -2.75f);
    XmlValueRecord edited = scan.records[0];
    edited.currentText = "3.75";
    ParseRecordValue(edited);
    EXPECT_FLOAT_EQ(edited.floatValue, 3.75f);
}

TEST(ScannerRecords, ParseRecordValueByKind) {
    XmlValueRecord r;
    r.kind = kXmlValueInteger;
    r.currentText = "  -42abc";
    ParseRecordValue(r);
    EXPECT_EQ(r.intValue, -42);
    r.kind = kXmlValueFloat;
    r.currentText = "abc";
    ParseRecordValue(r);
    EXPECT_EQ(r.floatValue, 0.0f);
    r.kind = kXmlValueBool;
    r.currentText = "True";
    ParseRecordValue(r);
    EXPECT_EQ(r.boolValue, 1);
    r.currentText = "yes";
    ParseRecordValue(r);
    EXPECT_EQ(r.boolValue, 0);
}

struct OffsetCase {
    const char* name;
    std::string xml;
    std::vector<std::string> texts;  // the text each record's offsets select
};

class ScannerOffsets : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(ScannerOffsets, SelectExactlyTheValueText) {
    const OffsetCase& c = GetParam();
    const Scan scan(c.xml);
    ASSERT_EQ(scan.records.size(), c.texts.size());
    for (size_t i = 0; i < c.texts.size(); ++i) {
        const XmlValueRecord& r = scan.records[i];
        EXPECT_EQ(c.xml.substr(r.startOffset, r.endOffset - r.startOffset), c.texts[i]) << r.path;
        EXPECT_EQ(r.originalText, c.texts[i]);
        EXPECT_EQ(r.currentText, c.texts[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, ScannerOffsets,
    ::testing::Values(OffsetCase{"SingleQuotes", "<A value='5'/>", {"5"}},
                      OffsetCase{"EmptyValue", R"(<A value=""/>)", {""}},
                      OffsetCase{"SpacesInsideQuotes", R"(<A value=" 1.5 "/>)", {" 1.5 "}},
                      OffsetCase{"OtherQuoteInside", R"(<A value="it's" x='say "hi"'/>)", {"it's", "say \"hi\""}},
                      OffsetCase{"ArrayNumbers", "<F content=\"float_array\">\r\n 1 2.5\t-3e2\r\n</F>", {"1", "2.5", "-3e2"}},
                      OffsetCase{"ArrayAdjacentSigns", R"(<F content="float_array">1.5-2.5</F>)", {"1.5", "-2.5"}},
                      OffsetCase{"Utf8Around", "<!-- \xE2\x99\xA5 --><A value=\"\xE2\x99\xA5\" x=\"1\"/>", {"\xE2\x99\xA5", "1"}},
                      OffsetCase{"BomAndCrLf", "\xEF\xBB\xBF<?xml?>\r\n<A\r\n value=\"1\"\r\n/>", {"1"}}),
    [](const auto& c) { return std::string(c.param.name); });

struct WarningCase {
    const char* name;
    const char* xml;
    uint64_t warnings;
    std::vector<std::string> paths;
};

class ScannerWarnings : public ::testing::TestWithParam<WarningCase> {};

TEST_P(ScannerWarnings, CountsMalformedInput) {
    const Scan scan(GetParam().xml);
    EXPECT_EQ(scan.warnings, GetParam().warnings);
    EXPECT_EQ(scan.Paths(), GetParam().paths);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, ScannerWarnings,
    ::testing::Values(WarningCase{"Unquoted", R"(<A value=5/>)", 1, {}},
                      WarningCase{"UnquotedThenQuoted", R"(<A value=5 x="1"/>)", 1, {"A.x"}},
                      WarningCase{"GreaterThanInValue", R"(<R><A value="a>b"/><B value="2"/></R>)", 1, {"R/A/B"}},
                      WarningCase{"EqualsAtTagEnd", R"(<A value= >)", 1, {}},
                      WarningCase{"UnclosedQuote", R"(<A x="1" y="2>)", 1, {"A.x"}},
                      WarningCase{"TruncatedStartTag", R"(<R><A value="1"/><B value="2")", 1, {"R/A"}},
                      WarningCase{"NameWithoutValue", R"(<A checked value="1"/>)", 0, {"A"}},
                      WarningCase{"NoValues", R"(<R><A b="1"/>text</R>)", 0, {}},
                      WarningCase{"LoneLessThan", "<R value=\"1\"/><", 0, {"R"}}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(ScannerResult, FalseWithoutRecords) {
    std::vector<XmlValueRecord> records(3);
    uint64_t warnings = 7;
    EXPECT_FALSE(ScanXmlValues("<R><A b=\"1\"/></R>", records, warnings));
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(warnings, 0u);
    EXPECT_FALSE(ScanXmlValues("", records, warnings));
    EXPECT_TRUE(ScanXmlValues("<A value=\"1\"/>", records, warnings));
}

TEST(ScannerAttributes, FindAttributeStaysInsideItsTagAndName) {
    const std::string xml = R"(<F xcontent="float_array"><G content="int_array"/></F>)";
    const size_t end = xml.find('>');
    std::string value;
    EXPECT_FALSE(FindAttribute(xml, 0, end, "content", value));
    EXPECT_TRUE(FindAttribute(xml, 0, end, "xcontent", value));
    EXPECT_EQ(value, "float_array");
    const size_t g = xml.find("<G");
    EXPECT_TRUE(FindAttribute(xml, g, xml.find('>', g), "content", value));
    EXPECT_EQ(value, "int_array");
    EXPECT_FALSE(FindAttribute(xml, 0, end, "", value));
    EXPECT_FALSE(FindAttribute(xml, end, 0, "content", value));
}

TEST(ScannerAttributes, FindTagAttributeSpanIgnoresCaseAndTakesEitherQuote) {
    const std::string xml = R"(<Sun foo="a" VALUE = '0.5' value="9"/>)";
    size_t start = 0;
    size_t end = 0;
    ASSERT_TRUE(FindTagAttributeSpan(xml, 0, xml.size() - 1, "value", start, end));
    EXPECT_EQ(xml.substr(start, end - start), "0.5");
    EXPECT_FALSE(FindTagAttributeSpan(xml, 0, xml.size() - 1, "alue", start, end));
    const std::string cut = R"(<Sun value="1>)";
    EXPECT_FALSE(FindTagAttributeSpan(cut, 0, cut.size() - 1, "value", start, end));
    const std::string slash = R"(<Sun / value="1">)";
    EXPECT_FALSE(FindTagAttributeSpan(slash, 0, slash.size() - 1, "value", start, end));
}

TEST(ScannerPathsHelpers, MakeAndSplit) {
    EXPECT_EQ(MakeValuePath({"VfxLightningSettings", "StrikeSettings"}, "BaseColor", "value"),
              "VfxLightningSettings/StrikeSettings/BaseColor");
    EXPECT_EQ(MakeValuePath({"MainWaterTune"}, "FogMin", "x"), "MainWaterTune/FogMin.x");
    EXPECT_EQ(MakeValuePath({}, "Root", "value"), "Root");

    struct SplitCase {
        const char* path;
        bool ok;
        const char* element;
        const char* attribute;
    };
    for (const SplitCase& c : {SplitCase{"MainWaterTune/FogMin.x", true, "FogMin", "x"},
                               SplitCase{"A/B", true, "B", "value"}, SplitCase{"A/.x", true, ".x", "value"},
                               SplitCase{"A/B.", true, "B.", "value"}, SplitCase{"A/b.c.d", true, "b.c", "d"},
                               SplitCase{"A/", false, "", "value"}, SplitCase{"Leaf.y", true, "Leaf", "y"}}) {
        std::string element = "junk";
        std::string attribute = "junk";
        EXPECT_EQ(SplitAttributePath(c.path, element, attribute), c.ok) << c.path;
        EXPECT_EQ(element, c.element) << c.path;
        EXPECT_EQ(attribute, c.attribute) << c.path;
    }
}

}  // namespace
