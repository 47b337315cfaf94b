// The weather documents in a synthetic game image: the watertune block
// (80 bytes), the lightning block (352), the WeatherTypes table (17 x 196,
// among decoys) and the render blocks (188) with their effect data. Each
// document is applied, checked by reading the game's bytes, and flipped
// between the game's exact bytes (before) and the edits (after); the unload
// leaves the edits.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/core_fixture.h"
#include "platform/memory.h"
#include "platform/simulated.h"
#include "runtime/guarded_memory.h"
#include "runtime/scans.h"
#include "support/memory_peek.h"
#include "support/synthetic_image.h"
#include "support/weather_docs.h"
#include "support/weather_game.h"
#include "weather/document_io.h"
#include "weather/document_live.h"
#include "weather/lightning_fields.h"
#include "weather/live_state.h"
#include "weather/render_live.h"
#include "weather/value_filters.h"
#include "weather/water_lightning_live.h"
#include "weather/weather_xml_live.h"

namespace {

using namespace weather;
using testsupport::ImageSection;
using testsupport::SyntheticImage;
using testsupport::MemoryBytes;
using testsupport::MemoryWord;

constexpr size_t kWatertune = 0;
constexpr size_t kLightning = 1;
constexpr size_t kWeatherXml = 2;

size_t Row(const char* fileName) { return static_cast<size_t>(FindWeatherDocumentIndex(fileName)); }

float Float(uint64_t at) { return std::bit_cast<float>(MemoryWord(at)); }

// A generated render document with its integer texts written as floats, so
// that the synthetic game's block (every slot a float) holds each value as
// the editor writes it.
std::string FloatRenderDocument(uint32_t seed) {
    std::string text = testsupport::GenerateRenderDocument(seed);
    for (const char* integer : {"\"3\"", "'3'"}) {
        for (size_t at = text.find(integer); at != std::string::npos; at = text.find(integer, at))
            text.replace(at + 1, 1, "3.0");
    }
    return text;
}

// A thread of the game that keeps storing to one word of its memory, each
// value above the one before, until it is asked for its last store.
class GameStores {
public:
    explicit GameStores(uint64_t word) : word_(word), thread_([this] { Run(); }) {}
    ~GameStores() { Stop(); }
    GameStores(const GameStores&) = delete;
    GameStores& operator=(const GameStores&) = delete;

    // Asks for the last store and returns once it is made (a hook of the
    // store the editor is about to make calls it).
    void LastStoreNow() {
        lastAsked_.store(true);
        lastMade_.wait(false);
    }
    // Ends the stores (the last one now, unless it was made already) and
    // gives the value of the last.
    uint32_t Stop() {
        lastAsked_.store(true);
        if (thread_.joinable()) thread_.join();
        return last_;
    }

private:
    void Run() {
        std::atomic_ref<uint32_t> word(*reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(word_)));
        uint32_t value = 0x51000000u;
        while (!lastAsked_.load()) word.store(++value);
        word.store(++value);
        last_ = value;
        lastMade_.store(true);
        lastMade_.notify_all();
    }

    uint64_t word_ = 0;
    uint32_t last_ = 0;
    std::atomic<bool> lastAsked_{false};
    std::atomic<bool> lastMade_{false};
    std::thread thread_;
};

// A small weather.xml: two weathers (one named in lower case) and one effect.
const char* const kSmallWeatherXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<CContentsOfWeatherXmlFile>
  <WeatherGpuFx>
    <Item>
      <Name>THUNDER_DROP</Name>
      <windInfluence value="2.5"/>
      <gravity value="-3.25"/>
    </Item>
  </WeatherGpuFx>
  <WeatherTypes>
    <Item>
      <Name>EXTRASUNNY</Name>
      <Sun value="0.9"/>
      <WindMax value="3.5"/>
      <Lightning value="true"/>
      <DropSettingName>-</DropSettingName>
      <CloudSettingsName>STORMclouds</CloudSettingsName>
    </Item>
    <Item>
      <Name>rain</Name>
      <Fog value="0.125"/>
      <GroundSettingName>DESERT_GROUND</GroundSettingName>
    </Item>
  </WeatherTypes>
</CContentsOfWeatherXmlFile>
)";

class WeatherLiveTest : public coretest::CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        ResetWeatherLiveState();
        platform::sim::UseManualClock(true);
    }
    void TearDown() override {
        platform::sim::ClearStoreHooks();
        ResetWeatherLiveState();
        platform::sim::UseManualClock(false);
        CoreTest::TearDown();
    }
    static WeatherDocument& Doc(size_t row) { return WeatherDocuments.WeatherDocumentRegistry[row]; }
    void Put(size_t row, const std::string& text) {
        PutFile(InVrn("Imports\\Weather Files\\" + WeatherDocumentDisplayName(Doc(row))), text);
    }
    void Load(size_t row, const std::string& text) {
        Put(row, text);
        ASSERT_TRUE(LoadWeatherDocument(row, status)) << status;
    }
    const XmlValueRecord& Value(size_t row, const std::string& path) {
        for (const XmlValueRecord& v : Doc(row).values)
            if (v.path == path) return v;
        ADD_FAILURE() << "no value " << path;
        return Doc(row).values.front();
    }
    // Edits a value as a row of the tab does, and applies it.
    bool Edit(size_t row, const std::string& path, const std::string& text) {
        const XmlValueRecord& v = Value(row, path);
        const size_t index = static_cast<size_t>(&v - Doc(row).values.data());
        EXPECT_TRUE(SetWeatherValueText(Doc(row), index, text, status)) << status;
        return ApplyValueLive(Doc(row), Doc(row).values[index], status);
    }
    // The records of a render document text.
    static std::vector<XmlValueRecord> Records(const std::string& text) {
        std::vector<XmlValueRecord> records;
        uint64_t warnings = 0;
        EXPECT_TRUE(ScanXmlValues(text, records, warnings));
        return records;
    }

    SyntheticImage image;
    std::string status;
};

// ---- watertune.xml --------------------------------------------------------------------

TEST_F(WeatherLiveTest, WatertuneWrittenCheckedShownBeforeAndLeftInTheGame) {
    const uint64_t block = image.PlantWatertuneBlock();
    const std::vector<uint8_t> game = MemoryBytes(block, 80);
    Load(kWatertune, testsupport::kWatertuneXml);
    EXPECT_FALSE(ShowWatertuneBefore(status));
    EXPECT_EQ(status, "Watertune before/after skipped: no saved live state.");

    ASSERT_TRUE(ApplyWatertuneLive(Doc(kWatertune), status)) << status;
    EXPECT_EQ(status, "Watertune live applied.");
    EXPECT_EQ(WeatherLive.WatertuneLiveApplied, 1);
    EXPECT_EQ(MemoryWord(block), 0x1A00191Cu);
    EXPECT_EQ(Float(block + 4), 0.08f);
    EXPECT_EQ(Float(block + 12), 7000.0f);
    EXPECT_EQ(Float(block + 64), -4000.0f);
    EXPECT_EQ(Float(block + 76), 8000.0f);

    EXPECT_TRUE(Edit(kWatertune, "MainWaterTune/RippleScale", "0.5")) << status;
    EXPECT_EQ(Float(block + 4), 0.5f);
    ASSERT_TRUE(ShowWatertuneBefore(status)) << status;
    EXPECT_EQ(status, "Watertune before shown.");
    EXPECT_EQ(MemoryBytes(block, 80), game);
    uint8_t changed = 0;
    ShowWeatherDocsBeforeAfter(0, &changed);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(Float(block + 4), 0.5f);
    EXPECT_EQ(WeatherLive.WatertuneBeforeShown, 0);

    const std::vector<uint8_t> edited = MemoryBytes(block, 80);
    ReleaseWeatherEditor();
    EXPECT_EQ(MemoryBytes(block, 80), edited) << "the unload leaves the edited values in the game";
    EXPECT_EQ(Doc(kWatertune).loaded, 0);
}

