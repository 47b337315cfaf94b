// The free camera on the simulated world: start, scripted keys and mouse
// deltas, limits, and handing control back.
#include <gtest/gtest.h>

#include <cmath>

#include "host/editor_state.h"
#include "host/free_camera.h"
#include "host/natives.h"
#include "platform/simulated.h"
#include "shell/game_control_settings.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace host;
using testsupport::SimWorldTest;
using Words = std::vector<uint64_t>;

uint64_t F(float v) { return testsupport::SimFloatWord(v); }

class FreeCameraTest : public SimWorldTest {
protected:
    // Starts the camera at the origin looking along +y (heading 0, pitch 0).
    void StartAtOrigin() {
        world.gameplayCamPosition = {0, 0, 0};
        world.gameplayCamRotation = {0, 0, 0};
        shell::GameControlFlags.FreeCamEnabled = true;
        FreeCameraTick();
        ASSERT_EQ(FreeCamActive, 1);
    }
    // One frame with the given frame time and keys held.
    void Frame(float dt, std::initializer_list<int> keys = {}) {
        world.frameTime = dt;
        for (int k : keys) platform::sim::SetKeyDown(k, true);
        FreeCameraTick();
        platform::sim::ReleaseAllKeys();
    }
    float Distance() const {
        return std::sqrt(FreeCamPosition.x * FreeCamPosition.x + FreeCamPosition.y * FreeCamPosition.y +
                         FreeCamPosition.z * FreeCamPosition.z);
    }
};

TEST_F(FreeCameraTest, StartsAtTheGameplayCameraAndFreezesThePlayer) {
    world.gameplayCamRotation = {-20.0f, 5.0f, 270.0f};
    world.gameplayCamFov = 42.0f;
    shell::GameControlFlags.FreeCamEnabled = true;
    EnableFreeCam();
    EXPECT_EQ(FreeCamActive, 1);
    EXPECT_FLOAT_EQ(FreeCamHeading, -90.0f);
    EXPECT_FLOAT_EQ(FreeCamPitch, -20.0f);
    EXPECT_FLOAT_EQ(FreeCamFov, 42.0f);
    EXPECT_EQ(FreeCamFrozenEntity, 1);
    EXPECT_TRUE(world.entities[1].frozen);
    EXPECT_FALSE(world.playerControl);
    ASSERT_EQ(world.cameras.size(), 1u);
    const auto create = CallsOf(kNativeCreateCamera);
    ASSERT_EQ(create.size(), 1u);
    EXPECT_EQ(Words(create[0].begin() + 1, create[0].end()),
              (Words{F(10.0f), F(20.0f), F(35.0f), F(-20.0f), 0, F(-90.0f), F(42.0f), 1, 2}));
    EXPECT_TRUE(world.cameras.begin()->second.active);
    EXPECT_TRUE(world.renderingScriptCams);
    EXPECT_EQ(CallsOf(kNativeRenderScriptCams), (std::vector<Words>{{1, 0, 0, 1, 1}}));
}

TEST_F(FreeCameraTest, FreezesTheVehicleThePlayerSitsIn) {
    const int32_t car = testsupport::AddSimVehicle(world, {});
    testsupport::SeatSimPed(world, 1, car);
    shell::GameControlFlags.FreeCamEnabled = true;
    FreeCameraTick();
    EXPECT_EQ(FreeCamFrozenEntity, car);
    EXPECT_TRUE(world.entities[car].frozen);
    shell::GameControlFlags.FreeCamEnabled = false;
    FreeCameraTick();
    EXPECT_FALSE(world.entities[car].frozen);
    EXPECT_TRUE(world.playerControl);
}

TEST_F(FreeCameraTest, NoPlayerClearsTheCheckbox) {
    world.playerPed = 0;
    shell::GameControlFlags.FreeCamEnabled = true;
    FreeCameraTick();
    EXPECT_FALSE(shell::GameControlFlags.FreeCamEnabled);
    EXPECT_EQ(FreeCamActive, 0);
    EXPECT_TRUE(CallsOf(kNativeCreateCamera).empty());
}

