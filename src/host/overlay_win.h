// Windows only: the overlay's Direct3D 12 and Win32 objects, shared by the
// render-path detours (overlay_win.cpp), the window procedure
// (wndproc_win.cpp) and the throw-away objects of the start-up
// (presentation_probe_win.cpp). Included only by *_win.cpp files.
#pragma once
#include "platform/windows/win32.h"
// The Direct3D headers after windows.h.
#include <d3d12.h>
#include <dxgi1_4.h>

#include <cstdint>

#include "core/shared_value.h"
#include "host/host_services.h"

struct ImGuiContext;

namespace host {

// The overlay's objects shared between threads: the render thread's
// detours, the window procedure (the window's thread) and the unload.
struct OverlayWinState {
    // The game's direct command queue, the first one seen (no reference held).
    core::SharedValue<ID3D12CommandQueue*> OverlayQueue{nullptr};
    // The first-frame set-up has completed.
    core::SharedValue<uint8_t> OverlayInitialized{0};
    // The UI context of the overlay (null before the set-up and after the unload).
    core::SharedValue<ImGuiContext*> OverlayUiContext{nullptr};
    // The window the UI reads its input from, and the procedure it had before
    // HookedWndProc replaced it (null until then).
    core::SharedValue<HWND> GameWindow{nullptr};
    core::SharedValue<WNDPROC> GameWindowProc{nullptr};
};
extern OverlayWinState OverlayWin;
// Everything above back to null (tests).
void ResetOverlayWinState();

// The detours.
HRESULT STDMETHODCALLTYPE HookedPresent(IDXGISwapChain* swapChain, UINT syncInterval, UINT flags);
HRESULT STDMETHODCALLTYPE HookedResizeBuffers(IDXGISwapChain* swapChain, UINT bufferCount, UINT width, UINT height,
                                              DXGI_FORMAT format, UINT flags);
HRESULT STDMETHODCALLTYPE HookedResizeBuffers1(IDXGISwapChain3* swapChain, UINT bufferCount, UINT width, UINT height,
                                               DXGI_FORMAT format, UINT flags, const UINT* nodeMasks,
                                               IUnknown* const* presentQueues);
void STDMETHODCALLTYPE HookedExecuteCommandLists(ID3D12CommandQueue* queue, UINT count,
                                                 ID3D12CommandList* const* lists);
LRESULT CALLBACK HookedWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Unload steps (see HostServices).
void RestoreGameWindowProc();
void ReleaseOverlay();

// The throw-away objects of the start-up.
bool OpenPresentationProbe(PresentationMethods& methods);
void ClosePresentationProbe();

// Everything above as the table the start-up and the unload use.
HostServices WindowsHostServices();

}  // namespace host
