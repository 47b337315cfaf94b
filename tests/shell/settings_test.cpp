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
std::string DefaultFileText(const std::string& vrn, const std::string& imports, const std::string& exports) {
    return Crlf({"[UI]", "UIScale=1.000", "UIOpacity=0.960", "MenuWidth=830.000", "MenuHeight=1020.000",
                 "MenuHotkey=F9", "TimecycleBeforeAfterHotkey=Off", "VisualSettingsBeforeAfterHotkey=Off",
                 "BothBeforeAfterHotkey=Off", "AllLiveBeforeAfterHotkey=Off", "FPSCounter=0", "ShowFPSWhenClosed=1",
                 "TimecycleTimelapseSpeed=600.000", "GameHudVisible=1", "DisableIdleCamera=0",
                 "DisablePedestrians=0", "DisableVehicles=0", "", "[Paths]", "WorkspaceDirectory=" + vrn,
                 "ImportDirectory=" + imports, "ExportDirectory=" + exports});
}

class SettingsTest : public ShellTest {
protected:
    std::string Ini() const { return InVrn("VRN.ini"); }
    // Starts afresh as a new game session would, and loads.
    void Reload() {
        ResetSettingsState();
        LoadSettings();
    }
};

// ---- Golden files ------------------------------------------------------------------------

TEST_F(SettingsTest, MissingFileIsCreatedWithDefaults) {
    LoadSettings();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini created with default settings: " + Ini());
    EXPECT_EQ(SettingsStatusText(), "Settings created.");
    EXPECT_EQ(GetFile(Ini()), DefaultFileText(kVrn, InVrn("Imports\\"), InVrn("Exports\\")));
    EXPECT_FALSE(WindowSizeFromIni);
    EXPECT_TRUE(ImportFolderChanged);
    for (const char* sub : {"Imports\\Timecycles", "Imports\\Misc", "Exports\\Weather Files", "Exports\\Timecycle Mods"}) {
        EXPECT_TRUE(Exists(InVrn(sub))) << sub;
    }
    // Loading it again reads it back unchanged.
    Reload();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini loaded: " + Ini());
    EXPECT_EQ(SettingsStatusText(), "");
    EXPECT_TRUE(WindowSizeFromIni);
    EXPECT_EQ(GetFile(Ini()), DefaultFileText(kVrn, InVrn("Imports\\"), InVrn("Exports\\")));
}

