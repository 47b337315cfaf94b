// The heap fingerprint scan and the region texts.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <vector>

#include "platform/memory.h"
#include "runtime/heap_scan.h"
#include "support/synthetic_image.h"
#include "support/testdata.h"

namespace {

using namespace runtime;
using testsupport::ImageSection;
using testsupport::SyntheticHeap;
using testsupport::SyntheticImage;

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
        const ScanResult defaults = Scan(0);
        EXPECT_EQ(HitsIn(defaults, heap), (std::vector<uint64_t>{table, alternate}));
        EXPECT_FALSE(defaults.truncated);
        EXPECT_GT(defaults.regions, 0u);
        EXPECT_GE(defaults.bytes, heap.size());
        for (const FingerprintHit& h : defaults.hits) {
            EXPECT_TRUE(h.address != table || (h.regionType == "LOCAL" && h.section == "N/A"));
        }
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
    for (const VisualSettingsFingerprintRow& row : VisualSettingsFingerprint) image.WriteU32(at + row.offset, row.defaultBits);
    SyntheticHeap readOnly(64 << 10);
    const uint64_t table = readOnly.PlantVisualSettingsTable(0, 0);
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(readOnly.base(), readOnly.size(), platform::kPageReadOnly, &old));
    for (const FingerprintHit& h : Scan(0).hits) EXPECT_TRUE(h.address != at && h.address != table);
    platform::ChangeProtection(readOnly.base(), readOnly.size(), platform::kPageReadWrite, &old);
}

TEST(HeapScan, StopsAtTheBudget) {
    VARNEL_SKIP_UNDER_SHADOW_MEMORY();  // the shadow memory alone would stop it
    // More private read-write memory than the budget (never touched, so it
    // costs no physical memory).
    const size_t size = kHeapScanBudget + (64u << 20);
    const uint64_t big = platform::AllocateAnywhere(size, platform::kPageReadWrite);
    if (big == 0) GTEST_SKIP() << "cannot reserve " << size << " bytes";
    const ScanResult r = Scan(0);
    EXPECT_TRUE(r.truncated);
    EXPECT_LE(r.bytes, kHeapScanBudget);
    EXPECT_GE(r.bytes, kHeapScanBudget - kVisualSettingsWindow);
    platform::FreeMemory(big);
}

TEST(RegionTexts, ProtectionSectionsRegionsAndValues) {
    EXPECT_EQ(ProtectionText(0x20), "PAGE_EXECUTE_READ");
    EXPECT_EQ(ProtectionText(0x00), "UNKNOWN");
    EXPECT_EQ(ProtectionText(0x704), "PAGE_READWRITE|PAGE_GUARD|PAGE_NOCACHE|PAGE_WRITECOMBINE");
    EXPECT_EQ(ProtectionText(0x403), "UNKNOWN|PAGE_WRITECOMBINE");

    SyntheticImage image;
    EXPECT_EQ(SectionNameOf(image.base()), "N/A");  // headers
    EXPECT_EQ(SectionNameOf(image.base() - 1), "N/A");
    EXPECT_EQ(SectionNameOf(image.SectionStart(ImageSection::Text) + 5), ".text");
    EXPECT_EQ(SectionNameOf(image.SectionStart(ImageSection::Rdata)), ".rdata");
    EXPECT_EQ(SectionNameOf(image.end() - 1), ".data");
    EXPECT_EQ(SectionNameOf(image.end()), "N/A");

    const RegionDescription text = DescribeRegion(image.SectionStart(ImageSection::Text));
    EXPECT_EQ(text.protection, "PAGE_EXECUTE_READ");
    EXPECT_EQ(text.type, "IMAGE");
    EXPECT_TRUE(text.executable && text.code && !text.writable && !text.heapLike);
    const RegionDescription rdata = DescribeRegion(image.SectionStart(ImageSection::Rdata));
    EXPECT_TRUE(rdata.readOnlyData && !rdata.heapLike);
    const RegionDescription data = DescribeRegion(image.SectionStart(ImageSection::Data));
    EXPECT_TRUE(data.data && data.writable && data.heapLike);
    SyntheticHeap heap(64 << 10);
    const RegionDescription local = DescribeRegion(heap.base());
    EXPECT_TRUE(local.type == "LOCAL" && local.section == "N/A" && local.heapLike);
    const RegionDescription none = DescribeRegion(0x10);
    EXPECT_TRUE(none.protection == "UNKNOWN" && none.type == "UNKNOWN" && !none.heapLike);

    // An empty section name reads "unnamed".
    const char zeros[8] = {};
    image.Write(image.base() + 0x80 + 24 + 240, zeros, 8);  // the first section header
    EXPECT_EQ(SectionNameOf(image.SectionStart(ImageSection::Text)), "unnamed");

    const uint64_t table = heap.PlantVisualSettingsTable(0, 0);
    const std::string values = FormatFingerprintValues(table);
    EXPECT_EQ(values.substr(0, values.find(';')), "sky.sun.centreStart@864=1065017672/0.98");
    EXPECT_NE(values.find("imposter.shadow.amt2@9720=1115684864/64"), std::string::npos);
    EXPECT_EQ(std::count(values.begin(), values.end(), ';'), 6);
    const std::string failed = FormatFingerprintValues(0x10);
    EXPECT_EQ(failed.substr(0, failed.find(';')), "sky.sun.centreStart@864=READ_FAILED");
    EXPECT_TRUE(std::regex_match(FormatLocalTimestamp(), std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})")));
}

}  // namespace
