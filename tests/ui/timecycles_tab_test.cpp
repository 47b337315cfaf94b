// The Timecycles tab on the fake drive and a synthetic keyframe table in the
// test's own memory: the rules under its widgets (start-up keyframe, group
// pane width, status shown, colour triples, copy targets), its actions
// reaching the edit store and the game's table, the requests it posts for
// the tick, and headless frames with real clicks and keys.
#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/editor_state.h"
#include "core/workspace.h"
#include "game/clock_timelapse.h"
#include "game/game_controls.h"
#include "platform/simulated.h"
#include "runtime/live_slots.h"
#include "support/fake_drive.h"
#include "support/imgui_harness.h"
#include "support/imgui_measure.h"
#include "support/synthetic_image.h"
#include "support/testdata.h"
#include "support/thread_waits.h"
#include "support/timecycle_gen.h"
#include "timecycle/edit_store.h"
#include "timecycle/half_float.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/recognition_rows.h"
#include "timecycle/timecycle_copy.h"
#include "timecycle/timecycle_files.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_xml.h"
#include "ui/param_rows.h"
#include "ui/timecycles_tab.h"

namespace ui {
namespace {

using namespace timecycle;
using testsupport::GeneratedTimecycleValue;

// ---- Rules -----------------------------------------------------------------------

TEST(TimecyclesTabRules, StartupKeyframeFollowsTheGameHour) {
    const struct {
        int32_t hour, keyframe;
    } cases[] = {{3, 0}, {23, 12}, {12, 5}, {0, 0}, {5, 1}, {9, 3}, {21, 11}, {40, 12}, {-1, -1}};
    for (const auto& c : cases) EXPECT_EQ(StartupKeyframeForHour(c.hour), c.keyframe) << c.hour;
}

TEST(TimecyclesTabRules, GroupPaneWidthAtItsEdges) {
    const struct {
        float available, width;
    } cases[] = {
        {0.0f, 209.0f},   {-5.0f, 209.0f},  {300.0f, 145.0f},  // a third of it would be under 145
        {430.0f, 145.0f},                                      // W - 340 is under 145
        {500.0f, 160.0f},                                      // W - 340
        {600.0f, 204.0f},                                      // a third (0.34 W)
        {1000.0f, 209.0f},                                     // at most 209
    };
    for (const auto& c : cases) EXPECT_FLOAT_EQ(GroupPaneWidth(c.available), c.width) << c.available;
}

// The loader's own "Loaded ..." sentence is not shown, but what a load adds
// after it (a region the file lacked, rows skipped) is.
TEST(TimecyclesTabRules, StatusShownKeepsTheNotesOfALoad) {
    const struct {
        const char* status;
        const char* shown;
    } cases[] = {
        {kTimecycleStatusIdle, ""},
        {"", ""},
        {"Loaded 429 parameters.", ""},
        {"Loaded w_clear.xml: 11154 values, 3 changed from vanilla.", ""},
        {"Loaded 429 parameters. w_clear.xml: no URBAN region, URBAN left as it was.",
         "w_clear.xml: no URBAN region, URBAN left as it was."},
        {"Loaded for preview. w_rain.xml: 2 rows skipped, not 13 finite numbers separated by white space.",
         "w_rain.xml: 2 rows skipped, not 13 finite numbers separated by white space."},
        {"Loaded, but some values could not be applied.", "Loaded, but some values could not be applied."},
        {"Ready: w_clear.xml", ""},
        {"Values reset.", "Values reset."},
        {"Load .xml failed: w_clear.xml holds no timecycle values.", "Load .xml failed: w_clear.xml holds no timecycle values."},
    };
    for (const auto& c : cases) EXPECT_EQ(ShownTimecycleStatus(c.status), c.shown) << c.status;
}

const TimecycleVariable* Row(const char* name) { return &TimecycleVariableTable[FindVariableRow(name)]; }

// A colour triple stands once, at its R row, when all three rows are in the
// list; one missing turns the other two into float rows.
TEST(TimecyclesTabRules, ColourTriplesNeedAllThreeRows) {
    const TimecycleVariable *r, *g, *b;
    const std::vector<const TimecycleVariable*> whole = {Row("sky_zenith_col_r"), Row("sky_zenith_col_g"),
                                                         Row("sky_zenith_col_b"), Row("sky_zenith_col_inten")};
    ASSERT_TRUE(ColorRowLabels(whole, "Sky Zenith Color", r, g, b));
    EXPECT_TRUE(r == whole[0] && g == whole[1] && b == whole[2]);
    std::vector<TimecycleRowItem> items = BuildTimecycleRowItems(whole);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(items[0].IsColour());
    EXPECT_EQ(items[0].baseLabel, "Sky Zenith Color");
    EXPECT_FALSE(items[1].IsColour());

    const std::vector<const TimecycleVariable*> noBlue = {whole[0], whole[1], whole[3]};
    EXPECT_FALSE(ColorRowLabels(noBlue, "Sky Zenith Color", r, g, b));
    EXPECT_TRUE(r == nullptr && g == nullptr && b == nullptr);
    items = BuildTimecycleRowItems(noBlue);
    ASSERT_EQ(items.size(), 3u);
    for (const TimecycleRowItem& item : items) EXPECT_FALSE(item.IsColour());
    // Listed in another order (as a search may list them), G first: the triple stands once.
    items = BuildTimecycleRowItems({whole[1], whole[2], whole[0]});
    ASSERT_EQ(items.size(), 1u);
    EXPECT_TRUE(items[0].IsColour());
}

TEST(TimecyclesTabRules, RegionCopyTargets) {
    EXPECT_EQ(RegionCopyTarget(kRegionGlobal), kRegionUrban);
    EXPECT_EQ(RegionCopyTarget(kRegionUrban), kRegionGlobal);
    EXPECT_EQ(RegionCopyTarget(kRegionBoth), -1);
}

// ---- The tab on a fake drive and a synthetic game ---------------------------------------

constexpr const char* kImportsTimecycles = "C:\\Users\\Player\\Documents\\VRN\\Imports\\Timecycles\\";
constexpr const char* kExportsTimecycles = "C:\\Users\\Player\\Documents\\VRN\\Exports\\Timecycles\\";

uint16_t GameHalf(uint64_t block, int region, int keyframe, size_t variable) {
    uint16_t half;
    std::memcpy(&half, reinterpret_cast<const void*>(KeyframeRecordAddress(block, region, keyframe) + 2 * variable), 2);
    return half;
}

class TimecyclesTabTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        core::ResetWorkspaceState();
        Reset();
        heap_ = std::make_unique<testsupport::SyntheticHeap>(testsupport::kGeneratedKeyframeTableBytes + 65536);
        ASSERT_TRUE(heap_->ok());
        base_ = heap_->base() + 4096;
        testsupport::WriteGeneratedKeyframeTable(reinterpret_cast<uint8_t*>(base_));
        game::ClockTimelapse.GameClockReading.hour = 12;
    }
    void TearDown() override {
        Reset();
        heap_.reset();
        FakeDriveTest::TearDown();
    }
    static void Reset() {
        runtime::ResetSlotTablesForTesting();
        for (const TimecycleVariable* row : TimecycleVariableList()) row->slot->listed = 1;
        ResetEditStoreForTesting();
        ResetKeyframeTable();
        ResetTimecycleXmlState();
        (void)SearchTimecycleParameters("\x01 reset");
        core::Editor.TimecycleAfterShown = 1;
        core::Editor.MenuOpen = 0;
        core::Editor.TimecycleRereadFrames = 0;
        game::ResetClockState();
        game::ResetGameControlsState();
        ResetTimecyclesTab();
        platform::sim::ClearNativeCallLog();
        if (VARNEL_UNDER_SHADOW_MEMORY) KeyframeTable.ScanRegionLimitForTesting = 64u << 20;
    }
    uint64_t BlockOf(int weather) const { return base_ + WeatherNameTable[weather].typeId * kWeatherBlockSpacing; }
    void PutGeneratedFile(int weather, testsupport::TimecycleFileOptions options = {}) const {
        options.weather = weather;
        PutFile(std::string(kImportsTimecycles) + WeatherTimecycleFileName(static_cast<uint32_t>(weather)),
                testsupport::MakeTimecycleXml(options));
    }
    // The file of the weather loaded through the tab and its preview run to the end.
    void LoadThroughTab(int weather) {
        TimecyclesTab.weather = weather;
        LoadSelectedTimecycleFile();
        EXPECT_TRUE(testsupport::RunWhile(StepTimecyclePreview, [] {})) << "the preview never ended";
        SelectTimecycleContext(TimecyclesTab.weather, TimecyclesTab.region, TimecyclesTab.keyframe);
    }

