// The document registry on the fake drive: where documents are found, how
// they load, reset, take edits and are written back; and the round trip of
// real game files (../shared/testdata/real and $VARNEL_EXTRA_TESTDATA) and
// generated render and weather.xml files: each loads, exports byte for byte
// when unedited, and with every value edited exports a text in which only
// the edited value texts differ, which reads back as the edited values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <filesystem>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "core/core_fixture.h"
#include "core/file_utils.h"
#include "platform/simulated.h"
#include "support/testdata.h"
#include "support/weather_docs.h"
#include "weather/document_io.h"
#include "weather/value_filters.h"
#include "weather/weather_documents.h"

namespace {

using namespace weather;

constexpr size_t kWatertune = 0;
constexpr size_t kLightning = 1;
constexpr size_t kWeatherXml = 2;
constexpr size_t kThunderDrop = 21;
constexpr size_t kSnowlightDrop = 20;

const char* const kWatertuneText =
    "<?xml version=\"1.0\"?>\r\n<MainWaterTune>\r\n  <WaterColor value=\"0x1A00191C\" />\r\n"
    "  <RippleScale value=\"1.0\" />\r\n  <FogMin x=\"-4000.000000\" y=\"-4000.000000\" />\r\n</MainWaterTune>";

// A different text that keeps the markup as it is and a number a number.
std::string EditedText(const XmlValueRecord& value, size_t n) {
    return value.kind == kXmlValueText ? "EDITED_" + std::to_string(n) : std::to_string(n % 89 + 100) + ".125";
}

class WeatherDocumentsTest : public coretest::CoreTest {
protected:
    static WeatherDocument& Doc(size_t index) { return WeatherDocuments.WeatherDocumentRegistry[index]; }
    static std::string Imports(const std::string& rest) { return InVrn("Imports\\" + rest); }
    static std::string Exports(const std::string& rest) { return InVrn("Exports\\" + rest); }
    // Puts text as the document's import copy and loads it.
    void Load(size_t row, const std::string& text) {
        PutFile(Imports("Weather Files\\" + WeatherDocumentDisplayName(Doc(row))), text);
        ASSERT_TRUE(LoadWeatherDocument(row, status)) << status;
    }
    // Loads original as the import copy of row, exports it unedited, then
    // with every value edited, and loads the edited export again.
    void RoundTrip(const std::string& label, size_t row, const std::string& original, bool wellFormed) {
        SCOPED_TRACE(label);
        ReleaseWeatherDocuments();
        RemoveFilesUnder(InVrn("Imports\\"));  // nothing of an earlier case is read in this one
        WeatherDocument& d = WeatherDocuments.WeatherDocumentRegistry[row];
        const std::string name = WeatherDocumentDisplayName(d);
        const std::string importPath = InVrn("Imports\\Weather Files\\" + name);
        const std::string exportPath = InVrn("Exports\\Weather Files\\" + name);
        PutFile(importPath, original);
        ASSERT_TRUE(LoadWeatherDocument(row, status)) << status;
        ++loaded_;
        EXPECT_TRUE(!wellFormed || status == "Loaded " + name + ".") << status;  // no warnings
        ASSERT_FALSE(d.values.empty());
        EXPECT_EQ(testsupport::RecordsFault(original, d.values), "");
        ASSERT_TRUE(SaveMiscXml(row, 0, status)) << status;
        EXPECT_TRUE(GetFile(exportPath) == original) << "unedited export differs";

        for (size_t i = 0; i < d.values.size(); ++i)
            ASSERT_TRUE(SetWeatherValueText(d, i, EditedText(d.values[i], i), status)) << status;
        ASSERT_TRUE(SaveMiscXml(row, 0, status)) << status;
        const std::string edited = GetFile(exportPath);
        EXPECT_TRUE(edited == testsupport::Spliced(original, d.values)) << "edited export differs outside the edited values";

        std::vector<std::string> before;
        for (const XmlValueRecord& v : d.values) before.push_back(v.path + "=" + v.currentText);
        PutFile(importPath, edited);
        ASSERT_TRUE(LoadWeatherDocument(row, status)) << status;
        std::vector<std::string> after;
        for (const XmlValueRecord& v : d.values) after.push_back(v.path + "=" + v.originalText);
        EXPECT_EQ(after, before);
    }


