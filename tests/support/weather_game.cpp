#include "support/weather_game.h"

#include <bit>
#include <cstring>
#include <string_view>

#include <gtest/gtest.h>

#include "support/weather_docs.h"
#include "weather/document_io.h"
#include "weather/weather_documents.h"

namespace testsupport {

const char* const kWatertuneXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<MainWaterTune>
  <WaterColor value="0x1A00191C" />
  <RippleScale value="0.080000" />
  <OceanFoamScale value="0.050000" />
  <SpecularFalloff value="7000.000000" />
  <FogPierceIntensity value="1.100000" />
  <RefractionBlend value="0.700000" />
  <RefractionExponent value="0.250000" />
  <WaterCycleDepth value="10.000000" />
  <WaterCycleFade value="50.000000" />
  <WaterLightningDepth value="0.000000" />
  <WaterLightningFade value="10.000000" />
  <DeepWaterModDepth value="90.000000" />
  <DeepWaterModFade value="89.000000" />
  <GodRaysLerpStart value="0.000000" />
  <GodRaysLerpEnd value="400.000000" />
  <DisturbFoamScale value="0.050000" />
  <FogMin x="-4000.000000" y="-4000.000000" />
  <FogMax x="4500.000000" y="8000.000000" />
</MainWaterTune>
)";

const char* const kLightningXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<VfxLightningSettings>
  <lightningOccurranceChance value="250" />
  <lightningShakeIntensity value="0.200000" />
  <lightningTimeCycleMods>
    <tcLightningDirectionalBurst>lightning</tcLightningDirectionalBurst>
    <tcLightningCloudBurst>lightning_cloud</tcLightningCloudBurst>
  </lightningTimeCycleMods>
  <DirectionalBurstSettings>
    <BurstIntensityMin value="1.100000" />
    <BurstIntensityMax value="1.200000" />
    <BurstDurationMin value="0.060000" />
    <BurstDurationMax value="0.160000" />
    <BurstSeqCount value="5" />
    <RootOrbitXVariance value="170.000000" />
    <RootOrbitYVarianceMin value="51.000000" />
    <RootOrbitYVarianceMax value="61.000000" />
    <BurstSeqOrbitXVariance value="11.000000" />
    <BurstSeqOrbitYVariance value="6.000000" />
  </DirectionalBurstSettings>
  <CloudBurstSettings>
    <BurstIntensityMin value="16.000000" />
    <BurstIntensityMax value="64.000000" />
    <LightSourceExponentFalloff value="128.000000" />
    <LightDeltaPos value="-400.000000" />
    <LightDistance value="3970.000000" />
    <LightColor value="0xFF102030" />
    <CloudBurstCommonSettings>
      <BurstDurationMin value="0.090000" />
      <BurstDurationMax value="0.250000" />
      <BurstSeqCount value="4" />
      <RootOrbitXVariance value="36.000000" />
      <RootOrbitYVarianceMin value="5.500000" />
      <RootOrbitYVarianceMax value="30.000000" />
      <LocalOrbitXVariance value="20.000000" />
      <LocalOrbitYVariance value="5.250000" />
      <BurstSeqOrbitXVariance value="4.600000" />
      <BurstSeqOrbitYVariance value="3.600000" />
      <DelayMin value="0.125000" />
      <DelayMax value="2.000000" />
      <SizeMin value="735.000000" />
      <SizeMax value="2475.000000" />
    </CloudBurstCommonSettings>
  </CloudBurstSettings>
  <StrikeSettings>
    <IntensityMin value="180.000000" />
    <IntensityMax value="240.000000" />
    <IntensityMinClamp value="0.375000" />
    <WidthMin value="0.099999" />
    <WidthMax value="0.100000" />
    <WidthMinClamp value="0.050000" />
    <IntensityFlickerMin value="0.012000" />
    <IntensityFlickerMax value="0.014000" />
    <IntensityFlickerFrequency value="2.400000" />
    <IntensityLevelDecayMin value="0.800000" />
    <IntensityLevelDecayMax value="0.950000" />
    <WidthLevelDecayMin value="0.810000" />
    <WidthLevelDecayMax value="0.960000" />
    <NoiseTexScale value="7.100000" />
    <NoiseAmplitude value="7.000000" />
    <NoiseAmpMinDistLerp value="2000.000000" />
    <NoiseAmpMaxDistLerp value="10000.000000" />
    <SubdivisionCount value="6" />
    <OrbitDirXVariance value="20.000000" />
    <OrbitDirYVarianceMin value="40.000000" />
    <OrbitDirYVarianceMax value="70.000000" />
    <MaxDistanceForExposureReset value="0.625000" />
    <AngularWidthFactor value="0.025000" />
    <MaxHeightForStrike value="100.000000" />
    <CoronaIntensityMult value="0.230000" />
    <BaseCoronaSize value="0.875000" />
    <BaseColor value="0xFF405060" />
    <FogColor value="0xFF708090" />
    <CloudLightIntensityMult value="2.000000" />
    <CloudLightDeltaPos value="-1610.000000" />
    <CloudLightRadius value="255.000000" />
    <CloudLightFallOffExponent value="127.000000" />
    <MaxDistanceForBurst value="5600.000000" />
    <BurstThresholdIntensity value="0.400000" />
    <LightningFadeWidth value="60.000000" />
    <LightningFadeWidthFalloffExp value="5.000000" />
    <variations>
      <Item>
        <DurationMin value="1.500000" />
        <SubdivisionPatternMask value="23" />
      </Item>
    </variations>
  </StrikeSettings>
