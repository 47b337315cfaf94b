// The tables behind the code patches, from src/runtime/data (the build
// generates their rows; runtime/patch_ids.h names them): the patterns of
// the game's code (code_patterns.tsv), the sites the store probes capture
// (store_probes.tsv), the redirected reads of timecycle fields
// (redirect_records.tsv), the engine-block members (engine_members.tsv)
// and the rows of the generated live writes this build carries
// (code_sites.tsv). The same rows drive the code and its tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/patch_ids.h"
#include "runtime/slot_ids.h"

namespace runtime {

// Bytes compared under a mask ('x' compared, anything else any byte).
struct MaskedBytes {
    const uint8_t* bytes = nullptr;
    const char* mask = nullptr;  // null: every byte compared
    uint8_t length = 0;
    // True when the first length bytes at p match.
    bool MatchesAt(const uint8_t* p) const;
};

struct CodePatternRow {
    const char* name;
    const uint8_t* bytes;
    const char* mask;
    uint8_t length;
};

struct ProbeSiteRow {
    ProbeId probe;
    CodePatternId pattern;  // the pattern whose match holds the site
    uint8_t at;             // the site's offset from the match
    uint8_t length;         // bytes captured
    MaskedBytes instruction;  // what the site must begin with
    int32_t offset;         // engine-block field the store writes, -1: none
};

struct ProbeRow {
    const char* name;
    bool once;  // one attempt per run (else a site not captured is tried again)
    uint8_t firstSite;
    uint8_t siteCount;
};

enum class RedirectKind : uint8_t { Load, Twin, Temperature, Masked };
inline constexpr CodePatternId kNoCodePattern = static_cast<CodePatternId>(0xFF);

struct RedirectRecordRow {
    RedirectId installer;
    uint16_t field;          // TimecycleBlock offset the instruction reads
    const uint8_t* shape;    // bytes from the instruction's start up to its disp32
    uint8_t shapeLength;
    CodePatternId pattern;   // masked records: the pattern holding the load
    uint8_t from;            // masked records: the load's offset in the pattern
    uint8_t length;          // the instruction's length
    uint8_t disp;            // the disp32's offset in the instruction
    uint8_t at;              // where the record reads in the cell
};

struct RedirectRow {
    const char* installer;
    RedirectKind kind;
    uint8_t firstRecord;
    uint8_t recordCount;
    uint8_t cellSize;
    std::span<const SlotId> slots;  // the cell's values, in cell order
    const char* applier;            // null: none of its own
    bool hasPart;
    PartId part;  // the tick's part it serves (its applier, or the tick's redirect step)
};

struct EngineMemberRow {
    const char* applier;
    SlotId slot;
    uint16_t offset;  // engine-block field; the mirror lies 1360 bytes on
    EngineGroup group;
    bool owner;  // installs and takes back the group's stores
};

struct CodeSiteLane {
    const char* key;  // visualsettings key, null: the lane is left to the game
    int32_t reserved;
    uint32_t laneOffset;
};

struct CodeSiteRow {
    uint16_t row;  // its number in the full table (0 to kCodeSiteRowCount - 1)
    uint8_t storeLength;
    uint8_t kind;  // kStoreKindMovss, kStoreKindMovups or kStoreKindMovaps
    const uint8_t* pattern;
    const char* mask;
    uint8_t patternLength;
    uint8_t storeCount;
    CodeSiteLane stores[4];
};

const CodePatternRow& CodePattern(CodePatternId id);
MaskedBytes PatternBytes(CodePatternId id);
const ProbeRow& ProbeInfo(ProbeId id);
std::span<const ProbeSiteRow> ProbeSites(ProbeId id);
const RedirectRow& Redirect(RedirectId id);
std::span<const RedirectRecordRow> RedirectRecords(RedirectId id);
std::span<const RedirectRecordRow> AllRedirectRecords();
std::span<const EngineMemberRow> EngineMembers();
// The rows of the generated live writes that this build carries (the rest
// of the full table is absent and never installed).
std::span<const CodeSiteRow> CarriedCodeSiteRows();

}  // namespace runtime