    std::unique_ptr<testsupport::SyntheticHeap> heap_;
    uint64_t base_ = 0;
};

// "Load .xml" calls no native on the render thread: it posts the weather
// for the tick, marked so that the tick does not read the slots again over
// the loaded values; the clock goes to the keyframe's hour.
TEST_F(TimecyclesTabTest, LoadPostsTheWeatherForTheTickKeepingTheLoadedSlots) {
    PutGeneratedFile(4);
    TimecyclesTab.keyframe = 9;
    TimecyclesTab.lockTime = 1;
    LoadThroughTab(4);
    EXPECT_TRUE(platform::sim::NativeCallLog().empty()) << "natives called off the script fiber";
    EXPECT_EQ(game::GameControls.WeatherRequest.Get(), 4 | game::kWeatherRequestKeepsSlots);
    EXPECT_EQ(game::ClockTimelapse.ClockHourRequest.Get(), 19);
    EXPECT_EQ(game::ClockTimelapse.LockTimeState.Get(), 1);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters.");
    EXPECT_EQ(KeyframeTable.SlotRefreshHoldFrames, 4);
    // The tick's step: the weather changes, no re-read is started.
    platform::sim::SetNativeHandler(0, nullptr);
    EXPECT_TRUE(game::ServeWeatherRequest(nullptr));
    EXPECT_EQ(core::Editor.TimecycleRereadFrames.Get(), 0);

    // UNDERWATER_DEEP is never posted as a game weather, from the list or a load.
    game::GameControls.WeatherRequest = -1;
    PutGeneratedFile(17);
    ChooseImportWeather(17);
    EXPECT_EQ(game::GameControls.WeatherRequest.Get(), -1);
    EXPECT_EQ(game::ClockTimelapse.ClockHourRequest.Get(), 19);
    LoadSelectedTimecycleFile();
    EXPECT_EQ(game::GameControls.WeatherRequest.Get(), -1);
    ChooseImportWeather(2);
    EXPECT_EQ(game::GameControls.WeatherRequest.Get(), 2);
}

