// The plug-in's entry: registers the editor's script with the script host
// at load and takes it back at unload. Nothing else runs at load.
#include "platform/script_host.h"
#include "platform/windows/win32.h"

namespace {

// The registered script: runs on the host's script fiber for the life of
// the game and yields once per frame.
void ScriptMain() {
    for (;;) platform::ScriptWait(0);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(module);
            platform::ScriptRegister(module, ScriptMain);
            break;
        case DLL_PROCESS_DETACH:
            platform::ScriptUnregister(module);
            break;
        default:
            break;
    }
    return TRUE;
}
