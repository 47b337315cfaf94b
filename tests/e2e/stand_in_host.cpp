// Stand-in for the game's script host (ScriptHookV.dll), for the end-to-end
// test under Wine. It loads the plug-in (Varnel.asi) beside the game, runs
// the script it registers on a fiber of its own, resumed once per game frame
// by the stand-in game, implements the per-frame wait, and answers natives
// by hash through the simulated game world of the native tests. Every call
// is counted so the test can read what the plug-in did (a second script
// shows in the count of registrations only).
#include <windows.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "runtime/live_slots.h"
#include "stand_in.h"
#include "visualsettings/param_table.h"
#include "support/sim_world.h"
#include "wine/script_host_standin.h"

namespace {

struct Script {
    HMODULE module = nullptr;
    void (*main)() = nullptr;
    void* fiber = nullptr;
    ULONGLONG wakeAt = 0;
    bool returned = false;
    bool dropWhenSuspended = false;  // unregistered from inside its own fiber
};

constexpr size_t kMaxArgs = 32;

struct NativeCallInProgress {
    uint64_t hash = 0;
    uint64_t args[kMaxArgs] = {};
    size_t count = 0;
    uint64_t result[kMaxArgs] = {};
};

// All host state; the script loop runs on the game's main thread, but a
// faulty plug-in may call natives from any thread, so the records take a lock.
std::mutex g_lock;
Script g_script;  // main is null while none is registered
HMODULE g_plugin = nullptr;  // Varnel.asi
// The plug-in's visualsettings rows, once found (null again at the unload).
visualsettings::VisualSettingsParam* g_params = nullptr;
DWORD g_pluginLoadError = 0;
void* g_mainFiber = nullptr;
Script* g_running = nullptr;
DWORD g_scriptThread = 0;  // the game thread that runs the fibers
bool g_unloading = false;
// Counters, reported under these names with "host_" in front (absent: 0).
std::map<std::string, uint64_t> g_counts;
std::map<uint64_t, uint64_t> g_natives;  // calls per hash

// The game world behind the natives. Its clock runs at the game's pace of
// 30 game seconds per real second, unless paused.
testsupport::SimWorld g_world;
ULONGLONG g_clockStamp = 0;
uint64_t g_clockMillis = 0;

thread_local NativeCallInProgress t_call;

void Count(const char* what) { ++g_counts[what]; }

HMODULE ModuleOf(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(address), &module);
    return module;
}

// While a script runs, the game thread is on that script's fiber; any other
// thread, or the game thread between resumes, is not.
bool OnScriptFiber() { return g_running != nullptr && GetCurrentThreadId() == g_scriptThread; }

void WINAPI ScriptFiberMain(void* parameter) {
    auto* script = static_cast<Script*>(parameter);
    script->main();
    // A script must never return; if it does, park its fiber for good (a
    // fiber routine that returns would end the game's thread).
    {
        std::lock_guard<std::mutex> hold(g_lock);
        script->returned = true;
        Count("scripts_returned");
    }
    for (;;) SwitchToFiber(g_mainFiber);
}

void DropScript() {
    if (g_script.fiber != nullptr) DeleteFiber(g_script.fiber);
    g_script = Script{};
}

// The plug-in's visualsettings rows (not exported): in its writable data,
// the row whose key points at the first coronas key and whose next row's
// key points at the second one. Null when the plug-in has not built them.
visualsettings::VisualSettingsParam* PluginParams() {
    if (g_params != nullptr || g_plugin == nullptr) return g_params;
    using visualsettings::VisualSettingsParam;
    static const char kFirst[] = "misc.coronas.sizeScaleGlobal";
    static const char kSecond[] = "misc.coronas.intensityScaleGlobal";
    const auto base = reinterpret_cast<uintptr_t>(g_plugin);
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const uintptr_t end = base + nt->OptionalHeader.SizeOfImage;
    auto keyIs = [&](uintptr_t at, const char* key, size_t size) {
        const uintptr_t text = *reinterpret_cast<const uintptr_t*>(at);
        return text >= base && text < end && end - text >= size && std::memcmp(reinterpret_cast<const char*>(text), key, size) == 0;
    };
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if ((section->Characteristics & IMAGE_SCN_MEM_WRITE) == 0) continue;
        const uintptr_t from = base + section->VirtualAddress, to = from + section->Misc.VirtualSize;
        const size_t all = visualsettings::kParamRowCount * sizeof(VisualSettingsParam);
        for (uintptr_t at = (from + 7) & ~uintptr_t{7}; at + all <= to; at += 8) {
            if (keyIs(at, kFirst, sizeof kFirst) && keyIs(at + sizeof(VisualSettingsParam), kSecond, sizeof kSecond)) {
                g_params = reinterpret_cast<VisualSettingsParam*>(at);
                return g_params;
            }
        }
    }
    return nullptr;
}

}  // namespace

