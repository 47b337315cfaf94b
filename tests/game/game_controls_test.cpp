// The game controls on the simulated world (which also checks every call's
// argument kinds and constants): natives, world toggles, teleports, clock
// requests and the timelapse, and the free camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>
#include <string>

#include "core/editor_state.h"
#include "core/game_control_settings.h"
#include "game/natives.h"
#include "platform/clock.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace core;
using namespace game;
using Words = std::vector<uint64_t>;
constexpr int kW = 0x57, kA = 0x41, kS = 0x53, kD = 0x44, kE = 0x45, kQ = 0x51, kShift = 0x10, kCtrl = 0x11;

uint64_t F(float v) { return std::bit_cast<uint32_t>(v); }  // a float argument's word

// The world's table is written from the game's interface, apart from the
// editor's constants: it holds every hash natives.h names (also those no
// other test calls) and no other.
TEST(NativeHashes, TheEditorsHashesAreTheGamesOwn) {
    std::ifstream header(VARNEL_SOURCE_DIR "/src/game/natives.h");
    ASSERT_TRUE(header) << "src/game/natives.h not found";
    const auto known = testsupport::SimNativeHashes();
    size_t named = 0;
    for (std::string line; std::getline(header, line);) {
        const size_t at = line.find("= 0x");
        if (line.rfind("inline constexpr uint64_t kNative", 0) != 0 || at == std::string::npos) continue;
        ++named;
        const uint64_t hash = std::stoull(line.substr(at + 2), nullptr, 16);
        EXPECT_NE(std::find(known.begin(), known.end(), hash), known.end()) << line;
    }
    EXPECT_EQ(named, known.size());
}

// Results are read from the first word and the vector lanes, floats go as
// their bit patterns: the free camera's start and the clear areas see them.
class GameControlsTest : public testsupport::SimWorldTest {
protected:
    void StartTimelapse(float speed) {
        core::GameControlFlags.TimelapseEnabled = true;
        core::UiSettings.TimecycleTimelapseSpeed = speed;
        TimelapseTick();  // seeds from the game
    }
    // Starts the camera at the origin looking along +y (heading 0, pitch 0).
    void StartAtOrigin() {
        world.gameplayCamPosition = {0, 0, 0};
        world.gameplayCamRotation = {0, 0, 0};
        core::GameControlFlags.FreeCamEnabled = true;
        FreeCameraTick();
        ASSERT_EQ(FreeCamera.FreeCamActive, 1);
    }
    // One frame with the given frame time and keys held.
    void Frame(float dt, std::initializer_list<int> keys = {}) {
        world.frameTime = dt;
        for (int k : keys) platform::sim::SetKeyDown(k, true);
        FreeCameraTick();
        platform::sim::ReleaseAllKeys();
    }
};

// A weather request of "Load .xml" switches the weather like any other but
// leaves the timecycle slots alone (the loaded values stay); requests the
// game cannot take, or the filter refuses, are dropped.
TEST_F(GameControlsTest, AWeatherRequestOfALoadKeepsTheTimecycleSlots) {
    const auto fileWeather = [](uint32_t w) { return w != 3; };
    const struct {
        const char* what;
        bool (*post)(int32_t);
        int32_t index;
        bool (*admits)(uint32_t);
        bool set;
        const char* weather;
        int32_t reread;
    } cases[] = {
        {"row click", &RequestGameWeather, 4, nullptr, true, "RAIN", 3},
        {"load", &RequestGameWeatherKeepingSlots, 4, nullptr, true, "RAIN", 0},
        {"load of another", &RequestGameWeatherKeepingSlots, 1, fileWeather, true, "CLEAR", 0},
        {"refused by the filter", &RequestGameWeatherKeepingSlots, 3, fileWeather, false, "EXTRASUNNY", 0},
        {"underwater", &RequestGameWeatherKeepingSlots, 17, nullptr, false, "EXTRASUNNY", 0},
    };
    for (const auto& c : cases) {
        world.weather = "EXTRASUNNY";
        Editor.TimecycleRereadFrames = 0;
        GameControls.WeatherRequest = -1;
        c.post(c.index);
        EXPECT_EQ(ServeWeatherRequest(c.admits), c.set) << c.what;
        EXPECT_EQ(world.weather, c.weather) << c.what;
        EXPECT_EQ(Editor.TimecycleRereadFrames.Get(), c.reread) << c.what;
        EXPECT_EQ(GameControls.WeatherRequest.Get(), -1) << c.what;
    }
    // A hand-made value past the table, with or without the mark, is dropped.
    for (int32_t request : {18 | kWeatherRequestKeepsSlots, 0x200, -5}) {
        GameControls.WeatherRequest = request;
        EXPECT_FALSE(ServeWeatherRequest(nullptr)) << request;
    }
    EXPECT_TRUE(world.faults.empty() && world.unknownHashes.empty());
}

