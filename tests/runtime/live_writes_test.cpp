// The code caves, run for real: a manual live write's store and the
// editor's value behind its flag, a generated live write's lanes (rows a
// test plants through the seam), the puddle override cave's three flags,
// the write-list cave's list; each cave's code page execute-read and its
// flags and values in its own block.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "platform/memory.h"
#include "platform/simulated.h"
#include "runtime/editor_entries.h"
#include "runtime/guarded_memory.h"
#include "runtime/live_writes.h"
#include "runtime/near_alloc.h"
#include "runtime/scans.h"
#include "support/synthetic_game.h"

namespace {

using namespace runtime;
using testsupport::ImageSection;
using testsupport::SyntheticImage;

float At(uint64_t address) {
    float f;
    std::memcpy(&f, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), 4);
    return f;
}

uint32_t Protection(uint64_t address) {
    platform::MemoryRegion region;
    return QueryRegion(address, region) ? region.protect : 0;
}

void SetDisp(std::vector<uint8_t>& code, uint64_t base, size_t disp, size_t end, uint64_t target) {
    const int32_t d = static_cast<int32_t>(static_cast<int64_t>(target - (base + end)));
    std::memcpy(code.data() + disp, &d, 4);
}

// The first manual live write's store inside the function whose epilogue
// its pattern is: push rsi; sub rsp, 0x30; movss xmm0, [rdi]; the store;
// movaps xmm6, [rsp+0x20]; add rsp, 0x30; pop rsi; ret.
uint64_t PlantManualStore(SyntheticImage& image, uint64_t global) {
    std::vector<uint8_t> code = {0x56, 0x48, 0x83, 0xEC, 0x30, 0xF3, 0x0F, 0x10, 0x07};
    const std::vector<uint8_t> pattern = testsupport::PatternBytesOf(CodePatternId::ManualLiveWrite0);
    code.insert(code.end(), pattern.begin(), pattern.end());
    const uint64_t base = image.Reserve(ImageSection::Text, code.size(), 16);
    SetDisp(code, base, 9 + 4, 9 + 8, global);
    image.Write(base, code);
    return base;
}

void Call(uint64_t function, const void* argument) {
    reinterpret_cast<void (*)(const void*)>(static_cast<uintptr_t>(function))(argument);
}

TEST(ManualLiveWrites, TheCaveStoresTheGamesValueAndTheEditorsBehindItsFlag) {
    SyntheticImage image;
    const uint64_t global = image.Reserve(ImageSection::Data, 16, 16);
    const uint64_t function = PlantManualStore(image, global);
    const float game = 1.5f;
    Call(function, &game);
    ASSERT_EQ(At(global), 1.5f);
    EXPECT_FALSE(InstallManualLiveWrites()) << "three of the four signatures are missing";
    EXPECT_EQ(LiveWritesStatus(), "Live writes: 1/4 installed.");
    const ManualLiveWrite& entry = LiveWrites.manual[0];
    ASSERT_EQ(entry.jump.applied, 1);
    const float other = 2.5f;
    Call(function, &other);
    EXPECT_EQ(At(global), 2.5f) << "flag clear: the game's store alone";
    PublishManualLiveWrite(0, 9.0f, true);
    Call(function, &other);
    EXPECT_EQ(At(global), 9.0f) << "flag set: the editor's value over it";
    // The cave: its code execute-read, its flag and value in the block beside it.
    EXPECT_EQ(Protection(entry.cave.code), platform::kPageExecuteRead);
    EXPECT_EQ(Protection(entry.cave.data), platform::kPageReadWrite);
    EXPECT_EQ(entry.cave.data, entry.cave.code + entry.cave.codeSize);
    EXPECT_TRUE(IsWithinNearReach(entry.jump.site, entry.cave.code));
    InstallManualLiveWrites();
    EXPECT_EQ(LiveWritesStatus(), "Live writes: 1/4 installed.") << "nothing installed twice";
    RestoreLiveWriteJumps();
    Call(function, &other);
    EXPECT_EQ(At(global), 2.5f);
}

