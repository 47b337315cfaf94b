// Tests and counters over a weather document's values (edited, applicable
// live, shown by a panel) and the filter settings of the documents' panels.
#pragma once
#include <cstdint>

#include "weather/weather_documents.h"

namespace weather {

struct MiscXmlFilterState {
    char searchText[128] = {};  // zero-terminated; empty shows all
    uint8_t editedOnly = 0;
    int32_t scope = 0;   // 0 all, 1 WeatherTypes, 2 WeatherGpuFx
    int32_t weather = 0; // 0 all, 1..17
    int32_t effect = 0;  // 0 all, 1..24
    int32_t group = 0;   // 0 all, 1..9
};

// The panels' filters: one record each for watertune.xml,
// vfxlightningsettings.xml and weather.xml, and one shared by the 24 render
// documents. Render thread, under WeatherLive.lock (live_state.h).
struct ValueFiltersState {
    MiscXmlFilterState WatertuneFilterState;
    MiscXmlFilterState VfxLightningFilterState;
    MiscXmlFilterState WeatherXmlFilterState;
    MiscXmlFilterState WeatherRenderFilterState;
};
extern ValueFiltersState ValueFilters;
// Every filter cleared, as at process start (tests).
void ResetValueFiltersState();
MiscXmlFilterState& MiscXmlFilterStateOf(const WeatherDocument& document);

bool IsValueEdited(const XmlValueRecord& value);
uint64_t CountChangedValues(const WeatherDocument& document);
// By the document: watertune.xml every value; vfxlightningsettings.xml the
// lightning block's fields; a render document the render block's slots;
// weather.xml the model's paths; any other document none.
bool IsLiveSupportedValue(const WeatherDocument& document, const XmlValueRecord& value);
bool IsValueShown(const WeatherDocument& document, const XmlValueRecord& value);
bool IsValueLiveEditable(const WeatherDocument& document, const XmlValueRecord& value);
bool WeatherDocumentHasLiveEdits(const WeatherDocument& document);

bool ValueMatchesSearch(const XmlValueRecord& value, const MiscXmlFilterState& filter);
bool ValuePassesWeatherScope(const WeatherDocument& document, const XmlValueRecord& value,
                             const MiscXmlFilterState& filter);
uint64_t CountShownValues(const WeatherDocument& document, const MiscXmlFilterState& filter);

}  // namespace weather
