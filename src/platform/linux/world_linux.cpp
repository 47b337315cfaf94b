// Linux stand-ins for what only Windows and the game provide: key state,
// cursor, game window, clock, threads, the script host with its natives and
// the folder dialog. Each is driven by tests through simulated.h.
#include <time.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/folder_dialog.h"
#include "platform/input.h"
#include "platform/script_host.h"
#include "platform/simulated.h"

namespace platform {
namespace {

std::array<std::atomic<uint8_t>, 256> g_keyDown{};
std::array<std::atomic<uint8_t>, 256> g_keyPressedSince{};
std::atomic<bool> g_foreground{true};
std::atomic<int> g_cursorCount{0};

std::atomic<bool> g_manualClock{false};
std::atomic<uint64_t> g_manualNow{1000000};
std::atomic<int> g_failThreadStarts{0};
std::atomic<uint64_t> g_abandonedThreadsEnded{0};

// A gate that holds every thread passing it while it is shut (tests: a
// thread that does not come back from its sleep in time, a new thread that
// has not reached its body yet).
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool shut = false;
    int waiting = 0;
};
Gate& Sleeps() {
    static Gate* gate = new Gate;  // never destroyed: a held sleeper may outlive the process's statics
    return *gate;
}
Gate& ThreadStarts() {
    static Gate* gate = new Gate;  // never destroyed, as above
    return *gate;
}

void PassGate(Gate& gate) {
    std::unique_lock<std::mutex> lock(gate.mutex);
    if (!gate.shut) return;
    ++gate.waiting;
    gate.opened.wait(lock, [&gate] { return !gate.shut; });
    --gate.waiting;
}

void ShutGate(Gate& gate, bool shut) {
    {
        std::lock_guard<std::mutex> lock(gate.mutex);
        gate.shut = shut;
    }
    gate.opened.notify_all();
}

int WaitingAtGate(Gate& gate) {
    std::lock_guard<std::mutex> lock(gate.mutex);
    return gate.waiting;
}

struct ScriptHostWorld {
    std::mutex mutex;
    ScriptMainFunction registered = nullptr;
    std::function<void(uint32_t)> waitHook;
    std::map<uint64_t, sim::NativeHandler> handlers;
    std::vector<sim::NativeCallRecord> log;
    std::vector<uint64_t> unknown;
    uint64_t pendingHash = 0;
    std::vector<uint64_t> pendingArgs;
    std::array<uint64_t, 16> result{};
};

ScriptHostWorld& Host() {
    static ScriptHostWorld host;
    return host;
}

struct DialogWorld {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<std::optional<std::string>> answers;
    bool hold = false;
    int releases = 0;
    int shown = 0;
    bool failApartment = false;
};

DialogWorld& Dialogs() {
    static DialogWorld dialogs;
    return dialogs;
}

}  // namespace

uint16_t AsyncKeyState(int virtualKey) {
    if (virtualKey < 0 || virtualKey > 255) return 0;
    uint16_t state = g_keyDown[static_cast<size_t>(virtualKey)].load() ? 0x8000u : 0u;
    if (g_keyPressedSince[static_cast<size_t>(virtualKey)].exchange(0)) state |= 1u;
    return state;
}

bool GameWindowIsForeground() { return g_foreground.load(); }

void ReleaseAndShowCursor() {
    for (int i = 0; i < 32 && g_cursorCount.load() < 0; ++i) g_cursorCount.fetch_add(1);
}

void HideCursorAgain() {
    for (int i = 0; i < 32 && g_cursorCount.load() >= 0; ++i) g_cursorCount.fetch_sub(1);
}