// A value edited in a row enables its slot, goes into the store as a user
// edit and into the game's keyframe record at once; the row's reset puts the
// game's value back.
TEST_F(TimecyclesTabTest, ARowEditReachesTheGamesTableAndItsResetTakesItBack) {
    PutGeneratedFile(9);
    TimecyclesTab.keyframe = 5;
    LoadThroughTab(9);
    ASSERT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters.");
    const TimecycleVariable* row = Row("far_clip");
    const size_t i = RowIndexOf(row);
    const uint16_t original = GameHalf(BlockOf(9), 0, 5, i);
    EXPECT_FALSE(SlotShowsEdited(row));

    EditTimecycleValue(row, 1234.0f);
    EXPECT_EQ(row->slot->enabled, 1);
    EXPECT_TRUE(SlotShowsEdited(row));
    const EditEntry& e = GetEditSlot(9, 0, 5).entries[i];
    EXPECT_TRUE(e.value == 1234.0f && e.edited && !e.imported && e.editStamp > 0);
    EXPECT_EQ(GameHalf(BlockOf(9), 0, 5, i), FloatToHalf(1234.0f));
    EXPECT_EQ(GameHalf(BlockOf(9), 1, 5, i), FloatToHalf(GeneratedTimecycleValue(9, 1, static_cast<int>(i), 5)));
    EXPECT_TRUE(WeatherHasUserEdits(9));
    EXPECT_EQ(EditStore.LastEditedNames, std::vector<std::string>{"far_clip"});

    // Back to the baseline within 1e-5: no longer enabled.
    EditTimecycleValue(row, row->slot->baselineValue);
    EXPECT_EQ(row->slot->enabled, 0);
    EditTimecycleValue(row, 99.0f);
    ResetTimecycleRows(&row, 1);
    EXPECT_EQ(row->slot->enabled, 0);
    EXPECT_FALSE(SlotShowsEdited(row));
    EXPECT_EQ(GameHalf(BlockOf(9), 0, 5, i), original);
    EXPECT_FALSE(WeatherHasPendingEdits(9));

    // A colour: only the components that changed become edits.
    const TimecycleVariable* rgb[3] = {Row("sky_zenith_col_r"), Row("sky_zenith_col_g"), Row("sky_zenith_col_b")};
    const float values[3] = {0.75f, std::nanf(""), std::nanf("")};
    EditTimecycleColour(rgb, "Sky Zenith Color", values);
    EXPECT_EQ(rgb[0]->slot->enabled, 1);
    EXPECT_EQ(rgb[1]->slot->enabled + rgb[2]->slot->enabled, 0);
    EXPECT_EQ(GameHalf(BlockOf(9), 0, 5, RowIndexOf(rgb[0])), FloatToHalf(0.75f));
    EXPECT_EQ(EditStore.LastEditedLabel, "Sky Zenith Color");
    EXPECT_EQ(EditStore.LastEditedNames, std::vector<std::string>{"sky_zenith_col_r"});
}

