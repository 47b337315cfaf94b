// Native calls: hashes, argument words and results on the simulated world.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "host/natives.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace host;

TEST(NativeWords, IntegersAreZeroExtendedAndFloatsAreBitPatterns) {
    const std::pair<uint64_t, uint64_t> cases[] = {
        {FloatArg(1000.0f), 0x447A0000u}, {FloatArg(-1.5f), 0xBFC00000u}, {IntArg(-1), 0xFFFFFFFFu},
        {IntArg(7), 7u},                  {BoolArg(true), 1u},            {BoolArg(false), 0u}};
    for (const auto& [word, expected] : cases) EXPECT_EQ(word, expected) << std::hex << expected;
}

// The simulated world's table is written from the game's interface, apart
// from the editor's constants: every hash the editor uses must be in it.
TEST(NativeHashes, EveryHashTheEditorCallsIsOneTheGameHas) {
    const uint64_t hashes[] = {
        kNativePlayerPed, kNativePlayerIndex, kNativeSetPlayerControl, kNativeBlockGameControls,
        kNativeEntityPosition, kNativeEntityExists, kNativePedInVehicle, kNativePedVehicle, kNativeFreezeEntity,
        kNativePlaceEntity, kNativePlaceEntityExact, kNativeEntityVelocity, kNativeLoadWorldAt, kNativeNoIdleCamera,
        kNativePedSuppression1, kNativePedSuppression2, kNativePedSuppression3, kNativePedClearArea,
        kNativeVehicleSuppression1, kNativeVehicleSuppression2, kNativeVehicleSuppression3,
        kNativeVehicleSuppression4, kNativeVehicleSwitchA, kNativeVehicleSwitchB, kNativeVehicleClearArea,
        kNativeBlackout, kNativeHudVisible, kNativeRadarVisible, kNativeHideHudFrame, kNativeClockHours,
        kNativeClockMinutes, kNativeClockSeconds, kNativePauseClock, kNativeSetClock, kNativeSetClockAgain,
        kNativeWeatherStep1, kNativeWeatherStep2, kNativeWeatherStep3, kNativeWeatherStep4, kNativeWeatherStep5,
        kNativeFrameTime, kNativeLookAxis, kNativeGameplayCamPosition, kNativeGameplayCamRotation,
        kNativeGameplayCamFov, kNativeCreateCamera, kNativeCameraExists, kNativeCameraActive,
        kNativeRenderScriptCams, kNativeDestroyCamera, kNativeCameraPosition, kNativeCameraRotation,
        kNativeCameraFov, kNativeClearModifier, kNativeSetModifier, kNativeModifierStrength, kNativeModifierIndex};
    EXPECT_EQ(std::set<uint64_t>(std::begin(hashes), std::end(hashes)).size(), 57u);
    const auto known = testsupport::SimNativeHashes();
    EXPECT_EQ(known.size(), 57u);
    for (uint64_t hash : hashes)
        EXPECT_NE(std::find(known.begin(), known.end(), hash), known.end()) << std::hex << hash;
}

using NativeCallsTest = testsupport::SimWorldTest;

TEST_F(NativeCallsTest, FloatWrappersPushTheirWordsInOrder) {
    ASSERT_EQ(testsupport::AddSimVehicle(world, {1, 2, 3}), 500);
    const struct {
        void (*call)();
        uint64_t hash;
        std::vector<uint64_t> words;
    } cases[] = {
        {[] { CallNative3f(kNativeLoadWorldAt, 1.0f, -2.0f, 1000.0f); }, kNativeLoadWorldAt,
         {0x3F800000, 0xC0000000, 0x447A0000}},
        {[] { SetEntityCoordsNative(500, 152.0f, -1004.0f, 29.0f, 0, 0, 0, 1); }, kNativePlaceEntity,
         {500, 0x43180000, 0xC47B0000, 0x41E80000, 0, 0, 0, 1}},
        {[] { SetEntityVelocityNative(500, 1.0f, 0.0f, 0.0f); }, kNativeEntityVelocity, {500, 0x3F800000, 0, 0}},
        {[] { SetActiveModifierStrength(0.5f); }, kNativeModifierStrength, {0x3F000000}},
    };
    for (const auto& c : cases) {
        ClearCalls();
        c.call();
        ASSERT_EQ(Calls().size(), 1u);
        EXPECT_EQ(Calls()[0].hash, c.hash) << std::hex << c.hash;
        EXPECT_EQ(Calls()[0].args, c.words) << std::hex << c.hash;
    }
}

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

// The other tests lean on the simulated world refusing malformed calls.
TEST_F(NativeCallsTest, SimulatedWorldFlagsMalformedCalls) {
    CallNative(kNativePedClearArea, {FloatArg(0), FloatArg(0), FloatArg(0), FloatArg(999.0f), IntArg(1)});
    CallNative(kNativeHudVisible, {0xFFFFFFFF00000001u});
    CallNative(kNativeSetClockAgain, {IntArg(1), IntArg(0), IntArg(0)});
    EXPECT_EQ(world.faults.size(), 3u);
    world.faults.clear();
}

}  // namespace
