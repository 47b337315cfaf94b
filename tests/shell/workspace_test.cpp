#include "shell/workspace.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "platform/simulated.h"
#include "shell/file_utils.h"
#include "shell_fixture.h"

namespace shelltest {
namespace {

using namespace shell;
namespace sim = platform::sim;

using WorkspaceTest = ShellTest;

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
        ImportFolderChanged = false;
        RestoreDefaultFolder(c.kind);
        EXPECT_EQ(SettingsStatusLine, c.status);
        EXPECT_EQ(ImportFolderChanged, c.importChanged) << c.status;
    }
    EXPECT_NE(GetFile("D:\\Work\\VRN\\VRN.ini")
                  .find("ImportDirectory=D:\\Work\\VRN\\Imports\\\r\nExportDirectory=D:\\Work\\VRN\\Exports\\\r\n"),
              std::string::npos);
    EXPECT_EQ(VrnFolder(), kVrn);
    EXPECT_STREQ(WorkspacePaths.ImportFolderText, InVrn("Imports\\").c_str());
    EXPECT_NE(GetFile(InVrn("VRN.ini")).find("WorkspaceDirectory=" + InVrn("\r\n")), std::string::npos);

    SettingsStatusLine = "unchanged";
    RestoreDefaultFolder(0);
    RestoreDefaultFolder(4);
    EXPECT_EQ(SettingsStatusLine, "unchanged");
    platform::sim::FailWritesTo(InVrn("VRN.ini"), true);  // a failed save is not hidden behind "restored"
    RestoreDefaultFolder(kFolderKindExport);
    EXPECT_EQ(SettingsStatusLine, "VRN.ini save failed: " + InVrn("VRN.ini"));
}

}  // namespace
}  // namespace shelltest
