#include "timecycle/timecycle_copy.h"

#include <algorithm>
#include <cstring>

#include "runtime/live_slots.h"
#include "timecycle/edit_store.h"

namespace timecycle {

namespace {

// A source entry is copied only when it holds a user edit that differs from
// its original.
bool QualifiesForCopy(const EditEntry& e) {
    return e.present && e.editStamp > 0 && e.originalCaptured && ValuesDiffer(e.value, e.original);
}

void WriteCopiedEntry(const EditEntry& e, EditEntry& t) {
    const float newOriginal = t.originalCaptured ? t.original : e.original;
    t.value = e.value;
    t.original = newOriginal;
    t.live = e.live;
    t.present = 1;
    t.originalCaptured = 1;
    t.imported = 0;
    t.edited = ValuesDiffer(e.value, newOriginal) ? 1 : 0;
}

// Copies the qualifying entries of the given rows (all rows when empty) for
// one keyframe between two regions of a weather.
uint64_t CopyRegionKeyframe(int weather, int sourceRegion, int destinationRegion, int keyframe,
                            const std::vector<size_t>* rows) {
    const EditSlot& source = GetEditSlot(weather, sourceRegion, keyframe);
    if (!source.loaded) return 0;
    EditSlot& destination = GetEditSlot(weather, destinationRegion, keyframe);
    destination.loaded = 1;
    const size_t n = std::min(EntryCount(source), EntryCount(destination));
    uint64_t count = 0;
    auto copyOne = [&](size_t i) {
        if (i >= n) return;
        // Read through a copy: source and destination may be the same slot.
        const EditEntry e = source.entries[i];
        if (!QualifiesForCopy(e)) return;
        EditEntry& t = destination.entries[i];
        const bool changed = !t.present || ValuesDiffer(t.value, e.value);
        WriteCopiedEntry(e, t);
        if (t.edited) {
            t.editStamp = NextEditStamp();
            ++count;
        } else {
            t.editStamp = 0;
            if (changed) ++count;
        }
    };
    if (rows) {
        for (size_t i : *rows) copyOne(i);
    } else {
        for (size_t i = 0; i < n; ++i) copyOne(i);
    }
    return count;
}

}  // namespace

uint64_t CopyWeatherEdits(int source, int destination) {
    const int src = ClampWeather(source);
    const int dst = ClampWeather(destination);
    EditStoreLock lock(EditStoreMutex());
    if (src == dst) return 0;
    CommitCurrentContext();
    uint64_t count = 0;
    for (int r = kRegionGlobal; r <= kRegionUrban; ++r) {
        for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) {
            const EditSlot& from = GetEditSlot(src, r, k);
            if (!from.loaded) continue;
            EditSlot& to = GetEditSlot(dst, r, k);
            to.loaded = 1;
            const size_t n = std::min(EntryCount(from), EntryCount(to));
            for (size_t i = 0; i < n; ++i) {
                const EditEntry& e = from.entries[i];
                if (!QualifiesForCopy(e)) continue;
                EditEntry& t = to.entries[i];
                WriteCopiedEntry(e, t);
                t.editStamp = NextEditStamp();
                ++count;
            }
        }
    }
    ReloadCurrentContextIfOnWeather(dst);
    EditStore.GroupFlagsDirty = 1;
    return count;
}

uint64_t CopyParameterEditsToRegion(int weather, int sourceRegion, int destinationRegion,
                                    const std::vector<std::string>& names) {
    const int w = ClampWeather(weather);
    const int src = ClampRegion(sourceRegion);
    const int dst = ClampRegion(destinationRegion);
    EditStoreLock lock(EditStoreMutex());
    if (names.empty()) return 0;
    std::vector<size_t> rows;
    const auto& index = VariableNameIndex();
    for (const std::string& name : names) {
        auto it = index.find(name);
        if (it != index.end()) rows.push_back(static_cast<size_t>(it->second));
    }
    if (rows.empty()) return 0;
    CommitCurrentContext();
    uint64_t count = 0;
    for (int k = 0; k < static_cast<int>(kKeyframeCount); ++k) count += CopyRegionKeyframe(w, src, dst, k, &rows);
    const TimecycleContext& c = EditStore.CurrentTimecycleContext;
    if (c.valid && c.weather == w && c.region == dst)
        LoadContextIntoSlots(static_cast<uint32_t>(c.weather), static_cast<uint32_t>(c.region),
                             static_cast<uint32_t>(c.keyframe), 0);
    EditStore.GroupFlagsDirty = 1;
    return count;
}

