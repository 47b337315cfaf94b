// Which values count as edited, can be applied live and pass a panel's filters.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "weather/value_filters.h"

namespace {

using namespace weather;

XmlValueRecord Value(const std::string& path, const std::string& text = "1.0") {
    XmlValueRecord r;
    r.path = path;
    r.originalText = r.currentText = text;
    return r;
}

WeatherDocument& Named(const char* fileName) {
    return WeatherDocumentRegistry[static_cast<size_t>(FindWeatherDocumentIndex(fileName))];
}

TEST(ValueFilters, LiveSupportByDocumentAndPath) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"watertune.xml", "Anything/At.all", true},
        {"vfxlightningsettings.xml", "VfxLightningSettings/lightningOccurranceChance", true},
        {"vfxlightningsettings.xml", "VfxLightningSettings/StrikeSettings/FogColor", true},
        {"vfxlightningsettings.xml", "VfxLightningSettings/strikeSettings/FogColor", false},
        {"vfxlightningsettings.xml", "VfxLightningSettings/lightningTimeCycleMods", false},
        {"weather\\thunder_render_drop.xml", "rage__ptxgpuDropRenderSettings/colour.w", true},
        {"weather\\fly_render_drop.xml", "rage__ptxgpuDropRenderSettings/fadeZ", true},
        {"weather\\fly_render_drop.xml", "rage__ptxgpuDropRenderSettings/fadeZ.x", false},
        {"weather\\fly_render_drop.xml", "rage__ptxgpuDropRenderSettings/Colour.x", false},
        {"weather.xml", "WeatherTypes/RAIN/Fog", true},
        {"weather.xml", "WeatherGpuFx/THUNDER_DROP/gravity", true},
        {"weather.xml", "WeatherGpuFx/THUNDER_DROP/diffuseName", false},
        {"weather.xml", "CContentsOfWeatherXmlFile/WeatherTypes/Item[1]/Fog", false},
    };
    for (const auto& [document, path, live] : cases) {
        SCOPED_TRACE(std::string(document) + " " + path);
        EXPECT_EQ(IsLiveSupportedValue(Named(document), Value(path)), live);
        EXPECT_EQ(IsValueLiveEditable(Named(document), Value(path)), live);
        EXPECT_EQ(IsValueShown(Named(document), Value(path)), live);
    }
    // Other documents show everything and apply nothing.
    const WeatherDocument other{"carcols.xml", "Other", "Misc"};
    EXPECT_FALSE(IsLiveSupportedValue(other, Value("A")) || IsValueLiveEditable(other, Value("A")));
    EXPECT_TRUE(IsValueShown(other, Value("A")));
}

TEST(ValueFilters, Search) {
    MiscXmlFilterState f;
    for (const auto& [search, match] : {std::pair{"", true}, std::pair{"ripple", true}, std::pair{"RIPPLESCALE", true},
                                        std::pair{"fog", false}}) {
        std::strcpy(f.searchText, search);
        EXPECT_EQ(ValueMatchesSearch(Value("MainWaterTune/RippleScale"), f), match) << search;
    }
    std::memset(f.searchText, 'a', sizeof f.searchText);  // no terminating zero: bounded anyway
    EXPECT_FALSE(ValueMatchesSearch(Value("aaaa"), f));
}

TEST(ValueFilters, WeatherScope) {
    struct Case {
        int32_t scope, weather, effect, group;
        const char* path;
        bool passes;
    };
    for (const Case& c : {
             Case{0, 5, 5, 5, "Anything", true},
             Case{7, 0, 0, 0, "Anything", true},
             Case{1, 0, 0, 3, "WeatherTypes/RAIN/Fog", true},
             Case{1, 0, 0, 3, "WeatherTypes/RAIN", false},
             Case{1, 0, 0, 3, "WeatherGpuFx/THUNDER_DROP/gravity", false},
             Case{1, 0, 0, 1, "WeatherTypes/RAIN/Fog", false},
             Case{1, 7, 0, 0, "WeatherTypes/RAIN/Fog", true},
             Case{1, 7, 0, 0, "WeatherTypes/RAIN_HALLOWEEN/Fog", false},
             Case{1, 40, 0, 0, "WeatherTypes/SNOW_HALLOWEEN/Fog", true},  // clamped to 17
             Case{1, -3, 0, 0, "WeatherTypes/CLEAR/Fog", true},           // clamped to 0
             Case{1, 0, 0, 99, "WeatherTypes/CLEAR/CloudSettingsName", true},
             Case{2, 0, 0, 0, "WeatherTypes/RAIN/Fog", false},
             Case{2, 0, 4, 0, "WeatherGpuFx/THUNDER_DROP/gravity", true},
             Case{2, 0, 4, 0, "WeatherGpuFx/THUNDER_DROPS/gravity", false},
             Case{2, 0, 99, 0, "WeatherGpuFx/WETLAND_FLIES_DROP/gravity", true},
         }) {
        MiscXmlFilterState f;
        std::tie(f.scope, f.weather, f.effect, f.group) = std::tie(c.scope, c.weather, c.effect, c.group);
        EXPECT_EQ(ValuePassesWeatherScope(Named("weather.xml"), Value(c.path), f), c.passes) << c.scope << " " << c.path;
        EXPECT_TRUE(ValuePassesWeatherScope(Named("watertune.xml"), Value(c.path), f));
    }
}

TEST(ValueFilters, EditedAndShownCounts) {
    WeatherDocument d{"weather.xml", "Weather Settings", "Weather Settings"};
    d.values = {Value("WeatherTypes/RAIN/Fog"), Value("WeatherTypes/RAIN/Sun"), Value("WeatherGpuFx/THUNDER_DROP/gravity"),
                Value("Generic/Path")};
    d.loaded = 1;
    d.values[3].currentText = std::string("1.0\0", 4);  // the length counts
    EXPECT_EQ(CountChangedValues(d), 1u);
    EXPECT_FALSE(WeatherDocumentHasLiveEdits(d));  // that value is never applied
    d.values[1].currentText = "0.5";
    EXPECT_TRUE(WeatherDocumentHasLiveEdits(d));
    d.loaded = 0;
    EXPECT_FALSE(WeatherDocumentHasLiveEdits(d));
    MiscXmlFilterState f;
    EXPECT_EQ(CountShownValues(d, f), 3u);  // the generic path is not shown
    f.editedOnly = 1;
    EXPECT_EQ(CountShownValues(d, f), 1u);
    f.editedOnly = 0;
    f.scope = 1;
    f.group = 3;
    EXPECT_EQ(CountShownValues(d, f), 1u);
    std::strcpy(f.searchText, "sun");
    EXPECT_EQ(CountShownValues(d, f), 0u);
}

}  // namespace
