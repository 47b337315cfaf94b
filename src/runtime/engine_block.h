// The engine-block appliers: while an override of a post-effect value is
// on, the game's own store of it into the engine's post-effect block
// (SecondaryBlock) is removed, and the editor writes the value there
// itself every frame (and into its mirror 1360 bytes on, and its
// TimecycleBlock field). The members of engine_members.tsv each write one
// slot and the first of a group installs and takes back the group's
// stores; the gates install a group's stores whole for the tick.
//
// Script fiber only (the unload's thread at unload).
#pragma once
#include <cstdint>

#include "runtime/code_patch.h"
#include "runtime/live_slots.h"

namespace runtime {

inline constexpr int64_t kEngineMirrorDistance = 1360;

// Writes an enabled slot's value to its TimecycleBlock field, the engine
// field at offset and the mirror, when all three exist and the two engine
// fields are readable; then liveValue and liveReadable follow.
void ApplySlotToEngineBlock(LiveOverrideSlot& slot, int64_t offset);
// The entry form (the tick's engine writes).
void WriteSlotToEngineBlock(SlotId slot, uint32_t offset);

// The member of engine_members.tsv row i (the entries fill the tick's
// member appliers with these).
using EngineMemberFn = void (*)();
EngineMemberFn EngineMemberApplier(size_t row);

// The gates: true when the group's stores are removed (now or before).
bool GatePostFxGradientWrites();
bool GateEnvironmentalBlurWrites();
bool GateLensArtefactsWrites();
bool GateNightVisionColorWrites();
bool GatePostFxVignettingWrites();
bool GatePostFxExposureWrites();
// Site A (a movaps to 976) removed and site B's store of xmm2 to 456
// replaced by a store of xmm0.
bool GateScreenBlurWrites();

// The groups' restores: the game's bytes back at every site removed.
void RestorePostFxExposurePatches();
void RestorePostFxExposureMaxPatch();
void RestorePostFxDesaturationPatch();
void RestoreExposureBloomPatch();
void RestorePostFxCorrectPatch();
void RestorePostFxShiftPatch();
void RestorePostFxVignettingPatches();
void RestorePostFxGradientPatches();
void RestoreEnvironmentalBlurPatches();
void RestoreLensArtefactsPatch();
void RestoreNightVisionColorPatches();
void RestoreScreenBlurPatches();

}  // namespace runtime