TEST_F(WeatherLiveTest, WatertuneValueTextsAndFailures) {
    std::array<uint8_t, 80> image80{};
    // WaterColor text, whether it converts and the word it gives: strtoul
    // base 0 with a 32-bit unsigned long (a minus sign negates, a number
    // beyond 32 bits stops at the bound whatever its sign); text with
    // nothing numeric in it, or with anything after the number, is refused.
    const struct {
        const char* text;
        bool ok;
        uint32_t word;
    } colours[] = {
        {"0x1A00191C", true, 0x1A00191Cu}, {"436214044", true, 0x1A00191Cu}, {"020", true, 16u},
        {"0X10", true, 16u},               {"-1", true, 0xFFFFFFFFu},        {"-0x10", true, 0xFFFFFFF0u},
        {" +16", true, 16u},               {"0x1FFFFFFFF", true, 0xFFFFFFFFu}, {"99999999999", true, 0xFFFFFFFFu},
        {"-99999999999", true, 0xFFFFFFFFu}, {"-0x100000001", true, 0xFFFFFFFFu},
        {"red", false, 0},                 {"", false, 0},                   {" ", false, 0},
        {"-", false, 0},                   {"0x", false, 0},                 {"16 ", false, 0},
        {"08", false, 0},                  {"0xFFg", false, 0}};
    for (const auto& [text, convertible, word] : colours) {
        std::string xml = testsupport::kWatertuneXml;
        xml.replace(xml.find("0x1A00191C"), 10, text);
        Load(kWatertune, xml);
        const bool ok = ParseWatertuneImage(Doc(kWatertune), image80, status);
        EXPECT_EQ(ok, convertible) << text;
        if (ok) {
            EXPECT_EQ(MemoryWord(reinterpret_cast<uintptr_t>(image80.data())), word) << text;
        } else {
            EXPECT_EQ(status, "Watertune live failed: invalid hex value in MainWaterTune/WaterColor.") << text;
        }
    }

    const uint64_t block = image.PlantWatertuneBlock();
    const std::vector<uint8_t> game = MemoryBytes(block, 80);
    const struct {
        std::string from, to, message;
    } cases[] = {
        {" y=\"8000.000000\"", "", "Watertune live failed: missing MainWaterTune/FogMax.y."},
        {"0.080000", "1e999", "Watertune live failed: invalid float value in MainWaterTune/RippleScale."},
    };
    for (const auto& c : cases) {
        std::string xml = testsupport::kWatertuneXml;
        xml.replace(xml.find(c.from), c.from.size(), c.to);
        Load(kWatertune, xml);
        EXPECT_FALSE(ApplyWatertuneLive(Doc(kWatertune), status));
        EXPECT_EQ(status, c.message);
        EXPECT_EQ(MemoryBytes(block, 80), game) << "a failed parse writes nothing";
    }
    ReleaseWeatherDocuments();
    EXPECT_FALSE(ApplyWatertuneLive(Doc(kWatertune), status));
    EXPECT_EQ(status, "Watertune live failed: watertune.xml is not loaded.");
}

TEST_F(WeatherLiveTest, WatertuneWithoutItsBlock) {
    Load(kWatertune, testsupport::kWatertuneXml);
    EXPECT_FALSE(ApplyWatertuneLive(Doc(kWatertune), status));
    EXPECT_EQ(status, "Watertune live failed: runtime block not resolved.");
    EXPECT_EQ(WeatherLive.WatertuneSaved, 0);
}

// ---- vfxlightningsettings.xml ----------------------------------------------------------

TEST_F(WeatherLiveTest, LightningFieldsGoWhereTheGameKeepsThem) {
    const uint64_t block = image.PlantLightningBlock();
    const std::vector<uint8_t> game = MemoryBytes(block, 352);
    Load(kLightning, testsupport::kLightningXml);
    ASSERT_TRUE(ApplyVfxLightningLive(Doc(kLightning), status)) << status;
    EXPECT_EQ(status, "VFX Lightning live applied.");
    const std::pair<uint32_t, uint32_t> words[] = {
        {24, 250}, {28, std::bit_cast<uint32_t>(0.2f)}, {64, std::bit_cast<uint32_t>(1.1f)}, {80, 5},
        {100, std::bit_cast<uint32_t>(6.0f)}, {132, 0xFF102030u}, {144, std::bit_cast<uint32_t>(0.09f)},
        {152, 4}, {196, std::bit_cast<uint32_t>(2475.0f)}, {208, std::bit_cast<uint32_t>(180.0f)}, {276, 6},
        {312, 0xFF405060u}, {316, 0xFF708090u}, {348, std::bit_cast<uint32_t>(5.0f)}};
    for (const auto& [offset, word] : words) EXPECT_EQ(MemoryWord(block + offset), word) << offset;
    // Bytes that no field covers keep the game's.
    for (const auto& [from, to] : {std::pair<size_t, size_t>{0, 24}, {32, 64}, {104, 112}, {136, 144}, {200, 208}})
        EXPECT_EQ(MemoryBytes(block + from, to - from), std::vector<uint8_t>(game.begin() + from, game.begin() + to)) << from;
    uint8_t changed = 0;
    ShowWeatherDocsBeforeAfter(1, &changed);
    EXPECT_EQ(changed, 0) << "no edits: nothing to compare";
    ASSERT_TRUE(ShowVfxLightningBefore(status));
    EXPECT_EQ(MemoryBytes(block, 352), game);
}

TEST_F(WeatherLiveTest, LightningWritesOnlyWhatTheDocumentHoldsAndSavesOnce) {
    const uint64_t block = image.PlantLightningBlock();
    const std::vector<uint8_t> game = MemoryBytes(block, 352);
    Load(kLightning,
         "<VfxLightningSettings><lightningShakeIntensity value=\"0.3\"/>"
         "<StrikeSettings><SubdivisionCount value=\"9\"/></StrikeSettings>"
         "<strikeSettings><WidthMin value=\"7.5\"/></strikeSettings></VfxLightningSettings>");
    ASSERT_TRUE(ApplyVfxLightningLive(Doc(kLightning), status)) << status;
    std::vector<uint8_t> expected = game;
    const float shake = 0.3f;
    const uint32_t count = 9;
    std::memcpy(&expected[28], &shake, 4);
    std::memcpy(&expected[276], &count, 4);
    EXPECT_EQ(MemoryBytes(block, 352), expected) << "a path in another case is no field";

    image.WriteU32(block + 8, 0xABCD);  // the game changes a value the document leaves alone
    EXPECT_TRUE(Edit(kLightning, "VfxLightningSettings/StrikeSettings/SubdivisionCount", "10")) << status;
    EXPECT_EQ(MemoryWord(block + 276), 10u);
    ASSERT_TRUE(ShowVfxLightningBefore(status)) << status;
    EXPECT_EQ(MemoryBytes(block, 352), game) << "the copy is the one taken before the first write";
}

// A value that does not convert stops the write there: the fields before
// it (in table order) are written, from it on the block keeps the game's
// bytes.
TEST_F(WeatherLiveTest, LightningTextsThatDoNotConvert) {
    const uint64_t block = image.PlantLightningBlock();
    const std::vector<uint8_t> game = MemoryBytes(block, 352);
    Load(kLightning, testsupport::kLightningXml);
    ASSERT_TRUE(ApplyVfxLightningLive(Doc(kLightning), status)) << status;
    const std::vector<uint8_t> written = MemoryBytes(block, 352);  // every field as the document gives it
    const struct {
        const char* from;
        const char* to;
        const char* path;
        const char* message;
    } cases[] = {
        {"<SubdivisionCount value=\"6\"", "<SubdivisionCount value=\"12.5\"", "StrikeSettings/SubdivisionCount",
         "VFX Lightning live failed: invalid int in VfxLightningSettings/StrikeSettings/SubdivisionCount."},
        {"\"250\"", "\"0x10\"", "lightningOccurranceChance",
         "VFX Lightning live failed: invalid int in VfxLightningSettings/lightningOccurranceChance."},
        {"0xFF102030", "red", "CloudBurstSettings/LightColor",
         "VFX Lightning live failed: invalid color in VfxLightningSettings/CloudBurstSettings/LightColor."},
        {"\"0.200000\"", "\"1e999\"", "lightningShakeIntensity",
         "VFX Lightning live failed: invalid float in VfxLightningSettings/lightningShakeIntensity."},
    };
    for (const auto& c : cases) {
        image.Write(block, game);
        ResetWeatherLiveState();
        std::string xml = testsupport::kLightningXml;
        xml.replace(xml.find(c.from), std::strlen(c.from), c.to);
        Load(kLightning, xml);
        EXPECT_FALSE(ApplyVfxLightningLive(Doc(kLightning), status));
        EXPECT_EQ(status, c.message);
        const LightningField* failing = FindLightningSetting(std::string("VfxLightningSettings/") + c.path);
        ASSERT_NE(failing, nullptr) << c.path;
        std::vector<uint8_t> expected = game;
        for (const LightningField* row = LightningFieldTable.data(); row != failing; ++row)
            std::memcpy(&expected[row->offset], &written[row->offset], 4);
        EXPECT_EQ(MemoryBytes(block, 352), expected) << c.path;
        EXPECT_EQ(WeatherLive.VfxLightningSaved, 1) << "the game's block is saved before the first write";
    }
    EXPECT_EQ(FindLightningSetting("VfxLightningSettings/StrikeSettings/subdivisionCount"), nullptr);
}

