// The game's keyframe table on synthetic game memory: recognition rows, the
// search and its vote, its slices and remembered failures, derived weathers,
// snapshots, record writes, the load preview and the before/after switch.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/tick.h"
#include "platform/memory.h"
#include "support/synthetic_image.h"
#include "support/testdata.h"
#include "support/timecycle_gen.h"
#include "timecycle/half_float.h"
#include "timecycle_fixture.h"

namespace timecycle {
namespace {

using testsupport::GeneratedTimecycleValue;
using timecycletest::LoadAndPreview;
using timecycletest::PlantHalf;
using timecycletest::TimecycleTest;

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

TEST_F(KeyframeTableTest, ClearIsDerivedFromExtrasunnyWhenItsOwnRowsMatchNothing) {
    PutGeneratedFile(0);  // matches the game
    PutGeneratedFile(1, {.valueWeather = 100});  // values no block of the game holds
    EXPECT_EQ(ScanTimecycleTable(1), BlockOf(1));
    EXPECT_EQ(WeatherBlockTable[0], BlockOf(0));
    EXPECT_EQ(BlockOf(1) - BlockOf(0), 22496u);
    // Known now: no second search.
    LastKeyframeScanStats.regionsScanned = 12345;
    EXPECT_EQ(ScanTimecycleTable(7), BlockOf(7));
    EXPECT_EQ(LastKeyframeScanStats.regionsScanned, 12345u);
}

// No rows: nothing is searched. No match: nothing is stored, and the same
// rows are not searched again; other rows (another file) are.
TEST_F(KeyframeTableTest, AFailedSearchIsRememberedUntilTheRowsChange) {
    EXPECT_EQ(ScanTimecycleTable(0), 0u);  // no file, nothing loaded
    EXPECT_EQ(LastKeyframeScanStats.regionsScanned, 0u);
    PutGeneratedFile(2, {.valueWeather = 100});
    LoadAndPreview(2);
    EXPECT_EQ(TimecycleStatusLine, "Loaded for preview.");
    EXPECT_EQ(TimecycleLoadRecords[2].previewApplied, 0);
    for (const auto& entry : WeatherBlockTable) EXPECT_EQ(entry.load(), 0u);
    ASSERT_GT(LastKeyframeScanStats.bytesScanned, 0u);
    LastKeyframeScanStats.slices = 12345;
    EXPECT_EQ(LoadAndPreview(2), 1);
    EXPECT_EQ(TimecycleStatusLine, "Loaded for preview.");
    EXPECT_EQ(ScanTimecycleTable(2), 0u);
    EXPECT_EQ(LastKeyframeScanStats.slices, 12345u);  // no new walk
    PutGeneratedFile(2, {.valueWeather = 101});
    LoadAndPreview(2);
    EXPECT_NE(LastKeyframeScanStats.slices, 12345u);
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
    EXPECT_EQ(WeatherBlockTable[0], BlockOf(0));
}

TEST_F(KeyframeTableTest, TwoEqualTablesGiveTheLowerOne) {
    testsupport::SyntheticHeap second(testsupport::kGeneratedKeyframeTableBytes + 65536);
    ASSERT_TRUE(second.ok());
    testsupport::WriteGeneratedKeyframeTable(reinterpret_cast<uint8_t*>(second.base() + 4096));
    PutGeneratedFile(5);
    EXPECT_EQ(ScanTimecycleTable(5), std::min(BlockOf(5), second.base() + 4096 + WeatherNameTable[5].typeId * kWeatherBlockSpacing));
}

TEST_F(KeyframeTableTest, TheSearchNeverFindsTheEditorsOwnCopy) {
    PutGeneratedFile(1);
    LoadAndPreview(1);
    ASSERT_EQ(WeatherBlockTable[1], BlockOf(1));
    ASSERT_TRUE(WeatherBlockSnapshots[1].taken);
    // The game frees its table; only the snapshot still holds those bytes.
    heap_.reset();
    for (auto& entry : WeatherBlockTable) entry = 0;
    EXPECT_EQ(ScanTimecycleTable(1), 0u);
}

// "Load .xml" never makes a frame wait for the whole search: the load reads
// one slice, each later frame one more, until the table at the far end of
// 48 MiB is found. Then every weather's block is known, the file's values are
// in the game (the game's own bytes before it in the snapshot) and the file
// is the reference.
TEST_F(KeyframeTableTest, TheLoadPreviewSearchesOneSliceAFrame) {
    PlaceTable(48u << 20, true);
    PutGeneratedFile(4, {.elementTextOverride = {{"far_clip", " 100 200 300 400 500 600 700 800 900 1000 1100 1200 1300"}}});
    host::PatchesClearedForImport = 1;
    host::TimecycleRereadFrames = 3;
    LoadTimecycleXml(4);
    EXPECT_TRUE(TimecyclePreviewPending());
    EXPECT_EQ(TimecycleStatusLine, "Loaded w_rain.xml: 11154 values.");
    EXPECT_EQ(TimecycleLoadRecords[4].previewApplied, 0);
    int slices = 1;
    while (StepTimecyclePreview()) ++slices;
    EXPECT_GE(slices, 12);  // 48 MiB at 4 MiB a slice
    EXPECT_LE(LastKeyframeScanStats.largestSliceBytes, kScanSliceBytes);
    EXPECT_EQ(TimecycleStatusLine, "Loaded 429 parameters.");
    EXPECT_EQ(host::PatchesClearedForImport + host::TimecycleRereadFrames, 0);
    for (int w = 0; w < 18; ++w) EXPECT_EQ(WeatherBlockTable[static_cast<size_t>(w)], BlockOf(w)) << w;
    EXPECT_EQ(TimecycleLoadRecords[4].previewApplied, 1);
    EXPECT_EQ(TimecycleLoadRecords[4].appliedCount, 11154u);
    EXPECT_FALSE(WeatherHasPendingEdits(4));
    EXPECT_TRUE(TimecycleBeforeAfterSync.initialised == 1 && TimecycleBeforeAfterSync.lastWeather == 4);
    for (int k = 0; k < 13; ++k) {
        EXPECT_EQ(GameValue(BlockOf(4), 0, k, 394), 100.0f * static_cast<float>(k + 1));
        EXPECT_EQ(GameValue(BlockOf(4), 1, k, 394), 100.0f * static_cast<float>(k + 1));
    }
    ASSERT_TRUE(WeatherBlockSnapshots[4].taken);
    uint16_t before;
    std::memcpy(&before, WeatherBlockSnapshots[4].bytes.data() + 2 * 394, 2);
    EXPECT_EQ(before, FloatToHalf(GeneratedTimecycleValue(4, 0, 394, 0)));
    EXPECT_EQ(GameHalf(BlockOf(4), 0, 0, 430), 0);  // unused values 429..431 are left as they were

    // A store change while the search runs: the file is no longer simply the
    // game's reference, so the values go live through the slots and the edit stays.
    PlaceTable(48u << 20, true);
    for (auto& entry : WeatherBlockTable) entry = 0;
    LoadTimecycleXml(4);
    ASSERT_TRUE(TimecyclePreviewPending());
    timecycletest::UserEdit(4, 0, 3, "far_clip", 2500.0f).original = 1.0f;
    while (StepTimecyclePreview()) {
    }
    EXPECT_EQ(TimecycleStatusLine, "Loaded for preview.");
    EXPECT_EQ(WeatherBlockTable[4], BlockOf(4));  // found all the same, for later writes
    EXPECT_TRUE(WeatherHasUserEdits(4));
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
    WeatherBlockTable[2] = BlockOf(2);
    EXPECT_TRUE(ApplyContextToLive());  // the first selection filled the context from the slots
    PutGeneratedFile(9);
    LoadAndPreview(9);
    ASSERT_EQ(TimecycleStatusLine, "Loaded 429 parameters.");
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
    TimecycleBeforeAfterSync = BeforeAfterSyncState{};
    for (const auto& sync : syncs) {
        host::TimecycleAfterShown = sync.afterShown;
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
        EXPECT_EQ(WeatherBlockSnapshots[1].recordValid[record], record < firstBad || record > lastBad) << record;

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
    SlotRefreshHoldFrames = 4;
    RefreshTimecycleSlot(slot);  // not loaded: read anyway
    EXPECT_TRUE(slot.liveValue == 9.0f && slot.loaded == 1);
    game = 10.0f;
    host::MenuOpen = 1;
    host::SlotRefreshTick = 1;
    RefreshTimecycleSlot(slot);
    EXPECT_EQ(slot.liveValue, 9.0f);
    SlotRefreshHoldFrames = 0;
    RefreshTimecycleSlot(slot);
    EXPECT_EQ(slot.liveValue, 10.0f);
    host::MenuOpen = 0;
    host::SlotRefreshTick = 0;
}

}  // namespace
}  // namespace timecycle
