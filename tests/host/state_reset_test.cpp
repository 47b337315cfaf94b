// Each module of the host keeps its mutable state in one structure, and its
// reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "host/overlay_state.h"
#include "host/shutdown.h"
#include "host/startup.h"
#include "host/tick.h"

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

TEST(HostStateReset, Startup) {
    host::StartupState& s = host::Startup;
    static int method = 0;
    static const host::HookEngine engine{};
    host::HostServices services;
    services.engine = &engine;
    host::SetHostServices(services);
    s.BootstrapDone = 1;
    s.HookEngineStarted = 1;
    s.GamePresent = &method;
    s.GameResizeBuffers = &method;
    s.GameResizeBuffers1 = &method;
    s.GameExecuteCommandLists = &method;
    host::ResetStartupState();
    EXPECT_EQ(host::CurrentHostServices().engine, nullptr);
    EXPECT_EQ(s.BootstrapDone.Get(), 0);
    EXPECT_EQ(s.HookEngineStarted.Get(), 0);
    EXPECT_EQ(s.GamePresent.Get(), nullptr);
    EXPECT_EQ(s.GameResizeBuffers.Get(), nullptr);
    EXPECT_EQ(s.GameResizeBuffers1.Get(), nullptr);
    EXPECT_EQ(s.GameExecuteCommandLists.Get(), nullptr);
    host::SetHostServices(host::HostServices{});
}

TEST(HostStateReset, Tick) {
    host::Tick.SlotRefreshStamp = 50;
    host::Tick.VisualSettingsRefreshTick = 1;
    host::Tick.PatchesClearedForImport = 1;
    host::ResetTickState();
    EXPECT_EQ(host::Tick.SlotRefreshStamp, 0u);
    EXPECT_EQ(host::Tick.VisualSettingsRefreshTick.Get(), 0);
    EXPECT_EQ(host::Tick.PatchesClearedForImport.Get(), 0);
}

TEST(HostStateReset, Shutdown) {
    host::Shutdown.DetourDrainTimeoutMs = 30;
    host::ResetShutdownState();
    EXPECT_EQ(host::Shutdown.DetourDrainTimeoutMs, 2000u);
}

}  // namespace
