// Near allocation, patch-site capture, rip-relative load decoding and store
// relocation. Instruction bytes are GNU as output (checked with objdump).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/memory.h"
#include "runtime/guarded_memory.h"
#include "runtime/near_alloc.h"
#include "support/synthetic_image.h"

namespace {

using namespace runtime;
using testsupport::ImageSection;
using testsupport::SyntheticImage;

bool Capture(PatchSiteRecord& record, uint64_t at, size_t n) {
    return n == 6 ? CapturePatchSite6(record, at)
         : n == 8 ? CapturePatchSite8(record, at)
         : n == 9 ? CapturePatchSite9(record, at)
                  : CapturePatchSite10(record, at);
}

uint64_t TextEnd(const SyntheticImage& image) {
    return image.SectionStart(ImageSection::Text) + image.SectionSize(ImageSection::Text);
}

TEST(NearReach, RuleBounds) {
    const uint64_t site = 0x140000000ull;
    EXPECT_TRUE(IsWithinNearReach(site, site) && IsWithinNearReach(site, site - 0x7FFFFFF8ull) &&
                IsWithinNearReach(site, site + 0x80000007ull));
    EXPECT_FALSE(IsWithinNearReach(site, site - 0x7FFFFFF9ull) || IsWithinNearReach(site, site + 0x80000008ull) ||
                 IsWithinNearReach(0x10, 0xFFFFFFFFFFFF0000ull + 0x100000000ull));
}

// Sites in the image, near both ends of the application range and in the
// middle of 4 GiB of free address space (far from where the system places
// new memory) all get a writable block within reach.
TEST(NearAlloc, BlockWithinReachOfEverySite) {
    const platform::SystemMemoryInfo info = platform::GetSystemMemoryInfo();
    SyntheticImage image;
    std::vector<uint64_t> sites = {image.SectionStart(ImageSection::Text) + 100, info.minimumAddress + 0x123, 0x10,
                                   info.maximumAddress - 0x1000, info.maximumAddress};
    for (uint64_t at = 0x100000000ull; at < info.maximumAddress;) {
        platform::MemoryRegion r;
        if (!platform::QueryMemoryRegion(at, r) || r.base + r.size <= at) break;
        if (r.state == platform::kMemFree && r.base + r.size - at >= 0x100000000ull) {
            sites.push_back(at + 0x80004567ull);
            break;
        }
        at = r.base + r.size;
    }
    for (uint64_t site : sites) {
        const uint64_t block = AllocNear(site, 64);
        ASSERT_NE(block, 0u) << site;
        EXPECT_TRUE(IsWithinNearReach(site, block) && block >= info.minimumAddress) << site;
        EXPECT_TRUE(block + info.pageSize - 1 <= info.maximumAddress && IsWritable(block, info.pageSize)) << site;
        platform::FreeMemory(block);
    }
    EXPECT_EQ(AllocNear(sites[0], 0), 0u);
}

TEST(NearAlloc, SharedValueBlockIsMadeOnce) {
    SyntheticImage image;
    const uint64_t site = image.SectionStart(ImageSection::Text);
    ASSERT_EQ(NearAlloc.NearValueBlock, 0u);
    ASSERT_TRUE(AllocateNearValueBlock(site));
    const uint64_t block = NearAlloc.NearValueBlock;
    const uint8_t zeros[kNearValueBlockSize] = {};
    EXPECT_TRUE(IsWithinNearReach(site, block) && std::memcmp(reinterpret_cast<const void*>(block), zeros, 20) == 0);
    EXPECT_TRUE(AllocateNearValueBlock(site + 0x1000) && NearAlloc.NearValueBlock == block);
    platform::FreeMemory(block);
    ResetNearAllocState();
}

TEST(PatchSiteCapture, EachLengthAndTheRefusedSites) {
    SyntheticImage image;
    const std::vector<uint8_t> code = {0xF3, 0x0F, 0x11, 0x05, 0x00, 0x01, 0x00, 0x00, 0x0F, 0x29, 0x05, 0x10};
    const uint64_t site = image.PlantCode(code);
    for (size_t n : {6, 8, 9, 10}) {
        PatchSiteRecord record;
        ASSERT_TRUE(Capture(record, site, n));
        EXPECT_TRUE(record.site == site && record.length == n && record.captured == 1) << n;
        EXPECT_EQ(std::memcmp(record.original, code.data(), n), 0);
        EXPECT_EQ(record.original[n], 0);
        // Patched and written back from the record: as it was.
        const std::vector<uint8_t> nops(n, 0x90);
        ASSERT_TRUE(PatchCodeBytes(site, nops.data(), n) && PatchCodeBytes(site, record.original, n));
        EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(site), code.data(), code.size()), 0);
    }
    // Refused sites leave the record alone. The last byte of the ten lies in
    // .rdata, readable too: refused.
    PatchSiteRecord record;
    record.site = 77;
    record.original[0] = 0xAB;
    EXPECT_FALSE(CapturePatchSite10(record, TextEnd(image) - 9));
    EXPECT_FALSE(CapturePatchSite6(record, 0));
    EXPECT_FALSE(CapturePatchSite6(record, image.end()));  // no-access page
    EXPECT_FALSE(CapturePatchSite8(record, 0x10));
    EXPECT_TRUE(record.site == 77u && record.original[0] == 0xAB && record.captured == 0);
    EXPECT_TRUE(CapturePatchSite9(record, TextEnd(image) - 9));
}

