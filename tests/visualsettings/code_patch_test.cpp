// The code-patch publishers on a synthetic game carrying every code site of
// the live-write runtime: the manual live writes' rows bound to their
// stores' targets, the values and flags the caves read, the puddle cells,
// the lanes of a generated live write.
#include "visualsettings_fixture.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "runtime/live_writes.h"
#include "support/synthetic_game.h"
#include "visualsettings/code_patch_publishers.h"
#include "visualsettings/live_write.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/puddles.h"

namespace vstest {
namespace {

class CodePatchPublishersTest : public VisualSettingsTest {
protected:
    void SetUp() override {
        VisualSettingsTest::SetUp();
        game = testsupport::PlantSyntheticGame(*image_);
        runtime::LiveWrites.findParamValue = &FindLaneParamValue;
        StartVisualSettings();
    }
    void TearDown() override {
        runtime::RestoreLiveWriteJumps();
        runtime::ResetLiveWritesForTesting();
        VisualSettingsTest::TearDown();
    }
    static uint32_t Flag(uint64_t data, uint64_t offset) { return ReadU(data + offset); }
    testsupport::SyntheticGame game;
};

TEST_F(CodePatchPublishersTest, ManualLiveWritesPublishTheirRowsEditsWhileShown) {
    for (size_t i = 0; i < runtime::kManualLiveWriteCount; ++i)
        EXPECT_EQ(Row(ManualLiveWriteKey(i)).liveAddress, game.manualGlobals[i]) << "bound to its store's target";
    VisualSettingsBeforeAfter();  // installs the caves
    const runtime::ManualLiveWrite& alpha = runtime::LiveWrites.manual[0];
    ASSERT_EQ(alpha.jump.applied, 1);
    EXPECT_EQ(Flag(alpha.cave.data, 0), 0u) << "nothing overridden";
    VisualSettingsParam& row = Row("rain.defaultlight.alpha");
    row.value = 0.25f;
    row.overridden = 1;
    VisualSettingsBeforeAfter();
    EXPECT_EQ(Flag(alpha.cave.data, 0), 1u);
    EXPECT_EQ(ReadF(alpha.cave.data + 4), 0.25f);
    core::Editor.VisualSettingsAfterShown.Set(0);
    VisualSettingsBeforeAfter();
    EXPECT_EQ(Flag(alpha.cave.data, 0), 0u) << "the game's values shown";
    EXPECT_EQ(ReadF(alpha.cave.data + 4), 0.25f) << "flag 0 leaves the value";
    core::Editor.VisualSettingsAfterShown.Set(1);
    row.overridden = 0;
    VisualSettingsBeforeAfter();
    EXPECT_EQ(Flag(alpha.cave.data, 0), 0u) << "not overridden";
}

TEST_F(CodePatchPublishersTest, PuddleValuesArePublishedForTheCapturePatch) {
    VisualSettingsBeforeAfter();
    ASSERT_TRUE(CaptureHookInstalled());
    const uint64_t data = runtime::LiveWrites.puddle.cave.data;
    VisualSettingsParam& range = Row("puddles.range");
    VisualSettingsParam& depth = Row("puddles.depthtest");
    const struct {
        float value, first, second;
    } ranges[] = {{0.0f, -1.0f, 1e6f}, {-1e-7f, -1.0000007f, -1e6f}, {1.0f, 6.0f, 1.0f / 7.0f}};
    for (const auto& r : ranges) {
        range.value = r.value;
        ApplyVisualSettingRow(range);  // the tab's edit: published on the pass
        EXPECT_TRUE(range.applied) << "the capture patch is in place";
        VisualSettingsBeforeAfter();
        EXPECT_EQ(Flag(data, 4), 1u) << r.value;
        EXPECT_FLOAT_EQ(ReadF(data + 16), r.first) << r.value;
        EXPECT_FLOAT_EQ(ReadF(data + 20), r.second) << r.value;
    }
    depth.value = 0.5f;
    depth.overridden = 1;
    VisualSettingsBeforeAfter();
    EXPECT_EQ(Flag(data, 8), 1u);
    EXPECT_EQ(ReadF(data + 24), 0.5f);
    EXPECT_EQ(Flag(data, 0), 0u) << "the scale is not overridden";
    core::Editor.VisualSettingsAfterShown.Set(0);
    VisualSettingsBeforeAfter();
    EXPECT_EQ(Flag(data, 4) + Flag(data, 8), 0u) << "every flag 0 for the game's values";
    EXPECT_EQ(ReadF(data + 24), 0.5f) << "the cells keep their values";
    core::Editor.VisualSettingsAfterShown.Set(1);
    Row("puddles.scale").value = 2.0f;
    ApplyVisualSettingRow(Row("puddles.scale"));
    EXPECT_EQ(Flag(data, 0), 1u) << "the scale is published at once";
    EXPECT_EQ(ReadF(data + 12), 2.0f);
}

TEST_F(CodePatchPublishersTest, GeneratedLanesFollowTheirRowsAndOthersAreLeftAlone) {
    const uint64_t global = image_->Reserve(ImageSection::Data, 16, 16);
    // movss [rip→global], xmm0; ret; then bytes that make it unique.
    std::vector<uint8_t> code = {0xF3, 0x0F, 0x11, 0x05, 0, 0, 0, 0, 0xC3, 0x19, 0x28, 0x37, 0x46};
    const uint64_t at = image_->Reserve(ImageSection::Text, code.size(), 16);
    const int32_t disp = static_cast<int32_t>(static_cast<int64_t>(global - (at + 8)));
    std::memcpy(code.data() + 4, &disp, 4);
    image_->Write(at, code);
    static const uint8_t kPattern[] = {0xF3, 0x0F, 0x11, 0x05, 0, 0, 0, 0, 0xC3, 0x19, 0x28, 0x37, 0x46};
    static const runtime::CodeSiteRow kRows[] = {
        {7, 8, 1, kPattern, "xxxx????xxxxx", 13, 2, {{"car.neon.radius", -1, 0}, {"no.such.key", -1, 4}}}};
    runtime::SetCodeSiteRowsForTesting(kRows);
    runtime::LiveWrites.findParamValue = &FindLaneParamValue;
    VisualSettingsParam& row = Row("car.neon.radius");
    row.value = 4.5f;
    VisualSettingsBeforeAfter();
    const runtime::AutoLiveWrite& entry = runtime::LiveWrites.autos[0];
    ASSERT_EQ(entry.jump.applied, 1);
    EXPECT_EQ(entry.hasParam[0], 1);
    EXPECT_EQ(entry.hasParam[1], 0);
    EXPECT_EQ(Flag(entry.cave.data, 0), 0u);
    row.overridden = 1;
    const uint32_t left = 0xABCDu;  // the unknown lane's flag, as something left it
    std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(entry.cave.data + 4)), &left, 4);
    VisualSettingsBeforeAfter();
    EXPECT_EQ(Flag(entry.cave.data, 0), 1u);
    EXPECT_EQ(ReadF(entry.cave.data + 16), 4.5f);
    EXPECT_EQ(Flag(entry.cave.data, 4), 0xABCDu) << "a lane without a row is left as it is";
    core::Editor.VisualSettingsAfterShown.Set(0);
    VisualSettingsBeforeAfter();
    EXPECT_EQ(Flag(entry.cave.data, 0), 0u);
    EXPECT_EQ(ReadF(entry.cave.data + 16), 4.5f);
}

}  // namespace
}  // namespace vstest
