// How the tick reaches the live-write runtime: the slots by name and the
// subsystem functions that are built. TickCalls starts out with these.
#pragma once
#include <string_view>

#include "runtime/live_slots.h"

namespace host {

// The live override slot with this display name in any of the three slot
// tables, or null.
runtime::LiveOverrideSlot* FindTickSlot(std::string_view name);

// The slots first..last of one table (first at or before last), or false
// when either is missing or they lie in different tables.
bool FindTickSlotRun(std::string_view first, std::string_view last, runtime::LiveOverrideSlot*& begin,
                     runtime::LiveOverrideSlot*& end);

// Forgets the store sites the scanline and lens-distortion probes found
// (tests; a new game image).
void ForgetTickStoreProbes();

}  // namespace host
