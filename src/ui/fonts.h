// The overlay's two fonts: one system font at 16 pixels (the UI's default)
// and at 30 pixels (the title in the main window's header), from the
// Windows fonts folder, with the UI library's built-in font as fall-back.
#pragma once
#include <string>
#include <string_view>

struct ImFont;
struct ImGuiIO;

namespace ui {

// The fonts of the current UI context. Render thread only (the overlay's
// set-up and frames, and the unload after the detours have left).
struct FontsState {
    ImFont* MainFont = nullptr;    // 16 px, the UI's default font
    ImFont* HeaderFont = nullptr;  // 30 px; MainFont when no font file could be used
};
extern FontsState Fonts;

// Once during the overlay set-up, after the style.
void LoadUiFonts(ImGuiIO& io);
// The same with the Windows folder given (empty: no font file).
void LoadUiFontsFromWindowsFolder(ImGuiIO& io, const std::string& windowsFolder);

// Both fonts belong to the UI context's atlas: forgets them when that
// context is destroyed (and in tests).
void ResetFontsState();
// HeaderFont when it is a font of the current UI context, else null.
ImFont* CurrentHeaderFont();

// The font file to use: "segoeui.ttf" in the fonts folder when it is a file,
// else "trebuc.ttf" when that is; empty when neither is (or the Windows
// folder is unknown).
std::string UiFontPath(const std::string& windowsFolder);

// Whether bytes hold a TrueType/OpenType font whose table directory and
// tables lie inside the bytes and that has the tables the UI's rasteriser
// needs (a truncated or foreign file would fail inside the UI library).
bool LooksLikeUsableFont(std::string_view bytes);

}  // namespace ui
