// The script loop's state machine on scripted keys: dormant until the first
// press, start-up once, hotkey edges, Escape, the cooldown, hotkey changes,
// and the hotkey from VRN.ini working from the first press.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/menu_hotkey.h"
#include "host/script_loop.h"
#include "host_fixture.h"

namespace {

using hosttest::Rec;
constexpr int kF6 = 0x75;
constexpr int kF9 = 0x78;
constexpr int kF10 = 0x79;
constexpr int kEscape = 27;

class ScriptLoopTest : public hosttest::HostTest {
protected:
    void Begin() { host::ScriptLoopBegin(loop); }
    void Pass() { host::ScriptLoopPass(loop); }
    void Press(int key) {
        platform::sim::SetKeyDown(key, true);
        Pass();
        platform::sim::SetKeyDown(key, false);
        Pass();
    }
    host::ScriptLoopState loop;
};

TEST_F(ScriptLoopTest, DormantUntilTheFirstPressWhichStartsTheEditorAndOpensTheMenu) {
    Begin();
    for (int i = 0; i < 10; ++i) Pass();
    EXPECT_EQ(host::BootstrapDone.load(), 0);
    EXPECT_TRUE(Rec().calls.empty()) << "nothing is hooked, read or scanned before the press";
    EXPECT_FALSE(Exists(kVrn)) << "no folder is created before the press";

    platform::sim::SetKeyDown(kF9, true);
    Pass();
    EXPECT_EQ(host::BootstrapDone.load(), 1);
    EXPECT_EQ(host::MenuOpen.load(), 1);
    EXPECT_TRUE(Exists(std::string(kVrn) + "VRN.ini"));
    for (int i = 0; i < 20; ++i) Pass();
    EXPECT_EQ(host::MenuOpen.load(), 1) << "holding the key toggles once";
    platform::sim::SetKeyDown(kF9, false);
    Pass();
    Press(kF9);
    EXPECT_EQ(host::MenuOpen.load(), 0);
    Press(kF9);
    EXPECT_EQ(host::MenuOpen.load(), 1);
}

TEST_F(ScriptLoopTest, AKeyHeldWhileTheGameLoadsIsNoPress) {
    platform::sim::SetKeyDown(kF9, true);
    Begin();
    Pass();
    EXPECT_EQ(host::BootstrapDone.load(), 0);
    platform::sim::SetKeyDown(kF9, false);
    Pass();
    Press(kF9);
    EXPECT_EQ(host::BootstrapDone.load(), 1);
}

TEST_F(ScriptLoopTest, EscapeDoesNothingBeforeStartUpAndClosesOnItsPressEdgeAfter) {
    Begin();
    Press(kEscape);
    EXPECT_EQ(host::BootstrapDone.load(), 0);
    Press(kF9);
    ASSERT_EQ(host::MenuOpen.load(), 1);

    platform::sim::SetKeyDown(kEscape, true);
    Pass();
    EXPECT_EQ(host::MenuOpen.load(), 0);
    Press(kF9);  // reopened while Escape is still held
    EXPECT_EQ(host::MenuOpen.load(), 1) << "a held Escape closes once, on its press";
    platform::sim::SetKeyDown(kEscape, false);
    Pass();
    Press(kEscape);
    EXPECT_EQ(host::MenuOpen.load(), 0);
}

TEST_F(ScriptLoopTest, EscapeAndHotkeyOnTheSamePassLeaveAClosedWindowOpen) {
    Begin();
    Press(kF9);
    Press(kF9);
    ASSERT_EQ(host::MenuOpen.load(), 0);
    platform::sim::SetKeyDown(kEscape, true);
    platform::sim::SetKeyDown(kF9, true);
    Pass();
    EXPECT_EQ(host::MenuOpen.load(), 1);
}

TEST_F(ScriptLoopTest, AHotkeyPressWhileTheMenuIsBlockedClosesIt) {
    Begin();
    Press(kF9);
    ASSERT_EQ(host::MenuOpen.load(), 1);
    host::MenuCooldownFrames = 10;
    Press(kF9);
    EXPECT_EQ(host::MenuOpen.load(), 0);
    Press(kF9);
    EXPECT_EQ(host::MenuOpen.load(), 0);
    host::MenuCooldownFrames = 0;
    host::MenuSuspended = 1;
    Press(kF9);
    EXPECT_EQ(host::MenuOpen.load(), 0);
    host::MenuSuspended = 0;
    Press(kF9);
    EXPECT_EQ(host::MenuOpen.load(), 1);
}

TEST_F(ScriptLoopTest, TheFirstPressDuringACooldownStartsTheEditorButKeepsTheWindowClosed) {
    Begin();
    host::MenuCooldownFrames = 5;
    Press(kF9);
    EXPECT_EQ(host::BootstrapDone.load(), 1);
    EXPECT_EQ(host::MenuOpen.load(), 0);
}

TEST_F(ScriptLoopTest, ChangingTheHotkeyNeverCountsAsAPress) {
    Begin();
    Press(kF9);
    ASSERT_EQ(host::MenuOpen.load(), 1);
    // F10 is held when the Settings tab makes it the hotkey: no toggle until
    // it is released and pressed again.
    platform::sim::SetKeyDown(kF10, true);
    Pass();
    shell::UiSettings.MenuHotkey = 4;
    Pass();
    Pass();
    EXPECT_EQ(host::MenuOpen.load(), 1);
    platform::sim::SetKeyDown(kF10, false);
    Pass();
    Press(kF9);
    EXPECT_EQ(host::MenuOpen.load(), 1) << "F9 is no longer the hotkey";
    Press(kF10);
    EXPECT_EQ(host::MenuOpen.load(), 0);
    // The old key F10 is held while the hotkey goes back to F9 (up): no toggle.
    platform::sim::SetKeyDown(kF10, true);
    Pass();
    EXPECT_EQ(host::MenuOpen.load(), 1);
    shell::UiSettings.MenuHotkey = 3;
    Pass();
    platform::sim::SetKeyDown(kF10, false);
    Pass();
    EXPECT_EQ(host::MenuOpen.load(), 1);
    Press(kF9);
    EXPECT_EQ(host::MenuOpen.load(), 0);
}

TEST_F(ScriptLoopTest, AnIndexOutOfRangeIsReplacedByF9) {
    Begin();
    shell::UiSettings.MenuHotkey = 8;
    Pass();
    EXPECT_EQ(shell::UiSettings.MenuHotkey.Get(), 3u);
    Press(kF9);
    EXPECT_EQ(host::BootstrapDone.load(), 1);
}

TEST_F(ScriptLoopTest, TheHotkeyOfVrnIniWorksFromTheFirstPressAndReadingCreatesNothing) {
    const std::string ini = std::string(kVrn) + "VRN.ini";
    PutFile(ini, "[UI]\r\nMenuHotkey=F6\r\n");
    const auto before = std::filesystem::last_write_time(Host(ini));
    Begin();
    EXPECT_EQ(shell::UiSettings.MenuHotkey.Get(), 0u);
    Press(kF9);
    EXPECT_EQ(host::BootstrapDone.load(), 0) << "F9 is not the configured key";
    EXPECT_FALSE(Exists(std::string(kVrn) + "Imports")) << "the early read creates nothing";
    EXPECT_EQ(std::filesystem::last_write_time(Host(ini)), before);
    Press(kF6);
    EXPECT_EQ(host::BootstrapDone.load(), 1);
    EXPECT_EQ(host::MenuOpen.load(), 1);
}

TEST_F(ScriptLoopTest, TheEarlyReadFollowsTheWorkspacePointerAndCreatesNoDefaultFolder) {
    PutFile("D:\\Mods\\VRN\\VRN.ini", "[UI]\r\nMenuHotkey=insert\r\n");
    PutFile(std::string(kVrn) + "VRN.ini", "[Paths]\r\nWorkspaceDirectory=D:\\Mods\r\n");
    EXPECT_TRUE(host::ReadMenuHotkeyBeforeStart());
    EXPECT_EQ(shell::UiSettings.MenuHotkey.Get(), 7u);
    EXPECT_FALSE(Exists("D:\\Mods\\VRN\\Imports"));

    std::filesystem::remove_all(Host(kVrn));
    shell::ResetSettingsState();
    EXPECT_FALSE(host::ReadMenuHotkeyBeforeStart());
    EXPECT_FALSE(Exists(kVrn)) << "no file: no default folder either";
    EXPECT_EQ(shell::UiSettings.MenuHotkey.Get(), 3u);
}

TEST(MenuHotkeyText, NamesInAnyCaseOrNumbersZeroToSeven) {
    struct Case {
        const char* text;
        uint32_t index;
    };
    const Case cases[] = {{"F6", 0},   {"insert", 7}, {"f12", 6}, {"5", 5},    {"5abc", 5}, {"-1", 3},
                          {"9", 3},    {"", 3},       {"F13", 3}, {"0", 0},    {"07", 7},   {"99999999999999999999", 3}};
    for (const Case& c : cases) EXPECT_EQ(host::MenuHotkeyIndexFromText(c.text), c.index) << c.text;
}

}  // namespace