// Copies between regions: none from BOTH, the status says what happened,
// and what was copied reaches the game's table too.
TEST_F(TimecyclesTabTest, RegionCopiesReportAndReachTheGame) {
    PutGeneratedFile(9);
    TimecyclesTab.keyframe = 5;
    LoadThroughTab(9);
    const TimecycleVariable* row = Row("far_clip");
    const size_t i = RowIndexOf(row);

    TimecyclesTab.region = kRegionBoth;
    SelectTimecycleContext(9, kRegionBoth, 5);
    EditTimecycleValue(row, 500.0f);
    const std::string before = TimecycleXml.TimecycleStatusLine;
    CopyParameterEditsToOtherRegion();
    CopyAllRegionEditsToOtherRegion();
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, before) << "nothing to copy to from BOTH";

    TimecyclesTab.region = kRegionGlobal;
    SelectTimecycleContext(9, kRegionGlobal, 5);
    EditTimecycleValue(row, 700.0f);
    CopyParameterEditsToOtherRegion();
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Copied to URBAN.");
    EXPECT_EQ(GetEditSlot(9, kRegionUrban, 5).entries[i].value, 700.0f);
    EXPECT_EQ(GameHalf(BlockOf(9), 1, 5, i), FloatToHalf(700.0f));
    ResetTimecycleRows(&row, 1);
    RememberEditedNames("Far Clip", {"far_clip"});
    CopyParameterEditsToOtherRegion();
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "No values copied.");
}