TEST_F(GameControlsTest, WorldTogglesSuppressEveryFrameAndSwitchOnChangesOnly) {
    constexpr const char* kPeds = "pedestrian suppression 1; pedestrian suppression 2; pedestrian suppression 3; "
                                  "pedestrians cleared around a point; ";
    constexpr const char* kVehicles = "vehicle suppression 1; vehicle suppression 2; vehicle suppression 3; "
                                      "vehicle suppression 4; vehicle switch A; vehicle switch B; "
                                      "vehicles cleared around a point; ";
    const std::string player = "player ped; entity position; ";
    const struct {
        bool idleCamera, pedestrians, vehicles, blackout;
        std::string natives;
    } frames[] = {
        {false, false, false, false, ""},
        {true, true, false, false, "no idle camera this frame; " + player + kPeds},
        {true, true, false, false, "no idle camera this frame; " + player + kPeds},
        {false, true, true, true, player + kPeds + kVehicles + "vehicle switch B; vehicle switch A; blackout; "},
        {false, false, true, true, player + kVehicles},
        {false, false, false, false, "vehicle switch B; vehicle switch A; blackout; "},
        {false, false, false, false, ""},
    };
    world.entities[1].position = {1.0f, 2.0f, 3.0f};
    const Words kAt = {F(1), F(2), F(3)};  // the clear areas are around the player
    for (const auto& f : frames) {
        core::GameControlFlags.DisableIdleCamera = f.idleCamera;
        core::GameControlFlags.DisablePedestrians = f.pedestrians;
        core::GameControlFlags.DisableVehicles = f.vehicles;
        core::GameControlFlags.BlackoutMode = f.blackout;
        ClearCalls();
        ApplyWorldToggles();
        EXPECT_EQ(Natives(), f.natives);
        EXPECT_EQ(world.vehicleSwitchA && world.vehicleSwitchB, !f.vehicles);
        EXPECT_EQ(world.blackout, f.blackout);
        for (uint64_t area : {kNativePedClearArea, kNativeVehicleClearArea})
            for (const Words& call : CallsOf(area)) EXPECT_EQ(Words(call.begin(), call.begin() + 3), kAt);
    }
}

TEST_F(GameControlsTest, PresetTeleportPlacesThePlayerOrItsVehicleAndAnIndexOutsideOnlyStops) {
    RequestPresetTeleport(2);
    ApplyWorldToggles();
    EXPECT_EQ(GameControls.PresetTeleportRequest.Get(), 0);
    EXPECT_EQ(CallsOf(kNativePlaceEntity), (std::vector<Words>{{1, F(1840), F(3755), F(33), 0, 0, 0, 1}}));

    const int32_t car = testsupport::SeatInNewSimVehicle(world, 1);
    RequestPresetTeleport(5);
    ApplyWorldToggles();
    EXPECT_FLOAT_EQ(world.entities[car].position.x, -1037.0f);
    EXPECT_FLOAT_EQ(world.entities[car].position.y, -2737.0f);

    ClearCalls();
    world.entities[car].velocity = {5, 5, 5};
    GameControls.PresetTeleportRequest.Set(6);
    ApplyWorldToggles();
    EXPECT_TRUE(CallsOf(kNativePlaceEntity).empty());
    EXPECT_FLOAT_EQ(world.entities[car].velocity.x, 0.0f);
    EXPECT_EQ(GameControls.PresetTeleportRequest.Get(), 0);

    EXPECT_EQ(ResolveTeleportEntity(77), 0) << "no such ped";
    world.entities.erase(car);  // in a vehicle whose handle no longer exists
    EXPECT_EQ(ResolveTeleportEntity(1), 1);
}

