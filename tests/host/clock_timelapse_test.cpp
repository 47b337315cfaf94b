// Clock requests and the timelapse over simulated time.
#include <gtest/gtest.h>

#include "host/clock_timelapse.h"
#include "host/natives.h"
#include "host/tick.h"
#include "platform/clock.h"
#include "shell/game_control_settings.h"
#include "shell/settings.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace host;
using testsupport::SimWorldTest;
using Words = std::vector<uint64_t>;

using ClockTest = SimWorldTest;

TEST_F(ClockTest, ReadingIsClampedAndStamped) {
    Advance(5);
    RecordGameClock(25, -3, 70);
    EXPECT_EQ(GameClockReading.hour.load(), 23);
    EXPECT_EQ(GameClockReading.minute.load(), 0);
    EXPECT_EQ(GameClockReading.second.load(), 59);
    EXPECT_EQ(GameClockReading.stamp.load(), platform::TickCount64());
}

TEST_F(ClockTest, ReadingAsksSecondsMinutesHoursInThatOrder) {
    world.clockHours = 7;
    world.clockMinutes = 8;
    world.clockSeconds = 9;
    const ClockTime t = ReadGameClock();
    EXPECT_EQ(CallHashes(), (Words{kNativeClockSeconds, kNativeClockMinutes, kNativeClockHours}));
    EXPECT_EQ(t.hours, 7);
    EXPECT_EQ(t.minutes, 8);
    EXPECT_EQ(t.seconds, 9);
}

TEST_F(ClockTest, HourRequestSetsTheClockWithTheLockAsPause) {
    for (const bool lock : {false, true}) {
        ClearCalls();
        TimecycleRereadFrames.store(0);
        LockTimeState.store(lock ? 1 : 0);
        ClockHourRequest.store(14);
        ApplyClockRequest();
        EXPECT_EQ(CallHashes(), (Words{kNativePauseClock, kNativeSetClock, kNativeSetClockAgain}));
        EXPECT_EQ(Calls()[0].args, (Words{lock ? 1u : 0u}));
        EXPECT_EQ(Calls()[1].args, (Words{14, 0, 0}));
        EXPECT_EQ(Calls()[2].args, (Words{14, 0, 0}));
        EXPECT_EQ(world.clockHours, 14);
        EXPECT_EQ(world.clockPaused, lock);
        EXPECT_EQ(LastClockHourSet, 14);
        EXPECT_EQ(GameClockPaused, lock ? 1 : 0);
        EXPECT_EQ(GameClockReading.hour.load(), 14);
        EXPECT_EQ(TimecycleRereadFrames.load(), 3);
        EXPECT_EQ(ClockHourRequest.load(), -1);
    }
}

TEST_F(ClockTest, PauseRequestWaitsBehindAnHourRequest) {
    ClockHourRequest.store(6);
    ClockPauseRequest.store(1);
    ApplyClockRequest();
    EXPECT_EQ(ClockPauseRequest.load(), 1);
    ClearCalls();
    ApplyClockRequest();
    EXPECT_EQ(CallHashes(), (Words{kNativePauseClock}));
    EXPECT_EQ(Calls()[0].args, (Words{1}));
    EXPECT_EQ(ClockPauseRequest.load(), -1);
    EXPECT_EQ(GameClockPaused, 1);
    ClearCalls();
    ApplyClockRequest();
    EXPECT_TRUE(Calls().empty());
}

TEST_F(ClockTest, HourRequestReseedsARunningTimelapse) {
    shell::TimelapseEnabled = true;
    TimelapseLastTick.store(123);
    TimelapseLastHour.store(5);
    ClockHourRequest.store(20);
    ApplyClockRequest();
    EXPECT_EQ(TimelapseLastTick.load(), 0u);
    EXPECT_EQ(TimelapseLastHour.load(), -1);
    EXPECT_DOUBLE_EQ(TimelapseClockSeconds.load(), 20 * 3600.0);
}

TEST_F(ClockTest, TimelapseSeedsFromTheGameAndPausesIt) {
    world.clockHours = 10;
    world.clockMinutes = 30;
    world.clockSeconds = 15;
    shell::TimelapseEnabled = true;
    TimelapseTick();
    EXPECT_EQ(CallHashes(), (Words{kNativeClockSeconds, kNativeClockMinutes, kNativeClockHours, kNativePauseClock,
                                   kNativePauseClock, kNativeSetClock, kNativeSetClockAgain}));
    EXPECT_DOUBLE_EQ(TimelapseClockSeconds.load(), 10 * 3600 + 30 * 60 + 15);
    EXPECT_TRUE(world.clockPaused);
    EXPECT_EQ(Calls()[5].args, (Words{10, 30, 0}));
    EXPECT_EQ(TimecycleRereadFrames.load(), 1);
}