TEST_F(FreeCameraTest, FailedCreationUndoesTheStart) {
    world.failCameraCreation = true;
    shell::GameControlFlags.FreeCamEnabled = true;
    FreeCameraTick();
    EXPECT_EQ(FreeCamActive, 0);
    EXPECT_FALSE(shell::GameControlFlags.FreeCamEnabled);
    EXPECT_FALSE(world.entities[1].frozen);
    EXPECT_TRUE(world.playerControl);
    EXPECT_TRUE(CallsOf(kNativeRenderScriptCams).empty());  // never rendered, nothing to give back
}

TEST_F(FreeCameraTest, DisablingDestroysTheCameraAndGivesControlBack) {
    StartAtOrigin();
    shell::GameControlFlags.FreeCamEnabled = false;
    ClearCalls();
    FreeCameraTick();
    EXPECT_TRUE(world.cameras.empty());
    EXPECT_FALSE(world.renderingScriptCams);
    EXPECT_FALSE(world.entities[1].frozen);
    EXPECT_TRUE(world.playerControl);
    EXPECT_EQ(FreeCamHandle, 0);
    EXPECT_EQ(FreeCamActive, 0);
    ClearCalls();
    FreeCameraTick();
    EXPECT_TRUE(Calls().empty());
}

TEST_F(FreeCameraTest, ACameraThatVanishedIsNoLongerPosedButStillHandedBack) {
    StartAtOrigin();
    world.cameras.clear();
    ClearCalls();
    Frame(0.016f);
    EXPECT_TRUE(CallsOf(kNativeCameraPosition).empty());
    shell::GameControlFlags.FreeCamEnabled = false;
    FreeCameraTick();
    EXPECT_EQ(CallsOf(kNativeRenderScriptCams), (std::vector<Words>{{0, 0, 0, 1, 1}}));
    EXPECT_TRUE(CallsOf(kNativeDestroyCamera).empty());
    EXPECT_TRUE(world.playerControl);
}

TEST_F(FreeCameraTest, EveryFrameBlocksControlsAndPosesTheCamera) {
    StartAtOrigin();
    ClearCalls();
    Frame(0.0f);
    const Words expected = {kNativeBlockGameControls, kNativePlayerIndex, kNativeSetPlayerControl,
                            kNativeEntityExists, kNativeFreezeEntity, kNativeFrameTime, kNativeLookAxis,
                            kNativeLookAxis, kNativeCameraExists, kNativeCameraPosition, kNativeCameraRotation,
                            kNativeCameraFov, kNativeCameraActive, kNativeRenderScriptCams};
    EXPECT_EQ(CallHashes(), expected);
    EXPECT_EQ(CallsOf(kNativeCameraRotation)[0], (Words{static_cast<uint64_t>(FreeCamHandle), 0, 0, 0, 2}));
}

TEST_F(FreeCameraTest, KeysMoveAtTheSpeedInAnyDirection) {
    StartAtOrigin();
    shell::FreeCamSpeed = 10.0f;
    Frame(0.1f, {0x57});  // W: along +y
    EXPECT_NEAR(FreeCamPosition.y, 1.0f, 1e-5);
    EXPECT_NEAR(FreeCamPosition.x, 0.0f, 1e-5);
    FreeCamPosition = {};
    Frame(0.1f, {0x57, 0x44});  // W and D: diagonal, same speed
    EXPECT_NEAR(Distance(), 1.0f, 1e-5);
    EXPECT_NEAR(FreeCamPosition.x, FreeCamPosition.y, 1e-5);
    FreeCamPosition = {};
    Frame(0.1f, {0x57, 0x53});  // opposite keys cancel
    EXPECT_FLOAT_EQ(Distance(), 0.0f);
    Frame(0.1f, {0x45});  // E: up
    EXPECT_NEAR(FreeCamPosition.z, 1.0f, 1e-5);
    FreeCamPosition = {};
    Frame(0.1f, {0x51, 0x10});  // Q with Shift: four times faster, down
    EXPECT_NEAR(FreeCamPosition.z, -4.0f, 1e-5);
    FreeCamPosition = {};
    Frame(0.1f, {0x41, 0x11});  // A with Ctrl: a quarter, to the left
    EXPECT_NEAR(FreeCamPosition.x, -0.25f, 1e-5);
    FreeCamPosition = {};
    Frame(0.1f, {0x41, 0x10, 0x11});  // Shift and Ctrl together
    EXPECT_NEAR(FreeCamPosition.x, -1.0f, 1e-5);
}

