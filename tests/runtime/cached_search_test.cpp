// The cached search: when a search is due again after a failure, what a
// found answer and a forgotten search do, and that one search runs at a time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "runtime/cached_search.h"

namespace {

using namespace runtime;

constexpr uint64_t kNone = UINT64_MAX;  // no attempt at this step

// One step of a search's life: is it due at now for key, then (unless
// kNone) the outcome of an attempt, then its state.
struct Step {
    uint64_t now, key;
    bool due;
    uint64_t outcome;
    SearchState after;
};

TEST(CachedSearch, DueAfterFailuresByRuleKeyAndClock) {
    using S = SearchState;
    const struct {
        const char* what;
        uint64_t retryAfterMs;
        std::vector<Step> steps;
    } rows[] = {
        {"one attempt", 0, {{0, 0, true, 0, S::FailedUntilChange}, {1'000'000'000, 0, false, kNone, S::FailedUntilChange}}},
        {"one attempt per key", 0,
         {{5, 7, true, 0, S::FailedUntilChange}, {6, 7, false, kNone, S::FailedUntilChange},
          {7, 8, true, 0, S::FailedUntilChange}, {8, 7, true, kNone, S::FailedUntilChange}}},
        {"retry after the interval", 10'000,
         {{100, 0, true, 0, S::RetryLater}, {10'099, 0, false, kNone, S::RetryLater},
          {10'100, 0, true, 0, S::RetryLater}, {20'099, 0, false, kNone, S::RetryLater}}},
        {"a clock that went back", 10'000, {{5'000, 0, true, 0, S::RetryLater}, {1'000, 0, true, kNone, S::RetryLater}}},
        {"found is kept", 10'000,
         {{0, 0, true, 0x1234, S::Found}, {50'000, 0, false, kNone, S::Found}, {60'000, 9, false, kNone, S::Found}}},
    };
    for (const auto& r : rows) {
        CachedSearch search{r.retryAfterMs};
        EXPECT_TRUE(StateOf(search) == S::NotTried && SearchDue(search, 0));
        for (size_t i = 0; i < r.steps.size(); ++i) {
            const Step& s = r.steps[i];
            EXPECT_EQ(SearchDue(search, s.now, s.key), s.due) << r.what << " step " << i;
            if (s.outcome != kNone) SettleSearch(search, s.outcome, s.now, s.key);
            EXPECT_EQ(StateOf(search), s.after) << r.what << " step " << i;
            EXPECT_EQ(CachedAnswer(search), s.after == S::Found ? 0x1234u : 0u) << r.what << " step " << i;
        }
        ForgetSearch(search);
        EXPECT_TRUE(StateOf(search) == S::NotTried && SearchDue(search, 1) && CachedAnswer(search) == 0) << r.what;
    }
}

uint64_t g_nowMs = 0;
int g_clockReads = 0;
uint64_t FakeClock() {
    ++g_clockReads;
    return g_nowMs;
}
uint64_t StoppedClock() { return 0; }

// A missing block asked for every frame is searched once per interval;
// once found, no search and no clock reading; several threads asking at
// once run one search.
TEST(CachedSearch, FindCachedSearchesAtTheBoundedRateAndOnce) {
    CachedSearch search{kSearchRetryIntervalMs};
    std::mutex lock;
    int searches = 0;
    uint64_t present = 0;
    const auto find = [&] {
        return FindCached(search, lock, FakeClock, [&] {
            ++searches;
            return present;
        });
    };
    for (int frame = 0; frame < 1000; ++frame, g_nowMs += 16) EXPECT_EQ(find(), 0u);
    EXPECT_EQ(searches, 2);  // at 0 and at 10,000 ms
    present = 0xB10C;
    g_nowMs += kSearchRetryIntervalMs;
    EXPECT_EQ(find(), 0xB10Cu);
    g_clockReads = 0;
    for (int frame = 0; frame < 100; ++frame) EXPECT_EQ(find(), 0xB10Cu);
    EXPECT_TRUE(searches == 3 && g_clockReads == 0);

    CachedSearch shared;
    std::atomic<int> runs{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            FindCached(shared, lock, StoppedClock, [&] {
                ++runs;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return uint64_t{0};
            });
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(runs.load(), 1);
}

}  // namespace
