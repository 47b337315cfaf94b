// Byte-pattern and value-signature scans, the lightning, water-tuning and
// puddle searches and saved weather records on a synthetic game image, and
// the heap fingerprint scan. (The region texts feed only a diagnostics
// report that nothing shows or keeps; the hits' texts are checked here.)
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/shared_value.h"
#include "platform/memory.h"
#include "platform/simulated.h"
#include "runtime/heap_scan.h"
#include "runtime/image_search.h"
#include "runtime/region_walk.h"
#include "runtime/scans.h"
#include "support/synthetic_image.h"
#include "support/testdata.h"
#include "support/thread_waits.h"

namespace {

using namespace runtime;
using testsupport::FloatBytes;
using testsupport::ImageSection;
using testsupport::SyntheticHeap;
using testsupport::SyntheticImage;

const std::vector<uint8_t> kProbe = {0x5A, 0x17, 0xC3, 0x99, 0x01, 0x7E, 0x42, 0x88, 0x31, 0x0D};
const char* const kAll = "xxxxxxxxxx";

TEST(ImageSize, ComesFromThePeHeaders) {
    SyntheticImage image;
    EXPECT_TRUE(GameImageBase() == image.base() && GetGameImageSize() == image.size());
    image.SetSizeOfImageField(0x1234);
    EXPECT_EQ(GetGameImageSize(), 0x1234u);
    for (uint64_t at : {image.base() + 0x80, image.base()}) {  // the PE and MZ signatures
        image.Write(at, "ZX", 2);
        EXPECT_EQ(GetGameImageSize(), 0u) << at - image.base();
        image.Write(at, at == image.base() ? "MZ" : "PE", 2);
    }
}

TEST(UniquePattern, CountsOccurrencesWithWildcards) {
    SyntheticImage image;
    EXPECT_EQ(FindUniquePattern(kProbe.data(), kAll), 0u);  // none
    std::vector<uint8_t> planted = kProbe;
    planted[2] = 0x00;
    planted[3] = 0xFF;
    const uint64_t at = image.Plant(ImageSection::Rdata, planted, 1);
    EXPECT_EQ(FindUniquePattern(kProbe.data(), kAll), 0u);
    EXPECT_EQ(FindUniquePattern(kProbe.data(), "xx??xxxxxx"), at);
    EXPECT_EQ(FindUniquePattern(kProbe.data(), "xx.-xxxxxx"), at);  // any character but 'x' is a wildcard
    // A short run of fixed bytes (no 7-byte anchor) is compared everywhere.
    const uint8_t sparse[] = {0x5A, 0, 0, 0, 0x01, 0, 0x42, 0, 0, 0x0D};
    EXPECT_EQ(FindUniquePattern(sparse, "x???x?x??x"), at);
    const uint64_t exact = image.Plant(ImageSection::Text, kProbe, 1);
    EXPECT_EQ(FindUniquePattern(kProbe.data(), kAll), exact);           // one
    EXPECT_EQ(FindUniquePattern(kProbe.data(), "xx??xxxxxx"), 0u);     // two: ambiguous
    // All wildcards match only where one position exists.
    const uint8_t any[4] = {};
    EXPECT_EQ(FindUniquePatternIn(image.base() + 64, 4, any, "????"), image.base() + 64);
    EXPECT_EQ(FindUniquePatternIn(image.base() + 64, 5, any, "????"), 0u);
    // Bad arguments, and a pattern longer than the range.
    EXPECT_FALSE(FindUniquePattern(nullptr, "xx") || FindUniquePattern(kProbe.data(), nullptr) ||
                 FindUniquePattern(kProbe.data(), "") || FindUniquePatternIn(0, 100, kProbe.data(), "xx") ||
                 FindUniquePatternIn(image.base(), 0, kProbe.data(), "xx") ||
                 FindUniquePatternIn(image.base(), 4, kProbe.data(), "xxxxx"));
}

TEST(UniquePattern, RangeEndsSectionsAndUnreadablePages) {
    SyntheticImage image;
    const uint8_t head[8] = {'M', 'Z', 0, 0, 0, 0, 0, 0};  // the first bytes of the image
    EXPECT_EQ(FindUniquePattern(head, "xx??????"), image.base());
    const uint64_t last = image.end() - kProbe.size();
    image.Write(last, kProbe);
    // The image's last bytes; a range one byte short does not see them.
    EXPECT_EQ(FindUniquePattern(kProbe.data(), kAll), last);
    EXPECT_EQ(FindUniquePatternIn(image.base(), image.size() - 1, kProbe.data(), kAll), 0u);
    EXPECT_EQ(FindUniquePatternIn(last, kProbe.size(), kProbe.data(), kAll), last);
    image.Clear(last, kProbe.size());

    const uint64_t boundary = image.SectionStart(ImageSection::Rdata);
    image.Write(boundary - 4, kProbe);  // .text into .rdata, both readable
    EXPECT_EQ(FindUniquePattern(kProbe.data(), kAll), boundary - 4);
    image.Clear(boundary - 4, 4);

    // A .data page that cannot be read: nothing in it or across it is found,
    // and nothing faults.
    const uint64_t page = image.SectionStart(ImageSection::Data) + 4096;
    image.Write(page + 100, kProbe);
    image.Write(page - 5, kProbe);
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(page, 4096, platform::kPageNoAccess, &old));
    EXPECT_EQ(FindUniquePattern(kProbe.data(), kAll), 0u);
    std::vector<uint8_t> other = kProbe;
    other[0] = 0x77;
    const uint64_t after = image.SectionStart(ImageSection::Data) + 3 * 4096 + 1;
    image.Write(after, other);
    platform::ChangeProtection(page, 4096, platform::kPageNoAccess, &old);  // Write re-applied section rights
    EXPECT_EQ(FindUniquePattern(other.data(), kAll), after);
    platform::ChangeProtection(page, 4096, platform::kPageReadWrite, &old);
}

