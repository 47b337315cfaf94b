#include "core/game_control_settings.h"

namespace core {

GameControlSettingsState GameControlFlags;

void ResetGameControlSettings() {
    GameControlFlags.GameHudVisible = true;
    GameControlFlags.DisableIdleCamera = false;
    GameControlFlags.DisablePedestrians = false;
    GameControlFlags.DisableVehicles = false;
    GameControlFlags.BlackoutMode = false;
    GameControlFlags.FreeCamEnabled = false;
    GameControlFlags.FreeCamSpeed = kDefaultFreeCamSpeed;
    GameControlFlags.FreeCamMouseSensitivity = kDefaultFreeCamMouseSensitivity;
    GameControlFlags.TimelapseEnabled = false;
}

}  // namespace core
