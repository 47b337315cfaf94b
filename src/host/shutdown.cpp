#include "host/shutdown.h"

#include "host/detour_gate.h"
#include "host/host_services.h"
#include "host/startup.h"

namespace host {

uint32_t DetourDrainTimeoutMs = 2000;

void ShutdownEditor() {
    // The runtime's write-backs come first (write-list cave, override
    // patches, live-write jumps), while the data they lead to still exists.
    if (HookEngineStarted.exchange(0) != 0) {
        const HookEngine& engine = CurrentHookEngine();
        engine.disableAll();
        engine.uninitialize();
    }
    const HostServices& services = CurrentHostServices();
    if (services.restoreWindowProcedure != nullptr) services.restoreWindowProcedure();
    if (!WaitForDetoursToLeave(DetourDrainTimeoutMs)) return;
    if (services.releaseOverlay != nullptr) services.releaseOverlay();
}

}  // namespace host