// The one-pass search against a plain reference on data with few distinct
// bytes, so that partial matches, overlaps and repeats are common; the
// bytes of SSE loads and stores among them, so that patterns without a
// fixed run of seven are found at their 0F xx pairs; with the wide (AVX2)
// and the baseline loops.
TEST(UniquePattern, OnePassAgreesWithAPlainSearch) {
    std::mt19937 random(1234);
    const uint8_t alphabet[] = {0, 1, 2, 0x0F, 0x11, 0x29};
    for (int round = 0; round < 40; ++round) {
        detail::AllowWideScanForTesting(round % 2 == 0);
        std::vector<uint8_t> data(4096 + round * 37);
        for (auto& b : data) b = round < 20 ? static_cast<uint8_t>(random() % 3) : alphabet[random() % 6];
        std::vector<std::vector<uint8_t>> bytes;
        std::vector<std::string> masks;
        for (int i = 0; i < 12; ++i) {
            const size_t length = 7 + random() % 14;
            const size_t from = random() % (data.size() - length);
            bytes.emplace_back(data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(from + length));
            std::string mask(length, 'x');
            if (i % 3 == 1) mask[random() % length] = '?';
            if (i % 3 == 2) {
                for (size_t j = 0; j < length; j += 3) mask[j] = '?';
            }
            if (i == 0) bytes.back()[0] ^= 1;  // probably nowhere
            masks.push_back(mask);
        }
        std::vector<detail::SearchPattern> patterns;
        for (size_t i = 0; i < bytes.size(); ++i) patterns.push_back({bytes[i].data(), masks[i].c_str(), bytes[i].size()});
        const uint64_t base = reinterpret_cast<uintptr_t>(data.data()) + round % 4;
        const uint64_t size = data.size() - round % 4;
        detail::SearchPatterns(base, size, patterns);
        for (size_t i = 0; i < patterns.size(); ++i) {
            uint32_t count = 0;
            uint64_t first = 0;
            for (uint64_t p = 0; p + bytes[i].size() <= size && count < 2; ++p) {
                bool match = true;
                for (size_t j = 0; j < bytes[i].size() && match; ++j)
                    match = masks[i][j] != 'x' || bytes[i][j] == reinterpret_cast<const uint8_t*>(base)[p + j];
                if (match && count++ == 0) first = base + p;
            }
            EXPECT_TRUE(patterns[i].count == count && (count == 0 || patterns[i].first == first))
                << "round " << round << " pattern " << i;
        }
        // Every 0F 11 and 0F 29 reported once, in order.
        std::vector<uint64_t> reported, expected;
        detail::CodeScan scan;
        scan.opcodes[0x11] = scan.opcodes[0x29] = 1;
        scan.context = &reported;
        scan.onOpcode = [](void* c, const detail::Span&, uint64_t at) { static_cast<std::vector<uint64_t>*>(c)->push_back(at); };
        detail::SearchPatterns(base, size, {}, nullptr, &scan);
        const auto* p = reinterpret_cast<const uint8_t*>(base);
        for (uint64_t i = 0; i + 1 < size; ++i)
            if (p[i] == 0x0F && (p[i + 1] == 0x11 || p[i + 1] == 0x29)) expected.push_back(base + i);
        EXPECT_EQ(reported, expected) << "round " << round;
    }
    detail::AllowWideScanForTesting(true);
}

