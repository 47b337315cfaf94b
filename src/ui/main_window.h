// The editor's main window and the small FPS overlay: the whole UI of one
// overlay frame (render thread, between the UI library's new frame and its
// render).
#pragma once
#include <cstdint>

#include "core/settings.h"
#include "core/shared_value.h"

namespace ui {

// The main window's state. Render thread, except the two shared flags:
// the resize detours clear MainWindowSizeFitted and a new device clears
// MainWindowShown.
struct MainWindowState {
    // The main window was drawn on the previous frame.
    core::SharedValue<bool> MainWindowShown{false};
    // MenuWidth and MenuHeight have been fitted to the display. Cleared by every
    // menu suspension (resize, display change), set here and by the Settings
    // tab's "Reset defaults".
    core::SharedValue<bool> MainWindowSizeFitted{false};
    // The UI display size when the window was last drawn (while it is closed:
    // on the last frame).
    float MainWindowDisplayWidth = 0.0f;
    float MainWindowDisplayHeight = 0.0f;
    // FPS record: smoothed frame time in milliseconds (0 = not started), the
    // values on display and when they were taken (TickCount64 ms, 0 = never).
    float FpsAverageMs = 0.0f;
    float FpsShownFps = 0.0f;
    float FpsShownAverage = 0.0f;
    uint64_t FpsShownStamp = 0;
};
extern MainWindowState MainWindow;
// Everything above as at process start (tests).
void ResetMainWindowState();

// One overlay frame's UI: scale and opacity from the settings, the FPS
// overlay, and while Editor.MenuOpen the main window with its header and tabs.
void DrawMainWindow();
// Restarts the FPS average; the next frame shows fresh values at once.
void ResetFpsCounters();

// ---- Size and position rules of the main window --------------------------------

struct MainWindowLimits {
    float minWidth;
    float maxWidth;
    float minHeight;
    float maxHeight;
};
// The size range the window is held to on a display of width x height.
MainWindowLimits MainWindowLimitsFor(float displayWidth, float displayHeight);
// size brought into the limits (minimum first, then maximum).
core::MainWindowSize ClampMainWindowSize(core::MainWindowSize size, const MainWindowLimits& limits);
// Where the window opens: 70, 30 unless the display leaves less room.
struct MainWindowPos {
    float x;
    float y;
};
MainWindowPos MainWindowOpenPosition(float displayWidth, float displayHeight, core::MainWindowSize size);
// The next smoothed frame time: the first sample starts the average.
float SmoothedFrameTimeMs(float averageMs, float frameMs);

}  // namespace ui
