// The timecycle editor on a fake drive and on synthetic game memory: file
// names and locations, "Load .xml" and "Export .xml" with generated valid and
// hostile files and the real files; the edit store, its context and flags,
// the copies between regions and weathers, and the parameter search; the
// game's keyframe table: recognition rows, the search and its vote, its slices
// and remembered failures, derived weathers, snapshots, record writes, the
// load preview and the before/after switch.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/editor_state.h"
#include "core/workspace.h"
#include "host/shutdown.h"
#include "host/tick.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/simulated.h"
#include "runtime/live_slots.h"
#include "support/fake_drive.h"
#include "support/synthetic_image.h"
#include "support/testdata.h"
#include "support/thread_waits.h"
#include "support/timecycle_gen.h"
#include "timecycle/edit_store.h"
#include "timecycle/half_float.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/recognition_rows.h"
#include "timecycle/timecycle_copy.h"
#include "timecycle/timecycle_export.h"
#include "timecycle/timecycle_files.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_numbers.h"
#include "timecycle/timecycle_xml.h"
#include "timecycle/xml_scan.h"

namespace timecycle {
namespace {

using testsupport::GeneratedTimecycleValue;
using testsupport::MakeTimecycleXml;

// A fresh timecycle editor per test: empty edit store, no context, no
// located keyframe table, idle status, fresh slots.
void ResetTimecycleEditor() {
    runtime::ResetSlotTablesForTesting();
    for (const TimecycleVariable* row : TimecycleVariableList()) row->slot->listed = 1;
    ResetEditStoreForTesting();
    ResetKeyframeTable();
    for (auto& record : TimecycleXml.TimecycleLoadRecords) record = TimecycleLoadRecord{};
    TimecycleXml.TimecycleStatusLine = kTimecycleStatusIdle;
    (void)SearchTimecycleParameters("\x01 reset");
    core::Editor.TimecycleAfterShown = 1;
    core::Editor.MenuOpen = 0;
    // The scans walk every private read-write region of the process; a
    // sanitizer's shadow memory would make each of them run to its budget.
    if (VARNEL_UNDER_SHADOW_MEMORY) KeyframeTable.ScanRegionLimitForTesting = 64u << 20;
}

// "Load .xml" with its preview run to the end, a slice per call, as the
// Timecycles tab runs it one slice per frame; the number of slices.
int LoadAndPreview(int weather) {
    LoadTimecycleXml(weather);
    int slices = 1;
    EXPECT_TRUE(testsupport::RunWhile(StepTimecyclePreview, [&slices] { ++slices; })) << "the preview never ended";
    return slices;
}

// The weather whose file name a real file carries (w_clear.xml -> 1), or -1.
int WeatherOfFileName(const std::string& path) {
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    for (uint32_t w = 0; w < kWeatherCount; ++w) {
        if (WeatherTimecycleFileName(w) == name) return static_cast<int>(w);
    }
    return -1;
}

// FNV-1a over game memory.
uint64_t BytesHash(uint64_t address, size_t size) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(address);
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
    return h;
}

// Writes a value into a keyframe record of the game's table, as binary16.
void PlantHalf(uint64_t block, int region, int keyframe, size_t variable, float value) {
    const uint16_t half = FloatToHalf(value);
    std::memcpy(reinterpret_cast<void*>(KeyframeRecordAddress(block, region, keyframe) + 2 * variable), &half, 2);
}
// Every loaded value of the weather's GLOBAL and URBAN slots, planted in the block.
void PlantLoadedValues(int w, uint64_t block) {
    for (int r = 0; r < 2; ++r) {
        for (int k = 0; k < 13; ++k) {
            const EditSlot& slot = GetEditSlot(w, r, k);
            for (size_t i = 0; i < kVariableCount; ++i)
                if (slot.entries[i].present) PlantHalf(block, r, k, i, slot.entries[i].value);
        }
    }
}

// A user edit of one entry: present, original captured, edited, not
// imported, stamped.
EditEntry& UserEdit(int w, int r, int k, size_t row, float value) {
    EditSlot& slot = GetEditSlot(w, r, k);
    slot.loaded = 1;
    EditEntry& e = slot.entries[row];
    e.value = value;
    e.present = 1;
    e.originalCaptured = 1;
    e.edited = 1;
    e.imported = 0;
    e.editStamp = NextEditStamp();
    return e;
}
EditEntry& UserEdit(int w, int r, int k, const char* name, float value) {
    return UserEdit(w, r, k, static_cast<size_t>(FindVariableRow(name)), value);
}

// Each test on a fresh fake drive with the default workspace and a fresh editor.
class TimecycleTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        core::ResetWorkspaceState();
        ResetTimecycleEditor();
    }
    void TearDown() override {
        ResetTimecycleEditor();
        FakeDriveTest::TearDown();
    }

    static constexpr const char* kImportsTimecycles = "C:\\Users\\Player\\Documents\\VRN\\Imports\\Timecycles\\";
    static constexpr const char* kImports = "C:\\Users\\Player\\Documents\\VRN\\Imports\\";
    static constexpr const char* kExportsTimecycles = "C:\\Users\\Player\\Documents\\VRN\\Exports\\Timecycles\\";

    void PutTimecycleFile(int weather, const std::string& text) const {
        PutFile(std::string(kImportsTimecycles) + WeatherTimecycleFileName(static_cast<uint32_t>(weather)),
                text);
    }
    // The generated file of the weather (other options as given) in the import folder.
    void PutGeneratedFile(int weather, testsupport::TimecycleFileOptions options = {}) const {
        options.weather = weather;
        PutTimecycleFile(weather, testsupport::MakeTimecycleXml(options));
    }
    std::string ExportedFile(int weather) const {
        return GetFile(std::string(kExportsTimecycles) +
                       WeatherTimecycleFileName(static_cast<uint32_t>(weather)));
    }
};


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
    // An index above 17 (-1 among them) names EXTRASUNNY's file.
    const std::pair<uint32_t, const char*> names[] = {
        {1, "w_clear.xml"},       {13, "w_snowhalloween.xml"}, {17, "underwater_deep.xml"},
        {18, "w_extrasunny.xml"}, {40, "w_extrasunny.xml"},    {~0u, "w_extrasunny.xml"}};
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

    EXPECT_EQ(TimecycleFileExportPath(5), std::string(kExportsTimecycles) + "w_thunder.xml");
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
        const TimecycleLoadRecord& record = TimecycleXml.TimecycleLoadRecords[static_cast<size_t>(w)];
        EXPECT_TRUE(record.loaded == 1 && record.valueCount == kAllValues && record.missingCount == 0u) << w;
        EXPECT_EQ(record.sourceLabel, TimecycleFileInImports(static_cast<uint32_t>(w)));
        // No keyframe table in this process: the preview falls back to the slots.
        EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded for preview.");
        const EditEntry& e = GetEditSlot(w, 1, 12).entries[300];
        EXPECT_EQ(e.value, GeneratedTimecycleValue(w, 1, 300, 12));
        EXPECT_TRUE(e.original == e.value && e.edited == 0 && e.editStamp == 0u);  // the reference is the same file
        EXPECT_EQ(GetEditSlot(w, 2, 12).entries[300].value, GetEditSlot(w, 0, 12).entries[300].value);
    }
    EXPECT_EQ(EditStore.EditSequenceCounter, 0u);
    UserEdit(0, 1, 4, "far_clip", 1234.0f);
    // No file at all: only the status changes.
    std::filesystem::remove(Host(std::string(kImportsTimecycles) + "w_extrasunny.xml"));
    LoadAndPreview(0);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, std::string("Load .xml skipped: w_extrasunny.xml not found in ") + kImportsTimecycles);

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
    const std::string noUrban = " w_extrasunny.xml: no URBAN region, URBAN left as it was.";
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
        {"cut in its second region", good.substr(0, urbanEnd - 2), loaded + noUrban, kAllValues / 2, 1, true},
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
        {"missing region", MakeTimecycleXml({.omitRegions = {"URBAN"}}), loaded + noUrban, kAllValues / 2, 1, true},
        {"missing variables", MakeTimecycleXml({.omitVariables = {"far_clip", "lod_mult"}}), loaded, kAllValues - 52, 4,
         false},
        {"duplicates", MakeTimecycleXml({.duplicateVariables = {"far_clip"}}), loaded, kAllValues, 0, true},
    };
    for (const auto& c : cases) {
        PutTimecycleFile(0, c.text);
        LoadAndPreview(0);
        EXPECT_EQ(TimecycleXml.TimecycleStatusLine, c.status) << c.what;
        EXPECT_EQ(TimecycleXml.TimecycleLoadRecords[0].valueCount, c.values) << c.what;
        EXPECT_EQ(TimecycleXml.TimecycleLoadRecords[0].missingCount, c.missing) << c.what;
        const EditEntry& far = GetEditSlot(0, 0, 3).entries[394];
        EXPECT_EQ(far.present ? far.value : -1.0f, c.farClip ? GeneratedTimecycleValue(0, 0, 394, 3) : -1.0f)
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
    EXPECT_EQ(TimecycleXml.TimecycleLoadRecords[6].valueCount, kAllValues);
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
// 13 numbers is never written, so it can never run into a neighbour; a failed
// export says why.
TEST_F(TimecycleTest, ExportKeepsDecimalsAndReportsEditsWithoutPlaceOrFailures) {
    PutGeneratedFile(11, {.elementTextOverride = {{"sky_hdr", "\t1.000 2.000\t3.000\n 4.000 5.000 6.000 7.000 8.000 9.000 10.000 11.000 12.000 13.000 "},
                                                  {"far_clip", " 1 2 3 4 5 6 7 8 9 10 11 12"},
                                                  {"fog_start", "1.5.5 2 3 4 5 6 7 8 9 10 11 12"}}});
    LoadAndPreview(11);
    UserEdit(11, 0, 1, "sky_hdr", 2.5f);
    UserEdit(11, 0, 2, "sky_hdr", 0.1234567f);
    EXPECT_EQ(Export(11), "Exported w_blizzard.xml.");
    const std::string first = ExportedFile(11);
    EXPECT_NE(first.find("<sky_hdr>\t1.000 2.500\t0.123\n 4.000 "), std::string::npos);

    // far_clip holds 12 numbers, fog_start two run together: neither text changes.
    UserEdit(11, 1, 0, "far_clip", 900.0f);
    UserEdit(11, 0, 1, "fog_start", 7.0f);
    EXPECT_EQ(Export(11), "Exported w_blizzard.xml. Some edits were not written.");
    EXPECT_TRUE(ExportedFile(11) == first);

    // Failures: no source, a target that cannot be written (the previous export stays).
    EXPECT_EQ(Export(12), "(failed) Save .xml failed: no w_snowlight.xml found in the import folder or workspace.");
    PutGeneratedFile(12);
    const std::string target = std::string(kExportsTimecycles) + "w_snowlight.xml";
    PutFile(target, "previous");
    platform::sim::FailWritesTo(target, true);
    EXPECT_EQ(Export(12), "(failed) Save .xml failed: " + target + " not writable.");
    EXPECT_EQ(GetFile(target), "previous");
}

// Old rows and regions kept in comments and CDATA sections (as mod files
// keep them) are neither read nor written: the load reads the real rows, an
// edit goes into the real row and the comment stays as it was.
TEST_F(TimecycleTest, CommentedOutRowsAreNeitherReadNorWritten) {
    std::string source = MakeTimecycleXml({.weather = 1});
    const std::string old = "<!-- old: <far_clip>9 9 9 9 9 9 9 9 9 9 9 9 9</far_clip> -->";
    source.insert(source.find("<far_clip>"), old + "\n      ");
    source.insert(source.find("<region"), "<![CDATA[<region name=\"URBAN\"><sky_hdr>1 1 1 1 1 1 1 1 1 1 1 1 1</sky_hdr></region>]]>\n");
    PutTimecycleFile(1, source);
    LoadAndPreview(1);
    EXPECT_EQ(TimecycleXml.TimecycleLoadRecords[1].valueCount, kAllValues);
    EXPECT_EQ(GetEditSlot(1, 0, 3).entries[394].value, GeneratedTimecycleValue(1, 0, 394, 3));
    UserEdit(1, 0, 3, "far_clip", 1234.5f);
    EXPECT_EQ(Export(1), "Exported w_clear.xml.");
    const std::string exported = ExportedFile(1);
    const size_t comment = exported.find(old);
    ASSERT_NE(comment, std::string::npos);
    const size_t real = exported.find("<far_clip>", comment + old.size());
    EXPECT_NE(exported.substr(real, exported.find("</far_clip>", real) - real).find(" 1234.5000 "), std::string::npos);
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
        ResetTimecycleEditor();
        RemoveFilesUnder(kImports);  // a file of an earlier case would change this one's rows
        const int w = std::max(0, WeatherOfFileName(file));  // other names: EXTRASUNNY's
        const std::string source = ReadHostFile(file);
        PutTimecycleFile(w, source);
        LoadAndPreview(w);
        const TimecycleLoadRecord& record = TimecycleXml.TimecycleLoadRecords[static_cast<size_t>(w)];
        EXPECT_EQ(record.loaded, 1);
        if (IsKnownRealFile(file)) {
            // 423 of the 429 variables stand in each region; the five values
            // these weathers have no use for and the motion blur length are missing.
            EXPECT_EQ(record.valueCount, 423u * 26u);
            EXPECT_EQ(record.missingCount, 12u);
            EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded for preview.");  // no table yet: the values are in the store
        }
        EXPECT_FALSE(WeatherHasPendingEdits(w));
        const std::string exported = "Exported " + WeatherTimecycleFileName(static_cast<uint32_t>(w)) + ".";
        ASSERT_EQ(Export(w), exported);
        EXPECT_TRUE(ExportedFile(w) == source);

        testsupport::SyntheticHeap heap(testsupport::kGeneratedKeyframeTableBytes + 65536);
        if (IsKnownRealFile(file) && WeatherOfFileName(file) == w) {
            const uint64_t block = heap.base() + 4096 + WeatherNameTable[w].typeId * kWeatherBlockSpacing;
            PlantLoadedValues(w, block);
            ResetTimecycleEditor();
            LoadAndPreview(w);
            EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 423 parameters.");
            EXPECT_EQ(KeyframeTable.WeatherBlockTable[static_cast<size_t>(w)], block);
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
    ResetTimecycleEditor();  // before the last game table goes
}

// The real files of RAIN and EXTRASUNNY share eight of EXTRASUNNY's
// recognition rows. With EXTRASUNNY's file in the workspace and a game table
// that holds RAIN's file at RAIN's place and nothing else, RAIN's load is
// written there and nowhere else, and EXTRASUNNY's file (values the game
// does not hold) is written nowhere.
TEST_F(TimecycleTest, RealRainIsNeverTakenForExtrasunny) {
    std::string rainFile, sunnyFile;
    for (const std::string& file : testsupport::RealFiles("timecycle")) {
        if (!IsKnownRealFile(file)) continue;
        if (WeatherOfFileName(file) == 4) rainFile = file;
        if (WeatherOfFileName(file) == 0) sunnyFile = file;
    }
    if (rainFile.empty() || sunnyFile.empty()) GTEST_SKIP() << "no real w_rain.xml and w_extrasunny.xml: ../shared/testdata/real is absent";
    PutTimecycleFile(0, ReadHostFile(sunnyFile));
    PutTimecycleFile(4, ReadHostFile(rainFile));
    LoadAndPreview(4);
    testsupport::SyntheticHeap heap(testsupport::kGeneratedKeyframeTableBytes + 65536);
    ASSERT_TRUE(heap.ok());
    const uint64_t block = heap.base() + 4096 + WeatherNameTable[4].typeId * kWeatherBlockSpacing;
    PlantLoadedValues(4, block);
    ResetTimecycleEditor();
    const uint64_t before = BytesHash(heap.base(), heap.size());
    LoadAndPreview(4);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 423 parameters.");
    EXPECT_EQ(KnownWeatherBlock(4), block);
    EXPECT_EQ(BytesHash(heap.base(), heap.size()), before);  // RAIN's own values, written where they stood
    LoadAndPreview(0);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded for preview.");
    EXPECT_EQ(KnownWeatherBlock(0), 0u);
    EXPECT_EQ(BytesHash(heap.base(), heap.size()), before);
    ResetTimecycleEditor();  // before the game table goes
}

class EditStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ResetTimecycleEditor(); }
    void TearDown() override { ResetTimecycleEditor(); }

    static runtime::LiveOverrideSlot& Slot(size_t row) { return *TimecycleVariableTable[row].slot; }
    static size_t Row(const char* name) { return static_cast<size_t>(FindVariableRow(name)); }
    // A user edit of one entry against its original (edited when they differ).
    static EditEntry& UserEdit(int w, int r, int k, size_t row, float value, float original) {
        EditEntry& e = timecycle::UserEdit(w, r, k, row, value);
        e.original = e.live = original;
        e.edited = ValuesDiffer(value, original) ? 1 : 0;
        return e;
    }
    // A slot holding a value, its baseline and flags.
    static void SetSlot(size_t row, float value, float baseline, uint8_t enabled) {
        Slot(row).value = value;
        Slot(row).liveValue = baseline;
        Slot(row).baselineValue = baseline;
        Slot(row).baselineCaptured = 1;
        Slot(row).loaded = 1;
        Slot(row).enabled = enabled;
    }
};

