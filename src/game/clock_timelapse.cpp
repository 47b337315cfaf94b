#include "game/clock_timelapse.h"

#include <algorithm>

#include "core/editor_state.h"
#include "core/game_control_settings.h"
#include "core/settings.h"
#include "game/natives.h"
#include "platform/clock.h"

namespace game {

std::atomic<int32_t> ClockHourRequest{-1};
std::atomic<int32_t> ClockPauseRequest{-1};
std::atomic<uint8_t> LockTimeState{0};
GameClockReadingValues GameClockReading;
uint8_t GameClockPaused = 0;
uint64_t ClockSetStamp = 0;
int32_t LastClockHourSet = -1;
std::atomic<double> TimelapseClockSeconds{0.0};
std::atomic<uint64_t> TimelapseLastTick{0};
std::atomic<uint64_t> TimelapseLastSetTick{0};
std::atomic<int32_t> TimelapseLastHour{-1};
std::atomic<int32_t> TimelapseLastMinute{-1};

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr uint64_t kClockInterval = 250;  // ms

void SetGameClock(bool paused, int32_t hour, int32_t minute) {
    CallNative(kNativePauseClock, {BoolArg(paused)});
    CallNative(kNativeSetClock, {IntArg(hour), IntArg(minute), IntArg(0)});
    CallNative(kNativeSetClockAgain, {IntArg(hour), IntArg(minute), IntArg(0)});
}

}  // namespace

void RecordGameClock(int32_t hours, int32_t minutes, int32_t seconds) {
    GameClockReading.hour.store(std::clamp(hours, 0, 23));
    GameClockReading.minute.store(std::clamp(minutes, 0, 59));
    GameClockReading.second.store(std::clamp(seconds, 0, 59));
    GameClockReading.stamp.store(platform::TickCount64());
}

ClockTime ReadGameClock() {
    ClockTime t;
    t.seconds = CallNativeInt(kNativeClockSeconds);
    t.minutes = CallNativeInt(kNativeClockMinutes);
    t.hours = CallNativeInt(kNativeClockHours);
    return t;
}

bool GameClockReadDue(uint64_t now) {
    return GameClockReading.hour.load() < 0 || now - GameClockReading.stamp.load() >= kClockInterval;
}

void SetTimelapseClock(int32_t hours, int32_t minutes, int32_t seconds) {
    const int32_t h = std::clamp(hours, 0, 23), m = std::clamp(minutes, 0, 59), s = std::clamp(seconds, 0, 59);
    TimelapseClockSeconds.store(static_cast<double>((h * 60 + m) * 60 + s));
}

void ResetTimelapseState() {
    TimelapseLastTick.store(0);
    TimelapseLastSetTick.store(0);
    TimelapseLastHour.store(-1);
    TimelapseLastMinute.store(-1);
}

void TimelapseSwitched(bool enabled) {
    ResetTimelapseState();
    if (!enabled) ClockPauseRequest.store(LockTimeState.load() ? 1 : 0);
}

void ApplyClockRequest() {
    const int32_t hour = ClockHourRequest.exchange(-1);
    if (hour < 0) {
        const int32_t pause = ClockPauseRequest.exchange(-1);
        if (pause >= 0) {
            CallNative(kNativePauseClock, {BoolArg(pause != 0)});
            GameClockPaused = pause != 0 ? 1 : 0;
        }
        return;
    }
    // The pause request, if any, stays pending for the next tick.
    const bool pause = LockTimeState.load() != 0;
    SetGameClock(pause, hour, 0);
    LastClockHourSet = hour;
    GameClockPaused = pause ? 1 : 0;
    ClockSetStamp = platform::TickCount64();
    RecordGameClock(hour, 0, 0);
    core::RaiseTimecycleRereadFrames(3);
    if (core::GameControlFlags.TimelapseEnabled) {
        ResetTimelapseState();
        TimelapseClockSeconds.store(static_cast<double>(std::min(hour, 23)) * 3600.0);
    }
}

void TimelapseTick() {
    if (!core::GameControlFlags.TimelapseEnabled) {
        ResetTimelapseState();
        return;
    }
    const uint64_t now = platform::TickCount64();
    if (TimelapseLastTick.load() == 0) {
        const ClockTime t = ReadGameClock();
        SetTimelapseClock(t.hours, t.minutes, t.seconds);
        TimelapseLastTick.store(now);
        CallNative(kNativePauseClock, {BoolArg(true)});
    }
    const double elapsed = static_cast<double>(now - TimelapseLastTick.load());
    TimelapseLastTick.store(now);

    const float speed = std::clamp(static_cast<float>(core::UiSettings.TimecycleTimelapseSpeed), 1.0f, 3600.0f);
    core::UiSettings.TimecycleTimelapseSpeed = speed;

    double clock = TimelapseClockSeconds.load() + static_cast<double>(speed) * std::clamp(elapsed / 1000.0, 0.0, 0.5);
    while (clock >= kSecondsPerDay) clock -= kSecondsPerDay;
    while (clock < 0.0) clock += kSecondsPerDay;
    TimelapseClockSeconds.store(clock);

    const int32_t hour = ClockHourOf(clock), minute = ClockMinuteOf(clock);
    if (hour == TimelapseLastHour.load() && minute == TimelapseLastMinute.load() &&
        now - TimelapseLastSetTick.load() < kClockInterval)
        return;
    SetGameClock(true, hour, minute);
    TimelapseLastHour.store(hour);
    TimelapseLastMinute.store(minute);
    TimelapseLastSetTick.store(now);
    LastClockHourSet = hour;
    GameClockPaused = 1;
    ClockSetStamp = now;
    RecordGameClock(hour, minute, 0);
    core::RaiseTimecycleRereadFrames(1);
}

int32_t ClockHourOf(double secondsOfDay) {
    const int64_t t = static_cast<int64_t>(secondsOfDay);
    return static_cast<int32_t>((t / 3600) % 24);
}

int32_t ClockMinuteOf(double secondsOfDay) {
    const int64_t t = static_cast<int64_t>(secondsOfDay);
    return static_cast<int32_t>((t / 60) % 60);
}

void ResetClockState() {
    ClockHourRequest.store(-1);
    ClockPauseRequest.store(-1);
    LockTimeState.store(0);
    GameClockReading.hour.store(-1);
    GameClockReading.minute.store(0);
    GameClockReading.second.store(0);
    GameClockReading.stamp.store(0);
    GameClockPaused = 0;
    ClockSetStamp = 0;
    LastClockHourSet = -1;
    TimelapseClockSeconds.store(0.0);
    ResetTimelapseState();
}

}  // namespace game
