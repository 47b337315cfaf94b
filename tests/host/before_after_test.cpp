// The four before/after hotkeys: press edges, blocking, and the all-live
// state machine with recording editors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/before_after.h"
#include "host/editor_state.h"
#include "platform/simulated.h"
#include "shell/settings.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace host;
using testsupport::SimWorldTest;

constexpr uint32_t kRowF1 = 1, kRowF2 = 2, kRowF3 = 3, kRowF4 = 4, kRowHome = 13;
constexpr int kVkF1 = 0x70, kVkF2 = 0x71, kVkF3 = 0x72, kVkF4 = 0x73, kVkHome = 0x24;

// What the all-live hotkey asked of the other editors.
struct Editors {
    bool timecycleEdited = false;
    bool visualSettingsEdited = false;
    bool modifierWrites = false;
    bool weatherWrites = false;
    std::vector<std::string> log;
};
Editors* g_editors = nullptr;

class HotkeyTest : public SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        g_editors = &editors;
        BeforeAfterCalls.anyTimecycleGroupEdited = [] {
            g_editors->log.push_back("timecycle?");
            return g_editors->timecycleEdited;
        };
        BeforeAfterCalls.anyVisualSettingsGroupEdited = [] {
            g_editors->log.push_back("visualsettings?");
            return g_editors->visualSettingsEdited;
        };
        BeforeAfterCalls.modifierAllLiveBeforeAfter = [](uint8_t before, uint8_t* changed) {
            g_editors->log.push_back("modifier " + std::to_string(before));
            if (g_editors->modifierWrites) *changed = 1;
        };
        BeforeAfterCalls.showWeatherDocsBeforeAfter = [](uint8_t before, uint8_t* changed) {
            g_editors->log.push_back("weather " + std::to_string(before));
            if (g_editors->weatherWrites) *changed = 1;
        };
        shell::UiSettings.TimecycleBeforeAfterHotkey = kRowF1;
        shell::UiSettings.VisualSettingsBeforeAfterHotkey = kRowF2;
        shell::UiSettings.BothBeforeAfterHotkey = kRowF3;
        shell::UiSettings.AllLiveBeforeAfterHotkey = kRowF4;
        PollHotkeys();  // the first poll learns the keys
    }
    void TearDown() override {
        g_editors = nullptr;
        SimWorldTest::TearDown();
    }
    // Presses and releases a key over two ticks.
    void Press(int vk) {
        platform::sim::SetKeyDown(vk, true);
        PollHotkeys();
        platform::sim::SetKeyDown(vk, false);
        PollHotkeys();
    }
    Editors editors;
};

TEST_F(HotkeyTest, AllOffChangesNothing) {
    shell::UiSettings.TimecycleBeforeAfterHotkey = 0;
    shell::UiSettings.VisualSettingsBeforeAfterHotkey = 0;
    shell::UiSettings.BothBeforeAfterHotkey = 0;
    shell::UiSettings.AllLiveBeforeAfterHotkey = 0;
    for (int vk : {kVkF1, kVkF2, kVkF3, kVkF4}) Press(vk);
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
    EXPECT_EQ(VisualSettingsAfterShown.load(), 1);
    EXPECT_EQ(VisualSettingsSwitchPending.load(), 0);
    EXPECT_TRUE(editors.log.empty());
}

TEST_F(HotkeyTest, FiresOncePerPressOnTheKeyDownBit) {
    platform::sim::SetKeyDown(kVkF1, true);
    for (int i = 0; i < 5; ++i) PollHotkeys();  // held: one toggle
    EXPECT_EQ(TimecycleAfterShown.load(), 0);
    platform::sim::SetKeyDown(kVkF1, false);
    PollHotkeys();
    Press(kVkF1);
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
}

TEST_F(HotkeyTest, APressBetweenTwoTicksWithoutTheKeyDownDoesNotFire) {
    // The "pressed since the last query" bit is set, the key is already up:
    // that bit is shared by every caller of the key state and is not used.
    platform::sim::SetKeyDown(kVkF1, true);
    platform::sim::SetKeyDown(kVkF1, false);
    PollHotkeys();
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
}

TEST_F(HotkeyTest, TypingInTheOpenMenuOrAnotherWindowInFrontBlocksTheHotkeys) {
    MenuOpen.store(1);
    UiTakingTextInput.store(1);
    Press(kVkF1);
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
    UiTakingTextInput.store(0);
    platform::sim::SetGameWindowForeground(false);
    Press(kVkF1);
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
    // A key held while focus comes back does not fire either.
    platform::sim::SetKeyDown(kVkF1, true);
    PollHotkeys();
    platform::sim::SetGameWindowForeground(true);
    PollHotkeys();
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
    platform::sim::SetKeyDown(kVkF1, false);
    PollHotkeys();
    Press(kVkF1);
    EXPECT_EQ(TimecycleAfterShown.load(), 0);
}

