// The Timecycle Mods tab drawn headless with four vanilla-sized files loaded
// from the workspace: no ID conflicts or assertions whatever is selected,
// searched or held; its buttons against a modifier resolved in a small
// synthetic heap; the live status word.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/workspace.h"
#include "game/game_controls.h"
#include "support/fake_drive.h"
#include "support/imgui_harness.h"
#include "support/imgui_measure.h"
#include "support/synthetic_image.h"
#include "support/timecycle_gen.h"
#include "timecycle/modifier_defaults.h"
#include "timecycle/modifier_files.h"
#include "timecycle/modifier_live.h"
#include "ui/timecycle_mods_tab.h"

namespace {

using namespace timecycle;

void Draw() {
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(1100.0f, 1000.0f), ImGuiCond_Always);
    ImGui::Begin("Varnel");
    ui::DrawTimecycleModsPanel();
    ImGui::End();
}

class TimecycleModsTabTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        core::ResetWorkspaceState();
        Reset();
        ui.CaptureText(true);
        // Vanilla-sized files; slot 0 names a few modifiers that have places.
        const std::vector<std::string> names = {"gen_bank", "int_Barber1", "TUNNEL_yellow", "Tunnel_Vanilla"};
        for (int slot = 0; slot < kModFileSlots; ++slot)
            PutFile(TimecycleModsImportPath(slot),
                    testsupport::MakeModifierXml(VanillaModifierCounts[static_cast<size_t>(slot)],
                                                 VanillaRowCounts[static_cast<size_t>(slot)], slot == 0 ? names : std::vector<std::string>{}));
    }
    void TearDown() override {
        Reset();
        FakeDriveTest::TearDown();
    }
    static void Reset() {
        ResetModifierLiveState();
        ModifierLive.config = {};
        ResetModifierFilesState();
        ResetModifierDefaultsState();
        ui::ResetTimecycleModsTabState();
        game::ResetGameControlsState();
    }
    void Frame() {
        ui.Frame(Draw);
        for (const testsupport::ImGuiItem& item : ui.IdConflicts())
            ADD_FAILURE() << "ID conflict: " << item.label << " laid out " << item.adds << " times";
    }
    bool Click(const char* label) { return ui.ClickItem(label, Draw); }
    bool Shows(const char* text) const { return ui.Text().find(text) != std::string::npos; }
    void LoadAll() {
        Frame();
        ASSERT_TRUE(Click("Load all .xml"));
        Frame();
        ASSERT_EQ(ModifierFiles.status, "Loaded 4 Timecycle Mod .xml files.");
    }
    testsupport::ImGuiHarness ui;
};

TEST_F(TimecycleModsTabTest, FourFilesBrowsedWithoutConflictsOrAssertions) {
    Frame();
    EXPECT_TRUE(Shows("Load a .xml file first.")) << ui.Text();
    EXPECT_TRUE(Shows("Ready"));
    LoadAll();
    EXPECT_FALSE(Shows("Loaded 4 Timecycle")) << "a load's success shows in the file table";
    EXPECT_TRUE(Shows("19187")) << ui.Text();
    for (int slot = 0; slot < kModFileSlots; ++slot) {
        SCOPED_TRACE(slot);
        const std::string file = TimecycleModsFileName(slot);
        ASSERT_TRUE(Click(file.c_str()));
        Frame();
        EXPECT_EQ(ModifierFiles.selectedFile, slot);
        EXPECT_TRUE(Shows(slot == 0 ? "gen_bank" : "mod_0"));
        ASSERT_TRUE(Click(slot == 0 ? "int_Barber1" : "mod_1"));
        Frame();
        EXPECT_EQ(ModifierFiles.selectedModifier, 1);
    }
    EXPECT_EQ(ui.AssertionCount(), 0);

    // Search and "Teleports only" pick the first match; nothing matching offers "Show all".
    ASSERT_TRUE(Click(TimecycleModsFileName(0).c_str()));
    Frame();
    std::strcpy(ui::TimecycleModsTab.modifierSearch, "tunnel");
    Frame();
    EXPECT_EQ(ModifierFiles.selectedModifier, 2);
    ui::TimecycleModsTab.teleportsOnly = true;
    std::strcpy(ui::TimecycleModsTab.modifierSearch, "vanilla");
    Frame();
    EXPECT_TRUE(Shows("No matching modifiers."));
    ASSERT_TRUE(Click("Show all##timecycle_mod_no_match"));
    EXPECT_EQ(ui::TimecycleModsTab.modifierSearch[0], 0);
    EXPECT_FALSE(ui::TimecycleModsTab.teleportsOnly);

    // A teleport to the second bank.
    Frame();
    ASSERT_TRUE(Click("gen_bank"));
    Frame();
    ui::TimecycleModsTab.selectedLocation = 1;
    Frame();
    EXPECT_TRUE(Shows("Bank_main 2"));
    ASSERT_TRUE(Click("Teleport"));
    {
        std::lock_guard<std::mutex> lock(game::GameControls.TeleportMutex);
        EXPECT_EQ(game::GameControls.LocationTeleportRequest.pending, 1);
        EXPECT_EQ(game::GameControls.LocationTeleportRequest.x, 310.984f);
    }
    // An edit through the row table counts in the file table from the next frame.
    SetModifierRowValues(0, 0, 0, 5.0f, 5.0f);
    Frame();
    EXPECT_TRUE(Shows("Edited"));
    EXPECT_TRUE(Shows("1 edited files"));
    EXPECT_EQ(ui::CountEditedRows(0), 1u);
    ASSERT_TRUE(Click("Reset file edits"));
    EXPECT_EQ(ui::CountEditedRows(0), 0u);
    EXPECT_EQ(ModifierFiles.status, "File reset.");
    EXPECT_EQ(ui.AssertionCount(), 0);
}

