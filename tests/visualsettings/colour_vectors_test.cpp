// The traffic-light colour vectors, the blackout of traffic lights and the
// dark volume colour on the synthetic image's data blocks 3 and 14.
#include "visualsettings_fixture.h"

#include "visualsettings/live_write.h"
#include "visualsettings/traffic_lights.h"
#include "visualsettings/volume_colour.h"

namespace vstest {
namespace {

class ColourVectorsTest : public VisualSettingsTest {
protected:
    void SetUp() override {
        VisualSettingsTest::SetUp();
        BindVisualSettingsParams();
        InitVisualSettingsDefaults();
    }
    std::vector<float> Vector(uint64_t address, int n = 4) {
        std::vector<float> out;
        for (int i = 0; i < n; ++i) out.push_back(ReadF(address + 4 * static_cast<uint64_t>(i)));
        return out;
    }
    void Edit(const char* key, float v) {
        VisualSettingsParam& row = Row(key);
        row.value = v;
        row.overridden = 1;
    }
};

TEST_F(ColourVectorsTest, KeysOfTheColourGroups) {
    EXPECT_STREQ(TrafficLightGroupKey("trafficLight.near.na.color.blue"), "trafficLight.near.na.color");
    EXPECT_EQ(TrafficLightGroupKey("trafficLight.red.colour.red"), nullptr);
    EXPECT_EQ(TrafficLightGroupKey(nullptr), nullptr);
    EXPECT_TRUE(IsTrafficLightColorKey("trafficLight.walk.color"));
    EXPECT_FALSE(IsTrafficLightColorKey("trafficLight.walk.color.red"));
    EXPECT_FALSE(IsTrafficLightColorComponent("trafficLight.walk.colors"));
    EXPECT_EQ(TrafficLightColorAddress("trafficLight.amber.color"), trafficBlock + 0x70);
    EXPECT_EQ(TrafficLightColorAddress("trafficLight.amber"), 0u);
    EXPECT_FALSE(WriteTrafficLightComponent("trafficLight.red.color.alpha", false)) << "no channel name";
}

TEST_F(ColourVectorsTest, AGroupIsWrittenAsOneVectorWithRedTwice) {
    Edit("trafficLight.red.color.red", 0.5f);
    Edit("trafficLight.red.color.green", 0.2f);
    Edit("trafficLight.red.color.blue", 0.1f);
    EXPECT_TRUE(WriteTrafficLightColorGroup("trafficLight.red.color"));
    EXPECT_EQ(Vector(trafficBlock + 0x50), (std::vector<float>{0.5f, 0.2f, 0.1f, 0.5f}));
    EXPECT_EQ(Row("trafficLight.red.color.green").appliedValue, 0.2f);
    EXPECT_TRUE(IsTrafficLightColorOverridden("trafficLight.red.color"));
    EXPECT_FALSE(IsTrafficLightColorOverridden("trafficLight.walk.color"));

    // A component without reset: its default, the other channels' values.
    const std::vector<float> walk = Vector(trafficBlock + 0x80);
    Edit("trafficLight.walk.color.red", 0.9f);
    Edit("trafficLight.walk.color.green", 0.8f);
    EXPECT_TRUE(WriteTrafficLightComponent("trafficLight.walk.color.green", false));
    EXPECT_EQ(Vector(trafficBlock + 0x80), (std::vector<float>{0.9f, walk[1], walk[2], 0.9f}));
    EXPECT_EQ(Row("trafficLight.walk.color.green").value, 0.8f) << "without reset the row keeps its edit";
}

TEST_F(ColourVectorsTest, TheGameValuesShowEveryEditedComponentAtItsDefault) {
    // Two edited channels of one colour and two components of the volume
    // colour: after the switch to the game's values, all of them stand at
    // their defaults, whatever the order of the component writes.
    const std::vector<float> amber = Vector(trafficBlock + 0x70);
    const std::vector<float> volume = Vector(volumeBlock + 0x50);
    Edit("trafficLight.amber.color.red", 0.9f);
    Edit("trafficLight.amber.color.blue", 0.7f);
    Edit("dark.volumeColor.x", 5.0f);
    Edit("dark.volumeColor.w", 6.0f);
    WriteTrafficLightColorGroup("trafficLight.amber.color");
    SyncVolumeColor();
    EXPECT_EQ(Vector(trafficBlock + 0x70), (std::vector<float>{0.9f, amber[1], 0.7f, 0.9f}));
    core::Editor.VisualSettingsAfterShown.Set(0);
    ApplyAllVisualSettingsLive(false, false);
    EXPECT_EQ(Vector(trafficBlock + 0x70), amber);
    EXPECT_EQ(Vector(volumeBlock + 0x50), volume);
    EXPECT_EQ(Row("dark.volumeColor.x").value, 5.0f) << "the edits stay in the rows";
}

TEST_F(ColourVectorsTest, VolumeColourComponentsAndReset) {
    const std::vector<float> volume = Vector(volumeBlock + 0x50);
    Edit("dark.volumeColor.x", 1.0f);
    Edit("dark.volumeColor.y", 2.0f);
    Edit("dark.volumeColor.w", 4.0f);
    EXPECT_TRUE(WriteVolumeColorComponent("dark.volumeColor.z", false));
    EXPECT_EQ(Vector(volumeBlock + 0x50), (std::vector<float>{1.0f, 2.0f, volume[2], 4.0f}));
    EXPECT_EQ(Row("dark.volumeColor.z").appliedValue, volume[2]);
    EXPECT_TRUE(WriteVolumeColorComponent("dark.volumeColor.y", true));
    EXPECT_EQ(Vector(volumeBlock + 0x50), (std::vector<float>{1.0f, volume[1], volume[2], 4.0f}));
    EXPECT_EQ(Row("dark.volumeColor.y").value, volume[1]);
    EXPECT_FALSE(Row("dark.volumeColor.y").overridden);
    EXPECT_FALSE(WriteVolumeColorComponent("dark.volumeColor.v", false));
}

TEST_F(ColourVectorsTest, AComponentImportedBeforeTheGamesValueWasReadResetsToTheImportedValue) {
    // Imported without live writes while the rows' game values were not
    // read yet: the file's values are their references; the game's are read
    // at the next binding.
    ResetParamTableForTesting();
    const struct {
        const char* key;
        uint64_t field;  // its float in the vector
    } rows[] = {{"trafficLight.walk.color.green", trafficBlock + 0x84}, {"dark.volumeColor.z", volumeBlock + 0x58}};
    for (const auto& r : rows) WriteLiveVisualSetting(Row(r.key), image_->base(), 0.625f, false);
    BindVisualSettingsParams();
    for (const auto& r : rows) {
        SCOPED_TRACE(r.key);
        VisualSettingsParam& row = Row(r.key);
        ASSERT_NE(row.defaultValue, 0.625f) << "the game's own value differs";
        row.value = 0.875f;
        ApplyVisualSettingRow(row);
        EXPECT_EQ(ReadF(r.field), 0.875f);
        WriteVisualSettingRow(row);
        EXPECT_EQ(row.value, 0.625f);
        EXPECT_EQ(row.appliedValue, 0.625f);
        EXPECT_EQ(ReadF(r.field), 0.625f) << "the reference in the vector too";
    }
}

TEST_F(ColourVectorsTest, BlackoutHoldsEveryTrafficLightRowAtZeroAndPutsThemBackOnce) {
    Edit("trafficLight.green.color.green", 0.6f);
    core::GameControlFlags.BlackoutMode = true;
    ApplyBlackoutToTrafficLights();
    EXPECT_EQ(TrafficLights.blackoutApplied.Get(), 1);
    for (uint64_t vector : {0x30, 0x50, 0x60, 0x70, 0x80, 0x90}) {
        EXPECT_EQ(Vector(trafficBlock + vector), std::vector<float>(4, 0.0f))
            << "every colour vector, its fourth float included: +0x" << std::hex << vector;
    }
    EXPECT_NE(ReadF(trafficBlock + 0x40), 0.0f) << "nothing between the vectors";
    EXPECT_TRUE(ContainsTrafficLight(Row("trafficlight.near.falloffExp"))) << "the search ignores case";
    core::GameControlFlags.BlackoutMode = false;
    ApplyBlackoutToTrafficLights();
    EXPECT_EQ(TrafficLights.blackoutApplied.Get(), 0);
    EXPECT_EQ(ReadF(trafficBlock + 0x64), 0.6f) << "an overridden row gets its edit";
    EXPECT_EQ(ReadF(trafficBlock + 0x60), Row("trafficLight.green.color.red").defaultValue);
    EXPECT_EQ(ReadF(trafficBlock + 0x5C), ReadF(trafficBlock + 0x50)) << "red twice again";
    image_->WriteFloat(trafficBlock + 0x60, 3.0f);
    ApplyBlackoutToTrafficLights();
    EXPECT_EQ(ReadF(trafficBlock + 0x60), 3.0f) << "the restore runs once";
}

}  // namespace
}  // namespace vstest
