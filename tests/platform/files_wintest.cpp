// The file seam on the real Windows API (run under Wine): folders and
// attributes, whole-file reads and replacing writes, full paths, module
// paths, environment, known folders and the ANSI code page conversions.
#if defined(_WIN32)
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/clock.h"
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
        std::random_device random;
        dir_ = temp + "\\varnel-wintest-" + std::to_string(random()) + "-" + std::to_string(counter++) + "\\";
        ASSERT_EQ(CreateFolder(dir_), CreateFolderResult::Created) << dir_;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(fs::path(WidenAnsi(dir_)), ec);
    }
    std::vector<std::wstring> Entries(const std::string& folder) const {
        std::vector<std::wstring> names;
        for (const auto& e : fs::directory_iterator(fs::path(WidenAnsi(folder))))
            names.push_back(e.path().filename().wstring());
        return names;
    }

    std::string dir_;
};

TEST_F(WinFilesTest, FoldersAndAttributes) {
    const std::string sub = dir_ + "a";
    EXPECT_EQ(CreateFolder(sub), CreateFolderResult::Created);
    EXPECT_EQ(CreateFolder(sub), CreateFolderResult::AlreadyExists);
    EXPECT_EQ(CreateFolder(sub + "\\"), CreateFolderResult::AlreadyExists);
    EXPECT_EQ(CreateFolder(dir_ + "missing\\b"), CreateFolderResult::Failed);  // the parent must exist
    EXPECT_EQ(CreateFolder(""), CreateFolderResult::Failed);
    EXPECT_TRUE(IsExistingFolder(sub));
    EXPECT_FALSE(IsExistingFile(sub));
    EXPECT_NE(FileAttributes(sub) & kFileAttributeDirectory, 0u);

    const std::string file = dir_ + "f.txt";
    EXPECT_EQ(FileAttributes(file), kInvalidFileAttributes);
    EXPECT_FALSE(IsExistingFile(file));
    ASSERT_TRUE(WriteWholeFile(file, "x"));
    EXPECT_TRUE(IsExistingFile(file));
    EXPECT_FALSE(IsExistingFolder(file));
    EXPECT_EQ(FileAttributesWide(WidenAnsi(file)), FileAttributes(file));
    EXPECT_EQ(CreateFolder(file), CreateFolderResult::AlreadyExists);  // a file of that name is there
}

TEST_F(WinFilesTest, WriteReplacesTheWholeFileAndLeavesNoTemporaryFile) {
    const std::string file = dir_ + "VRN.ini";
    ASSERT_TRUE(WriteWholeFile(file, "[UI]\r\nUIScale=1.25\r\n"));
    std::string back = "junk";
    ASSERT_EQ(ReadWholeFile(file, 1024, back), ReadStatus::Ok);
    EXPECT_EQ(back, "[UI]\r\nUIScale=1.25\r\n");  // line ends byte for byte

    ASSERT_TRUE(WriteWholeFile(file, "short"));
    ASSERT_EQ(ReadWholeFile(file, 1024, back), ReadStatus::Ok);
    EXPECT_EQ(back, "short");

    const std::string binary("\0\xFF\r\n\x1A\x80 end", 9);
    ASSERT_TRUE(WriteWholeFile(file, binary));
    ASSERT_EQ(ReadWholeFileWide(WidenAnsi(file), 1024, back), ReadStatus::Ok);
    EXPECT_EQ(back, binary);

    ASSERT_TRUE(WriteWholeFile(file, ""));
    ASSERT_EQ(ReadWholeFile(file, 1024, back), ReadStatus::Ok);
    EXPECT_TRUE(back.empty());
    EXPECT_EQ(Entries(dir_), std::vector<std::wstring>{L"VRN.ini"});
}

