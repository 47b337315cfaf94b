// The plug-in's entry: registers the editor's script with the script host
// at load; at unload undoes what the editor changed in the game and takes
// the script back. Nothing else runs at load.
#include "host/overlay_win.h"
#include "host/script_loop.h"
#include "host/shutdown.h"
#include "platform/script_host.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(module);
            host::SetHostServices(host::WindowsHostServices());
            platform::ScriptRegister(module, host::ScriptMain);
            break;
        case DLL_PROCESS_DETACH:
            // A non-null reserved means the whole process is ending: its other
            // threads are already gone and the game's objects go with it, so
            // nothing is undone (releasing GPU objects now could hang or crash).
            if (reserved == nullptr) host::ShutdownEditor();
            platform::ScriptUnregister(module);
            break;
        default:
            break;
    }
    return TRUE;
}
