// Data signatures: static blocks of the game executable found by a run of
// the default values at their head (ids 1 to 161), and the encoded live
// address (LiveHandle) that the visualsettings binding stores for a value.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace runtime {

using DataSignatureId = int;
inline constexpr DataSignatureId kDataSignatureCount = 161;

enum class DataSignatureKind : uint8_t {
    None,      // no signature: never found
    ExactRun,  // every byte compared
    Masked,    // compared where the mask holds 'x'
};

// One row of the table (src/runtime/data/data_signatures.tsv). bytes is null
// where the run is not known to this build: such a row is inert and finds
// nothing. mask is null for exact runs.
// blockSize is the number of bytes that must be readable from the match
// (for masked rows, the readable size).
struct DataSignature {
    DataSignatureKind kind = DataSignatureKind::None;
    uint16_t length = 0;  // run or pattern length in bytes
    uint32_t blockSize = 0;
    const uint8_t* bytes = nullptr;
    const char* mask = nullptr;
};
// Row of an id (1..161); the empty row for any other id.
const DataSignature& DataSignatureRow(DataSignatureId id);
// The ids whose row holds no bytes (nothing to search for).
std::vector<DataSignatureId> DataSignatureIdsWithoutBytes();

// Base of the block found by the id's signature, or 0. Each id is searched
// at most once per run; the result (0 included) is kept
// (Locators.SignatureCache, locator_state.h). The first search
// reads the game image once for every id not yet tried, and settles
// TimecycleBlockLocator and FindPuddleStoreSite in the same pass (so a test
// plants everything it wants found before the first of these calls).
uint64_t DataSignatureBase(DataSignatureId id);
// Unique match in the game image whose blockSize bytes lie in the image and
// are readable; else 0.
uint64_t FindSignatureInImage(const uint8_t* bytes, const char* mask, uint64_t blockSize);
// FindSignatureInImage with a mask of length 'x'.
uint64_t FindExactBytes(const uint8_t* bytes, uint64_t length, uint64_t blockSize);

// ---- LiveHandle ------------------------------------------------------------------------
// bit 63: field of the TimecycleBlock; bit 62: the offset is subtracted
// from the block base (TimecycleBlock and SecondaryBlock kinds); bit 61:
// field of the SecondaryBlock; bit 60: field of a data-signature block whose
// id is in bits 48-55; bits 56-59 and 0-47: the offset. A handle with none
// of bits 63, 61, 60 is a plain offset from the caller's base.
using LiveHandle = uint64_t;
inline constexpr LiveHandle kLiveHandleTimecycle = 1ull << 63;
inline constexpr LiveHandle kLiveHandleSubtract = 1ull << 62;
inline constexpr LiveHandle kLiveHandleSecondary = 1ull << 61;
inline constexpr LiveHandle kLiveHandleSignature = 1ull << 60;
inline constexpr LiveHandle kLiveHandleOffsetMask = 0x0F00FFFFFFFFFFFFull;
inline constexpr unsigned kLiveHandleIdShift = 48;

// Address of the value, or 0 when it is unavailable. Reads nothing but the
// page state.
uint64_t ResolveLiveHandle(uint64_t base, LiveHandle handle);
uint64_t ResolveTimecycleBlockField(LiveHandle handle);
uint64_t ResolveSecondaryBlockField(LiveHandle handle);
uint64_t ResolveSignatureField(LiveHandle handle);

// ---- Test seams -------------------------------------------------------------------------
// Plants a synthetic run for an id (an empty mask = exact run); blockSize 0
// keeps the row's block size. Planted rows replace the table's row until
// cleared.
void SetDataSignatureForTesting(DataSignatureId id, std::vector<uint8_t> bytes, std::string mask = {},
                                uint32_t blockSize = 0);
void ClearDataSignaturesForTesting();

}  // namespace runtime