TEST_F(EditStoreTest, SlotIndexClampsEveryKey) {
    TimecycleEditStore& store = EnsureEditStore();
    EXPECT_EQ(&GetEditSlot(-1, 5, 20), &store[38]);
    EXPECT_EQ(&GetEditSlot(25, 0, 0), &store[663]);
    EXPECT_EQ(EditSlotIndex(17, 2, 12), 701u);
    // Cleared in place: the entries a reader may hold stay where they are.
    UserEdit(4, 0, 0, 1, 2.0f, 1.0f);
    const EditEntry* before = &GetEditSlot(4, 0, 0).entries[1];
    ClearWeatherSlots(4);
    EXPECT_EQ(&GetEditSlot(4, 0, 0).entries[1], before);
    EXPECT_TRUE(GetEditSlot(4, 0, 0).loaded == 0 && before->present == 0 && before->editStamp == 0u);
}

TEST_F(EditStoreTest, FirstSelectionKeepsTheSlotsLaterOnesCommitAndLoad) {
    const size_t far = Row("far_clip");
    SetSlot(far, 1500.0f, 1000.0f, 1);
    SelectTimecycleContext(0, 0, 4);
    const EditEntry& first = GetEditSlot(0, 0, 4).entries[far];
    EXPECT_TRUE(first.value == 1500.0f && first.original == 1000.0f && first.edited == 1 && first.editStamp == 0u);
    EXPECT_TRUE(EditStore.CurrentTimecycleContext.valid);

    Slot(far).value = 1600.0f;
    SelectTimecycleContext(0, 0, 4);  // same context again: nothing is committed
    EXPECT_EQ(GetEditSlot(0, 0, 4).entries[far].value, 1500.0f);
    // Another context: the old one is committed, the new one (never loaded)
    // is filled from the baselines with edited and imported cleared.
    SelectTimecycleContext(0, 0, 5);
    EXPECT_EQ(GetEditSlot(0, 0, 4).entries[far].value, 1600.0f);
    EXPECT_TRUE(GetEditSlot(0, 0, 5).entries[far].value == 1000.0f && GetEditSlot(0, 0, 5).entries[far].edited == 0);
    EXPECT_TRUE(Slot(far).value == 1000.0f && Slot(far).enabled == 0);
    // Back to the first: the loaded slot replaces what the slots hold.
    SelectTimecycleContext(0, 0, 4);
    EXPECT_TRUE(Slot(far).value == 1600.0f && Slot(far).enabled == 1);
    EXPECT_EQ(EditStore.GroupFlagsDirty, 1);
}

