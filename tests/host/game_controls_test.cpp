// Weather change, world toggles and teleports on the simulated world.
#include <gtest/gtest.h>

#include <cstring>

#include "host/game_controls.h"
#include "host/natives.h"
#include "shell/game_control_settings.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace host;
using testsupport::SimWorldTest;
using Words = std::vector<uint64_t>;

uint64_t F(float v) { return testsupport::SimFloatWord(v); }
const uint64_t kRadius = 0x447A0000;  // 1000.0

using GameControlsTest = SimWorldTest;

TEST_F(GameControlsTest, WeatherChangeSendsFiveStepsWithTheGameName) {
    ASSERT_TRUE(SetGameWeather(4));  // RAIN
    ASSERT_EQ(CallHashes(), (Words{kNativeWeatherStep1, kNativeWeatherStep2, kNativeWeatherStep3, kNativeWeatherStep4,
                                   kNativeWeatherStep5}));
    for (size_t i = 2; i < 5; ++i) {
        ASSERT_EQ(Calls()[i].args.size(), 1u);
        EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(Calls()[i].args[0])), "RAIN");
    }
    EXPECT_EQ(world.weather, "RAIN");
    EXPECT_EQ(world.weatherChanges, 1u);
}

TEST_F(GameControlsTest, WeatherOutOfRangeOrUnderwaterCallsNothing) {
    for (int32_t index : {17, 18, -1, 1000}) {
        EXPECT_FALSE(SetGameWeather(index)) << index;
        EXPECT_FALSE(CanSetGameWeather(index)) << index;
    }
    EXPECT_TRUE(Calls().empty());
}

