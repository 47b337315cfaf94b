#include "host/tick_wiring.h"

#include "host/tick.h"
#include "runtime/editor_entries.h"
#include "runtime/store_probes.h"
#include "timecycle/timecycle_entries.h"
#include "visualsettings/visualsettings_entries.h"
#include "weather/weather_entries.h"

namespace host {

void WireEditorEntries() {
    runtime::EditorEntries& entries = runtime::Entries();
    runtime::FillRuntimeEntries(entries);
    timecycle::FillTimecycleEntries(entries);
    visualsettings::FillVisualSettingsEntries(entries);
    weather::FillWeatherEntries(entries);
    // The modifier editor fills its entries here as it is built.
    entries.clearImportPatchesMark = [] { Tick.PatchesClearedForImport.Set(0); };
}

void ForgetTickStoreProbes() { runtime::ResetStoreProbes(); }

}  // namespace host