// Integer fields convert as strtol base 10 with the game's 32-bit long (a
// number beyond it stops at the bound), colours as strtoul base 0 with its
// 32-bit unsigned long ("-1" is 0xFFFFFFFF); a text with nothing numeric
// in it, or with something after the number, is refused.
TEST_F(WeatherLiveTest, LightningIntegerAndColourTexts) {
    const std::string chance = "VfxLightningSettings/lightningOccurranceChance";
    const std::string base = "VfxLightningSettings/StrikeSettings/BaseColor";
    const struct {
        const std::string& path;
        const char* text;
        bool ok;
        uint32_t word;
    } cases[] = {
        {chance, "250", true, 250u},
        {chance, "-5", true, 0xFFFFFFFBu},
        {chance, " +7", true, 7u},
        {chance, "3000000000", true, 0x7FFFFFFFu},
        {chance, "-3000000000", true, 0x80000000u},
        {chance, "123456789012345678901234567890", true, 0x7FFFFFFFu},
        {chance, "12.5", false, 0},
        {chance, "0x10", false, 0},
        {chance, "7 ", false, 0},
        {chance, "", false, 0},
        {chance, "-", false, 0},
        {chance, "many", false, 0},
        {base, "-1", true, 0xFFFFFFFFu},
        {base, "0xFF405060", true, 0xFF405060u},
        {base, "4282404960", true, 0xFF405060u},
        {base, "0x1FFFFFFFF", true, 0xFFFFFFFFu},
        {base, "-99999999999", true, 0xFFFFFFFFu},
        {base, "red", false, 0},
        {base, "", false, 0},
        {base, "0x", false, 0},
    };
    for (const auto& c : cases) {
        const LightningField* row = FindLightningSetting(c.path);
        ASSERT_NE(row, nullptr);
        XmlValueRecord value;
        value.path = c.path;
        value.currentText = c.text;
        uint32_t word = 0;
        status.clear();
        const bool ok = ConvertVfxLightningValue(value, *row, word, status);
        EXPECT_EQ(ok, c.ok) << c.path << " " << c.text;
        if (ok) {
            EXPECT_EQ(word, c.word) << c.path << " " << c.text;
        } else {
            EXPECT_EQ(status, "VFX Lightning live failed: invalid " +
                                  std::string(row->kind == kLightningColor ? "color" : "int") + " in " + c.path + ".")
                << c.text;
        }
    }
    // Into the game's block.
    const uint64_t block = image.PlantLightningBlock();
    std::string xml = testsupport::kLightningXml;
    xml.replace(xml.find("0xFF405060"), 10, "-1");
    xml.replace(xml.find("\"250\""), 5, "\"3000000000\"");
    Load(kLightning, xml);
    ASSERT_TRUE(ApplyVfxLightningLive(Doc(kLightning), status)) << status;
    EXPECT_EQ(MemoryWord(block + 312), 0xFFFFFFFFu);
    EXPECT_EQ(MemoryWord(block + 24), 0x7FFFFFFFu);
}

// When a block the editor wrote goes away and the search finds it
// elsewhere, the game's bytes are saved again from the new block; "before"
// writes them there, never to the block that went away, and the unload
// writes neither.
TEST_F(WeatherLiveTest, WaterAndLightningBlocksThatMove) {
    const struct {
        size_t row;
        uint64_t size;
        const char* path;
        const char* text;
        bool (*before)(std::string&);
    } documents[] = {
        {kWatertune, 80, "MainWaterTune/RippleScale", "0.5", ShowWatertuneBefore},
        {kLightning, 352, "VfxLightningSettings/lightningShakeIntensity", "0.5", ShowVfxLightningBefore},
    };
    for (const auto& d : documents) {
        ResetWeatherLiveState();
        platform::sim::AdvanceClock(runtime::kSearchRetryIntervalMs);  // the search that found none is due again
        const auto plant = [this, &d] { return d.row == kWatertune ? image.PlantWatertuneBlock() : image.PlantLightningBlock(); };
        // The first block alone on its page, so that the page can go away.
        image.Reserve(ImageSection::Data, 1, 4096);
        const uint64_t a = plant();
        image.Reserve(ImageSection::Data, 1, 4096);
        Load(d.row, d.row == kWatertune ? testsupport::kWatertuneXml : testsupport::kLightningXml);
        ASSERT_TRUE(ApplyDocumentLive(Doc(d.row), status)) << status;
        const std::vector<uint8_t> aWritten = MemoryBytes(a, d.size);

        uint32_t old = 0;
        ASSERT_TRUE(platform::ChangeProtection(a & ~uint64_t(4095), 4096, platform::kPageNoAccess, &old));
        runtime::ResetGuardedMemoryState();
        const uint64_t b = plant();
        image.WriteFloat(b + d.size - 4, 123.0f);  // the game's bytes there differ from the first block's
        const std::vector<uint8_t> bGame = MemoryBytes(b, d.size);
        ASSERT_TRUE(Edit(d.row, d.path, d.text)) << status;
        const std::vector<uint8_t> bEdited = MemoryBytes(b, d.size);
        ASSERT_NE(bEdited, bGame) << "the edit went to the block found anew";

        ASSERT_TRUE(d.before(status)) << status;
        EXPECT_EQ(MemoryBytes(b, d.size), bGame) << "before: the new block's own bytes";
        ASSERT_TRUE(ApplyDocumentLive(Doc(d.row), status)) << status;
        ASSERT_TRUE(platform::ChangeProtection(a & ~uint64_t(4095), 4096, platform::kPageReadWrite, &old));
        runtime::ResetGuardedMemoryState();
        ASSERT_TRUE(d.before(status)) << status;
        EXPECT_EQ(MemoryBytes(b, d.size), bGame);
        EXPECT_EQ(MemoryBytes(a, d.size), aWritten) << "nothing written where the block was";
        ASSERT_TRUE(ApplyDocumentLive(Doc(d.row), status)) << status;
        ReleaseWeatherEditor();
        EXPECT_EQ(MemoryBytes(b, d.size), bEdited) << "the unload leaves the edits";
        EXPECT_EQ(MemoryBytes(a, d.size), aWritten);
    }
}

// A field that cannot be written is named, and the write ends there: the
// block spans two pages and the second goes away after the first apply.
TEST_F(WeatherLiveTest, LightningFieldThatCannotBeWrittenIsNamed) {
    image.Reserve(ImageSection::Data, 4096 - 160, 4096);
    const uint64_t block = image.PlantLightningBlock();
    const uint64_t secondPage = (block + 4095) & ~uint64_t(4095);
    ASSERT_EQ(secondPage, block + 160);
    const std::vector<uint8_t> game = MemoryBytes(block, 352);
    Load(kLightning, testsupport::kLightningXml);
    ASSERT_TRUE(ApplyVfxLightningLive(Doc(kLightning), status)) << status;
    const std::vector<uint8_t> written = MemoryBytes(block, 352);
    image.Write(block, game);

    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(secondPage, 4096, platform::kPageNoAccess, &old));
    EXPECT_FALSE(ApplyVfxLightningLive(Doc(kLightning), status));
    EXPECT_EQ(status, "VFX Lightning live failed: runtime field not writable: "
                      "VfxLightningSettings/CloudBurstSettings/CloudBurstCommonSettings/RootOrbitYVarianceMin.");
    const std::vector<uint8_t> firstPage = MemoryBytes(block, 160);
    EXPECT_EQ(firstPage, std::vector<uint8_t>(written.begin(), written.begin() + 160))
        << "the fields before the one that failed are written";
    ASSERT_TRUE(platform::ChangeProtection(secondPage, 4096, platform::kPageReadWrite, &old));
    EXPECT_EQ(MemoryBytes(secondPage, 192), std::vector<uint8_t>(game.begin() + 160, game.end()));
}

// ---- weather.xml --------------------------------------------------------------------------

TEST(WeatherTypesTable, FoundAmongDecoysAndOnlyWhenUnique) {
    platform::sim::UseManualClock(true);
    const struct {
        int tables;
        int decoys;
        bool found;
    } cases[] = {{1, 0, true}, {1, 3, true}, {0, 3, false}, {2, 0, false}, {2, 2, false}};
    for (const auto& c : cases) {
        ResetWeatherLiveState();
        SyntheticImage image;
        uint64_t table = 0;
        for (int d = 0; d < c.decoys; ++d)
            image.Plant(d % 2 ? ImageSection::Rdata : ImageSection::Data, testsupport::WeatherTypesDecoyBytes(d), 4);
        for (int t = 0; t < c.tables; ++t) table = image.Plant(ImageSection::Data, testsupport::WeatherTypesTableBytes(), 4);
        uint64_t scanned = 0, hits = 0;
        EXPECT_EQ(FindWeatherTypesTable(scanned, hits), c.found ? table : 0) << c.tables << " " << c.decoys;
        EXPECT_EQ(hits, static_cast<uint64_t>(c.tables + c.decoys));
        EXPECT_GT(scanned, 0u);
        if (!c.found) continue;
        EXPECT_EQ(FindWeatherTypesTable(scanned, hits), table);  // kept
        EXPECT_EQ(scanned, 0u);
    }
    // A failed search waits before it scans again; a table planted meanwhile is found then.
    ResetWeatherLiveState();
    SyntheticImage image;
    uint64_t scanned = 0, hits = 0;
    EXPECT_EQ(FindWeatherTypesTable(scanned, hits), 0u);
    const uint64_t table = image.Plant(ImageSection::Data, testsupport::WeatherTypesTableBytes(), 4);
    EXPECT_EQ(FindWeatherTypesTable(scanned, hits), 0u);
    EXPECT_EQ(scanned, 0u);
    platform::sim::AdvanceClock(runtime::kSearchRetryIntervalMs);
    EXPECT_EQ(FindWeatherTypesTable(scanned, hits), table);
    ResetWeatherLiveState();
    platform::sim::UseManualClock(false);
}

