// MinHook behind the hook-engine seam, when the build found it
// (VARNEL_HAVE_MINHOOK); otherwise the build uses the built-in engine.
#include "host/hook_engine.h"

#if defined(VARNEL_HAVE_MINHOOK)
#include <MinHook.h>

namespace host {
namespace {

bool MinHookInitialize() {
    const MH_STATUS status = MH_Initialize();
    return status == MH_OK || status == MH_ERROR_ALREADY_INITIALIZED;
}
bool MinHookCreate(void** slot, void* detour, void** original) {
    if (slot == nullptr || *slot == nullptr) return false;
    return MH_CreateHook(*slot, detour, original) == MH_OK;
}
bool MinHookEnableAll() { return MH_EnableHook(MH_ALL_HOOKS) == MH_OK; }
bool MinHookDisableAll() { return MH_DisableHook(MH_ALL_HOOKS) == MH_OK; }
void MinHookUninitialize() {
    MH_DisableHook(MH_ALL_HOOKS);
    MH_Uninitialize();
}

const HookEngine kMinHookEngine = {"MinHook", MinHookInitialize, MinHookCreate, MinHookEnableAll, MinHookDisableAll,
                                   MinHookUninitialize};

}  // namespace

const HookEngine* MinHookEngine() { return &kMinHookEngine; }

}  // namespace host

#else

namespace host {
const HookEngine* MinHookEngine() { return nullptr; }
}  // namespace host

#endif
