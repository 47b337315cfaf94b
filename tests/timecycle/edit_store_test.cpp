// The edit store, its context and flags, the copies between regions and
// weathers, and the parameter search.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "timecycle/edit_store.h"
#include "timecycle/timecycle_copy.h"
#include "timecycle_fixture.h"

namespace timecycle {
namespace {

class EditStoreTest : public ::testing::Test {
protected:
    void SetUp() override { timecycletest::ResetTimecycleEditor(); }
    void TearDown() override { timecycletest::ResetTimecycleEditor(); }

    static runtime::LiveOverrideSlot& Slot(size_t row) { return *TimecycleVariableTable[row].slot; }
    static size_t Row(const char* name) { return static_cast<size_t>(FindVariableRow(name)); }
    // A user edit of one entry against its original (edited when they differ).
    static EditEntry& UserEdit(int w, int r, int k, size_t row, float value, float original) {
        EditEntry& e = timecycletest::UserEdit(w, r, k, row, value);
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
    EXPECT_TRUE(CurrentTimecycleContext.valid);

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
    EXPECT_EQ(GroupFlagsDirty, 1);
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
        if (dirty) GroupFlagsDirty = 1;
        RefreshGroupEditedFlags();
        return TimecycleVariableGroupList()[26].edited;
    };
    EXPECT_EQ(refresh(true), 0);
    EXPECT_EQ(GroupFlagsDirty, 0);
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
    EXPECT_EQ(ImportedOverridesActive, 1);
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
    EXPECT_EQ(EditSequenceCounter, 0u);
    SelectTimecycleContext(5, 1, 3);
    EditEntry& e = GetEditSlot(5, 1, 3).entries[row];
    e.imported = 1;
    for (const char* name : {"far_clip", "unknown_name", ""}) MarkParameterUserEdited(name);
    EXPECT_TRUE(e.editStamp == 1u && e.imported == 0);
    MarkParameterUserEdited("far_clip");
    EXPECT_EQ(e.editStamp, 2u);

    RememberEditedNames("Fog Color", {"fog_col_r", "", "fog_col_g"});
    EXPECT_EQ(LastEditedNames, (std::vector<std::string>{"fog_col_r", "fog_col_g"}));
    EXPECT_EQ(LastEditedLabel, "Fog Color");
    RememberEditedNames(nullptr, {});
    EXPECT_EQ(LastEditedLabel, "");

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
    const uint64_t stampBefore = EditSequenceCounter;
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

}  // namespace
}  // namespace timecycle
