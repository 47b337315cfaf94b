// The weather documents in the game as a whole: the dispatchers the tabs
// call to apply a document or an edited value, the "before" views that put
// the game's saved bytes back while the edits wait, the one switch of the
// all-live before/after hotkey, and the unload. Callers hold
// WeatherLive.lock, except for the two entries that take it themselves
// (ShowWeatherDocsBeforeAfter and ReleaseWeatherEditor).
#pragma once
#include <cstdint>
#include <string>

#include "weather/weather_documents.h"

namespace weather {

// weather.xml: the saved table and effect values written back, the saved
// state kept; sets WeatherXmlBeforeShown.
bool ShowWeatherValuesBefore(std::string& status);
// One render document: its saved blocks written back; sets its before flag.
bool ShowWeatherDocBefore(const WeatherDocument& document, std::string& status);

// Whether the document's "before" view is shown (its edits wait for "after").
bool WeatherDocumentBeforeShown(const WeatherDocument& document);
// Whether the game's bytes of the document are saved (a before view can be shown).
bool WeatherDocumentSaved(const WeatherDocument& document);

// The whole document by its kind (watertune, lightning, weather.xml, a
// render document); false without a message for a document that is not
// loaded or of no live kind.
bool ApplyDocumentLive(const WeatherDocument& document, std::string& status);
// After one value was edited or reset: weather.xml writes that value, any
// other document is written whole. While the document's "before" view is
// shown nothing is written: the edit waits for "after", which writes every
// edit (so the game never shows the game's values mixed with some edits).
bool ApplyValueLive(const WeatherDocument& document, const XmlValueRecord& value, std::string& status);

// The all-live hotkey: before = 1 shows the game's saved values of every
// document with live edits, before = 0 applies again every document whose
// before view is shown. Sets *changed when anything was written, never
// clears it. Takes WeatherLive.lock; messages are dropped.
void ShowWeatherDocsBeforeAfter(uint8_t before, uint8_t* changed);

// The unload: the documents and their live state released, nothing written
// to the game (the edited values stay in it). Takes WeatherLive.lock; with
// waitForLock false only when it is free at once (a frame stuck in the tab
// may hold it), and nothing is done otherwise. True when it ran.
bool ReleaseWeatherEditor(bool waitForLock = true);

}  // namespace weather
