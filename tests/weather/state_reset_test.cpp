// Each module of the weather editor keeps its mutable state in one
// structure, and its reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "weather/value_filters.h"
#include "weather/weather_documents.h"

namespace {

using namespace weather;

TEST(WeatherStateReset, WeatherDocuments) {
    for (WeatherDocument& d : WeatherDocuments.WeatherDocumentRegistry) {
        d.sourceText = "<x>1</x>";
        d.sourcePath = "C:\\\\x.xml";
        d.values.resize(2);
        d.loaded = 1;
        d.warningCount = 3;
        d.editGeneration = 4;
        d.loadSerial = 5;
    }
    WeatherDocuments.DocumentEditGeneration = 9;
    WeatherDocuments.MiscEditorStatus = "Loaded watertune.xml.";
    ResetWeatherDocumentsState();
    for (const WeatherDocument& d : WeatherDocuments.WeatherDocumentRegistry) {
        EXPECT_TRUE(d.sourceText.empty() && d.sourcePath.empty() && d.values.empty()) << d.fileName;
        EXPECT_TRUE(d.loaded == 0 && d.warningCount == 0 && d.editGeneration == 0 && d.loadSerial == 0) << d.fileName;
    }
    EXPECT_STREQ(WeatherDocuments.WeatherDocumentRegistry[0].fileName, "watertune.xml") << "the names stay";
    EXPECT_EQ(WeatherDocuments.DocumentEditGeneration, 0u);
    EXPECT_EQ(WeatherDocuments.MiscEditorStatus, "Misc Editor idle.");
}

TEST(WeatherStateReset, ValueFilters) {
    for (MiscXmlFilterState* f : {&ValueFilters.WatertuneFilterState, &ValueFilters.VfxLightningFilterState,
                                  &ValueFilters.WeatherXmlFilterState, &ValueFilters.WeatherRenderFilterState}) {
        f->searchText[0] = 'a';
        f->editedOnly = 1;
        f->scope = f->weather = f->effect = f->group = 2;
    }
    ResetValueFiltersState();
    for (const MiscXmlFilterState* f : {&ValueFilters.WatertuneFilterState, &ValueFilters.VfxLightningFilterState,
                                        &ValueFilters.WeatherXmlFilterState, &ValueFilters.WeatherRenderFilterState}) {
        EXPECT_EQ(f->searchText[0], '\0');
        EXPECT_EQ(f->editedOnly, 0);
        EXPECT_TRUE(f->scope == 0 && f->weather == 0 && f->effect == 0 && f->group == 0);
    }
}

}  // namespace
