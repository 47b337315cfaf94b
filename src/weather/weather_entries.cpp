#include "weather/weather_entries.h"

#include "weather/document_live.h"

namespace weather {

void FillWeatherEntries(runtime::EditorEntries& entries) {
    entries.beforeAfter.showWeatherDocsBeforeAfter = &ShowWeatherDocsBeforeAfter;
}

}  // namespace weather
