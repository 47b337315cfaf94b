// Reads of this process's memory at an address (planted blocks the code
// under test writes), copied out so unaligned places are fine.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace testsupport {

inline std::vector<uint8_t> MemoryBytes(uint64_t at, size_t n) {
    std::vector<uint8_t> out(n);
    std::memcpy(out.data(), reinterpret_cast<const void*>(static_cast<uintptr_t>(at)), n);
    return out;
}

inline uint32_t MemoryWord(uint64_t at) {
    uint32_t w;
    std::memcpy(&w, reinterpret_cast<const void*>(static_cast<uintptr_t>(at)), 4);
    return w;
}

}  // namespace testsupport
