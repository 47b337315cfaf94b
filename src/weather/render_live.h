// The 24 weather render documents live: each is one or more 188-byte render
// settings blocks in the game (47 slots), found by value signatures made of
// the document's own values (the values the game loaded), saved once,
// written with the edits and read back. One RenderLiveState per document
// and the current render context (WeatherLive). Callers hold
// WeatherLive.lock.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "weather/live_state.h"
#include "weather/render_fields.h"
#include "weather/weather_documents.h"

namespace weather {

// The values of a render document the way its signatures read them: the
// loaded values, else the values of the file the document would load
// (import copy, workspace copy, then the file name in the current folder).
// False when there is no text or it holds no value.
bool RenderDocumentValues(const WeatherDocument& document, std::vector<XmlValueRecord>& values);

// The signature of mode 0: count values from number first, in document
// order, as 32-bit floats of their original texts. Their slots must follow
// one another (firstSlot, firstSlot + 1, ...), so that the run lies in the
// block as it lies in the signature; firstSlot is where the block's run
// starts. False when the values are too few, a text is not finite, or the
// slots are not consecutive.
bool BuildRenderSignature(const std::vector<XmlValueRecord>& values, int32_t first, int32_t count,
                          std::vector<uint8_t>& bytes, int32_t& firstSlot);

// The document's first block, 0 when not found; on success the current
// render context holds its blocks. A failed search of a document is
// repeated at most once per kSearchRetryIntervalMs (at once for a new load).
uint64_t ResolveWeatherRenderBlocks(const WeatherDocument& document, uint64_t* bytesScanned = nullptr,
                                    uint64_t* hitCount = nullptr);

// The document's values into the 47 slots of image (slots no value names
// keep what the caller put there): a value whose original text is an
// integer as a 32-bit integer (its text must be wholly a decimal number),
// every other value as a 32-bit float. The searches still read every text
// as a float.
bool ConvertDropRenderValue(const WeatherDocument& document, uint32_t (&image)[47], std::string& status);

bool ApplyWeatherRenderLive(const WeatherDocument& document, std::string& status);

RenderLiveState& GetOrAddRenderLiveState(const WeatherDocument& document);
RenderLiveState* FindRenderLiveState(const WeatherDocument& document);
// The state's saved blocks are whole and readable (ValidateWeatherRecordList).
bool RenderStateValid(const RenderLiveState& state);
// Makes the state the current render context.
void PublishWeatherDocState(const WeatherDocument& document, const RenderLiveState& state);

}  // namespace weather