TEST_F(ClockTest, TimelapseAdvancesBySpeedAndCapsLongFrames) {
    shell::TimelapseEnabled = true;
    shell::UiSettings.TimecycleTimelapseSpeed = 600.0f;
    world.clockHours = 0;
    TimelapseTick();
    const double start = TimelapseClockSeconds.load();
    Advance(16);
    TimelapseTick();
    EXPECT_NEAR(TimelapseClockSeconds.load() - start, 9.6, 1e-9);
    Advance(2000);
    TimelapseTick();
    EXPECT_NEAR(TimelapseClockSeconds.load() - start, 9.6 + 300.0, 1e-9);
}

TEST_F(ClockTest, TimelapseSpeedIsClampedAndWrittenBack) {
    shell::TimelapseEnabled = true;
    for (const auto& [stored, clamped] : {std::pair{0.5f, 1.0f}, std::pair{5000.0f, 3600.0f}}) {
        shell::UiSettings.TimecycleTimelapseSpeed = stored;
        TimelapseTick();
        EXPECT_FLOAT_EQ(shell::UiSettings.TimecycleTimelapseSpeed, clamped);
    }
}

TEST_F(ClockTest, TimelapseWrapsPastMidnight) {
    shell::TimelapseEnabled = true;
    shell::UiSettings.TimecycleTimelapseSpeed = 1.0f;
    TimelapseTick();  // seeds
    TimelapseClockSeconds.store(86400.0 - 0.1);
    Advance(1000);
    TimelapseTick();  // a step of 0.5 s at most...
    Advance(500);
    TimelapseTick();
    EXPECT_NEAR(TimelapseClockSeconds.load(), 0.9, 1e-9);
    EXPECT_EQ(world.clockHours, 0);
    EXPECT_EQ(world.clockMinutes, 0);
}

TEST_F(ClockTest, TimelapseSetsTheClockOnANewMinuteOrEvery250Ms) {
    shell::TimelapseEnabled = true;
    shell::UiSettings.TimecycleTimelapseSpeed = 1.0f;
    TimelapseTick();
    const uint64_t setsAfterSeed = world.clockSets;
    Advance(100);
    TimelapseTick();  // same minute, 100 ms
    EXPECT_EQ(world.clockSets, setsAfterSeed);
    Advance(150);
    TimelapseTick();  // 250 ms since the last set
    EXPECT_EQ(world.clockSets, setsAfterSeed + 1);
    shell::UiSettings.TimecycleTimelapseSpeed = 3600.0f;
    Advance(20);
    TimelapseTick();  // 72 game seconds: a new minute at once
    EXPECT_EQ(world.clockSets, setsAfterSeed + 2);
}

TEST_F(ClockTest, SwitchingTheTimelapseOffReleasesTheClockUnlessTimeIsLocked) {
    TimelapseLastTick.store(99);
    TimelapseSwitched(true);
    EXPECT_EQ(TimelapseLastTick.load(), 0u);
    EXPECT_EQ(ClockPauseRequest.load(), -1);
    TimelapseSwitched(false);
    EXPECT_EQ(ClockPauseRequest.load(), 0);
    LockTimeState.store(1);
    TimelapseSwitched(false);
    EXPECT_EQ(ClockPauseRequest.load(), 1);
}

TEST_F(ClockTest, TimelapseOffOnlyForgetsItsState) {
    TimelapseLastHour.store(3);
    TimelapseTick();
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(TimelapseLastHour.load(), -1);
}

TEST(ClockDisplay, HourAndMinuteOfTheDay) {
    EXPECT_EQ(ClockHourOf(0.0), 0);
    EXPECT_EQ(ClockHourOf(86399.9), 23);
    EXPECT_EQ(ClockMinuteOf(86399.9), 59);
    EXPECT_EQ(ClockHourOf(13 * 3600 + 59 * 60 + 59.99), 13);
    EXPECT_EQ(ClockMinuteOf(13 * 3600 + 59 * 60 + 59.99), 59);
}

}  // namespace
