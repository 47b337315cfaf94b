// The document registry on the fake drive: where documents are found, how
// they load, reset, take edits and are written back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/simulated.h"
#include "shell/file_utils.h"
#include "support/weather_docs.h"
#include "weather/document_io.h"
#include "weather/weather_documents.h"
#include "weather/weather_fixture.h"

namespace {

using namespace weather;

constexpr size_t kWatertune = 0;
constexpr size_t kLightning = 1;
constexpr size_t kWeatherXml = 2;
constexpr size_t kThunderDrop = 21;
constexpr size_t kSnowlightDrop = 20;
constexpr size_t kRainstormDrop = 14;

const char* const kWatertuneText =
    "<?xml version=\"1.0\"?>\r\n<MainWaterTune>\r\n  <WaterColor value=\"0x1A00191C\" />\r\n"
    "  <RippleScale value=\"1.0\" />\r\n  <FogMin x=\"-4000.000000\" y=\"-4000.000000\" />\r\n</MainWaterTune>";

class WeatherDocumentsTest : public weathertest::WeatherDocsTest {
protected:
    static WeatherDocument& Doc(size_t index) { return WeatherDocumentRegistry[index]; }
    static std::string Imports(const std::string& rest) { return InVrn("Imports\\" + rest); }
    static std::string Exports(const std::string& rest) { return InVrn("Exports\\" + rest); }
};

TEST_F(WeatherDocumentsTest, RegistryRowsAndNames) {
    ASSERT_EQ(WeatherDocumentRegistry.size(), 27u);
    for (const WeatherDocument& d : WeatherDocumentRegistry) {
        EXPECT_TRUE(IsWeatherFolderFile(d)) << d.fileName;
        EXPECT_EQ(d.loaded, 0);
    }
    EXPECT_STREQ(Doc(kThunderDrop).fileName, "weather\\thunder_render_drop.xml");
    EXPECT_STREQ(Doc(kThunderDrop).title, "Thunder Render Drop");
    EXPECT_STREQ(Doc(kWatertune).category, "Water");
    EXPECT_EQ(WeatherDocumentDisplayName(Doc(kThunderDrop)), "thunder_render_drop.xml");
    EXPECT_EQ(WeatherDocumentDisplayName(Doc(kWeatherXml)), "weather.xml");
    EXPECT_EQ(WeatherDocumentFileName(Doc(kThunderDrop)), "weather\\thunder_render_drop.xml");
    EXPECT_EQ(WideFileName(Doc(kWatertune)), L"watertune.xml");
    EXPECT_EQ(FindWeatherDocumentIndex("WEATHER/Thunder_Render_Drop.xml"), -1);  // the separator is part of the key
    EXPECT_EQ(FindWeatherDocumentIndex("WEATHER\\Thunder_Render_Drop.XML"), static_cast<int32_t>(kThunderDrop));
    EXPECT_FALSE(IsWeatherSubfolderFile("weather.xml"));
    EXPECT_TRUE(IsWeatherSubfolderFile("Weather/x.xml"));
    EXPECT_FALSE(IsWeatherSubfolderFile("weathers\\x.xml"));
    WeatherDocument other{"carcols.xml", "Other", "Misc"};
    EXPECT_FALSE(IsWeatherFolderFile(other));
    EXPECT_EQ(WeatherDocumentDisplayName(other), "carcols.xml");
    EXPECT_EQ(WeatherDocumentImportPath(other), Imports("Misc\\carcols.xml"));
    EXPECT_EQ(WeatherDocumentExportPath(other), Exports("Misc\\carcols.xml"));
}

TEST_F(WeatherDocumentsTest, PathsOfARenderDocument) {
    const WeatherDocument& d = Doc(kThunderDrop);
    EXPECT_EQ(WeatherDocumentImportPath(d), Imports("Weather Files\\thunder_render_drop.xml"));
    EXPECT_EQ(WeatherDocumentMiscImportPath(d), Imports("Misc\\weather\\thunder_render_drop.xml"));
    EXPECT_EQ(WeatherDocumentWorkspacePath(d), InVrn("Misc\\weather\\thunder_render_drop.xml"));
    EXPECT_EQ(WeatherDocumentExportPath(d), Exports("Weather Files\\thunder_render_drop.xml"));
    EXPECT_EQ(WeatherDocumentImportReadPath(d), Imports("Weather Files\\thunder_render_drop.xml"));
    EXPECT_FALSE(WeatherDocumentImportExists(d));
    EXPECT_FALSE(WeatherDocumentSourceExists(d));
}

TEST_F(WeatherDocumentsTest, ReadFallbacks) {
    const WeatherDocument& d = Doc(kThunderDrop);
    std::string text;
    std::string path = "stale";
    EXPECT_FALSE(ReadWeatherDocumentText(d, text, path));
    EXPECT_TRUE(path.empty());

    PutFile(InVrn("Misc\\weather\\thunder_render_drop.xml"), "workspace");
    EXPECT_FALSE(WeatherDocumentImportExists(d));
    EXPECT_TRUE(WeatherDocumentSourceExists(d));
    ASSERT_TRUE(ReadWeatherDocumentText(d, text, path));
    EXPECT_EQ(text, "workspace");
    EXPECT_EQ(path, InVrn("Misc\\weather\\thunder_render_drop.xml"));

    PutFile(Imports("Misc\\weather\\thunder_render_drop.xml"), "misc import");
    EXPECT_TRUE(WeatherDocumentImportExists(d));
    EXPECT_EQ(WeatherDocumentImportReadPath(d), Imports("Misc\\weather\\thunder_render_drop.xml"));
    ASSERT_TRUE(ReadWeatherDocumentText(d, text, path));
    EXPECT_EQ(text, "misc import");

    PutFile(Imports("Weather Files\\thunder_render_drop.xml"), "import");
    ASSERT_TRUE(ReadWeatherDocumentText(d, text, path));
    EXPECT_EQ(text, "import");
    EXPECT_EQ(path, Imports("Weather Files\\thunder_render_drop.xml"));
}

TEST_F(WeatherDocumentsTest, DirectoryAtImportPathCountsAsMissing) {
    const WeatherDocument& d = Doc(kWatertune);
    ASSERT_TRUE(std::filesystem::create_directories(Host(Imports("Weather Files\\watertune.xml"))));
    EXPECT_FALSE(WeatherDocumentImportExists(d));
    PutFile(InVrn("Misc\\watertune.xml"), kWatertuneText);
    std::string status;
    ASSERT_TRUE(LoadWeatherDocument(kWatertune, status)) << status;
    EXPECT_EQ(Doc(kWatertune).sourcePath, InVrn("Misc\\watertune.xml"));
}

TEST_F(WeatherDocumentsTest, LoadStatusesAndState) {
    std::string status;
    EXPECT_FALSE(LoadWeatherDocument(27, status));
    EXPECT_EQ(status, "Load failed: invalid Misc .xml index.");

    EXPECT_FALSE(LoadWeatherDocument(kThunderDrop, status));
    EXPECT_EQ(status, "Load failed: thunder_render_drop.xml not found in VRN\\Imports\\Weather Files or VRN\\Misc.");
    EXPECT_EQ(Doc(kThunderDrop).loaded, 0);

    PutFile(Imports("Weather Files\\watertune.xml"), "<MainWaterTune><A b=\"1\"/></MainWaterTune>");
    EXPECT_FALSE(LoadWeatherDocument(kWatertune, status));
    EXPECT_EQ(status, "Load failed: no editable value/x/y/z/w attributes found in watertune.xml.");
    EXPECT_EQ(Doc(kWatertune).loaded, 0);

    PutFile(InVrn("Misc\\watertune.xml"), kWatertuneText);  // the broken import copy still wins
    EXPECT_FALSE(LoadWeatherDocument(kWatertune, status));

    PutFile(Imports("Weather Files\\watertune.xml"), kWatertuneText);
    ASSERT_TRUE(LoadWeatherDocument(kWatertune, status));
    EXPECT_EQ(status, "Loaded watertune.xml.");
    const WeatherDocument& d = Doc(kWatertune);
    EXPECT_EQ(d.loaded, 1);
    EXPECT_EQ(d.sourceText, kWatertuneText);
    EXPECT_EQ(d.sourcePath, Imports("Weather Files\\watertune.xml"));
    ASSERT_EQ(d.values.size(), 4u);
    EXPECT_EQ(d.values[3].path, "MainWaterTune/FogMin.y");
    EXPECT_EQ(d.editGeneration, 0u);

    PutFile(Imports("Weather Files\\vfxlightningsettings.xml"), "<V><A value=\"1\"/><B value=2/></V>");
    ASSERT_TRUE(LoadWeatherDocument(kLightning, status));
    EXPECT_EQ(status, "Loaded vfxlightningsettings.xml. Warnings: 1.");
    EXPECT_EQ(Doc(kLightning).warningCount, 1u);
}

TEST_F(WeatherDocumentsTest, WeatherXmlLoadKeepsOnlyModelValues) {
    std::string status;
    PutFile(Imports("Weather Files\\weather.xml"),
            "<CContentsOfWeatherXmlFile><VersionNumber value=\"1.0\"/><WeatherCycles><Item><TimeMult value=\"2\"/>"
            "</Item></WeatherCycles></CContentsOfWeatherXmlFile>");
    EXPECT_FALSE(LoadWeatherDocument(kWeatherXml, status));
    EXPECT_EQ(status, "Load failed: weather.xml has no live-supported WeatherTypes or WeatherGpuFx values.");
    EXPECT_EQ(Doc(kWeatherXml).loaded, 0);
    EXPECT_TRUE(Doc(kWeatherXml).sourceText.empty());

    testsupport::WeatherXmlOptions options;
    const std::string text = testsupport::GenerateWeatherXml(options) + "<Stray value=x/>";
    PutFile(Imports("Weather Files\\weather.xml"), text);
    ASSERT_TRUE(LoadWeatherDocument(kWeatherXml, status));
    EXPECT_EQ(status, "Loaded weather.xml. Warnings: 1.");
    EXPECT_EQ(Doc(kWeatherXml).values.size(), 17u * 31u + 48u);
}

TEST_F(WeatherDocumentsTest, FailedReloadLeavesTheDocumentAsItWas) {
    std::string status;
    PutFile(Imports("Weather Files\\watertune.xml"), kWatertuneText);
    ASSERT_TRUE(LoadWeatherDocument(kWatertune, status));
    WeatherDocument& d = Doc(kWatertune);
    ASSERT_TRUE(SetWeatherValueText(d, 1, "2.5", status));
    const std::string text = d.sourceText;
    const std::string path = d.sourcePath;
    const uint64_t generation = d.editGeneration;

    const auto expectUnchanged = [&] {
        EXPECT_EQ(d.loaded, 1);
        EXPECT_EQ(d.sourceText, text);
        EXPECT_EQ(d.sourcePath, path);
        ASSERT_EQ(d.values.size(), 4u);
        EXPECT_EQ(d.values[1].currentText, "2.5");
        EXPECT_FLOAT_EQ(d.values[1].floatValue, 2.5f);
        EXPECT_EQ(d.editGeneration, generation);
    };
    PutFile(Imports("Weather Files\\watertune.xml"), "<MainWaterTune/>");  // no values
    EXPECT_FALSE(LoadWeatherDocument(kWatertune, status));
    EXPECT_EQ(status, "Load failed: no editable value/x/y/z/w attributes found in watertune.xml.");
    expectUnchanged();
    std::filesystem::remove(Host(Imports("Weather Files\\watertune.xml")));  // gone
    EXPECT_FALSE(LoadWeatherDocument(kWatertune, status));
    EXPECT_EQ(status, "Load failed: watertune.xml not found in VRN\\Imports\\Weather Files or VRN\\Misc.");
    expectUnchanged();

    // weather.xml: a re-load whose model is empty keeps the old text too.
    testsupport::WeatherXmlOptions options;
    const std::string good = testsupport::GenerateWeatherXml(options);
    PutFile(Imports("Weather Files\\weather.xml"), good);
    ASSERT_TRUE(LoadWeatherDocument(kWeatherXml, status));
    PutFile(Imports("Weather Files\\weather.xml"), "<CContentsOfWeatherXmlFile><V value=\"1\"/></CContentsOfWeatherXmlFile>");
    EXPECT_FALSE(LoadWeatherDocument(kWeatherXml, status));
    EXPECT_EQ(Doc(kWeatherXml).sourceText, good);
    EXPECT_EQ(Doc(kWeatherXml).loaded, 1);
    EXPECT_EQ(Doc(kWeatherXml).values.size(), 17u * 31u + 48u);
}

TEST_F(WeatherDocumentsTest, ResetAndEditGenerations) {
    std::string status;
    PutFile(Imports("Weather Files\\watertune.xml"), kWatertuneText);
    ASSERT_TRUE(LoadWeatherDocument(kWatertune, status));
    WeatherDocument& d = Doc(kWatertune);
    const uint64_t start = DocumentEditGeneration;
    ResetWeatherDocument(d);  // nothing edited: the generation still moves on
    EXPECT_EQ(d.editGeneration, start + 1);
    ASSERT_TRUE(SetWeatherValueText(d, 1, "3", status));
    EXPECT_EQ(d.editGeneration, start + 2);
    EXPECT_FLOAT_EQ(d.values[1].floatValue, 3.0f);  // kind stays float
    ResetWeatherValue(d, 1);
    EXPECT_EQ(d.values[1].currentText, "1.0");
    EXPECT_EQ(d.editGeneration, start + 3);
    ASSERT_TRUE(SetWeatherValueText(d, 2, "-1", status));
    ResetWeatherDocument(d);
    EXPECT_EQ(d.values[2].currentText, d.values[2].originalText);
    EXPECT_FLOAT_EQ(d.values[2].floatValue, -4000.0f);
    EXPECT_EQ(d.loaded, 1);
    EXPECT_EQ(d.sourceText, kWatertuneText);

    // A new load drops the edits.
    ASSERT_TRUE(SetWeatherValueText(d, 2, "-1", status));
    ASSERT_TRUE(LoadWeatherDocument(kWatertune, status));
    EXPECT_EQ(d.values[2].currentText, d.values[2].originalText);
    EXPECT_EQ(d.editGeneration, 0u);
}

TEST_F(WeatherDocumentsTest, TypedTextThatWouldBreakTheMarkupIsRefused) {
    std::string status;
    PutFile(Imports("Weather Files\\weather.xml"), testsupport::GenerateWeatherXml({}));
    ASSERT_TRUE(LoadWeatherDocument(kWeatherXml, status));
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

    // No length limit: a long name goes in whole and comes out whole.
    const std::string longName(300, 'N');
    ASSERT_TRUE(SetWeatherValueText(d, cloud, longName, status));
    ASSERT_TRUE(SaveMiscXml(kWeatherXml, 0, status)) << status;
    EXPECT_NE(GetFile(Exports("Weather Files\\weather.xml")).find("<CloudSettingsName>" + longName + "</"), std::string::npos);
}

TEST_F(WeatherDocumentsTest, SpliceWriterReplacesOnlyEditedRanges) {
    WeatherDocument d{"watertune.xml", "Watertune", "Water"};
    d.sourceText = "<A value=\"1.0\" w=\"2\"/>";
    uint64_t warnings = 0;
    ASSERT_TRUE(ScanXmlValues(d.sourceText, d.values, warnings));
    std::string out;
    uint64_t edits = 9;
    WriteMiscXml(out, d, edits);
    EXPECT_EQ(out, d.sourceText);
    EXPECT_EQ(edits, 0u);

    d.values[0].currentText = "12.25";
    WriteMiscXml(out, d, edits);
    EXPECT_EQ(out, "<A value=\"12.25\" w=\"2\"/>");
    EXPECT_EQ(out.size(), d.sourceText.size() + 2);
    EXPECT_EQ(edits, 1u);

    // Overlapping edits: the lower start wins; ranges beyond the text are skipped.
    XmlValueRecord overlap = d.values[0];
    overlap.startOffset += 1;
    overlap.currentText = "X";
    d.values.push_back(overlap);
    XmlValueRecord beyond = d.values[1];
    beyond.startOffset = 100;
    beyond.endOffset = 101;
    beyond.currentText = "Y";
    d.values.push_back(beyond);
    XmlValueRecord inverted = d.values[1];
    inverted.startOffset = 19;
    inverted.endOffset = 18;
    inverted.currentText = "Z";
    d.values.push_back(inverted);
    WriteMiscXml(out, d, edits);
    EXPECT_EQ(out, "<A value=\"12.25\" w=\"2\"/>");
    EXPECT_EQ(edits, 4u);
}

TEST_F(WeatherDocumentsTest, ExportAndSave) {
    std::string status;
    EXPECT_FALSE(SaveMiscXml(27, 0, status));
    EXPECT_EQ(status, "Export failed: invalid Misc .xml index.");
    EXPECT_FALSE(SaveMiscXml(27, 1, status));
    EXPECT_EQ(status, "Export failed: invalid Misc .xml index.");
    EXPECT_FALSE(SaveMiscXml(kSnowlightDrop, 0, status));  // never loaded, nowhere to load from
    EXPECT_EQ(status, "Load failed: snowlight_render_drop.xml not found in VRN\\Imports\\Weather Files or VRN\\Misc.");

    const std::string render = testsupport::GenerateRenderDocument(3);
    PutFile(InVrn("Misc\\weather\\snowlight_render_drop.xml"), render);
    ASSERT_TRUE(SaveMiscXml(kSnowlightDrop, 0, status));  // loads first
    EXPECT_EQ(status, "Exported snowlight_render_drop.xml.");
    EXPECT_EQ(GetFile(Exports("Weather Files\\snowlight_render_drop.xml")), render);
    EXPECT_FALSE(Exists(Exports("Weather Files\\weather\\snowlight_render_drop.xml")));

    // Save mode: the source was the workspace copy, so a new import copy is written...
    WeatherDocument& d = Doc(kSnowlightDrop);
    ASSERT_TRUE(SetWeatherValueText(d, 0, "7", status));
    ASSERT_TRUE(SaveMiscXml(kSnowlightDrop, 1, status));
    EXPECT_EQ(status, "Wrote import snowlight_render_drop.xml.");
    const std::string written = GetFile(Imports("Weather Files\\snowlight_render_drop.xml"));
    EXPECT_NE(written, render);
    EXPECT_EQ(d.sourceText, render);  // the document itself is unchanged
    EXPECT_EQ(d.sourcePath, InVrn("Misc\\weather\\snowlight_render_drop.xml"));
    ASSERT_TRUE(SaveMiscXml(kSnowlightDrop, 1, status));
    EXPECT_EQ(status, "Wrote import snowlight_render_drop.xml.");
    // ...and once loaded from the import copy it is overwritten in place.
    ASSERT_TRUE(LoadWeatherDocument(kSnowlightDrop, status));
    ASSERT_TRUE(SaveMiscXml(kSnowlightDrop, 1, status));
    EXPECT_EQ(status, "Overwrote snowlight_render_drop.xml.");
    EXPECT_EQ(GetFile(Imports("Weather Files\\snowlight_render_drop.xml")), written);
}

TEST_F(WeatherDocumentsTest, FailedExportKeepsThePreviousExport) {
    std::string status;
    PutFile(Imports("Weather Files\\rainstorm_render_drop.xml"), testsupport::GenerateRenderDocument(5));
    ASSERT_TRUE(SaveMiscXml(kRainstormDrop, 0, status));
    const std::string target = Exports("Weather Files\\rainstorm_render_drop.xml");
    const std::string previous = GetFile(target);
    ASSERT_TRUE(SetWeatherValueText(Doc(kRainstormDrop), 0, "99", status));
    platform::sim::FailWritesTo(target, true);
    EXPECT_FALSE(SaveMiscXml(kRainstormDrop, 0, status));
    EXPECT_EQ(status, "Export failed: " + target + " not writable.");
    EXPECT_EQ(GetFile(target), previous);
    platform::sim::FailWritesTo(target, false);
    ASSERT_TRUE(SaveMiscXml(kRainstormDrop, 0, status));
    EXPECT_NE(GetFile(target), previous);
    std::error_code ec;
    std::filesystem::directory_iterator it(Host(Exports("Weather Files\\")), ec);
    size_t files = 0;
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) ++files;
    EXPECT_EQ(files, 1u);  // no temporary file left behind
}

