// The guarded stores on real pages (native, under ThreadSanitizer and, in
// the Windows build, under Wine): a reader never sees half of a new value,
// a block store writes only its bytes, the element-wise write copies
// exactly, and every one of them turns a fault into false.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/memory.h"
#include "platform/safe_copy.h"
#include "support/pages.h"
#include "support/thread_waits.h"

namespace {

using namespace platform;
using testsupport::Pages;

void* Ptr(uint64_t address) { return reinterpret_cast<void*>(static_cast<uintptr_t>(address)); }

// Two values that share no byte at any position: any mix of them is neither.
constexpr uint32_t kFirst32 = 0x40A1B2C3u;
constexpr uint32_t kSecond32 = 0xC15E6F7Au;
constexpr uint64_t kFirst64 = 0x40A1B2C3D4E5F607ull;
constexpr uint64_t kSecond64 = 0xC15E6F7A8B9CADBEull;

template <typename T>
T LoadAtomically(uint64_t address) {
    return __atomic_load_n(reinterpret_cast<const T*>(static_cast<uintptr_t>(address)), __ATOMIC_RELAXED);
}

// A writer alternates two values at address while two readers load it;
// the number of loads that saw neither value.
template <typename T>
int MixedLoads(uint64_t address, T first, T second, bool (*store)(void*, T), int writes) {
    EXPECT_TRUE(store(Ptr(address), first));
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0}, loads{0};
    auto reader = [&] {
        int bad = 0, n = 0;
        while (!done.load(std::memory_order_relaxed) || n == 0) {
            const T v = LoadAtomically<T>(address);
            bad += v != first && v != second;
            ++n;
        }
        mixed += bad;
        loads += n;
    };
    std::thread a(reader), b(reader);
    int failed = 0;
    for (int i = 0; i < writes; ++i) failed += !store(Ptr(address), (i & 1) ? second : first);
    done = true;
    a.join();
    b.join();
    EXPECT_EQ(failed, 0);
    EXPECT_GT(loads.load(), 0);
    return mixed.load();
}

bool Store32(void* d, uint32_t v) { return SafeStore32(d, v); }
bool Store64(void* d, uint64_t v) { return SafeStore64(d, v); }
bool StoreInBlock32(void* d, uint32_t v) { return SafeStoreWithinBlock(d, &v, 4); }

// Aligned values get a plain store, others a locked exchange; a value whose
// reader loads it inside one aligned quadword (or 16-byte block, for the
// block store) is never seen half written.
TEST(SafeStores, ReadersSeeTheOldOrTheNewValueNeverAMix) {
    Pages p({kPageReadWrite});
    const struct {
        const char* what;
        size_t offset;
        int width;  // 4, 8, or 16 for a 4-byte value through the block store
    } rows[] = {
        {"aligned 4 bytes", 64, 4},
        {"4 bytes off alignment, inside their quadword", 57, 4},
        {"aligned 8 bytes", 128, 8},
        {"4 bytes in a block, across its quadwords", 198, 16},
    };
    for (const auto& r : rows) {
        const uint64_t at = p.At(0, r.offset);
        int mixed = 0;
        if (r.width == 8) mixed = MixedLoads<uint64_t>(at, kFirst64, kSecond64, &Store64, 200000);
        else mixed = MixedLoads<uint32_t>(at, kFirst32, kSecond32, r.width == 4 ? &Store32 : &StoreInBlock32, 200000);
        EXPECT_EQ(mixed, 0) << r.what;
    }
}

