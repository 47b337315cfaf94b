// Loading, resetting, editing and writing the weather documents. A document
// is never rebuilt: its values are found in the loaded text, and writing
// copies that text with only the edited value texts replaced.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "weather/weather_documents.h"

namespace weather {

// Fills registry row index from the workspace and reports in status. A failed
// load leaves the row exactly as it was (text, path, values, edits, loaded).
bool LoadWeatherDocument(size_t index, std::string& status);
// The same for a text already read from path.
bool LoadWeatherDocumentText(size_t index, std::string text, std::string path, std::string& status);

// Every value's current text back to its original; the edit generation moves on.
void ResetWeatherDocument(WeatherDocument& document);

// Sets the current text of one value. Refused (false, status set, nothing
// changed) when the index is out of range or the text holds a quote, "<",
// ">", "&" or a control character other than tab and line ends, which would
// break the document's markup once spliced in; a number of a number array
// takes one finite number and nothing else. On success the typed value is
// re-parsed and the edit generation moves on; the status is left to the
// caller.
bool SetWeatherValueText(WeatherDocument& document, size_t valueIndex, std::string_view text, std::string& status);
// One value back to its original text (re-parsed; the edit generation moves on).
void ResetWeatherValue(WeatherDocument& document, size_t valueIndex);

// The source text with every edited value's current text spliced into its
// recorded range; editCount = edited values (skipped ones included).
void WriteMiscXml(std::string& text, const WeatherDocument& document, uint64_t& editCount);

// Writes the spliced document: saveMode non-zero into its import copy, 0 as
// an export into the Exports folder. A document that is not loaded is
// loaded first.
bool SaveMiscXml(size_t index, uint8_t saveMode, std::string& status);

}  // namespace weather