TEST_F(TimecycleModsTabTest, ButtonsAgainstAResolvedModifier) {
    LoadAll();
    // Slot 1, modifier mod_2: its rows planted in a small heap the search walks.
    testsupport::SyntheticHeap heap(1u << 20);
    ModifierLive.config.arenaFrom = heap.base();
    ModifierLive.config.arenaTo = heap.base() + heap.size();
    const TimecycleModifier& m = ModifierFiles.slots[1].modifiers[2];
    const uint64_t block = heap.base() + 4096;
    for (size_t i = 0; i < m.rows.size(); ++i) {
        std::memcpy(reinterpret_cast<void*>(block + i * 12), &m.rows[i].fileA, 4);
        std::memcpy(reinterpret_cast<void*>(block + i * 12 + 4), &m.rows[i].fileB, 4);
    }
    const std::vector<uint8_t> original(reinterpret_cast<uint8_t*>(block), reinterpret_cast<uint8_t*>(block) + m.rows.size() * 12);
    auto blockBytes = [&] {
        return std::vector<uint8_t>(reinterpret_cast<uint8_t*>(block), reinterpret_cast<uint8_t*>(block) + original.size());
    };
    ASSERT_TRUE(Click(TimecycleModsFileName(1).c_str()));
    Frame();
    ASSERT_TRUE(Click("mod_2"));
    SetModifierRowValues(1, 2, 0, 7.5f, 0.5f);
    Frame();
    ASSERT_TRUE(Click("Apply modifier"));
    EXPECT_TRUE(ModifierLive.resolve.resolving) << ModifierLive.status;
    for (int i = 0; i < 50 && ModifierLive.resolve.resolving; ++i) StepModifierLiveResolve();
    EXPECT_EQ(ModifierLive.status, "Applied edits to mod_2.");
    EXPECT_NE(blockBytes(), original);
    Frame();
    EXPECT_TRUE(Shows("Applied.")) << ui.Text();

    // The before/after hotkey's before state stays while the tab is drawn.
    uint8_t changed = 0;
    ModifierAllLiveBeforeAfter(1, &changed);
    ASSERT_TRUE(changed);
    Frame();
    Frame();
    EXPECT_EQ(blockBytes(), original);
    ModifierAllLiveBeforeAfter(0, &changed);
    EXPECT_NE(blockBytes(), original);

    // Holding the hold button shows the game's values; letting go, the edits.
    Frame();
    const testsupport::ImGuiItem* hold = ui.FindItem("Hold for before / after");
    ASSERT_NE(hold, nullptr);
    ui.Io().AddMousePosEvent(hold->Center().x, hold->Center().y);
    Frame();
    ui.Io().AddMouseButtonEvent(0, true);
    Frame();
    Frame();
    EXPECT_EQ(blockBytes(), original);
    EXPECT_TRUE(Shows("Restored."));
    ui.Io().AddMouseButtonEvent(0, false);
    Frame();
    EXPECT_NE(blockBytes(), original);

    // A reset of the modifier's edits writes the file's values and tells the
    // refresh to set the game's modifier again at once.
    ModifierActivation& act = ModifierLive.activation;
    act.activeName = "mod_2";
    act.applyRequested = 1;
    act.applyNow = 0;
    ASSERT_TRUE(Click("Reset modifier edits"));
    EXPECT_EQ(blockBytes(), original);
    EXPECT_EQ(act.applyNow, 1);
    EXPECT_EQ(ModifierFiles.status, "Modifier reset.");

    // Another modifier: the old block goes back and the game's modifier is cleared.
    ASSERT_TRUE(Click("Clear live"));
    EXPECT_EQ(ModifierLive.status, "Live cleared.");
    EXPECT_FALSE(ModifierLive.block.valid);
    EXPECT_TRUE(act.deactivateRequested);
    EXPECT_EQ(ui.AssertionCount(), 0);
}

