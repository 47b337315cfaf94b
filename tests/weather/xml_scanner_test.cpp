// The XML value scanner: paths, kinds, offsets, warnings, and the markup it
// must not take for values.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/weather_docs.h"
#include "weather/xml_scanner.h"

namespace {

using namespace weather;

struct Scan {
    std::vector<XmlValueRecord> records;
    uint64_t warnings = 0;
    bool found = false;
    explicit Scan(std::string_view text) { found = ScanXmlValues(text, records, warnings); }
};

// Each row: a text, its records as "path=text", and the warnings counted.
TEST(XmlScanner, RecordsAndWarnings) {
    struct Case {
        std::string xml;
        std::vector<std::string> records;
        uint64_t warnings = 0;
    };
    const Case cases[] = {
        {R"(<A><B value="1"/><B value="2"/><B value="3"/></A>)", {"A/B=1", "A/B[2]=2", "A/B[3]=3"}},
        {R"(<R><A><Item value="1"/></A><A><Item value="2"/></A></R>)", {"R/A/Item[1]=1", "R/A[2]/Item[1]=2"}},
        {R"(<M><FogMin x="1" y="2" z="3" w="4" q="5"/></M>)", {"M/FogMin.x=1", "M/FogMin.y=2", "M/FogMin.z=3", "M/FogMin.w=4"}},
        {R"(<P x="1" x="2" x="3"/>)", {"P.x=1", "P.x #2=2", "P.x #3=3"}},
        {R"(<A value="1"><B value="2"/></A>)", {"A=1", "A/B=2"}},
        {R"(<A Value="1" X="2" value="3"/>)", {"A=3"}},  // names are case-sensitive
        {"< A  value = '' / >", {"A="}},
        {R"(<A value=" 1.5 " x='say "hi"' y="it's"/>)", {"A= 1.5 ", "A.x=say \"hi\"", "A.y=it's"}},
        {"\xEF\xBB\xBF<?xml?>\r\n<!-- \xE2\x99\xA5 --><A\r\n value=\"\xE2\x99\xA5\"\r\n x=\"1\"/>", {"A=\xE2\x99\xA5", "A.x=1"}},
        {"<R>\xC3\xA9<Gr\xC3\xB6sse value=\"1\"/></R>", {"R/Gr=1"}},  // a non-ASCII byte ends a name
        {R"(<R><A><B value="1"/></X><C value="2"/></R>)", {"R/A/B=1", "C=2"}},  // a stray end tag closes all
        // Number arrays.
        {"<R><F content=\"float_array\">\r\n 1 2.5\t-3e2\r\n</F></R>", {"R/F[1]=1", "R/F[2]=2.5", "R/F[3]=-3e2"}},
        {R"(<F content="INT_Array">7 8</F>)", {"F[1]=7", "F[2]=8"}},
        {R"(<F content="float_array">1.5-2.5</F>)", {"F[1]=1.5", "F[2]=-2.5"}},
        {R"(<R><F content="float_array">1 2</F><F value="9"/></R>)", {"R/F[1]=1", "R/F[2]=2", "R/F[2] #2=9"}},
        // Arrays whose text is not numbers and blanks up to a plain end tag make no records.
        {R"(<F content="float_array">1,2,3</F>)", {}},
        {R"(<F content="float_array">1 2</F >)", {}},
        {R"(<F content="float_array">1 1e999</F>)", {}},
        {R"(<F content="float_array">1 2)", {}},
        {R"(<R><F content="float_array"/>1 2</R>)", {}},
        {R"(<F xcontent="float_array">1 2</F>)", {}},
        {R"(<R><F>1 2</F><G content="float_array"/></R>)", {}},
        // Comments, CDATA and declarations hold no values.
        {R"(<R><!-- <B value="1"/> </R> --><C value="2"/><!----><D value="3"/></R>)", {"R/C=2", "R/D=3"}},
        {"<R><Item><!--  <T platform=\"pc\">X</T>\n <T platform=\"!pc\">Y</T>--><T>Z</T><S value=\"1\"/></Item></R>",
         {"R/Item[1]/S=1"}},
        {R"(<R><![CDATA[ a > b <B value="1"/> ]]><C value="2"/></R>)", {"R/C=2"}},
        // A comment or CDATA section never closed hides the rest: a warning says so.
        {R"(<R><A value="1"/><!-- <B value="2"/>)", {"R/A=1"}, 1},
        {R"(<R><A value="1"/><![CDATA[ <B value="2"/>)", {"R/A=1"}, 1},
        {R"(<?xml version="1.0"?><!DOCTYPE r><R value="1"/>)", {"R=1"}},
        // Malformed markup.
        {R"(<A value=5/>)", {}, 1},
        {R"(<A value=5 x="1"/>)", {"A.x=1"}, 1},
        {R"(<R><A value="a>b"/><B value="2"/></R>)", {"R/A/B=2"}, 1},
        {R"(<A value= >)", {}, 1},
        {R"(<A x="1" y="2>)", {"A.x=1"}, 1},
        {R"(<R><A value="1"/><B value="2")", {"R/A=1"}, 1},
        {R"(<A checked value="1"/>)", {"A=1"}},
        {"<R value=\"1\"/><", {"R=1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        const Scan scan(c.xml);
        std::vector<std::string> records;
        for (const XmlValueRecord& r : scan.records) records.push_back(r.path + "=" + r.originalText);
        EXPECT_EQ(records, c.records);
        EXPECT_EQ(testsupport::RecordsFault(c.xml, scan.records), "");
        EXPECT_EQ(scan.warnings, c.warnings);
        EXPECT_EQ(scan.found, !c.records.empty());
    }
    // Records and warnings of an earlier scan never remain.
    std::vector<XmlValueRecord> records(3);
    uint64_t warnings = 7;
    EXPECT_FALSE(ScanXmlValues("<R/>", records, warnings));
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(warnings, 0u);
}

TEST(XmlScanner, KindsOfValueTexts) {
    const std::pair<const char*, XmlValueKind> cases[] = {
        {"true", kXmlValueBool},    {"FaLsE", kXmlValueBool},    {"0x1F", kXmlValueHex},     {"0XzZ", kXmlValueHex},
        {"0x", kXmlValueText},      {"+5", kXmlValueInteger},    {"-0012", kXmlValueInteger}, {"1e5", kXmlValueFloat},
        {" 5", kXmlValueFloat},     {"5 ", kXmlValueText},       {".5", kXmlValueFloat},     {"-0x1p3", kXmlValueFloat},
        {"inf", kXmlValueFloat},    {"-", kXmlValueText},        {"", kXmlValueText},        {"1.0.0", kXmlValueText},
        {"RAIN", kXmlValueText},
    };
    for (const auto& [text, kind] : cases) EXPECT_EQ(ParseBoolOrNumber(text), kind) << '"' << text << '"';
}

// Typed values have explicit widths (the C locale: the locale test of the settings).
TEST(XmlScanner, TypedValues) {
    const Scan scan(R"(<R><A value="2147483647"/><B value="99999999999"/><C value="-99999999999"/>)"
                    R"(<D value="0.25"/><E value="TRUE"/><F value="0x10"/><G content="float_array">1.5 -2.75</G></R>)");
    ASSERT_EQ(scan.records.size(), 8u);
    EXPECT_EQ(scan.records[0].intValue, 2147483647);
    EXPECT_EQ(scan.records[1].intValue, 2147483647);  // saturates, on every platform
    EXPECT_EQ(scan.records[2].intValue, -2147483647 - 1);
    EXPECT_FLOAT_EQ(scan.records[3].floatValue, 0.25f);
    EXPECT_EQ(scan.records[4].boolValue, 1);
    EXPECT_EQ(scan.records[5].intValue, 0);
    EXPECT_FLOAT_EQ(scan.records[6].floatValue, 1.5f);
    EXPECT_FLOAT_EQ(scan.records[7].floatValue, -2.75f);
    // Edited texts re-parse as the C library's atoi/atof would.
    const auto reparsed = [&](size_t i, const char* text) {
        XmlValueRecord r = scan.records[i];
        r.currentText = text;
        ParseRecordValue(r);
        return r;
    };
    EXPECT_EQ(reparsed(0, "  -42abc").intValue, -42);
    EXPECT_FLOAT_EQ(reparsed(3, "3.75").floatValue, 3.75f);
    EXPECT_EQ(reparsed(3, "abc").floatValue, 0.0f);
    EXPECT_EQ(reparsed(4, "yes").boolValue, 0);
}

// No input makes a scan take unbounded memory or time.
TEST(XmlScanner, LimitsOfDepthRecordsAndUnclosedArrays) {
    // Paths grow with nesting: the scan stops (with a warning) once a path
    // would pass its limit.
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<Item value=\"1\">";
    const Scan nested(deep);
    EXPECT_EQ(nested.records.size(), kMaxValuePathLength / 8);  // "Item[1]/" per level
    EXPECT_EQ(nested.warnings, 1u);
    EXPECT_EQ(nested.records[2].path, "Item[1]/Item[1]/Item[1]");
    std::string many = "<A";
    for (size_t i = 0; i < kMaxScanRecords + 10; ++i) many += " x=''";
    const Scan full(many + "/>");
    EXPECT_EQ(full.records.size(), kMaxScanRecords);
    EXPECT_EQ(full.warnings, 1u);
    // Array elements without end tags stay linear: each stops where its numbers stop.
    std::string arrays;
    for (int i = 0; i < 50000; ++i) arrays += "<F content=\"float_array\">1 2 ";
    EXPECT_FALSE(Scan(arrays).found);
}

TEST(XmlScanner, AttributeAndPathHelpers) {
    // An attribute lookup never leaves its tag nor matches part of a name.
    const std::string xml = R"(<F xcontent="float_array"><G content="int_array"/></F>)";
    std::string value;
    EXPECT_FALSE(FindAttribute(xml, 0, xml.find('>'), "content", value) || FindAttribute(xml, xml.find('>'), 0, "content", value));
    EXPECT_TRUE(FindAttribute(xml, 0, xml.find('>'), "xcontent", value));
    EXPECT_EQ(value, "float_array");

    const std::tuple<const char*, bool, const char*> cases[] = {
        {"MainWaterTune/FogMin.x", true, "FogMin|x"}, {"A/B", true, "B|value"},   {"A/.x", true, ".x|value"},
        {"A/B.", true, "B.|value"},                 {"A/b.c.d", true, "b.c|d"}, {"A/", false, "|value"}};
    for (const auto& [path, ok, parts] : cases) {
        std::string element = "junk";
        std::string attribute = "junk";
        EXPECT_EQ(SplitAttributePath(path, element, attribute), ok) << path;
        EXPECT_EQ(element + "|" + attribute, parts) << path;
    }
}

}  // namespace