uint64_t CopyAllRegionEdits(int weather, int sourceRegion, int destinationRegion, int keyframe0, int keyframe1) {
    const int w = ClampWeather(weather);
    const int src = ClampRegion(sourceRegion);
    const int dst = ClampRegion(destinationRegion);
    EditStoreLock lock(EditStoreMutex());
    const int lo = std::min(ClampKeyframe(keyframe0), ClampKeyframe(keyframe1));
    const int hi = std::max(ClampKeyframe(keyframe0), ClampKeyframe(keyframe1));
    CommitCurrentContext();
    uint64_t count = 0;
    for (int k = lo; k <= hi; ++k) count += CopyRegionKeyframe(w, src, dst, k, nullptr);
    const TimecycleContext& c = EditStore.CurrentTimecycleContext;
    if (c.valid && c.weather == w && c.region == dst && c.keyframe >= lo && c.keyframe <= hi)
        LoadContextIntoSlots(static_cast<uint32_t>(c.weather), static_cast<uint32_t>(c.region),
                             static_cast<uint32_t>(c.keyframe), 0);
    EditStore.GroupFlagsDirty = 1;
    return count;
}

void PushUniquePointer(std::vector<const TimecycleVariable*>& list, const TimecycleVariable* row) {
    if (std::find(list.begin(), list.end(), row) == list.end()) list.push_back(row);
}

namespace {

SearchResults Results;

const TimecycleVariable* RowLabelled(const std::string& label) {
    for (const TimecycleVariable* row : TimecycleVariableList()) {
        if (row->slot && row->slot->name && label == row->slot->name) return row;
    }
    return nullptr;
}

bool RowMatches(const TimecycleVariable* row, const char* query) {
    return TextContainsNoCase(row->slot ? row->slot->name : nullptr, query) || TextContainsNoCase(row->xmlName, query);
}

}  // namespace

const SearchResults& SearchTimecycleParameters(const char* query) {
    const std::string q = query ? query : "";
    if (Results.computed && Results.SearchQuery == q) return Results;
    Results.computed = 1;
    Results.SearchQuery = q;
    Results.rows.clear();
    if (q.empty()) {
        for (const TimecycleVariable* row : TimecycleVariableList()) Results.rows.push_back(row);
        return Results;
    }
    for (const TimecycleVariable* row : TimecycleVariableList()) {
        if (!row->slot) continue;
        const char* label = row->slot->name ? row->slot->name : "";
        const size_t length = std::strlen(label);
        const char last = length ? label[length - 1] : '\0';
        if (length >= 3 && label[length - 2] == ' ' && (last == 'R' || last == 'G' || last == 'B')) {
            const std::string stem(label, length - 2);
            const TimecycleVariable* r = RowLabelled(stem + " R");
            const TimecycleVariable* g = RowLabelled(stem + " G");
            const TimecycleVariable* b = RowLabelled(stem + " B");
            if (r && g && b) {
                if (TextContainsNoCase(stem.c_str(), q.c_str()) || RowMatches(r, q.c_str()) ||
                    RowMatches(g, q.c_str()) || RowMatches(b, q.c_str())) {
                    PushUniquePointer(Results.rows, r);
                    PushUniquePointer(Results.rows, g);
                    PushUniquePointer(Results.rows, b);
                }
                continue;
            }
        }
        if (RowMatches(row, q.c_str())) PushUniquePointer(Results.rows, row);
    }
    return Results;
}

}  // namespace timecycle
