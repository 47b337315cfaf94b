// The weather documents as the plug-in reaches them: the all-live
// before/after hotkey, polled by the tick, flips every document written to
// the game; the unload releases the documents and leaves their edits in the
// game.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/editor_state.h"
#include "core/settings.h"
#include "game/before_after.h"
#include "host/shutdown.h"
#include "host/tick.h"
#include "platform/simulated.h"
#include "support/memory_peek.h"
#include "support/sim_world_fixture.h"
#include "support/synthetic_image.h"
#include "support/thread_waits.h"
#include "support/weather_docs.h"
#include "support/weather_game.h"
#include "weather/document_io.h"
#include "weather/document_live.h"
#include "weather/live_state.h"

namespace {

using namespace weather;
using testsupport::MemoryBytes;

class WeatherWiringTest : public testsupport::SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        ResetWeatherLiveState();
        ReleaseWeatherDocuments();
        UseF4ForAllLiveBeforeAfter();
        water = image.PlantWatertuneBlock();
        const std::string render = testsupport::GenerateRenderDocument(9);
        std::vector<XmlValueRecord> records;
        uint64_t warnings = 0;
        ScanXmlValues(render, records, warnings);
        block = testsupport::PlantRenderBlock(image, testsupport::RenderBlockBytes(records)).block;
        game = {MemoryBytes(water, 80), MemoryBytes(block, 188)};
        std::string status;
        ASSERT_TRUE(LoadWeatherDocumentText(0, testsupport::kWatertuneXml, "watertune.xml", status));
        ASSERT_TRUE(LoadWeatherDocumentText(kRender, render, "render.xml", status));
        for (size_t row : {size_t{0}, kRender}) {
            WeatherDocument& d = WeatherDocuments.WeatherDocumentRegistry[row];
            ASSERT_TRUE(SetWeatherValueText(d, 3, "0.625", status)) << status;
            ASSERT_TRUE(ApplyValueLive(d, d.values[3], status)) << status;
        }
        edited = {MemoryBytes(water, 80), MemoryBytes(block, 188)};
        ASSERT_NE(edited, game);
    }
    void TearDown() override {
        ResetWeatherLiveState();
        ReleaseWeatherDocuments();
        SimWorldTest::TearDown();
    }
    std::vector<std::vector<uint8_t>> Now() const { return {MemoryBytes(water, 80), MemoryBytes(block, 188)}; }

    static constexpr size_t kRender = 22;  // weather\thunder_render_ground.xml
    testsupport::SyntheticImage image;
    uint64_t water = 0, block = 0;
    std::vector<std::vector<uint8_t>> game, edited;
};

TEST_F(WeatherWiringTest, TheAllLiveHotkeyFlipsTheWeatherDocuments) {
    PressF4();
    EXPECT_EQ(game::BeforeAfter.AllBeforeShown.Get(), 1);
    EXPECT_EQ(Now(), game);
    PressF4();
    EXPECT_EQ(game::BeforeAfter.AllBeforeShown.Get(), 0);
    EXPECT_EQ(Now(), edited);
}

TEST_F(WeatherWiringTest, TheUnloadLeavesTheEditsInTheGameAndReleasesTheDocuments) {
    testsupport::Bounded("ShutdownEditor", host::ShutdownEditor);
    EXPECT_EQ(Now(), edited);
    for (const WeatherDocument& d : WeatherDocuments.WeatherDocumentRegistry) EXPECT_EQ(d.loaded, 0) << d.fileName;
    EXPECT_EQ(WeatherLive.WatertuneSaved, 0);
    EXPECT_TRUE(WeatherLive.RenderLiveStates.empty());
}

}  // namespace
