// What the one pass over the game image (runtime/signature_pass.h) found of
// the game's code for the code patches: the matches of every code pattern
// (code_patterns.tsv) and the rip-relative loads that read the
// TimecycleBlock in the shapes the redirects look for. The pass runs once
// per run, at the first search of the image that needs it; the image's code
// does not change, so what it did not find is not searched for again.
//
// Thread rule: built under Locators.SignaturePassMutex and published by
// the built flag; read-only afterwards (any thread).
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "core/shared_value.h"
#include "runtime/image_search.h"
#include "runtime/patch_tables.h"

namespace runtime {

struct PatternMatches {
    uint32_t count = 0;  // 0, 1, or 2 for two or more
    uint64_t first = 0;  // the first match in address order
};

// The index; built once under the lock, then read by any thread (the rule above).
struct CodeIndexState {
    core::SharedValue<uint8_t> built{0};
    PatternMatches patterns[kCodePatternCount];
    // The loads that read the TimecycleBlock: address, shape (an index of
    // RipLoadShapes) and the field read, in address order.
    struct Load {
        uint64_t address;
        uint16_t shape;
        uint16_t field;
    };
    std::vector<Load> timecycleReads;
};
extern CodeIndexState CodeIndex;
// Forgets the index (tests, with the locators' state; while no pass runs).
void ResetCodeIndex();

// Builds the index when it is not built yet (one pass over the image, with
// whatever else the pass has pending). False without a game image.
bool EnsureCodeIndex();
const PatternMatches& CodePatternMatches(CodePatternId id);
// The only match (0 when none or several) and the first match.
uint64_t CodePatternUnique(CodePatternId id);
uint64_t CodePatternFirst(CodePatternId id);

// The distinct instruction shapes of the redirect records, and a record's.
struct RipLoadShape {
    const uint8_t* bytes;  // up to the disp32
    uint8_t shapeLength;
    uint8_t length;
    uint8_t disp;
    uint8_t anchor;  // offset of the 0F byte
};
std::span<const RipLoadShape> RipLoadShapes();
int ShapeOf(const RedirectRecordRow& record);  // -1 for a masked record
// The instructions of the record's shape whose operand reads
// TimecycleBlock + field, in address order.
std::vector<uint64_t> TimecycleReadsOf(const RedirectRecordRow& record, uint16_t field);

// The first match of bytes inside [from, from + size) of readable
// memory, searched there alone (the small windows the probes look in).
uint64_t FindFirstIn(uint64_t from, uint64_t size, const MaskedBytes& bytes);

namespace detail {

struct RawRipLoad {
    uint64_t address;
    uint64_t target;
    uint16_t shape;
};
bool CodeIndexPending();
void AddCodeIndexPatterns(std::vector<SearchPattern>& patterns);
void MarkRipLoadOpcodes(CodeScan& scan);
// The loads of known shapes whose 0F byte lies at at, with a target in
// [imageBase, imageEnd).
void CollectRipLoads(const Span& span, uint64_t at, uint64_t imageBase, uint64_t imageEnd,
                     std::vector<RawRipLoad>& out);
// patterns: the pass's results of the patterns AddCodeIndexPatterns added.
void SettleCodeIndex(std::span<const SearchPattern> patterns, const std::vector<RawRipLoad>& loads,
                     uint64_t timecycleBlock);

}  // namespace detail
}  // namespace runtime
