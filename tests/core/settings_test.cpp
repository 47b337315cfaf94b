// VRN.ini: what a file's text gives, where the file lives, how it is saved;
// the workspace folders; the file, path and number helpers; and the C locale
// of every reader of numbers.
#include "core/settings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <sstream>

#include "core/file_utils.h"
#include "core/text.h"
#include "core/workspace.h"
#include "core_fixture.h"
#include "platform/simulated.h"
#include "timecycle/timecycle_numbers.h"
#include "timecycle/timecycle_xml.h"
#include "timecycle/xml_scan.h"
#include "weather/document_io.h"
#include "weather/weather_documents.h"
#include "weather/xml_scanner.h"

namespace coretest {
namespace {

using namespace core;
namespace sim = platform::sim;

// Switches the C library's numbers to a decimal comma, as the game process
// may: an installed locale, or one built with localedef into scratch. True
// when the decimal point now really is a comma (the fixture restores "C").
bool UseCommaLocale(const std::string& scratch) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
        if (std::setlocale(LC_NUMERIC, name)) return std::localeconv()->decimal_point[0] == ',';
    const std::string command = "localedef -i de_DE -f UTF-8 '" + scratch + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) == -1) return false;
    setenv("LOCPATH", scratch.c_str(), 1);
    return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && std::localeconv()->decimal_point[0] == ',';
}

