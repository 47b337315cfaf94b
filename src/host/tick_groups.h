// The override groups of the tick: which slots switch each group on, what is
// applied while one of them is enabled, and what is restored when none is.
// The table is data; ScriptTick walks it in the imported or the override
// order. Subsystem functions are named here and reached through TickCalls.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/store_probes.h"

namespace host {

// ---- Callees -------------------------------------------------------------------------

// A code site captured by a store-suppression probe (runtime/store_probes.h).
using StoreSite = runtime::StoreSite;

// What the tick calls in the live-write runtime, the timecycle and the
// visualsettings editors, by name. A null member is a subsystem that is not
// built; it is skipped (a test then counts as failing).
struct TickCallees {
    // A step without arguments: "SyncTimecycleBeforeAfter", "RefreshModifier",
    // "VisualSettingsBeforeAfter", "RestoreAllPatches", "ClearWriteListCount",
    // the group appliers and restores ("ApplyLiveLightDir", ...).
    void (*call)(const char* name) = nullptr;
    // A test or gate: "ContextHasEdits", "ImportedOverridesActive",
    // "ModifierWorkPending", "AnyPostFxGradientOverride", "GatePostFxVignettingWrites", ...
    bool (*test)(const char* name) = nullptr;
    // The slot's enabled flag; and whether any slot of the run first..last is enabled.
    bool (*slotEnabled)(const char* slot) = nullptr;
    bool (*runEnabled)(const char* first, const char* last) = nullptr;
    // The unforced refresh rule of one slot, and of a run of slots first..last.
    void (*refreshSlot)(const char* slot) = nullptr;
    void (*refreshRun)(const char* first, const char* last) = nullptr;
    // ApplySlotToEngineBlock (slot, engine offset).
    void (*engineWrite)(const char* slot, uint32_t offset) = nullptr;
    // Writes back the saved bytes of the slot's RedirectRecord when installed.
    void (*recordRestore)(const char* slot) = nullptr;
    // The redirect-cell member step of one slot's record with its installer.
    void (*inlineRedirect)(const char* slot, const char* installer) = nullptr;
    // Whether a weather has a timecycle file.
    bool (*isTimecycleFileWeather)(uint32_t weather) = nullptr;
    // Store-suppression probes: one site ("ProbeScanlineStore",
    // "ProbeLensDistortionStore"), or the six heat-haze sites in any order.
    bool (*probeStore)(const char* probe, StoreSite& site) = nullptr;
    bool (*probeHeatHaze)(StoreSite (&sites)[6]) = nullptr;
    // PatchCodeBytes: writes code bytes (protection lifted, cache flushed).
    bool (*patchCode)(uint64_t address, const uint8_t* bytes, size_t length) = nullptr;
};
extern TickCallees TickCalls;

// ---- The group table -----------------------------------------------------------------

enum class GroupApply : uint8_t {
    Calls,              // the named appliers
    GatedCalls,         // when the gate holds: the named appliers
    GatedEngineWrites,  // when the gate holds: the engine writes
    StorePatch,         // the probe's store removed once (nine NOPs), then the engine writes
    InlineRedirect,     // the redirect-cell step of the slot's record with the named installer
    HeatHaze,           // the six heat-haze stores removed, whole or not at all
};

enum class GroupRestore : uint8_t {
    Steps,       // the named restores; "@slot" restores the record of that slot of the part
    Record,      // the record of the part's own (first) slot
    StorePatch,  // the probe's saved bytes written back
};

struct EngineWrite {
    const char* slot;
    uint32_t offset;
};

// One row of a group: a test and what follows from it. Name lists are
// separated by '|'.
struct GroupPart {
    const char* testSlots;     // any of these slots enabled
    const char* testRunLast;   // when set: any slot of the run testSlots..testRunLast
    const char* testFunction;  // when set instead of slots: this test
    GroupApply apply;
    const char* applyNames;    // Calls / GatedCalls
    const char* gate;          // the gate, the probe or the installer
    std::span<const EngineWrite> writes;
    GroupRestore restore;
    const char* restoreNames;  // Steps
};

struct TickGroup {
    const char* key;
    std::span<const GroupPart> parts;
    bool restoredInImported;  // restored in the imported mode when its test fails
};

std::span<const TickGroup> TickGroupTable();
const TickGroup* FindTickGroup(const char* key);

// The engine-block members, called in both applying modes in this order
// (each tests its own slot), and the tonemapping applier of the imported mode.
std::span<const char* const> EngineBlockMembers();
inline constexpr const char* kTonemapDarkBright = "ApplyLiveTonemapDarkBright";
// The key that stands for the engine-block members in the orders below.
inline constexpr const char* kEngineBlockKey = "EngineBlock";

std::span<const char* const> ImportedGroupOrder();
std::span<const char* const> OverrideGroupOrder();
// Groups the override mode never applies; it restores them when none of
// their slots is enabled, so a patch from the imported mode does not linger.
std::span<const char* const> OverrideRestoreOnlyOrder();

// Runs of slots re-read every tick (unforced), in this order.
struct SlotRun {
    const char* first;
    const char* last;
    uint32_t count;
};
std::span<const SlotRun> TickRefreshRuns();
std::span<const char* const> TickLightDirSlots();

// ---- Running the table ------------------------------------------------------------------

// The store-suppression patches the tick installs itself.
extern std::atomic<uint8_t> ScanlinePatchInstalled;
extern std::atomic<uint8_t> LensDistortionPatchInstalled;
extern std::atomic<uint8_t> HeatHazePatchesInstalled;

// Block offsets of the six heat-haze stores in patch order, and the length
// of each store (the store at 624 is one byte longer).
inline constexpr uint32_t kHeatHazeOffsets[6] = {576, 592, 608, 624, 640, 656};
inline constexpr uint8_t kHeatHazeLengths[6] = {9, 9, 9, 10, 9, 9};

// A named step or test through TickCalls (nothing, or false, while its
// subsystem is not built).
void CallTickStep(const char* name);
bool TickTest(const char* name);

void RunGroupsImported();
void RunGroupsOverride();

// The installed flag of the store patch a probe name stands for
// ("ProbeScanlineStore", "ProbeLensDistortionStore"); null for any other name.
std::atomic<uint8_t>* TickStorePatchFlag(const char* probe);

// Write back the saved game bytes of the tick's own patches (each when
// installed) and clear their flags.
void RestoreScanlinePatch();
void RestoreLensDistortionPatch();
void RestoreHeatHazePatches();
void RestoreTickStorePatches();

// Back to the state at process start, forgetting the captured sites (tests).
void ResetTickGroupState();

}  // namespace host
