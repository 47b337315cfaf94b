// The menu hotkey as VRN.ini holds it, read before the editor starts: the
// script loop watches the configured key from its very first pass, long
// before the start-up reads the whole file.
#pragma once
#include <cstdint>
#include <string_view>

namespace host {

// Finds VRN.ini as the start-up will (the default file in Documents\VRN\ and
// up to two WorkspaceDirectory hops) and, when it holds a MenuHotkey, puts
// that row into the settings. Reads only: creates no folder or file and
// changes no folder text. True when a value was taken from a file.
bool ReadMenuHotkeyBeforeStart();

}  // namespace host
