// Guarded access on real pages of the test process (native and, in the
// Windows build, under Wine).
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/memory.h"
#include "runtime/guarded_memory.h"
#include "support/pages.h"

namespace {

using namespace runtime;
using namespace platform;
using testsupport::Pages;

// An address in the middle of a freed megabyte: a mapping made meanwhile
// (the region query's own buffer under a sanitizer's allocator) lands at
// an end of the hole, top-down on Linux and bottom-up on Windows, not on it.
uint64_t FreedAddress() {
    constexpr uint64_t kHole = uint64_t{1} << 20;
    const uint64_t a = AllocateAnywhere(kHole, kPageReadWrite);
    FreeMemory(a);
    return a + kHole / 2 + 64;
}

class GuardedMemoryTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGuardedMemoryState(); }
    void TearDown() override { ResetGuardedMemoryState(); }
};

TEST(GuardedMemoryPredicates, ProtectionValues) {
    const struct {
        uint32_t protect;
        bool readable, writableLowByte;
    } rows[] = {
        {kPageNoAccess, false, false},         {kPageReadOnly, true, false},
        {kPageReadWrite, true, true},          {kPageWriteCopy, true, true},
        {kPageExecute, false, false},          {kPageExecuteRead, true, false},
        {kPageExecuteReadWrite, true, true},   {kPageExecuteWriteCopy, true, true},
        {kPageReadWrite | kPageGuard, false, true}, {kPageReadWrite | kPageWriteCombine, true, true},
        {kPageNoAccess | kPageReadWrite, false, false}, {0x03, false, false},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(IsReadableProtect(r.protect), r.readable) << std::hex << r.protect;
        EXPECT_EQ(IsWritableProtect(static_cast<uint8_t>(r.protect & 0xFF)), r.writableLowByte) << std::hex << r.protect;
    }
}

// The region of the first byte decides: a range that runs on into the next
// region fails even when that region is readable too.
TEST_F(GuardedMemoryTest, RangeTestsFollowTheRegionOfTheFirstByte) {
    Pages p({kPageReadWrite, kPageReadOnly, kPageNoAccess, kPageExecuteRead, kPageExecute});
    const struct {
        uint64_t address, length;
        bool readable, writable;
    } rows[] = {
        {p.At(0), p.page, true, true},      {p.At(0, 8), 8, true, true},       {p.At(1), 4, true, false},
        {p.At(2), 4, false, false},         {p.At(3), 4, true, false},         {p.At(4), 4, false, false},
        {p.At(0, p.page - 3), 4, false, false}, {p.At(1, p.page - 1), 2, false, false},
        {0, 4, false, false},               {0x10, 4, false, false},           {FreedAddress(), 4, false, false},
        {p.At(0), 0, false, false},         {p.At(0), UINT64_MAX, false, false},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(IsReadable(r.address, r.length), r.readable) << std::hex << r.address << " " << r.length;
        EXPECT_EQ(IsWritable(r.address, r.length), r.writable) << std::hex << r.address << " " << r.length;
    }
}

#if defined(_WIN32)
// READWRITE with NOCACHE: readable but not writable to IsWritable, so the
// block writer lifts the protection for the copy. (Wine keeps NOCACHE from
// VirtualAlloc only, not from VirtualProtect, and has no WRITECOMBINE: only
// the access kind is seen to come back.)
TEST_F(GuardedMemoryTest, NoCachePagesAreLiftedForBlockWrites) {
    const uint32_t protect = kPageReadWrite | kPageNoCache;
    const uint64_t page = AllocateAnywhere(GetSystemMemoryInfo().pageSize, protect);
    MemoryRegion r;
    ASSERT_TRUE(QueryMemoryRegion(page, r));
    ASSERT_EQ(r.protect, protect);
    EXPECT_TRUE(IsReadable(page, 4));
    EXPECT_FALSE(IsWritable(page, 4));
    const uint8_t bytes[4] = {1, 2, 3, 4};
    ASSERT_TRUE(WriteBytesProtected(page + 8, bytes, sizeof bytes));
    EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(page + 8), bytes, 4), 0);
    ASSERT_TRUE(QueryMemoryRegion(page, r));
    EXPECT_EQ(r.protect & 0xFFu, kPageReadWrite);
    FreeMemory(page);
}
#endif