TEST_F(SettingsTest, EveryValueRoundTrips) {
    LoadSettings();
    UiSettings.UIScale = 1.25f;
    UiSettings.UIOpacity = 0.5f;
    UiSettings.MenuWidth = 1000.0f;
    UiSettings.MenuHeight = 900.5f;
    UiSettings.MenuHotkey = 7;
    UiSettings.TimecycleBeforeAfterHotkey = 13;
    UiSettings.VisualSettingsBeforeAfterHotkey = 15;
    UiSettings.BothBeforeAfterHotkey = 16;
    UiSettings.AllLiveBeforeAfterHotkey = 26;
    UiSettings.FPSCounter = true;
    UiSettings.ShowFPSWhenClosed = false;
    UiSettings.TimecycleTimelapseSpeed = 1.5f;
    GameControlFlags.GameHudVisible = false;
    GameControlFlags.DisableIdleCamera = true;
    GameControlFlags.DisablePedestrians = true;
    GameControlFlags.DisableVehicles = true;
    CopyFolderText(WorkspacePaths.ImportFolderText, "D:\\Imp");
    CopyFolderText(WorkspacePaths.ExportFolderText, "E:\\Exp\\");
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(SettingsStatusLine, "VRN.ini saved: " + Ini());
    EXPECT_EQ(SettingsStatusText(), "Settings saved.");
    EXPECT_EQ(GetFile(Ini()),
              Crlf({"[UI]", "UIScale=1.250", "UIOpacity=0.500", "MenuWidth=1000.000", "MenuHeight=900.500",
                    "MenuHotkey=Insert", "TimecycleBeforeAfterHotkey=Home", "VisualSettingsBeforeAfterHotkey=Page Up",
                    "BothBeforeAfterHotkey=Page Down", "AllLiveBeforeAfterHotkey=Numpad 9", "FPSCounter=1",
                    "ShowFPSWhenClosed=0", "TimecycleTimelapseSpeed=1.500", "GameHudVisible=0", "DisableIdleCamera=1",
                    "DisablePedestrians=1", "DisableVehicles=1", "", "[Paths]", "WorkspaceDirectory=" + std::string(kVrn),
                    "ImportDirectory=D:\\Imp\\", "ExportDirectory=E:\\Exp\\"}));
    EXPECT_TRUE(Exists("D:\\Imp\\Timecycle Mods"));

    Reload();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini loaded: " + Ini());
    EXPECT_EQ(UiSettings.UIScale, 1.25f);
    EXPECT_EQ(UiSettings.UIOpacity, 0.5f);
    EXPECT_EQ(UiSettings.MenuWidth, 1000.0f);
    EXPECT_EQ(UiSettings.MenuHeight, 900.5f);
    EXPECT_EQ(UiSettings.MenuHotkey, 7u);
    EXPECT_EQ(UiSettings.TimecycleBeforeAfterHotkey, 13u);
    EXPECT_EQ(UiSettings.VisualSettingsBeforeAfterHotkey, 15u);
    EXPECT_EQ(UiSettings.BothBeforeAfterHotkey, 16u);
    EXPECT_EQ(UiSettings.AllLiveBeforeAfterHotkey, 26u);
    EXPECT_TRUE(UiSettings.FPSCounter);
    EXPECT_FALSE(UiSettings.ShowFPSWhenClosed);
    EXPECT_EQ(UiSettings.TimecycleTimelapseSpeed, 1.5f);
    EXPECT_FALSE(GameControlFlags.GameHudVisible);
    EXPECT_TRUE(GameControlFlags.DisableIdleCamera);
    EXPECT_TRUE(GameControlFlags.DisablePedestrians);
    EXPECT_TRUE(GameControlFlags.DisableVehicles);
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Imp\\");
    EXPECT_STREQ(WorkspacePaths.ExportFolderText, "E:\\Exp\\");
    EXPECT_TRUE(WindowSizeFromIni);
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
                       "UIScale=9\r\n"                    // before any section: belongs to none
                       "[Other]\r\nUIScale=8\r\n"
                       "  [ ui ]  \r\n"
                       "; UIScale=7\r\n"
                       "# UIScale=6\r\n"
                       "no equals sign\r\n"
                       "  uiscale =  \"1.25\"  \r\n"
                       "UIScale=5\r\n"                    // the first match wins
                       "Eq=a=b\n"
                       "Empty=\n"
                       "[UI\n"                            // not a header: still in [UI]
                       "Late=1\r\n"
                       "[Paths]\r\n"
                       "WorkspaceDirectory = D:\\Work \r\n"
                       "[UI]\r\n"
                       "Again=2");                        // no line end at the end
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
        {"UI", "WorkspaceDirectory", std::nullopt},
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
    const std::string ini = Ini();
    EXPECT_EQ(IniReadFloat(ini, "Letters", 1.0f, 0.5f, 2.0f), 1.0f);
    EXPECT_EQ(IniReadFloat(ini, "Big", 1.0f, 0.5f, 2.0f), 2.0f);
    EXPECT_EQ(IniReadFloat(ini, "Small", 1.0f, 0.5f, 2.0f), 0.5f);
    EXPECT_EQ(IniReadFloat(ini, "Prefix", 1.0f, 0.5f, 2.0f), 1.5f);
    EXPECT_EQ(IniReadFloat(ini, "Nan", 1.0f, 0.5f, 2.0f), 1.0f);
    EXPECT_EQ(IniReadFloat(ini, "Inf", 1.0f, 0.5f, 2.0f), 1.0f);
    EXPECT_EQ(IniReadFloat(ini, "Huge", 1.0f, 0.5f, 2.0f), 1.0f);
    EXPECT_EQ(IniReadFloat(ini, "Missing", 9.0f, 0.5f, 2.0f), 9.0f);  // a missing key is not clamped

    EXPECT_TRUE(IniReadBool(ini, "Yes", false));
    EXPECT_FALSE(IniReadBool(ini, "Off", true));
    EXPECT_TRUE(IniReadBool(ini, "One", false));
    EXPECT_FALSE(IniReadBool(ini, "Zero", true));
    EXPECT_TRUE(IniReadBool(ini, "Word", true));
    EXPECT_FALSE(IniReadBool(ini, "Word", false));
    EXPECT_TRUE(IniReadBool(ini, "Space", false));  // trimmed
    EXPECT_TRUE(IniReadBool(ini, "Missing", true));

    EXPECT_EQ(IniReadBeforeAfterHotkey(ini, "Home"), 13u);
    EXPECT_EQ(IniReadBeforeAfterHotkey(ini, "Num"), 26u);
    EXPECT_EQ(IniReadBeforeAfterHotkey(ini, "Num27"), 0u);
    EXPECT_EQ(IniReadBeforeAfterHotkey(ini, "Neg"), 0u);
    EXPECT_EQ(IniReadBeforeAfterHotkey(ini, "NumText"), 3u);
    EXPECT_EQ(IniReadBeforeAfterHotkey(ini, "Letters"), 0u);
    EXPECT_EQ(IniReadBeforeAfterHotkey(ini, "Missing"), 0u);
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
    EXPECT_EQ(SettingsStatusLine, "VRN.ini loaded: " + Ini());

    PutFile(Ini(), Crlf({"[UI]", "UIScale=5", "MenuWidth=900"}));
    Reload();
    EXPECT_EQ(UiSettings.UIScale, 2.0f);
    EXPECT_FALSE(WindowSizeFromIni);  // only one of the two sizes
}

