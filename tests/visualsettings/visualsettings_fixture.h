// The visualsettings editor's tests: a synthetic game image carrying the
// coronas and filmic stores and their blocks, every visualsettings and
// runtime search state fresh, a manual clock, the edits shown.
#pragma once
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/editor_state.h"
#include "core/game_control_settings.h"
#include "game/before_after.h"
#include "platform/simulated.h"
#include "runtime/data_signatures.h"
#include "runtime/live_slots.h"
#include "support/synthetic_image.h"
#include "visualsettings/binding.h"
#include "visualsettings/param_table.h"
#include "visualsettings/visualsettings_entries.h"

namespace vstest {

using testsupport::ImageSection;
using testsupport::SyntheticImage;
using namespace visualsettings;

inline float ReadF(uint64_t address) {
    float v;
    std::memcpy(&v, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), 4);
    return v;
}
inline uint32_t ReadU(uint64_t address) {
    uint32_t v;
    std::memcpy(&v, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), 4);
    return v;
}
inline VisualSettingsParam& Row(const char* key) {
    VisualSettingsParam* row = FindVisualSettingsParam(key);
    if (row == nullptr) ADD_FAILURE() << "no row " << key;
    return row != nullptr ? *row : AllParams()[0];
}

// A game image whose code holds the coronas and filmic stores, its coronas
// block and filmic blocks filled with recognisable values, and (when asked)
// data block 3 (traffic-light colours) and 14 (volume colour). Base: the
// test's own fixture (testsupport::SimWorldTest for tests of the tick).
template <typename Base>
class VisualSettingsTestOn : public Base {
protected:
    struct Options {
        bool coronas = true;
        bool filmic = true;
        bool trafficBlock = true;
        bool volumeBlock = true;
    };
    void SetUp() override {
        Base::SetUp();
        Build(Options{});
    }
    void TearDown() override {
        image_.reset();
        Reset();
        platform::sim::UseManualClock(false);
        Base::TearDown();
    }
    static void Reset() {
        ResetVisualSettingsForTesting();
        runtime::ResetSlotTablesForTesting();
        core::Editor.VisualSettingsAfterShown.Set(1);
        core::Editor.MenuOpen.Set(0);
        core::Editor.SlotRefreshTick.Set(0);
        core::GameControlFlags.BlackoutMode = false;
        game::BeforeAfter.VisualSettingsSwitchPending.Set(0);
    }
    void Build(const Options& options) {
        image_.reset();
        Reset();
        platform::sim::UseManualClock(true);
        image_ = std::make_unique<SyntheticImage>();
        SyntheticImage& image = *image_;
        coronasBlock = image.Reserve(ImageSection::Data, kCoronasFirstField + 0xC0, 16);
        for (uint64_t off = kCoronasFirstField; off < kCoronasFirstField + 0xC0; off += 4)
            image.WriteFloat(coronasBlock + off, static_cast<float>(off - kCoronasFirstField) / 4.0f + 0.5f);
        filmicBlocks = image.Reserve(ImageSection::Data, 64, 16);  // dark, then bright
        for (uint64_t i = 0; i < 16; ++i) image.WriteFloat(filmicBlocks + 4 * i, 10.0f + static_cast<float>(i));
        if (options.coronas) image.PlantCoronasStore(coronasBlock + kCoronasFirstField);
        if (options.filmic) image.PlantFilmicStores(filmicBlocks + 32 + 28);
        if (options.trafficBlock) {
            trafficBlock = PlantDataBlock(3, 192, 1.0f);
            for (uint64_t vector : {0x30, 0x50, 0x60, 0x70, 0x80, 0x90})  // red twice, as the game keeps it
                image.WriteFloat(trafficBlock + vector + 12, ReadF(trafficBlock + vector));
        }
        if (options.volumeBlock) volumeBlock = PlantDataBlock(14, 224, 100.0f);
    }
    // A block found by data signature id: its run at the head (as the
    // signature), its floats start + 0.25 * index after it.
    uint64_t PlantDataBlock(runtime::DataSignatureId id, uint32_t size, float start) {
        std::vector<uint8_t> bytes(size, 0);
        for (uint32_t i = 0; i < size / 4; ++i) {
            const float f = start + 0.25f * static_cast<float>(i);
            std::memcpy(&bytes[4 * i], &f, 4);
        }
        std::vector<uint8_t> run(bytes.begin(), bytes.begin() + 32);
        run[0] = static_cast<uint8_t>(0xA0 + id);  // unique to this block
        bytes[0] = run[0];
        const uint64_t at = image_->Plant(ImageSection::Data, bytes, 16);
        runtime::SetDataSignatureForTesting(id, run, "", size);
        return at;
    }

    std::unique_ptr<SyntheticImage> image_;
    uint64_t coronasBlock = 0;  // the coronas block's base (fields from +0xCC18)
    uint64_t filmicBlocks = 0;  // dark filmic block; bright at +32
    uint64_t trafficBlock = 0;
    uint64_t volumeBlock = 0;
};
using VisualSettingsTest = VisualSettingsTestOn<::testing::Test>;

}  // namespace vstest
