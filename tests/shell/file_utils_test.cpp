#include "shell/file_utils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "platform/simulated.h"
#include "shell/text.h"
#include "shell/workspace.h"
#include "timecycle/timecycle_xml.h"
#include "weather/document_io.h"
#include "weather/weather_documents.h"
#include "shell_fixture.h"

namespace shelltest {
namespace {

using namespace shell;

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

class PathRulesTest : public ShellTest {};

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

TEST(NumberTexts, ParseFloatPrefixReadsLikeStrtof) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        const char* text;
        bool ok;
        float value;
        size_t consumed;
    } cases[] = {
        {"1.5abc", true, 1.5f, 3},  {"  -2.25e1x", true, -22.5f, 9}, {"+.5", true, 0.5f, 3},
        {"1e+", true, 1.0f, 1},     {"1,5", true, 1.0f, 1},          {"0x1p-1", true, 0.5f, 6},
        {"0xg", true, 0.0f, 1},     {"-Infinity", true, -inf, 9},    {"1e40", true, inf, 4},
        {"0.000001e-99", true, 0.0f, 12}, {"", false, 7.0f, 0},      {"+-1", false, 7.0f, 0},
        {".", false, 7.0f, 0},      {"\xE9", false, 7.0f, 0},        {"\xA0" "1", false, 7.0f, 0},
    };
    for (const auto& c : cases) {
        float value = 7.0f;
        size_t consumed = 99;
        EXPECT_EQ(ParseFloatPrefix(c.text, value, &consumed), c.ok) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(consumed, c.consumed) << c.text;
    }
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
    const struct {
        const char* text;
        bool ok;
        int64_t value;
        size_t consumed;
    } cases[] = {
        {"5x", true, 5, 1},   {"+7", true, 7, 2},  {" 42 ", true, 42, 3}, {"0x10", true, 0, 1}, {"-", false, 3, 0},
        {"", false, 3, 0},    {"9223372036854775808", true, kMax, 19}, {"-9223372036854775808", true, kMin, 20},
        {"99999999999999999999999", true, kMax, 23}, {"-99999999999999999999999", true, kMin, 24},
    };
    for (const auto& c : cases) {
        int64_t value = 3;
        size_t consumed = 99;
        EXPECT_EQ(ParseIntPrefix(c.text, value, &consumed), c.ok) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(consumed, c.consumed) << c.text;
    }
}

class FileHelpersTest : public ShellTest {};

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
    EXPECT_EQ(timecycle::TimecycleStatusLine,
              "Load .xml failed: w_extrasunny.xml too large (over 64 MiB) in " + InVrn("Imports\\Timecycles\\"));
    std::string status;
    EXPECT_FALSE(weather::LoadWeatherDocument(weather::FindWeatherDocumentIndex("weather.xml"), status));
    EXPECT_EQ(status, "Load failed: weather.xml too large (over 64 MiB).");
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
}  // namespace shelltest
