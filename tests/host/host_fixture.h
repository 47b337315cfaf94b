// A fake drive, the editor's settings and flags as at process start, and
// host services that record every call the start-up and the unload make
// (hook engine, throw-away-object probe, window procedure, overlay release).
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/editor_state.h"
#include "core/settings.h"
#include "core/workspace.h"
#include "host/detour_gate.h"
#include "host/host_services.h"
#include "host/overlay_state.h"
#include "host/shutdown.h"
#include "host/startup.h"
#include "platform/simulated.h"
#include "runtime/block_locators.h"
#include "support/fake_drive.h"
#include "ui/main_window.h"

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
    // Four fake method-table entries (Present, ResizeBuffers, ResizeBuffers1,
    // ExecuteCommandLists), the detour each got, and what they held before.
    void* table[4] = {};
    void* original[4] = {};
    void* detour[4] = {};
};

// Marker functions standing for the four detours and the game's methods.
template <int N>
void Detour() {}
template <int N>
void GameMethod() {}
inline void* Fn(void (*f)()) { return reinterpret_cast<void*>(f); }
inline const char* const kDetourNames[4] = {"HookedPresent", "HookedResizeBuffers", "HookedResizeBuffers1",
                                            "HookedExecuteCommandLists"};

inline Recorder g_recorder;
inline Recorder& Rec() { return g_recorder; }

namespace detail {

inline void Note(const std::string& call) { g_recorder.calls.push_back(call); }
inline bool SetAll(bool detoured) {
    for (int i = 0; i < 4; ++i)
        if (g_recorder.detour[i]) g_recorder.table[i] = detoured ? g_recorder.detour[i] : g_recorder.original[i];
    return true;
}
inline const host::HookEngine kRecordingEngine = {
    "recording",
    [] { return Note("engine.initialize"), g_recorder.engineInitializes; },
    [](void** slot, void* detour, void** original) {
        const int i = static_cast<int>(slot - g_recorder.table);
        const int d = detour == Fn(Detour<0>) ? 0 : detour == Fn(Detour<1>) ? 1 : detour == Fn(Detour<2>) ? 2 : 3;
        Note("engine.createHook slot" + std::to_string(i) + " " + kDetourNames[d]);
        if (!g_recorder.engineInitializes) return false;
        *original = g_recorder.original[i] = *slot;
        g_recorder.detour[i] = detour;
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
    s.detours = {Fn(Detour<0>), Fn(Detour<1>), Fn(Detour<2>), Fn(Detour<3>)};
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
        void (*const methods[4])() = {GameMethod<0>, GameMethod<1>, GameMethod<2>, GameMethod<3>};
        for (int i = 0; i < 4; ++i) g_recorder.table[i] = Fn(methods[i]);
        host::SetHostServices(RecordingServices());
        host::BootstrapDone = 0;
        host::HookEngineStarted = 0;
        for (auto* method : {&host::GamePresent, &host::GameResizeBuffers, &host::GameResizeBuffers1,
                             &host::GameExecuteCommandLists})
            method->store(nullptr);
        host::DetourDrainTimeoutMs = 2000;
        core::MenuOpen = core::MenuSuspended = 0;
        core::MenuCooldownFrames = 0;
        host::ResetOverlayState();
        runtime::ResetBlockLocatorsForTesting();
        ui::MainWindowShown = false;
        ui::MainWindowSizeFitted = false;
        core::ResetSettingsState();
        platform::sim::ReleaseAllKeys();
    }

    static constexpr const char* kVrn = "C:\\Users\\Player\\Documents\\VRN\\";
};

}  // namespace hosttest