// The hold button shows the game's own values while it is down and the
// edits again on the first frame after.
TEST_F(TimecyclesTabTest, HoldingBeforeAfterShowsTheOriginalsWhileDown) {
    PutGeneratedFile(9);
    TimecyclesTab.keyframe = 5;
    LoadThroughTab(9);
    const TimecycleVariable* row = Row("far_clip");
    const size_t i = RowIndexOf(row);
    const uint16_t original = GameHalf(BlockOf(9), 0, 5, i);
    EditTimecycleValue(row, 4321.0f);
    HoldBeforeAfter(false);  // the sync records the state first
    HoldBeforeAfter(true);
    EXPECT_EQ(core::Editor.TimecycleAfterShown.Get(), 0);
    EXPECT_EQ(GameHalf(BlockOf(9), 0, 5, i), original);
    HoldBeforeAfter(true);
    EXPECT_EQ(GameHalf(BlockOf(9), 0, 5, i), original);
    HoldBeforeAfter(false);
    EXPECT_EQ(core::Editor.TimecycleAfterShown.Get(), 1);
    EXPECT_EQ(GameHalf(BlockOf(9), 0, 5, i), FloatToHalf(4321.0f));
    // A hotkey's "before" is not undone by a button that was never held.
    core::Editor.TimecycleAfterShown = 0;
    HoldBeforeAfter(false);
    EXPECT_EQ(core::Editor.TimecycleAfterShown.Get(), 0);
}

// While the tick asks for a re-read and no load holds the slots, the slots
// take the game's current values, except where the user set one; a context
// holding imported values stops the re-read.
TEST_F(TimecyclesTabTest, ReReadTakesTheGamesValuesButKeepsTheUsers) {
    float game[2] = {3.5f, 7.25f};
    const TimecycleVariable* a = Row("far_clip");
    const TimecycleVariable* b = Row("sky_hdr");
    a->slot->address = reinterpret_cast<uint64_t>(&game[0]);
    b->slot->address = reinterpret_cast<uint64_t>(&game[1]);
    SelectTimecycleContext(0, 0, 5);
    b->slot->value = 11.0f;
    b->slot->enabled = 1;
    core::Editor.TimecycleRereadFrames = 3;
    KeyframeTable.SlotRefreshHoldFrames = 2;
    RereadTimecycleSlots();
    EXPECT_EQ(core::Editor.TimecycleRereadFrames.Get(), 3) << "held after a load";
    KeyframeTable.SlotRefreshHoldFrames = 0;
    RereadTimecycleSlots();
    EXPECT_EQ(core::Editor.TimecycleRereadFrames.Get(), 2);
    EXPECT_EQ(a->slot->value, 3.5f);
    EXPECT_EQ(b->slot->value, 11.0f);
    EXPECT_EQ(b->slot->liveValue, 7.25f);
    EXPECT_EQ(GetEditSlot(0, 0, 5).entries[RowIndexOf(a)].value, 3.5f);
    GetEditSlot(0, 0, 5).entries[RowIndexOf(a)].imported = 1;
    RereadTimecycleSlots();
    EXPECT_EQ(core::Editor.TimecycleRereadFrames.Get(), 0);
    a->slot->address = 0;
    b->slot->address = 0;
}

TEST_F(TimecyclesTabTest, WeatherCopyTargetAndTeleports) {
    for (int w : {1, 4, 9}) PutGeneratedFile(w);
    for (int w = 0; w < 18; ++w) TimecyclesTab.available[static_cast<size_t>(w)] = TimecycleFileAvailable(w);
    TimecyclesTab.weather = 4;
    EXPECT_EQ(ValidCopyWeatherTarget(9), 9);
    EXPECT_EQ(ValidCopyWeatherTarget(4), 1) << "not the selected weather";
    EXPECT_EQ(ValidCopyWeatherTarget(3), 1) << "not one without a file";
    EXPECT_EQ(ValidCopyWeatherTarget(40), 1);

    {
        std::lock_guard<std::mutex> lock(game::GameControls.TeleportMutex);
        game::GameControls.LocationTeleportRequest = {1, 1.0f, 2.0f, 3.0f};
    }
    RequestRegionTeleport(1);
    EXPECT_EQ(game::GameControls.PresetTeleportRequest.Get(), 1);
    EXPECT_EQ(game::GameControls.LocationTeleportRequest.pending, 0);
    EXPECT_EQ(TimecyclesTab.region, kRegionUrban);
    RequestRegionTeleport(2);
    EXPECT_EQ(TimecyclesTab.regionRequest.load(), kRegionGlobal);
}

