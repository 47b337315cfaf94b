// The parameter table against what the editor's design states about it:
// the counts, the key order, a sample of rows read by hand, the key filters,
// the encodings and the start-up reset.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "core/text.h"
#include "runtime/data_signatures.h"
#include "runtime/heap_scan.h"
#include "runtime/live_slots.h"
#include "visualsettings/param_table.h"
#include "visualsettings/runtime_keys.h"

namespace {

using namespace visualsettings;

constexpr uint64_t kTags = runtime::kLiveHandleTimecycle | runtime::kLiveHandleSecondary | runtime::kLiveHandleSignature;

// FNV-1a 64 over every key followed by a newline.
template <typename Keys>
uint64_t KeyHash(const Keys& keys) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (const char* key : keys) {
        for (const char* p = key;; ++p) {
            h ^= static_cast<uint8_t>(*p != '\0' ? *p : '\n');
            h *= 0x100000001b3ull;
            if (*p == '\0') break;
        }
    }
    return h;
}

VisualSettingsParam& Row(const char* key) {
    VisualSettingsParam* row = FindVisualSettingsParam(key);
    EXPECT_NE(row, nullptr) << key;
    return row != nullptr ? *row : AllParams()[0];
}

class ParamTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetParamTableForTesting();
        runtime::ResetSlotTablesForTesting();
    }
    void TearDown() override { SetUp(); }
};

TEST_F(ParamTableTest, ArraysHoldTheirRowsInWalkOrder) {
    const size_t rows[kParamArrayCount] = {39, 8, 30, 7, 6, 39, 29, 52, 8, 8, 7, 4, 8, 2, 4, 53, 28, 8, 28,
                                           39, 84, 3, 53, 70, 84, 11, 15, 86, 28, 32, 48, 40, 17, 47, 3, 84, 1, 24,
                                           20, 11, 30, 4, 2, 7, 6, 5, 9, 2, 3, 2, 4, 6, 1, 8, 49};
    ASSERT_EQ(ParamArrays().size(), kParamArrayCount);
    size_t total = 0;
    for (size_t a = 0; a < kParamArrayCount; ++a) {
        EXPECT_EQ(ParamArrays()[a].count, rows[a]) << "array " << a + 1;
        EXPECT_EQ(ParamArrays()[a].rows, AllParams().data() + total) << "array " << a + 1;
        total += rows[a];
    }
    EXPECT_EQ(total, 1306u);
    std::vector<const char*> keys;
    std::set<std::string> folded;
    for (const VisualSettingsParam& row : AllParams()) {
        keys.push_back(row.key);
        std::string lower = row.key;
        for (char& c : lower) c = core::LowerByte(c);
        folded.insert(lower);
    }
    EXPECT_EQ(folded.size(), 1306u) << "keys unique also when case is ignored";
    EXPECT_EQ(KeyHash(keys), 0x79c5989846114e10ull) << "the keys in walk order";
    const char* firsts[] = {"misc.coronas.sizeScaleGlobal", "Tonemapping.bright.filmic.A", "trafficLight.near.intensity",
                            "heightReflect.height", "fsr3.masks.enabled"};
    const size_t arrays[] = {1, 2, 7, 41, 55};
    for (size_t i = 0; i < 5; ++i) EXPECT_STREQ(ParamArrays()[arrays[i] - 1].firstKey, firsts[i]);
}

