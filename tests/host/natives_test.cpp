// Native calls: hashes, argument words and results on the simulated world.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "host/natives.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace host;
using testsupport::SimWorldTest;

TEST(NativeWords, IntegersAreZeroExtendedAndFloatsAreBitPatterns) {
    EXPECT_EQ(FloatArg(1000.0f), 0x00000000447A0000u);
    EXPECT_EQ(FloatArg(-1.5f), 0x00000000BFC00000u);
    EXPECT_EQ(FloatArg(0.0f), 0u);
    EXPECT_EQ(IntArg(-1), 0x00000000FFFFFFFFu);
    EXPECT_EQ(IntArg(7), 7u);
    EXPECT_EQ(BoolArg(true), 1u);
    EXPECT_EQ(BoolArg(false), 0u);
    const char text[] = "EXTRASUNNY";
    EXPECT_EQ(StringArg(text), reinterpret_cast<uintptr_t>(text));
}

TEST(NativeHashes, EveryHashTheEditorCallsIsOneTheGameHas) {
    const uint64_t hashes[] = {kNativePlayerPed, kNativePlayerIndex, kNativeSetPlayerControl, kNativeBlockGameControls, kNativeEntityPosition, kNativeEntityExists, kNativePedInVehicle, kNativePedVehicle, kNativeFreezeEntity, kNativePlaceEntity, kNativePlaceEntityExact, kNativeEntityVelocity, kNativeLoadWorldAt, kNativeNoIdleCamera, kNativePedSuppression1, kNativePedSuppression2, kNativePedSuppression3, kNativePedClearArea, kNativeVehicleSuppression1, kNativeVehicleSuppression2, kNativeVehicleSuppression3, kNativeVehicleSuppression4, kNativeVehicleSwitchA, kNativeVehicleSwitchB, kNativeVehicleClearArea, kNativeBlackout, kNativeHudVisible, kNativeRadarVisible, kNativeHideHudFrame, kNativeClockHours, kNativeClockMinutes, kNativeClockSeconds, kNativePauseClock, kNativeSetClock, kNativeSetClockAgain, kNativeWeatherStep1, kNativeWeatherStep2, kNativeWeatherStep3, kNativeWeatherStep4, kNativeWeatherStep5, kNativeFrameTime, kNativeLookAxis, kNativeGameplayCamPosition, kNativeGameplayCamRotation, kNativeGameplayCamFov, kNativeCreateCamera, kNativeCameraExists, kNativeCameraActive, kNativeRenderScriptCams, kNativeDestroyCamera, kNativeCameraPosition, kNativeCameraRotation, kNativeCameraFov, kNativeClearModifier, kNativeSetModifier, kNativeModifierStrength, kNativeModifierIndex};
    std::set<uint64_t> distinct(std::begin(hashes), std::end(hashes));
    EXPECT_EQ(distinct.size(), 57u);
    const auto known = testsupport::SimNativeHashes();
    EXPECT_EQ(known.size(), 57u);
    for (uint64_t hash : hashes)
        EXPECT_NE(std::find(known.begin(), known.end(), hash), known.end()) << std::hex << hash;
}

using NativeCallsTest = SimWorldTest;

TEST_F(NativeCallsTest, WrappersPushTheirWordsInOrder) {
    const int32_t vehicle = testsupport::AddSimVehicle(world, {1, 2, 3});
    world.cameras[1000] = {};
    struct Case {
        void (*call)(int32_t vehicle);
        uint64_t hash;
        std::vector<uint64_t> words;
    } cases[] = {
        {[](int32_t) { CallNative3f(kNativeLoadWorldAt, 1.0f, -2.0f, 1000.0f); }, kNativeLoadWorldAt,
         {0x3F800000, 0xC0000000, 0x447A0000}},
        {[](int32_t) { IsCameraValidNative(1000); }, kNativeCameraExists, {1000}},
        {[](int32_t v) { EntityExistsNative(v); }, kNativeEntityExists, {500}},
        {[](int32_t v) { SetEntityFrozenNative(v, true); }, kNativeFreezeEntity, {500, 1}},
        {[](int32_t) { GetLookAxisNative(0, 2); }, kNativeLookAxis, {0, 2}},
        {[](int32_t) { GetPedVehicleNative(1, 0); }, kNativePedVehicle, {1, 0}},
        {[](int32_t) { IsPedInVehicleNative(1, 0); }, kNativePedInVehicle, {1, 0}},
        {[](int32_t) { RenderScriptCamsNative(1, 0, 0, 1, 1); }, kNativeRenderScriptCams, {1, 0, 0, 1, 1}},
        {[](int32_t) { SetCamActiveNative(1000, false); }, kNativeCameraActive, {1000, 0}},
        {[](int32_t v) { SetEntityCoordsNative(v, 152.0f, -1004.0f, 29.0f, 0, 0, 0, 1); }, kNativePlaceEntity,
         {500, 0x43180000, 0xC47B0000, 0x41E80000, 0, 0, 0, 1}},
        {[](int32_t v) { SetEntityVelocityNative(v, 0.0f, 0.0f, 0.0f); }, kNativeEntityVelocity, {500, 0, 0, 0}},
        {[](int32_t) { SetActiveModifierStrength(0.5f); }, kNativeModifierStrength, {0x3F000000}},
    };
    ASSERT_EQ(vehicle, 500);
    for (const Case& c : cases) {
        ClearCalls();
        c.call(vehicle);
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
    world.clockHours = 17;
    EXPECT_EQ(CallNativeInt(kNativeClockHours), 17);
    world.modifierIndex = -1;
    EXPECT_EQ(CallNativeInt(kNativeModifierIndex), -1);
}

TEST_F(NativeCallsTest, TeleportEntityFollowsThePlayersVehicle) {
    EXPECT_EQ(ResolveTeleportEntity(1), 1);  // on foot
    EXPECT_EQ(ResolveTeleportEntity(77), 0);  // no such ped
    const int32_t car = testsupport::AddSimVehicle(world, {});
    testsupport::SeatSimPed(world, 1, car);
    EXPECT_EQ(ResolveTeleportEntity(1), car);
    world.entities.erase(car);  // in a vehicle whose handle no longer exists
    EXPECT_EQ(ResolveTeleportEntity(1), 1);
    const uint64_t e = kNativeEntityExists, in = kNativePedInVehicle, v = kNativePedVehicle;
    EXPECT_EQ(CallHashes(), (std::vector<uint64_t>{e, in, e, e, in, v, e, e, in, v, e}));
}

TEST_F(NativeCallsTest, SimulatedWorldFlagsMalformedCalls) {
    CallNative(kNativePedClearArea, {FloatArg(0), FloatArg(0), FloatArg(0), FloatArg(999.0f), IntArg(1)});
    CallNative(kNativeHudVisible, {0xFFFFFFFF00000001u});
    CallNative(kNativeSetClockAgain, {IntArg(1), IntArg(0), IntArg(0)});
    EXPECT_EQ(world.faults.size(), 3u);
    world.faults.clear();
}

}  // namespace
