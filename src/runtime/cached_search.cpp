#include "runtime/cached_search.h"

namespace runtime {

uint64_t CachedAnswer(const CachedSearch& search) {
    return search.settled.Get() ? search.answer.Get() : 0;
}

SearchState StateOf(const CachedSearch& search) {
    if (!search.settled.Get()) return SearchState::NotTried;
    if (search.answer.Get() != 0) return SearchState::Found;
    return search.retryAfterMs == 0 ? SearchState::FailedUntilChange : SearchState::RetryLater;
}

bool SearchDue(const CachedSearch& search, uint64_t nowMs, uint64_t key) {
    if (!search.settled.Get()) return true;
    if (search.answer.Get() != 0) return false;
    if (search.failedKey.Get() != key) return true;
    return search.retryAfterMs != 0 &&
           nowMs - search.failedAtMs.Get() >= search.retryAfterMs;
}

void SettleSearch(CachedSearch& search, uint64_t value, uint64_t nowMs, uint64_t key) {
    search.answer.Set(value);
    search.failedAtMs.Set(value != 0 ? 0 : nowMs);
    search.failedKey.Set(value != 0 ? 0 : key);
    search.settled.Set(1);
}

void ForgetSearch(CachedSearch& search) {
    search.settled.Set(0);
    search.answer.Set(0);
    search.failedAtMs.Set(0);
    search.failedKey.Set(0);
}

}  // namespace runtime
