// The carcols.ymt export: the live siren edits carried into the user's copy
// of the game's carcols.ymt (Imports\Misc), patched in place and written to
// Exports\Misc. The file is never rebuilt: apart from the fields whose
// edited value differs from the baseline it is written back byte for byte.
//
// The parts of the resource read and written (numbers big-endian): the
// magic "PSIN" at 0 (at least 20 bytes); a 16-byte structure-map entry
// anywhere (u32 hash 0x84EB9B0D, u32 data offset D, 4 bytes, u32 length L);
// k = L / 2,376 siren records from D, record r's id byte at +8 equal to r.
//
// Thread rule: weather/sirens_state.h for ExportCarcolsYmt; the byte
// functions keep no state (any thread).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace weather {

inline constexpr uint32_t kCarcolsSirenHash = 0x84EB9B0D;
inline constexpr uint64_t kCarcolsRecordBytes = 2376;
inline constexpr uint64_t kCarcolsLightBytes = 112;
inline constexpr uint64_t kCarcolsFirstLight = 128;

struct CarcolsSirenData {
    uint64_t offset = 0;   // D
    uint64_t records = 0;  // k
};

// The magic and the first structure-map entry whose siren data lies whole
// in the file with 1 to 21 records whose ids run 0, 1, ... in order. False
// for every other file (too short, other magic, no such entry).
bool FindCarcolsSirenData(std::string_view file, CarcolsSirenData& data);

// The file record of a runtime profile, -1 for none.
int CarcolsRecordOfProfile(size_t profile);
// The offset in the file record of a head field at its runtime offset in
// the profile, and in the file's light of a light field; -1 for none.
int CarcolsHeadOffset(uint32_t runtimeOffset);
int CarcolsLightOffset(uint32_t runtimeOffset);

struct CarcolsPatchOutcome {
    bool notSafe = false;        // a field outside the block or the file
    uint64_t notInFile = 0;      // edited fields of profiles that have no record
    uint64_t written = 0;        // fields patched
};
// Patches into file every field whose bytes in edited (a whole block)
// differ from baseline. file is changed only when the outcome allows a
// write (not notSafe, notInFile 0, written above 0).
CarcolsPatchOutcome PatchCarcolsSirens(std::string& file, const CarcolsSirenData& data, const uint8_t* edited,
                                       const uint8_t* baseline);

// The "Export" button. True only when a file was written and verified.
bool ExportCarcolsYmt(std::string& status);

}  // namespace weather
