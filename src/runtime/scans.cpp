#include "runtime/scans.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/clock.h"
#include "platform/memory.h"
#include "runtime/byte_load.h"
#include "runtime/guarded_memory.h"
#include "runtime/image_search.h"
#include "runtime/locator_state.h"
#include "runtime/region_walk.h"
#include "runtime/signature_pass.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace runtime {
namespace {

constexpr uint8_t kPuddlePattern[53] = {
    0x48, 0x8B, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x48, 0x8D, 0x54, 0x24, 0x40, 0xE8, 0x00, 0x00, 0x00, 0x00, 0x0F,
    0x28, 0x44, 0x24, 0x40, 0x0F, 0x11, 0x86, 0x80, 0x02, 0x00, 0x00, 0x0F, 0x28, 0x44, 0x24, 0x50, 0x0F, 0x11,
    0x86, 0x90, 0x02, 0x00, 0x00, 0x0F, 0x28, 0x44, 0x24, 0x60, 0x0F, 0x11, 0x86, 0xA0, 0x02, 0x00, 0x00};
constexpr char kPuddleMask[] = "xxx????xxxxxx????xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
static_assert(sizeof kPuddleMask - 1 == sizeof kPuddlePattern);
constexpr uint64_t kPuddleStoreOffset = 22;

const uint8_t* Bytes(uint64_t address) { return reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(address)); }

// Positions of one run at every 4-byte step of [from, to) (from aligned).
void MatchRun(uint64_t from, uint64_t to, ValueSignature& signature) {
    const uint64_t length = signature.bytes.size();
    if (length == 0 || length > to - from) return;
    const uint64_t last = to - length;  // last start that fits
    uint32_t head;
    std::memcpy(&head, signature.bytes.data(), 4 <= length ? 4 : length);
    auto verify = [&](uint64_t p) {
        if (std::memcmp(Bytes(p), signature.bytes.data(), length) != 0) return;
        ++signature.hitCount;
        signature.hits.push_back(p);
        if (signature.firstHit == 0) signature.firstHit = p;
    };
    uint64_t p = from;
    if (length >= 4) {
#if defined(__SSE2__)
        const __m128i want = _mm_set1_epi32(static_cast<int>(head));
        // 64 bytes per step: four compares, one branch while nothing matches.
        for (; p + 64 <= last + 4; p += 64) {
            const auto* v = reinterpret_cast<const __m128i*>(Bytes(p));
            const __m128i m0 = _mm_cmpeq_epi32(_mm_loadu_si128(v), want);
            const __m128i m1 = _mm_cmpeq_epi32(_mm_loadu_si128(v + 1), want);
            const __m128i m2 = _mm_cmpeq_epi32(_mm_loadu_si128(v + 2), want);
            const __m128i m3 = _mm_cmpeq_epi32(_mm_loadu_si128(v + 3), want);
            if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3))) == 0) continue;
            for (uint64_t k = 0; k < 64; k += 4) {
                uint32_t word;
                std::memcpy(&word, Bytes(p + k), 4);
                if (word == head) verify(p + k);
            }
        }
#endif
        for (; p <= last; p += 4) {
            uint32_t word;
            std::memcpy(&word, Bytes(p), 4);
            if (word == head) verify(p);
        }
    } else {
        for (; p <= last; p += 4) verify(p);
    }
}

// Scans the game image for one signature and gives its hit count.
void ScanImageFor(ValueSignature& signature, uint64_t& bytesScanned, uint64_t& hitCount) {
    ValueSignature* one = &signature;
    ScanReadableMemory(GameImageBase(), GetGameImageSize(), std::span<ValueSignature>(one, 1), bytesScanned);
    hitCount = signature.hitCount;
}

}  // namespace

uint64_t GameImageBase() { return platform::GameModuleBase(); }

