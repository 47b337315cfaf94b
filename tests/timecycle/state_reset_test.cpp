// Each module of the timecycle editor keeps its mutable state in one
// structure, and its reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "timecycle/edit_store.h"

namespace {

using namespace timecycle;

TEST(TimecycleStateReset, EditStore) {
    {
        EditStoreLock lock(EditStoreMutex());
        EditStore.CurrentTimecycleContext = {3, 1, 5, 1};
        EditStore.EditSequenceCounter = 77;
        EditStore.GroupFlagsDirty = 1;
        EditStore.ImportedOverridesActive = 1;
        EnsureEditStore()[0].loaded = 1;
        EnsureEditStore()[0].entries[0].edited = 1;
    }
    RememberEditedNames("Far Clip", {"far_clip"});
    ResetEditStoreForTesting();
    EditStoreLock lock(EditStoreMutex());
    const TimecycleContext& c = EditStore.CurrentTimecycleContext;
    EXPECT_TRUE(c.weather == 0 && c.region == 0 && c.keyframe == 0 && c.valid == 0);
    EXPECT_EQ(EditStore.EditSequenceCounter, 0u);
    EXPECT_EQ(EditStore.GroupFlagsDirty, 0);
    EXPECT_EQ(EditStore.ImportedOverridesActive.Get(), 0);
    EXPECT_TRUE(EditStore.LastEditedNames.empty());
    EXPECT_EQ(EditStore.LastEditedLabel, "");
    EXPECT_EQ(EnsureEditStore()[0].entries[0].edited, 0);
}

}  // namespace
