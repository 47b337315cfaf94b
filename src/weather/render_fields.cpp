#include "weather/render_fields.h"

#include "core/text.h"
#include "weather/weather_text.h"

namespace weather {

const std::array<WeatherRenderFile, 24> WeatherRenderFileTable = {{
    {"weather\\blizzard_render_drop.xml", 5, 8, 0},
    {"weather\\blizzard_render_ground.xml", 5, 8, 0},
    {"weather\\blizzard_render_mist.xml", -1, 0, 1},
    {"weather\\countryside_render_ground.xml", 5, 8, 0},
    {"weather\\desert_render_ground.xml", 5, 8, 0},
    {"weather\\desert_render_ground_heavy.xml", 6, 8, 0},
    {"weather\\firefly_render_drop.xml", -1, 0, 1},
    {"weather\\fly_render_drop.xml", 1, 8, 0},
    {"weather\\lake_fog_render_drop.xml", 6, 8, 0},
    {"weather\\lake_fog_render_ground.xml", 5, 8, 0},
    {"weather\\pollen_render_drop.xml", -1, 0, 1},
    {"weather\\rainstorm_render_drop.xml", 6, 8, 0},
    {"weather\\rainstorm_render_ground.xml", 0, 8, 0},
    {"weather\\rainstorm_render_mist.xml", 9, 8, 0},
    {"weather\\thunder_render_drop.xml", 6, 8, 0},
    {"weather\\thunder_render_ground.xml", 0, 8, 0},
    {"weather\\thunder_render_mist.xml", 0, 16, 0},
    {"weather\\snowheavy_render_drop.xml", 11, 8, 0},
    {"weather\\snowheavy_render_ground.xml", 5, 8, 0},
    {"weather\\snowheavy_render_mist.xml", -1, 0, 1},
    {"weather\\snowlight_render_drop.xml", 11, 8, 0},
    {"weather\\underwater_render_drop.xml", 9, 8, 0},
    {"weather\\underwater_render_mist.xml", 7, 8, 0},
    {"weather\\woodland_mist_render_ground.xml", 5, 8, 0},
}};

namespace {

struct DropRenderSlot {
    const char* field;
    int32_t slot;
};

constexpr DropRenderSlot kDropRenderSlots[] = {
    {"textureRowsColsStartEnd.x", 0}, {"textureRowsColsStartEnd.y", 1},
    {"textureRowsColsStartEnd.z", 2}, {"textureRowsColsStartEnd.w", 3},
    {"textureRowsColsAnim.x", 0}, {"textureRowsColsAnim.y", 1}, {"textureRowsColsAnim.z", 2},
    {"textureAnimRateScaleOverLifeStart2End2.x", 4}, {"textureAnimRateScaleOverLifeStart2End2.y", 5},
    {"textureAnimRateScaleOverLifeStart2End2.z", 6}, {"textureAnimRateScaleOverLifeStart2End2.w", 7},
    {"textureAnimRateScaleOverLife.x", 4}, {"textureAnimRateScaleOverLife.y", 5},
    {"sizeMinMax.x", 8}, {"sizeMinMax.y", 9}, {"sizeMinMax.z", 10}, {"sizeMinMax.w", 11},
    {"colour.x", 12}, {"colour.y", 13}, {"colour.z", 14}, {"colour.w", 15},
    {"fadeInOut.x", 16}, {"fadeInOut.y", 17},
    {"fadeNearFar.x", 18}, {"fadeNearFar.y", 19},
    {"fadeGrdOffLoHi.x", 20}, {"fadeGrdOffLoHi.y", 21}, {"fadeGrdOffLoHi.z", 22}, {"fadeGrdOffLoHi.w", 23},
    {"fadeZ", 20}, {"fadeZ.value", 20},
    {"rotSpeedMinMax.x", 24}, {"rotSpeedMinMax.y", 25},
    {"directionalZOffsetMinMax.x", 28}, {"directionalZOffsetMinMax.y", 29}, {"directionalZOffsetMinMax.z", 30},
    {"dirVelAddCamSpeedMinMaxMult.x", 32}, {"dirVelAddCamSpeedMinMaxMult.y", 33},
    {"dirVelAddCamSpeedMinMaxMult.z", 34},
    {"edgeSoftness", 36},
    {"particleColorPercentage", 39},
    {"backgroundDistortionVisibilityPercentage", 40},
    {"backgroundDistortionAlphaBooster", 41},
    {"backgroundDistortionAmount", 42},
    {"backgroundDistortionBlurLevel", 43},
    {"localLightsMultiplier", 44},
    {"directionalLightShadowAmount", 46},
};

}  // namespace

const WeatherRenderFile* FindWeatherRenderFile(std::string_view fileName) {
    for (const WeatherRenderFile& row : WeatherRenderFileTable) {
        if (EqualsNoCase(row.fileName, fileName)) return &row;
    }
    return nullptr;
}

int32_t DropRenderFieldIndex(const XmlValueRecord& record) {
    constexpr std::string_view kRoot = "rage__ptxgpuDropRenderSettings/";
    const std::string_view path = record.path;
    if (path.size() <= kRoot.size() || path.compare(0, kRoot.size(), kRoot) != 0) return -1;
    const std::string_view field = path.substr(kRoot.size());
    for (const DropRenderSlot& slot : kDropRenderSlots) {
        if (field == slot.field) return slot.slot;
    }
    return -1;
}

}  // namespace weather