TEST_F(WinFilesTest, FailedWritesKeepThePreviousFile) {
    // A folder in the way, a missing folder, a path naming a folder.
    ASSERT_EQ(CreateFolder(dir_ + "taken"), CreateFolderResult::Created);
    EXPECT_FALSE(WriteWholeFile(dir_ + "taken", "x"));
    EXPECT_TRUE(IsExistingFolder(dir_ + "taken"));
    EXPECT_FALSE(WriteWholeFile(dir_ + "missing\\f.txt", "x"));
    EXPECT_FALSE(WriteWholeFile(dir_, "x"));
    EXPECT_FALSE(WriteWholeFile("", "x"));

    // A target that another program holds open (without delete sharing, as
    // the C library opens files) is not replaced; the temporary file goes away.
    const std::string file = dir_ + "keep.txt";
    ASSERT_TRUE(WriteWholeFile(file, "previous"));
    {
        std::ifstream holder(fs::path(WidenAnsi(file)), std::ios::binary);
        ASSERT_TRUE(holder.is_open());
        EXPECT_FALSE(WriteWholeFile(file, "new"));
    }
    std::string back;
    ASSERT_EQ(ReadWholeFile(file, 1024, back), ReadStatus::Ok);
    EXPECT_EQ(back, "previous");
    std::vector<std::wstring> expected{L"keep.txt", L"taken"};
    std::vector<std::wstring> entries = Entries(dir_);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, expected);
}

TEST_F(WinFilesTest, ReadsRefuseMissingFoldersAndFilesAboveTheLimit) {
    const std::string file = dir_ + "eleven.bin";
    ASSERT_TRUE(WriteWholeFile(file, "0123456789A"));
    std::string content = "junk";
    EXPECT_EQ(ReadWholeFile(file, 10, content), ReadStatus::TooLarge);
    EXPECT_TRUE(content.empty());
    EXPECT_EQ(ReadWholeFile(file, 11, content), ReadStatus::Ok);  // exactly the limit is accepted
    EXPECT_EQ(content, "0123456789A");

    content = "junk";
    EXPECT_EQ(ReadWholeFile(dir_ + "none.bin", 100, content), ReadStatus::CannotOpen);
    EXPECT_TRUE(content.empty());
    content = "junk";
    EXPECT_EQ(ReadWholeFile(dir_, 100, content), ReadStatus::CannotOpen);  // a folder
    EXPECT_TRUE(content.empty());
    EXPECT_EQ(ReadWholeFileWide(L"", 100, content), ReadStatus::CannotOpen);

    ASSERT_TRUE(WriteWholeFile(dir_ + "empty.bin", ""));
    content = "junk";
    EXPECT_EQ(ReadWholeFile(dir_ + "empty.bin", 0, content), ReadStatus::Ok);
    EXPECT_TRUE(content.empty());
}

TEST(WinPaths, FullPathNameResolvesAndKeepsTheTrailingSeparator) {
    const std::string current = NarrowAnsi(fs::current_path().wstring());
    ASSERT_FALSE(current.empty());
    std::string expected = current;
    if (expected.back() != '\\') expected += '\\';
    EXPECT_EQ(FullPathName("relative\\x.txt"), expected + "relative\\x.txt");
    EXPECT_EQ(FullPathName("C:\\a\\b\\"), "C:\\a\\b\\");
    EXPECT_EQ(FullPathName("C:\\a\\..\\b\\.\\c"), "C:\\b\\c");
    EXPECT_EQ(FullPathName("C:/a/b"), "C:\\a\\b");
    EXPECT_EQ(FullPathName(""), "");
    EXPECT_EQ(FullPathName("C:\\" + std::string(300, 'x')), "");  // 260 bytes or more
    EXPECT_EQ(FullPathName("C:\\" + std::string(257, 'x')), "");  // 260 bytes
    EXPECT_EQ(FullPathName("C:\\" + std::string(256, 'x')).size(), 259u);
}

TEST(WinPaths, ModulePathsNameTheTestProgram) {
    const std::string exe = ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(IsExistingFile(exe)) << exe;
    EXPECT_EQ(exe.substr(exe.find_last_of('\\') + 1), "varnel_tests.exe");
    EXPECT_EQ(OwnModulePath(), exe);  // the seam is linked into the program
}

TEST(WinPaths, TheWindowsFolderExists) {
    const std::string windows = WindowsFolder();
    ASSERT_FALSE(windows.empty());
    EXPECT_TRUE(IsExistingFolder(windows)) << windows;
    EXPECT_EQ(FullPathName(windows + "\\"), FullPathName(EnvironmentVariable("WINDIR") + "\\"));
}