TEST(PuddleSite, OneAttemptPerRun) {
    {
        SyntheticImage image;
        const uint64_t site = image.PlantPuddleStoreSequence();
        EXPECT_EQ(FindPuddleStoreSite(), site);
        EXPECT_EQ(FindPuddleStoreSite(), site);
    }
    SyntheticImage image;
    EXPECT_EQ(FindPuddleStoreSite(), 0u);
    image.PlantPuddleStoreSequence();
    EXPECT_EQ(FindPuddleStoreSite(), 0u);  // not searched again
}

TEST(ValueScan, FindsAlignedRunsInsideOneRegion) {
    const size_t page = platform::GetSystemMemoryInfo().pageSize;
    const uint64_t base = platform::AllocateAnywhere(4 * page, platform::kPageReadWrite);
    ASSERT_NE(base, 0u);
    auto* bytes = reinterpret_cast<uint8_t*>(base);
    std::memset(bytes, 0, 4 * page);
    const std::vector<uint8_t> run = FloatBytes({1.25f, 2.5f, 1118.0f});
    std::memcpy(bytes + 64, run.data(), run.size());    // aligned: found
    std::memcpy(bytes + 130, run.data(), run.size());   // unaligned: not found
    std::memcpy(bytes + page - 4, run.data(), run.size());  // straddles pages 0 and 1
    std::memcpy(bytes + 2 * page + 8, run.data(), run.size());
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(base + page, page, platform::kPageReadOnly, &old));
    ASSERT_TRUE(platform::ChangeProtection(base + 3 * page, page, platform::kPageNoAccess, &old));

    std::vector<ValueSignature> list(1);
    for (float f : {1.25f, 2.5f, 1118.0f}) AppendSignatureFloat(list[0], f);
    uint64_t scanned = 5;
    ScanReadableMemory(base, 4 * page, list, scanned);
    EXPECT_EQ(list[0].hitCount, 2u);
    EXPECT_EQ(list[0].hits, (std::vector<uint64_t>{base + 64, base + 2 * page + 8}));
    EXPECT_EQ(list[0].firstHit, base + 64);
    EXPECT_EQ(scanned, 5 + 3 * page);  // the no-access page is not examined
    // A start inside the range: clipped, aligned up. Bad arguments: nothing.
    std::vector<ValueSignature> again(1, ValueSignature{"again", list[0].bytes, 0, 0, {}});
    scanned = 0;
    ScanReadableMemory(base + 61, 100, again, scanned);
    EXPECT_TRUE(again[0].hitCount == 1u && scanned == 100u - 3);
    ScanReadableMemory(0, 100, list, scanned);
    ScanReadableMemory(base, 0, list, scanned);
    ScanReadableMemory(base, 100, {}, scanned);
    EXPECT_EQ(scanned, 100u - 3);
    platform::FreeMemory(base);
    // Exactly the range that holds the editor's own copy of a run: never examined.
    std::vector<ValueSignature> own(1);
    for (uint32_t v : {0x13579BDFu, 0x2468ACE0u, 0x0F1E2D3Cu}) AppendSignatureU32(own[0], v);
    scanned = 0;
    ScanReadableMemory(reinterpret_cast<uintptr_t>(own[0].bytes.data()), own[0].bytes.size(), own, scanned);
    EXPECT_TRUE(own[0].hitCount == 0u && scanned == 0u);
}

