// The runtime table locator on a private mapping holding the fingerprint
// values: the search's outcomes, the addresses it gives, and its thread
// (started once, never waiting on the caller, stopped and waited for at
// unload, with the puddles keeper within one bound).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/simulated.h"
#include "runtime/heap_scan.h"
#include "support/synthetic_image.h"
#include "support/testdata.h"
#include "support/thread_waits.h"
#include "visualsettings/param_table.h"
#include "visualsettings/puddles.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/visualsettings_entries.h"

namespace {

using namespace visualsettings;
using testsupport::SyntheticHeap;

class RuntimeTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetVisualSettingsForTesting();
        platform::sim::UseManualClock(true);
    }
    void TearDown() override {
        StopVisualSettings(5000);
        ResetVisualSettingsForTesting();
        platform::sim::UseManualClock(false);
    }
    // Waits (real time, bounded) for the search thread to report its end.
    static bool Finished() {
        const auto deadline = std::chrono::steady_clock::now() + testsupport::Scaled(std::chrono::seconds(20));
        while (RuntimeTable.finished.Get() == 0) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
};

TEST_F(RuntimeTableTest, OneDefaultTableAndNoGuardIsReady) {
    VARNEL_SKIP_UNDER_SHADOW_MEMORY();
    enum Plant { Default, Alternate, Guard, AmtZero };
    const struct {
        std::vector<Plant> plants;
        bool ready;
        const char* what;
    } rows[] = {
        {{Default}, true, "one table"},
        {{Alternate}, true, "sky.sun.centreStart at 1.0, blendRange at 3.0"},
        {{Default, Default}, false, "two tables"},
        {{Default, Guard}, false, "a table beside a guard pattern"},
        {{AmtZero}, false, "imposter.shadow.amt1 at 0.0: no alternate"},
        {{}, false, "none"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ResetVisualSettingsForTesting();
        SyntheticHeap heap(1 << 20);
        ASSERT_TRUE(heap.ok());
        uint64_t first = 0;
        for (size_t i = 0; i < r.plants.size(); ++i) {
            const uint64_t at = heap.PlantVisualSettingsTable(4096 + 20000 * i, r.plants[i] == Guard ? 1 : 0,
                                                              r.plants[i] == Alternate);
            if (r.plants[i] == AmtZero) std::memset(reinterpret_cast<void*>(at + 0x1918), 0, 4);
            if (i == 0) first = at;
        }
        ResolveVisualSettingsTable();
        EXPECT_EQ(RuntimeTable.ready.Get(), r.ready ? 1u : 0u);
        EXPECT_EQ(RuntimeTable.base.Get(), r.ready ? first : 0u);
        EXPECT_EQ(StatusText(RuntimeTable.status), r.ready ? "" : "UNAVAILABLE.");
        if (r.ready) {
            EXPECT_EQ(LiveAddressOfRuntimeKey("bokeh.globalAlpha"), first + 0x2F0);
            EXPECT_EQ(LiveAddressOfRuntimeKey("hdr.ui.alphaAdjustment.enabled"), first + 0xA18);
            EXPECT_TRUE(WriteRuntimeTableValue("rain.gravity.z", -0.5f));
            float v = 0;
            EXPECT_TRUE(ReadRuntimeTableValue("rain.gravity.z", v));
            EXPECT_EQ(v, -0.5f);
        }
    }
}

TEST_F(RuntimeTableTest, AddressesOnlyForTheKeysOfAReadableTable) {
    uint64_t table = 0;
    {
        SyntheticHeap heap(64 << 10);
        table = heap.base() + 4096;
        RuntimeTable.base.Set(table);
        RuntimeTable.ready.Set(1);
        EXPECT_EQ(LiveAddressOfRuntimeKey("cloudgen.frequency"), table + 0x20A8);
        EXPECT_EQ(LiveAddressOfRuntimeKey("misc.coronas.sizeScaleGlobal"), 0u) << "a row, but no runtime key";
        EXPECT_EQ(LiveAddressOfRuntimeKey("Cloudgen.frequency"), 0u);
        EXPECT_EQ(RuntimeTable.ready.Get(), 1u) << "a key that is none leaves the table alone";
    }
    // The game freed the table: forgotten for the run.
    SetStatus(RuntimeTable.status, "x");
    EXPECT_EQ(LiveAddressOfRuntimeKey("cloudgen.frequency"), 0u);
    EXPECT_EQ(RuntimeTable.ready.Get(), 0u);
    EXPECT_EQ(RuntimeTable.base.Get(), 0u);
    EXPECT_EQ(StatusText(RuntimeTable.status), "");
    EXPECT_FALSE(WriteRuntimeTableValue("cloudgen.frequency", 1.0f));
}

TEST_F(RuntimeTableTest, TheSearchWaitsOnItsOwnThreadAndRunsOncePerRun) {
    VARNEL_SKIP_UNDER_SHADOW_MEMORY();
    SyntheticHeap heap(1 << 20);
    const uint64_t table = heap.PlantVisualSettingsTable(8192, 0);
    const uint64_t start = platform::TickCount64();
    EXPECT_TRUE(StartDeferredRuntimeProbe());
    EXPECT_TRUE(StartDeferredRuntimeProbe()) << "already running";
    ASSERT_TRUE(Finished());
    EXPECT_GE(platform::TickCount64() - start, kRuntimeTableWaitMs) << "the search waited 45 s (its own thread's)";
    EXPECT_EQ(RuntimeTable.base.Get(), table);
    EXPECT_EQ(RuntimeTable.searches.Get(), 1u);
    EXPECT_TRUE(StartDeferredRuntimeProbe());
    EXPECT_EQ(RuntimeTable.searches.Get(), 1u) << "no second search";
}

TEST_F(RuntimeTableTest, WithoutAThreadTheCallerNeverWaitsAndALaterCallTriesAgain) {
    platform::sim::FailNextThreadStarts(1);
    const uint64_t start = platform::TickCount64();
    EXPECT_FALSE(StartDeferredRuntimeProbe());
    EXPECT_EQ(platform::TickCount64(), start) << "no 45 s wait on the caller's (the render) thread";
    EXPECT_EQ(RuntimeTable.searches.Get(), 0u);
    EXPECT_EQ(RuntimeTable.started.Get(), 0u);
    EXPECT_TRUE(StartDeferredRuntimeProbe());
    EXPECT_NE(RuntimeTable.thread.Get(), 0u);
}

TEST_F(RuntimeTableTest, TheUnloadStopsTheWaitingThreadAndWaitsForIt) {
    platform::sim::UseManualClock(false);  // the thread waits in real time
    {
        testsupport::HeldSleeps held;
        ASSERT_TRUE(StartDeferredRuntimeProbe());
        ASSERT_TRUE(testsupport::WaitForHeldSleepers(1)) << "the thread is in its wait";
    }
    // Within its slices, not the unload's bound (both scaled, as a slow
    // build or a busy machine takes longer to stop a thread).
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(StopVisualSettings(static_cast<uint32_t>(testsupport::Scaled(std::chrono::seconds(5)).count())));
    EXPECT_LT(std::chrono::steady_clock::now() - before, testsupport::Scaled(std::chrono::seconds(2)));
    EXPECT_EQ(RuntimeTable.thread.Get(), 0u) << "the thread ended and was waited for";
    EXPECT_EQ(RuntimeTable.finished.Get(), 1u);
    EXPECT_EQ(RuntimeTable.searches.Get(), 0u) << "stopped before its search";
    EXPECT_FALSE(StartDeferredRuntimeProbe()) << "nothing starts after the unload";
}

// Neither thread can see the stop (both held in their sleeps): the unload
// gives up after its bound in all, not after a bound for each of them.
TEST_F(RuntimeTableTest, TheUnloadWaitsForBothThreadsWithinOneBound) {
    {
        testsupport::HeldSleeps held;
        Puddles.mode.Set(2);
        ASSERT_TRUE(StartDeferredRuntimeProbe());
        StartPuddlesKeeperWhenAsked();
        ASSERT_TRUE(testsupport::WaitForHeldSleepers(2)) << "the search and the keeper are in their sleeps";
        // The bound is scaled, as a slow build or a busy machine takes
        // longer to give up; one bound for each thread takes twice as long.
        const uint32_t boundMs = static_cast<uint32_t>(testsupport::Scaled(std::chrono::seconds(2)).count());
        const auto before = std::chrono::steady_clock::now();
        EXPECT_FALSE(testsupport::Bounded("StopVisualSettings", [boundMs] { return StopVisualSettings(boundMs); }));
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - before);
        EXPECT_LT(took.count(), int64_t{boundMs} * 7 / 4) << "a bound for each thread (twice " << boundMs << " ms)";
    }
    EXPECT_TRUE(StopVisualSettings(5000)) << "both end once let go";
}

}  // namespace

namespace vstest_status {

// The locator's thread writes its status while the tab reads it: a reader
// sees one whole text or the other, never a text half replaced.
TEST(StatusLineTest, AReaderOnAnotherThreadSeesWholeTexts) {
    visualsettings::StatusLine line("");
    const std::string shortText(24, 'a'), longText(300, 'b');
    core::SharedValue<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) visualsettings::SetStatus(line, (i & 1) != 0 ? shortText : longText);
        done = true;
    });
    size_t torn = 0, reads = 0;
    const bool ended = testsupport::RunWhile([&] { return !done.Get() || reads == 0; }, [&] {
        const std::string seen = visualsettings::StatusText(line);
        torn += !(seen.empty() || seen == shortText || seen == longText);
        ++reads;
    });
    testsupport::Bounded("the writer", [&writer] { writer.join(); });
    EXPECT_TRUE(ended) << "the writer never ended";
    EXPECT_EQ(torn, 0u) << "of " << reads << " reads";
}

}  // namespace vstest_status
