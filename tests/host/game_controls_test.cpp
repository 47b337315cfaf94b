// Natives, weather change, world toggles and teleports on the simulated world
// (which also checks every call's argument kinds and constants).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "host/game_controls.h"
#include "host/natives.h"
#include "shell/game_control_settings.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace host;
using Words = std::vector<uint64_t>;

uint64_t F(float v) { return testsupport::SimFloatWord(v); }

// The world's table is written from the game's interface, apart from the
// editor's constants: it holds every hash natives.h names (also those no
// other test calls) and no other.
TEST(NativeHashes, TheEditorsHashesAreTheGamesOwn) {
    std::ifstream header(VARNEL_SOURCE_DIR "/src/host/natives.h");
    ASSERT_TRUE(header) << "src/host/natives.h not found";
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

using GameControlsTest = testsupport::SimWorldTest;

TEST_F(GameControlsTest, ResultsAreReadFromTheFirstWordAndVectorLanes) {
    world.entities[1].position = {1.5f, -2.25f, 300.0f};
    const NativeVector p = CallNativeVector(kNativeEntityPosition, {IntArg(1), BoolArg(true)});
    EXPECT_FLOAT_EQ(p.x, 1.5f);
    EXPECT_FLOAT_EQ(p.y, -2.25f);
    EXPECT_FLOAT_EQ(p.z, 300.0f);
    world.lookAxis[1] = -0.75f;
    EXPECT_FLOAT_EQ(GetLookAxisNative(0, 1), -0.75f);
    EXPECT_EQ(CallNativeInt(kNativeModifierIndex), -1);
    ClearCalls();
    SetActiveModifierStrength(0.5f);  // floats go as their bit patterns
    EXPECT_EQ(CallsOf(kNativeModifierStrength), (std::vector<Words>{{0x3F000000}}));
}

TEST_F(GameControlsTest, WeatherChangeSendsFiveStepsWithTheGameNameAndNothingOutsideTheFileWeathers) {
    for (int32_t index : {17, 18, -1, 1000}) {
        EXPECT_FALSE(SetGameWeather(index)) << index;
        EXPECT_FALSE(CanSetGameWeather(index)) << index;
    }
    EXPECT_TRUE(RequestGameWeather(0));  // the tab's request is posted for the tick
    EXPECT_FALSE(RequestGameWeather(17));
    EXPECT_EQ(WeatherRequest.load(), 0);
    EXPECT_TRUE(Calls().empty());
    ASSERT_TRUE(SetGameWeather(4));
    EXPECT_EQ(world.weather, "RAIN") << "the world takes it on the fifth of the steps in order with one name";
}

// Suppression every frame around the player; the switches only on a change.
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
        shell::GameControlFlags.DisableIdleCamera = f.idleCamera;
        shell::GameControlFlags.DisablePedestrians = f.pedestrians;
        shell::GameControlFlags.DisableVehicles = f.vehicles;
        shell::GameControlFlags.BlackoutMode = f.blackout;
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
    EXPECT_EQ(PresetTeleportRequest.load(), 0);
    EXPECT_EQ(CallsOf(kNativePlaceEntity), (std::vector<Words>{{1, F(1840), F(3755), F(33), 0, 0, 0, 1}}));
    EXPECT_EQ(CallsOf(kNativeEntityVelocity), (std::vector<Words>{{1, 0, 0, 0}}));

    const int32_t car = testsupport::SeatInNewSimVehicle(world, 1);
    RequestPresetTeleport(5);
    ApplyWorldToggles();
    EXPECT_FLOAT_EQ(world.entities[car].position.x, -1037.0f);
    EXPECT_FLOAT_EQ(world.entities[car].position.y, -2737.0f);

    ClearCalls();
    world.entities[car].velocity = {5, 5, 5};
    PresetTeleportRequest.store(6);
    ApplyWorldToggles();
    EXPECT_TRUE(CallsOf(kNativePlaceEntity).empty());
    EXPECT_FLOAT_EQ(world.entities[car].velocity.x, 0.0f);
    EXPECT_EQ(PresetTeleportRequest.load(), 0);

    EXPECT_EQ(ResolveTeleportEntity(77), 0) << "no such ped";
    world.entities.erase(car);  // in a vehicle whose handle no longer exists
    EXPECT_EQ(ResolveTeleportEntity(1), 1);
}

TEST_F(GameControlsTest, LocationTeleportReplacesAPresetOneAndLoadsTheWorldAroundTheMove) {
    RequestPresetTeleport(1);
    RequestLocationTeleport(10.5f, -20.0f, 5.0f);
    EXPECT_EQ(PresetTeleportRequest.load(), 0);
    ApplyWorldToggles();
    EXPECT_EQ(Natives(), "player ped; entity exists; ped in a vehicle; world loaded around a point; "
                         "entity placed (location teleport); entity velocity; world loaded around a point; ");
    EXPECT_EQ(Calls()[3].args, Calls()[6].args);
    EXPECT_EQ(Calls()[3].args, (Words{F(10.5f), F(-20.0f), F(5.0f)}));
    EXPECT_FLOAT_EQ(world.entities[1].position.x, 10.5f);
    EXPECT_EQ(LocationTeleportRequest.pending, 0);
    RequestLocationTeleport(1, 2, 3);
    RequestPresetTeleport(1);  // and the other way round
    EXPECT_EQ(LocationTeleportRequest.pending, 0);
}

TEST_F(GameControlsTest, WithoutAPlayerAPresetWaitsOutTheLocationAndALocationIsDropped) {
    world.playerPed = 0;
    PresetTeleportRequest.store(1);
    {
        std::lock_guard<std::mutex> lock(TeleportMutex);
        LocationTeleportRequest = {1, 1, 2, 3};
    }
    ApplyWorldToggles();
    EXPECT_EQ(PresetTeleportRequest.load(), 0);     // consumed
    EXPECT_EQ(LocationTeleportRequest.pending, 1);  // waits for the next frame
    ApplyWorldToggles();
    EXPECT_EQ(LocationTeleportRequest.pending, 0);  // dropped, not retried
    EXPECT_TRUE(CallsOf(kNativePlaceEntityExact).empty());
    EXPECT_TRUE(CallsOf(kNativeLoadWorldAt).empty());
}

}  // namespace