TEST_F(EditStoreTest, CommitRulesForImportedEntries) {
    const size_t row = Row("fog_density");
    SelectTimecycleContext(1, 0, 0);
    EditEntry& e = GetEditSlot(1, 0, 0).entries[row];
    e.present = e.imported = 1;
    e.value = 5.0f;
    Slot(row).followImport = 1;
    Slot(row).value = 9.0f;
    Slot(row).liveValue = 2.0f;
    CommitSlotsToContext(1, 0, 0);
    EXPECT_TRUE(e.value == 5.0f && e.live == 2.0f);  // only the live value follows

    // Without followImport a commit marks imported only for a value that differs from its original.
    Slot(row).followImport = 0;
    Slot(row).baselineCaptured = 1;
    Slot(row).baselineValue = 9.000005f;
    CommitSlotsToContext(1, 0, 0);
    EXPECT_EQ(e.imported, 0);
    e.imported = 1;
    Slot(row).baselineValue = 8.0f;
    CommitSlotsToContext(1, 0, 0);
    EXPECT_TRUE(e.imported == 1 && e.value == 9.0f && e.original == 8.0f);
}

TEST_F(EditStoreTest, RebuildBothPrefersGlobalThenUrban) {
    UserEdit(2, 0, 0, 10, 1.0f, 0.0f);
    UserEdit(2, 1, 0, 10, 2.0f, 0.0f);
    UserEdit(2, 1, 1, 10, 3.0f, 0.0f);
    GetEditSlot(2, 2, 2).loaded = 1;
    GetEditSlot(2, 2, 2).entries[10].value = 7.0f;
    RebuildBothRegion(2);
    for (int k : {0, 1, 2}) EXPECT_EQ(GetEditSlot(2, 2, k).entries[10].value, k == 0 ? 1.0f : k == 1 ? 3.0f : 7.0f) << k;
    EXPECT_EQ(GetEditSlot(2, 2, 3).loaded, 0);  // neither loaded: left alone
}

TEST_F(EditStoreTest, GroupFlagsTolerate5e5) {
    const size_t row = Row("far_clip");
    SetSlot(row, 1.00003f, 1.0f, 1);
    const auto refresh = [](bool dirty) {
        if (dirty) EditStore.GroupFlagsDirty = 1;
        RefreshGroupEditedFlags();
        return TimecycleVariableGroupList()[26].edited;
    };
    EXPECT_EQ(refresh(true), 0);
    EXPECT_EQ(EditStore.GroupFlagsDirty, 0);
    Slot(row).value = 1.0001f;
    EXPECT_EQ(refresh(false), 0);  // not dirty: nothing recomputed
    EXPECT_EQ(refresh(true), 1);
    Slot(row).enabled = 0;
    Slot(Row("fog_col_g")).followImport = 1;
    EXPECT_EQ(refresh(true), 0);
    EXPECT_EQ(TimecycleVariableGroupList()[22].edited, 1);
    for (const VariableGroupEntry& entry : TimecycleVariableGroupList()[22].entries)
        EXPECT_EQ(entry.edited, entry.key == "fog_col" ? 1 : 0) << entry.key;
}

TEST_F(EditStoreTest, CaptureLiveOriginalsReadsAtTheSlotsOwnAddress) {
    alignas(4) float game[2] = {4.0f, 6.0f};
    const size_t a = Row("sky_hdr");
    const size_t b = Row("far_clip");
    Slot(a).address = reinterpret_cast<uint64_t>(&game[0]);
    Slot(b).address = reinterpret_cast<uint64_t>(&game[1]);
    SelectTimecycleContext(3, 0, 0);
    EditSlot& slot = GetEditSlot(3, 0, 0);
    for (size_t row : {a, b}) slot.entries[row].present = slot.entries[row].imported = 1;
    slot.entries[a].value = 4.0f;  // equal to the game: no longer imported
    slot.entries[b].value = 9.0f;
    slot.entries[b].original = -1.0f;
    EXPECT_EQ(CaptureLiveOriginalsForContext(4), 0u);  // other weather: nothing
    EXPECT_EQ(slot.entries[b].original, -1.0f);
    EXPECT_EQ(CaptureLiveOriginalsForContext(3), 1u);
    EXPECT_TRUE(slot.entries[a].original == 4.0f && slot.entries[a].imported == 0);
    EXPECT_TRUE(slot.entries[b].original == 6.0f && slot.entries[b].imported == 1);
    EXPECT_TRUE(Slot(b).baselineValue == 6.0f && Slot(b).followImport == 1 && Slot(b).value == 9.0f);
    EXPECT_EQ(EditStore.ImportedOverridesActive, 1);
    EXPECT_TRUE(ContextHasEdits());
}