class WeatherXmlLiveTest : public WeatherLiveTest {
protected:
    void SetUp() override {
        WeatherLiveTest::SetUp();
        table = image.Plant(ImageSection::Data, testsupport::WeatherTypesTableBytes(), 4);
        gameTable = MemoryBytes(table, kWeatherTypesTableBytes);
        // THUNDER_DROP's render document, not loaded: read from its import copy.
        const std::string render = testsupport::GenerateRenderDocument(21);
        Put(Row("weather\\thunder_render_drop.xml"), render);
        for (int i = 0; i < 2; ++i) blocks[i] = testsupport::PlantRenderBlock(image, testsupport::RenderBlockBytes(Records(render)));
        gameEffects = {MemoryBytes(blocks[0].effect, 8), MemoryBytes(blocks[1].effect, 8)};
        Load(kWeatherXml, kSmallWeatherXml);
    }
    uint64_t Field(size_t weather, uint32_t offset) const { return table + weather * 196 + offset; }

    uint64_t table = 0;
    std::vector<uint8_t> gameTable;
    testsupport::PlantedRenderBlock blocks[2];
    std::vector<std::vector<uint8_t>> gameEffects;
};

TEST_F(WeatherXmlLiveTest, TableAndEffectValuesWrittenSavedOnceAndRestored) {
    ASSERT_TRUE(ApplyWeatherXmlLive(Doc(kWeatherXml), status)) << status;
    EXPECT_EQ(status, "Weather live applied.");
    EXPECT_EQ(Float(Field(0, 0x00)), 0.9f);
    EXPECT_EQ(Float(Field(0, 0x0C)), 3.5f);
    EXPECT_EQ(MemoryWord(Field(0, 0x20)), 1u);
    EXPECT_EQ(MemoryWord(Field(0, 0x24)), 0xFFFFFFFFu) << "\"-\" is no effect";
    EXPECT_EQ(MemoryWord(Field(0, 0xBC)), 0x97564ED1u);
    EXPECT_EQ(Float(Field(6, 0x1C)), 0.125f) << "rain, written in lower case, is RAIN";
    EXPECT_EQ(MemoryWord(Field(6, 0x2C)), 5u);
    for (const auto& b : blocks) {
        EXPECT_EQ(Float(b.effect), 2.5f);
        EXPECT_EQ(Float(b.effect + 4), -3.25f);
    }
    EXPECT_EQ(WeatherLive.WeatherEffectTargets.size(), 4u) << "two fields at each of the two blocks";

    image.WriteU32(Field(3, 0x10), 0x12345678);  // the game changes a value between two applies
    ASSERT_TRUE(ApplyWeatherXmlLive(Doc(kWeatherXml), status)) << status;
    EXPECT_EQ(WeatherLive.WeatherEffectTargets.size(), 4u);
    ASSERT_TRUE(WeatherLiveRestore(status));
    EXPECT_EQ(status, "Weather live restored.");
    EXPECT_EQ(MemoryBytes(table, kWeatherTypesTableBytes), gameTable) << "the bytes from before the first apply";
    for (int i = 0; i < 2; ++i) EXPECT_EQ(MemoryBytes(blocks[i].effect, 8), gameEffects[static_cast<size_t>(i)]);
    EXPECT_FALSE(WeatherLiveRestore(status));
    EXPECT_EQ(status, "Weather live restore skipped: no saved state.");
}

TEST_F(WeatherXmlLiveTest, OneValueAtATime) {
    const struct {
        const char* path;
        const char* text;
        bool ok;
        const char* message;
    } cases[] = {
        {"WeatherTypes/EXTRASUNNY/Lightning", "maybe", false, "Weather live failed: invalid value in WeatherTypes/EXTRASUNNY/Lightning."},
        {"WeatherTypes/EXTRASUNNY/Lightning", "FALSE", true, "Weather live applied."},
        {"WeatherTypes/EXTRASUNNY/CloudSettingsName", "fog", false,
         "Weather live failed: invalid value in WeatherTypes/EXTRASUNNY/CloudSettingsName."},
        {"WeatherTypes/RAIN/GroundSettingName", "-", true, "Weather live applied."},
        {"WeatherGpuFx/THUNDER_DROP/gravity", "-1.5", true, "Weather live applied."},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> before = MemoryBytes(table, kWeatherTypesTableBytes);
        EXPECT_EQ(Edit(kWeatherXml, c.path, c.text), c.ok) << c.path;
        EXPECT_EQ(status, c.message);
        if (!c.ok) {
            EXPECT_EQ(MemoryBytes(table, kWeatherTypesTableBytes), before) << "a text that does not convert writes nothing";
        }
    }
    EXPECT_EQ(MemoryWord(Field(0, 0x20)), 0u);
    EXPECT_EQ(MemoryWord(Field(6, 0x2C)), 0xFFFFFFFFu);
    EXPECT_EQ(Float(blocks[1].effect + 4), -1.5f);
    EXPECT_EQ(Float(blocks[1].effect), 0.75f) << "only the value edited";
    const std::vector<uint8_t> editedTable = MemoryBytes(table, kWeatherTypesTableBytes);
    const std::vector<uint8_t> editedEffect = MemoryBytes(blocks[1].effect, 8);
    ReleaseWeatherEditor();
    EXPECT_EQ(MemoryBytes(table, kWeatherTypesTableBytes), editedTable) << "the unload leaves the edits in the game";
    EXPECT_EQ(MemoryBytes(blocks[1].effect, 8), editedEffect);
}

// A game thread keeps storing to a word between two edited fields while
// the document is applied, its last store made just as the editor writes
// the first field: that store is still there after the apply, as the
// editor writes the fields' own bytes, never the game's between them.
TEST_F(WeatherXmlLiveTest, GameStoresBetweenEditedFieldsStay) {
    const uint64_t lightning = image.PlantLightningBlock();
    Load(kLightning, testsupport::kLightningXml);
    // The blocks found before the game's thread runs: no search of the
    // image reads its word while it stores.
    for (const size_t row : {kLightning, kWeatherXml}) ASSERT_TRUE(ApplyDocumentLive(Doc(row), status)) << status;
    const struct {
        size_t row;
        uint64_t firstField;  // the first field the apply writes
        uint64_t between;     // a word of the game's between two edited fields
    } cases[] = {
        {kLightning, lightning + 24, lightning + 32},   // between lightningShakeIntensity and the burst settings
        {kWeatherXml, Field(0, 0x00), Field(0, 0x10)},  // EXTRASUNNY's Rain, between WindMax and Lightning
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Doc(c.row).fileName);
        GameStores game(c.between);
        bool lastStoreInApply = false;
        platform::sim::AtNextStoreTo(c.firstField, platform::sim::StoreMoment::kBefore, [&] {
            game.LastStoreNow();
            lastStoreInApply = true;
        });
        EXPECT_TRUE(ApplyDocumentLive(Doc(c.row), status)) << status;
        const uint32_t last = game.Stop();
        EXPECT_TRUE(lastStoreInApply);
        EXPECT_EQ(MemoryWord(c.between), last);
    }
}

// A field whose write the game does not keep (it puts a word of its own
// there right after the editor's store) stops the apply with that field's
// mismatch: the fields before it are written, the ones after it and the
// effects keep the game's bytes.
TEST_F(WeatherXmlLiveTest, FieldWriteTheGameDoesNotKeepIsNamed) {
    const uint64_t lightning = image.PlantLightningBlock();
    const std::vector<uint8_t> lightningGame = MemoryBytes(lightning, 352);
    Load(kLightning, testsupport::kLightningXml);
    ASSERT_TRUE(ApplyDocumentLive(Doc(kLightning), status)) << status;
    ASSERT_TRUE(ApplyDocumentLive(Doc(kWeatherXml), status)) << status;
    const std::vector<uint8_t> lightningWritten = MemoryBytes(lightning, 352);
    const std::vector<uint8_t> tableWritten = MemoryBytes(table, kWeatherTypesTableBytes);
    const auto gameBack = [&] {
        image.Write(lightning, lightningGame);
        image.Write(table, gameTable);
        for (int i = 0; i < 2; ++i) image.Write(blocks[i].effect, gameEffects[static_cast<size_t>(i)]);
    };
    gameBack();
    constexpr uint32_t kGamesWord = 0x0BADF00Du;
    const struct {
        size_t row;
        uint64_t field;
        const char* message;
    } cases[] = {
        {kLightning, lightning + 24,
         "VFX Lightning live failed: verification mismatch in VfxLightningSettings/lightningOccurranceChance."},
        {kLightning, lightning + 312,
         "VFX Lightning live failed: verification mismatch in VfxLightningSettings/StrikeSettings/BaseColor."},
        {kWeatherXml, Field(0, 0x0C), "Weather live failed: game weather value check failed."},
        {kWeatherXml, Field(0, 0x20), "Weather live failed: game weather value check failed."},
        {kWeatherXml, Field(0, 0x24), "Weather live failed: game weather setting check failed."},
        {kWeatherXml, Field(0, 0xBC), "Weather live failed: game cloud setting check failed."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const bool isLightning = c.row == kLightning;
        const uint64_t block = isLightning ? lightning : table;
        const std::vector<uint8_t>& written = isLightning ? lightningWritten : tableWritten;
        const std::vector<uint8_t>& game = isLightning ? lightningGame : gameTable;
        platform::sim::AtNextStoreTo(c.field, platform::sim::StoreMoment::kAfter, [&c] {
            std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(c.field))).store(kGamesWord);
        });
        EXPECT_FALSE(ApplyDocumentLive(Doc(c.row), status));
        EXPECT_EQ(status, c.message);
        // Fields are written in address order in both documents.
        const size_t at = c.field - block;
        std::vector<uint8_t> expected(written.begin(), written.begin() + static_cast<ptrdiff_t>(at));
        expected.resize(at + 4);
        std::memcpy(&expected[at], &kGamesWord, 4);
        expected.insert(expected.end(), game.begin() + static_cast<ptrdiff_t>(at + 4), game.end());
        EXPECT_EQ(MemoryBytes(block, game.size()), expected);
        for (int i = 0; i < 2; ++i) EXPECT_EQ(MemoryBytes(blocks[i].effect, 8), gameEffects[static_cast<size_t>(i)]);
        gameBack();
    }
}