TEST_F(GuardedMemoryTest, ReadableCacheAnswersWithoutAQueryAfterTheFirst) {
    Pages p({kPageReadOnly, kPageNoAccess});
    EXPECT_TRUE(!IsReadableCached(p.At(1), 4) && GuardedMemory.ReadableRangeCache.count == 0u);
    ASSERT_TRUE(IsReadableCached(p.At(0, 16), 4));
    EXPECT_EQ(GuardedMemory.ReadableRangeCache.count, 1u);
    const uint64_t queries = GuardedMemory.RegionQueries;
    EXPECT_TRUE(IsReadableCached(p.At(0, 100), 8) && IsReadableCached(p.At(0, p.page - 4), 4));
    EXPECT_EQ(GuardedMemory.RegionQueries, queries);
    EXPECT_FALSE(IsReadableCached(p.At(0, p.page - 2), 4) || IsReadableCached(0, 4));  // leaves it: queried, refused
}

// A failed check leaves SafeReadU32's output alone; a guarded read that
// faults gives 0.
TEST_F(GuardedMemoryTest, FailedReadsKeepOrZeroTheirOutput) {
    Pages p({kPageReadWrite, kPageNoAccess});
    uint32_t out = 0xDEADBEEF;
    for (uint64_t bad : {p.At(1), p.At(0, p.page - 2), FreedAddress(), uint64_t(0)}) {
        EXPECT_FALSE(SafeReadU32(bad, out)) << bad;
        EXPECT_EQ(out, 0xDEADBEEFu);
    }
    EXPECT_TRUE(SafeReadU32(p.At(0, 4), out) && out == 0x11111111u);
    uint32_t v = 7;
    uint8_t b = 7;
    EXPECT_TRUE(!GuardedReadU32(p.At(1), v) && v == 0u && !GuardedReadU8(p.At(1, 5), b) && b == 0u);
    EXPECT_FALSE(GuardedReadU32(FreedAddress(), v));
    EXPECT_TRUE(GuardedReadU32(p.At(0), v) && v == 0x11111111u);
    EXPECT_TRUE(GuardedReadU8(p.At(0, 3), b) && b == 0x11u);
    std::vector<uint8_t> copy(32, 0);
    EXPECT_FALSE(GuardedCopy(copy.data(), reinterpret_cast<const void*>(p.At(0, p.page - 8)), 32));
    EXPECT_TRUE(GuardedCopy(copy.data(), reinterpret_cast<const void*>(p.At(0)), 32));
}

TEST_F(GuardedMemoryTest, SafeWriteFloatCachesLiftsAndRestores) {
    {
        Pages p({kPageReadWrite});
        ASSERT_TRUE(SafeWriteFloat(p.At(0, 8), 1.5f));
        EXPECT_EQ(GuardedMemory.WritableRangeCache.count, 1u);
        const uint64_t queries = GuardedMemory.RegionQueries;
        ASSERT_TRUE(SafeWriteFloat(p.At(0, 12), 2.5f));
        EXPECT_EQ(GuardedMemory.RegionQueries, queries);
        EXPECT_TRUE(p.U32(0, 8) == std::bit_cast<uint32_t>(1.5f) && p.U32(0, 12) == std::bit_cast<uint32_t>(2.5f));
        // The game re-protects the cached region: the store faults, gives
        // false and the protection stays.
        p.Protect(0, kPageNoAccess);
        EXPECT_FALSE(SafeWriteFloat(p.At(0), 2.0f));
        EXPECT_EQ(p.ProtectionOf(0), kPageNoAccess);
    }
    ResetGuardedMemoryState();
    for (uint32_t protect : {kPageExecuteRead, kPageReadOnly}) {
        Pages p({protect});
        ASSERT_TRUE(SafeWriteFloat(p.At(0, 16), 3.25f)) << protect;
        EXPECT_EQ(p.U32(0, 16), std::bit_cast<uint32_t>(3.25f));
        EXPECT_EQ(p.ProtectionOf(0), protect);
        EXPECT_EQ(GuardedMemory.WritableRangeCache.count, 0u);
    }
    EXPECT_FALSE(SafeWriteFloat(FreedAddress(), 1.0f) || SafeWriteFloat(0, 1.0f));
}

