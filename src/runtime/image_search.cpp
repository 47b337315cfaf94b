// One pass for many patterns. Every pattern that has a run of at least 11
// fixed bytes is found through a 4-byte word at an address that is a
// multiple of 8: any 11-byte run, wherever it starts, contains one such
// word, at one of eight distances from the run's start. The eight possible
// words of each pattern go into a bit filter and a small hash table; the
// pass reads one word per 8 bytes, and only words that pass the filter are
// looked up and verified in full. A pattern without such a run is found at
// a fixed 0F xx pair of its own (the SSE loads and stores of the game's
// code), else at the pair of its fixed bytes that samples of the range
// hold least (a few patterns), else compared at every position. With AVX2
// (chosen at run time) both are one sweep: a gather of filter bits for
// eight words at a time, and nibble tables that mark the anchor pairs.
#include "runtime/image_search.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

#include "runtime/guarded_memory.h"
#include "runtime/region_walk.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VARNEL_SCAN_AVX2 1
#include <immintrin.h>
#endif

namespace runtime::detail {
namespace {

// The words the index looks at lie at multiples of kStride; a run of
// kWindow fixed bytes, wherever it starts, holds one of them.
constexpr size_t kStride = 8;
constexpr size_t kWindow = kStride + 3;
constexpr unsigned kFilterBits = 17;  // 16 KiB of filter bits: the first-level cache holds them
// At most this many patterns are found by a pair of their bytes (the
// others without a window or an 0F anchor are compared at every position).
constexpr size_t kMostPairAnchors = 7;
std::atomic<bool> g_wideScanAllowed{true};

inline uint32_t LoadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint32_t FilterHash(uint32_t word) { return (word * 0x9E3779B1u) >> (32 - kFilterBits); }
// The filter's bit h, without a shift by a variable count.
constexpr uint8_t kBit[8] = {1, 2, 4, 8, 16, 32, 64, 128};
inline uint32_t FilterBit(const uint8_t* filter, uint32_t h) { return filter[h >> 3] & kBit[h & 7]; }

bool Fixed(const SearchPattern& pattern, size_t i) { return pattern.mask == nullptr || pattern.mask[i] == 'x'; }

// How often a byte is expected in code and data: zero, FF, CC and 90 are
// common, and a few opcode and prefix bytes.
int ByteCommonness(uint8_t v) {
    if (v == 0x00) return 3;
    if (v == 0xFF || v == 0xCC || v == 0x90) return 2;
    if (v == 0x3F || v == 0x40 || v == 0x41 || v == 0x48 || v == 0x0F || v == 0x89 || v == 0x8B) return 1;
    return 0;
}

// How often a word is expected: its bytes', and words of few distinct bytes.
int Commonness(uint32_t word) {
    int score = 0;
    uint8_t b[4];
    std::memcpy(b, &word, 4);
    for (uint8_t v : b) score += ByteCommonness(v);
    int distinct = 0;
    for (int i = 0; i < 4; ++i) {
        bool seen = false;
        for (int j = 0; j < i; ++j) seen = seen || b[j] == b[i];
        if (!seen) ++distinct;
    }
    if (distinct <= 2) score += 4;
    return score;
}

// Start of the best all-fixed kWindow-byte window, or -1 when there is none.
long BestWindow(const SearchPattern& pattern) {
    long best = -1;
    int bestScore = 0;
    size_t run = 0;
    for (size_t i = 0; i < pattern.length; ++i) {
        run = Fixed(pattern, i) ? run + 1 : 0;
        if (run < kWindow) continue;
        const size_t w = i + 1 - kWindow;
        int score = 0;
        for (size_t k = 0; k < kStride; ++k) score += Commonness(LoadU32(pattern.bytes + w + k));
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
    if (pattern.alignment > 1 && address % pattern.alignment != 0) return;
    if (pattern.allHits != nullptr) pattern.allHits->push_back(address);
    if (pattern.count == 0) pattern.first = address;
    if (pattern.count < 2) ++pattern.count;
}

bool Done(const SearchPattern& pattern) { return pattern.count >= 2 && pattern.allHits == nullptr; }

// The second bytes of 0F xx pairs a pattern without a window may be
// anchored at: the SSE loads and stores the code patches look for.
bool IsAnchorOpcode(uint8_t op) {
    switch (op) {
        case 0x10: case 0x11: case 0x28: case 0x29: case 0x2E: case 0x3A: case 0x59: case 0x7F: return true;
        default: return false;
    }
}

// Start of the first fixed 0F xx pair with an anchor opcode, or -1.
long AnchorOf(const SearchPattern& pattern) {
    for (size_t i = 0; i + 1 < pattern.length; ++i) {
        if (Fixed(pattern, i) && Fixed(pattern, i + 1) && pattern.bytes[i] == 0x0F && IsAnchorOpcode(pattern.bytes[i + 1]))
            return static_cast<long>(i);
    }
    return -1;
}

// How often each pair of bytes occurs in samples of the range's spans.
struct PairCounts {
    std::vector<uint32_t> counts = std::vector<uint32_t>(65536, 0);
    void Sample(const std::vector<Span>& spans) {
        constexpr uint64_t kSample = 4096, kSamples = 64;
        uint64_t total = 0;
        for (const Span& s : spans) total += s.end - s.start;
        const uint64_t step = total / kSamples > kSample ? total / kSamples : kSample;
        uint64_t skipped = 0;
        for (const Span& s : spans) {
            for (uint64_t at = s.start + (step - skipped % step) % step; at + kSample <= s.end; at += step) {
                const uint8_t* p = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(at));
                for (uint64_t i = 0; i + 1 < kSample; ++i) ++counts[p[i] | (p[i + 1] << 8)];
            }
            skipped += s.end - s.start;
        }
    }
};

// Start of the pair of fixed bytes the samples hold least, or -1.
long RarestPair(const SearchPattern& pattern, const PairCounts& pairs) {
    long best = -1;
    uint32_t bestCount = 0;
    for (size_t i = 0; i + 1 < pattern.length; ++i) {
        if (!Fixed(pattern, i) || !Fixed(pattern, i + 1)) continue;
        const uint32_t count = pairs.counts[pattern.bytes[i] | (pattern.bytes[i + 1] << 8)];
        if (best < 0 || count < bestCount) {
            best = static_cast<long>(i);
            bestCount = count;
        }
    }
    return best;
}

struct Entry {
    uint32_t word;
    uint32_t pattern;
    uint32_t delta;  // offset of the word from the pattern's start
};

struct Index {
    std::vector<uint8_t> filter;  // bit h set where a pattern's word may hash to h
    // Open-addressed table of entry ranges keyed by word.
    std::vector<Entry> entries;  // sorted by word
    std::vector<uint32_t> slotWord;
    std::vector<uint32_t> slotFirst;  // index into entries, UINT32_MAX = empty
    std::vector<uint32_t> slotCount;
    uint32_t slotMask = 0;

