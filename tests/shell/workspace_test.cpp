#include "shell/workspace.h"

#include <gtest/gtest.h>

#include <optional>

#include "platform/simulated.h"
#include "shell/file_utils.h"
#include "shell_fixture.h"

namespace shelltest {
namespace {

using namespace shell;

class WorkspaceTest : public ShellTest {
protected:
    // No Documents folder can be found at all.
    static void RemoveAllDocumentsFolders() {
        platform::sim::SetKnownFolder(platform::KnownFolder::Documents, std::nullopt);
        platform::sim::SetEnvironmentVariable("USERPROFILE", std::nullopt);
    }
};

TEST_F(WorkspaceTest, VrnFolderFromChoice) {
    const std::string fallback = kVrn;
    const struct {
        const char* chosen;
        const char* out;
    } cases[] = {
        {"D:\\Games", "D:\\Games\\VRN\\"},
        {"D:\\Games\\", "D:\\Games\\VRN\\"},
        {"D:\\Games\\VRN", "D:\\Games\\VRN\\"},
        {"D:\\Games\\vrn\\", "D:\\Games\\vrn\\"},
        {"D:/Games/VRN/", "D:/Games/VRN/"},
        {"\"D:\\Mods\"", "D:\\Mods\\VRN\\"},
        {"  'D:\\Mods\\VRN'  ", "D:\\Mods\\VRN\\"},
        {"D:\\VRNX", "D:\\VRNX\\VRN\\"},
        {"", kVrn},
        {"   ", kVrn},
        {"\"\"", kVrn},
    };
    for (const auto& c : cases) EXPECT_EQ(VrnFolderFromChoice(c.chosen, fallback), c.out) << c.chosen;
    EXPECT_EQ(VrnFolderFromChoice("", ""), "");

    EXPECT_EQ(NormaliseChosenFolder("D:\\Imp", "F\\"), "D:\\Imp\\");
    EXPECT_EQ(NormaliseChosenFolder(" 'D:\\Imp/' ", "F\\"), "D:\\Imp/");
    EXPECT_EQ(NormaliseChosenFolder("Relative", "F\\"), "Relative\\");  // not made absolute
    EXPECT_EQ(NormaliseChosenFolder("", "F"), "F\\");
    EXPECT_EQ(NormaliseChosenFolder("", ""), "");
}

TEST_F(WorkspaceTest, FindDocumentsFoldersFallsBackInOrder) {
    using platform::KnownFolder;
    namespace sim = platform::sim;
    RemoveAllDocumentsFolders();
    EXPECT_EQ(FindDocumentsFolders(), "");
    EXPECT_EQ(DefaultVrnFolder(), "");

    // Set from the last fallback to the first; each new one takes over.
    sim::SetEnvironmentVariable("PUBLIC", std::string("C:\\Users\\Public"));
    EXPECT_EQ(FindDocumentsFolders(), "C:\\Users\\Public\\Documents\\");
    sim::SetShellFolder(46, std::string("C:\\Common Docs"));
    EXPECT_EQ(FindDocumentsFolders(), "C:\\Common Docs\\");
    sim::SetKnownFolder(KnownFolder::PublicDocuments, std::string("C:\\PublicDocs"));
    EXPECT_EQ(FindDocumentsFolders(), "C:\\PublicDocs\\");
    sim::SetKnownFolder(KnownFolder::Profile, std::string("C:\\Users\\Prof"));
    EXPECT_EQ(FindDocumentsFolders(), "C:\\Users\\Prof\\Documents\\");
    sim::SetEnvironmentVariable("USERPROFILE", std::string("C:\\Users\\Env\\"));
    EXPECT_EQ(FindDocumentsFolders(), "C:\\Users\\Env\\Documents\\");
    sim::SetEnvironmentVariable("USERPROFILE", std::string(300, 'x'));  // 260 bytes or more counts as missing
    EXPECT_EQ(FindDocumentsFolders(), "C:\\Users\\Prof\\Documents\\");
    sim::SetShellFolder(5, std::string("C:\\Personal"));
    EXPECT_EQ(FindDocumentsFolders(), "C:\\Personal\\");
    sim::SetKnownFolder(KnownFolder::Documents, std::string("D:\\My Docs"));
    EXPECT_EQ(FindDocumentsFolders(), "D:\\My Docs\\");
    EXPECT_EQ(DefaultVrnFolder(), "D:\\My Docs\\VRN\\");
}

TEST_F(WorkspaceTest, GettersAndTheFoldersTheyCreate) {
    EXPECT_EQ(DefaultVrnFolder(), kVrn);
    EXPECT_FALSE(Exists(kVrn));
    EXPECT_EQ(VrnFolder(), kVrn);
    EXPECT_EQ(DefaultImportsFolder(), InVrn("Imports\\"));
    EXPECT_EQ(DefaultExportsFolder(), InVrn("Exports\\"));
    EXPECT_EQ(VrnMiscFolder(), InVrn("Misc\\"));
    EXPECT_FALSE(Exists(kVrn));  // none of these creates anything

    EXPECT_EQ(DefaultIniPath(), InVrn("VRN.ini"));
    EXPECT_TRUE(Exists(kVrn));
    EXPECT_FALSE(Exists(InVrn("Imports")));

    EXPECT_EQ(ExportsTimecycleModsFolder(), InVrn("Exports\\Timecycle Mods\\"));
    EXPECT_TRUE(Exists(InVrn("Exports\\Timecycle Mods")));
    EXPECT_FALSE(Exists(InVrn("Exports\\Timecycles")));
    EXPECT_EQ(ExportsTimecyclesFolder(), InVrn("Exports\\Timecycles\\"));
    EXPECT_EQ(ExportsWeatherFilesFolder(), InVrn("Exports\\Weather Files\\"));
    EXPECT_EQ(ExportsMiscFolder(), InVrn("Exports\\Misc\\"));

    EXPECT_EQ(ImportsWeatherFilesFolder(), InVrn("Imports\\Weather Files\\"));
    for (const char* sub : {"Timecycles", "Timecycle Mods", "Weather Files", "Misc"}) {
        EXPECT_TRUE(Exists(InVrn("Imports\\") + sub)) << sub;  // the import folder brings all four
    }
    EXPECT_EQ(ImportsTimecyclesFolder(), InVrn("Imports\\Timecycles\\"));
    EXPECT_EQ(ImportsTimecycleModsFolder(), InVrn("Imports\\Timecycle Mods\\"));
    EXPECT_EQ(ImportsMiscFolder(), InVrn("Imports\\Misc\\"));
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

TEST_F(WorkspaceTest, EnsureWorkspaceFoldersBuildsTheWholeTree) {
    EXPECT_TRUE(EnsureWorkspaceFolders());
    for (const char* root : {"Imports\\", "Exports\\"}) {
        for (const char* sub : {"Timecycles", "Timecycle Mods", "Weather Files", "Misc"}) {
            EXPECT_TRUE(Exists(InVrn(root) + sub)) << root << sub;
        }
    }
    EXPECT_EQ(IniPath(), InVrn("VRN.ini"));

    RemoveAllDocumentsFolders();
    ClearWorkspacePaths();
    EXPECT_FALSE(EnsureWorkspaceFolders());
    EXPECT_EQ(IniPath(), "");
    EXPECT_EQ(ImportsTimecyclesFolder(), "");
    EXPECT_EQ(ExportsMiscFolder(), "");
    EXPECT_FALSE(IsPathInWorkspace(InVrn("VRN.ini")));
}

TEST_F(WorkspaceTest, CreateDirectoryTree) {
    EXPECT_FALSE(CreateDirectoryTree(""));
    EXPECT_TRUE(CreateDirectoryTree("C:\\"));  // a drive root exists already
    EXPECT_TRUE(CreateDirectoryTree("C:\\One\\Two\\Three\\"));
    EXPECT_TRUE(Exists("C:\\One\\Two\\Three"));
    EXPECT_TRUE(CreateDirectoryTree("C:\\One\\Two\\Three"));  // exists
    EXPECT_TRUE(CreateDirectoryTree("C:/Slash/Sep//"));
    EXPECT_TRUE(Exists("C:\\Slash\\Sep"));
    // A file in the way.
    PutFile("C:\\Blocked", "x");
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
    EXPECT_TRUE(Exists("D:\\Games\\VRN\\Imports\\Timecycles"));
    EXPECT_TRUE(Exists("D:\\Games\\VRN\\Exports\\Misc"));
    EXPECT_EQ(VrnFolder(), "D:\\Games\\VRN\\");

    SetVrnFolder("D:\\Else\\vrn");
    EXPECT_STREQ(WorkspacePaths.VrnFolderText, "D:\\Else\\vrn\\");
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Games\\VRN\\Imports\\");  // only the VRN folder moved
    ResetImportExportFolders(WorkspacePaths.VrnFolderText);
    EXPECT_STREQ(WorkspacePaths.ExportFolderText, "D:\\Else\\vrn\\Exports\\");

    // Texts are cut to 259 bytes.
    CopyFolderText(WorkspacePaths.ImportFolderText, std::string(400, 'a'));
    EXPECT_EQ(std::string(WorkspacePaths.ImportFolderText).size(), kFolderTextSize - 1);
}

TEST_F(WorkspaceTest, IsPathInWorkspace) {
    CopyFolderText(WorkspacePaths.VrnFolderText, "D:\\Work\\VRN\\");
    CopyFolderText(WorkspacePaths.ImportFolderText, "E:\\Imp\\");
    const struct {
        const char* path;
        bool inside;
    } cases[] = {
        {"D:\\Work\\VRN\\VRN.ini", true},
        {"d:/work/vrn/Exports/Timecycles/w.xml", true},
        {"C:\\Users\\Player\\Documents\\VRN\\VRN.ini", true},  // the default VRN folder always
        {"C:\\Users\\Player\\Documents\\VRN\\Deep\\x.xml", true},
        {"E:\\Imp\\Timecycles\\w.xml", true},
        {"D:\\Work\\VRN\\Exports\\x.xml", true},              // export folder under the current VRN folder
        {"D:\\Work\\VRNX\\x.xml", false},                      // sibling that shares the prefix
        {"E:\\Imp2\\w.xml", false},
        {"D:\\Work\\x.xml", false},
        {"D:\\Work\\VRN\\..\\x.xml", false},
        {"C:\\Users\\Player\\Documents\\x.xml", false},
        {"C:\\Games\\GTA5\\x.xml", false},
        {"VRN.ini", false},                                    // no folder part
        {"VRN\\VRN.ini", false},                               // relative: the game folder
        {"", false},
        {" D:\\Work\\VRN\\VRN.ini", false},                    // would not be written where checked
        {"\"D:\\Work\\VRN\\VRN.ini\"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPathInWorkspace(c.path), c.inside) << c.path;
}

TEST_F(WorkspaceTest, IsPathInWorkspaceRefusesTheProgramFolders) {
    // A VRN folder inside the game's folder is still refused.
    CopyFolderText(WorkspacePaths.VrnFolderText, "C:\\Games\\GTA5\\VRN\\");
    EXPECT_FALSE(IsPathInWorkspace("C:\\Games\\GTA5\\VRN\\VRN.ini"));
    EXPECT_FALSE(IsPathInWorkspace("c:\\games\\gta5\\vrn\\Exports\\w.xml"));
    // The editor's own module folder as well, when it lies elsewhere.
    platform::sim::SetOwnModulePath("D:\\Mods\\Varnel.asi");
    CopyFolderText(WorkspacePaths.VrnFolderText, "D:\\Mods\\VRN\\");
    EXPECT_FALSE(IsPathInWorkspace("D:\\Mods\\VRN\\VRN.ini"));
    EXPECT_TRUE(IsInsideProgramFolders("D:\\Mods\\"));
    EXPECT_FALSE(IsInsideProgramFolders("D:\\Mods2\\"));
    // The default VRN folder stays fine.
    EXPECT_TRUE(IsPathInWorkspace(InVrn("VRN.ini")));

    EXPECT_EQ(GetGameFolder(), kGameFolder);
    EXPECT_EQ(GetOwnModuleFolder(), "D:\\Mods\\");
    platform::sim::SetOwnModulePath("");
    EXPECT_EQ(GetOwnModuleFolder(), kGameFolder);
    platform::sim::SetExecutablePath("GTA5.exe");
    EXPECT_EQ(GetGameFolder(), ".\\");
    platform::sim::SetExecutablePath("C:\\" + std::string(300, 'g') + "\\GTA5.exe");
    EXPECT_EQ(GetGameFolder(), ".\\");
}

TEST_F(WorkspaceTest, RestoreDefaultFolder) {
    AdoptVrnFolder("D:\\Work");
    CopyFolderText(WorkspacePaths.ImportFolderText, "E:\\Imp\\");
    CopyFolderText(WorkspacePaths.ExportFolderText, "E:\\Exp\\");
    ImportFolderChanged = false;

    RestoreDefaultFolder(kFolderKindImport);
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, "D:\\Work\\VRN\\Imports\\");
    EXPECT_TRUE(ImportFolderChanged);
    EXPECT_EQ(SettingsStatusLine, "Default import folder restored.");
    EXPECT_NE(GetFile("D:\\Work\\VRN\\VRN.ini").find("ImportDirectory=D:\\Work\\VRN\\Imports\\\r\n"), std::string::npos);

    ImportFolderChanged = false;
    RestoreDefaultFolder(kFolderKindExport);
    EXPECT_STREQ(WorkspacePaths.ExportFolderText, "D:\\Work\\VRN\\Exports\\");
    EXPECT_FALSE(ImportFolderChanged);
    EXPECT_EQ(SettingsStatusLine, "Default export folder restored.");

    RestoreDefaultFolder(kFolderKindVrn);
    EXPECT_EQ(VrnFolder(), kVrn);
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, InVrn("Imports\\").c_str());
    EXPECT_TRUE(ImportFolderChanged);
    EXPECT_EQ(SettingsStatusLine, "Default VRN folder restored.");
    EXPECT_NE(GetFile(InVrn("VRN.ini")).find("WorkspaceDirectory=" + InVrn("\r\n")), std::string::npos);

    SettingsStatusLine = "unchanged";
    RestoreDefaultFolder(0);
    RestoreDefaultFolder(4);
    EXPECT_EQ(SettingsStatusLine, "unchanged");

    // A failed save is not hidden behind "restored".
    platform::sim::FailWritesTo(InVrn("VRN.ini"), true);
    RestoreDefaultFolder(kFolderKindExport);
    EXPECT_EQ(SettingsStatusLine, "VRN.ini save failed: " + InVrn("VRN.ini"));
}

}  // namespace
}  // namespace shelltest
