// The vehicle sirens editor: every edit is written straight into the game's
// siren block; the game's bytes are copied once, before the first write,
// into the baseline, which serves for the edited marks, "Restore", the
// before view and the carcols.ymt export.
//
// While the before view is shown the game holds the baseline and the edits
// wait in the edited image: edits made then go into the edited image (the
// game keeps showing its own values) and "after" writes them all.
//
// Every operation writes its outcome into Sirens.SirenLoadStatus through
// status and returns success. Thread rule: weather/sirens_state.h (the
// caller holds Sirens.lock), but SirensAllLiveBeforeAfter takes it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace weather {

// The block is known and its 31,752 bytes lie committed and readable in
// one region.
bool SirenBlockValid();

// Drops the baseline and the edited image and their flags (a new load).
void ForgetSirenEdits();

bool EnsureSirenBaseline(std::string& status);

// The writers; value holds the field's bits (the low byte for byte and
// bool fields). row indexes SirenProfileFieldTable or SirenLightFieldTable.
bool ApplySirenValue(size_t profile, size_t row, uint32_t value, std::string& status);
bool ApplySirenLightValue(size_t profile, size_t light, size_t row, uint32_t value, std::string& status);
// The field of all 20 lights of the profile, in one profile write.
bool ApplySirenLightValues(size_t profile, size_t row, uint32_t value, std::string& status);

// The baseline back over the block, read back and compared; then no baseline.
bool RestoreSirenState(std::string& status);

// The before view: the edited block kept in the edited image, the baseline
// written over the block. A second "before" while it is shown keeps the
// edited image and writes nothing.
bool ShowSirensBefore(std::string& status);
// The edited image back over the block.
bool ShowSirensAfter(std::string& status);

// Profiles whose bytes differ from the baseline (cached for 250 ms unless
// force or an edit since).
uint64_t CountEditedSirenProfiles(bool force);
// The game's profile differs from its baseline.
bool SirenProfileChanged(size_t profile);

// The profile's bytes as shown: from the edited image while the before view
// is shown, else from the game. False when they could not be read.
bool ReadSirenDisplayProfile(size_t profile, uint8_t* out);

// The resets of the panel: the baseline's bytes of a whole profile, of one
// head field, of one light's field, or (light < 0) of that field in all 20
// lights.
bool ResetSirenProfile(size_t profile, std::string& status);
bool ResetSirenValue(size_t profile, size_t row, std::string& status);
bool ResetSirenLightValue(size_t profile, int light, size_t row, std::string& status);

// The all-live before/after hotkey's siren step: before shows the baseline
// (when edits exist and it is not shown yet), after writes the edits back
// (when the before view is shown). Sets *changed when it wrote. Takes the lock.
void SirensAllLiveBeforeAfter(uint8_t before, uint8_t* changed);

}  // namespace weather
