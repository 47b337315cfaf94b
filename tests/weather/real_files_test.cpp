// Real game files (../shared/testdata/real and $VARNEL_EXTRA_TESTDATA): each
// loads, exports byte for byte when unedited, and with every value edited
// exports a text in which only the edited value texts differ.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/testdata.h"
#include "support/weather_docs.h"
#include "weather/document_io.h"
#include "weather/value_filters.h"
#include "weather/weather_documents.h"
#include "weather/weather_fixture.h"

namespace {

using namespace weather;

std::string ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool IsSharedFile(const std::string& path) {
    const std::string shared = testsupport::SharedTestdataDir();
    return !shared.empty() && path.compare(0, shared.size(), shared) == 0;
}

// Which registry row a real file is: by its base name, render files also
// under their "weather\" name. -1 when it is none of the 27.
int32_t RowOfFile(const std::string& path) {
    const std::string base = std::filesystem::path(path).filename().string();
    int32_t row = FindWeatherDocumentIndex(base);
    if (row < 0) row = FindWeatherDocumentIndex("weather\\" + base);
    return row;
}

// A different text of the same kind that keeps the markup as it is.
std::string EditedText(const XmlValueRecord& value, size_t n) {
    switch (value.kind) {
        case kXmlValueBool:
            return value.originalText == "true" ? "false" : "true";
        case kXmlValueInteger:
            return std::to_string(n % 97 + 1000);
        case kXmlValueHex:
            return "0xFF00" + std::to_string(n % 90 + 10);
        case kXmlValueText:
            return "EDITED_" + std::to_string(n);
        default:
            return std::to_string(n % 89 + 100) + ".125";
    }
}

class RealWeatherFiles : public weathertest::WeatherDocsTest {
protected:

    void RoundTrip(const std::string& file) {
        const int32_t row = RowOfFile(file);
        if (row < 0) return;  // not a weather-family document
        RoundTrip(file, static_cast<size_t>(row), ReadHostFile(file), IsSharedFile(file));
    }

    void RoundTrip(const std::string& label, size_t row, const std::string& original, bool wellFormed) {
        SCOPED_TRACE(label);
        ReleaseWeatherDocuments();
        WeatherDocument& d = WeatherDocumentRegistry[row];
        const std::string name = WeatherDocumentDisplayName(d);
        PutFile(InVrn("Imports\\Weather Files\\" + name), original);
        std::string status;
        ASSERT_TRUE(LoadWeatherDocument(row, status)) << status;
        ++loaded_;
        if (wellFormed) {
            // The collected files are all well formed for the scanner.
            EXPECT_EQ(d.warningCount, 0u);
            EXPECT_EQ(status, "Loaded " + name + ".");
        }
        ASSERT_FALSE(d.values.empty());
        uint64_t lastEnd = 0;
        for (const XmlValueRecord& v : d.values) {
            EXPECT_EQ(original.substr(v.startOffset, v.endOffset - v.startOffset), v.originalText) << v.path;
        }
        std::vector<const XmlValueRecord*> sorted;
        for (const XmlValueRecord& v : d.values) sorted.push_back(&v);
        std::sort(sorted.begin(), sorted.end(),
                  [](const XmlValueRecord* a, const XmlValueRecord* b) { return a->startOffset < b->startOffset; });
        for (const XmlValueRecord* v : sorted) {
            EXPECT_GE(v->startOffset, lastEnd) << v->path << " overlaps";
            lastEnd = v->endOffset;
        }

        const std::string exportPath = InVrn("Exports\\Weather Files\\" + name);
        ASSERT_TRUE(SaveMiscXml(row, 0, status)) << status;
        EXPECT_EQ(status, "Exported " + name + ".");
        EXPECT_TRUE(GetFile(exportPath) == original) << "unedited export differs";

        // Edit every value; the export must differ exactly in those ranges.
        std::vector<std::string> paths;
        std::string expected;
        uint64_t cursor = 0;
        for (size_t i = 0; i < d.values.size(); ++i) {
            ASSERT_TRUE(SetWeatherValueText(d, i, EditedText(d.values[i], i), status)) << status;
            paths.push_back(d.values[i].path);
        }
        for (const XmlValueRecord* v : sorted) {
            expected.append(original, cursor, v->startOffset - cursor);
            expected += v->currentText;
            cursor = v->endOffset;
        }
        expected.append(original, cursor, std::string::npos);
        ASSERT_TRUE(SaveMiscXml(row, 0, status)) << status;
        const std::string edited = GetFile(exportPath);
        EXPECT_TRUE(edited == expected) << "edited export differs outside the edited values";

        // The edited file reads back as the same values holding the edits.
        PutFile(InVrn("Imports\\Weather Files\\" + name), edited);
        std::vector<std::string> texts;
        for (const XmlValueRecord& v : d.values) texts.push_back(v.currentText);
        ASSERT_TRUE(LoadWeatherDocument(row, status)) << status;
        ASSERT_EQ(d.values.size(), paths.size());
        for (size_t i = 0; i < d.values.size(); ++i) {
            EXPECT_EQ(d.values[i].path, paths[i]);
            EXPECT_EQ(d.values[i].originalText, texts[i]);
        }
    }