TEST_F(EditStoreTest, ResetAllWritesOriginalsToTheGame) {
    alignas(4) float game = 3.0f;
    const size_t row = Row("temperature");
    Slot(row).address = reinterpret_cast<uint64_t>(&game);
    SetSlot(row, 30.0f, 21.0f, 1);
    ResetAllTimecycleVariables();  // no context: slots and game only
    EXPECT_TRUE(game == 21.0f && Slot(row).value == 21.0f && Slot(row).enabled == 0);
    EXPECT_EQ(GetEditSlot(0, 0, 0).loaded, 0);
    SelectTimecycleContext(0, 1, 2);
    Slot(row).value = 25.0f;
    Slot(row).enabled = 1;
    ResetAllTimecycleVariables();
    EXPECT_TRUE(GetEditSlot(0, 1, 2).entries[row].edited == 0 && GetEditSlot(0, 1, 2).entries[row].value == 21.0f);
}

TEST_F(EditStoreTest, StampsNamesAndWeatherQueries) {
    const size_t row = Row("far_clip");
    MarkParameterUserEdited("far_clip");  // no context: nothing
    EXPECT_EQ(EditStore.EditSequenceCounter, 0u);
    SelectTimecycleContext(5, 1, 3);
    EditEntry& e = GetEditSlot(5, 1, 3).entries[row];
    e.imported = 1;
    for (const char* name : {"far_clip", "unknown_name", ""}) MarkParameterUserEdited(name);
    EXPECT_TRUE(e.editStamp == 1u && e.imported == 0);
    MarkParameterUserEdited("far_clip");
    EXPECT_EQ(e.editStamp, 2u);

    RememberEditedNames("Fog Color", {"fog_col_r", "", "fog_col_g"});
    EXPECT_EQ(EditStore.LastEditedNames, (std::vector<std::string>{"fog_col_r", "fog_col_g"}));
    EXPECT_EQ(EditStore.LastEditedLabel, "Fog Color");
    RememberEditedNames(nullptr, {});
    EXPECT_EQ(EditStore.LastEditedLabel, "");

    EXPECT_FALSE(WeatherHasUserEdits(5));
    e = EditEntry{e.editStamp, 2.0f, 1.0f, 0.0f, 1, 1, 1, 0};
    EXPECT_TRUE(WeatherHasUserEdits(5) && WeatherHasPendingEdits(5));
    EXPECT_EQ(CountWeatherEdits(5), 0u);  // not imported
    e.imported = 1;
    EXPECT_EQ(CountWeatherEdits(5), 1u);
    EXPECT_FALSE(WeatherHasPendingEdits(6));
    e.editStamp = 0;
    EXPECT_FALSE(WeatherHasUserEdits(5));
}

// ---- Copies ----------------------------------------------------------------------------

TEST_F(EditStoreTest, WeatherCopyCarriesOnlyUserEdits) {
    UserEdit(0, 0, 2, 10, 5.0f, 1.0f);                                // a user edit
    UserEdit(0, 1, 3, 11, 7.0f, 7.0f);                                // equal to its original: not copied
    GetEditSlot(0, 0, 4).loaded = 1;                                  // loaded from a file, never touched
    GetEditSlot(0, 0, 4).entries[12] = EditEntry{0, 3.0f, 1.0f, 1.0f, 1, 1, 1, 1};
    UserEdit(0, 2, 5, 13, 9.0f, 1.0f);                                // BOTH is neither read nor written

    EXPECT_EQ(CopyWeatherEdits(0, 0), 0u);
    // The destination keeps its own original; a value equal to it is still
    // counted and stamped, with edited 0.
    GetEditSlot(1, 0, 2).entries[10].original = 5.0f;
    GetEditSlot(1, 0, 2).entries[10].originalCaptured = 1;
    const uint64_t stampBefore = EditStore.EditSequenceCounter;
    EXPECT_EQ(CopyWeatherEdits(0, 1), 1u);
    const EditEntry& t = GetEditSlot(1, 0, 2).entries[10];
    EXPECT_TRUE(t.value == 5.0f && t.edited == 0 && t.editStamp == stampBefore + 1);
    EXPECT_EQ(GetEditSlot(1, 1, 3).entries[11].present + GetEditSlot(1, 0, 4).entries[12].present, 0);
    EXPECT_EQ(GetEditSlot(1, 2, 5).loaded, 0);
    EXPECT_EQ(GetEditSlot(1, 0, 4).loaded, 1);  // source loaded: destination marked loaded

    // After one user change of the file value, it is copied.
    GetEditSlot(0, 0, 4).entries[12].editStamp = NextEditStamp();
    EXPECT_EQ(CopyWeatherEdits(0, 2), 2u);
    const EditEntry& copied = GetEditSlot(2, 0, 4).entries[12];
    EXPECT_TRUE(copied.value == 3.0f && copied.edited == 1 && copied.imported == 0);
}

TEST_F(EditStoreTest, RegionCopiesStampOnlyEdits) {
    const size_t fog = Row("fog_col_r");
    UserEdit(6, 0, 1, fog, 0.8f, 0.2f);
    UserEdit(6, 0, 2, fog, 0.9f, 0.2f);
    // Destination URBAN keyframe 1 already holds 0.8 as its own original.
    EditEntry& own = GetEditSlot(6, 1, 1).entries[fog];
    own = EditEntry{0, 0.8f, 0.8f, 0.8f, 1, 1, 0, 0};
    EXPECT_EQ(CopyParameterEditsToRegion(6, 0, 1, {}), 0u);
    EXPECT_EQ(CopyParameterEditsToRegion(6, 0, 1, {"nothing"}), 0u);
    EXPECT_EQ(CopyParameterEditsToRegion(6, 0, 1, {"fog_col_r", "nothing"}), 1u);
    EXPECT_TRUE(own.edited == 0 && own.editStamp == 0u);  // unchanged value equal to its original: not counted
    EXPECT_EQ(GetEditSlot(6, 1, 2).entries[fog].value, 0.9f);
    EXPECT_GT(GetEditSlot(6, 1, 2).entries[fog].editStamp, 0u);

    // Same region onto itself re-stamps and counts.
    const uint64_t stamp = GetEditSlot(6, 0, 1).entries[fog].editStamp;
    EXPECT_EQ(CopyAllRegionEdits(6, 0, 0, 12, 0), 2u);
    EXPECT_GT(GetEditSlot(6, 0, 1).entries[fog].editStamp, stamp);
    EXPECT_EQ(GetEditSlot(6, 0, 1).entries[fog].value, 0.8f);
    // Keyframe range: only 2..2.
    EXPECT_EQ(CopyAllRegionEdits(6, 0, 2, 2, 2), 1u);
    EXPECT_EQ(GetEditSlot(6, 2, 1).entries[fog].present, 0);
    EXPECT_EQ(GetEditSlot(6, 2, 2).entries[fog].value, 0.9f);
    // A copy into the current context reloads the slots.
    SelectTimecycleContext(6, 1, 5);
    UserEdit(6, 0, 5, Row("sky_hdr"), 12.0f, 2.0f);
    EXPECT_EQ(CopyAllRegionEdits(6, 0, 1, 5, 5), 1u);
    EXPECT_TRUE(Slot(Row("sky_hdr")).value == 12.0f && Slot(Row("sky_hdr")).enabled == 1);
}

// ---- Search ----------------------------------------------------------------------------

TEST_F(EditStoreTest, SearchMatchesWholeColourTriplesOnce) {
    EXPECT_EQ(SearchTimecycleParameters("").rows.size(), 429u);
    const SearchResults& results = SearchTimecycleParameters("col");
    std::set<const TimecycleVariable*> unique(results.rows.begin(), results.rows.end());
    EXPECT_EQ(unique.size(), results.rows.size());
    auto row = [](const char* name) { return &TimecycleVariableTable[FindVariableRow(name)]; };
    for (const char* name : {"fog_col_r", "fog_col_g", "fog_col_b", "fog_col_a", "light_dir_col_b"})
        EXPECT_EQ(unique.count(row(name)), 1u) << name;
    EXPECT_EQ(unique.count(row("sky_plane_r")) + unique.count(row("far_clip")), 0u);  // "Sky Plane R", sky_plane_r
    // R, G and B stand together in that order.
    const auto red = std::find(results.rows.begin(), results.rows.end(), row("fog_col_r"));
    ASSERT_LT(red + 2, results.rows.end());
    EXPECT_TRUE(red[1] == row("fog_col_g") && red[2] == row("fog_col_b"));
    // The same query is not recomputed; another is: a label changed in
    // between shows only in the new query's results.
    runtime::LiveOverrideSlot& far = *row("far_clip")->slot;
    const char* const label = far.name;
    far.name = "Far Col";
    const size_t before = results.rows.size();
    EXPECT_EQ(SearchTimecycleParameters("col").rows.size(), before);
    EXPECT_EQ(SearchTimecycleParameters("coL").rows.size(), before + 1);
    far.name = label;
    EXPECT_TRUE(SearchTimecycleParameters("zzzz").rows.empty());
    EXPECT_EQ(SearchTimecycleParameters(nullptr).rows.size(), 429u);
}

