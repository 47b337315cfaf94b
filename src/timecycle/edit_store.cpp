#include "timecycle/edit_store.h"

#include <bit>
#include <cstring>

#include "runtime/guarded_memory.h"
#include "runtime/live_slots.h"
#include "timecycle/game_hooks.h"
#include "timecycle/timecycle_model.h"

namespace timecycle {

EditStoreState EditStore;

namespace {

TimecycleEditStore& Store() {
    // Allocated once and never moved: readers on the other thread may hold
    // references into it at any time.
    static TimecycleEditStore* store = new TimecycleEditStore();
    return *store;
}

runtime::LiveOverrideSlot* SlotOfRow(size_t i) { return TimecycleVariableTable[i].slot; }

void ResetSlotEntries(EditSlot& slot) {
    for (EditEntry& entry : slot.entries) entry = EditEntry{};
    slot.loaded = 0;
}

}  // namespace

std::recursive_mutex& EditStoreMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

TimecycleEditStore& EnsureEditStore() {
    (void)TimecycleVariableList();
    return Store();
}

size_t EditSlotIndex(int weather, int region, int keyframe) {
    const int w = ClampWeather(weather);
    const int r = ClampRegion(region);
    const int k = ClampKeyframe(keyframe);
    return static_cast<size_t>((w * 3 + r) * 13 + k);
}

EditSlot& GetEditSlot(int weather, int region, int keyframe) {
    return EnsureEditStore()[EditSlotIndex(weather, region, keyframe)];
}

void SelectTimecycleContext(int weather, int region, int keyframe) {
    EditStoreLock lock(EditStoreMutex());
    const int w = ClampWeather(weather);
    const int r = ClampRegion(region);
    const int k = ClampKeyframe(keyframe);
    TimecycleContext& c = EditStore.CurrentTimecycleContext;
    if (c.valid) {
        if (c.weather == w && c.region == r && c.keyframe == k) return;
        CommitSlotsToContext(static_cast<uint32_t>(c.weather), static_cast<uint32_t>(c.region),
                             static_cast<uint32_t>(c.keyframe));
        c.weather = w;
        c.region = r;
        c.keyframe = k;
        LoadContextIntoSlots(static_cast<uint32_t>(w), static_cast<uint32_t>(r), static_cast<uint32_t>(k), 0);
        return;
    }
    c.valid = 1;
    c.weather = w;
    c.region = r;
    c.keyframe = k;
    LoadContextIntoSlots(static_cast<uint32_t>(w), static_cast<uint32_t>(r), static_cast<uint32_t>(k), 1);
}

void CommitSlotsToContext(uint32_t weather, uint32_t region, uint32_t keyframe) {
    EditStoreLock lock(EditStoreMutex());
    EditSlot& slot = GetEditSlot(ClampWeather(weather), ClampRegion(region), ClampKeyframe(keyframe));
    for (size_t i = 0; i < EntryCount(slot); ++i) {
        runtime::LiveOverrideSlot* s = SlotOfRow(i);
        if (!s) continue;
        EditEntry& e = slot.entries[i];
        if (e.present && e.imported && s->followImport) {
            e.live = s->liveValue;
            continue;
        }
        const bool keepImport = e.imported || s->followImport;
        const float original = s->baselineCaptured ? s->baselineValue.Get() : s->liveValue.Get();
        e.value = s->value;
        e.original = original;
        e.live = s->liveValue;
        e.present = s->loaded;
        e.originalCaptured = s->baselineCaptured;
        e.edited = s->enabled;
        e.imported = (keepImport && s->baselineCaptured && ValuesDiffer(s->value, original)) ? 1 : 0;
    }
    slot.loaded = 1;
}

void LoadContextIntoSlots(uint32_t weather, uint32_t region, uint32_t keyframe, uint8_t keepSlotState) {
    EditStoreLock lock(EditStoreMutex());
    EditSlot& slot = GetEditSlot(ClampWeather(weather), ClampRegion(region), ClampKeyframe(keyframe));
    if (!slot.loaded) {
        for (size_t i = 0; i < EntryCount(slot); ++i) {
            runtime::LiveOverrideSlot* s = SlotOfRow(i);
            if (!s) continue;
            EditEntry& e = slot.entries[i];
            if (keepSlotState) {
                e.value = s->value;
            } else if (s->baselineCaptured) {
                e.value = s->baselineValue;
            } else if (s->loaded) {
                e.value = s->value;
            } else {
                e.value = s->liveValue;
            }
            e.original = s->baselineCaptured ? s->baselineValue.Get() : e.value;
            e.live = s->liveValue;
            e.present = 1;
            e.originalCaptured = 1;
            e.edited = keepSlotState ? s->enabled.Get() : uint8_t{0};
            e.imported = keepSlotState ? s->followImport.Get() : uint8_t{0};
            e.editStamp = 0;
        }
        slot.loaded = 1;
    }
    for (size_t i = 0; i < EntryCount(slot); ++i) {
        runtime::LiveOverrideSlot* s = SlotOfRow(i);
        if (!s) continue;
        const EditEntry& e = slot.entries[i];
        s->value = e.value;
        s->baselineValue = e.original;
        s->liveValue = e.live;
        s->loaded = e.present;
        s->baselineCaptured = e.originalCaptured;
        s->enabled = e.edited;
        s->followImport = e.imported;
        s->liveReadable = e.present;
    }
    EditStore.GroupFlagsDirty = 1;
}

void CommitCurrentContext() {
    EditStoreLock lock(EditStoreMutex());
    const TimecycleContext& c = EditStore.CurrentTimecycleContext;
    if (c.valid)
        CommitSlotsToContext(static_cast<uint32_t>(c.weather), static_cast<uint32_t>(c.region),
                             static_cast<uint32_t>(c.keyframe));
}

void ReloadCurrentContextIfOnWeather(int weather) {
    EditStoreLock lock(EditStoreMutex());
    const TimecycleContext& c = EditStore.CurrentTimecycleContext;
    if (c.valid && c.weather == ClampWeather(weather))
        LoadContextIntoSlots(static_cast<uint32_t>(c.weather), static_cast<uint32_t>(c.region),
                             static_cast<uint32_t>(c.keyframe), 0);
}

void MarkParameterUserEdited(const char* xmlName) {
    EditStoreLock lock(EditStoreMutex());
    if (!xmlName || !*xmlName || !EditStore.CurrentTimecycleContext.valid) return;
    const auto& index = VariableNameIndex();
    auto it = index.find(xmlName);
    if (it == index.end()) return;
    const TimecycleContext& c = EditStore.CurrentTimecycleContext;
    EditSlot& slot = GetEditSlot(c.weather, c.region, c.keyframe);
    if (it->second >= EntryCount(slot)) return;
    EditEntry& e = slot.entries[it->second];
    e.imported = 0;
    e.editStamp = NextEditStamp();
}

void RememberEditedNames(const char* label, const std::vector<std::string>& names) {
    EditStoreLock lock(EditStoreMutex());
    EditStore.LastEditedNames.clear();
    for (const std::string& name : names) {
        if (!name.empty()) EditStore.LastEditedNames.push_back(name);
    }
    EditStore.LastEditedLabel = (label && *label) ? label : "";
}

void RebuildBothRegion(int weather) {
    EditStoreLock lock(EditStoreMutex());
    const int w = ClampWeather(weather);
    for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) {
        const EditSlot& global = GetEditSlot(w, kRegionGlobal, k);
        const EditSlot& urban = GetEditSlot(w, kRegionUrban, k);
        EditSlot& both = GetEditSlot(w, kRegionBoth, k);
        if (global.loaded) {
            both = global;
        } else if (urban.loaded) {
            both = urban;
        }
    }
}

