// Redirects of timecycle reads, run for real: every record of
// redirect_records.tsv is a planted instruction in a synthetic game image,
// called before its installer ran (it reads the game's field), after its
// applier (the editor's cell) and after the restore (the game's field
// again, and the code as the game had it).
#include <gtest/gtest.h>

#include <bit>
#include <set>
#include <string>

#include "platform/memory.h"
#include "platform/simulated.h"
#include "runtime/code_index.h"
#include "runtime/editor_entries.h"
#include "runtime/guarded_memory.h"
#include "runtime/locator_state.h"
#include "runtime/override_groups.h"
#include "runtime/redirects.h"
#include "support/synthetic_game.h"

namespace {

using namespace runtime;
using testsupport::SyntheticGame;
using testsupport::SyntheticImage;

// The value an enabled slot k of installer id gets.
float Edited(size_t id, size_t k) { return 1000.0f + 10.0f * static_cast<float>(id) + static_cast<float>(k); }
// The game's own value of the field at offset (the synthetic block holds i + 0.25 at 4 i).
float GameValue(uint64_t offset) { return static_cast<float>(offset / 4) + 0.25f; }

size_t RecordIndex(const RedirectRecordRow& row) { return static_cast<size_t>(&row - AllRedirectRecords().data()); }

class RedirectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSlotTablesForTesting();
        ASSERT_TRUE(image.ok());
        game = testsupport::PlantSyntheticGame(image);
        // Each installer's slots at the fields its cell mirrors.
        for (size_t i = 0; i < kRedirectCount; ++i) {
            const RedirectId id = static_cast<RedirectId>(i);
            const std::span<const SlotId> slots = Redirect(id).slots;
            for (size_t k = 0; k < slots.size(); ++k)
                Slot(slots[k]).address = game.timecycleBlock + RedirectRecords(id)[0].field + 4 * k;
        }
        pristine = Code();
    }
    // The image's code section (the readers' scratch data changes when they run).
    std::vector<uint8_t> Code() const {
        const std::vector<uint8_t> all = image.Bytes();
        const size_t from = image.SectionStart(testsupport::ImageSection::Text) - image.base();
        return {all.begin() + static_cast<long>(from),
                all.begin() + static_cast<long>(from + image.SectionSize(testsupport::ImageSection::Text))};
    }
    void TearDown() override {
        Entries().patchCode = nullptr;
        ResetSlotTablesForTesting();
    }
    // What the record's instruction reads now, lane by lane (the lanes it reads).
    std::vector<float> Read(const RedirectRecordRow& row, float compare = 0.0f) {
        uint32_t out[4] = {std::bit_cast<uint32_t>(1.0f), 0, 0, 0};
        const bool ucomiss = row.shape != nullptr && row.shape[row.shapeLength - 2] == 0x2E;
        if (ucomiss) out[0] = std::bit_cast<uint32_t>(compare);
        testsupport::CallReader(game.readers[RecordIndex(row)], out);
        if (ucomiss) return {out[0] == 1 ? compare : -1.0f};
        std::vector<float> lanes;
        for (size_t l = 0; l < testsupport::LanesRead(row); ++l) lanes.push_back(std::bit_cast<float>(out[l]));
        return lanes;
    }
    // What each lane of the record should read: the field's own values, or
    // the cell's (the installer's slots from the record's place on).
    std::vector<float> Expected(RedirectId id, const RedirectRecordRow& row, bool redirected) {
        std::vector<float> lanes;
        for (size_t l = 0; l < testsupport::LanesRead(row); ++l) {
            const size_t k = row.at / 4 + l;
            lanes.push_back(redirected ? Edited(static_cast<size_t>(id), k) : GameValue(row.field + 4 * l));
        }
        return lanes;
    }
    SyntheticImage image;
    SyntheticGame game;
    std::vector<uint8_t> pristine;
};

