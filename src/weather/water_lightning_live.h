// watertune.xml and vfxlightningsettings.xml live: each document's values
// go into one block of the running game (the 80-byte water tuning block and
// the 352-byte lightning settings block), by two fixed field tables; the
// game's bytes are saved before the first write and written back for the
// "before" side of before/after. Callers hold WeatherLive.lock.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "weather/lightning_fields.h"
#include "weather/weather_documents.h"

namespace weather {

enum WatertuneFieldKind : uint8_t { kWatertuneFloat = 0, kWatertuneColor = 1 };

struct WatertuneField {
    const char* path;
    uint32_t offset;  // in the 80-byte block; every field is 4 bytes
    WatertuneFieldKind kind;
};
// 20 rows that cover the block without gaps.
extern const std::array<WatertuneField, 20> WatertuneFieldTable;

// The block's 80 bytes as the document's values give them (little-endian
// words). False, with the status naming the value, when a value is missing
// or does not convert.
bool ParseWatertuneImage(const WeatherDocument& document, std::array<uint8_t, 80>& image, std::string& status);
// Writes the whole block and reads it back; the game's bytes are saved
// before the first write. Sets WatertuneLiveApplied on success; the caller
// clears WatertuneBeforeShown.
bool ApplyWatertuneLive(const WeatherDocument& document, std::string& status);
// Writes the saved game bytes back and sets WatertuneBeforeShown.
bool ShowWatertuneBefore(std::string& status);

// The value's current text as the word of the row's kind.
bool ConvertVfxLightningValue(const XmlValueRecord& value, const LightningField& row, uint32_t& word,
                              std::string& status);
// Writes every field of the table that the document holds (in table order),
// each verified by reading it back; a value missing from the document leaves
// the game's. Saves the block before the first write; clears
// VfxLightningBeforeShown on success.
bool ApplyVfxLightningLive(const WeatherDocument& document, std::string& status);
bool ShowVfxLightningBefore(std::string& status);

// The colour fields (colour editor in the value rows): watertune.xml's
// WaterColor and the three colours of vfxlightningsettings.xml, by the
// document's kind (DocumentKindOf). Paths are exact.
bool IsColorField(DocumentKind kind, std::string_view path);

// The first value of the document whose path is exactly path; null when none.
const XmlValueRecord* FindFileParam(const WeatherDocument& document, std::string_view path);

}  // namespace weather