    void Build(std::span<SearchPattern> patterns, const std::vector<long>& windows) {
        filter.assign((size_t(1) << kFilterBits) / 8 + 4, 0);  // 4 more: a gather reads 4 bytes
        entries.clear();
        for (size_t p = 0; p < patterns.size(); ++p) {
            if (windows[p] < 0) continue;
            for (uint32_t k = 0; k < kStride; ++k) {
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
            filter[h >> 3] |= static_cast<uint8_t>(1u << (h & 7));
            uint32_t s = (word * 0x85EBCA6Bu) & slotMask;
            while (slotFirst[s] != UINT32_MAX) s = (s + 1) & slotMask;
            slotWord[s] = word;
            slotFirst[s] = static_cast<uint32_t>(i);
            slotCount[s] = static_cast<uint32_t>(j - i);
            i = j;
        }
    }

    bool MayHold(uint32_t word) const { return FilterBit(filter.data(), FilterHash(word)) != 0; }

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

// The patterns whose word lies at offset at of a span (a multiple of the stride
// from its address), verified in full.
struct WordCheck {
    const Span& span;
    const uint8_t* begin;
    uint64_t size;
    std::span<SearchPattern> patterns;
    const Index& index;
    void operator()(uint64_t at) const {
        index.ForEach(LoadU32(begin + at), [&](const Entry& e) {
            if (at < e.delta) return;
            const uint64_t q = at - e.delta;
            SearchPattern& pattern = patterns[e.pattern];
            if (pattern.length > size - q) return;
            if (MatchesAt(pattern, begin + q)) Count(pattern, span.start + q);
        });
    }
};


// Indexed search of the words at multiples of the stride in [from, to) of
// one readable span (offsets from its start); matches may reach past to,
// up to the span's end.
void SearchSpanIndexed(const Span& span, uint64_t from, uint64_t to, std::span<SearchPattern> patterns,
                       const Index& index) {
    const uint8_t* const begin = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
    const uint64_t size = span.end - span.start;
    if (size < 4) return;
    const uint64_t head = (kStride - (span.start % kStride)) % kStride;  // first aligned offset
    uint64_t a = from <= head ? head : head + (from - head + kStride - 1) / kStride * kStride;
    const uint64_t stop = to < size - 3 ? to : size - 3;  // words that fit the span
    const WordCheck check{span, begin, size, patterns, index};
    const uint8_t* const filter = index.filter.data();
    // Four words (32 bytes) a step; the filter test of all four is one branch.
    for (; a + 24 < stop; a += 32) {
        const uint8_t* w = begin + a;
        const uint32_t f0 = FilterBit(filter, FilterHash(LoadU32(w)));
        const uint32_t f1 = FilterBit(filter, FilterHash(LoadU32(w + 8)));
        const uint32_t f2 = FilterBit(filter, FilterHash(LoadU32(w + 16)));
        const uint32_t f3 = FilterBit(filter, FilterHash(LoadU32(w + 24)));
        if ((f0 | f1 | f2 | f3) == 0) continue;
        if (f0) check(a);
        if (f1) check(a + 8);
        if (f2) check(a + 16);
        if (f3) check(a + 24);
    }
    for (; a < stop; a += kStride)
        if (index.MayHold(LoadU32(begin + a))) check(a);
}

struct Anchored {
    uint32_t pattern;
    uint32_t anchor;
};

struct PairAnchor {
    uint8_t first, second;
    uint32_t pattern;
    uint32_t anchor;
};

// The byte-level part of a pass: patterns anchored at an 0F xx pair or at
// a pair of their own bytes, and the scan's reports, at the positions of
// [from, to) of one span.
struct BytePass {
    std::span<SearchPattern> patterns;
    std::vector<Anchored> anchored[256];
    bool wanted[256] = {};  // an anchored pattern or the scan looks at 0F xx
    std::vector<PairAnchor> pairs;
    const CodeScan* scan = nullptr;
    bool any = false;

    void Visit(const Span& span, const uint8_t* begin, uint64_t size, uint64_t at) const {
        if (at + 1 >= size) return;
        const uint8_t b = begin[at], op = begin[at + 1];
        for (const PairAnchor& pair : pairs) {
            if (b != pair.first || op != pair.second || at < pair.anchor) continue;
            const uint64_t q = at - pair.anchor;
            SearchPattern& pattern = patterns[pair.pattern];
            if (pattern.length <= size - q && !Done(pattern) && MatchesAt(pattern, begin + q))
                Count(pattern, span.start + q);
        }
        if (b != 0x0F || !wanted[op]) return;
        for (const Anchored& a : anchored[op]) {
            if (at < a.anchor) continue;
            const uint64_t q = at - a.anchor;
            SearchPattern& pattern = patterns[a.pattern];
            if (pattern.length > size - q || Done(pattern)) continue;
            if (MatchesAt(pattern, begin + q)) Count(pattern, span.start + q);
        }
        if (scan != nullptr && scan->opcodes[op] && scan->onOpcode != nullptr)
            scan->onOpcode(scan->context, span, span.start + at);
    }


    void Run(const Span& span, uint64_t from, uint64_t to) const {
        const uint8_t* const begin = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
        const uint64_t size = span.end - span.start;
        uint64_t i = from;
#if defined(__SSE2__)
        // 32 bytes a step, one branch while no candidate is among them.
        const __m128i k0F = _mm_set1_epi8(0x0F);
        for (; i + 32 <= to && i + 33 <= size; i += 32) {
            uint32_t bits = 0;
            for (int half = 0; half < 2; ++half) {
                const uint8_t* p = begin + i + 16 * half;
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                __m128i m = _mm_cmpeq_epi8(v, k0F);
                if (!pairs.empty()) {
                    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
                    for (const PairAnchor& pair : pairs)
                        m = _mm_or_si128(m, _mm_and_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(pair.first))),
                                                          _mm_cmpeq_epi8(v1, _mm_set1_epi8(static_cast<char>(pair.second)))));
                }
                bits |= static_cast<uint32_t>(_mm_movemask_epi8(m)) << (16 * half);
            }
            while (bits != 0) {
                const uint64_t at = i + static_cast<unsigned>(__builtin_ctz(bits));
                if (begin[at] != 0x0F || wanted[begin[at + 1]] || !pairs.empty()) Visit(span, begin, size, at);
                bits &= bits - 1;
            }
        }
#endif
        for (; i < to; ++i) Visit(span, begin, size, i);
    }
};

#if defined(VARNEL_SCAN_AVX2)
// The byte pairs a sweep stops at, as bit-sliced nibble tables (one bit per
// class of pairs): a pair (x, y) is a candidate when some class's bit is set
// in the tables of x's low and high nibble and of y's low and high nibble.
// Class 0 holds 0F followed by any opcode the pass wants (a few more
// combinations of nibbles pass, which the visit sorts out); each other
// class is one anchor pair exactly.
struct PairClasses {
    alignas(16) uint8_t firstLow[16] = {}, firstHigh[16] = {}, secondLow[16] = {}, secondHigh[16] = {};
    void Add(int bit, uint8_t first, uint8_t second) {
        firstLow[first & 15] |= static_cast<uint8_t>(1u << bit);
        firstHigh[first >> 4] |= static_cast<uint8_t>(1u << bit);
        secondLow[second & 15] |= static_cast<uint8_t>(1u << bit);
        secondHigh[second >> 4] |= static_cast<uint8_t>(1u << bit);
    }
};

// Both searches of a pass in one sweep with AVX2: per 128 bytes, the
// sixteen words at multiples of 8 through one gather of filter bits each
// eight, and the anchor pairs among the same bytes through the nibble
// tables. From a, a multiple of 8 from the span's address; returns where
// it stopped.
__attribute__((target("avx2"))) uint64_t SweepAvx2(const Span& span, uint64_t a, uint64_t to, const Index* index,
                                                   const WordCheck* check, const BytePass* pass,
                                                   const PairClasses& classes) {
    const uint8_t* const begin = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
    const uint64_t size = span.end - span.start;
    const __m256i k = _mm256_set1_epi32(static_cast<int>(0x9E3779B1u));
    const __m256i seven = _mm256_set1_epi32(7);
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i zero = _mm256_setzero_si256();
#define VARNEL_TABLE(t) _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t)))
    const __m256i firstLow = VARNEL_TABLE(classes.firstLow), firstHigh = VARNEL_TABLE(classes.firstHigh);
    const __m256i secondLow = VARNEL_TABLE(classes.secondLow), secondHigh = VARNEL_TABLE(classes.secondHigh);
#undef VARNEL_TABLE
    static constexpr uint8_t kWordOf[8] = {0, 1, 4, 5, 2, 3, 6, 7};
    const uint8_t* const filter = index != nullptr ? index->filter.data() : nullptr;
    for (; a + 128 <= to && a + 129 <= size; a += 128) {
        const uint8_t* p = begin + a;
        __m256i x[4];
        for (int q = 0; q < 4; ++q) x[q] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * q));
        int words[2] = {0, 0};
        if (filter != nullptr) {
            for (int half = 0; half < 2; ++half) {
                const __m256i w = _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(x[2 * half]),
                                                                        _mm256_castsi256_ps(x[2 * half + 1]),
                                                                        _MM_SHUFFLE(2, 0, 2, 0)));
                const __m256i h = _mm256_srli_epi32(_mm256_mullo_epi32(w, k), 32 - kFilterBits);
                const __m256i bytes =
                    _mm256_i32gather_epi32(reinterpret_cast<const int*>(filter), _mm256_srli_epi32(h, 3), 1);
                const __m256i bits = _mm256_and_si256(_mm256_srlv_epi32(bytes, _mm256_and_si256(h, seven)), one);
                words[half] = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_slli_epi32(bits, 31)));
            }
        }
        uint64_t candidates[2] = {0, 0};
        if (pass != nullptr) {
            for (int q = 0; q < 4; ++q) {
                const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * q + 1));
                const __m256i t = _mm256_and_si256(
                    _mm256_and_si256(_mm256_shuffle_epi8(firstLow, _mm256_and_si256(x[q], nibble)),
                                     _mm256_shuffle_epi8(firstHigh, _mm256_and_si256(_mm256_srli_epi16(x[q], 4), nibble))),
                    _mm256_and_si256(_mm256_shuffle_epi8(secondLow, _mm256_and_si256(y, nibble)),
                                     _mm256_shuffle_epi8(secondHigh, _mm256_and_si256(_mm256_srli_epi16(y, 4), nibble))));
                const uint32_t none = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(t, zero)));
                candidates[q / 2] |= static_cast<uint64_t>(~none) << (32 * (q % 2));
            }
        }
        if ((words[0] | words[1]) != 0) {
            for (int half = 0; half < 2; ++half)
                for (int j = 0; j < 8; ++j)
                    if (words[half] & (1 << j)) (*check)(a + 64 * static_cast<uint64_t>(half) + kStride * kWordOf[j]);
        }
        for (int h = 0; h < 2; ++h) {
            uint64_t bits = candidates[h];
            while (bits != 0) {
                pass->Visit(span, begin, size, a + 64 * static_cast<uint64_t>(h) + static_cast<unsigned>(__builtin_ctzll(bits)));
                bits &= bits - 1;
            }
        }
    }
    return a;
}
#endif