TEST(RipRelativeLoad, DecodesTheFourForms) {
    const struct {
        std::vector<uint8_t> bytes;
        bool ok;
        uint32_t offset, length;
    } rows[] = {
        {{0x0F, 0x10, 0x05, 0x00, 0x01, 0x00, 0x00}, true, 3, 7},               // movups xmm0,[rip+0x100]
        {{0xF3, 0x0F, 0x10, 0x05, 0x00, 0x01, 0x00, 0x00}, true, 4, 8},         // movss xmm0,[rip+0x100]
        {{0xF2, 0x0F, 0x10, 0x15, 0x00, 0x01, 0x00, 0x00}, true, 4, 8},         // movsd xmm2,[rip+0x100]
        {{0xF3, 0x44, 0x0F, 0x10, 0x05, 0x00, 0x01, 0x00, 0x00}, true, 5, 9},   // movss xmm8,[rip+0x100]
        {{0x44, 0x0F, 0x10, 0x0D, 0x00, 0x01, 0x00, 0x00}, true, 4, 8},         // movups xmm9,[rip+0x100]
        {{0x66, 0x0F, 0x10, 0x05, 0x00, 0x01, 0x00, 0x00}, false, 0, 0},        // movupd xmm0,[rip+0x100]
        {{0x0F, 0x28, 0x05, 0x00, 0x01, 0x00, 0x00}, false, 0, 0},              // movaps xmm0,[rip+0x100]
        {{0xF3, 0x0F, 0x11, 0x05, 0x00, 0x01, 0x00, 0x00}, false, 0, 0},        // movss [rip+0x100],xmm0
        {{0xF3, 0x0F, 0x10, 0x80, 0x00, 0x01, 0x00, 0x00}, false, 0, 0},        // movss xmm0,[rax+0x100]
    };
    SyntheticImage image;
    uint32_t offset = 0, length = 0;
    uint64_t target = 0;
    for (const auto& r : rows) {
        const uint64_t at = image.PlantCode(r.bytes, 16);
        image.Reserve(ImageSection::Text, 16, 1);
        offset = length = 99;
        EXPECT_EQ(DecodeRipRelativeLoad(at, offset, length, target), r.ok) << std::hex << int(r.bytes[0]);
        if (r.ok) {
            EXPECT_TRUE(offset == r.offset && length == r.length && target == at + r.length + 0x100);
        } else {
            EXPECT_EQ(offset, 99u);
        }
    }
    // A negative displacement, and a load too near its region's end.
    const uint64_t back = image.PlantRipRelative({0xF3, 0x0F, 0x10, 0x05, 0, 0, 0, 0}, 4, image.base() + 64);
    ASSERT_TRUE(DecodeRipRelativeLoad(back, offset, length, target));
    EXPECT_EQ(target, image.base() + 64);
    image.Write(TextEnd(image) - 11, std::vector<uint8_t>{0x0F, 0x10, 0x05, 0, 0, 0, 0});
    EXPECT_FALSE(DecodeRipRelativeLoad(TextEnd(image) - 11, offset, length, target));
    EXPECT_FALSE(DecodeRipRelativeLoad(0, offset, length, target));
}

