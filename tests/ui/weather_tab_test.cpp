// The Weather and Misc tabs drawn headless with every weather document
// loaded: no identifier conflicts or assertions, the filters and lists show
// each weather's values whatever the case of its name in the file, failures
// reach the status line, and the rows and hold buttons write the game live.
#include <gtest/gtest.h>
#include <imgui.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <bit>
#include <cctype>
#include <cstring>
#include <string>

#include "core/core_fixture.h"
#include "core/editor_state.h"
#include "platform/simulated.h"
#include "support/imgui_harness.h"
#include "support/synthetic_image.h"
#include "support/weather_docs.h"
#include "support/weather_game.h"
#include "ui/main_window.h"
#include "ui/weather_tab.h"
#include "weather/document_io.h"
#include "weather/document_live.h"
#include "weather/live_state.h"
#include "weather/weather_xml_model.h"

namespace {

using namespace weather;

constexpr size_t kWatertune = 0;
constexpr size_t kLightning = 1;
constexpr size_t kWeatherXml = 2;

float FloatAt(uint64_t at) {
    float f;
    std::memcpy(&f, reinterpret_cast<const void*>(static_cast<uintptr_t>(at)), 4);
    return f;
}

// The generated weather.xml with the weathers' names in lower case, and
// CLEAR as "Clear".
std::string WeatherXmlWithNamesInOtherCase() {
    std::string text = testsupport::GenerateWeatherXml({});
    for (const WeatherTypeName& w : WeatherTypeNameTable) {
        const std::string from = std::string("<Name>") + w.name + "</Name>";
        std::string to = from;
        std::transform(to.begin() + 6, to.end() - 7, to.begin() + 6, [](char c) { return static_cast<char>(std::tolower(c)); });
        if (std::string_view(w.name) == "CLEAR") to = "<Name>Clear</Name>";
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) text.replace(at, from.size(), to);
    }
    return text;
}

class WeatherTabTest : public coretest::CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        Reset();
        platform::sim::UseManualClock(true);
        ui.CaptureText(true);
    }
    void TearDown() override {
        Reset();
        platform::sim::UseManualClock(false);
        CoreTest::TearDown();
    }
    static void Reset() {
        ResetWeatherLiveState();
        ui::ResetWeatherTabState();
        WeatherDocuments.MiscEditorStatus = "Misc Editor idle.";
        for (MiscXmlFilterState* f : {&ValueFilters.WatertuneFilterState, &ValueFilters.VfxLightningFilterState, &ValueFilters.WeatherXmlFilterState,
                                      &ValueFilters.WeatherRenderFilterState})
            ui::ClearFilter(*f);
        core::Editor.MenuOpen = 0;
    }
    static WeatherDocument& Doc(size_t row) { return WeatherDocuments.WeatherDocumentRegistry[row]; }
    void Put(size_t row, const std::string& text) {
        PutFile(InVrn("Imports\\Weather Files\\" + WeatherDocumentDisplayName(Doc(row))), text);
    }
    void Load(size_t row, const std::string& text) {
        Put(row, text);
        ASSERT_TRUE(LoadWeatherDocument(row, status)) << status;
    }
    void LoadAll() {
        Load(kWatertune, testsupport::kWatertuneXml);
        Load(kLightning, testsupport::kLightningXml);
        Load(kWeatherXml, WeatherXmlWithNamesInOtherCase());
        for (size_t row = 3; row < kWeatherDocumentCount; ++row)
            Load(row, testsupport::GenerateRenderDocument(static_cast<uint32_t>(row)));
    }
    bool Shows(const std::string& text) const { return ui.Text().find(text) != std::string::npos; }
    void ExpectClean(const char* where) {
        EXPECT_EQ(ui.AssertionCount(), 0) << where;
        std::string ids;
        for (const std::string& id : ui.DuplicateIds()) ids += id + "; ";
        EXPECT_TRUE(ui.DuplicateIds().empty()) << where << ": " << ids;
    }

    static void Window(const std::function<void()>& body) {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(1800.0f, 2900.0f), ImGuiCond_Always);
        ImGui::Begin("Varnel");
        body();
        ImGui::End();
    }
    static void DrawWeather() { Window(ui::DrawWeatherTab); }
    static void DrawMisc() { Window(ui::DrawMiscTab); }
    // One panel alone, under the lock as the tab draws it.
    static void DrawPanel(size_t row) {
        Window([row] {
            std::lock_guard<std::mutex> lock(WeatherLive.lock);
            ui::DrawFocusedMiscXmlPanel("##panel", row);
        });
    }

    testsupport::ImGuiHarness ui{ImVec2(1920.0f, 3000.0f)};
    testsupport::SyntheticImage image;
    std::string status;
};