TEST(LightningBlock, FoundCheckedKeptAndUnique) {
    uint64_t scanned = 0, hits = 0;
    {
        SyntheticImage image;
        const uint64_t block = image.PlantLightningBlock();
        EXPECT_TRUE(FindVfxLightningBlock(scanned, hits) == block && hits == 1u && scanned > 0u);
        EXPECT_TRUE(FindVfxLightningBlock(scanned, hits) == block && hits == 1u && scanned == 0u);  // kept
    }
    // Each field check rejects; within 0.0001 passes (the last row).
    const struct {
        size_t offset;
        uint32_t value;
        bool found;
    } changes[] = {{24, 201, false}, {28, std::bit_cast<uint32_t>(0.1002f), false}, {132, 0xFFA1D3FE, false},
                   {208, std::bit_cast<uint32_t>(8.001f), false}, {312, 0, false}, {316, 0, false},
                   {28, std::bit_cast<uint32_t>(0.10005f), true}};
    for (const auto& c : changes) {
        SyntheticImage image;
        const uint64_t block = image.PlantLightningBlock();
        image.WriteU32(block + c.offset, c.value);
        EXPECT_EQ(FindVfxLightningBlock(scanned, hits), c.found ? block : 0) << c.offset;
        EXPECT_EQ(hits, 1u);
    }
    SyntheticImage image;
    image.PlantLightningBlock();
    image.PlantLightningBlock();
    EXPECT_TRUE(FindVfxLightningBlock(scanned, hits) == 0u && hits == 2u);  // two copies: ambiguous
}

// A failed search, or a kept block that stops being readable, is repeated
// at most once per interval however often it is asked for.
TEST(ValueSignatureBlocks, SearchesAreRepeatedAtABoundedRate) {
    platform::sim::UseManualClock(true);
    uint64_t scanned = 0, hits = 0;
    {
        SyntheticImage image;
        EXPECT_TRUE(FindWatertuneBlock(scanned, hits) == 0u && scanned > 0u);
        EXPECT_EQ(FindVfxLightningBlock(scanned, hits), 0u);
        const uint64_t water = image.PlantWatertuneBlock();
        const uint64_t lightning = image.PlantLightningBlock();
        for (int frame = 0; frame < 5; ++frame) {
            EXPECT_TRUE(FindWatertuneBlock(scanned, hits) == 0u && scanned == 0u) << frame;
            EXPECT_TRUE(FindVfxLightningBlock(scanned, hits) == 0u && scanned == 0u) << frame;
            platform::sim::AdvanceClock(kSearchRetryIntervalMs / 5 - 1);
        }
        platform::sim::AdvanceClock(10);
        EXPECT_EQ(FindWatertuneBlock(scanned, hits), water);
        EXPECT_EQ(FindVfxLightningBlock(scanned, hits), lightning);
    }
    SyntheticImage image;
    const uint64_t water = image.PlantWatertuneBlock();
    ASSERT_EQ(FindWatertuneBlock(scanned, hits), water);
    const uint64_t page = water & ~uint64_t(4095);
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(page, 4096, platform::kPageNoAccess, &old));
    EXPECT_EQ(FindWatertuneBlock(scanned, hits), 0u);
    EXPECT_GT(scanned, 0u);
    platform::ChangeProtection(page, 4096, platform::kPageReadWrite, &old);
    EXPECT_EQ(FindWatertuneBlock(scanned, hits), 0u);  // waits
    platform::sim::AdvanceClock(kSearchRetryIntervalMs);
    EXPECT_EQ(FindWatertuneBlock(scanned, hits), water);
    platform::sim::UseManualClock(false);
}

