// The XML value scanner: paths, kinds, offsets, warnings, and the markup it
// must not take for values; the weather.xml model: which values it keeps,
// under which paths, and the conversions and labels of its fields; which
// values count as edited, can be applied live and pass a panel's filters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "support/weather_docs.h"
#include "weather/value_filters.h"
#include "weather/weather_xml_model.h"
#include "weather/xml_scanner.h"

namespace {

using namespace weather;

// A scan of a text, and then the weather.xml model's filter when asked.
struct Scan {
    std::vector<XmlValueRecord> records;
    uint64_t warnings = 0;
    bool found = false;
    explicit Scan(std::string_view text, bool model = false) {
        found = ScanXmlValues(text, records, warnings);
        if (model) FilterWeatherXmlLiveValues(text, records, warnings);
    }
};

// A text, its records as "path=text", and the warnings counted.
struct Case {
    std::string xml;
    std::vector<std::string> records;
    uint64_t warnings = 0;
};

void ExpectScans(std::span<const Case> cases, bool model) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        const Scan scan(c.xml, model);
        std::vector<std::string> records;
        for (const XmlValueRecord& r : scan.records) records.push_back(r.path + "=" + r.originalText);
        EXPECT_EQ(records, c.records);
        EXPECT_EQ(testsupport::RecordsFault(c.xml, scan.records), "");
        EXPECT_EQ(scan.warnings, c.warnings);
        EXPECT_TRUE(model || scan.found == !c.records.empty());
    }
}

