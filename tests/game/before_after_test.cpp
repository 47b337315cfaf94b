// The four before/after hotkeys: press edges, blocking, and the all-live
// state machine with recording editors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/before_after.h"
#include "host/host_services.h"
#include "runtime/editor_entries.h"
#include "support/sim_world_fixture.h"

namespace {

using namespace core;
using namespace game;
using namespace host;
using Log = std::vector<std::string>;
constexpr int kVkF1 = 0x70, kVkF2 = 0x71, kVkF3 = 0x72, kVkF4 = 0x73, kVkHome = 0x24;

// What the all-live hotkey asked of the other editors.
struct Editors {
    bool timecycleEdited = false, visualSettingsEdited = false, weatherWrites = false;
    Log log;
};
Editors* g_editors = nullptr;
void Note(const char* what, int before = -1) {
    g_editors->log.push_back(before < 0 ? what : what + (" " + std::to_string(before)));
}

class HotkeyTest : public testsupport::SimWorldTest {
protected:
    void SetUp() override {
        SimWorldTest::SetUp();
        g_editors = &editors;
        runtime::BeforeAfterEntries& entries = runtime::Entries().beforeAfter;
        entries.anyTimecycleGroupEdited = [] { return Note("timecycle?"), g_editors->timecycleEdited; };
        entries.anyVisualSettingsGroupEdited = [] { return Note("visualsettings?"), g_editors->visualSettingsEdited; };
        entries.modifierAllLiveBeforeAfter = [](uint8_t before, uint8_t*) { Note("modifier", before); };
        entries.showWeatherDocsBeforeAfter = [](uint8_t before, uint8_t* changed) {
            Note("weather", before);
            if (g_editors->weatherWrites) *changed = 1;
        };
        core::UiSettings.TimecycleBeforeAfterHotkey = 1;  // F1 to F4
        core::UiSettings.VisualSettingsBeforeAfterHotkey = 2;
        core::UiSettings.BothBeforeAfterHotkey = 3;
        core::UiSettings.AllLiveBeforeAfterHotkey = 4;
        PollHotkeys();  // the first poll learns the keys
    }
    void TearDown() override {
        g_editors = nullptr;
        SimWorldTest::TearDown();
    }
    static void Key(int vk, bool down) {
        platform::sim::SetKeyDown(vk, down);
        PollHotkeys();
    }
    static void Press(int vk) {  // down and up over two ticks
        Key(vk, true);
        Key(vk, false);
    }
    // Timecycle and visualsettings after shown, the switch pending, all before shown: "1100".
    static std::string Shown() {
        std::string flags;
        for (uint8_t flag : {Editor.TimecycleAfterShown.Get(), Editor.VisualSettingsAfterShown.Get(),
                             BeforeAfter.VisualSettingsSwitchPending.Get(), BeforeAfter.AllBeforeShown.Get()})
            flags += static_cast<char>('0' + flag);
        return flags;
    }
    Editors editors;
};

TEST_F(HotkeyTest, FiresOncePerPressOnTheKeyDownBitOnly) {
    platform::sim::SetKeyDown(kVkF1, true);
    for (int i = 0; i < 5; ++i) PollHotkeys();  // held: one toggle
    EXPECT_EQ(Editor.TimecycleAfterShown.Get(), 0);
    Key(kVkF1, false);
    // Pressed and released between two ticks: the "pressed since the last query"
    // bit is shared by every caller of the key state and is not used.
    platform::sim::SetKeyDown(kVkF1, true);
    Key(kVkF1, false);
    EXPECT_EQ(Editor.TimecycleAfterShown.Get(), 0);
    platform::sim::SetKeyDown(kVkHome, true);  // changing the key to one held down is no press
    core::UiSettings.TimecycleBeforeAfterHotkey = 13;
    PollHotkeys();
    Key(kVkHome, false);
    EXPECT_EQ(Editor.TimecycleAfterShown.Get(), 0);
    Press(kVkHome);
    EXPECT_EQ(Editor.TimecycleAfterShown.Get(), 1);
}

TEST_F(HotkeyTest, AllOffOrAnIndexOutOfTheTableNeverFires) {
    for (uint32_t row : {0u, 27u}) {
        auto& ui = core::UiSettings;
        for (auto* key : {&ui.TimecycleBeforeAfterHotkey, &ui.VisualSettingsBeforeAfterHotkey,
                          &ui.BothBeforeAfterHotkey, &ui.AllLiveBeforeAfterHotkey})
            *key = row;
        for (int vk : {kVkF1, kVkF2, kVkF3, kVkF4}) Press(vk);
        EXPECT_EQ(Shown(), "1100");
        EXPECT_TRUE(editors.log.empty());
    }
}

// Typing in the open menu blocks the hotkeys, and so does another window in
// front. With a window captured by the overlay (which may have fallen back to
// the swap chain's window, whose class is not the game's), that window
// decides instead of the platform's class test.
TEST_F(HotkeyTest, TypingInTheOpenMenuOrAnotherWindowInFrontBlocksTheHotkeys) {
    Editor.MenuOpen.Set(1);
    BeforeAfter.UiTakingTextInput.Set(1);
    Press(kVkF1);
    EXPECT_EQ(Editor.TimecycleAfterShown.Get(), 1);
    BeforeAfter.UiTakingTextInput.Set(0);
    platform::sim::SetGameWindowForeground(false);
    Press(kVkF1);
    EXPECT_EQ(Editor.TimecycleAfterShown.Get(), 1);
    Key(kVkF1, true);  // a key held while focus comes back does not fire either
    platform::sim::SetGameWindowForeground(true);
    Key(kVkF1, true);
    Key(kVkF1, false);
    EXPECT_EQ(Editor.TimecycleAfterShown.Get(), 1);
    static bool capturedInFront;
    capturedInFront = true;  // each run starts with it in front
    HostServices services;
    services.gameWindowInFront = [] { return capturedInFront; };
    SetHostServices(services);
    platform::sim::SetGameWindowForeground(false);
    Press(kVkF1);
    EXPECT_EQ(Editor.TimecycleAfterShown.Get(), 0);
    capturedInFront = false;
    platform::sim::SetGameWindowForeground(true);
    Press(kVkF1);
    EXPECT_EQ(Editor.TimecycleAfterShown.Get(), 0);
    SetHostServices(HostServices{});
}

TEST(GameIsInFront, TheCapturedWindowOrItsTopLevelWindowOrBeforeTheCaptureTheGamesProcess) {
    const struct {
        const char* what;
        uint64_t foreground;
        bool ours;
        uint64_t captured, topLevel;
        bool inFront;
    } cases[] = {
        {"nothing in front", 0, true, 0, 0, false},
        {"before the capture: a window of the game's process", 5, true, 0, 0, true},
        {"before the capture: another program", 5, false, 0, 0, false},
        {"the captured window", 5, true, 5, 5, true},
        {"the top-level window of a captured child window", 9, true, 5, 9, true},
        {"another window of the game once one is captured", 7, true, 5, 9, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GameIsInFront(c.foreground, c.ours, c.captured, c.topLevel), c.inFront) << c.what;
}

// F2 asks for the visualsettings switch; F3 shows both before from a mixed
// state (no switch for the unchanged one), then both after; F4 enters all
// before on any editor that wrote and comes back.
TEST_F(HotkeyTest, VisualSettingsBothAndAllLiveHotkeys) {
    Press(kVkF2);
    EXPECT_EQ(Shown(), "1010");
    BeforeAfter.VisualSettingsSwitchPending.Set(0);
    Press(kVkF3);
    EXPECT_EQ(Shown(), "0000");
    Press(kVkF3);
    EXPECT_EQ(Shown(), "1110");
    BeforeAfter.VisualSettingsSwitchPending.Set(0);
    Press(kVkF4);  // no edits anywhere: stays after
    EXPECT_EQ(Shown(), "1100");
    EXPECT_EQ(editors.log, (Log{"timecycle?", "visualsettings?", "modifier 1", "weather 1"}));
    editors.timecycleEdited = true;
    editors.log.clear();
    Press(kVkF4);
    EXPECT_EQ(Shown(), "0101");
    editors.log.clear();
    Editor.VisualSettingsAfterShown.Set(0);  // a hold button meanwhile
    Press(kVkF4);
    EXPECT_EQ(Shown(), "1110");
    EXPECT_EQ(editors.log, (Log{"modifier 0", "weather 0"}));
    editors.timecycleEdited = false;
    editors.weatherWrites = true;
    BeforeAfter.VisualSettingsSwitchPending.Set(0);
    Press(kVkF4);
    EXPECT_EQ(Shown(), "1101");
}

TEST_F(HotkeyTest, SeveralHotkeysInOneTickRunInOrder) {
    editors.timecycleEdited = true;
    platform::sim::SetKeyDown(kVkF1, true);
    Key(kVkF4, true);
    // Timecycle went to before, then AllLive saw the edits and kept it there.
    EXPECT_EQ(Editor.TimecycleAfterShown.Get(), 0);
    EXPECT_EQ(BeforeAfter.AllBeforeShown.Get(), 1);
}

}  // namespace