uint32_t GetGameImageSize() {
    const uint64_t base = GameImageBase();
    if (base == 0) return 0;
    uint8_t dos[64];
    if (!GuardedCopy(dos, Bytes(base), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return 0;
    const uint32_t lfanew = U32At(dos, 0x3C);
    uint8_t nt[84];
    if (base + lfanew < base || !GuardedCopy(nt, Bytes(base + lfanew), sizeof nt)) return 0;
    if (nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0) return 0;
    return U32At(nt, 80);
}

uint64_t FindUniquePatternIn(uint64_t base, uint64_t size, const uint8_t* bytes, const char* mask) {
    if (base == 0 || size == 0 || bytes == nullptr || mask == nullptr) return 0;
    const size_t length = std::strlen(mask);
    if (length == 0 || length > size) return 0;
    detail::SearchPattern pattern{bytes, mask, length};
    detail::SearchPatterns(base, size, std::span<detail::SearchPattern>(&pattern, 1));
    return pattern.UniqueHit();
}

uint64_t FindUniquePattern(const uint8_t* bytes, const char* mask) {
    return FindUniquePatternIn(GameImageBase(), GetGameImageSize(), bytes, mask);
}

namespace detail {

bool PuddleSearchPending() { return StateOf(Locators.PuddleStoreSite) == SearchState::NotTried; }

void AddPuddlePattern(std::vector<SearchPattern>& patterns) {
    patterns.push_back({kPuddlePattern, kPuddleMask, sizeof kPuddlePattern});
}

void SettlePuddleSite(const SearchPattern& pattern) {
    const uint64_t match = pattern.UniqueHit();
    SettleSearch(Locators.PuddleStoreSite, match != 0 ? match + kPuddleStoreOffset : 0, platform::TickCount64());
}

}  // namespace detail

uint64_t FindPuddleStoreSite() {
    return detail::AnswerOfPass(Locators.PuddleStoreSite);
}

void AppendSignatureU32(ValueSignature& signature, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) signature.bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void AppendSignatureFloat(ValueSignature& signature, float value) {
    AppendSignatureU32(signature, std::bit_cast<uint32_t>(value));
}

void ScanReadableMemory(uint64_t start, uint64_t length, std::span<ValueSignature> signatures,
                        uint64_t& bytesScanned) {
    if (start == 0 || length == 0 || signatures.empty()) return;
    // The runs searched for are the editor's own copies: never matched.
    std::vector<uint64_t> runs;
    for (const ValueSignature& s : signatures) runs.push_back(RegisterOwnRange(s.bytes.data(), s.bytes.size()));
    RegionWalk walk;
    walk.from = start;
    walk.to = start + length < start ? UINT64_MAX : start + length;
    walk.freshQueries = true;  // the runs are compared in place, without the fault guard
    RegionPiece piece;
    while (NextRegionPiece(walk, piece)) {
        const uint64_t aligned = (piece.start + 3) & ~uint64_t(3);
        if (aligned >= piece.end) continue;
        SpendWalkBytes(walk, piece.end - aligned);
        for (ValueSignature& s : signatures) MatchRun(aligned, piece.end, s);
    }
    bytesScanned += walk.bytesSpent;
    for (uint64_t id : runs) UnregisterOwnRange(id);
}

namespace {

bool LightningFieldsFit(uint64_t block) {
    uint8_t bytes[kVfxLightningBlockSize];
    return GuardedCopy(bytes, Bytes(block), sizeof bytes) && U32At(bytes, 24) == 200 &&
           std::fabs(FloatAt(bytes, 28) - 0.1f) <= 0.0001f && U32At(bytes, 132) == 0xFFA1D3FFu &&
           std::fabs(FloatAt(bytes, 208) - 8.0f) <= 0.0001f && U32At(bytes, 312) == 0xFF9CCAFFu &&
           U32At(bytes, 316) == 0xFF869EFCu;
}

constexpr uint64_t kLightningHead = 64;
constexpr uint64_t kWatertuneHead = 4;

ValueSignature LightningRun() {
    ValueSignature signature;
    signature.name = "vfxlightning_directional_burst_head";
    for (float f : {0.1f, 8.0f, 0.05f, 0.15f}) AppendSignatureFloat(signature, f);
    AppendSignatureU32(signature, 7);
    for (float f : {180.0f, 50.0f, 60.0f, 10.0f, 5.0f}) AppendSignatureFloat(signature, f);
    return signature;
}

ValueSignature WatertuneRun() {
    ValueSignature signature;
    signature.name = "watertune_full_float_run";
    for (float f : {0.04f, 0.05f, 1118.0f, 1.1f, 0.7f, 0.25f, 10.0f, 50.0f, 0.0f, 10.0f, 90.0f, 80.0f, 0.0f, 200.0f,
                    0.05f})
        AppendSignatureFloat(signature, f);
    return signature;
}

// The runs the shared pass looks for (the editor's own copies, never in
// the game image).
const ValueSignature& PassRun(bool lightning) {
    static const ValueSignature runs[2] = {WatertuneRun(), LightningRun()};
    return runs[lightning ? 1 : 0];
}

bool BlockAccepted(uint64_t firstHit, uint64_t hits, uint64_t headOffset, uint64_t blockSize,
                   bool (*fieldsFit)(uint64_t)) {
    const uint64_t block = firstHit - headOffset;
    return hits == 1 && firstHit >= headOffset &&
           (fieldsFit == nullptr || (IsReadable(block, blockSize) && fieldsFit(block)));
}

// A block found by a run of values headOffset bytes into it: the first
// attempt is the shared pass's (its bytes and hits are this call's when
// this call ran it); then the kept block while it stays readable, else
// (when a retry is due) one scan of the game image that must give exactly
// one hit, and the block's own checks.
uint64_t FindValueBlock(CachedSearch& cached, bool lightning, uint64_t headOffset, uint64_t blockSize,
                        bool (*fieldsFit)(uint64_t), uint64_t& bytesScanned, uint64_t& hitCount) {
    bytesScanned = 0;
    hitCount = 0;
    if (StateOf(cached) == SearchState::NotTried) {
        const int passes = Locators.ImagePasses.Get();
        const uint64_t answer = detail::AnswerOfPass(cached);
        if (Locators.ImagePasses.Get() != passes) {
            bytesScanned = Locators.LastPassBytes.Get();
            hitCount = lightning ? Locators.LastPassLightningHits.Get() : Locators.LastPassWatertuneHits.Get();
            return answer;
        }
    }
    std::lock_guard<std::mutex> lock(Locators.ValueBlockMutex);
    if (const uint64_t kept = CachedAnswer(cached)) {
        if (IsReadable(kept, blockSize)) {
            hitCount = 1;
            return kept;
        }
        ForgetSearch(cached);  // no longer readable: searched again at once
    }
    if (!SearchDue(cached, platform::TickCount64())) return 0;
    ValueSignature signature = lightning ? LightningRun() : WatertuneRun();
    ScanImageFor(signature, bytesScanned, hitCount);
    const bool found = BlockAccepted(signature.firstHit, hitCount, headOffset, blockSize, fieldsFit);
    SettleSearch(cached, found ? signature.firstHit - headOffset : 0, platform::TickCount64());
    return found ? signature.firstHit - headOffset : 0;
}

}  // namespace

namespace detail {

bool ValueBlocksPending() {
    return StateOf(Locators.VfxLightningBlock) == SearchState::NotTried ||
           StateOf(Locators.WatertuneBlock) == SearchState::NotTried;
}

void AddValueBlockPatterns(std::vector<SearchPattern>& patterns) {
    for (bool lightning : {true, false}) {
        const ValueSignature& run = PassRun(lightning);
        SearchPattern pattern{run.bytes.data(), nullptr, run.bytes.size()};
        pattern.alignment = 4;
        patterns.push_back(pattern);
    }
}

void SettleValueBlocks(const SearchPattern& lightning, const SearchPattern& watertune) {
    std::lock_guard<std::mutex> lock(Locators.ValueBlockMutex);
    const uint64_t now = platform::TickCount64();
    Locators.LastPassLightningHits.Set(lightning.count);
    Locators.LastPassWatertuneHits.Set(watertune.count);
    if (StateOf(Locators.VfxLightningBlock) == SearchState::NotTried) {
        const bool found = BlockAccepted(lightning.first, lightning.count, kLightningHead, kVfxLightningBlockSize,
                                         LightningFieldsFit);
        SettleSearch(Locators.VfxLightningBlock, found ? lightning.first - kLightningHead : 0, now);
    }
    if (StateOf(Locators.WatertuneBlock) == SearchState::NotTried) {
        const bool found = BlockAccepted(watertune.first, watertune.count, kWatertuneHead, kWatertuneBlockSize, nullptr);
        SettleSearch(Locators.WatertuneBlock, found ? watertune.first - kWatertuneHead : 0, now);
    }
}

}  // namespace detail

uint64_t FindVfxLightningBlock(uint64_t& bytesScanned, uint64_t& hitCount) {
    return FindValueBlock(Locators.VfxLightningBlock, true, kLightningHead, kVfxLightningBlockSize,
                          LightningFieldsFit, bytesScanned, hitCount);
}

uint64_t FindWatertuneBlock(uint64_t& bytesScanned, uint64_t& hitCount) {
    return FindValueBlock(Locators.WatertuneBlock, false, kWatertuneHead, kWatertuneBlockSize, nullptr,
                          bytesScanned, hitCount);
}

bool ValidateWeatherRecordList(bool saved, std::span<const uint64_t> blocks, uint64_t savedByteCount) {
    if (!saved || blocks.empty() || blocks.size() != savedByteCount / kWeatherRecordSize) return false;
    for (uint64_t block : blocks) {
        if (!IsReadableCached(block, kWeatherRecordSize)) return false;
    }
    return true;
}

}  // namespace runtime
