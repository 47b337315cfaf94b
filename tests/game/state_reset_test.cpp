// Each module of the game layer keeps its mutable state in one structure,
// and its reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "game/before_after.h"
#include "game/clock_timelapse.h"
#include "game/free_camera.h"
#include "game/game_controls.h"

namespace {

using namespace game;

TEST(GameStateReset, FreeCamera) {
    FreeCamera.FreeCamActive = 1;
    FreeCamera.FreeCamHandle = 7;
    FreeCamera.FreeCamPosition = {1.0f, 2.0f, 3.0f};
    FreeCamera.FreeCamPitch = 10.0f;
    FreeCamera.FreeCamHeading = 20.0f;
    FreeCamera.FreeCamFov = 40.0f;
    FreeCamera.FreeCamFrozenEntity = 9;
    ResetFreeCameraState();
    EXPECT_EQ(FreeCamera.FreeCamActive, 0);
    EXPECT_EQ(FreeCamera.FreeCamHandle, 0);
    EXPECT_TRUE(FreeCamera.FreeCamPosition.x == 0.0f && FreeCamera.FreeCamPosition.y == 0.0f &&
                FreeCamera.FreeCamPosition.z == 0.0f);
    EXPECT_EQ(FreeCamera.FreeCamPitch, 0.0f);
    EXPECT_EQ(FreeCamera.FreeCamHeading, 0.0f);
    EXPECT_EQ(FreeCamera.FreeCamFov, 65.0f);
    EXPECT_EQ(FreeCamera.FreeCamFrozenEntity, 0);
}

TEST(GameStateReset, ClockTimelapse) {
    ClockTimelapseState& s = ClockTimelapse;
    s.ClockHourRequest = 5;
    s.ClockPauseRequest = 1;
    s.LockTimeState = 1;
    RecordGameClock(7, 8, 9);
    s.GameClockPaused = 1;
    s.ClockSetStamp = 100;
    s.LastClockHourSet = 7;
    s.TimelapseClockSeconds = 3600.0;
    s.TimelapseLastTick = 10;
    s.TimelapseLastSetTick = 11;
    s.TimelapseLastHour = 1;
    s.TimelapseLastMinute = 2;
    ResetClockState();
    EXPECT_EQ(s.ClockHourRequest.Get(), -1);
    EXPECT_EQ(s.ClockPauseRequest.Get(), -1);
    EXPECT_EQ(s.LockTimeState.Get(), 0);
    EXPECT_EQ(s.GameClockReading.hour.Get(), -1);
    EXPECT_EQ(s.GameClockReading.minute.Get(), 0);
    EXPECT_EQ(s.GameClockReading.second.Get(), 0);
    EXPECT_EQ(s.GameClockReading.stamp.Get(), 0u);
    EXPECT_EQ(s.GameClockPaused, 0);
    EXPECT_EQ(s.ClockSetStamp, 0u);
    EXPECT_EQ(s.LastClockHourSet, -1);
    EXPECT_EQ(s.TimelapseClockSeconds.Get(), 0.0);
    EXPECT_EQ(s.TimelapseLastTick.Get(), 0u);
    EXPECT_EQ(s.TimelapseLastSetTick.Get(), 0u);
    EXPECT_EQ(s.TimelapseLastHour.Get(), -1);
    EXPECT_EQ(s.TimelapseLastMinute.Get(), -1);
    EXPECT_TRUE(GameClockReadDue(1));
}

TEST(GameStateReset, GameControls) {
    GameControlsState& s = GameControls;
    s.VehiclesToggleApplied = 1;
    s.BlackoutApplied = 1;
    s.PresetTeleportRequest = 3;
    s.LocationTeleportRequest = {1, 1.0f, 2.0f, 3.0f};
    s.WeatherRequest = 4;
    ResetGameControlsState();
    EXPECT_EQ(s.VehiclesToggleApplied, 0);
    EXPECT_EQ(s.BlackoutApplied, 0);
    EXPECT_EQ(s.PresetTeleportRequest.Get(), 0);
    EXPECT_TRUE(s.LocationTeleportRequest.pending == 0 && s.LocationTeleportRequest.x == 0.0f &&
                s.LocationTeleportRequest.y == 0.0f && s.LocationTeleportRequest.z == 0.0f);
    EXPECT_EQ(s.WeatherRequest.Get(), -1);
}

TEST(GameStateReset, BeforeAfter) {
    BeforeAfterState& s = BeforeAfter;
    s.VisualSettingsSwitchPending = 1;
    s.AllBeforeShown = 1;
    s.UiTakingTextInput = 1;
    s.GameInFrontTest = [] { return true; };
    s.PolledKey.fill(0x70);
    s.WasDown.fill(true);
    ResetBeforeAfterState();
    EXPECT_EQ(s.VisualSettingsSwitchPending.Get(), 0);
    EXPECT_EQ(s.AllBeforeShown.Get(), 0);
    EXPECT_EQ(s.UiTakingTextInput.Get(), 0);
    EXPECT_EQ(s.GameInFrontTest, nullptr);
    for (size_t i = 0; i < s.PolledKey.size(); ++i) {
        EXPECT_EQ(s.PolledKey[i], 0u) << i;
        EXPECT_FALSE(s.WasDown[i]) << i;
    }
}

}  // namespace