TEST_F(WeatherTabTest, EveryDocumentInBothTabsWithoutConflictsOrAssertions) {
    LoadAll();
    ASSERT_TRUE(SetWeatherValueText(Doc(kWatertune), 1, "0.5", status));
    ASSERT_TRUE(SetWeatherValueText(Doc(kWeatherXml), 3, "2.5", status));
    ASSERT_TRUE(SetWeatherValueText(Doc(5), 2, "7.25", status));
    ui.Frame(DrawWeather);
    ExpectClean("first frame");
    EXPECT_TRUE(Shows("Weather Editor") && Shows("Weather Settings (weather.xml)") && Shows("Weather Render Files"));
    ASSERT_TRUE(ui.ClickItem("WeatherGpuFx", DrawWeather));
    ASSERT_TRUE(ui.ClickItem("WeatherTypes", DrawWeather));
    ExpectClean("weather.xml trees open");
    for (size_t row = 3; row < kWeatherDocumentCount; ++row) {
        ui::WeatherTab.RenderFileSelected = 1;
        ui::WeatherTab.SelectedRenderFileIndex = static_cast<int32_t>(row);
        ui.Frame(DrawWeather);
        ExpectClean(Doc(row).fileName);
        EXPECT_TRUE(Shows(WeatherDocumentDisplayName(Doc(row)))) << row;
    }
    ui.Frame(DrawMisc);
    ExpectClean("Misc tab");
    EXPECT_TRUE(Shows("Misc Editor"));

    // The same through the main window's tab bar, by clicks.
    core::Editor.MenuOpen = 1;
    ui.Frames(2, ui::DrawMainWindow);
    ASSERT_TRUE(ui.ClickItem("Weather", ui::DrawMainWindow));
    ui.Frame(ui::DrawMainWindow);
    ExpectClean("main window, Weather tab");
    EXPECT_TRUE(Shows("Weather Editor"));
    ASSERT_TRUE(ui.ClickItem("Misc", ui::DrawMainWindow));
    ui.Frame(ui::DrawMainWindow);
    ExpectClean("main window, Misc tab");
    EXPECT_TRUE(Shows("Misc Editor"));
}

TEST_F(WeatherTabTest, EachWeathersValuesWhateverTheCaseOfItsName) {
    Load(kWeatherXml, WeatherXmlWithNamesInOtherCase());
    ui.Frame(DrawWeather);
    ASSERT_TRUE(ui.ClickItem("WeatherTypes", DrawWeather));
    for (const WeatherTypeName& w : WeatherTypeNameTable) {
        ASSERT_TRUE(ui.ClickItem(w.name, DrawWeather)) << w.name << " is not in the list";
        ui.Frame(DrawWeather);
        EXPECT_TRUE(Shows("CloudSettingsName") && Shows("OceanFoamIntensity")) << w.name;
    }

    // The section and weather filters, and the search, ignore the case.
    ValueFilters.WeatherXmlFilterState.scope = 1;
    ValueFilters.WeatherXmlFilterState.weather = 7;  // RAIN, written "rain"
    ui.Frame([] { DrawPanel(kWeatherXml); });
    EXPECT_TRUE(Shows("RAIN"));
    EXPECT_FALSE(Shows("EXTRASUNNY") || Shows("CLEARING")) << ui.Text();
    ui::ClearFilter(ValueFilters.WeatherXmlFilterState);
    std::strcpy(ValueFilters.WeatherXmlFilterState.searchText, "clear");
    ui.Frame([] { DrawPanel(kWeatherXml); });
    EXPECT_TRUE(Shows("CLEAR") && Shows("CLEARING"));
    EXPECT_FALSE(Shows("EXTRASUNNY") || Shows("THUNDER_DROP"));
    // An effect chosen in the section combo's other mode clears the weather and group.
    ValueFilters.WeatherXmlFilterState.scope = 2;
    ValueFilters.WeatherXmlFilterState.weather = 3;
    ValueFilters.WeatherXmlFilterState.group = 2;
    ui.Frame([] { DrawPanel(kWeatherXml); });
    EXPECT_EQ(ValueFilters.WeatherXmlFilterState.weather, 0);
    EXPECT_EQ(ValueFilters.WeatherXmlFilterState.group, 0);
    ExpectClean("weather.xml in the focused panel");
}