// ---- Hotkeys --------------------------------------------------------------------------------

TEST_F(SettingsTest, MenuHotkeyFromTheFile) {
    const struct {
        const char* stored;
        uint32_t row;
    } cases[] = {{"insert", 7}, {"F6", 0}, {"5", 5}, {"-1", 3}, {"9", 3}, {"8", 3}, {"7 keys", 7}, {"F8", 2},
                 {"Home", 3},   {"", 3}};
    for (const auto& c : cases) {
        PutFile(Ini(), Crlf({"[UI]", std::string("MenuHotkey=") + c.stored}));
        Reload();
        EXPECT_EQ(UiSettings.MenuHotkey, c.row) << c.stored;
    }
}

TEST_F(SettingsTest, BeforeAfterHotkeysAreValidatedAndDeduplicated) {
    PutFile(Ini(), Crlf({"[UI]", "MenuHotkey=F9", "TimecycleBeforeAfterHotkey=F9", "VisualSettingsBeforeAfterHotkey=Home",
                         "BothBeforeAfterHotkey=8", "AllLiveBeforeAfterHotkey=HOME"}));
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
    // The menu key's choice keeps none.
    UiSettings.AllLiveBeforeAfterHotkey = 12;
    ClearDuplicateHotkey(0x2D, nullptr);
    EXPECT_EQ(UiSettings.AllLiveBeforeAfterHotkey, 0u);
    ClearDuplicateHotkey(0, nullptr);  // "Off" frees nothing
    EXPECT_EQ(UiSettings.TimecycleBeforeAfterHotkey, 5u);

    UiSettings.MenuHotkey = 9;
    EXPECT_EQ(GetMenuHotkeyVk(), 0x78);
    EXPECT_EQ(UiSettings.MenuHotkey, 3u);
    UiSettings.MenuHotkey = 7;
    EXPECT_EQ(GetMenuHotkeyVk(), 0x2D);
}

TEST_F(SettingsTest, HotkeyTables) {
    ASSERT_EQ(MenuHotkeyTable.size(), 8u);
    ASSERT_EQ(BeforeAfterHotkeyTable.size(), 27u);
    for (const HotkeyRow& row : BeforeAfterHotkeyTable) EXPECT_NE(row.virtualKey, 0x77u) << row.name;  // no F8
    EXPECT_STREQ(BeforeAfterHotkeyTable[8].name, "F9");
    EXPECT_EQ(BeforeAfterHotkeyTable[17].virtualKey, 0x60u);
    EXPECT_STREQ(MenuHotkeyTable[kDefaultMenuHotkey].name, "F9");
}

// ---- Width migration ----------------------------------------------------------------------------

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
    EXPECT_EQ(SettingsStatusLine, "VRN.ini loaded: " + Ini());
    EXPECT_EQ(GetFile(Ini()), kept);  // a plain load writes nothing
}

