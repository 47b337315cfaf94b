// The unload never waits for a thread of ours that has not reached our code.
// On Windows a new thread takes the loader lock before it reaches its entry,
// and the unload runs under that lock: such a thread is abandoned, and once
// the lock is free it ends without running its body. Natively the start of
// a thread is held at the simulated world's gate instead; under Wine the
// test takes the loader lock itself.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "host/shutdown.h"
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
        std::atomic<bool> go{false}, returned{false};
        std::thread unload([&] {  // started before the hold: it needs its own start
            if (!WaitUntil([&] { return go.load(); }, std::chrono::seconds(10))) return;
            host::ShutdownEditor();
            returned = true;
        });
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

}  // namespace
