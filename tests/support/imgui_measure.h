// Sizes of what a headless frame laid out, for tests of whether a widget is
// wide enough for its text: the fonts the editor draws with, and the
// content width of a table column.
#pragma once
#include <imgui.h>
#include <imgui_internal.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

// The machine's TrueType font that stands in for the system's UI font.
inline constexpr const char* kStandInUiFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct EditorFont {
    std::string name;
    ImFont* font;
    float size;  // pixels, before the UI scale
};

// Adds the editor's fonts to the current UI context's atlas (before its
// first frame): the built-in font, which the overlay draws with when the
// system has no UI font (as under Wine), and the 16 px system font (the
// stand-in, when this machine has it). Draw with PushFont(font, size).
inline std::vector<EditorFont> AddEditorFonts() {
    ImFontAtlas& atlas = *ImGui::GetIO().Fonts;
    std::vector<EditorFont> fonts;
    ImFont* builtIn = atlas.Fonts.empty() ? atlas.AddFontDefault() : atlas.Fonts[0];
    fonts.push_back({"built-in font", builtIn, builtIn->LegacySize});
    std::ifstream in(kStandInUiFont, std::ios::binary);
    std::ostringstream read;
    if (in) read << in.rdbuf();
    const std::string bytes = read.str();
    if (bytes.size() > 1000) {
        void* data = ImGui::MemAlloc(bytes.size());  // the atlas frees it
        std::memcpy(data, bytes.data(), bytes.size());
        if (ImFont* system = atlas.AddFontFromMemoryTTF(data, static_cast<int>(bytes.size()), 16.0f))
            fonts.push_back({"16 px TrueType font", system, 16.0f});
    }
    return fonts;
}

// The width between the cell paddings of a column of the last laid-out
// table whose first column is named firstColumn; -1 when there is none.
inline float TableColumnContentWidth(const char* firstColumn, int column) {
    ImGuiContext& g = *ImGui::GetCurrentContext();
    for (int i = 0; i < g.Tables.GetMapSize(); ++i) {
        const ImGuiTable* table = g.Tables.TryGetMapData(i);
        if (table == nullptr || column >= table->ColumnsCount) continue;
        const char* name = ImGui::TableGetColumnName(table, 0);
        if (name == nullptr || std::strcmp(name, firstColumn) != 0) continue;
        return table->Columns[column].WorkMaxX - table->Columns[column].WorkMinX;
    }
    return -1.0f;
}

}  // namespace testsupport