TEST_F(RedirectTest, EveryRecordReadsTheGameThenTheEditorsCellThenTheGameAgain) {
    for (size_t i = 0; i < kRedirectCount; ++i) {
        const RedirectId id = static_cast<RedirectId>(i);
        const RedirectRow& row = Redirect(id);
        SCOPED_TRACE(row.installer);
        for (size_t k = 0; k < row.slots.size(); ++k) {
            Slot(row.slots[k]).value = Edited(i, k);
            Slot(row.slots[k]).enabled = 1;
        }
        for (const RedirectRecordRow& record : RedirectRecords(id)) {
            const std::vector<float> own = Expected(id, record, false);
            EXPECT_EQ(Read(record, own[0]), own);
        }
        for (int round = 0; round < 2; ++round) {  // after a restore the next apply patches again
            ASSERT_TRUE(ApplyRedirect(id));
            EXPECT_TRUE(RedirectPatched(id));
            for (const RedirectRecordRow& record : RedirectRecords(id)) {
                const std::vector<float> edited = Expected(id, record, true);
                EXPECT_EQ(Read(record, edited[0]), edited) << "round " << round;
            }
            RestoreRedirect(id);
            for (const RedirectRecordRow& record : RedirectRecords(id)) {
                const std::vector<float> own = Expected(id, record, false);
                EXPECT_EQ(Read(record, own[0]), own) << "round " << round;
            }
        }
        for (SlotId slot : row.slots) Slot(slot).enabled = 0;
    }
    EXPECT_EQ(Code(), pristine);
}

// Disabling one slot of a shared cell keeps the redirect: that half of the
// cell follows the game's own value, read at the slot's address.
TEST_F(RedirectTest, ADisabledSlotOfASharedCellFollowsTheGame) {
    const RedirectRecordRow& record = RedirectRecords(RedirectId::SkySunColorGB)[0];
    Slot(SlotId::SkySunColorG).value = 7.0f;
    Slot(SlotId::SkySunColorG).enabled = 1;
    Slot(SlotId::SkySunColorB).value = 8.0f;
    ASSERT_TRUE(ApplyRedirect(RedirectId::SkySunColorGB));
    EXPECT_EQ(Read(record), (std::vector<float>{7.0f, GameValue(record.field + 4)}));
    image.WriteFloat(game.timecycleBlock + record.field + 4, 55.5f);
    ApplyRedirect(RedirectId::SkySunColorGB);
    EXPECT_EQ(Read(record), (std::vector<float>{7.0f, 55.5f}));
}

// A game value that faults on reading gives the game the slot's last known
// value, never 0.
TEST_F(RedirectTest, AFaultingGameReadFeedsTheLastKnownValue) {
    const size_t page = platform::GetSystemMemoryInfo().pageSize;
    const uint64_t own = platform::AllocateAnywhere(page, platform::kPageReadWrite);
    ASSERT_NE(own, 0u);
    LiveOverrideSlot& slot = Slot(SlotId::FarClip);
    slot.address = own + 8;
    *reinterpret_cast<float*>(own + 8) = 3.5f;
    const RedirectRecordRow& record = RedirectRecords(RedirectId::FarClip)[0];
    ASSERT_TRUE(ApplyRedirect(RedirectId::FarClip));  // disabled: the game's value goes on through the cell
    EXPECT_EQ(Read(record), std::vector<float>{3.5f});
    slot.loaded = 1;
    slot.liveValue = 3.5f;
    slot.value = 9.0f;
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(own, page, platform::kPageNoAccess, &old));  // cached readable: faults
    ApplyRedirect(RedirectId::FarClip);
    EXPECT_EQ(Read(record), std::vector<float>{3.5f});
    RestoreRedirect(RedirectId::FarClip);
    platform::FreeMemory(own);
}

// The three readers of the temperature go to the cell together or not at
// all: when the third cannot be written, the two before it are taken back.
TEST_F(RedirectTest, MultiRecordRedirectsArePatchedWhollyOrNotAtAll) {
    static uint64_t failing = 0;
    for (RedirectId id : {RedirectId::Temperature, RedirectId::ArtificialExteriorDownIntensityUpColor,
                          RedirectId::AmbientBounceDownWrap}) {
        SCOPED_TRACE(Redirect(id).installer);
        ASSERT_TRUE(PrepareRedirect(id));
        failing = RecordsOf(id)[2].patch.site;
        Entries().patchCode = [](uint64_t address, const uint8_t* bytes, size_t length) {
            return address != failing && PatchCodeBytes(address, bytes, length);
        };
        Slot(Redirect(id).slots[0]).enabled = 1;
        EXPECT_FALSE(ApplyRedirect(id));
        for (const RedirectRecord& r : RecordsOf(id)) EXPECT_EQ(r.patch.applied, 0);
        EXPECT_EQ(Code(), pristine);
        Entries().patchCode = nullptr;
        EXPECT_TRUE(ApplyRedirect(id));
        RestoreRedirect(id);
    }
}