TEST(XmlScanner, RecordsAndWarnings) {
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
        {R"(<R><F content="float_array">1 2</F><F value="9"/></R>)", {"R/F[1]=1", "R/F[2]=2", "R/F[2] #2=9"}},
        // Arrays whose text is not numbers and blanks up to a plain end tag make no records:
        // numbers run together too, as an edit of one would merge it with the next.
        {R"(<F content="float_array">1,2,3</F>)", {}},
        {R"(<F content="float_array">1.5-2.5</F>)", {}},
        {R"(<F content="float_array">1-2 3</F>)", {}},
        {R"(<F content="float_array">1.5.5 3</F>)", {}},
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
    ExpectScans(cases, false);
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

std::string Wrap(const std::string& types, const std::string& gpuFx = "") {
    return "<CContentsOfWeatherXmlFile><WeatherGpuFx>" + gpuFx + "</WeatherGpuFx><WeatherTypes>" + types +
           "</WeatherTypes></CContentsOfWeatherXmlFile>";
}

// Each row: a weather.xml text and the model's records as "path=text", with
// the warnings counted.
TEST(WeatherXmlModel, KeptValues) {
    const Case cases[] = {
        // Snow is its own element, not the start of SnowMist.
        {Wrap(R"(<Item><Name> RAIN </Name><SnowMist value="0.7"/><Snow value="0.2"/></Item>)"),
         {"WeatherTypes/RAIN/Snow=0.2", "WeatherTypes/RAIN/SnowMist=0.7"}},
        // Self-closing items are items (without values); nested ones and "Items" are not.
        {Wrap("", R"(<Item/><Item><Name>THUNDER_DROP</Name><Item><Name>X</Name></Item><gravity value="-9"/></Item>)"
                  R"(<Items><Name>RAINSTORM_DROP</Name></Items>)"
                  R"(<Item><Name>RAINSTORM_MIST</Name><windInfluence value="0.5"/></Item>)"),
         {"WeatherGpuFx/THUNDER_DROP/gravity=-9", "WeatherGpuFx/RAINSTORM_MIST/windInfluence=0.5"}},
        // Commented and CDATA fields and items are not values.
        {Wrap(R"(<!-- <Item><Name>CLEAR</Name><Sun value="5"/></Item> -->)"
              R"(<Item><Name>FOGGY</Name><!-- <Fog value="9"/> --><Fog value="0.3"/><![CDATA[<Sun value="8"/>]]></Item>)",
              R"(<!-- <Item><Name>THUNDER_DROP</Name><gravity value="1"/></Item> -->)"
              R"(<Item><Name>RAINSTORM_DROP</Name><gravity value="-12"/></Item>)"),
         {"WeatherTypes/FOGGY/Fog=0.3", "WeatherGpuFx/RAINSTORM_DROP/gravity=-12"}},
        // Paths carry the tables' spelling; a repeated name (in any case) is
        // dropped with a warning, the first one counts.
        {Wrap(R"(<Item><Name>rain</Name><Sun value="1"/></Item><Item><Name>RAIN</Name><Sun value="2"/></Item>)",
              R"(<Item><Name>thunder_drop</Name><Gravity value="1"/></Item>)"
              R"(<Item><Name>THUNDER_DROP</Name><gravity value="2"/></Item>)"),
         {"WeatherTypes/RAIN/Sun=1", "WeatherGpuFx/THUNDER_DROP/gravity=1"},
         2},
        // Only live fields of known items; hex text stays for WeatherTypes, not
        // for effects. One game field, one record: the first usable one, each
        // later one (in any case) dropped with a warning.
        {Wrap(R"(<Item><Sun value="1"/></Item><Item><Name>NOT_A_WEATHER</Name><Sun value="1"/></Item>)"
              R"(<Item><Name>CLEAR</Name><Sun x="1"/><Cloud value="0x10"/><Lightning value="TRUE"/></Item>)",
              R"(<Item><Name>UNKNOWN_FX</Name><gravity value="1"/></Item>)"
              R"(<Item><Name>BLIZZARD_DROP</Name><GRAVITY value="1"/><gravity value="2"/><gravity value="3"/>)"
              R"(<windInfluence value="0x1"/><WINDINFLUENCE value="5"/><diffuseName value="4"/></Item>)"),
         {"WeatherTypes/CLEAR/Cloud=0x10", "WeatherTypes/CLEAR/Lightning=TRUE", "WeatherGpuFx/BLIZZARD_DROP/gravity=1",
          "WeatherGpuFx/BLIZZARD_DROP/windInfluence=5"},
         2},
        // A field's value attribute: the first whose name is "value" in any case, in either quotes.
        {Wrap(R"(<Item><Name>RAIN</Name><Sun foo="a" VALUE = '0.5' value="9"/><Fog / value="2"/><WindMin value="1></Item>)"),
         {"WeatherTypes/RAIN/Sun=0.5"},
         1},
        // A section is the first element of its name wherever it sits, under
        // any root or none; an empty one does not hide the next.
        {"<Other><WeatherTypes><Item><Name>RAIN</Name><Sun value=\"1\"/></Item></WeatherTypes></Other>"
         "<CContentsOfWeatherXmlFile><WeatherTypes/><WeatherTypes><Item><Name>RAIN</Name>"
         "<Sun value=\"2\"/></Item></WeatherTypes></CContentsOfWeatherXmlFile>",
         {"WeatherTypes/RAIN/Sun=1"}},
        {"<CContentsOfWeatherXmlFile/><CContentsOfWeatherXmlFile><WeatherTypes/><WeatherTypes><Item><Name>RAIN</Name>"
         "<Sun value=\"2\"/></Item></WeatherTypes></CContentsOfWeatherXmlFile>",
         {"WeatherTypes/RAIN/Sun=2"}},
        // Nor does an empty one at another depth than the section, before it
        // or inside it.
        {"<WeatherTypes/><CContentsOfWeatherXmlFile><Other><WeatherGpuFx/></Other><WeatherTypes><Item><Name>RAIN</Name>"
         "<Sun value=\"2\"/></Item></WeatherTypes><WeatherGpuFx><Group><WeatherGpuFx/></Group><Item>"
         "<Name>THUNDER_DROP</Name><gravity value=\"3\"/></Item></WeatherGpuFx></CContentsOfWeatherXmlFile>",
         {"WeatherTypes/RAIN/Sun=2", "WeatherGpuFx/THUNDER_DROP/gravity=3"}},
        {R"(<WeatherData><WeatherGpuFx><Item><Name>RAINSTORM_DROP</Name><gravity value="-9"/></Item></WeatherGpuFx>)"
         R"(<WeatherTypes><Item><Name>RAIN</Name><Sun value="0.5"/></Item></WeatherTypes></WeatherData>)",
         {"WeatherTypes/RAIN/Sun=0.5", "WeatherGpuFx/RAINSTORM_DROP/gravity=-9"}},
        {R"(<WeatherTypes><Item><Name>FOGGY</Name><Fog value="0.3"/></Item></WeatherTypes>)"
         R"(<WeatherGpuFx><Item><Name>THUNDER_DROP</Name><windInfluence value="2"/></Item></WeatherGpuFx>)",
         {"WeatherTypes/FOGGY/Fog=0.3", "WeatherGpuFx/THUNDER_DROP/windInfluence=2"}},
        // Names, fields and items at any depth of their item and section.
        {Wrap(R"(<Item><Info><Name>CLEAR</Name></Info><Sky><Sun value="0.8"/><More><Cloud value="0.1"/></More></Sky>)"
              R"(<Fx><DropSettingName> THUNDER_DROP </DropSettingName></Fx></Item>)"
              R"(<Group><Item><Name>SNOW</Name><Water><Ocean><OceanBumpiness value="0.2"/></Ocean></Water></Item></Group>)",
              R"(<Item><Name>BLIZZARD_DROP</Name><Physics><gravity value="-3"/><Wind><windInfluence value="0.7"/></Wind>)"
              R"(</Physics></Item>)"),
         {"WeatherTypes/CLEAR/Sun=0.8", "WeatherTypes/CLEAR/Cloud=0.1", "WeatherTypes/CLEAR/DropSettingName=THUNDER_DROP",
          "WeatherTypes/SNOW/OceanBumpiness=0.2", "WeatherGpuFx/BLIZZARD_DROP/gravity=-3",
          "WeatherGpuFx/BLIZZARD_DROP/windInfluence=0.7"}},
        // Effect values belong to the item they sit in, however the section
        // groups its items.
        {Wrap("", R"(<Item><Name>RAINSTORM_DROP</Name></Item><Group><Item><Name>THUNDER_DROP</Name><gravity value="1"/>)"
                  R"(</Item></Group><Item><Name>THUNDER_MIST</Name><gravity value="2"/></Item>)"),
         {"WeatherGpuFx/THUNDER_DROP/gravity=1", "WeatherGpuFx/THUNDER_MIST/gravity=2"}},
        // An item's fields and name are its own: not those of an item nested
        // in it, nor of the next item, nor of a commented or unclosed element.
        {Wrap(R"(<Item><Name>RAIN</Name><Item><Name>SNOW</Name><Fog value="9"/></Item><Sun value="1"/></Item>)"
              R"(<Item><Name>CLOUDS</Name></Item><Item><Name>SMOG</Name><Cloud value="3"/><Fog value="4"/></Item>)"
              R"(<Item><Name>XMAS</Name><DropSettingName>RAINSTORM_DROP</Item>)"),
         {"WeatherTypes/RAIN/Sun=1", "WeatherTypes/SMOG/Cloud=3", "WeatherTypes/SMOG/Fog=4"}},
        // Names are whole: neither WeatherTypesOld nor Items nor SunX count.
        {"<WeatherTypesOld><Item><Name>RAIN</Name><Sun value=\"1\"/></Item></WeatherTypesOld>" +
             Wrap(R"(<Items><Name>SNOW</Name><Sun value="2"/></Items><Item><Name>FOGGY</Name><SunX value="3"/></Item>)"),
         {}},
        // An item or section not closed by its own end tag is not read (one
        // warning each); the items after a broken one are.
        {Wrap(R"(<Group><Item><Name>RAIN</Name><Sun value="1"/></Group><Item><Name>SNOW</Name><Sun value="2"/></Item>)"),
         {"WeatherTypes/SNOW/Sun=2"},
         1},
        {R"(<R><WeatherTypes><Item><Name>RAIN</Name><Sun value="1"/></Item></R>)", {}, 1},
        // An end tag of no open element (a typo) closes nothing.
        {Wrap(R"(<Item><Name>RAIN</Name><Sun value="1"/></Sunn><Fog value="2"/></Item></WeatherType>)",
              R"(<Item><Name>THUNDER_DROP</Name></gravity><gravity value="3"/></Item>)"),
         {"WeatherTypes/RAIN/Sun=1", "WeatherTypes/RAIN/Fog=2", "WeatherGpuFx/THUNDER_DROP/gravity=3"}},
        // Nor does an end tag repeated after the one that closed its element:
        // the item and its section stay open, the items after it are read.
        {Wrap(R"(<Item><Name>RAIN</Name></Name><Sun value="1"/></Item><Item><Name>SNOW</Name><Sun value="2"/></Item>)",
              R"(<Item><Name>THUNDER_DROP</Name></Name></Name><gravity value="3"/></Item>)"
              R"(<Item><Name>THUNDER_MIST</Name><gravity value="4"/></Item>)"),
         {"WeatherTypes/RAIN/Sun=1", "WeatherTypes/SNOW/Sun=2", "WeatherGpuFx/THUNDER_DROP/gravity=3",
          "WeatherGpuFx/THUNDER_MIST/gravity=4"}},
        // Element fields need plain text; their range is the trimmed text.
        {Wrap("<Item><Name>XMAS</Name><DropSettingName>   </DropSettingName>"
              "<MistSettingName><!-- x -->-</MistSettingName><GroundSettingName/>"
              "<CloudSettingsName>\r\n\tsnowclouds\r\n</CloudSettingsName></Item>"),
         {"WeatherTypes/XMAS/DropSettingName=", "WeatherTypes/XMAS/CloudSettingsName=snowclouds"}},
    };
    ExpectScans(cases, true);
}

TEST(WeatherXmlModel, ItemNames) {
    std::vector<std::string> names;
    ListSectionItemNames("<CContentsOfWeatherXmlFile><WeatherCycles><Item><CycleName>A</CycleName></Item><Item/>"
                         "<Item><Name> B </Name><Item><Name>C</Name></Item></Item></WeatherCycles></CContentsOfWeatherXmlFile>",
                         "WeatherCycles", names);
    EXPECT_EQ(names, (std::vector<std::string>{"Item 1", "Item 2", "B"}));
    // No root needed; whole names only; nothing commented; items and names at any depth.
    ListSectionItemNames("<WeatherCyclesOld><Item><Name>X</Name></Item></WeatherCyclesOld>"
                         "<!-- <WeatherCycles><Item><Name>Y</Name></Item></WeatherCycles> -->"
                         "<WeatherCycles><Group><Item><Meta><Name>A</Name></Meta></Item></Group>"
                         "<Item><![CDATA[<Name>Z</Name>]]></Item></WeatherCycles>",
                         "WeatherCycles", names);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "Item 2"}));
    ListSectionItemNames(Wrap("<Item/>"), "", names);
    EXPECT_TRUE(names.empty());
}

