// What the stand-in game asks of the stand-in script host, beyond the host
// functions that plug-ins import. The game finds these in ScriptHookV.dll by
// name with GetProcAddress.
#pragma once

extern "C" {
// Loads Varnel.asi from the host's folder; 1 when it loaded.
using StandInLoadPluginFn = int (*)();
// One game frame of the script thread: resumes each registered script whose
// wait is over, once.
using StandInRunScriptsFn = void (*)();
// Unloads the plug-in (FreeLibrary; its detach unregisters its script); 1
// when it was unloaded.
using StandInUnloadPluginFn = int (*)();
// Writes the host's state as "key=value" lines into text (NUL-terminated,
// cut at capacity); returns the length written.
using StandInDescribeFn = int (*)(char* text, int capacity);
// Turns on the live override slot of that display name in the loaded
// plug-in (its slot tables are not exported: the one slot row of its
// writable data whose name points at that text); 1 when found.
using StandInEnablePluginSlotFn = int (*)(const char* name);
}
