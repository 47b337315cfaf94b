#include "game/free_camera.h"

#include <algorithm>
#include <cmath>

#include "core/editor_state.h"
#include "core/game_control_settings.h"
#include "game/natives.h"
#include "platform/input.h"

namespace game {

uint8_t FreeCamActive = 0;
int32_t FreeCamHandle = 0;
FreeCamPoint FreeCamPosition;
float FreeCamPitch = 0.0f;
float FreeCamHeading = 0.0f;
float FreeCamFov = 65.0f;
int32_t FreeCamFrozenEntity = 0;

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
    const float sensitivity = std::max(static_cast<float>(core::FreeCamMouseSensitivity), 0.01f);
    FreeCamHeading = WrapHeading(FreeCamHeading - sensitivity * 180.0f * dx * dt);
    FreeCamPitch = std::clamp(FreeCamPitch - sensitivity * 180.0f * dy * dt, -89.0f, 89.0f);

    const float forward = KeyAxis(kKeyW, kKeyS);
    const float right = KeyAxis(kKeyD, kKeyA);
    const float up = KeyAxis(kKeyE, kKeyQ);

    float speed = std::max(static_cast<float>(core::FreeCamSpeed), 0.1f);
    if (platform::IsKeyDown(kKeyShift)) speed *= 4.0f;
    if (platform::IsKeyDown(kKeyControl)) speed *= 0.25f;

    const float h = FreeCamHeading * kDegreesToRadians, p = FreeCamPitch * kDegreesToRadians;
    const float x = std::cos(h) * right - std::sin(h) * std::cos(p) * forward;
    const float y = std::cos(h) * std::cos(p) * forward + std::sin(h) * right;
    const float z = std::sin(p) * forward + up;
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length > 0.0001f) {
        const float step = dt * speed / length;
        FreeCamPosition.x += x * step;
        FreeCamPosition.y += y * step;
        FreeCamPosition.z += z * step;
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
    FreeCamPosition.x = position.x;
    FreeCamPosition.y = position.y;
    FreeCamPosition.z = position.z;
    const NativeVector rotation = CallNativeVector(kNativeGameplayCamRotation, {IntArg(2)});
    FreeCamPitch = rotation.x;
    FreeCamHeading = WrapHeading(rotation.z);
    FreeCamFov = CallNativeFloat(kNativeGameplayCamFov);

    FreeCamFrozenEntity = ped;
    if (IsPedInVehicleNative(ped, 0)) {
        const int32_t vehicle = GetPedVehicleNative(ped, 0);
        if (vehicle != 0 && EntityExistsNative(vehicle)) FreeCamFrozenEntity = vehicle;
    }
    if (EntityExistsNative(FreeCamFrozenEntity)) SetEntityFrozenNative(FreeCamFrozenEntity, true);
    SetPlayerControl(false);

    char name[sizeof kCameraName];
    std::copy(std::begin(kCameraName), std::end(kCameraName), name);
    FreeCamHandle = CallNativeInt(kNativeCreateCamera,
                                   {StringArg(name), FloatArg(FreeCamPosition.x), FloatArg(FreeCamPosition.y), FloatArg(FreeCamPosition.z),
                                    FloatArg(FreeCamPitch), FloatArg(0.0f), FloatArg(FreeCamHeading),
                                    FloatArg(FreeCamFov), IntArg(1), IntArg(2)});
    if (FreeCamHandle == 0 || !IsCameraValidNative(FreeCamHandle)) {
        DisableFreeCam();
        return;
    }
    SetCamActiveNative(FreeCamHandle, true);
    RenderScriptCamsNative(1, 0, 0, 1, 1);
    FreeCamActive = 1;
}

void DisableFreeCam() {
    if (FreeCamHandle != 0 && IsCameraValidNative(FreeCamHandle)) {
        SetCamActiveNative(FreeCamHandle, false);
        RenderScriptCamsNative(0, 0, 0, 1, 1);
        CallNative(kNativeDestroyCamera, {IntArg(FreeCamHandle), BoolArg(true)});
    } else if (FreeCamActive) {
        RenderScriptCamsNative(0, 0, 0, 1, 1);
    }
    if (FreeCamFrozenEntity != 0 && EntityExistsNative(FreeCamFrozenEntity))
        SetEntityFrozenNative(FreeCamFrozenEntity, false);
    SetPlayerControl(true);
    FreeCamHandle = 0;
    FreeCamFrozenEntity = 0;
    FreeCamActive = 0;
    core::GameControlFlags.FreeCamEnabled = false;
}

void FreeCameraTick() {
    if (!core::GameControlFlags.FreeCamEnabled) {
        if (FreeCamActive) DisableFreeCam();
        return;
    }
    if (!FreeCamActive) {
        EnableFreeCam();
        if (!FreeCamActive) return;
    }
    CallNative(kNativeBlockGameControls, {IntArg(0)});
    SetPlayerControl(false);
    if (FreeCamFrozenEntity != 0 && EntityExistsNative(FreeCamFrozenEntity))
        SetEntityFrozenNative(FreeCamFrozenEntity, true);

    if (!core::MenuOpen.load()) Move();

    if (FreeCamHandle != 0 && IsCameraValidNative(FreeCamHandle)) {
        CallNative(kNativeCameraPosition, {IntArg(FreeCamHandle), FloatArg(FreeCamPosition.x), FloatArg(FreeCamPosition.y), FloatArg(FreeCamPosition.z)});
        CallNative(kNativeCameraRotation, {IntArg(FreeCamHandle), FloatArg(FreeCamPitch), FloatArg(0.0f),
                                           FloatArg(FreeCamHeading), IntArg(2)});
        CallNative(kNativeCameraFov, {IntArg(FreeCamHandle), FloatArg(FreeCamFov)});
        SetCamActiveNative(FreeCamHandle, true);
        RenderScriptCamsNative(1, 0, 0, 1, 1);
    }
}

void ResetFreeCameraState() {
    FreeCamActive = 0;
    FreeCamHandle = 0;
    FreeCamPosition = {};
    FreeCamPitch = 0.0f;
    FreeCamHeading = 0.0f;
    FreeCamFov = 65.0f;
    FreeCamFrozenEntity = 0;
}

}  // namespace game
