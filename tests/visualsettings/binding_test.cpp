// Binding the parameters on a synthetic game image that carries the coronas
// and filmic stores, their blocks and the traffic-light and volume-colour
// data blocks; reading values back; the searches made once per run.
#include "visualsettings_fixture.h"

#include <cmath>

#include "runtime/guarded_memory.h"
#include "runtime/locator_state.h"
#include "runtime/scans.h"
#include "visualsettings/live_write.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/pointer_map.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/traffic_lights.h"
#include "platform/memory.h"

namespace vstest {
namespace {

using BindingTest = VisualSettingsTest;

TEST_F(BindingTest, RowsWithGameLocationsBindAndTakeTheGameValuesAsDefaults) {
    BindVisualSettingsParams();
    EXPECT_EQ(Binding.coronasBase.Get(), coronasBlock);
    EXPECT_EQ(Binding.filmicDarkBase.Get(), filmicBlocks);
    EXPECT_EQ(Binding.filmicBrightBase.Get(), filmicBlocks + 32);
    EXPECT_EQ(Binding.filmicBlockFound.Get(), 1);
    EXPECT_EQ(Row("misc.coronas.sizeScaleGlobal").liveAddress, coronasBlock + 0xCC18);
    EXPECT_EQ(Row("misc.coronas.m_rotationSpeed").liveAddress, coronasBlock + 0xCC68);
    EXPECT_EQ(Row("Tonemapping.bright.filmic.exposure").liveAddress, filmicBlocks + 32 + 28);
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) EXPECT_EQ(DarkFilmicSlot(i).address, filmicBlocks + 4 * i);
    EXPECT_EQ(Row("trafficLight.red.color.green").liveAddress, trafficBlock + 0x54);
    EXPECT_EQ(Row("dark.volumeColor.z").liveAddress, volumeBlock + 0x58);

    // The game's values became the defaults of rows whose defaults the game build decides.
    VisualSettingsParam& coronas = Row("misc.coronas.zBias.fromFinalSizeMultiplier");
    EXPECT_TRUE(coronas.defaultKnown);
    EXPECT_EQ(coronas.defaultValue, ReadF(coronasBlock + 0xCCB8));
    EXPECT_EQ(Row("Tonemapping.bright.filmic.B").defaultValue, 10.0f + 8 + 1);
    EXPECT_EQ(Row("trafficLight.walk.color.blue").defaultValue, ReadF(trafficBlock + 0x88));

    // Rows without a location the data gives stay unbound and unknown.
    for (const char* key : {"sky.sunAxiasY", "sky.GameCloudSpeed", "lensflare.show.length", "puddles.scale"}) {
        EXPECT_EQ(Row(key).liveAddress, 0u) << key;
    }
    EXPECT_FALSE(Row("puddles.scale").defaultKnown);
    size_t live = 0;
    for (const VisualSettingsParam& row : AllParams()) live += row.liveAddress != 0;
    EXPECT_EQ(live, 39u + 8 + 18 + 4) << "coronas, bright filmic, traffic-light and volume-colour rows";
}

TEST_F(BindingTest, SearchesThatFailAreRememberedForTheRun) {
    const struct {
        bool coronasTwice;  // else the filmic stores twice
    } rows[] = {{true}, {false}};
    for (const auto& r : rows) {
        Build(Options{});
        if (r.coronasTwice) image_->PlantCoronasStore(coronasBlock + kCoronasFirstField);
        else image_->PlantFilmicStores(filmicBlocks + 32 + 28);
        BindVisualSettingsParams();
        if (r.coronasTwice) {
            EXPECT_EQ(Binding.coronasBase.Get(), 0u);
            EXPECT_EQ(Row("misc.coronas.sizeScaleGlobal").liveAddress, 0u);
            EXPECT_NE(Binding.filmicBrightBase.Get(), 0u);
        } else {
            EXPECT_EQ(Binding.filmicAnchor.Get(), 0u) << "two filmic matches: none";
            EXPECT_EQ(Binding.filmicBlockFound.Get(), 0);
            EXPECT_EQ(DarkFilmicSlot(0).address, 0u);
        }
        // Every later binding, walker and pass re-binds at most once per
        // interval and never searches the image again.
        const uint64_t queries = runtime::GuardedMemory.RegionQueries.Get();
        const uint64_t bindings = Binding.bindings.Get();
        for (int frame = 0; frame < 120; ++frame) {  // two seconds of frames
            VisualSettingsBeforeAfter();
            bool found = false;
            ApplyVisualSettingByKey("misc.coronas.sizeScaleGlobal", 1.0f, true, found);
            platform::sim::AdvanceClock(16);
        }
        EXPECT_LE(Binding.bindings.Get() - bindings, 2u);
        EXPECT_EQ(runtime::StateOf(r.coronasTwice ? Binding.coronasSearch.result : Binding.filmicSearch.result),
                  runtime::SearchState::FailedUntilChange);
        EXPECT_LT(runtime::GuardedMemory.RegionQueries.Get() - queries, 20000u);
    }
}

TEST_F(BindingTest, AnUnreadableDarkBlockLeavesTheBrightBlockBound) {
    Build(Options{true, false, false, false});
    // Two pages of .data: the first made inaccessible, the anchor 40 bytes
    // into the second, so the bright block (anchor - 28) is readable and
    // the dark block (anchor - 60) is not.
    const uint64_t pages = image_->Reserve(ImageSection::Data, 2 * 4096, 4096);
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(pages, 4096, platform::kPageNoAccess, &old));
    image_->PlantFilmicStores(pages + 4096 + 40);
    BindVisualSettingsParams();
    EXPECT_EQ(Binding.filmicBrightBase.Get(), pages + 4096 + 12);
    EXPECT_EQ(Binding.filmicDarkBase.Get(), 0u);
    EXPECT_EQ(DarkFilmicSlot(3).address, 0u);
    EXPECT_EQ(Binding.filmicBlockFound.Get(), 1);
    EXPECT_EQ(Row("Tonemapping.bright.filmic.A").liveAddress, pages + 4096 + 12);
    platform::ChangeProtection(pages, 4096, platform::kPageReadWrite, &old);
}

