// Loads Varnel.asi the way the script host's loader does and checks what the
// plug-in does at load and unload: it registers exactly one script from its
// own image, exports nothing, and takes the script back when unloaded. Run
// under Wine beside the stand-in ScriptHookV.dll.
//   varnel_plugin_load <path of Varnel.asi>
#include <cstdint>
#include <cstdio>

#include "script_host_standin.h"
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++g_failures;
}

using StateFunction = const uint64_t* (*)();

const uint64_t* State() {
    HMODULE host = GetModuleHandleA("ScriptHookV.dll");
    if (host == nullptr) return nullptr;
    FARPROC f = GetProcAddress(host, "VarnelStandInState");
    if (f == nullptr) return nullptr;
    StateFunction state;
    static_assert(sizeof state == sizeof f);
    __builtin_memcpy(&state, &f, sizeof state);
    return state();
}

const IMAGE_NT_HEADERS64* Headers(HMODULE module) {
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: varnel_plugin_load <Varnel.asi>\n");
        return 2;
    }
    // Held for the whole run, as the game holds its script host: the state
    // must still be there after the plug-in unloads.
    HMODULE host = LoadLibraryA("ScriptHookV.dll");
    if (host == nullptr) {
        std::printf("FAIL: the stand-in ScriptHookV.dll is not beside the loader\n");
        return 1;
    }
    HMODULE plugin = LoadLibraryA(argv[1]);
    if (plugin == nullptr) {
        std::printf("FAIL: LoadLibrary(%s) failed, error %lu (126: a DLL it imports is missing)\n", argv[1],
                    GetLastError());
        return 1;
    }
    const uint64_t* state = State();
    Check(state != nullptr, "the stand-in script host was loaded as the plug-in's import");
    if (state == nullptr) return 1;

    const IMAGE_NT_HEADERS64* nt = Headers(plugin);
    Check(nt != nullptr, "the plug-in has PE headers");
    if (nt == nullptr) return 1;
    const auto base = reinterpret_cast<uintptr_t>(plugin);
    const uintptr_t end = base + nt->OptionalHeader.SizeOfImage;
    Check(state[standin::kRegisterCalls] == 1, "one scriptRegister at load");
    Check(state[standin::kRegisteredModule] == base, "registered with its own module handle");
    Check(state[standin::kRegisteredMain] >= base && state[standin::kRegisteredMain] < end,
          "the registered script lies in the plug-in's image");
    Check(state[standin::kWaitCalls] == 0, "the script does not run at load");

    const IMAGE_DATA_DIRECTORY& exports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (exports.VirtualAddress != 0 && exports.Size != 0) {
        const auto* dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exports.VirtualAddress);
        Check(dir->NumberOfFunctions == 0 && dir->NumberOfNames == 0, "the plug-in exports nothing");
    } else {
        Check(true, "the plug-in exports nothing");
    }

    Check(FreeLibrary(plugin) != 0, "the plug-in unloads");
    state = State();
    if (state == nullptr) {
        Check(false, "the stand-in script host is still loaded");
        return 1;
    }
    Check(state[standin::kUnregisterCalls] == 1, "one scriptUnregister at unload");
    Check(state[standin::kLastUnregisteredModule] == base, "unregistered with its own module handle");
    Check(state[standin::kRegisteredMain] == 0, "no script left registered");
    FreeLibrary(host);
    return g_failures == 0 ? 0 : 1;
}
