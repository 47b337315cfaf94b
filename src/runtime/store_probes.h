// Store-suppression probes: the stores of engine values into the post-effect
// block that the tick removes while an override owns the value. Each is
// found by its unique pattern in the game image and captured once.
#pragma once
#include <cstdint>
#include <span>

namespace runtime {

// A code site captured by a store-suppression probe: its address, the block
// offset its store writes, the store's length and the game's bytes there.
struct StoreSite {
    uint64_t address = 0;
    uint32_t blockOffset = 0;
    uint8_t length = 0;
    uint8_t saved[10] = {};
    bool captured = false;
};

// The scanline store (block offset 464) and the lens-distortion store (960):
// a movaps of the engine value into the post-effect block (load, then the
// store at +7), nine bytes captured, into sites[0]. A found site is kept; a
// failed search is repeated on the next call. False when not found (or when
// sites is empty).
bool ProbeScanlineStore(std::span<StoreSite> sites);
bool ProbeLensDistortionStore(std::span<StoreSite> sites);

// Forgets the sites found (tests; a new game image).
void ForgetStoreProbes();

}  // namespace runtime