// The whole document stops at the first text that does not convert: the
// fields before it (item by item, each in field-table order) are written,
// it and every later field, the effects too, keep the game's bytes.
TEST_F(WeatherXmlLiveTest, WholeDocumentStopsAtATextThatDoesNotConvert) {
    // The fields of kSmallWeatherXml in the order they are applied, with the words they take.
    const struct {
        uint64_t at;
        uint32_t word;
    } fields[] = {
        {Field(0, 0x00), std::bit_cast<uint32_t>(0.9f)},   {Field(0, 0x0C), std::bit_cast<uint32_t>(3.5f)},
        {Field(0, 0x20), 1u},                               {Field(0, 0x24), 0xFFFFFFFFu},
        {Field(0, 0xBC), 0x97564ED1u},                      {Field(6, 0x1C), std::bit_cast<uint32_t>(0.125f)},
        {Field(6, 0x2C), 5u},
    };
    const struct {
        const char* from;
        const char* to;
        size_t stopsAt;  // in fields
        const char* path;
    } cases[] = {
        {"<Lightning value=\"true\"/>", "<Lightning value=\"maybe\"/>", 2, "WeatherTypes/EXTRASUNNY/Lightning"},
        {"<Sun value=\"0.9\"/>", "<Sun value=\"1e999\"/>", 0, "WeatherTypes/EXTRASUNNY/Sun"},
        {"STORMclouds", "fog", 4, "WeatherTypes/EXTRASUNNY/CloudSettingsName"},
        {"DESERT_GROUND", "nowhere", 6, "WeatherTypes/RAIN/GroundSettingName"},
    };
    image.WriteU32(Field(0, 0x20), 7);  // no text converts to it: a word written there shows
    gameTable = MemoryBytes(table, kWeatherTypesTableBytes);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string xml = kSmallWeatherXml;
        xml.replace(xml.find(c.from), std::strlen(c.from), c.to);
        Load(kWeatherXml, xml);
        EXPECT_FALSE(ApplyWeatherXmlLive(Doc(kWeatherXml), status));
        EXPECT_EQ(status, std::string("Weather live failed: invalid value in ") + c.path + ".");
        std::vector<uint8_t> expected = gameTable;
        for (size_t i = 0; i < c.stopsAt; ++i) std::memcpy(&expected[fields[i].at - table], &fields[i].word, 4);
        EXPECT_EQ(MemoryBytes(table, kWeatherTypesTableBytes), expected);
        for (int i = 0; i < 2; ++i) EXPECT_EQ(MemoryBytes(blocks[i].effect, 8), gameEffects[static_cast<size_t>(i)]);
        image.Write(table, gameTable);
    }
}

// A field of the table that cannot be written gives its own message (here
// a setting name's), not the first field's: the table spans two pages and
// the second goes away after the first apply.
TEST_F(WeatherXmlLiveTest, TableFieldThatCannotBeWrittenGivesItsMessage) {
    image.Clear(table, kWeatherTypesTableBytes);  // the fixture's table is no table any more
    // RAIN's Fog (at 1204) on the first page, its GroundSettingName (at 1220) on the second.
    image.Reserve(ImageSection::Data, 4096 - 1212, 4096);
    table = image.Plant(ImageSection::Data, testsupport::WeatherTypesTableBytes(), 4);
    const uint64_t secondPage = (table + 4095) & ~uint64_t(4095);
    ASSERT_EQ(secondPage, table + 1212);
    gameTable = MemoryBytes(table, kWeatherTypesTableBytes);
    ASSERT_TRUE(ApplyWeatherXmlLive(Doc(kWeatherXml), status)) << status;
    image.Write(table, gameTable);

    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(secondPage, 4096, platform::kPageNoAccess, &old));
    EXPECT_FALSE(ApplyWeatherXmlLive(Doc(kWeatherXml), status));
    EXPECT_EQ(status, "Weather live failed: game weather setting not writable.");
    EXPECT_EQ(Float(Field(0, 0x00)), 0.9f) << "the fields before the one that failed are written";
    EXPECT_EQ(Float(Field(6, 0x1C)), 0.125f);
    ASSERT_TRUE(platform::ChangeProtection(secondPage, 4096, platform::kPageReadWrite, &old));
    EXPECT_EQ(MemoryBytes(secondPage, kWeatherTypesTableBytes - 1212),
              std::vector<uint8_t>(gameTable.begin() + 1212, gameTable.end()));
}

// A field written but then not readable (the game takes its page away just
// after the editor's store) is told apart from one not written and from one
// read back with another word, and the message names the entry's own field:
// the lightning document holds four fields only, so an entry's place in the
// write is not its row of the field table. The write ends at that field.
TEST_F(WeatherXmlLiveTest, EachFieldFailureGivesItsOwnMessage) {
    const uint64_t lightning = image.PlantLightningBlock();
    const std::vector<uint8_t> lightningGame = MemoryBytes(lightning, 352);
    Load(kLightning,
         "<VfxLightningSettings><StrikeSettings><BaseColor value=\"0xFF405060\"/><SubdivisionCount value=\"9\"/>"
         "</StrikeSettings><CloudBurstSettings><LightColor value=\"0x80102030\"/></CloudBurstSettings>"
         "<lightningShakeIntensity value=\"0.3\"/></VfxLightningSettings>");
    for (const size_t row : {kLightning, kWeatherXml}) ASSERT_TRUE(ApplyDocumentLive(Doc(row), status)) << status;
    const std::vector<uint8_t> lightningWritten = MemoryBytes(lightning, 352);
    const std::vector<uint8_t> tableWritten = MemoryBytes(table, kWeatherTypesTableBytes);
    enum class Game { TakesPageBeforeStore, TakesPageAfterStore, PutsItsWordAfterStore };
    constexpr uint32_t kGamesWord = 0x0BADF00Du;
    const struct {
        size_t row;
        uint64_t field;
        Game game;
        const char* message;
    } cases[] = {
        {kLightning, lightning + 28, Game::TakesPageAfterStore,
         "VFX Lightning live failed: runtime field not readable: VfxLightningSettings/lightningShakeIntensity."},
        {kLightning, lightning + 132, Game::TakesPageBeforeStore,
         "VFX Lightning live failed: runtime field not writable: VfxLightningSettings/CloudBurstSettings/LightColor."},
        {kLightning, lightning + 276, Game::TakesPageAfterStore,
         "VFX Lightning live failed: runtime field not readable: VfxLightningSettings/StrikeSettings/SubdivisionCount."},
        {kLightning, lightning + 312, Game::PutsItsWordAfterStore,
         "VFX Lightning live failed: verification mismatch in VfxLightningSettings/StrikeSettings/BaseColor."},
        {kWeatherXml, Field(0, 0x0C), Game::TakesPageAfterStore, "Weather live failed: game weather value check unavailable."},
        {kWeatherXml, Field(0, 0x24), Game::TakesPageAfterStore, "Weather live failed: game weather setting check unavailable."},
        {kWeatherXml, Field(0, 0xBC), Game::TakesPageAfterStore, "Weather live failed: game cloud setting check unavailable."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const bool isLightning = c.row == kLightning;
        const uint64_t block = isLightning ? lightning : table;
        const std::vector<uint8_t>& written = isLightning ? lightningWritten : tableWritten;
        const std::vector<uint8_t>& game = isLightning ? lightningGame : gameTable;
        image.Write(block, game);
        bool pageTaken = false;
        uint32_t old = 0;
        const auto moment = c.game == Game::TakesPageBeforeStore ? platform::sim::StoreMoment::kBefore
                                                                 : platform::sim::StoreMoment::kAfter;
        platform::sim::AtNextStoreTo(c.field, moment, [&] {
            if (c.game == Game::PutsItsWordAfterStore)
                std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(c.field))).store(kGamesWord);
            else
                pageTaken = platform::ChangeProtection(c.field, 4, platform::kPageNoAccess, &old);
        });
        EXPECT_FALSE(ApplyDocumentLive(Doc(c.row), status));
        EXPECT_EQ(status, c.message);
        if (pageTaken) {
            ASSERT_TRUE(platform::ChangeProtection(c.field, 4, old, &old));
        }
        // Fields are written in address order: the ones before the field are
        // written, the field holds what the store left, the rest the game's.
        const size_t at = c.field - block;
        std::vector<uint8_t> expected(written.begin(), written.begin() + static_cast<ptrdiff_t>(at) + 4);
        if (c.game == Game::TakesPageBeforeStore) std::memcpy(&expected[at], &game[at], 4);
        if (c.game == Game::PutsItsWordAfterStore) std::memcpy(&expected[at], &kGamesWord, 4);
        expected.insert(expected.end(), game.begin() + static_cast<ptrdiff_t>(at + 4), game.end());
        EXPECT_EQ(MemoryBytes(block, game.size()), expected);
    }
}

