// The appliers of the groups that need more than one mechanism at once:
// the light rays and the sprite and lens-flare values (their reads
// redirected to a near block of the editor's), the night-vision scalars
// (their stores removed and the engine fields written), the ped and
// vehicle lights (stores removed, globals written, two redirects) and the
// dark and bright filmic tonemapping (a short jump over the game's code).
// Every enabled slot is also written into its TimecycleBlock field.
//
// Script fiber only (the unload's thread at unload).
#pragma once
#include <cstdint>
#include <vector>

#include "core/shared_value.h"
#include "runtime/code_patch.h"

namespace runtime {

inline constexpr size_t kLightRayFieldCount = 11;
inline constexpr size_t kSpriteValueCount = 5;

// A list of redirected reads: each record's bytes point its instruction
// into a near block. As many records as the probe's window holds loads.
struct RedirectList {
    std::vector<CodePatch> records;
    Attempts attempts;
    uint8_t ready = 0;
};

// The appliers' near blocks and marks; script fiber only (the rule above).
struct GroupApplierState {
    RedirectList lightRays;
    uint64_t lightRayBlock = 0;  // 44 bytes: the eleven light-ray fields, TimecycleBlock 264 to 307
    RedirectList spriteA;        // the timecycle signature A's read of 1188
    RedirectList spriteB;        // signature B's reads of 1188 and 1192
    // Set by the visualsettings import: slots that follow the import are
    // written to the game as if enabled.
    core::SharedValue<uint8_t> importFollow{0};
    // The visualsettings pointer map follows a direct write of a slot (its
    // editor sets this; null: nothing follows).
    void (*onDirectWrite)(const char* slotName, float value) = nullptr;
};
extern GroupApplierState GroupAppliers;
// Back to nothing found (tests; no record may be patched).
void ResetGroupAppliers();

void ApplyLiveLightRays();
void ApplyLiveNightVision();
void ApplyLivePedAndVehicleLights();
void ApplyLiveSpriteLensflare();
void ApplyLiveTonemapDarkBright();
bool GateSpriteLensflareWrites();

// The probes of the redirect lists (one attempt each) and the light rays'
// installer (site 1: the first of its loads; site 2: the second group's, 0
// when there is none).
bool ProbeLightRays();
bool InstallLightRaysRedirects(uint64_t site1, uint64_t site2);
bool ProbeSpriteRedirectA();
bool ProbeSpriteRedirectB();
// The staging of the light-ray and sprite values into their near blocks.
void ApplyLiveSlotGroupB();
void ApplyLiveSlotGroupA();

void RestoreNightVisionPatches();
void RestoreLightRaysRedirects();
void RestoreTemperatureBlockPatches();
void RestorePedLightPatches();
void RestoreTonemapJump();

}  // namespace runtime
