// libFuzzer target of the weather documents' value texts turned into the
// game's words: the input is loaded as watertune.xml, as
// vfxlightningsettings.xml, as weather.xml and as a render file, and every
// value goes through its document's conversion (into a word of the editor's
// own memory for weather.xml). Whatever the input: nothing faults, a word
// made reads back as the same number, and a render signature has the length
// asked for within the block's 47 slots.
// Real seeds: weather watertune vfxlightning
#include <array>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "weather/document_io.h"
#include "weather/lightning_fields.h"
#include "weather/live_state.h"
#include "weather/render_live.h"
#include "weather/water_lightning_live.h"
#include "weather/weather_xml_live.h"
#include "weather/weather_xml_model.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// A word made from a text is the word its own number text makes again.
void CheckWords(std::string_view text) {
    uint32_t word = 0;
    uint32_t again = 0;
    if (weather::TextToUnsignedWord(text, word)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08" PRIX32, word);
        Require(weather::TextToUnsignedWord(hex, again) && again == word);
    }
    if (weather::TextToIntWord(text, word)) {
        const std::string decimal = std::to_string(static_cast<int32_t>(word));
        Require(weather::TextToIntWord(decimal, again) && again == word);
    }
    weather::TextToFloatWord(text, word);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string status;
    constexpr size_t kRender = 21;  // weather\thunder_render_drop.xml
    for (const size_t row : {size_t{0}, size_t{1}, size_t{2}, kRender}) {
        if (!weather::LoadWeatherDocumentText(row, text, "fuzz", status)) continue;
        const weather::WeatherDocument& d = weather::WeatherDocuments.WeatherDocumentRegistry[row];
        for (const weather::XmlValueRecord& v : d.values) CheckWords(v.currentText);
        if (row == 0) {
            std::array<uint8_t, 80> image{};
            weather::ParseWatertuneImage(d, image, status);
        } else if (row == 1) {
            for (const weather::LightningField& field : weather::LightningFieldTable) {
                const weather::XmlValueRecord* v = weather::FindFileParam(d, field.path);
                uint32_t word = 0;
                if (v != nullptr) weather::ConvertVfxLightningValue(*v, field, word, status);
            }
        } else if (row == 2) {
            for (const weather::XmlValueRecord& v : d.values) {
                int32_t weatherIndex = -1;
                int32_t fieldRow = -1;
                uint32_t cell = 0;
                if (weather::ResolveWeatherTypesPath(v.path, weatherIndex, fieldRow))
                    weather::ApplyWeatherSettingLive(reinterpret_cast<uintptr_t>(&cell), v, fieldRow, status);
            }
        } else {
            uint32_t slots[47] = {};
            weather::ConvertDropRenderValue(d, slots, status);
            std::vector<uint8_t> bytes;
            for (size_t i = 0; i + 1 < size && i < 8; i += 2) {
                const int32_t first = static_cast<int32_t>(data[i] % 64) - 4;
                const int32_t count = static_cast<int32_t>(data[i + 1] % 24) - 2;
                int32_t firstSlot = -1;
                if (!weather::BuildRenderSignature(d.values, first, count, bytes, firstSlot)) continue;
                Require(bytes.size() == 4u * static_cast<size_t>(count) && firstSlot >= 0 && firstSlot + count <= 47);
            }
        }
    }
    weather::ReleaseWeatherDocuments();
    return 0;
}
