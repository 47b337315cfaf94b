// One pass for many patterns. Every pattern that has a run of at least 7
// fixed bytes is found through its aligned 4-byte words: any 7-byte run,
// wherever it starts, contains exactly one whole word at an address that is
// a multiple of 4, at one of four distances from the run's start. The four
// possible words of each pattern go into a bit filter and a small hash
// table; the pass then reads one aligned word per 4 bytes, and only words
// that pass the filter are looked up and verified in full. Patterns without
// such a run (wildcard-heavy test patterns) are compared at every position.
#include "runtime/image_search.h"

#include <algorithm>
#include <cstring>

#include "runtime/guarded_memory.h"
#include "runtime/region_walk.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace runtime::detail {
namespace {

constexpr size_t kWindow = 7;
constexpr unsigned kFilterBits = 17;  // 16 KiB of filter bits

inline uint32_t LoadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint32_t FilterHash(uint32_t word) { return (word * 0x9E3779B1u) >> (32 - kFilterBits); }

bool Fixed(const SearchPattern& pattern, size_t i) { return pattern.mask == nullptr || pattern.mask[i] == 'x'; }

// How often a word is expected in code and data: zero, FF and CC bytes and
// words of few distinct bytes are common, so windows made of them are
// avoided as anchors.
int Commonness(uint32_t word) {
    int score = 0;
    uint8_t b[4];
    std::memcpy(b, &word, 4);
    for (uint8_t v : b) {
        if (v == 0x00) score += 3;
        else if (v == 0xFF || v == 0xCC || v == 0x90) score += 2;
        else if (v == 0x3F || v == 0x40 || v == 0x41 || v == 0x48) score += 1;
    }
    int distinct = 0;
    for (int i = 0; i < 4; ++i) {
        bool seen = false;
        for (int j = 0; j < i; ++j) seen = seen || b[j] == b[i];
        if (!seen) ++distinct;
    }
    if (distinct <= 2) score += 4;
    return score;
}

// Start of the best all-fixed 7-byte window, or -1 when there is none.
long BestWindow(const SearchPattern& pattern) {
    long best = -1;
    int bestScore = 0;
    size_t run = 0;
    for (size_t i = 0; i < pattern.length; ++i) {
        run = Fixed(pattern, i) ? run + 1 : 0;
        if (run < kWindow) continue;
        const size_t w = i + 1 - kWindow;
        int score = 0;
        for (size_t k = 0; k < 4; ++k) score += Commonness(LoadU32(pattern.bytes + w + k));
        if (best < 0 || score < bestScore) {
            best = static_cast<long>(w);
            bestScore = score;
        }
    }
    return best;
}

bool MatchesAt(const SearchPattern& pattern, const uint8_t* at) {
    if (pattern.mask == nullptr) return std::memcmp(pattern.bytes, at, pattern.length) == 0;
    for (size_t i = 0; i < pattern.length; ++i) {
        if (pattern.mask[i] == 'x' && pattern.bytes[i] != at[i]) return false;
    }
    return true;
}

void Count(SearchPattern& pattern, uint64_t address) {
    if (pattern.count == 0) pattern.first = address;
    if (pattern.count < 2) ++pattern.count;
}

struct Entry {
    uint32_t word;
    uint32_t pattern;
    uint32_t delta;  // offset of the word from the pattern's start
};

struct Index {
    std::vector<uint64_t> filter;
    // Open-addressed table of entry ranges keyed by word.
    std::vector<Entry> entries;  // sorted by word
    std::vector<uint32_t> slotWord;
    std::vector<uint32_t> slotFirst;  // index into entries, UINT32_MAX = empty
    std::vector<uint32_t> slotCount;
    uint32_t slotMask = 0;

    void Build(std::span<SearchPattern> patterns, const std::vector<long>& windows) {
        filter.assign((size_t(1) << kFilterBits) / 64, 0);
        entries.clear();
        for (size_t p = 0; p < patterns.size(); ++p) {
            if (windows[p] < 0) continue;
            for (uint32_t k = 0; k < 4; ++k) {
                const uint32_t delta = static_cast<uint32_t>(windows[p]) + k;
                entries.push_back({LoadU32(patterns[p].bytes + delta), static_cast<uint32_t>(p), delta});
            }
        }
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.word < b.word; });
        size_t slots = 16;
        while (slots < entries.size() * 2) slots <<= 1;
        slotMask = static_cast<uint32_t>(slots - 1);
        slotWord.assign(slots, 0);
        slotFirst.assign(slots, UINT32_MAX);
        slotCount.assign(slots, 0);
        for (size_t i = 0; i < entries.size();) {
            size_t j = i;
            while (j < entries.size() && entries[j].word == entries[i].word) ++j;
            const uint32_t word = entries[i].word;
            const uint32_t h = FilterHash(word);
            filter[h >> 6] |= uint64_t(1) << (h & 63);
            uint32_t s = (word * 0x85EBCA6Bu) & slotMask;
            while (slotFirst[s] != UINT32_MAX) s = (s + 1) & slotMask;
            slotWord[s] = word;
            slotFirst[s] = static_cast<uint32_t>(i);
            slotCount[s] = static_cast<uint32_t>(j - i);
            i = j;
        }
    }

    bool MayHold(uint32_t word) const {
        const uint32_t h = FilterHash(word);
        return (filter[h >> 6] >> (h & 63)) & 1;
    }

    template <typename F>
    void ForEach(uint32_t word, F&& f) const {
        uint32_t s = (word * 0x85EBCA6Bu) & slotMask;
        while (slotFirst[s] != UINT32_MAX) {
            if (slotWord[s] == word) {
                for (uint32_t i = 0; i < slotCount[s]; ++i) f(entries[slotFirst[s] + i]);
                return;
            }
            s = (s + 1) & slotMask;
        }
    }
};

