// Which values count as edited, can be applied live and pass a panel's filters.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

TEST(ValueFilters, Edited) {
    XmlValueRecord r = Value("A", "1.0");
    EXPECT_FALSE(IsValueEdited(r));
    r.currentText = "1.00";
    EXPECT_TRUE(IsValueEdited(r));
    r.currentText = std::string("1.0\0", 4);
    EXPECT_TRUE(IsValueEdited(r));  // length counts
    WeatherDocument d{"watertune.xml", "Watertune", "Water"};
    d.values = {Value("A"), r, Value("B")};
    EXPECT_EQ(CountChangedValues(d), 1u);
    EXPECT_FALSE(WeatherDocumentHasLiveEdits(d));  // not loaded
    d.loaded = 1;
    EXPECT_TRUE(WeatherDocumentHasLiveEdits(d));
}

struct LiveCase {
    const char* document;
    const char* path;
    bool live;
};

class LiveSupport : public ::testing::TestWithParam<LiveCase> {};

TEST_P(LiveSupport, ByDocumentAndPath) {
    const LiveCase& c = GetParam();
    const WeatherDocument& d = Named(c.document);
    const XmlValueRecord r = Value(c.path);
    EXPECT_EQ(IsLiveSupportedValue(d, r), c.live);
    EXPECT_EQ(IsValueShown(d, r), c.live);
    EXPECT_EQ(IsValueLiveEditable(d, r), c.live);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, LiveSupport,
    ::testing::Values(LiveCase{"watertune.xml", "Anything/At.all", true},
                      LiveCase{"vfxlightningsettings.xml", "VfxLightningSettings/lightningOccurranceChance", true},
                      LiveCase{"vfxlightningsettings.xml", "VfxLightningSettings/StrikeSettings/FogColor", true},
                      LiveCase{"vfxlightningsettings.xml", "VfxLightningSettings/strikeSettings/FogColor", false},
                      LiveCase{"vfxlightningsettings.xml", "VfxLightningSettings/lightningTimeCycleMods", false},
                      LiveCase{"weather\\thunder_render_drop.xml", "rage__ptxgpuDropRenderSettings/colour.w", true},
                      LiveCase{"weather\\fly_render_drop.xml", "rage__ptxgpuDropRenderSettings/fadeZ", true},
                      LiveCase{"weather\\fly_render_drop.xml", "rage__ptxgpuDropRenderSettings/fadeZ.x", false},
                      LiveCase{"weather\\fly_render_drop.xml", "rage__ptxgpuDropRenderSettings/Colour.x", false},
                      LiveCase{"weather.xml", "WeatherTypes/RAIN/Fog", true},
                      LiveCase{"weather.xml", "WeatherGpuFx/THUNDER_DROP/gravity", true},
                      LiveCase{"weather.xml", "WeatherGpuFx/THUNDER_DROP/diffuseName", false},
                      LiveCase{"weather.xml", "CContentsOfWeatherXmlFile/WeatherTypes/Item[1]/Fog", false}));

TEST(ValueFilters, OtherDocumentsShowEverythingAndApplyNothing) {
    const WeatherDocument other{"carcols.xml", "Other", "Misc"};
    EXPECT_FALSE(IsLiveSupportedValue(other, Value("A")));
    EXPECT_TRUE(IsValueShown(other, Value("A")));
    EXPECT_FALSE(IsValueLiveEditable(other, Value("A")));
}

TEST(ValueFilters, Search) {
    MiscXmlFilterState f;
    EXPECT_TRUE(ValueMatchesSearch(Value("MainWaterTune/RippleScale"), f));
    std::strcpy(f.searchText, "ripple");
    EXPECT_TRUE(ValueMatchesSearch(Value("MainWaterTune/RippleScale"), f));
    std::strcpy(f.searchText, "RIPPLESCALE");
    EXPECT_TRUE(ValueMatchesSearch(Value("MainWaterTune/RippleScale"), f));
    std::strcpy(f.searchText, "fog");
    EXPECT_FALSE(ValueMatchesSearch(Value("MainWaterTune/RippleScale"), f));
    std::memset(f.searchText, 'a', sizeof f.searchText);  // no terminating zero: bounded anyway
    EXPECT_FALSE(ValueMatchesSearch(Value("aaaa"), f));
}

struct ScopeCase {
    int32_t scope, weather, effect, group;
    const char* path;
    bool passes;
};

class WeatherScope : public ::testing::TestWithParam<ScopeCase> {};

TEST_P(WeatherScope, Passes) {
    const ScopeCase& c = GetParam();
    MiscXmlFilterState f;
    f.scope = c.scope;
    f.weather = c.weather;
    f.effect = c.effect;
    f.group = c.group;
    EXPECT_EQ(ValuePassesWeatherScope(Named("weather.xml"), Value(c.path), f), c.passes);
    EXPECT_TRUE(ValuePassesWeatherScope(Named("watertune.xml"), Value(c.path), f));
}

INSTANTIATE_TEST_SUITE_P(
    Filters, WeatherScope,
    ::testing::Values(ScopeCase{0, 5, 5, 5, "Anything", true}, ScopeCase{7, 0, 0, 0, "Anything", true},
                      ScopeCase{1, 0, 0, 3, "WeatherTypes/RAIN/Fog", true},
                      ScopeCase{1, 0, 0, 3, "WeatherTypes/RAIN", false},
                      ScopeCase{1, 0, 0, 3, "WeatherGpuFx/THUNDER_DROP/gravity", false},
                      ScopeCase{1, 0, 0, 1, "WeatherTypes/RAIN/Fog", false},
                      ScopeCase{1, 7, 0, 0, "WeatherTypes/RAIN/Fog", true},
                      ScopeCase{1, 7, 0, 0, "WeatherTypes/RAIN_HALLOWEEN/Fog", false},
                      ScopeCase{1, 40, 0, 0, "WeatherTypes/SNOW_HALLOWEEN/Fog", true},  // clamped to 17
                      ScopeCase{1, -3, 0, 0, "WeatherTypes/CLEAR/Fog", true},           // clamped to 0
                      ScopeCase{1, 0, 0, 99, "WeatherTypes/CLEAR/CloudSettingsName", true},
                      ScopeCase{2, 0, 0, 0, "WeatherGpuFx/THUNDER_DROP/gravity", true},
                      ScopeCase{2, 0, 0, 0, "WeatherTypes/RAIN/Fog", false},
                      ScopeCase{2, 0, 4, 0, "WeatherGpuFx/THUNDER_DROP/gravity", true},
                      ScopeCase{2, 0, 4, 0, "WeatherGpuFx/THUNDER_DROPS/gravity", false},
                      ScopeCase{2, 0, 99, 0, "WeatherGpuFx/WETLAND_FLIES_DROP/gravity", true}));

TEST(ValueFilters, CountShown) {
    WeatherDocument d{"weather.xml", "Weather Settings", "Weather Settings"};
    d.values = {Value("WeatherTypes/RAIN/Fog"), Value("WeatherTypes/RAIN/Sun"), Value("WeatherGpuFx/THUNDER_DROP/gravity"),
                Value("Generic/Path")};
    d.values[1].currentText = "0.5";
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
