// The pointer map: its two line formats, how a map is built from them, its
// loading (at most one attempt per 5 s), and its targets, which are written
// only inside the game module's writable data.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "platform/simulated.h"
#include "runtime/live_slots.h"
#include "support/fake_drive.h"
#include "support/synthetic_image.h"
#include "visualsettings/binding.h"
#include "visualsettings/param_table.h"
#include "visualsettings/pointer_map.h"
#include "visualsettings/visualsettings_entries.h"

namespace {

using namespace visualsettings;
using testsupport::ImageSection;
using testsupport::SyntheticImage;

std::string Hex(uint64_t v) {
    char b[24];
    std::snprintf(b, sizeof b, "%llx", static_cast<unsigned long long>(v));
    return b;
}

TEST(PointerMapText, MainLines) {
    const struct {
        const char* line;
        const char* key;  // null: skipped
        uint64_t offset;
    } rows[] = {
        {"Misc.Coronas.SizeScaleGlobal = float module+0x1A2B3C section=.data", "misc.coronas.sizescaleglobal", 0x1A2B3C},
        {"a.b = module+0x10 section=.rdata", nullptr, 0},                 // no "section=.data"
        {"module+0x10 a.b = 1 section=.data", nullptr, 0},                // "module+" only before "="
        {"a.b = module+0x section=.data", nullptr, 0},                     // "0x" and no digits
        {"a.b = module+0 section=.data", nullptr, 0},                      // zero
        {"a.b = module+1F40 section=.data", "a.b", 1},                     // decimal: up to the first non-digit
        {"a.b = module+0755 section=.data", "a.b", 493},                   // octal
        {"  A.B#duplicate_0x12  = module+0X20 section=.data", "a.b", 0x20},  // normalised key
        {" = module+0x20 section=.data", nullptr, 0},                     // empty key
        {"a.b module+0x20 section=.data", nullptr, 0},                     // no "="
    };
    for (const auto& r : rows) {
        const std::optional<PointerMapLine> line = ParsePointerMapLine(r.line);
        EXPECT_EQ(line.has_value(), r.key != nullptr) << r.line;
        if (line && r.key) {
            EXPECT_EQ(line->key, r.key) << r.line;
            EXPECT_EQ(line->offset, r.offset) << r.line;
        }
    }
}

TEST(PointerMapText, CompositeLinesAndTheirEntries) {
    const std::optional<ComponentTargetsLine> line =
        ParseComponentTargetsLine(" \tDark.Light.Offset = vec componentTargets=module+0x10, module+0x14 module+0x18,module+0x1C ; module+0x99");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->key, "Dark.Light.Offset");
    EXPECT_EQ(line->targets, (std::vector<uint64_t>{0x10, 0x14, 0x18, 0x1C}));
    EXPECT_FALSE(ParseComponentTargetsLine("k = componentTargets=nothing"));
    EXPECT_FALSE(ParseComponentTargetsLine("k = module+0x10"));
    EXPECT_FALSE(ParseComponentTargetsLine(" = componentTargets=module+0x10")) << "empty key";

    PointerMapData map;
    ParsePointerMapText(map, std::string(" \tDark.Light.Offset = vec componentTargets=module+0x10, module+0x14 "
                                         "module+0x18,module+0x1C\r\nother.key = componentTargets=module+0x40\n"));
    EXPECT_EQ(map.entries.size(), 3u) << "a key without component suffixes adds nothing; the fourth target is ignored";
    EXPECT_EQ(map.entries["dark.light.offset.y"], (std::vector<uint64_t>{0x14}));
    EXPECT_EQ(map.targetCount, 3u);
}

TEST(PointerMapText, BuildingAMap) {
    const std::string main =
        "a.b = module+0x10 section=.data\n"
        "A.B#duplicate_0x1 = module+0x10 section=.data\n"  // the same target once
        "two.targets = module+0x10 section=.data\n"
        "two.targets = module+0x20 section=.data\n"  // two targets: dropped
        "Exposure.curve.offset = module+0x30 section=.data\n"
        "exposure.curve.offset = module+0x34 section=.data\n"  // one of the four that keep several
        "ped.light.direction.x = module+0x1 section=.data\n"
        "ped.light.direction.x = module+0x2 section=.data\n"
        "ped.light.direction.x = module+0x3 section=.data\n"
        "ped.phonelight.color.b = module+0x1 section=.data\n"
        "ped.phonelight.color.b = module+0x2 section=.data\n";  // two of three: left, then dropped
    const PointerMapData map = BuildPointerMap(main, "");
    std::map<std::string, std::vector<uint64_t>> want = {
        {"a.b", {0x10}},
        {"exposure.curve.offset", {0x30, 0x34}},
        {"ped.light.direction.x", {0x1009000000000000ull}},
        {"ped.light.direction.y", {0x1009000000000004ull}},
        {"ped.light.direction.z", {0x1009000000000008ull}},
    };
    EXPECT_EQ(map.entries, want);
    EXPECT_EQ(map.targetCount, 6u);
    EXPECT_EQ(NormalizePointerMapKey("  X.Y#duplicate_0xAB  "), "x.y");
    EXPECT_EQ(VectorKeySuffixes("pedlight.volumecolor").size(), 4u);
    EXPECT_TRUE(VectorKeySuffixes("pedLight.volumeColor").empty()) << "looked up by the normalised key";
}

class PointerMapTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        ResetVisualSettingsForTesting();
        runtime::ResetSlotTablesForTesting();
        platform::sim::UseManualClock(true);
        image_ = std::make_unique<SyntheticImage>();
        data_ = image_->Reserve(ImageSection::Data, 16, 16);
        rdata_ = image_->Reserve(ImageSection::Rdata, 16, 16);
        image_->WriteFloat(data_, 3.25f);
    }
    void TearDown() override {
        image_.reset();
        ResetVisualSettingsForTesting();
        platform::sim::UseManualClock(false);
        FakeDriveTest::TearDown();
    }
    std::string Line(const char* key, uint64_t address) const {
        return std::string(key) + " = float module+0x" + Hex(address - image_->base()) + " section=.data\n";
    }
    std::unique_ptr<SyntheticImage> image_;
    uint64_t data_ = 0, rdata_ = 0;
};

TEST_F(PointerMapTest, LoadsAtMostOncePerFiveSecondsUntilItLoads) {
    PointerMap.mainPath = "C:\\maps\\main.txt";
    std::vector<uint64_t> targets;
    EXPECT_FALSE(FindPointerMapEntry("car.neon.radius", targets));
    EXPECT_FALSE(FindPointerMapEntry("car.neon.radius", targets));
    EXPECT_EQ(PointerMap.fileReads.Get(), 1u) << "a missing file is read once per 5 s";
    PutFile(PointerMap.mainPath, "nothing usable\n");
    platform::sim::AdvanceClock(5000);
    EXPECT_FALSE(FindPointerMapEntry("car.neon.radius", targets));
    EXPECT_EQ(StatusText(PointerMap.status), "Pointer map load failed.");
    PutFile(PointerMap.mainPath, Line("car.neon.radius", data_));
    platform::sim::AdvanceClock(4999);
    EXPECT_FALSE(FindPointerMapEntry("car.neon.radius", targets));
    platform::sim::AdvanceClock(1);
    EXPECT_TRUE(FindPointerMapEntry("Car.Neon.Radius", targets));
    EXPECT_EQ(targets, (std::vector<uint64_t>{data_ - image_->base()}));
    EXPECT_EQ(StatusText(PointerMap.status), "Pointer map loaded: 1 keys / 1 safe .data targets.");
    EXPECT_FALSE(FindPointerMapEntry("Tonemapping.bright.filmic.W.HDR", targets)) << "a hidden key has none";
    EXPECT_EQ(PointerMap.fileReads.Get(), 3u);
}

TEST_F(PointerMapTest, TargetsOutsideTheGamesWritableDataAreRefused) {
    PointerMap.mainPath = "C:\\maps\\main.txt";
    PutFile(PointerMap.mainPath, Line("car.neon.radius", data_) + Line("rain.diffuse", rdata_) +
                                     "car.neon.intensity = module+0x" + Hex(image_->size() + 64) + " section=.data\n");
    EXPECT_EQ(PointerMapTargetAddress(data_ - image_->base()), data_);
    EXPECT_EQ(PointerMapTargetAddress(rdata_ - image_->base()), 0u) << "read-only data";
    EXPECT_EQ(PointerMapTargetAddress(image_->size() + 64), 0u) << "outside the module";
    EXPECT_EQ(PointerMapTargetAddress(image_->SectionStart(ImageSection::Text) - image_->base()), 0u) << "code";
    EXPECT_TRUE(WritePointerMapTargets("car.neon.radius", 1.5f));
    EXPECT_EQ(*reinterpret_cast<const float*>(data_), 1.5f);
    const float before = *reinterpret_cast<const float*>(rdata_);
    EXPECT_FALSE(WritePointerMapTargets("rain.diffuse", 9.0f));
    EXPECT_EQ(*reinterpret_cast<const float*>(rdata_), before);
    EXPECT_FALSE(WritePointerMapTargets("car.neon.intensity", 9.0f));

    BindVisualSettingsParams();
    EXPECT_EQ(FindVisualSettingsParam("car.neon.radius")->liveAddress, data_);
    EXPECT_EQ(FindVisualSettingsParam("car.neon.radius")->defaultValue, 1.5f) << "its game value read once bound";
    EXPECT_EQ(FindVisualSettingsParam("rain.diffuse")->liveAddress, 0u);
    EXPECT_EQ(Binding.pointerMapCount.Get(), 1u);
    EXPECT_EQ(StatusText(PointerMap.status), "Pointer map active: 1 existing UI params bound to 3 .data targets.");
    BindVisualSettingsParams();
    EXPECT_EQ(Binding.pointerMapCount.Get(), 1u);
}

}  // namespace
