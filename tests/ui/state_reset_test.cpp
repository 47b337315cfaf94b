// Each module of the UI keeps its mutable state in one structure, and its
// reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "ui/fonts.h"
#include "ui/main_window.h"

namespace {

TEST(UiStateReset, Fonts) {
    static char font = 0;  // never dereferenced
    ui::Fonts.MainFont = reinterpret_cast<ImFont*>(&font);
    ui::Fonts.HeaderFont = reinterpret_cast<ImFont*>(&font);
    ui::ResetFontsState();
    EXPECT_EQ(ui::Fonts.MainFont, nullptr);
    EXPECT_EQ(ui::Fonts.HeaderFont, nullptr);
    EXPECT_EQ(ui::CurrentHeaderFont(), nullptr);
}

TEST(UiStateReset, MainWindow) {
    ui::MainWindowState& s = ui::MainWindow;
    s.MainWindowShown = true;
    s.MainWindowSizeFitted = true;
    s.MainWindowDisplayWidth = 1920.0f;
    s.MainWindowDisplayHeight = 1080.0f;
    s.FpsAverageMs = 16.0f;
    s.FpsShownFps = 60.0f;
    s.FpsShownAverage = 59.0f;
    s.FpsShownStamp = 1234;
    ui::ResetMainWindowState();
    EXPECT_FALSE(s.MainWindowShown);
    EXPECT_FALSE(s.MainWindowSizeFitted);
    EXPECT_EQ(s.MainWindowDisplayWidth, 0.0f);
    EXPECT_EQ(s.MainWindowDisplayHeight, 0.0f);
    EXPECT_EQ(s.FpsAverageMs, 0.0f);
    EXPECT_EQ(s.FpsShownFps, 0.0f);
    EXPECT_EQ(s.FpsShownAverage, 0.0f);
    EXPECT_EQ(s.FpsShownStamp, 0u);
}

}  // namespace