TEST_F(GameControlsTest, LocationTeleportReplacesAPresetOneAndLoadsTheWorldAroundTheMove) {
    RequestPresetTeleport(1);
    RequestLocationTeleport(10.5f, -20.0f, 5.0f);
    EXPECT_EQ(GameControls.PresetTeleportRequest.Get(), 0);
    ApplyWorldToggles();
    EXPECT_EQ(Natives(), "player ped; entity exists; ped in a vehicle; world loaded around a point; "
                         "entity placed (location teleport); entity velocity; world loaded around a point; ");
    EXPECT_EQ(Calls()[3].args, Calls()[6].args);
    EXPECT_EQ(Calls()[3].args, (Words{F(10.5f), F(-20.0f), F(5.0f)}));
    EXPECT_FLOAT_EQ(world.entities[1].position.x, 10.5f);
    EXPECT_EQ(GameControls.LocationTeleportRequest.pending, 0);
    RequestLocationTeleport(1, 2, 3);
    RequestPresetTeleport(1);  // and the other way round
    EXPECT_EQ(GameControls.LocationTeleportRequest.pending, 0);
}

TEST_F(GameControlsTest, WithoutAPlayerAPresetWaitsOutTheLocationAndALocationIsDropped) {
    world.playerPed = 0;
    RequestLocationTeleport(1, 2, 3);
    GameControls.PresetTeleportRequest.Set(1);
    ApplyWorldToggles();
    EXPECT_EQ(GameControls.PresetTeleportRequest.Get(), 0);     // consumed
    EXPECT_EQ(GameControls.LocationTeleportRequest.pending, 1);  // waits for the next frame
    ApplyWorldToggles();
    EXPECT_EQ(GameControls.LocationTeleportRequest.pending, 0);  // dropped, not retried
    EXPECT_TRUE(CallsOf(kNativePlaceEntityExact).empty());
    EXPECT_TRUE(CallsOf(kNativeLoadWorldAt).empty());
}

// ---- Clock and timelapse --------------------------------------------------

using ClockTest = GameControlsTest;

TEST_F(ClockTest, HourRequestSetsTheClockWithTheLockAsPauseAPauseRequestWaitsAndReadingsAreClamped) {
    for (const uint8_t lock : {0, 1}) {
        ClearCalls();
        Editor.TimecycleRereadFrames.Set(0);
        ClockTimelapse.LockTimeState.Set(lock);
        ClockTimelapse.ClockHourRequest.Set(14);
        ClockTimelapse.ClockPauseRequest.Set(1 - lock);
        ApplyClockRequest();
        EXPECT_EQ(Natives(), "clock paused; clock set; clock set again; ");
        EXPECT_EQ(Calls()[1].args, (Words{14, 0, 0}));
        EXPECT_EQ(world.clockPaused, lock == 1);
        EXPECT_EQ(ClockTimelapse.GameClockReading.hour.Get(), 14);
        EXPECT_EQ(Editor.TimecycleRereadFrames.Get(), 3);
        EXPECT_EQ(ClockTimelapse.ClockHourRequest.Get(), -1);
        ClearCalls();
        ApplyClockRequest();  // the pause request on the next tick
        EXPECT_EQ(Natives(), "clock paused; ");
        EXPECT_EQ(world.clockPaused, lock == 0);
        EXPECT_EQ(ClockTimelapse.ClockPauseRequest.Get(), -1);
        EXPECT_EQ(ClockTimelapse.GameClockPaused, 1 - lock);
    }
    ClearCalls();
    ApplyClockRequest();
    EXPECT_TRUE(Calls().empty());
    Advance(5);
    RecordGameClock(25, -3, 70);  // a reading is clamped and stamped
    EXPECT_EQ(ClockTimelapse.GameClockReading.hour.Get() * 10000 + ClockTimelapse.GameClockReading.minute.Get() * 100 +
                  ClockTimelapse.GameClockReading.second.Get(),
              230059);
    EXPECT_EQ(ClockTimelapse.GameClockReading.stamp.Get(), platform::TickCount64());
}

