// visualsettings.dat import and export on the synthetic game image with a
// fake drive: the line parser, the counts and messages, values reaching the
// game, one binding per import, no wait for the runtime table, line ends,
// files too large, and the export's line-by-line rewrite.
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <string>

#include "core/workspace.h"
#include "platform/simulated.h"
#include "support/fake_drive.h"
#include "support/thread_waits.h"
#include "visualsettings/dat_export.h"
#include "visualsettings/dat_import.h"
#include "visualsettings/layout_reader.h"
#include "visualsettings/live_write.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/runtime_keys.h"
#include "visualsettings/runtime_table.h"
#include <unistd.h>
#include "dat_file_fixture.h"
#include "visualsettings_fixture.h"

namespace vstest {
namespace {

constexpr const char kCoronas[] = "misc.coronas.sizeScaleGlobal";
constexpr const char kCoronas2[] = "misc.coronas.intensityScaleGlobal";

class DatFilesTest : public DatFileTest {
protected:
    void SetUp() override {
        DatFileTest::SetUp();
        BindVisualSettingsParams();
        InitVisualSettingsDefaults();
    }
    std::string Import(const std::string& text) {
        PutImport(text);
        ImportVisualSettingsDat();
        return Status();
    }
    static std::string Status() { return StatusText(Switch.importExportStatus); }
    std::string Exported() { return GetFile(ExportVisualSettingsPath()); }
};

TEST(DatImportLine, KeyLinesAndTheRest) {
    const struct {
        const char* line;
        bool key;
        float value;
    } rows[] = {
        {"a.b 1.5", true, 1.5f},
        {"a.b 1.5 // note", true, 1.5f},
        {"a.b 1.5 #more", true, 1.5f},
        {"   a.b\t1.5\r", true, 1.5f},
        {"a.b 0.5f", true, 0.5f},
        {"a.b -2e3", true, -2000.0f},
        {"a.b=1.5", false, 0},
        {"a.b", false, 0},
        {"# a.b 1.5", false, 0},
        {"// a.b 1.5", false, 0},
        {"a.b nan", false, 0},
        {"a.b 1e39", false, 0},  // overflows to infinity
        {"a.b inf", false, 0},
        {"a.b word", false, 0},
        {"", false, 0},
        {"\xEF\xBB\xBF", false, 0},
        {"\xC3\xA9t\xC3\xA9 1", true, 1.0f},  // bytes above 127 are no white space
    };
    for (const auto& r : rows) {
        std::string key;
        float value = -99.0f;
        EXPECT_EQ(ParseImportLine(r.line, key, value), r.key) << r.line;
        if (r.key) {
            EXPECT_FLOAT_EQ(value, r.value) << r.line;
        }
    }
}

TEST(DatImportLine, EveryLineEndEndsALine) {
    const struct {
        const char* text;
        std::vector<std::string> lines;
    } rows[] = {
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\r\nb\n\nc", {"a", "", "b", "", "c"}},
        {"", {}},
    };
    for (const auto& r : rows) {
        std::vector<std::string> lines;
        ForEachDatLine(r.text, [&](std::string_view line) { lines.emplace_back(line); });
        EXPECT_EQ(lines, r.lines) << r.text;
    }
}

TEST(DatImportLine, ImplausibleValuesByFamily) {
    const struct {
        const char* key;
        float imported, reference;
        bool implausible;
    } rows[] = {
        {"car.lod.distance.high", 10.0f, 9.0f, true},
        {"car.lod.distance.high", 9.0f, 9.0f, false},
        {"Lights.Cutoff.x", 1.0f, 2.0f, true},
        {"misc.brightlight.a", 99.0f, 10.0f, false},
        {"misc.brightlight.a", 100.0f, 10.0f, true},
        {"trafficlight.near.radius", 7.0f, 1.0f, false},
        {"trafficlight.near.radius", 8.0f, 1.0f, true},
        {"trafficlight.near.intensity", 60.0f, 1.0f, false},  // on to the rows below: no match
        {"a.falloff", 300.0f, 0.0f, true},
        {"a.falloff", 40.0f, 0.0f, false},  // no ratio for a reference of 0
        {"a.radius", 11.0f, 1.0f, true},
        {"misc.coronas.zbias", 60.0f, 1.0f, true},
        {"lights.screenshadow.numsamples", 9.0f, 4.0f, true},
        {"other", 1e9f, 1.0f, false},
        {"car.lod.distance.high", NAN, 1.0f, false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(CheckImportedValue(r.key, r.imported, r.reference), r.implausible) << r.key << " " << r.imported;
}

TEST_F(DatFilesTest, CountsAndTheStatusLine) {
    // Two rows (one in other case), a hidden key, a dark filmic slot, a
    // runtime-table key while the table is not located, an unknown key,
    // comments and a key alone.
    const std::string text = std::string("# comment\n") + kCoronas + " 2.5\nMISC.CORONAS.INTENSITYSCALEGLOBAL 3\n" +
                             "Tonemapping.bright.filmic.W.HDR 1\nTonemapping.dark.filmic.A 0.2\n" +
                             RuntimeReferenceKeys()[0].key + " 1\nno.such.key 4\nlonely.key\n";
    EXPECT_EQ(Import(text), "Loaded 3 / 6 values, 1 unknown.");  // the runtime key: applied, not live
    EXPECT_EQ(DatImport.last.applied, 4u);
    EXPECT_EQ(DatImport.loaded, 1);
    EXPECT_EQ(DatImport.loadedText, text);
    EXPECT_FLOAT_EQ(Row(kCoronas).value, 2.5f);
    EXPECT_FLOAT_EQ(Row(kCoronas2).value, 3.0f);
    EXPECT_FALSE(Row(kCoronas).overridden);  // an imported value is no edit
    EXPECT_FLOAT_EQ(DarkFilmicSlot(0).value, 0.2f);
    EXPECT_EQ(LayoutReader.reloadRequested.Get(), 1);
    // The values reached the game.
    EXPECT_FLOAT_EQ(ReadF(Row(kCoronas).liveAddress), 2.5f);
    EXPECT_FLOAT_EQ(ReadF(Row(kCoronas2).liveAddress), 3.0f);

    EXPECT_EQ(Import(""), "Loaded 0 / 0 values.");
    EXPECT_EQ(DatImport.loaded, 1);
    EXPECT_TRUE(DatImport.loadedText.empty());
}

TEST_F(DatFilesTest, AMissingOrOversizedFileFailsAndDropsTheTemplate) {
    Import(std::string(kCoronas) + " 2\n");
    ASSERT_EQ(DatImport.loaded, 1);
    const std::string path = ImportVisualSettingsPath();
    // Over 64 MiB (a sparse file): refused like a missing one.
    PutImport("");
    ASSERT_EQ(truncate(Host(path).c_str(), 0x4000001), 0);
    ImportVisualSettingsDat();
    EXPECT_EQ(Status(), "Import failed: " + path + " not found/readable.");
    EXPECT_EQ(DatImport.loaded, 0);
    EXPECT_TRUE(DatImport.loadedText.empty());
    RemoveFilesUnder(core::ImportsFolder());
    ImportVisualSettingsDat();
    EXPECT_EQ(Status(), "Import failed: " + path + " not found/readable.");
}

TEST_F(DatFilesTest, OneBindingPerImportWhateverTheLineCount) {
    Build(Options{.coronas = false});  // a base stays missing: every walker would re-bind
    std::string text;
    for (int i = 0; i < 400; ++i) text += std::string(kCoronas) + " " + std::to_string(i) + "\n";
    PutImport(text);
    const uint64_t before = Binding.bindings.Get();
    ImportVisualSettingsDat();
    EXPECT_EQ(Binding.bindings.Get() - before, 1u);
    EXPECT_EQ(Status(), "Loaded 400 / 400 values.");
}

TEST_F(DatFilesTest, WithoutTheBrightFilmicBlockAnImportedFilmicKeyIsUnknownAndChangesNothing) {
    Build(Options{.filmic = false});
    BindVisualSettingsParams();
    InitVisualSettingsDefaults();
    ASSERT_EQ(Binding.filmicBlockFound.Get(), 0);
    VisualSettingsParam& row = Row("Tonemapping.bright.filmic.A");
    const float before = row.value;
    EXPECT_EQ(Import("tonemapping.bright.filmic.A 2.5\n" + std::string(kCoronas) + " 2\n"), "Loaded 1 / 2 values, 1 unknown.");
    EXPECT_EQ(row.value, before);
    EXPECT_FALSE(row.loaded || row.differs || row.hasOriginal);
    EXPECT_FALSE(HasValue(row));
    EXPECT_FLOAT_EQ(Row(kCoronas).value, 2.0f);
}

TEST_F(DatFilesTest, TheImportNeverWaitsForTheRuntimeTable) {
    const RuntimeSliderKey& runtimeKey = RuntimeReferenceKeys()[0];
    PutImport(std::string(runtimeKey.key) + " 1\n" + kCoronas + " 2\n");
    // Every sleep is held: the search, whose wait before it scans sleeps at
    // once, cannot go on. The import runs on a thread of its own and is
    // timed there; one that waits for the search (for a while or until it
    // ends) takes more than 250 ms, or returns only once the test gives up
    // after 5 s and lets the search end (both scaled, as a slow build or a
    // busy machine takes longer to import).
    testsupport::HeldSleeps held;
    const int64_t limitMs = testsupport::Scaled(std::chrono::milliseconds(250)).count();
    const auto timedImport = [] {
        std::atomic<int64_t> tookMs{0};
        std::future<void> import = std::async(std::launch::async, [&tookMs] {
            const auto start = std::chrono::steady_clock::now();
            ImportVisualSettingsDat();
            tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        });
        if (import.wait_for(testsupport::Scaled(std::chrono::seconds(5))) != std::future_status::ready) {
            RuntimeTable.stop.Set(1);
            platform::sim::HoldSleeps(false);
        }
        import.get();
        return tookMs.load();
    };
    ASSERT_LT(timedImport(), limitMs) << "the import that starts the search waits for it";
    EXPECT_EQ(RuntimeTable.started.Get(), 1u);  // the search runs on its own thread
    ASSERT_TRUE(testsupport::WaitForHeldSleepers(1)) << "the search is in its wait";
    EXPECT_LT(timedImport(), limitMs) << "an import waits for the search under way";
    EXPECT_EQ(RuntimeTable.searches.Get(), 0u) << "nor did it search";
    EXPECT_EQ(RuntimeTable.ready.Get(), 0u);
    EXPECT_EQ(Status(), "Loaded 1 / 2 values.");  // the runtime key applied without a write
}

TEST_F(DatFilesTest, CrOnlyAndMixedLineEndsAreLines) {
    EXPECT_EQ(Import(std::string(kCoronas) + " 2\r" + kCoronas2 + " 3\r"), "Loaded 2 / 2 values.");
    EXPECT_EQ(Import(std::string("\xEF\xBB\xBF# art \xE2\xA3\xBF\r\n") + kCoronas + " 4\n" + kCoronas2 + " 5"),
              "Loaded 2 / 2 values.");
    EXPECT_FLOAT_EQ(Row(kCoronas2).value, 5.0f);
}

TEST_F(DatFilesTest, UnmappedModeAndThePlausibilityCheck) {
    // Keys outside the key list without forced live writes: nothing reaches the game.
    const float game = ReadF(Row(kCoronas).liveAddress);
    ImportVisualSettingsText(std::string(kCoronas) + " 6\nno.such.key 1\n", ImportOptions{.checkPlausibility = false, .forceLive = false});
    EXPECT_EQ(Switch.importHasUnmapped.Get(), 1);
    EXPECT_EQ(StatusText(Switch.importExportStatus), "Loaded 1 / 2 values, 1 unknown.");  // applied, not live
    EXPECT_FLOAT_EQ(Row(kCoronas).value, 6.0f);
    EXPECT_FLOAT_EQ(ReadF(Row(kCoronas).liveAddress), game);
    // An implausible LOD distance is passed over.
    VisualSettingsParam& lod = Row("car.lod.distance.high");
    const float before = lod.value;
    ImportVisualSettingsText("car.lod.distance.high " + std::to_string(lod.defaultValue + 5.0f) + "\n",
                             ImportOptions{.checkPlausibility = true, .forceLive = true});
    EXPECT_EQ(Switch.importHasUnmapped.Get(), 0);
    EXPECT_FLOAT_EQ(lod.value, before);
    EXPECT_EQ(DatImport.last.applied, 0u);
}

TEST_F(DatFilesTest, ExportWithoutEditsCopiesTheTemplate) {
    const std::string text = std::string("# head\r\n") + kCoronas + "\t1.0\r\n\r\nodd line\n" + kCoronas2 + " 2";
    Import(text);
    ExportVisualSettingsDat();
    EXPECT_EQ(Status(), "Exported visualsettings.dat (0 edited values).");
    EXPECT_EQ(Exported(), text);
}

TEST_F(DatFilesTest, ExportRewritesOnlyTheEditedValues) {
    const std::string text = std::string("# head\r\n") + "  MISC.coronas.sizeScaleGlobal   1.0   # note\r\n" + kCoronas2 +
                             " 1//x\r" + kCoronas2 + " 7\n" + kCoronas + "\n" + kCoronas + " word\n" +
                             "rain.defaultlight.alpha 0.5";
    Import(text);
    VisualSettingsParam& a = Row(kCoronas);
    a.value = 2.0f;
    ApplyVisualSettingRow(a);
    ASSERT_TRUE(a.overridden);
    VisualSettingsParam& b = Row(kCoronas2);
    b.value = 2.25f;
    ApplyVisualSettingRow(b);
    ExportVisualSettingsDat();
    EXPECT_EQ(Status(), "Exported visualsettings.dat (3 edited values).");
    EXPECT_EQ(Exported(), std::string("# head\r\n") + "  MISC.coronas.sizeScaleGlobal   2.0   # note\r\n" + kCoronas2 +
                              " 2.25//x\r" + kCoronas2 + " 2.25\n" + kCoronas + "\n" + kCoronas + " word\n" +
                              "rain.defaultlight.alpha 0.5");
    // One rewritten line: "value" without the s; a key with no usable line: not written.
    Import(std::string(kCoronas) + " 1\n" + kCoronas2 + "\n");
    a.value = 3.0f;
    ApplyVisualSettingRow(a);
    b.value = 4.0f;
    ApplyVisualSettingRow(b);
    ExportVisualSettingsDat();
    EXPECT_EQ(Status(), "Exported visualsettings.dat (1 edited value, 1 not written).");
    EXPECT_EQ(Exported(), std::string(kCoronas) + " 3\n" + kCoronas2 + "\n");
}

TEST_F(DatFilesTest, NonFiniteValuesAreNeverExported) {
    EditedKeyMap edited;
    AddEditedParamKey(edited, "a.b", INFINITY, true);
    AddEditedParamKey(edited, "a.c", NAN, true);
    AddEditedParamKey(edited, "a.d", 1e38f, true);
    AddEditedParamKey(edited, "a.e", 1.0f, false);
    AddEditedParamKey(edited, "Tonemapping.bright.filmic.W.HDR", 1.0f, true);  // hidden
    ASSERT_EQ(edited.size(), 1u);
    WrittenKeyMap written;
    std::string line;
    ASSERT_TRUE(ParseTemplateLine("A.D 1.5", edited, written, line));
    EXPECT_EQ(line, "A.D 99999996802856924650656260769173209088.0");  // every digit of the float fits
}

TEST_F(DatFilesTest, ExportFailures) {
    ExportVisualSettingsDat();
    EXPECT_EQ(Status(), "Export failed: no template visualsettings.dat found in VRN\\Imports or workspace.");
    PutImport("");  // an empty Imports file is a template: every edit not written
    VisualSettingsParam& a = Row(kCoronas);
    a.value = 9.0f;
    ApplyVisualSettingRow(a);
    ExportVisualSettingsDat();
    EXPECT_EQ(Status(), "Exported visualsettings.dat (0 edited values, 1 not written).");
    EXPECT_EQ(Exported(), "");
    platform::sim::FailWritesTo(ExportVisualSettingsPath(), true);
    ExportVisualSettingsDat();
    platform::sim::FailWritesTo(ExportVisualSettingsPath(), false);
    EXPECT_EQ(Status(), "Export failed: " + ExportVisualSettingsPath() + " not writable.");
}

}  // namespace
}  // namespace vstest
