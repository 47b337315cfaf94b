#include "timecycle/half_float.h"

#include <bit>

namespace timecycle {

uint16_t FloatToHalf(float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    const uint16_t sign = static_cast<uint16_t>((bits >> 16) & 0x8000u);
    const int32_t exponentField = static_cast<int32_t>((bits >> 23) & 0xFFu);
    const uint32_t mantissa = bits & 0x7FFFFFu;
    int32_t e = exponentField - 112;

    if (exponentField == 0xFF && mantissa != 0) return static_cast<uint16_t>(sign | 0x7E00u);
    if (exponentField == 0xFF || e >= 31) return static_cast<uint16_t>(sign | 0x7C00u);
    if (e >= 1) {
        uint32_t m = (mantissa + 0x1000u) >> 13;
        if (m > 1023) {
            ++e;
            m = 0;
            if (e >= 31) return static_cast<uint16_t>(sign | 0x7C00u);
        }
        return static_cast<uint16_t>(sign | (static_cast<uint32_t>(e) << 10) | m);
    }
    if (e >= -10) {
        const uint32_t shifted = ((mantissa | 0x800000u) >> (113 - exponentField)) + 0x1000u;
        return static_cast<uint16_t>(sign | (shifted >> 13));
    }
    return sign;
}

float HalfToFloat(uint16_t half) {
    const uint32_t sign = static_cast<uint32_t>(half & 0x8000u) << 16;
    const uint32_t exponent = (half >> 10) & 0x1Fu;
    uint32_t mantissa = half & 0x3FFu;
    uint32_t bits;
    if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else {
            // Subnormal: normalise into a binary32 normal number.
            int32_t e = 113;
            while ((mantissa & 0x400u) == 0) {
                mantissa <<= 1;
                --e;
            }
            mantissa &= 0x3FFu;
            bits = sign | (static_cast<uint32_t>(e) << 23) | (mantissa << 13);
        }
    } else if (exponent == 0x1F) {
        bits = sign | 0x7F800000u | (mantissa << 13);
    } else {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    }
    return std::bit_cast<float>(bits);
}

}  // namespace timecycle
