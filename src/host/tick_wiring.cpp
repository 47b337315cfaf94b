#include "host/tick_wiring.h"

#include "host/tick.h"
#include "runtime/editor_entries.h"
#include "runtime/store_probes.h"
#include "timecycle/timecycle_entries.h"
#include "weather/weather_entries.h"

namespace host {

void WireEditorEntries() {
    runtime::EditorEntries& entries = runtime::Entries();
    runtime::FillRuntimeEntries(entries);
    timecycle::FillTimecycleEntries(entries);
    weather::FillWeatherEntries(entries);
    // The visualsettings and modifier editors fill theirs here as they are
    // built.
    entries.clearImportPatchesMark = [] { Tick.PatchesClearedForImport.Set(0); };
}

void ForgetTickStoreProbes() { runtime::ResetStoreProbes(); }

}  // namespace host
