// The memory seam on real pages (native, and in the Windows build under Wine).
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/memory.h"
#include "platform/safe_copy.h"
#include "support/pages.h"
#if !defined(_WIN32)
#include <sys/mman.h>

#include "platform/simulated.h"
#endif

namespace {

using namespace platform;
using testsupport::Pages;

// As VirtualQuery: a region runs from the page of the address to the end of
// the pages with its state and protection.
TEST(MemorySeam, QueriesReportRegionsAndFreedMemory) {
    const uint32_t want[] = {kPageReadWrite, kPageReadWrite, kPageReadOnly, kPageNoAccess, kPageExecuteRead};
    Pages p({kPageReadWrite, kPageReadWrite, kPageReadOnly, kPageNoAccess, kPageExecuteRead});
    for (size_t i = 0; i < 5; ++i) {
        MemoryRegion r;
        ASSERT_TRUE(QueryMemoryRegion(p.At(i, 10), r));
        EXPECT_TRUE(r.state == kMemCommit && r.protect == want[i] && r.base == p.At(i)) << i;
        EXPECT_TRUE(i == 4 || r.base + r.size == p.At(i == 0 ? 2 : i + 1)) << i;
    }
    const size_t size = 16 * p.page;
    const uintptr_t freed = AllocateAnywhere(size, kPageReadWrite);
    ASSERT_TRUE(FreeMemory(freed));
    MemoryRegion r;
    ASSERT_TRUE(QueryMemoryRegion(freed, r));
    EXPECT_EQ(r.state, kMemFree);
    EXPECT_FALSE(FreeMemory(freed));  // only blocks it handed out, once
}

// MAP_FIXED_NOREPLACE / VirtualAlloc at an address: that address or nothing,
// never a mapping that is already there.
TEST(MemorySeam, AllocateAtTakesExactlyTheAddressOrNothing) {
    const uintptr_t granularity = GetSystemMemoryInfo().allocationGranularity;
    Pages anchor({kPageReadWrite});
    EXPECT_EQ(AllocateAt(anchor.base, anchor.page, kPageReadWrite), 0u);
    const uintptr_t hole = AllocateAnywhere(2 * granularity, kPageReadWrite);
    ASSERT_TRUE(FreeMemory(hole));
    const uintptr_t want = (hole + granularity - 1) & ~(granularity - 1);
    ASSERT_EQ(AllocateAt(want, granularity, kPageExecuteReadWrite), want);
    MemoryRegion r;
    ASSERT_TRUE(QueryMemoryRegion(want, r));
    EXPECT_TRUE(r.protect == kPageExecuteReadWrite && r.state == kMemCommit);
    EXPECT_EQ(AllocateAt(want, granularity, kPageReadWrite), 0u);  // now taken in turn
    EXPECT_TRUE(FreeMemory(want));
}

// Guarded copies and own-process copies turn faults into false (two
// threads at once: the guarded-memory tests).
TEST(MemorySeam, CopiesTurnFaultsIntoFalse) {
    Pages p({kPageReadWrite, kPageNoAccess});
    std::vector<unsigned char> out(64, 0);
    EXPECT_TRUE(SafeCopy(out.data(), reinterpret_cast<const void*>(p.base), out.size()));
    EXPECT_EQ(out[63], 0x11);
    EXPECT_FALSE(SafeCopy(out.data(), reinterpret_cast<const void*>(p.At(0, p.page - 8)), 32));  // straddles
    EXPECT_FALSE(SafeCopy(reinterpret_cast<void*>(p.At(1)), out.data(), 4));
    EXPECT_FALSE(SafeCopy(out.data(), reinterpret_cast<const void*>(uintptr_t(0x10)), 4));
    uint32_t value = 0x12345678u, back = 0;
    EXPECT_TRUE(WriteOwnMemory(p.base, &value, 4) && ReadOwnMemory(p.base, &back, 4) && back == value);
    EXPECT_FALSE(ReadOwnMemory(p.At(1), &back, 4));
    EXPECT_FALSE(WriteOwnMemory(p.At(1), &value, 4));
}

// A guarded run reads in place: a fault ends the run (and only the
// innermost one) with false, and the caller goes on with its own state
// intact; faults outside any run are not ours (the death test is left out:
// the fault would end the test program).
struct RunProbe {
    const volatile unsigned char* at = nullptr;
    uint64_t sum = 0;
    int reached = 0;
    RunProbe* inner = nullptr;
    bool innerCompleted = false;
};
void ReadOneByOne(void* context) {
    auto* probe = static_cast<RunProbe*>(context);
    if (probe->inner != nullptr) probe->innerCompleted = GuardedRun(&ReadOneByOne, probe->inner);
    for (int i = 0; i < 64; ++i) {
        probe->sum += probe->at[i * 64];
        probe->reached = i + 1;
    }
}

TEST(MemorySeam, GuardedRunsEndAtTheirOwnFault) {
    Pages p({kPageReadWrite, kPageNoAccess});
    const auto base = reinterpret_cast<const volatile unsigned char*>(p.base);
    const struct {
        const char* what;
        uint64_t offset;  // of the outer run's reads; the inner one (if any) starts at innerOffset
        int64_t innerOffset;
        bool completed, innerCompleted;
        int reached, innerReached;
    } cases[] = {
        {"all readable", 0, -1, true, false, 64, 0},
        {"faults at the 33rd read", 2048, -1, false, false, 32, 0},
        {"inner run faults, outer completes", 0, 2048, true, false, 64, 32},
        {"inner run completes, outer faults", 2048, 0, false, true, 32, 64},
    };
    for (const auto& c : cases) {
        RunProbe inner{base + (c.innerOffset < 0 ? 0 : c.innerOffset)};
        RunProbe outer{base + c.offset, 0, 0, c.innerOffset < 0 ? nullptr : &inner};
        // Locals kept in callee-saved registers across the run must survive a fault.
        volatile uint64_t keep = 0x5EED;
        EXPECT_EQ(GuardedRun(&ReadOneByOne, &outer), c.completed) << c.what;
        EXPECT_EQ(keep, 0x5EEDu);
        EXPECT_EQ(outer.reached, c.reached) << c.what;
        EXPECT_EQ(outer.sum, 0x11u * static_cast<uint64_t>(c.reached)) << c.what;
        EXPECT_EQ(outer.innerCompleted, c.innerCompleted) << c.what;
        EXPECT_EQ(inner.reached, c.innerReached) << c.what;
    }
    EXPECT_FALSE(GuardedRun(nullptr, nullptr));
    // Two threads fault in their own runs at once, many times.
    const auto faultMany = [&] {
        for (int i = 0; i < 200; ++i) {
            RunProbe probe{base + 2048};
            if (GuardedRun(&ReadOneByOne, &probe) || probe.reached != 32) ADD_FAILURE() << i;
        }
    };
    std::thread other(faultMany);
    faultMany();
    other.join();
}

#if !defined(_WIN32)
// A walk reads the map once; a single query reads it afresh and so sees a
// change made outside the seam; a change through the seam, made on any
// thread, ends the walk's reading.
TEST(MemorySeam, AWalkReadsTheMapOnceAndSingleQueriesSeeEveryChange) {
    const uint32_t protections[] = {kPageReadWrite, kPageReadOnly, kPageNoAccess, kPageReadOnly};
    Pages p({kPageReadWrite, kPageReadOnly, kPageNoAccess, kPageReadOnly, kPageReadWrite});
    const uint64_t reads = sim::RegionMapReads();
    MemoryRegion r;
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(QueryNextMemoryRegion(i == 0 ? p.base : r.base + r.size, r));
        EXPECT_EQ(r.protect, protections[i]) << i;
    }
    EXPECT_LE(sim::RegionMapReads() - reads, 2u);  // 1, or 2 when the walk outlived its reading

    ASSERT_TRUE(QueryNextMemoryRegion(p.At(1), r));
    ASSERT_EQ(mprotect(reinterpret_cast<void*>(p.At(2)), p.page, PROT_READ | PROT_WRITE), 0);
    ASSERT_TRUE(QueryMemoryRegion(p.At(2), r));
    EXPECT_EQ(r.protect, kPageReadWrite);

    ASSERT_TRUE(QueryNextMemoryRegion(p.base, r));
    ASSERT_EQ(r.base + r.size, p.At(1));
    uint32_t old = 0;
    std::thread([&] { ChangeProtection(p.At(1), p.page, kPageNoAccess, &old); }).join();
    ASSERT_TRUE(QueryNextMemoryRegion(p.At(1), r));
    EXPECT_EQ(r.protect, kPageNoAccess);
}
#endif

}  // namespace
