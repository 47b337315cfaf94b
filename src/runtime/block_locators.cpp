#include "runtime/block_locators.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "runtime/guarded_memory.h"
#include "runtime/locator_state.h"
#include "runtime/scans.h"
#include "runtime/signature_pass.h"

namespace runtime {
namespace {

// movsd xmm1,[rip+d32]; shufps xmm1,xmm1,0xE1; movq rax,xmm1
constexpr uint8_t kTimecycleA[] = {0xF2, 0x0F, 0x10, 0x0D, 0, 0, 0, 0, 0x0F, 0xC6, 0xC9, 0xE1, 0x66, 0x48, 0x0F, 0x7E, 0xC8};
constexpr char kTimecycleAMask[] = "xxxx????xxxxxxxxx";
// movss xmm0,[rip+d32]; jmp +8; movss xmm0,[rip+d32]; mov cl,al;
// movss xmm8,[rip+d32]; jne; mulss xmm8,[rip+d32]
constexpr uint8_t kTimecycleB[] = {0xF3, 0x0F, 0x10, 0x05, 0,    0,    0,    0,    0xEB, 0x08, 0xF3, 0x0F, 0x10, 0x05,
                                   0,    0,    0,    0,    0x88, 0xC1, 0xF3, 0x44, 0x0F, 0x10, 0x05, 0,    0,    0,
                                   0,    0x75, 0,    0xF3, 0x44, 0x0F, 0x59, 0x05, 0,    0,    0,    0};
constexpr char kTimecycleBMask[] = "xxxx????xxxxxx????xxxxxxx????x?xxxxx????";
static_assert(sizeof kTimecycleA == sizeof kTimecycleAMask - 1);
static_assert(sizeof kTimecycleB == sizeof kTimecycleBMask - 1);

constexpr uint8_t kStore0[] = {0xF3, 0x42, 0x0F, 0x11, 0x84, 0x26, 0xB8, 0x00, 0x00, 0x00};
constexpr uint8_t kStore1[] = {0xF3, 0x42, 0x0F, 0x11, 0x84, 0x26, 0x90, 0x00, 0x00, 0x00};
constexpr uint8_t kStore2[] = {0x42, 0x0F, 0x11, 0x84, 0x26, 0xA4, 0x00, 0x00, 0x00};
constexpr uint8_t kStore3[] = {0xF3, 0x42, 0x0F, 0x11, 0x84, 0x26, 0xB4, 0x00, 0x00, 0x00};
constexpr uint8_t kStore4[] = {0x42, 0x0F, 0x29, 0x44, 0x26, 0x70};
constexpr uint8_t kStore5[] = {0x42, 0x0F, 0x29, 0x84, 0x26, 0x80, 0x00, 0x00, 0x00};
constexpr uint8_t kStore6[] = {0x42, 0x0F, 0x29, 0x84, 0x26, 0xD0, 0x01, 0x00, 0x00};
constexpr uint8_t kStore7[] = {0x42, 0x0F, 0x29, 0x84, 0x26, 0x40, 0x02, 0x00, 0x00};
constexpr uint8_t kStore8[] = {0x42, 0x0F, 0x29, 0x84, 0x26, 0xC0, 0x03, 0x00, 0x00};

int32_t I32At(uint64_t address) {
    int32_t v;
    std::memcpy(&v, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), 4);
    return v;
}

// The block that a hit's first rip-relative operand names, or 0 when it
// does not pass the bounds and readability tests.
uint64_t BlockFromHit(uint64_t hit, uint64_t imageBase, uint64_t imageEnd) {
    const uint64_t target = hit + 8 + static_cast<uint64_t>(static_cast<int64_t>(I32At(hit + 4)));
    if (target < kTimecycleSignatureField) return 0;
    const uint64_t block = target - kTimecycleSignatureField;
    if (block < imageBase || block > imageEnd) return 0;
    if (block + kTimecycleBlockSize < block || block + kTimecycleBlockSize > imageEnd) return 0;
    if (!IsReadable(block, kTimecycleBlockSize)) return 0;
    return block;
}

int CountIn(const uint8_t* window, size_t length) {
    int found = 0;
    for (const SecondaryStoreSignature& s : SecondaryBlockSignatures) {
        if (s.length > length) continue;
        for (size_t p = 0; p + s.length <= length; ++p) {
            if (window[p] == s.bytes[0] && std::memcmp(window + p, s.bytes, s.length) == 0) {
                ++found;
                break;
            }
        }
    }
    return found;
}

}  // namespace