std::string Crlf(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// The file SaveSettings writes for the default settings in a VRN folder.
std::string DefaultFileText(const std::string& vrn) {
    return Crlf({"[UI]", "UIScale=1.000", "UIOpacity=0.960", "MenuWidth=830.000", "MenuHeight=1020.000", "MenuHotkey=F9", "TimecycleBeforeAfterHotkey=Off",
                 "VisualSettingsBeforeAfterHotkey=Off", "BothBeforeAfterHotkey=Off", "AllLiveBeforeAfterHotkey=Off",
                 "FPSCounter=0", "ShowFPSWhenClosed=1", "TimecycleTimelapseSpeed=600.000", "GameHudVisible=1",
                 "DisableIdleCamera=0", "DisablePedestrians=0", "DisableVehicles=0", "", "[Paths]",
                 "WorkspaceDirectory=" + vrn, "ImportDirectory=" + vrn + "Imports\\",
                 "ExportDirectory=" + vrn + "Exports\\"});
}

class SettingsTest : public CoreTest {
protected:
    void TearDown() override {
        std::setlocale(LC_NUMERIC, "C");
        unsetenv("LOCPATH");
        CoreTest::TearDown();
    }
    std::string Ini() const { return InVrn("VRN.ini"); }
    void Reload() {  // starts afresh as a new game session would, and loads
        ResetSettingsState();
        LoadSettings();
    }
    // What the loaded settings are: the lines SaveSettings would write that
    // differ from the defaults' file, joined by blanks.
    static std::string Shown() {
        std::istringstream lines(SettingsFileText());
        const std::string defaults = "\n" + DefaultFileText(kVrn);
        std::string line, shown;
        while (std::getline(lines, line)) {  // each line still ends in its CR
            if (defaults.find("\n" + line + "\n") != std::string::npos) continue;
            shown += (shown.empty() ? "" : " ") + line.substr(0, line.size() - 1);
        }
        return shown;
    }
};

TEST_F(SettingsTest, FileTextGivesTheseSettings) {
    const std::string longFolder = "D:\\" + std::string(255, 'a');  // 259 bytes with its backslash: fits
    constexpr char kLoaded = 'L', kUnreadable = 'U', kTooLong = 'T', kMigrated = 'M';
    const struct {
        const char* name;
        std::string file;
        std::string shown;
        char status;
    } cases[] = {
        // Sections, keys, comments, line ends.
        {"rules", "\xEF\xBB\xBFUIScale=1.9\r\n[Other]\r\nUIScale=1.8\r\n  [ ui ]  \r\n; UIScale=1.7\r\n# UIScale=1.6\r\n"
                  "no equals sign\r\n  uiscale =  1.25  \r\nUIScale=1.5\r\n[Paths]\r\nFPSCounter=1\r\n",
         "UIScale=1.250", kLoaded},
        {"CR only", "[UI]\rUIScale=1.5\rMenuHotkey=F10\r", "UIScale=1.500 MenuHotkey=F10", kLoaded},
        {"mixed line ends", "[UI]\nUIScale=1.5\r\nFPSCounter=yes\r[UI\nUIOpacity=0.5", "UIScale=1.500 UIOpacity=0.500 FPSCounter=1", kLoaded},
        {"quotes are kept", "[UI]\nUIScale=\"1.5\"\n", "", kLoaded},
        {"truncated", "[UI]\r\nUIOpacity=0.5\r\nUISc", "UIOpacity=0.500", kLoaded},
        {"high bytes", "[UI]\nUIScale=1.5\n\xC3[\n=\n[]\n]\n\xFF\xFE", "UIScale=1.500", kLoaded},
        {"empty", "", "", kLoaded},
        // Typed values: clamped, or the default.
        {"floats", "[UI]\nUIScale=1.5abc\nUIOpacity=5\nTimecycleTimelapseSpeed=0\n",
         "UIScale=1.500 UIOpacity=1.000 TimecycleTimelapseSpeed=1.000", kLoaded},
        {"no numbers", "[UI]\nUIScale=letters\nUIOpacity=nan\nTimecycleTimelapseSpeed=1e999\n", "", kLoaded},
        {"flags", "[UI]\nGameHudVisible=maybe\nFPSCounter=TRUE\nShowFPSWhenClosed= off \nDisableIdleCamera=1\n"
                  "DisablePedestrians=Yes\nDisableVehicles=0\n",
         "FPSCounter=1 ShowFPSWhenClosed=0 DisableIdleCamera=1 DisablePedestrians=1", kLoaded},
        {"menu key by name", "[UI]\nMenuHotkey=insert", "MenuHotkey=Insert", kLoaded},
        {"menu key by number", "[UI]\nMenuHotkey=5 keys", "MenuHotkey=F11", kLoaded},
        {"menu key out of range", "[UI]\nMenuHotkey=8\nMenuHotkey=0", "", kLoaded},
        {"menu key not a row", "[UI]\nMenuHotkey=Home", "", kLoaded},
        {"before/after keys", "[UI]\nMenuHotkey=F9\nTimecycleBeforeAfterHotkey=F9\nVisualSettingsBeforeAfterHotkey=Home\n"
                              "BothBeforeAfterHotkey=8\nAllLiveBeforeAfterHotkey=HOME",
         "VisualSettingsBeforeAfterHotkey=Home", kLoaded},
        {"before/after numbers", "[UI]\nTimecycleBeforeAfterHotkey=26\nBothBeforeAfterHotkey=3x\nAllLiveBeforeAfterHotkey=27",
         "TimecycleBeforeAfterHotkey=Numpad 9 BothBeforeAfterHotkey=F3", kLoaded},
        // The window size.
        {"size clamped", "[UI]\nMenuWidth=5000\nMenuHeight=100", "MenuWidth=1200.000 MenuHeight=520.000", kLoaded},
        {"size kept", "[UI]\nMenuWidth=600\nMenuHeight=700", "MenuWidth=600.000 MenuHeight=700.000", kLoaded},
        {"one size only", "[UI]\nMenuWidth=900", "MenuWidth=900.000", kLoaded},
        {"size every first start wrote", "[UI]\nMenuWidth=830.000\nMenuHeight=1020.000", "", kLoaded},
        {"old width 590", "[UI]\nMenuWidth=590\nMenuHeight=700", "MenuHeight=700.000", kMigrated},
        {"old width 540", "[UI]\nMenuWidth=539.6\nMenuHeight=700", "MenuHeight=700.000", kMigrated},
        {"width below 540", "[UI]\nMenuWidth=200\nMenuHeight=700", "MenuHeight=700.000", kMigrated},
        // Folders.
        {"folders", "[Paths]\r\nImportDirectory = 'D:\\Imp' \r\nTimecycleImportDirectory=D:\\Old\r\nExportDirectory=E:\\Exp",
         "ImportDirectory=D:\\Imp\\ ExportDirectory=E:\\Exp\\", kLoaded},
        {"older import key", "[Paths]\nTimecycleImportDirectory=\"E:\\Tc Imports\"", "ImportDirectory=E:\\Tc Imports\\", kLoaded},
        {"longest folder", "[Paths]\nExportDirectory=" + longFolder, "ExportDirectory=" + longFolder + "\\", kLoaded},
        {"folder too long", "[UI]\nUIScale=1.5\n[Paths]\nExportDirectory=" + longFolder + "b", "UIScale=1.500", kTooLong},
        {"workspace too long", "[Paths]\nWorkspaceDirectory=D:\\" + std::string(249, 'w'), "", kTooLong},
        // Files that are no 8-bit text: defaults, and left as they are.
        {"UTF-16", std::string("\xFF\xFE[\0U\0I\0]\0\r\0\n\0U\0I\0S\0c\0a\0l\0e\0=\0\x32\0", 32), "", kUnreadable},
        {"UTF-16 big-endian mark", "\xFE\xFF[UI]\nUIScale=2", "", kUnreadable},
        {"UTF-16 without mark", std::string("[\0U\0I\0]\0\n\0", 10), "", kUnreadable},
        {"binary", std::string("[UI]\nUIScale=2\n\0\x01", 17), "", kUnreadable},
    };
    for (const auto& c : cases) {
        ResetSettingsState();
        PutFile(Ini(), c.file);
        LoadSettings();
        EXPECT_EQ(Shown(), c.shown) << c.name;
        const std::string prefix = c.status == kLoaded      ? "VRN.ini loaded: "
                                   : c.status == kUnreadable ? "VRN.ini could not be read, defaults used: "
                                   : c.status == kTooLong    ? "VRN.ini folder path too long, default folder used: "
                                                             : "VRN.ini updated with current default window width: ";
        EXPECT_EQ(UiSettings.SettingsStatusLine, prefix + Ini()) << c.name;
        EXPECT_EQ(VrnFolder(), kVrn) << c.name;
        if (c.status == kMigrated) EXPECT_EQ(GetFile(Ini()), SettingsFileText()) << c.name << ": saved at once";
        else EXPECT_EQ(GetFile(Ini()), c.file) << c.name << ": a start that only reads writes nothing";
    }
    // Over 64 MiB: not read, not overwritten.
    PutFile(Ini(), "[UI]\r\nUIScale=1.5\r\n");
    std::filesystem::resize_file(Host(Ini()), kMaxFileBytes + 1);  // sparse
    Reload();
    EXPECT_EQ(UiSettings.UIScale, 1.0f);
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini too large (over 64 MiB), defaults used: " + Ini());
    EXPECT_EQ(SettingsStatusText(), UiSettings.SettingsStatusLine);
    EXPECT_EQ(std::filesystem::file_size(Host(Ini())), kMaxFileBytes + 1);
}

// The window size of a file is the window's when the file holds both
// MenuWidth and MenuHeight in [UI], whatever they are (an old width
// migrated aside); every save writes the pair.
TEST_F(SettingsTest, AStoredSizePairIsTheWindowSize) {
    const struct {
        const char* file;  // nullptr: no file
        bool fromIni;
        float width, height;
    } cases[] = {
        {"[UI]\nMenuWidth=830.000\nMenuHeight=1020.000", true, 830, 1020},  // the defaults, as a first start writes them
        {"[UI]\nMenuWidth=600\nMenuHeight=700", true, 600, 700},
        {"[UI]\nmenuheight=900\nMENUWIDTH=1100", true, 1100, 900},
        {"[UI]\nMenuWidth=wide\nMenuHeight=", true, 830, 1020},  // present, unreadable: the defaults
        {"[UI]\nMenuWidth=900", false, 900, 1020},
        {"[UI]\nMenuHeight=900", false, 830, 900},
        {"[Other]\nMenuWidth=900\nMenuHeight=900", false, 830, 1020},
        {"[UI]\nMenuWidth=590\nMenuHeight=700", false, 830, 700},  // width migrated
        {nullptr, false, 830, 1020},
    };
    for (const auto& c : cases) {
        const std::string name = c.file ? c.file : "(no file)";
        std::filesystem::remove(Host(Ini()));
        if (c.file) PutFile(Ini(), c.file);
        Reload();
        EXPECT_EQ(UiSettings.WindowSizeFromIni.Get(), c.fromIni) << name;
        EXPECT_EQ(UiSettings.MenuWidth.Get(), c.width) << name;
        EXPECT_EQ(UiSettings.MenuHeight.Get(), c.height) << name;
        const std::string size = "\r\nMenuWidth=" + FormatFixed3(c.width) + "\r\nMenuHeight=" + FormatFixed3(c.height) + "\r\n";
        EXPECT_NE(SettingsFileText().find(size), std::string::npos) << name << ": " << SettingsFileText();
    }
    UiSettings.WindowSizeFromIni = false;  // the window follows the display
    UiSettings.MenuWidth = 777.0f;
    ASSERT_TRUE(SaveSettings());
    EXPECT_NE(GetFile(Ini()).find("\r\nMenuWidth=777.000\r\nMenuHeight=1020.000\r\n"), std::string::npos);
}

// A missing file is created with the defaults, and the defaults read back
// unchanged; every other value a file holds is saved back as it was read.
TEST_F(SettingsTest, GoldenFiles) {
    LoadSettings();
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini created with default settings: " + Ini());
    EXPECT_EQ(SettingsStatusText(), "Settings created.");
    EXPECT_EQ(GetFile(Ini()), DefaultFileText(kVrn));
    EXPECT_TRUE(EnsureWorkspaceFolders());
    for (const char* root : {"Imports\\", "Exports\\"})
        for (const char* sub : {"Timecycles", "Timecycle Mods", "Weather Files", "Misc"})
            EXPECT_TRUE(Exists(InVrn(root) + sub)) << root << sub;
    Reload();
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini loaded: " + Ini());
    EXPECT_EQ(SettingsStatusText(), "");
    EXPECT_TRUE(UiSettings.WindowSizeFromIni);
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(GetFile(Ini()), DefaultFileText(kVrn));

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
    Reload();
    EXPECT_TRUE(UiSettings.WindowSizeFromIni);
    std::filesystem::remove(Host(Ini()));
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini saved: " + Ini());
    EXPECT_EQ(SettingsStatusText(), "Settings saved.");
    EXPECT_EQ(GetFile(Ini()), file("D:\\Imp\\"));
}

// The game process may switch the C library to a decimal comma: every reader
// and writer of numbers works as in the "C" locale all the same.
TEST_F(SettingsTest, NumbersIgnoreTheCLocale) {
    if (!UseCommaLocale(Root())) GTEST_SKIP() << "no locale with a decimal comma could be set up";
    char printed[32];
    std::snprintf(printed, sizeof(printed), "%.1f", 1.5);
    ASSERT_STREQ(printed, "1,5");  // the C library now writes a comma
    EXPECT_EQ(FormatFloat(0.25f) + FormatFloatTrimmed(2.5f, "1.0"), "0.250000002.5");
    float value = 0.0f;
    EXPECT_TRUE(ParseFloatPrefix("1,5", value));
    EXPECT_EQ(value, 1.0f);
    // The timecycle files' value lists and their writer.
    std::vector<timecycle::ValueToken> tokens;
    ASSERT_TRUE(timecycle::ParseValueList("0.5 1.25", tokens) && tokens.size() == 2u);
    EXPECT_EQ(tokens[1].value, 1.25f);
    EXPECT_EQ(timecycle::FormatLikeExisting(1.25f, "0.00"), "1.25");
    // The weather documents' typed values, as read and as edited.
    std::vector<weather::XmlValueRecord> records;
    uint64_t warnings = 0;
    ASSERT_TRUE(weather::ScanXmlValues(R"(<R><D value="0.25"/><G content="float_array">1.5 -2.75</G></R>)", records, warnings));
    EXPECT_EQ(records[0].floatValue + records[2].floatValue, 0.25f - 2.75f);
    records[0].currentText = "3.75";
    weather::ParseRecordValue(records[0]);
    EXPECT_EQ(records[0].floatValue, 3.75f);
    // VRN.ini.
    PutFile(Ini(), "[UI]\nUIScale=1.5\nTimecycleTimelapseSpeed=12.25\n");
    LoadSettings();
    EXPECT_EQ(UiSettings.UIScale, 1.5f);
    ASSERT_TRUE(SaveSettings());
    EXPECT_NE(GetFile(Ini()).find("UIScale=1.500\r\nUIOpacity=0.960\r\n"), std::string::npos);
    EXPECT_NE(GetFile(Ini()).find("TimecycleTimelapseSpeed=12.250\r\n"), std::string::npos);
}

TEST_F(SettingsTest, HotkeysAreRepairedAndAKeyServesOneUse) {
    UiSettings.MenuHotkey = 8;
    UiSettings.TimecycleBeforeAfterHotkey = 27;
    UiSettings.VisualSettingsBeforeAfterHotkey = 5;
    UiSettings.BothBeforeAfterHotkey = 5;
    UiSettings.AllLiveBeforeAfterHotkey = 5;
    ValidateHotkeys();
    EXPECT_EQ(UiSettings.MenuHotkey, 3u);
    EXPECT_EQ(UiSettings.TimecycleBeforeAfterHotkey, 0u);
    EXPECT_EQ(UiSettings.VisualSettingsBeforeAfterHotkey, 5u);  // the earliest keeps the key
    EXPECT_EQ(UiSettings.BothBeforeAfterHotkey + UiSettings.AllLiveBeforeAfterHotkey, 0u);

    UiSettings.MenuHotkey = 9;
    EXPECT_EQ(GetMenuHotkeyVk(), 0x78);
    EXPECT_EQ(UiSettings.MenuHotkey, 3u);
}

// VRN.ini may point at another VRN folder (by the keys in their order): its
// file is read, at most two hops away; a folder without a file gets the
// settings read so far, and the first file keeps only the pointer.
TEST_F(SettingsTest, PointersToOtherVrnFolders) {
    PutFile(Ini(), Crlf({"[Paths]", "VRNFolder=D:\\Third", "VrnDirectory=D:\\A\\VRN\\"}));
    PutFile("D:\\A\\VRN\\VRN.ini", Crlf({"[UI]", "UIScale=0.7", "[Paths]", "VrnDirectory=D:\\No", "WorkspaceDirectory=D:\\B"}));
    PutFile("D:\\B\\VRN\\VRN.ini", Crlf({"[UI]", "UIScale=1.7", "[Paths]", "WorkspaceDirectory=D:\\C"}));
    LoadSettings();
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini loaded: D:\\B\\VRN\\VRN.ini");
    EXPECT_EQ(UiSettings.UIScale, 1.7f);
    EXPECT_EQ(VrnFolder(), "D:\\B\\VRN\\");  // the third pointer is not followed
    EXPECT_FALSE(Exists("D:\\C"));
    // The second hop names a folder without a file: A's settings move there.
    std::filesystem::remove(Host("D:\\B\\VRN\\VRN.ini"));
    Reload();
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini moved to selected VRN folder: D:\\B\\VRN\\VRN.ini");
    EXPECT_NE(GetFile("D:\\B\\VRN\\VRN.ini").find("UIScale=0.700\r\n"), std::string::npos);
    // The first: the whole file moves, with the folders under the new one.
    PutFile(Ini(), Crlf({"[UI]", "UIScale=1.5", "[Paths]", "WorkspaceDirectory=D:\\Work", "ImportDirectory=E:\\OldImports"}));
    Reload();
    const std::string moved = "D:\\Work\\VRN\\VRN.ini";
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini moved to selected VRN folder: " + moved);
    EXPECT_EQ(SettingsStatusText(), "VRN folder saved.");
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Work\\VRN\\Imports\\");
    std::string full = DefaultFileText("D:\\Work\\VRN\\");
    EXPECT_EQ(GetFile(moved), full.replace(full.find("UIScale=1.000"), 13, "UIScale=1.500"));
    EXPECT_EQ(GetFile(Ini()), Crlf({"[Paths]", "WorkspaceDirectory=D:\\Work\\VRN\\"})) << "now only the pointer";
    // A pointer to the default folder itself, and one to a folder named vrn.
    PutFile(Ini(), Crlf({"[UI]", "UIScale=1.1", "[Paths]", std::string("WorkspaceDirectory=") + kVrn}));
    Reload();
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini loaded: " + Ini());
    bool exists = false, movedFlag = false;
    PutFile(Ini(), Crlf({"[Paths]", "VrnDirectory=D:\\mods\\vrn"}));
    EXPECT_EQ(LocateSettingsAndPaths(exists, movedFlag), Ini());
    EXPECT_TRUE(exists && movedFlag);
    EXPECT_EQ(VrnFolder(), "D:\\mods\\vrn\\");
}

TEST_F(SettingsTest, SaveFailuresAreReportedAndDestroyNothing) {
    platform::sim::FailWritesTo(Ini(), true);
    LoadSettings();
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini save failed: " + Ini()) << "a failed first save is not \"created\"";
    EXPECT_FALSE(Exists(Ini()));
    platform::sim::FailWritesTo(Ini(), false);
    ASSERT_TRUE(SaveSettings());
    const std::string before = GetFile(Ini());

    platform::sim::FailWritesTo(Ini(), true);
    UiSettings.UIScale = 1.9f;
    EXPECT_FALSE(SaveSettings());
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini save failed: " + Ini());
    EXPECT_EQ(SettingsStatusText(), "Settings could not be saved.");
    EXPECT_EQ(GetFile(Ini()), before);
    platform::sim::FailWritesTo(Ini(), false);

    CopyFolderText(WorkspacePaths.VrnFolderText, "C:\\Games\\GTA5");  // inside the game's folder: refused
    EXPECT_FALSE(SaveSettings());
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini save failed: invalid path.");
    EXPECT_FALSE(Exists("C:\\Games\\GTA5\\VRN\\VRN.ini"));
    // A typed folder that fits its 260 bytes, but not with "VRN\" and "Imports\" added.
    ASSERT_TRUE(CopyFolderText(WorkspacePaths.VrnFolderText, "D:\\" + std::string(250, 't')));
    EXPECT_FALSE(SaveSettings());
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini save failed: folder path too long.");
    EXPECT_EQ(GetFile(Ini()), before);
}

TEST_F(SettingsTest, WithoutADocumentsFolderNothingIsWritten) {
    platform::sim::SetKnownFolder(platform::KnownFolder::Documents, std::nullopt);
    platform::sim::SetEnvironmentVariable("USERPROFILE", std::nullopt);
    bool exists = true, moved = true;
    EXPECT_EQ(LocateSettingsAndPaths(exists, moved), "");
    EXPECT_FALSE(exists || moved);
    LoadSettings();
    EXPECT_EQ(UiSettings.UIScale, 1.0f);
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini save failed: invalid path.") << "not \"created\": nothing was written";
    EXPECT_FALSE(Exists("C:\\Games\\GTA5\\VRN"));
    EXPECT_FALSE(EnsureWorkspaceFolders());
    EXPECT_EQ(IniPath() + ImportsTimecyclesFolder() + ExportsMiscFolder(), "");
}

TEST(SettingsDefaults, DefaultMainWindowSize) {
    const struct {
        float w, h, width, height;
    } cases[] = {{1920, 1080, 830, 928.8f}, {-5, 1080, 830, 928.8f}, {1280, 720, 830, 700},
                 {250, 300, 240, 320},     {3840, 2160, 830, 1100}};
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
        {"sensitivity", [] { GameControlFlags.FreeCamMouseSensitivity = 2.0f; }},
        {"vrn folder", [] { CopyFolderText(WorkspacePaths.VrnFolderText, "D:\\VRN\\"); }},
        {"timelapse", [] { GameControlFlags.TimelapseEnabled = true; }},
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

using WorkspaceTest = CoreTest;

TEST_F(WorkspaceTest, VrnFolderFromChoice) {
    const std::pair<const char*, const char*> cases[] = {
        {"D:\\Games", "D:\\Games\\VRN\\"}, {"D:\\Games\\vrn\\", "D:\\Games\\vrn\\"}, {"D:/Games/VRN/", "D:/Games/VRN/"},
        {"  'D:\\Mods\\VRN'  ", "D:\\Mods\\VRN\\"}, {"D:\\VRNX", "D:\\VRNX\\VRN\\"}, {"\"\"", kVrn},
    };
    for (const auto& [chosen, out] : cases) EXPECT_EQ(VrnFolderFromChoice(chosen, kVrn), out) << chosen;
    EXPECT_EQ(VrnFolderFromChoice("", ""), "");
    EXPECT_EQ(NormaliseChosenFolder(" 'D:\\Imp/' ", "F\\"), "D:\\Imp/");
    EXPECT_EQ(NormaliseChosenFolder("Relative", "F\\"), "Relative\\");  // not made absolute
    EXPECT_EQ(NormaliseChosenFolder("", "F"), "F\\");
    EXPECT_EQ(NormaliseChosenFolder("", ""), "");
}

TEST_F(WorkspaceTest, FindDocumentsFoldersFallsBackInOrder) {
    using platform::KnownFolder;
    sim::SetKnownFolder(KnownFolder::Documents, std::nullopt);  // no Documents folder can be found at all
    sim::SetEnvironmentVariable("USERPROFILE", std::nullopt);
    EXPECT_EQ(FindDocumentsFolders(), "");
    EXPECT_EQ(DefaultVrnFolder(), "");
    // Set from the last fallback to the first; each new one takes over.
    auto env = [](const char* name, std::string value) {
        return [=] { sim::SetEnvironmentVariable(name, value); };
    };
    const std::pair<std::function<void()>, const char*> steps[] = {
        {env("PUBLIC", "C:\\Users\\Public"), "C:\\Users\\Public\\Documents\\"},
        {[] { sim::SetShellFolder(46, std::string("C:\\Common Docs")); }, "C:\\Common Docs\\"},
        {[] { sim::SetKnownFolder(KnownFolder::PublicDocuments, std::string("C:\\PublicDocs")); }, "C:\\PublicDocs\\"},
        {[] { sim::SetKnownFolder(KnownFolder::Profile, std::string("C:\\Users\\Prof")); },
         "C:\\Users\\Prof\\Documents\\"},
        {env("USERPROFILE", "C:\\Users\\Env\\"), "C:\\Users\\Env\\Documents\\"},
        {env("USERPROFILE", std::string(300, 'x')), "C:\\Users\\Prof\\Documents\\"},  // too long: missing
        {[] { sim::SetShellFolder(5, std::string("C:\\Personal")); }, "C:\\Personal\\"},
        {[] { sim::SetKnownFolder(KnownFolder::Documents, std::string("D:\\My Docs")); }, "D:\\My Docs\\"},
    };
    for (const auto& [set, found] : steps) {
        set();
        EXPECT_EQ(FindDocumentsFolders(), found);
    }
    EXPECT_EQ(DefaultVrnFolder(), "D:\\My Docs\\VRN\\");
}

TEST_F(WorkspaceTest, GettersCreateOnlyTheFoldersTheyName) {
    EXPECT_EQ(DefaultVrnFolder() + VrnFolder() + DefaultImportsFolder() + DefaultExportsFolder() + VrnMiscFolder(),
              std::string(kVrn) + kVrn + InVrn("Imports\\") + InVrn("Exports\\") + InVrn("Misc\\"));
    EXPECT_FALSE(Exists(kVrn)) << "none of these creates anything";
    EXPECT_EQ(DefaultIniPath(), InVrn("VRN.ini"));
    EXPECT_TRUE(Exists(kVrn));
    EXPECT_FALSE(Exists(InVrn("Imports")));
    EXPECT_EQ(ExportsTimecycleModsFolder(), InVrn("Exports\\Timecycle Mods\\"));
    EXPECT_TRUE(Exists(InVrn("Exports\\Timecycle Mods")));
    EXPECT_FALSE(Exists(InVrn("Exports\\Timecycles")));
    EXPECT_EQ(ImportsWeatherFilesFolder(), InVrn("Imports\\Weather Files\\"));
    for (const char* sub : {"Timecycles", "Timecycle Mods", "Weather Files", "Misc"})
        EXPECT_TRUE(Exists(InVrn("Imports\\") + sub)) << sub << ": the import folder brings all four";
    EXPECT_FALSE(Exists(InVrn("Misc")));
    // Replaced folders, without a trailing separator.
    CopyFolderText(WorkspacePaths.ImportFolderText, "D:\\Imp");
    CopyFolderText(WorkspacePaths.ExportFolderText, "'E:\\Out'");
    EXPECT_EQ(ImportsFolder(), "D:\\Imp\\");
    EXPECT_EQ(ExportsFolder(), "E:\\Out\\");
    EXPECT_TRUE(Exists("D:\\Imp\\Timecycle Mods"));
    EXPECT_TRUE(Exists("E:\\Out"));
    EXPECT_FALSE(Exists("E:\\Out\\Misc"));
}

// The tabs ask for their folders several times a frame: a getter makes its
// folders on its first call and then leaves the disk alone (a folder removed
// behind its back stays removed), until the folder it names changes.
TEST_F(WorkspaceTest, GettersMakeTheirFoldersOnceAndAgainForAChangedSetting) {
    auto remove = [&](const std::string& folder) {
        std::filesystem::remove_all(Host(folder));
        ASSERT_FALSE(Exists(folder));
    };
    auto askAll = [] {
        std::string all;
        for (int i = 0; i < 3; ++i)
            all = ImportsTimecyclesFolder() + ImportsTimecycleModsFolder() + ImportsWeatherFilesFolder() +
                  ImportsMiscFolder() + ExportsTimecyclesFolder() + ExportsTimecycleModsFolder() +
                  ExportsWeatherFilesFolder() + ExportsMiscFolder() + ImportsFolder() + ExportsFolder();
        return all;
    };
    const std::string first = askAll();
    EXPECT_TRUE(Exists(InVrn("Imports\\Weather Files")) && Exists(InVrn("Exports\\Misc")));
    remove(InVrn("Imports"));
    remove(InVrn("Exports"));
    EXPECT_EQ(askAll(), first) << "the same folders named";
    EXPECT_FALSE(Exists(InVrn("Imports")) || Exists(InVrn("Exports"))) << "made again on a later call";

    // A new import folder setting, then the default again: each made on its first use.
    CopyFolderText(WorkspacePaths.ImportFolderText, "D:\\Imp");
    EXPECT_EQ(ImportsTimecycleModsFolder(), "D:\\Imp\\Timecycle Mods\\");
    EXPECT_TRUE(Exists("D:\\Imp\\Misc"));
    EXPECT_FALSE(Exists(InVrn("Exports"))) << "only the changed folder";
    WorkspacePaths.ImportFolderText[0] = '\0';
    ImportsFolder();
    EXPECT_TRUE(Exists(InVrn("Imports\\Timecycles")));
    // A new VRN folder moves the default export folder with it.
    CopyFolderText(WorkspacePaths.VrnFolderText, "D:\\Work");
    EXPECT_EQ(ExportsMiscFolder(), "D:\\Work\\VRN\\Exports\\Misc\\");
    EXPECT_TRUE(Exists("D:\\Work\\VRN\\Exports\\Misc"));
    // A folder that could not be made is tried again on the next call.
    PutFile("E:\\Blocked", "x");
    CopyFolderText(WorkspacePaths.ExportFolderText, "E:\\Blocked\\Out");
    ExportsFolder();
    std::filesystem::remove(Host("E:\\Blocked"));
    ExportsFolder();
    EXPECT_TRUE(Exists("E:\\Blocked\\Out"));
    // The explicit makers always make theirs, and a cleared workspace starts afresh.
    WorkspacePaths.ExportFolderText[0] = WorkspacePaths.VrnFolderText[0] = '\0';
    remove(InVrn("Exports"));
    EXPECT_TRUE(EnsureWorkspaceFolders());
    EXPECT_TRUE(Exists(InVrn("Exports\\Timecycle Mods")));
    remove(InVrn("Imports"));
    ResetWorkspaceState();
    ImportsWeatherFilesFolder();
    EXPECT_TRUE(Exists(InVrn("Imports\\Weather Files")));
}

TEST_F(WorkspaceTest, CreateDirectoryTree) {
    EXPECT_FALSE(CreateDirectoryTree(""));
    EXPECT_TRUE(CreateDirectoryTree("C:\\"));  // a drive root exists already
    EXPECT_TRUE(CreateDirectoryTree("C:\\One\\Two\\Three\\"));
    EXPECT_TRUE(CreateDirectoryTree("C:\\One\\Two\\Three"));  // exists
    EXPECT_TRUE(CreateDirectoryTree("C:/Slash/Sep//"));
    EXPECT_TRUE(Exists("C:\\One\\Two\\Three") && Exists("C:\\Slash\\Sep"));
    PutFile("C:\\Blocked", "x");  // a file in the way
    EXPECT_FALSE(CreateDirectoryTree("C:\\Blocked\\Sub\\"));
    EXPECT_FALSE(CreateDirectoryTree("C:\\Blocked"));
    CreateParentDirectory("C:\\Parent\\Of\\file.xml");
    EXPECT_TRUE(Exists("C:\\Parent\\Of"));
    EXPECT_FALSE(Exists("C:\\Parent\\Of\\file.xml"));
    CreateParentDirectory("bare.xml");  // nothing to create
}

TEST_F(WorkspaceTest, AdoptingAVrnFolderBringsItsOwnImportsAndExports) {
    CopyFolderText(WorkspacePaths.ImportFolderText, "D:\\Old\\Imp\\");
    CopyFolderText(WorkspacePaths.ExportFolderText, "D:\\Old\\Exp\\");
    AdoptVrnFolder("\"D:\\Games\"");
    EXPECT_STREQ(WorkspacePaths.VrnFolderText, "D:\\Games\\VRN\\");
    EXPECT_STREQ(WorkspacePaths.AdoptedVrnFolder, "D:\\Games\\VRN\\");
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Games\\VRN\\Imports\\");
    EXPECT_STREQ(WorkspacePaths.ExportFolderText, "D:\\Games\\VRN\\Exports\\");
    EXPECT_TRUE(Exists("D:\\Games\\VRN\\Imports\\Timecycles") && Exists("D:\\Games\\VRN\\Exports\\Misc"));
    SetVrnFolder("D:\\Else\\vrn");
    EXPECT_STREQ(WorkspacePaths.VrnFolderText, "D:\\Else\\vrn\\");
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Games\\VRN\\Imports\\");  // only the VRN folder moved
    ResetImportExportFolders(WorkspacePaths.VrnFolderText);
    EXPECT_STREQ(WorkspacePaths.ExportFolderText, "D:\\Else\\vrn\\Exports\\");
    // A folder too long for the 260-byte texts is refused, never cut into another folder.
    EXPECT_FALSE(CopyFolderText(WorkspacePaths.ImportFolderText, "D:\\" + std::string(257, 'a')));
    EXPECT_FALSE(AdoptVrnFolder("D:\\" + std::string(250, 'a')));  // fits, but not with "VRN\\Imports\\"
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Else\\vrn\\Imports\\");
    EXPECT_STREQ(WorkspacePaths.VrnFolderText, "D:\\Else\\vrn\\");
    EXPECT_TRUE(CopyFolderText(WorkspacePaths.ImportFolderText, "D:\\" + std::string(256, 'a')));
}

TEST_F(WorkspaceTest, IsPathInWorkspace) {
    CopyFolderText(WorkspacePaths.VrnFolderText, "D:\\Work\\VRN\\");
    CopyFolderText(WorkspacePaths.ImportFolderText, "E:\\Imp\\");
    const std::pair<const char*, bool> cases[] = {
        {"D:\\Work\\VRN\\VRN.ini", true},
        {"d:/work/vrn/Exports/Timecycles/w.xml", true},
        {"C:\\Users\\Player\\Documents\\VRN\\Deep\\x.xml", true},  // the default VRN folder always
        {"E:\\Imp\\Timecycles\\w.xml", true},
        {"D:\\Work\\VRNX\\x.xml", false},  // sibling that shares the prefix
        {"E:\\Imp2\\w.xml", false},
        {"D:\\Work\\VRN\\..\\x.xml", false},
        {"C:\\Users\\Player\\Documents\\x.xml", false},
        {"C:\\Games\\GTA5\\x.xml", false},
        {"VRN.ini", false},       // no folder part
        {"VRN\\VRN.ini", false},  // relative: the game folder
        {"", false},
        {" D:\\Work\\VRN\\VRN.ini", false},  // would not be written where checked
        {"\"D:\\Work\\VRN\\VRN.ini\"", false},
    };
    for (const auto& [path, inside] : cases) EXPECT_EQ(IsPathInWorkspace(path), inside) << path;
}

TEST_F(WorkspaceTest, IsPathInWorkspaceRefusesTheProgramFolders) {
    CopyFolderText(WorkspacePaths.VrnFolderText, "C:\\Games\\GTA5\\VRN\\");  // inside the game's folder
    EXPECT_FALSE(IsPathInWorkspace("c:\\games\\gta5\\vrn\\Exports\\w.xml"));
    sim::SetOwnModulePath("D:\\Mods\\Varnel.asi");  // the editor's own module folder as well
    CopyFolderText(WorkspacePaths.VrnFolderText, "D:\\Mods\\VRN\\");
    EXPECT_FALSE(IsPathInWorkspace("D:\\Mods\\VRN\\VRN.ini"));
    EXPECT_FALSE(IsInsideProgramFolders("D:\\Mods2\\"));
    EXPECT_TRUE(IsPathInWorkspace(InVrn("VRN.ini"))) << "the default VRN folder stays fine";
    EXPECT_EQ(GetOwnModuleFolder(), "D:\\Mods\\");
    sim::SetOwnModulePath("");
    EXPECT_EQ(GetOwnModuleFolder(), kGameFolder);
    for (const std::string& exe : {std::string("GTA5.exe"), "C:\\" + std::string(300, 'g') + "\\GTA5.exe"}) {
        sim::SetExecutablePath(exe);
        EXPECT_EQ(GetGameFolder(), ".\\");
    }
}

TEST_F(WorkspaceTest, RestoreDefaultFolder) {
    AdoptVrnFolder("D:\\Work");
    CopyFolderText(WorkspacePaths.ImportFolderText, "E:\\Imp\\");
    CopyFolderText(WorkspacePaths.ExportFolderText, "E:\\Exp\\");
    const struct {
        int kind;
        const char* status;
        bool importChanged;
    } cases[] = {{kFolderKindImport, "Default import folder restored.", true},
                 {kFolderKindExport, "Default export folder restored.", false},
                 {kFolderKindVrn, "Default VRN folder restored.", true}};
    for (const auto& c : cases) {
        UiSettings.ImportFolderChanged = false;
        RestoreDefaultFolder(c.kind);
        EXPECT_EQ(UiSettings.SettingsStatusLine, c.status);
        EXPECT_EQ(UiSettings.ImportFolderChanged, c.importChanged) << c.status;
    }
    EXPECT_NE(GetFile("D:\\Work\\VRN\\VRN.ini")
                  .find("ImportDirectory=D:\\Work\\VRN\\Imports\\\r\nExportDirectory=D:\\Work\\VRN\\Exports\\\r\n"),
              std::string::npos);
    EXPECT_EQ(VrnFolder(), kVrn);
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, InVrn("Imports\\").c_str());
    EXPECT_NE(GetFile(InVrn("VRN.ini")).find("WorkspaceDirectory=" + InVrn("\r\n")), std::string::npos);

    UiSettings.SettingsStatusLine = "unchanged";
    RestoreDefaultFolder(0);
    RestoreDefaultFolder(4);
    EXPECT_EQ(UiSettings.SettingsStatusLine, "unchanged");
    platform::sim::FailWritesTo(InVrn("VRN.ini"), true);  // a failed save is not hidden behind "restored"
    RestoreDefaultFolder(kFolderKindExport);
    EXPECT_EQ(UiSettings.SettingsStatusLine, "VRN.ini save failed: " + InVrn("VRN.ini"));
}

// Each text helper over its edge cases.
TEST(TextHelpers, TrimsQuotesAndPathParts) {
    using Helper = std::string (*)(std::string_view);
    const Helper trim = TrimAndUnquote, separator = WithTrailingSeparator, parent = ParentFolder,
                 last = LastPathComponent, name = [](std::string_view path) { return FileNameOfPath(path); };
    const struct {
        Helper helper;
        const char* in;
        const char* out;
    } cases[] = {
        {trim, "  abc \t", "abc"}, {trim, "\"C:\\Mods\"", "C:\\Mods"}, {trim, "'a b'", "a b"}, {trim, "\"", "\""},
        {trim, " \" a \" ", " a "},  // the inside is not trimmed again
        {trim, "\"mixed'", "\"mixed'"}, {trim, "''", ""}, {trim, "\"\"x\"\"", "\"x\""}, {trim, " \t\r\n", ""},
        {trim, "\xA0word\xA0", "\xA0word\xA0"},  // bytes above 127 are not white space
        {separator, "", ""}, {separator, "C:\\a", "C:\\a\\"}, {separator, "C:\\a/", "C:\\a/"}, {separator, "C:\\a\\", "C:\\a\\"},
        {parent, "C:\\a\\b.txt", "C:\\a\\"}, {parent, "C:/a/b.txt", "C:/a/"}, {parent, " \"C:\\a\\b.txt\" ", "C:\\a\\"},
        {parent, "b.txt", ""}, {last, "D:\\Games\\VRN\\", "VRN"}, {last, "D:\\Games\\VRN//", "VRN"},
        {last, "'D:\\Mods'", "Mods"}, {last, "VRN", "VRN"}, {last, "C:\\", ""},
        {name, "a\\b\\w.xml", "w.xml"}, {name, "a/b/w.xml", "w.xml"}, {name, "w.xml", "w.xml"}, {name, "a\\", ""}};
    for (const auto& c : cases) EXPECT_EQ(c.helper(c.in), c.out) << c.in;
    EXPECT_EQ(FileNameOfPath(static_cast<const char*>(nullptr)), "");
    EXPECT_TRUE(SameTextTrimmedNoCase(" 'Abc' ", "aBC"));
    EXPECT_FALSE(CaseInsensitiveContains("abc", ""));
    EXPECT_FALSE(CaseInsensitiveContains(static_cast<const char*>(nullptr), "a"));
    EXPECT_FALSE(CaseInsensitiveContains("a", static_cast<const char*>(nullptr)));
    EXPECT_TRUE(CaseInsensitiveContains("\xC9t\xE9", "\xC9T"));  // other bytes compare as they are
}

class PathRulesTest : public CoreTest {};

TEST_F(PathRulesTest, FullPathResolvesAgainstTheCurrentFolder) {
    const std::string longPath(300, 'a');  // too long for the system call: kept, with backslashes
    const std::pair<std::string, std::string> cases[] = {
        {"Mods", "C:\\Games\\GTA5\\Mods\\"},  // the fixture's current folder is the game folder
        {"..\\Other/", "C:\\Games\\Other\\"},
        {"C:/Users/Player", "C:\\Users\\Player\\"},
        {"  \"D:\\x\\.\\y\"  ", "D:\\x\\y\\"},
        {"", ""},
        {"  ", ""},
        {"C:/" + longPath, "C:\\" + longPath + "\\"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(FullPath(in), out) << in;
}

TEST_F(PathRulesTest, SamePathAndIsUnderFolder) {
    EXPECT_TRUE(SamePath("c:\\users\\PLAYER", "C:\\Users\\Player\\"));
    EXPECT_TRUE(SamePath("C:/Users/Player/../Player", "C:\\Users\\Player"));
    EXPECT_FALSE(SamePath("C:\\A", "C:\\AB"));
    const struct {
        const char* path;
        const char* folder;
        bool under;
    } cases[] = {
        {"C:\\A\\", "C:\\A\\", true},  // a folder is under itself
        {"c:\\a\\b\\c", "C:\\A", true},
        {"C:\\AB\\x", "C:\\A\\", false},  // a sibling with a longer name
        {"C:\\A\\", "C:\\A\\B\\", false},
        {"", "C:\\", false},
        {"C:\\A", "", false},
        {"C:\\A\\..\\B\\", "C:\\A\\", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsUnderFolder(c.path, c.folder), c.under) << c.path << " in " << c.folder;
}

TEST(NumberTexts, FormatMatchesTheCLocale) {
    EXPECT_EQ(FormatFixed3(830.0f), "830.000");
    EXPECT_EQ(FormatFixed3(0.96f), "0.960");
    EXPECT_EQ(FormatFloat(0.5f), "0.50000000");
    const double values[] = {0.0, -0.0, 0.0005, -0.0005, 0.125, 0.375, 2.5, 1e-7, 123456.789, 1e20, 3600.0, 0.96f};
    for (double v : values) {
        for (int decimals : {0, 1, 3, 6, 8}) {
            char expected[128];
            std::snprintf(expected, sizeof(expected), "%.*f", decimals, v);
            EXPECT_EQ(FormatFixed(v, decimals), expected) << v << " " << decimals;
        }
    }
    EXPECT_EQ(FormatFixed(std::numeric_limits<double>::infinity(), 3), "inf");
    EXPECT_EQ(FormatHexAddress(0), "0x0");
    EXPECT_EQ(FormatHexAddress(~0ull), "0xFFFFFFFFFFFFFFFF");
}

TEST(NumberTexts, FormatFloatTrimmedKeepsWholeNumbersWhole) {
    const struct {
        float value;
        const char* source;
        const char* out;
    } cases[] = {
        {2.5f, "3", "2.5"}, {1.0f, "0.75", "1.0"}, {1.0f, "3", "1"},           {-3.0f, "-3", "-3"},
        {1e-7f, "1.0", "0.0"}, {100.0f, "", "100"}, {0.123456f, "1.", "0.123456"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatFloatTrimmed(c.value, c.source), c.out) << c.value << " " << c.source;
}

// A text read by a number parser: the result, the value (the one it held
// before when the read fails) and the bytes used.
template <class T>
struct ReadCase {
    const char* text;
    bool ok;
    T value;
    size_t consumed;
};

template <class T, size_t N>
void ExpectReads(bool (*parse)(std::string_view, T&, size_t*), const ReadCase<T> (&cases)[N], T before) {
    for (const ReadCase<T>& c : cases) {
        T value = before;
        size_t consumed = 99;
        EXPECT_EQ(parse(c.text, value, &consumed), c.ok) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(consumed, c.consumed) << c.text;
    }
}

TEST(NumberTexts, ParseFloatPrefixReadsLikeStrtof) {
    const float inf = std::numeric_limits<float>::infinity();
    const ReadCase<float> cases[] = {
        {"1.5abc", true, 1.5f, 3},  {"  -2.25e1x", true, -22.5f, 9}, {"+.5", true, 0.5f, 3},
        {"1e+", true, 1.0f, 1},     {"1,5", true, 1.0f, 1},          {"0x1p-1", true, 0.5f, 6},
        {"0xg", true, 0.0f, 1},     {"-Infinity", true, -inf, 9},    {"1e40", true, inf, 4},
        {"0.000001e-99", true, 0.0f, 12}, {"", false, 7.0f, 0},      {"+-1", false, 7.0f, 0},
        {".", false, 7.0f, 0},      {"\xE9", false, 7.0f, 0},        {"\xA0" "1", false, 7.0f, 0},
    };
    ExpectReads(ParseFloatPrefix, cases, 7.0f);
    float value = 0.0f;
    EXPECT_TRUE(ParseFloatPrefix("nan", value));
    EXPECT_TRUE(std::isnan(value));
    EXPECT_TRUE(ParseFloatPrefix(std::string_view("12345", 2), value));  // not zero-terminated: the view ends it
    EXPECT_EQ(value, 12.0f);
    double d = 0.0;
    EXPECT_TRUE(ParseDoublePrefix("1e400", d));
    EXPECT_EQ(d, std::numeric_limits<double>::infinity());
    EXPECT_TRUE(ParseDoublePrefix("-1e-400", d));
    EXPECT_TRUE(d == 0.0 && std::signbit(d));
}

TEST(NumberTexts, ParseIntPrefixReadsLikeStrtoll) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    const ReadCase<int64_t> cases[] = {
        {"5x", true, 5, 1},   {"+7", true, 7, 2},  {" 42 ", true, 42, 3}, {"0x10", true, 0, 1}, {"-", false, 3, 0},
        {"", false, 3, 0},    {"9223372036854775808", true, kMax, 19}, {"-9223372036854775808", true, kMin, 20},
        {"99999999999999999999999", true, kMax, 23}, {"-99999999999999999999999", true, kMin, 24},
    };
    ExpectReads(ParseIntPrefix, cases, int64_t{3});
}

class FileHelpersTest : public CoreTest {};

TEST_F(FileHelpersTest, ReadsAreByteForByteUpToExactly64MiBAndSayWhyNot) {
    const std::string bytes("a\r\nb\0c\xFF\n", 8);
    PutFile(InVrn("a.txt"), bytes);
    PutFile(InVrn("empty.txt"), "");
    PutFile(InVrn("exact.bin"), "");
    PutFile(InVrn("over.bin"), "");
    std::filesystem::resize_file(Host(InVrn("exact.bin")), kMaxFileBytes);  // sparse: nothing written to the disk
    std::filesystem::resize_file(Host(InVrn("over.bin")), kMaxFileBytes + 1);
    using F = FileReadFailure;
    const struct {
        std::string name;
        size_t size;
        F failure;
    } cases[] = {{"a.txt", 8, F::None},          {"empty.txt", 0, F::None}, {"exact.bin", kMaxFileBytes, F::None},
                 {"over.bin", 0, F::TooLarge},   {"missing.txt", 0, F::NotFound},
                 {"", 0, F::NotReadable}};  // the VRN folder itself: a folder is not a file
    for (const auto& c : cases) {
        std::string content = "junk";
        F failure = F::TooLarge;
        EXPECT_EQ(ReadFileBytes(WidenAscii(InVrn(c.name)), content, &failure), c.failure == F::None) << c.name;
        EXPECT_EQ(failure, c.failure) << c.name;
        EXPECT_EQ(content.size(), c.size) << c.name << ": emptied when it fails";
        if (c.name == "exact.bin") continue;
        content = "junk";
        EXPECT_EQ(ReadTextFile(InVrn(c.name), content, &failure), c.failure == F::None) << c.name;
        EXPECT_EQ(failure, c.failure) << c.name;
        EXPECT_EQ(content, c.failure == F::None ? GetFile(InVrn(c.name)) : "junk") << c.name << ": kept when it fails";
    }
    EXPECT_STREQ(FileReadFailureText(F::TooLarge), "too large (over 64 MiB)");
    std::string content;
    EXPECT_FALSE(ReadFileBytes(L"", content));

    // The loaders say so in their status lines.
    PutFile(InVrn("Imports\\Timecycles\\w_extrasunny.xml"), "");
    PutFile(InVrn("Imports\\Weather Files\\weather.xml"), "");
    std::filesystem::resize_file(Host(InVrn("Imports\\Timecycles\\w_extrasunny.xml")), kMaxFileBytes + 1);
    std::filesystem::resize_file(Host(InVrn("Imports\\Weather Files\\weather.xml")), kMaxFileBytes + 1);
    timecycle::LoadTimecycleXml(0);
    EXPECT_EQ(timecycle::TimecycleXml.TimecycleStatusLine,
              "Load .xml failed: w_extrasunny.xml too large (over 64 MiB) in " + InVrn("Imports\\Timecycles\\"));
    std::string status;
    EXPECT_FALSE(weather::LoadWeatherDocument(weather::FindWeatherDocumentIndex("weather.xml"), status));
    EXPECT_EQ(status, "Load failed: weather.xml too large (over 64 MiB).");
    // Each says so where the file is: the root of Imports; an import with a
    // workspace copy beside it (the copy is not loaded in its place).
    std::filesystem::rename(Host(InVrn("Imports\\Timecycles\\w_extrasunny.xml")), Host(InVrn("Imports\\w_extrasunny.xml")));
    timecycle::LoadTimecycleXml(0);
    EXPECT_EQ(timecycle::TimecycleXml.TimecycleStatusLine,
              "Load .xml failed: w_extrasunny.xml too large (over 64 MiB) in " + InVrn("Imports\\"));
    PutFile(InVrn("Imports\\Weather Files\\watertune.xml"), "");
    std::filesystem::resize_file(Host(InVrn("Imports\\Weather Files\\watertune.xml")), kMaxFileBytes + 1);
    PutFile(InVrn("Misc\\watertune.xml"), "<W><FogMin x=\"1\"/></W>");
    EXPECT_FALSE(weather::LoadWeatherDocument(weather::FindWeatherDocumentIndex("watertune.xml"), status));
    EXPECT_EQ(status, "Load failed: watertune.xml too large (over 64 MiB).");
}

TEST_F(FileHelpersTest, WideningGoesThroughTheCodePage) {
    EXPECT_TRUE(WidenAscii(static_cast<const char*>(nullptr)).empty());
    EXPECT_EQ(WidenAscii("C:\\a.xml"), L"C:\\a.xml");
    // The simulated ANSI code page is UTF-8: a user folder "Café" must
    // still name its files (sign extension would give 0xFFC3 0xFFA9).
    const std::string folder = "C:\\Users\\Caf\xC3\xA9\\Documents\\";
    PutFile(folder + "w.xml", "<x/>");
    const std::wstring wide = WidenAscii(folder + "w.xml");
    EXPECT_EQ(wide.find(L'\xFFC3'), std::wstring::npos);
    EXPECT_NE(wide.find(L'\xE9'), std::wstring::npos);
    std::string content;
    EXPECT_TRUE(ReadFileBytes(wide, content));
    EXPECT_EQ(content, "<x/>");
}

TEST_F(FileHelpersTest, WriteTextFileStaysInTheWorkspaceAndNeverDestroys) {
    const std::string inside = InVrn("Exports\\t.xml");
    CreateDirectoryTree(InVrn("Exports\\"));
    EXPECT_TRUE(WriteTextFile(inside, "a\nb\n"));
    EXPECT_EQ(GetFile(inside), "a\nb\n");  // LF stays LF
    EXPECT_TRUE(WriteTextFile(inside, "x\r\n"));
    EXPECT_EQ(GetFile(inside), "x\r\n");

    // Outside the workspace: refused, the file there is untouched.
    const std::string game = std::string(kGameFolder) + "timecycle.xml";
    PutFile(game, "game");
    EXPECT_FALSE(WriteTextFile(game, "mine"));
    EXPECT_EQ(GetFile(game), "game");
    const std::string docs = std::string(kDocuments) + "other.txt";
    EXPECT_FALSE(WriteTextFile(docs, "mine"));
    EXPECT_FALSE(Exists(docs));

    platform::sim::FailWritesTo(inside, true);  // a write that fails leaves the previous file as it was
    EXPECT_FALSE(WriteTextFile(inside, "new"));
    EXPECT_EQ(GetFile(inside), "x\r\n");
    platform::sim::FailWritesTo(inside, false);

    EXPECT_FALSE(WriteTextFile(InVrn("NotThere\\t.xml"), "x")) << "the folder must exist already";
    EXPECT_FALSE(Exists(InVrn("NotThere")));
}

}  // namespace
}  // namespace coretest
