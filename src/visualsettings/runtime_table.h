// The runtime table locator: finds, once per run, the game's table of
// 32-bit floats that holds the values of the runtime slider keys
// (runtime_keys.h), by scanning the game's private writable memory for the
// fingerprint of seven of its values, and turns a key into a live address.
// The first visualsettings.dat import starts the search on a thread of its
// own, which waits 45 s (the game fills the table late) and then scans.
//
// Thread rule: the search thread publishes its result by storing base first
// and then ready (release); readers test ready (acquire) before they use
// base. started claims the one search of the run (compare-exchange). The
// status line is shared by the search thread and the callers of
// LiveAddressOfRuntimeKey (it takes its lock). The unload stops the thread
// and waits for it (StopRuntimeTableLocator). The start's check of stop,
// its start of the thread and its record of it, and the stop's setting of
// stop and its read of the thread, each hold threadLock: a thread starts
// before the stop reads it, or not at all.
#pragma once
#include <cstdint>
#include <mutex>

#include "core/shared_value.h"
#include "visualsettings/status_line.h"

namespace visualsettings {

inline constexpr uint64_t kRuntimeTableWaitMs = 45000;
// How long the thread sleeps at a time while it waits, so that a stop is
// seen at once.
inline constexpr uint32_t kRuntimeTableWaitSliceMs = 50;

// The search's state; the thread rule above.
struct RuntimeTableState {
    core::SharedValue<uint64_t> base{0};      // the located table, 0 = none
    core::SharedValue<uint32_t> ready{0};     // 1: base may be used
    core::SharedValue<uint32_t> started{0};   // the search of the run is claimed (never cleared once it runs)
    core::SharedValue<uint32_t> finished{0};  // the search ended, whatever its outcome
    core::SharedValue<uint32_t> stop{0};      // the unload asks the thread to end
    core::SharedValue<uint64_t> thread{0};    // the search thread (platform::StartThread), 0 = none
    std::mutex threadLock;                    // the start against the stop (the thread rule above)
    core::SharedValue<uint32_t> searches{0};  // searches run (tests)
    // Empty while searching and after a success, "UNAVAILABLE." after a
    // failed search, empty again when a located table stops being readable.
    StatusLine status{"Ready."};
};
extern RuntimeTableState RuntimeTable;

// Starts the one search of the run on its own thread, when it has not been
// started (later calls return at once). When no thread can be started the
// claim is given back, so that a later call tries again: the 45 s wait
// never runs on the caller's thread (the import calls this from the render
// thread). True when the search runs or has run.
bool StartDeferredRuntimeProbe();
// The search (both scans; READY or UNAVAILABLE), on the calling thread.
void ResolveVisualSettingsTable();
// The address of key's value in the located table, or 0 (no such key, no
// table, or the table no longer readable: then it is forgotten for the run).
uint64_t LiveAddressOfRuntimeKey(const char* key);
// SafeWriteFloat / SafeReadU32 of the key's value (game units); false
// without an address.
bool WriteRuntimeTableValue(const char* key, float value);
bool ReadRuntimeTableValue(const char* key, float& value);

// The unload: asks the thread to end and waits at most timeoutMs for it (a
// thread that has not started yet is abandoned instead); true when no
// thread is left. No search starts afterwards.
bool StopRuntimeTableLocator(uint32_t timeoutMs);

// Back to the start of the run (tests; no thread may be running).
void ResetRuntimeTableForTesting();

}  // namespace visualsettings
