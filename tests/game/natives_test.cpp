// Native calls: hashes, argument words and results on the simulated world.
#include <gtest/gtest.h>

#include <algorithm>

#include "game/natives.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace game;

// The simulated world's table is written from the game's interface, apart
// from the editor's constants: every hash the editor uses must be in it
// (also those no other test calls).
TEST(NativeHashes, EveryHashTheEditorCallsIsOneTheGameHas) {
    const auto known = testsupport::SimNativeHashes();
    for (uint64_t hash : {
             kNativePlayerPed, kNativePlayerIndex, kNativeSetPlayerControl, kNativeBlockGameControls,
             kNativeEntityPosition, kNativeEntityExists, kNativePedInVehicle, kNativePedVehicle, kNativeFreezeEntity,
             kNativePlaceEntity, kNativePlaceEntityExact, kNativeEntityVelocity, kNativeLoadWorldAt,
             kNativeNoIdleCamera, kNativePedSuppression1, kNativePedSuppression2, kNativePedSuppression3,
             kNativePedClearArea, kNativeVehicleSuppression1, kNativeVehicleSuppression2, kNativeVehicleSuppression3,
             kNativeVehicleSuppression4, kNativeVehicleSwitchA, kNativeVehicleSwitchB, kNativeVehicleClearArea,
             kNativeBlackout, kNativeHudVisible, kNativeRadarVisible, kNativeHideHudFrame, kNativeClockHours,
             kNativeClockMinutes, kNativeClockSeconds, kNativePauseClock, kNativeSetClock, kNativeSetClockAgain,
             kNativeWeatherStep1, kNativeWeatherStep2, kNativeWeatherStep3, kNativeWeatherStep4, kNativeWeatherStep5,
             kNativeFrameTime, kNativeLookAxis, kNativeGameplayCamPosition, kNativeGameplayCamRotation,
             kNativeGameplayCamFov, kNativeCreateCamera, kNativeCameraExists, kNativeCameraActive,
             kNativeRenderScriptCams, kNativeDestroyCamera, kNativeCameraPosition, kNativeCameraRotation,
             kNativeCameraFov, kNativeClearModifier, kNativeSetModifier, kNativeModifierStrength,
             kNativeModifierIndex})
        EXPECT_NE(std::find(known.begin(), known.end(), hash), known.end()) << std::hex << hash;
}

using NativeCallsTest = testsupport::SimWorldTest;

TEST_F(NativeCallsTest, ResultsAreReadFromTheFirstWordAndVectorLanes) {
    world.entities[1].position = {1.5f, -2.25f, 300.0f};
    const NativeVector p = CallNativeVector(kNativeEntityPosition, {IntArg(1), BoolArg(true)});
    EXPECT_FLOAT_EQ(p.x, 1.5f);
    EXPECT_FLOAT_EQ(p.y, -2.25f);
    EXPECT_FLOAT_EQ(p.z, 300.0f);
    world.lookAxis[1] = -0.75f;
    EXPECT_FLOAT_EQ(GetLookAxisNative(0, 1), -0.75f);
    world.modifierIndex = -1;
    EXPECT_EQ(CallNativeInt(kNativeModifierIndex), -1);
    ClearCalls();
    SetActiveModifierStrength(0.5f);  // floats go as their bit patterns
    EXPECT_EQ(CallsOf(kNativeModifierStrength), (std::vector<std::vector<uint64_t>>{{0x3F000000}}));
}

TEST_F(NativeCallsTest, TeleportEntityFollowsThePlayersVehicle) {
    EXPECT_EQ(ResolveTeleportEntity(1), 1);   // on foot
    EXPECT_EQ(ResolveTeleportEntity(77), 0);  // no such ped
    const int32_t car = testsupport::AddSimVehicle(world, {});
    testsupport::SeatSimPed(world, 1, car);
    EXPECT_EQ(ResolveTeleportEntity(1), car);
    world.entities.erase(car);  // in a vehicle whose handle no longer exists
    EXPECT_EQ(ResolveTeleportEntity(1), 1);
}

}  // namespace