TEST_F(ParamTableTest, ColumnsCountAsStated) {
    std::map<int, int> kinds, units, extras;
    std::map<std::pair<float, float>, int> ranges;
    int zero = 0, untagged = 0, preset = 0, recapture = 0, defaults = 0;
    for (const VisualSettingsParam& row : AllParams()) {
        const ParamDef& s = *row.def;
        ++kinds[s.kind];
        ++units[s.unit];
        ++extras[s.extraCount];
        if (s.minimum != 0.0f || s.maximum != 0.0f) ++ranges[{s.minimum, s.maximum}];
        zero += s.targetGiven && s.target == 0;
        untagged += s.targetGiven && s.target != 0 && (s.target & kTags) == 0;
        preset += s.preset;
        recapture += s.recapture;
        defaults += s.defaultGiven;
    }
    EXPECT_EQ(kinds, (std::map<int, int>{{0, 1208}, {1, 37}, {2, 20}, {3, 2}, {4, 13}, {5, 13}, {6, 13}}));
    EXPECT_EQ(units, (std::map<int, int>{{0, 1303}, {1, 2}, {2, 1}}));
    EXPECT_EQ(extras, (std::map<int, int>{{0, 1174}, {1, 86}, {2, 15}, {3, 13}, {4, 4}, {5, 14}}));
    const std::map<std::pair<float, float>, int> stated = {
        {{0, 1}, 80},  {{0, 4}, 19},  {{0, 8192}, 12}, {{0, 2000}, 9},   {{-10, 10}, 8},
        {{0, 4096}, 5}, {{0, 2}, 4},  {{0, 60}, 2},    {{0, 24}, 2},     {{-5, 5}, 2},
        {{1, 1000}, 1}, {{1, 5000}, 1}, {{0, 1000}, 1}, {{0, 64}, 1},    {{1, 64}, 1}};
    EXPECT_EQ(ranges, stated);
    EXPECT_EQ(zero, 20) << "19 rows without a location and the bright filmic A at offset 0";
    EXPECT_EQ(untagged, 133) << "coronas 39, bright filmic 7, runtime-table offsets 87";
    EXPECT_EQ(preset, 8);
    EXPECT_EQ(recapture, 10);
    EXPECT_EQ(defaults, 129) << "the defaults stated; the others are the game build's";
}

TEST_F(ParamTableTest, SampleRowsAsReadByHand) {
    const struct {
        const char* key;
        int array;
        const char* fields;  // default, range, kind, unit, target, extras as the data writes them
    } rows[] = {
        {"misc.coronas.m_doNGCoronas", 1, "- 0..1 0 0 0xCC5C 0"},
        {"misc.coronas.m_rotationSpeed", 1, "- - 0 0 0xCC68 0"},
        {"Tonemapping.bright.filmic.exposure", 2, "- -10..10 0 0 0x1C 0"},
        {"car.lod.distance.low", 6, "180 1..5000 0 0 0x0 0"},
        {"trafficLight.amber.color.red", 7, "- - 0 0 0x1003000000000070 1"},
        {"lensflare.show.length", 15, "264 0..2000 1 0 ? 0"},
        {"hdr.game.cc.enabled", 25, "0 0..1 3 0 ? 0"},
        {"seeThrough.ColorVisibleWarm.green", 27, "0.65 0..1 5 0 ? 0"},
        {"plane.emergency.left.light.rotation", 28, "270 - 0 1 ? 0"},
        {"bokeh.sizeMultiplier", 36, "1.3 - 0 0 0x910 0"},
        {"weather.CycleDuration", 41, "120 - 1 2 ? 0"},
        {"puddles.scale", 41, "- - 0 0 ? 5"},
        {"dark.volumeColor.w", 16, "- - 0 0 0x100E00000000005C 0"},
        {"adaptivedof.gridsize", 55, "15 1..64 1 0 ? 0"},
        {"bloom.airy.colour2.blue", 55, "- 0..2 0 0 0x208 0"},
    };
    auto text = [](const ParamDef& s) {
        char b[160];
        auto f = [](float v) {
            char t[32];
            std::snprintf(t, sizeof t, "%g", static_cast<double>(v));
            return std::string(t);
        };
        const std::string range = s.minimum == 0 && s.maximum == 0 ? "-" : f(s.minimum) + ".." + f(s.maximum);
        char target[24] = "?";
        if (s.targetGiven) std::snprintf(target, sizeof target, "0x%llX", static_cast<unsigned long long>(s.target));
        std::snprintf(b, sizeof b, "%s %s %d %d %s %d", s.defaultGiven ? f(s.defaultValue).c_str() : "-", range.c_str(),
                      s.kind, s.unit, target, s.extraCount);
        return std::string(b);
    };
    for (const auto& r : rows) {
        const VisualSettingsParam* row = FindVisualSettingsParam(r.key);
        ASSERT_NE(row, nullptr) << r.key;
        EXPECT_EQ(row->def->array, r.array) << r.key;
        EXPECT_EQ(text(*row->def), r.fields) << r.key;
    }
    EXPECT_EQ(Row("trafficLight.amber.color.red").def->extraTargets[0], 0x100300000000007Cull)
        << "the fourth float of the colour vector";
}

