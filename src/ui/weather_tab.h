// The "Weather" and "Misc" tabs. The Weather tab holds the weather.xml
// panel (WeatherGpuFx and WeatherTypes trees), the list of the 24 weather
// render files with the chosen file's values, and the panels of
// vfxlightningsettings.xml and watertune.xml: load, export, reset, hold for
// before / after, and value rows that write live. The weather status line
// shows the outcome of the last operation. The Misc tab is the frame of
// the Misc editors: each draws its section with one call from the Misc
// tab's body (DrawMiscTabBody in weather_tab.cpp).
//
// Render thread. Each draw holds weather::WeatherLive.lock, which guards
// the documents, their live state and WeatherTab.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/weather_value_rows.h"
#include "weather/weather_documents.h"

namespace ui {

inline constexpr size_t kRenderGroupCount = 8;

// The tab's own state; render thread, under weather::WeatherLive.lock.
struct WeatherTabState {
    uint8_t WeatherTabOpenRequest = 1;  // the four headers forced open on the next draw
    std::array<uint8_t, kRenderGroupCount> RenderCategoryOpen{1, 1, 1, 1, 1, 1, 1, 1};
    int32_t SelectedRenderFileIndex = 0;
    uint8_t RenderFileSelected = 0;
    int32_t SelectedGpuFxIndex = 0;
    int32_t SelectedWeatherTypeIndex = 0;
    uint8_t GpuFxHeaderOpen = 0;
    uint8_t WeatherTypesHeaderOpen = 0;
    WeatherRowState rows;

    // The weather.xml trees, made again for each load of the document: per
    // effect and per weather the values (index and field name).
    struct TreeEntry {
        size_t value;
        const char* field;
    };
    uint64_t treesLoadSerial = 0;
    std::vector<std::vector<TreeEntry>> gpuFxEntries;    // 24
    std::vector<std::vector<TreeEntry>> weatherEntries;  // 17
};
extern WeatherTabState WeatherTab;
// Back to the state at start (tests).
void ResetWeatherTabState();

// One tab's content: true for "Weather", false for "Misc". Takes the lock.
void DrawWeatherMiscEditor(bool weatherTab);
inline void DrawWeatherTab() { DrawWeatherMiscEditor(true); }
inline void DrawMiscTab() { DrawWeatherMiscEditor(false); }

// The render-file group of a document: "" for no weather-subfolder file,
// else "Rainstorm", "Thunder", "Snow", "Blizzard", "Underwater",
// "Regional", "Woodland" or "Other".
std::string WeatherRenderFileGroup(const weather::WeatherDocument& document);

// The group of a render file's value in its table: its element, with the
// four backgroundDistortion values under one label and an element's
// backgroundDistortion attributes apart from its others.
std::string RenderValueGroupLabel(const std::string& path);

// The panel of vfxlightningsettings.xml and watertune.xml (any registry
// row; with weather.xml it shows the section, entry and group headings).
void DrawFocusedMiscXmlPanel(const char* childId, size_t row);

}  // namespace ui
