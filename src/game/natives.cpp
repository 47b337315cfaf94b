#include "game/natives.h"

#include <bit>
#include <cstring>

#include "platform/script_host.h"

namespace game {

uint64_t FloatArg(float value) { return std::bit_cast<uint32_t>(value); }

uint64_t StringArg(const char* text) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(text)); }

const uint64_t* CallNative(uint64_t hash, std::initializer_list<uint64_t> args) {
    platform::NativeInit(hash);
    for (uint64_t word : args) platform::NativePush64(word);
    return platform::NativeCall();
}

int32_t CallNativeInt(uint64_t hash, std::initializer_list<uint64_t> args) {
    const uint64_t* result = CallNative(hash, args);
    int32_t value = 0;
    std::memcpy(&value, result, sizeof value);
    return value;
}

bool CallNativeBool(uint64_t hash, std::initializer_list<uint64_t> args) { return CallNativeInt(hash, args) != 0; }

float CallNativeFloat(uint64_t hash, std::initializer_list<uint64_t> args) {
    const uint64_t* result = CallNative(hash, args);
    float value = 0.0f;
    std::memcpy(&value, result, sizeof value);
    return value;
}

NativeVector CallNativeVector(uint64_t hash, std::initializer_list<uint64_t> args) {
    const uint64_t* result = CallNative(hash, args);
    unsigned char bytes[24];
    std::memcpy(bytes, result, sizeof bytes);
    NativeVector v;
    std::memcpy(&v.x, bytes + 0, sizeof(float));
    std::memcpy(&v.y, bytes + 8, sizeof(float));
    std::memcpy(&v.z, bytes + 16, sizeof(float));
    return v;
}

uint32_t CallNative3f(uint64_t hash, float x, float y, float z) {
    return static_cast<uint32_t>(CallNativeInt(hash, {FloatArg(x), FloatArg(y), FloatArg(z)}));
}

bool IsCameraValidNative(int32_t camera) { return CallNativeBool(kNativeCameraExists, {IntArg(camera)}); }

bool EntityExistsNative(int32_t entity) { return CallNativeBool(kNativeEntityExists, {IntArg(entity)}); }

void SetEntityFrozenNative(int32_t entity, bool frozen) {
    CallNative(kNativeFreezeEntity, {IntArg(entity), BoolArg(frozen)});
}

float GetLookAxisNative(int32_t pad, int32_t axis) {
    return CallNativeFloat(kNativeLookAxis, {IntArg(pad), IntArg(axis)});
}

int32_t GetPedVehicleNative(int32_t ped, int32_t flag) {
    return CallNativeInt(kNativePedVehicle, {IntArg(ped), IntArg(flag)});
}

bool IsPedInVehicleNative(int32_t ped, int32_t flag) {
    return CallNativeBool(kNativePedInVehicle, {IntArg(ped), IntArg(flag)});
}

void RenderScriptCamsNative(int32_t render, int32_t a, int32_t b, int32_t c, int32_t d) {
    CallNative(kNativeRenderScriptCams, {IntArg(render), IntArg(a), IntArg(b), IntArg(c), IntArg(d)});
}

void SetCamActiveNative(int32_t camera, bool active) {
    CallNative(kNativeCameraActive, {IntArg(camera), BoolArg(active)});
}

void SetEntityCoordsNative(int32_t entity, float x, float y, float z, int32_t a, int32_t b, int32_t c, int32_t d) {
    CallNative(kNativePlaceEntity,
               {IntArg(entity), FloatArg(x), FloatArg(y), FloatArg(z), IntArg(a), IntArg(b), IntArg(c), IntArg(d)});
}

void SetEntityVelocityNative(int32_t entity, float vx, float vy, float vz) {
    CallNative(kNativeEntityVelocity, {IntArg(entity), FloatArg(vx), FloatArg(vy), FloatArg(vz)});
}

void SetActiveModifierStrength(float strength) { CallNative(kNativeModifierStrength, {FloatArg(strength)}); }

int32_t ResolveTeleportEntity(int32_t ped) {
    if (!EntityExistsNative(ped)) return 0;
    if (!IsPedInVehicleNative(ped, 0)) return ped;
    const int32_t vehicle = GetPedVehicleNative(ped, 0);
    return EntityExistsNative(vehicle) ? vehicle : ped;
}

}  // namespace game
