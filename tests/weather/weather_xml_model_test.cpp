// The weather.xml model: which values it keeps, under which paths, and the
// conversions and labels of its fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/weather_docs.h"
#include "weather/weather_xml_model.h"

namespace {

using namespace weather;

struct Model {
    std::string text;
    std::vector<XmlValueRecord> records;
    uint64_t warnings = 0;
    explicit Model(std::string xml) : text(std::move(xml)) {
        ScanXmlValues(text, records, warnings);
        FilterWeatherXmlLiveValues(text, records, warnings);
    }
    const XmlValueRecord* Find(std::string_view path) const {
        for (const XmlValueRecord& r : records)
            if (r.path == path) return &r;
        return nullptr;
    }
    std::string Text(const XmlValueRecord& r) const { return text.substr(r.startOffset, r.endOffset - r.startOffset); }
};

std::string Wrap(const std::string& types, const std::string& gpuFx = "") {
    return "<CContentsOfWeatherXmlFile><WeatherGpuFx>" + gpuFx + "</WeatherGpuFx><WeatherTypes>" + types +
           "</WeatherTypes></CContentsOfWeatherXmlFile>";
}

TEST(WeatherXmlModel, FullDocumentGivesEveryFieldInOrder) {
    testsupport::WeatherXmlOptions options;
    const Model model(testsupport::GenerateWeatherXml(options));
    EXPECT_EQ(model.warnings, 0u);
    ASSERT_EQ(model.records.size(), 17u * 31u + 48u);
    for (size_t w = 0; w < 17; ++w) {
        for (size_t f = 0; f < 31; ++f) {
            const XmlValueRecord& r = model.records[w * 31 + f];
            EXPECT_EQ(r.path, std::string("WeatherTypes/") + WeatherTypeNameTable[w].name + "/" +
                                  WeatherTypeFieldTable[f].name);
            EXPECT_EQ(model.Text(r), r.originalText);
        }
    }
    for (size_t e = 0; e < 24; ++e) {
        EXPECT_EQ(model.records[527 + 2 * e].path, std::string("WeatherGpuFx/") + WeatherGpuFxTable[e].effect + "/windInfluence");
        EXPECT_EQ(model.records[528 + 2 * e].path, std::string("WeatherGpuFx/") + WeatherGpuFxTable[e].effect + "/gravity");
    }
    const XmlValueRecord* ground = model.Find("WeatherTypes/EXTRASUNNY/GroundSettingName");
    ASSERT_NE(ground, nullptr);
    EXPECT_EQ(ground->originalText, "-");  // written " - ": the blanks stay outside the range
    EXPECT_EQ(ground->kind, kXmlValueText);
}

TEST(WeatherXmlModel, SnowFindsItsOwnElementNotSnowMist) {
    const Model model(Wrap(R"(<Item><Name> RAIN </Name><SnowMist value="0.7"/><Snow value="0.2"/></Item>)"));
    ASSERT_NE(model.Find("WeatherTypes/RAIN/Snow"), nullptr);
    EXPECT_EQ(model.Find("WeatherTypes/RAIN/Snow")->originalText, "0.2");
    EXPECT_EQ(model.Find("WeatherTypes/RAIN/SnowMist")->originalText, "0.7");
}

TEST(WeatherXmlModel, ItemNamesCountLikeTheScanner) {
    const std::string gpuFx =
        R"(<Item/>)"                                                                      // Item[1], self-closing
        R"(<Item><Name>THUNDER_DROP</Name><Item><Name>X</Name></Item><gravity value="-9"/></Item>)"  // Item[2] holds a nested item
        R"(<Items><Name>RAINSTORM_DROP</Name></Items>)"                                   // not an item
        R"(<Item><Name>RAINSTORM_MIST</Name><windInfluence value="0.5"/></Item>)";       // Item[3]
    const std::string text = Wrap("", gpuFx);
    std::vector<std::string> names;
    ListSectionItemNames(text, "WeatherGpuFx", names);
    EXPECT_EQ(names, (std::vector<std::string>{"Item 1", "THUNDER_DROP", "RAINSTORM_MIST"}));
    ListSectionItemNames("<CContentsOfWeatherXmlFile><WeatherCycles><Item><CycleName>A</CycleName></Item>"
                         "<Item><Name> B </Name></Item></WeatherCycles></CContentsOfWeatherXmlFile>",
                         "WeatherCycles", names);
    EXPECT_EQ(names, (std::vector<std::string>{"Item 1", "B"}));
    ListSectionItemNames(text, "", names);
    EXPECT_TRUE(names.empty());
    const Model model(text);
    EXPECT_EQ(model.warnings, 0u);
    ASSERT_EQ(model.records.size(), 2u);
    EXPECT_EQ(model.records[0].path, "WeatherGpuFx/THUNDER_DROP/gravity");
    EXPECT_EQ(model.records[0].originalText, "-9");
    EXPECT_EQ(model.records[1].path, "WeatherGpuFx/RAINSTORM_MIST/windInfluence");
}

TEST(WeatherXmlModel, CommentedFieldsAndItemsAreNotValues) {
    const Model model(Wrap(
        R"(<!-- <Item><Name>CLEAR</Name><Sun value="5"/></Item> -->)"
        R"(<Item><Name>FOGGY</Name><!-- <Fog value="9"/> --><Fog value="0.3"/><![CDATA[<Sun value="8"/>]]></Item>)",
        R"(<!-- <Item><Name>THUNDER_DROP</Name><gravity value="1"/></Item> -->)"
        R"(<Item><Name>RAINSTORM_DROP</Name><gravity value="-12"/></Item>)"));
    ASSERT_EQ(model.records.size(), 2u);
    EXPECT_EQ(model.records[0].path, "WeatherTypes/FOGGY/Fog");
    EXPECT_EQ(model.records[0].originalText, "0.3");
    EXPECT_EQ(model.records[1].path, "WeatherGpuFx/RAINSTORM_DROP/gravity");
}

TEST(WeatherXmlModel, RepeatedNamesAreDroppedWithWarnings) {
    const Model model(Wrap(R"(<Item><Name>RAIN</Name><Sun value="1"/></Item><Item><Name>rain</Name><Sun value="2"/></Item>)",
                           R"(<Item><Name>THUNDER_DROP</Name><gravity value="1"/></Item>)"
                           R"(<Item><Name>THUNDER_DROP</Name><gravity value="2"/></Item>)"));
    EXPECT_EQ(model.warnings, 2u);
    ASSERT_EQ(model.records.size(), 2u);
    EXPECT_EQ(model.records[0].originalText, "1");
    EXPECT_EQ(model.records[1].originalText, "1");
}

TEST(WeatherXmlModel, KeepsOnlyLiveFieldsOfKnownItems) {
    const Model model(Wrap(
        R"(<Item><Sun value="1"/></Item>)"                                                  // no Name: "Item 1", skipped
        R"(<Item><Name>NOT_A_WEATHER</Name><Sun value="1"/></Item>)"
        R"(<Item><Name>CLEAR</Name><Sun x="1"/><Cloud value="0x10"/><Lightning value="TRUE"/></Item>)",
        R"(<Item><Name>UNKNOWN_FX</Name><gravity value="1"/></Item>)"
        R"(<Item><Name>BLIZZARD_DROP</Name><GRAVITY value="1"/><gravity value="2"/><gravity value="3"/>)"
        R"(<windInfluence value="0x1"/><diffuseName value="4"/></Item>)"));
    std::vector<std::string> paths;
    for (const XmlValueRecord& r : model.records) paths.push_back(r.path);
    // Cloud keeps its hex text in the WeatherTypes scan; the hex effect value is dropped.
    EXPECT_EQ(paths, (std::vector<std::string>{"WeatherTypes/CLEAR/Cloud", "WeatherTypes/CLEAR/Lightning",
                                               "WeatherGpuFx/BLIZZARD_DROP/GRAVITY", "WeatherGpuFx/BLIZZARD_DROP/gravity"}));
    EXPECT_EQ(model.records[1].boolValue, 1);
    int32_t row = -1;
    uint32_t offset = 9;
    EXPECT_TRUE(ResolveWeatherGpuFxPath(paths[2], row, offset));
    EXPECT_EQ(offset, kGravityOffset);
}

TEST(WeatherXmlModel, GenericFloatIsReplacedBySameRange) {
    const std::string text = Wrap(R"(<Item><Name>SMOG</Name><Fog value="0.5"/></Item>)");
    std::vector<XmlValueRecord> generic;
    uint64_t warnings = 0;
    ScanXmlValues(text, generic, warnings);
    ASSERT_EQ(generic.size(), 1u);
    EXPECT_EQ(generic[0].path, "CContentsOfWeatherXmlFile/WeatherTypes/Item[1]/Fog");
    const XmlValueRecord before = generic[0];
    FilterWeatherXmlLiveValues(text, generic, warnings);
    ASSERT_EQ(generic.size(), 1u);
    EXPECT_EQ(generic[0].path, "WeatherTypes/SMOG/Fog");
    EXPECT_EQ(generic[0].startOffset, before.startOffset);
    EXPECT_EQ(generic[0].endOffset, before.endOffset);
}

TEST(WeatherXmlModel, EffectValuesThatMatchNoItemDropTheSection) {
    // Records naming an item the section does not have (as from another
    // text) are never attributed to whatever item has that number here.
    const std::string text = Wrap("", R"(<Item><Name>THUNDER_DROP</Name><gravity value="1"/></Item>)");
    std::vector<XmlValueRecord> records;
    uint64_t warnings = 0;
    ScanXmlValues(text, records, warnings);
    XmlValueRecord stranger = records[0];
    stranger.path = "CContentsOfWeatherXmlFile/WeatherGpuFx/Item[2]/gravity";
    records.push_back(stranger);
    FilterWeatherXmlLiveValues(text, records, warnings);
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(warnings, 1u);
}

TEST(WeatherXmlModel, SectionsOutsideTheRootAreIgnored) {
    const Model model("<Other><WeatherTypes><Item><Name>RAIN</Name><Sun value=\"1\"/></Item></WeatherTypes></Other>"
                      "<CContentsOfWeatherXmlFile><WeatherTypes/><WeatherTypes><Item><Name>RAIN</Name>"
                      "<Sun value=\"2\"/></Item></WeatherTypes></CContentsOfWeatherXmlFile>");
    EXPECT_TRUE(model.records.empty());
}

TEST(WeatherXmlModel, ElementFieldsNeedPlainText) {
    const Model model(Wrap("<Item><Name>XMAS</Name><DropSettingName>   </DropSettingName>"
                           "<MistSettingName><!-- x -->-</MistSettingName><GroundSettingName/>"
                           "<CloudSettingsName>\r\n\tsnowclouds\r\n</CloudSettingsName></Item>"));
    ASSERT_EQ(model.records.size(), 2u);
    EXPECT_EQ(model.records[0].path, "WeatherTypes/XMAS/DropSettingName");
    EXPECT_EQ(model.records[0].originalText, "");
    EXPECT_EQ(model.records[0].startOffset, model.records[0].endOffset);
    EXPECT_EQ(model.records[1].originalText, "snowclouds");
    uint32_t hash = 0;
    EXPECT_TRUE(CloudSettingsHash(model.records[1].originalText, hash));
    EXPECT_EQ(hash, 0x2364AAF0u);
}

TEST(WeatherXmlModel, ItemPathParsing) {
    struct Case {
        const char* path;
        const char* section;
        bool ok;
        int32_t index;
        const char* field;
    };
    for (const Case& c : {Case{"CContentsOfWeatherXmlFile/WeatherGpuFx/Item[3]/gravity", "WeatherGpuFx", true, 2, "gravity"},
                          Case{"CContentsOfWeatherXmlFile/WeatherGpuFx/Item[1]/a/b", "WeatherGpuFx", true, 0, "a/b"},
                          Case{"CContentsOfWeatherXmlFile/WeatherGpuFx/Item[0]/gravity", "WeatherGpuFx", false, -1, ""},
                          Case{"CContentsOfWeatherXmlFile/WeatherGpuFx/Item[]/gravity", "WeatherGpuFx", false, -1, ""},
                          Case{"CContentsOfWeatherXmlFile/WeatherGpuFx/Item[2]/", "WeatherGpuFx", false, -1, ""},
                          Case{"CContentsOfWeatherXmlFile/WeatherGpuFx/Item[99999999999]/g", "WeatherGpuFx", false, -1, ""},
                          Case{"CContentsOfWeatherXmlFile/WeatherTypes/Item[2]/Sun", "WeatherGpuFx", false, -1, ""},
                          Case{"CContentsOfWeatherXmlFile/WeatherGpuFx[2]/Item[1]/g", "WeatherGpuFx", false, -1, ""}}) {
        XmlValueRecord r;
        r.path = c.path;
        int32_t index = 7;
        std::string field = "x";
        EXPECT_EQ(ParseWeatherXmlItemPath(r, c.section, index, field), c.ok) << c.path;
        EXPECT_EQ(index, c.index) << c.path;
        EXPECT_EQ(field, c.field) << c.path;
    }
}

TEST(WeatherXmlModel, ModelPathResolution) {
    int32_t weather = 0;
    int32_t row = 0;
    EXPECT_TRUE(ResolveWeatherTypesPath("WeatherTypes/snow_halloween/cloudsettingsname", weather, row));
    EXPECT_EQ(weather, 16);
    EXPECT_EQ(row, 30);
    EXPECT_EQ(WeatherTypeFieldTable[static_cast<size_t>(row)].offset, 0xBCu);
    EXPECT_FALSE(ResolveWeatherTypesPath("WeatherTypes/UNDERWATER_DEEP/Sun", weather, row));
    EXPECT_FALSE(ResolveWeatherTypesPath("weathertypes/RAIN/Sun", weather, row));
    EXPECT_FALSE(ResolveWeatherTypesPath("WeatherTypes/RAIN/RippleScale", weather, row));
    int32_t effect = 0;
    uint32_t offset = 0;
    EXPECT_TRUE(ResolveWeatherGpuFxPath("WeatherGpuFx/wetland_flies_drop/WindInfluence", effect, offset));
    EXPECT_EQ(effect, 23);
    EXPECT_EQ(offset, kWindInfluenceOffset);
    EXPECT_FALSE(ResolveWeatherGpuFxPath("WeatherGpuFx/RAINSTORM_DROP/diffuseName", effect, offset));

    std::string name;
    std::string field;
    EXPECT_FALSE(SplitSectionPath("WeatherTypes//Sun", "WeatherTypes", name, field));
    EXPECT_FALSE(SplitSectionPath("WeatherTypes/RAIN/", "WeatherTypes", name, field));
    EXPECT_FALSE(SplitSectionPath("WeatherTypes/RAIN", "WeatherTypes", name, field));
    EXPECT_TRUE(SplitSectionPath("WeatherTypes/RAIN/a/b", "WeatherTypes", name, field));
    EXPECT_EQ(field, "a/b");
    std::string section;
    EXPECT_TRUE(SplitWeatherPath("WeatherGpuFx/THUNDER_MIST/gravity", section, name, field));
    EXPECT_EQ(section + "|" + name + "|" + field, "WeatherGpuFx|THUNDER_MIST|gravity");
    EXPECT_FALSE(SplitWeatherPath("A//c", section, name, field));
}

TEST(WeatherXmlModel, Conversions) {
    struct SettingCase {
        const char* field;
        const char* text;
        bool ok;
        int32_t index;
    };
    for (const SettingCase& c : {SettingCase{"DropSettingName", " RAINSTORM_DROP ", true, 0},
                                 SettingCase{"DropSettingName", "-", true, -1},
                                 SettingCase{"dropsettingname", "wetland_flies_drop", true, 9},
                                 SettingCase{"MistSettingName", "UNDERWATER_MIST", true, 4},
                                 SettingCase{"GroundSettingName", "WOODLAND_MIST_GROUND", true, 8},
                                 SettingCase{"GroundSettingName", "RAINSTORM_DROP", false, 77},
                                 SettingCase{"CloudSettingsName", "Default", false, 77}}) {
        int32_t index = 77;
        EXPECT_EQ(EffectSettingIndex(c.field, c.text, index), c.ok) << c.text;
        EXPECT_EQ(index, c.index) << c.text;
    }
    uint32_t hash = 0;
    EXPECT_TRUE(CloudSettingsHash("lightclouds", hash));
    EXPECT_EQ(hash, 0x1BF731FBu);
    EXPECT_FALSE(CloudSettingsHash("cirrus", hash));

    XmlValueRecord r;
    r.path = "WeatherTypes/RAIN/Sun";
    std::string status = "unchanged";
    float value = 0;
    for (const char* bad : {"1e999", "inf", "-nan"}) {
        r.currentText = bad;
        EXPECT_FALSE(ParseWeatherValue(r, value, status)) << bad;
        EXPECT_EQ(status, "Weather live failed: invalid value in WeatherTypes/RAIN/Sun.");
    }
    status = "unchanged";
    r.currentText = "abc";
    EXPECT_TRUE(ParseWeatherValue(r, value, status));
    EXPECT_EQ(value, 0.0f);
    r.currentText = "-12.5";
    EXPECT_TRUE(ParseWeatherValue(r, value, status));
    EXPECT_EQ(value, -12.5f);
    EXPECT_EQ(status, "unchanged");
}

TEST(WeatherXmlModel, PresentationHelpers) {
    struct GroupCase {
        const char* field;
        int32_t group;
        const char* name;
    };
    // The edges of each group in the field table.
    for (const GroupCase& c : {GroupCase{"Cloud", 1, "Sky"}, GroupCase{"windmin", 2, "Wind"}, GroupCase{"Fog", 3, "Weather"},
                               GroupCase{"RippleVelocityTransfer", 4, "Ripples"}, GroupCase{"OceanBumpiness", 5, "Ocean"},
                               GroupCase{"OceanWaveAmplitude", 6, "Waves"}, GroupCase{"ShoreWaveMaxAmplitude", 6, "Waves"},
                               GroupCase{"OceanFoamIntensity", 7, "Foam"}, GroupCase{"Lightning", 8, "Details"},
                               GroupCase{"GroundSettingName", 8, "Details"}, GroupCase{"CloudSettingsName", 9, "Clouds"},
                               GroupCase{"RippleScale", 0, "Other"}, GroupCase{"", 0, "Other"}}) {
        EXPECT_EQ(WeatherFieldGroup(c.field), c.group) << c.field;
        EXPECT_STREQ(WeatherFieldGroupName(c.field), c.name) << c.field;
    }
    EXPECT_EQ(WeatherPathLabel("WeatherTypes/RAIN/Fog"), "WeatherTypes / RAIN / Fog");
    EXPECT_EQ(WeatherPathLabel("WeatherGpuFx/THUNDER_DROP/gravity"), "WeatherGpuFx / THUNDER_DROP / gravity");
    EXPECT_EQ(WeatherPathLabel("WeatherTypes/RAIN/"), "WeatherTypes/RAIN/");
    EXPECT_EQ(WeatherPathLabel("MainWaterTune/FogMin.x"), "FogMin.x");
    EXPECT_EQ(WeatherPathLabel("Root"), "Root");
    EXPECT_EQ(FormatColorHex(1.0f, 0.5f, 0.0f, 1.0f), "0xFFFF8000");
    EXPECT_EQ(FormatColorHex(1.2f, -0.5f, 0.0f, 0.0f), "0x00FF0000");
    EXPECT_EQ(FormatColorHex(0.5f, 0.5f, 0.5f, 0.5f), "0x80808080");  // 127.5 rounds away from zero
}

}  // namespace