TEST_F(WeatherTabTest, FailuresAreShownOnTheStatusLine) {
    Put(kWatertune, testsupport::kWatertuneXml);  // no watertune block in the game
    ui.Frame(DrawWeather);
    EXPECT_TRUE(Shows("Misc Editor idle."));
    ui.Frame([] { DrawPanel(kWatertune); });
    ASSERT_TRUE(ui.ClickItem("Load .xml", [] { DrawPanel(kWatertune); }));
    ui.Frame(DrawWeather);
    EXPECT_TRUE(Shows("Watertune live failed: runtime block not resolved.")) << ui.Text();
}

// A drag of a value written with one decimal, one pixel a frame: the value
// moves on with the mouse and is written live.
TEST_F(WeatherTabTest, ASlowDragMovesAValueOfFewDecimals) {
    const uint64_t block = image.PlantWatertuneBlock();
    std::string text = testsupport::kWatertuneXml;
    text.replace(text.find("0.080000"), 8, "0.5");
    Put(kWatertune, text);
    const auto draw = [] { DrawPanel(kWatertune); };
    ui.Frame(draw);
    ASSERT_TRUE(ui.ClickItem("Load .xml", draw));
    ASSERT_EQ(FloatAt(block + 4), 0.5f) << WeatherDocuments.MiscEditorStatus;
    const testsupport::ImGuiItem* drag = ui.FindItem("##float");  // RippleScale, the first float
    ASSERT_NE(drag, nullptr);
    ImVec2 at = drag->Center();
    ui.Io().AddMousePosEvent(at.x, at.y);
    ui.Frame(draw);
    ui.Io().AddMouseButtonEvent(0, true);
    ui.Frame(draw);
    for (int i = 0; i < 40; ++i) {
        at.x += 1.0f;
        ui.Io().AddMousePosEvent(at.x, at.y);
        ui.Frame(draw);
    }
    ui.Io().AddMouseButtonEvent(0, false);
    ui.Frame(draw);
    const std::string& now = Doc(kWatertune).values[1].currentText;
    EXPECT_GT(std::stof(now), 0.8f) << now;
    EXPECT_EQ(FloatAt(block + 4), std::stof(now)) << WeatherDocuments.MiscEditorStatus;
}

TEST_F(WeatherTabTest, HoldForBeforeAfterAndEditorsWhileBeforeIsShown) {
    const uint64_t block = image.PlantWatertuneBlock();
    const float game = FloatAt(block + 4);
    Put(kWatertune, testsupport::kWatertuneXml);
    const auto draw = [] { DrawPanel(kWatertune); };
    ui.Frame(draw);
    ASSERT_TRUE(ui.ClickItem("Load .xml", draw));
    ASSERT_EQ(WeatherDocuments.MiscEditorStatus, "Watertune live applied.");
    const char* hold = "Hold for before / after##watertune_hold_before_after";
    ui.Frame(draw);
    ASSERT_NE(ui.FindItem(hold), nullptr);
    {
        std::lock_guard<std::mutex> lock(WeatherLive.lock);
        ASSERT_TRUE(SetWeatherValueText(Doc(kWatertune), 1, "0.5", status));
        ASSERT_TRUE(ApplyValueLive(Doc(kWatertune), Doc(kWatertune).values[1], status));
    }
    const ImVec2 button = ui.FindItem(hold)->Center();
    ui.Io().AddMousePosEvent(button.x, button.y);
    ui.Frame(draw);
    ui.Io().AddMouseButtonEvent(0, true);
    ui.Frames(2, draw);
    EXPECT_EQ(FloatAt(block + 4), game) << "held: the game's value";
    ui.Io().AddMouseButtonEvent(0, false);
    ui.Frames(2, draw);
    EXPECT_EQ(FloatAt(block + 4), 0.5f) << "released: the edit";

    // The all-live hotkey shows "before": the panel keeps it so, and its
    // editors take no edit until "after".
    uint8_t changed = 0;
    ShowWeatherDocsBeforeAfter(1, &changed);
    ASSERT_EQ(changed, 1);
    ui.Frames(3, draw);
    EXPECT_EQ(FloatAt(block + 4), game);
    EXPECT_TRUE(Shows("Before shown: edits are written when after is shown."));
    const ImVec2 drag = ui.FindItem("##float")->Center();
    ui.Io().AddMousePosEvent(drag.x, drag.y);
    ui.Frame(draw);
    ui.Io().AddMouseButtonEvent(0, true);
    ui.Frame(draw);
    for (int i = 0; i < 20; ++i) {
        ui.Io().AddMousePosEvent(drag.x + static_cast<float>(i) * 3.0f, drag.y);
        ui.Frame(draw);
    }
    ui.Io().AddMouseButtonEvent(0, false);
    ui.Frame(draw);
    EXPECT_EQ(Doc(kWatertune).values[1].currentText, "0.5");
    EXPECT_EQ(FloatAt(block + 4), game);
    ShowWeatherDocsBeforeAfter(0, &changed);
    EXPECT_EQ(FloatAt(block + 4), 0.5f);
}

