// The live override slots by identifier, and the override groups of the
// tick: which slots each part of a group has, how the tick applies it and
// how it restores it. The rows live in src/runtime/data (live_slots.tsv,
// group_parts.tsv, part_members.tsv); the build generates SlotId, GroupId and
// PartId (runtime/slot_ids.h) and the tables behind Part and Group from them.
// The functions behind a part (applier, gate, restorer, probe) are entries
// of runtime/editor_entries.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/live_slots.h"
#include "runtime/slot_ids.h"

namespace runtime {

// ---- Slots by identifier --------------------------------------------------------------
// The identifiers run through LiveSlots.LightDirSlotTable, LiveSlots.MainSlotTable and
// LiveSlots.FogToneSlotTable in this order.
enum class SlotTableId : uint8_t { LightDir, Main, FogTone };
static_assert(kSlotCount == kLightDirSlotCount + kMainSlotCount + kFogToneSlotCount);

constexpr SlotTableId TableOf(SlotId id) {
    const size_t i = static_cast<size_t>(id);
    if (i < kLightDirSlotCount) return SlotTableId::LightDir;
    return i < kLightDirSlotCount + kMainSlotCount ? SlotTableId::Main : SlotTableId::FogTone;
}
// The slot's row in its table.
constexpr size_t RowOf(SlotId id) {
    const size_t i = static_cast<size_t>(id);
    switch (TableOf(id)) {
    case SlotTableId::LightDir: return i;
    case SlotTableId::Main: return i - kLightDirSlotCount;
    default: return i - kLightDirSlotCount - kMainSlotCount;
    }
}
// Slots first..last of one table, first not after last.
constexpr bool IsSlotRun(SlotId first, SlotId last) { return TableOf(first) == TableOf(last) && first <= last; }
constexpr size_t SlotRunLength(SlotId first, SlotId last) {
    return static_cast<size_t>(last) - static_cast<size_t>(first) + 1;
}
constexpr SlotId NextSlot(SlotId id) { return static_cast<SlotId>(static_cast<size_t>(id) + 1); }

LiveOverrideSlot& Slot(SlotId id);
// The display label (diagnostics and tests; nothing is looked up by it).
const char* SlotName(SlotId id);

// ---- Override groups ------------------------------------------------------------------

// When the tick applies a part: while any member is enabled (else it may
// restore it), or every frame (never restored by the tick).
enum class PartWhen : uint8_t { AnyMember, Always };

// What applying a part does (group_parts.tsv explains each).
enum class PartApply : uint8_t {
    Call,          // the applier
    Members,       // each member's own applier
    GateMembers,   // when the gate holds: each member's own applier
    GateEngine,    // when the gate holds: the members' engine writes
    StorePatch,    // the probed stores removed by the tick, then the members' engine writes
    GateRedirect,  // when the installer (gate) is ready: the redirect-cell step of the member's record
};

inline constexpr int32_t kNoEngineField = -1;

struct PartMember {
    SlotId slot;
    int32_t engineOffset;  // field of the engine's post-effect block the tick writes; kNoEngineField: none
    bool record;           // the part's restore writes this slot's redirect record back
    const char* applier;   // name of the member's own applier, or null
};

// Names of the functions behind a part's entries, null where it has none
// (diagnostics and tests: the tick calls the entries, never a name).
struct PartInfo {
    const char* name;
    GroupId group;
    PartWhen when;
    PartApply apply;
    std::span<const PartMember> members;
    const char* gate;  // the gate, the redirect's installer or the store probe
    const char* applier;
    const char* restorer;
};

struct GroupInfo {
    const char* name;
    PartId firstPart;
    uint8_t partCount;
};

const PartInfo& Part(PartId id);
const GroupInfo& Group(GroupId id);
// True when an enabled slot is among the part's members.
bool AnyMemberEnabled(PartId id);

}  // namespace runtime
