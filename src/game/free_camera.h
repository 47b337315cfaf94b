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

// The camera's state. Script fiber only (the tick); the render thread
// reads none of it.
struct FreeCameraState {
    uint8_t FreeCamActive = 0;         // the scripted camera exists and renders
    int32_t FreeCamHandle = 0;         // camera handle, 0 = none
    FreeCamPoint FreeCamPosition;      // world position of the camera
    float FreeCamPitch = 0.0f;         // degrees, kept in -89..89
    float FreeCamHeading = 0.0f;       // degrees, kept in -180..180
    float FreeCamFov = 65.0f;          // the gameplay camera's field of view taken at start
    int32_t FreeCamFrozenEntity = 0;   // the player ped or its vehicle, 0 = none
};
extern FreeCameraState FreeCamera;

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