extern "C" {

// ---- The script host's functions (wine/script_host_standin.h) -----------------

void HostScriptRegister(void* module, void (*main)()) {
    std::lock_guard<std::mutex> hold(g_lock);
    Count("register_calls");
    if (main == nullptr) return;
    if (ModuleOf(reinterpret_cast<const void*>(main)) != module) Count("register_foreign");
    if (g_script.main == nullptr) g_script = Script{static_cast<HMODULE>(module), main};
}

void HostScriptUnregister(void* module) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_unloading) Count("unregister_during_unload");
    if (g_script.module != module) return;
    // The running fiber cannot be deleted: it goes when it is suspended.
    if (OnScriptFiber()) g_script.dropWhenSuspended = true;
    else DropScript();
}

void HostScriptWait(unsigned long ms) {
    const bool onFiber = OnScriptFiber();
    {
        std::lock_guard<std::mutex> hold(g_lock);
        Count(!onFiber ? "waits_off_fiber" : ms != 0 ? "waits_nonzero" : "waits");
        if (onFiber) g_running->wakeAt = GetTickCount64() + ms;
    }
    if (onFiber) SwitchToFiber(g_mainFiber);
}

void HostNativeInit(uint64_t hash) {
    t_call.hash = hash;
    t_call.count = 0;
}

void HostNativePush64(uint64_t value) {
    // Words past the last are dropped: the world finds the count wrong.
    if (t_call.count < kMaxArgs) t_call.args[t_call.count++] = value;
}

uint64_t* HostNativeCall() {
    std::fill(std::begin(t_call.result), std::end(t_call.result), 0);
    const bool onFiber = OnScriptFiber();
    std::lock_guard<std::mutex> hold(g_lock);
    Count("natives_total");
    if (!onFiber) Count("natives_off_fiber");
    ++g_natives[t_call.hash];
    if (!testsupport::HandleSimNative(g_world, t_call.hash, t_call.args, t_call.count, t_call.result))
        Count("natives_unknown");
    return t_call.result;
}

// ---- The stand-in game's controls -----------------------------------------

__declspec(dllexport) int StandInLoadPlugin() {
    HMODULE plugin = LoadLibraryW(L"Varnel.asi");  // found in the game's folder first
    const DWORD error = plugin != nullptr ? 0 : GetLastError();
    std::lock_guard<std::mutex> hold(g_lock);
    g_plugin = plugin;
    g_pluginLoadError = error;
    return plugin != nullptr;
}

__declspec(dllexport) void StandInRunScripts() {
    if (g_mainFiber == nullptr) {
        g_mainFiber = ConvertThreadToFiber(nullptr);
        if (g_mainFiber == nullptr) return;
        g_scriptThread = GetCurrentThreadId();
    }
    {
        std::lock_guard<std::mutex> hold(g_lock);
        const ULONGLONG now = GetTickCount64();
        if (g_clockStamp != 0) g_clockMillis += (now - g_clockStamp) * 30;
        g_clockStamp = now;
        testsupport::AdvanceSimClock(g_world, static_cast<int64_t>(g_clockMillis / 1000));
        g_clockMillis %= 1000;
    }
    Script& script = g_script;
    if (script.main == nullptr || script.returned || GetTickCount64() < script.wakeAt) return;
    // Generous stack: the plug-in sets up Direct3D 12 on this fiber.
    if (script.fiber == nullptr) script.fiber = CreateFiberEx(64 * 1024, 8 * 1024 * 1024, 0, &ScriptFiberMain, &script);
    if (script.fiber == nullptr) return;
    g_running = &script;
    Count("passes");
    SwitchToFiber(script.fiber);
    g_running = nullptr;
    std::lock_guard<std::mutex> hold(g_lock);
    if (script.dropWhenSuspended) DropScript();  // unregistered from its own fiber, now suspended
}

