// Timecycle modifier files on a fake drive: the reader with its checks and
// hostile bodies, the vanilla marks from the workspace source, the layout
// test, the loads and their status lines, the splice export (real files
// byte for byte, edited ones changing only the edited numbers), and the
// search, filter and location labels of the tab.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/file_utils.h"
#include "core/workspace.h"
#include "support/fake_drive.h"
#include "support/testdata.h"
#include "support/timecycle_gen.h"
#include "timecycle/modifier_defaults.h"
#include "timecycle/modifier_files.h"
#include "timecycle/modifier_filters.h"
#include "timecycle/modifier_live.h"

namespace timecycle {
namespace {

const std::string kHead = "<?xml version=\"1.0\"?>\r\n<timecycle_modifier_data version=\"1.000000\">\r\n";
const std::string kTail = "</timecycle_modifier_data>\r\n";

std::string Mod(const std::string& name, const std::string& body, const std::string& attrs = "") {
    return " <modifier name=\"" + name + "\" numMods=\"3\" userFlags=\"0\"" + attrs + ">\r\n" + body + " </modifier>\r\n";
}

std::string MakeModsText(size_t count, size_t rows) { return testsupport::MakeModifierXml(count, rows); }

class ModifierFilesTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        core::ResetWorkspaceState();
        Reset();
    }
    void TearDown() override {
        Reset();
        FakeDriveTest::TearDown();
    }
    static void Reset() {
        ResetModifierLiveState();
        ResetModifierFilesState();
        ResetModifierDefaultsState();
    }
    std::string ImportPath(int slot) const { return TimecycleModsImportPath(slot); }
    void PutImport(int slot, const std::string& text) const { PutFile(ImportPath(slot), text); }
    void PutReference(int slot, const std::string& text) const {
        PutFile(std::string(kGameFolder) + "timecycle_mods 1-4\\" + TimecycleModsFileName(slot), text);
    }
    static const TimecycleModFileSlot& Slot(int slot) { return ModifierFiles.slots[static_cast<size_t>(slot)]; }
};

// ---- The reader ------------------------------------------------------------------------------

