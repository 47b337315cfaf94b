#include "game/free_camera.h"

#include <algorithm>
#include <cmath>

#include "core/editor_state.h"
#include "core/game_control_settings.h"
#include "game/natives.h"
#include "platform/input.h"

namespace game {

FreeCameraState FreeCamera;

namespace {

constexpr char kCameraName[] = "DEFAULT_SCRIPTED_CAMERA";
constexpr float kDegreesToRadians = 0.017453292f;

constexpr int kKeyW = 0x57, kKeyS = 0x53, kKeyD = 0x44, kKeyA = 0x41, kKeyE = 0x45, kKeyQ = 0x51;
constexpr int kKeyShift = 0x10, kKeyControl = 0x11;

float KeyAxis(int positive, int negative) {
    return (platform::IsKeyDown(positive) ? 1.0f : 0.0f) - (platform::IsKeyDown(negative) ? 1.0f : 0.0f);
}

void SetPlayerControl(bool on) {
    const int32_t player = CallNativeInt(kNativePlayerIndex);
    CallNative(kNativeSetPlayerControl, {IntArg(player), BoolArg(on), IntArg(0)});
}

void Move() {
    float dt = CallNativeFloat(kNativeFrameTime);
    if (!(dt > 0.0f)) dt = 0.0f;
    dt = std::min(dt, 0.1f);

    float dx = GetLookAxisNative(0, 1);
    float dy = GetLookAxisNative(0, 2);
    if (!std::isfinite(dx)) dx = 0.0f;
    if (!std::isfinite(dy)) dy = 0.0f;
    const float sensitivity = std::max(static_cast<float>(core::GameControlFlags.FreeCamMouseSensitivity), 0.01f);
    FreeCamera.FreeCamHeading = WrapHeading(FreeCamera.FreeCamHeading - sensitivity * 180.0f * dx * dt);
    FreeCamera.FreeCamPitch = std::clamp(FreeCamera.FreeCamPitch - sensitivity * 180.0f * dy * dt, -89.0f, 89.0f);

    const float forward = KeyAxis(kKeyW, kKeyS);
    const float right = KeyAxis(kKeyD, kKeyA);
    const float up = KeyAxis(kKeyE, kKeyQ);

    float speed = std::max(static_cast<float>(core::GameControlFlags.FreeCamSpeed), 0.1f);
    if (platform::IsKeyDown(kKeyShift)) speed *= 4.0f;
    if (platform::IsKeyDown(kKeyControl)) speed *= 0.25f;

    const float h = FreeCamera.FreeCamHeading * kDegreesToRadians, p = FreeCamera.FreeCamPitch * kDegreesToRadians;
    const float x = std::cos(h) * right - std::sin(h) * std::cos(p) * forward;
    const float y = std::cos(h) * std::cos(p) * forward + std::sin(h) * right;
    const float z = std::sin(p) * forward + up;
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length > 0.0001f) {
        const float step = dt * speed / length;
        FreeCamera.FreeCamPosition.x += x * step;
        FreeCamera.FreeCamPosition.y += y * step;
        FreeCamera.FreeCamPosition.z += z * step;
    }
}

}  // namespace

float WrapHeading(float degrees) {
    if (!std::isfinite(degrees)) return 0.0f;
    degrees = std::fmod(degrees, 360.0f);  // exact; keeps the loops short for any input
    while (degrees > 180.0f) degrees -= 360.0f;
    while (degrees < -180.0f) degrees += 360.0f;
    return degrees;
}

