// Stand-in for the game's script host (ScriptHookV.dll), for the end-to-end
// test under Wine. It loads the plug-ins (*.asi) from its own folder, runs
// each registered script on a fiber of its own, resumed once per game frame
// by the stand-in game, implements the per-frame wait, and answers natives
// by hash through the simulated game world of the native tests. Every call
// is counted so the test can read what the plug-in did.
#include <windows.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "stand_in.h"
#include "support/sim_world.h"

namespace {

struct Script {
    HMODULE module = nullptr;
    void (*main)() = nullptr;
    void* fiber = nullptr;
    ULONGLONG wakeAt = 0;
    bool returned = false;
    bool dropWhenSuspended = false;  // unregistered from inside its own fiber
};

struct Plugin {
    std::wstring path;
    HMODULE module = nullptr;
    DWORD loadError = 0;
};

struct NativeStats {
    uint64_t count = 0;
    uint64_t offFiber = 0;
    std::vector<uint64_t> lastArgs;
};

constexpr size_t kMaxArgs = 32;

struct NativeCallInProgress {
    uint64_t hash = 0;
    uint64_t args[kMaxArgs] = {};
    size_t count = 0;
    bool overflow = false;
    uint64_t result[kMaxArgs] = {};
};

// All host state; the script loop runs on the game's main thread, but a
// faulty plug-in may call natives from any thread, so the records take a lock.
std::mutex g_lock;
std::list<Script> g_scripts;  // a list: fibers keep pointers to their entries
std::vector<Plugin> g_plugins;
void* g_mainFiber = nullptr;
Script* g_running = nullptr;
DWORD g_scriptThread = 0;  // the game thread that runs the fibers
bool g_unloading = false;

uint64_t g_registerCalls = 0;
uint64_t g_unregisterCalls = 0;
uint64_t g_unregisterDuringUnload = 0;
uint64_t g_unregisterUnknown = 0;
uint64_t g_passes = 0;
uint64_t g_waits = 0;
uint64_t g_waitsOffFiber = 0;
uint64_t g_nonZeroWaits = 0;
uint64_t g_scriptsReturned = 0;
uint64_t g_unloads = 0;
uint64_t g_scriptsLeftAfterUnload = 0;
uint64_t g_nativesTotal = 0;
uint64_t g_nativesOffFiber = 0;
uint64_t g_nativesUnknown = 0;
uint64_t g_nativeArgOverflows = 0;
std::map<uint64_t, NativeStats> g_natives;

// The game world behind the natives. Its clock runs at the game's pace of
// 30 game seconds per real second, unless paused.
testsupport::SimWorld g_world;
ULONGLONG g_clockStamp = 0;
uint64_t g_clockMillis = 0;

thread_local NativeCallInProgress t_call;

HMODULE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(OwnModule(), path, MAX_PATH);
    std::wstring folder(path, n);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
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
        ++g_scriptsReturned;
    }
    for (;;) SwitchToFiber(g_mainFiber);
}

void RunWorldClock() {
    ULONGLONG now = GetTickCount64();
    if (g_clockStamp != 0) g_clockMillis += (now - g_clockStamp) * 30;
    g_clockStamp = now;
    if (g_clockMillis >= 1000) {
        testsupport::AdvanceSimClock(g_world, static_cast<int64_t>(g_clockMillis / 1000));
        g_clockMillis %= 1000;
    }
}

void AppendLine(std::string& out, const char* key, uint64_t value) {
    char line[128];
    std::snprintf(line, sizeof line, "%s=%" PRIu64 "\n", key, value);
    out += line;
}

}  // namespace

