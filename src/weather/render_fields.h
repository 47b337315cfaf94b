// The 24 weather render documents and the slots of the game's 188-byte
// render settings block (47 32-bit slots) that their values map onto.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "weather/xml_scanner.h"

namespace weather {

struct WeatherRenderFile {
    const char* fileName;     // registry file name, e.g. "weather\\thunder_render_drop.xml"
    int32_t signatureFirst;   // first value of the signature (mode 0), -1 for mode 1
    int32_t signatureCount;   // values in the signature (mode 0), 0 for mode 1
    uint8_t searchMode;       // 0 one signature of the document's values, 1 full field image
};

inline constexpr uint32_t kRenderSettingsSlots = 47;
extern const std::array<WeatherRenderFile, 24> WeatherRenderFileTable;

// Case-insensitive lookup of a file name; nullptr when it is no render document.
const WeatherRenderFile* FindWeatherRenderFile(std::string_view fileName);

// Slot 0..46 of a render document's value, by its path under
// "rage__ptxgpuDropRenderSettings/" (exact, case-sensitive); -1 otherwise.
int32_t DropRenderFieldIndex(const XmlValueRecord& record);

}  // namespace weather
