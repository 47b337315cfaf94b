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
using FilesSeamTest = testsupport::FakeDriveTest;

TEST_F(FilesSeamTest, DrivePathsMapOntoTheRootAndFullPathsFollowTheWindowsRules) {
    const std::string root = Root();
    const std::pair<const char*, std::string> hosts[] = {
        {"D:\\a\\.\\b\\..\\c", root + "/D/a/c"},
        {"C:\\..\\..\\x", root + "/C/x"},                    // ".." stops at the drive root
        {"Mods\\x.xml", root + "/C/Games/GTA5/Mods/x.xml"},  // relative: the current folder
        {"\\Top", root + "/C/Top"},                          // rooted: the current drive
        {"C:rel", root + "/C/Games/GTA5/rel"},               // same drive as the current folder
        {"\\\\server\\share\\x", ""},  // network paths are not simulated
        {"", ""},
    };
    for (const auto& [windows, host] : hosts) EXPECT_EQ(sim::HostPathOf(windows), host) << windows;
    const std::pair<std::string, std::string> full[] = {
        {"C:\\Users\\Player\\", "C:\\Users\\Player\\"},  // a trailing separator is kept
        {"c:/a/b/../c/", "C:\\a\\c\\"},
        {"..\\", "C:\\Games\\"},
        {"\\\\server\\share", ""},
        {"C:\\" + std::string(257, 'a'), ""},  // 260 bytes or more do not fit the caller's buffer
        {"C:\\" + std::string(256, 'a'), "C:\\" + std::string(256, 'a')},
    };
    for (const auto& [in, out] : full) EXPECT_EQ(platform::FullPathName(in), out) << in;
    sim::SetCurrentFolder("D:\\Work\\\\");
    EXPECT_EQ(platform::FullPathName("x"), "D:\\Work\\x");
}

TEST_F(FilesSeamTest, AttributesFoldersAndWholeFileReads) {
    EXPECT_EQ(platform::FileAttributes(kDocuments), platform::kFileAttributeDirectory);
    PutFile("C:\\ten.txt", "0123456789");
    EXPECT_EQ(platform::FileAttributesWide(L"C:\\ten.txt"), platform::kFileAttributeNormal);
    EXPECT_TRUE(platform::IsExistingFile("C:\\ten.txt"));
    EXPECT_FALSE(platform::IsExistingFile(kDocuments));
    EXPECT_EQ(platform::FileAttributes("C:\\missing"), platform::kInvalidFileAttributes);
    using R = platform::CreateFolderResult;
    EXPECT_EQ(platform::CreateFolder("C:\\New"), R::Created);
    EXPECT_EQ(platform::CreateFolder("C:\\New\\"), R::AlreadyExists);
    EXPECT_EQ(platform::CreateFolder("C:\\ten.txt"), R::AlreadyExists);
    EXPECT_EQ(platform::CreateFolder("C:\\No\\Parent"), R::Failed);
    EXPECT_EQ(platform::CreateFolder(""), R::Failed);

    std::string content = "junk";
    EXPECT_EQ(platform::ReadWholeFile("C:\\missing.txt", 100, content), platform::ReadStatus::CannotOpen);
    EXPECT_TRUE(content.empty());
    EXPECT_EQ(platform::ReadWholeFile(kDocuments, 100, content), platform::ReadStatus::CannotOpen);
    EXPECT_EQ(platform::ReadWholeFile("C:\\ten.txt", 9, content), platform::ReadStatus::TooLarge);
    EXPECT_TRUE(content.empty());
    EXPECT_EQ(platform::ReadWholeFileWide(L"C:\\ten.txt", 10, content), platform::ReadStatus::Ok);
    EXPECT_EQ(content, "0123456789");
}

TEST_F(FilesSeamTest, WriteWholeFileReplacesOrLeavesTheOldFile) {
    const std::string path = "C:\\Users\\Player\\Documents\\w.txt";
    auto entries = [&] { return std::distance(fs::directory_iterator(Host(kDocuments)), fs::directory_iterator()); };
    const auto before = entries();
    EXPECT_TRUE(platform::WriteWholeFile(path, "first\r\n"));
    EXPECT_TRUE(platform::WriteWholeFile(path, ""));
    EXPECT_EQ(GetFile(path), "");
    EXPECT_TRUE(platform::WriteWholeFile(path, "kept"));
    sim::FailWritesTo(path, true);
    EXPECT_FALSE(platform::WriteWholeFile(path, "lost"));
    EXPECT_EQ(GetFile(path), "kept");
    sim::FailWritesTo(path, false);

    fs::create_directories(Host("C:\\Users\\Player\\Documents\\Dir"));  // a folder in the target's place stays
    EXPECT_FALSE(platform::WriteWholeFile("C:\\Users\\Player\\Documents\\Dir", "x"));
    EXPECT_TRUE(platform::IsExistingFolder("C:\\Users\\Player\\Documents\\Dir"));
    for (const char* bad : {"C:\\Nowhere\\w.txt", kDocuments, ""}) EXPECT_FALSE(platform::WriteWholeFile(bad, "x"));
    EXPECT_EQ(entries(), before + 2) << "only w.txt and Dir are new: no temporary file stays behind";
}

TEST_F(FilesSeamTest, SimulatedSystemValues) {
    EXPECT_EQ(platform::EnvironmentVariable(nullptr), "");
    sim::SetEnvironmentVariable("LONG", std::string(259, 'x'));
    EXPECT_EQ(platform::EnvironmentVariable("LONG").size(), 259u) << "260 bytes or more count as missing";
    // The simulated ANSI code page is UTF-8; bytes that don't convert become '?'.
    EXPECT_EQ(platform::WidenAnsi("Caf\xC3\xA9"), L"Caf\xE9");
    EXPECT_EQ(platform::NarrowAnsi(L"Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(platform::WidenAnsi("a\xE9z"), L"a?z");
    EXPECT_EQ(platform::WidenAnsi("\xC3"), L"?");
}

}  // namespace
}  // namespace shelltest
