// Real game files (../shared/testdata/real and $VARNEL_EXTRA_TESTDATA) and
// generated render and weather.xml files: each loads, exports byte for byte
// when unedited, and with every value edited exports a text in which only the
// edited value texts differ, which reads back as the edited values.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/shell_fixture.h"
#include "support/testdata.h"
#include "support/weather_docs.h"
#include "weather/document_io.h"
#include "weather/value_filters.h"

namespace {

using namespace weather;

// A different text that keeps the markup as it is and a number a number.
std::string EditedText(const XmlValueRecord& value, size_t n) {
    return value.kind == kXmlValueText ? "EDITED_" + std::to_string(n) : std::to_string(n % 89 + 100) + ".125";
}

class RealWeatherFiles : public shelltest::ShellTest {
protected:
    void RoundTrip(const std::string& label, size_t row, const std::string& original, bool wellFormed) {
        SCOPED_TRACE(label);
        ReleaseWeatherDocuments();
        WeatherDocument& d = WeatherDocumentRegistry[row];
        const std::string name = WeatherDocumentDisplayName(d);
        const std::string importPath = InVrn("Imports\\Weather Files\\" + name);
        const std::string exportPath = InVrn("Exports\\Weather Files\\" + name);
        PutFile(importPath, original);
        std::string status;
        ASSERT_TRUE(LoadWeatherDocument(row, status)) << status;
        ++loaded_;
        EXPECT_TRUE(!wellFormed || status == "Loaded " + name + ".") << status;  // no warnings
        ASSERT_FALSE(d.values.empty());
        EXPECT_EQ(testsupport::RecordsFault(original, d.values), "");
        ASSERT_TRUE(SaveMiscXml(row, 0, status)) << status;
        EXPECT_EQ(status, "Exported " + name + ".");
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

    size_t loaded_ = 0;
};

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

TEST_F(RealWeatherFiles, CollectedFiles) {
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
                const std::vector<XmlValueRecord>& values = WeatherDocumentRegistry[static_cast<size_t>(row)].values;
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

// No render file could be collected: generated ones of all 24 render rows,
// with every line-ending style and BOMs, take the same round trip, as do
// generated weather.xml files.
TEST_F(RealWeatherFiles, GeneratedFiles) {
    for (size_t row = 3; row < kWeatherDocumentCount; ++row) {
        const auto ending = static_cast<testsupport::LineEnding>(row % 4);
        RoundTrip(WeatherDocumentRegistry[row].fileName, row,
                  testsupport::GenerateRenderDocument(static_cast<uint32_t>(row), ending, row % 5 == 0), true);
        const WeatherDocument& d = WeatherDocumentRegistry[row];
        EXPECT_EQ(d.values.size(), 40u);
        EXPECT_EQ(CountShownValues(d, MiscXmlFilterState{}), 40u);  // every value maps onto a slot
    }
    for (uint32_t seed = 0; seed < 4; ++seed) {
        testsupport::WeatherXmlOptions options;
        options.seed = seed;
        options.lineEnding = static_cast<testsupport::LineEnding>(seed);
        options.bom = seed == 1;
        RoundTrip("generated weather.xml " + std::to_string(seed), 2, testsupport::GenerateWeatherXml(options), true);
    }
    EXPECT_EQ(loaded_, 28u);
}

}  // namespace
