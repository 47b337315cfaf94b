// The script host's functions, imported from ScriptHookV.dll by their
// decorated names (see script_host.def), and the module of our code.
#include "platform/script_host.h"
#include "platform/windows/win32.h"

// Our own declarations of the host's exports; each is bound to its export
// name by an assembler label and reached through the import library's thunk.
extern "C" {
void VarnelHostScriptRegister(HMODULE module, void (*main)()) __asm__("\"?scriptRegister@@YAXPEAUHINSTANCE__@@P6AXXZ@Z\"");
void VarnelHostScriptUnregister(HMODULE module) __asm__("\"?scriptUnregister@@YAXPEAUHINSTANCE__@@@Z\"");
void VarnelHostScriptWait(DWORD ms) __asm__("\"?scriptWait@@YAXK@Z\"");
void VarnelHostNativeInit(uint64_t hash) __asm__("\"?nativeInit@@YAX_K@Z\"");
void VarnelHostNativePush64(uint64_t value) __asm__("\"?nativePush64@@YAX_K@Z\"");
uint64_t* VarnelHostNativeCall() __asm__("\"?nativeCall@@YAPEA_KXZ\"");
}

namespace platform {
namespace {
// Handed out when the host returns no result pointer, so callers never see null.
uint64_t g_emptyResult[4] = {};
}  // namespace

void ScriptRegister(void* module, ScriptMainFunction main) {
    VarnelHostScriptRegister(static_cast<HMODULE>(module), main);
}

void ScriptUnregister(void* module) { VarnelHostScriptUnregister(static_cast<HMODULE>(module)); }

void ScriptWait(uint32_t ms) { VarnelHostScriptWait(ms); }

void NativeInit(uint64_t hash) { VarnelHostNativeInit(hash); }

void NativePush64(uint64_t value) { VarnelHostNativePush64(value); }

uint64_t* NativeCall() {
    uint64_t* result = VarnelHostNativeCall();
    if (result != nullptr) return result;
    g_emptyResult[0] = g_emptyResult[1] = g_emptyResult[2] = g_emptyResult[3] = 0;
    return g_emptyResult;
}

void* OwnModuleHandle() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&OwnModuleHandle), &module))
        return nullptr;
    return module;
}

}  // namespace platform