// The block store replaces its bytes and no other, refuses a range that
// leaves its 16-byte block; the element-wise write copies exactly what a
// byte copy would, at every start and length.
TEST(SafeStores, StoresWriteTheirBytesAndNothingElse) {
    Pages p({kPageReadWrite});
    const uint64_t block = p.At(0, 256);
    const uint8_t bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const struct {
        size_t offset, size;
        bool ok;
    } rows[] = {{0, 16, true}, {5, 3, true}, {15, 1, true}, {9, 7, true}, {9, 8, false}, {0, 0, false}};
    for (const auto& r : rows) {
        std::memset(Ptr(block), 0x11, 32);
        std::vector<uint8_t> want(32, 0x11);
        if (r.ok) std::memcpy(want.data() + r.offset, bytes, r.size);
        EXPECT_EQ(SafeStoreWithinBlock(Ptr(block + r.offset), bytes, r.size), r.ok) << r.offset << "+" << r.size;
        EXPECT_EQ(std::memcmp(Ptr(block), want.data(), 32), 0) << r.offset << "+" << r.size;
    }
    std::vector<uint8_t> source(64);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(0x80 + i);
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t size = 0; size <= 40; ++size) {
            std::memset(Ptr(block), 0x11, 64);
            std::vector<uint8_t> want(64, 0x11);
            std::memcpy(want.data() + offset, source.data(), size);
            ASSERT_TRUE(SafeWrite(Ptr(block + offset), source.data(), size));
            ASSERT_EQ(std::memcmp(Ptr(block), want.data(), 64), 0) << offset << "+" << size;
        }
    }
}

// Every aligned float of a block written whole by the element-wise write,
// wherever the block starts.
TEST(SafeStores, BlockWritesKeepEveryAlignedElementWhole) {
    Pages p({kPageReadWrite});
    const uint64_t block = p.At(0, 1024 + 4);  // 4 bytes past a quadword: the first element alone
    constexpr size_t kCount = 9;
    std::vector<uint32_t> first(kCount, kFirst32), second(kCount, kSecond32);
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0};
    auto reader = [&] {
        int bad = 0;
        while (!done.load(std::memory_order_relaxed)) {
            for (size_t i = 0; i < kCount; ++i) {
                const uint32_t v = LoadAtomically<uint32_t>(block + 4 * i);
                bad += v != kFirst32 && v != kSecond32;
            }
        }
        mixed += bad;
    };
    ASSERT_TRUE(SafeWrite(Ptr(block), first.data(), 4 * kCount));
    std::thread a(reader), b(reader);
    for (int i = 0; i < 50000; ++i) SafeWrite(Ptr(block), ((i & 1) ? second : first).data(), 4 * kCount);
    done = true;
    a.join();
    b.join();
    EXPECT_EQ(mixed.load(), 0);
}

TEST(SafeStores, FaultsGiveFalseAndWriteNothing) {
    Pages p({kPageReadOnly, kPageNoAccess});
    const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (uint64_t at : {p.At(0, 8), p.At(0, 13), p.At(1, 8), p.At(1, 13)}) {
        EXPECT_FALSE(SafeStore32(Ptr(at), kFirst32)) << at;
        EXPECT_FALSE(SafeStore64(Ptr(at), kFirst64)) << at;
        EXPECT_FALSE(SafeStoreWithinBlock(Ptr(at), bytes, 2)) << at;
        EXPECT_FALSE(SafeWrite(Ptr(at), bytes, 8)) << at;
    }
    EXPECT_EQ(p.U32(0, 8), 0x11111111u);
    EXPECT_FALSE(SafeStore32(nullptr, 1) || SafeStore64(nullptr, 1) || SafeStoreWithinBlock(nullptr, bytes, 1));
    // The stores' exits leave the thread able to go on faulting and storing.
    Pages w({kPageReadWrite});
    EXPECT_TRUE(SafeStore64(Ptr(w.At(0, 3)), kSecond64));
    uint64_t back = 0;
    std::memcpy(&back, Ptr(w.At(0, 3)), 8);
    EXPECT_EQ(back, kSecond64);
}