// Anchored search over one readable span.
void SearchSpanIndexed(const Span& span, std::span<SearchPattern> patterns, const Index& index) {
    const uint8_t* const begin = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
    const uint64_t size = span.end - span.start;
    if (size < 4) return;
    uint64_t a = (4 - (span.start & 3)) & 3;  // first 4-aligned offset
    auto check = [&](uint64_t at) {
        const uint32_t word = LoadU32(begin + at);
        if (!index.MayHold(word)) return;
        index.ForEach(word, [&](const Entry& e) {
            if (at < e.delta) return;
            const uint64_t q = at - e.delta;
            SearchPattern& pattern = patterns[e.pattern];
            if (pattern.length > size - q) return;
            if (MatchesAt(pattern, begin + q)) Count(pattern, span.start + q);
        });
    };
    // Four words per step; the filter test of all four is one branch.
    for (; a + 16 <= size; a += 16) {
        const uint32_t w0 = LoadU32(begin + a), w1 = LoadU32(begin + a + 4);
        const uint32_t w2 = LoadU32(begin + a + 8), w3 = LoadU32(begin + a + 12);
        if (!(index.MayHold(w0) | index.MayHold(w1) | index.MayHold(w2) | index.MayHold(w3))) continue;
        check(a);
        check(a + 4);
        check(a + 8);
        check(a + 12);
    }
    for (; a + 4 <= size; a += 4) check(a);
}

void SearchSpanPlain(const Span& span, SearchPattern& pattern) {
    const uint8_t* const begin = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
    const uint64_t size = span.end - span.start;
    if (pattern.length > size) return;
    for (uint64_t p = 0; p <= size - pattern.length && pattern.count < 2; ++p) {
        if (MatchesAt(pattern, begin + p)) Count(pattern, span.start + p);
    }
}

}  // namespace

std::vector<Span> ReadableSpans(uint64_t base, uint64_t size, std::vector<platform::MemoryRegion>* regions) {
    std::vector<Span> spans;
    if (base == 0 || size == 0 || base + size < base) return spans;
    RegionWalk walk;
    walk.from = base;
    walk.to = base + size;
    walk.freshQueries = true;  // the spans are read in place, without the fault guard
    walk.queried = regions;
    RegionPiece piece;
    while (NextRegionPiece(walk, piece)) {
        if (!spans.empty() && spans.back().end == piece.start) spans.back().end = piece.end;
        else spans.push_back({piece.start, piece.end});
    }
    return spans;
}

bool ReadableInOneOf(const std::vector<platform::MemoryRegion>& regions, uint64_t address, uint64_t length) {
    if (address == 0 || length == 0) return false;
    for (const platform::MemoryRegion& r : regions) {
        const uint64_t end = static_cast<uint64_t>(r.base) + r.size;
        if (address < r.base || address >= end) continue;
        return r.state == platform::kMemCommit && IsReadableProtect(r.protect) && length <= end - address;
    }
    return false;
}

void SearchPatterns(uint64_t base, uint64_t size, std::span<SearchPattern> patterns,
                    std::vector<platform::MemoryRegion>* regions) {
    if (patterns.empty()) return;
    std::vector<long> windows(patterns.size(), -1);
    bool anyIndexed = false;
    for (size_t i = 0; i < patterns.size(); ++i) {
        if (patterns[i].bytes == nullptr || patterns[i].length == 0) continue;
        windows[i] = BestWindow(patterns[i]);
        anyIndexed = anyIndexed || windows[i] >= 0;
    }
    const std::vector<Span> spans = ReadableSpans(base, size, regions);
    if (anyIndexed) {
        Index index;
        index.Build(patterns, windows);
        for (const Span& span : spans) SearchSpanIndexed(span, patterns, index);
    }
    for (size_t i = 0; i < patterns.size(); ++i) {
        if (windows[i] >= 0 || patterns[i].bytes == nullptr || patterns[i].length == 0) continue;
        for (const Span& span : spans) SearchSpanPlain(span, patterns[i]);
    }
}

void CollectLeaR12(const uint8_t* from, const uint8_t* to, std::vector<uint64_t>& out, size_t maxHits) {
    const uint8_t* p = from;
#if defined(__SSE2__)
    const __m128i b0 = _mm_set1_epi8(0x4C);
    const __m128i b1 = _mm_set1_epi8(static_cast<char>(0x8D));
    const __m128i b2 = _mm_set1_epi8(0x25);
    for (; to - p >= 16; p += 16) {
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2));
        const __m128i m = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(v0, b0), _mm_cmpeq_epi8(v1, b1)),
                                        _mm_cmpeq_epi8(v2, b2));
        unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(m));
        while (bits != 0) {
            const int i = __builtin_ctz(bits);
            out.push_back(reinterpret_cast<uintptr_t>(p + i));
            if (out.size() >= maxHits) return;
            bits &= bits - 1;
        }
    }
#endif
    for (; p < to; ++p) {
        if (p[0] == 0x4C && p[1] == 0x8D && p[2] == 0x25) {
            out.push_back(reinterpret_cast<uintptr_t>(p));
            if (out.size() >= maxHits) return;
        }
    }
}

}  // namespace runtime::detail
