// The file seam on the real Windows API (run under Wine): folders, whole-file
// reads and replacing writes, the 260-byte path limits, module paths,
// environment, known folders and the ANSI code page conversions.
#if defined(_WIN32)
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/file_stamp.h"
#include "platform/files.h"

namespace {

using namespace platform;
namespace fs = std::filesystem;

// A fresh folder under %TEMP% per test, removed afterwards.
class WinFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string temp = EnvironmentVariable("TEMP");
        ASSERT_FALSE(temp.empty());
        static std::atomic<unsigned> counter{0};
        dir_ = temp + "\\varnel-wintest-" + std::to_string(std::random_device{}()) + "-" +
               std::to_string(counter++) + "\\";
        ASSERT_EQ(CreateFolder(dir_), CreateFolderResult::Created) << dir_;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(fs::path(WidenAnsi(dir_)), ec);
    }
    std::vector<std::wstring> Entries() const {
        std::vector<std::wstring> names;
        for (const auto& e : fs::directory_iterator(fs::path(WidenAnsi(dir_))))
            names.push_back(e.path().filename().wstring());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Read(const std::string& file, uint64_t limit = 1024, ReadStatus want = ReadStatus::Ok) const {
        std::string content = "junk";
        EXPECT_EQ(ReadWholeFile(file, limit, content), want) << file;
        return content;
    }

    std::string dir_;
};

TEST_F(WinFilesTest, FoldersAndAttributes) {
    const std::string sub = dir_ + "a", file = dir_ + "f.txt";
    EXPECT_EQ(CreateFolder(sub), CreateFolderResult::Created);
    EXPECT_EQ(CreateFolder(sub + "\\"), CreateFolderResult::AlreadyExists);
    EXPECT_EQ(CreateFolder(dir_ + "missing\\b"), CreateFolderResult::Failed);  // the parent must exist
    EXPECT_EQ(CreateFolder(""), CreateFolderResult::Failed);
    EXPECT_TRUE(IsExistingFolder(sub) && !IsExistingFile(sub));
    EXPECT_EQ(FileAttributes(file), kInvalidFileAttributes);
    ASSERT_TRUE(WriteWholeFile(file, "x"));
    EXPECT_TRUE(IsExistingFile(file) && !IsExistingFolder(file));
    EXPECT_EQ(FileAttributesWide(WidenAnsi(file)), FileAttributes(file));
    EXPECT_EQ(CreateFolder(file), CreateFolderResult::AlreadyExists);  // a file of that name is there
}

TEST_F(WinFilesTest, FileStampsTellFilesAndTheirChanges) {
    EXPECT_EQ(QueryFileStamp(dir_ + "none.dat"), FileStamp{});
    EXPECT_FALSE(QueryFileStamp(dir_).exists);  // a folder is no file
    ASSERT_TRUE(WriteWholeFile(dir_ + "a.dat", "12345"));
    const FileStamp first = QueryFileStamp(dir_ + "a.dat");
    EXPECT_TRUE(first.exists);
    EXPECT_EQ(first.size, 5u);
    EXPECT_NE(first.writeTime, 0u);
    ASSERT_TRUE(WriteWholeFile(dir_ + "a.dat", "123456"));
    EXPECT_NE(QueryFileStamp(dir_ + "a.dat"), first);
}

TEST_F(WinFilesTest, WritesReplaceTheWholeFileOrKeepThePreviousOne) {
    const std::string file = dir_ + "VRN.ini";
    const std::string binary("\0\xFF\r\n\x1A\x80 end", 9), ini("[UI]\r\nUIScale=1.25\r\n");
    for (const std::string& content : {ini, std::string("x"), binary, std::string()}) {
        ASSERT_TRUE(WriteWholeFile(file, content));
        EXPECT_EQ(Read(file), content);  // byte for byte, line ends included
    }
    std::string wide;
    EXPECT_EQ(ReadWholeFileWide(WidenAnsi(file), 1024, wide), ReadStatus::Ok);

    // A folder in the way, a missing folder, a path naming a folder.
    ASSERT_EQ(CreateFolder(dir_ + "taken"), CreateFolderResult::Created);
    for (const std::string& target : {dir_ + "taken", dir_ + "missing\\f.txt", dir_, std::string()})
        EXPECT_FALSE(WriteWholeFile(target, "x")) << target;
    EXPECT_TRUE(IsExistingFolder(dir_ + "taken"));
    // A target that another program holds open (without delete sharing, as
    // the C library opens files) is not replaced; the temporary file goes away.
    ASSERT_TRUE(WriteWholeFile(file, "previous"));
    {
        std::ifstream holder(fs::path(WidenAnsi(file)), std::ios::binary);
        ASSERT_TRUE(holder.is_open());
        EXPECT_FALSE(WriteWholeFile(file, "new"));
    }
    EXPECT_EQ(Read(file), "previous");
    EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"VRN.ini", L"taken"}));
}

