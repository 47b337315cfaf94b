// The built-in hook engine on a method table in a read-only page, as the
// method tables of the swap chain and the command queue are; on Windows,
// MinHook (in the builds that have it) on the code such a table points at,
// and the throw-away window class of the start-up's presentation probe. Without a
// display (the usual test run) the probe's Direct3D 12 steps fail, one of
// the cases the start-up must survive; the end-to-end run, with a display,
// sees the hooks the method entries lead to.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "host/hook_engine.h"
#include "platform/memory.h"
#if defined(_WIN32)
#include "host/overlay_win.h"
#include "platform/script_host.h"
#endif

namespace {

int OriginalA(int x) { return x + 1; }
int OriginalB(int x) { return x * 2; }
int DetourA(int x) { return x + 100; }
int DetourB(int x) { return x * 200; }

using Method = int (*)(int);

struct FakeMethodTable {
    uintptr_t page = 0;
    void** slots = nullptr;

    explicit FakeMethodTable(Method a = &OriginalA, Method b = &OriginalB) {
        page = platform::AllocateAnywhere(4096, platform::kPageReadWrite);
        slots = reinterpret_cast<void**>(page);
        slots[0] = reinterpret_cast<void*>(a);
        slots[1] = reinterpret_cast<void*>(b);
        slots[2] = nullptr;
        uint32_t old = 0;
        platform::ChangeProtection(page, 4096, platform::kPageReadOnly, &old);
    }
    ~FakeMethodTable() { platform::FreeMemory(page); }
    int Call(int slot, int x) const { return reinterpret_cast<Method>(slots[slot])(x); }
    uint32_t Protection() const {
        platform::MemoryRegion region;
        platform::QueryMemoryRegion(page, region);
        return region.protect & 0xFFu;
    }
};

class BuiltInHookEngineTest : public ::testing::Test {
protected:
    void TearDown() override { engine.uninitialize(); }
    const host::HookEngine& engine = host::BuiltInHookEngine();
    FakeMethodTable table;
};

TEST_F(BuiltInHookEngineTest, ReplacesEntriesOnlyWhileEnabledKeepsPageProtectionAndRefusesWhatItCannotHook) {
    ASSERT_NE(table.page, 0u);
    void* originalA = nullptr;
    void* originalB = nullptr;
    EXPECT_FALSE(engine.createHook(&table.slots[0], reinterpret_cast<void*>(&DetourA), &originalA)) << "not ready";
    ASSERT_TRUE(engine.initialize());
    ASSERT_TRUE(engine.createHook(&table.slots[0], reinterpret_cast<void*>(&DetourA), &originalA));
    ASSERT_TRUE(engine.createHook(&table.slots[1], reinterpret_cast<void*>(&DetourB), &originalB));
    EXPECT_EQ(originalA, reinterpret_cast<void*>(&OriginalA));
    EXPECT_EQ(originalB, reinterpret_cast<void*>(&OriginalB));
    EXPECT_EQ(table.Call(0, 1), 2) << "a created hook is not active before enableAll";
    void* refused = nullptr;
    void* const detour = reinterpret_cast<void*>(&DetourB);
    EXPECT_FALSE(engine.createHook(&table.slots[2], detour, &refused)) << "empty entry";
    EXPECT_FALSE(engine.createHook(reinterpret_cast<void**>(uintptr_t{0x10}), detour, &refused))
        << "unmapped entry";
    EXPECT_FALSE(engine.createHook(&table.slots[1], nullptr, &refused)) << "no detour";
    EXPECT_FALSE(engine.createHook(&table.slots[0], detour, &refused)) << "same entry twice";
    EXPECT_EQ(refused, nullptr);

    ASSERT_TRUE(engine.enableAll());
    EXPECT_EQ(table.Call(0, 1), 101);
    EXPECT_EQ(table.Call(1, 3), 600);
    EXPECT_EQ(table.Protection(), platform::kPageReadOnly);

    ASSERT_TRUE(engine.disableAll());
    EXPECT_EQ(table.Call(0, 1), 2);
    EXPECT_EQ(table.Call(1, 3), 6);
    EXPECT_EQ(table.Protection(), platform::kPageReadOnly);

    // Enabled again, then another overlay replaces our entry with its own:
    // after the unload nothing may lead into the editor's code.
    ASSERT_TRUE(engine.enableAll());
    uint32_t old = 0;
    platform::ChangeProtection(table.page, 4096, platform::kPageReadWrite, &old);
    table.slots[1] = reinterpret_cast<void*>(&DetourA);
    platform::ChangeProtection(table.page, 4096, platform::kPageReadOnly, &old);
    engine.uninitialize();
    EXPECT_EQ(table.Call(0, 1), 2);
    EXPECT_EQ(table.Call(1, 3), 6);
    void* later = nullptr;
    EXPECT_FALSE(engine.createHook(&table.slots[2], reinterpret_cast<void*>(&DetourB), &later))
        << "a new hook needs a new initialize";
}

#if defined(_WIN32)
// Methods with code enough for a code hook before their return (MinHook
// moves the first five bytes into its trampoline); noipa: the calls below
// reach this code, not a copy specialised for their argument.
volatile int g_methodCalls = 0;
__attribute__((noipa)) int CountedA(int x) {
    g_methodCalls = g_methodCalls + 1;
    return x + 1;
}
__attribute__((noipa)) int CountedB(int x) {
    g_methodCalls = g_methodCalls + 1;
    return x * 2;
}
bool CodeIs(Method method, const unsigned char (&bytes)[8]) {
    return std::memcmp(reinterpret_cast<const void*>(method), bytes, sizeof bytes) == 0;
}

TEST(MinHookEngineTest, PatchesTheMethodsCodeOnlyWhileEnabledKeepsTheTableAndRefusesWhatItCannotHook) {
    if (host::MinHookEngine() == nullptr) GTEST_SKIP() << "this build has no MinHook (it uses the built-in engine)";
    const host::HookEngine& engine = *host::MinHookEngine();
    FakeMethodTable table(&CountedA, &CountedB);
    ASSERT_NE(table.page, 0u);
    unsigned char codeA[8], codeB[8];
    std::memcpy(codeA, reinterpret_cast<const void*>(&CountedA), sizeof codeA);
    std::memcpy(codeB, reinterpret_cast<const void*>(&CountedB), sizeof codeB);
    void* const detourA = reinterpret_cast<void*>(&DetourA);
    void* originalA = nullptr;
    void* originalB = nullptr;
    EXPECT_FALSE(engine.createHook(&table.slots[0], detourA, &originalA)) << "not ready";
    ASSERT_TRUE(engine.initialize());
    ASSERT_TRUE(engine.createHook(&table.slots[0], detourA, &originalA));
    ASSERT_TRUE(engine.createHook(&table.slots[1], reinterpret_cast<void*>(&DetourB), &originalB));
    ASSERT_NE(originalA, nullptr);
    EXPECT_NE(originalA, reinterpret_cast<void*>(&CountedA)) << "the game's method is reached through a trampoline";
    EXPECT_EQ(table.Call(0, 1), 2) << "a created hook is not active before enableAll";
    EXPECT_TRUE(CodeIs(&CountedA, codeA));
    void* refused = nullptr;
    void* const detourB = reinterpret_cast<void*>(&DetourB);
    EXPECT_FALSE(engine.createHook(&table.slots[2], detourB, &refused)) << "empty entry";
    EXPECT_FALSE(engine.createHook(reinterpret_cast<void**>(uintptr_t{0x10}), detourB, &refused))
        << "unmapped entry";
    EXPECT_FALSE(engine.createHook(&table.slots[1], nullptr, &refused)) << "no detour";
    EXPECT_FALSE(engine.createHook(&table.slots[0], detourB, &refused)) << "same method twice";
    EXPECT_FALSE(engine.createHook(&table.slots[1], detourA, nullptr)) << "nowhere to put the original";
    EXPECT_EQ(refused, nullptr);

    ASSERT_TRUE(engine.enableAll());
    EXPECT_EQ(table.Call(0, 1), 101);
    EXPECT_EQ(table.Call(1, 3), 600);
    EXPECT_EQ(CountedA(1), 101) << "every call of the method's code, not only the table's";
    EXPECT_EQ(reinterpret_cast<Method>(originalA)(1), 2) << "the trampoline runs the game's method";
    EXPECT_EQ(reinterpret_cast<Method>(originalB)(3), 6);
    EXPECT_EQ(table.slots[0], reinterpret_cast<void*>(&CountedA)) << "the table is left alone";
    EXPECT_EQ(table.Protection(), platform::kPageReadOnly);
    EXPECT_FALSE(CodeIs(&CountedA, codeA));

    ASSERT_TRUE(engine.disableAll());
    EXPECT_EQ(table.Call(0, 1), 2);
    EXPECT_EQ(table.Call(1, 3), 6);
    EXPECT_TRUE(CodeIs(&CountedA, codeA) && CodeIs(&CountedB, codeB)) << "the method's code byte for byte";

    ASSERT_TRUE(engine.enableAll());
    engine.uninitialize();
    EXPECT_EQ(table.Call(0, 1), 2);
    EXPECT_EQ(CountedB(3), 6);
    EXPECT_TRUE(CodeIs(&CountedA, codeA) && CodeIs(&CountedB, codeB));
    void* later = nullptr;
    EXPECT_FALSE(engine.createHook(&table.slots[0], detourA, &later)) << "a new hook needs a new initialize";
    EXPECT_FALSE(engine.disableAll());
}

TEST(PresentationProbe, ItsWindowClassIsOursAloneAndGoneAfterwardsAndClosingAgainIsHarmless) {
    host::ClosePresentationProbe();  // without opening
    // Another module already has a class named "DummyWindow".
    const HINSTANCE other = GetModuleHandleW(L"kernel32.dll");
    ASSERT_NE(other, nullptr);
    WNDCLASSEXW foreign{};
    foreign.cbSize = sizeof(foreign);
    foreign.lpfnWndProc = DefWindowProcW;
    foreign.hInstance = other;
    foreign.lpszClassName = L"DummyWindow";
    ASSERT_NE(RegisterClassExW(&foreign), 0);

    host::PresentationMethods methods;  // the method entries are the end-to-end run's to check (it has a display)
    host::OpenPresentationProbe(methods);
    host::ClosePresentationProbe();
    host::ClosePresentationProbe();

    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    EXPECT_TRUE(GetClassInfoExW(other, L"DummyWindow", &info)) << "the other module's class survives";
    const auto own = static_cast<HINSTANCE>(platform::OwnModuleHandle());
    EXPECT_FALSE(GetClassInfoExW(own, L"DummyWindow", &info)) << "ours is unregistered again (its window gone)";
    UnregisterClassW(L"DummyWindow", other);
}
#endif

}  // namespace
