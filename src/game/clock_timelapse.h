// The game clock and the timelapse. The tabs post hour and pause requests on
// the render thread; the tick applies them, follows the game clock and runs
// the timelapse on the script fiber through the clock natives.
#pragma once
#include <cstdint>

#include "core/shared_value.h"

namespace game {

// The last reading of the game clock (hour -1 = never read).
struct GameClockReadingValues {
    core::SharedValue<int32_t> hour{-1};
    core::SharedValue<int32_t> minute{0};
    core::SharedValue<int32_t> second{0};
    core::SharedValue<uint64_t> stamp{0};  // TickCount64 of the reading
};

// The clock's and the timelapse's state. The requests and the lock choice
// are written by the tabs on the render thread and taken by the tick on the
// script fiber; the reading and the timelapse clock are written by the tick
// and read by the tabs; the rest is the script fiber's only.
struct ClockTimelapseState {
    // Requests from the tabs, taken by atomic exchange with -1.
    core::SharedValue<int32_t> ClockHourRequest{-1};   // an hour 0..23, -1 = none
    core::SharedValue<int32_t> ClockPauseRequest{-1};  // 1 pause, 0 run, -1 = none
    // The "Lock Time" choice stored with every hour request: the pause state
    // applied together with the hour.
    core::SharedValue<uint8_t> LockTimeState{0};
    // Read by the Timecycles tab on the render thread.
    GameClockReadingValues GameClockReading;
    // Script fiber only: pause state last sent, time of the last clock set, hour last sent.
    uint8_t GameClockPaused = 0;
    uint64_t ClockSetStamp = 0;
    int32_t LastClockHourSet = -1;
    // Timelapse (GameControlFlags.TimelapseEnabled and the speed are settings, see
    // game_control_settings.h and settings.h). The clock in seconds of the day,
    // kept in [0, 86400); the Settings tab shows it.
    core::SharedValue<double> TimelapseClockSeconds{0.0};
    core::SharedValue<uint64_t> TimelapseLastTick{0};     // 0 = seed from the game on the next tick
    core::SharedValue<uint64_t> TimelapseLastSetTick{0};
    core::SharedValue<int32_t> TimelapseLastHour{-1};     // -1 = none
    core::SharedValue<int32_t> TimelapseLastMinute{-1};
};
extern ClockTimelapseState ClockTimelapse;

// Stores a reading, hour clamped to 0..23, minute and second to 0..59,
// stamped now.
void RecordGameClock(int32_t hours, int32_t minutes, int32_t seconds);

struct ClockTime {
    int32_t hours = 0;
    int32_t minutes = 0;
    int32_t seconds = 0;
};
// Reads the game clock: the seconds, minutes and hours natives, in that order.
ClockTime ReadGameClock();
// True when the clock should be read now: never read, or 250 ms or more
// since the last reading.
bool GameClockReadDue(uint64_t now);

// TimelapseClockSeconds := (h x 60 + m) x 60 + s, h clamped to 0..23, m and s to 0..59.
void SetTimelapseClock(int32_t hours, int32_t minutes, int32_t seconds);

// A pending hour request (with the "Lock Time" pause), else a pending pause request.
void ApplyClockRequest();
// One timelapse step; keeps the game clock paused and set to the timelapse time.
void TimelapseTick();

// The timelapse state reset of the "Timelapse" checkbox: the next tick seeds
// from the game clock.
void ResetTimelapseState();
// The "Timelapse" checkbox (or "Reset defaults") changed GameControlFlags.TimelapseEnabled:
// the state is reset, and a timelapse switched off lets the game clock run
// again unless time is locked.
void TimelapseSwitched(bool enabled);

// The hour and minute of a timelapse clock value (for display).
int32_t ClockHourOf(double secondsOfDay);
int32_t ClockMinuteOf(double secondsOfDay);

// Back to the state at process start (tests).
void ResetClockState();

}  // namespace game
