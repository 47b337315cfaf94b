#include "runtime/override_groups.h"

namespace runtime {
namespace {

#include "runtime/override_groups_data.inc"

}  // namespace

LiveOverrideSlot& Slot(SlotId id) {
    const size_t row = RowOf(id);
    switch (TableOf(id)) {
    case SlotTableId::LightDir: return LiveSlots.LightDirSlotTable[row];
    case SlotTableId::Main: return LiveSlots.MainSlotTable[row];
    default: return LiveSlots.FogToneSlotTable[row];
    }
}

const char* SlotName(SlotId id) { return Slot(id).name; }

const PartInfo& Part(PartId id) { return kPartTable[static_cast<size_t>(id)]; }

const GroupInfo& Group(GroupId id) { return kGroupTable[static_cast<size_t>(id)]; }

bool AnyMemberEnabled(PartId id) {
    for (const PartMember& member : Part(id).members)
        if (Slot(member.slot).enabled) return true;
    return false;
}

}  // namespace runtime
