// IEEE 754 binary16 conversions for the game's keyframe table.
#pragma once
#include <cstdint>

namespace timecycle {

// Rounds half away from zero; NaN gives 0x7E00 with the sign, anything of
// magnitude 65,520 and above gives infinity, values below 2^-25 signed zero.
uint16_t FloatToHalf(float value);
// Exact: signed zeros, subnormals, infinities and NaN payloads are kept.
float HalfToFloat(uint16_t half);

}  // namespace timecycle
