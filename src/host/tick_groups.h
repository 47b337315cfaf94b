// The override groups in the tick: the orders in which a frame runs them,
// what running a part means (runtime/override_groups.h describes the parts,
// runtime/editor_entries.h holds the functions behind them), the slot runs
// re-read every frame, and the store patches the tick installs itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/override_groups.h"
#include "runtime/store_patches.h"
#include "runtime/store_probes.h"

namespace host {

using runtime::GroupId;
using runtime::PartId;
using runtime::SlotId;
using StoreSite = runtime::StoreSite;

// An entry of runtime::Entries() called, or tested, when it is built.
inline void CallEntry(void (*entry)()) {
    if (entry != nullptr) entry();
}
inline bool EntryHolds(bool (*entry)()) { return entry != nullptr && entry(); }

// ---- Orders ----------------------------------------------------------------------------

// How an order runs a group: apply each part whose test holds; and restore
// each part whose test fails; or only that restore.
enum class GroupRun : uint8_t { Apply, ApplyOrRestore, Restore };

struct OrderStep {
    GroupId group;
    GroupRun run;
};

// The imported mode applies only (heat haze aside, which it restores too);
// the override mode applies and restores, then restores the groups it never
// applies, so that a patch from the imported mode does not linger.
std::span<const OrderStep> ImportedOrder();
std::span<const OrderStep> OverrideOrder();

void RunGroupsImported();
void RunGroupsOverride();

// ---- Slot refresh --------------------------------------------------------------------------

// Runs of slots re-read every tick (unforced), in this order, after the
// members of the LightDir part.
struct SlotRun {
    SlotId first;
    SlotId last;
};
std::span<const SlotRun> TickRefreshRuns();

// ---- The tick's own store patches (runtime/store_patches.h) ------------------------------

using runtime::StorePatchFlag;
using runtime::StoreShape;
using runtime::StoreShapesOf;

// Write back the saved game bytes of the tick's own patches (each when
// installed) and clear their flags.
void RestoreTickStorePatches();

// Back to the state at process start, forgetting the captured sites (tests).
void ResetTickGroupState();

}  // namespace host
