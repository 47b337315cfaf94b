#include "stand_in_timecycle.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

// Two self-contained sources of the editor are compiled into the game (the
// weather names and the half-float conversion); it links none of the
// editor's libraries, whose code patterns would then stand in the game's
// image beside its own code sites.
#include "game/weathers.h"
#include "timecycle/half_float.h"

namespace standin {

namespace {

constexpr size_t kRecordBytes = 864, kBlockSpacing = 22496, kWeathers = 18;
constexpr uint32_t kKeyframeHours[13] = {0, 5, 6, 7, 10, 12, 16, 17, 18, 19, 20, 21, 22};

uint8_t* g_table = nullptr;  // kWeathers blocks, in the game's heap
int g_weather = -1;          // the weather the file holds

uint8_t* Block(int weather) { return g_table + game::WeatherNameTable[weather].typeId * kBlockSpacing; }

uint16_t* Value(int weather, int region, int keyframe, size_t variable) {
    return reinterpret_cast<uint16_t*>(Block(weather) + (region * 13 + keyframe) * kRecordBytes) + variable;
}

uint8_t Channel(float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); }

std::string ReadWhole(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text(static_cast<size_t>(GetFileSize(file, nullptr)), '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
    return text;
}

// The variables in the table's row order: the second column of the rows of
// the editor's variable list (e2e-variables.tsv beside the game).
std::vector<std::string> g_names;

int RowOf(const std::string& name) {
    for (size_t i = 0; i < g_names.size(); ++i)
        if (g_names[i] == name) return static_cast<int>(i);
    return -1;
}

}  // namespace

bool LoadKeyframeTable(const std::wstring& xmlPath, std::string& report) {
    const std::wstring folder = xmlPath.substr(0, xmlPath.find_last_of(L"\\/") + 1);
    const std::string list = ReadWhole(folder + L"e2e-variables.tsv");
    for (size_t at = 0; at < list.size();) {
        size_t end = list.find('\n', at);
        if (end == std::string::npos) end = list.size();
        const std::string line = list.substr(at, end - at);
        at = end + 1;
        const size_t tab = line.find('\t');
        if (line.empty() || line[0] < '0' || line[0] > '9' || tab == std::string::npos) continue;
        const size_t tab2 = line.find('\t', tab + 1);
        g_names.push_back(line.substr(tab + 1, tab2 == std::string::npos ? std::string::npos : tab2 - tab - 1));
    }
    const std::string text = ReadWhole(xmlPath);
    if (text.empty() || g_names.size() != 429) {
        report = "no timecycle file or variable list";
        return false;
    }
    const size_t cycle = text.find("<cycle name=\"");
    const size_t nameEnd = cycle == std::string::npos ? cycle : text.find('"', cycle + 13);
    const std::string name = nameEnd == std::string::npos ? "" : text.substr(cycle + 13, nameEnd - cycle - 13);
    for (size_t w = 0; w < kWeathers; ++w)
        if (name == game::WeatherNameTable[w].gameName) g_weather = static_cast<int>(w);
    if (g_weather < 0) {
        report = "the file names no weather";
        return false;
    }
    g_table = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kWeathers * kBlockSpacing));
    if (g_table == nullptr) {
        report = "no heap for the table";
        return false;
    }
    // Each "<name> v0 ... v12</name>" of the GLOBAL region.
    const size_t from = text.find("<region name=\"GLOBAL\">");
    const size_t to = from == std::string::npos ? from : text.find("</region>", from);
    size_t rows = 0;
    for (size_t at = from; at != std::string::npos && at < to;) {
        const size_t open = text.find('<', at + 1);
        if (open == std::string::npos || open >= to) break;
        const size_t close = text.find('>', open);
        if (close == std::string::npos) break;
        at = close;
        const int row = RowOf(text.substr(open + 1, close - open - 1));
        if (row < 0) continue;
        const char* p = text.c_str() + close + 1;
        float values[13];
        int k = 0;
        for (char* next = nullptr; k < 13; ++k, p = next) {
            values[k] = std::strtof(p, &next);
            if (next == p) break;
        }
        if (k < 13) continue;
        for (k = 0; k < 13; ++k) *Value(g_weather, 0, k, static_cast<size_t>(row)) = timecycle::FloatToHalf(values[k]);
        ++rows;
    }
    report = std::to_string(rows) + " GLOBAL rows of " + name;
    return rows > 0;
}

SkyColour SkyColourAt(const char* weatherGameName, int hour) {
    SkyColour colour;
    for (int k = 0; k < 13; ++k)
        if (static_cast<int>(kKeyframeHours[k]) <= hour) colour.keyframe = k;
    int weather = -1;
    for (size_t w = 0; w < kWeathers; ++w)
        if (std::strcmp(weatherGameName, game::WeatherNameTable[w].gameName) == 0) weather = static_cast<int>(w);
    if (g_table == nullptr || weather < 0) return colour;
    const int r = RowOf("sky_zenith_col_r");
    const int g = RowOf("sky_zenith_col_g");
    const int b = RowOf("sky_zenith_col_b");
    if (r < 0 || g < 0 || b < 0) return colour;
    colour.r = Channel(timecycle::HalfToFloat(*Value(weather, 0, colour.keyframe, static_cast<size_t>(r))));
    colour.g = Channel(timecycle::HalfToFloat(*Value(weather, 0, colour.keyframe, static_cast<size_t>(g))));
    colour.b = Channel(timecycle::HalfToFloat(*Value(weather, 0, colour.keyframe, static_cast<size_t>(b))));
    colour.fromTable = weather == g_weather;
    return colour;
}

uint64_t UrbanValuesWritten() {
    if (g_table == nullptr || g_weather < 0) return 0;
    uint64_t count = 0;
    for (int k = 0; k < 13; ++k)
        for (size_t i = 0; i < 432; ++i) count += *Value(g_weather, 1, k, i) != 0;
    return count;
}

}  // namespace standin