void SearchSpanPlain(const Span& span, SearchPattern& pattern) {
    const uint8_t* const begin = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
    const uint64_t size = span.end - span.start;
    if (pattern.length > size) return;
    for (uint64_t p = 0; p <= size - pattern.length && !Done(pattern); ++p) {
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
                    std::vector<platform::MemoryRegion>* regions, const CodeScan* scan, uint64_t* bytesRead) {
    if (patterns.empty() && scan == nullptr) return;
    // Each pattern is found by a word of a fixed run long enough for the
    // index, else at an 0F xx pair of its own, else by a pair of its bytes
    // (a few patterns), else at every position.
    std::vector<long> windows(patterns.size(), -1);
    bool anyIndexed = false;
    auto bytePass = std::make_unique<BytePass>();
    BytePass& pass = *bytePass;
    pass.patterns = patterns;
    pass.scan = scan;
    std::vector<size_t> plain;
    const std::vector<Span> spans = ReadableSpans(base, size, regions);
    std::unique_ptr<PairCounts> pairCounts;  // sampled when a pattern needs a pair
    for (size_t i = 0; i < patterns.size(); ++i) {
        if (patterns[i].bytes == nullptr || patterns[i].length == 0) continue;
        windows[i] = BestWindow(patterns[i]);
        if (windows[i] >= 0) {
            anyIndexed = true;
            continue;
        }
        if (const long anchor = AnchorOf(patterns[i]); anchor >= 0) {
            const uint8_t op = patterns[i].bytes[anchor + 1];
            pass.anchored[op].push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(anchor)});
            pass.wanted[op] = true;
            pass.any = true;
            continue;
        }
        if (pairCounts == nullptr && pass.pairs.size() < kMostPairAnchors) {
            pairCounts = std::make_unique<PairCounts>();
            pairCounts->Sample(spans);
        }
        if (const long pair = pass.pairs.size() < kMostPairAnchors ? RarestPair(patterns[i], *pairCounts) : -1;
            pair >= 0) {
            pass.pairs.push_back({patterns[i].bytes[pair], patterns[i].bytes[pair + 1], static_cast<uint32_t>(i),
                                  static_cast<uint32_t>(pair)});
            pass.any = true;
        } else {
            plain.push_back(i);
        }
    }
    if (scan != nullptr) {
        for (int op = 0; op < 256; ++op) pass.wanted[op] = pass.wanted[op] || scan->opcodes[op] != 0;
        pass.any = true;
    }
    Index index;
    if (anyIndexed) index.Build(patterns, windows);
