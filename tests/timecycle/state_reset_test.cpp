// Each module of the timecycle editor keeps its mutable state in one
// structure, and its reset puts every field back as at process start.
#include <gtest/gtest.h>

#include "timecycle/edit_store.h"
#include "timecycle/timecycle_xml.h"

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

TEST(TimecycleStateReset, TimecycleXml) {
    for (TimecycleLoadRecord& r : TimecycleXml.TimecycleLoadRecords) {
        r.loaded = r.previewApplied = r.regionsHeld = 1;
        r.valueCount = r.appliedCount = r.missingCount = r.skippedCount = 5;
        r.sourceLabel = "workspace w_clear.xml";
    }
    TimecycleXml.TimecycleStatusLine = "Loaded w_clear.xml.";
    ResetTimecycleXmlState();
    for (const TimecycleLoadRecord& r : TimecycleXml.TimecycleLoadRecords) {
        EXPECT_TRUE(r.loaded == 0 && r.previewApplied == 0 && r.regionsHeld == 0);
        EXPECT_TRUE(r.valueCount == 0 && r.appliedCount == 0 && r.missingCount == 0 && r.skippedCount == 0);
        EXPECT_EQ(r.sourceLabel, "");
    }
    EXPECT_EQ(TimecycleXml.TimecycleStatusLine, kTimecycleStatusIdle);
}

}  // namespace
