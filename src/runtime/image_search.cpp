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

constexpr size_t kWindow = 7;
std::atomic<bool> g_wideScanAllowed{true};
constexpr unsigned kFilterBits = 17;  // 16 KiB of filter bits: the first-level cache holds them

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
    if (pattern.alignment > 1 && address % pattern.alignment != 0) return;
    if (pattern.allHits != nullptr) pattern.allHits->push_back(address);
    if (pattern.count == 0) pattern.first = address;
    if (pattern.count < 2) ++pattern.count;
}

// The second bytes of 0F xx pairs a pattern without a fixed 7-byte run may
// be anchored at: the SSE loads and stores the code patches look for.
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

#if defined(VARNEL_SCAN_AVX2)
// The same loops with eight words (and 64 bytes of 0F search) a step, for
// processors that have AVX2 (chosen at run time).
template <typename Check>
__attribute__((target("avx2"))) uint64_t FilterWordsAvx2(const uint8_t* begin, uint64_t a, uint64_t stop,
                                                         const uint8_t* filter, Check& check) {
    const __m256i k = _mm256_set1_epi32(static_cast<int>(0x9E3779B1u));
    const __m256i seven = _mm256_set1_epi32(7);
    const __m256i one = _mm256_set1_epi32(1);
    for (; a + 28 < stop; a += 32) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(begin + a));
        const __m256i h = _mm256_srli_epi32(_mm256_mullo_epi32(w, k), 32 - kFilterBits);
        const __m256i bytes = _mm256_i32gather_epi32(reinterpret_cast<const int*>(filter), _mm256_srli_epi32(h, 3), 1);
        const __m256i bits = _mm256_and_si256(_mm256_srlv_epi32(bytes, _mm256_and_si256(h, seven)), one);
        if (_mm256_testz_si256(bits, bits)) continue;
        const int mask = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_slli_epi32(bits, 31)));
        for (int j = 0; j < 8; ++j)
            if (mask & (1 << j)) check(a + 4 * static_cast<uint64_t>(j));
    }
    return a;
}

// Positions of 0F in [i, to) (with a byte after them inside size), 64 a step.
template <typename Visit>
__attribute__((target("avx2"))) uint64_t FindOpcodesAvx2(const uint8_t* begin, uint64_t i, uint64_t to, uint64_t size,
                                                         Visit& visit) {
    const __m256i k0F = _mm256_set1_epi8(0x0F);
    for (; i + 64 <= to && i + 65 <= size; i += 64) {
        const __m256i x = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(begin + i)), k0F);
        const __m256i y = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(begin + i + 32)), k0F);
        if (_mm256_testz_si256(_mm256_or_si256(x, y), _mm256_or_si256(x, y))) continue;
        uint64_t bits = static_cast<uint32_t>(_mm256_movemask_epi8(x)) |
                        (static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(y))) << 32);
        while (bits != 0) {
            visit(i + static_cast<unsigned>(__builtin_ctzll(bits)));
            bits &= bits - 1;
        }
    }
    return i;
}
#endif

// Indexed search of the words at [from, to) of one readable span (offsets
// from its start); matches may reach past to, up to the span's end.
void SearchSpanIndexed(const Span& span, uint64_t from, uint64_t to, std::span<SearchPattern> patterns,
                       const Index& index, bool avx2) {
    const uint8_t* const begin = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
    const uint64_t size = span.end - span.start;
    if (size < 4) return;
    const uint64_t head = (4 - (span.start & 3)) & 3;  // first 4-aligned offset
    uint64_t a = from <= head ? head : head + (from - head + 3) / 4 * 4;
    const uint64_t stop = to < size - 3 ? to : size - 3;  // words that fit the span
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
#if defined(VARNEL_SCAN_AVX2)
    if (avx2) a = FilterWordsAvx2(begin, a, stop, index.filter.data(), check);
#endif
    // Eight words per step; the filter test of all eight is one branch, and
    // only the words that pass it are looked up.
    const uint8_t* const filter = index.filter.data();
    for (; a + 28 < stop; a += 32) {
        const uint8_t* w = begin + a;
        const uint32_t f0 = FilterBit(filter, FilterHash(LoadU32(w))), f1 = FilterBit(filter, FilterHash(LoadU32(w + 4)));
        const uint32_t f2 = FilterBit(filter, FilterHash(LoadU32(w + 8))), f3 = FilterBit(filter, FilterHash(LoadU32(w + 12)));
        const uint32_t f4 = FilterBit(filter, FilterHash(LoadU32(w + 16))), f5 = FilterBit(filter, FilterHash(LoadU32(w + 20)));
        const uint32_t f6 = FilterBit(filter, FilterHash(LoadU32(w + 24))), f7 = FilterBit(filter, FilterHash(LoadU32(w + 28)));
        if (((f0 | f1) | (f2 | f3) | (f4 | f5) | (f6 | f7)) == 0) continue;
        const uint32_t f[8] = {f0, f1, f2, f3, f4, f5, f6, f7};
        for (int k = 0; k < 8; ++k)
            if (f[k]) check(a + 4 * static_cast<uint64_t>(k));
    }
    for (; a < stop; a += 4) check(a);
}