uint64_t TickCount64() {
    if (g_manualClock.load()) return g_manualNow.load();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void SleepMilliseconds(uint32_t ms) {
    PassGate(Sleeps());
    if (g_manualClock.load()) {
        g_manualNow.fetch_add(ms);
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool StartDetachedThread(std::function<void()> body) {
    int left = g_failThreadStarts.load();
    while (left > 0) {
        if (g_failThreadStarts.compare_exchange_weak(left, left - 1)) return false;
    }
    try {
        std::thread(std::move(body)).detach();
    } catch (...) {
        return false;
    }
    return true;
}

namespace {

// A started thread's state: not started until it has passed the start
// gate and taken itself to running; the unload may take a thread that has
// not started to abandoned instead.
enum ThreadState : uint8_t { kThreadNotStarted, kThreadRunning, kThreadEnded, kThreadAbandoned };

// A started thread: joined once its body has said it ended.
struct Joinable {
    std::thread thread;
    std::shared_ptr<std::atomic<uint8_t>> state;
};
// Never destroyed: a thread that outlives its wait stays in the table to
// the end of the process, which must not end by destroying a thread that
// can still be joined.
struct ThreadTable {
    std::mutex mutex;
    std::map<uint64_t, Joinable> threads;
    uint64_t next = 1;
};
ThreadTable& Threads() {
    static ThreadTable* table = new ThreadTable;
    return *table;
}

}  // namespace

uint64_t StartThread(std::function<void()> body) {
    if (!body) return 0;
    int left = g_failThreadStarts.load();
    while (left > 0) {
        if (g_failThreadStarts.compare_exchange_weak(left, left - 1)) return 0;
    }
    auto state = std::make_shared<std::atomic<uint8_t>>(kThreadNotStarted);
    ThreadTable& table = Threads();
    std::lock_guard<std::mutex> lock(table.mutex);
    try {
        std::thread thread([body = std::move(body), state] {
            // Where a Windows thread waits for the loader lock before its entry.
            PassGate(ThreadStarts());
            uint8_t expected = kThreadNotStarted;
            if (!state->compare_exchange_strong(expected, kThreadRunning)) {  // abandoned
                g_abandonedThreadsEnded.fetch_add(1);
                return;
            }
            body();
            state->store(kThreadEnded);
        });
        const uint64_t id = table.next++;
        table.threads[id] = Joinable{std::move(thread), state};
        return id;
    } catch (...) {
        return 0;
    }
}

bool WaitForThread(uint64_t thread, uint32_t timeoutMs) {
    std::shared_ptr<std::atomic<uint8_t>> state;
    ThreadTable& table = Threads();
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.threads.find(thread);
        if (it == table.threads.end()) return true;
        state = it->second.state;
    }
    // Real time: a test's manual clock must not make the wait end early.
    const auto start = std::chrono::steady_clock::now();
    while (state->load() != kThreadEnded) {
        if (timeoutMs != kWaitForever && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeoutMs))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::thread done;
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.threads.find(thread);
        if (it == table.threads.end()) return true;
        done = std::move(it->second.thread);
        table.threads.erase(it);
    }
    if (done.joinable()) done.join();
    return true;
}

bool AbandonOrWaitForThread(uint64_t thread, uint32_t timeoutMs) {
    ThreadTable& table = Threads();
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.threads.find(thread);
        if (it == table.threads.end()) return true;
        uint8_t expected = kThreadNotStarted;
        if (it->second.state->compare_exchange_strong(expected, kThreadAbandoned)) {
            // It ends as soon as it passes the start gate, without its body.
            it->second.thread.detach();
            table.threads.erase(it);
            return true;
        }
    }
    return WaitForThread(thread, timeoutMs);
}

// The simulated world has one priority.
void LowerCurrentThreadPriority() {}

void ScriptRegister(void* /*module*/, ScriptMainFunction main) {
    std::lock_guard<std::mutex> lock(Host().mutex);
    Host().registered = main;
}

void ScriptUnregister(void* /*module*/) {
    std::lock_guard<std::mutex> lock(Host().mutex);
    Host().registered = nullptr;
}

void ScriptWait(uint32_t ms) {
    std::function<void(uint32_t)> hook;
    {
        std::lock_guard<std::mutex> lock(Host().mutex);
        hook = Host().waitHook;
    }
    if (hook) hook(ms);
}

void NativeInit(uint64_t hash) {
    std::lock_guard<std::mutex> lock(Host().mutex);
    Host().pendingHash = hash;
    Host().pendingArgs.clear();
}

void NativePush64(uint64_t value) {
    std::lock_guard<std::mutex> lock(Host().mutex);
    Host().pendingArgs.push_back(value);
}

uint64_t* NativeCall() {
    ScriptHostWorld& h = Host();
    sim::NativeHandler handler;
    uint64_t hash = 0;
    std::vector<uint64_t> args;
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        hash = h.pendingHash;
        args = h.pendingArgs;
        h.log.push_back({hash, args});
        h.result.fill(0);
        auto it = h.handlers.find(hash);
        if (it == h.handlers.end()) h.unknown.push_back(hash);
        else handler = it->second;
    }
    if (handler) handler(hash, args, h.result.data());
    return h.result.data();
}

