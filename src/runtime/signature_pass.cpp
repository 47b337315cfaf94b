#include "runtime/signature_pass.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "runtime/block_locators.h"
#include "runtime/code_index.h"
#include "runtime/locator_state.h"
#include "runtime/scans.h"
#include "runtime/shared_image_search.h"

namespace runtime::detail {
namespace {

// What the instruction scan of the pass collects.
struct Collected {
    uint64_t imageBase = 0;
    uint64_t imageEnd = 0;
    bool loads = false;
    std::vector<RawRipLoad> ripLoads;
};

void OnOpcode(void* context, const Span& span, uint64_t at) {
    Collected& c = *static_cast<Collected*>(context);
    if (c.loads) CollectRipLoads(span, at, c.imageBase, c.imageEnd, c.ripLoads);
}

}  // namespace

void RunSignaturePassLocked() {
    std::vector<SearchPattern> patterns;
    const bool timecycle = TimecycleSearchPending();
    if (timecycle) AddTimecyclePatterns(patterns);
    const bool puddle = PuddleSearchPending();
    const size_t puddleIndex = patterns.size();
    if (puddle) AddPuddlePattern(patterns);
    const bool values = ValueBlocksPending();
    const size_t valueIndex = patterns.size();
    if (values) AddValueBlockPatterns(patterns);
    const bool code = CodeIndexPending();
    const size_t codeIndex = patterns.size();
    if (code) AddCodeIndexPatterns(patterns);
    const bool secondary = SecondarySearchPending();
    std::vector<uint64_t> storeHits[kSecondaryBlockSignatureCount];
    if (secondary) AddSecondaryStorePatterns(patterns, storeHits);
    const size_t firstSignature = patterns.size();
    std::vector<int> ids;
    AddDataSignaturePatterns(patterns, ids);
    const size_t firstShared = patterns.size();
    std::vector<SharedImageSearch*> shared;
    for (SharedImageSearch* search : Locators.SharedSearches) {
        if (StateOf(search->result) != SearchState::NotTried) continue;
        const size_t length = search->mask != nullptr ? std::strlen(search->mask) : 0;
        if (search->bytes == nullptr || length == 0) {
            SettleSearch(search->result, 0, platform::TickCount64());
            continue;
        }
        patterns.push_back({search->bytes, search->mask, length});
        shared.push_back(search);
    }
    const uint64_t base = GameImageBase();
    const uint64_t size = GetGameImageSize();
    Collected collected;
    collected.imageBase = base;
    collected.imageEnd = base + size;
    collected.loads = code;
    CodeScan scan;
    scan.context = &collected;
    scan.onOpcode = OnOpcode;
    if (code) MarkRipLoadOpcodes(scan);
    std::vector<platform::MemoryRegion> regions;
    uint64_t bytes = 0;
    if (base != 0 && size != 0) {
        SearchPatterns(base, size, patterns, &regions, code ? &scan : nullptr, &bytes);
        Locators.ImagePasses.FetchAdd(1);
        Locators.LastPassBytes.Set(bytes);
    }
    if (timecycle) SettleTimecycleBlock(patterns[0], patterns[1]);
    if (puddle) SettlePuddleSite(patterns[puddleIndex]);
    if (values) SettleValueBlocks(patterns[valueIndex], patterns[valueIndex + 1]);
    if (secondary) SettleSecondaryBlock(storeHits);
    for (size_t i = 0; i < ids.size(); ++i) SettleDataSignature(ids[i], patterns[firstSignature + i], regions);
    const uint64_t now = platform::TickCount64();
    for (size_t i = 0; i < shared.size(); ++i) SettleSearch(shared[i]->result, patterns[firstShared + i].UniqueHit(), now);
    // Last: the loads are kept by the TimecycleBlock, settled above.
    if (code && base != 0 && size != 0)
        SettleCodeIndex(std::span<const SearchPattern>(patterns).subspan(codeIndex, kCodePatternCount),
                        collected.ripLoads, CachedAnswer(Locators.TimecycleBlock));
}

uint64_t AnswerOfPass(CachedSearch& search) {
    if (StateOf(search) != SearchState::NotTried) return CachedAnswer(search);
    std::lock_guard<std::mutex> lock(Locators.SignaturePassMutex);
    if (StateOf(search) == SearchState::NotTried) RunSignaturePassLocked();
    return CachedAnswer(search);
}

}  // namespace runtime::detail

namespace runtime {

void RegisterSharedImageSearch(SharedImageSearch& search) {
    std::lock_guard<std::mutex> lock(Locators.SignaturePassMutex);
    std::vector<SharedImageSearch*>& list = Locators.SharedSearches;
    if (std::find(list.begin(), list.end(), &search) == list.end()) list.push_back(&search);
}

uint64_t SharedImageSearchHit(SharedImageSearch& search) {
    if (StateOf(search.result) != SearchState::NotTried) return CachedAnswer(search.result);
    RegisterSharedImageSearch(search);
    return detail::AnswerOfPass(search.result);
}

}  // namespace runtime
