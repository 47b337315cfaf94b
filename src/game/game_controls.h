// Game controls: the weather change, the world toggles (idle camera,
// pedestrians, vehicles, blackout) and the teleports. The Settings tab and
// the timecycle tabs set flags and post requests on the render thread; the
// tick carries them out on the script fiber through game natives. The flags
// themselves are core::GameControlFlags (game_control_settings.h).
#pragma once
#include <array>
#include <cstdint>
#include <mutex>

#include "core/shared_value.h"

namespace game {

// A location teleport, guarded by TeleportMutex (held only while these are
// read or written, never across a native call).
struct LocationTeleport {
    uint8_t pending = 0;
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// The game controls' state: the requests are posted by the tabs on the
// render thread and taken by the tick on the script fiber; the values last
// sent are the script fiber's only.
struct GameControlsState {
    // The values last sent to the game by ApplyWorldToggles (script fiber only).
    uint8_t VehiclesToggleApplied = 0;
    uint8_t BlackoutApplied = 0;
    // A preset teleport: 0 = none, 1..5 = a row of PresetTeleportTable. Stored by
    // the tabs, taken by the tick by atomic exchange with 0.
    core::SharedValue<int32_t> PresetTeleportRequest{0};
    // Guards LocationTeleportRequest (never reset).
    std::mutex TeleportMutex;
    LocationTeleport LocationTeleportRequest;
    // A weather change: -1 = none, else a row of the weather name table, with
    // kWeatherRequestKeepsSlots added when the change must not start the
    // tick's re-read of the timecycle slots. Stored by the tabs, taken by the
    // tick by atomic exchange with -1.
    core::SharedValue<int32_t> WeatherRequest{-1};
};
extern GameControlsState GameControls;
inline constexpr int32_t kWeatherRequestKeepsSlots = 0x100;

struct TeleportPoint {
    float x;
    float y;
    float z;
};
// World coordinates of preset requests 1..5 (row 0 is request 1).
inline constexpr std::array<TeleportPoint, 5> PresetTeleportTable = {{
    {152.0f, -1004.0f, 29.0f},
    {1840.0f, 3755.0f, 33.0f},
    {-1605.0f, -1045.0f, 13.0f},
    {501.0f, 5604.0f, 797.0f},
    {-1037.0f, -2737.0f, 20.0f},
}};

// Whether the game can be switched to weather `index` (a row of the weather
// name table other than UNDERWATER_DEEP). Calls no native.
bool CanSetGameWeather(int32_t index);

// Switches the game's weather by the five weather natives (script fiber).
// False, calling nothing, for an index above 17 or UNDERWATER_DEEP.
bool SetGameWeather(int32_t index);

// The tabs' way to change the weather from the render thread: posts
// WeatherRequest for the tick and answers as SetGameWeather will, without
// calling a native off the script fiber.
bool RequestGameWeather(int32_t index);

// The same for "Load .xml": the weather of the file just loaded. The tick
// switches the game's weather without re-reading the timecycle slots from
// the game: they hold the loaded file's values, which a re-read would
// overwrite with the game's own, blended toward the new weather.
bool RequestGameWeatherKeepingSlots(int32_t index);

// The tick's weather step (script fiber): takes the pending request; a
// weather that SetGameWeather takes and that the filter admits (null: any)
// is set, and then, unless the request keeps the slots, the timecycle
// slots are re-read for the next 3 frames. Anything else is dropped. True
// when the weather was set.
bool ServeWeatherRequest(bool (*admits)(uint32_t weather));

// The tabs' teleport requests (render thread). A preset request clears a
// pending location teleport first; a location request clears the preset.
void RequestPresetTeleport(int32_t request);
void RequestLocationTeleport(float x, float y, float z);

// Every frame from the tick: idle camera, pedestrians, vehicles, blackout,
// then a preset and a location teleport.
void ApplyWorldToggles();

// Back to the state at process start (tests).
void ResetGameControlsState();

}  // namespace game