uint16_t GameHalf(uint64_t block, int region, int keyframe, size_t variable) {
    uint16_t half;
    std::memcpy(&half, reinterpret_cast<const void*>(KeyframeRecordAddress(block, region, keyframe) + 2 * variable), 2);
    return half;
}
float GameValue(uint64_t block, int region, int keyframe, size_t variable) {
    return HalfToFloat(GameHalf(block, region, keyframe, variable));
}

// A game heap holding the generated keyframe table of all 18 weathers, near
// its start, or at the far end of a 48 MiB heap (PlaceTable).
class KeyframeTableTest : public TimecycleTest {
protected:
    void SetUp() override {
        TimecycleTest::SetUp();
        PlaceTable(testsupport::kGeneratedKeyframeTableBytes + 65536, false);
    }
    void TearDown() override {
        heap_.reset();
        TimecycleTest::TearDown();
    }
    void PlaceTable(size_t heapBytes, bool atEnd) {
        heap_ = std::make_unique<testsupport::SyntheticHeap>(heapBytes);
        ASSERT_TRUE(heap_->ok());
        base_ = atEnd ? heap_->base() + heapBytes - testsupport::kGeneratedKeyframeTableBytes - 4096 : heap_->base() + 4096;
        testsupport::WriteGeneratedKeyframeTable(reinterpret_cast<uint8_t*>(base_));
    }
    uint64_t BlockOf(int weather) const { return base_ + WeatherNameTable[weather].typeId * kWeatherBlockSpacing; }
    // A hash of each weather's block (a copy of the bytes would be memory
    // the searches walk).
    std::array<uint64_t, 18> BlockHashes() const {
        std::array<uint64_t, 18> hashes{};
        for (int w = 0; w < 18; ++w) hashes[static_cast<size_t>(w)] = BytesHash(BlockOf(w), kWeatherBlockBytes);
        return hashes;
    }
    std::set<int> ChangedBlocks(const std::array<uint64_t, 18>& before) const {
        std::set<int> changed;
        for (int w = 0; w < 18; ++w)
            if (BytesHash(BlockOf(w), kWeatherBlockBytes) != before[static_cast<size_t>(w)]) changed.insert(w);
        return changed;
    }

    std::unique_ptr<testsupport::SyntheticHeap> heap_;
    uint64_t base_ = 0;
};

// ---- Recognition rows ------------------------------------------------------------------

TimecycleRowRecord RowOf(const std::string& name, std::initializer_list<float> values) {
    TimecycleRowRecord row;
    row.name = name;
    size_t k = 0;
    for (float v : values) {
        row.values[k] = v;
        row.halves[k++] = FloatToHalf(v);
    }
    FinishTimecycleRow(row);
    return row;
}

TEST(RecognitionRows, ScoresAnchorsAndOrder) {
    const TimecycleRowRecord flat = RowOf("a", {0, 1, 1, 0, 0, 1, 1, 0, 0, 0, 1, 0, 1});
    EXPECT_LE(flat.distinct, 2u);
    const auto four = [](const char* name) {
        return RowOf(name, {0.2f, 0.3f, 0.4f, 0.5f, 0.2f, 0.3f, 0.4f, 0.5f, 0.2f, 0.3f, 0.4f, 0.5f, 0.2f});
    };
    EXPECT_EQ(four("b").distinct, 4u);
    EXPECT_EQ(four("b").score, 555u);
    // 0.4 and 0.5 (three of each, magnitude term 1) tie ahead of 0.2 (four of
    // them) and 0.3 (magnitude term 0): the first of them anchors.
    EXPECT_EQ(four("b").anchorKeyframe, 2);
    EXPECT_EQ(four("b").anchorHalf, FloatToHalf(0.4f));
    const TimecycleRowRecord big = RowOf("c", {0, 1, 2, 3, 40, 5, 6, 7, 8, 9, 10, 11, 12});
    EXPECT_EQ(big.anchorKeyframe, 4);

    std::vector<TimecycleRowRecord> rows = {flat, four("z"), four("b"), big};
    FilterAndOrderRows(rows);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name + rows[1].name + rows[2].name, "cbz");  // equal score and distinct: name order
    std::vector<TimecycleRowRecord> many(30, big);
    FilterAndOrderRows(many);
    EXPECT_EQ(many.size(), 24u);
}

// ---- Search, derived weathers, preview ------------------------------------------------------

// CLEAR's own rows are too few for a search of their own (one of them
// stands in the game): its block follows from EXTRASUNNY's, searched first,
// and is taken once that row stands in it. A weather without rows takes the
// block that follows; one whose rows stand nowhere is given none.
TEST_F(KeyframeTableTest, ClearIsDerivedFromExtrasunnyWhenOneOfItsRowsStandsThere) {
    PutGeneratedFile(0);  // matches the game
    PutGeneratedFile(1, {.valueWeather = 100});  // values no block of the game holds...
    std::vector<TimecycleRowRecord> rows;
    ReadOriginalXmlRows(rows, 1, kRegionGlobal);
    ASSERT_FALSE(rows.empty());
    const std::string clear = MakeTimecycleXml({.weather = 1});
    const std::vector<ValueToken> t = ElementTokens(clear, "GLOBAL", rows[0].name.c_str());
    PutGeneratedFile(1, {.valueWeather = 100,  // ... but for the first row
                         .elementTextOverride = {{rows[0].name, " " + clear.substr(t.front().start, t.back().end - t.front().start)}}});
    EXPECT_EQ(ScanTimecycleTable(1), BlockOf(1));
    EXPECT_EQ(KeyframeTable.WeatherBlockTable[0], BlockOf(0));
    EXPECT_EQ(BlockOf(1) - BlockOf(0), 22496u);
    // Known now: no second search.
    KeyframeTable.LastScanStats.regionsScanned = 12345;
    EXPECT_EQ(ScanTimecycleTable(7), BlockOf(7));
    EXPECT_EQ(KeyframeTable.LastScanStats.regionsScanned, 12345u);
    PutGeneratedFile(2, {.valueWeather = 101});
    EXPECT_EQ(ScanTimecycleTable(2), 0u);
    EXPECT_EQ(KeyframeTable.WeatherBlockTable[2], BlockOf(2));  // located all the same
}

// A row of CLEAR's own that stands in the block following from EXTRASUNNY's
// at twelve of its thirteen keyframes (the first, a middle one or the last
// differs) does not make that block CLEAR's: CLEAR is given none.
TEST_F(KeyframeTableTest, ARowStandingInSomeKeyframesOnlyDoesNotPlaceItsWeather) {
    PutGeneratedFile(0);  // matches the game
    PutGeneratedFile(1, {.valueWeather = 100});
    std::vector<TimecycleRowRecord> rows;
    ReadOriginalXmlRows(rows, 1, kRegionGlobal);
    ASSERT_FALSE(rows.empty());
    const std::string& name = rows[0].name;
    const std::string clear = MakeTimecycleXml({.weather = 1});
    const std::vector<ValueToken> t = ElementTokens(clear, "GLOBAL", name.c_str());
    ASSERT_EQ(t.size(), 13u);
    for (const int other : {0, 6, 12}) {
        SCOPED_TRACE(other);
        ResetTimecycleEditor();
        std::string text;
        for (int k = 0; k < 13; ++k)
            text += " " + (k == other ? std::string("777.5") : clear.substr(t[k].start, t[k].end - t[k].start));
        PutGeneratedFile(1, {.valueWeather = 100, .elementTextOverride = {{name, text}}});
        std::vector<TimecycleRowRecord> search;
        ReadSearchRows(search, 1, true);
        const auto row = std::find_if(search.begin(), search.end(), [&](const TimecycleRowRecord& r) { return r.name == name; });
        ASSERT_NE(row, search.end()) << "the row is one CLEAR's search uses";
        ASSERT_EQ(row->values[static_cast<size_t>(other)], 777.5f);
        EXPECT_EQ(ScanTimecycleTable(1), 0u);
        EXPECT_EQ(KeyframeTable.WeatherBlockTable[0], BlockOf(0));
        EXPECT_EQ(KnownWeatherBlock(1), 0u);
        EXPECT_EQ(AcceptedWeatherBlock(1), 0u);
    }
}

