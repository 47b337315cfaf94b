// File names and locations, "Load .xml" and "Export .xml" on the fake
// drive, with generated valid and hostile files and the real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/simulated.h"
#include "support/synthetic_image.h"
#include "support/testdata.h"
#include "timecycle/timecycle_export.h"
#include "timecycle/timecycle_numbers.h"
#include "timecycle/xml_scan.h"
#include "timecycle_fixture.h"

namespace timecycle {
namespace {

using testsupport::MakeTimecycleXml;
using timecycletest::LoadAndPreview;
using timecycletest::TimecycleTest;
using timecycletest::UserEdit;

constexpr uint64_t kAllValues = 429u * 26u;

// The files of ../shared/testdata/real are known: 423 variables in each
// region. Files from $VARNEL_EXTRA_TESTDATA are only round-tripped.
bool IsKnownRealFile(const std::string& path) {
    const std::string shared = testsupport::SharedTestdataDir();
    return !shared.empty() && path.rfind(shared, 0) == 0;
}

// The 13 value tokens of one element, offsets into the whole text; empty
// when the element is missing or bad.
std::vector<ValueToken> ElementTokens(const std::string& text, const char* region, const char* name) {
    uint64_t s = 0, e = 0, a = 0, b = 0;
    std::vector<ValueToken> tokens;
    if (!FindRegionSection(text, region, s, e) || !FindElementText(text, s, e, name, a, b) ||
        !ReadKeyframeValues(std::string_view(text).substr(a, b - a), tokens))
        return {};
    for (ValueToken& t : tokens) t.start += a, t.end += a;
    return tokens;
}

struct Edit {
    const char* region;
    const char* name;
    int keyframe;
    float value;
};

// The source with each edited number written as the export writes it, and
// every other byte as it was; edits without a place in the source are left out.
std::string Expected(const std::string& source, std::vector<Edit> edits) {
    std::vector<std::pair<ValueToken, float>> spans;
    for (const Edit& edit : edits) {
        const std::vector<ValueToken> tokens = ElementTokens(source, edit.region, edit.name);
        if (!tokens.empty()) spans.emplace_back(tokens[static_cast<size_t>(edit.keyframe)], edit.value);
    }
    std::sort(spans.begin(), spans.end(), [](auto& x, auto& y) { return x.first.start > y.first.start; });
    std::string out = source;
    for (const auto& [token, value] : spans) {
        const size_t length = token.end - token.start;
        out.replace(token.start, length, FormatLikeExisting(value, source.substr(token.start, length)));
    }
    return out;
}

// "Export .xml" of the weather: its message, marked when the export failed.
std::string Export(int weather) {
    std::string message;
    return SaveTimecycleXml(weather, message) ? message : "(failed) " + message;
}

TEST_F(TimecycleTest, FileNamesAndLocations) {
    // Out-of-range indices are clamped as everywhere: 40 is UNDERWATER_DEEP, -1 EXTRASUNNY.
    const std::pair<uint32_t, const char*> names[] = {
        {1, "w_clear.xml"}, {13, "w_snowhalloween.xml"}, {17, "underwater_deep.xml"}, {40, "underwater_deep.xml"},
        {~0u, "w_extrasunny.xml"}};
    for (const auto& [w, name] : names) EXPECT_EQ(WeatherTimecycleFileName(w), name) << w;
    EXPECT_TRUE(IsTimecycleFileWeather(0) && IsTimecycleFileWeather(16));
    for (uint32_t w : {17u, 18u, ~0u}) EXPECT_FALSE(IsTimecycleFileWeather(w)) << w;

    EXPECT_EQ(TimecycleFileInImports(1), std::string(kImportsTimecycles) + "w_clear.xml");
    EXPECT_EQ(TimecycleFileInImportsRoot(1), std::string(kImports) + "w_clear.xml");
    EXPECT_FALSE(TimecycleFileExists(1));
    EXPECT_EQ(TimecycleFileImportPath(1), TimecycleFileInImports(1));  // reported at the Timecycles location
    PutFile(std::string(kImports) + "w_clear.xml", "root");
    EXPECT_TRUE(TimecycleFileExists(1));
    // A folder named like the file in Timecycles is passed over.
    ASSERT_EQ(platform::CreateFolder(std::string(kImportsTimecycles) + "w_clear.xml"),
              platform::CreateFolderResult::Created);
    EXPECT_EQ(TimecycleFileImportPath(1), TimecycleFileInImportsRoot(1));
    EXPECT_TRUE(TimecycleFileWideExists(1));

    // The Timecycles folder comes first.
    PutFile(std::string(kImportsTimecycles) + "w_clouds.xml", "sub");
    PutFile(std::string(kImports) + "w_clouds.xml", "root");
    std::string text;
    std::string label;
    ASSERT_TRUE(ReadTimecycleXmlText(2, text, label));
    EXPECT_EQ(text + "|" + label, "sub|" + TimecycleFileInImports(2));
    EXPECT_FALSE(ReadTimecycleXmlText(3, text, label));

    EXPECT_EQ(TimecycleFileExportPath(5), std::string(kExportsTimecycles) + "w_thunder.xml");
    EXPECT_TRUE(platform::IsExistingFolder(kExportsTimecycles));
}

// Valid, odd, hostile and cut files load what is valid: a bad row is skipped
// in its region and counted in the status, a region counts once its
// "</region>" is there, the first of two elements counts. A file that yields
// no value is a failed load: the weather's values, unsaved edits and load
// record stay.
TEST_F(TimecycleTest, FilesLoadWhatIsValid) {
    for (int w : {13, 17, 0}) {  // a file name without its "_", both ends of the table
        PutGeneratedFile(w);
        LoadAndPreview(w);
        const TimecycleLoadRecord& record = TimecycleLoadRecords[static_cast<size_t>(w)];
        EXPECT_TRUE(record.loaded == 1 && record.valueCount == kAllValues && record.missingCount == 0u) << w;
        EXPECT_EQ(record.sourceLabel, TimecycleFileInImports(static_cast<uint32_t>(w)));
        // No keyframe table in this process: the preview falls back to the slots.
        EXPECT_EQ(TimecycleStatusLine, "Loaded for preview.");
        const EditEntry& e = GetEditSlot(w, 1, 12).entries[300];
        EXPECT_EQ(e.value, testsupport::GeneratedTimecycleValue(w, 1, 300, 12));
        EXPECT_TRUE(e.original == e.value && e.edited == 0 && e.editStamp == 0u);  // the reference is the same file
        EXPECT_EQ(GetEditSlot(w, 2, 12).entries[300].value, GetEditSlot(w, 0, 12).entries[300].value);
    }
    EXPECT_EQ(EditSequenceCounter, 0u);
    UserEdit(0, 1, 4, "far_clip", 1234.0f);
    // No file at all: only the status changes.
    std::filesystem::remove(Host(std::string(kImportsTimecycles) + "w_extrasunny.xml"));
    LoadAndPreview(0);
    EXPECT_EQ(TimecycleStatusLine, std::string("Load .xml skipped: w_extrasunny.xml not found in ") + kImportsTimecycles);

    const std::string good = MakeTimecycleXml({});
    const size_t urbanEnd = good.find("</region>", good.find("</region>") + 9) + 9;
    std::string utf16 = "\xFF\xFE";
    for (char c : good) utf16 += std::string{c, '\0'};
    std::string lower = good, single = good;
    for (const char* region : {"GLOBAL", "URBAN"}) {
        const std::string name = std::string("name=\"") + region + "\"";
        std::string lowerName = name;
        std::transform(lowerName.begin(), lowerName.end(), lowerName.begin(), ::tolower);
        lower.replace(lower.find(name), name.size(), lowerName);
        single.replace(single.find(name), name.size(), std::string("name='") + region + "'");
    }
    const std::string failed = "Load .xml failed: w_extrasunny.xml holds no timecycle values.";
    const std::string loaded = "Loaded for preview.";
    const std::string skipped = " w_extrasunny.xml: 2 rows skipped, not 13 finite numbers separated by white space.";
    const struct {
        const char* what;
        std::string text;
        std::string status;
        uint64_t values, missing;
        bool farClip;  // far_clip loaded in GLOBAL
    } cases[] = {
        {"UTF-16", utf16, failed, kAllValues, 0, true},
        {"lower-case region names", lower, failed, kAllValues, 0, true},
        {"single-quoted region names", single, failed, kAllValues, 0, true},
        {"cut in its first region", good.substr(0, good.size() / 3), failed, kAllValues, 0, true},
        {"empty", "", failed, kAllValues, 0, true},
        {"hostile", testsupport::HostileTimecycleXml(1 << 16),
         failed + " w_extrasunny.xml: 858 rows skipped, not 13 finite numbers separated by white space.", kAllValues, 0,
         true},
        {"cut in its second region", good.substr(0, urbanEnd - 2), loaded, kAllValues / 2, 1, true},
        {"cut after its second region", good.substr(0, urbanEnd), loaded, kAllValues, 0, true},
        {"12 values", MakeTimecycleXml({.elementTextOverride = {{"far_clip", " 1 2 3 4 5 6 7 8 9 10 11 12"}}}),
         loaded + skipped, kAllValues - 26, 0, false},
        {"numbers run together",
         MakeTimecycleXml({.elementTextOverride = {{"far_clip", "1.5.5 2 3 4 5 6 7 8 9 10 11 12"}}}), loaded + skipped,
         kAllValues - 26, 0, false},
        {"nan", MakeTimecycleXml({.elementTextOverride = {{"sky_hdr", " 1 2 3 4 5 6 7 8 9 10 11 12 nan"}}}),
         loaded + skipped, kAllValues - 26, 0, true},
        {"comments, CR only, BOM, non-ASCII",
         MakeTimecycleXml(
             {.lineEnd = "\r", .bom = true, .commentsBetweenRows = true, .strayText = true, .nonAsciiComment = true}),
         loaded, kAllValues, 0, true},
        {"attributes", MakeTimecycleXml({.attributes = {{"far_clip", " type=\"float\""}}}), loaded, kAllValues - 26, 2,
         false},
        {"missing region", MakeTimecycleXml({.omitRegions = {"URBAN"}}), loaded, kAllValues / 2, 1, true},
        {"missing variables", MakeTimecycleXml({.omitVariables = {"far_clip", "lod_mult"}}), loaded, kAllValues - 52, 4,
         false},
        {"duplicates", MakeTimecycleXml({.duplicateVariables = {"far_clip"}}), loaded, kAllValues, 0, true},
    };
    for (const auto& c : cases) {
        PutTimecycleFile(0, c.text);
        LoadAndPreview(0);
        EXPECT_EQ(TimecycleStatusLine, c.status) << c.what;
        EXPECT_EQ(TimecycleLoadRecords[0].valueCount, c.values) << c.what;
        EXPECT_EQ(TimecycleLoadRecords[0].missingCount, c.missing) << c.what;
        const EditEntry& far = GetEditSlot(0, 0, 3).entries[394];
        EXPECT_EQ(far.present ? far.value : -1.0f, c.farClip ? testsupport::GeneratedTimecycleValue(0, 0, 394, 3) : -1.0f)
            << c.what;
        EXPECT_TRUE(c.status.rfind(failed, 0) != 0 || GetEditSlot(0, 1, 4).entries[394].value == 1234.0f)
            << c.what << ": the unsaved edit is lost";
    }
}

// The tick asks whether the context holds edits, and the before/after writer
// may search for the table, while the render thread loads a file into the
// same entries and runs its preview's search (run it under ThreadSanitizer).
TEST_F(TimecycleTest, TheTicksQueriesRunSafelyBesideALoad) {
    PutGeneratedFile(6);
    SelectTimecycleContext(6, 0, 0);
    std::atomic<bool> done{false};
    std::atomic<int> queries{0};
    std::thread tick([&] {
        for (int i = 0; !done.load(); ++i) {
            (void)ContextHasEdits();
            if (i % 256 == 0) (void)ScanTimecycleTable(6);
            queries.fetch_add(1);
        }
    });
    for (int i = 0; i < 20; ++i) LoadAndPreview(6);
    done = true;
    tick.join();
    EXPECT_GT(queries.load(), 0);
    EXPECT_EQ(TimecycleLoadRecords[6].valueCount, kAllValues);
    EXPECT_FALSE(ContextHasEdits());  // the file is its own reference
}

// Without edits the export is the source byte for byte; edits are merged
// by stamp and change only their own number texts.
TEST_F(TimecycleTest, ExportMergesRegionsByStamp) {
    const std::string source = MakeTimecycleXml({.weather = 10, .lineEnd = "\r\n", .commentsBetweenRows = true});
    PutTimecycleFile(10, source);
    LoadAndPreview(10);
    EXPECT_EQ(Export(10), "Exported w_snow.xml.");
    EXPECT_TRUE(ExportedFile(10) == source);
    // BOTH edit older than the GLOBAL edit of the same keyframe: GLOBAL keeps
    // its own, URBAN gets the BOTH value. A newer BOTH edit replaces URBAN's.
    UserEdit(10, 2, 3, "fog_start", 11.0f);
    UserEdit(10, 0, 3, "fog_start", 22.0f);
    UserEdit(10, 1, 4, "fog_start", 33.0f);
    UserEdit(10, 2, 4, "fog_start", 44.0f);
    EXPECT_EQ(Export(10), "Exported w_snow.xml.");
    // BOTH fills what GLOBAL left empty at keyframe 4.
    EXPECT_TRUE(ExportedFile(10) == Expected(source, {{"GLOBAL", "fog_start", 3, 22.0f}, {"URBAN", "fog_start", 3, 11.0f},
                                                       {"URBAN", "fog_start", 4, 44.0f}, {"GLOBAL", "fog_start", 4, 44.0f}}));
}

// Numbers keep their decimals; an edit whose element has no clean list of
// 13 numbers is never written, so it can never run into a neighbour.
TEST_F(TimecycleTest, ExportKeepsDecimalsAndReportsEditsWithoutPlace) {
    PutGeneratedFile(11, {.elementTextOverride = {{"sky_hdr", "\t1.000 2.000\t3.000\n 4.000 5.000 6.000 7.000 8.000 9.000 10.000 11.000 12.000 13.000 "},
                                                  {"far_clip", " 1 2 3 4 5 6 7 8 9 10 11 12"},
                                                  {"fog_start", "1.5.5 2 3 4 5 6 7 8 9 10 11 12"}}});
    LoadAndPreview(11);
    UserEdit(11, 0, 1, "sky_hdr", 2.5f);
    UserEdit(11, 0, 2, "sky_hdr", 0.1234567f);
    EXPECT_EQ(Export(11), "Exported w_blizzard.xml.");
    const std::string first = ExportedFile(11);
    EXPECT_NE(first.find("<sky_hdr>\t1.000 2.500\t0.12346\n 4.000 "), std::string::npos);

    // far_clip holds 12 numbers, fog_start two run together: neither text changes.
    UserEdit(11, 1, 0, "far_clip", 900.0f);
    UserEdit(11, 0, 1, "fog_start", 7.0f);
    EXPECT_EQ(Export(11), "Exported w_blizzard.xml. Some edits were not written.");
    EXPECT_TRUE(ExportedFile(11) == first);
}

TEST_F(TimecycleTest, ExportFailures) {
    EXPECT_EQ(Export(12), "(failed) Save .xml failed: no w_snowlight.xml found in the import folder or workspace.");
    PutGeneratedFile(12);
    const std::string target = std::string(kExportsTimecycles) + "w_snowlight.xml";
    PutFile(target, "previous");
    platform::sim::FailWritesTo(target, true);
    EXPECT_EQ(Export(12), "(failed) Save .xml failed: " + target + " not writable.");
    EXPECT_EQ(GetFile(target), "previous");
}

// Imported values are collected only for a source that lacks them; splices
// that overlap (both region names in one tag) are not written nor counted.
TEST_F(TimecycleTest, CollectedEditsAndOverlappingSplices) {
    EditSlot& slot = GetEditSlot(14, 0, 0);
    slot.loaded = 1;
    slot.entries[394] = EditEntry{5, 2.0f, 1.0f, 1.0f, 1, 1, 1, 1};  // imported, differs from its original
    KeyframeEditMap global, urban;
    CollectEditedRows(14, 0, global, 1, 0);
    EXPECT_TRUE(global.empty());
    CollectEditedRows(14, 0, global, 1, 1);
    ASSERT_EQ(global.count("far_clip"), 1u);
    EXPECT_EQ(CountEditedKeyframes(global), 1u);
    global["far_clip"].values[0] = 7.0f;
    urban["far_clip"] = global["far_clip"];
    urban["far_clip"].values[0] = 8.0f;
    std::string out;
    uint64_t parameters = 0, values = 0;
    MergeTimecycleRegions(out, "<region name=\"GLOBAL\" name=\"URBAN\"><far_clip> 1 2 3 4 5 6 7 8 9 10 11 12 13</far_clip></region>",
                          global, urban, parameters, values);
    EXPECT_EQ(values, 1u);
    EXPECT_NE(out.find("<far_clip> 7.0000 2 "), std::string::npos);
}

// Each real file loads and exports unedited byte for byte; loaded while the
// game's table holds its values, it is found and previewed whole (423
// parameters in each of the 26 records); edited, it exports with only the
// edited number tokens changed.
TEST_F(TimecycleTest, RealFilesRoundTrip) {
    const std::vector<std::string> files = testsupport::RealFiles("timecycle");
    VARNEL_SKIP_IF_EMPTY(files, "timecycle");
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        timecycletest::ResetTimecycleEditor();
        const int w = std::max(0, timecycletest::WeatherOfFileName(file));  // other names: EXTRASUNNY's
        const std::string source = ReadHostFile(file);
        PutTimecycleFile(w, source);
        LoadAndPreview(w);
        const TimecycleLoadRecord& record = TimecycleLoadRecords[static_cast<size_t>(w)];
        EXPECT_EQ(record.loaded, 1);
        if (IsKnownRealFile(file)) {
            // 423 of the 429 variables stand in each region; the five values
            // these weathers have no use for and the motion blur length are missing.
            EXPECT_EQ(record.valueCount, 423u * 26u);
            EXPECT_EQ(record.missingCount, 12u);
            EXPECT_EQ(TimecycleStatusLine, "Loaded for preview.");  // no table yet: the values are in the store
        }
        EXPECT_FALSE(WeatherHasPendingEdits(w));
        const std::string exported = "Exported " + WeatherTimecycleFileName(static_cast<uint32_t>(w)) + ".";
        ASSERT_EQ(Export(w), exported);
        EXPECT_TRUE(ExportedFile(w) == source);

        testsupport::SyntheticHeap heap(testsupport::kGeneratedKeyframeTableBytes + 65536);
        if (IsKnownRealFile(file) && timecycletest::WeatherOfFileName(file) == w) {
            const uint64_t block = heap.base() + 4096 + WeatherNameTable[w].typeId * kWeatherBlockSpacing;
            for (int r = 0; r < 2; ++r) {
                for (int k = 0; k < 13; ++k) {
                    const EditSlot& slot = GetEditSlot(w, r, k);
                    for (size_t i = 0; i < kVariableCount; ++i)
                        if (slot.entries[i].present) timecycletest::PlantHalf(block, r, k, i, slot.entries[i].value);
                }
            }
            timecycletest::ResetTimecycleEditor();
            LoadAndPreview(w);
            EXPECT_EQ(TimecycleStatusLine, "Loaded 423 parameters.");
            EXPECT_EQ(WeatherBlockTable[static_cast<size_t>(w)], block);
            EXPECT_EQ(record.appliedCount, 423u * 26u);
        }

        const std::vector<Edit> edits = {{"GLOBAL", "light_dir_col_r", 0, 0.123456f}, {"GLOBAL", "far_clip", 12, 1234.5f},
                                         {"URBAN", "fog_start", 5, -0.00004f},        {"URBAN", "sky_hdr", 6, 7.0f},
                                         {"GLOBAL", "lod_mult_slod4", 3, 2.71828f}};
        size_t placed = 0;
        for (const Edit& edit : edits) {
            if (ElementTokens(source, edit.region, edit.name).empty()) continue;
            UserEdit(w, edit.region[0] == 'U' ? 1 : 0, edit.keyframe, edit.name, edit.value);
            ++placed;
        }
        EXPECT_TRUE(!IsKnownRealFile(file) || placed == 5u) << placed;
        if (placed == 0) continue;
        EXPECT_TRUE(WeatherHasUserEdits(w));
        ASSERT_EQ(Export(w), exported);
        EXPECT_TRUE(ExportedFile(w) == Expected(source, edits));
    }
    timecycletest::ResetTimecycleEditor();  // before the last game table goes
}

}  // namespace
}  // namespace timecycle
