// The editor's entry table: the functions that the tick and the before/after
// hotkeys call in the subsystems, and that a lower layer calls in a higher
// one, as typed function pointers. Each layer fills the entries of the
// functions it owns (FillRuntimeEntries below; the timecycle editor's and the
// host's beside their code); the host has every layer fill the table once at
// process start (host/tick_wiring.h). An entry that is null is code that is
// not built yet: its caller skips it, and MissingEntries names it.
//
// Filled before anything runs and read-only afterwards (tests replace
// entries with recorders and put the table back).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "runtime/slot_ids.h"
#include "runtime/store_probes.h"

namespace runtime {

// The tick's steps outside the override groups, in the order a tick meets them.
struct TickStepEntries {
    void (*syncTimecycleBeforeAfter)() = nullptr;
    void (*finishVisualSettingsSwitch)() = nullptr;
    bool (*modifierWorkPending)() = nullptr;  // any modifier work pending or a modifier live
    void (*refreshModifier)() = nullptr;
    void (*stepModifierLiveResolve)() = nullptr;
    bool (*isTimecycleFileWeather)(uint32_t weather) = nullptr;
    bool (*importedOverridesActive)() = nullptr;
    bool (*contextHasEdits)() = nullptr;
    void (*visualSettingsBeforeAfter)() = nullptr;
    void (*clearWriteListCount)() = nullptr;
    void (*restoreAllPatches)() = nullptr;  // every override patch back to the game's bytes
};

// One part of an override group (runtime/override_groups.h says which of
// these a part uses).
struct PartEntries {
    void (*apply)() = nullptr;
    bool (*gate)() = nullptr;  // the gate, or the installer of the part's redirect
    void (*restore)() = nullptr;
    // Store patches: captures the part's store sites (as many as sites
    // holds); false when they are not found.
    bool (*probe)(std::span<StoreSite> sites) = nullptr;
};

// What the all-live before/after hotkey asks of the editors. `changed` is
// set (never cleared) by a call that wrote anything.
struct BeforeAfterEntries {
    // Refreshes the timecycle groups' edited flags; true when one is edited.
    bool (*anyTimecycleGroupEdited)() = nullptr;
    bool (*anyVisualSettingsGroupEdited)() = nullptr;
    void (*modifierAllLiveBeforeAfter)(uint8_t before, uint8_t* changed) = nullptr;
    void (*showWeatherDocsBeforeAfter)(uint8_t before, uint8_t* changed) = nullptr;
};

struct EditorEntries {
    TickStepEntries tick;
    std::array<PartEntries, kPartCount> parts{};
    // The own appliers of the members of Members and GateMembers parts, by slot.
    std::array<void (*)(), kSlotCount> memberAppliers{};
    // The slot's value into its engine-block field at offset (and its mirror).
    void (*engineWrite)(SlotId slot, uint32_t offset) = nullptr;
    // Writes the saved bytes of the slot's redirect record back when it is installed.
    void (*restoreRecord)(SlotId slot) = nullptr;
    // The redirect-cell step of the slot's record, its installer being ready.
    void (*redirectStep)(SlotId slot) = nullptr;
    // Writes code bytes (protection lifted, cache flushed); false when it could not.
    bool (*patchCode)(uint64_t address, const uint8_t* bytes, size_t length) = nullptr;
    BeforeAfterEntries beforeAfter;
    // The tick's overrides-applied mark of the imported mode := 0 (the host's).
    void (*clearImportPatchesMark)() = nullptr;
};

EditorEntries& Entries();

// The runtime's own entries: the code writer, the override groups' appliers,
// gates, restores and probes, the write list and the restore of every patch.
void FillRuntimeEntries(EditorEntries& entries);

// One line per entry that a caller needs and that is null, as
// "<part or table> <entry> <function>", in table order.
std::vector<std::string> MissingEntries(const EditorEntries& entries);

}  // namespace runtime
