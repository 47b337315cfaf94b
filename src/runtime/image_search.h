// Runtime-internal: the one-pass search of many byte patterns over a range
// under the unique-match rule, and the readable spans of the game image.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/memory.h"

namespace runtime::detail {

// One pattern of a pass and its result. mask null = every byte compared.
struct SearchPattern {
    const uint8_t* bytes = nullptr;
    const char* mask = nullptr;
    size_t length = 0;
    // Only starts at a multiple of alignment count (runs of 4-byte values: 4).
    uint8_t alignment = 1;
    // When given, receives the address of every match (in rising order
    // within each span of the range).
    std::vector<uint64_t>* allHits = nullptr;
    // Result: matches counted up to 2 (2 = ambiguous), and the address of
    // the first one.
    uint32_t count = 0;
    uint64_t first = 0;
    uint64_t UniqueHit() const { return count == 1 ? first : 0; }
};

struct Span {
    uint64_t start = 0;
    uint64_t end = 0;
};

// The parts of [base, base+size) that lie in committed readable regions,
// adjacent regions merged, the editor's own ranges left out. regions, when
// given, receives every region the walk queried.
std::vector<Span> ReadableSpans(uint64_t base, uint64_t size, std::vector<platform::MemoryRegion>* regions = nullptr);

// IsReadable answered from regions queried a moment ago: [address,
// address+length) lies in one committed readable region of the list.
bool ReadableInOneOf(const std::vector<platform::MemoryRegion>& regions, uint64_t address, uint64_t length);

// What a pass reports of the instructions it meets besides the patterns:
// every 0F whose next byte is marked in opcodes (the SSE and store forms
// the code patches look at). The callback gets the span the position lies
// in (its bytes may be read from there) and the position's address.
// Positions are reported in rising order within a span.
struct CodeScan {
    uint8_t opcodes[256] = {};
    void* context = nullptr;
    void (*onOpcode)(void* context, const Span& span, uint64_t at) = nullptr;
};

// Searches every pattern over [base, base+size) in one pass, counting every
// start position whose bytes match (at the pattern's alignment). Only the
// readable spans are read; a match never spans an unreadable gap. Results
// accumulate into the patterns' count and first fields (reset them before
// a fresh search). regions, when given, receives the regions of the range
// as queried; scan, when given, sees the instructions it asks for in the
// same pass; bytesRead, when given, grows by the bytes read. The spans are read a chunk at a time, every search of the
// pass over one chunk before the next, so the image is read from memory
// once.
void SearchPatterns(uint64_t base, uint64_t size, std::span<SearchPattern> patterns,
                    std::vector<platform::MemoryRegion>* regions = nullptr, const CodeScan* scan = nullptr,
                    uint64_t* bytesRead = nullptr);

// The pass reads with AVX2 where the processor has it; tests turn that off
// to run the baseline loops on the same machine.
void AllowWideScanForTesting(bool allowed);

// Every position p in [base, base+size-7] holding 4C 8D 25 (lea r12,
// [rip+disp32]), in rising order, given to visit until it returns true.
// Returns the position visit accepted, or 0.
template <typename Visit>
uint64_t FindLeaR12Sites(uint64_t base, uint64_t size, Visit&& visit);

// Implementation detail of FindLeaR12Sites: positions of 4C 8D 25 in
// [from, to) of readable memory, appended to out (at most maxHits).
void CollectLeaR12(const uint8_t* from, const uint8_t* to, std::vector<uint64_t>& out, size_t maxHits);

template <typename Visit>
uint64_t FindLeaR12Sites(uint64_t base, uint64_t size, Visit&& visit) {
    constexpr uint64_t kChunk = 1u << 20;
    std::vector<uint64_t> hits;
    for (const Span& span : ReadableSpans(base, size)) {
        for (uint64_t at = span.start; at < span.end; at += kChunk) {
            // Positions in [at, at+kChunk) whose 7 bytes fit the span.
            const uint64_t stop = at + kChunk < span.end ? at + kChunk : span.end;
            if (span.end - at < 7) break;
            const uint64_t lastStart = span.end - 7;
            const uint64_t to = stop - 1 < lastStart ? stop : lastStart + 1;
            hits.clear();
            CollectLeaR12(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(at)),
                          reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(to)), hits, SIZE_MAX);
            for (uint64_t p : hits) {
                if (visit(p)) return p;
            }
        }
    }
    return 0;
}

}  // namespace runtime::detail