TEST_F(ClockTest, TimelapseSeedsFromTheGamePausesItAndAHourRequestReseedsIt) {
    world.clockHours = 10;
    world.clockMinutes = 30;
    world.clockSeconds = 15;
    StartTimelapse(600.0f);
    EXPECT_DOUBLE_EQ(ClockTimelapse.TimelapseClockSeconds.Get(), 10 * 3600 + 30 * 60 + 15);
    EXPECT_TRUE(world.clockPaused);
    EXPECT_EQ(CallsOf(kNativeSetClock), (std::vector<Words>{{10, 30, 0}}));
    EXPECT_EQ(Editor.TimecycleRereadFrames.Get(), 1);

    ClockTimelapse.ClockHourRequest.Set(20);
    ApplyClockRequest();
    EXPECT_EQ(ClockTimelapse.TimelapseLastTick.Get(), 0u);
    EXPECT_EQ(ClockTimelapse.TimelapseLastHour.Get(), -1);
    EXPECT_DOUBLE_EQ(ClockTimelapse.TimelapseClockSeconds.Get(), 20 * 3600.0);
}

TEST_F(ClockTest, TimelapseAdvancesByItsClampedSpeedCapsLongFramesAndWrapsPastMidnight) {
    StartTimelapse(600.0f);
    const double start = ClockTimelapse.TimelapseClockSeconds.Get();
    Advance(16);
    TimelapseTick();
    EXPECT_NEAR(ClockTimelapse.TimelapseClockSeconds.Get() - start, 9.6, 1e-9);
    Advance(2000);
    TimelapseTick();
    EXPECT_NEAR(ClockTimelapse.TimelapseClockSeconds.Get() - start, 9.6 + 300.0, 1e-9);

    core::UiSettings.TimecycleTimelapseSpeed = 1.0f;
    ClockTimelapse.TimelapseClockSeconds.Set(86400.0 - 0.1);
    Advance(1000);
    TimelapseTick();  // a step of 0.5 s at most...
    Advance(500);
    TimelapseTick();
    EXPECT_NEAR(ClockTimelapse.TimelapseClockSeconds.Get(), 0.9, 1e-9);
    EXPECT_EQ(world.clockHours, 0);
    EXPECT_EQ(world.clockMinutes, 0);
    for (const auto& [stored, clamped] : {std::pair{0.5f, 1.0f}, std::pair{5000.0f, 3600.0f}}) {
        core::UiSettings.TimecycleTimelapseSpeed = stored;  // the speed is clamped and written back
        TimelapseTick();
        EXPECT_FLOAT_EQ(core::UiSettings.TimecycleTimelapseSpeed, clamped);
    }
}

TEST_F(ClockTest, TimelapseSetsTheClockOnANewMinuteOrEvery250Ms) {
    StartTimelapse(1.0f);
    const uint64_t seeded = world.clockSets;
    const struct {
        float speed;
        uint64_t advance, sets;
    } steps[] = {{1.0f, 100, 0}, {1.0f, 150, 1}, {3600.0f, 20, 2}};  // 72 game seconds: a new minute at once
    for (const auto& s : steps) {
        core::UiSettings.TimecycleTimelapseSpeed = s.speed;
        Advance(s.advance);
        TimelapseTick();
        EXPECT_EQ(world.clockSets, seeded + s.sets) << s.advance;
    }
}