TEST(WeatherRecords, SavedListChecks) {
    SyntheticImage image;
    const uint64_t a = image.Reserve(ImageSection::Data, 188, 4);
    const uint64_t b = image.Reserve(ImageSection::Data, 188, 4);
    const uint64_t dataEnd = image.SectionStart(ImageSection::Data) + image.SectionSize(ImageSection::Data);
    const std::vector<uint64_t> two = {a, b};
    const struct {
        bool saved;
        std::vector<uint64_t> blocks;
        uint64_t bytes;
        bool valid;
    } rows[] = {
        {true, two, 376, true}, {true, two, 376 + 100, true},  // 476 / 188 = 2
        {false, two, 376, false}, {true, {}, 0, false}, {true, two, 188, false}, {true, {a, 0}, 376, false},
        {true, {a, dataEnd - 100}, 376, false},  // runs past its region
        {true, {a, image.SectionStart(ImageSection::Text)}, 376, true},
    };
    for (const auto& r : rows) EXPECT_EQ(ValidateWeatherRecordList(r.saved, r.blocks, r.bytes), r.valid) << r.bytes;
}

// ---- The heap fingerprint scan ----------------------------------------------------

struct ScanResult {
    std::vector<FingerprintHit> hits;
    uint64_t bytes = 0;
    uint32_t regions = 0;
    uint8_t truncated = 0;
};

ScanResult Scan(uint8_t mode) {
    ScanResult r;
    ScanForVisualSettingsBlock(r.hits, mode, r.bytes, r.regions, r.truncated);
    return r;
}

std::vector<uint64_t> HitsIn(const ScanResult& r, const SyntheticHeap& heap) {
    std::vector<uint64_t> in;
    for (const FingerprintHit& h : r.hits) {
        if (h.address >= heap.base() && h.address < heap.base() + heap.size()) in.push_back(h.address);
    }
    return in;
}

TEST(HeapScan, DefaultAndGuardPassesAndTheHitLimit) {
    VARNEL_SKIP_UNDER_SHADOW_MEMORY();
    {
        SyntheticHeap heap(1 << 20);
        ASSERT_TRUE(heap.ok());
        const uint64_t table = heap.PlantVisualSettingsTable(4096 + 12, 0);
        const uint64_t alternate = heap.PlantVisualSettingsTable(65536, 0, true);
        const uint64_t guard = heap.PlantVisualSettingsTable(200000, 1);
        // A copy the editor keeps is its own: never a hit.
        const ScopedOwnRange copy(reinterpret_cast<const void*>(heap.PlantVisualSettingsTable(400000, 0)), kVisualSettingsWindow);
        const ScanResult defaults = Scan(0);
        EXPECT_EQ(HitsIn(defaults, heap), (std::vector<uint64_t>{table, alternate}));
        EXPECT_TRUE(!defaults.truncated && defaults.regions > 0u && defaults.bytes >= heap.size());
        for (const FingerprintHit& h : defaults.hits)
            EXPECT_TRUE(h.address != table || (h.regionType == "LOCAL" && h.section == "N/A"));
        EXPECT_EQ(HitsIn(Scan(1), heap), (std::vector<uint64_t>{guard}));
    }
    SyntheticHeap heap(1 << 20);
    for (size_t i = 0; i < 20; ++i) heap.PlantVisualSettingsTable(i * 12000, 0);
    EXPECT_EQ(Scan(0).hits.size(), kHeapScanMaxHits);
}

