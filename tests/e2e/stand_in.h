// What the stand-in game calls in the stand-in script host (ScriptHookV.dll,
// linked through its import library), beyond the host functions that
// plug-ins import.
#pragma once

extern "C" {
// Loads Varnel.asi from the game's folder; 1 when it loaded.
int StandInLoadPlugin();
// One game frame of the script thread: resumes the script once its wait is over.
void StandInRunScripts();
// Unloads the plug-in (its detach unregisters its script); 1 when it was.
int StandInUnloadPlugin();
// Writes the host's state as "key=value" lines into text (NUL-terminated,
// cut at capacity); returns the length written.
int StandInDescribe(char* text, int capacity);
// Turns on the live override slot of that display name in the loaded
// plug-in (its slot tables are not exported: the one slot row of its
// writable data whose name points at that text), given as "NAME" or as
// "NAME=VALUE" with the value it is to hold; 1 when found.
int StandInEnablePluginSlot(const char* request);
// Edits a visualsettings parameter of the loaded plug-in as the editor's tab
// does ("KEY=VALUE": the row's value set and marked overridden; its rows are
// found in its writable data the same way); 1 when found.
int StandInSetPluginParam(const char* request);
}