TEST(WeatherXmlModel, EffectValuesComeFromTheTextNotFromTheRecordsHandedIn) {
    // Records naming an item the section does not have, or another range for
    // one it has (as from another text), never become values.
    const std::string text = Wrap("", R"(<Item><Name>THUNDER_DROP</Name><gravity value="1"/></Item>)");
    std::vector<XmlValueRecord> records;
    uint64_t warnings = 0;
    ScanXmlValues(text, records, warnings);
    XmlValueRecord stranger = records[0];
    stranger.path = "CContentsOfWeatherXmlFile/WeatherGpuFx/Item[2]/gravity";
    records.push_back(stranger);
    stranger.path = "CContentsOfWeatherXmlFile/WeatherGpuFx/Item[1]/gravity";
    stranger.originalText = stranger.currentText = "<";
    stranger.startOffset = 0;
    stranger.endOffset = 1;
    records.insert(records.begin(), stranger);
    FilterWeatherXmlLiveValues(text, records, warnings);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].path + "=" + records[0].originalText, "WeatherGpuFx/THUNDER_DROP/gravity=1");
    EXPECT_EQ(testsupport::RecordsFault(text, records), "");
    EXPECT_EQ(warnings, 0u);
}

TEST(WeatherXmlModel, PathParsing) {
    // Scanner paths of the effects section: the item index and the field, or "-1|" when refused.
    const std::pair<const char*, const char*> items[] = {
        {"WeatherGpuFx/Item[3]/gravity", "2|gravity"}, {"WeatherGpuFx/Item[1]/a/b", "0|a/b"},
        {"WeatherGpuFx/Item[0]/gravity", "-1|"},       {"WeatherGpuFx/Item[]/gravity", "-1|"},
        {"WeatherGpuFx/Item[2]/", "-1|"},              {"WeatherGpuFx/Item[99999999999]/g", "-1|"},
        {"WeatherTypes/Item[2]/Sun", "-1|"},           {"WeatherGpuFx[2]/Item[1]/g", "-1|"}};
    for (const auto& [path, expected] : items) {
        XmlValueRecord r;
        r.path = std::string("CContentsOfWeatherXmlFile/") + path;
        int32_t index = 7;
        std::string field = "x";
        EXPECT_EQ(ParseWeatherXmlItemPath(r, "WeatherGpuFx", index, field), expected[0] != '-') << path;
        EXPECT_EQ(std::to_string(index) + "|" + field, expected) << path;
    }
    // Model paths: the weather's game index and field row, the effect row and
    // field offset; "-1" when refused.
    const std::pair<const char*, const char*> models[] = {
        {"WeatherTypes/snow_halloween/cloudsettingsname", "16 30"}, {"WeatherTypes/UNDERWATER_DEEP/Sun", "-1"},
        {"weathertypes/RAIN/Sun", "-1"},                             {"WeatherTypes/RAIN/RippleScale", "-1"},
        {"WeatherTypes//Sun", "-1"},                                 {"WeatherTypes/RAIN/", "-1"},
        {"WeatherTypes/RAIN", "-1"},                                 {"WeatherGpuFx/wetland_flies_drop/WindInfluence", "23 0"},
        {"WeatherGpuFx/BLIZZARD_DROP/GRAVITY", "10 4"},             {"WeatherGpuFx/RAINSTORM_DROP/diffuseName", "-1"}};
    for (const auto& [path, expected] : models) {
        int32_t a = 0, b = 0;
        uint32_t offset = 0;
        std::string got = "-1";
        if (ResolveWeatherTypesPath(path, a, b)) got = std::to_string(a) + " " + std::to_string(b);
        if (ResolveWeatherGpuFxPath(path, a, offset)) got = std::to_string(a) + " " + std::to_string(offset);
        EXPECT_EQ(got, expected) << path;
    }
    std::string section, name, field;
    EXPECT_TRUE(SplitWeatherPath("WeatherGpuFx/THUNDER_MIST/a/b", section, name, field));
    EXPECT_EQ(section + "|" + name + "|" + field, "WeatherGpuFx|THUNDER_MIST|a/b");
    EXPECT_FALSE(SplitWeatherPath("A//c", section, name, field));
}