// Every button of the tab shows its whole label, with the font the tab was
// laid out for and with wider ones (the built-in font at larger scales, as a
// user's font or scale may be): no label runs past its button's padding.
TEST_F(TimecycleModsTabTest, EveryButtonShowsItsWholeLabel) {
    LoadAll();
    ASSERT_TRUE(Click("gen_bank"));  // a modifier with places: the Teleport button too
    SetModifierRowValues(0, 0, 0, 5.0f, 5.0f);
    const char* const labels[] = {
        "Load .xml", "Load all .xml", "Export .xml", "Clear search##timecycle_mod_search", "Teleport",
        "Apply modifier", "Clear live", "Hold for before / after", "Reset modifier edits", "Reset file edits",
        "Clear search##timecycle_mod_param_search",
    };
    for (const float scale : {1.0f, 1.25f, 1.6f}) {
        SCOPED_TRACE(scale);
        ImGui::GetStyle().FontScaleMain = scale;
        std::vector<float> needed;
        auto drawAndMeasure = [&] {
            Draw();
            needed.clear();
            for (const char* label : labels)
                needed.push_back(ImGui::CalcTextSize(label, nullptr, true).x + 2.0f * ImGui::GetStyle().FramePadding.x);
        };
        ui.Frame(drawAndMeasure);
        ui.Frame(drawAndMeasure);
        ASSERT_EQ(needed.size(), std::size(labels));
        for (size_t i = 0; i < std::size(labels); ++i) {
            const testsupport::ImGuiItem* item = ui.FindItem(labels[i]);
            ASSERT_NE(item, nullptr) << labels[i];
            EXPECT_GE(item->max.x - item->min.x + 0.01f, needed[i]) << labels[i];
        }
    }
    ImGui::GetStyle().FontScaleMain = 1.0f;
    EXPECT_EQ(ui.AssertionCount(), 0);
}

// The file table's File column holds each whole file name with the
// editor's fonts at UI scales 1 and 2 (a fixed 132 px cut the built-in
// font's "timecycle_mods_1.xml" to "timecycle_mods_1.xm").
TEST_F(TimecycleModsTabTest, TheFileColumnShowsWholeFileNames) {
    for (const testsupport::EditorFont& font : testsupport::AddEditorFonts()) {
        for (const float scale : {1.0f, 2.0f}) {
            SCOPED_TRACE(font.name + " at " + std::to_string(scale));
            ImGui::GetStyle().FontScaleMain = scale;
            float widest = 0.0f;
            auto drawAndMeasure = [&] {
                ImGui::PushFont(font.font, font.size);
                Draw();
                for (int slot = 0; slot < kModFileSlots; ++slot)
                    widest = std::max(widest, ImGui::CalcTextSize(TimecycleModsFileName(slot).c_str()).x);
                ImGui::PopFont();
            };
            ui.Frames(2, drawAndMeasure);
            EXPECT_GE(testsupport::TableColumnContentWidth("File", 0), widest);
        }
    }
    ImGui::GetStyle().FontScaleMain = 1.0f;
    EXPECT_EQ(ui.AssertionCount(), 0);
}

TEST_F(TimecycleModsTabTest, LiveStatusWord) {
    const struct {
        const char* text;
        const char* word;
    } rows[] = {
        {"", ""},
        {"Live resolve running: checked 12 MB, matches 0, full scan.", ""},
        {"Live apply queued: live mapping is still running.", "Preparing."},
        {"Value stored.", "Stored."},
        {"Live apply skipped: row count changed after resolve.", "Stored."},
        {"Live cleared.", ""},
        {"Restored Tunnel.", "Restored."},
        {"Applied edits to Tunnel.", "Applied."},
        {"Live resolve stopped: invalid live state.", "Not available."},
        {"Live apply failed: the game no longer holds the block of X; live mapping dropped.", "Not available."},
    };
    for (const auto& r : rows) EXPECT_EQ(ui::LiveStatusWord(r.text), r.word) << r.text;
}

}  // namespace
