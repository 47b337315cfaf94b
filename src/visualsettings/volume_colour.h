// The dark volume colour: the four rows "dark.volumeColor.x" .. ".w", which
// the game keeps as one vector of four floats (data block 14, +0x50), so
// that an edit of any component rewrites all four.
//
// Thread rule: as the other row writers (render thread and script fiber, no
// lock; atomics in the rows, guarded game writes).
#pragma once
#include <atomic>
#include <cstdint>

namespace visualsettings {

inline constexpr uint64_t kVolumeColorTarget = 0x100E000000000050ull;
inline constexpr const char* kVolumeColorPrefix = "dark.volumeColor.";

bool IsVolumeColorKey(const char* key);  // begins with "dark.volumeColor."
// The vector's game address, or 0 (kept once resolved: its block lies in
// the game image and never moves).
uint64_t VolumeColorAddress();
void ResetVolumeColorForTesting();
// x, y, z, w into the vector; true when all four stores succeeded.
bool WriteVolumeColor(float x, float y, float z, float w);
// The four rows' values into the vector; each row's applied value, applied
// flag and loaded flag follow. False when a row is missing or its game value
// was never known.
bool SyncVolumeColor();
// The named row's default into the vector (the default writer's volume
// step); reset, defaultsOfEdited: as WriteTrafficLightComponent.
bool WriteVolumeColorComponent(const char* key, bool reset, bool defaultsOfEdited = false);

}  // namespace visualsettings
