#include "core/game_control_settings.h"

namespace core {

GameControlFlagValues GameControlFlags;
SharedValue<float> FreeCamSpeed{kDefaultFreeCamSpeed};
SharedValue<float> FreeCamMouseSensitivity{kDefaultFreeCamMouseSensitivity};
SharedValue<bool> TimelapseEnabled{false};

void ResetGameControlSettings() {
    GameControlFlags.GameHudVisible = true;
    GameControlFlags.DisableIdleCamera = false;
    GameControlFlags.DisablePedestrians = false;
    GameControlFlags.DisableVehicles = false;
    GameControlFlags.BlackoutMode = false;
    GameControlFlags.FreeCamEnabled = false;
    FreeCamSpeed = kDefaultFreeCamSpeed;
    FreeCamMouseSensitivity = kDefaultFreeCamMouseSensitivity;
    TimelapseEnabled = false;
}

}  // namespace core
