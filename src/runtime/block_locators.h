// Locators of the two game data blocks that most live edits address: the
// TimecycleBlock (the game's 3,072-byte block of current timecycle values,
// variable i at offset 4 * i), read out of rip-relative operands of two
// code sequences, and the SecondaryBlock (the engine's post-effect block),
// the target of the one lea r12,[rip+disp32] followed by enough of the
// engine's known stores. Any thread (each search under its lock).
#pragma once
#include <cstdint>

namespace runtime {

inline constexpr uint64_t kTimecycleBlockSize = 3072;
// Offsets of the two fields the timecycle signatures address.
inline constexpr uint64_t kTimecycleSignatureField = 1188;
inline constexpr uint64_t kTimecycleSignatureSecondField = 1192;
// Field offsets a SecondaryBlock handle may address.
inline constexpr uint64_t kSecondaryBlockSpan = 20480;
inline constexpr uint64_t kSecondaryBlockBackSpan = 8192;
// Bytes after the lea in which the engine's stores are counted.
inline constexpr uint64_t kSecondarySignatureWindow = 2560;
inline constexpr int kSecondaryBlockSignatureCount = 9;
inline constexpr int kSecondaryBlockSignaturesNeeded = 4;

// Address of the TimecycleBlock, or 0. One search per run (the first call
// decides; it shares its pass over the image with DataSignatureBase and
// FindPuddleStoreSite, whichever comes first); when the two signatures name
// different blocks, or the second one's block fails its checks, the answer
// is 0 for the whole run.
uint64_t TimecycleBlockLocator();
// Address of the SecondaryBlock, or 0. Its first search is the shared pass
// over the image (the lea sites up to a window before one of the engine's
// stores); kept once found; while not found a new search of the image's
// lea sites runs at most once per kSearchRetryIntervalMs. What both
// remember is Locators.TimecycleBlock and Locators.SecondaryBlock
// (locator_state.h).
uint64_t SecondaryBlockLocator();
// How many of the nine engine store signatures occur at least once in
// [start, start+length): 0 to 9; 0 for a null start or a zero length.
int CountSecondaryBlockSignatures(uint64_t start, uint64_t length);

// The nine engine stores (movss/movups/movaps of xmm0 to [rsi+r12+disp]).
struct SecondaryStoreSignature {
    const uint8_t* bytes;
    uint8_t length;
    uint32_t displacement;
};
extern const SecondaryStoreSignature SecondaryBlockSignatures[kSecondaryBlockSignatureCount];

}  // namespace runtime