TEST_F(ModifierFilesTest, ReaderRowsOfHostileBodies) {
    const struct {
        const char* what;
        std::string body;
        std::vector<std::string> rows;  // "name=a,b"
    } cases[] = {
        {"two numbers", "<a>1 2</a>", {"a=1,2"}},
        {"three, one, NaN, an attribute", "<a>1 2 3</a><b>1</b><c>nan 1</c><d x=\"1\">1 2</d><e>1 2</e>", {"e=1,2"}},
        {"a self-closed element, a comment, a declaration", "<a/><!-- c --><?p?><b>3 4</b>", {"b=3,4"}},
        {"a commented-out row is no row", "<!-- <a>1 2</a> --><b>3 4</b>", {"b=3,4"}},
        {"rows after a run-together element are read", "<a>0.5 0.5 <b>1 2</b>\r\n<c>3 4</c>", {"b=1,2", "c=3,4"}},
        {"a number glued to the next", "<a>1.5.5 2</a><b>5 6</b>", {"b=5,6"}},
        {"a cut element at the end", "<a>1 2</a><reflecti", {"a=1,2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // The closing tag of a cut element lies in the next modifier: never reached.
        const std::string text = kHead + Mod("m", c.body) + Mod("n", "<a>7 8</a><b>9 9</b>") + kTail;
        TimecycleModFileSlot slot;
        std::string error;
        ASSERT_TRUE(ParseTimecycleModifierText(1, text, slot, error)) << error;
        ASSERT_EQ(slot.modifiers.size(), 2u);
        std::vector<std::string> rows;
        for (const ModifierRow& r : slot.modifiers[0].rows)
            rows.push_back(r.name + "=" + std::to_string(static_cast<int>(r.fileA)) + "," +
                           std::to_string(static_cast<int>(r.fileB)));
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(slot.modifiers[1].rows.size(), 2u) << "the next modifier keeps its rows";
    }
}

TEST_F(ModifierFilesTest, ReaderAttributesAndFileChecks) {
    const std::string text = "junk first " + kHead + " <modifier name=\"A\" numMods=\"12x\">\r\n<a>1 2</a></modifier>" +
                             " <modifier name=\"A\" numMods=\"x\" userFlags=\"\"/>" +
                             " <modifier name=\"a\" userFlags=\"3\"><b>1 2</b></modifier>" +
                             " <modifier numMods=\"4\"><c>1 2</c></modifier>" + kTail;
    TimecycleModFileSlot slot;
    std::string error;
    ASSERT_TRUE(ParseTimecycleModifierText(2, text, slot, error)) << error;
    ASSERT_EQ(slot.modifiers.size(), 4u);
    EXPECT_EQ(slot.modifiers[0].numMods, 12);
    EXPECT_EQ(slot.modifiers[1].numMods, 0);
    EXPECT_TRUE(slot.modifiers[1].rows.empty()) << "self-closed";
    EXPECT_EQ(slot.modifiers[1].userFlags, "0");
    EXPECT_EQ(slot.modifiers[2].userFlags, "3");
    EXPECT_EQ(slot.modifiers[3].name, "");
    EXPECT_EQ(slot.modifiers[3].globalIndex, 667 + 3);
    EXPECT_EQ(slot.duplicateNames, 1u) << "A twice; a and the nameless one count for nothing";
    EXPECT_EQ(slot.totalRows, 3u);

    const struct {
        std::string text;
        std::string error;
    } bad[] = {
        {"<modifier name=\"x\"></modifier>", "timecycle_mods_3.xml is not a timecycle_modifier_data .xml."},
        {kHead + "<modifier name=\"x\"", "timecycle_mods_3.xml has an unterminated modifier tag."},
        {kHead + Mod("ok", "<a>1 2</a>") + "<modifier name=\"cut\"><a>1 2</a>", "timecycle_mods_3.xml has an unclosed modifier: cut"},
        // A cut modifier whose closing tag would be the next one's.
        {kHead + "<modifier name=\"torpedo\"><a>1 2</a> <reflecti\r\n" + Mod("next", "<b>1 2</b>") + kTail,
         "timecycle_mods_3.xml has an unclosed modifier: torpedo"},
        {kHead + "<!-- <modifier name=\"x\"><a>1 2</a></modifier> -->" + kTail, "timecycle_mods_3.xml contains no modifier entries."},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(ParseTimecycleModifierText(2, b.text, slot, error));
        EXPECT_EQ(error, b.error);
    }
}

TEST_F(ModifierFilesTest, LoadsReportAndAFailedLoadLeavesTheSlotAsItWas) {
    std::string status;
    EXPECT_FALSE(LoadTimecycleModSlot(0, status));
    EXPECT_EQ(status, "Load failed: timecycle_mods_1.xml not found in Imports or workspace source.");
    LoadAllTimecycleModFiles();
    EXPECT_EQ(ModifierFiles.status, "No Timecycle Mod .xml files found.");

    PutImport(1, MakeModsText(3, 9));
    PutImport(3, "not modifiers at all, long enough");
    LoadAllTimecycleModFiles();
    EXPECT_EQ(ModifierFiles.status, "Loaded 1 / 2 Timecycle Mod .xml files. Failed: timecycle_mods_4.xml");
    EXPECT_FALSE(Slot(3).loaded);

    // An edited slot survives a failed reload whole.
    SetModifierRowValues(1, 0, 0, 5.0f, 6.0f);
    const uint64_t revision = ModifierFiles.fileRevision[1];
    PutImport(1, kHead + "<modifier name=\"cut\"><a>1 2</a>");
    EXPECT_FALSE(LoadTimecycleModSlot(1, status));
    EXPECT_EQ(status, "Load failed: timecycle_mods_2.xml has an unclosed modifier: cut");
    EXPECT_EQ(Slot(1).modifiers.size(), 3u);
    EXPECT_EQ(Slot(1).modifiers[0].rows[0].valueA, 5.0f);
    EXPECT_EQ(ModifierFiles.fileRevision[1], revision);

    // A file in Imports that cannot be read is reported, not replaced by the reference copy.
    PutReference(2, MakeModsText(2, 4));
    std::filesystem::create_directories(Host(ImportPath(2)));
    EXPECT_FALSE(LoadTimecycleModSlot(2, status));
    EXPECT_EQ(status, "Load failed: timecycle_mods_3.xml not readable in " + core::ImportsTimecycleModsFolder() + ".");
    std::filesystem::remove(Host(ImportPath(2)));

    // The Imports root and the workspace source are places too.
    PutFile(TimecycleModsAltPath(2), MakeModsText(2, 4));
    PutReference(0, MakeModsText(2, 4));
    EXPECT_TRUE(LoadTimecycleModSlot(2, status));
    EXPECT_EQ(status, "Loaded timecycle_mods_3.xml.");
    EXPECT_TRUE(LoadTimecycleModSlot(0, status)) << status;
    LoadAllTimecycleModFiles();
    EXPECT_EQ(ModifierFiles.status, "Loaded 2 / 4 Timecycle Mod .xml files. Failed: timecycle_mods_2.xml, timecycle_mods_4.xml");
    PutImport(3, MakeModsText(1, 3));
    PutImport(1, MakeModsText(3, 9));
    LoadAllTimecycleModFiles();
    EXPECT_EQ(ModifierFiles.status, "Loaded 4 Timecycle Mod .xml files.");
}

TEST_F(ModifierFilesTest, VanillaLayoutAndRowMarks) {
    // Slot 1 has 30 modifiers and 596 rows in the game's own file.
    const std::string vanilla = MakeModsText(30, 596);
    std::string status;
    ASSERT_TRUE(LoadTimecycleModifierFile(1, vanilla, status)) << status;
    EXPECT_EQ(Slot(1).commonOnly, 0) << "same counts, no reference file";
    ASSERT_TRUE(LoadTimecycleModifierFile(0, MakeModsText(636, 1000), status));
    EXPECT_EQ(Slot(0).commonOnly, 1);

    // With the reference: a row moved to another place makes the file common-only.
    PutReference(1, vanilla);
    ResetModifierDefaultsState();
    ASSERT_TRUE(LoadTimecycleModifierFile(1, vanilla, status));
    EXPECT_EQ(Slot(1).commonOnly, 0);
    std::string moved = vanilla;
    const size_t a = moved.find("<var_0>"), b = moved.find("<var_1>");
    const std::string rowA = moved.substr(a, b - a);
    moved.erase(a, rowA.size());
    moved.insert(moved.find("</modifier>"), rowA);
    ASSERT_TRUE(LoadTimecycleModifierFile(1, moved, status));
    EXPECT_EQ(Slot(1).commonOnly, 1);
    const ModifierRow& first = Slot(1).modifiers[0].rows[0];
    EXPECT_EQ(first.name, "var_1");
    EXPECT_TRUE(first.hasVanilla && !first.samePosition && first.vanillaIndex == 1);

    // Marks against a reference entry, the first block of a name winning.
    PutReference(2, kHead + Mod("Gen", "<Y>5 6</Y>") + Mod("GEN", "<X>1 1</X><Y>1 1</Y>") + kTail);
    ASSERT_TRUE(LoadTimecycleModifierFile(2, kHead + Mod("gen", "<X>1 2</X><y>3 4</y>") + Mod("other", "<X>1 2</X>") + kTail, status));
    const TimecycleModifier& gen = Slot(2).modifiers[0];
    EXPECT_TRUE(gen.rows[0].vanillaIndex == -1 && !gen.rows[0].hasVanilla && !gen.rows[0].samePosition);
    EXPECT_TRUE(gen.rows[1].vanillaIndex == 0 && gen.rows[1].hasVanilla && !gen.rows[1].samePosition);
    EXPECT_FALSE(Slot(2).modifiers[1].rows[0].hasVanilla) << "a name the reference lacks";
    TimecycleModifier copy;
    ASSERT_TRUE(FindVanillaModifier(2, gen, copy));
    ASSERT_EQ(copy.rows.size(), 1u);
    EXPECT_TRUE(copy.name == "gen" && copy.rows[0].name == "Y" && copy.rows[0].fileA == 5.0f && copy.globalIndex == 667);
    EXPECT_FALSE(FindVanillaModifier(2, Slot(2).modifiers[1], copy));
    EXPECT_TRUE(copy.name.empty() && copy.rows.empty());
}

// ---- Export --------------------------------------------------------------------------------

TEST_F(ModifierFilesTest, ExportSplicesOnlyEditedNumbers) {
    const std::string text = kHead + Mod("m", "  <a>0.50 1.000</a>\r\n  <bad>1 2 3</bad>\r\n  <b>2 3</b>\r\n") +
                             " <modifier name=\"s\"/>\r\n" + Mod("n", "<c>-1.25 4</c>") + kTail;
    std::string status;
    ASSERT_TRUE(LoadTimecycleModifierFile(1, text, status));
    EXPECT_EQ(WriteTimecycleModsXml(Slot(1)), text) << "nothing edited";
    SetModifierRowValues(1, 0, 0, 0.7f, 1.0f);
    SetModifierRowValues(1, 0, 1, 2.0f, 3.5f);
    SetModifierRowValues(1, 2, 0, 0.0f, 4.0f);
    std::string want = text;
    want.replace(want.find("-1.25"), 5, "0.00");
    want.replace(want.find("2 3</b>"), 3, "2 3.5000");
    want.replace(want.find("0.50"), 4, "0.70");
    EXPECT_EQ(WriteTimecycleModsXml(Slot(1)), want);
    // The export folder, made by its getter, removed by the user since: the export makes it again.
    const std::string exportFolder = core::ParentFolder(TimecycleModsExportPath(1));
    ASSERT_TRUE(Exists(exportFolder));
    std::filesystem::remove_all(Host(exportFolder));
    EXPECT_TRUE(SaveTimecycleModsXml(1, status)) << status;
    EXPECT_EQ(status, "Exported timecycle_mods_2.xml to Exports.");
    EXPECT_EQ(GetFile(TimecycleModsExportPath(1)), want);
    EXPECT_FALSE(SaveTimecycleModsXml(3, status));
    EXPECT_EQ(status, "Save failed: timecycle_mods_4.xml is not loaded.");
}

// The text with every row's value text taken out: what must not change.
std::string Skeleton(const std::string& text) {
    std::string out;
    uint64_t position = 0, cursor = 0;
    ModifierBlockText block;
    while (NextModifierBlock(text, position, block) == ModifierBlockStep::Block) {
        ForEachModifierElement(text, block.bodyStart, block.bodyEnd, [&](const ModifierElement& e) {
            out.append(text, cursor, e.valueStart - cursor);
            cursor = e.valueEnd;
        });
        position = block.next;
    }
    return out + text.substr(cursor);
}

TEST_F(ModifierFilesTest, RealFilesLoadAndExportByteForByte) {
    const std::vector<std::string> files = testsupport::RealFiles("timecycle_mods");
    VARNEL_SKIP_IF_EMPTY(files, "timecycle_mods");
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const std::string name = path.substr(path.find_last_of('/') + 1);
        if (name.rfind("timecycle_mods_", 0) != 0 || name.size() != 20) continue;
        const int slot = name[15] - '1';
        if (slot < 0 || slot >= kModFileSlots) continue;
        Reset();
        const std::string text = ReadHostFile(path);
        // A good file sits in the slot first: a bad one must leave it whole.
        std::string status;
        ASSERT_TRUE(LoadTimecycleModifierFile(slot, MakeModsText(2, 4), status));
        SetModifierRowValues(slot, 0, 0, 9.0f, 9.0f);
        PutImport(slot, text);
        const bool loaded = LoadTimecycleModSlot(slot, status);
        if (path.find("gta5_FiveM_basic_visualmod/timecycle_mods_4.xml") != std::string::npos) {
            EXPECT_FALSE(loaded) << "the file with a cut element is not well formed";
        }
        if (!loaded) {
            EXPECT_EQ(status.rfind("Load failed: " + name + " has an unclosed modifier: ", 0), 0u) << status;
            EXPECT_EQ(Slot(slot).modifiers.size(), 2u);
            EXPECT_EQ(Slot(slot).modifiers[0].rows[0].valueA, 9.0f);
            continue;
        }
        EXPECT_EQ(status, "Loaded " + name + ".");
        const TimecycleModFileSlot& record = Slot(slot);
        const bool vanillaCounts = record.modifiers.size() == VanillaModifierCounts[static_cast<size_t>(slot)] &&
                                   record.totalRows == VanillaRowCounts[static_cast<size_t>(slot)];
        EXPECT_EQ(record.commonOnly, vanillaCounts ? 0 : 1);
        EXPECT_EQ(WriteTimecycleModsXml(record), text);

        // Every 7th row edited: only those numbers change, and they read back.
        size_t n = 0;
        for (size_t m = 0; m < record.modifiers.size(); ++m) {
            for (size_t r = 0; r < record.modifiers[m].rows.size(); ++r)
                if (n++ % 7 == 0) {
                    const ModifierRow& row = record.modifiers[m].rows[r];
                    SetModifierRowValues(slot, static_cast<int>(m), r, row.fileA + 0.125f, row.fileB);
                }
            }
        const std::string exported = WriteTimecycleModsXml(record);
        EXPECT_EQ(Skeleton(exported), Skeleton(text));
        TimecycleModFileSlot back;
        std::string error;
        ASSERT_TRUE(ParseTimecycleModifierText(slot, exported, back, error)) << error;
        ASSERT_EQ(back.totalRows, record.totalRows);
        for (size_t m = 0; m < record.modifiers.size(); ++m)
            for (size_t r = 0; r < record.modifiers[m].rows.size(); ++r) {
                const ModifierRow& want = record.modifiers[m].rows[r];
                const ModifierRow& got = back.modifiers[m].rows[r];
                EXPECT_NEAR(got.fileA, want.valueA, 1e-5) << want.name;
                EXPECT_EQ(got.fileB, want.fileB) << want.name;
            }
    }
}

// ---- Search, filter and locations -----------------------------------------------------------------

TEST_F(ModifierFilesTest, SearchFilterAndLocationLabels) {
    EXPECT_TRUE(ModifierMatchesSearch("TUNNEL_yellow", "tunnel"));
    EXPECT_TRUE(ModifierMatchesSearch("int_tunnel_none_dark", "TUNNEL"));
    EXPECT_TRUE(ModifierMatchesSearch("anything", ""));
    EXPECT_FALSE(ModifierMatchesSearch("gunstore", "tunnel"));
    TimecycleModifier barber;
    barber.name = "int_barber1";
    TimecycleModifier none;
    none.name = "nowhere";
    EXPECT_TRUE(ModifierPassesFilter(barber, "", true));
    EXPECT_FALSE(ModifierPassesFilter(none, "", true));
    EXPECT_TRUE(ModifierPassesFilter(none, "WHERE", false));
    EXPECT_FALSE(ModifierPassesFilter(barber, "x", true));

    const struct {
        const char* modifier;
        std::vector<std::string> labels;
    } rows[] = {
        {"int_Barber1", {"Barber Vespucci", "Barber Davis", "V_38_BarberRM 1", "V_38_BarberRM 2"}},
        {"gen_bank", {"Bank_main 1", "Bank_main 2"}},
        {"MPApartHigh_palnning", {"rm_high_planning 1", "rm_high_planning 2"}},
        {"stc_trevors", {"rm_frontDoor"}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ModifierLocationCount(r.modifier), r.labels.size()) << r.modifier;
        for (size_t k = 0; k < r.labels.size(); ++k) EXPECT_EQ(ModifierLocationLabel(r.modifier, k), r.labels[k]);
    }
    for (size_t k = 0; k < 8; ++k) EXPECT_EQ(ModifierLocationLabel("gunstore", k).find("Ammu-Nation"), 0u);
    EXPECT_EQ(ModifierLocationLabel("gunstore", 8), "Location");
    EXPECT_EQ(ModifierLocationLabel("nowhere", 0), "Location");
    EXPECT_EQ(StripLocationLabel(nullptr), "");
    const ModifierLocation* office = FindModifierLocation("strip_office", 0);
    ASSERT_NE(office, nullptr);
    EXPECT_TRUE(office->x == 126.283f && office->y == -1291.076f && office->z == 29.298f);
}

}  // namespace
}  // namespace timecycle
