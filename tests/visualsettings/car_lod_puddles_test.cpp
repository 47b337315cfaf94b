// The special keys: car LOD distances, puddle ripples and scale with the
// keeper thread, and the edited tests of rows and sections.
#include "visualsettings_fixture.h"

#include <cmath>

#include "support/thread_waits.h"
#include "visualsettings/car_lod.h"
#include "visualsettings/live_write.h"
#include "visualsettings/puddles.h"
#include "visualsettings/sections.h"

namespace vstest {
namespace {

using SpecialKeysTest = VisualSettingsTest;

TEST_F(SpecialKeysTest, CarLodReadinessFromThePublishedPair) {
    const uint64_t pair = image_->Reserve(ImageSection::Data, 16, 16);
    const struct {
        float high, low;
        uint64_t lowOffset;
        bool ready;
        const char* state;
    } rows[] = {
        {40.0f, 180.0f, 8, true, "READY_DEFAULT."},  {40.0f, 180.5f, 8, true, "READY_CURRENT."},
        {NAN, 180.0f, 8, false, "ADDR_UNAVAILABLE."}, {40.0f, 180.0f, 4, false, "ADDR_UNAVAILABLE."},
    };
    for (const auto& r : rows) {
        image_->WriteFloat(pair, r.high);
        image_->WriteFloat(pair + 8, r.low);
        PublishCarLodAddresses(pair, pair + r.lowOffset);
        EXPECT_EQ(CarLodReadiness(), r.ready) << r.state;
        EXPECT_EQ(StatusText(CarLod.status), r.state);
        if (!r.ready) {
            EXPECT_FALSE(CarLodReadiness()) << "a failed check forgets the pair";
            EXPECT_EQ(StatusText(CarLod.status), "PENDING.");
        }
    }
    PublishCarLodAddresses(pair, pair + 8);
    image_->WriteFloat(pair + 8, 180.0f);
    EXPECT_TRUE(WriteCarLodDistance("car.lod.distance.low", 300.0f));
    EXPECT_EQ(ReadF(pair + 8), 300.0f);
    ResetStatus(CarLod.status);
    EXPECT_FALSE(WriteCarLodDistance("Car.lod.distance.high", 1.0f)) << "refused before the check";
    EXPECT_EQ(StatusText(CarLod.status), "Ready.");
    float v = 0;
    EXPECT_TRUE(ReadCarLodDistance("car.lod.distance.high", v));
    EXPECT_EQ(v, 40.0f);
    VisualSettingsParam& high = Row("car.lod.distance.high");
    high.value = 55.0f;
    ApplyVisualSettingRow(high);
    EXPECT_EQ(ReadF(pair), 55.0f);
    EXPECT_TRUE(high.applied);
    WriteVisualSettingRow(high);
    EXPECT_EQ(ReadF(pair), 40.0f);
    EXPECT_EQ(high.liveAddress, pair);
}

TEST_F(SpecialKeysTest, CarLodWithoutAPairIsPending) {
    EXPECT_FALSE(WriteCarLodDistance("car.lod.distance.high", 1.0f));
    EXPECT_EQ(StatusText(CarLod.status), "PENDING.");
    EXPECT_EQ(CarLodDistanceAddress("car.lod.distance.low"), 0u);
}

TEST_F(SpecialKeysTest, RippleFieldsOnlyOnceTheirBaseIsPublished) {
    const uint64_t block = image_->Reserve(ImageSection::Data, 0x48, 16);
    float v = 0;
    EXPECT_FALSE(WritePuddleRippleField("puddles.ripples.speed", 1.0f));
    EXPECT_FALSE(ReadPuddleRippleField("puddles.ripples.speed", v));
    EXPECT_EQ(PuddleRippleFieldAddress("puddles.ripples.speed"), 0u);
    PublishPuddleRippleBase(block);
    EXPECT_EQ(PuddleRippleFieldAddress("puddles.ripples.winddamping"), block + 0x44);
    EXPECT_EQ(PuddleRippleFieldAddress("puddles.ripples.Speed"), 0u);
    VisualSettingsParam& row = Row("puddles.ripples.ripplestrength");
    row.value = 0.9f;
    ApplyVisualSettingRow(row);
    EXPECT_EQ(ReadF(block + 0x20), 0.9f);
    WriteVisualSettingRow(row);
    EXPECT_EQ(ReadF(block + 0x20), 0.7f) << "its default";
    EXPECT_EQ(row.liveAddress, block + 0x20);
}

TEST_F(SpecialKeysTest, PuddlesScaleGoesToTheTargetTheSelectorNames) {
    // "puddles.scale" has five extra targets the game build decides: with
    // none known, nothing is written whatever the selector.
    for (int32_t selector : {0, 1, 3}) {
        Puddles.targetSelector.Set(selector);
        EXPECT_FALSE(ApplyPuddlesScaleLive(2.0f)) << selector;
    }
}

TEST_F(SpecialKeysTest, TheKeeperStartsOnceForAModeAndStopsAtTheUnload) {
    platform::sim::UseManualClock(false);
    Row("puddles.scale").overridden = 1;  // the keeper tries it (and finds no target)
    platform::sim::HoldSleeps(true);      // the keeper's first pass ends in a sleep held here
    StartPuddlesKeeperWhenAsked();
    EXPECT_EQ(Puddles.keeperThread.Get(), 0u) << "mode 0: no keeper";
    Puddles.mode.Set(2);
    platform::sim::FailNextThreadStarts(1);
    StartPuddlesKeeperWhenAsked();
    EXPECT_EQ(Puddles.keeperStarted.Get(), 0u) << "a failed start is tried again";
    StartPuddlesKeeperWhenAsked();
    const uint64_t thread = Puddles.keeperThread.Get();
    EXPECT_NE(thread, 0u);
    StartPuddlesKeeperWhenAsked();
    EXPECT_EQ(Puddles.keeperThread.Get(), thread) << "once";
    EXPECT_TRUE(testsupport::WaitForHeldSleepers(1)) << "the keeper made a pass";
    platform::sim::HoldSleeps(false);
    EXPECT_TRUE(StopVisualSettings(5000));
    EXPECT_EQ(Puddles.keeperThread.Get(), 0u);
}

TEST(SectionEdits, RowsEditedAsTheGameWouldStoreThem) {
    ResetVisualSettingsForTesting();
    const struct {
        const char* key;
        float original, value;
        bool edited;
    } rows[] = {
        {"lensflare.show.length", 3.2f, 3.4f, false},  // both round to 3
        {"lensflare.show.length", 3.2f, 3.6f, true},
        {"defaultmotionblur.enabled", 0.6f, 0.9f, false},
        {"defaultmotionblur.enabled", 0.6f, 0.4f, true},
        {"car.neon.defaultcolor.green", 0.5f, 0.501f, false},  // the same byte
        {"car.neon.defaultcolor.green", 0.5f, 0.51f, true},
        {"car.neon.radius", 1.0f, 1.00004f, false},
        {"car.neon.radius", 1.0f, 1.0001f, true},
    };
    for (const auto& r : rows) {
        VisualSettingsParam& row = Row(r.key);
        row.original = r.original;
        row.hasOriginal = 1;
        row.value = r.value;
        EXPECT_EQ(IsVisualRowEdited(row), r.edited) << r.key << " " << r.value;
    }
    VisualSettingsParam& row = Row("car.neon.intensity");
    row.hasOriginal = 0;
    EXPECT_FALSE(IsVisualRowEdited(row));
    row.overridden = 1;
    EXPECT_TRUE(IsVisualRowEdited(row)) << "without an original: its override flag";

    VisibleRows visible;
    VisibleSlots slots;
    CollectVisibleVisualRows(visible, slots);
    EXPECT_EQ(visible.size(), 1306u);
    EXPECT_EQ(slots.size(), 8u);
    const VisualSettingsSection section{"S", {{"G", {"nokey", "Tonemapping.dark.filmic.B"}, 0}}, 0};
    EXPECT_FALSE(SectionHasEditedRow(section, visible, slots));
    runtime::LiveOverrideSlot& b = DarkFilmicSlot(1);
    b.baselineValue = 0.3f;
    b.baselineCaptured = 1;
    b.value = 0.31f;
    EXPECT_TRUE(SectionHasEditedRow(section, visible, slots));
    runtime::ResetSlotTablesForTesting();
    ResetVisualSettingsForTesting();
}

}  // namespace
}  // namespace vstest