// ---- Headless frames -----------------------------------------------------------------------

constexpr float kTall = 24000.0f;

void DrawTall() {
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(900.0f, kTall - 100.0f));
    ImGui::Begin("Varnel", nullptr, ImGuiWindowFlags_NoSavedSettings);
    DrawTimecyclesPanel();
    ImGui::End();
}

// With a file loaded and every group shown in turn on a window tall enough
// for all its rows (and then every row at once by a search): no identifier
// is used twice and the UI library asserts nothing; the rows go to the game.
TEST_F(TimecyclesTabTest, EveryGroupDrawsWithoutConflictsOrAsserts) {
    PutGeneratedFile(9);
    testsupport::ImGuiHarness ui(ImVec2(1920.0f, kTall));
    ui.CaptureText(true);
    ui.Frame(DrawTall);
    EXPECT_NE(ui.Text().find("Clear"), std::string::npos);
    ASSERT_TRUE(ui.ClickItem("Clear##timecycle_import_weather_1", DrawTall) ||
                ui.ClickItem("Neutral##timecycle_import_weather_9", DrawTall));
    TimecyclesTab.weather = 9;
    ASSERT_TRUE(ui.ClickItem("Load .xml", DrawTall));
    // Ends within the search budgets.
    ASSERT_TRUE(testsupport::RunWhile(TimecyclePreviewPending, [&ui] { ui.Frame(DrawTall); }));
    ASSERT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters.");
    size_t rowsDrawn = 0;
    for (int group = 0; group < 28; ++group) {
        TimecyclesTab.group = group;
        ui.Frames(2, DrawTall);
        size_t values = 0;
        for (const testsupport::ImGuiItem& item : ui.Items())
            values += item.label == "##value" || item.label == "##X";  // a float row, a colour row's R
        EXPECT_GT(values, 0u) << group;
        rowsDrawn += values;
        EXPECT_TRUE(ui.DuplicateIds().empty()) << group << ": " << ui.DuplicateIds().front();
    }
    EXPECT_EQ(rowsDrawn, 429u - 2 * 37);  // each colour triple is one row
    // BOTH has no other region: both copy buttons read "Other" and do nothing.
    TimecyclesTab.region = kRegionBoth;
    ui.Frame(DrawTall);
    const std::string status = TimecycleXml.TimecycleStatusLine;
    ASSERT_TRUE(ui.ClickItem("Other##copy_parameter_edits_region", DrawTall));
    ASSERT_TRUE(ui.ClickItem("Other##copy_all_region_edits_region", DrawTall));
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, status);
    std::strcpy(TimecyclesTab.search.data(), "_");  // every XML name has one but temperature and a few
    ui.Frames(2, DrawTall);
    EXPECT_NE(ui.Text().find("Search Results"), std::string::npos);
    EXPECT_TRUE(ui.DuplicateIds().empty()) << ui.DuplicateIds().front();
    EXPECT_EQ(ui.AssertionCount(), 0);
}

