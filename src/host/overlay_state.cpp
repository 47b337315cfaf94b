#include "host/overlay_state.h"

#include <imgui.h>

#include <algorithm>

#include "core/editor_state.h"
#include "core/folder_picker.h"
#include "ui/main_window.h"

namespace host {

OverlayState Overlay;


void SuspendMenu() {
    core::Editor.MenuOpen.Set(0);
    core::Editor.MenuCooldownFrames.Set(kMenuCooldownFrames);
    core::Editor.MenuSuspended.Set(1);
    Overlay.DisplayStableFrames.Set(0);
    ui::MainWindow.MainWindowSizeFitted = false;
}

void RaiseOverlaySkipFrames(int32_t frames) {
    if (Overlay.OverlaySkipFrames.Get() < frames) Overlay.OverlaySkipFrames.Set(frames);
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
        const uint32_t lastW = Overlay.LastDisplayWidth.Get();
        const uint32_t lastH = Overlay.LastDisplayHeight.Get();
        bool changed = false;
        bool stable = false;
        if (lastW != 0 && lastH != 0) {
            const uint32_t dw = w > lastW ? w - lastW : lastW - w;
            const uint32_t dh = h > lastH ? h - lastH : lastH - h;
            changed = dw > 1 || dh > 1;
            stable = !changed;
        }
        if (changed) {
            core::Editor.MenuOpen.Set(0);
            core::Editor.MenuCooldownFrames.Set(kMenuCooldownFrames);
            core::Editor.MenuSuspended.Set(1);
            ui::MainWindow.MainWindowSizeFitted = false;
        }
        if (stable && Overlay.DisplayStableFrames.Get() < kDisplayStableFramesNeeded) Overlay.DisplayStableFrames.FetchAdd(1);
        if (changed || !stable) Overlay.DisplayStableFrames.Set(0);
        Overlay.LastDisplayWidth.Set(w);
        Overlay.LastDisplayHeight.Set(h);
    }
    if (core::Editor.MenuCooldownFrames.Get() > 0) core::Editor.MenuCooldownFrames.FetchSub(1);
    if (core::Editor.MenuSuspended.Get() != 0 && core::Editor.MenuCooldownFrames.Get() < 1 &&
        Overlay.DisplayStableFrames.Get() >= kDisplayStableFramesNeeded)
        core::Editor.MenuSuspended.Set(0);
    if (core::Editor.MenuSuspended.Get() != 0 || core::Editor.MenuCooldownFrames.Get() >= 1) {
        core::Editor.MenuOpen.Set(0);
        io.ClearInputKeys();
        io.ClearInputMouse();
        io.MouseDrawCursor = false;
    }
}

bool SoftwareCursorWanted() {
    return core::Editor.MenuOpen.Get() != 0 && core::FolderPicker.FolderDialogOpen.Get() == 0 && core::Editor.MenuSuspended.Get() == 0 &&
           core::Editor.MenuCooldownFrames.Get() <= 0;
}

void DefaultDisplaySizeWhenEmpty(ImGuiIO& io) {
    if (io.DisplaySize.x <= 0.0f || io.DisplaySize.y <= 0.0f) io.DisplaySize = ImVec2(1920.0f, 1080.0f);
}

PresentGate EnterPresentGate() {
    PresentGate gate;
    if (Overlay.OverlayBusy.Get() != 0) return gate;
    if (!Overlay.OverlayMutex.try_lock()) return gate;
    gate.draw = true;
    gate.locked = true;
    return gate;
}

void LeavePresentGate(const PresentGate& gate) {
    if (gate.locked) Overlay.OverlayMutex.unlock();
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
    if (Overlay.BindAttempted.Get() != 0) {
        const uint64_t last = Overlay.LastBindAttemptMs.Get();
        if (nowMs >= last && nowMs - last < kVisualSettingsBindRetryMs) return false;
    }
    Overlay.BindAttempted.Set(1);
    Overlay.LastBindAttemptMs.Set(nowMs);
    return true;
}

void ResetVisualSettingsBindRetry() {
    Overlay.BindAttempted.Set(0);
    Overlay.LastBindAttemptMs.Set(0);
}

bool OverlaySetupDue(uint64_t nowMs) {
    // A clock that went back does not block the set-up for ever.
    return Overlay.SetupWaitMs == 0 || nowMs >= Overlay.SetupNotBeforeMs || nowMs < Overlay.SetupFailedAtMs;
}

void OverlaySetupFailed(uint64_t nowMs, const char* step) {
    Overlay.SetupWaitMs = Overlay.SetupWaitMs == 0 ? kOverlaySetupRetryFirstMs
                                       : std::min(Overlay.SetupWaitMs * 2, kOverlaySetupRetryMaxMs);
    Overlay.SetupFailedAtMs = nowMs;
    Overlay.SetupNotBeforeMs = nowMs + Overlay.SetupWaitMs;
    SetOverlayStatus(std::string("Overlay set-up failed at the ") + (step ? step : "unknown") +
                     " step; next try in " + std::to_string(Overlay.SetupWaitMs / 1000) + " s.");
}

void OverlaySetupSucceeded() {
    Overlay.SetupWaitMs = 0;
    SetOverlayStatus("Overlay ready.");
}

std::string OverlayStatus() {
    std::lock_guard<std::mutex> lock(Overlay.StatusMutex);
    return Overlay.Status;
}

void SetOverlayStatus(const std::string& text) {
    std::lock_guard<std::mutex> lock(Overlay.StatusMutex);
    Overlay.Status = text;
}

void ResetOverlayState() {
    Overlay.SetupWaitMs = 0;
    Overlay.SetupNotBeforeMs = Overlay.SetupFailedAtMs = 0;
    SetOverlayStatus(kOverlayStatusAtStart);
    Overlay.LastDisplayWidth.Set(0);
    Overlay.LastDisplayHeight.Set(0);
    Overlay.DisplayStableFrames.Set(0);
    Overlay.OverlaySkipFrames.Set(0);
    Overlay.OverlayBusy.Set(0);
    ResetVisualSettingsBindRetry();
}

}  // namespace host