void* OwnModuleHandle() {
    static int marker;
    return &marker;
}

bool BeginDialogApartment() {
    std::lock_guard<std::mutex> lock(Dialogs().mutex);
    return !Dialogs().failApartment;
}

void EndDialogApartment() {}

bool BrowseForFolderPath(const std::string& /*title*/, std::string& chosen) {
    DialogWorld& d = Dialogs();
    std::unique_lock<std::mutex> lock(d.mutex);
    ++d.shown;
    if (d.hold) {
        d.cv.wait(lock, [&] { return d.releases > 0 || !d.hold; });
        if (d.releases > 0) --d.releases;
    }
    std::optional<std::string> answer;
    if (!d.answers.empty()) {
        answer = d.answers.front();
        d.answers.pop_front();
    }
    if (!answer || answer->empty()) return false;
    chosen = *answer;
    return true;
}

namespace sim {

void SetKeyDown(int virtualKey, bool down) {
    if (virtualKey < 0 || virtualKey > 255) return;
    const auto k = static_cast<size_t>(virtualKey);
    if (down && !g_keyDown[k].load()) g_keyPressedSince[k].store(1);
    g_keyDown[k].store(down ? 1 : 0);
}

void ReleaseAllKeys() {
    for (auto& k : g_keyDown) k.store(0);
    for (auto& k : g_keyPressedSince) k.store(0);
}

void SetGameWindowForeground(bool foreground) { g_foreground.store(foreground); }
int CursorDisplayCount() { return g_cursorCount.load(); }

void UseManualClock(bool manual) { g_manualClock.store(manual); }
void AdvanceClock(uint64_t ms) { g_manualNow.fetch_add(ms); }
void FailNextThreadStarts(int count) { g_failThreadStarts.store(count); }

void HoldSleeps(bool hold) { ShutGate(Sleeps(), hold); }
int SleepsHeld() { return WaitingAtGate(Sleeps()); }
void HoldThreadStarts(bool hold) { ShutGate(ThreadStarts(), hold); }
int ThreadStartsHeld() { return WaitingAtGate(ThreadStarts()); }
uint64_t AbandonedThreadsEnded() { return g_abandonedThreadsEnded.load(); }

void SetScriptWaitHook(std::function<void(uint32_t)> hook) {
    std::lock_guard<std::mutex> lock(Host().mutex);
    Host().waitHook = std::move(hook);
}

ScriptMainFunction RegisteredScript() {
    std::lock_guard<std::mutex> lock(Host().mutex);
    return Host().registered;
}

bool ScriptRegistered() { return RegisteredScript() != nullptr; }

void SetNativeHandler(uint64_t hash, NativeHandler handler) {
    std::lock_guard<std::mutex> lock(Host().mutex);
    Host().handlers[hash] = std::move(handler);
}

void ClearNativeHandlers() {
    std::lock_guard<std::mutex> lock(Host().mutex);
    Host().handlers.clear();
}

const std::vector<NativeCallRecord>& NativeCallLog() { return Host().log; }

void ClearNativeCallLog() {
    std::lock_guard<std::mutex> lock(Host().mutex);
    Host().log.clear();
    Host().unknown.clear();
}

const std::vector<uint64_t>& UnknownNativeHashes() { return Host().unknown; }

void QueueFolderDialogAnswer(std::optional<std::string> answer) {
    std::lock_guard<std::mutex> lock(Dialogs().mutex);
    Dialogs().answers.push_back(std::move(answer));
}

void HoldFolderDialogs(bool hold) {
    {
        std::lock_guard<std::mutex> lock(Dialogs().mutex);
        Dialogs().hold = hold;
        if (!hold) Dialogs().releases = 0;
    }
    Dialogs().cv.notify_all();
}

void ReleaseFolderDialog() {
    {
        std::lock_guard<std::mutex> lock(Dialogs().mutex);
        ++Dialogs().releases;
    }
    Dialogs().cv.notify_all();
}

int FolderDialogsShown() {
    std::lock_guard<std::mutex> lock(Dialogs().mutex);
    return Dialogs().shown;
}

void FailDialogApartment(bool fail) {
    std::lock_guard<std::mutex> lock(Dialogs().mutex);
    Dialogs().failApartment = fail;
}

}  // namespace sim
}  // namespace platform
