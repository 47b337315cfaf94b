// Searches over the game executable's image and over readable memory:
// byte patterns with a mask (one unique match or nothing), value signatures
// stepping 4-byte aligned inside one readable region, the lightning and
// water-tuning blocks, the check of saved weather records, and the code
// site of the puddle cave.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "runtime/cached_search.h"

namespace runtime {

// A byte signature: bytes plus a NUL-terminated mask of the same length,
// 'x' = the byte must match, any other character = any byte. The pattern
// length is the mask's string length.
struct PatternMask {
    const uint8_t* bytes = nullptr;
    const char* mask = nullptr;
};

// ---- The game image ------------------------------------------------------------
// Base of the game executable (the module of the process, or the image a
// test registered); 0 when there is none.
uint64_t GameImageBase();
// SizeOfImage from the PE optional header: the module must start with MZ and
// the NT header at e_lfanew with PE\0\0; any failure gives 0.
uint32_t GetGameImageSize();

// ---- Byte patterns (unique-match rule) --------------------------------------------
// The address of the only match, else 0 (no match, two or more matches, a
// null argument, an empty mask, or a pattern longer than the range). No
// alignment: every start position is tried.
uint64_t FindUniquePattern(const uint8_t* bytes, const char* mask);
uint64_t FindUniquePatternIn(uint64_t base, uint64_t size, const uint8_t* bytes, const char* mask);

// The code site of the puddle cave: the first movups store of a known
// 53-byte sequence. One attempt per run; the result (0 included) is kept
// (Locators.PuddleStoreSite).
uint64_t FindPuddleStoreSite();

// ---- Value signatures ------------------------------------------------------------------
struct ValueSignature {
    const char* name = nullptr;       // used in reports
    std::vector<uint8_t> bytes;       // the run of 4-byte values to find
    uint64_t hitCount = 0;
    uint64_t firstHit = 0;            // 0 = none
    std::vector<uint64_t> hits;       // every match
};
// Appends one 4-byte value (little-endian) to the signature's run.
void AppendSignatureU32(ValueSignature& signature, uint32_t value);
void AppendSignatureFloat(ValueSignature& signature, float value);

// Walks the committed readable regions of [start, start+length) and
// compares every signature at each 4-byte aligned position of each region;
// a match never crosses a region boundary, and the signatures' own byte
// runs (the editor's copies), like every own range of the editor, are not
// examined. Adds the bytes examined to bytesScanned. Nothing happens for a zero start or
// length or an empty list.
void ScanReadableMemory(uint64_t start, uint64_t length, std::span<ValueSignature> signatures,
                        uint64_t& bytesScanned);

inline constexpr uint64_t kVfxLightningBlockSize = 352;
inline constexpr uint64_t kWatertuneBlockSize = 80;
// The game's lightning-settings block (352 bytes) and water-tuning block
// (80 bytes), found in the game image by their runs of default values and
// checked; 0 when not found. The first search is the shared pass over the
// image (signature_pass.h; bytesScanned and hitCount are that pass's when
// this call ran it). A found block is kept while it stays readable. A
// failed search is repeated, by a scan of its own, at most once per
// kSearchRetryIntervalMs (Locators.VfxLightningBlock and .WatertuneBlock,
// locator_state.h).
uint64_t FindVfxLightningBlock(uint64_t& bytesScanned, uint64_t& hitCount);
uint64_t FindWatertuneBlock(uint64_t& bytesScanned, uint64_t& hitCount);

// ---- Saved weather records ------------------------------------------------------------
inline constexpr uint64_t kWeatherRecordSize = 188;
// The saved state of one weather render document is valid when it is saved,
// holds at least one block pointer, holds 188 saved bytes per pointer, and
// every pointer has its 188 bytes in one committed readable region. Asked
// on every frame that writes the documents: the regions are the readable-
// range cache's (IsReadableCached).
bool ValidateWeatherRecordList(bool saved, std::span<const uint64_t> blocks, uint64_t savedByteCount);

}  // namespace runtime