void RefreshGroupEditedFlags() {
    EditStoreLock lock(EditStoreMutex());
    if (!EditStore.GroupFlagsDirty) return;
    for (TimecycleVariableGroup& group : TimecycleVariableGroupList()) {
        group.edited = 0;
        for (VariableGroupEntry& entry : group.entries) {
            entry.edited = 0;
            for (const TimecycleVariable* row : entry.rows) {
                const runtime::LiveOverrideSlot* s = row->slot;
                if (!s) continue;
                if (s->followImport ||
                    (s->enabled && (!s->baselineCaptured || ValuesDiffer(s->value, s->baselineValue, 5e-5)))) {
                    entry.edited = 1;
                    group.edited = 1;
                }
            }
        }
    }
    EditStore.GroupFlagsDirty = 0;
}

bool AnyTimecycleGroupEdited() {
    EditStoreLock lock(EditStoreMutex());
    RefreshGroupEditedFlags();
    for (const TimecycleVariableGroup& group : TimecycleVariableGroupList())
        if (group.edited) return true;
    return false;
}

void ResetAllTimecycleVariables() {
    EditStoreLock lock(EditStoreMutex());
    for (const TimecycleVariable* row : TimecycleVariableList()) {
        runtime::LiveOverrideSlot* s = row->slot;
        if (!s) continue;
        const float v = s->baselineCaptured ? s->baselineValue.Get() : s->liveValue.Get();
        s->value = v;
        s->liveValue = v;
        s->loaded = 1;
        s->enabled = 0;
        s->followImport = 0;
        if (s->address) runtime::SafeWriteFloat(s->address, v);
    }
    CommitCurrentContext();
    EditStore.GroupFlagsDirty = 1;
}