TEST(HeapScan, EveryRowMustFitAndOnlyPrivateWritableMemoryIsHeap) {
    VARNEL_SKIP_UNDER_SHADOW_MEMORY();
    SyntheticHeap heap(1 << 20);
    for (int row = 0; row < kVisualSettingsFingerprintRows; ++row) {
        const uint64_t table = heap.PlantVisualSettingsTable(20000 * static_cast<size_t>(row + 1), 0);
        const uint32_t wrong = 0x12345678;
        std::memcpy(reinterpret_cast<void*>(table + VisualSettingsFingerprint[row].offset), &wrong, 4);
    }
    // A table whose window would run past the region end is not a candidate.
    heap.PlantVisualSettingsTable(heap.size() - kVisualSettingsWindow + 4, 0);
    EXPECT_TRUE(HitsIn(Scan(0), heap).empty());

    // Neither the image nor a read-only mapping is heap.
    SyntheticImage image;
    const uint64_t at = image.Reserve(ImageSection::Data, kVisualSettingsWindow, 16);
    for (const VisualSettingsFingerprintRow& row : VisualSettingsFingerprint)
        image.WriteU32(at + row.offset, row.defaultBits);
    SyntheticHeap readOnly(64 << 10);
    const uint64_t table = readOnly.PlantVisualSettingsTable(0, 0);
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(readOnly.base(), readOnly.size(), platform::kPageReadOnly, &old));
    for (const FingerprintHit& h : Scan(0).hits) EXPECT_TRUE(h.address != at && h.address != table);
}

TEST(HeapScan, StopsAtTheBudget) {
    VARNEL_SKIP_UNDER_SHADOW_MEMORY();  // the shadow memory alone would stop it
    // More private read-write memory than the budget (never touched, so it
    // costs no physical memory).
    const size_t size = kHeapScanBudget + (64u << 20);
    const uint64_t big = platform::AllocateAnywhere(size, platform::kPageReadWrite);
    if (big == 0) GTEST_SKIP() << "cannot reserve " << size << " bytes";
    const ScanResult r = Scan(0);
    EXPECT_TRUE(r.truncated && r.bytes <= kHeapScanBudget && r.bytes >= kHeapScanBudget - kVisualSettingsWindow);
    platform::FreeMemory(big);
}

// A search that has been asked to stop ends within a stride of candidates,
// also in the middle of one piece.
TEST(HeapScan, AStopIsSeenWithinAStrideOfCandidates) {
    const std::vector<uint8_t> copy(4u << 20);  // 4 MiB of candidates, none a table
    const uint64_t first = 0x40000000, last = first + copy.size() - kVisualSettingsWindow;
    std::vector<FingerprintHit> hits;
    core::SharedValue<uint32_t> stop{0};
    EXPECT_EQ(ScanFingerprintCandidates(first, last, copy.data(), 0, hits, &stop), last + 4 - first);
    stop.Set(1);
    EXPECT_LE(ScanFingerprintCandidates(first, last, copy.data(), 0, hits, &stop), kHeapScanStopStride);
    EXPECT_TRUE(hits.empty());
}