</VfxLightningSettings>
)";

namespace {

struct RenderField {
    const char* element;
    int firstSlot;  // x, y, z, w (or the value) from here
};

// The drop render settings block: 47 slots of 4 bytes.
constexpr RenderField kRenderLayout[] = {
    {"textureRowsColsStartEnd", 0}, {"textureRowsColsAnim", 0}, {"textureAnimRateScaleOverLifeStart2End2", 4},
    {"textureAnimRateScaleOverLife", 4}, {"sizeMinMax", 8}, {"colour", 12}, {"fadeInOut", 16},
    {"fadeNearFar", 18}, {"fadeGrdOffLoHi", 20}, {"fadeZ", 20}, {"rotSpeedMinMax", 24},
    {"directionalZOffsetMinMax", 28}, {"dirVelAddCamSpeedMinMaxMult", 32}, {"edgeSoftness", 36},
    {"particleColorPercentage", 39}, {"backgroundDistortionVisibilityPercentage", 40},
    {"backgroundDistortionAlphaBooster", 41}, {"backgroundDistortionAmount", 42},
    {"backgroundDistortionBlurLevel", 43}, {"localLightsMultiplier", 44}, {"directionalLightShadowAmount", 46},
};

void PutWord(std::vector<uint8_t>& bytes, size_t at, uint32_t word) { std::memcpy(bytes.data() + at, &word, 4); }
void PutFloat(std::vector<uint8_t>& bytes, size_t at, float f) { PutWord(bytes, at, std::bit_cast<uint32_t>(f)); }

}  // namespace

int RenderSlotOf(const std::string& path) {
    constexpr std::string_view kRoot = "rage__ptxgpuDropRenderSettings/";
    if (path.compare(0, kRoot.size(), kRoot) != 0) return -1;
    std::string_view leaf = std::string_view(path).substr(kRoot.size());
    int component = 0;
    if (const size_t dot = leaf.find('.'); dot != std::string_view::npos) {
        const std::string_view axis = leaf.substr(dot + 1);
        leaf = leaf.substr(0, dot);
        if (axis == "value") component = 0;
        else if (axis.size() == 1 && axis[0] >= 'w' && axis[0] <= 'z') component = axis[0] == 'w' ? 3 : axis[0] - 'x';
        else return -1;
    }
    for (const RenderField& field : kRenderLayout)
        if (leaf == field.element) return field.firstSlot + component;
    return -1;
}

