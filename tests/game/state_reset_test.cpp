// Each module of the game layer keeps its mutable state in one structure,
// and its reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "game/free_camera.h"

namespace {

using namespace game;

TEST(GameStateReset, FreeCamera) {
    FreeCamera.FreeCamActive = 1;
    FreeCamera.FreeCamHandle = 7;
    FreeCamera.FreeCamPosition = {1.0f, 2.0f, 3.0f};
    FreeCamera.FreeCamPitch = 10.0f;
    FreeCamera.FreeCamHeading = 20.0f;
    FreeCamera.FreeCamFov = 40.0f;
    FreeCamera.FreeCamFrozenEntity = 9;
    ResetFreeCameraState();
    EXPECT_EQ(FreeCamera.FreeCamActive, 0);
    EXPECT_EQ(FreeCamera.FreeCamHandle, 0);
    EXPECT_TRUE(FreeCamera.FreeCamPosition.x == 0.0f && FreeCamera.FreeCamPosition.y == 0.0f &&
                FreeCamera.FreeCamPosition.z == 0.0f);
    EXPECT_EQ(FreeCamera.FreeCamPitch, 0.0f);
    EXPECT_EQ(FreeCamera.FreeCamHeading, 0.0f);
    EXPECT_EQ(FreeCamera.FreeCamFov, 65.0f);
    EXPECT_EQ(FreeCamera.FreeCamFrozenEntity, 0);
}

}  // namespace