TEST_F(WeatherXmlLiveTest, EffectOfARenderDocumentNotInTheGame) {
    image.Clear(blocks[0].block, 188);
    image.Clear(blocks[1].block, 188);
    EXPECT_FALSE(ApplyWeatherXmlLive(Doc(kWeatherXml), status));
    EXPECT_EQ(status, "Weather live failed: matching weather effect is not active in game.");
    EXPECT_NE(MemoryBytes(table, kWeatherTypesTableBytes), gameTable) << "the table was written before the effects";
    ASSERT_TRUE(WeatherLiveRestore(status)) << status;
    EXPECT_EQ(MemoryBytes(table, kWeatherTypesTableBytes), gameTable);
}

// Edits made while "before" is shown wait for "after": the game never shows
// some edits among the game's own values, and "after" shows them all.
TEST_F(WeatherXmlLiveTest, EditsWhileBeforeIsShownWaitForAfter) {
    ASSERT_TRUE(ApplyWeatherXmlLive(Doc(kWeatherXml), status)) << status;
    ASSERT_TRUE(Edit(kWeatherXml, "WeatherTypes/EXTRASUNNY/Sun", "0.25")) << status;
    uint8_t changed = 0;
    ShowWeatherDocsBeforeAfter(1, &changed);
    ASSERT_EQ(changed, 1);
    EXPECT_EQ(MemoryBytes(table, kWeatherTypesTableBytes), gameTable);
    ShowWeatherDocsBeforeAfter(1, &changed);  // a second "before" changes nothing
    EXPECT_EQ(MemoryBytes(table, kWeatherTypesTableBytes), gameTable);

    EXPECT_TRUE(Edit(kWeatherXml, "WeatherTypes/RAIN/Fog", "0.5")) << status;
    EXPECT_EQ(status, "weather.xml before shown: the edit is written when after is shown.");
    EXPECT_EQ(MemoryBytes(table, kWeatherTypesTableBytes), gameTable) << "before stays before";
    EXPECT_EQ(WeatherLive.WeatherXmlBeforeShown, 1);

    changed = 0;
    ShowWeatherDocsBeforeAfter(0, &changed);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(Float(Field(0, 0x00)), 0.25f);
    EXPECT_EQ(Float(Field(6, 0x1C)), 0.5f);
    EXPECT_EQ(Float(Field(0, 0x0C)), 3.5f);
    EXPECT_EQ(Float(blocks[0].effect), 2.5f);
    EXPECT_EQ(WeatherLive.WeatherXmlBeforeShown, 0);
}

// ---- render documents ---------------------------------------------------------------------

TEST_F(WeatherLiveTest, RenderDocumentFoundByItsValuesWrittenInEveryBlock) {
    const size_t row = Row("weather\\thunder_render_drop.xml");  // 8 values from the seventh
    const std::string text = FloatRenderDocument(5);
    const std::vector<uint8_t> game = testsupport::RenderBlockBytes(Records(text));
    const uint64_t a = testsupport::PlantRenderBlock(image, game).block;
    const uint64_t b = testsupport::PlantRenderBlock(image, game).block;
    Load(row, text);
    ASSERT_TRUE(Edit(row, "rage__ptxgpuDropRenderSettings/colour.y", "0.625")) << status;
    EXPECT_EQ(status, "Weather live applied.");
    for (const uint64_t block : {a, b}) {
        std::vector<uint8_t> expected = game;
        const float v = 0.625f;
        std::memcpy(&expected[13 * 4], &v, 4);
        EXPECT_EQ(MemoryBytes(block, 188), expected);
    }
    uint64_t scanned = 1, hits = 0;
    EXPECT_EQ(ResolveWeatherRenderBlocks(Doc(row), &scanned, &hits), a);
    EXPECT_TRUE(scanned == 0 && hits == 2) << "a second apply finds the saved blocks without a scan";

    ASSERT_TRUE(ShowWeatherDocBefore(Doc(row), status)) << status;
    EXPECT_TRUE(MemoryBytes(a, 188) == game && MemoryBytes(b, 188) == game);
    EXPECT_EQ(WeatherLive.CurrentRenderContext.beforeShown, 1);
    ReleaseWeatherEditor();
    EXPECT_TRUE(MemoryBytes(a, 188) == game && MemoryBytes(b, 188) == game) << "the unload writes nothing";
}

// When a document's blocks are found anew (one of them went away), a block
// written before keeps the game's bytes saved before that write.
TEST_F(WeatherLiveTest, RenderBlocksFoundAnewKeepTheGamesSavedBytes) {
    const size_t row = Row("weather\\thunder_render_drop.xml");
    const std::string text = FloatRenderDocument(5);
    const std::vector<uint8_t> game = testsupport::RenderBlockBytes(Records(text));
    const uint64_t a = testsupport::PlantRenderBlock(image, game).block;
    image.Reserve(ImageSection::Data, 1, 4096);
    const uint64_t b = testsupport::PlantRenderBlock(image, game).block;
    image.Reserve(ImageSection::Data, 1, 4096);
    Load(row, text);
    ASSERT_TRUE(Edit(row, "rage__ptxgpuDropRenderSettings/edgeSoftness", "0.125")) << status;  // outside the signature
    ASSERT_NE(MemoryBytes(a, 188), game);

    uint32_t old = 0;
    ASSERT_TRUE(platform::ChangeProtection(b & ~uint64_t(4095), 4096, platform::kPageNoAccess, &old));
    runtime::ResetGuardedMemoryState();
    const std::string other = FloatRenderDocument(6);  // another document becomes the current one
    testsupport::PlantRenderBlock(image, testsupport::RenderBlockBytes(Records(other)));
    Load(Row("weather\\rainstorm_render_drop.xml"), other);
    ASSERT_TRUE(ApplyDocumentLive(Doc(Row("weather\\rainstorm_render_drop.xml")), status)) << status;
    const uint64_t c = testsupport::PlantRenderBlock(image, game).block;

    ASSERT_TRUE(ApplyWeatherRenderLive(Doc(row), status)) << status;
    EXPECT_EQ(WeatherLive.RenderLiveStates[WeatherDocumentFileName(Doc(row))].blocks, (std::vector<uint64_t>{a, c}));
    ASSERT_TRUE(ShowWeatherDocBefore(Doc(row), status)) << status;
    EXPECT_EQ(MemoryBytes(a, 188), game);
    EXPECT_EQ(MemoryBytes(c, 188), game);
    platform::ChangeProtection(b & ~uint64_t(4095), 4096, platform::kPageReadWrite, &old);
}

TEST_F(WeatherLiveTest, RenderDocumentWithTooManyBlocksIsNotResolved) {
    const size_t row = Row("weather\\rainstorm_render_drop.xml");
    const std::string text = testsupport::GenerateRenderDocument(8);
    const std::vector<uint8_t> game = testsupport::RenderBlockBytes(Records(text));
    std::vector<uint64_t> planted;
    for (int i = 0; i < 9; ++i) planted.push_back(testsupport::PlantRenderBlock(image, game).block);
    Load(row, text);
    EXPECT_FALSE(ApplyWeatherRenderLive(Doc(row), status));
    EXPECT_EQ(status, "Weather render live failed: runtime block not resolved.");
    for (const uint64_t block : planted) EXPECT_EQ(MemoryBytes(block, 188), game);
    // Unresolved documents are searched again only after a while (or when loaded anew).
    uint64_t scanned = 0;
    EXPECT_EQ(ResolveWeatherRenderBlocks(Doc(row), &scanned), 0u);
    EXPECT_EQ(scanned, 0u);
    image.Clear(planted[8], 188);
    platform::sim::AdvanceClock(runtime::kSearchRetryIntervalMs);
    EXPECT_TRUE(ApplyWeatherRenderLive(Doc(row), status)) << status;
}