const SecondaryStoreSignature SecondaryBlockSignatures[kSecondaryBlockSignatureCount] = {
    {kStore0, sizeof kStore0, 184}, {kStore1, sizeof kStore1, 144}, {kStore2, sizeof kStore2, 164},
    {kStore3, sizeof kStore3, 180}, {kStore4, sizeof kStore4, 112}, {kStore5, sizeof kStore5, 128},
    {kStore6, sizeof kStore6, 464}, {kStore7, sizeof kStore7, 576}, {kStore8, sizeof kStore8, 960},
};

namespace detail {

bool TimecycleSearchPending() { return StateOf(Locators.TimecycleBlock) == SearchState::NotTried; }

void AddTimecyclePatterns(std::vector<SearchPattern>& patterns) {
    patterns.push_back({kTimecycleA, kTimecycleAMask, sizeof kTimecycleA});
    patterns.push_back({kTimecycleB, kTimecycleBMask, sizeof kTimecycleB});
}

// Pattern A's block is taken when A is unique and accepted. Pattern B,
// when unique, must agree: a B block that fails its tests or names another
// block than A's makes the answer 0 for the whole run (the two signatures
// disagree, so neither is trusted).
void SettleTimecycleBlock(const SearchPattern& a, const SearchPattern& b) {
    const uint64_t base = GameImageBase();
    const uint64_t end = base + GetGameImageSize();
    uint64_t block = 0;
    if (base != 0 && end != base) {
        if (a.UniqueHit() != 0) block = BlockFromHit(a.UniqueHit(), base, end);
        const uint64_t hitB = b.UniqueHit();
        if (hitB != 0) {
            uint64_t blockB = BlockFromHit(hitB, base, end);
            if (blockB != 0) {
                const uint64_t multiplyTarget =
                    hitB + 40 + static_cast<uint64_t>(static_cast<int64_t>(I32At(hitB + 36)));
                if (multiplyTarget != blockB + kTimecycleSignatureSecondField) blockB = 0;
            }
            block = (blockB != 0 && (block == 0 || block == blockB)) ? blockB : 0;
        }
    }
    Locators.TimecycleSiteA.Set(a.first);
    Locators.TimecycleSiteB.Set(b.first);
    SettleSearch(Locators.TimecycleBlock, block, platform::TickCount64());
}

}  // namespace detail

uint64_t TimecycleBlockLocator() {
    return detail::AnswerOfPass(Locators.TimecycleBlock);
}

int CountSecondaryBlockSignatures(uint64_t start, uint64_t length) {
    if (start == 0 || length == 0) return 0;
    // Copied under the fault guard: a window reaching an unreadable page
    // counts nothing instead of faulting.
    std::vector<uint8_t> window(static_cast<size_t>(length));
    if (!GuardedCopy(window.data(), reinterpret_cast<const void*>(static_cast<uintptr_t>(start)), length)) return 0;
    return CountIn(window.data(), window.size());
}