// A thread that reaches an instruction while it is held waits at the
// breakpoint over its first byte, and once the hold ends runs the whole new
// instruction: mov eax, 1 becomes mov eax, 2 under it. Each case holds
// other instructions meanwhile, the last eight of them past the end of the
// first hold: however many came after, the thread's hold is not forgotten.
TEST(InstructionHolds, AThreadAtAHeldInstructionWaitsAndRunsTheNewOne) {
    const size_t page = GetSystemMemoryInfo().pageSize;
    const uint64_t code = AllocateAnywhere(page, kPageExecuteReadWrite);
    ASSERT_NE(code, 0u);
    const uint64_t at = code + 0x3E;  // the instruction across two cache lines
    const auto run = reinterpret_cast<int (*)()>(static_cast<uintptr_t>(at));
    const uint8_t breakpoint = 0xCC, first = 0xB8;
    for (const int later : {0, 16, 17, 1000}) {
        const uint8_t function[6] = {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3};  // mov eax, 1; ret
        std::memcpy(Ptr(at), function, sizeof function);
        SynchronizeInstructionStreams();
        ASSERT_EQ(run(), 1);
        const size_t token = HoldInstruction(at);
        ASSERT_TRUE(SafeStoreWithinBlock(Ptr(at), &breakpoint, 1));
        SynchronizeInstructionStreams();
        std::atomic<int> result{0};
        std::thread game([&] { result = run(); });
        const auto deadline = std::chrono::steady_clock::now() + testsupport::Scaled(std::chrono::seconds(10));
        while (ThreadsWaitingAtHolds() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        ASSERT_EQ(ThreadsWaitingAtHolds(), 1u) << "the thread waits at the breakpoint, " << later;
        std::vector<size_t> stillHeld;
        for (int i = 0; i < later; ++i) {
            const size_t other = HoldInstruction(code + 0x100 + static_cast<uint64_t>(i));
            if (later - i <= 8) stillHeld.push_back(other);
            else EndInstructionHold(other);
        }
        EXPECT_EQ(result.load(), 0) << later;
        const uint8_t immediate[4] = {0x02, 0x00, 0x00, 0x00};
        ASSERT_TRUE(SafeWrite(Ptr(at + 1), immediate, 4));
        ASSERT_TRUE(SafeStoreWithinBlock(Ptr(at), &first, 1));
        SynchronizeInstructionStreams();
        EndInstructionHold(token);
        game.join();
        for (size_t other : stillHeld) EndInstructionHold(other);
        EXPECT_EQ(result.load(), 2) << later;
        EXPECT_EQ(ThreadsWaitingAtHolds(), 0u) << later;
    }
    FreeMemory(code);
}

// The fault handler's side: a thread that met the breakpoint but looks only
// after its hold ended and many others came finds the instruction whole; a
// breakpoint that no hold ever put there (or one still there after every
// hold of its instruction ended) is not ours and is passed on.
TEST(InstructionHolds, AHoldEndedLongAgoIsStillOursAndOtherBreakpointsAreNot) {
    const size_t page = GetSystemMemoryInfo().pageSize;
    const uint64_t code = AllocateAnywhere(page, kPageExecuteReadWrite);
    ASSERT_NE(code, 0u);
    const uint8_t breakpoint = 0xCC, first = 0xB8;
    const uint64_t rewritten = code + 0x3E, foreign = code + 0x80, leftBehind = code + 0x90;
    for (const int later : {0, 16, 17, 1000}) {
        ASSERT_TRUE(SafeStoreWithinBlock(Ptr(rewritten), &breakpoint, 1));
        const size_t token = HoldInstruction(rewritten);
        ASSERT_TRUE(SafeStoreWithinBlock(Ptr(rewritten), &first, 1));
        EndInstructionHold(token);
        for (int i = 0; i < later; ++i) EndInstructionHold(HoldInstruction(code + 0x200 + static_cast<uint64_t>(i)));
        EXPECT_TRUE(detail::ReleaseTrappedThread(rewritten)) << later;
    }
    ASSERT_TRUE(SafeStoreWithinBlock(Ptr(foreign), &breakpoint, 1));
    EXPECT_FALSE(detail::ReleaseTrappedThread(foreign));
    EXPECT_FALSE(detail::ReleaseTrappedThread(foreign + 1)) << "the byte after a breakpoint is no instruction of ours";
    ASSERT_TRUE(SafeStoreWithinBlock(Ptr(leftBehind), &breakpoint, 1));
    EndInstructionHold(HoldInstruction(leftBehind));
    EXPECT_FALSE(detail::ReleaseTrappedThread(leftBehind));
    EXPECT_EQ(ThreadsWaitingAtHolds(), 0u);
    FreeMemory(code);
}

// Each case in a child process of its own, started afresh (not forked), so
// that it begins with no instruction ever held and the holds it makes do not
// outlast it.
class InstructionHoldsDeathTest : public ::testing::Test {
protected:
    void SetUp() override {
        style = GTEST_FLAG_GET(death_test_style);
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    void TearDown() override { GTEST_FLAG_SET(death_test_style, style); }
    std::string style;
};

// Rewrites mov eax, 1 at at into mov eax, 2 under a hold while a thread that
// ran into the breakpoint waits there: what the thread's run returned, 0
// when it never waited.
int RunWhileRewritten(uint64_t at) {
    const uint8_t function[6] = {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3};  // mov eax, 1; ret
    const uint8_t breakpoint = 0xCC, first = 0xB8, immediate[4] = {0x02, 0x00, 0x00, 0x00};
    std::memcpy(Ptr(at), function, sizeof function);
    const size_t token = HoldInstruction(at);
    SafeStoreWithinBlock(Ptr(at), &breakpoint, 1);
    SynchronizeInstructionStreams();
    std::atomic<int> result{0};
    std::thread game([&] { result = reinterpret_cast<int (*)()>(static_cast<uintptr_t>(at))(); });
    const auto deadline = std::chrono::steady_clock::now() + testsupport::Scaled(std::chrono::seconds(10));
    while (ThreadsWaitingAtHolds() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    const bool waited = ThreadsWaitingAtHolds() == 1;
    SafeWrite(Ptr(at + 1), immediate, 4);
    SafeStoreWithinBlock(Ptr(at), &first, 1);
    SynchronizeInstructionStreams();
    EndInstructionHold(token);
    game.join();
    return waited ? result.load() : 0;
}

// Past the size of the table of instructions ever held: one instruction held
// again and again takes one entry, so an address never held is still not
// ours; more instructions than the table holds fill it, and then every
// address counts as once held. Either way a thread trapped at an
// instruction held after them is released and runs the new one.
TEST_F(InstructionHoldsDeathTest, ManyHoldsNeverLeaveATrappedThreadBehind) {
    constexpr int kHolds = 4096 + 16;
    const struct {
        const char* what;
        bool sameInstruction;
    } cases[] = {{"one instruction held again and again", true}, {"more instructions than the table holds", false}};
    for (const auto& c : cases) {
        EXPECT_EXIT(
            {
                const size_t page = GetSystemMemoryInfo().pageSize;
                const uint64_t code = AllocateAnywhere(page, kPageExecuteReadWrite);
                if (code == 0) std::_Exit(2);
                for (int i = 0; i < kHolds; ++i)
                    EndInstructionHold(HoldInstruction(code + 0x100 + (c.sameInstruction ? 0 : 0x10000 + i)));
                if (RunWhileRewritten(code + 0x3E) != 2) std::_Exit(3);
                // A byte that is no breakpoint, at an address never held.
                const uint64_t neverHeld = code + 0x80;
                std::memset(Ptr(neverHeld), 0x90, 1);
                std::exit(detail::ReleaseTrappedThread(neverHeld) == !c.sameInstruction ? 0 : 4);
            },
            ::testing::ExitedWithCode(0), "")
            << c.what;
    }
}

}  // namespace
