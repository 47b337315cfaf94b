// The overlay's fonts from the Windows fonts folder on the fake drive, with
// the built-in font as fall-back and never an assertion of the UI library.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/simulated.h"
#include "support/fake_drive.h"
#include "support/imgui_harness.h"
#include "ui/fonts.h"

namespace {

// A real TrueType font of this machine stands in for the system's UI font.
constexpr const char* kSystemFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kFonts = "C:\\Windows\\Fonts\\";

class FontsTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        std::ifstream in(kSystemFont, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        font = s.str();
    }
    void TearDown() override {
        ui::ForgetUiFonts();
        FakeDriveTest::TearDown();
    }
    bool HaveFont() const { return font.size() > 1000; }
    // Loads the fonts into a fresh UI and draws one frame with both.
    static void LoadAndDraw(testsupport::ImGuiHarness& ui) {
        ui::LoadUiFonts(ui.Io());
        ui.Frame([] {
            ImGui::Begin("Fonts");
            ImGui::Text("Main");
            ImGui::PushFont(ui::HeaderFont, ui::HeaderFont->LegacySize);
            ImGui::Text("Header");
            ImGui::PopFont();
            ImGui::End();
        });
    }
    std::string font;
};

TEST_F(FontsTest, SegoeUiOrElseTrebuchetGivesBothFontsAsSeparateAtlasEntries) {
    if (!HaveFont()) GTEST_SKIP() << "no TrueType font at " << kSystemFont;
    for (const char* file : {"trebuc.ttf", "segoeui.ttf"}) {
        PutFile(std::string(kFonts) + file, font);
        EXPECT_EQ(ui::UiFontPath("C:\\Windows"), std::string(kFonts) + file);
        testsupport::ImGuiHarness ui(ImVec2(1920, 1080), false);
        LoadAndDraw(ui);
        ASSERT_NE(ui::MainFont, nullptr);
        ASSERT_NE(ui::HeaderFont, nullptr);
        EXPECT_NE(ui::MainFont, ui::HeaderFont);
        EXPECT_EQ(ui::MainFont->LegacySize, 16.0f);
        EXPECT_EQ(ui::HeaderFont->LegacySize, 30.0f);
        EXPECT_EQ(ui.Io().Fonts->Fonts.Size, 2);
        EXPECT_EQ(ui.Io().FontDefault, ui::MainFont);
        EXPECT_EQ(ui.AssertionCount(), 0);
        ui::ForgetUiFonts();
    }
    EXPECT_EQ(ui::UiFontPath("C:\\Windows\\"), std::string(kFonts) + "segoeui.ttf") << "no second separator";
    EXPECT_EQ(ui::UiFontPath("C:\\Windows/"), "C:\\Windows/Fonts\\segoeui.ttf");
    EXPECT_EQ(ui::UiFontPath(""), "");
}

TEST_F(FontsTest, WithoutAUsableFontFileTheBuiltInFontServesBothSizes) {
    const std::string truncated = font.substr(0, font.size() / 3);
    const struct {
        const char* what;
        std::optional<std::string> windowsFolder;
        const char* file;  // placed in the fonts folder, or null
        std::string content;
    } cases[] = {
        {"no font file at all", std::string("C:\\Windows"), nullptr, ""},
        {"Windows folder unknown", std::nullopt, nullptr, ""},
        {"segoeui.ttf is a folder", std::string("C:\\Windows"), "segoeui.ttf\\inside", "x"},
        {"segoeui.ttf is text", std::string("C:\\Windows"), "segoeui.ttf", std::string(5000, 'a')},
        {"segoeui.ttf is empty", std::string("C:\\Windows"), "segoeui.ttf", ""},
        {"segoeui.ttf is cut short", std::string("C:\\Windows"), "segoeui.ttf", truncated},
        {"trebuc.ttf is cut short", std::string("C:\\Windows"), "trebuc.ttf", truncated},
    };
    for (const auto& c : cases) {
        platform::sim::SetWindowsFolder(c.windowsFolder);
        if (c.file != nullptr) PutFile(std::string(kFonts) + c.file, c.content);
        {
            testsupport::ImGuiHarness ui(ImVec2(1920, 1080), false);
            LoadAndDraw(ui);
            ASSERT_NE(ui::MainFont, nullptr) << c.what;
            EXPECT_EQ(ui::HeaderFont, ui::MainFont) << c.what << ": the header shows at the normal size";
            EXPECT_EQ(ui.Io().Fonts->Fonts.Size, 1) << c.what;
            EXPECT_EQ(ui.AssertionCount(), 0) << c.what;
        }
        std::filesystem::remove_all(Host("C:\\Windows"));
    }
}

TEST_F(FontsTest, FontCheckRefusesDataTheRasteriserWouldTripOver) {
    if (!HaveFont()) GTEST_SKIP() << "no TrueType font at " << kSystemFont;
    EXPECT_TRUE(ui::LooksLikeUsableFont(font));
    auto with = [&](size_t at, const std::string& bytes, size_t keep = std::string::npos) {
        std::string changed = font;
        return changed.replace(at, bytes.size(), bytes).substr(0, keep);
    };
    const struct {
        const char* what;
        std::string data;
    } cases[] = {
        {"the first 100 bytes", font.substr(0, 100)},
        {"last table cut (beyond its padding)", font.substr(0, font.size() - 4)},
        {"no character map", with(font.find("cmap"), "x")},
        {"no tables", with(4, std::string(2, '\0'))},
        {"directory longer than the file", with(4, "\xFF\xFF", 2000)},
        {"zeros", std::string(200, '\0')},
    };
    for (const auto& c : cases) EXPECT_FALSE(ui::LooksLikeUsableFont(c.data)) << c.what;
}

}  // namespace
