// What the start-up and the unload need from the platform's graphics and
// window glue, as a table of functions: the Windows build fills it with the
// Direct3D 12 and Win32 code (overlay_win.cpp and friends) before the script
// is registered; tests fill it with recording stand-ins. Left empty, the
// start-up finds no Direct3D 12 device and installs no hooks.
#pragma once
#include <atomic>

#include "host/hook_engine.h"

namespace host {

// The method-table entries of the four hooked methods, learnt from
// throw-away objects. resizeBuffers1 is null when the swap chain has no
// IDXGISwapChain3 interface.
struct PresentationMethods {
    void** present = nullptr;              // IDXGISwapChain slot 8
    void** resizeBuffers = nullptr;        // IDXGISwapChain slot 13
    void** resizeBuffers1 = nullptr;       // IDXGISwapChain3 slot 39
    void** executeCommandLists = nullptr;  // ID3D12CommandQueue slot 10
};

// Creates the throw-away window and Direct3D 12 objects and reports their
// method-table entries (open: true when all were created), and releases
// whatever of them exists (close; always called after open).
struct PresentationProbe {
    bool (*open)(PresentationMethods& methods) = nullptr;
    void (*close)() = nullptr;
};

// The editor's replacements of the four methods.
struct OverlayDetours {
    void* present = nullptr;
    void* resizeBuffers = nullptr;
    void* resizeBuffers1 = nullptr;
    void* executeCommandLists = nullptr;
};

struct HostServices {
    const HookEngine* engine = nullptr;  // null: the built-in engine
    PresentationProbe probe;
    OverlayDetours detours;
    // Gives the game window its own procedure back when it was replaced.
    void (*restoreWindowProcedure)() = nullptr;
    // Waits for the overlay's GPU work, shuts the UI back ends down and
    // releases the overlay's Direct3D 12 objects and UI context.
    void (*releaseOverlay)() = nullptr;
    // Whether the game is in front (game::GameIsInFront over the current
    // windows), for the before/after hotkeys; null: the platform's own test.
    bool (*gameWindowInFront)() = nullptr;
};

void SetHostServices(const HostServices& services);
const HostServices& CurrentHostServices();
// The engine in use (the built-in one when none was set).
const HookEngine& CurrentHookEngine();

// The game's own methods (what the detours call for the game's behaviour)
// are kept in StartupState (startup.h).

}  // namespace host