// ---- Where the file lives -------------------------------------------------------------------------

TEST_F(SettingsTest, PointerToAFolderWithoutSettingsMovesThem) {
    PutFile(Ini(), Crlf({"[UI]", "UIScale=1.5", "[Paths]", "WorkspaceDirectory=D:\\Work",
                         "ImportDirectory=E:\\OldImports"}));
    LoadSettings();
    const std::string moved = "D:\\Work\\VRN\\VRN.ini";
    EXPECT_EQ(SettingsStatusLine, "VRN.ini moved to selected VRN folder: " + moved);
    EXPECT_EQ(SettingsStatusText(), "VRN folder saved.");
    EXPECT_EQ(UiSettings.UIScale, 1.5f);
    EXPECT_EQ(VrnFolder(), "D:\\Work\\VRN\\");
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Work\\VRN\\Imports\\");  // reset under the new folder
    EXPECT_STREQ(WorkspacePaths.ExportFolderText, "D:\\Work\\VRN\\Exports\\");
    const std::string full = GetFile(moved);
    EXPECT_NE(full.find("UIScale=1.500\r\n"), std::string::npos);
    EXPECT_NE(full.find("ImportDirectory=D:\\Work\\VRN\\Imports\\\r\n"), std::string::npos);
    // The default file is now only the pointer.
    EXPECT_EQ(GetFile(Ini()), Crlf({"[Paths]", "WorkspaceDirectory=D:\\Work\\VRN\\"}));

    // The next start follows the pointer and loads the full file.
    Reload();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini loaded: " + moved);
    EXPECT_EQ(UiSettings.UIScale, 1.5f);
    EXPECT_EQ(VrnFolder(), "D:\\Work\\VRN\\");
}

TEST_F(SettingsTest, PointerHopsAtMostTwice) {
    // Default -> A (has a VRN.ini pointing at B) -> B (has a VRN.ini): B is read.
    PutFile(Ini(), Crlf({"[Paths]", "VrnDirectory=D:\\A\\VRN\\"}));
    PutFile("D:\\A\\VRN\\VRN.ini", Crlf({"[UI]", "UIScale=0.7", "[Paths]", "VRNFolder=D:\\B"}));
    PutFile("D:\\B\\VRN\\VRN.ini", Crlf({"[UI]", "UIScale=1.7", "[Paths]", "WorkspaceDirectory=D:\\C"}));
    LoadSettings();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini loaded: D:\\B\\VRN\\VRN.ini");
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
    bool exists = false;
    bool moved = false;
    EXPECT_EQ(LocateSettingsAndPaths(exists, moved), Ini());
    EXPECT_TRUE(exists);
    EXPECT_TRUE(moved);
    EXPECT_EQ(VrnFolder(), "D:\\First\\VRN\\");
    EXPECT_TRUE(Exists("D:\\First\\VRN"));

    PutFile(Ini(), Crlf({"[Paths]", "VRNFolder=D:\\Third", "VrnDirectory=D:\\mods\\vrn"}));
    EXPECT_EQ(LocateSettingsAndPaths(exists, moved), Ini());
    EXPECT_EQ(VrnFolder(), "D:\\mods\\vrn\\");

    // The older import key.
    PutFile(Ini(), Crlf({"[Paths]", "TimecycleImportDirectory=\"E:\\Tc Imports\""}));
    Reload();
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "E:\\Tc Imports\\");
    EXPECT_TRUE(Exists("E:\\Tc Imports\\Weather Files"));
}

TEST_F(SettingsTest, PointerToTheDefaultFolderItself) {
    PutFile(Ini(), Crlf({"[UI]", "UIScale=1.1", "[Paths]", std::string("WorkspaceDirectory=") + kVrn}));
    LoadSettings();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini loaded: " + Ini());
    EXPECT_EQ(UiSettings.UIScale, 1.1f);
}

// ---- Saving ------------------------------------------------------------------------------------------

