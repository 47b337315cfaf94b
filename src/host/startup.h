// The editor's one-time start-up, run on the script fiber at the first press
// of the menu hotkey: workspace folders and VRN.ini, the game-address
// searches of the live-write runtime, then the hook engine and the four
// Direct3D 12 method hooks, found through throw-away objects.
#pragma once
#include <atomic>
#include <cstdint>

namespace host {

// Set at the very start of the first BootstrapEditor; later calls return at once.
extern std::atomic<uint8_t> BootstrapDone;
// The hook engine was initialised by the start-up (the unload undoes it).
extern std::atomic<uint8_t> HookEngineStarted;

void BootstrapEditor();

// Steps of the start-up that install the hooks (engine, probe, four hooks,
// enable, clean-up of the throw-away objects); part of BootstrapEditor.
void InstallPresentationHooks();

}  // namespace host