TEST(WeatherXmlModel, Conversions) {
    // Setting names by field: the game's index, or 77 (left as it was) when refused.
    const std::tuple<const char*, const char*, int32_t> settings[] = {
        {"DropSettingName", " RAINSTORM_DROP ", 0}, {"DropSettingName", "-", -1}, {"dropsettingname", "wetland_flies_drop", 9},
        {"GroundSettingName", "RAINSTORM_DROP", 77}, {"CloudSettingsName", "Default", 77}};
    for (const auto& [field, text, expected] : settings) {
        int32_t index = 77;
        EXPECT_EQ(EffectSettingIndex(field, text, index), expected != 77) << text;
        EXPECT_EQ(index, expected) << text;
    }
    uint32_t hash = 0;
    EXPECT_TRUE(CloudSettingsHash("\r\n\tsnowclouds ", hash));
    EXPECT_EQ(hash, 0x2364AAF0u);
    EXPECT_FALSE(CloudSettingsHash("cirrus", hash));

    // Non-finite values never reach the game; anything else reads as atof would.
    XmlValueRecord r;
    r.path = "WeatherTypes/RAIN/Sun";
    for (const auto& [text, expected] : {std::pair{"1e999", NAN}, std::pair{"inf", NAN}, std::pair{"-nan", NAN},
                                         std::pair{"abc", 0.0f}, std::pair{"-12.5", -12.5f}}) {
        r.currentText = text;
        std::string status = "unchanged";
        float value = 0;
        EXPECT_EQ(ParseWeatherValue(r, value, status), !std::isnan(expected)) << text;
        EXPECT_EQ(status, std::isnan(expected) ? "Weather live failed: invalid value in WeatherTypes/RAIN/Sun." : "unchanged");
        EXPECT_TRUE(std::isnan(expected) || value == expected) << text;
    }
}