    size_t loaded_ = 0;
};

TEST_F(RealWeatherFiles, WeatherXml) {
    const auto files = testsupport::RealFiles("weather");
    VARNEL_SKIP_IF_EMPTY(files, "weather");
    for (const std::string& file : files) RoundTrip(file);
    EXPECT_GT(loaded_, 0u);
}

TEST_F(RealWeatherFiles, Watertune) {
    const auto files = testsupport::RealFiles("watertune");
    VARNEL_SKIP_IF_EMPTY(files, "watertune");
    for (const std::string& file : files) RoundTrip(file);
    EXPECT_GT(loaded_, 0u);
}

TEST_F(RealWeatherFiles, VfxLightningSettings) {
    const auto files = testsupport::RealFiles("vfxlightning");
    VARNEL_SKIP_IF_EMPTY(files, "vfxlightning");
    for (const std::string& file : files) RoundTrip(file);
    EXPECT_GT(loaded_, 0u);
}

// No render file could be collected: generated ones in the game's layout,
// with every line-ending style and BOMs, take the same round trip.
TEST_F(RealWeatherFiles, GeneratedRenderFiles) {
    const auto& names = testsupport::RenderDocumentNames();
    for (size_t i = 0; i < names.size(); ++i) {
        const int32_t row = FindWeatherDocumentIndex(names[i]);
        ASSERT_GE(row, 0) << names[i];
        const auto ending = static_cast<testsupport::LineEnding>(i % 4);
        RoundTrip(names[i], static_cast<size_t>(row), testsupport::GenerateRenderDocument(static_cast<uint32_t>(i), ending, i % 5 == 0),
                  true);
        const WeatherDocument& d = WeatherDocumentRegistry[static_cast<size_t>(row)];
        EXPECT_EQ(d.values.size(), 40u);
        EXPECT_EQ(CountShownValues(d, MiscXmlFilterState{}), 40u);  // every value maps onto a slot
    }
    EXPECT_EQ(loaded_, 24u);
}

TEST_F(RealWeatherFiles, GeneratedWeatherXml) {
    for (uint32_t seed = 0; seed < 4; ++seed) {
        testsupport::WeatherXmlOptions options;
        options.seed = seed;
        options.lineEnding = static_cast<testsupport::LineEnding>(seed);
        options.bom = seed == 1;
        RoundTrip("generated weather.xml " + std::to_string(seed), 2, testsupport::GenerateWeatherXml(options), true);
    }
}

// What the collected files are known to hold.
TEST_F(RealWeatherFiles, KnownContents) {
    struct Known {
        const char* relative;
        size_t row;
        size_t values;
    };
    const std::string shared = testsupport::SharedTestdataDir();
    size_t checked = 0;
    for (const Known& k : {Known{"/real/weather/drkm9743__LibertyCityM/weather.xml", 2, 14 * 31 + 48},
                           Known{"/real/weather/iso-modding__gta5_FiveM_basic_visualmod/weather.xml", 2, 15 * 31 + 48},
                           Known{"/real/watertune/drkm9743__LibertyCityM/watertune.xml", 0, 20},
                           Known{"/real/watertune/IDKFORCE__fs-graphics/watertune.xml", 0, 20},
                           Known{"/real/vfxlightning/IDKFORCE__fs-graphics/vfxlightningsettings.xml", 1, 0}}) {
        const std::string path = shared + k.relative;
        if (shared.empty() || !std::filesystem::exists(path)) continue;
        ReleaseWeatherDocuments();
        WeatherDocument& d = WeatherDocumentRegistry[k.row];
        PutFile(InVrn("Imports\\Weather Files\\") + WeatherDocumentDisplayName(d), ReadHostFile(path));
        std::string status;
        ASSERT_TRUE(LoadWeatherDocument(k.row, status)) << status;
        if (k.values) {
            EXPECT_EQ(d.values.size(), k.values) << k.relative;
        }
        if (k.row == 1) {
            // The comment before the declaration hides nothing.
            EXPECT_EQ(d.values.front().path, "VfxLightningSettings/lightningOccurranceChance");
            EXPECT_EQ(d.values.front().kind, kXmlValueInteger);
        }
        if (k.row == 0) {
            EXPECT_EQ(d.values.back().path, "MainWaterTune/FogMax.y");
        }
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "the collected real files are absent";
}

}  // namespace
