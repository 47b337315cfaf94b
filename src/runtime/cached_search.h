// The memory of one search for something in the game (a block, a code
// site, a table): the answer once found, and after a failure whether and
// when to search again. Every locator keeps one and asks it before
// searching, so that a search that found nothing is never repeated on every
// frame.
//
// A search that found something keeps the answer for the run (its owner
// may check it and forget it when it is no longer good). A search that
// found nothing either stands failed until its owner forgets it ("failed
// until something changes": retryAfterMs 0, the one-attempt searches), or
// is due again retryAfterMs after the failure ("retry after N ms"). A
// failure may carry a key (what was searched for): a search for another
// key is due at once.
//
// Thread rule: the answer and the state are SharedValues that any thread may
// read without a lock. A search and its SettleSearch run under the one
// lock the owner names beside its CachedSearch, so that one search runs at
// a time; ForgetSearch under that lock too, or while no search runs. (An
// owner whose searches may overlap harmlessly says so and settles without
// the lock: no access is a data race, and the last settle stands.)
#pragma once
#include <cstdint>
#include <mutex>

#include "core/shared_value.h"

namespace runtime {

// Searches that the runtime repeats after a failure wait this long between
// two attempts.
inline constexpr uint64_t kSearchRetryIntervalMs = 10000;

enum class SearchState : uint8_t {
    NotTried,           // never searched, or forgotten: due at once
    Found,              // the answer is kept
    FailedUntilChange,  // found nothing; due again once forgotten, or for another key
    RetryLater,         // found nothing; due again retryAfterMs after the failure (SearchDue)
};

struct CachedSearch {
    uint64_t retryAfterMs = 0;  // 0: a failure stands until the owner forgets it
    core::SharedValue<uint64_t> answer{0};
    core::SharedValue<uint8_t> settled{0};  // 1 once an attempt ended (found or failed)
    core::SharedValue<uint64_t> failedAtMs{0};
    core::SharedValue<uint64_t> failedKey{0};
};

// The answer once found, else 0.
uint64_t CachedAnswer(const CachedSearch& search);
SearchState StateOf(const CachedSearch& search);
// True when a search should run at nowMs for key: never tried or forgotten,
// or failed for another key, or (retrying searches) failed at least
// retryAfterMs ago. A clock that went back makes a retry due.
bool SearchDue(const CachedSearch& search, uint64_t nowMs, uint64_t key = 0);
// Records one attempt's outcome: a non-zero value is found and kept, 0 is a
// failure at nowMs for key.
void SettleSearch(CachedSearch& search, uint64_t value, uint64_t nowMs, uint64_t key = 0);
// Back to never tried (the answer dropped): the next search is due at once.
void ForgetSearch(CachedSearch& search);

// The common use: the kept answer, 0 while a failure stands, else one run
// of search() (the answer or 0) under lock, the owner's lock for this
// search, settled at now(). now is asked only when no answer is kept.
template <typename Search>
uint64_t FindCached(CachedSearch& cached, std::mutex& lock, uint64_t (*now)(), Search&& search) {
    if (const uint64_t kept = CachedAnswer(cached)) return kept;
    const uint64_t at = now();
    if (!SearchDue(cached, at)) return 0;
    std::lock_guard<std::mutex> guard(lock);
    if (const uint64_t kept = CachedAnswer(cached)) return kept;  // another thread found it meanwhile
    if (!SearchDue(cached, at)) return 0;
    const uint64_t value = search();
    SettleSearch(cached, value, at);
    return value;
}

}  // namespace runtime
