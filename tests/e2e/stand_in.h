// What the stand-in game asks of the stand-in script host, beyond the host
// functions that plug-ins import. The game finds these in ScriptHookV.dll by
// name with GetProcAddress.
#pragma once

extern "C" {
// Loads every *.asi in the host's folder; returns how many loaded.
using StandInLoadPluginsFn = int (*)();
// One game frame of the script thread: resumes each registered script whose
// wait is over, once.
using StandInRunScriptsFn = void (*)();
// Unloads every plug-in (FreeLibrary; its detach unregisters its script);
// returns how many were unloaded.
using StandInUnloadPluginsFn = int (*)();
// Writes the host's state as "key=value" lines into text (NUL-terminated,
// cut at capacity); returns the length written.
using StandInDescribeFn = int (*)(char* text, int capacity);
// Turns on the live override slot of that display name in the loaded
// plug-in (its slot tables are not exported: the one slot row of its
// writable data whose name points at that text); 1 when found.
using StandInEnablePluginSlotFn = int (*)(const char* name);
}
