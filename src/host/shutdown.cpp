#include "host/shutdown.h"

#include "host/detour_gate.h"
#include "host/host_services.h"
#include "host/startup.h"
#include "host/tick.h"
#include "platform/clock.h"
#include "runtime/live_writes.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/modifier_live.h"
#include "visualsettings/visualsettings_entries.h"
#include "weather/document_live.h"
#include "weather/sirens_search.h"

namespace host {

ShutdownState Shutdown;

void ResetShutdownState() { Shutdown = ShutdownState{}; }

void ShutdownEditor() {
    // The editor's own threads are asked to end first and waited for a
    // while; one that has not ended by then does not hold up the rest.
    const bool threadsEnded = visualsettings::StopVisualSettings(Shutdown.DetourDrainTimeoutMs);
    // The game's code comes back first, while the data the patches lead to
    // still exists: the write-list cave's jump (and the list emptied), the
    // override patches with the tick's own store patches, the jumps into the
    // live-write caves. The caves and cells stay (a game thread may still be
    // inside one). Then the hooks go.
    runtime::RestoreWriteListCave();
    RestoreAllTickPatches();
    runtime::RestoreLiveWriteJumps();
    // The modifier resolve stops and its mapping goes; a modifier written
    // live keeps its edited values in the game.
    timecycle::ShutdownModifierLive();
    // The hooks are disabled first: no new call enters a detour. The engine
    // is uninitialised only once the threads inside a detour have left: they
    // call the game's methods through what the engine keeps for them
    // (MinHook's trampolines, freed by its uninitialise). When one does not
    // leave in time the engine stays as it is.
    const bool hooksStarted = Startup.HookEngineStarted.Exchange(0) != 0;
    const HookEngine& engine = CurrentHookEngine();
    if (hooksStarted) engine.disableAll();
    const HostServices& services = CurrentHostServices();
    if (services.restoreWindowProcedure != nullptr) services.restoreWindowProcedure();
    const bool drained = WaitForDetoursToLeave(Shutdown.DetourDrainTimeoutMs);
    if (hooksStarted && drained) engine.uninitialize();
    // The weather documents go; the values they wrote stay in the game. A
    // frame still inside a detour may be drawing the Weather tab under the
    // documents' lock: then this only happens when the lock is free at once.
    weather::ReleaseWeatherEditor(drained);
    // The siren search stops and its thread is waited for, also while a
    // frame holds the sirens' lock (then only their copies stay); the edited
    // sirens stay in the game.
    weather::ReleaseSirens(drained);
    // The keyframe table's snapshots of the game's bytes are wiped and go
    // once no frame can be reading them (else static destruction wipes them).
    if (drained) timecycle::ReleaseWeatherSnapshots();
    if (drained && services.releaseOverlay != nullptr) services.releaseOverlay();
    // None of our threads may run once the plug-in's code is gone: the last
    // step waits for those still running until they have left it. They
    // were asked to stop at the start and look at that within milliseconds;
    // the wait needs no lock the unload holds (not even the loader lock). A
    // thread that has not reached our code yet (its start waits for the
    // loader lock) is abandoned, never waited for: it ends without entering it.
    if (!threadsEnded) visualsettings::StopVisualSettings(platform::kWaitForever);
}

}  // namespace host