// A game thread that entered the cave before the unload took the jump back
// finishes its pass there: the cave's code, flag and value outlive the
// unload. The thread is played by a copy of the function's first bytes
// ending in the jump the unload took away; the cave returns into the
// function's own epilogue.
TEST(ManualLiveWrites, AThreadInsideTheCaveAtTheUnloadFinishesItsPass) {
    SyntheticImage image;
    const uint64_t global = image.Reserve(ImageSection::Data, 16, 16);
    const uint64_t function = PlantManualStore(image, global);
    InstallManualLiveWrites();
    const ManualLiveWrite& entry = LiveWrites.manual[0];
    ASSERT_EQ(entry.jump.applied, 1);
    ASSERT_EQ(entry.jump.site, function + 9);
    PublishManualLiveWrite(0, 9.0f, true);
    // push rsi; sub rsp, 0x30; movss xmm0, [rdi]; jmp cave
    std::vector<uint8_t> inside = {0x56, 0x48, 0x83, 0xEC, 0x30, 0xF3, 0x0F, 0x10, 0x07, 0xE9, 0, 0, 0, 0};
    const uint64_t at = image.Reserve(ImageSection::Text, inside.size(), 16);
    SetDisp(inside, at, 10, 14, entry.cave.code);
    image.Write(at, inside);
    RestoreLiveWriteJumps();
    ASSERT_EQ(entry.jump.applied, 0);
    const float game = 2.5f;
    Call(function, &game);
    EXPECT_EQ(At(global), 2.5f) << "after the unload the game's own store";
    EXPECT_EQ(Protection(entry.cave.code), platform::kPageExecuteRead);
    EXPECT_EQ(Protection(entry.cave.data), platform::kPageReadWrite);
    Call(at, &game);
    EXPECT_EQ(At(global), 9.0f) << "the pass begun before the unload ends with the cave's value";
    ResetLiveWritesForTesting();
}

