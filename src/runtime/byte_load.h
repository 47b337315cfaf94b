// Unaligned loads of 4-byte values from a byte buffer (copied out, never
// dereferenced in place), for reading game records and blocks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace runtime {

inline float FloatAt(const uint8_t* bytes, size_t offset) {
    float f;
    std::memcpy(&f, bytes + offset, 4);
    return f;
}

inline uint32_t U32At(const uint8_t* bytes, size_t offset) {
    uint32_t v;
    std::memcpy(&v, bytes + offset, 4);
    return v;
}

inline int32_t I32At(const uint8_t* bytes, size_t offset) {
    int32_t v;
    std::memcpy(&v, bytes + offset, 4);
    return v;
}

}  // namespace runtime
