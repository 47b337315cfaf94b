#include "timecycle/keyframe_runs.h"

#include <algorithm>
#include <bit>

namespace timecycle {

namespace {

constexpr unsigned kClasses = 13;
constexpr uint16_t kAllClasses = (1u << kClasses) - 1;
constexpr uint64_t kPrefetchPeriods = 4;

// The trivial halves in the order a row made only of them is looked for
// through: the rarest in memory first.
constexpr uint16_t kTrivialByRarity[] = {0xBC00, 0x8000, 0x3C00, 0x0000};

// The classes a row's indexed keyframes land in when its start is in class t.
uint16_t Rotated(uint16_t keyframes, unsigned t) {
    const uint32_t wide = static_cast<uint32_t>(keyframes) << t;
    return static_cast<uint16_t>((wide | (wide >> kClasses)) & kAllClasses);
}

bool Covers(uint16_t classes, const std::vector<uint16_t>& indexedKeyframes) {
    for (uint16_t keyframes : indexedKeyframes) {
        for (unsigned t = 0; t < kClasses; ++t)
            if ((Rotated(keyframes, t) & classes) == 0) return false;
    }
    return true;
}

// Memory another module owns, read as it stands: a plain load the
// sanitizers leave alone (their checks would take a scan of the game's
// heap for the editor's own faults), at any alignment.
using ForeignU16 = uint16_t __attribute__((__may_alias__, __aligned__(1)));
using ForeignU64 = uint64_t __attribute__((__may_alias__, __aligned__(1)));

#define VARNEL_FOREIGN_READS __attribute__((no_sanitize("address", "thread", "undefined")))

VARNEL_FOREIGN_READS inline uint16_t ReadU16(uint64_t address) {
    return *reinterpret_cast<const ForeignU16*>(address);
}

inline bool Indexed(const uint64_t* bits, uint16_t v) { return ((bits[v >> 6] >> (v & 63)) & 1) != 0; }

// The bounds of one scan: starts in [from, stepEnd), values below end.
struct Bounds {
    uint64_t from;
    uint64_t stepEnd;
    uint64_t end;
};

// The runs that the value v at address p may belong to. False when the sink stopped.
VARNEL_FOREIGN_READS bool TryCandidate(const KeyframeRunIndex& index, uint64_t p, uint16_t v, const Bounds& b,
                                        const KeyframeRunSink& sink) {
    const auto first = std::lower_bound(index.entries.begin(), index.entries.end(), v,
                                        [](const KeyframeRunIndex::Entry& e, uint16_t half) { return e.half < half; });
    const unsigned pClass = RunClassOf(p);
    for (auto it = first; it != index.entries.end() && it->half == v; ++it) {
        const uint64_t back = static_cast<uint64_t>(it->keyframe) * kRunClassBytes;
        if (p < b.from + back) continue;
        const uint64_t start = p - back;
        if (start >= b.stepEnd || start + 12 * kRunClassBytes + 2 > b.end) continue;
        if (index.reporter[it->row][(pClass + kClasses - it->keyframe) % kClasses] != it->keyframe) continue;
        const std::array<uint16_t, 13>& halves = index.halves[it->row];
        bool all = true;
        for (unsigned k = 0; k < 13 && all; ++k) all = ReadU16(start + k * kRunClassBytes) == halves[k];
        if (all && !sink.found(sink.context, start, it->row)) return false;
    }
    return true;
}

// The four values of one load, one of which is indexed. Kept out of the
// loop below, which then holds nothing but the test.
[[gnu::noinline]] VARNEL_FOREIGN_READS bool TryFour(const KeyframeRunIndex& index, uint64_t p, uint64_t word,
                                                   const Bounds& b, const KeyframeRunSink& sink) {
    for (unsigned j = 0; j < 4; ++j) {
        const uint16_t v = static_cast<uint16_t>(word >> (16 * j));
        if (Indexed(index.bits.data(), v) && !TryCandidate(index, p + 2 * j, v, b, sink)) return false;
    }
    return true;
}

// Every even address of [lo, hi) tried, four values a load.
VARNEL_FOREIGN_READS bool ScanWindow(const KeyframeRunIndex& index, uint64_t lo, uint64_t hi, const Bounds& b,
                                      const KeyframeRunSink& sink) {
    const uint64_t* bits = index.bits.data();
    uint64_t p = (lo + 1) & ~uint64_t{1};
    for (; p + 8 <= hi; p += 8) {
        const uint64_t word = *reinterpret_cast<const ForeignU64*>(p);
        const uint16_t v0 = static_cast<uint16_t>(word);
        const uint16_t v1 = static_cast<uint16_t>(word >> 16);
        const uint16_t v2 = static_cast<uint16_t>(word >> 32);
        const uint16_t v3 = static_cast<uint16_t>(word >> 48);
        const uint64_t any = (bits[v0 >> 6] >> (v0 & 63)) | (bits[v1 >> 6] >> (v1 & 63)) |
                             (bits[v2 >> 6] >> (v2 & 63)) | (bits[v3 >> 6] >> (v3 & 63));
        if ((any & 1) != 0 && !TryFour(index, p, word, b, sink)) return false;
    }
    for (; p + 2 <= hi; p += 2) {
        const uint16_t v = ReadU16(p);
        if (Indexed(bits, v) && !TryCandidate(index, p, v, b, sink)) return false;
    }
    return true;
}

}  // namespace

uint16_t IndexedKeyframes(const TimecycleRowRecord& row) {
    uint16_t keyframes = 0;
    for (unsigned k = 0; k < 13; ++k)
        if (!IsTrivialHalf(row.halves[k])) keyframes |= static_cast<uint16_t>(1u << k);
    if (keyframes != 0) return keyframes;
    for (uint16_t half : kTrivialByRarity) {
        for (unsigned k = 0; k < 13; ++k)
            if (row.halves[k] == half) keyframes |= static_cast<uint16_t>(1u << k);
        if (keyframes != 0) break;
    }
    return keyframes;
}

uint16_t CoveringClasses(const std::vector<uint16_t>& indexedKeyframes) {
    for (int size = 1; size < static_cast<int>(kClasses); ++size) {
        for (uint16_t classes = 1; classes < kAllClasses; ++classes) {
            if (std::popcount(classes) == size && Covers(classes, indexedKeyframes)) return classes;
        }
    }
    return kAllClasses;
}

void BuildKeyframeRunIndex(const std::vector<TimecycleRowRecord>& rows, KeyframeRunIndex& index) {
    index.bits.fill(0);
    index.entries.clear();
    index.halves.clear();
    index.reporter.clear();
    std::vector<uint16_t> indexed;
    for (const TimecycleRowRecord& row : rows) {
        indexed.push_back(IndexedKeyframes(row));
        std::array<uint16_t, 13> halves{};
        std::copy(row.halves.begin(), row.halves.end(), halves.begin());
        index.halves.push_back(halves);
    }
    index.classes = CoveringClasses(indexed);
    for (uint32_t r = 0; r < rows.size(); ++r) {
        std::array<uint8_t, 13> reporter{};
        for (unsigned t = 0; t < kClasses; ++t) {
            // The first indexed keyframe (in keyframe order) whose class is looked at.
            reporter[t] = 0xFF;
            for (unsigned k = 0; k < 13; ++k) {
                if (((indexed[r] >> k) & 1) != 0 && ((index.classes >> ((t + k) % kClasses)) & 1) != 0) {
                    reporter[t] = static_cast<uint8_t>(k);
                    break;
                }
            }
        }
        index.reporter.push_back(reporter);
        for (unsigned k = 0; k < 13; ++k) {
            if (((indexed[r] >> k) & 1) == 0) continue;
            const uint16_t half = rows[r].halves[k];
            index.bits[half >> 6] |= 1ull << (half & 63);
            index.entries.push_back({half, static_cast<uint8_t>(k), r});
        }
    }
    std::sort(index.entries.begin(), index.entries.end(), [](const auto& a, const auto& b) {
        return a.half != b.half ? a.half < b.half : a.row != b.row ? a.row < b.row : a.keyframe < b.keyframe;
    });
}

bool FindKeyframeRuns(const KeyframeRunIndex& index, uint64_t from, uint64_t length, uint64_t step,
                      const KeyframeRunSink& sink) {
    if (index.entries.empty() || length < 12 * kRunClassBytes + 2 || sink.found == nullptr) return true;
    const Bounds b{from, from + std::min(step, length), from + length};
    // The looked-at classes as runs of consecutive classes [c0, c1).
    unsigned runs[kClasses][2];
    unsigned runCount = 0;
    for (unsigned c = 0; c < kClasses;) {
        if (((index.classes >> c) & 1) == 0) {
            ++c;
            continue;
        }
        unsigned e = c;
        while (e < kClasses && ((index.classes >> e) & 1) != 0) ++e;
        runs[runCount][0] = c;
        runs[runCount][1] = e;
        ++runCount;
        c = e;
    }
    // Values are looked at where a run reported by its keyframe may stand:
    // from the first start to the last value of the last start.
    const uint64_t hi = std::min(b.end, b.stepEnd + 12 * kRunClassBytes + 2);
    for (uint64_t period = from - from % kRunPeriodBytes; period < hi; period += kRunPeriodBytes) {
        for (unsigned i = 0; i < runCount; ++i) {
            const uint64_t lo = std::max(from, period + runs[i][0] * kRunClassBytes);
            const uint64_t end = std::min(hi, period + runs[i][1] * kRunClassBytes);
            // The windows lie a period apart: too far for the processor to
            // see the stream, so the one a few periods on is fetched now.
            const uint64_t ahead = lo + kPrefetchPeriods * kRunPeriodBytes;
            for (uint64_t line = ahead & ~uint64_t{63}; line < end + kPrefetchPeriods * kRunPeriodBytes && line < hi;
                 line += 64)
                __builtin_prefetch(reinterpret_cast<const void*>(line));
            if (lo < end && !ScanWindow(index, lo, end, b, sink)) return false;
        }
    }
    return true;
}

}  // namespace timecycle
