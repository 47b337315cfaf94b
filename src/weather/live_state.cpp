#include "weather/live_state.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <utility>

#include "core/file_utils.h"
#include "core/text.h"
#include "runtime/guarded_memory.h"
#include "runtime/region_walk.h"
#include "weather/weather_text.h"

namespace weather {

WeatherLiveState WeatherLive;

void ResetWeatherLiveState() {
    WeatherLiveState& s = WeatherLive;
    s.watertuneBlock = 0;
    s.WatertuneSaved = 0;
    s.WatertuneOriginal.Clear();
    s.WatertuneLiveApplied = 0;
    s.WatertuneBeforeShown = 0;
    s.watertuneWords = {};
    s.lightningBlock = 0;
    s.VfxLightningSaved = 0;
    s.VfxLightningOriginal.Clear();
    s.VfxLightningBeforeShown = 0;
    s.lightningWords = {};
    s.WeatherTypesTableAddress = 0;
    s.WeatherTypesTableOriginal.Clear();
    s.WeatherTypesTableSaved = 0;
    runtime::UnregisterOwnRange(std::exchange(s.effectTargetsRange, 0));
    std::vector<WeatherEffectTarget>().swap(s.WeatherEffectTargets);
    s.WeatherEffectsSaved = 0;
    s.WeatherXmlBeforeShown = 0;
    s.weatherXmlAppliedWhole = 0;
    s.WeatherEffectTargetCache.clear();
    s.weatherTypesWords = {};
    s.effectWords = {};
    s.effectBlocks.clear();
    s.weatherTypesSavedAt = 0;
    s.weatherTypesFailedAtMs = 0;
    s.weatherTypesSearchFailed = false;
    s.RenderLiveStates.clear();
    s.CurrentRenderContext = {};
    s.renderSearchFailures.clear();
    s.scratch.Clear();
}

bool GameBytesReadable(uint64_t address, uint64_t size) { return runtime::IsReadableCached(address, size); }

bool ReadGameBytes(uint64_t address, void* out, uint64_t size) { return runtime::ReadBytesCached(address, out, size); }

bool WriteGameBytes(uint64_t address, const void* bytes, uint64_t size) {
    return runtime::WriteBytesCached(address, bytes, size);
}

bool ReadGameWord(uint64_t address, uint32_t& word) { return ReadGameBytes(address, &word, 4); }

bool TextToFloatWord(std::string_view text, uint32_t& word) {
    const float value = static_cast<float>(LenientDouble(text));
    if (!std::isfinite(value)) return false;
    word = std::bit_cast<uint32_t>(value);
    return true;
}

bool TextToIntWord(std::string_view text, uint32_t& word) {
    int64_t value = 0;
    size_t used = 0;
    if (!core::ParseIntPrefix(text, value, &used) || used != text.size()) return false;
    // The game's long is 32 bits: a number beyond it stops at the bound.
    value = std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    word = static_cast<uint32_t>(static_cast<int32_t>(value));
    return true;
}

bool TextToUnsignedWord(std::string_view text, uint32_t& word) {
    size_t i = 0;
    while (i < text.size() && core::IsSpaceByte(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const auto digitOf = [](char c) -> unsigned {
        if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
        if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
        if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
        return 16;
    };
    unsigned base = 10;
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        digitOf(text[i + 2]) < 16) {
        base = 16;
        i += 2;
    } else if (i < text.size() && text[i] == '0') {
        base = 8;
    }
    const size_t first = i;
    uint64_t value = 0;
    bool beyond = false;
    for (; i < text.size() && digitOf(text[i]) < base; ++i) {
        value = value * base + digitOf(text[i]);
        if (value > 0xFFFFFFFFull) {
            beyond = true;
            value = 0xFFFFFFFFull;
        }
    }
    // Nothing numeric, or something after the number: refused.
    if (i == first || i != text.size()) return false;
    // The game's unsigned long is 32 bits: beyond it the number stops at the
    // bound; a minus sign negates within 32 bits ("-1" is 0xFFFFFFFF).
    if (beyond) word = 0xFFFFFFFFu;
    else word = negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(value)) : static_cast<uint32_t>(value);
    return true;
}

void RefreshConvertedWords(ConvertedWords& words, const WeatherDocument& document, WordLayout layout,
                           WordConversion convert) {
    if (!words.laidOut || words.loadSerial != document.loadSerial) {
        words.entries.clear();
        words.layoutStopped = false;
        words.layoutFailure.clear();
        layout(document, words);
        words.laidOut = true;
        words.loadSerial = document.loadSerial;
        words.converted = false;
    }
    if (words.converted && words.generation == document.editGeneration) return;
    words.failedAt = words.entries.size();
    for (size_t i = 0; i < words.entries.size(); ++i) {
        ConvertedWords::Entry& e = words.entries[i];
        const std::string& text = document.values[e.value].currentText;
        if (!e.made || e.text != text) {
            e.text = text;
            e.failure.clear();
            e.ok = convert(document, e, e.word, e.failure);
            e.made = true;
        }
        if (!e.ok && words.failedAt == words.entries.size()) words.failedAt = i;
    }
    words.converted = true;
    words.generation = document.editGeneration;
}

}  // namespace weather