TEST(WeatherXmlModel, PresentationHelpers) {
    std::string groups;
    for (const char* field : {"Cloud", "windmin", "OceanFoamIntensity", "CloudSettingsName", "RippleScale"})
        groups += std::to_string(WeatherFieldGroup(field)) + WeatherFieldGroupName(field) + " ";
    EXPECT_EQ(groups, "1Sky 2Wind 7Foam 9Clouds 0Other ");
    for (const auto& [path, label] : {std::pair{"WeatherTypes/RAIN/Fog", "WeatherTypes / RAIN / Fog"},
                                      std::pair{"WeatherGpuFx/THUNDER_DROP/gravity", "WeatherGpuFx / THUNDER_DROP / gravity"},
                                      std::pair{"WeatherTypes/RAIN/", "WeatherTypes/RAIN/"},
                                      std::pair{"MainWaterTune/FogMin.x", "FogMin.x"}, std::pair{"Root", "Root"}})
        EXPECT_EQ(WeatherPathLabel(path), label);
    EXPECT_EQ(FormatColorHex(1.0f, 0.5f, 0.0f, 1.0f), "0xFFFF8000");
    EXPECT_EQ(FormatColorHex(1.2f, -0.5f, 0.0f, 0.0f), "0x00FF0000");
    EXPECT_EQ(FormatColorHex(0.5f, 0.5f, 0.5f, 0.5f), "0x80808080");  // 127.5 rounds away from zero
}

