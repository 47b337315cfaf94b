// weather.xml live: the WeatherTypes values go into the game's WeatherTypes
// table (17 records of 196 bytes, found by a value signature over the
// game's image), the WeatherGpuFx values (windInfluence, gravity) into the
// particle-effect data 152 bytes before each render block of the effect's
// render document. Every write is read back; the game's bytes are saved
// before the first write and WeatherLiveRestore writes them back. Callers
// hold WeatherLive.lock; status is the caller's line, every message
// replaces it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "weather/weather_documents.h"
#include "weather/weather_xml_model.h"

namespace weather {

// The game's WeatherTypes table: the kept address while its 3,332 bytes stay
// readable, else one scan of the game image for the head of EXTRASUNNY
// (1.0, 0.0, 0.25, 1.0) whose hits must hold at least 12 plausible records;
// exactly one distinct such table, else 0. A failed search is repeated at
// most once per kSearchRetryIntervalMs.
uint64_t FindWeatherTypesTable(uint64_t& bytesScanned, uint64_t& hitCount);

bool ApplyWeatherXmlLive(const WeatherDocument& document, std::string& status);
// Every edited, live-supported value, one by one; the whole document when
// it was applied whole since the last restore.
bool ReapplyWeatherXmlEdits(const WeatherDocument& document, std::string& status);
// One value, after a row edit.
bool ApplyWeatherValueLive(const WeatherDocument& document, const XmlValueRecord& value, std::string& status);
// One WeatherTypes field at its game address (no message on success).
bool ApplyWeatherSettingLive(uint64_t address, const XmlValueRecord& value, int32_t fieldRow, std::string& status);
// The WeatherGpuFx values of the document; no message of its own on success.
bool ApplyWeatherEffectLive(const WeatherDocument& document, std::string& status);
bool ApplyWeatherEffectValueLive(const XmlValueRecord& value, std::string& status);

// The render blocks of the effect's render document (registry row), by
// way of the cache; the current render context is left as it was.
bool ResolveWeatherEffectTargets(size_t renderDocument, uint32_t fieldOffset, std::vector<uint64_t>& blocks,
                                 std::string& status);
bool ValidateEffectAddresses(std::span<const uint64_t> blocks, uint32_t fieldOffset);
// Remembers the address with its current value the first time it is written.
bool AddWeatherWriteTarget(uint64_t address, std::string& status);

// Writes every saved byte back and forgets the saved state (the table's
// address and the effect cache are kept).
bool WeatherLiveRestore(std::string& status);

}  // namespace weather
