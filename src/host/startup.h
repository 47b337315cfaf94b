// The editor's one-time start-up, run on the script fiber at the first press
// of the menu hotkey: workspace folders and VRN.ini, the game-address
// searches of the live-write runtime, then the hook engine and the four
// Direct3D 12 method hooks, found through throw-away objects.
#pragma once
#include <cstdint>

#include "core/shared_value.h"
#include "host/host_services.h"

namespace host {

// The start-up's state. The services are set once at process start,
// before the script is registered, and only read afterwards. The flags are
// the start-up's (script fiber) and the unload's; the game's methods are
// written by the start-up and read by the detours on the render thread.
struct StartupState {
    HostServices Services;
    // Set at the very start of the first BootstrapEditor; later calls return at once.
    core::SharedValue<uint8_t> BootstrapDone{0};
    // The hook engine was initialised by the start-up (the unload undoes it).
    core::SharedValue<uint8_t> HookEngineStarted{0};
    // The game's own methods, filled by the hook engine: what the detours call
    // for the game's behaviour. Null while the hook does not exist.
    core::SharedValue<void*> GamePresent{nullptr};
    core::SharedValue<void*> GameResizeBuffers{nullptr};
    core::SharedValue<void*> GameResizeBuffers1{nullptr};
    core::SharedValue<void*> GameExecuteCommandLists{nullptr};
};
extern StartupState Startup;
// Everything back to process start, the services empty (tests).
void ResetStartupState();

void BootstrapEditor();

// Steps of the start-up that install the hooks (engine, probe, four hooks,
// enable, clean-up of the throw-away objects); part of BootstrapEditor.
void InstallPresentationHooks();

}  // namespace host
