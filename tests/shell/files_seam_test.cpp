// The Linux stand-in for the Windows file system: Windows paths on a fake
// drive. The workspace and settings rules are tested on top of it, so it
// must follow the Windows rules it claims.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "platform/files.h"
#include "platform/simulated.h"
#include "support/fake_drive.h"

namespace shelltest {
namespace {

namespace fs = std::filesystem;
namespace sim = platform::sim;

class FilesSeamTest : public testsupport::FakeDriveTest {
protected:
    // Entries of a host folder (to see that no temporary file stays behind).
    static size_t EntriesIn(const std::string& hostFolder) {
        size_t n = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(hostFolder)) ++n;
        return n;
    }
};

TEST_F(FilesSeamTest, DrivePathsMapOntoTheRoot) {
    const std::string root = Root();
    const struct {
        const char* windows;
        std::string host;
    } cases[] = {
        {"C:\\Users\\Player", root + "/C/Users/Player"},
        {"c:/Users//Player/", root + "/C/Users/Player"},
        {"D:\\a\\.\\b\\..\\c", root + "/D/a/c"},
        {"C:\\..\\..\\x", root + "/C/x"},                  // ".." stops at the drive root
        {"Mods\\x.xml", root + "/C/Games/GTA5/Mods/x.xml"},  // relative: the current folder
        {"\\Top", root + "/C/Top"},                        // rooted: the current drive
        {"C:rel", root + "/C/Games/GTA5/rel"},             // same drive as the current folder
        {"D:rel", root + "/D/rel"},
        {"\\\\server\\share\\x", ""},                      // network paths are not simulated
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(sim::HostPathOf(c.windows), c.host) << c.windows;
}

TEST_F(FilesSeamTest, FullPathNameRules) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"C:\\Users\\Player", "C:\\Users\\Player"},
        {"C:\\Users\\Player\\", "C:\\Users\\Player\\"},  // a trailing separator is kept
        {"c:/a/b/../c/", "C:\\a\\c\\"},
        {"Mods", "C:\\Games\\GTA5\\Mods"},
        {"..\\", "C:\\Games\\"},
        {"C:\\", "C:\\"},
        {"\\\\server\\share", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::FullPathName(c.in), c.out) << c.in;
    // 260 bytes or more do not fit the caller's buffer.
    EXPECT_EQ(platform::FullPathName("C:\\" + std::string(257, 'a')), "");
    EXPECT_EQ(platform::FullPathName("C:\\" + std::string(256, 'a')), "C:\\" + std::string(256, 'a'));
    sim::SetCurrentFolder("D:\\Work\\\\");
    EXPECT_EQ(platform::FullPathName("x"), "D:\\Work\\x");
}

TEST_F(FilesSeamTest, AttributesAndFolders) {
    EXPECT_EQ(platform::FileAttributes(kDocuments), platform::kFileAttributeDirectory);
    EXPECT_TRUE(platform::IsExistingFolder(kDocuments));
    EXPECT_FALSE(platform::IsExistingFile(kDocuments));
    PutFile("C:\\f.txt", "x");
    EXPECT_EQ(platform::FileAttributes("C:\\f.txt"), platform::kFileAttributeNormal);
    EXPECT_EQ(platform::FileAttributesWide(L"C:\\f.txt"), platform::kFileAttributeNormal);
    EXPECT_TRUE(platform::IsExistingFile("C:\\f.txt"));
    EXPECT_EQ(platform::FileAttributes("C:\\missing"), platform::kInvalidFileAttributes);

    EXPECT_EQ(platform::CreateFolder("C:\\New"), platform::CreateFolderResult::Created);
    EXPECT_EQ(platform::CreateFolder("C:\\New\\"), platform::CreateFolderResult::AlreadyExists);
    EXPECT_EQ(platform::CreateFolder("C:\\f.txt"), platform::CreateFolderResult::AlreadyExists);
    EXPECT_EQ(platform::CreateFolder("C:\\No\\Parent"), platform::CreateFolderResult::Failed);
    EXPECT_EQ(platform::CreateFolder(""), platform::CreateFolderResult::Failed);
}

