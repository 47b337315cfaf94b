#include "game/clock_timelapse.h"

#include <algorithm>

#include "core/editor_state.h"
#include "core/game_control_settings.h"
#include "core/settings.h"
#include "game/natives.h"
#include "platform/clock.h"

namespace game {

ClockTimelapseState ClockTimelapse;

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
    ClockTimelapse.GameClockReading.hour.Set(std::clamp(hours, 0, 23));
    ClockTimelapse.GameClockReading.minute.Set(std::clamp(minutes, 0, 59));
    ClockTimelapse.GameClockReading.second.Set(std::clamp(seconds, 0, 59));
    ClockTimelapse.GameClockReading.stamp.Set(platform::TickCount64());
}

ClockTime ReadGameClock() {
    ClockTime t;
    t.seconds = CallNativeInt(kNativeClockSeconds);
    t.minutes = CallNativeInt(kNativeClockMinutes);
    t.hours = CallNativeInt(kNativeClockHours);
    return t;
}

bool GameClockReadDue(uint64_t now) {
    return ClockTimelapse.GameClockReading.hour.Get() < 0 || now - ClockTimelapse.GameClockReading.stamp.Get() >= kClockInterval;
}

void SetTimelapseClock(int32_t hours, int32_t minutes, int32_t seconds) {
    const int32_t h = std::clamp(hours, 0, 23), m = std::clamp(minutes, 0, 59), s = std::clamp(seconds, 0, 59);
    ClockTimelapse.TimelapseClockSeconds.Set(static_cast<double>((h * 60 + m) * 60 + s));
}

void ResetTimelapseState() {
    ClockTimelapse.TimelapseLastTick.Set(0);
    ClockTimelapse.TimelapseLastSetTick.Set(0);
    ClockTimelapse.TimelapseLastHour.Set(-1);
    ClockTimelapse.TimelapseLastMinute.Set(-1);
}

void TimelapseSwitched(bool enabled) {
    ResetTimelapseState();
    if (!enabled) ClockTimelapse.ClockPauseRequest.Set(ClockTimelapse.LockTimeState.Get() ? 1 : 0);
}

void ApplyClockRequest() {
    const int32_t hour = ClockTimelapse.ClockHourRequest.Exchange(-1);
    if (hour < 0) {
        const int32_t pause = ClockTimelapse.ClockPauseRequest.Exchange(-1);
        if (pause >= 0) {
            CallNative(kNativePauseClock, {BoolArg(pause != 0)});
            ClockTimelapse.GameClockPaused = pause != 0 ? 1 : 0;
        }
        return;
    }
    // The pause request, if any, stays pending for the next tick.
    const bool pause = ClockTimelapse.LockTimeState.Get() != 0;
    SetGameClock(pause, hour, 0);
    ClockTimelapse.LastClockHourSet = hour;
    ClockTimelapse.GameClockPaused = pause ? 1 : 0;
    ClockTimelapse.ClockSetStamp = platform::TickCount64();
    RecordGameClock(hour, 0, 0);
    core::RaiseTimecycleRereadFrames(3);
    if (core::GameControlFlags.TimelapseEnabled) {
        ResetTimelapseState();
        ClockTimelapse.TimelapseClockSeconds.Set(static_cast<double>(std::min(hour, 23)) * 3600.0);
    }
}

void TimelapseTick() {
    if (!core::GameControlFlags.TimelapseEnabled) {
        ResetTimelapseState();
        return;
    }
    const uint64_t now = platform::TickCount64();
    if (ClockTimelapse.TimelapseLastTick.Get() == 0) {
        const ClockTime t = ReadGameClock();
        SetTimelapseClock(t.hours, t.minutes, t.seconds);
        ClockTimelapse.TimelapseLastTick.Set(now);
        CallNative(kNativePauseClock, {BoolArg(true)});
    }
    const double elapsed = static_cast<double>(now - ClockTimelapse.TimelapseLastTick.Get());
    ClockTimelapse.TimelapseLastTick.Set(now);

    const float speed = std::clamp(static_cast<float>(core::UiSettings.TimecycleTimelapseSpeed), 1.0f, 3600.0f);
    core::UiSettings.TimecycleTimelapseSpeed = speed;

    double clock = ClockTimelapse.TimelapseClockSeconds.Get() + static_cast<double>(speed) * std::clamp(elapsed / 1000.0, 0.0, 0.5);
    while (clock >= kSecondsPerDay) clock -= kSecondsPerDay;
    while (clock < 0.0) clock += kSecondsPerDay;
    ClockTimelapse.TimelapseClockSeconds.Set(clock);

    const int32_t hour = ClockHourOf(clock), minute = ClockMinuteOf(clock);
    if (hour == ClockTimelapse.TimelapseLastHour.Get() && minute == ClockTimelapse.TimelapseLastMinute.Get() &&
        now - ClockTimelapse.TimelapseLastSetTick.Get() < kClockInterval)
        return;
    SetGameClock(true, hour, minute);
    ClockTimelapse.TimelapseLastHour.Set(hour);
    ClockTimelapse.TimelapseLastMinute.Set(minute);
    ClockTimelapse.TimelapseLastSetTick.Set(now);
    ClockTimelapse.LastClockHourSet = hour;
    ClockTimelapse.GameClockPaused = 1;
    ClockTimelapse.ClockSetStamp = now;
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
    ClockTimelapse.ClockHourRequest.Set(-1);
    ClockTimelapse.ClockPauseRequest.Set(-1);
    ClockTimelapse.LockTimeState.Set(0);
    ClockTimelapse.GameClockReading.hour.Set(-1);
    ClockTimelapse.GameClockReading.minute.Set(0);
    ClockTimelapse.GameClockReading.second.Set(0);
    ClockTimelapse.GameClockReading.stamp.Set(0);
    ClockTimelapse.GameClockPaused = 0;
    ClockTimelapse.ClockSetStamp = 0;
    ClockTimelapse.LastClockHourSet = -1;
    ClockTimelapse.TimelapseClockSeconds.Set(0.0);
    ResetTimelapseState();
}

}  // namespace game
