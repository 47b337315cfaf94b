#include "support/weather_docs.h"

#include <algorithm>
#include <iterator>

namespace testsupport {

namespace {

// A small deterministic generator (xorshift).
struct TestRandom {
    uint64_t state;
    explicit TestRandom(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    size_t Below(size_t n) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return n ? static_cast<size_t>(state % n) : 0;
    }
};

// The game's names, written out here on their own so that a generated file
// does not merely echo the editor's tables.
const char* const kWeathers[] = {"EXTRASUNNY", "CLEAR",     "CLOUDS",   "SMOG",           "FOGGY",
                                 "OVERCAST",   "RAIN",      "THUNDER",  "CLEARING",       "NEUTRAL",
                                 "SNOW",       "BLIZZARD",  "SNOWLIGHT", "XMAS",          "HALLOWEEN",
                                 "RAIN_HALLOWEEN", "SNOW_HALLOWEEN"};

const char* const kEffects[] = {"RAINSTORM_DROP",   "RAINSTORM_MIST",        "RAINSTORM_GROUND",
                                "THUNDER_DROP",     "THUNDER_MIST",          "THUNDER_GROUND",
                                "VFX_SNOW_LIGHT_DROP", "VFX_SNOW_HEAVY_DROP", "VFX_SNOW_HEAVY_MIST",
                                "VFX_SNOW_HEAVY_GROUND", "BLIZZARD_DROP",     "BLIZZARD_MIST",
                                "BLIZZARD_GROUND",  "UNDERWATER_DROP",       "UNDERWATER_MIST",
                                "COUNTRYSIDE_GROUND", "DESERT_GROUND",       "DESERT_GROUND_HEAVY",
                                "LAKE_FOG_GROUND",  "LAKE_FOG_DROP",         "WOODLAND_POLLEN_DROP",
                                "WOODLAND_FIREFLY_DROP", "WOODLAND_MIST_GROUND", "WETLAND_FLIES_DROP"};

// Attribute-form fields of a weather item in the order the game's files
// write them (including the ones the editor does not model).
const char* const kWeatherValueFields[] = {
    "Sun", "Cloud", "WindMin", "WindMax", "Rain", "Snow", "SnowMist", "Fog",
    "RippleBumpiness", "RippleMinBumpiness", "RippleMaxBumpiness", "RippleBumpinessWindScale",
    "RippleScale", "RippleSpeed", "RippleVelocityTransfer", "OceanBumpiness", "DeepOceanScale",
    "OceanNoiseMinAmplitude", "OceanWaveAmplitude", "ShoreWaveAmplitude", "OceanWaveWindScale",
    "ShoreWaveWindScale", "OceanWaveMinAmplitude", "ShoreWaveMinAmplitude", "OceanWaveMaxAmplitude",
    "ShoreWaveMaxAmplitude", "OceanFoamIntensity", "OceanFoamScale", "RippleDisturb"};

const char* const kClouds[] = {"Default", "LIGHTclouds", "MEDIUMclouds", "HEAVYclouds", "STORMclouds",
                               "POSTRAINclouds", "SNOWclouds", "HALLOWEENclouds"};

struct RenderField {
    const char* name;
    int components;  // 0: value attribute; 2..4: x, y, z, w
};

const RenderField kRenderFields[] = {
    {"textureRowsColsStartEnd", 4}, {"textureAnimRateScaleOverLifeStart2End2", 4}, {"sizeMinMax", 4},
    {"colour", 4}, {"fadeInOut", 2}, {"fadeNearFar", 2}, {"fadeGrdOffLoHi", 4}, {"rotSpeedMinMax", 2},
    {"directionalZOffsetMinMax", 3}, {"dirVelAddCamSpeedMinMaxMult", 3}, {"edgeSoftness", 0},
    {"particleColorPercentage", 0}, {"backgroundDistortionVisibilityPercentage", 0},
    {"backgroundDistortionAlphaBooster", 0}, {"backgroundDistortionAmount", 0},
    {"backgroundDistortionBlurLevel", 0}, {"localLightsMultiplier", 0}, {"directionalLightShadowAmount", 0}};

std::string Number(TestRandom& random) {
    static const char* const kShapes[] = {"0.000000", "1.000000", "0.5", "-12.000000", "2.72000", "17.10000",
                                          "0.040000", "20.000000", "1.0", "0.0000", "3", "0.25"};
    return kShapes[random.Below(std::size(kShapes))];
}

void Line(std::string& out, std::string_view indent, std::string_view text) {
    out += indent;
    out += text;
    out += '\n';
}

// The text with each "\n" written as the line ending asks (Mixed: one of the
// three at random).
std::string WithLineEndings(std::string_view text, LineEnding lineEnding, uint32_t seed) {
    static const char* const kEnds[] = {"\n", "\r\n", "\r"};
    TestRandom random(seed + 7);
    std::string out;
    for (const char c : text) {
        if (c != '\n') out += c;
        else out += kEnds[lineEnding == LineEnding::Mixed ? random.Below(3) : static_cast<size_t>(lineEnding)];
    }
    return out;
}

}  // namespace

std::string GenerateWeatherXml(const WeatherXmlOptions& options) {
    TestRandom random(options.seed);
    std::string x;
    if (options.bom) x += "\xEF\xBB\xBF";
    Line(x, "", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    Line(x, "", "");
    Line(x, "", "<CContentsOfWeatherXmlFile>");
    Line(x, "  ", "<VersionNumber value=\"1.000000\"/>");
    Line(x, "  ", "<WeatherGpuFx>");
    for (const char* effect : kEffects) {
        Line(x, "\t", "<Item>");
        Line(x, "\t  ", std::string("<Name>") + effect + "</Name>");
        Line(x, "\t  ", "<SystemType>SYSTEM_TYPE_DROP</SystemType>");
        Line(x, "\t  ", "<diffuseName>rain</diffuseName>");
        Line(x, "\t  ", "<windInfluence value=\"" + Number(random) + "\"/>");
        Line(x, "\t  ", "<gravity value=\"" + Number(random) + "\"/>");
        Line(x, "\t  ", std::string("<renderSettingsName>common:/data/levels/gta5/weather/") + effect + "</renderSettingsName>");
        Line(x, "\t", "</Item>");
    }
    Line(x, "  ", "</WeatherGpuFx>");
    Line(x, "  ", "<WeatherTypes>");
    for (size_t w = 0; w < std::size(kWeathers); ++w) {
        Line(x, "\t", "<Item>");
        Line(x, "\t  ", std::string("<Name>") + kWeathers[w] + "</Name>");
        for (const char* field : kWeatherValueFields) {
            Line(x, random.Below(2) ? "\t  " : "    ",
                 std::string("<") + field + " value=\"" + Number(random) + (random.Below(2) ? "\"/>" : "\" />"));
        }
        Line(x, "    ", std::string("<Lightning value=\"") + (random.Below(2) ? "true" : "false") + "\"/>");
        Line(x, "\t  ", "<Sandstorm value=\"false\"/>");
        Line(x, "\t  ", "<OldSettingName>-</OldSettingName>");
        Line(x, "\t  ", w % 3 == 0 ? "<DropSettingName>RAINSTORM_DROP</DropSettingName>"
                                    : "<DropSettingName>-</DropSettingName>");
        Line(x, "\t  ", "<MistSettingName>-</MistSettingName>");
        Line(x, "\t  ", "<GroundSettingName> - </GroundSettingName>");
        Line(x, "", std::string("<!--  <TimeCycleFilename platform=\"pc\">COMMON:/DATA/TIMECYCLE/W_") + kWeathers[w] +
                        "_PC.XML</TimeCycleFilename>");
        Line(x, "    ", std::string("<TimeCycleFilename platform=\"!pc\">COMMON:/DATA/TIMECYCLE/W_") + kWeathers[w] +
                          ".XML</TimeCycleFilename>-->");
        Line(x, "    ", std::string("<TimeCycleFilename>COMMON:/DATA/TIMECYCLE/W_") + kWeathers[w] +
                            ".XML</TimeCycleFilename>");
        Line(x, "\t  ", std::string("<CloudSettingsName>") + kClouds[w % std::size(kClouds)] + "</CloudSettingsName>");
        Line(x, "\t", "</Item>");
    }
    Line(x, "  ", "</WeatherTypes>");
    Line(x, "  ", "<WeatherCycles>");
    for (int i = 0; i < 6; ++i) {
        Line(x, "    ", std::string("<Item>      <CycleName>") + kWeathers[i % 4] +
                           "</CycleName>      <TimeMult value=\"" + std::to_string(i + 1) + "\"/>    </Item>");
    }
    Line(x, "  ", "</WeatherCycles>");
    x += "</CContentsOfWeatherXmlFile>\n";
    return WithLineEndings(x, options.lineEnding, options.seed);
}

std::string GenerateRenderDocument(uint32_t seed, LineEnding lineEnding, bool bom) {
    TestRandom random(seed);
    std::string x;
    if (bom) x += "\xEF\xBB\xBF";
    Line(x, "", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    Line(x, "", "<rage__ptxgpuDropRenderSettings>");
    Line(x, "  ", "<shaderName>ptxgpu_drop</shaderName>");
    static const char* const kAxes[] = {"x", "y", "z", "w"};
    for (const RenderField& field : kRenderFields) {
        const char quote = random.Below(5) == 0 ? '\'' : '"';
        std::string line = std::string("<") + field.name;
        if (field.components == 0) {
            line += std::string(" value=") + quote + Number(random) + quote;
        } else {
            for (int c = 0; c < field.components; ++c)
                line += std::string(random.Below(4) ? " " : "  ") + kAxes[c] + "=" + quote + Number(random) + quote;
        }
        line += random.Below(2) ? " />" : "/>";
        Line(x, "  ", line);
    }
    Line(x, "  ", "<textureName>rain_drop</textureName>");
    Line(x, "", "</rage__ptxgpuDropRenderSettings>");
    return WithLineEndings(x, lineEnding, seed);
}

}  // namespace testsupport
