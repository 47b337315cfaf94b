#include "stand_in_timecycle.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "game/weathers.h"
#include "timecycle/half_float.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/xml_scan.h"

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

}  // namespace

bool LoadKeyframeTable(const std::wstring& xmlPath, std::string& report) {
    HANDLE file = CreateFileW(xmlPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        report = "no timecycle file";
        return false;
    }
    std::string text(static_cast<size_t>(GetFileSize(file, nullptr)), '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
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
    timecycle::RegionText region;
    timecycle::ReadRegionText(text, "GLOBAL", region);
    std::vector<timecycle::ValueToken> tokens;
    size_t rows = 0;
    for (size_t i = 0; i < region.elements.size(); ++i) {
        const timecycle::ElementSpan& span = region.elements[i];
        if (!span.found ||
            !timecycle::ReadKeyframeValues(std::string_view(text).substr(span.start, span.end - span.start), tokens))
            continue;
        for (int k = 0; k < 13; ++k) *Value(g_weather, 0, k, i) = timecycle::FloatToHalf(tokens[static_cast<size_t>(k)].value);
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
    const int r = timecycle::FindVariableRow("sky_zenith_col_r");
    const int g = timecycle::FindVariableRow("sky_zenith_col_g");
    const int b = timecycle::FindVariableRow("sky_zenith_col_b");
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
