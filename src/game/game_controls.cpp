#include "game/game_controls.h"

#include "core/editor_state.h"
#include "core/game_control_settings.h"
#include "core/text.h"
#include "game/natives.h"
#include "game/weathers.h"

namespace game {

GameControlsState GameControls;

namespace {

constexpr float kClearRadius = 1000.0f;

void SuppressPedestrians(const NativeVector& at) {
    CallNative(kNativePedSuppression1, {FloatArg(0.0f)});
    CallNative(kNativePedSuppression2, {FloatArg(0.0f), FloatArg(0.0f)});
    CallNative(kNativePedSuppression3, {IntArg(0)});
    CallNative(kNativePedClearArea, {FloatArg(at.x), FloatArg(at.y), FloatArg(at.z), FloatArg(kClearRadius), IntArg(1)});
}

void SuppressVehicles(const NativeVector& at) {
    CallNative(kNativeVehicleSuppression1, {FloatArg(0.0f)});
    CallNative(kNativeVehicleSuppression2, {FloatArg(0.0f)});
    CallNative(kNativeVehicleSuppression3, {FloatArg(0.0f)});
    CallNative(kNativeVehicleSuppression4, {IntArg(0)});
    CallNative(kNativeVehicleSwitchA, {BoolArg(false)});
    CallNative(kNativeVehicleSwitchB, {BoolArg(false)});
    CallNative(kNativeVehicleClearArea, {FloatArg(at.x), FloatArg(at.y), FloatArg(at.z), FloatArg(kClearRadius),
                                         IntArg(0), IntArg(0), IntArg(0), IntArg(0), IntArg(0)});
}

}  // namespace

bool CanSetGameWeather(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= kWeatherCount) return false;
    return !core::EqualsNoCase(WeatherNameTable[index].gameName, "UNDERWATER_DEEP");
}

bool SetGameWeather(int32_t index) {
    if (!CanSetGameWeather(index)) return false;
    const char* name = WeatherNameTable[index].gameName;
    CallNative(kNativeWeatherStep1);
    CallNative(kNativeWeatherStep2);
    CallNative(kNativeWeatherStep3, {StringArg(name)});
    CallNative(kNativeWeatherStep4, {StringArg(name)});
    CallNative(kNativeWeatherStep5, {StringArg(name)});
    return true;
}

bool RequestGameWeather(int32_t index) {
    if (!CanSetGameWeather(index)) return false;
    GameControls.WeatherRequest.Set(index);
    return true;
}

bool RequestGameWeatherKeepingSlots(int32_t index) {
    if (!CanSetGameWeather(index)) return false;
    GameControls.WeatherRequest.Set(index | kWeatherRequestKeepsSlots);
    return true;
}

bool ServeWeatherRequest(bool (*admits)(uint32_t weather)) {
    const int32_t request = GameControls.WeatherRequest.Exchange(-1);
    if (request < 0) return false;
    const int32_t weather = request & ~kWeatherRequestKeepsSlots;
    if (!CanSetGameWeather(weather) || (admits != nullptr && !admits(static_cast<uint32_t>(weather)))) return false;
    if (!SetGameWeather(weather)) return false;
    if ((request & kWeatherRequestKeepsSlots) == 0) core::RaiseTimecycleRereadFrames(3);
    return true;
}

void RequestPresetTeleport(int32_t request) {
    {
        std::lock_guard<std::mutex> lock(GameControls.TeleportMutex);
        GameControls.LocationTeleportRequest.pending = 0;
    }
    GameControls.PresetTeleportRequest.Set(request);
}

void RequestLocationTeleport(float x, float y, float z) {
    GameControls.PresetTeleportRequest.Set(0);
    std::lock_guard<std::mutex> lock(GameControls.TeleportMutex);
    GameControls.LocationTeleportRequest = {1, x, y, z};
}

void ApplyWorldToggles() {
    const auto& flags = core::GameControlFlags;
    if (flags.DisableIdleCamera) CallNative(kNativeNoIdleCamera);

    const bool pedestrians = flags.DisablePedestrians;
    const bool vehicles = flags.DisableVehicles;
    if (pedestrians || vehicles) {
        const int32_t ped = CallNativeInt(kNativePlayerPed);
        const NativeVector at = CallNativeVector(kNativeEntityPosition, {IntArg(ped), BoolArg(true)});
        if (pedestrians) SuppressPedestrians(at);
        if (vehicles) SuppressVehicles(at);
    }

    if ((vehicles ? 1 : 0) != GameControls.VehiclesToggleApplied) {
        CallNative(kNativeVehicleSwitchB, {BoolArg(!vehicles)});
        CallNative(kNativeVehicleSwitchA, {BoolArg(!vehicles)});
        GameControls.VehiclesToggleApplied = vehicles ? 1 : 0;
    }

    const bool blackout = flags.BlackoutMode;
    if ((blackout ? 1 : 0) != GameControls.BlackoutApplied) {
        CallNative(kNativeBlackout, {BoolArg(blackout)});
        GameControls.BlackoutApplied = blackout ? 1 : 0;
    }

    const int32_t preset = GameControls.PresetTeleportRequest.Exchange(0);
    if (preset != 0) {
        const int32_t entity = ResolveTeleportEntity(CallNativeInt(kNativePlayerPed));
        if (entity == 0) return;  // a pending location teleport waits for the next frame
        if (preset >= 1 && preset <= static_cast<int32_t>(PresetTeleportTable.size())) {
            const TeleportPoint& p = PresetTeleportTable[static_cast<size_t>(preset - 1)];
            SetEntityCoordsNative(entity, p.x, p.y, p.z, 0, 0, 0, 1);
        }
        SetEntityVelocityNative(entity, 0.0f, 0.0f, 0.0f);
    }

    LocationTeleport target;
    {
        std::lock_guard<std::mutex> lock(GameControls.TeleportMutex);
        if (!GameControls.LocationTeleportRequest.pending) return;
        target = GameControls.LocationTeleportRequest;
        GameControls.LocationTeleportRequest.pending = 0;
    }
    const int32_t entity = ResolveTeleportEntity(CallNativeInt(kNativePlayerPed));
    if (entity == 0) return;  // dropped
    CallNative3f(kNativeLoadWorldAt, target.x, target.y, target.z);
    CallNative(kNativePlaceEntityExact,
               {IntArg(entity), FloatArg(target.x), FloatArg(target.y), FloatArg(target.z), IntArg(0), IntArg(0), IntArg(0)});
    SetEntityVelocityNative(entity, 0.0f, 0.0f, 0.0f);
    CallNative3f(kNativeLoadWorldAt, target.x, target.y, target.z);
}

void ResetGameControlsState() {
    GameControls.VehiclesToggleApplied = 0;
    GameControls.BlackoutApplied = 0;
    GameControls.PresetTeleportRequest.Set(0);
    {
        std::lock_guard<std::mutex> lock(GameControls.TeleportMutex);
        GameControls.LocationTeleportRequest = {};
    }
    GameControls.WeatherRequest.Set(-1);
}

}  // namespace game