// A stop set while the search is in the middle of a piece ends it within a
// stride of candidates: of the tables a stride apart at the start of a
// gigabyte of untouched memory, at most one more is found after the stop,
// and the rest of the range is never searched. Each hit in the range tells
// the test the search is under way: the game image is taken to begin at the
// unreadable page before the range, so looking for a hit's image section
// costs one guarded fault. Several searches, since a stop that comes late
// (the stopping thread did not run in time) leaves nothing to tell.
TEST(HeapScan, AStopSetDuringTheSearchEndsItWithinAStride) {
    VARNEL_SKIP_UNDER_SHADOW_MEMORY();
    SyntheticHeap heap(1u << 30);
    if (!heap.ok()) GTEST_SKIP() << "cannot reserve a gigabyte";
    constexpr size_t kTables = kHeapScanMaxHits - 1;  // short of the limit, all in the range's first piece
    for (size_t i = 0; i < kTables; ++i) heap.PlantVisualSettingsTable(i * kHeapScanStopStride, 0);
    const uint64_t page = platform::GetSystemMemoryInfo().pageSize;
    platform::SetGameModuleForTesting(static_cast<uintptr_t>(heap.base() - page), static_cast<size_t>(page));
    for (int search = 0; search < 5; ++search) {
        core::SharedValue<uint32_t> stop{0};
        std::atomic<bool> watching{false}, searched{false};
        uint64_t describedAtStop = 0;
        const uint64_t faults = platform::sim::GuardedFaults();
        std::thread stopper([&] {
            watching = true;
            const auto deadline = std::chrono::steady_clock::now() + testsupport::Scaled(std::chrono::seconds(10));
            while (platform::sim::GuardedFaults() == faults && !searched && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            stop.Set(1);
            describedAtStop = platform::sim::GuardedFaults() - faults;
        });
        const auto deadline = std::chrono::steady_clock::now() + testsupport::Scaled(std::chrono::seconds(10));
        while (!watching && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        ScanResult r;
        ScanForVisualSettingsBlock(r.hits, 0, r.bytes, r.regions, r.truncated, &stop);
        searched = true;
        stopper.join();
        const size_t found = HitsIn(r, heap).size();
        EXPECT_GE(found, 1u) << "search " << search << " made no hit in the range before its stop";
        EXPECT_LE(found, describedAtStop + 1) << "tables found after the stop, search " << search;
        EXPECT_LT(r.bytes, heap.size()) << search;
    }
    platform::SetGameModuleForTesting(0, 0);
}

// Without a copy (the piece could not be copied: its memory went away
// under the search) every candidate is read on its own: an unreadable page
// costs a fault or so, not one per candidate, and a table right after it
// is still found.
TEST(HeapScan, AnUnreadablePageCostsAFaultNotOnePerCandidate) {
    const uint64_t page = platform::GetSystemMemoryInfo().pageSize;
    constexpr uint64_t kUnreadable = 8;
    SyntheticHeap heap(static_cast<size_t>(kUnreadable * page) + 4 * kVisualSettingsWindow);
    ASSERT_TRUE(heap.ok());
    const uint64_t table = heap.PlantVisualSettingsTable(static_cast<size_t>(kUnreadable * page), 0);
    const uint64_t late = heap.PlantVisualSettingsTable(static_cast<size_t>(kUnreadable * page) + 2 * kVisualSettingsWindow, 0);
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(heap.base(), kUnreadable * page, platform::kPageNoAccess, &old));
    std::vector<FingerprintHit> hits;
    const uint64_t faults = platform::sim::GuardedFaults();
    const uint64_t last = heap.base() + heap.size() - kVisualSettingsWindow;
    EXPECT_EQ(ScanFingerprintCandidates(heap.base(), last, nullptr, 0, hits), last + 4 - heap.base());
    const uint64_t taken = platform::sim::GuardedFaults() - faults;
    EXPECT_GE(taken, 1u) << "the unreadable pages were read without a fault";
    EXPECT_LE(taken, 2 * kUnreadable) << "faults for " << kUnreadable << " unreadable pages";
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].address, table);
    EXPECT_EQ(hits[1].address, late);
}

// The same when the page that cannot be read comes after pages full of 1.0,
// an accepted first value: every candidate before it passes the first check
// and faults at a later row, on the page a row further on reads. The first
// such fault passes over every candidate that would read that page there.
TEST(HeapScan, AFaultAtALaterRowIsPassedOverToo) {
    const uint64_t page = platform::GetSystemMemoryInfo().pageSize;
    constexpr size_t kOnes = 4;  // then the unreadable page, then three more
    SyntheticHeap heap(static_cast<size_t>((kOnes + 4) * page));
    ASSERT_TRUE(heap.ok());
    std::fill_n(reinterpret_cast<float*>(heap.base()), kOnes * page / 4, 1.0f);
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(heap.base() + kOnes * page, page, platform::kPageNoAccess, &old));
    std::vector<FingerprintHit> hits;
    const uint64_t faults = platform::sim::GuardedFaults();
    const uint64_t last = heap.base() + heap.size() - kVisualSettingsWindow;
    EXPECT_EQ(ScanFingerprintCandidates(heap.base(), last, nullptr, 0, hits), last + 4 - heap.base());
    const uint64_t taken = platform::sim::GuardedFaults() - faults;
    EXPECT_GE(taken, 1u);
    EXPECT_LE(taken, 4u) << "faults for one unreadable page";
    EXPECT_TRUE(hits.empty());
}

}  // namespace