TEST_F(FreeCameraTest, FloorsAndCapsOfSpeedSensitivityAndFrameTime) {
    StartAtOrigin();
    shell::FreeCamSpeed = 0.05f;
    Frame(0.1f, {0x57});
    EXPECT_NEAR(FreeCamPosition.y, 0.01f, 1e-6);  // 0.1 units/s
    FreeCamPosition = {};
    shell::FreeCamSpeed = 10.0f;
    Frame(0.5f, {0x57});
    EXPECT_NEAR(FreeCamPosition.y, 1.0f, 1e-5);  // as if 0.1 s
    FreeCamPosition = {};
    Frame(-1.0f, {0x57});
    EXPECT_FLOAT_EQ(FreeCamPosition.y, 0.0f);

    shell::FreeCamMouseSensitivity = 0.001f;  // acts as 0.01
    world.lookAxis[1] = 1.0f;
    Frame(0.1f);
    EXPECT_NEAR(FreeCamHeading, -0.18f, 1e-5);
}

TEST_F(FreeCameraTest, MouseTurnsWithPitchLimitsAndHeadingWrap) {
    StartAtOrigin();
    world.lookAxis[2] = -1.0f;
    for (int i = 0; i < 20; ++i) Frame(0.1f);
    EXPECT_FLOAT_EQ(FreeCamPitch, 89.0f);
    world.lookAxis[2] = 1.0f;
    for (int i = 0; i < 20; ++i) Frame(0.1f);
    EXPECT_FLOAT_EQ(FreeCamPitch, -89.0f);

    world.lookAxis[2] = 0.0f;
    FreeCamPitch = 0.0f;
    FreeCamHeading = 179.0f;
    world.lookAxis[1] = -2.0f / 18.0f;  // +2 degrees at 0.1 s
    Frame(0.1f);
    EXPECT_NEAR(FreeCamHeading, -179.0f, 1e-3);
    world.lookAxis[1] = 0.0f;
    FreeCamPosition = {};
    Frame(0.1f, {0x57});  // heading -179: nearly along -y, no jump
    EXPECT_NEAR(FreeCamPosition.y, -1.0f, 1e-3);
}

TEST_F(FreeCameraTest, OpenMenuHoldsTheCameraAndThePlayer) {
    StartAtOrigin();
    MenuOpen.store(1);
    world.lookAxis[1] = 1.0f;
    world.entities[1].frozen = false;
    Frame(0.1f, {0x57});
    EXPECT_FLOAT_EQ(Distance(), 0.0f);
    EXPECT_FLOAT_EQ(FreeCamHeading, 0.0f);
    EXPECT_TRUE(world.entities[1].frozen);
    EXPECT_EQ(CallsOf(kNativeCameraPosition).size(), 2u);  // still re-asserted
}

TEST(FreeCameraHeading, WrapsIntoHalfTurns) {
    EXPECT_FLOAT_EQ(WrapHeading(190.0f), -170.0f);
    EXPECT_FLOAT_EQ(WrapHeading(-540.0f), -180.0f);
    EXPECT_FLOAT_EQ(WrapHeading(180.0f), 180.0f);
    EXPECT_FLOAT_EQ(WrapHeading(900.5f), -179.5f);
    const float huge = WrapHeading(1e30f);  // returns at all, in range
    EXPECT_LE(std::fabs(huge), 180.0f);
}

}  // namespace