// The first reader of a field in address order is the one redirected.
TEST_F(RedirectTest, TheLowerOfTwoReadersIsRedirected) {
    const RedirectRecordRow& record = RedirectRecords(RedirectId::LodMult)[0];
    testsupport::SyntheticImage other;
    testsupport::SyntheticGame second = testsupport::PlantSyntheticGame(other);
    uint64_t later = 0;
    testsupport::PlantReader(other, record, second.timecycleBlock + record.field, &later);
    ASSERT_TRUE(PrepareRedirect(RedirectId::LodMult));
    EXPECT_EQ(RecordsOf(RedirectId::LodMult)[0].instruction, second.instructions[RecordIndex(record)]);
    EXPECT_LT(RecordsOf(RedirectId::LodMult)[0].instruction, later);
}

// An installer whose instruction the image lacks fails for the run: frame
// after frame nothing reads the image again.
TEST(RedirectSearch, AMissingInstructionIsNotSearchedForAgain) {
    ResetSlotTablesForTesting();
    SyntheticImage image;
    image.PlantLocatableTimecycleBlock();
    for (size_t i = 0; i < kRedirectCount; ++i)
        for (SlotId slot : Redirect(static_cast<RedirectId>(i)).slots) Slot(slot).enabled = 1;
    for (size_t i = 0; i < kRedirectCount; ++i) EXPECT_FALSE(ApplyRedirect(static_cast<RedirectId>(i)));
    const uint64_t queries = GuardedMemory.RegionQueries.Get();
    for (int frame = 0; frame < 100; ++frame)
        for (size_t i = 0; i < kRedirectCount; ++i) EXPECT_FALSE(ApplyRedirect(static_cast<RedirectId>(i)));
    EXPECT_EQ(GuardedMemory.RegionQueries.Get(), queries);
    EXPECT_EQ(Locators.ImagePasses.Get(), 1);
    ResetSlotTablesForTesting();
}

// An instruction that could not be read is tried again, once the interval
// has passed, and not before.
TEST_F(RedirectTest, AnUnreadableInstructionIsTriedAgainAtABoundedRate) {
    platform::sim::UseManualClock(true);
    const uint64_t at = game.instructions[RecordIndex(RedirectRecords(RedirectId::FarClip)[0])];
    const uint64_t page = at & ~uint64_t(4095);
    ASSERT_TRUE(EnsureCodeIndex());
    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(page, 4096, platform::kPageNoAccess, &old));
    EXPECT_FALSE(PrepareRedirect(RedirectId::FarClip));
    platform::ChangeProtection(page, 4096, platform::kPageExecuteRead, &old);
    EXPECT_FALSE(PrepareRedirect(RedirectId::FarClip)) << "not before the interval";
    platform::sim::AdvanceClock(kPatchRetryIntervalMs);
    EXPECT_TRUE(PrepareRedirect(RedirectId::FarClip));
    platform::sim::UseManualClock(false);
}

// A game thread runs a redirected load while the editor points it at the
// cell and back, its displacement running across two 16-byte blocks, so
// that each rewrite holds the instruction at its first byte: every run
// reads the game's field or the cell, never through a half-written
// displacement.
TEST(RedirectRewrites, ALoadRunWhileItsDisplacementCrossesBlocksReadsTheFieldOrTheCell) {
    ResetSlotTablesForTesting();
    SyntheticImage image;
    const uint64_t block = image.PlantLocatableTimecycleBlock();
    const RedirectId id = RedirectId::DirectionalAmbientColorR;
    const RedirectRecordRow& row = RedirectRecords(id)[0];
    const uint64_t load = testsupport::PlantLoadAcrossBlocks(
        image, std::vector<uint8_t>(row.shape, row.shape + row.shapeLength), block + row.field);
    LiveOverrideSlot& slot = Slot(Redirect(id).slots[0]);
    slot.value = 1234.5f;
    slot.enabled = 1;
    ASSERT_TRUE(PrepareRedirect(id));
    const CodePatch& patch = RecordsOf(id)[0].patch;
    ASSERT_EQ(patch.site, load + row.disp) << "the planted load is the one redirected";
    ASSERT_TRUE(testsupport::ChangesAcrossBlocks(patch));
    const std::vector<uint8_t> before = image.Bytes();
    int failed = 0;
    const testsupport::CallsDuringRewrites runs =
        testsupport::CallWhileRewriting(load, GameValue(row.field), slot.value, 100, [&] {
            failed += !ApplyRedirect(id);
            RestoreRedirect(id);
        });
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(runs.unexpected, 0u) << runs.calls << " runs";
    EXPECT_GE(runs.calls, 100u) << "the game thread stalled";
    EXPECT_EQ(image.Bytes(), before);
    ResetSlotTablesForTesting();
}

}  // namespace
