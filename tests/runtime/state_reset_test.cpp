// Each module of the runtime keeps its mutable state in one structure, and
// its reset puts every field back as at process start.
#include <gtest/gtest.h>

#include <span>
#include <tuple>
#include <vector>

#include "runtime/live_slots.h"
#include "runtime/near_alloc.h"

namespace {

using namespace runtime;

using SlotFields = std::tuple<uint64_t, float, float, float, float, uint8_t, uint8_t, uint8_t, float, uint8_t, uint8_t, uint8_t>;
SlotFields Fields(const LiveOverrideSlot& s) {
    return {s.address, s.value, s.liveValue, s.minValue, s.maxValue, s.loaded, s.enabled,
            s.liveReadable, s.baselineValue, s.baselineCaptured, s.listed, s.followImport};
}
std::vector<std::span<LiveOverrideSlot>> Tables() {
    return {LiveSlots.LightDirSlotTable, LiveSlots.MainSlotTable, LiveSlots.FogToneSlotTable};
}

TEST(RuntimeStateReset, LiveSlots) {
    ResetSlotTablesForTesting();
    std::vector<SlotFields> start;
    for (auto table : Tables())
        for (const LiveOverrideSlot& s : table) start.push_back(Fields(s));
    for (auto table : Tables()) {
        for (LiveOverrideSlot& s : table) {
            s.address = 0x1000;
            s.value = s.liveValue = s.minValue = s.maxValue = s.baselineValue = 123.0f;
            s.loaded = s.enabled = s.liveReadable = s.baselineCaptured = s.listed = s.followImport = 7;
        }
    }
    ResetSlotTablesForTesting();
    size_t i = 0;
    for (auto table : Tables())
        for (const LiveOverrideSlot& s : table) EXPECT_EQ(Fields(s), start[i++]) << s.name;
    EXPECT_EQ(i, kLightDirSlotCount + kMainSlotCount + kFogToneSlotCount);
}

TEST(RuntimeStateReset, NearAlloc) {
    NearAlloc.NearValueBlock = 0x7000;
    ResetNearAllocState();
    EXPECT_EQ(NearAlloc.NearValueBlock, 0u);
}

}  // namespace