TEST_F(GuardedMemoryTest, BlockCodeAndProcessWritersRestoreProtection) {
    Pages p({kPageReadOnly, kPageExecuteRead, kPageReadWrite, kPageNoAccess});
    const uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
    const size_t offsets[] = {32, 7, 0};
    const uint32_t protections[] = {kPageReadOnly, kPageExecuteRead, kPageReadWrite};
    ASSERT_TRUE(WriteBytesProtected(p.At(0, 32), bytes, sizeof bytes));
    ASSERT_TRUE(PatchCodeBytes(p.At(1, 7), bytes, sizeof bytes));
    ASSERT_TRUE(WriteBytesProtected(p.At(2), bytes, sizeof bytes));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(p.At(i, offsets[i])), bytes, 6), 0) << i;
        EXPECT_EQ(p.ProtectionOf(i), protections[i]);
    }
    EXPECT_FALSE(WriteBytesProtected(0, bytes, 6) || WriteBytesProtected(p.At(0), nullptr, 6) ||
                 WriteBytesProtected(p.At(0), bytes, 0) || WriteBytesProtected(FreedAddress(), bytes, 6) ||
                 PatchCodeBytes(FreedAddress(), bytes, 6));
    // Process memory copies are all or nothing.
    std::vector<uint8_t> out(64);
    EXPECT_TRUE(SafeReadMemory(p.At(2), out.data(), out.size()) && SafeWriteMemory(p.At(2, 40), bytes, 4));
    EXPECT_EQ(p.U32(2, 40), 0x04030201u);
    EXPECT_FALSE(SafeReadMemory(p.At(2, p.page - 16), out.data(), out.size()) || SafeReadMemory(0, out.data(), 4) ||
                 SafeWriteMemory(p.At(3), bytes, 4));
}

// Under a sanitizer each region query and protection change reads a far
// longer map of the process: the races below run a tenth of their rounds.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kRoundsDivisor = 10;
#else
constexpr int kRoundsDivisor = 1;
#endif

// Two floats that share no byte at any position: any mix of them is neither.
constexpr uint32_t kFirstBits = 0x40A1B2C3u;
constexpr uint32_t kSecondBits = 0xC15E6F7Au;

// A render thread reads a float while the editor rewrites it, on a page it
// may write and on one whose protection each store lifts: every value read
// is the old one or the new one, never half of each.
TEST_F(GuardedMemoryTest, FloatsAreNeverReadHalfWritten) {
    Pages p({kPageReadWrite, kPageReadOnly});
    const struct {
        const char* what;
        uint64_t address;
        int writes;
    } rows[] = {
        {"writable page, cached", p.At(0, 64), 200000},
        {"off 4-byte alignment inside its quadword", p.At(0, 129), 200000},
        {"read-only page, lifted for each store", p.At(1, 64), 2000},
    };
    for (const auto& r : rows) {
        ASSERT_TRUE(SafeWriteFloat(r.address, std::bit_cast<float>(kFirstBits)));
        std::atomic<bool> done{false};
        std::atomic<int> mixed{0};
        auto reader = [&] {
            int bad = 0;
            while (!done.load(std::memory_order_relaxed)) {
                const uint32_t v =
                    __atomic_load_n(reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(r.address)), __ATOMIC_RELAXED);
                bad += v != kFirstBits && v != kSecondBits;
            }
            mixed += bad;
        };
        std::thread a(reader), b(reader);
        int failed = 0;
        for (int i = 0; i < r.writes / kRoundsDivisor; ++i)
            failed += !SafeWriteFloat(r.address, std::bit_cast<float>((i & 1) ? kSecondBits : kFirstBits));
        done = true;
        a.join();
        b.join();
        EXPECT_EQ(failed, 0) << r.what;
        EXPECT_EQ(mixed.load(), 0) << r.what;
    }
    EXPECT_EQ(p.ProtectionOf(1), kPageReadOnly);
}

