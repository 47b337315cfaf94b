// The services every code patch rests on: memory within reach of a rel32
// from a game code site (AllocNear), the record of a patched site's original
// bytes (PatchSiteRecord), the decoding of rip-relative SSE loads, and the
// copy of a rip-relative SSE store into a code cave with its displacement
// recomputed. Script fiber only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace runtime {

// Reach rule: (block - site + 0x7FFFFFF8) mod 2^64 <= 0xFFFFFFFF.
bool IsWithinNearReach(uint64_t site, uint64_t block);

// A new PAGE_READWRITE block of at least size bytes (whole pages) within
// reach of site, or 0. Tries anywhere first, then outwards from site in
// steps of the allocation granularity up to 0x70000000 bytes away, never
// below the lowest or above the highest application address. Free a block
// that is not used with platform::FreeMemory.
uint64_t AllocNear(uint64_t site, size_t size);

// A zero-filled cell of size bytes (16-byte aligned, at most a page) in
// reach of site, cut from near blocks that every cell in their reach
// shares; 0 when no block could be had. Cells are read by the game once a
// redirect points at them and are never freed in the run.
uint64_t NearCell(uint64_t site, size_t size);
// Frees the cells' blocks (tests, once nothing points at them).
void ResetNearCellsForTesting();

// The original bytes of one patchable site. Restore writes original back
// over length bytes at site while captured is 1.
inline constexpr size_t kMaxPatchSiteLength = 16;
struct PatchSiteRecord {
    uint64_t site = 0;
    uint8_t original[kMaxPatchSiteLength] = {};
    uint8_t length = 0;  // 6, 8, 9 or 10 as the probe that fills it fixes
    uint8_t captured = 0;
};
// Fill the record with the N bytes at site when they lie in one committed
// readable region; false (record untouched) otherwise.
bool CapturePatchSite6(PatchSiteRecord& record, uint64_t site);
bool CapturePatchSite8(PatchSiteRecord& record, uint64_t site);
bool CapturePatchSite9(PatchSiteRecord& record, uint64_t site);
bool CapturePatchSite10(PatchSiteRecord& record, uint64_t site);

// A rip-relative load 0F 10 /r (movups, movss, movsd) with an optional
// F2/F3 prefix and an optional REX, mod/rm = rip+disp32 (no 66 prefix).
// target = address + length + disp32.
bool DecodeRipRelativeLoad(uint64_t address, uint32_t& displacementOffset, uint32_t& length, uint64_t& target);
// The same on bytes in hand (at least 12 available, else false); target is
// given relative to the instruction's first byte.
bool DecodeRipRelativeLoadBytes(const uint8_t* b, size_t available, uint32_t& displacementOffset, uint32_t& length,
                                int64_t& relativeTarget);

// Store kinds as the code-site table names them.
inline constexpr uint8_t kStoreKindMovss = 1;   // F3 0F 11
inline constexpr uint8_t kStoreKindMovups = 2;  // 0F 11 without F3
inline constexpr uint8_t kStoreKindMovaps = 3;  // 0F 29
// Decodes a rip-relative SSE store in bytes (at most 15 looked at): up to 8
// prefix bytes (F3, F2, 26, 2E, 36, 3E, 64, 65, 66, 67, REX 40-4F), then
// 0F 11 or 0F 29 with mod/rm = rip+disp32. Gives kind, length (prefixes +
// 7) and the offset of the disp32. Pure: reads only the given bytes.
bool DecodeRipRelativeStore(const uint8_t* bytes, size_t available, uint8_t& kind, uint8_t& length,
                            uint8_t& displacementOffset);

// Appends the store at site to cave, re-addressed so that, placed at
// copyAddress, it stores to target. The store's length and kind must equal
// the expected ones (a code-site row's storeLength and kind) and the new
// displacement must fit a signed 32-bit value; false leaves cave unchanged.
bool RelocateOriginalInstruction(std::vector<uint8_t>& cave, uint8_t expectedLength, uint8_t expectedKind,
                                 uint64_t site, uint64_t copyAddress, uint64_t target);

inline constexpr size_t kNearValueBlockSize = 20;
// The near allocations kept for the run. Script fiber only (the start-up
// and the tick's appliers).
struct NearAllocState {
    // The shared 20-byte near value block (mirrors TimecycleBlock offsets 1188
    // to 1207); 0 until allocated.
    uint64_t NearValueBlock = 0;
};
extern NearAllocState NearAlloc;
// Forgets the block, as at process start (tests; the block is not freed).
void ResetNearAllocState();
// True when the block exists (allocated now, zero-filled, or before).
bool AllocateNearValueBlock(uint64_t site);

}  // namespace runtime