TEST(StoreRelocation, CopiesWithANewDisplacement) {
    const struct {
        std::vector<uint8_t> bytes;  // displacement bytes 00 01 00 00 (or 10 00 00 00)
        uint8_t kind, length;
    } rows[] = {
        {{0xF3, 0x0F, 0x11, 0x05, 0x00, 0x01, 0x00, 0x00}, kStoreKindMovss, 8},         // movss [rip+0x100],xmm0
        {{0x0F, 0x11, 0x05, 0x00, 0x01, 0x00, 0x00}, kStoreKindMovups, 7},              // movups [rip+0x100],xmm0
        {{0x0F, 0x29, 0x05, 0x00, 0x01, 0x00, 0x00}, kStoreKindMovaps, 7},              // movaps [rip+0x100],xmm0
        {{0xF2, 0x0F, 0x11, 0x0D, 0x00, 0x01, 0x00, 0x00}, kStoreKindMovups, 8},        // movsd [rip+0x100],xmm1
        {{0xF3, 0x44, 0x0F, 0x11, 0x05, 0x00, 0x01, 0x00, 0x00}, kStoreKindMovss, 9},   // movss [rip+0x100],xmm8
        {{0x64, 0xF3, 0x0F, 0x11, 0x05, 0x00, 0x01, 0x00, 0x00}, kStoreKindMovss, 9},   // movss fs:[rip+0x100],xmm0
        {{0x44, 0x0F, 0x29, 0x1D, 0x00, 0x01, 0x00, 0x00}, kStoreKindMovaps, 8},        // movaps [rip+0x100],xmm11
        // data16 movss fs:[eip+0x100],xmm8: five prefix bytes, 12 bytes long
        {{0x64, 0x66, 0x67, 0xF3, 0x44, 0x0F, 0x11, 0x05, 0x00, 0x01, 0x00, 0x00}, kStoreKindMovss, 12},
        // es cs ss ds fs gs data16 addr32 movaps: eight prefix bytes, 15 bytes long
        {{0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x66, 0x67, 0x0F, 0x29, 0x05, 0x10, 0x00, 0x00, 0x00},
         kStoreKindMovaps, 15},
    };
    SyntheticImage image;
    uint8_t kind = 0, length = 0, offset = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(int(r.length));
        const uint64_t site = image.PlantCode(r.bytes, 16);
        image.Reserve(ImageSection::Text, 16, 1);
        std::vector<uint8_t> cave = {0x90};
        const uint64_t copy = site + 0x1000;
        const uint64_t target = site - 0x2000;
        ASSERT_TRUE(RelocateOriginalInstruction(cave, r.length, r.kind, site, copy, target));
        ASSERT_EQ(cave.size(), 1u + r.length);
        EXPECT_EQ(std::memcmp(cave.data() + 1, r.bytes.data(), r.length - 4), 0);
        int32_t displacement;
        std::memcpy(&displacement, cave.data() + 1 + r.length - 4, 4);
        EXPECT_EQ(static_cast<int64_t>(displacement), static_cast<int64_t>(target - (copy + r.length)));
        ASSERT_TRUE(DecodeRipRelativeStore(r.bytes.data(), r.bytes.size(), kind, length, offset));
        EXPECT_TRUE(kind == r.kind && length == r.length && offset == r.length - 4);
        // Wrong expectations, no target, out of reach: refused, cave unchanged.
        EXPECT_FALSE(RelocateOriginalInstruction(cave, r.length + 1, r.kind, site, copy, target));
        EXPECT_FALSE(RelocateOriginalInstruction(cave, r.length, r.kind % 3 + 1, site, copy, target));
        EXPECT_FALSE(RelocateOriginalInstruction(cave, r.length, r.kind, site, copy, 0));
        EXPECT_FALSE(RelocateOriginalInstruction(cave, r.length, r.kind, site, copy, copy + 0x90000000ull));
        EXPECT_EQ(cave.size(), 1u + r.length);
    }
    // Nine prefix bytes: only eight are walked.
    const std::vector<uint8_t> nine = {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x66, 0x67, 0x26,
                                       0x0F, 0x29, 0x05, 0x10, 0x00, 0x00, 0x00};
    EXPECT_FALSE(DecodeRipRelativeStore(nine.data(), nine.size(), kind, length, offset));
    const uint64_t site = image.PlantCode(nine, 16);
    std::vector<uint8_t> cave;
    EXPECT_FALSE(RelocateOriginalInstruction(cave, 16, kStoreKindMovaps, site, site, site));
    // Not rip-relative: movss [rax+0x100],xmm0.
    const std::vector<uint8_t> based = {0xF3, 0x0F, 0x11, 0x80, 0x00, 0x01, 0x00, 0x00};
    EXPECT_FALSE(DecodeRipRelativeStore(based.data(), based.size(), kind, length, offset));
    EXPECT_FALSE(RelocateOriginalInstruction(cave, 8, kStoreKindMovss, 0, site, site));
}

}  // namespace