XmlValueRecord Value(const std::string& path, const std::string& text = "1.0") {
    XmlValueRecord r;
    r.path = path;
    r.originalText = r.currentText = text;
    return r;
}

WeatherDocument& Named(const char* fileName) {
    return WeatherDocuments.WeatherDocumentRegistry[static_cast<size_t>(FindWeatherDocumentIndex(fileName))];
}

TEST(ValueFilters, LiveSupportByDocumentAndPath) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"watertune.xml", "Anything/At.all", true},
        {"vfxlightningsettings.xml", "VfxLightningSettings/lightningOccurranceChance", true},
        {"vfxlightningsettings.xml", "VfxLightningSettings/StrikeSettings/FogColor", true},
        {"vfxlightningsettings.xml", "VfxLightningSettings/strikeSettings/FogColor", false},
        {"vfxlightningsettings.xml", "VfxLightningSettings/lightningTimeCycleMods", false},
        {"weather\\thunder_render_drop.xml", "rage__ptxgpuDropRenderSettings/colour.w", true},
        {"weather\\fly_render_drop.xml", "rage__ptxgpuDropRenderSettings/fadeZ", true},
        {"weather\\fly_render_drop.xml", "rage__ptxgpuDropRenderSettings/fadeZ.x", false},
        {"weather\\fly_render_drop.xml", "rage__ptxgpuDropRenderSettings/Colour.x", false},
        {"weather.xml", "WeatherTypes/RAIN/Fog", true},
        {"weather.xml", "WeatherGpuFx/THUNDER_DROP/gravity", true},
        {"weather.xml", "WeatherGpuFx/THUNDER_DROP/diffuseName", false},
        {"weather.xml", "CContentsOfWeatherXmlFile/WeatherTypes/Item[1]/Fog", false},
    };
    for (const auto& [document, path, live] : cases) {
        SCOPED_TRACE(std::string(document) + " " + path);
        EXPECT_EQ(IsLiveSupportedValue(Named(document), Value(path)), live);
        EXPECT_EQ(IsValueLiveEditable(Named(document), Value(path)), live);
        EXPECT_EQ(IsValueShown(Named(document), Value(path)), live);
    }
    // Other documents show everything and apply nothing.
    const WeatherDocument other{"carcols.xml", "Other", "Misc"};
    EXPECT_FALSE(IsLiveSupportedValue(other, Value("A")) || IsValueLiveEditable(other, Value("A")));
    EXPECT_TRUE(IsValueShown(other, Value("A")));
}