// No rows: nothing is searched. No match: nothing is stored, and the same
// rows are not searched again; other rows (another file) are.
TEST_F(KeyframeTableTest, AFailedSearchIsRememberedUntilTheRowsChange) {
    EXPECT_EQ(ScanTimecycleTable(0), 0u);  // no file, nothing loaded
    EXPECT_EQ(KeyframeTable.LastScanStats.regionsScanned, 0u);
    PutGeneratedFile(2, {.valueWeather = 100});
    LoadAndPreview(2);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded for preview.");
    EXPECT_EQ(TimecycleXml.TimecycleLoadRecords[2].previewApplied, 0);
    for (const auto& entry : KeyframeTable.WeatherBlockTable) EXPECT_EQ(entry.Get(), 0u);
    ASSERT_GT(KeyframeTable.LastScanStats.bytesScanned, 0u);
    KeyframeTable.LastScanStats.slices = 12345;
    EXPECT_EQ(LoadAndPreview(2), 1);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded for preview.");
    EXPECT_EQ(ScanTimecycleTable(2), 0u);
    EXPECT_EQ(KeyframeTable.LastScanStats.slices, 12345u);  // no new walk
    PutGeneratedFile(2, {.valueWeather = 101});
    LoadAndPreview(2);
    EXPECT_NE(KeyframeTable.LastScanStats.slices, 12345u);
}

// OVERCAST is recognised by the engine's own eight GLOBAL rows, whatever its
// file holds; its URBAN region has none, so the file's rows serve there.
TEST_F(KeyframeTableTest, OvercastIsFoundByTheEngineBaseline) {
    PutGeneratedFile(3);
    std::vector<TimecycleRowRecord> rows;
    ReadOriginalXmlRows(rows, 3, 2);
    ASSERT_EQ(rows.size(), 8u);
    for (const TimecycleRowRecord& row : rows) EXPECT_TRUE(row.source == "engine_baseline" && row.region == "GLOBAL");
    rows.clear();
    ReadOriginalXmlRows(rows, 3, 1);
    ASSERT_FALSE(rows.empty());
    EXPECT_TRUE(rows[0].source == "original_xml" && rows[0].region == "URBAN");
    rows.clear();
    ReadOriginalXmlRows(rows, 1, 0);  // no file
    EXPECT_TRUE(rows.empty());
    for (const EngineBaselineRow& row : EngineBaselineTable) {
        for (int k = 0; k < 13; ++k) PlantHalf(BlockOf(3), 0, k, static_cast<size_t>(FindVariableRow(row.name)), row.values[k]);
    }
    EXPECT_EQ(ScanTimecycleTable(3), BlockOf(3));
    EXPECT_EQ(KeyframeTable.WeatherBlockTable[0], BlockOf(0));
}

TEST_F(KeyframeTableTest, TwoEqualTablesGiveTheLowerOne) {
    testsupport::SyntheticHeap second(testsupport::kGeneratedKeyframeTableBytes + 65536);
    ASSERT_TRUE(second.ok());
    testsupport::WriteGeneratedKeyframeTable(reinterpret_cast<uint8_t*>(second.base() + 4096));
    PutGeneratedFile(5);
    EXPECT_EQ(ScanTimecycleTable(5), std::min(BlockOf(5), second.base() + 4096 + WeatherNameTable[5].typeId * kWeatherBlockSpacing));
}

// EXTRASUNNY's file in the workspace (never loaded, its values not in the
// game) holds eight rows equal to RAIN's. They stand in RAIN's block, so
// they tell nothing about EXTRASUNNY's: RAIN is given its own block, which
// alone is written; EXTRASUNNY none until its own rows stand in the block
// that follows from RAIN's.
TEST_F(KeyframeTableTest, RowsTwoWeathersShareNeverPlaceEither) {
    constexpr int kRain = 4;
    PutGeneratedFile(0, {.valueWeather = 100});
    std::vector<TimecycleRowRecord> rows;
    ReadOriginalXmlRows(rows, 0, kRegionGlobal);
    ASSERT_EQ(rows.size(), 24u);
    const std::string rain = MakeTimecycleXml({.weather = kRain});
    const auto withRainRows = [&](testsupport::TimecycleFileOptions options) {
        for (size_t i = 0; i < 8; ++i) {
            const std::vector<ValueToken> t = ElementTokens(rain, "GLOBAL", rows[i].name.c_str());
            options.elementTextOverride[rows[i].name] = " " + rain.substr(t.front().start, t.back().end - t.front().start);
        }
        return options;
    };
    PutGeneratedFile(0, withRainRows({.valueWeather = 100}));
    PutGeneratedFile(kRain, {.elementTextOverride = {{"far_clip", " 1 2 3 4 5 6 7 8 9 10 11 12 13"}}});
    const std::array<uint64_t, 18> game = BlockHashes();
    LoadAndPreview(kRain);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters.");
    EXPECT_EQ(KnownWeatherBlock(kRain), BlockOf(kRain));
    EXPECT_EQ(KnownWeatherBlock(0), 0u);
    EXPECT_EQ(ChangedBlocks(game), std::set<int>{kRain});
    EXPECT_EQ(GameValue(BlockOf(kRain), 0, 12, 394), 13.0f);

    const std::array<uint64_t, 18> afterRain = BlockHashes();
    LoadAndPreview(0);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded for preview.");
    EXPECT_EQ(KnownWeatherBlock(0), 0u);
    EXPECT_EQ(ChangedBlocks(afterRain), std::set<int>{});

    // Its own values with the same eight rows of RAIN's: the block that
    // follows from RAIN's holds the others, and is EXTRASUNNY's.
    PutGeneratedFile(0, withRainRows({}));
    LoadAndPreview(0);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters.");
    EXPECT_EQ(KnownWeatherBlock(0), BlockOf(0));
    EXPECT_EQ(ChangedBlocks(afterRain), std::set<int>{0});
}

TEST_F(KeyframeTableTest, TheSearchNeverFindsTheEditorsOwnCopy) {
    PutGeneratedFile(1);
    LoadAndPreview(1);
    ASSERT_EQ(KeyframeTable.WeatherBlockTable[1], BlockOf(1));
    ASSERT_TRUE(KeyframeTable.WeatherBlockSnapshots[1].taken);
    // The game frees its table; only the snapshot still holds those bytes.
    heap_.reset();
    for (auto& entry : KeyframeTable.WeatherBlockTable) entry = 0;
    EXPECT_EQ(ScanTimecycleTable(1), 0u);
}

// Every weather previewed on the render thread but EXTRASUNNY (its file is
// missing), then the unload and a new load in the same process: the
// plug-in's state destroyed and built again, the editor fresh. The new
// load's search for each weather finds the game's table, never a snapshot
// that the last load freed (in the render thread's heap, which lies below
// the table's mapping and is not reused by the new load).
TEST_F(KeyframeTableTest, AfterAnUnloadAndANewLoadTheSearchFindsTheGamesTable) {
    for (const EngineBaselineRow& row : EngineBaselineTable) {  // OVERCAST's rows, as the game holds them
        for (int k = 0; k < 13; ++k) PlantHalf(BlockOf(3), 0, k, static_cast<size_t>(FindVariableRow(row.name)), row.values[k]);
    }
    std::thread render([this] {
        for (int w = 1; w < 18; ++w) {
            PutGeneratedFile(w);
            LoadAndPreview(w);
            EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters.") << w;
            EXPECT_TRUE(KeyframeTable.WeatherBlockSnapshots[static_cast<size_t>(w)].taken) << w;
        }
    });
    render.join();
    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    std::destroy_at(&KeyframeTable);
    std::construct_at(&KeyframeTable);
    for (int w = 1; w < 18; ++w) {
        if (w == 3) continue;  // OVERCAST's own rows are the engine's, which its preview overwrote
        ResetTimecycleEditor();
        LoadAndPreview(w);
        EXPECT_EQ(KeyframeTable.WeatherBlockTable[static_cast<size_t>(w)], BlockOf(w)) << w;
        EXPECT_EQ(AcceptedWeatherBlock(w), BlockOf(w)) << w;
    }
}