uint64_t CaptureLiveOriginalsForContext(int weather) {
    EditStoreLock lock(EditStoreMutex());
    const TimecycleContext& c = EditStore.CurrentTimecycleContext;
    if (!c.valid || c.weather != ClampWeather(weather)) return 0;
    EditSlot& slot = GetEditSlot(c.weather, c.region, c.keyframe);
    const auto& list = TimecycleVariableList();
    uint64_t count = 0;
    for (size_t i = 0; i < EntryCount(slot) && i < list.size(); ++i) {
        runtime::LiveOverrideSlot* s = list[i]->slot;
        if (!s) continue;
        EditEntry& e = slot.entries[i];
        if (!e.present || !e.imported) continue;
        // The original is always the game's value at the slot's own address.
        uint32_t bits = 0;
        if (runtime::SafeReadU32(s->address, bits)) {
            const float v = std::bit_cast<float>(bits);
            e.original = v;
            e.live = v;
            e.originalCaptured = 1;
            s->baselineValue = v;
            s->liveValue = v;
            s->baselineCaptured = 1;
            s->liveReadable = 1;
        }
        const uint8_t d = (e.originalCaptured && ValuesDiffer(e.value, e.original)) ? 1 : 0;
        e.edited = d;
        e.imported = d;
        s->value = e.value;
        s->baselineValue = e.original;
        s->liveValue = e.live;
        s->baselineCaptured = e.originalCaptured;
        s->loaded = e.present;
        s->enabled = d;
        s->followImport = d;
        s->liveReadable = e.present;
        count += d;
    }
    EditStore.GroupFlagsDirty = 1;
    ClearWriteListCount();
    ClearImportPatchesMark();
    EditStore.ImportedOverridesActive = count != 0 ? 1 : 0;
    return count;
}

bool ContextHasEdits() {
    EditStoreLock lock(EditStoreMutex());
    const TimecycleContext& c = EditStore.CurrentTimecycleContext;
    if (!c.valid) return false;
    const EditSlot& slot = GetEditSlot(c.weather, c.region, c.keyframe);
    if (!slot.loaded) return false;
    for (const EditEntry& e : slot.entries) {
        if (e.present && e.imported) return true;
    }
    return false;
}

namespace {

template <typename Test>
bool AnyLoadedEntryOfWeather(int weather, Test test) {
    const int w = ClampWeather(weather);
    for (int r = 0; r < static_cast<int>(kRegionCount); ++r) {
        for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) {
            const EditSlot& slot = GetEditSlot(w, r, k);
            if (!slot.loaded) continue;
            for (const EditEntry& e : slot.entries) {
                if (test(e)) return true;
            }
        }
    }
    return false;
}

}  // namespace

uint64_t CountWeatherEdits(int weather) {
    EditStoreLock lock(EditStoreMutex());
    uint64_t count = 0;
    AnyLoadedEntryOfWeather(weather, [&](const EditEntry& e) {
        if (e.imported && e.edited) ++count;
        return false;
    });
    return count;
}

bool WeatherHasPendingEdits(int weather) {
    EditStoreLock lock(EditStoreMutex());
    return AnyLoadedEntryOfWeather(weather, [](const EditEntry& e) {
        return e.present && (e.imported || (e.originalCaptured && e.edited && ValuesDiffer(e.value, e.original)));
    });
}

bool WeatherHasUserEdits(int weather) {
    EditStoreLock lock(EditStoreMutex());
    return AnyLoadedEntryOfWeather(weather, [](const EditEntry& e) {
        return e.present && e.editStamp > 0 && e.edited && e.originalCaptured && ValuesDiffer(e.value, e.original);
    });
}

void ClearWeatherSlots(int weather, uint8_t regions) {
    EditStoreLock lock(EditStoreMutex());
    const int w = ClampWeather(weather);
    for (int r = 0; r < static_cast<int>(kRegionCount); ++r) {
        if (((regions >> r) & 1) == 0) continue;
        for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) ResetSlotEntries(GetEditSlot(w, r, k));
    }
}

void ResetEditStoreForTesting() {
    EditStoreLock lock(EditStoreMutex());
    for (EditSlot& slot : Store()) ResetSlotEntries(slot);
    EditStore.CurrentTimecycleContext = TimecycleContext{};
    EditStore.EditSequenceCounter = 0;
    EditStore.GroupFlagsDirty = 0;
    EditStore.ImportedOverridesActive = 0;
    EditStore.LastEditedNames.clear();
    EditStore.LastEditedLabel.clear();
}

}  // namespace timecycle
