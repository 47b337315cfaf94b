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
    // A fake method table of Present, ResizeBuffers, ResizeBuffers1 and
    // ExecuteCommandLists: the game's methods are the addresses of game[i],
    // the detours those of detour[i]; hooked[i] once a hook was created.
    void* table[4] = {};
    char game[4] = {}, detour[4] = {};
    bool hooked[4] = {};
};

inline Recorder g_recorder;
inline Recorder& Rec() { return g_recorder; }

namespace detail {

inline void Note(const std::string& call) { g_recorder.calls.push_back(call); }
inline bool SetAll(bool detoured) {
    for (int i = 0; i < 4; ++i)
        if (g_recorder.hooked[i]) g_recorder.table[i] = detoured ? &g_recorder.detour[i] : &g_recorder.game[i];
    return true;
}
inline const host::HookEngine kRecordingEngine = {
    "recording",
    [] { return Note("engine.initialize"), g_recorder.engineInitializes; },
    [](void** slot, void* detour, void** original) {
        const int i = static_cast<int>(slot - g_recorder.table);
        Note("engine.createHook slot" + std::to_string(i) + " detour" +
             std::to_string(static_cast<char*>(detour) - g_recorder.detour));
        if (!g_recorder.engineInitializes) return false;
        *original = *slot;
        g_recorder.hooked[i] = true;
        return true;
    },
    [] { return Note("engine.enableAll"), SetAll(true); },
    [] { return Note("engine.disableAll"), SetAll(false); },
    [] { Note("engine.uninitialize"), SetAll(false); },
};

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

inline host::HostServices RecordingServices() {
    host::HostServices s;
    s.engine = &detail::kRecordingEngine;
    s.probe.open = detail::ProbeOpen;
    s.probe.close = [] { detail::Note("probe.close"); };
    char* detour = g_recorder.detour;
    s.detours = {detour, detour + 1, detour + 2, detour + 3};
    s.restoreWindowProcedure = [] { detail::Note("restoreWindowProcedure"); };
    s.releaseOverlay = [] { detail::Note("releaseOverlay"); };
    return s;
}

class HostTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        ResetHostState();
    }
    void TearDown() override {
        ResetHostState();
        host::SetHostServices(host::HostServices{});
        FakeDriveTest::TearDown();
    }
    // Everything as at process start, with the recording services in place.
    static void ResetHostState() {
        g_recorder = Recorder{};
        for (int i = 0; i < 4; ++i) g_recorder.table[i] = &g_recorder.game[i];
        host::SetHostServices(RecordingServices());
        host::BootstrapDone = 0;
        host::HookEngineStarted = 0;
        for (auto* method : {&host::GamePresent, &host::GameResizeBuffers, &host::GameResizeBuffers1,
                             &host::GameExecuteCommandLists})
            method->store(nullptr);
        host::DetourDrainTimeoutMs = 2000;
        host::MenuOpen = host::MenuSuspended = 0;
        host::MenuCooldownFrames = 0;
        host::ResetOverlayState();
        runtime::ResetBlockLocatorsForTesting();
        shell::MainWindowShown = false;
        shell::MainWindowSizeFitted = false;
        shell::ResetSettingsState();
        platform::sim::ReleaseAllKeys();
    }

    static constexpr const char* kVrn = "C:\\Users\\Player\\Documents\\VRN\\";
};

}  // namespace hosttest