TEST(ValueFilters, Search) {
    MiscXmlFilterState f;
    for (const auto& [search, match] : {std::pair{"", true}, std::pair{"ripple", true}, std::pair{"RIPPLESCALE", true},
                                        std::pair{"fog", false}}) {
        std::strcpy(f.searchText, search);
        EXPECT_EQ(ValueMatchesSearch(Value("MainWaterTune/RippleScale"), f), match) << search;
    }
    std::memset(f.searchText, 'a', sizeof f.searchText);  // no terminating zero: bounded anyway
    EXPECT_FALSE(ValueMatchesSearch(Value("aaaa"), f));
}

TEST(ValueFilters, WeatherScope) {
    struct Scope {
        int32_t scope, weather, effect, group;
        const char* path;
        bool passes;
    };
    for (const Scope& c : {
             Scope{0, 5, 5, 5, "Anything", true},
             Scope{7, 0, 0, 0, "Anything", true},
             Scope{1, 0, 0, 3, "WeatherTypes/RAIN/Fog", true},
             Scope{1, 0, 0, 3, "WeatherTypes/RAIN", false},
             Scope{1, 0, 0, 3, "WeatherGpuFx/THUNDER_DROP/gravity", false},
             Scope{1, 0, 0, 1, "WeatherTypes/RAIN/Fog", false},
             Scope{1, 7, 0, 0, "WeatherTypes/RAIN/Fog", true},
             Scope{1, 7, 0, 0, "WeatherTypes/RAIN_HALLOWEEN/Fog", false},
             Scope{1, 40, 0, 0, "WeatherTypes/SNOW_HALLOWEEN/Fog", true},  // clamped to 17
             Scope{1, -3, 0, 0, "WeatherTypes/CLEAR/Fog", true},           // clamped to 0
             Scope{1, 0, 0, 99, "WeatherTypes/CLEAR/CloudSettingsName", true},
             Scope{2, 0, 0, 0, "WeatherTypes/RAIN/Fog", false},
             Scope{2, 0, 4, 0, "WeatherGpuFx/THUNDER_DROP/gravity", true},
             Scope{2, 0, 4, 0, "WeatherGpuFx/THUNDER_DROPS/gravity", false},
             Scope{2, 0, 99, 0, "WeatherGpuFx/WETLAND_FLIES_DROP/gravity", true},
         }) {
        MiscXmlFilterState f;
        std::tie(f.scope, f.weather, f.effect, f.group) = std::tie(c.scope, c.weather, c.effect, c.group);
        EXPECT_EQ(ValuePassesWeatherScope(Named("weather.xml"), Value(c.path), f), c.passes) << c.scope << " " << c.path;
        EXPECT_TRUE(ValuePassesWeatherScope(Named("watertune.xml"), Value(c.path), f));
    }
}

TEST(ValueFilters, EditedAndShownCounts) {
    WeatherDocument d{"weather.xml", "Weather Settings", "Weather Settings"};
    d.values = {Value("WeatherTypes/RAIN/Fog"), Value("WeatherTypes/RAIN/Sun"), Value("WeatherGpuFx/THUNDER_DROP/gravity"),
                Value("Generic/Path")};
    d.loaded = 1;
    d.values[3].currentText = std::string("1.0\0", 4);  // the length counts
    EXPECT_EQ(CountChangedValues(d), 1u);
    EXPECT_FALSE(WeatherDocumentHasLiveEdits(d));  // that value is never applied
    d.values[1].currentText = "0.5";
    EXPECT_TRUE(WeatherDocumentHasLiveEdits(d));
    d.loaded = 0;
    EXPECT_FALSE(WeatherDocumentHasLiveEdits(d));
    MiscXmlFilterState f;
    EXPECT_EQ(CountShownValues(d, f), 3u);  // the generic path is not shown
    f.editedOnly = 1;
    EXPECT_EQ(CountShownValues(d, f), 1u);
    f.editedOnly = 0;
    f.scope = 1;
    f.group = 3;
    EXPECT_EQ(CountShownValues(d, f), 1u);
    std::strcpy(f.searchText, "sun");
    EXPECT_EQ(CountShownValues(d, f), 0u);
}

}  // namespace
