// The heap scan that finds the game's live visualsettings table by a
// seven-value fingerprint, and the region texts its hits carry.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/shared_value.h"

namespace runtime {

// One fingerprint row: the value at offset from a candidate base, by bit
// pattern. alternateDefaultBits 0 = none.
struct VisualSettingsFingerprintRow {
    const char* key;
    uint64_t offset;
    uint32_t defaultBits;
    uint32_t alternateDefaultBits;
    uint32_t guardBits;
};
inline constexpr int kVisualSettingsFingerprintRows = 7;
extern const VisualSettingsFingerprintRow VisualSettingsFingerprint[kVisualSettingsFingerprintRows];

// Bytes a candidate table spans from its base.
inline constexpr uint64_t kVisualSettingsWindow = 10304;
// Examined bytes after which the scan stops (1.5 GiB).
inline constexpr uint64_t kHeapScanBudget = 0x60000000;
inline constexpr size_t kHeapScanMaxHits = 16;
// Bytes of candidate bases tested between two looks at the scan's stop.
inline constexpr uint64_t kHeapScanStopStride = 64u << 10;

struct FingerprintHit {
    uint64_t address = 0;
    std::string regionType;
    std::string section;
};

// Walks the committed, private, read-write (or write-copy) regions of the
// process from the lowest to the highest application address and tests
// every 4-byte aligned base whose 10,304-byte window fits: mode 0 against
// the default values, mode 1 against the guard values. Regions holding the
// outputs are skipped, and so are the editor's own ranges (the scanner's
// buffer among them). Ends at 16 hits or when the budget is used up
// (truncated = 1), and early, with what it found so far, once stop (when
// given) is non-zero: it is tested before each piece of at most 1 MiB and
// every kHeapScanStopStride bytes of candidates inside one.
void ScanForVisualSettingsBlock(std::vector<FingerprintHit>& hits, uint8_t mode, uint64_t& bytesScanned,
                                uint32_t& regionsScanned, uint8_t& truncated,
                                const core::SharedValue<uint32_t>* stop = nullptr);

// The scan's inner step over the 4-byte aligned candidate bases first..last
// (inclusive): tested against copy, which holds the bytes from first on
// (the last window included), or without a copy through guarded reads, where
// a candidate whose read faults is no hit and the candidates after it that
// would read the same unreadable page are passed over. Appends hits up to
// kHeapScanMaxHits; looks at stop (when given) every kHeapScanStopStride
// bytes of candidates and ends once it is set. The bytes of candidates
// gone through.
uint64_t ScanFingerprintCandidates(uint64_t first, uint64_t last, const uint8_t* copy, uint8_t mode,
                                   std::vector<FingerprintHit>& hits, const core::SharedValue<uint32_t>* stop = nullptr);

// ---- Region texts (diagnostics only) -------------------------------------------
struct RegionDescription {
    std::string protection = "UNKNOWN";
    std::string type = "UNKNOWN";
    std::string section = "N/A";
    bool executable = false;
    bool writable = false;
    bool code = false;
    bool data = false;
    bool readOnlyData = false;
    bool heapLike = false;
};
RegionDescription DescribeRegion(uint64_t address);
// The game-image section holding address: its name up to the first NUL,
// "unnamed" for an empty name, "N/A" outside every section.
std::string SectionNameOf(uint64_t address);
// "PAGE_READWRITE", "PAGE_EXECUTE_READ|PAGE_GUARD", ...
std::string ProtectionText(uint32_t protect);
// "key@offset=u32/float;..." for every fingerprint row at base.
std::string FormatFingerprintValues(uint64_t base);
// "YYYY-MM-DD hh:mm:ss" in local time.
std::string FormatLocalTimestamp();

}  // namespace runtime