TEST_F(BindingTest, RuntimeTableRowsBindThroughTheTableNeverTheModule) {
    testsupport::SyntheticHeap heap(64 << 10);
    ASSERT_TRUE(heap.ok());
    BindVisualSettingsParams();
    VisualSettingsParam& row = Row("bokeh.globalAlpha");  // offset 0x2F0 in the table
    EXPECT_EQ(row.liveAddress, 0u) << "no table yet: unbound, not module + 0x2F0";
    const uint64_t table = heap.PlantVisualSettingsTable(0x1000, 0);
    RuntimeTable.base.Set(table);  // as the locator publishes it
    RuntimeTable.ready.Exchange(1);
    BindVisualSettingsParams();
    EXPECT_EQ(row.liveAddress, table + 0x2F0);
    EXPECT_EQ(Row("sky.cloudWarp").liveAddress, table + 0x658) << "a tagged runtime key too";
}

TEST_F(BindingTest, ReadingByKindAndByKeyClass) {
    BindVisualSettingsParams();
    float v = 7.0f;
    VisualSettingsParam& red = Row("trafficLight.dontwalk.color.red");
    EXPECT_TRUE(ReadLiveVisualSetting(red, v));
    EXPECT_EQ(v, ReadF(trafficBlock + 0x90));
    // A component of a colour group that ends in no channel name.
    VisualSettingsParam& odd = Row("trafficLight.near.intensity");
    EXPECT_FALSE(TrafficLightGroupKey(odd.key));
    VisualSettingsParam& z = Row("dark.volumeColor.z");
    EXPECT_TRUE(ReadLiveVisualSetting(z, v));
    EXPECT_EQ(v, ReadF(volumeBlock + 0x58));

    // By kind at a live address (the test gives a row one).
    const uint64_t cell = image_->Reserve(ImageSection::Data, 16, 16);
    const struct {
        const char* key;
        uint32_t word;
        float expect;
    } kinds[] = {
        {"seeThrough.ColorNear.green", 0x12346678u, 102.0f / 255.0f},  // green channel 0x66
        {"lensflare.show.length", 264u, 264.0f},
        {"weather.CycleDuration", 120000u, 120.0f},
        {"hdr.game.cc.enabled", 5u, 1.0f},
        {"defaultmotionblur.enabled", 0x100u, 0.0f},  // a byte: only the low one counts
    };
    for (const auto& k : kinds) {
        VisualSettingsParam& row = Row(k.key);
        image_->WriteU32(cell, k.word);
        row.liveAddress = cell;
        EXPECT_TRUE(ReadLiveVisualSetting(row, v)) << k.key;
        EXPECT_FLOAT_EQ(v, k.expect) << k.key;
    }
    VisualSettingsParam& degrees = Row("plane.emergency.right.light.rotation");
    image_->WriteFloat(cell, 4.712389f);
    degrees.liveAddress = cell;
    EXPECT_TRUE(ReadLiveVisualSetting(degrees, v));
    EXPECT_NEAR(v, 270.0f, 1e-3);
    VisualSettingsParam& none = Row("sky.sunAxiasY");
    EXPECT_FALSE(ReadLiveVisualSetting(none, v)) << "no location";
}

TEST_F(BindingTest, TheBaseOfASingleRow) {
    BindVisualSettingsParams();
    EXPECT_EQ(ParamBaseForKey(Row("misc.coronas.occlusionSizeMax")), coronasBlock);
    EXPECT_EQ(ParamBaseForKey(Row("car.neon.intensity")), image_->base());
    Build(Options{false, true, true, true});
    EXPECT_EQ(ParamBaseForKey(Row("misc.coronas.occlusionSizeMax")), 0u) << "coronas block not found";
}

}  // namespace
}  // namespace vstest