    std::string status;
    size_t loaded_ = 0;
};

TEST_F(WeatherDocumentsTest, NamesAndOtherDocuments) {
    EXPECT_EQ(FindWeatherDocumentIndex("WEATHER/Thunder_Render_Drop.xml"), -1);  // the separator is part of the key
    EXPECT_EQ(FindWeatherDocumentIndex("WEATHER\\Thunder_Render_Drop.XML"), static_cast<int32_t>(kThunderDrop));
    EXPECT_TRUE(IsWeatherSubfolderFile("Weather/x.xml"));
    EXPECT_FALSE(IsWeatherSubfolderFile("weathers\\x.xml") || IsWeatherSubfolderFile("weather.xml"));
    const WeatherDocument other{"carcols.xml", "Other", "Misc"};
    EXPECT_EQ(WeatherDocumentImportPath(other), Imports("Misc\\carcols.xml"));
    EXPECT_EQ(WeatherDocumentExportPath(other), Exports("Misc\\carcols.xml"));
}

TEST_F(WeatherDocumentsTest, ReadOrderOfTheCopies) {
    const WeatherDocument& d = Doc(kThunderDrop);
    std::string text;
    std::string path = "stale";
    EXPECT_FALSE(ReadWeatherDocumentText(d, text, path));
    EXPECT_TRUE(path.empty());
    EXPECT_FALSE(WeatherDocumentSourceExists(d));
    // Each copy, once there, is read before the ones put before it.
    const std::pair<std::string, bool> copies[] = {{InVrn("Misc\\weather\\thunder_render_drop.xml"), false},
                                                   {Imports("Misc\\weather\\thunder_render_drop.xml"), true},
                                                   {Imports("Weather Files\\thunder_render_drop.xml"), true}};
    for (const auto& [copy, isImport] : copies) {
        PutFile(copy, copy);
        EXPECT_EQ(WeatherDocumentImportExists(d), isImport) << copy;
        EXPECT_TRUE(WeatherDocumentSourceExists(d));
        ASSERT_TRUE(ReadWeatherDocumentText(d, text, path));
        EXPECT_EQ(text, copy);
        EXPECT_EQ(path, copy);
    }

    // A folder where the import copy belongs is no import copy.
    ASSERT_TRUE(std::filesystem::create_directories(Host(Imports("Weather Files\\watertune.xml"))));
    EXPECT_FALSE(WeatherDocumentImportExists(Doc(kWatertune)));
    PutFile(InVrn("Misc\\watertune.xml"), kWatertuneText);
    ASSERT_TRUE(LoadWeatherDocument(kWatertune, status)) << status;
    EXPECT_EQ(Doc(kWatertune).sourcePath, InVrn("Misc\\watertune.xml"));
}

TEST_F(WeatherDocumentsTest, LoadStatuses) {
    // A workspace copy is there, yet a broken import copy is what loads.
    PutFile(InVrn("Misc\\watertune.xml"), kWatertuneText);
    const std::string weatherXml = testsupport::GenerateWeatherXml({});
    // Row, import copy (none when empty), status.
    const std::tuple<size_t, std::string, std::string> cases[] = {
        {27, "", "Load failed: invalid Misc .xml index."},
        {kThunderDrop, "", "Load failed: thunder_render_drop.xml not found in VRN\\Imports\\Weather Files or VRN\\Misc."},
        {kWatertune, "<MainWaterTune><A b=\"1\"/></MainWaterTune>",
         "Load failed: no editable value/x/y/z/w attributes found in watertune.xml."},
        {kWeatherXml,
         "<CContentsOfWeatherXmlFile><VersionNumber value=\"1.0\"/><WeatherCycles><Item><TimeMult value=\"2\"/>"
         "</Item></WeatherCycles></CContentsOfWeatherXmlFile>",
         "Load failed: weather.xml has no live-supported WeatherTypes or WeatherGpuFx values."},
        {kLightning, "<V><A value=\"1\"/><B value=2/></V>", "Loaded vfxlightningsettings.xml. Warnings: 1."},
        {kWeatherXml, weatherXml + "<Stray value=x/>", "Loaded weather.xml. Warnings: 1."},
        {kWatertune, std::string(kWatertuneText) + "<!-- <Hidden value=\"1\"/>", "Loaded watertune.xml. Warnings: 1."},
        {kWatertune, kWatertuneText, "Loaded watertune.xml."},
    };
    for (const auto& [row, importText, expected] : cases) {
        SCOPED_TRACE(expected);
        if (!importText.empty()) PutFile(Imports("Weather Files\\" + WeatherDocumentDisplayName(Doc(row))), importText);
        const bool ok = expected.compare(0, 6, "Loaded") == 0;
        EXPECT_EQ(LoadWeatherDocument(row, status), ok);
        EXPECT_EQ(status, expected);
        if (row >= kWeatherDocumentCount) continue;
        EXPECT_EQ(Doc(row).loaded, ok ? 1 : 0);
        EXPECT_EQ(Doc(row).sourceText.empty(), !ok);
    }
    EXPECT_EQ(Doc(kWeatherXml).values.size(), 17u * 31u + 48u);  // only the model's values
    EXPECT_EQ(Doc(kWatertune).sourcePath, Imports("Weather Files\\watertune.xml"));
}

TEST_F(WeatherDocumentsTest, EditsResetsAndReloads) {
    Load(kWatertune, kWatertuneText);
    WeatherDocument& d = Doc(kWatertune);
    const uint64_t start = WeatherDocuments.DocumentEditGeneration;
    ResetWeatherDocument(d);  // nothing edited: the generation still moves on
    EXPECT_EQ(d.editGeneration, start + 1);
    ASSERT_TRUE(SetWeatherValueText(d, 2, "-1", status));
    ResetWeatherValue(d, 2);
    EXPECT_EQ(d.values[2].currentText, d.values[2].originalText);
    EXPECT_FLOAT_EQ(d.values[2].floatValue, -4000.0f);
    ASSERT_TRUE(SetWeatherValueText(d, 1, "2.5", status));
    EXPECT_FLOAT_EQ(d.values[1].floatValue, 2.5f);  // the kind stays float
    EXPECT_EQ(d.editGeneration, start + 4);

    // Failed re-loads (no values, then no file) leave the document as it was.
    PutFile(Imports("Weather Files\\watertune.xml"), "<MainWaterTune/>");
    EXPECT_FALSE(LoadWeatherDocument(kWatertune, status));
    std::filesystem::remove(Host(Imports("Weather Files\\watertune.xml")));
    EXPECT_FALSE(LoadWeatherDocument(kWatertune, status));
    EXPECT_EQ(d.loaded, 1);
    EXPECT_EQ(d.sourceText, kWatertuneText);
    EXPECT_EQ(d.sourcePath, Imports("Weather Files\\watertune.xml"));
    EXPECT_EQ(d.values[1].currentText, "2.5");
    EXPECT_EQ(d.editGeneration, start + 4);
    ResetWeatherDocument(d);
    EXPECT_EQ(d.values[1].currentText, "1.0");
    EXPECT_FLOAT_EQ(d.values[1].floatValue, 1.0f);
    // A load that succeeds drops the edits.
    ASSERT_TRUE(SetWeatherValueText(d, 1, "3", status));
    Load(kWatertune, kWatertuneText);
    EXPECT_EQ(d.values[1].currentText, "1.0");
    EXPECT_EQ(d.editGeneration, 0u);

    // weather.xml: a re-load whose model is empty keeps the old text too.
    const std::string good = testsupport::GenerateWeatherXml({});
    Load(kWeatherXml, good);
    PutFile(Imports("Weather Files\\weather.xml"), "<CContentsOfWeatherXmlFile><V value=\"1\"/></CContentsOfWeatherXmlFile>");
    EXPECT_FALSE(LoadWeatherDocument(kWeatherXml, status));
    EXPECT_EQ(Doc(kWeatherXml).sourceText, good);
    EXPECT_EQ(Doc(kWeatherXml).values.size(), 17u * 31u + 48u);
}

TEST_F(WeatherDocumentsTest, TypedTextThatWouldBreakTheMarkupIsRefused) {
    Load(kWeatherXml, testsupport::GenerateWeatherXml({}));
    WeatherDocument& d = Doc(kWeatherXml);
    size_t cloud = 0;
    while (d.values[cloud].path != "WeatherTypes/EXTRASUNNY/CloudSettingsName") ++cloud;
    const uint64_t generation = d.editGeneration;
    for (const std::string& bad : std::vector<std::string>{"a\"b", "it's", "<b>", "x>y", "R&D", std::string("a\0b", 3), "\x1b[0m"}) {
        status.clear();
        EXPECT_FALSE(SetWeatherValueText(d, cloud, bad, status)) << bad;
        EXPECT_EQ(status, "Value change refused: quotes, <, >, & and control characters cannot be written into "
                          "WeatherTypes/EXTRASUNNY/CloudSettingsName.");
    }
    EXPECT_EQ(d.values[cloud].currentText, d.values[cloud].originalText);
    EXPECT_EQ(d.editGeneration, generation);
    EXPECT_TRUE(SetWeatherValueText(d, cloud, "tab\tand\r\nlines \xE2\x99\xA5", status));
    EXPECT_FALSE(SetWeatherValueText(d, d.values.size(), "1", status));
    EXPECT_EQ(status, "Value change failed: weather.xml has no such value.");

    // A number of a number array takes one finite number, or the array
    // would change its length (or drop every value) when read again.
    WeatherDocument& w = Doc(kWatertune);
    Load(kWatertune, "<MainWaterTune><F content=\"float_array\">1 2 3</F></MainWaterTune>");
    for (const char* bad : {"", "4 5", " 4", "4 ", "abc", "inf", "nan", "1e39", "4,5"}) {
        EXPECT_FALSE(SetWeatherValueText(w, 1, bad, status)) << bad;
        EXPECT_EQ(status, "Value change refused: MainWaterTune/F[2] takes one finite number.");
    }
    for (const char* good : {"-4.5", "1e3", "0x1p3"}) EXPECT_TRUE(SetWeatherValueText(w, 1, good, status)) << good;

    // No length limit: a long name goes in whole and comes out whole.
    const std::string longName(300, 'N');
    ASSERT_TRUE(SetWeatherValueText(d, cloud, longName, status));
    ASSERT_TRUE(SaveMiscXml(kWeatherXml, 0, status)) << status;
    EXPECT_NE(GetFile(Exports("Weather Files\\weather.xml")).find("<CloudSettingsName>" + longName + "</"), std::string::npos);
}

TEST_F(WeatherDocumentsTest, SpliceWriterSkipsOverlappingAndOutOfRangeEdits) {
    WeatherDocument d{"watertune.xml", "Watertune", "Water"};
    d.sourceText = "<A value=\"1.0\" w=\"2\"/>";
    uint64_t warnings = 0;
    ASSERT_TRUE(ScanXmlValues(d.sourceText, d.values, warnings));
    d.values[0].currentText = "12.25";
    // Of overlapping edits the lower start wins; ranges beyond the text or inverted are skipped.
    const std::tuple<uint64_t, uint64_t, const char*> extra[] = {{11, 13, "X"}, {100, 101, "Y"}, {19, 18, "Z"}};
    for (const auto& [start, end, text] : extra) {
        d.values.push_back(d.values[1]);
        d.values.back().startOffset = start;
        d.values.back().endOffset = end;
        d.values.back().currentText = text;
    }
    std::string out;
    uint64_t edits = 0;
    WriteMiscXml(out, d, edits);
    EXPECT_EQ(out, "<A value=\"12.25\" w=\"2\"/>");
    EXPECT_EQ(edits, 4u);
}

TEST_F(WeatherDocumentsTest, ExportAndSave) {
    EXPECT_FALSE(SaveMiscXml(27, 1, status));
    EXPECT_EQ(status, "Export failed: invalid Misc .xml index.");
    EXPECT_FALSE(SaveMiscXml(kSnowlightDrop, 0, status));  // never loaded, nowhere to load from
    EXPECT_EQ(status, "Load failed: snowlight_render_drop.xml not found in VRN\\Imports\\Weather Files or VRN\\Misc.");

    const std::string render = testsupport::GenerateRenderDocument(3);
    PutFile(InVrn("Misc\\weather\\snowlight_render_drop.xml"), render);
    ASSERT_TRUE(SaveMiscXml(kSnowlightDrop, 0, status));  // loads first
    EXPECT_EQ(status, "Exported snowlight_render_drop.xml.");
    const std::string exported = Exports("Weather Files\\snowlight_render_drop.xml");
    EXPECT_EQ(GetFile(exported), render);

    // A failed export keeps the previous one.
    WeatherDocument& d = Doc(kSnowlightDrop);
    ASSERT_TRUE(SetWeatherValueText(d, 0, "7", status));
    platform::sim::FailWritesTo(exported, true);
    EXPECT_FALSE(SaveMiscXml(kSnowlightDrop, 0, status));
    EXPECT_EQ(status, "Export failed: " + exported + " not writable.");
    EXPECT_EQ(GetFile(exported), render);
    platform::sim::FailWritesTo(exported, false);
    ASSERT_TRUE(SaveMiscXml(kSnowlightDrop, 0, status));
    namespace fs = std::filesystem;
    EXPECT_EQ(std::distance(fs::directory_iterator(Host(Exports("Weather Files\\"))), fs::directory_iterator()), 1)
        << "a temporary file or a \"weather\" subfolder was left";

    // Save mode: the source was the workspace copy, so a new import copy is written...
    EXPECT_FALSE(LoadedFromImportCopy(d));
    ASSERT_TRUE(SaveMiscXml(kSnowlightDrop, 1, status));
    EXPECT_EQ(status, "Wrote import snowlight_render_drop.xml.");
    const std::string written = GetFile(Imports("Weather Files\\snowlight_render_drop.xml"));
    EXPECT_EQ(written, GetFile(exported));
    EXPECT_EQ(d.sourceText, render);  // the document itself is unchanged
    EXPECT_EQ(d.sourcePath, InVrn("Misc\\weather\\snowlight_render_drop.xml"));
    // ...and once loaded from the import copy it is overwritten in place.
    ASSERT_TRUE(LoadWeatherDocument(kSnowlightDrop, status));
    EXPECT_TRUE(LoadedFromImportCopy(d));
    ASSERT_TRUE(SaveMiscXml(kSnowlightDrop, 1, status));
    EXPECT_EQ(status, "Overwrote snowlight_render_drop.xml.");
    EXPECT_EQ(GetFile(Imports("Weather Files\\snowlight_render_drop.xml")), written);
    d.sourcePath = "  \"" + Imports("WEATHER FILES\\Snowlight_Render_Drop.xml") + "\" ";
    EXPECT_TRUE(LoadedFromImportCopy(d));  // paths compare trimmed, unquoted, ignoring case
}

// A file just under the size cap loads whole (no limit of the scan cuts it)
// and exports byte for byte. (Over the cap: the file tests.)
TEST_F(WeatherDocumentsTest, AFileJustUnderTheSizeCapLoadsWhole) {
    const std::string item = "<Item><Sun value=\"0.5\"/><FogMin x=\"-4000.0\" y=\"12\"/><F content=\"float_array\">1 2 3</F>"
                             "<!-- " + std::string(900, '~') + " --></Item>\n";
    std::string big = "<Root>\n";
    while (big.size() + item.size() + 8 < core::kMaxFileBytes) big += item;
    big += "</Root>\n";
    Load(kLightning, big);
    EXPECT_GT(Doc(kLightning).values.size(), 300000u);
    EXPECT_EQ(Doc(kLightning).warningCount, 0u);
    ASSERT_TRUE(SaveMiscXml(kLightning, 0, status));
    EXPECT_TRUE(GetFile(Exports("Weather Files\\vfxlightningsettings.xml")) == big);
}

// What the collected files are known to hold: the number of values (0: not
// checked) and one value each must have.
struct Known {
    const char* relative;
    size_t values;
    const char* path;
};
const Known kKnownFiles[] = {
    {"/real/weather/drkm9743__LibertyCityM/weather.xml", 14 * 31 + 48, "WeatherGpuFx/RAINSTORM_DROP/gravity"},
    {"/real/weather/iso-modding__gta5_FiveM_basic_visualmod/weather.xml", 15 * 31 + 48, "WeatherTypes/XMAS/Snow"},
    {"/real/watertune/drkm9743__LibertyCityM/watertune.xml", 20, "MainWaterTune/FogMax.y"},
    {"/real/watertune/IDKFORCE__fs-graphics/watertune.xml", 20, "MainWaterTune/FogMax.y"},
    // The comment before the declaration hides nothing.
    {"/real/vfxlightning/IDKFORCE__fs-graphics/vfxlightningsettings.xml", 0, "VfxLightningSettings/lightningOccurranceChance"},
};

TEST_F(WeatherDocumentsTest, RealFilesRoundTrip) {
    const std::string shared = testsupport::SharedTestdataDir();
    size_t known = 0;
    for (const char* kind : {"weather", "watertune", "vfxlightning"}) {
        const size_t before = loaded_;
        const auto files = testsupport::RealFiles(kind);
        for (const std::string& file : files) {
            // Which registry row: by base name, render files also under "weather\".
            const std::string base = std::filesystem::path(file).filename().string();
            int32_t row = FindWeatherDocumentIndex(base);
            if (row < 0) row = FindWeatherDocumentIndex("weather\\" + base);
            if (row < 0) continue;  // not a weather-family document
            // The collected files are all well formed for the scanner.
            const bool collected = !shared.empty() && file.compare(0, shared.size(), shared) == 0;
            RoundTrip(file, static_cast<size_t>(row), ReadHostFile(file), collected);
            for (const Known& k : kKnownFiles) {
                if (file != shared + k.relative) continue;
                const std::vector<XmlValueRecord>& values = WeatherDocuments.WeatherDocumentRegistry[static_cast<size_t>(row)].values;
                EXPECT_EQ(values.size(), k.values ? k.values : values.size()) << file;
                EXPECT_TRUE(std::any_of(values.begin(), values.end(), [&](auto& v) { return v.path == k.path; })) << k.path;
                ++known;
            }
        }
        EXPECT_TRUE(files.empty() || loaded_ > before) << kind;
    }
    if (loaded_ == 0) GTEST_SKIP() << "no real weather-family files: ../shared/testdata/real is absent and "
                                      "VARNEL_EXTRA_TESTDATA is not set";
    EXPECT_EQ(known, static_cast<size_t>(std::count_if(std::begin(kKnownFiles), std::end(kKnownFiles), [&](const Known& k) {
                  return !shared.empty() && std::filesystem::exists(shared + k.relative);
              })));
}

// Wraps every element of the given names in a <Group> element: a field one
// level deeper in its item.
std::string NestElements(std::string text, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const std::string open = std::string("<") + name;
        const std::string close = std::string("</") + name + ">";
        for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
            const char next = at + open.size() < text.size() ? text[at + open.size()] : '\0';
            if (std::isalnum(static_cast<unsigned char>(next)) || next == '_') continue;  // a longer name
            const size_t gt = text.find('>', at);
            if (gt == std::string::npos) break;
            size_t end = text[gt - 1] == '/' ? gt + 1 : text.find(close, gt);
            if (end == std::string::npos) break;
            if (text[gt - 1] != '/') end += close.size();
            text.insert(end, "</Group>");
            text.insert(at, "<Group>");
            at += 7;
        }
    }
    return text;
}