// Generated live writes from rows a test plants: a movss store and its
// cave with one lane whose key the editor knows, a row matched twice, and
// two rows of one store (the second covered).
TEST(GeneratedLiveWrites, LanesOverrideBehindTheirFlagsAndTheSummaryCountsWhatIsThere) {
    SyntheticImage image;
    const uint64_t global = image.Reserve(ImageSection::Data, 16, 16);
    // movss xmm0, [rdi]; movss [rip→global], xmm0; ret; then bytes that make it unique.
    std::vector<uint8_t> code = {0xF3, 0x0F, 0x10, 0x07, 0xF3, 0x0F, 0x11, 0x05, 0, 0, 0, 0, 0xC3,
                                 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    const uint64_t function = image.Reserve(ImageSection::Text, code.size(), 16);
    SetDisp(code, function, 8, 12, global);
    image.Write(function, code);
    image.PlantRipRelative({0xF3, 0x0F, 0x11, 0x05, 0, 0, 0, 0}, 4, global + 8);  // another store of the kind
    static const uint8_t kPattern[] = {0xF3, 0x0F, 0x11, 0x05, 0, 0, 0, 0, 0xC3, 0x11, 0x22, 0x33, 0x44};
    static const uint8_t kTwice[] = {0xF3, 0x0F, 0x11, 0x05, 0, 0, 0, 0};
    static const CodeSiteRow kRows[] = {
        {1, 8, 1, kPattern, "xxxx????xxxxx", 13, 2, {{"lane.known", -1, 0}, {"lane.unknown", -1, 4}}},
        {2, 8, 1, kTwice, "xxxx????", 8, 1, {{"lane.known", -1, 0}}},
        {3, 8, 1, kPattern, "xxxx????xxxx", 12, 1, {{"lane.known", -1, 0}}},
    };
    SetCodeSiteRowsForTesting(kRows);
    LiveWrites.findParamValue = [](const char* key, float& value) {
        if (std::strcmp(key, "lane.known") != 0) return false;
        value = 3.0f;
        return true;
    };
    EXPECT_TRUE(InstallManualLiveWrites() == false);
    EXPECT_FALSE(InstallAutoLiveWrites()) << "the row matched twice";
    EXPECT_EQ(LiveWritesStatus(), "Live writes: manual=0, autoFull=1/3 installed, covered=1.");
    EXPECT_EQ(LiveWrites.matches[1].count, 2);
    const float game = 1.25f;
    Call(function, &game);
    EXPECT_EQ(At(global), 1.25f);
    PublishAutoLiveWriteLane(0, 0, 8.0f, true);
    Call(function, &game);
    EXPECT_EQ(At(global), 8.0f);
    EXPECT_EQ(At(global + 4), 0.0f) << "a lane without a known key is left to the game";
    const AutoLiveWrite& entry = LiveWrites.autos[0];
    EXPECT_EQ(Protection(entry.cave.code), platform::kPageExecuteRead);
    // Cave: pushes, the store, one lane block of 43 bytes, pops, the jump back.
    std::vector<uint8_t> cave(3 + 8 + 43 + 3 + 5);
    std::memcpy(cave.data(), reinterpret_cast<const void*>(entry.cave.code), cave.size());
    EXPECT_EQ(cave[3 + 8 + 43], 0x5A);
    EXPECT_EQ(cave[3 + 8 + 43 + 3], 0xE9);
    RestoreLiveWriteJumps();
    Call(function, &game);
    EXPECT_EQ(At(global), 1.25f);
    ResetLiveWritesForTesting();
}

// A store with an FS prefix before its F3 is matched at the prefix and
// copied into its cave whole (nine bytes).
TEST(GeneratedLiveWrites, AStoreWithASegmentPrefixIsMatchedAndCopiedWithIt) {
    SyntheticImage image;
    const uint64_t global = image.Reserve(ImageSection::Data, 16, 16);
    std::vector<uint8_t> code = {0x64, 0xF3, 0x0F, 0x11, 0x05, 0, 0, 0, 0, 0xAB, 0xCD, 0xEF, 0x12};
    const uint64_t at = image.Reserve(ImageSection::Text, code.size(), 16);
    SetDisp(code, at, 5, 9, global);
    image.Write(at, code);
    static const uint8_t kPattern[] = {0x64, 0xF3, 0x0F, 0x11, 0, 0, 0, 0, 0, 0xAB, 0xCD, 0xEF, 0x12};
    static const CodeSiteRow kRows[] = {{365, 9, 1, kPattern, "xxxx?????xxxx", 13, 1, {{nullptr, -1, 0}}}};
    SetCodeSiteRowsForTesting(kRows);
    EXPECT_TRUE(InstallAutoLiveWrites());
    const AutoLiveWrite& entry = LiveWrites.autos[0];
    EXPECT_EQ(entry.jump.site, at);
    EXPECT_EQ(entry.jump.length, 9);
    uint8_t copy[9];
    std::memcpy(copy, reinterpret_cast<const void*>(entry.cave.code + 3), 9);
    EXPECT_TRUE(copy[0] == 0x64 && copy[1] == 0xF3 && copy[4] == 0x05);
    int32_t disp;
    std::memcpy(&disp, copy + 5, 4);
    EXPECT_EQ(entry.cave.code + 3 + 9 + static_cast<uint64_t>(static_cast<int64_t>(disp)), global);
    RestoreLiveWriteJumps();
    ResetLiveWritesForTesting();
}

// The puddle store in a function: the object in rsi, the game's 16 bytes
// from the stack; the cave then overwrites the floats of each flag set.
TEST(PuddleCave, EachFlagOverridesItsFloatsAfterTheGamesStore) {
    SyntheticImage image;
    // movups xmm1, [rsi]; push rsi; mov rsi, rdi; sub rsp, 0x70; movaps [rsp+0x40], xmm1
    std::vector<uint8_t> code = {0x0F, 0x10, 0x0E, 0x56, 0x48, 0x89, 0xFE, 0x48, 0x83, 0xEC, 0x70,
                                 0x0F, 0x29, 0x4C, 0x24, 0x40};
    const size_t sequence = code.size();
    const uint64_t base = image.Reserve(ImageSection::Text, 128, 16);
    const uint64_t site = image.PlantPuddleStoreSequence();  // planted elsewhere: copied below
    std::vector<uint8_t> puddle(53);
    std::memcpy(puddle.data(), reinterpret_cast<const void*>(site - 22), 53);
    image.Clear(site - 22, 53);
    code.insert(code.end(), puddle.begin(), puddle.end());
    code.insert(code.end(), {0x48, 0x83, 0xC4, 0x70, 0x5E, 0xC3});  // add rsp, 0x70; pop rsi; ret
    const size_t stub = code.size();
    code.push_back(0xC3);  // what the sequence calls
    SetDisp(code, base, sequence + 13, sequence + 17, base + stub);
    SetDisp(code, base, sequence + 3, sequence + 7, base);
    image.Write(base, code);
    ASSERT_TRUE(InstallPuddleLiveWriteHook());
    EXPECT_EQ(LiveWrites.puddle.jump.site, base + sequence + 22);
    alignas(16) uint8_t object[0x300] = {};
    const float game[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    auto run = [&] {
        reinterpret_cast<void (*)(void*, const float*)>(static_cast<uintptr_t>(base))(object, game);
        float out[4];
        std::memcpy(out, object + 640, 16);
        return std::vector<float>(out, out + 4);
    };
    EXPECT_EQ(run(), (std::vector<float>{1, 2, 3, 4}));
    for (size_t v = 0; v < 4; ++v) PublishPuddleValue(v, 10.0f + static_cast<float>(v));
    PublishPuddleOverride(1, true);
    EXPECT_EQ(run(), (std::vector<float>{1, 11, 12, 4})) << "flag 2: the two range values";
    PublishPuddleOverride(1, false);
    PublishPuddleOverride(0, true);
    PublishPuddleOverride(2, true);
    EXPECT_EQ(run(), (std::vector<float>{10, 2, 3, 13})) << "flags 1 and 3: scale and depth test";
    RestoreLiveWriteJumps();
    EXPECT_EQ(run(), (std::vector<float>{1, 2, 3, 4}));
    ResetLiveWritesForTesting();
}

// The store found by the puddle search holds other bytes at first (another
// hook, say): nothing is written, and the site is looked at again, not on
// every call but once the interval has passed; then it matches.
TEST(PuddleCave, ASiteThatDidNotMatchIsLookedAtAgain) {
    platform::sim::UseManualClock(true);
    SyntheticImage image;
    const uint64_t site = image.PlantPuddleStoreSequence();
    ASSERT_EQ(FindPuddleStoreSite(), site);
    std::vector<uint8_t> store(7);
    std::memcpy(store.data(), reinterpret_cast<const void*>(site), 7);
    const std::vector<uint8_t> other = {0xE9, 0x11, 0x22, 0x33, 0x44, 0x90, 0x90};
    image.Write(site, other);
    const std::vector<uint8_t> before = image.Bytes();
    EXPECT_FALSE(InstallPuddleLiveWriteHook());
    EXPECT_EQ(image.Bytes(), before) << "nothing written";
    image.Write(site, store);
    platform::sim::AdvanceClock(kPatchRetryIntervalMs - 1);
    EXPECT_FALSE(InstallPuddleLiveWriteHook()) << "not looked at on every call";
    platform::sim::AdvanceClock(1);
    ASSERT_TRUE(InstallPuddleLiveWriteHook());
    EXPECT_EQ(LiveWrites.puddle.jump.site, site);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(site))[0], 0xE9);
    RestoreLiveWriteJumps();
    EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(site), store.data(), 7), 0);
    ResetLiveWritesForTesting();
    platform::sim::UseManualClock(false);
}

