#include "runtime/live_slots.h"

#include <bit>

#include "runtime/block_locators.h"
#include "runtime/guarded_memory.h"
#include "runtime/override_groups.h"
#include "runtime/scans.h"

namespace runtime {

// name, address, value, liveValue, minValue, maxValue, loaded, enabled,
// liveReadable: the preset rows start loaded and readable with their value.
#define SLOT_ROW(name, lo, hi, preset, value) {name, 0, value, value, lo, hi, preset, 0, preset},

LiveSlotsState LiveSlots = {
    {
#define LIGHT_DIR_SLOT SLOT_ROW
#include "runtime/slot_tables_data.inc"
    },
    {
#define MAIN_SLOT SLOT_ROW
#include "runtime/slot_tables_data.inc"
    },
    {
#define FOG_TONE_SLOT SLOT_ROW
#include "runtime/slot_tables_data.inc"
    },
};

#undef SLOT_ROW

namespace {

struct StartRow {
    float minValue;
    float maxValue;
    uint8_t preset;
    float value;
};
#define SLOT_START(name, lo, hi, preset, value) {lo, hi, preset, value},
constexpr StartRow kLightDirStart[] = {
#define LIGHT_DIR_SLOT SLOT_START
#include "runtime/slot_tables_data.inc"
};
constexpr StartRow kMainStart[] = {
#define MAIN_SLOT SLOT_START
#include "runtime/slot_tables_data.inc"
};
constexpr StartRow kFogToneStart[] = {
#define FOG_TONE_SLOT SLOT_START
#include "runtime/slot_tables_data.inc"
};
#undef SLOT_START
static_assert(std::size(kLightDirStart) == kLightDirSlotCount);
static_assert(std::size(kMainStart) == kMainSlotCount);
static_assert(std::size(kFogToneStart) == kFogToneSlotCount);

void ResetRows(LiveOverrideSlot* slots, const StartRow* rows, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        LiveOverrideSlot& s = slots[i];
        const StartRow& r = rows[i];
        s.address = 0;
        s.value = r.value;
        s.liveValue = r.value;
        s.minValue = r.minValue;
        s.maxValue = r.maxValue;
        s.loaded = r.preset;
        s.enabled = 0;
        s.liveReadable = r.preset;
        s.baselineValue = 0.0f;
        s.baselineCaptured = 0;
        s.listed = 0;
        s.followImport = 0;
    }
}

}  // namespace

void RefreshLiveSlot(LiveOverrideSlot& slot, bool force, bool refreshTick) {
    const bool loaded = slot.loaded != 0;
    if (!force && loaded && !refreshTick) return;
    uint32_t bits = 0;
    if (!SafeReadU32(slot.address, bits)) {
        slot.liveReadable = 0;
        return;
    }
    const float read = std::bit_cast<float>(bits);
    slot.liveValue = read;
    slot.liveReadable = 1;
    const bool enabled = slot.enabled != 0;
    if (!slot.baselineCaptured && !enabled) {
        slot.baselineValue = read;
        slot.baselineCaptured = 1;
    }
    const bool keep = loaded && (enabled || (!force && (slot.listed || slot.followImport)));
    if (!keep) slot.value = read;
    slot.loaded = 1;
}

uint64_t TimecycleSlotAddress(size_t variableIndex) {
    if (variableIndex >= kTimecycleVariableCount || GameImageBase() == 0) return 0;
    const uint64_t block = TimecycleBlockLocator();
    return block != 0 ? block + 4 * variableIndex : 0;
}

void AssignTimecycleSlotAddresses(LiveOverrideSlot* const* slotOfVariable, size_t variableCount) {
    if (slotOfVariable == nullptr) return;
    for (size_t i = 0; i < variableCount; ++i) {
        if (slotOfVariable[i] != nullptr) slotOfVariable[i]->address = TimecycleSlotAddress(i);
    }
}

bool AnyOverrideInGroup(const LiveOverrideSlot* first, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (first[i].enabled) return true;
    }
    return false;
}

bool AnyPostFxGradientOverride() { return AnyMemberEnabled(PartId::Gradient); }
bool AnyLightRayOverride() { return AnyMemberEnabled(PartId::LightRays); }
bool AnyNightVisionColorOverride() { return AnyMemberEnabled(PartId::NightVisionColor); }
bool AnyNightVisionScalarOverride() { return AnyMemberEnabled(PartId::NightVision); }

void ResetSlotTablesForTesting() {
    ResetRows(LiveSlots.LightDirSlotTable, kLightDirStart, kLightDirSlotCount);
    ResetRows(LiveSlots.MainSlotTable, kMainStart, kMainSlotCount);
    ResetRows(LiveSlots.FogToneSlotTable, kFogToneStart, kFogToneSlotCount);
}

}  // namespace runtime
