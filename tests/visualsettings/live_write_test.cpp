// Live writing of parameter values on the synthetic game image: encodings by
// value kind, the entry operations' flags, extra targets, the defaults
// writer and the reset, and rows whose game value was never known.
#include "visualsettings_fixture.h"

#include <cmath>

#include "runtime/data_signatures.h"
#include "visualsettings/live_write.h"
#include "visualsettings/walkers.h"

namespace vstest {
namespace {

class LiveWriteTest : public VisualSettingsTest {
protected:
    void SetUp() override {
        VisualSettingsTest::SetUp();
        BindVisualSettingsParams();
        InitVisualSettingsDefaults();
        cell = image_->Reserve(ImageSection::Data, 64, 16);
    }
    // Gives a row a live address in the image (the data gives most rows none).
    VisualSettingsParam& At(const char* key, uint64_t address, uint32_t word = 0) {
        VisualSettingsParam& row = Row(key);
        image_->WriteU32(address, word);
        row.liveAddress = address;
        return row;
    }
    uint64_t cell = 0;
};

TEST_F(LiveWriteTest, ValuesAreWrittenByKindAndUnit) {
    const struct {
        const char* key;
        uint32_t before;
        float v;
        uint32_t after;  // the 4 bytes at the address afterwards
    } rows[] = {
        {"lensflare.show.length", 0, 3.5f, 4},                 // unsigned: rounded half away
        {"lensflare.show.length", 9, -2.0f, 0},                // not above 0
        {"lensflare.show.length", 9, NAN, 0},
        {"lensflare.show.length", 9, 5e9f, 0xFFFFFFFFu},
        {"defaultmotionblur.enabled", 0xAABBCC00u, 0.5f, 0xAABBCC01u},  // one byte
        {"defaultmotionblur.enabled", 0xAABBCCFFu, 0.49f, 0xAABBCC00u},
        {"hdr.game.cc.enabled", 0xFFFFFFFFu, 0.7f, 1},         // 32-bit boolean
        {"seeThrough.ColorNear.green", 0x11223344u, 0.5f, 0x11228044u},  // green channel only
        {"weather.CycleDuration", 0, 120.0f, 120000},           // the game holds thousandths
    };
    for (const auto& r : rows) {
        VisualSettingsParam& row = At(r.key, cell, r.before);
        WriteLiveVisualSetting(row, image_->base(), r.v, true);
        EXPECT_EQ(ReadU(cell), r.after) << r.key << " " << r.v;
    }
    VisualSettingsParam& degrees = At("plane.emergency.right.light.rotation", cell);
    degrees.value = 90.0f;
    degrees.original = 270.0f;
    ApplyVisualSettingRow(degrees);
    EXPECT_FLOAT_EQ(ReadF(cell), 1.5707963f);
    EXPECT_TRUE(degrees.overridden);
    EXPECT_TRUE(degrees.applied);
}

TEST_F(LiveWriteTest, AnImportedValueSetsItsFlagsAndWritesOnlyWhenAllowed) {
    VisualSettingsParam& row = Row("misc.coronas.sizeScaleGlobal");
    const uint64_t address = row.liveAddress;
    const float game = ReadF(address);
    WriteLiveVisualSetting(row, coronasBlock, game + 1.0f, false);
    EXPECT_EQ(row.value, game + 1.0f);
    EXPECT_TRUE(row.loaded && row.differs);
    EXPECT_FALSE(row.overridden || row.applied);
    EXPECT_EQ(ReadF(address), game) << "not written";
    row.overridden = 1;
    WriteLiveVisualSetting(row, coronasBlock, game + 0.000005f, true);
    EXPECT_FALSE(row.differs) << "within 0.00001 of the original";
    EXPECT_FALSE(row.overridden);
    EXPECT_TRUE(row.applied);
    EXPECT_EQ(ReadF(address), game + 0.000005f);
    // Without an original, an imported value always differs.
    VisualSettingsParam& none = Row("sky.sunAxiasY");
    none.hasOriginal = 0;
    WriteLiveVisualSetting(none, image_->base(), 0.0f, true);
    EXPECT_TRUE(none.differs);
    EXPECT_FALSE(none.applied) << "no location";
}

TEST_F(LiveWriteTest, ARowWhoseGameValueWasNeverKnownIsNeverWritten) {
    // A row the data gives no location and no default: never written; the
    // imported value is what it resets to, and no default is invented.
    VisualSettingsParam& row = Row("car.neon.radius");
    EXPECT_FALSE(row.defaultKnown);
    EXPECT_FALSE(HasValue(row));
    WriteLiveVisualSetting(row, image_->base(), 5.0f, true);
    EXPECT_FALSE(row.applied);
    EXPECT_TRUE(HasValue(row));
    row.value = 3.0f;
    ApplyVisualSettingRow(row);
    EXPECT_TRUE(row.overridden);
    WriteVisualSettingRow(row);
    EXPECT_EQ(row.value, 5.0f) << "the imported value is the reference";
    EXPECT_FALSE(row.overridden);
    EXPECT_TRUE(row.differs) << "the game never got it";
    EXPECT_FALSE(ResetVisualSettingRow(row)) << "no location: nothing written";
    EXPECT_FALSE(row.applied);

    // Given a location later, its game value is read before the first write:
    // the game's values shown put that back; a reset gives the file's value.
    image_->WriteFloat(cell, 0.75f);
    row.liveAddress = cell;
    WriteLiveVisualSetting(row, image_->base(), 2.0f, true);
    EXPECT_TRUE(row.defaultKnown);
    EXPECT_EQ(row.defaultValue, 0.75f);
    EXPECT_EQ(row.original, 2.0f) << "each import renews a reference taken from a file";
    EXPECT_TRUE(row.differs);
    EXPECT_EQ(ReadF(cell), 2.0f);
    row.value = 3.0f;
    ApplyVisualSettingRow(row);
    EXPECT_EQ(ReadF(cell), 3.0f);
    WriteVisualSettingRow(row);
    EXPECT_EQ(ReadF(cell), 2.0f) << "the reference in the game too";
    EXPECT_EQ(row.value, 2.0f);
    EXPECT_TRUE(row.differs) << "the game's own value differs";
    core::Editor.VisualSettingsAfterShown.Set(0);
    ApplyAllVisualSettingsLive(false, false);
    EXPECT_EQ(ReadF(cell), 0.75f) << "the game's own value back";
    EXPECT_EQ(row.value, 2.0f);
}

TEST_F(LiveWriteTest, TheDefaultsWriterWritesOnlyWhatIsWanted) {
    VisualSettingsParam& row = Row("misc.coronas.intensityScaleGlobal");
    const uint64_t address = row.liveAddress;
    const float d = row.defaultValue;
    image_->WriteFloat(address, 42.0f);
    WriteParamByKind(row, coronasBlock, false, false);
    EXPECT_EQ(ReadF(address), 42.0f) << "neither overridden nor differing: nothing written";
    row.overridden = 1;
    row.value = 43.0f;
    WriteParamByKind(row, coronasBlock, false, false);
    EXPECT_EQ(ReadF(address), d);
    EXPECT_EQ(row.value, 43.0f) << "the switch keeps the edit";
    EXPECT_TRUE(row.overridden);
    WriteVisualSettingRow(row);
    EXPECT_EQ(row.value, d);
    EXPECT_FALSE(row.overridden);

    // "Reset all" on a row without a location writes nothing.
    VisualSettingsParam& none = Row("sky.GameCloudSpeed");
    none.value = 3.0f;
    none.overridden = 1;
    ApplyAllVisualSettingsLive(true, true);
    EXPECT_EQ(none.value, 0.0f);
    EXPECT_FALSE(none.applied);
    EXPECT_EQ(DarkFilmicSlot(2).value, 0.1f);
    EXPECT_EQ(ReadF(filmicBlocks + 8), 0.1f) << "the dark filmic default written";
}

TEST_F(LiveWriteTest, AResetWritesByTheRowsKind) {
    VisualSettingsParam& row = At("lensflare.switch.length", cell, 990);
    row.original = 1000.0f;
    row.hasOriginal = 1;
    row.value = 7.0f;
    row.overridden = 1;
    EXPECT_TRUE(ResetVisualSettingRow(row));
    EXPECT_EQ(ReadU(cell), 1000u) << "an unsigned integer, not the bits of a float";
    EXPECT_EQ(row.value, 1000.0f);
    VisualSettingsParam& degrees = At("plane.emergency.left.light.rotation", cell);
    degrees.original = 180.0f;
    degrees.hasOriginal = 1;
    EXPECT_TRUE(ResetVisualSettingRow(degrees));
    EXPECT_FLOAT_EQ(ReadF(cell), 3.1415927f) << "in the game's unit";

    runtime::LiveOverrideSlot& slot = DarkFilmicSlot(0);
    slot.baselineValue = 0.5f;
    slot.baselineCaptured = 1;
    slot.enabled = 1;
    EXPECT_TRUE(ResetVisualSettingRow(slot));
    EXPECT_EQ(ReadF(filmicBlocks), 0.5f);
    EXPECT_FALSE(slot.enabled);
}

TEST_F(LiveWriteTest, ExtraTargetsTakeTheValueByKind) {
    // The red channel row of a traffic-light colour has the vector's fourth float as extra target.
    VisualSettingsParam& red = Row("trafficLight.green.color.red");
    WriteParamExtraTargets(red, image_->base(), 0.25f);
    EXPECT_EQ(ReadF(trafficBlock + 0x6C), 0.25f);
    image_->WriteFloat(trafficBlock + 0x6C, 9.0f);
    WriteParamExtraTargets(red, 0, 0.5f);
    EXPECT_EQ(ReadF(trafficBlock + 0x6C), 9.0f) << "a base of 0 writes nothing, tagged targets included";
    VisualSettingsParam& none = Row("car.headlight.day.emissive.on");  // five targets the game build decides
    WriteParamExtraTargets(none, image_->base(), 1.0f);                // nothing to write, nothing breaks
}

TEST_F(LiveWriteTest, RefreshFollowsTheGameUnlessEdited) {
    VisualSettingsParam& row = Row("misc.coronas.sizeScaleParaboloid");
    const uint64_t address = row.liveAddress;
    image_->WriteFloat(address, 5.0f);
    RefreshVisualSettingRow(row);
    EXPECT_NE(row.value, 5.0f) << "a loaded plain row is read only on the menu's refresh frames";
    core::Editor.MenuOpen.Set(1);
    core::Editor.SlotRefreshTick.Set(1);
    RefreshVisualSettingRow(row);
    EXPECT_EQ(row.value, 5.0f);
    EXPECT_EQ(row.appliedValue, 5.0f);
    row.overridden = 1;
    row.value = 6.0f;
    image_->WriteFloat(address, 7.0f);
    RefreshVisualSettingRow(row);
    EXPECT_EQ(row.value, 6.0f) << "an override stays";
    EXPECT_EQ(row.appliedValue, 7.0f);
    VisualSettingsLive.VisualSettingsLivePaused.Set(1);
    image_->WriteFloat(address, 8.0f);
    RefreshVisualSettingRow(row);
    EXPECT_EQ(row.appliedValue, 7.0f) << "paused: nothing read";
}

}  // namespace
}  // namespace vstest
