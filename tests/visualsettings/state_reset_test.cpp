// Each module of the visualsettings editor keeps its mutable state in one
// structure, and its reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "visualsettings/live_write.h"

namespace {

TEST(VisualSettingsStateReset, VisualSettingsLive) {
    visualsettings::VisualSettingsLive.VisualSettingsLivePaused = 1;
    visualsettings::ResetVisualSettingsLiveState();
    EXPECT_EQ(visualsettings::VisualSettingsLive.VisualSettingsLivePaused.Get(), 0);
}

}  // namespace