TEST_F(SettingsTest, SaveFailuresAreReportedAndDestroyNothing) {
    LoadSettings();
    const std::string before = GetFile(Ini());

    platform::sim::FailWritesTo(Ini(), true);
    UiSettings.UIScale = 1.9f;
    EXPECT_FALSE(SaveSettings());
    EXPECT_EQ(SettingsStatusLine, "VRN.ini save failed: " + Ini());
    EXPECT_EQ(SettingsStatusText(), "Settings could not be saved.");
    EXPECT_EQ(GetFile(Ini()), before);
    platform::sim::FailWritesTo(Ini(), false);

    // A VRN folder typed inside the game's folder: refused.
    CopyFolderText(WorkspacePaths.VrnFolderText, "C:\\Games\\GTA5");
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
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Typed\\VRN\\Imports\\");
    EXPECT_EQ(GetFile(Ini()), Crlf({"[Paths]", "WorkspaceDirectory=D:\\Typed\\VRN\\"}));
    EXPECT_EQ(GetFile("D:\\Typed\\VRN\\VRN.ini"),
              DefaultFileText("D:\\Typed\\VRN\\", "D:\\Typed\\VRN\\Imports\\", "D:\\Typed\\VRN\\Exports\\"));

    // Back at the default folder no pointer is written: the full file goes there.
    CopyFolderText(WorkspacePaths.VrnFolderText, kVrn);
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(GetFile(Ini()), DefaultFileText(kVrn, InVrn("Imports\\"), InVrn("Exports\\")));
}

// ---- Hostile files ----------------------------------------------------------------------------------