extern "C" {

// ---- The script host's functions, as plug-ins import them -----------------

void HostScriptRegister(HINSTANCE module, void (*main)()) {
    std::lock_guard<std::mutex> hold(g_lock);
    ++g_registerCalls;
    if (main == nullptr) return;
    Script script;
    script.module = module;
    script.main = main;
    g_scripts.push_back(script);
}

void HostScriptUnregister(HINSTANCE module) {
    std::lock_guard<std::mutex> hold(g_lock);
    ++g_unregisterCalls;
    if (g_unloading) ++g_unregisterDuringUnload;
    bool found = false;
    for (auto it = g_scripts.begin(); it != g_scripts.end();) {
        if (it->module != module) {
            ++it;
            continue;
        }
        found = true;
        if (OnScriptFiber() && g_running == &*it) {
            it->dropWhenSuspended = true;  // cannot delete the running fiber
            ++it;
            continue;
        }
        if (it->fiber != nullptr) DeleteFiber(it->fiber);
        it = g_scripts.erase(it);
    }
    if (!found) ++g_unregisterUnknown;
}

void HostScriptWait(DWORD ms) {
    if (!OnScriptFiber()) {
        std::lock_guard<std::mutex> hold(g_lock);
        ++g_waitsOffFiber;
        return;
    }
    {
        std::lock_guard<std::mutex> hold(g_lock);
        ++g_waits;
        if (ms != 0) ++g_nonZeroWaits;
        g_running->wakeAt = GetTickCount64() + ms;
    }
    SwitchToFiber(g_mainFiber);
}

void HostNativeInit(uint64_t hash) {
    t_call.hash = hash;
    t_call.count = 0;
    t_call.overflow = false;
}

void HostNativePush64(uint64_t value) {
    if (t_call.count < kMaxArgs) {
        t_call.args[t_call.count++] = value;
    } else {
        t_call.overflow = true;
    }
}

uint64_t* HostNativeCall() {
    std::fill(std::begin(t_call.result), std::end(t_call.result), 0);
    bool onFiber = OnScriptFiber();
    std::lock_guard<std::mutex> hold(g_lock);
    ++g_nativesTotal;
    if (!onFiber) ++g_nativesOffFiber;
    if (t_call.overflow) ++g_nativeArgOverflows;
    NativeStats& stats = g_natives[t_call.hash];
    ++stats.count;
    if (!onFiber) ++stats.offFiber;
    stats.lastArgs.assign(t_call.args, t_call.args + t_call.count);
    if (!testsupport::HandleSimNative(g_world, t_call.hash, t_call.args, t_call.count, t_call.result))
        ++g_nativesUnknown;
    return t_call.result;
}

// ---- The stand-in game's controls -----------------------------------------

int StandInLoadPlugins() {
    std::wstring folder = OwnFolder();
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*.asi").c_str(), &found);
    int loaded = 0;
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        Plugin plugin;
        plugin.path = folder + found.cFileName;
        plugin.module = LoadLibraryW(plugin.path.c_str());
        plugin.loadError = plugin.module != nullptr ? 0 : GetLastError();
        if (plugin.module != nullptr) ++loaded;
        std::lock_guard<std::mutex> hold(g_lock);
        g_plugins.push_back(plugin);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return loaded;
}

void StandInRunScripts() {
    if (g_mainFiber == nullptr) {
        g_mainFiber = ConvertThreadToFiber(nullptr);
        if (g_mainFiber == nullptr) return;
        g_scriptThread = GetCurrentThreadId();
    }
    {
        std::lock_guard<std::mutex> hold(g_lock);
        RunWorldClock();
    }
    for (auto it = g_scripts.begin(); it != g_scripts.end(); ++it) {
        Script* script = &*it;
        if (script->returned || script->dropWhenSuspended) continue;
        if (GetTickCount64() < script->wakeAt) continue;
        if (script->fiber == nullptr) {
            // Generous stack: the plug-in sets up Direct3D 12 on this fiber.
            script->fiber = CreateFiberEx(64 * 1024, 8 * 1024 * 1024, 0, &ScriptFiberMain, script);
            if (script->fiber == nullptr) continue;
        }
        g_running = script;
        ++g_passes;
        SwitchToFiber(script->fiber);
        g_running = nullptr;
    }
    // Scripts unregistered from their own fiber go now that it is suspended.
    std::lock_guard<std::mutex> hold(g_lock);
    for (auto it = g_scripts.begin(); it != g_scripts.end();) {
        if (!it->dropWhenSuspended) {
            ++it;
            continue;
        }
        if (it->fiber != nullptr) DeleteFiber(it->fiber);
        it = g_scripts.erase(it);
    }
}

int StandInUnloadPlugins() {
    int unloaded = 0;
    for (Plugin& plugin : g_plugins) {
        if (plugin.module == nullptr) continue;
        g_unloading = true;
        BOOL freed = FreeLibrary(plugin.module);
        g_unloading = false;
        if (freed) ++unloaded;
        // The plug-in's detach unregisters its script; a script left behind
        // would resume into unloaded code, so it is dropped here and counted.
        std::lock_guard<std::mutex> hold(g_lock);
        for (auto it = g_scripts.begin(); it != g_scripts.end();) {
            if (it->module != plugin.module) {
                ++it;
                continue;
            }
            ++g_scriptsLeftAfterUnload;
            if (it->fiber != nullptr) DeleteFiber(it->fiber);
            it = g_scripts.erase(it);
        }
        plugin.module = nullptr;
    }
    std::lock_guard<std::mutex> hold(g_lock);
    g_unloads += static_cast<uint64_t>(unloaded);
    return unloaded;
}

int StandInDescribe(char* text, int capacity) {
    if (text == nullptr || capacity <= 0) return 0;
    std::string out;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        uint64_t loaded = 0, failed = 0, lastError = 0;
        for (const Plugin& plugin : g_plugins) {
            if (plugin.module != nullptr) ++loaded;
            if (plugin.loadError != 0) {
                ++failed;
                lastError = plugin.loadError;
            }
        }
        AppendLine(out, "host_plugins_found", g_plugins.size());
        AppendLine(out, "host_plugins_loaded", loaded);
        AppendLine(out, "host_plugins_failed", failed);
        AppendLine(out, "host_plugin_load_error", lastError);
        AppendLine(out, "host_scripts", g_scripts.size());
        AppendLine(out, "host_register_calls", g_registerCalls);
        AppendLine(out, "host_unregister_calls", g_unregisterCalls);
        AppendLine(out, "host_unregister_during_unload", g_unregisterDuringUnload);
        AppendLine(out, "host_unregister_unknown", g_unregisterUnknown);
        AppendLine(out, "host_scripts_left_after_unload", g_scriptsLeftAfterUnload);
        AppendLine(out, "host_unloads", g_unloads);
        AppendLine(out, "host_passes", g_passes);
        AppendLine(out, "host_waits", g_waits);
        AppendLine(out, "host_waits_nonzero", g_nonZeroWaits);
        AppendLine(out, "host_waits_off_fiber", g_waitsOffFiber);
        AppendLine(out, "host_scripts_returned", g_scriptsReturned);
        AppendLine(out, "host_natives_total", g_nativesTotal);
        AppendLine(out, "host_natives_off_fiber", g_nativesOffFiber);
        AppendLine(out, "host_natives_unknown", g_nativesUnknown);
        AppendLine(out, "host_native_arg_overflows", g_nativeArgOverflows);
        AppendLine(out, "host_native_hashes", g_natives.size());
        // The world's state that the editor's game controls change.
        AppendLine(out, "world_hud_visible", g_world.hudVisible ? 1 : 0);
        AppendLine(out, "world_radar_visible", g_world.radarVisible ? 1 : 0);
        AppendLine(out, "world_blackout", g_world.blackout ? 1 : 0);
        AppendLine(out, "world_clock_paused", g_world.clockPaused ? 1 : 0);
        AppendLine(out, "world_clock_sets", g_world.clockSets);
        AppendLine(out, "world_clock_seconds", static_cast<uint64_t>(g_world.clockHours * 3600 +
                                                                     g_world.clockMinutes * 60 + g_world.clockSeconds));
        AppendLine(out, "world_weather_changes", g_world.weatherChanges);
        AppendLine(out, "world_unknown_hashes", g_world.unknownHashes.size());
        AppendLine(out, "world_faults", g_world.faults.size());
        out += "world_weather=" + g_world.weather + "\n";
        for (size_t i = 0; i < g_world.faults.size() && i < 20; ++i) out += "world_fault=" + g_world.faults[i] + "\n";
        // One line per hash: count, calls off the script fiber, last arguments.
        for (const auto& [hash, stats] : g_natives) {
            char line[96];
            std::snprintf(line, sizeof line, "native_%016" PRIX64 "=%" PRIu64 " off=%" PRIu64 " args=", hash,
                          stats.count, stats.offFiber);
            out += line;
            for (size_t i = 0; i < stats.lastArgs.size(); ++i) {
                std::snprintf(line, sizeof line, "%s%" PRIX64, i == 0 ? "" : ",", stats.lastArgs[i]);
                out += line;
            }
            out += '\n';
        }
    }
    int n = static_cast<int>(std::min<size_t>(out.size(), static_cast<size_t>(capacity - 1)));
    std::copy(out.begin(), out.begin() + n, text);
    text[n] = '\0';
    return n;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
    return TRUE;
}
