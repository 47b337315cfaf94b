// Rows whose default the data leaves to the game build: the first value such
// a row gets is its reference (the imported value, or the game's where the
// row is bound); the edited marks compare against it, and a reset ("R",
// "Reset all") returns the row to it in the editor, the game and the export
// alike. Over every real visualsettings.dat and a partial file made here,
// with no game and with a game that holds the file's values.
#include <string>
#include <vector>

#include "support/synthetic_image.h"
#include "visualsettings/dat_export.h"
#include "visualsettings/live_write.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/runtime_table.h"
#include "dat_file_fixture.h"
#include "dat_samples.h"

namespace vstest {
namespace {

class UnknownDefaultsTest : public DatFileTest {
protected:
    void SetUp() override {
        DatFileTest::SetUp();
        BindVisualSettingsParams();
        InitVisualSettingsDefaults();
    }
    std::string Import(const std::string& text) {
        PutImport(text);
        LoadVisualSettingsLayout();
        ImportVisualSettingsDat();
        return StatusText(Switch.importExportStatus);
    }
    std::string Export() {
        ExportVisualSettingsDat();
        return GetFile(ExportVisualSettingsPath());
    }
    // The game built anew, the last import's table search ended first.
    void Rebuild(const Options& options) {
        StopVisualSettings(2000);
        Build(options);
    }
    // Nothing bound: no row's game value is known.
    void WithoutAGame() {
        Rebuild(Options{false, false, false, false});
        BindVisualSettingsParams();
        InitVisualSettingsDefaults();
    }
    // The synthetic game, holding the file's value wherever a row is bound,
    // its values read as the rows' game values.
    void WithAGameHolding(const std::string& text) {
        Rebuild(Options{});
        BindVisualSettingsParams();
        const std::map<std::string, float> values = LastValues(text);
        for (VisualSettingsParam& row : AllParams()) {
            const auto found = values.find(LowerAscii(row.key));
            if (found == values.end() || row.liveAddress == 0) continue;
            ASSERT_TRUE(WriteValueByKind(row, row.liveAddress, ToGameUnits(row, found->second))) << row.key;
        }
        ResetParamTableForTesting();
        BindVisualSettingsParams();
        InitVisualSettingsDefaults();
    }
    static float GameValue(const VisualSettingsParam& row) {
        float v = -99.0f;
        EXPECT_TRUE(ReadValueByKind(row, row.liveAddress, v)) << row.key;
        return v;
    }
};

TEST_F(UnknownDefaultsTest, AnUnmodifiedFileMarksOnlyKnownDefaultsThatItChangesAndResetsToItsOwnValues) {
    for (const DatSample& sample : DatSamples()) {
        for (const bool game : {false, true}) {
            SCOPED_TRACE(sample.name + (game ? ", a game holding its values" : ", no game"));
            if (game) WithAGameHolding(sample.text);
            else WithoutAGame();
            ASSERT_EQ(Import(sample.text).rfind("Loaded ", 0), 0u);
            const std::set<std::string> expected = ExpectedEdited(sample.text);
            EXPECT_EQ(EditedNow(), expected);
            EXPECT_EQ(AnyVisualSettingsGroupEdited(), !expected.empty());

            // Every row of the file whose default is unknown holds the file's
            // value (the bright filmic rows only once their block is found).
            const std::map<std::string, float> values = LastValues(sample.text);
            std::vector<std::pair<VisualSettingsParam*, float>> unknown;
            for (VisualSettingsParam& row : AllParams()) {
                const auto found = values.find(LowerAscii(row.key));
                if (found == values.end() || row.def->defaultGiven) continue;
                if (row.def->array == 2 && !game) {
                    EXPECT_FALSE(HasValue(row)) << row.key;
                    continue;
                }
                EXPECT_EQ(row.value, found->second) << row.key;
                unknown.emplace_back(&row, found->second);
            }
            ASSERT_FALSE(unknown.empty());

            // Each edited; one reset by its button, the rest by "Reset all".
            for (auto& [row, v] : unknown) {
                row->value = v + 1.25f;
                ApplyVisualSettingRow(*row);
            }
            EXPECT_TRUE(IsVisualRowEdited(*unknown[0].first));
            WriteVisualSettingRow(*unknown[0].first);
            EXPECT_EQ(unknown[0].first->value, unknown[0].second);
            ApplyAllVisualSettingsLive(true, true);
            size_t bound = 0;
            for (const auto& [row, v] : unknown) {
                EXPECT_EQ(row->value, v) << row->key;
                if (row->liveAddress == 0) continue;
                ++bound;
                EXPECT_FALSE(StoredDifferently(*row, GameValue(*row), v)) << row->key << " in the game";
            }
            if (game) {
                EXPECT_GT(bound, 0u);
            }
            EXPECT_TRUE(EditedNow().empty());
            // The export holds what the tab shows: the file's values, and
            // the references of the rows the file changed.
            const std::map<std::string, float> exported = LastValues(Export());
            ASSERT_EQ(exported.size(), values.size());
            std::map<std::string, const VisualSettingsParam*> rows;
            for (const VisualSettingsParam& row : AllParams()) rows[LowerAscii(row.key)] = &row;
            for (const auto& [key, v] : values) {
                const auto found = rows.find(key);
                const VisualSettingsParam* row = found == rows.end() ? nullptr : found->second;
                const bool follows = row != nullptr && HasValue(*row) && !IsVetoedKey(row->key) &&
                                     (row->def->array != 2 || game);
                const float want = follows ? row->value.Get() : v;
                EXPECT_NEAR(exported.at(key), want, 1e-5f * std::max(1.0f, std::fabs(want))) << key;
                if (follows && expected.count(row->key) == 0) {
                    EXPECT_EQ(exported.at(key), v) << key;
                }
            }
        }
    }
}

TEST_F(UnknownDefaultsTest, AResetGivesTheSameValueInTheTabTheGameAndTheExport) {
    testsupport::SyntheticHeap heap(64 << 10);
    ASSERT_TRUE(heap.ok());
    // No location; bound, the game holding the file's value; bound only
    // after the import (the runtime table is found later).
    VisualSettingsParam& neon = Row("car.neon.radius");
    VisualSettingsParam& coronas = Row("misc.coronas.sizeScaleGlobal");
    VisualSettingsParam& alpha = Row("bokeh.globalAlpha");
    ASSERT_EQ(ReadF(coronas.liveAddress), 0.5f);
    const std::string text = "car.neon.radius 1.5\nmisc.coronas.sizeScaleGlobal\t0.5\nbokeh.globalAlpha 0.25\n";
    RuntimeTable.started.Set(1);  // the table comes from the test, not from a search of its own
    EXPECT_EQ(Import(text), "Loaded 2 / 3 values.");
    EXPECT_TRUE(EditedNow().empty());
    const uint64_t table = heap.PlantVisualSettingsTable(0x1000, 0);
    RuntimeTable.base.Set(table);
    RuntimeTable.ready.Exchange(1);
    BindVisualSettingsParams();
    ASSERT_EQ(alpha.liveAddress, table + 0x2F0);
    const float tableOwn = ReadF(alpha.liveAddress);
    ASSERT_NE(tableOwn, 0.25f);
    EXPECT_FALSE(IsVisualRowEdited(alpha)) << "the file's value stays its reference";

    const struct {
        const char* what;
        void (*reset)();
    } resets[] = {
        {"R", [] {
             for (const char* key : {"car.neon.radius", "misc.coronas.sizeScaleGlobal", "bokeh.globalAlpha"})
                 WriteVisualSettingRow(*FindVisualSettingsParam(key));
         }},
        {"Reset all", [] { ApplyAllVisualSettingsLive(true, true); }},
    };
    for (const auto& r : resets) {
        SCOPED_TRACE(r.what);
        for (VisualSettingsParam* row : {&neon, &coronas, &alpha}) {
            row->value = 3.0f;
            ApplyVisualSettingRow(*row);
            EXPECT_TRUE(IsVisualRowEdited(*row)) << row->key;
        }
        EXPECT_EQ(ReadF(coronas.liveAddress), 3.0f);
        EXPECT_EQ(ReadF(alpha.liveAddress), 3.0f);
        r.reset();
        EXPECT_EQ(neon.value, 1.5f);
        EXPECT_EQ(coronas.value, 0.5f);
        EXPECT_EQ(alpha.value, 0.25f);
        EXPECT_EQ(ReadF(coronas.liveAddress), 0.5f);
        EXPECT_EQ(ReadF(alpha.liveAddress), 0.25f);
        EXPECT_TRUE(EditedNow().empty());
        EXPECT_EQ(Export(), text);
        EXPECT_EQ(StatusText(Switch.importExportStatus), "Exported visualsettings.dat (0 edited values).");
    }
    // The game's values shown put the table's own value back; the row keeps the file's.
    core::Editor.VisualSettingsAfterShown.Set(0);
    ApplyAllVisualSettingsLive(false, false);
    EXPECT_EQ(ReadF(alpha.liveAddress), tableOwn);
    EXPECT_EQ(alpha.value, 0.25f);
}

TEST_F(UnknownDefaultsTest, EachImportRenewsAReferenceTakenFromAFile) {
    VisualSettingsParam& neon = Row("car.neon.radius");
    Import("car.neon.radius 1.5\n");
    Import("car.neon.radius 2.5\n");
    EXPECT_EQ(neon.value, 2.5f);
    EXPECT_FALSE(IsVisualRowEdited(neon));
    neon.value = 3.0f;
    ApplyVisualSettingRow(neon);
    WriteVisualSettingRow(neon);
    EXPECT_EQ(neon.value, 2.5f) << "what the template holds";
    // A reference the game gave stays: the file's different value is an edit.
    VisualSettingsParam& coronas = Row("misc.coronas.intensityScaleGlobal");
    const float game = ReadF(coronas.liveAddress);
    Import("misc.coronas.intensityScaleGlobal " + Number(game + 1.0f) + "\n");
    EXPECT_TRUE(IsVisualRowEdited(coronas));
    EXPECT_EQ(coronas.original, game);
}

// A row whose reference is not the file's value (a default the data gives,
// or the game's own value read before the import): the file's value is an
// edit, and a reset returns the row to its reference in the export too, not
// only in the tab and the game.
TEST_F(UnknownDefaultsTest, AResetToAReferenceTheFileDiffersFromIsExported) {
    VisualSettingsParam& fade = Row("car.sirens.SpecularFade");
    VisualSettingsParam& coronas = Row("misc.coronas.intensityScaleGlobal");
    ASSERT_TRUE(fade.def->defaultGiven);
    const float fadeDefault = fade.defaultValue;
    const float game = ReadF(coronas.liveAddress);
    const std::string text = "car.sirens.SpecularFade " + Number(fadeDefault + 5.0f) +
                             "\nmisc.coronas.intensityScaleGlobal " + Number(game + 1.0f) + "\n";
    const struct {
        const char* what;
        void (*reset)();
    } resets[] = {
        {"R", [] {
             for (const char* key : {"car.sirens.SpecularFade", "misc.coronas.intensityScaleGlobal"})
                 WriteVisualSettingRow(*FindVisualSettingsParam(key));
         }},
        {"Reset all", [] { ApplyAllVisualSettingsLive(true, true); }},
    };
    for (const auto& r : resets) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(Import(text).rfind("Loaded 2 / 2", 0), 0u);
        EXPECT_EQ(EditedNow(), (std::set<std::string>{fade.key, coronas.key}));
        for (VisualSettingsParam* row : {&fade, &coronas}) {
            row->value = 3.0f;
            ApplyVisualSettingRow(*row);
        }
        r.reset();
        EXPECT_EQ(fade.value, fadeDefault);
        EXPECT_EQ(coronas.value, game);
        EXPECT_EQ(ReadF(coronas.liveAddress), game);
        EXPECT_TRUE(EditedNow().empty());
        const std::map<std::string, float> exported = LastValues(Export());
        EXPECT_EQ(exported.at(LowerAscii(fade.key)), fadeDefault);
        EXPECT_EQ(exported.at(LowerAscii(coronas.key)), game);
        // A new import of the same file is the file's values again, not an edit.
        EXPECT_EQ(Import(text).rfind("Loaded 2 / 2", 0), 0u);
        EXPECT_EQ(LastValues(Export()), LastValues(text));
    }
}

TEST_F(UnknownDefaultsTest, ARowWithoutAValueIsNeverExported) {
    VisualSettingsParam& none = Row("car.neon.intensity");
    ASSERT_FALSE(HasValue(none));
    none.overridden = 1;
    EditedKeyMap edited;
    CollectEditedVisualKeys(edited);
    EXPECT_TRUE(edited.empty());
}

}  // namespace
}  // namespace vstest
