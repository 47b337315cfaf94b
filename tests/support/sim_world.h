// A simulated game world behind the script host's native calls: the state
// the editor's natives touch, one handler per native hash, and a check of
// every call's argument words against the game's interface. A hash the world
// does not know or a malformed call lands in `unknownHashes` or `faults`, and
// a test fails when either is not empty. Portable: the native tests put it
// behind the Linux script-host stand-in (sim_world_fixture.h), the stand-in
// script host of the end-to-end test routes its nativeCall here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace testsupport {

struct SimVec {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

struct SimEntity {
    SimVec position{}, velocity{};
    bool frozen = false;
    int32_t vehicle = 0;  // a ped's vehicle (0 = on foot)
};

struct SimCamera {
    SimVec position{}, rotation{};  // rotation: pitch, roll, heading (degrees)
    float fov = 0.0f;
    bool active = false;
};

struct SimWorld {
    // Player: the ped handle (0 = no player) and the player index.
    int32_t playerPed = 1, playerIndex = 0;
    bool playerControl = true;
    std::map<int32_t, SimEntity> entities{{1, SimEntity{{100.0f, -200.0f, 30.0f}}}};

    int32_t clockHours = 12, clockMinutes = 0, clockSeconds = 0;
    bool clockPaused = false;
    uint64_t clockSets = 0;

    // Weather: the game name after the fifth step of a change.
    std::string weather = "EXTRASUNNY", weatherPending;
    int weatherStep = 0;

    // HUD and world toggles: the two vehicle switches start on in the game.
    bool hudVisible = true, vehicleSwitchA = true, vehicleSwitchB = true, blackout = false;

    // Cameras: the gameplay camera and the scripted ones.
    SimVec gameplayCamPosition{10.0f, 20.0f, 35.0f}, gameplayCamRotation{-10.0f, 0.0f, 90.0f};
    float gameplayCamFov = 50.0f;
    std::map<int32_t, SimCamera> cameras;
    int32_t nextCamera = 1000;
    bool failCameraCreation = false;  // the create native answers 0
    bool renderingScriptCams = false;

    // Frame input: look axes 1 horizontal, 2 vertical.
    float frameTime = 1.0f / 60.0f, lookAxis[3] = {0.0f, 0.0f, 0.0f};

    int32_t modifierIndex = -1;  // the timecycle modifier's, -1 when none is set

    // Hashes without a handler, malformed calls, and the last call.
    std::vector<uint64_t> unknownHashes;
    std::vector<std::string> faults;
    uint64_t lastHash = 0;
    std::vector<uint64_t> lastArgs;
};

// Handles one native call: checks the words, changes the world, writes the
// result words (result points at 3 or more words, zeroed by the caller).
// False for a hash the world does not know (it is added to unknownHashes).
bool HandleSimNative(SimWorld& world, uint64_t hash, const uint64_t* args, size_t count, uint64_t* result);

// Every hash the world implements, and what the editor uses it for.
std::span<const uint64_t> SimNativeHashes();
const char* SimNativeRole(uint64_t hash);

// A new vehicle with the ped seated in it; returns its handle.
int32_t SeatInNewSimVehicle(SimWorld& world, int32_t ped);

// Lets the game clock run (unless paused) by whole seconds.
void AdvanceSimClock(SimWorld& world, int64_t seconds);

}  // namespace testsupport