// "Load .xml" never makes a frame wait for the whole search: the load reads
// one slice, each later frame one more, until the table at the far end of
// 48 MiB is found. Then every weather's block is known, the file's values are
// in the game (the game's own bytes before it in the snapshot) and the file
// is the reference.
TEST_F(KeyframeTableTest, TheLoadPreviewSearchesOneSliceAFrame) {
    PlaceTable(48u << 20, true);
    PutGeneratedFile(4, {.elementTextOverride = {{"far_clip", " 100 200 300 400 500 600 700 800 900 1000 1100 1200 1300"}}});
    host::Tick.PatchesClearedForImport = 1;
    core::Editor.TimecycleRereadFrames = 3;
    LoadTimecycleXml(4);
    EXPECT_TRUE(TimecyclePreviewPending());
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded w_rain.xml: 11154 values.");
    EXPECT_EQ(TimecycleXml.TimecycleLoadRecords[4].previewApplied, 0);
    int slices = 1;
    ASSERT_TRUE(testsupport::RunWhile(StepTimecyclePreview, [&slices] { ++slices; }));
    EXPECT_GE(slices, 12);  // 48 MiB at 4 MiB a slice
    EXPECT_LE(KeyframeTable.LastScanStats.largestSliceBytes, kScanSliceBytes);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters.");
    EXPECT_EQ(host::Tick.PatchesClearedForImport + core::Editor.TimecycleRereadFrames, 0);
    for (int w = 0; w < 18; ++w) EXPECT_EQ(KeyframeTable.WeatherBlockTable[static_cast<size_t>(w)], BlockOf(w)) << w;
    EXPECT_EQ(TimecycleXml.TimecycleLoadRecords[4].previewApplied, 1);
    EXPECT_EQ(TimecycleXml.TimecycleLoadRecords[4].appliedCount, 11154u);
    EXPECT_FALSE(WeatherHasPendingEdits(4));
    EXPECT_TRUE(KeyframeTable.BeforeAfterSync.initialised == 1 && KeyframeTable.BeforeAfterSync.lastWeather == 4);
    for (int k = 0; k < 13; ++k) {
        EXPECT_EQ(GameValue(BlockOf(4), 0, k, 394), 100.0f * static_cast<float>(k + 1));
        EXPECT_EQ(GameValue(BlockOf(4), 1, k, 394), 100.0f * static_cast<float>(k + 1));
    }
    ASSERT_TRUE(KeyframeTable.WeatherBlockSnapshots[4].taken);
    uint16_t before;
    std::memcpy(&before, KeyframeTable.WeatherBlockSnapshots[4].bytes.data() + 2 * 394, 2);
    EXPECT_EQ(before, FloatToHalf(GeneratedTimecycleValue(4, 0, 394, 0)));
    EXPECT_EQ(GameHalf(BlockOf(4), 0, 0, 430), 0);  // unused values 429..431 are left as they were

    // A store change while the search runs: the file is no longer simply the
    // game's reference, so the values go live through the slots and the edit stays.
    PlaceTable(48u << 20, true);
    for (auto& entry : KeyframeTable.WeatherBlockTable) entry = 0;
    LoadTimecycleXml(4);
    ASSERT_TRUE(TimecyclePreviewPending());
    UserEdit(4, 0, 3, "far_clip", 2500.0f).original = 1.0f;
    ASSERT_TRUE(testsupport::RunWhile(StepTimecyclePreview, [] {}));
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded for preview.");
    EXPECT_EQ(KeyframeTable.WeatherBlockTable[4], BlockOf(4));  // found all the same, for later writes
    EXPECT_TRUE(WeatherHasUserEdits(4));
}

// Memory is matched where it stands: a fault while it is read (pages taken
// away after the walk read the map of the regions) drops that step and what
// it found, and the search goes on to its end.
TEST_F(KeyframeTableTest, AFaultWhileMatchingInPlaceDropsTheStep) {
    PlaceTable(48u << 20, true);
    PutGeneratedFile(4);
    const auto begun = std::chrono::steady_clock::now();
    StartKeyframeTableSearch(4);
    ASSERT_EQ(StepKeyframeTableSearch(), KeyframeSearchState::Running);
    // Behind the walk's back (not through the memory seam): three pages (a
    // whole period of the classes the search looks at) just after RAIN's
    // block, in the same step of memory, read after RAIN's rows were found.
    const uint64_t pages = (BlockOf(4) + kWeatherBlockSpacing + 8192) & ~uint64_t{4095};
    ASSERT_EQ(mprotect(reinterpret_cast<void*>(pages), 3 * 4096, PROT_NONE), 0);
    const bool ended =
        testsupport::RunWhile([] { return StepKeyframeTableSearch() == KeyframeSearchState::Running; }, [] {});
    ASSERT_EQ(mprotect(reinterpret_cast<void*>(pages), 3 * 4096, PROT_READ | PROT_WRITE), 0);
    ASSERT_TRUE(ended) << "the search never ended";
    if (std::chrono::steady_clock::now() - begun > std::chrono::milliseconds(200))
        GTEST_SKIP() << "the walk read the map of the regions again (it does after 250 ms)";
    EXPECT_GE(KeyframeTable.LastScanStats.chunksSkipped, 1u);
    EXPECT_NE(KeyframeTableSearchResult(), BlockOf(4));
}

// A table whose rows start just below a 1 MiB step of its region and whose
// anchors lie past it.
TEST_F(TimecycleTest, TheSearchTriesStartsWhoseAnchorLiesPastTheChunk) {
    const uint64_t mapping = platform::AllocateAnywhere(4u << 20, platform::kPageReadWrite);
    ASSERT_NE(mapping, 0u);
    ASSERT_TRUE(platform::ChangeProtection(mapping, 4096, platform::kPageReadOnly, nullptr));
    const uint64_t block = mapping + 4096 + (1u << 20) - 64;
    testsupport::TimecycleFileOptions options{.distinctRowLimit = 0};  // every row constant: none recognises anything
    for (size_t i = 0; i < 8; ++i) {
        std::string text;
        for (int k = 0; k < 13; ++k) {
            const float v = k == 6 ? 15.0f + static_cast<float>(i) : 0.1f * static_cast<float>(k + 1) + 0.01f * static_cast<float>(i);
            text += ' ';
            text += std::to_string(v);
            PlantHalf(block, 0, k, i, v);
        }
        options.elementTextOverride[TimecycleVariableTable[i].xmlName] = text;
    }
    PutGeneratedFile(1, options);
    std::vector<TimecycleRowRecord> rows;
    ReadOriginalXmlRows(rows, 1, 0);
    ASSERT_EQ(rows.size(), 8u);
    for (const TimecycleRowRecord& row : rows) EXPECT_EQ(row.anchorKeyframe, 6);
    EXPECT_EQ(ScanTimecycleTable(1), block);
    platform::FreeMemory(mapping);
}

// ---- Records ----------------------------------------------------------------------------------