TEST_F(ParamTableTest, RuntimeSliderKeysAreRowsAddressedByTheirTableOffset) {
    ASSERT_EQ(RuntimeSliderKeys().size(), 89u);
    std::vector<const char*> keys;
    for (const RuntimeSliderKey& k : RuntimeSliderKeys()) {
        keys.push_back(k.key);
        const VisualSettingsParam* row = FindVisualSettingsParam(k.key);
        ASSERT_NE(row, nullptr) << k.key;
        const bool tagged = std::string(k.key) == "sky.cloudWarp" || std::string(k.key) == "shadows.cloudtexture.scale";
        if (tagged) {
            EXPECT_FALSE(row->def->targetGiven) << k.key;
        } else {
            EXPECT_EQ(row->def->target, k.offset) << k.key;
        }
    }
    EXPECT_EQ(KeyHash(keys), 0x98f5c96f077852e1ull) << "the keys in lookup order";
    // The seven that identify the table are the runtime's fingerprint.
    ASSERT_EQ(RuntimePatternKeys().size(), static_cast<size_t>(runtime::kVisualSettingsFingerprintRows));
    for (size_t i = 0; i < RuntimePatternKeys().size(); ++i) {
        const RuntimeSliderKey& k = RuntimePatternKeys()[i];
        const runtime::VisualSettingsFingerprintRow& f = runtime::VisualSettingsFingerprint[i];
        EXPECT_STREQ(k.key, f.key);
        EXPECT_EQ(k.offset, f.offset);
        EXPECT_EQ(k.defaultBits, f.defaultBits);
        EXPECT_EQ(k.alternateDefaultBits, f.alternateDefaultBits);
        EXPECT_EQ(k.bits, f.guardBits);
    }
    EXPECT_EQ(RuntimeReferenceKeys().size(), 45u);
    EXPECT_STREQ(RuntimeReferenceKeys().back().key, "hdr.ui.alphaAdjustment.enabled");
    EXPECT_EQ(FindRuntimeSliderKey("sky.sun.centreStart"), &RuntimePatternKeys()[0]);
    EXPECT_EQ(FindRuntimeSliderKey("Sky.sun.centreStart"), nullptr);
    EXPECT_EQ(FindRuntimeSliderKey(nullptr), nullptr);
}

TEST_F(ParamTableTest, LookupIsExactAndTheFiltersAsStated) {
    EXPECT_NE(FindVisualSettingsParam("trafficlight.near.falloffExp"), nullptr);
    EXPECT_EQ(FindVisualSettingsParam("trafficLight.near.falloffExp"), nullptr) << "case-sensitive";
    EXPECT_EQ(FindVisualSettingsParam("MISC.CORONAS.SIZESCALEGLOBAL"), nullptr);
    EXPECT_EQ(FindVisualSettingsParam(nullptr), nullptr);

    const struct {
        const char* key;
        bool vetoed;
    } veto[] = {{"shadows.cloudtexture.scale", false},  // a runtime slider key
                {"Tonemapping.bright.filmic.W.HDR", true},
                {"bloom.airy.colour2.red", false},
                {"bloom.airy.colour2.alpha", true},
                {"Bloom.airy.colour2.alpha", false},  // the prefix test is case-sensitive
                {"misc.coronas.sizeScaleGlobal", false},
                {nullptr, false}};
    for (const auto& v : veto) EXPECT_EQ(IsVetoedKey(v.key), v.vetoed) << (v.key ? v.key : "null");
    for (const VisualSettingsParam& row : AllParams()) {
        EXPECT_FALSE(IsVetoedKey(row.key)) << row.key << ": the rule hides no row of the table";
        EXPECT_EQ(IsBoolVisualKey(row.key), row.Kind() == ValueKind::BoolByte) << row.key;
        if (IsSpecialUnitKey(row.key)) {
            EXPECT_EQ(row.Kind(), ValueKind::UnsignedInt) << row.key;
        }
        EXPECT_FALSE(IsAlwaysSkippedKey(row.key)) << row.key;
    }
    EXPECT_TRUE(IsAlwaysSkippedKey("CAR.TAXI.COLOR.RED"));
    EXPECT_TRUE(IsSpecialUnitKey("adaptivedof.gridsize"));
    EXPECT_FALSE(IsBoolVisualKey(nullptr));
}

