#include "runtime/cached_search.h"

namespace runtime {

uint64_t CachedAnswer(const CachedSearch& search) {
    return search.settled.load(std::memory_order_acquire) ? search.answer.load(std::memory_order_acquire) : 0;
}

SearchState StateOf(const CachedSearch& search) {
    if (!search.settled.load(std::memory_order_acquire)) return SearchState::NotTried;
    if (search.answer.load(std::memory_order_acquire) != 0) return SearchState::Found;
    return search.retryAfterMs == 0 ? SearchState::FailedUntilChange : SearchState::RetryLater;
}

bool SearchDue(const CachedSearch& search, uint64_t nowMs, uint64_t key) {
    if (!search.settled.load(std::memory_order_acquire)) return true;
    if (search.answer.load(std::memory_order_acquire) != 0) return false;
    if (search.failedKey.load(std::memory_order_relaxed) != key) return true;
    return search.retryAfterMs != 0 &&
           nowMs - search.failedAtMs.load(std::memory_order_relaxed) >= search.retryAfterMs;
}

void SettleSearch(CachedSearch& search, uint64_t value, uint64_t nowMs, uint64_t key) {
    search.answer.store(value, std::memory_order_relaxed);
    search.failedAtMs.store(value != 0 ? 0 : nowMs, std::memory_order_relaxed);
    search.failedKey.store(value != 0 ? 0 : key, std::memory_order_relaxed);
    search.settled.store(1, std::memory_order_release);
}

void ForgetSearch(CachedSearch& search) {
    search.settled.store(0, std::memory_order_release);
    search.answer.store(0, std::memory_order_relaxed);
    search.failedAtMs.store(0, std::memory_order_relaxed);
    search.failedKey.store(0, std::memory_order_relaxed);
}

}  // namespace runtime