TEST_F(GameControlsTest, TabWeatherRequestIsPostedForTheTickWithoutNatives) {
    EXPECT_TRUE(RequestGameWeather(0));
    EXPECT_EQ(WeatherRequest.load(), 0);
    EXPECT_FALSE(RequestGameWeather(17));  // UNDERWATER_DEEP: answered, nothing posted
    EXPECT_EQ(WeatherRequest.load(), 0);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(GameControlsTest, DefaultsSendNothing) {
    ApplyWorldToggles();
    EXPECT_TRUE(Calls().empty());
}

TEST_F(GameControlsTest, IdleCameraAndPedestriansAreSuppressedEveryFrameAroundThePlayer) {
    shell::GameControlFlags.DisableIdleCamera = true;
    shell::GameControlFlags.DisablePedestrians = true;
    world.entities[1].position = {1.0f, 2.0f, 3.0f};
    for (int frame = 0; frame < 2; ++frame) {
        ClearCalls();
        ApplyWorldToggles();
        ASSERT_EQ(CallHashes(), (Words{kNativeNoIdleCamera, kNativePlayerPed, kNativeEntityPosition,
                                       kNativePedSuppression1, kNativePedSuppression2, kNativePedSuppression3,
                                       kNativePedClearArea}));
        EXPECT_EQ(Calls()[2].args, (Words{1, 1}));
        EXPECT_EQ(Calls()[3].args, (Words{0}));
        EXPECT_EQ(Calls()[4].args, (Words{0, 0}));
        EXPECT_EQ(Calls()[5].args, (Words{0}));
        EXPECT_EQ(Calls()[6].args, (Words{F(1.0f), F(2.0f), F(3.0f), kRadius, 1}));
    }
}

TEST_F(GameControlsTest, VehicleSwitchesFollowTheToggleOnChangesOnly) {
    shell::GameControlFlags.DisableVehicles = true;
    ApplyWorldToggles();
    const Words perFrame = {kNativePlayerPed, kNativeEntityPosition, kNativeVehicleSuppression1,
                            kNativeVehicleSuppression2, kNativeVehicleSuppression3, kNativeVehicleSuppression4,
                            kNativeVehicleSwitchA, kNativeVehicleSwitchB, kNativeVehicleClearArea};
    Words first = perFrame;
    first.push_back(kNativeVehicleSwitchB);
    first.push_back(kNativeVehicleSwitchA);
    EXPECT_EQ(CallHashes(), first);
    EXPECT_EQ(Calls()[8].args, (Words{F(100.0f), F(-200.0f), F(30.0f), kRadius, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Calls()[9].args, (Words{0}));
    EXPECT_FALSE(world.vehicleSwitchA);

    ClearCalls();
    ApplyWorldToggles();
    EXPECT_EQ(CallHashes(), perFrame);

    shell::GameControlFlags.DisableVehicles = false;
    ClearCalls();
    ApplyWorldToggles();
    EXPECT_EQ(CallHashes(), (Words{kNativeVehicleSwitchB, kNativeVehicleSwitchA}));
    EXPECT_EQ(Calls()[0].args, (Words{1}));
    EXPECT_EQ(Calls()[1].args, (Words{1}));
    EXPECT_TRUE(world.vehicleSwitchA && world.vehicleSwitchB);
    ClearCalls();
    ApplyWorldToggles();
    EXPECT_TRUE(Calls().empty());
}

TEST_F(GameControlsTest, BlackoutIsSentOnlyWhenItChanges) {
    shell::GameControlFlags.BlackoutMode = true;
    ApplyWorldToggles();
    ApplyWorldToggles();
    ASSERT_EQ(CallsOf(kNativeBlackout), (std::vector<Words>{{1}}));
    EXPECT_TRUE(world.blackout);
    shell::GameControlFlags.BlackoutMode = false;
    ApplyWorldToggles();
    EXPECT_EQ(CallsOf(kNativeBlackout), (std::vector<Words>{{1}, {0}}));
    EXPECT_FALSE(world.blackout);
}

TEST_F(GameControlsTest, PresetTeleportPlacesThePlayerOrItsVehicle) {
    RequestPresetTeleport(2);
    ApplyWorldToggles();
    EXPECT_EQ(PresetTeleportRequest.load(), 0);
    auto place = CallsOf(kNativePlaceEntity);
    ASSERT_EQ(place.size(), 1u);
    EXPECT_EQ(place[0], (Words{1, F(1840.0f), F(3755.0f), F(33.0f), 0, 0, 0, 1}));
    EXPECT_EQ(CallsOf(kNativeEntityVelocity), (std::vector<Words>{{1, 0, 0, 0}}));

    const int32_t car = testsupport::AddSimVehicle(world, {});
    testsupport::SeatSimPed(world, 1, car);
    RequestPresetTeleport(5);
    ApplyWorldToggles();
    EXPECT_FLOAT_EQ(world.entities[car].position.x, -1037.0f);
    EXPECT_FLOAT_EQ(world.entities[car].position.y, -2737.0f);
    EXPECT_FLOAT_EQ(world.entities[1].position.x, 1840.0f);  // the ped rides along in the game
}

TEST_F(GameControlsTest, PresetRequestOutsideTheTableOnlyStopsTheEntity) {
    world.entities[1].velocity = {5, 5, 5};
    PresetTeleportRequest.store(6);
    ApplyWorldToggles();
    EXPECT_TRUE(CallsOf(kNativePlaceEntity).empty());
    EXPECT_EQ(CallsOf(kNativeEntityVelocity).size(), 1u);
    EXPECT_FLOAT_EQ(world.entities[1].velocity.x, 0.0f);
    EXPECT_EQ(PresetTeleportRequest.load(), 0);
}

TEST_F(GameControlsTest, LocationTeleportLoadsTheWorldAroundTheMove) {
    RequestLocationTeleport(10.5f, -20.0f, 5.0f);
    ApplyWorldToggles();
    const Words at = {F(10.5f), F(-20.0f), F(5.0f)};
    EXPECT_EQ(CallHashes(), (Words{kNativePlayerPed, kNativeEntityExists, kNativePedInVehicle, kNativeLoadWorldAt,
                                   kNativePlaceEntityExact, kNativeEntityVelocity, kNativeLoadWorldAt}));
    EXPECT_EQ(Calls()[3].args, at);
    EXPECT_EQ(Calls()[4].args, (Words{1, F(10.5f), F(-20.0f), F(5.0f), 0, 0, 0}));
    EXPECT_EQ(Calls()[6].args, at);
    EXPECT_EQ(LocationTeleportRequest.pending, 0);
}

TEST_F(GameControlsTest, PresetAndLocationRequestsReplaceEachOther) {
    RequestLocationTeleport(1, 2, 3);
    RequestPresetTeleport(1);
    EXPECT_EQ(LocationTeleportRequest.pending, 0);
    RequestLocationTeleport(1, 2, 3);
    EXPECT_EQ(PresetTeleportRequest.load(), 0);
    EXPECT_EQ(LocationTeleportRequest.pending, 1);
}

TEST_F(GameControlsTest, WithoutAPlayerAPresetWaitsOutTheLocationAndALocationIsDropped) {
    world.playerPed = 0;
    PresetTeleportRequest.store(1);
    {
        std::lock_guard<std::mutex> lock(TeleportMutex);
        LocationTeleportRequest = {1, 1, 2, 3};
    }
    ApplyWorldToggles();
    EXPECT_EQ(PresetTeleportRequest.load(), 0);            // consumed
    EXPECT_EQ(LocationTeleportRequest.pending, 1);         // waits for the next frame
    ApplyWorldToggles();
    EXPECT_EQ(LocationTeleportRequest.pending, 0);         // dropped, not retried
    EXPECT_TRUE(CallsOf(kNativePlaceEntityExact).empty());
    EXPECT_TRUE(CallsOf(kNativeLoadWorldAt).empty());
}

}  // namespace