void EnableFreeCam() {
    const int32_t ped = CallNativeInt(kNativePlayerPed);
    if (ped == 0 || !EntityExistsNative(ped)) {
        core::GameControlFlags.FreeCamEnabled = false;
        return;
    }
    const NativeVector position = CallNativeVector(kNativeGameplayCamPosition);
    FreeCamera.FreeCamPosition.x = position.x;
    FreeCamera.FreeCamPosition.y = position.y;
    FreeCamera.FreeCamPosition.z = position.z;
    const NativeVector rotation = CallNativeVector(kNativeGameplayCamRotation, {IntArg(2)});
    FreeCamera.FreeCamPitch = rotation.x;
    FreeCamera.FreeCamHeading = WrapHeading(rotation.z);
    FreeCamera.FreeCamFov = CallNativeFloat(kNativeGameplayCamFov);

    FreeCamera.FreeCamFrozenEntity = ped;
    if (IsPedInVehicleNative(ped, 0)) {
        const int32_t vehicle = GetPedVehicleNative(ped, 0);
        if (vehicle != 0 && EntityExistsNative(vehicle)) FreeCamera.FreeCamFrozenEntity = vehicle;
    }
    if (EntityExistsNative(FreeCamera.FreeCamFrozenEntity)) SetEntityFrozenNative(FreeCamera.FreeCamFrozenEntity, true);
    SetPlayerControl(false);

    char name[sizeof kCameraName];
    std::copy(std::begin(kCameraName), std::end(kCameraName), name);
    FreeCamera.FreeCamHandle = CallNativeInt(kNativeCreateCamera,
                                   {StringArg(name), FloatArg(FreeCamera.FreeCamPosition.x), FloatArg(FreeCamera.FreeCamPosition.y), FloatArg(FreeCamera.FreeCamPosition.z),
                                    FloatArg(FreeCamera.FreeCamPitch), FloatArg(0.0f), FloatArg(FreeCamera.FreeCamHeading),
                                    FloatArg(FreeCamera.FreeCamFov), IntArg(1), IntArg(2)});
    if (FreeCamera.FreeCamHandle == 0 || !IsCameraValidNative(FreeCamera.FreeCamHandle)) {
        DisableFreeCam();
        return;
    }
    SetCamActiveNative(FreeCamera.FreeCamHandle, true);
    RenderScriptCamsNative(1, 0, 0, 1, 1);
    FreeCamera.FreeCamActive = 1;
}

void DisableFreeCam() {
    if (FreeCamera.FreeCamHandle != 0 && IsCameraValidNative(FreeCamera.FreeCamHandle)) {
        SetCamActiveNative(FreeCamera.FreeCamHandle, false);
        RenderScriptCamsNative(0, 0, 0, 1, 1);
        CallNative(kNativeDestroyCamera, {IntArg(FreeCamera.FreeCamHandle), BoolArg(true)});
    } else if (FreeCamera.FreeCamActive) {
        RenderScriptCamsNative(0, 0, 0, 1, 1);
    }
    if (FreeCamera.FreeCamFrozenEntity != 0 && EntityExistsNative(FreeCamera.FreeCamFrozenEntity))
        SetEntityFrozenNative(FreeCamera.FreeCamFrozenEntity, false);
    SetPlayerControl(true);
    FreeCamera.FreeCamHandle = 0;
    FreeCamera.FreeCamFrozenEntity = 0;
    FreeCamera.FreeCamActive = 0;
    core::GameControlFlags.FreeCamEnabled = false;
}

void FreeCameraTick() {
    if (!core::GameControlFlags.FreeCamEnabled) {
        if (FreeCamera.FreeCamActive) DisableFreeCam();
        return;
    }
    if (!FreeCamera.FreeCamActive) {
        EnableFreeCam();
        if (!FreeCamera.FreeCamActive) return;
    }
    CallNative(kNativeBlockGameControls, {IntArg(0)});
    SetPlayerControl(false);
    if (FreeCamera.FreeCamFrozenEntity != 0 && EntityExistsNative(FreeCamera.FreeCamFrozenEntity))
        SetEntityFrozenNative(FreeCamera.FreeCamFrozenEntity, true);

    if (!core::Editor.MenuOpen.Get()) Move();

    if (FreeCamera.FreeCamHandle != 0 && IsCameraValidNative(FreeCamera.FreeCamHandle)) {
        CallNative(kNativeCameraPosition, {IntArg(FreeCamera.FreeCamHandle), FloatArg(FreeCamera.FreeCamPosition.x), FloatArg(FreeCamera.FreeCamPosition.y), FloatArg(FreeCamera.FreeCamPosition.z)});
        CallNative(kNativeCameraRotation, {IntArg(FreeCamera.FreeCamHandle), FloatArg(FreeCamera.FreeCamPitch), FloatArg(0.0f),
                                           FloatArg(FreeCamera.FreeCamHeading), IntArg(2)});
        CallNative(kNativeCameraFov, {IntArg(FreeCamera.FreeCamHandle), FloatArg(FreeCamera.FreeCamFov)});
        SetCamActiveNative(FreeCamera.FreeCamHandle, true);
        RenderScriptCamsNative(1, 0, 0, 1, 1);
    }
}

void ResetFreeCameraState() { FreeCamera = FreeCameraState{}; }

}  // namespace game
