// The test program's watchdog: one thread that ends the program when the
// running test or a Deadline's scope has outlived its limit.
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/thread_waits.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

// How much slower than a native build this build runs the tests, measured
// on the slowest tests (a test that takes 2 s natively takes about 10 s
// under AddressSanitizer and 25 s under ThreadSanitizer), with room for a
// machine whose cores are shared with other work.
#if defined(__SANITIZE_THREAD__)
constexpr double kBuildScale = 5;
#elif defined(__SANITIZE_ADDRESS__)
constexpr double kBuildScale = 3;
#elif defined(_WIN32)
constexpr double kBuildScale = 2;  // under Wine
#else
constexpr double kBuildScale = 1;
#endif

double ReadTimeScale() {
    double scale = kBuildScale;
    const char* text = std::getenv("VARNEL_TEST_TIME_SCALE");
    if (text == nullptr || *text == 0) return scale;
    char* end = nullptr;
    const double factor = std::strtod(text, &end);
    if (end == text || *end != 0 || !std::isfinite(factor) || factor < 1 || factor > 1000) {
        std::fprintf(stderr, "VARNEL_TEST_TIME_SCALE=%s is no number from 1 to 1000: the limits stay as they are\n",
                     text);
        return scale;
    }
    return scale * factor;
}

std::chrono::seconds ScaledSeconds(std::chrono::seconds limit) {
    return std::chrono::seconds(static_cast<int64_t>(std::ceil(static_cast<double>(limit.count()) * TimeScale())));
}

struct Watch {
    uint64_t id = 0;  // kTestWatch: the running test's own
    std::string what;
    std::chrono::seconds limit{};  // scaled
    Clock::time_point deadline;
};
constexpr uint64_t kTestWatch = 0;

struct WatchdogState {
    std::mutex mutex;
    std::condition_variable changed;
    std::string test = "(between tests)";  // the running test's name
    std::vector<Watch> watches;
    uint64_t next = kTestWatch + 1;
    bool stop = false;
    std::thread thread;
    std::once_flag threadStarted, listenerAdded;
};
// Never destroyed: the watchdog's thread may run to the end of the process.
WatchdogState& Dog() {
    static WatchdogState* state = new WatchdogState;
    return *state;
}

// Said on standard output, as GoogleTest's own verdicts are: a death
// test's parent has its standard error redirected while its child runs.
[[noreturn]] void Bite(const std::string& test, const Watch& watch) {
    std::printf("\n[  TIMEOUT ] %s: %s has not ended after %lld s; the test program ends here\n", test.c_str(),
                watch.what.c_str(), static_cast<long long>(watch.limit.count()));
    std::fflush(stdout);
    std::_Exit(1);
}

void WatchForever() {
    WatchdogState& dog = Dog();
    std::unique_lock<std::mutex> lock(dog.mutex);
    while (!dog.stop) {
        const Watch* first = nullptr;
        for (const Watch& w : dog.watches)
            if (first == nullptr || w.deadline < first->deadline) first = &w;
        if (first == nullptr) {
            dog.changed.wait(lock);
        } else if (Clock::now() >= first->deadline) {
            Bite(dog.test, *first);
        } else {
            const Clock::time_point until = first->deadline;  // the watches may move while it waits
            dog.changed.wait_until(lock, until);
        }
    }
}

void StartThread() {
    std::call_once(Dog().threadStarted, [] { Dog().thread = std::thread(WatchForever); });
}

void Add(Watch watch) {
    WatchdogState& dog = Dog();
    {
        std::lock_guard<std::mutex> lock(dog.mutex);
        dog.watches.push_back(std::move(watch));
    }
    dog.changed.notify_one();
}

void Remove(uint64_t id) {
    WatchdogState& dog = Dog();
    std::lock_guard<std::mutex> lock(dog.mutex);
    std::erase_if(dog.watches, [id](const Watch& w) { return w.id == id; });
}

class TestWatch : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& test) override {
        {
            std::lock_guard<std::mutex> lock(Dog().mutex);
            Dog().test = std::string(test.test_suite_name()) + "." + test.name();
        }
        const std::chrono::seconds limit = ScaledSeconds(kTestLimit);
        Add({kTestWatch, "the test", limit, Clock::now() + limit});
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        Remove(kTestWatch);
        std::lock_guard<std::mutex> lock(Dog().mutex);
        Dog().test = "(between tests)";
    }
};

}  // namespace

double TimeScale() {
    static const double scale = ReadTimeScale();
    return scale;
}

void StartWatchdog() {
    StartThread();
    std::call_once(Dog().listenerAdded, [] {
        ::testing::UnitTest::GetInstance()->listeners().Append(new TestWatch);
        // A death test's child started afresh gets no test events: it is
        // watched whole, and ends before its parent's test would, so that
        // the parent reports it (and no child is left holding the output).
        if (!GTEST_FLAG_GET(internal_run_death_test).empty()) {
            const std::chrono::seconds limit = ScaledSeconds(kTestLimit - std::chrono::seconds(10));
            {
                std::lock_guard<std::mutex> lock(Dog().mutex);
                Dog().test = GTEST_FLAG_GET(filter);
            }
            Add({kTestWatch, "the death test's child", limit, Clock::now() + limit});
        }
    });
}

void StopWatchdog() {
    WatchdogState& dog = Dog();
    {
        std::lock_guard<std::mutex> lock(dog.mutex);
        dog.stop = true;
    }
    dog.changed.notify_one();
    if (dog.thread.joinable()) dog.thread.join();
}

Deadline::Deadline(const char* what, std::chrono::seconds limit) {
    StartThread();
    {
        std::lock_guard<std::mutex> lock(Dog().mutex);
        id_ = Dog().next++;
    }
    const std::chrono::seconds scaled = ScaledSeconds(limit);
    Add({id_, what, scaled, Clock::now() + scaled});
}

Deadline::~Deadline() { Remove(id_); }

}  // namespace testsupport