namespace {

// The target of a lea r12 at p when its window holds enough of the
// engine's stores, else 0.
uint64_t SecondaryBlockOfLea(uint64_t p, uint64_t base, uint64_t end) {
    const uint64_t target = p + 7 + static_cast<uint64_t>(static_cast<int64_t>(I32At(p + 3)));
    if (target < base || target >= end) return 0;
    const uint64_t window = end - p < kSecondarySignatureWindow ? end - p : kSecondarySignatureWindow;
    if (CountSecondaryBlockSignatures(p, window) < kSecondaryBlockSignaturesNeeded) return 0;
    return target;
}

// One search of the whole image: the target of the first lea r12 whose
// window holds enough of the engine's stores, or 0.
uint64_t SearchSecondaryBlock() {
    const uint64_t base = GameImageBase();
    const uint64_t size = GetGameImageSize();
    if (base == 0 || size < 7) return 0;
    Locators.SecondaryBlockSearches.FetchAdd(1);
    const uint64_t end = base + size;
    uint64_t found = 0;
    detail::FindLeaR12Sites(base, size, [&](uint64_t p) {
        found = SecondaryBlockOfLea(p, base, end);
        return found != 0;
    });
    return found;
}

}  // namespace

namespace detail {

bool SecondarySearchPending() { return StateOf(Locators.SecondaryBlock) == SearchState::NotTried; }

void AddSecondaryStorePatterns(std::vector<SearchPattern>& patterns, std::vector<uint64_t>* hits) {
    for (int i = 0; i < kSecondaryBlockSignatureCount; ++i) {
        const SecondaryStoreSignature& s = SecondaryBlockSignatures[i];
        SearchPattern pattern{s.bytes, nullptr, s.length};
        pattern.allHits = &hits[i];
        patterns.push_back(pattern);
    }
}

void SettleSecondaryBlock(const std::vector<uint64_t>* storeHits) {
    const uint64_t base = GameImageBase();
    const uint64_t end = base + GetGameImageSize();
    uint64_t found = 0;
    if (base != 0 && end != base) {
        Locators.SecondaryBlockSearches.FetchAdd(1);
        // A lea at p counts the stores in [p, p + window): only a lea up to
        // a window before a store can qualify. Those ranges, merged, are
        // searched for its bytes; the first qualifying lea wins.
        std::vector<std::pair<uint64_t, uint64_t>> ranges;
        for (int i = 0; i < kSecondaryBlockSignatureCount; ++i)
            for (uint64_t hit : storeHits[i]) {
                const uint64_t reach = hit + SecondaryBlockSignatures[i].length;
                const uint64_t from = reach - base > kSecondarySignatureWindow ? reach - kSecondarySignatureWindow : base;
                ranges.push_back({from, hit + 1});
            }
        std::sort(ranges.begin(), ranges.end());
        std::vector<std::pair<uint64_t, uint64_t>> merged;
        for (const auto& r : ranges) {
            if (!merged.empty() && r.first <= merged.back().second) merged.back().second = std::max(merged.back().second, r.second);
            else merged.push_back(r);
        }
        for (const auto& r : merged) {
            if (found != 0) break;
            const uint64_t to = std::min(r.second + 6, end);  // a lea starting in the range, whole
            found = detail::FindLeaR12Sites(r.first, to - r.first, [&](uint64_t p) {
                return p < r.second && SecondaryBlockOfLea(p, base, end) != 0;
            });
            if (found != 0) found = SecondaryBlockOfLea(found, base, end);
        }
    }
    std::lock_guard<std::mutex> lock(Locators.SecondaryBlockMutex);
    if (StateOf(Locators.SecondaryBlock) == SearchState::NotTried)
        SettleSearch(Locators.SecondaryBlock, found, platform::TickCount64());
}

}  // namespace detail

uint64_t SecondaryBlockLocator() {
    // The first attempt is the shared pass's; later ones (while not found,
    // at a bounded rate) walk the image's lea sites alone.
    if (detail::SecondarySearchPending()) detail::AnswerOfPass(Locators.SecondaryBlock);
    return FindCached(Locators.SecondaryBlock, Locators.SecondaryBlockMutex, platform::TickCount64,
                      SearchSecondaryBlock);
}

}  // namespace runtime
