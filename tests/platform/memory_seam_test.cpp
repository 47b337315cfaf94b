// The memory seam on real pages.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/memory.h"
#include "platform/safe_copy.h"
#if !defined(_WIN32)
#include <sys/mman.h>

#include "platform/simulated.h"
#endif

namespace {

using namespace platform;

struct Pages {
    uintptr_t base = 0;
    size_t size = 0;
    explicit Pages(size_t pages, uint32_t protect = kPageReadWrite) {
        size = pages * GetSystemMemoryInfo().pageSize;
        base = AllocateAnywhere(size, protect);
    }
    ~Pages() {
        if (base) FreeMemory(base);
    }
    Pages(const Pages&) = delete;
    Pages& operator=(const Pages&) = delete;
};

TEST(MemorySeam, QueryReportsCommittedRegionWithItsProtection) {
    const size_t page = GetSystemMemoryInfo().pageSize;
    Pages p(3);
    ASSERT_NE(p.base, 0u);
    uint32_t old = 0;
    ASSERT_TRUE(ChangeProtection(p.base + page, page, kPageReadOnly, &old));
    EXPECT_EQ(old, kPageReadWrite);

    MemoryRegion first, middle, last;
    ASSERT_TRUE(QueryMemoryRegion(p.base + 10, first));
    ASSERT_TRUE(QueryMemoryRegion(p.base + page + 10, middle));
    ASSERT_TRUE(QueryMemoryRegion(p.base + 2 * page, last));
    EXPECT_EQ(first.state, kMemCommit);
    EXPECT_EQ(first.protect, kPageReadWrite);
    EXPECT_LE(first.base, p.base);
    EXPECT_EQ(first.base + first.size, p.base + page);
    EXPECT_EQ(middle.protect, kPageReadOnly);
    EXPECT_EQ(middle.base, p.base + page);
    EXPECT_EQ(middle.size, page);
    EXPECT_EQ(last.protect, kPageReadWrite);

    ASSERT_TRUE(ChangeProtection(p.base + page, page, kPageNoAccess, &old));
    EXPECT_EQ(old, kPageReadOnly);
    ASSERT_TRUE(QueryMemoryRegion(p.base + page, middle));
    EXPECT_EQ(middle.protect, kPageNoAccess);
    ASSERT_TRUE(ChangeProtection(p.base + page, page, kPageReadWrite, &old));
}

TEST(MemorySeam, FreedMemoryIsReportedFree) {
    const size_t size = 16 * GetSystemMemoryInfo().pageSize;
    uintptr_t base = AllocateAnywhere(size, kPageReadWrite);
    ASSERT_NE(base, 0u);
    ASSERT_TRUE(FreeMemory(base));
    MemoryRegion r;
    ASSERT_TRUE(QueryMemoryRegion(base, r));
    EXPECT_EQ(r.state, kMemFree);
    EXPECT_FALSE(FreeMemory(base));
}

TEST(MemorySeam, AllocateAtTakesExactlyTheAddressOrNothing) {
    const SystemMemoryInfo info = GetSystemMemoryInfo();
    Pages anchor(1);
    ASSERT_NE(anchor.base, 0u);
    // Taken address: refused, nothing replaced.
    EXPECT_EQ(AllocateAt(anchor.base, info.pageSize, kPageReadWrite), 0u);
    // A free address about 1 GiB below or above the anchor (whichever side
    // the address space has room on: Wine, for one, hands out low addresses).
    const uintptr_t granularity = info.allocationGranularity;
    const uintptr_t reach = uintptr_t(1) << 30;
    for (int side = 0; side < 2; ++side) {
        const bool below = side == 0;
        if (below ? anchor.base < info.minimumAddress + reach : anchor.base > info.maximumAddress - reach) continue;
        uintptr_t want = (below ? anchor.base - reach : anchor.base + reach) & ~(granularity - 1);
        for (int i = 0; i < 256; ++i, want = below ? want + granularity : want - granularity) {
            MemoryRegion r;
            if (!QueryMemoryRegion(want, r) || r.state != kMemFree || r.base + r.size < want + granularity) continue;
            uintptr_t got = AllocateAt(want, granularity, kPageExecuteReadWrite);
            if (got == 0) continue;
            EXPECT_EQ(got, want);
            MemoryRegion q;
            ASSERT_TRUE(QueryMemoryRegion(got, q));
            EXPECT_EQ(q.protect, kPageExecuteReadWrite);
            EXPECT_EQ(q.state, kMemCommit);
            // The new block is now taken in turn.
            EXPECT_EQ(AllocateAt(got, granularity, kPageReadWrite), 0u);
            EXPECT_TRUE(FreeMemory(got));
            return;
        }
    }
    FAIL() << "no free address found near the anchor";
}

TEST(MemorySeam, SafeCopyTurnsFaultsIntoFalse) {
    const size_t page = GetSystemMemoryInfo().pageSize;
    Pages p(2);
    ASSERT_NE(p.base, 0u);
    std::memset(reinterpret_cast<void*>(p.base), 0x5A, page);
    uint32_t old = 0;
    ASSERT_TRUE(ChangeProtection(p.base + page, page, kPageNoAccess, &old));

    std::vector<unsigned char> out(64, 0);
    EXPECT_TRUE(SafeCopy(out.data(), reinterpret_cast<const void*>(p.base), out.size()));
    EXPECT_EQ(out[63], 0x5A);
    // Straddles into the inaccessible page.
    EXPECT_FALSE(SafeCopy(out.data(), reinterpret_cast<const void*>(p.base + page - 8), 32));
    // Writing into it.
    EXPECT_FALSE(SafeCopy(reinterpret_cast<void*>(p.base + page), out.data(), 4));
    EXPECT_FALSE(SafeCopy(out.data(), reinterpret_cast<const void*>(uintptr_t(0x10)), 4));
    ASSERT_TRUE(ChangeProtection(p.base + page, page, kPageReadWrite, &old));
}

TEST(MemorySeam, SafeCopyFaultsFromTwoThreadsAtOnce) {
    const size_t page = GetSystemMemoryInfo().pageSize;
    Pages p(2);
    ASSERT_NE(p.base, 0u);
    uint32_t old = 0;
    ASSERT_TRUE(ChangeProtection(p.base + page, page, kPageNoAccess, &old));
    std::atomic<int> wrong{0};
    auto worker = [&] {
        unsigned char buffer[16];
        for (int i = 0; i < 2000; ++i) {
            if (SafeCopy(buffer, reinterpret_cast<const void*>(p.base + page), sizeof buffer)) ++wrong;
            if (!SafeCopy(buffer, reinterpret_cast<const void*>(p.base), sizeof buffer)) ++wrong;
        }
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    ChangeProtection(p.base + page, page, kPageReadWrite, &old);
}

TEST(MemorySeam, OwnProcessReadAndWriteRefuseInaccessiblePages) {
    const size_t page = GetSystemMemoryInfo().pageSize;
    Pages p(2);
    ASSERT_NE(p.base, 0u);
    uint32_t value = 0x12345678u, back = 0;
    EXPECT_TRUE(WriteOwnMemory(p.base, &value, sizeof value));
    EXPECT_TRUE(ReadOwnMemory(p.base, &back, sizeof back));
    EXPECT_EQ(back, value);
    uint32_t old = 0;
    ASSERT_TRUE(ChangeProtection(p.base + page, page, kPageNoAccess, &old));
    EXPECT_FALSE(ReadOwnMemory(p.base + page, &back, sizeof back));
    EXPECT_FALSE(WriteOwnMemory(p.base + page, &value, sizeof value));
    ChangeProtection(p.base + page, page, kPageReadWrite, &old);
}

#if !defined(_WIN32)
// A walk reads the map once; a single query reads it afresh and so sees a
// change made outside the seam; a change through the seam, made on any
// thread, ends the walk's reading.
TEST(MemorySeam, AWalkReadsTheMapOnceAndSingleQueriesSeeEveryChange) {
    const size_t page = GetSystemMemoryInfo().pageSize;
    Pages p(5);
    ASSERT_NE(p.base, 0u);
    const uint32_t protections[] = {kPageReadWrite, kPageReadOnly, kPageNoAccess, kPageReadOnly, kPageReadWrite};
    uint32_t old = 0;
    for (size_t i = 1; i < 4; ++i) ASSERT_TRUE(ChangeProtection(p.base + i * page, page, protections[i], &old));
    const uint64_t reads = sim::RegionMapReads();
    MemoryRegion r;
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(QueryNextMemoryRegion(i == 0 ? p.base : r.base + r.size, r));
        EXPECT_EQ(r.protect, protections[i]) << i;
    }
    EXPECT_LE(sim::RegionMapReads() - reads, 2u);  // 1, or 2 when the walk outlived its reading

    ASSERT_TRUE(QueryNextMemoryRegion(p.base + page, r));
    ASSERT_EQ(mprotect(reinterpret_cast<void*>(p.base + 2 * page), page, PROT_READ | PROT_WRITE), 0);
    ASSERT_TRUE(QueryMemoryRegion(p.base + 2 * page, r));
    EXPECT_EQ(r.protect, kPageReadWrite);

    ASSERT_TRUE(QueryNextMemoryRegion(p.base, r));
    ASSERT_EQ(r.base + r.size, p.base + page);
    std::thread([&] { ChangeProtection(p.base + page, page, kPageNoAccess, &old); }).join();
    ASSERT_TRUE(QueryNextMemoryRegion(p.base + page, r));
    EXPECT_EQ(r.protect, kPageNoAccess);
    ChangeProtection(p.base, 5 * page, kPageReadWrite, &old);
}
#endif

}  // namespace