// A game thread runs an instruction that loads a float through rip while
// the editor rewrites it: a displacement (inside one 16-byte block, across
// two blocks, across two cache lines) or the whole instruction across a
// cache line. Every run loads one of the two cells; a half-written
// displacement would load from a third place (planted with 9.0), a
// half-written instruction would be another instruction. Afterwards the
// code is the game's again, byte for byte.
TEST_F(GuardedMemoryTest, InstructionsAreNeverRunHalfWritten) {
    const size_t page = GetSystemMemoryInfo().pageSize;
    const uint64_t base = AllocateAnywhere(0x30000, kPageExecuteReadWrite);
    ASSERT_NE(base, 0u);
    const uint64_t cellA = base + 0x1000 + 0x2340;
    const uint64_t cellB = cellA + 0x010100;  // differs in the displacement's middle bytes only
    auto put = [](uint64_t at, float v) { std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(at)), &v, 4); };
    for (uint64_t at = base + 0x1000; at < base + 0x30000; at += 4) put(at, 9.0f);
    put(cellA, 1.0f);
    put(cellB, 2.0f);
    auto displacement = [](uint64_t end, uint64_t cell) { return static_cast<int32_t>(static_cast<int64_t>(cell - end)); };
    const struct {
        const char* what;
        uint64_t offset;  // of the instruction in the code page
        bool whole;       // the whole instruction changes (movss and movd loads)
        int rewrites;     // a byte copy shows a torn line within a few thousand
    } rows[] = {
        {"displacement inside one 16-byte block", 0x102, false, 2000},
        {"displacement across two 16-byte blocks", 0x20A, false, 2000},
        {"displacement across two cache lines", 0x33A, false, 10000},
        {"whole instruction across two cache lines", 0x4BE, true, 10000},
    };
    for (const auto& r : rows) {
        const uint64_t at = base + r.offset;
        uint8_t first[8] = {0xF3, 0x0F, 0x10, 0x05}, second[8] = {0xF3, 0x0F, 0x10, 0x05};  // movss xmm0, [rip+d]
        if (r.whole) std::memcpy(second, "\x66\x0F\x6E\x05", 4);                             // movd xmm0, [rip+d]
        const int32_t dA = displacement(at + 8, cellA), dB = displacement(at + 8, cellB);
        std::memcpy(first + 4, &dA, 4);
        std::memcpy(second + 4, &dB, 4);
        ASSERT_TRUE(((dA >> 8) & 0xFF) != 0xFF && ((dA >> 16) & 0xFF) != 0xFF) << "no carry between the cells";
        std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(at)), first, 8);
        reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(at))[8] = 0xC3;  // ret
        uint32_t old = 0;
        ASSERT_TRUE(ChangeProtection(base, page, kPageExecuteRead, &old));
        const auto run = reinterpret_cast<float (*)()>(static_cast<uintptr_t>(at));
        ASSERT_EQ(run(), 1.0f) << r.what;

        std::atomic<bool> done{false};
        std::atomic<int> wrong{0}, runs{0};
        std::thread game([&] {
            int bad = 0, n = 0;
            while (!done.load(std::memory_order_relaxed)) {
                const float v = run();
                bad += v != 1.0f && v != 2.0f;
                ++n;
            }
            wrong = bad;
            runs = n;
        });
        int failed = 0;
        for (int i = 0; i < r.rewrites / kRoundsDivisor; ++i) {
            const uint8_t* bytes = (i & 1) ? first : second;
            failed += r.whole ? !PatchCodeBytes(at, bytes, 8) : !PatchInstructionBytes(at, at + 4, bytes + 4, 4);
        }
        done = true;
        game.join();
        EXPECT_EQ(failed, 0) << r.what;
        EXPECT_EQ(wrong.load(), 0) << r.what << " (" << runs.load() << " runs)";
        EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(static_cast<uintptr_t>(at)), first, 8), 0) << r.what;
        EXPECT_EQ(run(), 1.0f);
        MemoryRegion region;
        EXPECT_TRUE(QueryMemoryRegion(at, region) && region.protect == kPageExecuteRead) << r.what;
        ASSERT_TRUE(ChangeProtection(base, page, kPageExecuteReadWrite, &old));
    }
    FreeMemory(base);
}

TEST_F(GuardedMemoryTest, TwoThreadsFaultAndCacheAtOnce) {
    Pages p({kPageReadWrite, kPageNoAccess, kPageReadWrite});
    std::atomic<int> wrong{0};
    auto worker = [&](int id) {
        for (int i = 0; i < 2000; ++i) {
            uint32_t v = 0;
            if (GuardedReadU32(p.At(1, (i * 4) % p.page), v)) ++wrong;
            if (!SafeWriteFloat(p.At(id * 2, (i * 4) % p.page), static_cast<float>(i))) ++wrong;
            if (!IsReadableCached(p.At(2 - id * 2, 8), 4)) ++wrong;
            if (IsReadableCached(p.At(1, 8), 4)) ++wrong;
        }
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(p.ProtectionOf(1), kPageNoAccess);
}

}  // namespace
