// A DLL of the Windows seam's threads, for the tests that unload it while
// one of its threads runs or has not started: StartHeldDetachedThread
// starts a detached thread that waits for the event, then returns into
// this module's code; StartThreadForUnload starts a thread whose body marks
// ran, which the module's unload does not wait for when it has not started.
#include "platform/clock.h"
#include "platform/windows/win32.h"

namespace {
uint64_t g_thread = 0;
}

extern "C" __declspec(dllexport) int StartHeldDetachedThread(HANDLE release) {
    return platform::StartDetachedThread([release] { WaitForSingleObject(release, INFINITE); }) ? 1 : 0;
}

extern "C" __declspec(dllexport) int StartThreadForUnload(volatile LONG* ran) {
    g_thread = platform::StartThread([ran] { InterlockedExchange(ran, 1); });
    return g_thread != 0 ? 1 : 0;
}

// The unload's wait, bounded so that a test whose thread is waited for
// fails instead of hanging.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) platform::AbandonOrWaitForThread(g_thread, 5000);
    return TRUE;
}