TEST_F(WinFilesTest, ReadsRefuseMissingFilesFoldersAndFilesAboveTheLimit) {
    const std::string file = dir_ + "eleven.bin";
    ASSERT_TRUE(WriteWholeFile(file, "0123456789A"));
    EXPECT_EQ(Read(file, 10, ReadStatus::TooLarge), "");
    EXPECT_EQ(Read(file, 11), "0123456789A");  // exactly the limit is accepted
    for (const std::string& missing : {dir_ + "none.bin", dir_})
        EXPECT_EQ(Read(missing, 100, ReadStatus::CannotOpen), "");
    std::string content;
    EXPECT_EQ(ReadWholeFileWide(L"", 100, content), ReadStatus::CannotOpen);
    ASSERT_TRUE(WriteWholeFile(dir_ + "empty.bin", ""));
    EXPECT_EQ(Read(dir_ + "empty.bin", 0), "");
}

// Answers of 260 bytes or more count as none.
TEST(WinPaths, PathsAndVariablesUpTo259Bytes) {
    EXPECT_EQ(FullPathName("C:\\a\\b\\"), "C:\\a\\b\\");
    EXPECT_TRUE(FullPathName("").empty() && FullPathName("C:\\" + std::string(257, 'x')).empty());
    EXPECT_EQ(FullPathName("C:\\" + std::string(256, 'x')).size(), 259u);
    const std::string exe = ExecutablePath();
    EXPECT_EQ(exe.substr(exe.find_last_of('\\') + 1), "varnel_tests.exe");
    EXPECT_EQ(OwnModulePath(), exe);  // the seam is linked into the program

    for (const char* name : {"VARNEL_SURELY_NOT_SET", static_cast<const char*>(nullptr), ""})
        EXPECT_EQ(EnvironmentVariable(name), "");
    const std::string longest(259, 'v');
    ASSERT_EQ(_putenv(("VARNEL_WINTEST_VALUE=" + longest).c_str()), 0);
    EXPECT_EQ(EnvironmentVariable("VARNEL_WINTEST_VALUE"), longest);
    ASSERT_EQ(_putenv(("VARNEL_WINTEST_VALUE=" + longest + "v").c_str()), 0);
    EXPECT_EQ(EnvironmentVariable("VARNEL_WINTEST_VALUE"), "");
    ASSERT_EQ(_putenv("VARNEL_WINTEST_VALUE="), 0);
}

// Our spelled-out folder identifiers name the folders the shell names.
TEST(WinKnownFolders, AgreeWithTheShellFoldersAndTheEnvironment) {
    const std::string documents = KnownFolderPath(KnownFolder::Documents);
    EXPECT_TRUE(!documents.empty() && IsExistingFolder(documents)) << documents;
    EXPECT_EQ(ShellFolderPath(5), documents);  // CSIDL_PERSONAL
    EXPECT_EQ(KnownFolderPath(KnownFolder::Profile), EnvironmentVariable("USERPROFILE"));
    const std::string shared = KnownFolderPath(KnownFolder::PublicDocuments);
    EXPECT_TRUE(!shared.empty() && ShellFolderPath(46) == shared);  // CSIDL_COMMON_DOCUMENTS
    EXPECT_EQ(ShellFolderPath(-1), "");
}

TEST(WinAnsi, WidenAndNarrowThroughTheCodePage) {
    EXPECT_EQ(WidenAnsi("C:\\Users\\Player\\"), L"C:\\Users\\Player\\");
    EXPECT_EQ(NarrowAnsi(L"C:\\Games\\"), "C:\\Games\\");
    EXPECT_EQ(WidenAnsi(""), L"");
    EXPECT_EQ(NarrowAnsi(L""), "");
    EXPECT_EQ(WidenAnsi(std::string_view("a\0b", 3)).size(), 3u);  // (bytes above 0x7F: the folder test)
}

TEST_F(WinFilesTest, FoldersWithNamesOutsideAscii) {
    const std::string folder = dir_ + "R\xE9sum\xE9";
    if (NarrowAnsi(WidenAnsi(folder)) != folder) GTEST_SKIP() << "the ANSI code page has no \\xE9";
    ASSERT_EQ(CreateFolder(folder), CreateFolderResult::Created);
    const std::string file = folder + "\\VRN.ini";
    ASSERT_TRUE(WriteWholeFile(file, "data"));
    EXPECT_EQ(Read(file), "data");
    std::string back;
    EXPECT_EQ(ReadWholeFileWide(WidenAnsi(file), 100, back), ReadStatus::Ok);
    EXPECT_EQ(back, "data");
    EXPECT_TRUE(IsExistingFile(file));
    // The name on disk is the code page's character, not a sign-extended unit.
    const std::wstring name = Entries().at(0);
    EXPECT_EQ(name.size(), 6u);
    EXPECT_NE(static_cast<unsigned>(name[1]), 0xFFE9u);
}

}  // namespace
#endif  // _WIN32
