// The rest of the Windows seam under Wine: the game image, guard pages and
// writes into code pages, the script host's imports (answered by the
// stand-in ScriptHookV.dll beside the test program), clock, threads, keys
// and the dialog apartment.
#if defined(_WIN32)
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "platform/clock.h"
#include "platform/folder_dialog.h"
#include "platform/input.h"
#include "platform/memory.h"
#include "platform/safe_copy.h"
#include "platform/script_host.h"
#include "wine/script_host_standin.h"

namespace {

using namespace platform;

struct Page {
    uintptr_t base = 0;
    explicit Page(uint32_t protect) { base = AllocateAnywhere(GetSystemMemoryInfo().pageSize, protect); }
    ~Page() {
        if (base) FreeMemory(base);
    }
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;
};

TEST(WinMemory, TheGameModuleIsTheProgramsImage) {
    const uintptr_t base = GameModuleBase();
    ASSERT_NE(base, 0u);
    char magic[2] = {};
    ASSERT_TRUE(ReadOwnMemory(base, magic, sizeof magic));
    EXPECT_EQ(std::memcmp(magic, "MZ", 2), 0);
    MemoryRegion r;
    ASSERT_TRUE(QueryMemoryRegion(base, r));
    EXPECT_EQ(r.type, kMemImage);
    EXPECT_EQ(r.allocationBase, base);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(OwnModuleHandle()), base);  // the seam is linked in
}

TEST(WinMemory, AGuardPageFailsOneCopyAndIsThenOrdinary) {
    Page p(kPageReadWrite);
    ASSERT_NE(p.base, 0u);
    std::memset(reinterpret_cast<void*>(p.base), 0x3C, 16);
    uint32_t old = 0;
    ASSERT_TRUE(ChangeProtection(p.base, 16, kPageReadWrite | kPageGuard, &old));
    MemoryRegion r;
    ASSERT_TRUE(QueryMemoryRegion(p.base, r));
    EXPECT_EQ(r.protect, kPageReadWrite | kPageGuard);
    unsigned char buffer[16] = {};
    EXPECT_FALSE(ReadOwnMemory(p.base, buffer, sizeof buffer));  // refused without touching it
    EXPECT_FALSE(SafeCopy(buffer, reinterpret_cast<const void*>(p.base), sizeof buffer));
    ASSERT_TRUE(QueryMemoryRegion(p.base, r));
    EXPECT_EQ(r.protect, kPageReadWrite);  // the first touch took the guard away
    EXPECT_TRUE(SafeCopy(buffer, reinterpret_cast<const void*>(p.base), sizeof buffer));
    EXPECT_EQ(buffer[15], 0x3C);
}

TEST(WinMemory, OwnWritesGoIntoCodePagesButNotIntoReadOnlyData) {
    Page code(kPageExecuteRead);
    ASSERT_NE(code.base, 0u);
    const uint32_t value = 0xCCC3C3CCu;
    EXPECT_TRUE(WriteOwnMemory(code.base, &value, sizeof value));
    uint32_t back = 0;
    EXPECT_TRUE(ReadOwnMemory(code.base, &back, sizeof back));
    EXPECT_EQ(back, value);
    MemoryRegion r;
    ASSERT_TRUE(QueryMemoryRegion(code.base, r));
    EXPECT_EQ(r.protect, kPageExecuteRead);

    Page data(kPageReadOnly);
    ASSERT_NE(data.base, 0u);
    EXPECT_FALSE(WriteOwnMemory(data.base, &value, sizeof value));
    EXPECT_TRUE(ReadOwnMemory(data.base, &back, sizeof back));
    EXPECT_EQ(back, 0u);

    Page execOnly(kPageExecute);
    ASSERT_NE(execOnly.base, 0u);
    EXPECT_FALSE(ReadOwnMemory(execOnly.base, &back, sizeof back));
}

const uint64_t* HostState() {
    NativeInit(standin::kStateHash);
    return NativeCall();
}

void RegisteredForTest() {}

TEST(WinScriptHost, CallsReachTheHostWithTheirArguments) {
    NativeInit(0x1122334455667788ull);
    NativePush64(1);
    NativePush64(~uint64_t(0));
    NativePush64(uint64_t(1) << 63);
    const uint64_t* r = NativeCall();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r[0], 0x1122334455667788ull);
    EXPECT_EQ(r[1], 3u);
    EXPECT_EQ(r[2], 1u);
    EXPECT_EQ(r[3], ~uint64_t(0));
    EXPECT_EQ(r[4], uint64_t(1) << 63);

    void* module = OwnModuleHandle();
    ASSERT_NE(module, nullptr);
    const uint64_t registers = HostState()[standin::kRegisterCalls];
    ScriptRegister(module, RegisteredForTest);
    const uint64_t* s = HostState();
    EXPECT_EQ(s[standin::kRegisterCalls], registers + 1);
    EXPECT_EQ(s[standin::kRegisteredModule], reinterpret_cast<uintptr_t>(module));
    EXPECT_EQ(s[standin::kRegisteredMain], reinterpret_cast<uintptr_t>(&RegisteredForTest));

    const uint64_t waits = s[standin::kWaitCalls];
    ScriptWait(17);
    s = HostState();
    EXPECT_EQ(s[standin::kWaitCalls], waits + 1);
    EXPECT_EQ(s[standin::kLastWait], 17u);

    ScriptUnregister(module);
    s = HostState();
    EXPECT_EQ(s[standin::kRegisteredModule], 0u);
    EXPECT_EQ(s[standin::kLastUnregisteredModule], reinterpret_cast<uintptr_t>(module));
}

TEST(WinClock, SleepAdvancesTheTickCountAndThreadsRun) {
    const uint64_t before = TickCount64();
    SleepMilliseconds(40);
    EXPECT_GE(TickCount64() - before, 20u);

    std::promise<std::thread::id> ran;
    std::future<std::thread::id> id = ran.get_future();
    ASSERT_TRUE(StartDetachedThread([&ran] { ran.set_value(std::this_thread::get_id()); }));
    ASSERT_EQ(id.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(id.get(), std::this_thread::get_id());
    EXPECT_FALSE(StartDetachedThread(nullptr));
}

TEST(WinInput, NoKeysOutsideTheRangeAndNoGameWindow) {
    EXPECT_EQ(AsyncKeyState(-1), 0u);
    EXPECT_EQ(AsyncKeyState(256), 0u);
    EXPECT_FALSE(GameWindowIsForeground());  // a console program has no "grcWindow"
}

TEST(WinFolderDialog, TheApartmentOpensOnADialogThread) {
    bool first = false, second = false;
    std::thread t([&] {
        first = BeginDialogApartment();
        second = BeginDialogApartment();  // again on the same thread: still fine
        if (second) EndDialogApartment();
        if (first) EndDialogApartment();
    });
    t.join();
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
}

}  // namespace
#endif  // _WIN32
