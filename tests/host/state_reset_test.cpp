// Each module of the host keeps its mutable state in one structure, and its
// reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "host/overlay_state.h"

namespace {

TEST(HostStateReset, Overlay) {
    host::OverlayState& s = host::Overlay;
    s.LastDisplayWidth = 800;
    s.LastDisplayHeight = 600;
    s.DisplayStableFrames = 5;
    s.OverlaySkipFrames = 2;
    s.OverlayBusy = 1;
    s.LastBindAttemptMs = 1234;
    s.BindAttempted = 1;
    host::OverlaySetupFailed(1000, "font");
    ASSERT_NE(host::OverlayStatus(), host::kOverlayStatusAtStart);
    host::ResetOverlayState();
    EXPECT_EQ(s.LastDisplayWidth.Get(), 0u);
    EXPECT_EQ(s.LastDisplayHeight.Get(), 0u);
    EXPECT_EQ(s.DisplayStableFrames.Get(), 0);
    EXPECT_EQ(s.OverlaySkipFrames.Get(), 0);
    EXPECT_EQ(s.OverlayBusy.Get(), 0);
    EXPECT_EQ(s.LastBindAttemptMs.Get(), 0u);
    EXPECT_EQ(s.BindAttempted.Get(), 0);
    EXPECT_EQ(s.SetupNotBeforeMs, 0u);
    EXPECT_EQ(s.SetupFailedAtMs, 0u);
    EXPECT_EQ(s.SetupWaitMs, 0u);
    EXPECT_EQ(host::OverlayStatus(), host::kOverlayStatusAtStart);
    EXPECT_TRUE(host::OverlaySetupDue(0));
    EXPECT_TRUE(host::VisualSettingsBindDue(1));
}

}  // namespace
