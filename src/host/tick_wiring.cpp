#include "host/tick_wiring.h"

#include <algorithm>
#include <unordered_map>

#include "host/tick_groups.h"
#include "runtime/guarded_memory.h"
#include "runtime/near_alloc.h"
#include "runtime/scans.h"
#include "timecycle/edit_store.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/timecycle_files.h"

namespace host {
namespace {

using runtime::LiveOverrideSlot;

struct SlotTableView {
    LiveOverrideSlot* rows;
    size_t count;
};

constexpr SlotTableView kTables[] = {
    {runtime::LightDirSlotTable, runtime::kLightDirSlotCount},
    {runtime::MainSlotTable, runtime::kMainSlotCount},
    {runtime::FogToneSlotTable, runtime::kFogToneSlotCount},
};

// Built once; the keys view the tables' static names, so a lookup allocates nothing.
const std::unordered_map<std::string_view, LiveOverrideSlot*>& SlotsByName() {
    static const std::unordered_map<std::string_view, LiveOverrideSlot*> slots = [] {
        std::unordered_map<std::string_view, LiveOverrideSlot*> map;
        for (const SlotTableView& table : kTables)
            for (size_t i = 0; i < table.count; ++i)
                if (table.rows[i].name) map.emplace(table.rows[i].name, &table.rows[i]);
        return map;
    }();
    return slots;
}

const SlotTableView* TableOf(const LiveOverrideSlot* slot) {
    for (const SlotTableView& table : kTables)
        if (slot >= table.rows && slot < table.rows + table.count) return &table;
    return nullptr;
}

bool SlotEnabled(const char* name) {
    const LiveOverrideSlot* slot = FindTickSlot(name);
    return slot && slot->enabled != 0;
}

bool RunEnabled(const char* first, const char* last) {
    LiveOverrideSlot *begin = nullptr, *end = nullptr;
    if (!FindTickSlotRun(first, last, begin, end)) return false;
    for (LiveOverrideSlot* slot = begin; slot <= end; ++slot)
        if (slot->enabled != 0) return true;
    return false;
}

void RefreshSlot(const char* name) {
    if (LiveOverrideSlot* slot = FindTickSlot(name)) runtime::RefreshLiveSlot(*slot, false);
}

void RefreshRun(const char* first, const char* last) {
    LiveOverrideSlot *begin = nullptr, *end = nullptr;
    if (!FindTickSlotRun(first, last, begin, end)) return;
    for (LiveOverrideSlot* slot = begin; slot <= end; ++slot) runtime::RefreshLiveSlot(*slot, false);
}

void Call(const char* name) {
    const std::string_view step(name);
    if (step == "SyncTimecycleBeforeAfter") timecycle::SyncTimecycleBeforeAfter();
    // The appliers, restores and the visualsettings and modifier steps join
    // here as they are built.
}

bool Test(const char* name) {
    const std::string_view test(name);
    if (test == "ImportedOverridesActive") return timecycle::ImportedOverridesActive.load() != 0;
    if (test == "ContextHasEdits") return timecycle::ContextHasEdits();
    if (test == "AnyPostFxGradientOverride") return runtime::AnyPostFxGradientOverride();
    if (test == "AnyLightRayOverride") return runtime::AnyLightRayOverride();
    if (test == "AnyNightVisionColorOverride") return runtime::AnyNightVisionColorOverride();
    if (test == "AnyNightVisionScalarOverride") return runtime::AnyNightVisionScalarOverride();
    return false;  // the gates and the modifier test are not built yet
}

bool PatchCode(uint64_t address, const uint8_t* bytes, size_t length) {
    return runtime::PatchCodeBytes(address, bytes, length);
}

// The two store-suppression probes of the tick's own patches: a movaps of
// the engine value into the post-effect block, found by its unique pattern
// (load, then the store at +7), nine bytes captured. A found site is kept;
// a failed search is repeated on the next call.
struct StoreProbe {
    const char* name;
    uint8_t pattern[16];
    uint32_t blockOffset;
    StoreSite found;
};
constexpr char kStoreProbeMask[] = "xxx????xxxxxxxxx";
StoreProbe g_storeProbes[] = {
    {"ProbeScanlineStore", {0x0F, 0x10, 0x05, 0, 0, 0, 0, 0x42, 0x0F, 0x29, 0x84, 0x26, 0xD0, 0x01, 0, 0}, 464, {}},
    {"ProbeLensDistortionStore", {0x0F, 0x10, 0x05, 0, 0, 0, 0, 0x42, 0x0F, 0x29, 0x84, 0x26, 0xC0, 3, 0, 0}, 960, {}},
};

bool ProbeStore(const char* name, StoreSite& site) {
    for (StoreProbe& probe : g_storeProbes) {
        if (std::string_view(name) != probe.name) continue;
        if (!probe.found.captured) {
            const uint64_t hit = runtime::FindUniquePattern(probe.pattern, kStoreProbeMask);
            runtime::PatchSiteRecord record;
            if (hit == 0 || !runtime::CapturePatchSite9(record, hit + 7)) return false;
            probe.found.address = record.site;
            probe.found.blockOffset = probe.blockOffset;
            probe.found.length = 9;
            std::copy(record.original, record.original + 9, probe.found.saved);
            probe.found.captured = true;
        }
        site = probe.found;
        return true;
    }
    return false;
}

}  // namespace

// Appliers, restores, engine writes, record restores, the redirect step and
// the heat-haze probe join here as the live-write runtime builds them.
TickCallees TickCalls = [] {
    TickCallees calls;
    calls.call = &Call;
    calls.test = &Test;
    calls.slotEnabled = &SlotEnabled;
    calls.runEnabled = &RunEnabled;
    calls.refreshSlot = &RefreshSlot;
    calls.refreshRun = &RefreshRun;
    calls.patchCode = &PatchCode;
    calls.probeStore = &ProbeStore;
    calls.isTimecycleFileWeather = &timecycle::IsTimecycleFileWeather;
    return calls;
}();

void ForgetTickStoreProbes() {
    for (StoreProbe& probe : g_storeProbes) probe.found = {};
}

LiveOverrideSlot* FindTickSlot(std::string_view name) {
    const auto& slots = SlotsByName();
    auto it = slots.find(name);
    return it == slots.end() ? nullptr : it->second;
}

bool FindTickSlotRun(std::string_view first, std::string_view last, LiveOverrideSlot*& begin, LiveOverrideSlot*& end) {
    LiveOverrideSlot* a = FindTickSlot(first);
    LiveOverrideSlot* b = FindTickSlot(last);
    if (!a || !b || TableOf(a) != TableOf(b) || b < a) return false;
    begin = a;
    end = b;
    return true;
}

}  // namespace host