TEST_F(HotkeyTest, ChangingTheKeyIsNotAPress) {
    platform::sim::SetKeyDown(kVkHome, true);
    shell::UiSettings.TimecycleBeforeAfterHotkey = kRowHome;
    PollHotkeys();
    PollHotkeys();
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
    platform::sim::SetKeyDown(kVkHome, false);
    PollHotkeys();
    Press(kVkHome);
    EXPECT_EQ(TimecycleAfterShown.load(), 0);
}

TEST_F(HotkeyTest, IndexOutOfTheTableNeverFires) {
    shell::UiSettings.TimecycleBeforeAfterHotkey = 27;
    Press(kVkF1);
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
    EXPECT_EQ(shell::UiSettings.TimecycleBeforeAfterHotkey.Get(), 0u);  // repaired by the validation
}

TEST_F(HotkeyTest, VisualSettingsHotkeyAsksForTheSwitch) {
    Press(kVkF2);
    EXPECT_EQ(VisualSettingsAfterShown.load(), 0);
    EXPECT_EQ(VisualSettingsSwitchPending.load(), 1);
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
}

TEST_F(HotkeyTest, BothHotkeyFromAMixedStateShowsBothBeforeThenBothAfter) {
    VisualSettingsAfterShown.store(0);
    Press(kVkF3);
    EXPECT_EQ(TimecycleAfterShown.load(), 0);
    EXPECT_EQ(VisualSettingsAfterShown.load(), 0);
    EXPECT_EQ(VisualSettingsSwitchPending.load(), 0);  // unchanged: no switch
    Press(kVkF3);
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
    EXPECT_EQ(VisualSettingsAfterShown.load(), 1);
    EXPECT_EQ(VisualSettingsSwitchPending.load(), 1);
}

TEST_F(HotkeyTest, AllLiveWithNoEditsStaysAfter) {
    Press(kVkF4);
    EXPECT_EQ(AllBeforeShown.load(), 0);
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
    EXPECT_EQ(VisualSettingsAfterShown.load(), 1);
    EXPECT_EQ(editors.log,
              (std::vector<std::string>{"timecycle?", "visualsettings?", "modifier 1", "weather 1"}));
    Press(kVkF4);  // tries again
    EXPECT_EQ(editors.log.size(), 8u);
}

TEST_F(HotkeyTest, AllLiveWithTimecycleEditsOnlyThenBack) {
    editors.timecycleEdited = true;
    Press(kVkF4);
    EXPECT_EQ(AllBeforeShown.load(), 1);
    EXPECT_EQ(TimecycleAfterShown.load(), 0);
    EXPECT_EQ(VisualSettingsAfterShown.load(), 1);
    EXPECT_EQ(VisualSettingsSwitchPending.load(), 0);
    editors.log.clear();
    VisualSettingsAfterShown.store(0);  // a hold button meanwhile
    Press(kVkF4);
    EXPECT_EQ(AllBeforeShown.load(), 0);
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
    EXPECT_EQ(VisualSettingsAfterShown.load(), 1);
    EXPECT_EQ(VisualSettingsSwitchPending.load(), 1);
    EXPECT_EQ(editors.log, (std::vector<std::string>{"modifier 0", "weather 0"}));
}

TEST_F(HotkeyTest, AllLiveEntersOnAnyEditorThatWrote) {
    editors.weatherWrites = true;
    Press(kVkF4);
    EXPECT_EQ(AllBeforeShown.load(), 1);
    EXPECT_EQ(TimecycleAfterShown.load(), 1);
    ResetBeforeAfterState();
    PollHotkeys();
    editors.weatherWrites = false;
    editors.visualSettingsEdited = true;
    Press(kVkF4);
    EXPECT_EQ(AllBeforeShown.load(), 1);
    EXPECT_EQ(VisualSettingsAfterShown.load(), 0);
    EXPECT_EQ(VisualSettingsSwitchPending.load(), 1);
}

TEST_F(HotkeyTest, SeveralHotkeysInOneTickRunInOrder) {
    editors.timecycleEdited = true;
    platform::sim::SetKeyDown(kVkF1, true);
    platform::sim::SetKeyDown(kVkF4, true);
    PollHotkeys();
    // Timecycle went to before, then AllLive saw the edits and kept it there.
    EXPECT_EQ(TimecycleAfterShown.load(), 0);
    EXPECT_EQ(AllBeforeShown.load(), 1);
}

}  // namespace
