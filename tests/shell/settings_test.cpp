#include "shell/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "platform/simulated.h"
#include "shell/file_utils.h"
#include "shell/workspace.h"
#include "comma_locale.h"
#include "shell_fixture.h"

namespace shelltest {
namespace {

using namespace shell;

std::string Crlf(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// The file SaveSettings writes for the default settings in a VRN folder.
std::string DefaultFileText(const std::string& vrn) {
    return Crlf({"[UI]", "UIScale=1.000", "UIOpacity=0.960", "MenuWidth=830.000", "MenuHeight=1020.000",
                 "MenuHotkey=F9", "TimecycleBeforeAfterHotkey=Off", "VisualSettingsBeforeAfterHotkey=Off",
                 "BothBeforeAfterHotkey=Off", "AllLiveBeforeAfterHotkey=Off", "FPSCounter=0", "ShowFPSWhenClosed=1",
                 "TimecycleTimelapseSpeed=600.000", "GameHudVisible=1", "DisableIdleCamera=0",
                 "DisablePedestrians=0", "DisableVehicles=0", "", "[Paths]", "WorkspaceDirectory=" + vrn,
                 "ImportDirectory=" + vrn + "Imports\\", "ExportDirectory=" + vrn + "Exports\\"});
}

class SettingsTest : public ShellTest {
protected:
    std::string Ini() const { return InVrn("VRN.ini"); }
    void Reload() {  // starts afresh as a new game session would, and loads
        ResetSettingsState();
        LoadSettings();
    }
    std::string Loaded(const std::string& path) const { return "VRN.ini loaded: " + path; }
};

// ---- Golden files ------------------------------------------------------------------------

TEST_F(SettingsTest, MissingFileIsCreatedWithDefaultsAndReadBackUnchanged) {
    LoadSettings();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini created with default settings: " + Ini());
    EXPECT_EQ(SettingsStatusText(), "Settings created.");
    EXPECT_EQ(GetFile(Ini()), DefaultFileText(kVrn));
    EXPECT_FALSE(WindowSizeFromIni);
    EXPECT_TRUE(ImportFolderChanged);
    for (const char* sub : {"Imports\\Timecycles", "Imports\\Misc", "Exports\\Weather Files", 
                            "Exports\\Timecycle Mods"})
        EXPECT_TRUE(Exists(InVrn(sub))) << sub;
    Reload();
    EXPECT_EQ(SettingsStatusLine, Loaded(Ini()));
    EXPECT_EQ(SettingsStatusText(), "");
    EXPECT_TRUE(WindowSizeFromIni);
    EXPECT_EQ(GetFile(Ini()), DefaultFileText(kVrn));
}

TEST_F(SettingsTest, EveryValueRoundTrips) {
    auto file = [](const char* importFolder) {
        return Crlf({"[UI]", "UIScale=1.250", "UIOpacity=0.500", "MenuWidth=1000.000", "MenuHeight=900.500",
                     "MenuHotkey=Insert", "TimecycleBeforeAfterHotkey=Home", "VisualSettingsBeforeAfterHotkey=Page Up",
                     "BothBeforeAfterHotkey=Page Down", "AllLiveBeforeAfterHotkey=Numpad 9", "FPSCounter=1",
                     "ShowFPSWhenClosed=0", "TimecycleTimelapseSpeed=1.500", "GameHudVisible=0", "DisableIdleCamera=1",
                     "DisablePedestrians=1", "DisableVehicles=1", "", "[Paths]",
                     "WorkspaceDirectory=" + std::string(kVrn), std::string("ImportDirectory=") + importFolder,
                     "ExportDirectory=E:\\Exp\\"});
    };
    PutFile(Ini(), file("D:\\Imp"));
    LoadSettings();
    EXPECT_EQ(SettingsStatusLine, Loaded(Ini()));
    EXPECT_TRUE(WindowSizeFromIni);
    EXPECT_EQ(UiSettings.AllLiveBeforeAfterHotkey, 26u);
    EXPECT_TRUE(Exists("D:\\Imp\\Timecycle Mods"));
    std::filesystem::remove(Host(Ini()));
    ASSERT_TRUE(SaveSettings());  // every value read comes back out unchanged
    EXPECT_EQ(SettingsStatusLine, "VRN.ini saved: " + Ini());
    EXPECT_EQ(SettingsStatusText(), "Settings saved.");
    EXPECT_EQ(GetFile(Ini()), file("D:\\Imp\\"));
}

TEST_F(SettingsTest, WritingAndReadingIgnoreTheCLocale) {
    CommaLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "no locale with a decimal comma could be set up";
    PutFile(Ini(), "[UI]\nUIScale=1.5\nTimecycleTimelapseSpeed=12.25\n");
    LoadSettings();
    EXPECT_EQ(UiSettings.UIScale, 1.5f);
    EXPECT_EQ(UiSettings.TimecycleTimelapseSpeed, 12.25f);
    ASSERT_TRUE(SaveSettings());
    const std::string text = GetFile(Ini());
    EXPECT_NE(text.find("UIScale=1.500\r\n"), std::string::npos);
    EXPECT_NE(text.find("TimecycleTimelapseSpeed=12.250\r\n"), std::string::npos);
}

// ---- Reading rules --------------------------------------------------------------------------

TEST_F(SettingsTest, IniReadRawRules) {
    PutFile(Ini(), std::string("\xEF\xBB\xBF") +
                       "UIScale=9\r\n"  // before any section: belongs to none
                       "[Other]\r\nUIScale=8\r\n"
                       "  [ ui ]  \r\n"
                       "; UIScale=7\r\n"
                       "# UIScale=6\r\n"
                       "no equals sign\r\n"
                       "  uiscale =  \"1.25\"  \r\n"
                       "UIScale=5\r\n"  // the first match wins
                       "Eq=a=b\n"
                       "Empty=\n"
                       "[UI\n"  // not a header: still in [UI]
                       "Late=1\r\n"
                       "[Paths]\r\n"
                       "WorkspaceDirectory = D:\\Work \r\n"
                       "[UI]\r\n"
                       "Again=2");  // no line end at the end
    const struct {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        {"UI", "UIScale", "\"1.25\""},  // quotes are kept
        {"ui", "UISCALE", "\"1.25\""},
        {"Other", "UIScale", "8"},
        {"UI", "Eq", "a=b"},
        {"UI", "Empty", ""},
        {"UI", "Late", "1"},
        {"UI", "Again", "2"},
        {"Paths", "WorkspaceDirectory", "D:\\Work"},
        {"Paths", "UIScale", std::nullopt},
        {"UI", "no equals sign", std::nullopt},
        {"None", "UIScale", std::nullopt},
    };
    for (const auto& c : cases) {
        std::string value = "untouched";
        EXPECT_EQ(IniReadRaw(Ini(), c.section, c.key, value), c.value.has_value()) << c.section << "." << c.key;
        EXPECT_EQ(value, c.value.value_or("untouched")) << c.section << "." << c.key;
    }
    std::string value;
    EXPECT_FALSE(IniReadRaw(InVrn("missing.ini"), "UI", "UIScale", value));
    EXPECT_FALSE(IniReadRaw("", "UI", "UIScale", value));
}

TEST_F(SettingsTest, TypedReaders) {
    PutFile(Ini(), Crlf({"[UI]", "Letters=abc", "Big=5", "Small=-3", "Prefix=1.5abc", "Nan=nan", "Inf=inf",
                         "Huge=1e999", "Yes=YES", "Off=off", "One=1", "Zero=0", "Word=maybe", "Space= on ",
                         "Home=home", "Num=26", "Num27=27", "Neg=-1", "NumText=3x"}));
    const std::pair<const char*, float> floats[] = {{"Letters", 1.0f}, {"Big", 2.0f}, {"Small", 0.5f},
                                                    {"Prefix", 1.5f},  {"Nan", 1.0f}, {"Inf", 1.0f},
                                                    {"Huge", 1.0f},    {"Missing", 1.0f}};
    for (const auto& [key, value] : floats) EXPECT_EQ(IniReadFloat(Ini(), key, 1.0f, 0.5f, 2.0f), value) << key;
    EXPECT_EQ(IniReadFloat(Ini(), "Missing", 9.0f, 0.5f, 2.0f), 9.0f) << "a missing key is not clamped";
    const std::pair<const char*, int> bools[] = {{"Yes", 1}, {"Off", 0}, {"One", 1},     {"Zero", 0},
                                                 {"Word", -1}, {"Space", 1}, {"Missing", -1}};  // -1: the default
    for (const auto& [key, value] : bools) {
        EXPECT_EQ(IniReadBool(Ini(), key, false), value == 1) << key;
        EXPECT_EQ(IniReadBool(Ini(), key, true), value != 0) << key;
    }
    const std::pair<const char*, uint32_t> hotkeys[] = {{"Home", 13}, {"Num", 26},    {"Num27", 0},  {"Neg", 0},
                                                        {"NumText", 3}, {"Letters", 0}, {"Missing", 0}};
    for (const auto& [key, row] : hotkeys) EXPECT_EQ(IniReadBeforeAfterHotkey(Ini(), key), row) << key;
}

TEST_F(SettingsTest, LoadedValuesAreClampedOrFallBack) {
    PutFile(Ini(), Crlf({"[UI]", "UIScale=letters", "UIOpacity=0.1", "MenuWidth=5000", "MenuHeight=100",
                         "TimecycleTimelapseSpeed=0", "GameHudVisible=maybe", "FPSCounter=TRUE"}));
    LoadSettings();
    EXPECT_EQ(UiSettings.UIScale, 1.0f);
    EXPECT_EQ(UiSettings.UIOpacity, 0.2f);
    EXPECT_EQ(UiSettings.MenuWidth, 1200.0f);
    EXPECT_EQ(UiSettings.MenuHeight, 520.0f);
    EXPECT_EQ(UiSettings.TimecycleTimelapseSpeed, 1.0f);
    EXPECT_TRUE(GameControlFlags.GameHudVisible);
    EXPECT_TRUE(UiSettings.FPSCounter);
    EXPECT_TRUE(WindowSizeFromIni);
    PutFile(Ini(), Crlf({"[UI]", "UIScale=5", "MenuWidth=900"}));
    Reload();
    EXPECT_EQ(UiSettings.UIScale, 2.0f);
    EXPECT_FALSE(WindowSizeFromIni) << "only one of the two sizes";
}

// ---- Hotkeys --------------------------------------------------------------------------------

TEST_F(SettingsTest, MenuHotkeyFromTheFile) {
    const std::pair<const char*, uint32_t> cases[] = {{"insert", 7}, {"-1", 3}, {"8", 3}, {"7 keys", 7}, {"Home", 3}};
    for (const auto& [stored, row] : cases) {
        PutFile(Ini(), Crlf({"[UI]", std::string("MenuHotkey=") + stored}));
        Reload();
        EXPECT_EQ(UiSettings.MenuHotkey, row) << stored;
    }
}

TEST_F(SettingsTest, BeforeAfterHotkeysAreValidatedAndDeduplicated) {
    ASSERT_EQ(MenuHotkeyTable.size(), 8u);
    ASSERT_EQ(BeforeAfterHotkeyTable.size(), 27u);
    PutFile(Ini(), Crlf({"[UI]", "MenuHotkey=F9", "TimecycleBeforeAfterHotkey=F9",
                         "VisualSettingsBeforeAfterHotkey=Home", "BothBeforeAfterHotkey=8",
                         "AllLiveBeforeAfterHotkey=HOME"}));
    LoadSettings();
    EXPECT_EQ(UiSettings.TimecycleBeforeAfterHotkey, 0u);        // the menu key's F9
    EXPECT_EQ(UiSettings.VisualSettingsBeforeAfterHotkey, 13u);  // earlier keeps "Home"
    EXPECT_EQ(UiSettings.BothBeforeAfterHotkey, 0u);             // row 8 is F9 too
    EXPECT_EQ(UiSettings.AllLiveBeforeAfterHotkey, 0u);

    UiSettings.MenuHotkey = 8;
    UiSettings.TimecycleBeforeAfterHotkey = 27;
    UiSettings.VisualSettingsBeforeAfterHotkey = 5;
    UiSettings.BothBeforeAfterHotkey = 5;
    UiSettings.AllLiveBeforeAfterHotkey = 5;
    ValidateHotkeys();
    EXPECT_EQ(UiSettings.MenuHotkey, 3u);
    EXPECT_EQ(UiSettings.TimecycleBeforeAfterHotkey, 0u);
    EXPECT_EQ(UiSettings.VisualSettingsBeforeAfterHotkey, 5u);
    EXPECT_EQ(UiSettings.BothBeforeAfterHotkey, 0u);
    EXPECT_EQ(UiSettings.AllLiveBeforeAfterHotkey, 0u);

    // A new choice takes the key from the others, whatever their order.
    UiSettings.TimecycleBeforeAfterHotkey = 5;
    ClearDuplicateHotkey(BeforeAfterHotkeyTable[5].virtualKey, &UiSettings.TimecycleBeforeAfterHotkey);
    EXPECT_EQ(UiSettings.TimecycleBeforeAfterHotkey, 5u);
    EXPECT_EQ(UiSettings.VisualSettingsBeforeAfterHotkey, 0u);
    UiSettings.AllLiveBeforeAfterHotkey = 12;
    ClearDuplicateHotkey(0x2D, nullptr);  // the menu key's choice keeps none
    EXPECT_EQ(UiSettings.AllLiveBeforeAfterHotkey, 0u);
    ClearDuplicateHotkey(0, nullptr);  // "Off" frees nothing
    EXPECT_EQ(UiSettings.TimecycleBeforeAfterHotkey, 5u);

    UiSettings.MenuHotkey = 9;
    EXPECT_EQ(GetMenuHotkeyVk(), 0x78);
    EXPECT_EQ(UiSettings.MenuHotkey, 3u);
}

TEST_F(SettingsTest, OldDefaultWidthsAreMigrated) {
    for (const char* width : {"590", "540", "590.4", "539.6", "200"}) {
        PutFile(Ini(), Crlf({"[UI]", std::string("MenuWidth=") + width, "MenuHeight=700"}));
        Reload();
        EXPECT_EQ(UiSettings.MenuWidth, 830.0f) << width;
        EXPECT_FALSE(WindowSizeFromIni) << width;
        EXPECT_EQ(SettingsStatusLine, "VRN.ini updated with current default window width: " + Ini()) << width;
        EXPECT_EQ(SettingsStatusText(), "Settings updated.");
        EXPECT_NE(GetFile(Ini()).find("MenuWidth=830.000\r\n"), std::string::npos) << width;
    }
    const std::string kept = Crlf({"[UI]", "MenuWidth=600", "MenuHeight=700"});
    PutFile(Ini(), kept);
    Reload();
    EXPECT_EQ(UiSettings.MenuWidth, 600.0f);
    EXPECT_TRUE(WindowSizeFromIni);
    EXPECT_EQ(GetFile(Ini()), kept) << "a plain load writes nothing";
}

// ---- Where the file lives -------------------------------------------------------------------------

TEST_F(SettingsTest, PointerToAFolderWithoutSettingsMovesThem) {
    PutFile(Ini(), Crlf({"[UI]", "UIScale=1.5", "[Paths]", "WorkspaceDirectory=D:\\Work",
                         "ImportDirectory=E:\\OldImports"}));
    LoadSettings();
    const std::string moved = "D:\\Work\\VRN\\VRN.ini";
    EXPECT_EQ(SettingsStatusLine, "VRN.ini moved to selected VRN folder: " + moved);
    EXPECT_EQ(SettingsStatusText(), "VRN folder saved.");
    EXPECT_EQ(VrnFolder(), "D:\\Work\\VRN\\");
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Work\\VRN\\Imports\\");  // reset under the new folder
    std::string full = DefaultFileText("D:\\Work\\VRN\\");
    EXPECT_EQ(GetFile(moved), full.replace(full.find("UIScale=1.000"), 13, "UIScale=1.500"));
    EXPECT_EQ(GetFile(Ini()), Crlf({"[Paths]", "WorkspaceDirectory=D:\\Work\\VRN\\"})) << "now only the pointer";
    Reload();  // the next start follows the pointer
    EXPECT_EQ(SettingsStatusLine, Loaded(moved));
    EXPECT_EQ(UiSettings.UIScale, 1.5f);

    // A pointer to the default folder itself.
    PutFile(Ini(), Crlf({"[UI]", "UIScale=1.1", "[Paths]", std::string("WorkspaceDirectory=") + kVrn}));
    Reload();
    EXPECT_EQ(SettingsStatusLine, Loaded(Ini()));
    EXPECT_EQ(UiSettings.UIScale, 1.1f);
}

TEST_F(SettingsTest, PointerHopsAtMostTwice) {
    // Default -> A (has a VRN.ini pointing at B) -> B (has a VRN.ini): B is read.
    PutFile(Ini(), Crlf({"[Paths]", "VrnDirectory=D:\\A\\VRN\\"}));
    PutFile("D:\\A\\VRN\\VRN.ini", Crlf({"[UI]", "UIScale=0.7", "[Paths]", "VRNFolder=D:\\B"}));
    PutFile("D:\\B\\VRN\\VRN.ini", Crlf({"[UI]", "UIScale=1.7", "[Paths]", "WorkspaceDirectory=D:\\C"}));
    LoadSettings();
    EXPECT_EQ(SettingsStatusLine, Loaded("D:\\B\\VRN\\VRN.ini"));
    EXPECT_EQ(UiSettings.UIScale, 1.7f);
    EXPECT_EQ(VrnFolder(), "D:\\B\\VRN\\");  // the third pointer is not followed
    EXPECT_FALSE(Exists("D:\\C"));
    // The second hop names a folder without a file: A's settings move there.
    std::filesystem::remove(Host("D:\\B\\VRN\\VRN.ini"));
    Reload();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini moved to selected VRN folder: D:\\B\\VRN\\VRN.ini");
    EXPECT_EQ(UiSettings.UIScale, 0.7f);
    EXPECT_NE(GetFile("D:\\B\\VRN\\VRN.ini").find("UIScale=0.700\r\n"), std::string::npos);
}

TEST_F(SettingsTest, WorkspaceKeysByAge) {
    // "WorkspaceDirectory" wins over the older names; "VRNFolder" is tried last.
    PutFile(Ini(), Crlf({"[Paths]", "VRNFolder=D:\\Third", "VrnDirectory=D:\\Second", "WorkspaceDirectory=D:\\First"}));
    bool exists = false, moved = false;
    EXPECT_EQ(LocateSettingsAndPaths(exists, moved), Ini());
    EXPECT_TRUE(exists && moved);
    EXPECT_EQ(VrnFolder(), "D:\\First\\VRN\\");
    EXPECT_TRUE(Exists("D:\\First\\VRN"));
    PutFile(Ini(), Crlf({"[Paths]", "VRNFolder=D:\\Third", "VrnDirectory=D:\\mods\\vrn"}));
    EXPECT_EQ(LocateSettingsAndPaths(exists, moved), Ini());
    EXPECT_EQ(VrnFolder(), "D:\\mods\\vrn\\");
    PutFile(Ini(), Crlf({"[Paths]", "TimecycleImportDirectory=\"E:\\Tc Imports\""}));  // the older import key
    Reload();
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "E:\\Tc Imports\\");
    EXPECT_TRUE(Exists("E:\\Tc Imports\\Weather Files"));
}

// ---- Saving ------------------------------------------------------------------------------------------

TEST_F(SettingsTest, SaveFailuresAreReportedAndDestroyNothing) {
    platform::sim::FailWritesTo(Ini(), true);
    LoadSettings();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini save failed: " + Ini()) << "a failed first save is not \"created\"";
    EXPECT_FALSE(Exists(Ini()));
    platform::sim::FailWritesTo(Ini(), false);
    ASSERT_TRUE(SaveSettings());
    const std::string before = GetFile(Ini());

    platform::sim::FailWritesTo(Ini(), true);
    UiSettings.UIScale = 1.9f;
    EXPECT_FALSE(SaveSettings());
    EXPECT_EQ(SettingsStatusLine, "VRN.ini save failed: " + Ini());
    EXPECT_EQ(SettingsStatusText(), "Settings could not be saved.");
    EXPECT_EQ(GetFile(Ini()), before);
    platform::sim::FailWritesTo(Ini(), false);

    CopyFolderText(WorkspacePaths.VrnFolderText, "C:\\Games\\GTA5");  // inside the game's folder: refused
    EXPECT_FALSE(SaveSettings());
    EXPECT_EQ(SettingsStatusLine, "VRN.ini save failed: invalid path.");
    EXPECT_FALSE(Exists("C:\\Games\\GTA5\\VRN\\VRN.ini"));
    EXPECT_EQ(GetFile(Ini()), before);
}

TEST_F(SettingsTest, SavingATypedVrnFolderAdoptsIt) {
    LoadSettings();
    CopyFolderText(WorkspacePaths.ImportFolderText, "E:\\Imp\\");
    CopyFolderText(WorkspacePaths.VrnFolderText, "D:\\Typed");
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(SettingsStatusLine, "VRN.ini saved: D:\\Typed\\VRN\\VRN.ini");
    EXPECT_STREQ(WorkspacePaths.AdoptedVrnFolder, "D:\\Typed\\VRN\\");
    EXPECT_EQ(GetFile(Ini()), Crlf({"[Paths]", "WorkspaceDirectory=D:\\Typed\\VRN\\"}));
    EXPECT_EQ(GetFile("D:\\Typed\\VRN\\VRN.ini"), DefaultFileText("D:\\Typed\\VRN\\"));
    // Back at the default folder no pointer is written: the full file goes there.
    CopyFolderText(WorkspacePaths.VrnFolderText, kVrn);
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(GetFile(Ini()), DefaultFileText(kVrn));
}

// ---- Hostile files ----------------------------------------------------------------------------------

TEST_F(SettingsTest, EmptyBinaryAndTruncatedFilesGiveDefaults) {
    const struct {
        const char* name;
        std::string content;
        float scale;
    } cases[] = {
        {"empty", "", 1.0f},
        {"binary", std::string("\0\xFF\xFE[UI]\0UIScale=2\x80\x81\n\xC3[\n=\n[]\n]\n\0", 32), 1.0f},
        {"truncated line", "[UI]\r\nUIOpacity=0.5\r\nUISc", 1.0f},
        {"truncated value", "[UI]\r\nUIScale=1.", 1.0f},
        {"no line end", "[UI]\r\nUIScale=1.25", 1.25f},
        {"only a header", "[UI", 1.0f},
        {"BOM only", "\xEF\xBB\xBF", 1.0f},
        {"BOM", "\xEF\xBB\xBF[UI]\nUIScale=0.75\n", 0.75f},
        {"UTF-16", std::string("\xFF\xFE[\0U\0I\0]\0", 10), 1.0f},
    };
    for (const auto& c : cases) {
        PutFile(Ini(), c.content);
        Reload();
        EXPECT_EQ(UiSettings.UIScale, c.scale) << c.name;
        EXPECT_EQ(UiSettings.MenuHotkey, kDefaultMenuHotkey) << c.name;
        EXPECT_EQ(SettingsStatusLine, Loaded(Ini())) << c.name;
        EXPECT_EQ(GetFile(Ini()), c.content) << c.name;
    }
}

TEST_F(SettingsTest, OversizedFileGivesDefaultsAndIsLeftAlone) {
    PutFile(Ini(), "[UI]\r\nUIScale=1.5\r\n");
    std::filesystem::resize_file(Host(Ini()), kMaxFileBytes + 1);  // sparse
    LoadSettings();
    EXPECT_EQ(UiSettings.UIScale, 1.0f);
    EXPECT_FALSE(WindowSizeFromIni);
    EXPECT_EQ(SettingsStatusLine, "VRN.ini could not be read, defaults used: " + Ini());
    EXPECT_EQ(SettingsStatusText(), SettingsStatusLine);
    EXPECT_EQ(std::filesystem::file_size(Host(Ini())), kMaxFileBytes + 1);
}

TEST_F(SettingsTest, WithoutADocumentsFolderNothingIsWritten) {
    platform::sim::SetKnownFolder(platform::KnownFolder::Documents, std::nullopt);
    platform::sim::SetEnvironmentVariable("USERPROFILE", std::nullopt);
    bool exists = true, moved = true;
    EXPECT_EQ(LocateSettingsAndPaths(exists, moved), "");
    EXPECT_FALSE(exists || moved);
    LoadSettings();
    EXPECT_EQ(UiSettings.UIScale, 1.0f);
    EXPECT_EQ(SettingsStatusLine, "VRN.ini save failed: invalid path.") << "not \"created\": nothing was written";
    EXPECT_FALSE(Exists("C:\\Games\\GTA5\\VRN"));
}

// ---- Status and defaults -------------------------------------------------------------------------------

TEST(SettingsDefaults, DefaultMainWindowSize) {
    const struct {
        float w, h, width, height;
    } cases[] = {{1920, 1080, 830, 928.8f}, {-5, 1080, 830, 928.8f}, {250, 300, 240, 320}, {3840, 2160, 830, 1100}};
    for (const auto& c : cases) {
        const MainWindowSize size = DefaultMainWindowSize(c.w, c.h);
        EXPECT_FLOAT_EQ(size.width, c.width) << c.w << "x" << c.h;
        EXPECT_FLOAT_EQ(size.height, c.height) << c.w << "x" << c.h;
    }
}

TEST_F(SettingsTest, SettingsDifferFromDefaults) {
    const MainWindowSize size = DefaultMainWindowSize(1920, 1080);
    auto reloadFitted = [&] {  // as the main window fits it
        Reload();
        UiSettings.MenuWidth = size.width;
        UiSettings.MenuHeight = size.height;
    };
    reloadFitted();
    ASSERT_FALSE(SettingsDifferFromDefaults(1920, 1080));
    EXPECT_TRUE(SettingsDifferFromDefaults(1280, 720)) << "another display wants another size";
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"scale", [] { UiSettings.UIScale = 1.001f; }},
        {"all-live hotkey", [] { UiSettings.AllLiveBeforeAfterHotkey = 2; }},
        {"vehicles", [] { GameControlFlags.DisableVehicles = true; }},
        {"free cam", [] { GameControlFlags.FreeCamEnabled = true; }},
        {"sensitivity", [] { FreeCamMouseSensitivity = 2.0f; }},
        {"vrn folder", [] { CopyFolderText(WorkspacePaths.VrnFolderText, "D:\\VRN\\"); }},
        {"timelapse", [] { TimelapseEnabled = true; }},
        {"timelapse speed", [] { UiSettings.TimecycleTimelapseSpeed = 601.0f; }},
    };
    for (const auto& [name, change] : changes) {
        reloadFitted();
        change();
        EXPECT_TRUE(SettingsDifferFromDefaults(1920, 1080)) << name;
    }
    // Tiny differences and another letter case of a folder are no change.
    reloadFitted();
    UiSettings.MenuWidth = size.width + 0.4f;
    UiSettings.UIScale = 1.0004f;
    CopyFolderText(WorkspacePaths.ImportFolderText, "c:\\users\\player\\documents\\vrn\\imports");
    EXPECT_FALSE(SettingsDifferFromDefaults(1920, 1080));
}

}  // namespace
}  // namespace shelltest