TEST_F(SettingsTest, EmptyBinaryAndTruncatedFilesGiveDefaults) {
    const std::string binary("\0\xFF\xFE[UI]\0UIScale=2\x80\x81\n\xC3[\n=\n[]\n]\n\0", 32);
    const struct {
        const char* name;
        std::string content;
        float scale;
    } cases[] = {
        {"empty", "", 1.0f},
        {"binary", binary, 1.0f},
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
        EXPECT_EQ(SettingsStatusLine, "VRN.ini loaded: " + Ini()) << c.name;
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
    bool exists = true;
    bool moved = true;
    EXPECT_EQ(LocateSettingsAndPaths(exists, moved), "");
    EXPECT_FALSE(exists);
    EXPECT_FALSE(moved);
    LoadSettings();
    EXPECT_EQ(UiSettings.UIScale, 1.0f);
    // Not "created": nothing could be written.
    EXPECT_EQ(SettingsStatusLine, "VRN.ini save failed: invalid path.");
    EXPECT_FALSE(Exists("C:\\Games\\GTA5\\VRN"));
}

TEST_F(SettingsTest, AFailedFirstSaveIsNotReportedAsCreated) {
    platform::sim::FailWritesTo(Ini(), true);
    LoadSettings();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini save failed: " + Ini());
    EXPECT_FALSE(Exists(Ini()));
}

// ---- Status and defaults -------------------------------------------------------------------------------

TEST(SettingsStatus, ShortTexts) {
    const struct {
        const char* line;
        const char* shortText;
    } cases[] = {
        {"", ""},
        {"VRN.ini not loaded.", ""},
        {"VRN.ini loaded: C:\\x\\VRN.ini", ""},
        {"VRN.ini saved: C:\\x\\VRN.ini", "Settings saved."},
        {"VRN.ini save failed: invalid path.", "Settings could not be saved."},
        {"VRN.ini save failed: C:\\x\\VRN.ini", "Settings could not be saved."},
        {"VRN.ini created with default settings: C:\\x\\VRN.ini", "Settings created."},
        {"VRN.ini moved to selected VRN folder: D:\\VRN\\VRN.ini", "VRN folder saved."},
        {"VRN folder selected and saved to VRN.ini.", "VRN folder saved."},
        {"Import folder selected and saved to VRN.ini.", "Import folder saved."},
        {"Export folder selected and saved to VRN.ini.", "Export folder saved."},
        {"VRN.ini updated with current default window width: C:\\x", "Settings updated."},
        {"Default VRN folder restored.", "Default VRN folder restored."},
        {"Import folder dialog opened.", "Import folder dialog opened."},
        {"VRN.ini not loaded", "VRN.ini not loaded"},
    };
    for (const auto& c : cases) {
        SettingsStatusLine = c.line;
        EXPECT_EQ(SettingsStatusText(), c.shortText) << c.line;
    }
    ResetSettingsState();
    EXPECT_EQ(SettingsStatusLine, "VRN.ini not loaded.");
}

TEST(SettingsDefaults, DefaultMainWindowSize) {
    const struct {
        float w, h, width, height;
    } cases[] = {
        {1920, 1080, 830, 928.8f}, {0, 0, 830, 928.8f},   {-5, 1080, 830, 928.8f}, {800, 600, 780, 580},
        {250, 300, 240, 320},      {3840, 2160, 830, 1100}, {1280, 720, 830, 700},
    };
    for (const auto& c : cases) {
        const MainWindowSize size = DefaultMainWindowSize(c.w, c.h);
        EXPECT_FLOAT_EQ(size.width, c.width) << c.w << "x" << c.h;
        EXPECT_FLOAT_EQ(size.height, c.height) << c.w << "x" << c.h;
    }
}

TEST_F(SettingsTest, SettingsDifferFromDefaults) {
    LoadSettings();
    const MainWindowSize size = DefaultMainWindowSize(1920, 1080);
    UiSettings.MenuWidth = size.width;
    UiSettings.MenuHeight = size.height;  // as the main window fits it
    ASSERT_FALSE(SettingsDifferFromDefaults(1920, 1080));
    EXPECT_TRUE(SettingsDifferFromDefaults(1280, 720));  // another display wants another size

    const std::pair<const char*, std::function<void()>> changes[] = {
        {"scale", [] { UiSettings.UIScale = 1.001f; }},
        {"opacity", [] { UiSettings.UIOpacity = 0.95f; }},
        {"width", [] { UiSettings.MenuWidth = 831.0f; }},
        {"height", [] { UiSettings.MenuHeight = 930.0f; }},
        {"menu hotkey", [] { UiSettings.MenuHotkey = 4; }},
        {"timecycle hotkey", [] { UiSettings.TimecycleBeforeAfterHotkey = 1; }},
        {"all-live hotkey", [] { UiSettings.AllLiveBeforeAfterHotkey = 2; }},
        {"hud", [] { GameControlFlags.GameHudVisible = false; }},
        {"idle camera", [] { GameControlFlags.DisableIdleCamera = true; }},
        {"pedestrians", [] { GameControlFlags.DisablePedestrians = true; }},
        {"vehicles", [] { GameControlFlags.DisableVehicles = true; }},
        {"blackout", [] { GameControlFlags.BlackoutMode = true; }},
        {"free cam", [] { GameControlFlags.FreeCamEnabled = true; }},
        {"free cam speed", [] { FreeCamSpeed = 10.01f; }},
        {"sensitivity", [] { FreeCamMouseSensitivity = 2.0f; }},
        {"fps", [] { UiSettings.FPSCounter = true; }},
        {"fps closed", [] { UiSettings.ShowFPSWhenClosed = false; }},
        {"vrn folder", [] { CopyFolderText(WorkspacePaths.VrnFolderText, "D:\\VRN\\"); }},
        {"import folder", [] { CopyFolderText(WorkspacePaths.ImportFolderText, "D:\\Imp\\"); }},
        {"export folder", [] { CopyFolderText(WorkspacePaths.ExportFolderText, "D:\\Exp\\"); }},
        {"timelapse", [] { TimelapseEnabled = true; }},
        {"timelapse speed", [] { UiSettings.TimecycleTimelapseSpeed = 601.0f; }},
    };
    for (const auto& [name, change] : changes) {
        Reload();
        UiSettings.MenuWidth = size.width;
        UiSettings.MenuHeight = size.height;
        change();
        EXPECT_TRUE(SettingsDifferFromDefaults(1920, 1080)) << name;
    }
    // Tiny differences and another letter case of a folder are no change.
    Reload();
    UiSettings.MenuWidth = size.width + 0.4f;
    UiSettings.MenuHeight = size.height;
    UiSettings.UIScale = 1.0004f;
    CopyFolderText(WorkspacePaths.ImportFolderText, "c:\\users\\player\\documents\\vrn\\imports");
    EXPECT_FALSE(SettingsDifferFromDefaults(1920, 1080));
}

}  // namespace
}  // namespace shelltest