// The all-live hotkey (script fiber) flips the documents while the tab is
// drawn (render thread): the two take turns under the documents' lock (a
// race here is what ThreadSanitizer reports), and the game ends with the edit.
TEST_F(WeatherTabTest, TheHotkeyAndTheTabTakeTurns) {
    const uint64_t block = image.PlantWatertuneBlock();
    Put(kWatertune, testsupport::kWatertuneXml);
    ui.Frame(DrawWeather);
    {
        std::lock_guard<std::mutex> lock(WeatherLive.lock);
        ASSERT_TRUE(LoadWeatherDocument(kWatertune, status));
        ASSERT_TRUE(SetWeatherValueText(Doc(kWatertune), 1, "0.5", status));
        ASSERT_TRUE(ApplyValueLive(Doc(kWatertune), Doc(kWatertune).values[1], status)) << status;
    }
    std::atomic<bool> done{false};
    std::thread hotkey([&done] {
        for (int i = 0; !done.load() || i % 2 != 0; ++i) {
            uint8_t changed = 0;
            ShowWeatherDocsBeforeAfter(i % 2 == 0 ? 1 : 0, &changed);
        }
    });
    for (int frame = 0; frame < 60; ++frame) ui.Frame(DrawWeather);
    done = true;
    hotkey.join();
    ExpectClean("frames beside the hotkey");
    EXPECT_EQ(FloatAt(block + 4), 0.5f);
    EXPECT_EQ(WeatherLive.WatertuneBeforeShown, 0);
}

TEST_F(WeatherTabTest, RenderFileDetail) {
    const size_t row = static_cast<size_t>(FindWeatherDocumentIndex("weather\\thunder_render_mist.xml"));
    ui.Frame(DrawWeather);
    EXPECT_TRUE(Shows("Select a render file."));
    ASSERT_TRUE(ui.ClickItem("    thunder_render_mist.xml", DrawWeather));
    EXPECT_TRUE(Shows("Load .xml first."));
    for (const auto& [warnings, text] : {std::pair<int, const char*>{1, "1 xml warning"}, {2, "2 xml warnings"}}) {
        std::string doc = testsupport::GenerateRenderDocument(4);
        for (int i = 0; i < warnings; ++i) doc += "<Stray value=x/>";
        Load(row, doc);
        ui.Frame(DrawWeather);
        EXPECT_TRUE(Shows(text)) << text;
        EXPECT_FALSE(warnings == 1 && Shows("1 xml warnings"));
    }
    // A render file loaded from the tab is not written to the game.
    EXPECT_TRUE(WeatherLive.RenderLiveStates.empty());

    const std::pair<const char*, const char*> labels[] = {
        {"rage__ptxgpuDropRenderSettings/backgroundDistortionAmount", "backgroundDistortion"},
        {"rage__ptxgpuDropRenderSettings/backgroundDistortionBlurLevel", "backgroundDistortion"},
        {"rage__ptxgpuDropRenderSettings/colour.x", "colour"},
        {"rage__ptxgpuDropRenderSettings/shape.backgroundDistortionScale", "shape/backgroundDistortion"},
        {"rage__ptxgpuDropRenderSettings/shape.size", "shape"},
    };
    for (const auto& [path, label] : labels) EXPECT_EQ(ui::RenderValueGroupLabel(path), label) << path;
}

TEST(WeatherValueRows, ColourTexts) {
    const struct {
        const char* text;
        float rgba[4];
    } cases[] = {{"0xFF336699", {0.2f, 0.4f, 0.6f, 1.0f}}, {"red", {0, 0, 0, 1}}, {"", {0, 0, 0, 1}},
                 {"0x80FF0000", {1, 0, 0, 128.0f / 255.0f}}};
    for (const auto& c : cases) {
        float rgba[4];
        ui::ColorOfText(c.text, rgba);
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(rgba[i], c.rgba[i], 1e-6f) << c.text << " " << i;
    }
    EXPECT_EQ(FormatColorHex(0.2f, 0.4f, 0.6f, 1.0f), "0xFF336699");
}

}  // namespace
