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

// The texts of the locator's diagnostics report.
TEST(RegionTexts, ProtectionSectionsRegionsAndValues) {
    for (const auto& [protect, text] : {std::pair<uint32_t, const char*>{0x20, "PAGE_EXECUTE_READ"}, {0x00, "UNKNOWN"},
                                        {0x704, "PAGE_READWRITE|PAGE_GUARD|PAGE_NOCACHE|PAGE_WRITECOMBINE"},
                                        {0x403, "UNKNOWN|PAGE_WRITECOMBINE"}})
        EXPECT_EQ(ProtectionText(protect), text);
    SyntheticImage image;
    SyntheticHeap heap(64 << 10);
    const uint64_t text = image.SectionStart(ImageSection::Text), rdata = image.SectionStart(ImageSection::Rdata);
    const struct {
        uint64_t address;
        const char* section;
    } sections[] = {{image.base(), "N/A"}, {image.base() - 1, "N/A"}, {text + 5, ".text"}, {rdata, ".rdata"},
                    {image.end() - 1, ".data"}, {image.end(), "N/A"}, {heap.base(), "N/A"}};
    for (const auto& r : sections) EXPECT_EQ(SectionNameOf(r.address), r.section) << std::hex << r.address;
    const RegionDescription code = DescribeRegion(text), constants = DescribeRegion(rdata);
    const RegionDescription data = DescribeRegion(image.SectionStart(ImageSection::Data));
    const RegionDescription local = DescribeRegion(heap.base()), none = DescribeRegion(0x10);
    EXPECT_TRUE(code.protection == "PAGE_EXECUTE_READ" && code.type == "IMAGE" && code.executable && code.code &&
                !code.writable && !code.heapLike);
    EXPECT_TRUE(constants.readOnlyData && !constants.heapLike);
    EXPECT_TRUE(data.data && data.writable && data.heapLike);
    EXPECT_TRUE(local.type == "LOCAL" && local.section == "N/A" && local.heapLike);
    EXPECT_TRUE(none.protection == "UNKNOWN" && none.type == "UNKNOWN" && !none.heapLike);
    const char zeros[8] = {};
    image.Write(image.base() + 0x80 + 24 + 240, zeros, 8);  // the first section's name
    EXPECT_EQ(SectionNameOf(text), "unnamed");

    const std::string values = FormatFingerprintValues(heap.PlantVisualSettingsTable(0, 0));
    EXPECT_EQ(values.substr(0, values.find(';')), "sky.sun.centreStart@864=1065017672/0.98");
    EXPECT_NE(values.find("imposter.shadow.amt2@9720=1115684864/64"), std::string::npos);
    EXPECT_EQ(std::count(values.begin(), values.end(), ';'), 6);
    const std::string failed = FormatFingerprintValues(0x10);
    EXPECT_EQ(failed.substr(0, failed.find(';')), "sky.sun.centreStart@864=READ_FAILED");
    EXPECT_TRUE(std::regex_match(FormatLocalTimestamp(), std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})")));
}

}  // namespace
