// The rest of the Windows seam under Wine: the game image, what the own
// process copies refuse, the script host's imports (answered by the stand-in
// ScriptHookV.dll beside the test program), threads and keys.
#if defined(_WIN32)
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "platform/clock.h"
#include "platform/input.h"
#include "platform/memory.h"
#include "platform/safe_copy.h"
#include "platform/script_host.h"
#include "platform/windows/win32.h"
#include "support/thread_waits.h"
#include "wine/loader_lock.h"
#include "wine/script_host_standin.h"

namespace {

using namespace platform;

TEST(WinMemory, TheGameModuleIsTheProgramsImage) {
    const uintptr_t base = GameModuleBase();
    char magic[2] = {};
    ASSERT_TRUE(base != 0 && ReadOwnMemory(base, magic, sizeof magic));
    EXPECT_EQ(std::memcmp(magic, "MZ", 2), 0);
    MemoryRegion r;
    ASSERT_TRUE(QueryMemoryRegion(base, r));
    EXPECT_TRUE(r.type == kMemImage && r.allocationBase == base);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(OwnModuleHandle()), base);  // the seam is linked in
}

// Wine's process copies ignore page protection on the own process: the seam
// refuses what Windows refuses (and lets Windows lift code pages for writes).
TEST(WinMemory, OwnProcessCopiesRefuseWhatWindowsRefuses) {
    const struct {
        uint32_t protect;
        bool read, write;
    } rows[] = {{kPageExecuteRead, true, true}, {kPageReadOnly, true, false},
                {kPageExecute, false, true}, {kPageReadWrite | kPageGuard, false, false}};
    const size_t page = GetSystemMemoryInfo().pageSize;
    for (const auto& r : rows) {
        const uintptr_t base = AllocateAnywhere(page, kPageReadWrite);
        std::memset(reinterpret_cast<void*>(base), 0x3C, 16);
        uint32_t old = 0, value = 0xCCC3C3CCu, back = 0;
        ASSERT_TRUE(ChangeProtection(base, page, r.protect, &old));
        EXPECT_EQ(ReadOwnMemory(base, &back, 4), r.read) << r.protect;
        EXPECT_EQ(WriteOwnMemory(base, &value, 4), r.write) << r.protect;
        ChangeProtection(base, page, kPageReadWrite, &old);
        std::memcpy(&back, reinterpret_cast<const void*>(base), 4);
        EXPECT_EQ(back, r.write ? value : 0x3C3C3C3Cu) << r.protect;
        FreeMemory(base);
    }
    // A guard page fails one guarded copy; the fault handler is ready for the next.
    const uintptr_t base = AllocateAnywhere(page, kPageReadWrite);
    uint32_t old = 0, back = 0;
    ASSERT_TRUE(ChangeProtection(base, 16, kPageReadWrite | kPageGuard, &old));
    EXPECT_FALSE(SafeCopy(&back, reinterpret_cast<const void*>(base), 4));
    EXPECT_TRUE(SafeCopy(&back, reinterpret_cast<const void*>(base), 4));
    FreeMemory(base);
}

const uint64_t* HostState() {
    NativeInit(standin::kStateHash);
    return NativeCall();
}

void RegisteredForTest() {}

TEST(WinScriptHost, CallsReachTheHostWithTheirArguments) {
    NativeInit(0x1122334455667788ull);
    for (uint64_t word : {uint64_t(1), ~uint64_t(0), uint64_t(1) << 63}) NativePush64(word);
    const uint64_t* r = NativeCall();
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r[0] == 0x1122334455667788ull && r[1] == 3u && r[2] == 1u && r[3] == ~uint64_t(0) &&
                r[4] == uint64_t(1) << 63);

    void* module = OwnModuleHandle();
    const uint64_t registers = HostState()[standin::kRegisterCalls];
    ScriptRegister(module, RegisteredForTest);
    const uint64_t* s = HostState();
    EXPECT_EQ(s[standin::kRegisterCalls], registers + 1);
    EXPECT_EQ(s[standin::kRegisteredModule], reinterpret_cast<uintptr_t>(module));
    EXPECT_EQ(s[standin::kRegisteredMain], reinterpret_cast<uintptr_t>(&RegisteredForTest));
    const uint64_t waits = s[standin::kWaitCalls];
    ScriptWait(17);
    s = HostState();
    EXPECT_TRUE(s[standin::kWaitCalls] == waits + 1 && s[standin::kLastWait] == 17u);
    ScriptUnregister(module);
    s = HostState();
    EXPECT_EQ(s[standin::kRegisteredModule], 0u);
    EXPECT_EQ(s[standin::kLastUnregisteredModule], reinterpret_cast<uintptr_t>(module));
}

