#include "visualsettings/sections.h"

#include <cmath>

namespace visualsettings {
namespace {

constexpr float kEditedEpsilon = 5e-5f;

bool SlotEdited(const runtime::LiveOverrideSlot& slot) {
    if (slot.baselineCaptured) return std::fabs(slot.value - slot.baselineValue) > kEditedEpsilon;
    return slot.enabled || slot.followImport;
}

bool KeyEdited(const std::string& key, const VisibleRows& rows, const VisibleSlots& slots) {
    if (auto row = rows.find(key); row != rows.end()) return row->second != nullptr && IsVisualRowEdited(*row->second);
    if (auto slot = slots.find(key); slot != slots.end()) return slot->second != nullptr && SlotEdited(*slot->second);
    return false;
}

}  // namespace

bool IsVisualRowEdited(const VisualSettingsParam& row) {
    if (!row.hasOriginal) return row.overridden || row.differs;
    const float value = row.value;
    const float original = row.original;
    switch (row.Kind()) {
    case ValueKind::UnsignedInt:
        return EncodeUnsigned(ToGameUnits(row, value)) != EncodeUnsigned(ToGameUnits(row, original));
    case ValueKind::BoolByte:
    case ValueKind::Bool32: return (value >= 0.5f) != (original >= 0.5f);
    case ValueKind::Red:
    case ValueKind::Green:
    case ValueKind::Blue: return ChannelByte(value) != ChannelByte(original);
    default: return std::fabs(value - original) > kEditedEpsilon;
    }
}

bool KeysHaveEditedRow(const std::vector<std::string>& keys, const VisibleRows& rows, const VisibleSlots& slots) {
    for (const std::string& key : keys) {
        if (KeyEdited(key, rows, slots)) return true;
    }
    return false;
}

bool SectionHasEditedRow(const VisualSettingsSection& section, const VisibleRows& rows, const VisibleSlots& slots) {
    for (const VisualSettingsGroup& group : section.items) {
        if (KeysHaveEditedRow(group.items, rows, slots)) return true;
    }
    return false;
}

}  // namespace visualsettings
