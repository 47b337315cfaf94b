// The rows of the weather documents' value tables (label, a typed editor of
// the value's text, a reset button), the combos of the weather.xml setting
// names and the filter row above a document's values. An edit changes the
// value's text through document_io and is then written live
// (weather::ApplyValueLive); its outcome goes to the weather status line.
// Render thread, inside DrawWeatherMiscEditor (weather::WeatherLive.lock held).
#pragma once
#include <cstddef>
#include <cstdint>

#include "weather/value_filters.h"
#include "weather/weather_documents.h"

namespace ui {

// What the rows keep between frames: the float being dragged, unrounded,
// so that a slow drag of a value written with few decimals moves it
// instead of being rounded back to its text on every frame.
struct WeatherRowState {
    uint32_t dragId = 0;  // the drag's item id, 0 when none
    float dragValue = 0.0f;
};

// One row of the focused panel (watertune.xml, vfxlightningsettings.xml)
// and of the render-file detail; a table row of three columns.
void DrawWeatherValueRow(size_t documentRow, size_t valueIndex);
void DrawWeatherValueRowWide(size_t documentRow, size_t valueIndex);
// One row of the structured weather.xml tables, labelled with its field
// name; true when the value changed.
bool EditXmlValue(weather::WeatherDocument& document, size_t valueIndex, const char* fieldName);

// Combos over the cloud settings names and over the drop, mist or ground
// setting names (by the field); true when a name was chosen.
bool CloudSettingsNameCombo(weather::WeatherDocument& document, size_t valueIndex);
bool WeatherSettingNameCombo(weather::WeatherDocument& document, size_t valueIndex, const char* fieldName);

// The section, entry and field-group combos of weather.xml's filter.
void WeatherScopeCombos(weather::MiscXmlFilterState& filter, const char* sectionId, const char* entryId,
                        const char* groupId);
// Search, "Edited only", (weather.xml) the scope combos, "Clear filters".
void DrawValueFilterRow(const weather::WeatherDocument& document, weather::MiscXmlFilterState& filter);
// Whether the value is in a panel's table under the filter.
bool ValuePassesFilter(const weather::WeatherDocument& document, const weather::XmlValueRecord& value,
                       const weather::MiscXmlFilterState& filter);
void ClearFilter(weather::MiscXmlFilterState& filter);

// The RGBA of a colour text (AARRGGBB as an unsigned number in any C base),
// opaque black when the text is no number.
void ColorOfText(const char* text, float rgba[4]);

}  // namespace ui
