// "puddles.scale" re-applied from the render hooks and from the keeper
// thread: once the row has a target in the game, each writes it while the
// edits are shown and leaves the game's value alone while they are not.
#include "support/thread_waits.h"
#include "visualsettings_fixture.h"

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "visualsettings/puddles.h"

namespace vstest {
namespace {

class PuddlesGateTest : public VisualSettingsTest {
protected:
    void SetUp() override {
        VisualSettingsTest::SetUp();
        // The game build gives the row no target: the test gives it one, a
        // float of the game's data with the game's value 0.25.
        target = image_->Reserve(ImageSection::Data, 16, 16);
        image_->WriteFloat(target, 0.25f);
        VisualSettingsParam& row = Row(kPuddlesScaleKey);
        original = row.def;
        def = *row.def;
        def.targetGiven = true;
        def.target = target - image_->base();
        row.def = &def;
        row.liveAddress = target;  // as the binding finds it
        row.value = 3.5f;  // an edit: loaded and overridden
        row.loaded = 1;
        row.overridden = 1;
    }
    void TearDown() override {
        StopPuddlesKeeper(5000);
        Row(kPuddlesScaleKey).def = original;
        VisualSettingsTest::TearDown();
    }
    float Game() const {
        const uint32_t bits = __atomic_load_n(reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(target)), __ATOMIC_RELAXED);
        return std::bit_cast<float>(bits);
    }
    // Waits, at most ten seconds, until done() holds.
    static bool WaitFor(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + testsupport::Scaled(std::chrono::seconds(10));
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    uint64_t target = 0;
    ParamDef def{};
    const ParamDef* original = nullptr;
};

TEST_F(PuddlesGateTest, TheRenderHooksWriteOnlyWhileTheEditsAreShown) {
    const struct {
        int32_t mode;
        PuddlesRenderPoint point;
    } rows[] = {
        {3, PuddlesRenderPoint::Present},
        {5, PuddlesRenderPoint::BeforeExecuteCommandLists},
        {6, PuddlesRenderPoint::AfterExecuteCommandLists},
        {8, PuddlesRenderPoint::Present},
    };
    for (const auto& r : rows) {
        image_->WriteFloat(target, 0.25f);
        Puddles.mode.Set(r.mode);
        core::Editor.VisualSettingsAfterShown.Set(0);
        PuddlesRenderHook(r.point);
        EXPECT_EQ(Game(), 0.25f) << "mode " << r.mode << ": the game's values shown";
        core::Editor.VisualSettingsAfterShown.Set(1);
        PuddlesRenderHook(r.point);
        EXPECT_EQ(Game(), 3.5f) << "mode " << r.mode << ": the edits shown";
    }
}

// The keeper's passes are counted on the manual clock it sleeps on: four
// passes without a write while the game's values are shown, then the write
// once the edits are.
TEST_F(PuddlesGateTest, TheKeeperWritesOnlyWhileTheEditsAreShown) {
    core::Editor.VisualSettingsAfterShown.Set(0);
    Puddles.mode.Set(2);
    const uint64_t start = platform::TickCount64();
    StartPuddlesKeeperWhenAsked();
    ASSERT_NE(Puddles.keeperThread.Get(), 0u);
    ASSERT_TRUE(WaitFor([&] { return platform::TickCount64() >= start + 100; })) << "the keeper runs";
    EXPECT_EQ(Game(), 0.25f) << "the game's values shown: nothing written";
    core::Editor.VisualSettingsAfterShown.Set(1);
    EXPECT_TRUE(WaitFor([&] { return Game() == 3.5f; })) << "the edits shown: written";
    EXPECT_TRUE(StopPuddlesKeeper(5000));
}

}  // namespace
}  // namespace vstest
