#include "runtime/signature_pass.h"

#include "runtime/locator_state.h"
#include "runtime/scans.h"

namespace runtime::detail {

void RunSignaturePassLocked() {
    std::vector<SearchPattern> patterns;
    const bool timecycle = TimecycleSearchPending();
    if (timecycle) AddTimecyclePatterns(patterns);
    const bool puddle = PuddleSearchPending();
    const size_t puddleIndex = patterns.size();
    if (puddle) AddPuddlePattern(patterns);
    const size_t firstSignature = patterns.size();
    std::vector<int> ids;
    AddDataSignaturePatterns(patterns, ids);
    const uint64_t base = GameImageBase();
    const uint64_t size = GetGameImageSize();
    std::vector<platform::MemoryRegion> regions;
    if (base != 0 && size != 0) SearchPatterns(base, size, patterns, &regions);
    if (timecycle) SettleTimecycleBlock(patterns[0], patterns[1]);
    if (puddle) SettlePuddleSite(patterns[puddleIndex]);
    for (size_t i = 0; i < ids.size(); ++i) SettleDataSignature(ids[i], patterns[firstSignature + i], regions);
}

uint64_t AnswerOfPass(CachedSearch& search) {
    if (StateOf(search) != SearchState::NotTried) return CachedAnswer(search);
    std::lock_guard<std::mutex> lock(Locators.SignaturePassMutex);
    if (StateOf(search) == SearchState::NotTried) RunSignaturePassLocked();
    return CachedAnswer(search);
}

}  // namespace runtime::detail
