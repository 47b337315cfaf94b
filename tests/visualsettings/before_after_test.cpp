// Before/after of the parameters on a simulated game tick: the tick
// re-applies overridden values every frame, the hotkey's switch writes the
// defaults and brings the edits back, imported values follow once, and the
// all-live hotkey asks whether a section of the layout is edited.
#include "visualsettings_fixture.h"

#include <vector>

#include "core/settings.h"
#include "host/startup.h"
#include "host/tick.h"
#include "runtime/group_appliers.h"
#include "support/sim_world_fixture.h"
#include "visualsettings/live_write.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/walkers.h"

namespace vstest {
namespace {

constexpr int kVkF2 = 0x71, kVkF4 = 0x73;

class ParamSwitchTick : public VisualSettingsTestOn<testsupport::SimWorldTest> {
protected:
    void SetUp() override {
        VisualSettingsTestOn::SetUp();
        core::UiSettings.VisualSettingsBeforeAfterHotkey = 2;  // F2
        core::UiSettings.AllLiveBeforeAfterHotkey = 4;         // F4
        StartVisualSettings();
        Tick();  // the first poll learns the keys
    }
    void Tick() {
        host::ScriptTick();
        Advance(16);
    }
    void Press(int vk) {  // down and up over two ticks
        platform::sim::SetKeyDown(vk, true);
        Tick();
        platform::sim::SetKeyDown(vk, false);
        Tick();
    }
    // Every byte of the blocks the binding reaches.
    std::vector<uint8_t> Blocks() const {
        std::vector<uint8_t> out;
        for (auto [at, size] : {std::pair<uint64_t, uint64_t>{coronasBlock + kCoronasFirstField, 0xC0},
                                {filmicBlocks, 64}, {trafficBlock, 192}, {volumeBlock, 224}}) {
            const auto* p = reinterpret_cast<const uint8_t*>(at);
            out.insert(out.end(), p, p + size);
        }
        return out;
    }
};

TEST_F(ParamSwitchTick, EditsAreReappliedEveryFrameAndTheSwitchShowsTheDefaults) {
    VisualSettingsParam& row = Row("misc.coronas.screenspaceExpansion");
    const uint64_t address = row.liveAddress;
    const float game = ReadF(address);
    row.value = game + 3.0f;
    ApplyVisualSettingRow(row);  // the tab's edit
    ASSERT_TRUE(row.overridden);
    image_->WriteFloat(address, -1.0f);  // the game rewrites its value
    Tick();
    EXPECT_EQ(ReadF(address), game + 3.0f);

    Press(kVkF2);  // the game's values
    EXPECT_EQ(core::Editor.VisualSettingsAfterShown.Get(), 0);
    EXPECT_EQ(ReadF(address), game) << "the default: the game's own value";
    image_->WriteFloat(address, -1.0f);
    Tick();
    EXPECT_EQ(ReadF(address), -1.0f) << "the game's values stand";
    EXPECT_TRUE(row.overridden) << "the edit is kept";

    Press(kVkF2);  // the edits again
    EXPECT_EQ(ReadF(address), game + 3.0f);
    EXPECT_EQ(runtime::GroupAppliers.importFollow.Get(), 0) << "only during the first pass back";
}

TEST_F(ParamSwitchTick, ASwitchWithoutEditsWritesNothing) {
    const std::vector<uint8_t> before = Blocks();
    for (int i = 0; i < 4; ++i) {
        Press(kVkF2);
        Tick();
    }
    EXPECT_EQ(Blocks(), before);
}

TEST_F(ParamSwitchTick, ImportedValuesFollowOnceOnTheWayBack) {
    VisualSettingsParam& row = Row("Tonemapping.bright.filmic.D");
    const uint64_t address = row.liveAddress;
    const float game = ReadF(address);
    bool found = false;
    ApplyVisualSettingByKey("tonemapping.bright.filmic.d", game + 0.5f, true, found);
    ASSERT_TRUE(found);
    EXPECT_TRUE(row.differs);
    EXPECT_EQ(ReadF(address), game + 0.5f);
    Press(kVkF2);
    EXPECT_EQ(ReadF(address), game) << "a differing row's default is written for the game's values";
    Press(kVkF2);
    EXPECT_EQ(ReadF(address), game + 0.5f) << "the imported value again, once";
    image_->WriteFloat(address, 7.0f);
    Tick();
    EXPECT_EQ(ReadF(address), 7.0f) << "later passes leave an imported value alone";

    // An import with values it could not map brings back manual overrides only.
    Switch.importHasUnmapped.Set(1);
    Press(kVkF2);
    Press(kVkF2);
    EXPECT_EQ(ReadF(address), game) << "not restored";
    EXPECT_EQ(StatusText(Switch.importExportStatus),
              "Before / after restored manual visualsettings.dat overrides only; imported file has unmapped values.");
}

TEST_F(ParamSwitchTick, SpecialKeysAreReappliedAtMostEvery250Ms) {
    VisualSettingsParam& row = Row("lod.fadedist.hd");
    const uint64_t cell = image_->Reserve(ImageSection::Data, 4, 16);  // a location for the test
    image_->WriteFloat(cell, 100.0f);
    row.liveAddress = cell;
    bool found = false;
    ApplyVisualSettingByKey("lod.fadedist.hd", 250.0f, true, found);  // imported: differs
    int restored = 0;
    for (int frame = 0; frame < 62; ++frame) {  // about a second
        image_->WriteFloat(cell, 100.0f);
        Tick();
        restored += ReadF(cell) == 250.0f;
    }
    EXPECT_GE(restored, 3);
    EXPECT_LE(restored, 5);
    row.differs = 0;
    image_->WriteFloat(cell, 100.0f);
    Advance(300);
    Tick();
    EXPECT_EQ(ReadF(cell), 100.0f) << "neither overridden nor differing: left alone";
}

TEST_F(ParamSwitchTick, TheAllLiveHotkeyAsksTheLayoutsSections) {
    static VisualSettingsLayout layout;
    layout = {VisualSettingsSection{"Coronas", {VisualSettingsGroup{"Coronas", {"misc.coronas.sizeScaleWater"}, 0}}, 0}};
    Switch.loadLayout.Set([]() -> const VisualSettingsLayout* { return &layout; });
    Press(kVkF4);
    EXPECT_EQ(core::Editor.VisualSettingsAfterShown.Get(), 1) << "nothing edited";
    Press(kVkF4);
    VisualSettingsParam& row = Row("misc.coronas.sizeScaleWater");
    row.value = row.original + 1.0f;
    ApplyVisualSettingRow(row);
    Press(kVkF4);
    EXPECT_EQ(core::Editor.VisualSettingsAfterShown.Get(), 0);
    EXPECT_EQ(ReadF(row.liveAddress), row.original) << "the switch ran on the tick";
    Press(kVkF4);
    EXPECT_EQ(core::Editor.VisualSettingsAfterShown.Get(), 1);
    EXPECT_EQ(ReadF(row.liveAddress), row.value);
}

TEST_F(ParamSwitchTick, BlackoutOnEveryPassWhateverTheView) {
    core::GameControlFlags.BlackoutMode = true;
    Press(kVkF2);  // the game's values shown: the blackout holds all the same
    image_->WriteFloat(trafficBlock + 0x54, 0.7f);
    Tick();
    EXPECT_EQ(ReadF(trafficBlock + 0x54), 0.0f);
    core::GameControlFlags.BlackoutMode = false;
    Tick();
    EXPECT_EQ(ReadF(trafficBlock + 0x54), Row("trafficLight.red.color.green").defaultValue);
}

}  // namespace
}  // namespace vstest
