#include "support/timecycle_gen.h"

#include <charconv>
#include <cstring>

#include "timecycle/half_float.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_tables.h"

namespace testsupport {

namespace {

uint32_t Mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

// The value in ten-thousandths: -2.0000 .. 17.9999.
int32_t GeneratedTenThousandths(int weather, int region, int variable, int keyframe, int distinctRowLimit) {
    if (distinctRowLimit >= 0 && variable >= distinctRowLimit) return 5000;
    const uint32_t h = Mix(static_cast<uint32_t>(weather) * 1000003u + static_cast<uint32_t>(region) * 7919u +
                           static_cast<uint32_t>(variable) * 131u + static_cast<uint32_t>(keyframe) + 0x9E3779B9u);
    return static_cast<int32_t>(h % 200000u) - 20000;
}

// Four decimals, whatever the C locale.
std::string NumberText(int32_t tenThousandths) {
    char text[32];
    return std::string(
        text, std::to_chars(text, text + sizeof text, tenThousandths / 10000.0, std::chars_format::fixed, 4).ptr);
}

std::string ValuesText(int weather, int region, int variable, int distinctRowLimit, int shift) {
    std::string text;
    for (int k = 0; k < 13; ++k) {
        text.push_back(' ');
        text += NumberText(GeneratedTenThousandths(weather, region, variable, k, distinctRowLimit) + shift);
    }
    return text;
}

}  // namespace

float GeneratedTimecycleValue(int weather, int region, int variable, int keyframe) {
    return static_cast<float>(GeneratedTenThousandths(weather, region, variable, keyframe, -1)) / 10000.0f;
}

std::string MakeTimecycleXml(const TimecycleFileOptions& o) {
    const std::string& nl = o.lineEnd;
    std::string out;
    out.reserve(140000);
    if (o.bom) out += "\xEF\xBB\xBF";
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + nl;
    out += nl;
    if (o.nonAsciiComment) out += "<!-- Lichtstimmung \xE2\x99\xA5 f\xFCr den Abend\t(\xC3\xA9t\xC3\xA9) -->" + nl;
    out += "<timecycle_keyframe_data version=\"1.000000\">" + nl;
    out += std::string("  <cycle name=\"") + timecycle::WeatherNameTable[o.weather].gameName + "\" regions=\"2\">" + nl;
    const char* const regions[2] = {"GLOBAL", "URBAN"};
    const int valueWeather = o.valueWeather >= 0 ? o.valueWeather : o.weather;
    for (int r = 0; r < 2; ++r) {
        if (o.omitRegions.count(regions[r])) continue;
        out += std::string("    <region name=\"") + regions[r] + "\">" + nl;
        for (size_t i = 0; i < timecycle::kVariableCount; ++i) {
            const std::string name = timecycle::TimecycleVariableTable[i].xmlName;
            if (o.omitVariables.count(name)) continue;
            if (o.commentsBetweenRows) out += "      <!-- " + name + " -->" + nl;
            auto attribute = o.attributes.find(name);
            const std::string open =
                "<" + name + (attribute == o.attributes.end() ? std::string() : attribute->second) + ">";
            auto custom = o.elementTextOverride.find(name);
            const std::string values = custom != o.elementTextOverride.end()
                                           ? custom->second
                                           : ValuesText(valueWeather, r, static_cast<int>(i), o.distinctRowLimit, 0);
            out += "      " + open + values + "</" + name + ">" + nl;
            if (o.duplicateVariables.count(name)) {
                out += "      <" + name + ">" +
                       ValuesText(valueWeather, r, static_cast<int>(i), o.distinctRowLimit, 10000) + "</" +
                       name + ">" + nl;
            }
            if (o.strayText && i % 10 == 9) out += "      ]" + nl;
        }
        out += "    </region>" + nl;
    }
    out += "  </cycle>" + nl;
    out += "</timecycle_keyframe_data>" + nl;
    return out;
}

std::string HostileTimecycleXml(size_t targetBytes) {
    std::string open;
    std::string close;
    for (size_t i = 0; i < timecycle::kVariableCount; ++i) {
        const std::string name = timecycle::TimecycleVariableTable[i].xmlName;
        open += "<" + name + ">";
        close = "</" + name + ">" + close;
    }
    const size_t padding = targetBytes > 2 * (open.size() + close.size() + 64)
                               ? (targetBytes - 2 * (open.size() + close.size() + 64)) / 2
                               : 0;
    std::string out = "<timecycle_keyframe_data>\n";
    for (const char* region : {"GLOBAL", "URBAN"})
        out += std::string("<region name=\"") + region + "\">" + open + std::string(padding, '<') + close + "</region>\n";
    return out + "</timecycle_keyframe_data>\n";
}

void WriteGeneratedKeyframeTable(uint8_t* base, int distinctRowLimit) {
    std::memset(base, 0, kGeneratedKeyframeTableBytes);
    for (size_t w = 0; w < timecycle::kWeatherCount; ++w) {
        uint8_t* block = base + timecycle::WeatherNameTable[w].typeId * 22496u;
        for (int r = 0; r < 2; ++r) {
            for (int k = 0; k < 13; ++k) {
                uint8_t* record = block + static_cast<size_t>(r * 13 + k) * 864u;
                for (size_t i = 0; i < timecycle::kVariableCount; ++i) {
                    const float v = static_cast<float>(GeneratedTenThousandths(static_cast<int>(w), r,
                                                                               static_cast<int>(i), k,
                                                                               distinctRowLimit)) /
                                    10000.0f;
                    const uint16_t half = timecycle::FloatToHalf(v);
                    std::memcpy(record + 2 * i, &half, 2);
                }
            }
        }
    }
}

std::string MakeModifierXml(size_t count, size_t rows, const std::vector<std::string>& names) {
    std::string text = "<?xml version=\"1.0\"?>\r\n<timecycle_modifier_data version=\"1.000000\">\r\n";
    for (size_t i = 0; i < count; ++i) {
        const std::string name = i < names.size() ? names[i] : "mod_" + std::to_string(i);
        text += " <modifier name=\"" + name + "\" numMods=\"3\" userFlags=\"0\">\r\n";
        const size_t n = rows / count + (i < rows % count ? 1 : 0);
        for (size_t j = 0; j < n; ++j) {
            const std::string var = "var_" + std::to_string(j);
            text += "  <" + var + ">" + std::to_string(i) + "." + std::to_string(100 + j % 100).substr(1) + " 1.0" +
                    std::to_string(j % 10) + "</" + var + ">\r\n";
        }
        text += " </modifier>\r\n";
    }
    return text + "</timecycle_modifier_data>\r\n";
}

}  // namespace testsupport
