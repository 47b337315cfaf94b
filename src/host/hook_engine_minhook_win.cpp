// MinHook behind the hook-engine seam, when the build found it
// (VARNEL_HAVE_MINHOOK); otherwise the build uses the built-in engine.
// MinHook patches the method's code: the table entry only tells where that
// code is, and what the game calls afterwards (*original) is a trampoline in
// memory MinHook owns until it is uninitialised.
#include "host/hook_engine.h"

#if defined(VARNEL_HAVE_MINHOOK)
#include <MinHook.h>

#include "platform/safe_copy.h"

namespace host {
namespace {

bool MinHookInitialize() {
    const MH_STATUS status = MH_Initialize();
    return status == MH_OK || status == MH_ERROR_ALREADY_INITIALIZED;
}
bool MinHookCreate(void** slot, void* detour, void** original) {
    if (slot == nullptr || detour == nullptr || original == nullptr) return false;
    // The entry is read guarded: an entry that is not mapped is refused, not a crash.
    void* code = nullptr;
    if (!platform::SafeCopy(&code, slot, sizeof(code)) || code == nullptr || code == detour) return false;
    void* trampoline = nullptr;
    if (MH_CreateHook(code, detour, &trampoline) != MH_OK) return false;
    *original = trampoline;
    return true;
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
