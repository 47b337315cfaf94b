// Runs of recognition rows found in place: the classes looked at, and the
// runs found against a search that tries every start, over memory with
// planted runs, near misses and rows of every kind.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "timecycle/half_float.h"
#include "timecycle/keyframe_runs.h"
#include "timecycle/recognition_rows.h"

namespace timecycle {
namespace {

TimecycleRowRecord RowOfHalves(const std::array<uint16_t, 13>& halves) {
    TimecycleRowRecord row;
    for (size_t k = 0; k < 13; ++k) {
        row.halves[k] = halves[k];
        row.values[k] = HalfToFloat(halves[k]);
    }
    FinishTimecycleRow(row);
    return row;
}

uint16_t Mask(std::initializer_list<int> keyframes) {
    uint16_t mask = 0;
    for (int k : keyframes) mask |= static_cast<uint16_t>(1u << k);
    return mask;
}

TEST(KeyframeRuns, IndexedKeyframesAndCoveringClasses) {
    // Trivial values are looked for only when a row has nothing else: then its rarest.
    EXPECT_EQ(IndexedKeyframes(RowOfHalves({0x3555, 0, 0x3C00, 0x4001, 0, 0, 0, 0, 0, 0, 0, 0, 0xBC00})), Mask({0, 3}));
    EXPECT_EQ(IndexedKeyframes(RowOfHalves({0, 0x3C00, 0xBC00, 0, 0x8000, 0, 0, 0, 0, 0xBC00, 0, 0, 0})), Mask({2, 9}));
    EXPECT_EQ(IndexedKeyframes(RowOfHalves({0, 0x3C00, 0, 0, 0x8000, 0, 0, 0, 0, 0, 0, 0, 0})), Mask({4}));

    const uint16_t all = 0x1FFF;
    const struct {
        std::vector<uint16_t> rows;
        int classes;  // how many the fewest are
    } cases[] = {
        {{all}, 1},
        {{all, all, Mask({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})}, 2},  // one keyframe not indexed: a run of two
        {{Mask({5})}, 13},                                             // a single keyframe: every class
        {{Mask({0, 6})}, 7},  // {t, t + 6} for every t: every other class of the cycle 0, 6, 12, 5, ...
        {{Mask({0, 1, 2, 3, 4, 5, 6}), Mask({0, 1, 2, 3, 4, 5, 6, 7, 8, 9})}, 2},
    };
    for (const auto& c : cases) {
        const uint16_t classes = CoveringClasses(c.rows);
        EXPECT_EQ(std::popcount(classes), c.classes) << classes;
        // Every row meets a looked-at class with one of its keyframes, wherever it starts.
        for (uint16_t keyframes : c.rows) {
            for (unsigned t = 0; t < 13; ++t) {
                bool met = false;
                for (unsigned k = 0; k < 13; ++k) met = met || (((keyframes >> k) & 1) && ((classes >> ((t + k) % 13)) & 1));
                EXPECT_TRUE(met) << keyframes << " from class " << t;
            }
        }
    }
}

// Every (start, row) whose 13 values stand in memory: the search of every
// even start of [from, from + step) whose reach lies inside the length.
std::set<std::pair<uint64_t, uint32_t>> EveryStart(const std::vector<TimecycleRowRecord>& rows, uint64_t from,
                                                   uint64_t length, uint64_t step) {
    std::set<std::pair<uint64_t, uint32_t>> found;
    for (uint64_t s = (from + 1) & ~uint64_t{1}; s < from + step && s + 12 * 864 + 2 <= from + length; s += 2) {
        for (uint32_t r = 0; r < rows.size(); ++r) {
            bool all = true;
            for (size_t k = 0; k < 13 && all; ++k) {
                uint16_t v;
                std::memcpy(&v, reinterpret_cast<const void*>(s + 864 * k), 2);
                all = v == rows[r].halves[k];
            }
            if (all) found.insert({s, r});
        }
    }
    return found;
}

struct Collected {
    std::vector<std::pair<uint64_t, uint32_t>> runs;
    size_t stopAfter = SIZE_MAX;
};
bool Collect(void* context, uint64_t start, uint32_t row) {
    auto& c = *static_cast<Collected*>(context);
    c.runs.push_back({start, row});
    return c.runs.size() < c.stopAfter;
}

// Rows of every kind planted at random even places, whole and with one
// value wrong, in memory of zeros, small floats and noise: the runs found
// are exactly those a search of every start finds, each once.
TEST(KeyframeRuns, FindsWhatEveryStartFindsOnce) {
    std::mt19937_64 random(11);
    const auto half = [&] { return static_cast<uint16_t>(0x2000 + random() % 0x3000); };
    std::vector<TimecycleRowRecord> rows;
    for (int r = 0; r < 20; ++r) {  // ordinary rows, some values repeated
        std::array<uint16_t, 13> h{};
        for (auto& v : h) v = half();
        h[static_cast<size_t>(r % 13)] = h[static_cast<size_t>((r + 5) % 13)];
        rows.push_back(RowOfHalves(h));
    }
    rows.push_back(RowOfHalves({0, 0x3C00, 0xBC00, 0, 0x8000, 0, 0, 0x3C00, 0, 0xBC00, 0, 0, 0}));  // trivial only
    rows.push_back(RowOfHalves({0, 0, 0, 0, 0, 0, 0x4321, 0, 0, 0, 0, 0, 0x3C00}));                // one value
    rows.push_back(RowOfHalves({0x3400, 0x3400, 0x3400, 0x3400, 0x3400, 0x3400, 0x3400, 0x3400, 0x3400, 0x3400,
                                0x3400, 0x3400, 0x3400}));  // one value throughout
    rows.push_back(rows[0]);                                // the same row twice

    constexpr size_t kBytes = 3u << 20;
    std::vector<uint16_t> memory(kBytes / 2);
    for (size_t i = 0; i < memory.size(); ++i) {
        const uint64_t x = random();
        memory[i] = (i / 512) % 4 == 0 ? 0 : (x & 3) == 0 ? static_cast<uint16_t>(x >> 16) : rows[x % rows.size()].halves[(x >> 8) % 13];
    }
    const uint64_t base = reinterpret_cast<uint64_t>(memory.data());
    for (int i = 0; i < 400; ++i) {
        const size_t r = random() % rows.size();
        const size_t at = random() % (memory.size() - 13 * 432);
        for (size_t k = 0; k < 13; ++k) memory[at + k * 432] = rows[r].halves[k];
        if (i % 3 == 0) memory[at + (random() % 13) * 432] ^= 0x0100;  // a near miss
    }
    KeyframeRunIndex index;
    BuildKeyframeRunIndex(rows, index);
    EXPECT_EQ(std::popcount(index.classes), 13);  // the row of one value

    std::vector<TimecycleRowRecord> ordinary(rows.begin(), rows.begin() + 20);
    KeyframeRunIndex fewer;
    BuildKeyframeRunIndex(ordinary, fewer);
    EXPECT_EQ(std::popcount(fewer.classes), 1);

    const struct {
        uint64_t offset, length, step;
    } pieces[] = {
        {0, kBytes, kBytes},
        {4096, (1u << 20) + 10370, 1u << 20},  // one step of a walk with its reach
        {1, 500000, 100000},                   // an odd start: even addresses only
        {kBytes - 20000, 20000, 20000},
        {777, 10370, 10000},  // less than a step's reach
    };
    for (const KeyframeRunIndex* idx : {&index, &fewer}) {
        const std::vector<TimecycleRowRecord>& rs = idx == &index ? rows : ordinary;
        for (const auto& piece : pieces) {
            Collected got;
            EXPECT_TRUE(FindKeyframeRuns(*idx, base + piece.offset, piece.length, piece.step, {&Collect, &got}));
            const std::set<std::pair<uint64_t, uint32_t>> once(got.runs.begin(), got.runs.end());
            EXPECT_EQ(once.size(), got.runs.size()) << "a run reported twice at " << piece.offset;
            EXPECT_EQ(once, EveryStart(rs, base + piece.offset, piece.length, piece.step)) << piece.offset;
            if (piece.offset == 0) {
                EXPECT_GE(got.runs.size(), 200u);
            }
        }
    }
    // The sink stops the scan.
    Collected three;
    three.stopAfter = 3;
    EXPECT_FALSE(FindKeyframeRuns(index, base, kBytes, kBytes, {&Collect, &three}));
    EXPECT_EQ(three.runs.size(), 3u);
}

}  // namespace
}  // namespace timecycle
