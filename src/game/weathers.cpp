#include "game/weathers.h"

namespace game {

const WeatherName WeatherNameTable[kWeatherCount] = {
    {"Extrasunny", "EXTRASUNNY", 0},
    {"Clear", "CLEAR", 1},
    {"Clouds", "CLOUDS", 2},
    {"Overcast", "OVERCAST", 5},
    {"Rain", "RAIN", 6},
    {"Thunder", "THUNDER", 7},
    {"Foggy", "FOGGY", 4},
    {"Smog", "SMOG", 3},
    {"Clearing", "CLEARING", 8},
    {"Neutral", "NEUTRAL", 9},
    {"Snow", "SNOW", 10},
    {"Blizzard", "BLIZZARD", 11},
    {"Snowlight", "SNOWLIGHT", 12},
    {"Snowhalloween", "SNOW_HALLOWEEN", 16},
    {"Xmas", "XMAS", 13},
    {"Halloween", "HALLOWEEN", 14},
    {"Rainhalloween", "RAIN_HALLOWEEN", 15},
    {"Underwater Deep", "UNDERWATER_DEEP", 17},
};

}  // namespace game