// The write-list cave in the function whose epilogue its site is: with a
// count of 0 it only redoes the game's instruction; entries with a target
// are stored, one without is skipped.
TEST(WriteListCave, StoresTheListsEntriesOnEveryPass) {
    SyntheticImage image;
    const uint64_t block = image.PlantLocatableTimecycleBlock();
    std::vector<uint8_t> ped = testsupport::PatternBytesOf(CodePatternId::PedLight);
    const uint64_t pedAt = image.Reserve(ImageSection::Text, ped.size(), 1);
    SetDisp(ped, pedAt, 12, 16, block + 152);
    image.Write(pedAt, ped);
    // sub rsp, 0x378; mov r9, rdi; the site's pattern; add rsp, 0x378; ret
    std::vector<uint8_t> code = {0x48, 0x81, 0xEC, 0x78, 0x03, 0x00, 0x00, 0x49, 0x89, 0xF9};
    const std::vector<uint8_t> pattern = testsupport::PatternBytesOf(CodePatternId::WriteListSite);
    code.insert(code.end(), pattern.begin(), pattern.end());
    code.insert(code.end(), {0x48, 0x81, 0xC4, 0x78, 0x03, 0x00, 0x00, 0xC3});
    const uint64_t function = image.Reserve(ImageSection::Text, code.size(), 16);
    image.Write(function, code);
    ASSERT_TRUE(InstallWriteListCave());
    EXPECT_TRUE(WriteListCaveInstalled());
    EXPECT_EQ(LiveWrites.writeList.blockOffset, block - image.base());
    alignas(16) uint8_t scratch[16];
    uint32_t targets[2] = {1, 2};
    auto run = [&] { reinterpret_cast<void (*)(void*)>(static_cast<uintptr_t>(function))(scratch); };
    run();
    EXPECT_TRUE(targets[0] == 1 && targets[1] == 2) << "count 0: nothing stored";
    const uint64_t table = LiveWrites.writeList.cave.data;
    auto entry = [&](size_t i, uint64_t target, uint32_t value) {
        std::memcpy(reinterpret_cast<void*>(table + i * kWriteListEntrySize + 8), &target, 8);
        std::memcpy(reinterpret_cast<void*>(table + i * kWriteListEntrySize + 16), &value, 4);
    };
    entry(0, reinterpret_cast<uintptr_t>(&targets[0]), 10);
    entry(1, 0, 20);
    entry(2, reinterpret_cast<uintptr_t>(&targets[1]), 30);
    __atomic_store_n(reinterpret_cast<uint32_t*>(table + kWriteListEntryCount * kWriteListEntrySize), 3u,
                     __ATOMIC_RELEASE);
    run();
    EXPECT_TRUE(targets[0] == 10 && targets[1] == 30);
    EXPECT_EQ(WriteListCount(), 3u);
    ClearWriteListCount();
    EXPECT_EQ(WriteListCount(), 0u);
    RestoreWriteListCave();
    EXPECT_FALSE(WriteListCaveInstalled());
    targets[0] = 1;
    run();
    EXPECT_EQ(targets[0], 1u);
}

}  // namespace

