// Block locators, data signatures and encoded live addresses on a synthetic
// game image.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/memory.h"
#include "platform/simulated.h"
#include "runtime/block_locators.h"
#include "runtime/data_signatures.h"
#include "runtime/guarded_memory.h"
#include "runtime/locator_state.h"
#include "runtime/scans.h"
#include "support/synthetic_image.h"

namespace {

using namespace runtime;
using testsupport::FloatBytes;
using testsupport::ImageSection;
using testsupport::SyntheticImage;
using testsupport::U32Bytes;

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(TimecycleLocator, PatternCombinations) {
    enum Plant { None, Good, Twice, Other, BadMultiply };
    const struct {
        Plant a, b;
        bool expectBlock;  // the planted block, else 0
        const char* what;
    } rows[] = {
        {Good, None, true, "A alone"},          {None, Good, true, "B alone"},
        {Twice, Good, true, "A ambiguous, B decides"}, {Good, Twice, true, "B ambiguous, A stands"},
        {Good, Good, true, "both agree"},       {Good, Other, false, "disagree"},
        {Other, Good, false, "disagree the other way"}, {Good, BadMultiply, false, "B fails its multiply test"},
        {None, None, false, "neither"},         {Twice, Twice, false, "both ambiguous"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        SyntheticImage image;
        const uint64_t block = image.PlantTimecycleBlock();
        const uint64_t other = image.PlantTimecycleBlock();
        for (int n = r.a == Twice ? 2 : 1; n > 0; --n) {
            if (r.a != None) image.PlantTimecycleSiteA(r.a == Other ? other : block);
        }
        for (int n = r.b == Twice ? 2 : 1; n > 0; --n) {
            if (r.b != None) image.PlantTimecycleSiteB(r.b == Other ? other : block, r.b == BadMultiply ? 1196 : 1192);
        }
        const uint64_t want = r.expectBlock ? block : 0;
        EXPECT_EQ(TimecycleBlockLocator(), want);
        EXPECT_EQ(TimecycleBlockLocator(), want);  // the same answer for the rest of the run
        EXPECT_EQ(ResolveTimecycleBlockField(kLiveHandleTimecycle | 8), want ? want + 8 : 0);
    }
}

TEST(TimecycleLocator, RefusedBlocksAndOneAttemptPerRun) {
    for (bool noImage : {false, true}) {
        SyntheticImage image;  // a block that would end past the image end; a good block without an image
        image.PlantTimecycleSiteA(noImage ? image.PlantLocatableTimecycleBlock() : image.end() - 2000);
        if (noImage) image.SetSizeOfImageField(0);
        EXPECT_EQ(TimecycleBlockLocator(), 0u) << noImage;
    }
    SyntheticImage image;
    EXPECT_EQ(TimecycleBlockLocator(), 0u);
    image.PlantLocatableTimecycleBlock();
    EXPECT_EQ(TimecycleBlockLocator(), 0u);  // one attempt per run
}

TEST(SecondaryLocator, NeedsFourDistinctStoresInTheWindowAfterAnInImageLea) {
    const struct {
        int stores;
        bool repeatFirst, found;
    } rows[] = {{9, false, true}, {4, false, true}, {3, false, false}, {3, true, false}, {0, false, false}};
    for (const auto& r : rows) {
        SyntheticImage image;
        const uint64_t target = image.Reserve(ImageSection::Data, 4096, 16);
        image.PlantSecondaryBlockSite(target, r.stores, r.repeatFirst);
        EXPECT_EQ(SecondaryBlockLocator(), r.found ? target : 0) << r.stores << (r.repeatFirst ? " repeated" : "");
    }
    {
        // A lea whose target leaves the image is passed over.
        SyntheticImage image;
        image.PlantSecondaryBlockSite(image.end() + 0x10000, 9);
        const uint64_t target = image.Reserve(ImageSection::Data, 64, 16);
        image.PlantSecondaryBlockSite(target, 5);
        EXPECT_EQ(SecondaryBlockLocator(), target);
    }
    // A store beyond the window does not count.
    SyntheticImage image;
    image.PlantSecondaryBlockSite(image.Reserve(ImageSection::Data, 64, 16), 3);
    image.Reserve(ImageSection::Text, kSecondarySignatureWindow, 1);
    const SecondaryStoreSignature& s = SecondaryBlockSignatures[8];
    image.PlantCode(std::vector<uint8_t>(s.bytes, s.bytes + s.length));
    EXPECT_EQ(SecondaryBlockLocator(), 0u);
}

TEST(SecondaryLocator, AMissingBlockIsSearchedAgainAtABoundedRate) {
    platform::sim::UseManualClock(true);
    SyntheticImage image;
    EXPECT_TRUE(SecondaryBlockLocator() == 0u && Locators.SecondaryBlockSearches == 1);
    const uint64_t target = image.Reserve(ImageSection::Data, 64, 16);
    image.PlantSecondaryBlockSite(target, 4);
    for (int frame = 0; frame < 100; ++frame, platform::sim::AdvanceClock(16))
        EXPECT_TRUE(SecondaryBlockLocator() == 0u && ResolveSecondaryBlockField(kLiveHandleSecondary | 4) == 0u);
    EXPECT_EQ(Locators.SecondaryBlockSearches, 1);
    platform::sim::AdvanceClock(kSearchRetryIntervalMs);
    EXPECT_TRUE(SecondaryBlockLocator() == target && SecondaryBlockLocator() == target);
    EXPECT_EQ(Locators.SecondaryBlockSearches, 2);
    platform::sim::UseManualClock(false);
}

TEST(SecondaryLocator, CountsEachSignatureOnce) {
    std::vector<uint8_t> window;
    for (const SecondaryStoreSignature& s : SecondaryBlockSignatures)
        for (int twice = 0; twice < 2; ++twice) window.insert(window.end(), s.bytes, s.bytes + s.length);
    const uint64_t start = reinterpret_cast<uintptr_t>(window.data());
    EXPECT_EQ(CountSecondaryBlockSignatures(start, window.size()), 9);
    EXPECT_EQ(CountSecondaryBlockSignatures(start, 10), 1);
    EXPECT_EQ(CountSecondaryBlockSignatures(start, 9), 0);  // the first store is 10 bytes
    EXPECT_TRUE(CountSecondaryBlockSignatures(0, 100) == 0 && CountSecondaryBlockSignatures(start, 0) == 0);
}

TEST(DataSignatures, KnownRunsAreFound) {
    SyntheticImage image;
    const uint64_t one = image.Plant(ImageSection::Data, FloatBytes({15, 25, 25, 25, 25, 10, 10, 10}), 4);
    image.Reserve(ImageSection::Data, 384, 4);
    const uint64_t three = image.Plant(ImageSection::Rdata, FloatBytes({1.75f, 1.5f, 4, 0.1f, 10, 10, 1.5f, 0}), 4);
    image.Reserve(ImageSection::Rdata, 192, 4);
    const uint64_t four = image.Plant(
        ImageSection::Data, Concat({FloatBytes({100, -0.11f}), U32Bytes({0xFF070707u}), FloatBytes({2, 8, 0, 5, 4})}), 4);
    image.Reserve(ImageSection::Data, 160, 4);
    const uint64_t twenty = image.Plant(ImageSection::Data, Concat({FloatBytes({16, 123, 8}), U32Bytes({28})}), 4);
    image.Reserve(ImageSection::Data, 32, 4);

    EXPECT_TRUE(DataSignatureBase(1) == one && DataSignatureBase(3) == three);
    EXPECT_TRUE(DataSignatureBase(4) == four && DataSignatureBase(20) == twenty);
    EXPECT_EQ(DataSignatureBase(2), 0u);  // no bytes in this build
    EXPECT_EQ(ResolveLiveHandle(0, 0x1003000000000030ull), three + 48);
}

TEST(DataSignatures, OnePassSearchesEveryPendingId) {
    SyntheticImage image;
    std::vector<uint64_t> planted;
    for (DataSignatureId id : {5, 60, 100, 149}) {
        std::vector<uint8_t> run;
        const DataSignature& row = DataSignatureRow(id);
        std::mt19937 random(static_cast<unsigned>(id));
        for (size_t i = 0; i < row.length; ++i) run.push_back(static_cast<uint8_t>(random()));
        planted.push_back(image.Plant(ImageSection::Data, run, 4));
        image.Reserve(ImageSection::Data, row.blockSize, 4);
        SetDataSignatureForTesting(id, run, row.mask ? row.mask : "");
    }
    EXPECT_EQ(DataSignatureBase(60), planted[1]);
    EXPECT_TRUE(DataSignatureBase(5) == planted[0] && DataSignatureBase(100) == planted[2] &&
                DataSignatureBase(149) == planted[3]);
    EXPECT_EQ(Locators.SignaturePasses, 1);
    // The timecycle locator was settled by the same pass.
    const uint64_t queries = GuardedMemory.RegionQueries;
    EXPECT_EQ(TimecycleBlockLocator(), 0u);
    EXPECT_EQ(GuardedMemory.RegionQueries, queries);
}

TEST(DataSignatures, FailuresAreFinal) {
    SyntheticImage image;
    const std::vector<uint8_t> run = U32Bytes({0xA1B2C3D4, 0x0BADF00D, 0x600DCAFE, 0x5EED1234});
    image.Plant(ImageSection::Data, run, 4);
    image.Plant(ImageSection::Data, run, 4);
    SetDataSignatureForTesting(10, run);
    EXPECT_TRUE(DataSignatureBase(10) == 0u && DataSignatureBase(46) == 0u);  // ambiguous; no signature
    const int passes = Locators.SignaturePasses;
    EXPECT_TRUE(DataSignatureBase(46) == 0u && DataSignatureBase(10) == 0u);
    EXPECT_EQ(Locators.SignaturePasses, passes);
    EXPECT_TRUE(DataSignatureBase(0) == 0u && DataSignatureBase(162) == 0u);
}

TEST(DataSignatures, BlockMustFitTheImageAndBeReadableInOneRegion) {
    SyntheticImage image;
    const std::vector<uint8_t> run = U32Bytes({0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00});
    image.Write(image.end() - 100, run);
    SetDataSignatureForTesting(11, run, "", 100);
    SetDataSignatureForTesting(12, run, "", 101);
    EXPECT_EQ(DataSignatureBase(11), image.end() - 100);
    ResetLocatorState();
    EXPECT_EQ(DataSignatureBase(12), 0u);
    EXPECT_TRUE(FindExactBytes(run.data(), run.size(), 100) == image.end() - 100 &&
                FindSignatureInImage(run.data(), "xx??xxxx", 4) == image.end() - 100);
    EXPECT_FALSE(FindExactBytes(run.data(), run.size(), 101) || FindSignatureInImage(run.data(), "", 4) ||
                 FindExactBytes(nullptr, 4, 4));

    ResetLocatorState();
    const std::vector<uint8_t> other = U32Bytes({0x31415926, 0x53589793, 0x23846264, 0x33832795});
    const uint64_t page = image.SectionStart(ImageSection::Data) + 2 * 4096;
    image.Write(page - 16, other);
    SetDataSignatureForTesting(13, other, "", 16);
    SetDataSignatureForTesting(14, other, "", 17);
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(page, 4096, platform::kPageReadOnly, &old));
    EXPECT_EQ(DataSignatureBase(13), page - 16);
    EXPECT_EQ(DataSignatureBase(14), 0u);  // the block runs on into the next region
}

TEST(LiveHandle, ResolvesEachKind) {
    SyntheticImage image;
    image.Reserve(ImageSection::Data, 64, 16);
    const uint64_t block = image.PlantLocatableTimecycleBlock();
    const uint64_t secondary = image.Reserve(ImageSection::Data, 4096, 16);
    image.PlantSecondaryBlockSite(secondary, 4);
    const std::vector<uint8_t> run = U32Bytes({0x01020304, 0x05060708, 0x090A0B0C, 0x0D0E0F10});
    const uint64_t at = image.Plant(ImageSection::Data, run, 4);
    SetDataSignatureForTesting(30, run, "", 4);
    const uint64_t t = kLiveHandleTimecycle, s = kLiveHandleSecondary, sub = kLiveHandleSubtract;
    const LiveHandle sig = kLiveHandleSignature | (uint64_t(30) << kLiveHandleIdShift);
    const struct {
        LiveHandle handle;
        uint64_t base, want;
    } rows[] = {
        {t | 0, 0, block}, {t | 3068, 0, block + 3068},
        {t | 3072, 0, 0}, {t | sub | 16, 0, block - 16},
        {t | kLiveHandleSignature | 40, 0, block + 40},  // bit 63 wins over bit 60
        {t | (uint64_t(1) << 56) | 4, 0, 0},             // bits 56-59 are offset bits
        {s | 20476, 0, secondary + 20476}, {s | 20480, 0, 0},
        {s | sub | 16, 0, secondary - 16}, {s | sub | 8192, 0, 0},
        {0x40, 0x1000, 0x1040}, {0x40, 0, 0},
        {kLiveHandleSignature | (uint64_t(46) << kLiveHandleIdShift) | 4, 0, 0}, {sig | 8, 0, at + 8},
        {sig | (image.end() - at), 0, 0},  // the no-access page after the image
        {sig | 0xFFFFFFFFFFFFull, 0, 0},
    };
    for (const auto& r : rows) EXPECT_EQ(ResolveLiveHandle(r.base, r.handle), r.want) << std::hex << r.handle;
    // Without an image nothing resolves.
    SyntheticImage none;
    EXPECT_EQ(ResolveLiveHandle(0, t | 4), 0u);
}

}  // namespace
