#include "host/overlay_state.h"

#include <imgui.h>

#include <algorithm>

#include "core/editor_state.h"
#include "core/folder_picker.h"
#include "ui/main_window.h"

namespace host {

std::atomic<uint32_t> LastDisplayWidth{0};
std::atomic<uint32_t> LastDisplayHeight{0};
std::atomic<int32_t> DisplayStableFrames{0};
std::atomic<int32_t> OverlaySkipFrames{0};
std::atomic<uint8_t> OverlayBusy{0};
std::mutex OverlayMutex;
std::timed_mutex UiInputMutex;

namespace {
std::atomic<uint64_t> g_lastBindAttemptMs{0};
std::atomic<uint8_t> g_bindAttempted{0};

// Set-up retries: render thread only.
uint64_t g_setupNotBeforeMs = 0;
uint64_t g_setupFailedAtMs = 0;
uint64_t g_setupWaitMs = 0;  // 0: no failure since the last success

constexpr const char* kOverlayStatusAtStart = "Overlay not set up yet.";
std::mutex g_statusMutex;
std::string g_status = kOverlayStatusAtStart;
}  // namespace

void SuspendMenu() {
    core::MenuOpen.store(0);
    core::MenuCooldownFrames.store(kMenuCooldownFrames);
    core::MenuSuspended.store(1);
    DisplayStableFrames.store(0);
    ui::MainWindowSizeFitted = false;
}

void RaiseOverlaySkipFrames(int32_t frames) {
    if (OverlaySkipFrames.load() < frames) OverlaySkipFrames.store(frames);
}

uint32_t DisplayPixels(float extent) {
    if (!(extent > 0.0f)) return 0;
    const float rounded = extent + 0.5f;
    if (rounded >= 4294967040.0f) return 0xFFFFFF00u;
    return static_cast<uint32_t>(rounded);
}

void UpdateOverlayInput(ImGuiIO& io) {
    const uint32_t w = DisplayPixels(io.DisplaySize.x);
    const uint32_t h = DisplayPixels(io.DisplaySize.y);
    if (w != 0 && h != 0) {
        const uint32_t lastW = LastDisplayWidth.load();
        const uint32_t lastH = LastDisplayHeight.load();
        bool changed = false;
        bool stable = false;
        if (lastW != 0 && lastH != 0) {
            const uint32_t dw = w > lastW ? w - lastW : lastW - w;
            const uint32_t dh = h > lastH ? h - lastH : lastH - h;
            changed = dw > 1 || dh > 1;
            stable = !changed;
        }
        if (changed) {
            core::MenuOpen.store(0);
            core::MenuCooldownFrames.store(kMenuCooldownFrames);
            core::MenuSuspended.store(1);
            ui::MainWindowSizeFitted = false;
        }
        if (stable && DisplayStableFrames.load() < kDisplayStableFramesNeeded) DisplayStableFrames.fetch_add(1);
        if (changed || !stable) DisplayStableFrames.store(0);
        LastDisplayWidth.store(w);
        LastDisplayHeight.store(h);
    }
    if (core::MenuCooldownFrames.load() > 0) core::MenuCooldownFrames.fetch_sub(1);
    if (core::MenuSuspended.load() != 0 && core::MenuCooldownFrames.load() < 1 &&
        DisplayStableFrames.load() >= kDisplayStableFramesNeeded)
        core::MenuSuspended.store(0);
    if (core::MenuSuspended.load() != 0 || core::MenuCooldownFrames.load() >= 1) {
        core::MenuOpen.store(0);
        io.ClearInputKeys();
        io.ClearInputMouse();
        io.MouseDrawCursor = false;
    }
}

bool SoftwareCursorWanted() {
    return core::MenuOpen.load() != 0 && core::FolderDialogOpen.load() == 0 && core::MenuSuspended.load() == 0 &&
           core::MenuCooldownFrames.load() <= 0;
}

void DefaultDisplaySizeWhenEmpty(ImGuiIO& io) {
    if (io.DisplaySize.x <= 0.0f || io.DisplaySize.y <= 0.0f) io.DisplaySize = ImVec2(1920.0f, 1080.0f);
}

PresentGate EnterPresentGate() {
    PresentGate gate;
    if (OverlayBusy.load() != 0) return gate;
    if (!OverlayMutex.try_lock()) return gate;
    gate.draw = true;
    gate.locked = true;
    return gate;
}

void LeavePresentGate(const PresentGate& gate) {
    if (gate.locked) OverlayMutex.unlock();
}

FrameRebuild FrameContextsRebuildNeeded(bool haveRows, bool haveRtvHeap, const SwapChainShape& built,
                                        const SwapChainShape& now) {
    if (!haveRows || !haveRtvHeap || built.bufferCount != now.bufferCount || built.width != now.width ||
        built.height != now.height)
        return FrameRebuild::NewShape;
    if (built.swapChain != now.swapChain || built.tag != now.tag) return FrameRebuild::NewSwapChain;
    return FrameRebuild::None;
}

uint64_t FenceValueBeforeRecording(uint64_t rowFenceValue, uint64_t lastSignalled, uint32_t rendererFrames) {
    uint64_t needed = rowFenceValue;
    if (rendererFrames > 0 && lastSignalled + 1 > rendererFrames) {
        const uint64_t ring = lastSignalled + 1 - rendererFrames;
        if (ring > needed) needed = ring;
    }
    return needed;
}

int32_t AllocateDescriptorSlot(DescriptorSlots& slots) {
    for (uint32_t i = 0; i < kOverlaySrvDescriptors; ++i) {
        if ((slots.used & (1u << i)) == 0) {
            slots.used |= 1u << i;
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

void FreeDescriptorSlot(DescriptorSlots& slots, int32_t slot) {
    if (slot < 0 || slot >= static_cast<int32_t>(kOverlaySrvDescriptors)) return;
    slots.used &= ~(1u << static_cast<uint32_t>(slot));
}

bool VisualSettingsBindDue(uint64_t nowMs) {
    if (g_bindAttempted.load() != 0) {
        const uint64_t last = g_lastBindAttemptMs.load();
        if (nowMs >= last && nowMs - last < kVisualSettingsBindRetryMs) return false;
    }
    g_bindAttempted.store(1);
    g_lastBindAttemptMs.store(nowMs);
    return true;
}

void ResetVisualSettingsBindRetry() {
    g_bindAttempted.store(0);
    g_lastBindAttemptMs.store(0);
}

bool OverlaySetupDue(uint64_t nowMs) {
    // A clock that went back does not block the set-up for ever.
    return g_setupWaitMs == 0 || nowMs >= g_setupNotBeforeMs || nowMs < g_setupFailedAtMs;
}

void OverlaySetupFailed(uint64_t nowMs, const char* step) {
    g_setupWaitMs = g_setupWaitMs == 0 ? kOverlaySetupRetryFirstMs
                                       : std::min(g_setupWaitMs * 2, kOverlaySetupRetryMaxMs);
    g_setupFailedAtMs = nowMs;
    g_setupNotBeforeMs = nowMs + g_setupWaitMs;
    SetOverlayStatus(std::string("Overlay set-up failed at the ") + (step ? step : "unknown") +
                     " step; next try in " + std::to_string(g_setupWaitMs / 1000) + " s.");
}

void OverlaySetupSucceeded() {
    g_setupWaitMs = 0;
    SetOverlayStatus("Overlay ready.");
}

std::string OverlayStatus() {
    std::lock_guard<std::mutex> lock(g_statusMutex);
    return g_status;
}

void SetOverlayStatus(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_statusMutex);
    g_status = text;
}

void ResetOverlayState() {
    g_setupWaitMs = 0;
    g_setupNotBeforeMs = g_setupFailedAtMs = 0;
    SetOverlayStatus(kOverlayStatusAtStart);
    LastDisplayWidth.store(0);
    LastDisplayHeight.store(0);
    DisplayStableFrames.store(0);
    OverlaySkipFrames.store(0);
    OverlayBusy.store(0);
    ResetVisualSettingsBindRetry();
}

}  // namespace host