namespace {

using namespace runtime;

// A cave whose jump cannot be written keeps its block: the next attempt,
// not before the interval, reuses it instead of allocating again.
TEST(ManualLiveWrites, AFailedInstallKeepsItsCaveAndWaitsForTheInterval) {
    platform::sim::UseManualClock(true);
    testsupport::SyntheticImage image;
    const uint64_t global = image.Reserve(testsupport::ImageSection::Data, 16, 16);
    PlantManualStore(image, global);
    static int writes = 0;
    static uint64_t site = 0;
    writes = 0;
    site = 0;
    Entries().patchCode = [](uint64_t address, const uint8_t* bytes, size_t length) {
        if (address == site) return ++writes, false;
        return PatchCodeBytes(address, bytes, length);
    };
    site = FindLiveWritesStorePattern(0);
    EXPECT_FALSE(InstallManualLiveWrites());
    const uint64_t cave = LiveWrites.manual[0].cave.code;
    EXPECT_NE(cave, 0u);
    for (int frame = 0; frame < 50; ++frame) InstallManualLiveWrites();
    EXPECT_EQ(writes, 1) << "not tried on every frame";
    platform::sim::AdvanceClock(kPatchRetryIntervalMs);
    Entries().patchCode = nullptr;
    EXPECT_EQ(InstallManualLiveWrites(), false);
    EXPECT_EQ(LiveWrites.manual[0].jump.applied, 1);
    EXPECT_EQ(LiveWrites.manual[0].cave.code, cave) << "the same cave";
    RestoreLiveWriteJumps();
    platform::sim::UseManualClock(false);
}

}  // namespace
