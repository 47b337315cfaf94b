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
constexpr int kF6 = 0x75, kF9 = 0x78, kF10 = 0x79, kEscape = 27;

class ScriptLoopTest : public hosttest::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        host::ScriptLoopBegin(loop);
    }
    void Key(int key, bool down) {
        platform::sim::SetKeyDown(key, down);
        host::ScriptLoopPass(loop);
    }
    void Press(int key) {
        Key(key, true);
        Key(key, false);
    }
    uint8_t Open() const { return core::MenuOpen.load(); }
    host::ScriptLoopState loop;
};

TEST_F(ScriptLoopTest, DormantUntilTheFirstPressWhichStartsTheEditorAndOpensTheMenu) {
    for (int i = 0; i < 10; ++i) host::ScriptLoopPass(loop);
    Press(kEscape);
    EXPECT_EQ(host::BootstrapDone.load(), 0);
    EXPECT_TRUE(Rec().calls.empty()) << "nothing is hooked, read or scanned before the press";
    EXPECT_FALSE(Exists(kVrn)) << "no folder is created before the press";

    Key(kF9, true);
    EXPECT_EQ(host::BootstrapDone.load(), 1);
    EXPECT_EQ(Open(), 1);
    EXPECT_TRUE(Exists(std::string(kVrn) + "VRN.ini"));
    for (int i = 0; i < 20; ++i) Key(kF9, true);
    EXPECT_EQ(Open(), 1) << "holding the key toggles once";
    Key(kF9, false);
    Press(kF9);
    EXPECT_EQ(Open(), 0);
    Press(kF9);
    EXPECT_EQ(Open(), 1);
}

TEST_F(ScriptLoopTest, AKeyHeldWhileTheGameLoadsIsNoPress) {
    platform::sim::SetKeyDown(kF9, true);
    host::ScriptLoopBegin(loop);
    Key(kF9, true);
    EXPECT_EQ(host::BootstrapDone.load(), 0);
    Key(kF9, false);
    Press(kF9);
    EXPECT_EQ(host::BootstrapDone.load(), 1);
}

TEST_F(ScriptLoopTest, EscapeClosesOnItsPressEdgeAndLeavesAClosedWindowToTheHotkey) {
    Press(kF9);
    ASSERT_EQ(Open(), 1);
    Key(kEscape, true);
    EXPECT_EQ(Open(), 0);
    Press(kF9);  // reopened while Escape is still held
    EXPECT_EQ(Open(), 1) << "a held Escape closes once, on its press";
    Key(kEscape, false);
    Press(kEscape);
    EXPECT_EQ(Open(), 0);
    platform::sim::SetKeyDown(kEscape, true);  // both on the same pass
    Key(kF9, true);
    EXPECT_EQ(Open(), 1);
}

TEST_F(ScriptLoopTest, AHotkeyPressWhileTheMenuIsBlockedClosesIt) {
    core::MenuCooldownFrames = 5;
    Press(kF9);
    EXPECT_EQ(host::BootstrapDone.load(), 1) << "the first press during a cooldown starts the editor";
    EXPECT_EQ(Open(), 0);
    core::MenuCooldownFrames = 0;
    Press(kF9);
    ASSERT_EQ(Open(), 1);
    for (const bool suspended : {false, true}) {
        core::MenuCooldownFrames = suspended ? 0 : 10;
        core::MenuSuspended = suspended ? 1 : 0;
        Press(kF9);
        EXPECT_EQ(Open(), 0);
        Press(kF9);
        EXPECT_EQ(Open(), 0);
    }
    core::MenuSuspended = 0;
    Press(kF9);
    EXPECT_EQ(Open(), 1);
}

TEST_F(ScriptLoopTest, ChangingTheHotkeyNeverCountsAsAPress) {
    Press(kF9);
    ASSERT_EQ(Open(), 1);
    // F10 is held when the Settings tab makes it the hotkey: no toggle until
    // it is released and pressed again.
    Key(kF10, true);
    core::UiSettings.MenuHotkey = 4;
    Key(kF10, true);
    Key(kF10, false);
    EXPECT_EQ(Open(), 1);
    Press(kF9);
    EXPECT_EQ(Open(), 1) << "F9 is no longer the hotkey";
    Press(kF10);
    EXPECT_EQ(Open(), 0);
    // The old key F10 is held while the hotkey goes back to F9 (up): no toggle.
    Key(kF10, true);
    EXPECT_EQ(Open(), 1);
    core::UiSettings.MenuHotkey = 3;
    Key(kF10, true);
    Key(kF10, false);
    EXPECT_EQ(Open(), 1);
    Press(kF9);
    EXPECT_EQ(Open(), 0);
}

TEST_F(ScriptLoopTest, AnIndexOutOfRangeIsReplacedByF9) {
    core::UiSettings.MenuHotkey = 8;
    host::ScriptLoopPass(loop);
    EXPECT_EQ(core::UiSettings.MenuHotkey.Get(), 3u);
    Press(kF9);
    EXPECT_EQ(host::BootstrapDone.load(), 1);
}

TEST_F(ScriptLoopTest, TheHotkeyOfVrnIniWorksFromTheFirstPressAndReadingCreatesNothing) {
    const std::string ini = std::string(kVrn) + "VRN.ini";
    PutFile(ini, "[UI]\r\nMenuHotkey=F6\r\n");
    const auto before = std::filesystem::last_write_time(Host(ini));
    host::ScriptLoopBegin(loop);
    EXPECT_EQ(core::UiSettings.MenuHotkey.Get(), 0u);
    Press(kF9);
    EXPECT_EQ(host::BootstrapDone.load(), 0) << "F9 is not the configured key";
    EXPECT_FALSE(Exists(std::string(kVrn) + "Imports")) << "the early read creates nothing";
    EXPECT_EQ(std::filesystem::last_write_time(Host(ini)), before);
    Press(kF6);
    EXPECT_EQ(host::BootstrapDone.load(), 1);
    EXPECT_EQ(Open(), 1);
}

TEST_F(ScriptLoopTest, TheEarlyReadFollowsTheWorkspacePointerAndCreatesNoDefaultFolder) {
    PutFile("D:\\Mods\\VRN\\VRN.ini", "[UI]\r\nMenuHotkey=insert\r\n");
    PutFile(std::string(kVrn) + "VRN.ini", "[Paths]\r\nWorkspaceDirectory=D:\\Mods\r\n");
    EXPECT_TRUE(host::ReadMenuHotkeyBeforeStart());
    EXPECT_EQ(core::UiSettings.MenuHotkey.Get(), 7u);
    EXPECT_FALSE(Exists("D:\\Mods\\VRN\\Imports"));

    std::filesystem::remove_all(Host(kVrn));
    core::ResetSettingsState();
    EXPECT_FALSE(host::ReadMenuHotkeyBeforeStart());
    EXPECT_FALSE(Exists(kVrn)) << "no file: no default folder either";
    EXPECT_EQ(core::UiSettings.MenuHotkey.Get(), 3u);
}

TEST(MenuHotkeyText, NamesInAnyCaseOrNumbersZeroToSeven) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"F6", 0}, {"insert", 7}, {"f12", 6}, {"5", 5},   {"5abc", 5}, {"-1", 3},
        {"9", 3},  {"", 3},       {"F13", 3}, {"0", 0},   {"07", 7},   {"99999999999999999999", 3}};
    for (const auto& [text, index] : cases) EXPECT_EQ(core::MenuHotkeyIndexFromText(text), index) << text;
}

}  // namespace
