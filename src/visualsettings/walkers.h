// The walkers over the parameter table: every operation that concerns all
// parameters, or the parameter with a given key, walks the 55 arrays in walk
// order and applies one step to each row. The walkers that pass a base to
// their step (ApplyVisualSettingByKey, SnapshotVisualSettings,
// ForEachVisualSettingsParam, ReapplySpecialVisualSettings) walk the coronas
// array with its base, the bright filmic array only while its block is
// found, and the others with the game module; they pass over rows whose key
// is one of the always-skipped keys. ForEachVisualSettingsParam and
// ReapplySpecialVisualSettings first re-bind while a base is missing
// (BindWhenBasesMissing); the two the import uses do not, as the import
// binds once before its lines. CollectVisibleVisualRows and LiveMappedKey walk
// every array without binding. The walks by key find their rows through an
// index of the table's keys (rows never move), not by a pass over every row.
//
// Thread rule: the walkers run on their caller's thread and keep no state.
#pragma once
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "runtime/live_slots.h"
#include "visualsettings/param_table.h"

namespace visualsettings {

// An imported value: every row whose key equals key ignoring case gets
// WriteLiveVisualSetting(row, base, value, liveAllowed) and found := true
// (found is only ever set).
void ApplyVisualSettingByKey(std::string_view key, float value, bool liveAllowed, bool& found);
// Lower-cased key (A-Z only) to the row's default (0 while a default the
// game build decides has not been read from the game).
using VisualSettingsDefaultsMap = std::map<std::string, float>;
void SnapshotVisualSettings(VisualSettingsDefaultsMap& defaults);
// visit(row) for every row of the walk.
void ForEachVisualSettingsParam(const std::function<void(VisualSettingsParam&)>& visit);
// The 13 special keys re-applied while they are overridden or differ
// (the before/after pass calls this at most every 250 ms).
void ReapplySpecialVisualSettings();
// Every visible row by its exact key, and the eight dark filmic slots by
// name (an entry already present is kept; the maps are not cleared first).
using VisibleRows = std::map<std::string, VisualSettingsParam*>;
using VisibleSlots = std::map<std::string, runtime::LiveOverrideSlot*>;
void CollectVisibleVisualRows(VisibleRows& rows, VisibleSlots& slots);
// The editor's own spelling of key: the visible row's key or dark filmic
// slot's name that equals it ignoring case (rows first); null for a key the
// editor cannot write (a hidden key never maps).
const char* LiveMappedKey(std::string_view key);

}  // namespace visualsettings
