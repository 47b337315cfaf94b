// The Vehicle Sirens panel drawn headless over a siren block planted in
// memory of the test's own: loading through the worker, the value editors,
// "Load live" kept disabled while edited, hold for before / after, the
// status line's rule (export messages always, the loader's failures while
// no block is valid), and the Misc tab around it.
#include <gtest/gtest.h>
#include <imgui.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/imgui_harness.h"
#include "support/siren_game.h"
#include "support/thread_waits.h"
#include "ui/sirens_panel.h"
#include "ui/weather_tab.h"
#include "weather/sirens_editor.h"
#include "weather/sirens_search.h"
#include "weather/sirens_state.h"

namespace {

using namespace weather;

void Draw() {
    ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
    ImGui::SetNextWindowSize(ImVec2(1200.0f, 1000.0f));
    ImGui::Begin("Test");
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        ui::DrawVehicleSirensPanel();
    }
    ImGui::End();
}

class SirensPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::Bounded("ResetSirenState", ResetSirenState);
        ui::ResetSirensPanelState();
        ASSERT_TRUE(memory_.ok());
        names_ = testsupport::PlantSirenNames(memory_.at(0));
        block_ = memory_.base() + 4096;
        testsupport::PlantSirenBlock(memory_.at(4096), names_);
        Sirens.searchFrom = memory_.base();
        Sirens.searchTo = memory_.end();
        ui.CaptureText(true);
    }
    void TearDown() override {
        testsupport::Bounded("ResetSirenState", ResetSirenState);
        ui::ResetSirensPanelState();
    }
    void ExpectCleanFrame() {
        EXPECT_EQ(ui.AssertionCount(), 0);
        EXPECT_TRUE(ui.DuplicateIds().empty()) << ui.DuplicateIds().front();
    }
    bool Shows(const std::string& text) const { return ui.Text().find(text) != std::string::npos; }
    uint8_t ByteAt(uint64_t offset) const { return *memory_.at(4096 + offset); }
    void Hold(const char* label, bool down) {
        const ImVec2 at = ui.FindItem(label)->Center();
        ui.Io().AddMousePosEvent(at.x, at.y);
        ui.Frame(Draw);
        ui.Io().AddMouseButtonEvent(0, down);
        ui.Frames(2, Draw);
    }

    testsupport::ImGuiHarness ui;
    testsupport::SirenMemory memory_{64u << 10};
    std::vector<uint64_t> names_;
    uint64_t block_ = 0;
};

TEST_F(SirensPanelTest, LoadLiveFindsTheBlockAndShowsTheProfile) {
    ui.Frame(Draw);
    ExpectCleanFrame();
    ASSERT_NE(ui.FindItem("Load live"), nullptr);
    EXPECT_FALSE(Shows("1. Vehicle"));
    ASSERT_TRUE(ui.ClickItem("Load live", Draw));
    const auto deadline = std::chrono::steady_clock::now() + testsupport::Scaled(std::chrono::seconds(10));
    while (Sirens.SirenBlockAddress == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ui.Frame(Draw);
    }
    ASSERT_EQ(Sirens.SirenBlockAddress, block_) << Sirens.SirenLoadStatus;
    ui.Frame(Draw);
    ExpectCleanFrame();
    EXPECT_NE(ui.FindItem("Refresh"), nullptr);
    EXPECT_TRUE(Shows("1. Vehicle"));
    EXPECT_TRUE(Shows("police / sheriff"));  // profile 12 at first
    EXPECT_FALSE(Shows("Ready."));           // the loader's "Ready." is not shown
    ASSERT_TRUE(ui.ClickItem("Siren light values", Draw));
    ui.Frame(Draw);
    ExpectCleanFrame();
    EXPECT_TRUE(Shows("castShadows"));
    EXPECT_TRUE(Shows("Siren light 01"));
}

TEST_F(SirensPanelTest, TheLoadersFailuresAreShownWithoutABlock) {
    const char* messages[] = {"Vehicle Sirens could not be found.", "Vehicle Sirens could not start loading.",
                              "Vehicle Sirens took too long to load.", "Stopped.", "Loading..."};
    for (const char* m : messages) {
        Sirens.SirenLoadStatus = m;
        ui.Frame(Draw);
        EXPECT_TRUE(Shows(m)) << m;
    }
}

TEST_F(SirensPanelTest, TheStatusLineRule) {
    struct Case {
        const char* status;
        bool valid;
        bool shown;
    };
    const Case cases[] = {
        {"Exported carcols.ymt.", true, true},
        {"Nothing to export.", true, true},
        {"This carcols.ymt layout is not supported.", false, true},
        {"Export failed: saved file could not be verified.", true, true},
        {"Value applied.", true, false},
        {"Restored.", true, false},
        {"Before shown.", true, false},
        {"Ready.", true, false},
        {"Ready.", false, false},
        {"Vehicle Sirens could not be found.", false, true},
        {"Vehicle Sirens could not be found.", true, false},
        {"Stopped.", false, true},
        {"", false, false},
    };
    for (const Case& c : cases) EXPECT_EQ(ui::SirenStatusShown(c.status, c.valid), c.shown) << c.status << c.valid;
}

