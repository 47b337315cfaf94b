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
using Words = std::vector<uint64_t>;

class ClockTest : public testsupport::SimWorldTest {
protected:
    void StartTimelapse(float speed) {
        shell::TimelapseEnabled = true;
        shell::UiSettings.TimecycleTimelapseSpeed = speed;
        TimelapseTick();  // seeds from the game
    }
};

TEST_F(ClockTest, HourRequestSetsTheClockWithTheLockAsPauseAPauseRequestWaitsAndReadingsAreClamped) {
    for (const uint8_t lock : {0, 1}) {
        ClearCalls();
        TimecycleRereadFrames.store(0);
        LockTimeState.store(lock);
        ClockHourRequest.store(14);
        ClockPauseRequest.store(1 - lock);
        ApplyClockRequest();
        EXPECT_EQ(Natives(), "clock paused; clock set; clock set again; ");
        EXPECT_EQ(Calls()[1].args, (Words{14, 0, 0}));
        EXPECT_EQ(world.clockHours, 14);
        EXPECT_EQ(world.clockPaused, lock == 1);
        EXPECT_EQ(GameClockReading.hour.load(), 14);
        EXPECT_EQ(TimecycleRereadFrames.load(), 3);
        EXPECT_EQ(ClockHourRequest.load(), -1);
        ClearCalls();
        ApplyClockRequest();  // the pause request on the next tick
        EXPECT_EQ(Natives(), "clock paused; ");
        EXPECT_EQ(world.clockPaused, lock == 0);
        EXPECT_EQ(ClockPauseRequest.load(), -1);
        EXPECT_EQ(GameClockPaused, 1 - lock);
    }
    ClearCalls();
    ApplyClockRequest();
    EXPECT_TRUE(Calls().empty());
    Advance(5);
    RecordGameClock(25, -3, 70);  // a reading is clamped and stamped
    EXPECT_EQ(GameClockReading.hour.load() * 10000 + GameClockReading.minute.load() * 100 +
                  GameClockReading.second.load(),
              230059);
    EXPECT_EQ(GameClockReading.stamp.load(), platform::TickCount64());
}

TEST_F(ClockTest, TimelapseSeedsFromTheGamePausesItAndAHourRequestReseedsIt) {
    world.clockHours = 10;
    world.clockMinutes = 30;
    world.clockSeconds = 15;
    StartTimelapse(600.0f);
    EXPECT_DOUBLE_EQ(TimelapseClockSeconds.load(), 10 * 3600 + 30 * 60 + 15);
    EXPECT_TRUE(world.clockPaused);
    EXPECT_EQ(CallsOf(kNativeSetClock), (std::vector<Words>{{10, 30, 0}}));
    EXPECT_EQ(TimecycleRereadFrames.load(), 1);

    ClockHourRequest.store(20);
    ApplyClockRequest();
    EXPECT_EQ(TimelapseLastTick.load(), 0u);
    EXPECT_EQ(TimelapseLastHour.load(), -1);
    EXPECT_DOUBLE_EQ(TimelapseClockSeconds.load(), 20 * 3600.0);
}

TEST_F(ClockTest, TimelapseAdvancesByItsClampedSpeedCapsLongFramesAndWrapsPastMidnight) {
    StartTimelapse(600.0f);
    const double start = TimelapseClockSeconds.load();
    Advance(16);
    TimelapseTick();
    EXPECT_NEAR(TimelapseClockSeconds.load() - start, 9.6, 1e-9);
    Advance(2000);
    TimelapseTick();
    EXPECT_NEAR(TimelapseClockSeconds.load() - start, 9.6 + 300.0, 1e-9);

    shell::UiSettings.TimecycleTimelapseSpeed = 1.0f;
    TimelapseClockSeconds.store(86400.0 - 0.1);
    Advance(1000);
    TimelapseTick();  // a step of 0.5 s at most...
    Advance(500);
    TimelapseTick();
    EXPECT_NEAR(TimelapseClockSeconds.load(), 0.9, 1e-9);
    EXPECT_EQ(world.clockHours, 0);
    EXPECT_EQ(world.clockMinutes, 0);
    for (const auto& [stored, clamped] : {std::pair{0.5f, 1.0f}, std::pair{5000.0f, 3600.0f}}) {
        shell::UiSettings.TimecycleTimelapseSpeed = stored;  // the speed is clamped and written back
        TimelapseTick();
        EXPECT_FLOAT_EQ(shell::UiSettings.TimecycleTimelapseSpeed, clamped);
    }
}

TEST_F(ClockTest, TimelapseSetsTheClockOnANewMinuteOrEvery250Ms) {
    StartTimelapse(1.0f);
    const uint64_t seeded = world.clockSets;
    const struct {
        float speed;
        uint64_t advance, sets;
    } steps[] = {{1.0f, 100, 0}, {1.0f, 150, 1}, {3600.0f, 20, 2}};  // 72 game seconds: a new minute at once
    for (const auto& s : steps) {
        shell::UiSettings.TimecycleTimelapseSpeed = s.speed;
        Advance(s.advance);
        TimelapseTick();
        EXPECT_EQ(world.clockSets, seeded + s.sets) << s.advance;
    }
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
    TimelapseLastHour.store(3);  // off, a tick only forgets its state
    TimelapseTick();
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(TimelapseLastHour.load(), -1);
}

}  // namespace
