// The game-control choices of the Settings tab that the tick carries out on
// the script fiber: HUD, idle camera, pedestrians, vehicles, blackout, free
// camera and timelapse. They live here, beside the other settings, so that
// the Settings tab, VRN.ini, "Reset defaults" and the tick share one set of
// values; the game-control code of the tick owns their meaning.
//
// Each is a SharedValue: written by the render thread
// (Settings tab) and read and written by the script fiber without locks.
#pragma once
#include "core/shared_value.h"

namespace core {

// Free camera (not saved): world units per second and mouse sensitivity.
inline constexpr float kDefaultFreeCamSpeed = 10.0f;
inline constexpr float kDefaultFreeCamMouseSensitivity = 1.0f;

// The game-control values; each shared as the comment above says.
struct GameControlSettingsState {
    SharedValue<bool> GameHudVisible{true};       // saved (VRN.ini GameHudVisible); "Disable HUD" shows its negation
    SharedValue<bool> DisableIdleCamera{false};   // saved
    SharedValue<bool> DisablePedestrians{false};  // saved
    SharedValue<bool> DisableVehicles{false};     // saved
    SharedValue<bool> BlackoutMode{false};        // not saved; also read by the visualsettings editor
    SharedValue<bool> FreeCamEnabled{false};      // not saved; the "Enable Free Cam" checkbox
    SharedValue<float> FreeCamSpeed{kDefaultFreeCamSpeed};
    SharedValue<float> FreeCamMouseSensitivity{kDefaultFreeCamMouseSensitivity};
    // The "Timelapse" checkbox (not saved); its speed is the saved
    // UiSettings.TimecycleTimelapseSpeed.
    SharedValue<bool> TimelapseEnabled{false};
};
extern GameControlSettingsState GameControlFlags;

// Puts every value above back to its initial value.
void ResetGameControlSettings();

}  // namespace core