TEST(WinThreadsAndKeys, DetachedThreadsRunAndKeysOutsideTheRangeAreUp) {
    std::promise<std::thread::id> ran;
    std::future<std::thread::id> id = ran.get_future();
    ASSERT_TRUE(StartDetachedThread([&ran] { ran.set_value(std::this_thread::get_id()); }));
    ASSERT_EQ(id.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(id.get(), std::this_thread::get_id());
    EXPECT_FALSE(StartDetachedThread(nullptr));
    EXPECT_EQ(AsyncKeyState(-1), 0u);
    EXPECT_EQ(AsyncKeyState(256), 0u);
}

// An unload asked for while a detached thread of the module runs (the
// folder dialog's, left open) waits for the thread's end: the thread never
// returns into code that is gone.
TEST(WinThreadsAndKeys, ADetachedThreadKeepsItsModuleLoadedUntilItHasEnded) {
    const HMODULE module = LoadLibraryA("detached_module.dll");
    ASSERT_NE(module, nullptr) << "detached_module.dll beside the test program";
    using Start = int (*)(HANDLE);
    const auto start = reinterpret_cast<Start>(reinterpret_cast<void*>(GetProcAddress(module, "StartHeldDetachedThread")));
    ASSERT_NE(start, nullptr);
    const HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(release, nullptr);
    ASSERT_EQ(start(release), 1);
    FreeLibrary(module);
    EXPECT_EQ(GetModuleHandleA("detached_module.dll"), module) << "unloaded under its running thread";
    SetEvent(release);
    const ULONGLONG began = GetTickCount64();
    while (GetModuleHandleA("detached_module.dll") != nullptr && GetTickCount64() - began < 10000) Sleep(1);
    EXPECT_EQ(GetModuleHandleA("detached_module.dll"), nullptr) << "the thread's end gives the module back";
    CloseHandle(release);
}

// The unload waits for its threads while the loader lock is held, under
// which a thread cannot finish ending: the wait ends once the thread has
// left our code, not when its handle is signalled.
TEST(WinThreadsAndKeys, AThreadIsWaitedForWhileTheLoaderLockIsHeld) {
    std::atomic<bool> running{false}, stop{false};
    const uint64_t thread = StartThread([&] {
        running = true;
        while (!stop) Sleep(1);
    });
    ASSERT_NE(thread, 0u);
    // Its start takes the loader lock too: the lock is taken once it runs.
    if (!testsupport::WaitUntil([&] { return running.load(); })) {
        stop = true;
        WaitForThread(thread, 10000);
        FAIL() << "the thread never ran";
    }
    EXPECT_FALSE(WaitForThread(thread, 20)) << "still running";
    winsupport::LoaderLockHold held;
    ASSERT_TRUE(held.Held());
    stop = true;
    const bool ended = WaitForThread(thread, 10000);
    held.Release();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(WaitForThread(thread, 0)) << "an ended thread is forgotten";
}

// The module's StartThreadForUnload; null when the module or its export is missing.
using StartForUnload = int (*)(volatile LONG*);
StartForUnload StartForUnloadOf(HMODULE module) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<StartForUnload>(reinterpret_cast<void*>(GetProcAddress(module, "StartThreadForUnload")));
}

// A thread started while the loader lock is held cannot reach its entry
// before the lock is free. The unload of its module, under that lock,
// abandons it instead of waiting, and the thread, once it gets the lock,
// ends in the page that outlives the module without running its body in
// the module's code, which is gone by then.
TEST(WinThreadsAndKeys, AThreadStartedUnderTheLoaderLockNeverEntersItsModuleUnloadedMeanwhile) {
    const HMODULE module = LoadLibraryA("detached_module.dll");
    const StartForUnload start = StartForUnloadOf(module);
    ASSERT_NE(start, nullptr) << "detached_module.dll beside the test program";
    static volatile LONG ran = 0;
    winsupport::LoaderLockHold held;
    ASSERT_TRUE(held.Held());
    ASSERT_EQ(start(&ran), 1);
    EXPECT_EQ(held.TakeNewThreads(), 1u);
    const ULONGLONG began = GetTickCount64();
    FreeLibrary(module);
    const ULONGLONG unloadMs = GetTickCount64() - began;
    EXPECT_EQ(GetModuleHandleA("detached_module.dll"), nullptr) << "unloaded under the loader lock";
    held.Release();
    EXPECT_LT(unloadMs, 5000u) << "the unload waited for a thread that had not started";
    EXPECT_TRUE(held.TakenThreadsEnded(10000));
    EXPECT_EQ(ran, 0) << "the thread ran its body after the unload";
}

// A module's first start of a thread needs nothing of the loader, whose
// lock another thread (the unload's) may hold meanwhile: it returns while
// that thread still holds it. The thread itself runs once the lock is free.
TEST(WinThreadsAndKeys, AModulesFirstThreadStartsWhileAnotherThreadHoldsTheLoaderLock) {
    ASSERT_EQ(GetModuleHandleA("detached_module.dll"), nullptr) << "the module is loaded afresh";
    const HMODULE module = LoadLibraryA("detached_module.dll");
    const StartForUnload start = StartForUnloadOf(module);
    ASSERT_NE(start, nullptr) << "detached_module.dll beside the test program";
    static volatile LONG ran = 0;
    ran = 0;
    std::atomic<int> holding{0};  // 1 held, -1 could not take it
    std::atomic<bool> returned{false}, letGo{false};
    std::thread holder([&] {
        winsupport::LoaderLockHold held;
        holding = held.Held() ? 1 : -1;
        testsupport::WaitUntil([&] { return returned.load(); });
        letGo = true;
    });
    bool startedWhileHeld = false;
    int started = 0;
    if (testsupport::WaitUntil([&] { return holding.load() != 0; }) && holding.load() == 1) {
        started = start(&ran);
        startedWhileHeld = !letGo.load();
    } else {
        ADD_FAILURE() << "the loader lock could not be taken";
    }
    returned = true;
    holder.join();
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(startedWhileHeld) << "the first start waited for the loader lock";
    EXPECT_TRUE(testsupport::WaitUntil([] { return ran != 0; })) << "the thread ran once the lock was free";
    FreeLibrary(module);
}

}  // namespace
#endif  // _WIN32