TEST_F(ClockTest, SwitchingTheTimelapseOffReleasesTheClockUnlessTimeIsLocked) {
    ClockTimelapse.TimelapseLastTick.Set(99);
    TimelapseSwitched(true);
    EXPECT_EQ(ClockTimelapse.TimelapseLastTick.Get(), 0u);
    EXPECT_EQ(ClockTimelapse.ClockPauseRequest.Get(), -1);
    TimelapseSwitched(false);
    EXPECT_EQ(ClockTimelapse.ClockPauseRequest.Get(), 0);
    ClockTimelapse.LockTimeState.Set(1);
    TimelapseSwitched(false);
    EXPECT_EQ(ClockTimelapse.ClockPauseRequest.Get(), 1);
    ClockTimelapse.TimelapseLastHour.Set(3);  // off, a tick only forgets its state
    TimelapseTick();
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(ClockTimelapse.TimelapseLastHour.Get(), -1);
}

// ---- Free camera ----------------------------------------------------------

using FreeCameraTest = GameControlsTest;

std::vector<float> V(testsupport::SimVec v) { return {v.x, v.y, v.z}; }

TEST_F(FreeCameraTest, StartsAtTheGameplayCameraFreezingThePlayersVehicleAndGivesEverythingBack) {
    const int32_t car = testsupport::SeatInNewSimVehicle(world, 1);
    world.gameplayCamRotation = {-20.0f, 5.0f, 270.0f};
    world.gameplayCamFov = 42.0f;
    core::GameControlFlags.FreeCamEnabled = true;
    FreeCameraTick();
    ASSERT_EQ(world.cameras.size(), 1u);
    const testsupport::SimCamera& camera = world.cameras.begin()->second;
    EXPECT_EQ(V(camera.position), (std::vector<float>{10, 20, 35}));
    EXPECT_EQ(V(camera.rotation), (std::vector<float>{-20, 0, -90})) << "pitch, no roll, the heading wrapped";
    EXPECT_EQ(camera.fov, 42.0f);
    EXPECT_TRUE(camera.active && world.renderingScriptCams);
    EXPECT_TRUE(world.entities[car].frozen);
    EXPECT_FALSE(world.playerControl);
    core::GameControlFlags.FreeCamEnabled = false;
    FreeCameraTick();
    EXPECT_TRUE(world.cameras.empty());
    EXPECT_FALSE(world.renderingScriptCams);
    EXPECT_FALSE(world.entities[car].frozen);
    EXPECT_TRUE(world.playerControl);
    EXPECT_TRUE(FreeCamera.FreeCamHandle == 0 && FreeCamera.FreeCamActive == 0);
    ClearCalls();
    FreeCameraTick();
    EXPECT_TRUE(Calls().empty());
}

TEST_F(FreeCameraTest, NoPlayerOrAFailedCreationUndoesTheStartAndClearsTheCheckbox) {
    for (const bool noPlayer : {true, false}) {
        world.playerPed = noPlayer ? 0 : 1;
        world.failCameraCreation = !noPlayer;
        core::GameControlFlags.FreeCamEnabled = true;
        FreeCameraTick();
        EXPECT_EQ(FreeCamera.FreeCamActive, 0);
        EXPECT_FALSE(core::GameControlFlags.FreeCamEnabled);
        EXPECT_FALSE(world.entities[1].frozen);
        EXPECT_TRUE(world.playerControl);
        EXPECT_TRUE(CallsOf(kNativeRenderScriptCams).empty()) << "never rendered, nothing to give back";
    }
}

TEST_F(FreeCameraTest, ACameraThatVanishedIsNoLongerPosedButStillHandedBack) {
    StartAtOrigin();
    world.cameras.clear();
    ClearCalls();
    Frame(0.016f);
    EXPECT_TRUE(CallsOf(kNativeCameraPosition).empty());
    core::GameControlFlags.FreeCamEnabled = false;
    FreeCameraTick();
    EXPECT_FALSE(world.renderingScriptCams) << "handed back (and not destroyed: the world would see no camera)";
    EXPECT_TRUE(world.playerControl);
}

