// Weather change, world toggles and teleports on the simulated world (which
// also checks every call's argument kinds and constants).
#include <gtest/gtest.h>

#include "core/game_control_settings.h"
#include "game/game_controls.h"
#include "game/natives.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace game;
using Words = std::vector<uint64_t>;

uint64_t F(float v) { return testsupport::SimFloatWord(v); }

using GameControlsTest = testsupport::SimWorldTest;

TEST_F(GameControlsTest, WeatherChangeSendsFiveStepsWithTheGameNameAndNothingOutsideTheFileWeathers) {
    for (int32_t index : {17, 18, -1, 1000}) {
        EXPECT_FALSE(SetGameWeather(index)) << index;
        EXPECT_FALSE(CanSetGameWeather(index)) << index;
    }
    EXPECT_TRUE(RequestGameWeather(0));  // the tab's request is posted for the tick
    EXPECT_FALSE(RequestGameWeather(17));
    EXPECT_EQ(WeatherRequest.load(), 0);
    EXPECT_TRUE(Calls().empty());
    ASSERT_TRUE(SetGameWeather(4));  // RAIN
    ASSERT_EQ(CallHashes(), (Words{kNativeWeatherStep1, kNativeWeatherStep2, kNativeWeatherStep3, kNativeWeatherStep4,
                                   kNativeWeatherStep5}));
    for (size_t i = 2; i < 5; ++i)
        EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(Calls()[i].args.at(0))), "RAIN");
    EXPECT_EQ(world.weather, "RAIN");
    EXPECT_EQ(world.weatherChanges, 1u);
}

TEST_F(GameControlsTest, IdleCameraAndPedestriansAreSuppressedEveryFrameAroundThePlayer) {
    ApplyWorldToggles();
    EXPECT_TRUE(Calls().empty()) << "the defaults send nothing";
    core::GameControlFlags.DisableIdleCamera = true;
    core::GameControlFlags.DisablePedestrians = true;
    world.entities[1].position = {1.0f, 2.0f, 3.0f};
    for (int frame = 0; frame < 2; ++frame) {
        ClearCalls();
        ApplyWorldToggles();
        ASSERT_EQ(CallHashes(), (Words{kNativeNoIdleCamera, kNativePlayerPed, kNativeEntityPosition,
                                       kNativePedSuppression1, kNativePedSuppression2, kNativePedSuppression3,
                                       kNativePedClearArea}));
        EXPECT_EQ(Words(Calls()[6].args.begin(), Calls()[6].args.begin() + 3), (Words{F(1), F(2), F(3)}));
    }
}

TEST_F(GameControlsTest, VehicleSwitchesFollowTheToggleOnChangesOnly) {
    core::GameControlFlags.DisableVehicles = true;
    ApplyWorldToggles();
    const Words perFrame = {kNativePlayerPed, kNativeEntityPosition, kNativeVehicleSuppression1,
                            kNativeVehicleSuppression2, kNativeVehicleSuppression3, kNativeVehicleSuppression4,
                            kNativeVehicleSwitchA, kNativeVehicleSwitchB, kNativeVehicleClearArea};
    Words first = perFrame;
    first.insert(first.end(), {kNativeVehicleSwitchB, kNativeVehicleSwitchA});
    EXPECT_EQ(CallHashes(), first);
    EXPECT_EQ(Words(Calls()[8].args.begin(), Calls()[8].args.begin() + 3), (Words{F(100), F(-200), F(30)}));
    EXPECT_FALSE(world.vehicleSwitchA || world.vehicleSwitchB);
    ClearCalls();
    ApplyWorldToggles();
    EXPECT_EQ(CallHashes(), perFrame);

    core::GameControlFlags.DisableVehicles = false;
    ClearCalls();
    ApplyWorldToggles();
    EXPECT_EQ(CallHashes(), (Words{kNativeVehicleSwitchB, kNativeVehicleSwitchA}));
    EXPECT_TRUE(world.vehicleSwitchA && world.vehicleSwitchB);
    ClearCalls();
    ApplyWorldToggles();
    EXPECT_TRUE(Calls().empty());
}

TEST_F(GameControlsTest, BlackoutIsSentOnlyWhenItChanges) {
    core::GameControlFlags.BlackoutMode = true;
    ApplyWorldToggles();
    ApplyWorldToggles();
    EXPECT_TRUE(world.blackout);
    core::GameControlFlags.BlackoutMode = false;
    ApplyWorldToggles();
    EXPECT_EQ(CallsOf(kNativeBlackout), (std::vector<Words>{{1}, {0}}));
    EXPECT_FALSE(world.blackout);
}

TEST_F(GameControlsTest, PresetTeleportPlacesThePlayerOrItsVehicleAndAnIndexOutsideOnlyStops) {
    RequestPresetTeleport(2);
    ApplyWorldToggles();
    EXPECT_EQ(PresetTeleportRequest.load(), 0);
    EXPECT_EQ(CallsOf(kNativePlaceEntity), (std::vector<Words>{{1, F(1840), F(3755), F(33), 0, 0, 0, 1}}));
    EXPECT_EQ(CallsOf(kNativeEntityVelocity), (std::vector<Words>{{1, 0, 0, 0}}));

    const int32_t car = testsupport::AddSimVehicle(world, {});
    testsupport::SeatSimPed(world, 1, car);
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
}

TEST_F(GameControlsTest, LocationTeleportReplacesAPresetOneAndLoadsTheWorldAroundTheMove) {
    RequestPresetTeleport(1);
    RequestLocationTeleport(10.5f, -20.0f, 5.0f);
    EXPECT_EQ(PresetTeleportRequest.load(), 0);
    ApplyWorldToggles();
    const Words at = {F(10.5f), F(-20.0f), F(5.0f)};
    EXPECT_EQ(CallHashes(), (Words{kNativePlayerPed, kNativeEntityExists, kNativePedInVehicle, kNativeLoadWorldAt,
                                   kNativePlaceEntityExact, kNativeEntityVelocity, kNativeLoadWorldAt}));
    EXPECT_EQ(Calls()[3].args, at);
    EXPECT_EQ(Calls()[4].args, (Words{1, F(10.5f), F(-20.0f), F(5.0f), 0, 0, 0}));
    EXPECT_EQ(Calls()[6].args, at);
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