struct Anchored {
    uint32_t pattern;
    uint32_t anchor;
};

// The instruction-level part of a pass: anchored patterns and the scan's
// reports, at the 0F xx positions of [from, to) of one span.
struct InstructionPass {
    std::span<SearchPattern> patterns;
    std::vector<Anchored> anchored[256];
    bool wanted[256] = {};  // an anchored pattern or the scan looks at 0F xx
    const CodeScan* scan = nullptr;
    bool any = false;

    void Visit(const Span& span, const uint8_t* begin, uint64_t size, uint64_t at) const {
        if (at + 1 >= size) return;
        const uint8_t op = begin[at + 1];
        if (!wanted[op]) return;
        for (const Anchored& a : anchored[op]) {
            if (at < a.anchor) continue;
            const uint64_t q = at - a.anchor;
            SearchPattern& pattern = patterns[a.pattern];
            if (pattern.length > size - q || (pattern.count >= 2 && pattern.allHits == nullptr)) continue;
            if (MatchesAt(pattern, begin + q)) Count(pattern, span.start + q);
        }
        if (scan != nullptr && scan->opcodes[op] && scan->onOpcode != nullptr)
            scan->onOpcode(scan->context, span, span.start + at);
    }

    void Run(const Span& span, uint64_t from, uint64_t to, bool avx2) const {
        const uint8_t* const begin = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
        const uint64_t size = span.end - span.start;
        uint64_t i = from;
#if defined(VARNEL_SCAN_AVX2)
        if (avx2) {
            auto visit = [&](uint64_t at) {
                if (wanted[begin[at + 1]]) Visit(span, begin, size, at);
            };
            i = FindOpcodesAvx2(begin, i, to, size, visit);
        }
#endif
#if defined(__SSE2__)
        // 32 bytes a step, one branch while no 0F is among them.
        const __m128i k0F = _mm_set1_epi8(0x0F);
        for (; i + 32 <= to && i + 33 <= size; i += 32) {
            const __m128i a = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + i)), k0F);
            const __m128i b = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + i + 16)), k0F);
            if (_mm_movemask_epi8(_mm_or_si128(a, b)) == 0) continue;
            uint32_t bits = static_cast<uint32_t>(_mm_movemask_epi8(a)) |
                            (static_cast<uint32_t>(_mm_movemask_epi8(b)) << 16);
            while (bits != 0) {
                const uint64_t at = i + static_cast<unsigned>(__builtin_ctz(bits));
                if (wanted[begin[at + 1]]) Visit(span, begin, size, at);
                bits &= bits - 1;
            }
        }
#endif
        for (; i < to; ++i) {
            if (begin[i] == 0x0F) Visit(span, begin, size, i);
        }
    }
};

void SearchSpanPlain(const Span& span, SearchPattern& pattern) {
    const uint8_t* const begin = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(span.start));
    const uint64_t size = span.end - span.start;
    if (pattern.length > size) return;
    for (uint64_t p = 0; p <= size - pattern.length && (pattern.count < 2 || pattern.allHits != nullptr); ++p) {
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
    std::vector<long> windows(patterns.size(), -1);
    bool anyIndexed = false;
    auto instructions = std::make_unique<InstructionPass>();
    InstructionPass& pass = *instructions;
    pass.patterns = patterns;
    pass.scan = scan;
    std::vector<size_t> plain;
    for (size_t i = 0; i < patterns.size(); ++i) {
        if (patterns[i].bytes == nullptr || patterns[i].length == 0) continue;
        windows[i] = BestWindow(patterns[i]);
        if (windows[i] >= 0) {
            anyIndexed = true;
        } else if (const long anchor = AnchorOf(patterns[i]); anchor >= 0) {
            const uint8_t op = patterns[i].bytes[anchor + 1];
            pass.anchored[op].push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(anchor)});
            pass.wanted[op] = true;
            pass.any = true;
        } else {
            plain.push_back(i);
        }
    }
    if (scan != nullptr) {
        for (int op = 0; op < 256; ++op) pass.wanted[op] = pass.wanted[op] || scan->opcodes[op] != 0;
        pass.any = true;
    }
    const std::vector<Span> spans = ReadableSpans(base, size, regions);
    Index index;
    if (anyIndexed) index.Build(patterns, windows);
#if defined(VARNEL_SCAN_AVX2)
    const bool avx2 = g_wideScanAllowed.load(std::memory_order_relaxed) && __builtin_cpu_supports("avx2");
#else
    const bool avx2 = false;
#endif
    // Every search of the pass reads a chunk while it is in the cache.
    constexpr uint64_t kChunk = 16u << 10;
    for (const Span& span : spans) {
        const uint64_t length = span.end - span.start;
        if (bytesRead != nullptr) *bytesRead += length;
        for (uint64_t from = 0; from < length; from += kChunk) {
            const uint64_t to = length - from < kChunk ? length : from + kChunk;
            if (anyIndexed) SearchSpanIndexed(span, from, to, patterns, index, avx2);
            if (pass.any) pass.Run(span, from, to, avx2);
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