// After "Load .xml" the rows keep the file's values: the game's current
// block (here every variable i + 0.25, far from the file) does not replace
// them once the load's hold is over, though the tick switched the weather
// and set the clock to the keyframe's hour; the game's table keeps them too.
TEST_F(TimecyclesTabTest, ALoadedFileKeepsItsValuesAfterTheHold) {
    std::vector<float> game(kVariableCount);
    for (size_t i = 0; i < game.size(); ++i) {
        game[i] = static_cast<float>(i) + 0.25f;
        TimecycleVariableTable[i].slot->address = reinterpret_cast<uint64_t>(&game[i]);
    }
    PutGeneratedFile(9);
    testsupport::ImGuiHarness ui(ImVec2(1920.0f, kTall));
    core::Editor.MenuOpen = 1;
    core::Editor.SlotRefreshTick = 1;  // every frame a refresh frame
    TimecyclesTab.weather = 9;
    ui.Frame(DrawTall);
    ASSERT_TRUE(ui.ClickItem("Load .xml", DrawTall));
    ASSERT_TRUE(testsupport::RunWhile(TimecyclePreviewPending, [&ui] { ui.Frame(DrawTall); }));
    ASSERT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters.");
    // The tick's steps for the load's requests.
    platform::sim::SetNativeHandler(0, nullptr);
    game::ServeWeatherRequest(nullptr);
    game::ApplyClockRequest();
    ui.Frames(12, DrawTall);
    EXPECT_EQ(KeyframeTable.SlotRefreshHoldFrames, 0);
    const int k = TimecyclesTab.keyframe;
    const TimecycleVariable* row = Row("sky_zenith_col_r");
    const size_t i = RowIndexOf(row);
    const float file = GeneratedTimecycleValue(9, 0, static_cast<int>(i), k);
    ASSERT_NE(file, game[i]);
    EXPECT_EQ(row->slot->value, file);
    EXPECT_EQ(GetEditSlot(9, 0, k).entries[i].value, file);
    EXPECT_EQ(GameHalf(BlockOf(9), 0, k, i), FloatToHalf(file));
    // Without a loaded file the re-read still takes the game's values.
    TimecycleXml.TimecycleLoadRecords[9] = TimecycleLoadRecord{};
    core::Editor.TimecycleRereadFrames = 3;
    ui.Frames(4, DrawTall);
    EXPECT_EQ(row->slot->value, game[i]);
    for (const TimecycleVariable& variable : TimecycleVariableTable) variable.slot->address = 0;
}

// Real clicks and keys: Ctrl+click on a row's value, a number typed, Enter:
// the game's record has it; the group shows as edited; the reset button
// takes it back.
TEST_F(TimecyclesTabTest, TypingAValueInARowReachesTheGame) {
    PutGeneratedFile(9);
    testsupport::ImGuiHarness ui(ImVec2(1920.0f, kTall));
    ui.CaptureText(true);
    TimecyclesTab.weather = 9;
    ui.Frame(DrawTall);
    ASSERT_TRUE(ui.ClickItem("Load .xml", DrawTall));
    // Ends within the search budgets.
    ASSERT_TRUE(testsupport::RunWhile(TimecyclePreviewPending, [&ui] { ui.Frame(DrawTall); }));
    TimecyclesTab.group = VariableGroupIndexOf(Row("far_clip"));
    ui.Frames(2, DrawTall);
    const size_t i = RowIndexOf(Row("far_clip"));
    const ImGuiID id = [&] {
        ImGuiWindow* pane = nullptr;
        for (ImGuiWindow* w : ImGui::GetCurrentContext()->Windows)
            if (std::strstr(w->Name, "##timecycle_parameter_pane") != nullptr) pane = w;
        EXPECT_NE(pane, nullptr);
        // PushID(row) then "##value" inside the pane, as the row does it.
        const int rowId = static_cast<int>(i);
        return ImHashStr("##value", 0, ImHashData(&rowId, sizeof rowId, pane->ID));
    }();
    const testsupport::ImGuiItem* field = nullptr;
    for (const testsupport::ImGuiItem& item : ui.Items())
        if (item.id == id) field = &item;
    ASSERT_NE(field, nullptr);
    const ImVec2 at = field->Center();
    ui.Io().AddKeyEvent(ImGuiMod_Ctrl, true);
    ui.Click(at, DrawTall);
    ui.Io().AddKeyEvent(ImGuiMod_Ctrl, false);
    ui.TypeText("2500", DrawTall);
    ui.PressKey(ImGuiKey_Enter, DrawTall);
    const int k = TimecyclesTab.keyframe;
    EXPECT_EQ(GameHalf(BlockOf(9), 0, k, i), FloatToHalf(2500.0f));
    EXPECT_EQ(Row("far_clip")->slot->enabled, 1);
    ui.Frame(DrawTall);
    EXPECT_NE(ui.Text().find("1 edited"), std::string::npos);  // one group, one weather
    EXPECT_EQ(ui.AssertionCount(), 0);
}