__declspec(dllexport) int StandInUnloadPlugin() {
    if (g_plugin == nullptr) return 0;
    g_unloading = true;
    const bool freed = FreeLibrary(g_plugin) != 0;
    g_unloading = false;
    // The plug-in's detach unregisters its script; a script left behind
    // would resume into unloaded code, so it is dropped here and counted.
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_script.main != nullptr && g_script.module == g_plugin) {
        Count("scripts_left_after_unload");
        DropScript();
    }
    g_plugin = nullptr;
    g_params = nullptr;
    return freed;
}

__declspec(dllexport) int StandInEnablePluginSlot(const char* request) {
    if (g_plugin == nullptr) return 0;
    // "NAME" or "NAME=VALUE"
    const std::string asked(request);
    const size_t equals = asked.find('=');
    const std::string name = asked.substr(0, equals);
    const size_t length = name.size();
    const auto base = reinterpret_cast<uintptr_t>(g_plugin);
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const uintptr_t end = base + nt->OptionalHeader.SizeOfImage;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    runtime::LiveOverrideSlot* slot = nullptr;
    int matches = 0;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if ((section->Characteristics & IMAGE_SCN_MEM_WRITE) == 0) continue;
        const uintptr_t from = base + section->VirtualAddress, to = from + section->Misc.VirtualSize;
        for (uintptr_t at = (from + 7) & ~uintptr_t{7}; at + sizeof(runtime::LiveOverrideSlot) <= to; at += 8) {
            const uintptr_t text = *reinterpret_cast<const uintptr_t*>(at);
            if (text < base || text >= end || end - text < length + 1 ||
                std::memcmp(reinterpret_cast<const char*>(text), name.c_str(), length + 1) != 0)
                continue;
            slot = reinterpret_cast<runtime::LiveOverrideSlot*>(at);
            ++matches;
        }
    }
    if (matches != 1) return 0;
    if (equals != std::string::npos) slot->value = std::strtof(asked.c_str() + equals + 1, nullptr);
    slot->enabled = 1;
    return 1;
}

__declspec(dllexport) int StandInSetPluginParam(const char* request) {
    std::lock_guard<std::mutex> hold(g_lock);
    visualsettings::VisualSettingsParam* rows = PluginParams();
    const std::string asked(request);
    const size_t equals = asked.find('=');
    if (rows == nullptr || equals == std::string::npos) return 0;
    const std::string key = asked.substr(0, equals);
    for (size_t i = 0; i < visualsettings::kParamRowCount; ++i) {
        visualsettings::VisualSettingsParam& row = rows[i];
        if (row.key == nullptr || key != row.key) continue;
        row.value = std::strtof(asked.c_str() + equals + 1, nullptr);
        row.loaded = 1;
        row.overridden = 1;
        return 1;
    }
    return 0;
}

__declspec(dllexport) int StandInDescribe(char* text, int capacity) {
    std::string out;
    auto add = [&](const std::string& key, uint64_t value) { out += key + "=" + std::to_string(value) + "\n"; };
    {
        std::lock_guard<std::mutex> hold(g_lock);
        add("host_plugins_loaded", g_plugin != nullptr);
        add("host_plugin_load_error", g_pluginLoadError);
        // The visualsettings rows the plug-in has bound to a game location.
        if (const visualsettings::VisualSettingsParam* rows = PluginParams()) {
            uint64_t bound = 0;
            for (size_t i = 0; i < visualsettings::kParamRowCount; ++i) bound += rows[i].liveAddress.Get() != 0;
            add("host_vs_rows", visualsettings::kParamRowCount);
            add("host_vs_rows_bound", bound);
        }
        add("host_scripts", g_script.main != nullptr);
        add("host_native_hashes", g_natives.size());
        for (const auto& [key, count] : g_counts) add("host_" + key, count);
        // The world's state that the editor's game controls change.
        add("world_hud_visible", g_world.hudVisible);
        add("world_blackout", g_world.blackout);
        add("world_clock_sets", g_world.clockSets);
        add("world_unknown_hashes", g_world.unknownHashes.size());
        add("world_faults", g_world.faults.size());
        for (size_t i = 0; i < g_world.faults.size() && i < 20; ++i) out += "world_fault=" + g_world.faults[i] + "\n";
        char name[32];
        for (const auto& [hash, count] : g_natives) {  // calls per hash
            std::snprintf(name, sizeof name, "native_%016" PRIX64, hash);
            add(name, count);
        }
    }
    const int n = static_cast<int>(std::min<size_t>(out.size(), static_cast<size_t>(capacity - 1)));
    std::copy(out.begin(), out.begin() + n, text);
    text[n] = '\0';
    return n;
}

}  // extern "C"