TEST_F(FilesSeamTest, WholeFileReads) {
    std::string content = "junk";
    EXPECT_EQ(platform::ReadWholeFile("C:\\missing.txt", 100, content), platform::ReadStatus::CannotOpen);
    EXPECT_TRUE(content.empty());
    EXPECT_EQ(platform::ReadWholeFile(kDocuments, 100, content), platform::ReadStatus::CannotOpen);
    PutFile("C:\\ten.txt", "0123456789");
    EXPECT_EQ(platform::ReadWholeFile("C:\\ten.txt", 10, content), platform::ReadStatus::Ok);
    EXPECT_EQ(content, "0123456789");
    EXPECT_EQ(platform::ReadWholeFile("C:\\ten.txt", 9, content), platform::ReadStatus::TooLarge);
    EXPECT_TRUE(content.empty());
    EXPECT_EQ(platform::ReadWholeFileWide(L"C:\\ten.txt", 10, content), platform::ReadStatus::Ok);
    EXPECT_EQ(content, "0123456789");
}

TEST_F(FilesSeamTest, WriteWholeFileReplacesOrLeavesTheOldFile) {
    const std::string path = "C:\\Users\\Player\\Documents\\w.txt";
    const std::string hostFolder = Host(kDocuments);
    const size_t entries = EntriesIn(hostFolder);
    EXPECT_TRUE(platform::WriteWholeFile(path, "first\r\n"));
    EXPECT_TRUE(platform::WriteWholeFile(path, "second\n"));
    EXPECT_EQ(GetFile(path), "second\n");
    EXPECT_TRUE(platform::WriteWholeFile(path, ""));
    EXPECT_EQ(GetFile(path), "");
    EXPECT_TRUE(platform::WriteWholeFile(path, "kept"));

    sim::FailWritesTo(path, true);
    EXPECT_FALSE(platform::WriteWholeFile(path, "lost"));
    EXPECT_EQ(GetFile(path), "kept");
    sim::FailWritesTo(path, false);

    // A folder in the target's place stays a folder.
    fs::create_directories(Host("C:\\Users\\Player\\Documents\\Dir"));
    EXPECT_FALSE(platform::WriteWholeFile("C:\\Users\\Player\\Documents\\Dir", "x"));
    EXPECT_TRUE(platform::IsExistingFolder("C:\\Users\\Player\\Documents\\Dir"));
    // No folder, no file; a folder path is no file name.
    EXPECT_FALSE(platform::WriteWholeFile("C:\\Nowhere\\w.txt", "x"));
    EXPECT_FALSE(platform::WriteWholeFile(kDocuments, "x"));
    EXPECT_FALSE(platform::WriteWholeFile("", "x"));
    // Only w.txt and Dir are new: no temporary file stays behind.
    EXPECT_EQ(EntriesIn(hostFolder), entries + 2);
}

TEST_F(FilesSeamTest, SimulatedSystemValues) {
    EXPECT_EQ(platform::EnvironmentVariable("USERPROFILE"), "C:\\Users\\Player");
    EXPECT_EQ(platform::EnvironmentVariable(nullptr), "");
    sim::SetEnvironmentVariable("LONG", std::string(260, 'x'));
    EXPECT_EQ(platform::EnvironmentVariable("LONG"), "");
    sim::SetEnvironmentVariable("LONG", std::string(259, 'x'));
    EXPECT_EQ(platform::EnvironmentVariable("LONG").size(), 259u);
    sim::SetEnvironmentVariable("LONG", std::nullopt);
    EXPECT_EQ(platform::EnvironmentVariable("LONG"), "");

    EXPECT_EQ(platform::KnownFolderPath(platform::KnownFolder::Documents), kDocuments);
    EXPECT_EQ(platform::KnownFolderPath(platform::KnownFolder::PublicDocuments), "");
    EXPECT_EQ(platform::ExecutablePath(), std::string(kGameFolder) + "GTA5_Enhanced.exe");
    EXPECT_EQ(platform::OwnModulePath(), std::string(kGameFolder) + "Varnel.asi");

    // The simulated ANSI code page is UTF-8; bytes that don't convert become '?'.
    EXPECT_EQ(platform::WidenAnsi("Caf\xC3\xA9"), L"Caf\xE9");
    EXPECT_EQ(platform::NarrowAnsi(L"Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(platform::WidenAnsi("a\xE9z"), L"a?z");
    EXPECT_EQ(platform::WidenAnsi("\xC3"), L"?");
}

}  // namespace
}  // namespace shelltest
