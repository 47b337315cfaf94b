// The region walk on real pages of the test process (native and, in the
// Windows build, under Wine): which bytes it hands out for a filter, a
// range, own ranges, a piece size and a budget, and how slices keep its
// place; and the own ranges' registry at the end of the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/region_walk.h"
#include "support/pages.h"

namespace {

using namespace runtime;
using namespace platform;
using testsupport::Pages;

// Byte offsets from the pages' base: [start, end) read, segmentEnd.
struct Span {
    uint64_t start, end, segmentEnd;
    bool operator==(const Span&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Span& s) {
    return out << "[" << s.start << "," << s.end << ")->" << s.segmentEnd;
}

// RW RW RO NA RW RW RW XRW: regions [0,2) [2,3) [3,4) [4,7) [7,8) pages.
const std::initializer_list<uint32_t> kLayout = {kPageReadWrite, kPageReadWrite, kPageReadOnly, kPageNoAccess,
                                                 kPageReadWrite, kPageReadWrite, kPageReadWrite, kPageExecuteReadWrite};

// The walk's pieces, each counted as read (at most spendCap bytes of each when set).
std::vector<Span> Pieces(RegionWalk& walk, uint64_t base, uint64_t spendCap = 0) {
    std::vector<Span> out;
    RegionPiece piece;
    while (NextRegionPiece(walk, piece)) {
        out.push_back({piece.start - base, piece.end - base, piece.segmentEnd - base});
        SpendWalkBytes(walk, spendCap != 0 ? std::min(spendCap, piece.end - piece.start) : piece.end - piece.start);
    }
    return out;
}

TEST(RegionWalk, FilterRangeOwnRangesPiecesAndBudget) {
    Pages p(kLayout);
    const uint64_t P = p.page;
    struct Own {
        uint64_t from, size;
    };
    const struct {
        const char* what;
        RegionFilter filter;
        uint64_t from, to, pieceBytes, budget;
        std::vector<Own> own;
        std::vector<Span> want;
        bool truncated;
        uint64_t spendCap = 0;
    } rows[] = {
        {"readable", {}, 0, 8 * P, 0, 0, {}, {{0, 2 * P, 2 * P}, {2 * P, 3 * P, 3 * P}, {4 * P, 7 * P, 7 * P}, {7 * P, 8 * P, 8 * P}}, false},
        {"writable", {IsWritableDataProtect}, 0, 8 * P, 0, 0, {}, {{0, 2 * P, 2 * P}, {4 * P, 7 * P, 7 * P}, {7 * P, 8 * P, 8 * P}}, false},
        {"read-write data", {IsReadWriteDataProtect}, 0, 8 * P, 0, 0, {}, {{0, 2 * P, 2 * P}, {4 * P, 7 * P, 7 * P}}, false},
        {"range", {}, P + 100, 5 * P + 8, 0, 0, {}, {{P + 100, 2 * P, 2 * P}, {2 * P, 3 * P, 3 * P}, {4 * P, 5 * P + 8, 5 * P + 8}}, false},
        {"sizes", {IsReadWriteDataProtect, 0, 2 * P + 1}, 0, 8 * P, 0, 0, {}, {{4 * P, 7 * P, 7 * P}}, false},
        {"sizes", {IsReadWriteDataProtect, 0, 0, 2 * P}, 0, 8 * P, 0, 0, {}, {{0, 2 * P, 2 * P}}, false},
        {"image only", {IsReadableProtect, kMemImage}, 0, 8 * P, 0, 0, {}, {}, false},
        {"pieces", {IsReadWriteDataProtect}, 0, 8 * P, P, 0, {}, {{0, P, 2 * P}, {P, 2 * P, 2 * P}, {4 * P, 5 * P, 7 * P}, {5 * P, 6 * P, 7 * P}, {6 * P, 7 * P, 7 * P}}, false},
        {"own ranges", {IsReadWriteDataProtect}, 0, 8 * P, 0, 0, {{P + 16, 32}, {4 * P, 8}, {6 * P - 4, 8}, {6 * P - 2, 4}},
         {{0, P + 16, P + 16}, {P + 48, 2 * P, 2 * P}, {4 * P + 8, 6 * P - 4, 6 * P - 4}, {6 * P + 4, 7 * P, 7 * P}}, false},
        {"own ranges in pieces", {IsReadWriteDataProtect}, 0, 2 * P, P, 0, {{P + 16, 32}},
         {{0, P, P + 16}, {P, P + 16, P + 16}, {P + 48, 2 * P, 2 * P}}, false},
        {"own range over a region", {IsReadWriteDataProtect}, 0, 8 * P, 0, 0, {{P, 4 * P}}, {{0, P, P}, {5 * P, 7 * P, 7 * P}}, false},
        {"budget cuts a piece", {IsReadWriteDataProtect}, 0, 8 * P, 0, P + 100, {}, {{0, P + 100, P + 100}}, true},
        {"budget cuts a piece read in part", {IsReadWriteDataProtect}, 0, 8 * P, 0, P + 100, {}, {{0, P + 100, P + 100}}, true, 10},
        {"budget used up", {IsReadWriteDataProtect}, 0, 8 * P, 0, 2 * P, {}, {{0, 2 * P, 2 * P}}, true},
        {"budget left over", {IsReadWriteDataProtect}, 0, 2 * P, 0, 2 * P + 1, {}, {{0, 2 * P, 2 * P}}, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        std::vector<uint64_t> ids;
        for (const Own& own : r.own) ids.push_back(RegisterOwnRange(reinterpret_cast<const void*>(p.base + own.from), own.size));
        RegionWalk walk;
        walk.filter = r.filter;
        walk.from = p.base + r.from;
        walk.to = p.base + r.to;
        walk.pieceBytes = r.pieceBytes;
        walk.byteBudget = r.budget;
        EXPECT_EQ(Pieces(walk, p.base, r.spendCap), r.want);
        EXPECT_TRUE(walk.done && walk.truncated == r.truncated);
        for (uint64_t id : ids) UnregisterOwnRange(id);
    }
    // A region holding a named address is passed over whole.
    RegionWalk walk;
    walk.filter = {IsReadWriteDataProtect};
    walk.from = p.base;
    walk.to = p.base + 8 * P;
    walk.skipRegionsHolding = {p.At(5, 8)};
    EXPECT_EQ(Pieces(walk, p.base), (std::vector<Span>{{0, 2 * P, 2 * P}}));
    EXPECT_EQ(walk.regionsTaken, 1u);
}

uint64_t g_nowMs = 0;
uint64_t FakeClock() { return g_nowMs; }

// Slices keep the walk's place: together they give the pieces of one whole
// walk. A slice ends at its bytes or its time; the time budget counts only
// the time spent inside slices; an own range registered between two slices
// is left out from the next one on.
TEST(RegionWalk, SlicesKeepThePlaceAndCountOnlyTheirOwnTime) {
    Pages p({kPageReadWrite, kPageReadWrite, kPageReadWrite, kPageReadWrite, kPageReadWrite, kPageReadWrite,
             kPageReadWrite, kPageReadWrite, kPageReadWrite, kPageReadWrite, kPageReadOnly});
    const uint64_t P = p.page;
    const auto fresh = [&] {
        RegionWalk walk;
        walk.filter = {IsReadWriteDataProtect};
        walk.from = p.base;
        walk.to = p.base + 11 * P;
        walk.pieceBytes = P;
        walk.clock = FakeClock;
        return walk;
    };
    RegionWalk whole = fresh();
    const std::vector<Span> all = Pieces(whole, p.base);
    ASSERT_EQ(all.size(), 10u);

    RegionWalk bytes = fresh();
    std::vector<Span> joined;
    int slices = 0;
    uint64_t id = 0;
    for (; !bytes.done && slices < 20; ++slices) {
        BeginWalkSlice(bytes, {3 * P, 0});
        const std::vector<Span> part = Pieces(bytes, p.base);
        EXPECT_LE(part.size(), 3u);
        joined.insert(joined.end(), part.begin(), part.end());
        if (slices == 0) id = RegisterOwnRange(reinterpret_cast<const void*>(p.At(3)), 2 * P);  // pages 3 and 4
    }
    UnregisterOwnRange(id);
    std::vector<Span> want = all;
    want.erase(want.begin() + 3, want.begin() + 5);
    EXPECT_EQ(joined, want);
    EXPECT_EQ(slices, 3);  // 3 + 3 + 2 pieces

    // Each piece takes 3 ms; a slice gives pieces while at most 5 ms have
    // passed since it began; the walk stops at 20 ms spent in slices, however
    // long the frames between the slices take.
    RegionWalk timed = fresh();
    timed.timeBudgetMs = 20;
    std::vector<size_t> perSlice;
    while (!timed.done && perSlice.size() < 20) {
        g_nowMs += 1000;
        BeginWalkSlice(timed, {0, 5});
        RegionPiece piece;
        size_t n = 0;
        for (; NextRegionPiece(timed, piece); ++n) g_nowMs += 3;
        perSlice.push_back(n);
    }
    EXPECT_EQ(perSlice, (std::vector<size_t>{2, 2, 2, 1}));
    EXPECT_TRUE(timed.timedOut && timed.elapsedMs == 21u);
}

// Built before main, so before the registry's first use, as the editor's
// static copies are: static destruction destroys it after the point where
// a registry built at its first use would go.
OwnCopy g_copyAtExit;

// A copy that still holds a range when the process ends unregisters it in
// its destructor. The registry then holds so many ranges that their list
// lies in pages of its own, which go back to the system when it is freed:
// a registry destroyed before the copy makes the child fault in every build.
TEST(OwnRangesDeathTest, ACopyDestroyedAtTheEndOfTheProcessUnregisters) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: the registry not built yet
    EXPECT_EXIT(
        {
            static const uint8_t bytes[64] = {1};
            for (uint64_t i = 0; i < (uint64_t{1} << 21); ++i) RegisterOwnRange(bytes, 1 + i % 64);
            g_copyAtExit.Assign(bytes, sizeof bytes);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}

}  // namespace
