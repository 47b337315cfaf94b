// The code-patch object on plain memory: what a capture takes and when it
// takes nothing, a group applied whole or not at all (and what a failed
// group writes back), a restore that failed tried again, and when a failed
// attempt may run again.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/memory.h"
#include "platform/simulated.h"
#include "runtime/code_patch.h"
#include "runtime/editor_entries.h"

namespace {

using namespace runtime;

// The code writer: records every write and fails the one at failAt.
struct Writer {
    static inline std::vector<uint64_t> writes;
    static inline uint64_t failAt = 0;
    static bool Write(uint64_t address, const uint8_t* bytes, size_t length) {
        writes.push_back(address);
        if (address == failAt) return false;
        std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), bytes, length);
        return true;
    }
};

class CodePatchTest : public testing::Test {
protected:
    void SetUp() override {
        saved = Entries().patchCode;
        Entries().patchCode = &Writer::Write;
        Writer::writes.clear();
        Writer::failAt = 0;
    }
    void TearDown() override { Entries().patchCode = saved; }
    uint64_t At(size_t offset) { return reinterpret_cast<uintptr_t>(code + offset); }
    bool (*saved)(uint64_t, const uint8_t*, size_t) = nullptr;
    // movss xmm0, [rip+0x10]; movss [rax], xmm0; ret; and more
    uint8_t code[32] = {0xF3, 0x0F, 0x10, 0x05, 0x10, 0x00, 0x00, 0x00, 0xF3, 0x0F, 0x11, 0x00, 0xC3};
};

TEST_F(CodePatchTest, ACaptureTakesTheSiteOnlyBehindTheInstructionItExpects) {
    static const uint8_t kMovss[] = {0xF3, 0x0F, 0x10, 0x05};
    static const uint8_t kMovsd[] = {0xF2, 0x0F, 0x10, 0x05};
    static const uint8_t kAnyLoad[] = {0xF3, 0x0F, 0x10, 0x00};
    const struct {
        const char* what;
        MaskedBytes expect;
        uint8_t offset, length;
        Capture outcome;
    } cases[] = {
        {"the instruction expected", {kMovss, nullptr, 4}, 8, 4, Capture::Captured},
        {"a wildcard in the instruction", {kAnyLoad, "xxx?", 4}, 8, 4, Capture::Captured},
        {"another instruction there", {kMovsd, nullptr, 4}, 8, 4, Capture::Mismatch},
        {"nothing to capture", {kMovss, nullptr, 4}, 8, 0, Capture::Mismatch},
        {"longer than a patch holds", {kMovss, nullptr, 4}, 0, kMaxCodePatchLength + 1, Capture::Mismatch},
    };
    for (const auto& c : cases) {
        CodePatch patch;
        EXPECT_EQ(CaptureCodePatch(patch, At(0), c.expect, c.offset, c.length), c.outcome) << c.what;
        EXPECT_EQ(patch.captured, c.outcome == Capture::Captured) << c.what;
        if (c.outcome != Capture::Captured) continue;
        EXPECT_EQ(patch.site, At(c.offset)) << c.what;
        EXPECT_EQ(std::memcmp(patch.saved, code + c.offset, c.length), 0) << c.what;
    }
    // An unreadable page: nothing captured for now.
    const uintptr_t page = platform::AllocateAnywhere(4096, platform::kPageNoAccess);
    ASSERT_NE(page, 0u);
    CodePatch patch;
    EXPECT_EQ(CaptureCodePatch(patch, page, {kMovss, nullptr, 4}, 0, 4), Capture::Unreadable);
    EXPECT_EQ(patch.captured, 0);
    platform::FreeMemory(page);
    // Captured once: the game's bytes stay the ones first seen.
    CodePatch once;
    ASSERT_EQ(CaptureCodePatch(once, At(0), {kMovss, nullptr, 4}, 4, 4), Capture::Captured);
    ASSERT_TRUE(ApplyCodePatch(once));
    EXPECT_EQ(CaptureCodePatch(once, At(0), {}, 4, 4), Capture::Captured);
    EXPECT_EQ(once.saved[0], 0x10);
    RestoreCodePatch(once);
    EXPECT_EQ(code[4], 0x10);
}

// A group whose third write fails: the first two are written back, the one
// applied before the call (another group's) stays; nothing at all for a
// patch never captured.
TEST_F(CodePatchTest, AGroupGoesInWholeOrWritesBackWhatItWrote) {
    CodePatch patches[4];
    for (size_t i = 0; i < 4; ++i) AdoptCodePatch(patches[i], At(4 * i), code + 4 * i, 4);
    uint8_t before[sizeof code];
    std::memcpy(before, code, sizeof code);
    ASSERT_TRUE(ApplyCodePatch(patches[1]));  // someone else's
    Writer::failAt = At(12);
    CodePatch* group[] = {&patches[0], &patches[1], &patches[2], &patches[3]};
    EXPECT_FALSE(ApplyCodePatches(group));
    EXPECT_EQ(patches[0].applied + patches[2].applied + patches[3].applied, 0);
    EXPECT_EQ(patches[1].applied, 1) << "applied before the call: not this group's to take back";
    EXPECT_EQ(std::memcmp(code, before, 4), 0);
    EXPECT_EQ(std::memcmp(code + 8, before + 8, 8), 0);
    Writer::failAt = 0;
    EXPECT_TRUE(ApplyCodePatches(group));
    for (const CodePatch& p : patches) EXPECT_EQ(p.applied, 1);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(code[i], 0x90) << i;
    // A restore whose write fails stays applied and is written again next time.
    Writer::failAt = At(0);
    RestoreCodePatches(group);
    EXPECT_EQ(patches[0].applied, 1);
    Writer::failAt = 0;
    RestoreCodePatches(group);
    EXPECT_EQ(std::memcmp(code, before, sizeof code), 0);
    Writer::writes.clear();
    RestoreCodePatches(group);
    EXPECT_TRUE(Writer::writes.empty()) << "nothing applied, nothing written";
    CodePatch never;
    CodePatch* withUncaptured[] = {&patches[0], &never};
    EXPECT_FALSE(ApplyCodePatches(withUncaptured));
    EXPECT_EQ(patches[0].applied, 0);
    EXPECT_EQ(std::memcmp(code, before, sizeof code), 0);
}

// A mismatch is for good; unreadable bytes are tried again once the
// interval has passed, not before.
TEST(CodePatchAttempts, AFailureForGoodNeverRunsAgainOneForNowAfterTheInterval) {
    platform::sim::UseManualClock(true);
    Attempts good, now, fine;
    EXPECT_FALSE(Settle(good, Capture::Mismatch));
    EXPECT_FALSE(Settle(now, Capture::Unreadable));
    EXPECT_TRUE(Settle(fine, Capture::Captured));
    EXPECT_FALSE(AttemptDue(good));
    EXPECT_FALSE(AttemptDue(now));
    EXPECT_TRUE(AttemptDue(fine));
    platform::sim::AdvanceClock(kPatchRetryIntervalMs - 1);
    EXPECT_FALSE(AttemptDue(now));
    platform::sim::AdvanceClock(1);
    EXPECT_TRUE(AttemptDue(now));
    EXPECT_FALSE(AttemptDue(good));
    platform::sim::UseManualClock(false);
}

}  // namespace