TEST_F(SirensPanelTest, ColourChannelsRunFromTheLowestByte) {
    float channels[4];
    ui::SirenColourToChannels(0xFFFF0000u, channels);  // bytes 0, 0, 255, 255: opaque blue
    EXPECT_EQ(channels[0], 0.0f);
    EXPECT_EQ(channels[1], 0.0f);
    EXPECT_EQ(channels[2], 1.0f);
    EXPECT_EQ(channels[3], 1.0f);
    const float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    EXPECT_EQ(ui::SirenColourFromChannels(red), 0xFF0000FFu);  // bytes 255, 0, 0, 255
    const float outside[4] = {1.5f, -0.25f, 0.5f, 0.0f};
    EXPECT_EQ(ui::SirenColourFromChannels(outside), 0x008000FFu);
}

TEST_F(SirensPanelTest, AByteOf300Stores255AndLoadLiveStaysDisabled) {
    Sirens.SirenBlockAddress = block_;
    ui.Frame(Draw);
    // leftHeadLightMultiples of profile 12: the first byte editor.
    const testsupport::ImGuiItem* input = ui.FindItem("##profile_byte");
    ASSERT_NE(input, nullptr);
    const ImVec2 at = input->Center();
    ui.Click(at, Draw);
    ui.PressKey(ImGuiKey_End, Draw);
    for (int i = 0; i < 4; ++i) ui.PressKey(ImGuiKey_Backspace, Draw);
    ui.TypeText("300", Draw);
    ui.PressKey(ImGuiKey_Enter, Draw);
    ui.Frame(Draw);
    EXPECT_EQ(ByteAt(12 * kSirenProfileBytes + 60), 255) << Sirens.SirenLoadStatus;
    EXPECT_EQ(ByteAt(12 * kSirenProfileBytes + 61), 2);  // the next field untouched
    EXPECT_FALSE(Shows("Value applied."));
    EXPECT_TRUE(Shows("1 edited"));
    ASSERT_TRUE(ui.ClickItem("Refresh", Draw));
    EXPECT_EQ(Sirens.SirenLoadPending, 0);
    EXPECT_EQ(Sirens.SirenBlockAddress, block_);
}

TEST_F(SirensPanelTest, HoldForBeforeAfter) {
    Sirens.SirenBlockAddress = block_;
    const char* hold = "Hold for before / after##carcols_siren_hold_before_after";
    ui.Frame(Draw);
    ASSERT_NE(ui.FindItem(hold), nullptr);
    Hold(hold, true);  // no edits: nothing happens
    Hold(hold, false);
    EXPECT_EQ(Sirens.SirenBaselineTaken, 0);
    EXPECT_EQ(Sirens.SirenBeforeShown, 0);
    std::string status;
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        ASSERT_TRUE(ApplySirenValue(12, 6, 4321, status));  // sequencerBpm
    }
    uint32_t bpm;
    ui.Frame(Draw);
    Hold(hold, true);
    std::memcpy(&bpm, memory_.at(4096 + 12 * kSirenProfileBytes + 40), 4);
    EXPECT_EQ(bpm, 612u) << "held: the game's value";
    EXPECT_EQ(Sirens.SirenLoadStatus, "Before shown.");
    Hold(hold, false);
    std::memcpy(&bpm, memory_.at(4096 + 12 * kSirenProfileBytes + 40), 4);
    EXPECT_EQ(bpm, 4321u) << "released: the edit";
    EXPECT_EQ(Sirens.SirenLoadStatus, "After shown.");
    ExpectCleanFrame();
}

TEST_F(SirensPanelTest, TheMiscTabHoldsThePanel) {
    Sirens.SirenBlockAddress = block_;
    const auto misc = [] {
        ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
        ImGui::SetNextWindowSize(ImVec2(1200.0f, 1000.0f));
        ImGui::Begin("Test");
        ui::DrawMiscTab();
        ImGui::End();
    };
    ui.Frame(misc);
    ui.Frame(misc);
    ExpectCleanFrame();
    EXPECT_NE(ui.FindItem("Vehicle Sirens (carcols.ymt)"), nullptr);
    EXPECT_TRUE(Shows("1. Vehicle"));
    std::string status;
    {
        std::lock_guard<std::mutex> lock(Sirens.lock);
        ASSERT_TRUE(ApplySirenValue(0, 6, 1, status));
    }
    ui.Frame(misc);
    EXPECT_TRUE(Shows("Edited"));
    EXPECT_TRUE(Shows("1 edited"));
}

}  // namespace
