// File names and locations, "Load .xml" and "Export .xml" on the fake
// drive, with generated valid and hostile files and the real files.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/simulated.h"
#include "support/testdata.h"
#include "support/timecycle_gen.h"
#include "timecycle/timecycle_export.h"
#include "timecycle/timecycle_numbers.h"
#include "timecycle/xml_scan.h"
#include "timecycle_fixture.h"

namespace timecycle {
namespace {

using testsupport::MakeTimecycleXml;
using testsupport::TimecycleFileOptions;
using timecycletest::TimecycleTest;

std::string ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The weather whose file name the real file carries (w_clear.xml -> 1);
// a file of another name is taken as EXTRASUNNY's.
int WeatherOfFileName(const std::string& path) {
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    for (uint32_t w = 0; w < kWeatherCount; ++w) {
        if (WeatherTimecycleFileName(w) == name) return static_cast<int>(w);
    }
    return 0;
}

// The files of ../shared/testdata/real are known: 423 variables in each
// region. Files from $VARNEL_EXTRA_TESTDATA are only round-tripped.
bool IsKnownRealFile(const std::string& path) {
    const std::string shared = testsupport::SharedTestdataDir();
    return !shared.empty() && path.rfind(shared, 0) == 0;
}

// The 13 values of one element of a text, or empty.
std::vector<float> ElementValues(const std::string& text, const char* region, const char* name) {
    uint64_t s = 0;
    uint64_t e = 0;
    uint64_t a = 0;
    uint64_t b = 0;
    std::vector<ValueToken> tokens;
    std::vector<float> values;
    if (!FindRegionSection(text, region, s, e) || !FindElementText(text, s, e, name, a, b) ||
        !ReadKeyframeValues(std::string_view(text).substr(a, b - a), tokens))
        return values;
    for (const ValueToken& t : tokens) values.push_back(t.value);
    return values;
}

// Source offsets [start, end) of one value token.
struct Span {
    uint64_t start;
    uint64_t end;
};
Span TokenSpan(const std::string& text, const char* region, const char* name, int keyframe) {
    uint64_t s = 0;
    uint64_t e = 0;
    uint64_t a = 0;
    uint64_t b = 0;
    std::vector<ValueToken> tokens;
    EXPECT_TRUE(FindRegionSection(text, region, s, e));
    EXPECT_TRUE(FindElementText(text, s, e, name, a, b));
    EXPECT_TRUE(ReadKeyframeValues(std::string_view(text).substr(a, b - a), tokens));
    return Span{a + tokens[static_cast<size_t>(keyframe)].start, a + tokens[static_cast<size_t>(keyframe)].end};
}

// True when output equals source except for the tokens at the given spans.
::testing::AssertionResult OnlyTokensChanged(const std::string& source, const std::string& output,
                                            std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end(), [](const Span& x, const Span& y) { return x.start < y.start; });
    size_t src = 0;
    size_t out = 0;
    for (const Span& span : spans) {
        const size_t gap = span.start - src;
        if (output.compare(out, gap, source, src, gap) != 0)
            return ::testing::AssertionFailure() << "text before offset " << span.start << " differs";
        out += gap;
        size_t tokenEnd = out;
        while (tokenEnd < output.size() && !std::isspace(static_cast<unsigned char>(output[tokenEnd])) &&
               output[tokenEnd] != '<')
            ++tokenEnd;
        out = tokenEnd;
        src = span.end;
    }
    if (output.compare(out, std::string::npos, source, src, std::string::npos) != 0)
        return ::testing::AssertionFailure() << "tail differs";
    return ::testing::AssertionSuccess();
}

void UserEdit(int w, int r, int k, const char* name, float value) {
    EditSlot& slot = GetEditSlot(w, r, k);
    EditEntry& e = slot.entries[static_cast<size_t>(FindVariableRow(name))];
    slot.loaded = 1;
    e.value = value;
    e.present = 1;
    e.originalCaptured = 1;
    e.edited = 1;
    e.imported = 0;
    e.editStamp = NextEditStamp();
}

// ---- Names and locations ----------------------------------------------------------------

TEST_F(TimecycleTest, FileNamesOfEveryWeather) {
    const char* names[18] = {"w_extrasunny.xml", "w_clear.xml",     "w_clouds.xml",      "w_overcast.xml",
                             "w_rain.xml",       "w_thunder.xml",   "w_foggy.xml",       "w_smog.xml",
                             "w_clearing.xml",   "w_neutral.xml",   "w_snow.xml",        "w_blizzard.xml",
                             "w_snowlight.xml",  "w_snowhalloween.xml", "w_xmas.xml",    "w_halloween.xml",
                             "w_rainhalloween.xml", "underwater_deep.xml"};
    for (uint32_t w = 0; w < 18; ++w) EXPECT_EQ(WeatherTimecycleFileName(w), names[w]);
    EXPECT_EQ(WeatherTimecycleFileName(40), "w_extrasunny.xml");
    EXPECT_TRUE(IsTimecycleFileWeather(0));
    EXPECT_TRUE(IsTimecycleFileWeather(16));
    EXPECT_FALSE(IsTimecycleFileWeather(17));
    EXPECT_FALSE(IsTimecycleFileWeather(18));
    EXPECT_FALSE(IsTimecycleFileWeather(static_cast<uint32_t>(-1)));
}

TEST_F(TimecycleTest, ImportLocationsAndTheirOrder) {
    EXPECT_EQ(TimecycleFileInImports(1), std::string(kImportsTimecycles) + "w_clear.xml");
    EXPECT_EQ(TimecycleFileInImportsRoot(1), std::string(kImports) + "w_clear.xml");
    EXPECT_FALSE(TimecycleFileExists(1));
    EXPECT_EQ(TimecycleFileImportPath(1), TimecycleFileInImports(1));  // reported at the Timecycles location

    PutFile(std::string(kImports) + "w_clear.xml", "root");
    EXPECT_TRUE(TimecycleFileExists(1));
    EXPECT_EQ(TimecycleFileImportPath(1), TimecycleFileInImportsRoot(1));
    // A folder named like the file in Timecycles is passed over.
    ASSERT_EQ(platform::CreateFolder(std::string(kImportsTimecycles) + "w_clear.xml"),
              platform::CreateFolderResult::Created);
    EXPECT_EQ(TimecycleFileImportPath(1), TimecycleFileInImportsRoot(1));
    EXPECT_TRUE(TimecycleFileWideExists(1));

    PutFile(std::string(kImportsTimecycles) + "w_clouds.xml", "sub");
    PutFile(std::string(kImports) + "w_clouds.xml", "root");
    EXPECT_EQ(TimecycleFileImportPath(2), TimecycleFileInImports(2));
    std::string text;
    std::string label;
    ASSERT_TRUE(ReadTimecycleXmlText(2, text, label));
    EXPECT_EQ(text, "sub");
    EXPECT_EQ(label, TimecycleFileInImports(2));
    EXPECT_FALSE(ReadTimecycleXmlText(3, text, label));

    EXPECT_EQ(TimecycleFileExportPath(5), std::string(kExportsTimecycles) + "w_thunder.xml");
    EXPECT_TRUE(platform::IsExistingFolder(kExportsTimecycles));
}

// ---- Loading ----------------------------------------------------------------------------

TEST_F(TimecycleTest, LoadOfAMissingFileChangesNothingButTheStatus) {
    GetEditSlot(4, 0, 0).loaded = 1;
    LoadTimecycleXml(4);
    EXPECT_EQ(TimecycleStatusLine, std::string("Load .xml skipped: w_rain.xml not found in ") + kImportsTimecycles);
    EXPECT_EQ(GetEditSlot(4, 0, 0).loaded, 1);
    EXPECT_EQ(TimecycleLoadRecords[4].loaded, 0);
}

TEST_F(TimecycleTest, LoadOfAGeneratedFileOfEveryWeather) {
    for (int w = 0; w < 18; ++w) {
        TimecycleFileOptions options;
        options.weather = w;
        PutTimecycleFile(w, MakeTimecycleXml(options));
        LoadTimecycleXml(w);
        const TimecycleLoadRecord& record = TimecycleLoadRecords[static_cast<size_t>(w)];
        EXPECT_EQ(record.loaded, 1) << w;
        EXPECT_EQ(record.valueCount, 429u * 26u) << w;
        EXPECT_EQ(record.missingCount, 0u) << w;
        EXPECT_EQ(record.sourceLabel, TimecycleFileInImports(static_cast<uint32_t>(w)));
        // No keyframe table in this process: the preview falls back to the slots.
        EXPECT_EQ(TimecycleStatusLine, "Loaded for preview.") << w;
        const EditEntry& e = GetEditSlot(w, 1, 12).entries[300];
        EXPECT_EQ(e.value, testsupport::GeneratedTimecycleValue(w, 1, 300, 12));
        EXPECT_EQ(e.original, e.value);  // the reference is the same file
        EXPECT_EQ(e.edited, 0);
        EXPECT_EQ(e.editStamp, 0u);
        EXPECT_EQ(GetEditSlot(w, 2, 12).entries[300].value, GetEditSlot(w, 0, 12).entries[300].value);
    }
    EXPECT_EQ(EditSequenceCounter, 0u);
}

TEST_F(TimecycleTest, HostileFilesLoadWhatIsValid) {
    struct Case {
        const char* what;
        TimecycleFileOptions options;
        uint64_t values;
        uint64_t missing;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, auto change, uint64_t values, uint64_t missing) {
        Case c{what, {}, values, missing};
        c.options.weather = 2;
        change(c.options);
        cases.push_back(c);
    };
    const uint64_t all = 429u * 26u;
    add("12 values", [](TimecycleFileOptions& o) { o.elementTextOverride = {{"far_clip", " 1 2 3 4 5 6 7 8 9 10 11 12"}}; },
        all - 26, 0);
    add("14 values", [](TimecycleFileOptions& o) { o.elementTextOverride = {{"far_clip", " 1 2 3 4 5 6 7 8 9 10 11 12 13 14"}}; },
        all - 26, 0);
    add("broken number",
        [](TimecycleFileOptions& o) {
            o.elementTextOverride = {{"temperature", " 1 2 3 4 5 6 7 8 9 10 11 12 80.0000.0000"}};
        },
        all - 26, 0);
    add("nan", [](TimecycleFileOptions& o) { o.elementTextOverride = {{"sky_hdr", " 1 2 3 4 5 6 7 8 9 10 11 12 nan"}}; },
        all - 26, 0);
    add("word", [](TimecycleFileOptions& o) { o.elementTextOverride = {{"sky_hdr", " 1 2 3 4 5 6 x 8 9 10 11 12 13"}}; },
        all - 26, 0);
    add("comments, CR only, BOM, non-ASCII",
        [](TimecycleFileOptions& o) {
            o.commentsBetweenRows = true;
            o.lineEnd = "\r";
            o.bom = true;
            o.nonAsciiComment = true;
            o.strayText = true;
        },
        all, 0);
    add("attributes", [](TimecycleFileOptions& o) { o.attributes = {{"far_clip", " type=\"float\""}}; }, all - 26, 2);
    add("missing region", [](TimecycleFileOptions& o) { o.omitRegions = {"URBAN"}; }, all / 2, 1);
    add("missing variables", [](TimecycleFileOptions& o) { o.omitVariables = {"far_clip", "lod_mult"}; }, all - 52, 4);
    add("duplicates", [](TimecycleFileOptions& o) { o.duplicateVariables = {"far_clip"}; }, all, 0);
    for (const Case& c : cases) {
        PutTimecycleFile(2, MakeTimecycleXml(c.options));
        LoadTimecycleXml(2);
        EXPECT_EQ(TimecycleLoadRecords[2].valueCount, c.values) << c.what;
        EXPECT_EQ(TimecycleLoadRecords[2].missingCount, c.missing) << c.what;
    }
    // The first of two elements counts.
    EXPECT_EQ(GetEditSlot(2, 0, 3).entries[394].value, testsupport::GeneratedTimecycleValue(2, 0, 394, 3));
    // A value list that fails leaves the entry absent in that region only.
    PutTimecycleFile(2, MakeTimecycleXml([] {
        TimecycleFileOptions o;
        o.weather = 2;
        o.elementTextOverride = {{"far_clip", " 1"}};
        return o;
    }()));
    LoadTimecycleXml(2);
    EXPECT_EQ(GetEditSlot(2, 0, 0).entries[394].present, 0);
    EXPECT_EQ(GetEditSlot(2, 0, 0).entries[395].present, 1);
}

TEST_F(TimecycleTest, TruncatedFilesNeverLoadMoreThanTheWhole) {
    TimecycleFileOptions options;
    options.weather = 8;
    const std::string whole = MakeTimecycleXml(options);
    uint64_t previous = 0;
    for (size_t cut = 0; cut <= whole.size(); cut += whole.size() / 37 + 1) {
        PutTimecycleFile(8, whole.substr(0, cut));
        LoadTimecycleXml(8);
        const uint64_t values = TimecycleLoadRecords[8].valueCount;
        EXPECT_LE(values, 429u * 26u);
        EXPECT_EQ(values % 26u == 0 || values % 13u == 0, true);
        EXPECT_GE(values, previous);  // more text never loses values
        previous = values;
    }
    PutTimecycleFile(8, whole);
    LoadTimecycleXml(8);
    EXPECT_EQ(TimecycleLoadRecords[8].valueCount, 429u * 26u);
    PutTimecycleFile(8, "");
    LoadTimecycleXml(8);
    EXPECT_EQ(TimecycleLoadRecords[8].valueCount, 0u);
    EXPECT_EQ(TimecycleLoadRecords[8].missingCount, 2u);
}

// ---- Export ----------------------------------------------------------------------------

TEST_F(TimecycleTest, ExportWithoutEditsIsTheSourceByteForByte) {
    TimecycleFileOptions options;
    options.weather = 9;
    options.lineEnd = "\r\n";
    options.commentsBetweenRows = true;
    const std::string source = MakeTimecycleXml(options);
    PutTimecycleFile(9, source);
    LoadTimecycleXml(9);
    std::string message;
    ASSERT_TRUE(SaveTimecycleXml(9, message));
    EXPECT_EQ(message, "Exported w_neutral.xml.");
    EXPECT_EQ(ExportedFile(9), source);
}

TEST_F(TimecycleTest, ExportMergesRegionsByStamp) {
    TimecycleFileOptions options;
    options.weather = 10;
    const std::string source = MakeTimecycleXml(options);
    PutTimecycleFile(10, source);
    LoadTimecycleXml(10);
    // BOTH edit older than the GLOBAL edit of the same keyframe: GLOBAL keeps
    // its own, URBAN gets the BOTH value. A newer BOTH edit replaces URBAN's.
    UserEdit(10, 2, 3, "fog_start", 11.0f);
    UserEdit(10, 0, 3, "fog_start", 22.0f);
    UserEdit(10, 1, 4, "fog_start", 33.0f);
    UserEdit(10, 2, 4, "fog_start", 44.0f);
    std::string message;
    ASSERT_TRUE(SaveTimecycleXml(10, message));
    EXPECT_EQ(message, "Exported w_snow.xml.");
    const std::string out = ExportedFile(10);
    EXPECT_EQ(ElementValues(out, "GLOBAL", "fog_start")[3], 22.0f);
    EXPECT_EQ(ElementValues(out, "URBAN", "fog_start")[3], 11.0f);
    EXPECT_EQ(ElementValues(out, "URBAN", "fog_start")[4], 44.0f);
    EXPECT_EQ(ElementValues(out, "GLOBAL", "fog_start")[4], 44.0f);  // BOTH fills what GLOBAL left empty
    EXPECT_TRUE(OnlyTokensChanged(source, out,
                                  {TokenSpan(source, "GLOBAL", "fog_start", 3), TokenSpan(source, "URBAN", "fog_start", 3),
                                   TokenSpan(source, "GLOBAL", "fog_start", 4), TokenSpan(source, "URBAN", "fog_start", 4)}));
}

TEST_F(TimecycleTest, ExportKeepsDecimalsAndReportsEditsWithoutPlace) {
    TimecycleFileOptions options;
    options.weather = 11;
    options.elementTextOverride = {{"sky_hdr", "\t1.000 2.000\t3.000\n 4.000 5.000 6.000 7.000 8.000 9.000 10.000 11.000 12.000 13.000 "},
                                   {"far_clip", " 1 2 3 4 5 6 7 8 9 10 11 12"}};
    const std::string source = MakeTimecycleXml(options);
    PutTimecycleFile(11, source);
    LoadTimecycleXml(11);
    UserEdit(11, 0, 1, "sky_hdr", 2.5f);
    UserEdit(11, 0, 2, "sky_hdr", 0.1234567f);
    std::string message;
    ASSERT_TRUE(SaveTimecycleXml(11, message));
    EXPECT_EQ(message, "Exported w_blizzard.xml.");
    std::string out = ExportedFile(11);
    EXPECT_NE(out.find("<sky_hdr>\t1.000 2.500\t0.12346\n 4.000 "), std::string::npos);

    // far_clip has 12 numbers: its text stays, the message says so.
    UserEdit(11, 1, 0, "far_clip", 900.0f);
    ASSERT_TRUE(SaveTimecycleXml(11, message));
    EXPECT_EQ(message, "Exported w_blizzard.xml. Some edits were not written.");
    out = ExportedFile(11);
    EXPECT_NE(out.find("<far_clip> 1 2 3 4 5 6 7 8 9 10 11 12</far_clip>"), std::string::npos);
}

TEST_F(TimecycleTest, ExportFailures) {
    std::string message;
    EXPECT_FALSE(SaveTimecycleXml(12, message));
    EXPECT_EQ(message, "Save .xml failed: no w_snowlight.xml found in the import folder or workspace.");
    TimecycleFileOptions options;
    options.weather = 12;
    PutTimecycleFile(12, MakeTimecycleXml(options));
    const std::string target = std::string(kExportsTimecycles) + "w_snowlight.xml";
    PutFile(target, "previous");
    platform::sim::FailWritesTo(target, true);
    EXPECT_FALSE(SaveTimecycleXml(12, message));
    EXPECT_EQ(message, "Save .xml failed: " + target + " not writable.");
    EXPECT_EQ(GetFile(target), "previous");
}

TEST_F(TimecycleTest, ImportedValuesAreWrittenOnlyForASourceThatLacksThem) {
    EditSlot& slot = GetEditSlot(14, 0, 0);
    slot.loaded = 1;
    EditEntry& e = slot.entries[394];
    e = EditEntry{5, 2.0f, 1.0f, 1.0f, 1, 1, 1, 1};  // imported, differs from its original
    KeyframeEditMap map;
    CollectEditedRows(14, 0, map, 1, 0);
    EXPECT_TRUE(map.empty());
    CollectEditedRows(14, 0, map, 1, 1);
    ASSERT_EQ(map.count("far_clip"), 1u);
    EXPECT_EQ(map["far_clip"].written[0], 1);
    EXPECT_EQ(CountEditedKeyframes(map), 1u);
}

TEST_F(TimecycleTest, OverlappingSplicesAreReportedNotWritten) {
    // Both region names in one tag: the two regions' splices land on the same tokens.
    const std::string source =
        "<region name=\"GLOBAL\" name=\"URBAN\"><far_clip> 1 2 3 4 5 6 7 8 9 10 11 12 13</far_clip></region>";
    KeyframeEditMap global;
    KeyframeEditMap urban;
    global["far_clip"].written[0] = 1;
    global["far_clip"].values[0] = 7.0f;
    urban["far_clip"].written[0] = 1;
    urban["far_clip"].values[0] = 8.0f;
    std::string out;
    uint64_t parameters = 0;
    uint64_t values = 0;
    MergeTimecycleRegions(out, source, global, urban, parameters, values);
    EXPECT_EQ(values, 1u);
    EXPECT_NE(out.find("<far_clip> 7.0000 2 "), std::string::npos);
}

// ---- Real files ----------------------------------------------------------------------------

// Each real file loads, exports unedited byte for byte, and exports edited
// with only the edited number tokens changed.
TEST_F(TimecycleTest, RealFilesRoundTrip) {
    const std::vector<std::string> files = testsupport::RealFiles("timecycle");
    VARNEL_SKIP_IF_EMPTY(files, "timecycle");
    for (const std::string& file : files) {
        const int w = WeatherOfFileName(file);
        const std::string source = ReadHostFile(file);
        PutTimecycleFile(w, source);
        LoadTimecycleXml(w);
        const TimecycleLoadRecord& record = TimecycleLoadRecords[static_cast<size_t>(w)];
        EXPECT_EQ(record.loaded, 1) << file;
        if (IsKnownRealFile(file)) {
            // 423 of the 429 variables stand in each region; the five values
            // these weathers have no use for and the motion blur length are missing.
            EXPECT_EQ(record.valueCount, 423u * 26u) << file;
            EXPECT_EQ(record.missingCount, 12u) << file;
        }
        EXPECT_EQ(TimecycleStatusLine, "Loaded for preview.") << file;
        EXPECT_FALSE(WeatherHasPendingEdits(w)) << file;
        std::string message;
        ASSERT_TRUE(SaveTimecycleXml(w, message)) << file;
        EXPECT_EQ(message, "Exported " + WeatherTimecycleFileName(static_cast<uint32_t>(w)) + ".");
        EXPECT_EQ(ExportedFile(w), source) << file;

        struct Edit {
            int region;
            const char* name;
            int keyframe;
            float value;
        };
        const Edit edits[] = {{0, "light_dir_col_r", 0, 0.123456f}, {0, "far_clip", 12, 1234.5f},
                              {1, "fog_start", 5, -0.00004f},       {1, "sky_hdr", 6, 7.0f},
                              {0, "lod_mult_slod4", 3, 2.71828f}};
        std::vector<Span> spans;
        std::vector<Edit> made;
        for (const Edit& edit : edits) {
            if (ElementValues(source, edit.region ? "URBAN" : "GLOBAL", edit.name).empty()) continue;
            UserEdit(w, edit.region, edit.keyframe, edit.name, edit.value);
            spans.push_back(TokenSpan(source, edit.region ? "URBAN" : "GLOBAL", edit.name, edit.keyframe));
            made.push_back(edit);
        }
        if (IsKnownRealFile(file)) {
            EXPECT_EQ(made.size(), 5u) << file;
        }
        if (made.empty()) continue;
        EXPECT_TRUE(WeatherHasUserEdits(w));
        ASSERT_TRUE(SaveTimecycleXml(w, message)) << file;
        EXPECT_EQ(message, "Exported " + WeatherTimecycleFileName(static_cast<uint32_t>(w)) + ".");
        const std::string out = ExportedFile(w);
        EXPECT_TRUE(OnlyTokensChanged(source, out, spans)) << file;
        for (const Edit& edit : made) {
            const std::vector<float> values = ElementValues(out, edit.region ? "URBAN" : "GLOBAL", edit.name);
            ASSERT_EQ(values.size(), 13u);
            EXPECT_NEAR(values[static_cast<size_t>(edit.keyframe)], edit.value, 1e-5) << file << " " << edit.name;
        }
    }
}

}  // namespace
}  // namespace timecycle
