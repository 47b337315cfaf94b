// The Visualsettings tab drawn headless over the workspace's
// visualsettings.dat on the synthetic game image: loading by a click, every
// block of a real file opened without ID conflicts or assertions, the same
// key in two blocks, the hold button released when the tab goes, the
// buttons of a file without keys, search, whole numbers and non-finite
// input.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <set>
#include <cmath>
#include <string>

#include <imgui_internal.h>

#include <cstring>

#include "core/workspace.h"
#include "game/before_after.h"
#include "support/fake_drive.h"
#include "support/imgui_harness.h"
#include "support/testdata.h"
#include "ui/visualsettings_tab.h"
#include "visualsettings/dat_import.h"
#include "visualsettings/layout_reader.h"
#include "visualsettings/live_write.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/dat_export.h"
#include "visualsettings/dat_samples.h"
#include "visualsettings/visualsettings_fixture.h"

namespace vstest {
namespace {

float g_windowHeight = 1000.0f;

void Draw() {
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(1100.0f, g_windowHeight), ImGuiCond_Always);
    ImGui::Begin("Varnel");
    ui::DrawVisualsettingsPanel();
    ImGui::End();
}
void DrawOtherTab() {
    ImGui::Begin("Varnel");
    ImGui::TextUnformatted("another tab");
    ImGui::End();
}

class VisualSettingsTabTest : public VisualSettingsTestOn<testsupport::FakeDriveTest> {
protected:
    void SetUp() override {
        VisualSettingsTestOn<testsupport::FakeDriveTest>::SetUp();
        core::ResetWorkspaceState();
        ResetDatImportForTesting();
        ResetLayoutReaderForTesting();
        ui::ResetVisualSettingsTabState();
        game::BeforeAfter.AllBeforeShown.Set(0);
        BindVisualSettingsParams();
        InitVisualSettingsDefaults();
        ui.CaptureText(true);
    }
    void TearDown() override {
        StopVisualSettings(2000);
        ResetDatImportForTesting();
        ResetLayoutReaderForTesting();
        ui::ResetVisualSettingsTabState();
        game::BeforeAfter.AllBeforeShown.Set(0);
        VisualSettingsTestOn<testsupport::FakeDriveTest>::TearDown();
    }
    void Frame() {
        ui.Frame(Draw);
        for (const testsupport::ImGuiItem& item : ui.IdConflicts())
            ADD_FAILURE() << "ID conflict: " << item.label << " laid out " << item.adds << " times";
    }
    bool Click(const char* label) { return ui.ClickItem(label, Draw); }
    bool Shows(const char* text) const { return ui.Text().find(text) != std::string::npos; }
    void PutImport(const std::string& text) { PutFile(ImportVisualSettingsPath(), text); }
    // Opens every block header of the section shown (their state in the
    // parameters child's storage, as a click would leave it).
    void OpenEveryBlock() {
        Frame();
        for (ImGuiWindow* window : ImGui::GetCurrentContext()->Windows) {
            if (std::strstr(window->Name, "VisParameters") == nullptr) continue;
            for (const testsupport::ImGuiItem& item : ui.Items()) {
                if (item.label.find("##visual_block_") == std::string::npos) continue;
                window->StateStorage.SetInt(item.id, 1);
                opened_.insert(item.label);
            }
        }
        Frame();
    }
    // A Ctrl+click makes a drag a text field (its text selected); then the text and Enter.
    void TypeInto(ImVec2 at, const char* text) {
        ui.Frames(30, Draw);  // no double click with an earlier click
        ui.Io().AddKeyEvent(ImGuiMod_Ctrl, true);
        ui.Click(at, Draw);
        ui.Io().AddKeyEvent(ImGuiMod_Ctrl, false);
        ui.TypeText(text, Draw);
        EXPECT_TRUE(ui.Io().WantTextInput);
    }
    std::set<std::string> opened_;
    // A display tall enough for a window that shows every row.
    testsupport::ImGuiHarness ui{ImVec2(1920.0f, 100000.0f)};
};

TEST_F(VisualSettingsTabTest, WholeNumbersAreRoundedIn64BitsAndClamped) {
    const struct {
        double in;
        int32_t out;
    } rows[] = {{4294967295.0, INT_MAX}, {-3e9, INT_MIN}, {NAN, 0}, {INFINITY, 0}, {2.5, 3}, {-2.5, -3}, {1e30, INT_MAX}};
    for (const auto& r : rows) EXPECT_EQ(ui::VisualDragInt(r.in), r.out) << r.in;
    EXPECT_EQ(ui::VisualSectionListWidth(0.0f), 220.0f);
    EXPECT_EQ(ui::VisualSectionListWidth(400.0f), 190.0f);
    EXPECT_EQ(ui::VisualSectionListWidth(2000.0f), 220.0f);
}

TEST_F(VisualSettingsTabTest, ARealFileLoadedByAClickWithEveryBlockOpen) {
    // Every real file and a partial one, with no game: the panel says
    // "Edited" only for rows whose known default the file changes, and
    // every key the editor knows is drawn.
    for (const DatSample& sample : DatSamples()) {
        SCOPED_TRACE(sample.name);
        StopVisualSettings(2000);
        Build(Options{false, false, false, false});
        BindVisualSettingsParams();
        InitVisualSettingsDefaults();
        RemoveFilesUnder(core::ImportsFolder());
        Frame();
        EXPECT_TRUE(Shows("Missing"));
        PutImport(sample.text);
        Frame();
        ASSERT_TRUE(Click("Load visualsettings.dat"));
        Frame();
        EXPECT_EQ(DatImport.loaded, 1);
        EXPECT_EQ(StatusText(Switch.importExportStatus).rfind("Loaded ", 0), 0u);
        const bool edited = !ExpectedEdited(sample.text).empty();
        EXPECT_EQ(Shows("Edited"), edited);
        EXPECT_EQ(Shows("Loaded"), !edited);
        // A window tall enough to show every row: every row is drawn.
        g_windowHeight = 90000.0f;
        const VisualSettingsLayout& layout = LoadVisualSettingsLayout();
        for (size_t i = 0; i < layout.size(); ++i) {
            ui::VisualSettingsTab.selectedSection = static_cast<int32_t>(i);  // the list scrolls: not every entry is laid out
            OpenEveryBlock();
            Frame();
            EXPECT_EQ(ui::VisualSettingsTab.selectedSection, static_cast<int32_t>(i));
            if (layout[i].title == "Ausgeschlossen") continue;
            for (const VisualSettingsGroup& group : layout[i].items) {
                for (const std::string& key : group.items) {
                    const std::string base = key.substr(0, key.rfind('.'));  // a colour's label
                    EXPECT_TRUE(Shows(key.c_str()) || Shows(base.c_str())) << key;
                }
            }
        }
        g_windowHeight = 1000.0f;
        EXPECT_EQ(ui.AssertionCount(), 0);
    }
}

TEST_F(VisualSettingsTabTest, ARowWithoutAValueShowsNoneUntilTheImportGivesItOne) {
    // Keys whose defaults the game build decides, nothing bound to them.
    PutImport("car.neon.radius 1.5\ncar.interiorlight.color.red 0.5\ncar.interiorlight.color.green 0.25\n"
              "car.interiorlight.color.blue 1\n");
    OpenEveryBlock();
    EXPECT_TRUE(Shows("no value"));
    EXPECT_FALSE(Shows("0.000000"));
    EXPECT_EQ(ui.FindItem("##value"), nullptr) << "nothing to edit";
    EXPECT_EQ(ui::VisualSettingsTab.rowsDrawn, 4u) << "a colour without values: each channel alone";
    ASSERT_TRUE(Click("Load visualsettings.dat"));
    Frame();
    EXPECT_FALSE(Shows("no value"));
    EXPECT_TRUE(Shows("1.500000"));
    EXPECT_EQ(ui::VisualSettingsTab.rowsDrawn, 2u) << "the colour as one row";
    EXPECT_TRUE(Shows("Loaded"));
}

TEST_F(VisualSettingsTabTest, ResetAndResetAllGiveTheImportedValueInTheTabAndTheExport) {
    // No game: the defaults of these keys stay unknown.
    StopVisualSettings(2000);
    Build(Options{false, false, false, false});
    BindVisualSettingsParams();
    InitVisualSettingsDefaults();
    const std::string text = "car.neon.radius\t1.5\ntrafficLight.red.color.red 0.5\ntrafficLight.red.color.green 0.25\n"
                             "trafficLight.red.color.blue 0.125\n";
    PutImport(text);
    Frame();
    ASSERT_TRUE(Click("Load visualsettings.dat"));
    OpenEveryBlock();
    VisualSettingsParam& neon = Row("car.neon.radius");
    VisualSettingsParam& green = Row("trafficLight.red.color.green");
    const testsupport::ImGuiItem* found = ui.FindItem("##value");
    ASSERT_NE(found, nullptr);
    TypeInto(found->Center(), "3");
    ui.PressKey(ImGuiKey_Enter, Draw);
    const struct {
        const char* button;
        VisualSettingsParam* edit;  // edited as the tab's editors edit (the first by the drag above)
    } resets[] = {{"R##reset_param", nullptr}, {"R##reset_param", &green}, {"Reset all", &neon}, {"Reset all", &green}};
    for (const auto& r : resets) {
        SCOPED_TRACE(std::string(r.button) + " " + (r.edit != nullptr ? r.edit->key : "typed"));
        if (r.edit != nullptr) {
            r.edit->value = 0.75f;
            ApplyVisualSettingRow(*r.edit);
        }
        Frame();
        EXPECT_TRUE(Shows("Edited"));
        ASSERT_TRUE(Click(r.button));
        Frame();
        EXPECT_EQ(neon.value, 1.5f);
        EXPECT_EQ(green.value, 0.25f);
        EXPECT_TRUE(Shows("1.500000"));
        EXPECT_TRUE(Shows("Loaded"));
        ExportVisualSettingsDat();
        EXPECT_EQ(GetFile(ExportVisualSettingsPath()), text);
    }
}

TEST_F(VisualSettingsTabTest, TheSameKeyInTwoBlocksHasTwoIdentities) {
    PutImport("# first\nmisc.coronas.sizeScaleGlobal 1\n# second\nmisc.coronas.sizeScaleGlobal 1\n");
    OpenEveryBlock();
    Frame();
    EXPECT_EQ(opened_.size(), 2u);
    EXPECT_EQ(ui::VisualSettingsTab.rowsDrawn, 2u);  // Frame() fails on any ID conflict
}

TEST_F(VisualSettingsTabTest, AFileWithSectionsButNoKeysStillOffersTheButtons) {
    PutImport("# Config values for rim lighting\n# Config values for bloom\n");
    Frame();
    EXPECT_NE(ui.FindItem("Load visualsettings.dat"), nullptr);
    EXPECT_NE(ui.FindItem("Export visualsettings.dat"), nullptr);
    EXPECT_NE(ui.FindItem("Reset all"), nullptr);
    ASSERT_TRUE(Click("Load visualsettings.dat"));
    EXPECT_EQ(StatusText(Switch.importExportStatus), "Loaded 0 / 0 values.");
}

TEST_F(VisualSettingsTabTest, AHeldButtonIsReleasedWhenTheTabIsNoLongerDrawn) {
    PutImport("misc.coronas.sizeScaleGlobal 1\n");
    VisualSettingsParam& row = Row("misc.coronas.sizeScaleGlobal");
    row.value = row.value + 2.0f;
    ApplyVisualSettingRow(row);
    Frame();
    const testsupport::ImGuiItem* hold = ui.FindItem("Hold for before / after");
    ASSERT_NE(hold, nullptr);
    ui.Io().AddMousePosEvent(hold->Center().x, hold->Center().y);
    Frame();
    ui.Io().AddMouseButtonEvent(0, true);
    Frame();
    Frame();
    EXPECT_EQ(core::Editor.VisualSettingsAfterShown.Get(), 0);
    EXPECT_EQ(game::BeforeAfter.VisualSettingsSwitchPending.Exchange(0), 1);
    // The user switches tabs with the button still down.
    ui.Frame(DrawOtherTab);
    EXPECT_EQ(core::Editor.VisualSettingsAfterShown.Get(), 1);
    EXPECT_EQ(game::BeforeAfter.VisualSettingsSwitchPending.Get(), 1);
    EXPECT_EQ(ui::VisualSettingsTab.holdActive, 0);
    ui.Io().AddMouseButtonEvent(0, false);
    ui.Frame(DrawOtherTab);
}

TEST_F(VisualSettingsTabTest, SearchListsMatchingSectionsOnly) {
    PutImport("# Config values for rim lighting\nmisc.coronas.sizeScaleGlobal 1\n# Config values for bloom\n"
              "misc.coronas.intensityScaleGlobal 1\nno.such.key 1\n");
    Frame();
    ASSERT_TRUE(Click("##visual_configuration_search"));
    ui.TypeText("intensity", Draw);
    Frame();
    EXPECT_TRUE(Shows("Search Results"));
    EXPECT_NE(ui.FindItem("Bloom##visual_dat_search_1"), nullptr);
    EXPECT_EQ(ui.FindItem("Rim Lighting##visual_dat_search_1"), nullptr);
    ui.Io().AddKeyEvent(ImGuiMod_Ctrl, true);
    ui.PressKey(ImGuiKey_A, Draw);
    ui.Io().AddKeyEvent(ImGuiMod_Ctrl, false);
    ui.TypeText("zzz", Draw);
    Frame();
    EXPECT_TRUE(Shows("No matching values."));
    ASSERT_TRUE(Click("Clear search##visual_configuration"));
    Frame();
    EXPECT_EQ(ui::VisualSettingsTab.search[0], '\0');
    EXPECT_TRUE(Shows("Rim Lighting"));
}

TEST_F(VisualSettingsTabTest, ANonFiniteValueTypedIsRefused) {
    PutImport("misc.coronas.sizeScaleGlobal 1\n");
    Frame();
    const testsupport::ImGuiItem* found = ui.FindItem("##value");
    ASSERT_NE(found, nullptr);
    const ImVec2 drag = found->Center();
    // A finite value typed is taken.
    TypeInto(drag, "7.5");
    ui.PressKey(ImGuiKey_Enter, Draw);
    Frame();
    EXPECT_FLOAT_EQ(Row("misc.coronas.sizeScaleGlobal").value, 7.5f);
    // One that overflows is refused.
    TypeInto(drag, "1e39");
    ui.PressKey(ImGuiKey_Enter, Draw);
    Frame();
    EXPECT_FLOAT_EQ(Row("misc.coronas.sizeScaleGlobal").value, 7.5f);
}

}  // namespace
}  // namespace vstest