TEST_F(WeatherDocumentsTest, LoadedFromImportCopy) {
    std::string status;
    EXPECT_FALSE(LoadedFromImportCopy(Doc(kThunderDrop)));
    PutFile(Imports("Misc\\weather\\thunder_render_drop.xml"), testsupport::GenerateRenderDocument(1));
    ASSERT_TRUE(LoadWeatherDocument(kThunderDrop, status));
    EXPECT_TRUE(LoadedFromImportCopy(Doc(kThunderDrop)));
    Doc(kThunderDrop).sourcePath = "  \"" + Imports("WEATHER FILES\\Thunder_Render_Drop.xml") + "\" ";
    EXPECT_TRUE(LoadedFromImportCopy(Doc(kThunderDrop)));
    Doc(kThunderDrop).sourcePath = InVrn("Misc\\weather\\thunder_render_drop.xml");
    EXPECT_FALSE(LoadedFromImportCopy(Doc(kThunderDrop)));
}

TEST_F(WeatherDocumentsTest, FilesNearTheSizeCap) {
    std::string status;
    const std::string big = testsupport::GenerateLargeDocument(static_cast<size_t>(shell::kMaxFileBytes) - 16);
    PutFile(Imports("Weather Files\\vfxlightningsettings.xml"), big);
    ASSERT_TRUE(LoadWeatherDocument(kLightning, status)) << status;
    EXPECT_GT(Doc(kLightning).values.size(), 300000u);
    EXPECT_EQ(status, "Loaded vfxlightningsettings.xml.");
    ASSERT_TRUE(SaveMiscXml(kLightning, 0, status));
    EXPECT_TRUE(GetFile(Exports("Weather Files\\vfxlightningsettings.xml")) == big);

    PutFile(Imports("Weather Files\\watertune.xml"), std::string(static_cast<size_t>(shell::kMaxFileBytes) + 1, ' '));
    EXPECT_FALSE(LoadWeatherDocument(kWatertune, status));
    EXPECT_EQ(Doc(kWatertune).loaded, 0);
}

}  // namespace