std::vector<uint8_t> RenderBlockBytes(const std::vector<weather::XmlValueRecord>& records) {
    std::vector<uint8_t> bytes(188);
    for (size_t slot = 0; slot < 47; ++slot) PutFloat(bytes, slot * 4, 1000.0f + static_cast<float>(slot) * 0.5f);
    for (const weather::XmlValueRecord& r : records) {
        const int slot = RenderSlotOf(r.path);
        if (slot < 0) continue;
        PutFloat(bytes, static_cast<size_t>(slot) * 4, std::stof(r.originalText));
    }
    return bytes;
}

PlantedRenderBlock PlantRenderBlock(SyntheticImage& image, const std::vector<uint8_t>& block) {
    std::vector<uint8_t> bytes(152 + block.size(), 0);
    PutFloat(bytes, 0, 0.75f);
    PutFloat(bytes, 4, -9.5f);
    std::memcpy(bytes.data() + 152, block.data(), block.size());
    const uint64_t at = image.Plant(ImageSection::Data, bytes, 16);
    return {at + 152, at};
}

std::vector<uint8_t> WeatherTypesTableBytes(uint32_t seed) {
    std::vector<uint8_t> bytes(17 * 196);
    for (size_t w = 0; w < 17; ++w) {
        const size_t r = w * 196;
        for (size_t at = 0; at < 196; at += 4) PutFloat(bytes, r + at, static_cast<float>((w * 7 + at + seed) % 50) * 0.25f);
        PutFloat(bytes, r + 0x00, w == 0 ? 1.0f : 0.5f + 0.01f * static_cast<float>(w));   // Sun
        PutFloat(bytes, r + 0x04, w == 0 ? 0.0f : 0.3f);                                     // Cloud
        PutFloat(bytes, r + 0x08, w == 0 ? 0.25f : 0.2f);                                    // WindMin
        PutFloat(bytes, r + 0x0C, w == 0 ? 1.0f : 2.0f + static_cast<float>(seed));          // WindMax
        PutWord(bytes, r + 0x20, w % 2);                                                     // Lightning
        PutWord(bytes, r + 0x24, static_cast<uint32_t>(static_cast<int32_t>(w % 3) - 1));   // drop
        PutWord(bytes, r + 0x28, static_cast<uint32_t>(-1));                                 // mist
        PutWord(bytes, r + 0x2C, static_cast<uint32_t>(w % 9));                              // ground
        PutWord(bytes, r + 0xBC, 0xE4DF46D5u);                                               // clouds
    }
    return bytes;
}

std::vector<uint8_t> WeatherTypesDecoyBytes(int variant) {
    std::vector<uint8_t> bytes = WeatherTypesTableBytes(3);
    // Six records that do not pass leave eleven: one too few.
    for (size_t w = 11; w < 17; ++w) {
        const size_t r = w * 196;
        switch (variant % 3) {
            case 0: PutWord(bytes, r + 0x24, 33); break;                       // a setting index out of range
            case 1: PutFloat(bytes, r + 0x0C, 1000.0f); break;                  // WindMax too large
            default: PutWord(bytes, r + 0x00, 0x7FC00000u); break;              // Sun not a number
        }
    }
    return bytes;
}

WeatherGame PlantAndLoadEveryDocument(SyntheticImage& image) {
    WeatherGame game;
    game.watertune = image.PlantWatertuneBlock();
    game.lightning = image.PlantLightningBlock();
    game.table = image.Plant(ImageSection::Data, WeatherTypesTableBytes(), 4);
    std::string status;
    const auto load = [&status](size_t row, std::string text) {
        if (!weather::LoadWeatherDocumentText(row, std::move(text), "generated", status)) ADD_FAILURE() << status;
    };
    load(0, kWatertuneXml);
    load(1, kLightningXml);
    load(2, GenerateWeatherXml({}));
    for (size_t row = 3; row < weather::kWeatherDocumentCount; ++row) {
        const std::string text = GenerateRenderDocument(static_cast<uint32_t>(100 + row));
        std::vector<weather::XmlValueRecord> records;
        uint64_t warnings = 0;
        weather::ScanXmlValues(text, records, warnings);
        game.render.push_back(PlantRenderBlock(image, RenderBlockBytes(records)));
        load(row, text);
    }
    return game;
}

}  // namespace testsupport