TEST(ParamEncodings, UnitsChannelsAndIntegers) {
    EXPECT_FLOAT_EQ(ToGameUnits(UnitConversion::Degrees, 270.0f), 4.712389f);
    EXPECT_FLOAT_EQ(ToGameUnits(UnitConversion::Degrees, 90.0f), 1.5707963f);
    EXPECT_FLOAT_EQ(ToGameUnits(UnitConversion::Thousandths, 120.0f), 120000.0f);
    EXPECT_FLOAT_EQ(ToEditorUnits(UnitConversion::Thousandths, 120000.0f), 120.0f);
    const struct {
        float v;
        uint32_t word;
    } ints[] = {{2.5f, 3}, {3.5f, 4}, {-1.0f, 0}, {0.0f, 0}, {NAN, 0}, {INFINITY, 0}, {5e9f, 0xFFFFFFFFu}, {2.49f, 2}};
    for (const auto& i : ints) EXPECT_EQ(EncodeUnsigned(i.v), i.word) << i.v;
    const struct {
        uint32_t colour;
        int32_t kind;
        float v;
        uint32_t out;
    } channels[] = {
        {0x11223344u, 5, 1.0f, 0x1122FF44u}, {0x11223344u, 5, 0.5f, 0x11228044u}, {0x11223344u, 4, 0.0f, 0x11003344u},
        {0x11223344u, 6, NAN, 0x11223300u},  {0x11223344u, 7, 1.0f, 0x11223344u}, {0x11223344u, 4, 2.0f, 0x11FF3344u},
    };
    for (const auto& c : channels) EXPECT_EQ(SetColorChannel(c.colour, c.kind, c.v), c.out) << c.kind << " " << c.v;
}

TEST_F(ParamTableTest, StartUpResetTakesKnownDefaultsAndKeepsOverrides) {
    VisualSettingsParam& lod = Row("car.lod.distance.high");
    VisualSettingsParam& edited = Row("lensflare.show.length");
    VisualSettingsParam& unknown = Row("misc.coronas.sizeScaleGlobal");
    edited.overridden = 1;
    edited.value = 7.0f;
    edited.appliedValue = 6.0f;
    InitVisualSettingsDefaults();
    EXPECT_EQ(lod.value, 40.0f);
    EXPECT_EQ(lod.appliedValue, 40.0f);
    EXPECT_EQ(lod.original, 40.0f);
    EXPECT_TRUE(lod.loaded && lod.applied && lod.hasOriginal);
    EXPECT_EQ(edited.value, 7.0f);
    EXPECT_EQ(edited.appliedValue, 6.0f);
    EXPECT_EQ(edited.original, 264.0f) << "an overridden row still gets its original";
    EXPECT_FALSE(unknown.loaded) << "a default the game build decides stays unknown until read";
    EXPECT_FALSE(unknown.hasOriginal);
    runtime::LiveOverrideSlot& e = DarkFilmicSlot(4);
    EXPECT_STREQ(e.name, "Tonemapping.dark.filmic.E");
    e.value = 3.0f;
    InitVisualSettingsDefaults();
    EXPECT_EQ(e.value, 0.0f);
    EXPECT_EQ(e.liveValue, 0.0f);
    EXPECT_EQ(DarkFilmicSlot(7).baselineValue, 3.0f);

    AdoptGameDefault(unknown, 2.5f);
    EXPECT_EQ(unknown.defaultValue, 2.5f);
    EXPECT_EQ(unknown.value, 2.5f);
    EXPECT_TRUE(unknown.loaded && unknown.hasOriginal && unknown.defaultKnown);
    AdoptGameDefault(unknown, 9.0f);
    EXPECT_EQ(unknown.defaultValue, 2.5f) << "adopted once";
}

}  // namespace
