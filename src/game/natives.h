// Game natives: the game's script functions, called through the script host
// by their 64-bit hash. Every call is NativeInit, one NativePush64 per
// argument word (left to right), NativeCall, then the result is read.
//
// Argument words: an integer, boolean or handle is its 32-bit value in the
// low half of a zeroed word (never sign-extended); a float is its IEEE 754
// single bit pattern in the low half; a string is the address of a NUL-
// terminated text that lives until the call returns. Results: a 32-bit value
// is the first 4 bytes of the result buffer; a vector has its x, y, z at
// byte offsets 0, 8 and 16.
//
// Natives are called on the script fiber only. The tabs on the render
// thread post requests that the tick carries out.
#pragma once
#include <cstdint>
#include <initializer_list>

namespace game {

// ---- Hashes, named by what the editor uses them for ---------------------------

// Player, entities and teleports.
inline constexpr uint64_t kNativePlayerPed = 0xD80958FC74E988A6;          // () -> ped
inline constexpr uint64_t kNativePlayerIndex = 0x4F8644AF03D0E0D6;        // () -> player
inline constexpr uint64_t kNativeSetPlayerControl = 0x8D32347D6D4C40A2;   // (i player, b on, i 0)
inline constexpr uint64_t kNativeBlockGameControls = 0x5F4B6931816E599B;  // (i 0): this frame only
inline constexpr uint64_t kNativeEntityPosition = 0x3FEF770D40960D5A;     // (i entity, b 1) -> vector
inline constexpr uint64_t kNativeEntityExists = 0x7239B21A38F536BA;       // (i entity) -> b
inline constexpr uint64_t kNativePedInVehicle = 0x997ABD671D25CA0B;       // (i ped, b 0) -> b
inline constexpr uint64_t kNativePedVehicle = 0x9A9112A0FE9A4713;         // (i ped, b 0) -> vehicle
inline constexpr uint64_t kNativeFreezeEntity = 0x428CA6DBD1094446;       // (i entity, b frozen)
inline constexpr uint64_t kNativePlaceEntity = 0x06843DA7060A026B;        // (i entity, f x, f y, f z, i 0, i 0, i 0, i 1)
inline constexpr uint64_t kNativePlaceEntityExact = 0x239A3351AC1DA385;   // (i entity, f x, f y, f z, i 0, i 0, i 0)
inline constexpr uint64_t kNativeEntityVelocity = 0x1C99BB7B6E96D16F;     // (i entity, f vx, f vy, f vz)
inline constexpr uint64_t kNativeLoadWorldAt = 0x07503F7948F491A7;        // (f x, f y, f z) -> i, unused

// World toggles.
inline constexpr uint64_t kNativeNoIdleCamera = 0xF4F2C0D4EE209E20;       // (): this frame
inline constexpr uint64_t kNativePedSuppression1 = 0x95E3D6257B166CF2;    // (f 0.0)
inline constexpr uint64_t kNativePedSuppression2 = 0x7A556143A1C03898;    // (f 0.0, f 0.0)
inline constexpr uint64_t kNativePedSuppression3 = 0x8C95333CFC3340F3;    // (i 0)
inline constexpr uint64_t kNativePedClearArea = 0xBE31FD6CE464AC59;       // (f x, f y, f z, f radius, i 1)
inline constexpr uint64_t kNativeVehicleSuppression1 = 0x245A6883D966D537;  // (f 0.0)
inline constexpr uint64_t kNativeVehicleSuppression2 = 0xB3B3359379FE77D3;  // (f 0.0)
inline constexpr uint64_t kNativeVehicleSuppression3 = 0xEAE6DCC7EEE3DB1D;  // (f 0.0)
inline constexpr uint64_t kNativeVehicleSuppression4 = 0xCB9E1EB3BE2AF4E9;  // (i 0)
inline constexpr uint64_t kNativeVehicleSwitchA = 0x2AFD795EEAC8D30D;       // (b on)
inline constexpr uint64_t kNativeVehicleSwitchB = 0x80D9F74197EA47D9;       // (b on)
inline constexpr uint64_t kNativeVehicleClearArea = 0x01C7B9B38428AEB6;     // (f x, f y, f z, f radius, i 0 x5)
inline constexpr uint64_t kNativeBlackout = 0x1268615ACE24D504;             // (b on)

// HUD.
inline constexpr uint64_t kNativeHudVisible = 0xA6294919E56FF02A;    // (b visible)
inline constexpr uint64_t kNativeRadarVisible = 0xA0EBB943C300E693;  // (b visible)
inline constexpr uint64_t kNativeHideHudFrame = 0x719FF505F097FD20;  // (): this frame

// Game clock.
inline constexpr uint64_t kNativeClockHours = 0x25223CA6B4D20B7F;    // () -> i
inline constexpr uint64_t kNativeClockMinutes = 0x13D2B8ADD79640F2;  // () -> i
inline constexpr uint64_t kNativeClockSeconds = 0x494E97C2EF27C470;  // () -> i
inline constexpr uint64_t kNativePauseClock = 0x4055E40BD2DBEC1D;    // (b paused)
inline constexpr uint64_t kNativeSetClock = 0x47C3B5848C3E45D8;      // (i h, i m, i s)
inline constexpr uint64_t kNativeSetClockAgain = 0xE679E3E06E363892; // (i h, i m, i s), always right after kNativeSetClock

// Weather change, five steps in this order.
inline constexpr uint64_t kNativeWeatherStep1 = 0xCCC39339BEF76CF5;  // ()
inline constexpr uint64_t kNativeWeatherStep2 = 0x338D2E3477711050;  // ()
inline constexpr uint64_t kNativeWeatherStep3 = 0xED712CA327900C8A;  // (s game name)
inline constexpr uint64_t kNativeWeatherStep4 = 0x29B487C359E19889;  // (s game name)
inline constexpr uint64_t kNativeWeatherStep5 = 0xA43D5C6FE51ADBEF;  // (s game name)

// Free camera.
inline constexpr uint64_t kNativeFrameTime = 0x15C40837039FFAF7;          // () -> f seconds
inline constexpr uint64_t kNativeLookAxis = 0x11E65974A982637C;           // (i 0, i axis) -> f
inline constexpr uint64_t kNativeGameplayCamPosition = 0x14D6F5678D8F1B37;  // () -> vector
inline constexpr uint64_t kNativeGameplayCamRotation = 0x837765A25378F0BB;  // (i 2) -> vector (pitch, roll, heading)
inline constexpr uint64_t kNativeGameplayCamFov = 0x65019750A0324133;       // () -> f
inline constexpr uint64_t kNativeCreateCamera = 0xB51194800B257161;  // (s name, f x, f y, f z, f pitch, f 0, f heading, f fov, i 1, i 2) -> camera
inline constexpr uint64_t kNativeCameraExists = 0xA7A932170592B50E;  // (i camera) -> b
inline constexpr uint64_t kNativeCameraActive = 0x026FB97D0A425F84;  // (i camera, b active)
inline constexpr uint64_t kNativeRenderScriptCams = 0x07E5B515DB0636FC;  // (b render, i 0, i 0, i 1, i 1)
inline constexpr uint64_t kNativeDestroyCamera = 0x865908C81A2C22E9;     // (i camera, b 1)
inline constexpr uint64_t kNativeCameraPosition = 0x4D41783FB745E42E;    // (i camera, f x, f y, f z)
inline constexpr uint64_t kNativeCameraRotation = 0x85973643155D0B07;    // (i camera, f pitch, f 0, f heading, i 2)
inline constexpr uint64_t kNativeCameraFov = 0xB13C14F66A00D047;         // (i camera, f fov)

// Timecycle modifier.
inline constexpr uint64_t kNativeClearModifier = 0x0F07E7745A236711;     // ()
inline constexpr uint64_t kNativeSetModifier = 0x2C933ABF17A1DF41;       // (s modifier name)
inline constexpr uint64_t kNativeModifierStrength = 0x82E7FFCD5B2326B3;  // (f strength 0..1)
inline constexpr uint64_t kNativeModifierIndex = 0xFDF3D97C674AFB66;     // () -> i

// ---- Argument words and results -------------------------------------------------

inline uint64_t IntArg(int32_t value) { return static_cast<uint64_t>(static_cast<uint32_t>(value)); }
inline uint64_t BoolArg(bool value) { return value ? 1u : 0u; }
uint64_t FloatArg(float value);
uint64_t StringArg(const char* text);

struct NativeVector {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// One call: init, push every word, call. The result buffer (never null)
// stays valid until the next call.
const uint64_t* CallNative(uint64_t hash, std::initializer_list<uint64_t> args = {});
int32_t CallNativeInt(uint64_t hash, std::initializer_list<uint64_t> args = {});
bool CallNativeBool(uint64_t hash, std::initializer_list<uint64_t> args = {});
float CallNativeFloat(uint64_t hash, std::initializer_list<uint64_t> args = {});
// The 24 bytes copied; components at byte offsets 0, 8, 16.
NativeVector CallNativeVector(uint64_t hash, std::initializer_list<uint64_t> args = {});

// ---- Wrappers -------------------------------------------------------------------------

// Any native taking three floats; the first 4 result bytes.
uint32_t CallNative3f(uint64_t hash, float x, float y, float z);
bool IsCameraValidNative(int32_t camera);
bool EntityExistsNative(int32_t entity);
void SetEntityFrozenNative(int32_t entity, bool frozen);
// pad 0; axis 1 horizontal, 2 vertical.
float GetLookAxisNative(int32_t pad, int32_t axis);
int32_t GetPedVehicleNative(int32_t ped, int32_t flag);
bool IsPedInVehicleNative(int32_t ped, int32_t flag);
void RenderScriptCamsNative(int32_t render, int32_t a, int32_t b, int32_t c, int32_t d);
void SetCamActiveNative(int32_t camera, bool active);
void SetEntityCoordsNative(int32_t entity, float x, float y, float z, int32_t a, int32_t b, int32_t c, int32_t d);
void SetEntityVelocityNative(int32_t entity, float vx, float vy, float vz);
void SetActiveModifierStrength(float strength);
// What a teleport moves: 0 when the ped does not exist; the ped's vehicle
// when it sits in one that exists; otherwise the ped.
int32_t ResolveTeleportEntity(int32_t ped);

}  // namespace game
