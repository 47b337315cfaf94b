#include "ui/fonts.h"

#include <imgui.h>

#include <cstdint>

#include "platform/files.h"

namespace ui {

FontsState Fonts;

namespace {

// A system font is a few MiB; anything far larger is not one.
constexpr uint64_t kMaxFontFileBytes = 64ull * 1024 * 1024;
constexpr float kMainFontPixels = 16.0f;
constexpr float kHeaderFontPixels = 30.0f;

uint32_t ReadBigEndian32(std::string_view bytes, size_t at) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

uint32_t Tag(const char (&text)[5]) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(text[3]));
}

}  // namespace

bool LooksLikeUsableFont(std::string_view bytes) {
    // The UI library refuses font data of 100 bytes or less outright.
    if (bytes.size() <= 100 || bytes.size() < 12) return false;
    const uint32_t version = ReadBigEndian32(bytes, 0);
    if (version != 0x00010000u && version != Tag("true") && version != Tag("OTTO")) return false;
    const uint32_t tables = ReadBigEndian32(bytes, 4) >> 16;
    if (tables == 0 || 12ull + 16ull * tables > bytes.size()) return false;
    bool cmap = false, head = false, hhea = false, hmtx = false, loca = false, glyf = false, cff = false;
    for (uint32_t i = 0; i < tables; ++i) {
        const size_t record = 12 + 16 * static_cast<size_t>(i);
        const uint32_t tag = ReadBigEndian32(bytes, record);
        const uint64_t offset = ReadBigEndian32(bytes, record + 8);
        const uint64_t length = ReadBigEndian32(bytes, record + 12);
        if (offset + length > bytes.size()) return false;
        cmap = cmap || tag == Tag("cmap");
        head = head || tag == Tag("head");
        hhea = hhea || tag == Tag("hhea");
        hmtx = hmtx || tag == Tag("hmtx");
        loca = loca || tag == Tag("loca");
        glyf = glyf || tag == Tag("glyf");
        cff = cff || tag == Tag("CFF ");
    }
    return cmap && head && hhea && hmtx && ((loca && glyf) || cff);
}

std::string UiFontPath(const std::string& windowsFolder) {
    if (windowsFolder.empty()) return {};
    std::string folder = windowsFolder;
    const char last = folder.back();
    if (last != '\\' && last != '/') folder += '\\';
    folder += "Fonts\\";
    for (const char* name : {"segoeui.ttf", "trebuc.ttf"}) {
        const std::string path = folder + name;
        if (platform::IsExistingFile(path)) return path;
    }
    return {};
}

void LoadUiFontsFromWindowsFolder(ImGuiIO& io, const std::string& windowsFolder) {
    Fonts.MainFont = nullptr;
    Fonts.HeaderFont = nullptr;
    const std::string path = UiFontPath(windowsFolder);
    std::string bytes;
    if (!path.empty() && platform::ReadWholeFile(path, kMaxFontFileBytes, bytes) == platform::ReadStatus::Ok &&
        LooksLikeUsableFont(bytes)) {
        ImFontConfig config;
        config.PixelSnapH = false;
        config.OversampleH = 3;
        config.OversampleV = 2;
        config.FontDataOwnedByAtlas = false;  // the atlas keeps its own copy
        const int size = static_cast<int>(bytes.size());
        Fonts.MainFont = io.Fonts->AddFontFromMemoryTTF(bytes.data(), size, kMainFontPixels, &config);
        if (Fonts.MainFont != nullptr)
            Fonts.HeaderFont = io.Fonts->AddFontFromMemoryTTF(bytes.data(), size, kHeaderFontPixels, &config);
    }
    if (Fonts.MainFont == nullptr) Fonts.MainFont = io.Fonts->AddFontDefault();
    if (Fonts.HeaderFont == nullptr) Fonts.HeaderFont = Fonts.MainFont;
    if (Fonts.MainFont != nullptr) io.FontDefault = Fonts.MainFont;
}

void ResetFontsState() { Fonts = FontsState{}; }

ImFont* CurrentHeaderFont() {
    if (Fonts.HeaderFont == nullptr || ImGui::GetCurrentContext() == nullptr) return nullptr;
    return ImGui::GetIO().Fonts->Fonts.contains(Fonts.HeaderFont) ? Fonts.HeaderFont : nullptr;
}

void LoadUiFonts(ImGuiIO& io) { LoadUiFontsFromWindowsFolder(io, platform::WindowsFolder()); }

}  // namespace ui