TEST(WinEnvironment, VariablesUpTo259Bytes) {
    EXPECT_EQ(EnvironmentVariable("VARNEL_SURELY_NOT_SET"), "");
    EXPECT_EQ(EnvironmentVariable(nullptr), "");
    EXPECT_EQ(EnvironmentVariable(""), "");
    ASSERT_EQ(_putenv("VARNEL_WINTEST_VALUE=abc def"), 0);
    EXPECT_EQ(EnvironmentVariable("VARNEL_WINTEST_VALUE"), "abc def");
    const std::string longest(259, 'v');
    ASSERT_EQ(_putenv(("VARNEL_WINTEST_VALUE=" + longest).c_str()), 0);
    EXPECT_EQ(EnvironmentVariable("VARNEL_WINTEST_VALUE"), longest);
    ASSERT_EQ(_putenv(("VARNEL_WINTEST_VALUE=" + longest + "v").c_str()), 0);
    EXPECT_EQ(EnvironmentVariable("VARNEL_WINTEST_VALUE"), "");  // 260 bytes count as missing
    ASSERT_EQ(_putenv("VARNEL_WINTEST_VALUE="), 0);
    EXPECT_EQ(EnvironmentVariable("VARNEL_WINTEST_VALUE"), "");
}

TEST(WinKnownFolders, AgreeWithTheShellFoldersAndTheEnvironment) {
    const std::string documents = KnownFolderPath(KnownFolder::Documents);
    ASSERT_FALSE(documents.empty());
    EXPECT_TRUE(IsExistingFolder(documents)) << documents;
    EXPECT_EQ(ShellFolderPath(5), documents);  // CSIDL_PERSONAL

    const std::string profile = KnownFolderPath(KnownFolder::Profile);
    EXPECT_FALSE(profile.empty());
    EXPECT_EQ(profile, EnvironmentVariable("USERPROFILE"));

    const std::string shared = KnownFolderPath(KnownFolder::PublicDocuments);
    EXPECT_FALSE(shared.empty());
    EXPECT_EQ(ShellFolderPath(46), shared);  // CSIDL_COMMON_DOCUMENTS
    EXPECT_EQ(ShellFolderPath(-1), "");
}

TEST(WinAnsi, WidenAndNarrowThroughTheCodePage) {
    const std::string ascii = "C:\\Users\\Player\\Documents\\VRN\\";
    EXPECT_EQ(WidenAnsi(ascii), L"C:\\Users\\Player\\Documents\\VRN\\");
    EXPECT_EQ(NarrowAnsi(L"C:\\Games\\"), "C:\\Games\\");
    EXPECT_EQ(WidenAnsi(""), L"");
    EXPECT_EQ(NarrowAnsi(L""), "");
    EXPECT_EQ(WidenAnsi(std::string_view("a\0b", 3)).size(), 3u);

    const std::wstring cafe = WidenAnsi("caf\xE9");
    ASSERT_EQ(cafe.size(), 4u);
    EXPECT_NE(static_cast<unsigned>(cafe[3]), 0xFFE9u);  // not sign-extended
    EXPECT_EQ(NarrowAnsi(cafe), "caf\xE9");
    if (cafe[3] == L'\u00E9') {  // a Western code page such as 1252
        EXPECT_EQ(NarrowAnsi(L"\u4E2D"), "?");
        EXPECT_EQ(WidenAnsi("\x80"), L"\u20AC");
    }
}

TEST_F(WinFilesTest, FoldersWithNamesOutsideAscii) {
    const std::string folder = dir_ + "R\xE9sum\xE9";
    if (NarrowAnsi(WidenAnsi(folder)) != folder) GTEST_SKIP() << "the ANSI code page has no \\xE9";
    ASSERT_EQ(CreateFolder(folder), CreateFolderResult::Created);
    const std::string file = folder + "\\VRN.ini";
    ASSERT_TRUE(WriteWholeFile(file, "data"));
    std::string back;
    EXPECT_EQ(ReadWholeFile(file, 100, back), ReadStatus::Ok);
    EXPECT_EQ(back, "data");
    EXPECT_EQ(ReadWholeFileWide(WidenAnsi(file), 100, back), ReadStatus::Ok);
    EXPECT_EQ(back, "data");
    EXPECT_NE(FileAttributesWide(WidenAnsi(folder)) & kFileAttributeDirectory, 0u);
    EXPECT_TRUE(IsExistingFile(file));
    // The name on disk is the code page's character, not a sign-extended unit.
    const std::wstring name = Entries(dir_).at(0);
    EXPECT_EQ(name.size(), 6u);
    EXPECT_NE(static_cast<unsigned>(name[1]), 0xFFE9u);
}

}  // namespace
#endif  // _WIN32