// The load preview's search runs a slice a frame while the tab shows that it
// is searching; a note the load adds shows on the status line.
TEST_F(TimecyclesTabTest, ThePreviewSearchesASliceAFrameAndNotesShow) {
    heap_ = std::make_unique<testsupport::SyntheticHeap>(48u << 20);
    ASSERT_TRUE(heap_->ok());
    base_ = heap_->base() + (48u << 20) - testsupport::kGeneratedKeyframeTableBytes - 4096;
    testsupport::WriteGeneratedKeyframeTable(reinterpret_cast<uint8_t*>(base_));
    PutGeneratedFile(4, {.omitRegions = {"URBAN"}});
    testsupport::ImGuiHarness ui(ImVec2(1920.0f, 1080.0f));
    ui.CaptureText(true);
    TimecyclesTab.weather = 4;
    ui.Frame(DrawTall);
    ASSERT_TRUE(ui.ClickItem("Load .xml", DrawTall));
    ASSERT_TRUE(TimecyclePreviewPending());
    int frames = 0;
    uint64_t slices = LastKeyframeScanStats().slices;
    bool searchingShown = false;
    while (TimecyclePreviewPending() && frames < 200) {
        ui.Frame(DrawTall);
        ++frames;
        searchingShown = searchingShown || ui.Text().find("Searching the game's memory") != std::string::npos;
        const uint64_t now = LastKeyframeScanStats().slices;
        EXPECT_LE(now, slices + 1) << "more than one slice in a frame";
        slices = now;
    }
    EXPECT_GE(frames, 8);
    EXPECT_TRUE(searchingShown);
    ui.Frame(DrawTall);
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, "Loaded 429 parameters. w_rain.xml: no URBAN region, URBAN left as it was.");
    EXPECT_NE(ui.Text().find("w_rain.xml: no URBAN region, URBAN left as it was."), std::string::npos);
    EXPECT_EQ(ui.Text().find("Loaded 429 parameters."), std::string::npos);
}

// The hold button shows its whole label with the editor's fonts at UI
// scales 1 and 2, and the action bar's buttons stay clear of the search field.
TEST_F(TimecyclesTabTest, TheHoldButtonShowsItsWholeLabel) {
    testsupport::ImGuiHarness ui(ImVec2(1920.0f, 1080.0f));
    constexpr const char* kHold = "Hold for before / after";
    for (const testsupport::EditorFont& font : testsupport::AddEditorFonts()) {
        for (const float scale : {1.0f, 2.0f}) {
            SCOPED_TRACE(font.name + " at " + std::to_string(scale));
            ImGui::GetStyle().FontScaleMain = scale;
            float needed = 0.0f;
            auto drawAndMeasure = [&] {
                ImGui::PushFont(font.font, font.size);
                DrawTall();
                needed = ImGui::CalcTextSize(kHold).x + 2.0f * ImGui::GetStyle().FramePadding.x;
                ImGui::PopFont();
            };
            ui.Frames(2, drawAndMeasure);
            const testsupport::ImGuiItem* hold = ui.FindItem(kHold);
            const testsupport::ImGuiItem* clear = ui.FindItem("Clear search##timecycle");
            const testsupport::ImGuiItem* search = ui.FindItem("##timecycle_search");
            ASSERT_TRUE(hold && clear && search);
            EXPECT_GE(hold->max.x - hold->min.x + 0.01f, needed);
            EXPECT_LE(clear->max.x, search->min.x);
        }
    }
    EXPECT_EQ(ui.AssertionCount(), 0);
}

}  // namespace
}  // namespace ui
