// The overlay render path's decisions, kept apart from the Direct3D 12 and
// Win32 calls (overlay_win.cpp) so that they run and are tested on every
// platform: the menu suspension after resizes and display changes, the
// Present gate, the order of a resize detour, when the per-buffer objects
// must be rebuilt, which fence value a reuse has to wait for, the SRV
// descriptor slots handed to the UI renderer, the rates of the overlay
// set-up retry and of the visualsettings address retry, and the overlay's
// status line.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/shared_value.h"

struct ImGuiIO;

namespace host {

// Frames the menu stays closed after a resize or display change, and how
// many consecutive drawn frames must keep the display size before it may
// open again.
inline constexpr int32_t kMenuCooldownFrames = 90;
inline constexpr int32_t kDisplayStableFramesNeeded = 18;
// The HRESULT the resize detours return when the game's method is unknown.
inline constexpr int32_t kEFail = static_cast<int32_t>(0x80004005u);

inline constexpr int kUiInputWaitMs = 100;
inline constexpr const char* kOverlayStatusAtStart = "Overlay not set up yet.";

// The overlay's state. The display and frame counts and the busy flag are
// shared by the render thread and the resize detours (which may run on
// another thread); the set-up retry is the render thread's only; the status
// line is read by any thread under StatusMutex. The locks are never reset.
struct OverlayState {
    // Display size of the previous drawn frame in whole pixels (0 before the first).
    core::SharedValue<uint32_t> LastDisplayWidth{0};
    core::SharedValue<uint32_t> LastDisplayHeight{0};
    // Consecutive drawn frames whose display size stayed within 1 pixel (0 .. 18).
    core::SharedValue<int32_t> DisplayStableFrames{0};
    // Frames still to present without drawing after the per-buffer objects were rebuilt.
    core::SharedValue<int32_t> OverlaySkipFrames{0};
    // A resize detour is running: Present passes straight through.
    core::SharedValue<uint8_t> OverlayBusy{0};
    // Guards the render objects between Present and the resize detours
    // (Present only try-locks it).
    std::mutex OverlayMutex;
    // Guards the UI context's input queue between the window procedure (which
    // feeds it, on the window's thread) and the UI part of a frame (which
    // consumes it, on the render thread). Held only around those two; the window
    // procedure waits for it a bounded time only (kUiInputWaitMs), so a render
    // thread that makes the system talk to the window can never deadlock with it.
    std::timed_mutex UiInputMutex;
    // The visualsettings address retry: the last attempt (see VisualSettingsBindDue).
    core::SharedValue<uint64_t> LastBindAttemptMs{0};
    core::SharedValue<uint8_t> BindAttempted{0};
    // The set-up retry (render thread only): 0 wait = no failure since the last success.
    uint64_t SetupNotBeforeMs = 0;
    uint64_t SetupFailedAtMs = 0;
    uint64_t SetupWaitMs = 0;
    // The overlay's status line, under StatusMutex.
    std::mutex StatusMutex;
    std::string Status = kOverlayStatusAtStart;
};
extern OverlayState Overlay;

// Closes the menu and blocks it: cooldown 90, suspended, stable count 0,
// the main window's size to be fitted anew.
void SuspendMenu();
// At least frames frames are presented without overlay from now on.
void RaiseOverlaySkipFrames(int32_t frames);

// A UI display extent as whole pixels: rounded, 0 when not above 0.
uint32_t DisplayPixels(float extent);
// Once per drawn frame before the UI's new frame: follows the display size
// (a change of more than 1 pixel suspends the menu), counts the cooldown
// and the stable frames down and up, lifts the suspension when both allow,
// and while the menu is blocked keeps it closed and clears the UI's
// keyboard and mouse input.
void UpdateOverlayInput(ImGuiIO& io);
// Whether the UI draws its own mouse cursor this frame.
bool SoftwareCursorWanted();
// A frame's UI display size: a minimised window (0 or less) lays out as 1920 x 1080.
void DefaultDisplaySizeWhenEmpty(ImGuiIO& io);

// ---- Present gate -----------------------------------------------------------------

struct PresentGate {
    bool draw = false;    // the overlay may draw this frame
    bool locked = false;  // this call holds OverlayMutex
};
// Busy resize: pass through without touching the lock. Lock taken
// elsewhere: pass through. Otherwise draw, holding the lock.
PresentGate EnterPresentGate();
void LeavePresentGate(const PresentGate& gate);

// ---- Resize detours -----------------------------------------------------------------

// The order of HookedResizeBuffers and HookedResizeBuffers1: busy, then under
// the lock wait for the GPU and drop the per-buffer objects; the game's own
// resize outside the lock; then under the lock the menu suspension; busy off.
// callGame returns the game's result (kEFail when its method is unknown).
template <typename WaitGpu, typename CallGame>
int32_t RunResizeDetour(WaitGpu waitGpuIdle, CallGame callGame) {
    Overlay.OverlayBusy = 1;
    {
        std::lock_guard<std::mutex> lock(Overlay.OverlayMutex);
        waitGpuIdle();
    }
    const int32_t result = callGame();
    {
        std::lock_guard<std::mutex> lock(Overlay.OverlayMutex);
        SuspendMenu();
    }
    Overlay.OverlayBusy = 0;
    return result;
}

// ---- Per-buffer objects ----------------------------------------------------------------

// What the per-buffer objects were built for, or what the swap chain is now.
// tag: the overlay's mark stored in the swap chain when it built them (0
// when the swap chain keeps no mark): a swap chain the game released and
// created anew may come back at the same address, but never with the mark.
struct SwapChainShape {
    const void* swapChain = nullptr;
    uint32_t bufferCount = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t tag = 0;
};
enum class FrameRebuild : uint8_t {
    None,          // the objects fit the swap chain
    NewSwapChain,  // another swap chain of the same size and buffer count: rebuilt, the menu stays
    NewShape,      // none exist, or the buffer count or size changed: rebuilt after a menu suspension
};
// Whether the objects must be (re)built: the render target views name the
// buffers of the swap chain they were made for.
FrameRebuild FrameContextsRebuildNeeded(bool haveRows, bool haveRtvHeap, const SwapChainShape& built,
                                        const SwapChainShape& now);

// The overlay signals its own fence after each submission, with values 1,
// 2, 3, ...; each row remembers the value of its last submission.
// Before a row's allocator is reset, the GPU must have passed that row's
// last submission and, because the UI renderer cycles its vertex buffers
// over rendererFrames frames, the submission rendererFrames - 1 before the
// next one. Returns the fence value to wait for (0: nothing to wait for).
uint64_t FenceValueBeforeRecording(uint64_t rowFenceValue, uint64_t lastSignalled, uint32_t rendererFrames);

// ---- Shader-visible descriptors for the UI renderer's textures -----------------------

// The font atlas texture is replaced by a larger one when it grows, so for
// a moment two textures (two descriptors) are alive.
inline constexpr uint32_t kOverlaySrvDescriptors = 16;
struct DescriptorSlots {
    uint32_t used = 0;  // bit i: slot i is taken
};
// The lowest free slot, marked used; -1 when all are taken.
int32_t AllocateDescriptorSlot(DescriptorSlots& slots);
// Frees a slot; slots out of range or not taken are ignored.
void FreeDescriptorSlot(DescriptorSlots& slots, int32_t slot);

// ---- Visualsettings address retry -------------------------------------------------------

// While the "after" view of the visualsettings needs a game address that
// the binding has not found, the binding (which searches the game image)
// is retried at most once per interval instead of on every frame.
inline constexpr uint64_t kVisualSettingsBindRetryMs = 2000;
// True when a retry is due at nowMs; records the attempt.
bool VisualSettingsBindDue(uint64_t nowMs);
// Forgets the last attempt (a retry is due at once).
void ResetVisualSettingsBindRetry();

// ---- Overlay set-up retries and status ---------------------------------------------------

// A set-up that fails once the game's queue is known (UI context, font
// files, back ends: too costly for every frame) is tried again only after
// a wait that starts at 1 s and doubles up to 30 s; a success starts over.
inline constexpr uint64_t kOverlaySetupRetryFirstMs = 1000;
inline constexpr uint64_t kOverlaySetupRetryMaxMs = 30000;
// True when an attempt may run at nowMs.
bool OverlaySetupDue(uint64_t nowMs);
// Records a failed attempt (the name of the step that failed) or a
// successful one, and says so in the overlay status.
void OverlaySetupFailed(uint64_t nowMs, const char* step);
void OverlaySetupSucceeded();
// The overlay's status line ("Overlay not set up yet." at first), safe to
// read from any thread; SetOverlayStatus replaces it.
std::string OverlayStatus();
void SetOverlayStatus(const std::string& text);

// All of the above back to process-start values (tests, and the unload).
void ResetOverlayState();

}  // namespace host
