// A fake drive, the editor's settings and flags as at process start, and
// host services that record every call the start-up and the unload make
// (hook engine, throw-away-object probe, window procedure, overlay release).
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/detour_gate.h"
#include "host/editor_state.h"
#include "host/host_services.h"
#include "host/overlay_state.h"
#include "host/shutdown.h"
#include "host/startup.h"
#include "platform/simulated.h"
#include "runtime/block_locators.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "shell/workspace.h"
#include "support/fake_drive.h"

namespace hosttest {

// What the recording services do and saw.
struct Recorder {
    std::vector<std::string> calls;
    bool probeOpens = true;       // the throw-away Direct3D 12 objects can be made
    bool hasSwapChain3 = true;    // the swap chain answers for IDXGISwapChain3
    bool engineInitializes = true;
    // Whole-image searches of the start-up that had run when the throw-away
    // objects were made (the game-address searches come before the hooks).
    int secondarySearchesAtProbe = -1;
    // Four fake method-table entries and what they held before.
    void* table[4] = {};
};

// Marker functions standing for the four detours and the game's methods.
inline void DetourPresent() {}
inline void DetourResizeBuffers() {}
inline void DetourResizeBuffers1() {}
inline void DetourExecuteCommandLists() {}
inline void GameMethod0() {}
inline void GameMethod1() {}
inline void GameMethod2() {}
inline void GameMethod3() {}

class HostTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override;
    void TearDown() override;
    static void ResetHostState();

    static constexpr const char* kVrn = "C:\\Users\\Player\\Documents\\VRN\\";
};

namespace detail {

inline Recorder g_recorder;
// Entries of the engine's own, so that enable/disable can be checked.
struct FakeHook {
    void** slot;
    void* detour;
    void* original;
};
inline std::vector<FakeHook> g_hooks;

inline std::string SlotName(void** slot) {
    for (int i = 0; i < 4; ++i)
        if (slot == &g_recorder.table[i]) return "slot" + std::to_string(i);
    return "slot?";
}

inline std::string DetourName(void* detour) {
    const std::pair<void (*)(), const char*> names[] = {{DetourPresent, "HookedPresent"},
                                                        {DetourResizeBuffers, "HookedResizeBuffers"},
                                                        {DetourResizeBuffers1, "HookedResizeBuffers1"},
                                                        {DetourExecuteCommandLists, "HookedExecuteCommandLists"}};
    for (const auto& [f, name] : names)
        if (detour == reinterpret_cast<void*>(f)) return name;
    return "?";
}

inline void Note(const std::string& call) { g_recorder.calls.push_back(call); }
inline void SetAll(bool detoured) {
    for (FakeHook& h : g_hooks) *h.slot = detoured ? h.detour : h.original;
}
inline bool EngineInitialize() { return Note("engine.initialize"), g_recorder.engineInitializes; }
inline bool EngineCreateHook(void** slot, void* detour, void** original) {
    Note("engine.createHook " + SlotName(slot) + " " + DetourName(detour));
    if (!g_recorder.engineInitializes) return false;
    *original = *slot;
    g_hooks.push_back(FakeHook{slot, detour, *slot});
    return true;
}
inline bool EngineEnableAll() { return Note("engine.enableAll"), SetAll(true), true; }
inline bool EngineDisableAll() { return Note("engine.disableAll"), SetAll(false), true; }
inline void EngineUninitialize() {
    Note("engine.uninitialize");
    SetAll(false);
    g_hooks.clear();
}
inline const host::HookEngine kRecordingEngine = {"recording", EngineInitialize, EngineCreateHook, EngineEnableAll,
                                                  EngineDisableAll, EngineUninitialize};

inline bool ProbeOpen(host::PresentationMethods& methods) {
    Note("probe.open");
    g_recorder.secondarySearchesAtProbe = runtime::SecondaryBlockSearchCountForTesting();
    if (!g_recorder.probeOpens) return false;
    methods.present = &g_recorder.table[0];
    methods.resizeBuffers = &g_recorder.table[1];
    methods.resizeBuffers1 = g_recorder.hasSwapChain3 ? &g_recorder.table[2] : nullptr;
    methods.executeCommandLists = &g_recorder.table[3];
    return true;
}

}  // namespace detail

inline Recorder& Rec() { return detail::g_recorder; }

inline host::HostServices RecordingServices() {
    host::HostServices s;
    s.engine = &detail::kRecordingEngine;
    s.probe.open = detail::ProbeOpen;
    s.probe.close = [] { detail::Note("probe.close"); };
    s.detours.present = reinterpret_cast<void*>(&DetourPresent);
    s.detours.resizeBuffers = reinterpret_cast<void*>(&DetourResizeBuffers);
    s.detours.resizeBuffers1 = reinterpret_cast<void*>(&DetourResizeBuffers1);
    s.detours.executeCommandLists = reinterpret_cast<void*>(&DetourExecuteCommandLists);
    s.restoreWindowProcedure = [] { detail::Note("restoreWindowProcedure"); };
    s.releaseOverlay = [] { detail::Note("releaseOverlay"); };
    return s;
}

inline void HostTest::ResetHostState() {
    detail::g_recorder = Recorder{};
    void (*const methods[4])() = {GameMethod0, GameMethod1, GameMethod2, GameMethod3};
    for (int i = 0; i < 4; ++i) detail::g_recorder.table[i] = reinterpret_cast<void*>(methods[i]);
    detail::g_hooks.clear();
    host::SetHostServices(host::HostServices{});
    host::BootstrapDone = 0;
    host::HookEngineStarted = 0;
    host::GamePresent = nullptr;
    host::GameResizeBuffers = nullptr;
    host::GameResizeBuffers1 = nullptr;
    host::GameExecuteCommandLists = nullptr;
    host::DetourDrainTimeoutMs = 2000;
    host::MenuOpen = 0;
    host::MenuSuspended = 0;
    host::MenuCooldownFrames = 0;
    host::ResetOverlayState();
    runtime::ResetBlockLocatorsForTesting();
    shell::MainWindowShown = false;
    shell::MainWindowSizeFitted = false;
    shell::ResetSettingsState();
    platform::sim::ReleaseAllKeys();
}

inline void HostTest::SetUp() {
    FakeDriveTest::SetUp();
    ResetHostState();
    host::SetHostServices(RecordingServices());
}

inline void HostTest::TearDown() {
    ResetHostState();
    FakeDriveTest::TearDown();
}

}  // namespace hosttest