// The block starts where the slot of the signature's first value lies, not
// where its number in the document would put it.
TEST_F(WeatherLiveTest, RenderBlockFoundFromTheSlotOfTheSignaturesFirstValue) {
    const size_t row = Row("weather\\thunder_render_drop.xml");
    const std::string text =
        "<rage__ptxgpuDropRenderSettings>\n"
        "  <textureRowsColsAnim x=\"1.5\" y=\"2.5\" z=\"3.5\"/>\n"
        "  <textureAnimRateScaleOverLife x=\"4.5\" y=\"5.5\"/>\n"
        "  <sizeMinMax x=\"6.5\" y=\"7.5\" z=\"8.5\" w=\"9.5\"/>\n"
        "  <colour x=\"0.1\" y=\"0.2\" z=\"0.3\" w=\"0.4\"/>\n"
        "  <fadeInOut x=\"10.5\" y=\"11.5\"/>\n"
        "</rage__ptxgpuDropRenderSettings>\n";
    const std::vector<XmlValueRecord> records = Records(text);
    std::vector<uint8_t> bytes;
    int32_t firstSlot = -1;
    ASSERT_TRUE(BuildRenderSignature(records, 6, 8, bytes, firstSlot));
    EXPECT_EQ(firstSlot, 9);  // the seventh value is sizeMinMax.y
    const std::vector<uint8_t> game = testsupport::RenderBlockBytes(records);
    const testsupport::PlantedRenderBlock planted = testsupport::PlantRenderBlock(image, game);
    const std::vector<uint8_t> effect = MemoryBytes(planted.effect, 152);
    Load(row, text);
    ASSERT_TRUE(Edit(row, "rage__ptxgpuDropRenderSettings/sizeMinMax.x", "60.5")) << status;
    std::vector<uint8_t> expected = game;
    const float v = 60.5f;
    std::memcpy(&expected[8 * 4], &v, 4);
    EXPECT_EQ(MemoryBytes(planted.block, 188), expected);
    EXPECT_EQ(MemoryBytes(planted.effect, 152), effect) << "nothing written before the block";

    // A run whose slots do not follow one another is no signature.
    const std::vector<XmlValueRecord> gap = Records(
        "<rage__ptxgpuDropRenderSettings><rotSpeedMinMax x=\"1\" y=\"2\"/>"
        "<directionalZOffsetMinMax x=\"3\" y=\"4\" z=\"5\"/></rage__ptxgpuDropRenderSettings>");
    EXPECT_FALSE(BuildRenderSignature(gap, 0, 4, bytes, firstSlot));
    EXPECT_TRUE(BuildRenderSignature(gap, 2, 3, bytes, firstSlot));
    EXPECT_EQ(firstSlot, 28);
}

TEST_F(WeatherLiveTest, RenderDocumentsFoundByTheirFieldImage) {
    // pollen_render_drop.xml is found from its full field image: a window of
    // slots when there is one, else blocks that hold every value.
    const size_t row = Row("weather\\pollen_render_drop.xml");
    const std::string windowed = FloatRenderDocument(11);
    const std::vector<uint8_t> game = testsupport::RenderBlockBytes(Records(windowed));
    const uint64_t block = testsupport::PlantRenderBlock(image, game).block;
    Load(row, windowed);
    ASSERT_TRUE(Edit(row, "rage__ptxgpuDropRenderSettings/edgeSoftness", "0.375")) << status;
    EXPECT_EQ(Float(block + 36 * 4), 0.375f);

    // A window found in more than eight places: the blocks that hold every
    // value are found by single values (1.00005 being too near 1 for one).
    ResetWeatherLiveState();
    const size_t mist = Row("weather\\snowheavy_render_mist.xml");
    const std::string sparse =
        "<rage__ptxgpuDropRenderSettings><textureRowsColsStartEnd x=\"0.35\" y=\"0.45\" z=\"0.55\" w=\"0.65\"/>"
        "<textureAnimRateScaleOverLifeStart2End2 x=\"1.00005\" y=\"2.5\" z=\"3.5\" w=\"4.5\"/>"
        "<edgeSoftness value=\"5.5\"/><localLightsMultiplier value=\"6.5\"/></rage__ptxgpuDropRenderSettings>";
    const std::vector<uint8_t> sparseGame = testsupport::RenderBlockBytes(Records(sparse));
    const uint64_t a = testsupport::PlantRenderBlock(image, sparseGame).block;
    std::vector<uint8_t> decoy = sparseGame;  // the window, not every value
    decoy[36 * 4] ^= 1;
    for (int i = 0; i < 9; ++i) testsupport::PlantRenderBlock(image, decoy);
    Load(mist, sparse);
    uint64_t hits = 0;
    EXPECT_EQ(ResolveWeatherRenderBlocks(Doc(mist), nullptr, &hits), a);
    EXPECT_EQ(hits, 1u);
    EXPECT_EQ(WeatherLive.CurrentRenderContext.documentName, "weather\\snowheavy_render_mist.xml");
}

// A value the file writes as an integer text goes into its slot as a
// 32-bit integer (strtol base 10 with the game's 32-bit long), any other as
// a 32-bit float; an integer field takes only a text that is wholly a
// decimal number.
TEST_F(WeatherLiveTest, RenderValueTexts) {
    const size_t row = Row("weather\\thunder_render_drop.xml");
    Load(row, "<rage__ptxgpuDropRenderSettings><backgroundDistortionBlurLevel value=\"2\"/><colour x=\"0.5\"/>"
              "</rage__ptxgpuDropRenderSettings>");
    const char* const kBlur = "rage__ptxgpuDropRenderSettings/backgroundDistortionBlurLevel";
    const char* const kColour = "rage__ptxgpuDropRenderSettings/colour.x";
    const struct {
        const char* path;
        const char* text;
        bool ok;
        uint32_t slot43;  // backgroundDistortionBlurLevel
        uint32_t slot12;  // colour.x
    } cases[] = {
        {kBlur, "2", true, 2u, std::bit_cast<uint32_t>(0.5f)},
        {kBlur, "-7", true, 0xFFFFFFF9u, std::bit_cast<uint32_t>(0.5f)},
        {kBlur, "+3", true, 3u, std::bit_cast<uint32_t>(0.5f)},
        {kBlur, "4000000000", true, 0x7FFFFFFFu, std::bit_cast<uint32_t>(0.5f)},
        {kColour, "3", true, 0x7FFFFFFFu, std::bit_cast<uint32_t>(3.0f)},  // a float field stays a float
        {kColour, "2.5e1", true, 0x7FFFFFFFu, std::bit_cast<uint32_t>(25.0f)},
        {kBlur, "2.5", false, 0, 0},
        {kBlur, "12abc", false, 0, 0},
        {kBlur, "0x10", false, 0, 0},
        {kBlur, "", false, 0, 0},
        {kColour, "1e999", false, 0, 0},
    };
    for (const auto& c : cases) {
        const XmlValueRecord& v = Value(row, c.path);
        ASSERT_TRUE(SetWeatherValueText(Doc(row), static_cast<size_t>(&v - Doc(row).values.data()), c.text, status));
        uint32_t slots[47] = {};
        const bool ok = ConvertDropRenderValue(Doc(row), slots, status);
        EXPECT_EQ(ok, c.ok) << c.path << " " << c.text;
        if (ok) {
            EXPECT_EQ(slots[43], c.slot43) << c.text;
            EXPECT_EQ(slots[12], c.slot12) << c.text;
        } else {
            EXPECT_EQ(status, std::string("Weather render live failed: invalid ") + (c.path == kBlur ? "int" : "float") +
                                  " in " + c.path + ".")
                << c.text;
        }
        if (!ok) {  // back to a text that converts for the next case
            ASSERT_TRUE(SetWeatherValueText(Doc(row), static_cast<size_t>(&v - Doc(row).values.data()), "1", status));
        }
    }
}

// The integer and float fields of a render document in the game's block.
TEST_F(WeatherLiveTest, RenderIntegerAndFloatFieldsWritten) {
    const size_t row = Row("weather\\thunder_render_drop.xml");  // 8 values from the seventh
    const std::string text =
        "<rage__ptxgpuDropRenderSettings>\n"
        "  <textureRowsColsStartEnd x=\"1.5\" y=\"2.5\" z=\"3.5\" w=\"4.5\"/>\n"
        "  <textureAnimRateScaleOverLifeStart2End2 x=\"5.5\" y=\"6.5\" z=\"7.5\" w=\"8.5\"/>\n"
        "  <sizeMinMax x=\"9.5\" y=\"10.5\" z=\"11.5\" w=\"12.5\"/>\n"
        "  <colour x=\"0.1\" y=\"0.2\" z=\"0.3\" w=\"0.4\"/>\n"
        "  <edgeSoftness value=\"0.75\"/>\n"
        "  <backgroundDistortionBlurLevel value=\"2\"/>\n"
        "</rage__ptxgpuDropRenderSettings>\n";
    std::vector<uint8_t> game = testsupport::RenderBlockBytes(Records(text));
    const uint32_t gameBlur = 1;  // the game keeps the field as an integer
    std::memcpy(&game[43 * 4], &gameBlur, 4);
    const uint64_t block = testsupport::PlantRenderBlock(image, game).block;
    Load(row, text);
    ASSERT_TRUE(ApplyWeatherRenderLive(Doc(row), status)) << status;
    EXPECT_EQ(MemoryWord(block + 43 * 4), 2u) << "the integer 2, not the bits of 2.0f";
    EXPECT_EQ(Float(block + 36 * 4), 0.75f);
    EXPECT_EQ(Float(block + 13 * 4), 0.2f);
    ASSERT_TRUE(Edit(row, "rage__ptxgpuDropRenderSettings/backgroundDistortionBlurLevel", "3")) << status;
    EXPECT_EQ(MemoryWord(block + 43 * 4), 3u);
    ASSERT_TRUE(Edit(row, "rage__ptxgpuDropRenderSettings/edgeSoftness", "4")) << status;
    EXPECT_EQ(Float(block + 36 * 4), 4.0f) << "a float field written as an integer text stays a float";
    const std::vector<uint8_t> before = MemoryBytes(block, 188);
    EXPECT_FALSE(Edit(row, "rage__ptxgpuDropRenderSettings/backgroundDistortionBlurLevel", "2.5"));
    EXPECT_EQ(status, "Weather render live failed: invalid int in rage__ptxgpuDropRenderSettings/backgroundDistortionBlurLevel.");
    EXPECT_EQ(MemoryBytes(block, 188), before) << "a text that does not convert writes nothing";
    ASSERT_TRUE(ShowWeatherDocBefore(Doc(row), status)) << status;
    EXPECT_EQ(MemoryBytes(block, 188), game);
}