// A hand-edited weather.xml, under another root and with its fields and item
// names one element deeper in their items, loads the values of the file it
// was made from and takes the same round trip.
TEST_F(WeatherDocumentsTest, HandEditedWeatherXmlLoadsTheSameValues) {
    std::vector<std::pair<std::string, std::string>> files = {{"generated", testsupport::GenerateWeatherXml({})}};
    for (const std::string& file : testsupport::RealFiles("weather")) {
        if (std::filesystem::path(file).filename() == "weather.xml") files.emplace_back(file, ReadHostFile(file));
    }
    const auto values = [&](const std::string& text) {
        Load(kWeatherXml, text);
        std::vector<std::string> list;
        for (const XmlValueRecord& v : Doc(kWeatherXml).values) list.push_back(v.path + "=" + v.originalText);
        return list;
    };
    for (const auto& [label, original] : files) {
        SCOPED_TRACE(label);
        std::string edited = original;
        for (size_t at = edited.find("CContentsOfWeatherXmlFile"); at != std::string::npos;
             at = edited.find("CContentsOfWeatherXmlFile", at)) {
            edited.replace(at, 25, "WeatherData");
        }
        edited = NestElements(edited, {"Name", "Sun", "Snow", "RippleSpeed", "OceanFoamIntensity", "Lightning",
                                       "DropSettingName", "CloudSettingsName", "windInfluence", "gravity"});
        ASSERT_NE(edited.find("<Group><Snow "), std::string::npos);
        const std::vector<std::string> expected = values(original);
        EXPECT_EQ(values(edited), expected);
        RoundTrip(label + " hand-edited", kWeatherXml, edited, true);
    }
}

// No render file could be collected: generated ones of all 24 render rows,
// with every line-ending style and BOMs, take the same round trip, as do
// generated weather.xml files.
TEST_F(WeatherDocumentsTest, GeneratedFilesRoundTrip) {
    for (size_t row = 3; row < kWeatherDocumentCount; ++row) {
        const auto ending = static_cast<testsupport::LineEnding>(row % 4);
        RoundTrip(WeatherDocuments.WeatherDocumentRegistry[row].fileName, row,
                  testsupport::GenerateRenderDocument(static_cast<uint32_t>(row), ending, row % 5 == 0), true);
        const WeatherDocument& d = WeatherDocuments.WeatherDocumentRegistry[row];
        EXPECT_EQ(CountShownValues(d, MiscXmlFilterState{}), 40u);  // every value maps onto a slot
    }
    for (uint32_t seed = 0; seed < 4; ++seed) {
        const auto ending = static_cast<testsupport::LineEnding>(seed);
        RoundTrip("generated weather.xml " + std::to_string(seed), 2,
                  testsupport::GenerateWeatherXml({.lineEnding = ending, .bom = seed == 1, .seed = seed}), true);
    }
    EXPECT_EQ(loaded_, 28u);
}

}  // namespace
