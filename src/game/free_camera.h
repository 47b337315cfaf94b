// The free camera: a scripted camera that starts where the gameplay camera
// is, flies with W, A, S, D, E, Q and the mouse while the menu is closed and
// holds still while it is open. The player (or the vehicle the player sits
// in) is frozen and loses control meanwhile. The checkbox and the sliders are
// settings (game_control_settings.h); everything here runs on the script fiber.
#pragma once
#include <cstdint>

namespace game {

struct FreeCamPoint {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

extern uint8_t FreeCamActive;         // the scripted camera exists and renders
extern int32_t FreeCamHandle;         // camera handle, 0 = none
extern FreeCamPoint FreeCamPosition;  // world position of the camera
extern float FreeCamPitch;            // degrees, kept in -89..89
extern float FreeCamHeading;          // degrees, kept in -180..180
extern float FreeCamFov;              // the gameplay camera's field of view taken at start
extern int32_t FreeCamFrozenEntity;   // the player ped or its vehicle, 0 = none

// Starts the camera; clears the checkbox when there is no player.
void EnableFreeCam();
// Stops it: camera destroyed, gameplay camera back, entity unfrozen, player
// in control, checkbox cleared.
void DisableFreeCam();
// Every frame from the tick.
void FreeCameraTick();

// A heading brought into -180..180.
float WrapHeading(float degrees);

// Back to the state at process start (tests).
void ResetFreeCameraState();

}  // namespace game
