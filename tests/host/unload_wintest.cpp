// No thread of ours outlives the unload, and the unload never waits for one
// that has not reached our code. On Windows a new thread takes the loader
// lock before it reaches its entry, and the unload runs under that lock:
// such a thread is abandoned, and once the lock is free it ends without
// running its body. Natively the start of a thread is held at the
// simulated world's gate instead; under Wine the test takes the loader lock
// itself. A thread started just as the unload begins is abandoned or waited
// for too, and the siren search is waited for also while a frame holds the
// sirens' lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "host/detour_gate.h"
#include "host/shutdown.h"
#include "platform/clock.h"
#include "support/thread_waits.h"
#include "visualsettings/puddles.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/visualsettings_entries.h"
#include "weather/sirens_search.h"
#include "weather/sirens_state.h"
#if defined(_WIN32)
#include "wine/loader_lock.h"
#else
#include "platform/simulated.h"
#endif

namespace {

using testsupport::WaitUntil;

#if defined(_WIN32)
// Holds the loader lock, as the unload does, while the threads are started.
class StartsHeld {
public:
    bool Held() const { return lock_.Held(); }
    void TakeStarted() { lock_.TakeNewThreads(); }
    void Release() { lock_.Release(); }
    bool ThreadsEnded() { return lock_.TakenThreadsEnded(10000); }

private:
    winsupport::LoaderLockHold lock_;
};
#else
// Holds the start of every new thread at the simulated world's gate.
class StartsHeld {
public:
    bool Held() const { return true; }
    void TakeStarted() { WaitUntil([this] { return platform::sim::ThreadStartsHeld() > held_; }); ++held_; }
    void Release() { platform::sim::HoldThreadStarts(false); }
    bool ThreadsEnded() {
        return WaitUntil([this] { return platform::sim::AbandonedThreadsEnded() - abandoned_ >= uint64_t(held_); },
                         std::chrono::seconds(10));
    }

private:
    uint64_t abandoned_ = platform::sim::AbandonedThreadsEnded();
    testsupport::HeldThreadStarts hold_;
    int held_ = 0;
};
#endif

std::atomic<bool> g_sirenSearchRan{false};

void ResetThreadOwners() {
    host::ResetShutdownState();
    visualsettings::ResetVisualSettingsForTesting();
    weather::ResetSirenState();
}

struct StartedThread {
    const char* name;
    void (*start)();
    bool (*bodyRan)();  // null: its body leaves no trace
};

const StartedThread kThreads[] = {
    {"the runtime-table search", [] { ASSERT_TRUE(visualsettings::StartDeferredRuntimeProbe()); },
     [] { return visualsettings::RuntimeTable.finished.Get() != 0; }},
    {"the puddles keeper",
     [] {
         visualsettings::Puddles.mode.Set(1);
         visualsettings::StartPuddlesKeeperWhenAsked();
         ASSERT_NE(visualsettings::Puddles.keeperThread.Get(), 0u);
     },
     nullptr},
    {"the siren search",
     [] {
         std::lock_guard<std::mutex> lock(weather::Sirens.lock);
         weather::Sirens.scan = [] {
             g_sirenSearchRan = true;
             return uint64_t(0);
         };
         weather::StartSirenLoad(false);
         ASSERT_NE(weather::Sirens.worker, 0u);
     },
     [] { return g_sirenSearchRan.load(); }},
};

// Each thread is started while its start is held; the unload returns at
// once instead of waiting for it, and once the hold is lifted the thread
// ends without running its body. Waited for as a running thread is, the
// thread would hold the unload until the hold is lifted: the test then
// fails after 5 s and lifts it.
TEST(Unload, AThreadThatHasNotReachedOurCodeIsAbandonedNotWaitedFor) {
    for (const StartedThread& row : kThreads) {
        SCOPED_TRACE(row.name);
        ResetThreadOwners();
        g_sirenSearchRan = false;
        host::Shutdown.DetourDrainTimeoutMs = 1000;
        std::atomic<bool> running{false}, go{false}, returned{false};
        std::thread unload([&] {  // started before the hold: its own start needs the loader lock
            running = true;
            if (!WaitUntil([&] { return go.load(); }, std::chrono::seconds(10))) return;
            host::ShutdownEditor();
            returned = true;
        });
        if (!WaitUntil([&] { return running.load(); })) {
            go = true;
            unload.join();
            FAIL() << "the test's unload thread did not start";
        }
        {
            StartsHeld held;
            if (!held.Held()) {
                go = true;
                unload.join();
                FAIL() << "the loader lock could not be taken";
            }
            row.start();
            held.TakeStarted();
            go = true;
            EXPECT_TRUE(WaitUntil([&] { return returned.load(); })) << "the unload waits for a thread that has not started";
            held.Release();
            unload.join();
            EXPECT_TRUE(held.ThreadsEnded()) << "the abandoned thread ends once its start goes on";
        }
        if (row.bodyRan != nullptr) {
            EXPECT_FALSE(row.bodyRan()) << "the abandoned thread ran its body";
        }
    }
    ResetThreadOwners();
}

// A frame still inside a detour when the drain wait ends holds the sirens'
// lock (it draws the panel): the unload cannot drop the sirens' copies, but
// it still cancels the siren search and returns only once the search's
// thread has ended, under the loader lock on Windows as in a real unload.
// An unload that left the search running fails at once; the frame lets the
// lock go afterwards. No search starts after the unload.
std::atomic<bool> g_sirenSearching{false};

TEST(Unload, TheSirenSearchHasEndedWhenTheUnloadReturnsWhileAFrameHoldsTheSirensLock) {
    ResetThreadOwners();
    host::Shutdown.DetourDrainTimeoutMs = 50;
    g_sirenSearching = false;
    weather::Sirens.scan = [] {
        g_sirenSearching = true;
        WaitUntil([] { return weather::Sirens.workerCancel.Get() != 0; }, std::chrono::seconds(10));
        return uint64_t(0);
    };
    {
        std::lock_guard<std::mutex> lock(weather::Sirens.lock);
        weather::StartSirenLoad(false);
    }
    const uint64_t worker = weather::Sirens.worker;
    ASSERT_NE(worker, 0u);
    ASSERT_TRUE(WaitUntil([] { return g_sirenSearching.load(); })) << "the search runs";
    std::atomic<bool> drawing{false}, leave{false}, returned{false}, searchEnded{false};
    std::thread frame([&] {
        host::DetourScope inside;
        std::lock_guard<std::mutex> lock(weather::Sirens.lock);
        drawing = true;
        WaitUntil([&] { return leave.load(); }, std::chrono::seconds(10));
    });
    if (WaitUntil([&] { return drawing.load(); })) {
        std::thread unload([&] {
#if defined(_WIN32)
            winsupport::LoaderLockHold loader;
#endif
            host::ShutdownEditor();
            searchEnded = platform::WaitForThread(worker, 0);
            returned = true;
        });
        EXPECT_TRUE(WaitUntil([&] { return returned.load(); })) << "the unload did not return";
        leave = true;
        unload.join();
    } else {
        ADD_FAILURE() << "the frame did not take the lock";
    }
    leave = true;
    frame.join();
    EXPECT_TRUE(searchEnded.load()) << "the unload returned while the siren search still ran";
    EXPECT_TRUE(platform::WaitForThread(worker, 10000)) << "the search ended once the frame let the lock go";
    {
        std::lock_guard<std::mutex> lock(weather::Sirens.lock);
        weather::StartSirenLoad(false);
        EXPECT_EQ(weather::Sirens.worker, 0u) << "a search started after the unload";
        EXPECT_EQ(weather::Sirens.SirenLoadStatus, "Vehicle Sirens could not start loading.");
    }
    ResetThreadOwners();
}

// Two threads of the test that run one step each per round: the first
// lane's step begins, and the second lane's begins a delay after it has
// (measured from that beginning, not from a moment both wait for, so that
// the order holds also when the lanes share one busy core). Started once,
// before any hold: on Windows a thread's start needs the loader lock.
class RaceLanes {
public:
    RaceLanes() {
        for (int i = 0; i < 2; ++i) lanes_[i] = std::thread([this, i] { Run(i); });
    }
    ~RaceLanes() {
        quit_ = true;
        for (std::thread& lane : lanes_) lane.join();
    }
    RaceLanes(const RaceLanes&) = delete;
    RaceLanes& operator=(const RaceLanes&) = delete;
    bool Running() { return WaitUntil([this] { return running_.load() == 2; }); }
    // Runs first, and second once first has begun and delay has passed;
    // false when they have not both finished within 10 s.
    bool Race(std::function<void()> first, std::function<void()> second, std::chrono::microseconds delay) {
        steps_[0] = std::move(first);
        steps_[1] = std::move(second);
        delay_ = delay;
        began_ = false;
        finished_ = 0;
        round_.fetch_add(1);
        return WaitUntil([this] { return finished_.load() == 2; }, std::chrono::seconds(10));
    }

private:
    void Run(int i) {
        running_.fetch_add(1);
        int seen = 0;
        while (!quit_) {
            if (round_.load() == seen) {
                std::this_thread::yield();
                continue;
            }
            seen = round_.load();
            if (i == 0) {
                began_ = true;
            } else {
                while (!began_.load()) std::this_thread::yield();
                const auto until = std::chrono::steady_clock::now() + delay_;
                while (std::chrono::steady_clock::now() < until) {
                }
            }
            steps_[i]();
            finished_.fetch_add(1);
        }
    }
    std::thread lanes_[2];
    std::function<void()> steps_[2];
    std::chrono::microseconds delay_{};
    std::atomic<int> round_{0}, finished_{0}, running_{0};
    std::atomic<bool> began_{false}, quit_{false};
};

struct RacingStart {
    const char* name;
    void (*start)();
    uint32_t (*claimed)();   // the start passed its check
    uint64_t (*recorded)();  // the thread's id as its owner keeps it
    bool (*bodyRan)();       // null: its body leaves no trace
};

const RacingStart kRacingStarts[] = {
    {"the runtime-table search", [] { visualsettings::StartDeferredRuntimeProbe(); },
     [] { return visualsettings::RuntimeTable.started.Get(); },
     [] { return visualsettings::RuntimeTable.thread.Get(); },
     [] { return visualsettings::RuntimeTable.finished.Get() != 0; }},
    {"the puddles keeper",
     [] {
         visualsettings::Puddles.mode.Set(1);
         visualsettings::StartPuddlesKeeperWhenAsked();
     },
     [] { return visualsettings::Puddles.keeperStarted.Get(); },
     [] { return visualsettings::Puddles.keeperThread.Get(); }, nullptr},
    {"the siren search",
     [] {
         std::lock_guard<std::mutex> lock(weather::Sirens.lock);
         weather::Sirens.scan = [] {
             g_sirenSearchRan = true;
             return uint64_t(0);
         };
         weather::StartSirenLoad(false);
     },
     // A load refused once the unload has begun says so at once.
     [] { return uint32_t(weather::Sirens.SirenLoadStatus == "Loading..."); },
     [] { return weather::Sirens.worker; },
     [] { return g_sirenSearchRan.load(); }},
};

// A thread started on one thread just as the unload begins on another, in
// both orders (the other begins a little later each try; the siren search
// started by a frame's load): the start's check, its start and its record
// of the thread are one step against the unload's stop and its read, so a
// thread that started is abandoned (its start is held, as the loader lock
// holds it in a real unload) and none is left recorded once the unload has
// returned. A thread left behind fails the try and ends once its start
// goes on.
TEST(Unload, AThreadStartedAsTheUnloadBeginsIsNeverLeftBehind) {
#if defined(_WIN32)
    constexpr int kTries = 120;  // Wine creates a thread through its server: a slow start, soon met
#else
    constexpr int kTries = 400;
#endif
    constexpr int kSteps = 20;  // delays of 0 to 38 us on either side
    RaceLanes lanes;
    ASSERT_TRUE(lanes.Running()) << "the test's own threads did not start";
    for (const RacingStart& row : kRacingStarts) {
        SCOPED_TRACE(row.name);
        int started = 0;
        bool leftBehind = false;
        for (int i = 0; i < kTries && !leftBehind; ++i) {
            ResetThreadOwners();
            g_sirenSearchRan = false;
            const auto offset = std::chrono::microseconds(2 * (i % kSteps));
            const bool startFirst = (i / kSteps) % 2 == 0;
            StartsHeld held;
            ASSERT_TRUE(held.Held()) << "the loader lock could not be taken";
            const auto unload = [] { host::ShutdownEditor(); };
            const bool raced = startFirst ? lanes.Race(row.start, unload, offset) : lanes.Race(unload, row.start, offset);
            const uint64_t left = row.recorded();
            const bool claimed = row.claimed() != 0;
            if (claimed) held.TakeStarted();
            held.Release();
            ASSERT_TRUE(raced) << "try " << i << ": the start or the unload did not return";
            if (left != 0) {
                platform::WaitForThread(left, 10000);
                ADD_FAILURE() << "try " << i << ": a thread started as the unload began was left behind";
                leftBehind = true;
                continue;
            }
            if (!claimed) continue;
            ++started;
            EXPECT_TRUE(held.ThreadsEnded()) << "try " << i << ": the abandoned thread ends once its start goes on";
            if (row.bodyRan != nullptr) {
                ASSERT_FALSE(row.bodyRan()) << "try " << i << ": the abandoned thread ran its body";
            }
        }
        EXPECT_TRUE(leftBehind || started > 0) << "no start came before the unload's stop";
    }
    ResetThreadOwners();
}

}  // namespace
