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