TEST_F(WeatherLiveTest, RenderValuesThatDoNotConvert) {
    const size_t row = Row("weather\\thunder_render_drop.xml");
    const std::string text = testsupport::GenerateRenderDocument(5);
    const std::vector<uint8_t> game = testsupport::RenderBlockBytes(Records(text));
    const uint64_t block = testsupport::PlantRenderBlock(image, game).block;
    std::string extra = text;
    extra.insert(extra.find("</rage__ptxgpuDropRenderSettings>"), "<unknownThing value=\"1\"/>");
    Load(row, extra);
    EXPECT_FALSE(ApplyWeatherRenderLive(Doc(row), status));
    EXPECT_EQ(status, "Weather render live failed: unsupported field rage__ptxgpuDropRenderSettings/unknownThing.");
    EXPECT_EQ(MemoryBytes(block, 188), game);
    const WeatherDocument other{"weather\\unknown_render.xml", "x", "Weather Render"};
    EXPECT_FALSE(ApplyWeatherRenderLive(other, status));
    EXPECT_EQ(status, "Weather render live failed: this .xml is not runtime-verified.");
}

// ---- every document together ----------------------------------------------------------------

class AllDocumentsTest : public WeatherXmlLiveTest {
protected:
    void SetUp() override {
        WeatherXmlLiveTest::SetUp();
        water = image.PlantWatertuneBlock();
        lightning = image.PlantLightningBlock();
        const std::string text = testsupport::GenerateRenderDocument(31);
        render = testsupport::PlantRenderBlock(image, testsupport::RenderBlockBytes(Records(text))).block;
        renderRow = Row("weather\\blizzard_render_drop.xml");
        Load(kWatertune, testsupport::kWatertuneXml);
        Load(kLightning, testsupport::kLightningXml);
        Load(renderRow, text);
        game = Snapshot();
    }
    std::vector<std::vector<uint8_t>> Snapshot() const {
        return {MemoryBytes(water, 80), MemoryBytes(lightning, 352), MemoryBytes(table, kWeatherTypesTableBytes), MemoryBytes(render, 188),
                MemoryBytes(blocks[0].effect, 8), MemoryBytes(blocks[1].effect, 8)};
    }
    void ApplyAll() {
        for (size_t row : {kWatertune, kLightning, kWeatherXml, renderRow})
            ASSERT_TRUE(ApplyDocumentLive(Doc(row), status)) << status;
        ASSERT_TRUE(Edit(kWatertune, "MainWaterTune/RippleScale", "0.75")) << status;
        ASSERT_TRUE(Edit(kLightning, "VfxLightningSettings/lightningShakeIntensity", "0.5")) << status;
        ASSERT_TRUE(Edit(kWeatherXml, "WeatherGpuFx/THUNDER_DROP/windInfluence", "4.5")) << status;
        ASSERT_TRUE(Edit(renderRow, "rage__ptxgpuDropRenderSettings/edgeSoftness", "0.125")) << status;
    }

    uint64_t water = 0, lightning = 0, render = 0;
    size_t renderRow = 0;
    std::vector<std::vector<uint8_t>> game;
};

TEST_F(AllDocumentsTest, TheAllLiveSwitchFlipsEveryDocument) {
    ApplyAll();
    const std::vector<std::vector<uint8_t>> after = Snapshot();
    for (size_t i = 0; i < game.size(); ++i) EXPECT_NE(after[i], game[i]) << i;
    uint8_t changed = 0;
    ShowWeatherDocsBeforeAfter(1, &changed);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(Snapshot(), game);
    changed = 0;
    ShowWeatherDocsBeforeAfter(0, &changed);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(Snapshot(), after);
    changed = 0;
    ShowWeatherDocsBeforeAfter(0, &changed);  // nothing is shown as "before": nothing to do
    EXPECT_EQ(changed, 0);
    ReleaseWeatherEditor();
    EXPECT_EQ(Snapshot(), after) << "the unload leaves the edits in the game";
    for (const WeatherDocument& d : WeatherDocuments.WeatherDocumentRegistry) EXPECT_EQ(d.loaded, 0);
    EXPECT_TRUE(WeatherLive.RenderLiveStates.empty());
}

TEST_F(AllDocumentsTest, NoSearchFindsTheEditorsCopies) {
    ApplyAll();
    const std::vector<const OwnCopy*> copies = {&WeatherLive.WatertuneOriginal, &WeatherLive.VfxLightningOriginal,
                                                &WeatherLive.WeatherTypesTableOriginal,
                                                &WeatherLive.RenderLiveStates.begin()->second.savedImages,
                                                &WeatherLive.scratch};
    for (const OwnCopy* copy : copies) {
        ASSERT_GE(copy->size(), 16u);
        std::vector<runtime::ValueSignature> signature(1);
        signature[0].bytes.assign(copy->data(), copy->data() + 16);
        uint64_t scanned = 0;
        runtime::ScanReadableMemory(reinterpret_cast<uintptr_t>(copy->data()), copy->size(), signature, scanned);
        EXPECT_EQ(signature[0].hitCount, 0u) << "a copy of " << copy->size() << " bytes was found";
    }
    const auto& targets = WeatherLive.WeatherEffectTargets;
    std::vector<runtime::ValueSignature> signature(1);
    runtime::AppendSignatureU32(signature[0], targets.front().saved);
    uint64_t scanned = 0;
    runtime::ScanReadableMemory(reinterpret_cast<uintptr_t>(targets.data()), targets.size() * sizeof targets[0],
                                signature, scanned);
    EXPECT_EQ(signature[0].hitCount, 0u);
}

}  // namespace

namespace {

// Every document of the registry at once, each render file with its own
// block found by its own values: all apply and flip between the game's
// bytes and the edits exactly; the unload leaves the edits.
TEST(EveryDocument, AppliesAndFlipsExactly) {
    ResetWeatherLiveState();
    ReleaseWeatherDocuments();
    platform::sim::UseManualClock(true);
    {
        SyntheticImage image;
        const testsupport::WeatherGame game = testsupport::PlantAndLoadEveryDocument(image);
        const std::vector<uint8_t> before = image.Bytes();
        std::string status;
        for (WeatherDocument& d : WeatherDocuments.WeatherDocumentRegistry) {
            ASSERT_TRUE(ApplyDocumentLive(d, status)) << d.fileName << ": " << status;
            size_t live = d.values.size() - 1;  // the last value the game has
            while (!IsLiveSupportedValue(d, d.values[live])) --live;
            ASSERT_TRUE(SetWeatherValueText(d, live, "7", status)) << status;
            ASSERT_TRUE(ApplyValueLive(d, d.values[live], status)) << d.fileName << ": " << status;
        }
        EXPECT_EQ(WeatherLive.RenderLiveStates.size(), 24u);
        for (size_t i = 0; i < game.render.size(); ++i)
            EXPECT_EQ(WeatherLive.RenderLiveStates.at(WeatherDocuments.WeatherDocumentRegistry[i + 3].fileName).blocks,
                      std::vector<uint64_t>{game.render[i].block})
                << WeatherDocuments.WeatherDocumentRegistry[i + 3].fileName;
        const std::vector<uint8_t> after = image.Bytes();
        EXPECT_NE(after, before);
        uint8_t changed = 0;
        ShowWeatherDocsBeforeAfter(1, &changed);
        EXPECT_TRUE(image.Bytes() == before) << "before: the game's bytes everywhere";
        ShowWeatherDocsBeforeAfter(0, &changed);
        EXPECT_TRUE(image.Bytes() == after);
        ReleaseWeatherEditor();
        EXPECT_TRUE(image.Bytes() == after) << "the unload leaves the edits in the game";
    }
    ResetWeatherLiveState();
    platform::sim::UseManualClock(false);
}

}  // namespace
