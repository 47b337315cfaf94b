// The game's 18 weathers: the name the editor shows, the name the game's
// weather natives and files use, and the weather's place in the game's own
// order (the order of its keyframe blocks).
#pragma once
#include <cstddef>
#include <cstdint>

namespace game {

inline constexpr size_t kWeatherCount = 18;

struct WeatherName {
    const char* displayName;
    const char* gameName;
    uint32_t typeId;  // position in the game's own order (its keyframe blocks)
};
extern const WeatherName WeatherNameTable[kWeatherCount];

}  // namespace game
