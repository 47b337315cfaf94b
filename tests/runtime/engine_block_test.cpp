// The engine-block members and the gates: the game's stores into the
// engine's post-effect block removed whole (and run for real: the editor's
// values stay where the game's stores would have overwritten them), the
// engine fields written, and a group that cannot be installed whole left
// as the game had it.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "runtime/block_locators.h"
#include "runtime/editor_entries.h"
#include "runtime/engine_block.h"
#include "runtime/guarded_memory.h"
#include "runtime/override_groups.h"
#include "runtime/store_probes.h"
#include "support/synthetic_game.h"

namespace {

using namespace runtime;
using testsupport::ImageSection;
using testsupport::SyntheticImage;

float EngineField(uint64_t block, uint32_t offset) {
    float f;
    std::memcpy(&f, reinterpret_cast<const void*>(static_cast<uintptr_t>(block + offset)), 4);
    return f;
}

// A pattern wrapped into a function of the engine block (rdi) and of vec
// (rsi): xmm0 to xmm2 from vec, rsi = 0, r12 = the block, every rip load
// reading vec; the pattern's stores then write the engine fields as the
// game's code does.
uint64_t PlantEngineFunction(SyntheticImage& image, CodePatternId id, uint64_t vec) {
    const CodePatternRow& row = CodePattern(id);
    std::vector<uint8_t> body = testsupport::PatternBytesOf(id);
    if (id == CodePatternId::ExposureBloom) body.push_back(0x00);
    for (size_t i = 0; i + 2 < row.length; ++i)  // any source register: xmm0 ([rsi+r12+disp32])
        if (row.mask[i] == 'x' && row.mask[i + 1] == '?' && row.bytes[i] == 0x29) body[i + 1] = 0x84;
    // movups xmm0/xmm1/xmm2, [rsi]; push r12; push rsi; mov r12, rdi; xor esi, esi
    const std::vector<uint8_t> head = {0x0F, 0x10, 0x06, 0x0F, 0x10, 0x0E, 0x0F, 0x10, 0x16,
                                       0x41, 0x54, 0x56, 0x49, 0x89, 0xFC, 0x31, 0xF6};
    const std::vector<uint8_t> tail = {0x5E, 0x41, 0x5C, 0xC3};                         // pop rsi; pop r12; ret
    const uint64_t base = image.Reserve(ImageSection::Text, head.size() + body.size() + tail.size(), 16);
    const uint64_t at = base + head.size();
    for (size_t i = 0; i + 4 <= row.length; ++i) {
        if (std::memcmp(row.mask + i, "????", 4) != 0 || (i > 0 && row.mask[i - 1] == '?')) continue;
        const bool insertps = i >= 4 && std::memcmp(row.bytes + i - 4, "\x0F\x3A\x21\x05", 4) == 0;
        const int32_t d = static_cast<int32_t>(static_cast<int64_t>(vec - (at + i + 4 + (insertps ? 1 : 0))));
        std::memcpy(body.data() + i, &d, 4);
    }
    std::vector<uint8_t> code = head;
    code.insert(code.end(), body.begin(), body.end());
    code.insert(code.end(), tail.begin(), tail.end());
    image.Write(base, code);
    return base;
}

struct EngineImage {
    SyntheticImage image;
    uint64_t engine = 0;
    uint64_t vec = 0;
    EngineImage() {
        engine = image.Reserve(ImageSection::Data, 20480 + 1360, 64);
        vec = image.Plant(ImageSection::Data, testsupport::FloatBytes({11.0f, 22.0f, 33.0f, 44.0f}), 16);
        image.PlantLocatableTimecycleBlock();
        image.PlantRipRelative({0x4C, 0x8D, 0x25, 0, 0, 0, 0}, 3, engine);
    }
    void Run(uint64_t function) const {
        reinterpret_cast<void (*)(uint64_t, uint64_t)>(static_cast<uintptr_t>(function))(engine, vec);
    }
    void Fill(float value) const {
        for (uint32_t o = 0; o < 2048; o += 4) std::memcpy(reinterpret_cast<void*>(engine + o), &value, 4);
    }
};

// Each gate removes all its group's stores: after it, a frame of the game's
// code leaves the editor's values in every field of the group; after its
// restore the game's stores write them again.
TEST(EngineGates, RemovedStoresLeaveTheEditorsValuesAndComeBackWhole) {
    const struct {
        const char* what;
        bool (*gate)();
        void (*restore)();
        CodePatternId pattern;
        std::vector<uint32_t> offsets;
    } gates[] = {
        {"vignetting", GatePostFxVignettingWrites, RestorePostFxVignettingPatches, CodePatternId::Vignetting,
         {784, 792, 800, 808}},
        {"lens artefacts", GateLensArtefactsWrites, RestoreLensArtefactsPatch, CodePatternId::LensArtefacts,
         {1008, 1016}},
        {"night-vision colour", GateNightVisionColorWrites, RestoreNightVisionColorPatches,
         CodePatternId::NightVisionColor, {480, 488, 496, 504, 512, 520}},
        {"exposure bloom", GatePostFxExposureWrites, RestoreExposureBloomPatch, CodePatternId::ExposureBloom, {164}},
    };
    for (const auto& g : gates) {
        SCOPED_TRACE(g.what);
        EngineImage e;
        const uint64_t function = PlantEngineFunction(e.image, g.pattern, e.vec);
        e.Fill(99.0f);
        e.Run(function);
        for (uint32_t o : g.offsets) EXPECT_NE(EngineField(e.engine, o), 99.0f) << "the game's store, at " << o;
        ASSERT_TRUE(g.gate());
        e.Fill(99.0f);
        e.Run(function);
        for (uint32_t o : g.offsets) EXPECT_EQ(EngineField(e.engine, o), 99.0f) << "removed, at " << o;
        g.restore();
        e.Run(function);
        for (uint32_t o : g.offsets) EXPECT_NE(EngineField(e.engine, o), 99.0f) << "back, at " << o;
    }
}

// The screen blur's second site failing takes its first back: the gate
// reports false and the game's code stands as it was.
TEST(EngineGates, AGroupThatCannotBeInstalledWholeIsTakenBack) {
    SyntheticImage image;
    testsupport::PlantSyntheticGame(image);
    ASSERT_NE(ProbeScreenBlurStore(), 0u);
    static uint64_t failing = 0;
    failing = ProbeScreenBlurStore();
    const std::vector<uint8_t> before = image.Bytes();
    Entries().patchCode = [](uint64_t address, const uint8_t* bytes, size_t length) {
        return address != failing && PatchCodeBytes(address, bytes, length);
    };
    EXPECT_FALSE(GateScreenBlurWrites());
    EXPECT_EQ(image.Bytes(), before);
    Entries().patchCode = nullptr;
    EXPECT_TRUE(GateScreenBlurWrites());
    const CodePatch& b = ProbeSitesOf(ProbeId::ScreenBlurStore)[0];
    const uint8_t xmm0Store[10] = {0xF3, 0x42, 0x0F, 0x11, 0x84, 0x26, 0xC8, 0x01, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(b.site), xmm0Store, 10), 0) << "site B stores xmm0 instead";
    RestoreScreenBlurPatches();
    EXPECT_EQ(image.Bytes(), before);
}

class EngineMembersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSlotTablesForTesting();
        game = testsupport::PlantSyntheticGame(image);
        for (size_t i = 0; i < EngineMembers().size(); ++i)
            Slot(EngineMembers()[i].slot).address = game.timecycleBlock + 4 * i;
    }
    void TearDown() override { ResetSlotTablesForTesting(); }
    void RunMembers() {
        for (size_t row = 0; row < EngineMembers().size(); ++row) EngineMemberApplier(row)();
    }
    SyntheticImage image;
    testsupport::SyntheticGame game;
};

// Correct Color G alone: the correct group's store goes through Color R's
// member, only G's field is written; every slot of the group off puts it back.
TEST_F(EngineMembersTest, AGroupIsInstalledByItsOwnerForAnyOfItsSlots) {
    LiveOverrideSlot& g = Slot(SlotId::PostFxCorrectColorG);
    g.value = 0.5f;
    g.enabled = 1;
    RunMembers();
    EXPECT_EQ(ProbeSitesOf(ProbeId::ColorCorrectSite)[0].applied, 1);
    EXPECT_EQ(ProbeSitesOf(ProbeId::ColorCorrectSite)[1].applied, 0) << "the shift group stays";
    EXPECT_EQ(EngineField(game.engineBlock, 116), 0.5f);
    EXPECT_EQ(EngineField(game.engineBlock, 116 + 1360), 0.5f);
    EXPECT_EQ(EngineField(game.engineBlock, 112), 0.0f);
    g.enabled = 0;
    RunMembers();
    EXPECT_EQ(ProbeSitesOf(ProbeId::ColorCorrectSite)[0].applied, 0);
}

// A member writes nothing without the engine block, or at an offset whose
// mirror would leave the block.
TEST_F(EngineMembersTest, NoEngineFieldNoWrite) {
    LiveOverrideSlot& slot = Slot(SlotId::PostFxExposure);
    slot.enabled = 1;
    slot.value = 2.0f;
    const float before = EngineField(game.timecycleBlock, 0);
    slot.address = game.timecycleBlock;
    ApplySlotToEngineBlock(slot, 19120);
    EXPECT_EQ(EngineField(game.timecycleBlock, 0), before);
    ApplySlotToEngineBlock(slot, 19116);
    EXPECT_EQ(EngineField(game.timecycleBlock, 0), 2.0f);
    EXPECT_EQ(EngineField(game.engineBlock, 19116 + 1360), 2.0f);
}

}  // namespace
