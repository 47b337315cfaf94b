#include "host/tick_wiring.h"

#include <unordered_map>

#include "game/before_after.h"
#include "host/tick.h"
#include "host/tick_groups.h"
#include "runtime/guarded_memory.h"
#include "runtime/store_probes.h"
#include "timecycle/edit_store.h"
#include "timecycle/game_hooks.h"
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
    calls.probeStore = &runtime::ProbeStore;
    calls.isTimecycleFileWeather = &timecycle::IsTimecycleFileWeather;
    return calls;
}();

// The layers below reach the tick and the editors through their own tables,
// filled here at process start as TickCalls is.
[[maybe_unused]] const bool g_layerTablesFilled = [] {
    game::BeforeAfterCalls.anyTimecycleGroupEdited = &timecycle::AnyTimecycleGroupEdited;
    timecycle::TimecycleHostCalls.clearImportPatchesMark = [] { PatchesClearedForImport.store(0); };
    return true;
}();

void ForgetTickStoreProbes() { runtime::ForgetStoreProbes(); }

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