#if defined(VARNEL_SCAN_AVX2)
    __builtin_cpu_init();  // idempotent; a plug-in's constructors may not have run it yet
    const bool avx2 = g_wideScanAllowed.load(std::memory_order_relaxed) && __builtin_cpu_supports("avx2");
#else
    const bool avx2 = false;
#endif
#if defined(VARNEL_SCAN_AVX2)
    PairClasses classes;
    for (int op = 0; op < 256; ++op)
        if (pass.wanted[op]) classes.Add(0, 0x0F, static_cast<uint8_t>(op));
    for (size_t j = 0; j < pass.pairs.size(); ++j) classes.Add(static_cast<int>(j + 1), pass.pairs[j].first, pass.pairs[j].second);
#endif
    // Every search of the pass reads a chunk while it is in the cache.
    constexpr uint64_t kChunk = 16u << 10;
    for (const Span& span : spans) {
        const uint64_t length = span.end - span.start;
        if (bytesRead != nullptr) *bytesRead += length;
        auto separately = [&](uint64_t from, uint64_t to) {
            if (anyIndexed) SearchSpanIndexed(span, from, to, patterns, index);
            if (pass.any) pass.Run(span, from, to);
        };
        for (uint64_t from = 0; from < length; from += kChunk) {
            const uint64_t to = length - from < kChunk ? length : from + kChunk;
#if defined(VARNEL_SCAN_AVX2)
            if (avx2) {
                // The head up to a multiple of the stride and the tail the sweep leaves alone.
                const uint64_t aligned = std::min(to, from + (kStride - (span.start + from) % kStride) % kStride);
                separately(from, aligned);
                const uint8_t* const words = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
                const WordCheck check{span, words, length, patterns, index};
                const uint64_t swept = SweepAvx2(span, aligned, to, anyIndexed ? &index : nullptr, &check,
                                                 pass.any ? &pass : nullptr, classes);
                separately(swept, to);
                continue;
            }
#endif
            separately(from, to);
        }
    }
    for (size_t i : plain) {
        for (const Span& span : spans) SearchSpanPlain(span, patterns[i]);
    }
}

void AllowWideScanForTesting(bool allowed) { g_wideScanAllowed.store(allowed); }

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