TEST_F(FreeCameraTest, KeysMoveAtTheSpeedInAnyDirectionWithFloorsAndCaps) {
    StartAtOrigin();
    const struct {
        const char* what;
        float speed, dt;
        std::initializer_list<int> keys;
        FreeCamPoint moved;
    } cases[] = {
        {"W: along +y", 10, 0.1f, {kW}, {0, 1, 0}},
        {"W and D: diagonal at the same speed", 10, 0.1f, {kW, kD}, {0.70710677f, 0.70710677f, 0}},
        {"opposite keys cancel", 10, 0.1f, {kW, kS}, {0, 0, 0}},
        {"E: up", 10, 0.1f, {kE}, {0, 0, 1}},
        {"Q with Shift: four times faster, down", 10, 0.1f, {kQ, kShift}, {0, 0, -4}},
        {"A with Ctrl: a quarter, to the left", 10, 0.1f, {kA, kCtrl}, {-0.25f, 0, 0}},
        {"Shift and Ctrl together", 10, 0.1f, {kA, kShift, kCtrl}, {-1, 0, 0}},
        {"speed floor 0.1 units/s", 0.05f, 0.1f, {kW}, {0, 0.01f, 0}},
        {"frame time capped at 0.1 s", 10, 0.5f, {kW}, {0, 1, 0}},
        {"negative frame time", 10, -1.0f, {kW}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        FreeCamera.FreeCamPosition = {};
        core::GameControlFlags.FreeCamSpeed = c.speed;
        Frame(c.dt, c.keys);
        const FreeCamPoint& p = FreeCamera.FreeCamPosition;
        EXPECT_LT(std::hypot(p.x - c.moved.x, p.y - c.moved.y, p.z - c.moved.z), 1e-5) << c.what;
    }
    core::GameControlFlags.FreeCamMouseSensitivity = 0.001f;  // acts as 0.01
    world.lookAxis[1] = 1.0f;
    Frame(0.1f);
    EXPECT_NEAR(FreeCamera.FreeCamHeading, -0.18f, 1e-5);
}

TEST_F(FreeCameraTest, MouseTurnsWithPitchLimitsAndHeadingWrap) {
    StartAtOrigin();
    for (const float axis : {-1.0f, 1.0f}) {
        world.lookAxis[2] = axis;
        for (int i = 0; i < 20; ++i) Frame(0.1f);
        EXPECT_FLOAT_EQ(FreeCamera.FreeCamPitch, -89.0f * axis);
    }
    world.lookAxis[2] = 0.0f;
    FreeCamera.FreeCamPitch = 0.0f;
    FreeCamera.FreeCamHeading = 179.0f;
    world.lookAxis[1] = -2.0f / 18.0f;  // +2 degrees at 0.1 s
    Frame(0.1f);
    EXPECT_NEAR(FreeCamera.FreeCamHeading, -179.0f, 1e-3);
}

TEST_F(FreeCameraTest, OpenMenuHoldsTheCameraAndThePlayer) {
    StartAtOrigin();
    Editor.MenuOpen.Set(1);
    world.lookAxis[1] = 1.0f;
    world.entities[1].frozen = false;
    Frame(0.1f, {kW});
    EXPECT_TRUE(FreeCamera.FreeCamPosition.x == 0 && FreeCamera.FreeCamPosition.y == 0 && FreeCamera.FreeCamPosition.z == 0);
    EXPECT_FLOAT_EQ(FreeCamera.FreeCamHeading, 0.0f);
    EXPECT_TRUE(world.entities[1].frozen);
    EXPECT_EQ(CallsOf(kNativeCameraPosition).size(), 2u);  // still re-asserted, and the controls blocked
    EXPECT_EQ(CallsOf(kNativeBlockGameControls).size(), 2u);
    EXPECT_EQ(CallsOf(kNativeCameraRotation).back(), (Words{static_cast<uint64_t>(FreeCamera.FreeCamHandle), 0, 0, 0, 2}));
}

TEST(FreeCameraHeading, WrapsIntoHalfTurns) {
    const std::pair<float, float> cases[] = {
        {190.0f, -170.0f}, {-540.0f, -180.0f}, {180.0f, 180.0f}, {900.5f, -179.5f}};
    for (const auto& [in, out] : cases) EXPECT_FLOAT_EQ(WrapHeading(in), out) << in;
    EXPECT_LE(std::fabs(WrapHeading(1e30f)), 180.0f) << "returns at all, in range";
}

}  // namespace
