// A DLL of the Windows seam's detached threads, for the test that unloads
// it while one of its threads runs: StartHeldDetachedThread starts a
// thread that waits for the event, then returns into this module's code.
#include "platform/clock.h"
#include "platform/windows/win32.h"

extern "C" __declspec(dllexport) int StartHeldDetachedThread(HANDLE release) {
    return platform::StartDetachedThread([release] { WaitForSingleObject(release, INFINITE); }) ? 1 : 0;
}