TEST_F(KeyframeTableTest, ContextEditsWriteWholeRecordsAndBeforeAfterRewritesTheWeather) {
    EXPECT_FALSE(ApplyContextToLive());  // no context
    SelectTimecycleContext(2, 0, 0);
    EXPECT_FALSE(ApplyContextToLive());  // no block
    KeyframeTable.WeatherBlockTable[2] = BlockOf(2);
    EXPECT_FALSE(ApplyContextToLive());  // located, never taken as CLOUDS'
    KeyframeTable.AcceptedBlocks[2] = BlockOf(2);
    EXPECT_TRUE(ApplyContextToLive());  // the first selection filled the context from the slots
    PutGeneratedFile(9);
    LoadAndPreview(9);
    ASSERT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters.");
    const uint64_t block = BlockOf(9);
    const size_t row = static_cast<size_t>(FindVariableRow("sky_hdr"));
    const auto generated = [](int r, size_t i, int k) { return FloatToHalf(GeneratedTimecycleValue(9, r, static_cast<int>(i), k)); };

    SelectTimecycleContext(9, kRegionBoth, 2);
    runtime::LiveOverrideSlot& slot = *TimecycleVariableTable[row].slot;
    slot.value = 42.0f;
    slot.enabled = 1;
    MarkParameterUserEdited("sky_hdr");
    ASSERT_TRUE(ApplyContextToLive());
    EXPECT_EQ(GameValue(block, 0, 2, row), 42.0f);  // BOTH: GLOBAL and URBAN
    EXPECT_EQ(GameValue(block, 1, 2, row), 42.0f);
    EXPECT_EQ(GameHalf(block, 0, 3, row), generated(0, row, 3));
    // URBAN's record keeps its own values for everything not edited.
    EXPECT_EQ(GameHalf(block, 1, 2, 5), generated(1, 5, 2));

    // An edit of another variable in GLOBAL keeps the newer BOTH edit in the record.
    SelectTimecycleContext(9, kRegionGlobal, 2);
    EXPECT_EQ(FloatToHalf(slot.value), generated(0, row, 2));
    runtime::LiveOverrideSlot& other = *TimecycleVariableTable[5].slot;
    other.value = 0.75f;
    other.enabled = 1;
    MarkParameterUserEdited(TimecycleVariableTable[5].xmlName);
    ASSERT_TRUE(ApplyContextToLive());
    EXPECT_EQ(GameValue(block, 0, 2, 5), 0.75f);
    EXPECT_EQ(GameValue(block, 0, 2, row), 42.0f);
    SelectTimecycleContext(9, kRegionBoth, 2);

    // The first sync only records; then each change of the flag rewrites the
    // weather once: "before" the originals (the loaded file), "after" the edits.
    const struct {
        uint8_t afterShown;
        float plant;  // planted in the game before the sync (0: nothing)
        float expected;
    } syncs[] = {{0, 0, 42.0f}, {1, 0, 42.0f}, {0, 0, HalfToFloat(generated(0, row, 2))}, {0, 5.0f, 5.0f}, {1, 0, 42.0f}};
    KeyframeTable.BeforeAfterSync = BeforeAfterSyncState{};
    for (const auto& sync : syncs) {
        core::Editor.TimecycleAfterShown = sync.afterShown;
        if (sync.plant != 0) PlantHalf(block, 0, 2, row, sync.plant);
        SyncTimecycleBeforeAfter();
        EXPECT_EQ(GameValue(block, 0, 2, row), sync.expected) << int(sync.afterShown) << " " << sync.plant;
    }
    EXPECT_EQ(GameValue(block, 1, 2, row), 42.0f);

    // "Before" of an entry whose original was never captured writes its value.
    EditEntry& e = GetEditSlot(9, 0, 7).entries[row];
    e.originalCaptured = 0;
    e.value = 3.0f;
    uint64_t written = 0;
    ASSERT_TRUE(WriteWeatherBlockLive(9, true, &written));
    EXPECT_EQ(written, 11154u);
    EXPECT_EQ(GameValue(block, 0, 7, row), 3.0f);
}

// A file cut inside its second region loads its first and leaves the
// second as it was, unsaved edits included (in the game's table too, where
// the file becomes the reference only for the region it holds), and says so.
TEST_F(KeyframeTableTest, ARegionTheFileDoesNotHoldKeepsItsEdits) {
    const std::string good = MakeTimecycleXml({.weather = 2});
    PutTimecycleFile(2, good);
    LoadAndPreview(2);
    ASSERT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters.");
    UserEdit(2, 1, 4, "far_clip", 1234.0f).original = GeneratedTimecycleValue(2, 1, 394, 4);
    UserEdit(2, 0, 4, "far_clip", 4321.0f).original = GeneratedTimecycleValue(2, 0, 394, 4);
    const size_t urbanEnd = good.find("</region>", good.find("</region>") + 9);
    PutTimecycleFile(2, good.substr(0, urbanEnd - 2));
    LoadAndPreview(2);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters. w_clouds.xml: no URBAN region, URBAN left as it was.");
    EXPECT_EQ(GetEditSlot(2, 0, 4).entries[394].value, GeneratedTimecycleValue(2, 0, 394, 4));  // GLOBAL read anew
    const EditEntry& kept = GetEditSlot(2, 1, 4).entries[394];
    EXPECT_TRUE(kept.value == 1234.0f && kept.edited == 1 && kept.imported == 0) << kept.value;
    EXPECT_EQ(GameValue(BlockOf(2), 1, 4, 394), 1234.0f);
    EXPECT_TRUE(WeatherHasUserEdits(2));
    // The cut file has no place for it: still pending, and said so.
    EXPECT_EQ(Export(2), "Exported w_clouds.xml. Some edits were not written.");
}

TEST_F(KeyframeTableTest, ARecordThatCannotBeReadWholeIsNeverWritten) {
    PutGeneratedFile(1);
    LoadAndPreview(1);
    const uint64_t block = BlockOf(1);
    const uint64_t page = (block + 4 * kKeyframeRecordBytes + 4095) / 4096 * 4096;  // inside records 4..9
    const uint64_t firstBad = (page - block) / kKeyframeRecordBytes;
    const uint64_t lastBad = (page + 4096 - 1 - block) / kKeyframeRecordBytes;
    std::vector<uint8_t> pageBefore(4096);
    std::memcpy(pageBefore.data(), reinterpret_cast<const void*>(page), 4096);
    for (int r = 0; r < 2; ++r) {
        for (int k = 0; k < 13; ++k) {
            for (EditEntry& e : GetEditSlot(1, r, k).entries) e.value = 7.0f;
        }
    }
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(page, 4096, platform::kPageNoAccess, &old));
    const RecordWriteCounts counts = WriteWeatherRecords(1, block, false);
    // The snapshot of a block with an unreadable record keeps that record's originals out.
    DiscardWeatherSnapshot(1);
    EXPECT_FALSE(SnapshotWeatherBlock(1, block));
    ASSERT_TRUE(platform::ChangeProtection(page, 4096, old, nullptr));

    const uint64_t badRecords = lastBad - firstBad + 1;
    EXPECT_EQ(counts.failed, badRecords * 429u);
    EXPECT_EQ(counts.written, (26u - badRecords) * 429u);
    EXPECT_EQ(counts.loadedRecords, 26u);
    EXPECT_EQ(std::memcmp(pageBefore.data(), reinterpret_cast<const void*>(page), 4096), 0);
    EXPECT_EQ(GameValue(block, 0, 0, 10), 7.0f);
    for (uint64_t record = 0; record < 26; ++record)
        EXPECT_EQ(KeyframeTable.WeatherBlockSnapshots[1].recordValid[record], record < firstBad || record > lastBad) << record;

    const int badKeyframe = static_cast<int>(firstBad);
    GetEditSlot(1, 0, badKeyframe).entries[10].original = -3.0f;
    CaptureOriginalsFromSnapshot(1);
    EXPECT_EQ(GetEditSlot(1, 0, badKeyframe).entries[10].original, -3.0f);  // not taken from zeros
    EXPECT_EQ(GetEditSlot(1, 0, 0).entries[10].original, HalfToFloat(FloatToHalf(7.0f)));  // the game held 7
}

TEST_F(TimecycleTest, SlotRefreshHoldKeepsLoadedSlots) {
    alignas(4) float game = 9.0f;
    runtime::LiveOverrideSlot& slot = *TimecycleVariableTable[0].slot;
    slot.address = reinterpret_cast<uint64_t>(&game);
    KeyframeTable.SlotRefreshHoldFrames = 4;
    RefreshTimecycleSlot(slot);  // not loaded: read anyway
    EXPECT_TRUE(slot.liveValue == 9.0f && slot.loaded == 1);
    game = 10.0f;
    core::Editor.MenuOpen = 1;
    core::Editor.SlotRefreshTick = 1;
    RefreshTimecycleSlot(slot);
    EXPECT_EQ(slot.liveValue, 9.0f);
    KeyframeTable.SlotRefreshHoldFrames = 0;
    RefreshTimecycleSlot(slot);
    EXPECT_EQ(slot.liveValue, 10.0f);
    core::Editor.MenuOpen = 0;
    core::Editor.SlotRefreshTick = 0;
}

}  // namespace
}  // namespace timecycle
