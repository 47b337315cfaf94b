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
using Words = std::vector<uint64_t>;
constexpr int kW = 0x57, kA = 0x41, kS = 0x53, kD = 0x44, kE = 0x45, kQ = 0x51, kShift = 0x10, kCtrl = 0x11;

uint64_t F(float v) { return testsupport::SimFloatWord(v); }

class FreeCameraTest : public testsupport::SimWorldTest {
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
    static float Distance() { return std::hypot(FreeCamPosition.x, FreeCamPosition.y, FreeCamPosition.z); }
};

TEST_F(FreeCameraTest, StartsAtTheGameplayCameraAndFreezesThePlayer) {
    world.gameplayCamRotation = {-20.0f, 5.0f, 270.0f};
    world.gameplayCamFov = 42.0f;
    shell::GameControlFlags.FreeCamEnabled = true;
    EnableFreeCam();
    EXPECT_EQ(FreeCamActive, 1);
    EXPECT_FLOAT_EQ(FreeCamHeading, -90.0f);
    EXPECT_FLOAT_EQ(FreeCamPitch, -20.0f);
    EXPECT_EQ(FreeCamFrozenEntity, 1);
    EXPECT_TRUE(world.entities[1].frozen);
    EXPECT_FALSE(world.playerControl);
    const auto create = CallsOf(kNativeCreateCamera);
    ASSERT_EQ(create.size(), 1u);
    EXPECT_EQ(Words(create[0].begin() + 1, create[0].end()),
              (Words{F(10.0f), F(20.0f), F(35.0f), F(-20.0f), 0, F(-90.0f), F(42.0f), 1, 2}));
    EXPECT_TRUE(world.cameras.begin()->second.active);
    EXPECT_EQ(CallsOf(kNativeRenderScriptCams), (std::vector<Words>{{1, 0, 0, 1, 1}}));
}

TEST_F(FreeCameraTest, FreezesTheVehicleThePlayerSitsInAndGivesEverythingBack) {
    const int32_t car = testsupport::SeatInNewSimVehicle(world, 1);
    shell::GameControlFlags.FreeCamEnabled = true;
    FreeCameraTick();
    EXPECT_EQ(FreeCamFrozenEntity, car);
    EXPECT_TRUE(world.entities[car].frozen);
    shell::GameControlFlags.FreeCamEnabled = false;
    FreeCameraTick();
    EXPECT_TRUE(world.cameras.empty());
    EXPECT_FALSE(world.renderingScriptCams);
    EXPECT_FALSE(world.entities[car].frozen);
    EXPECT_TRUE(world.playerControl);
    EXPECT_EQ(FreeCamHandle, 0);
    EXPECT_EQ(FreeCamActive, 0);
    ClearCalls();
    FreeCameraTick();
    EXPECT_TRUE(Calls().empty());
}

TEST_F(FreeCameraTest, NoPlayerOrAFailedCreationUndoesTheStartAndClearsTheCheckbox) {
    for (const bool noPlayer : {true, false}) {
        world.playerPed = noPlayer ? 0 : 1;
        world.failCameraCreation = !noPlayer;
        shell::GameControlFlags.FreeCamEnabled = true;
        FreeCameraTick();
        EXPECT_EQ(FreeCamActive, 0);
        EXPECT_FALSE(shell::GameControlFlags.FreeCamEnabled);
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
    shell::GameControlFlags.FreeCamEnabled = false;
    FreeCameraTick();
    EXPECT_EQ(CallsOf(kNativeRenderScriptCams), (std::vector<Words>{{0, 0, 0, 1, 1}}));
    EXPECT_TRUE(CallsOf(kNativeDestroyCamera).empty());
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
        FreeCamPosition = {};
        shell::FreeCamSpeed = c.speed;
        Frame(c.dt, c.keys);
        EXPECT_NEAR(FreeCamPosition.x, c.moved.x, 1e-5) << c.what;
        EXPECT_NEAR(FreeCamPosition.y, c.moved.y, 1e-5) << c.what;
        EXPECT_NEAR(FreeCamPosition.z, c.moved.z, 1e-5) << c.what;
    }
    shell::FreeCamMouseSensitivity = 0.001f;  // acts as 0.01
    world.lookAxis[1] = 1.0f;
    Frame(0.1f);
    EXPECT_NEAR(FreeCamHeading, -0.18f, 1e-5);
}

TEST_F(FreeCameraTest, MouseTurnsWithPitchLimitsAndHeadingWrap) {
    StartAtOrigin();
    for (const float axis : {-1.0f, 1.0f}) {
        world.lookAxis[2] = axis;
        for (int i = 0; i < 20; ++i) Frame(0.1f);
        EXPECT_FLOAT_EQ(FreeCamPitch, -89.0f * axis);
    }
    world.lookAxis[2] = 0.0f;
    FreeCamPitch = 0.0f;
    FreeCamHeading = 179.0f;
    world.lookAxis[1] = -2.0f / 18.0f;  // +2 degrees at 0.1 s
    Frame(0.1f);
    EXPECT_NEAR(FreeCamHeading, -179.0f, 1e-3);
    world.lookAxis[1] = 0.0f;
    FreeCamPosition = {};
    Frame(0.1f, {kW});  // heading -179: nearly along -y, no jump
    EXPECT_NEAR(FreeCamPosition.y, -1.0f, 1e-3);
}

TEST_F(FreeCameraTest, OpenMenuHoldsTheCameraAndThePlayer) {
    StartAtOrigin();
    MenuOpen.store(1);
    world.lookAxis[1] = 1.0f;
    world.entities[1].frozen = false;
    Frame(0.1f, {kW});
    EXPECT_FLOAT_EQ(Distance(), 0.0f);
    EXPECT_FLOAT_EQ(FreeCamHeading, 0.0f);
    EXPECT_TRUE(world.entities[1].frozen);
    EXPECT_EQ(CallsOf(kNativeCameraPosition).size(), 2u);  // still re-asserted, and the controls blocked
    EXPECT_EQ(CallsOf(kNativeBlockGameControls).size(), 2u);
    EXPECT_EQ(CallsOf(kNativeCameraRotation).back(), (Words{static_cast<uint64_t>(FreeCamHandle), 0, 0, 0, 2}));
}

TEST(FreeCameraHeading, WrapsIntoHalfTurns) {
    const std::pair<float, float> cases[] = {
        {190.0f, -170.0f}, {-540.0f, -180.0f}, {180.0f, 180.0f}, {900.5f, -179.5f}};
    for (const auto& [in, out] : cases) EXPECT_FLOAT_EQ(WrapHeading(in), out) << in;
    EXPECT_LE(std::fabs(WrapHeading(1e30f)), 180.0f) << "returns at all, in range";
}

}  // namespace
