#include "weather/sirens_editor.h"

#include <array>
#include <cstring>

#include "runtime/guarded_memory.h"
#include "weather/sirens_state.h"

namespace weather {

namespace {

constexpr uint64_t kCountCacheMs = 250;

bool BeforeViewShown() { return Sirens.SirenBeforeShown && Sirens.SirenEditedImageSaved; }

void NoteWrite() {
    ++Sirens.SirenChangeCounter;
    Sirens.editedCount.valid = 0;
}

// The edits' bytes at offset in the block: in the edited image while the
// before view is shown, else in the game.
bool ReadEdits(uint64_t offset, void* out, uint64_t size) {
    if (offset + size > kSirenBlockBytes) return false;
    if (BeforeViewShown()) {
        std::memcpy(out, Sirens.SirenEditedImage.data() + offset, size);
        return true;
    }
    return Sirens.SirenBlockAddress != 0 && runtime::SafeReadMemory(Sirens.SirenBlockAddress + offset, out, size);
}

bool WriteEdits(uint64_t offset, const void* bytes, uint64_t size) {
    if (offset + size > kSirenBlockBytes) return false;
    if (BeforeViewShown()) {
        std::memcpy(Sirens.SirenEditedImage.bytes.data() + offset, bytes, size);
        return true;
    }
    return Sirens.SirenBlockAddress != 0 && runtime::WriteBytesProtected(Sirens.SirenBlockAddress + offset, bytes, size);
}

const uint8_t* BaselineAt(uint64_t offset) { return Sirens.SirenBaseline.data() + offset; }

}  // namespace

bool SirenBlockValid() {
    return Sirens.SirenBlockAddress != 0 && runtime::IsReadable(Sirens.SirenBlockAddress, kSirenBlockBytes);
}

void ForgetSirenEdits() {
    SirenState& s = Sirens;
    ClearSirenEdits(s);
    ++s.SirenChangeCounter;
}

bool EnsureSirenBaseline(std::string& status) {
    SirenState& s = Sirens;
    if (!SirenBlockValid()) {
        status = "Resolve first.";
        return false;
    }
    if (s.SirenBaselineTaken) return true;
    // Registered as the editor's own bytes before the game's bytes arrive.
    uint8_t* into = s.SirenBaseline.Reserve(kSirenBlockBytes);
    if (!runtime::SafeReadMemory(s.SirenBlockAddress, into, kSirenBlockBytes)) {
        s.SirenBaseline.Clear();
        status = "Saved state unavailable.";
        return false;
    }
    s.SirenBaselineTaken = 1;
    return true;
}

bool ApplySirenValue(size_t profile, size_t row, uint32_t value, std::string& status) {
    if (!EnsureSirenBaseline(status)) return false;
    if (profile >= kSirenProfileCount || row >= SirenProfileFieldTable.size()) {
        status = "Value not writable.";
        return false;
    }
    const SirenField& f = SirenProfileFieldTable[row];
    if (!WriteEdits(SirenProfileOffset(profile) + f.offset, &value, SirenFieldWidth(f.type))) {
        status = "Value not writable.";
        return false;
    }
    NoteWrite();
    status = "Value applied.";
    return true;
}

bool ApplySirenLightValue(size_t profile, size_t light, size_t row, uint32_t value, std::string& status) {
    if (!EnsureSirenBaseline(status)) return false;
    if (profile >= kSirenProfileCount || light >= kSirenLightCount || row >= SirenLightFieldTable.size()) {
        status = "Light value not writable.";
        return false;
    }
    const SirenField& f = SirenLightFieldTable[row];
    if (!WriteEdits(SirenLightOffset(profile, light) + f.offset, &value, SirenFieldWidth(f.type))) {
        status = "Light value not writable.";
        return false;
    }
    NoteWrite();
    status = "Light value applied.";
    return true;
}

bool ApplySirenLightValues(size_t profile, size_t row, uint32_t value, std::string& status) {
    if (!EnsureSirenBaseline(status)) return false;
    if (profile >= kSirenProfileCount || row >= SirenLightFieldTable.size()) {
        status = "Profile not writable.";
        return false;
    }
    std::array<uint8_t, kSirenProfileBytes> image;
    if (!ReadEdits(SirenProfileOffset(profile), image.data(), kSirenProfileBytes)) {
        status = "Profile read failed.";
        return false;
    }
    const SirenField& f = SirenLightFieldTable[row];
    for (uint64_t light = 0; light < kSirenLightCount; ++light)
        std::memcpy(image.data() + kSirenHeadBytes + light * kSirenLightBytes + f.offset, &value, SirenFieldWidth(f.type));
    if (!WriteEdits(SirenProfileOffset(profile), image.data(), kSirenProfileBytes)) {
        status = "Profile not writable.";
        return false;
    }
    NoteWrite();
    status = "Light values applied.";
    return true;
}

bool RestoreSirenState(std::string& status) {
    SirenState& s = Sirens;
    if (!s.SirenBaselineTaken) {
        status = "No saved state.";
        return false;
    }
    if (!SirenBlockValid()) {
        status = "Runtime block unavailable.";
        return false;
    }
    if (!runtime::WriteBytesProtected(s.SirenBlockAddress, s.SirenBaseline.data(), kSirenBlockBytes)) {
        status = "Runtime block not writable.";
        return false;
    }
    // Read back into an own copy, which no search finds.
    uint8_t* back = s.scratch.Reserve(kSirenBlockBytes);
    if (!runtime::SafeReadMemory(s.SirenBlockAddress, back, kSirenBlockBytes) ||
        std::memcmp(back, s.SirenBaseline.data(), kSirenBlockBytes) != 0) {
        status = "Verification mismatch.";
        return false;
    }
    s.SirenBaseline.Clear();
    s.SirenEditedImage.Clear();
    ++s.SirenChangeCounter;
    s.SirenBaselineTaken = 0;
    s.SirenEditedImageSaved = 0;
    s.SirenBeforeShown = 0;
    s.editedCount = {};
    status = "Restored.";
    return true;
}

bool ShowSirensBefore(std::string& status) {
    SirenState& s = Sirens;
    // Already shown: the game holds the baseline and the edited image the
    // edits; reading the block again would put the baseline in their place.
    if (BeforeViewShown()) {
        status = "Before shown.";
        return true;
    }
    if (!s.SirenBaselineTaken || s.SirenBlockAddress == 0 || CountEditedSirenProfiles(true) == 0) {
        status = "No edited values.";
        return false;
    }
    uint8_t* image = s.SirenEditedImage.Reserve(kSirenBlockBytes);
    if (!runtime::IsReadable(s.SirenBlockAddress, kSirenBlockBytes) ||
        !runtime::SafeReadMemory(s.SirenBlockAddress, image, kSirenBlockBytes)) {
        status = "Runtime block not readable.";
        return false;
    }
    if (!runtime::WriteBytesProtected(s.SirenBlockAddress, s.SirenBaseline.data(), kSirenBlockBytes)) {
        status = "Runtime block not writable.";
        return false;
    }
    s.SirenEditedImageSaved = 1;
    s.SirenBeforeShown = 1;
    status = "Before shown.";
    return true;
}

bool ShowSirensAfter(std::string& status) {
    SirenState& s = Sirens;
    if (!BeforeViewShown()) {
        status = "No active comparison.";
        return false;
    }
    if (s.SirenBlockAddress == 0 ||
        !runtime::WriteBytesProtected(s.SirenBlockAddress, s.SirenEditedImage.data(), kSirenBlockBytes)) {
        status = "Edited values not writable.";
        return false;
    }
    ++s.SirenChangeCounter;
    s.SirenBeforeShown = 0;
    s.editedCount.valid = 0;
    status = "After shown.";
    return true;
}

uint64_t CountEditedSirenProfiles(bool force) {
    SirenState& s = Sirens;
    if (!s.SirenBaselineTaken || s.SirenBlockAddress == 0) {
        s.editedCount.valid = 0;
        return 0;
    }
    if (BeforeViewShown()) {
        uint64_t count = 0;
        for (const SirenProfileRow& row : SirenProfileTable) {
            const uint64_t at = SirenProfileOffset(static_cast<uint64_t>(row.index));
            if (std::memcmp(s.SirenEditedImage.data() + at, BaselineAt(at), kSirenProfileBytes) != 0) ++count;
        }
        return count;
    }
    const uint64_t now = SirenNowMs();
    if (!force && s.editedCount.valid && s.editedCount.stamp == s.SirenChangeCounter &&
        now - s.editedCount.timeMs < kCountCacheMs)
        return s.editedCount.count;
    uint64_t count = 0;
    for (const SirenProfileRow& row : SirenProfileTable)
        if (SirenProfileChanged(static_cast<size_t>(row.index))) ++count;
    s.editedCount = {count, 1, now, s.SirenChangeCounter};
    return count;
}

bool SirenProfileChanged(size_t profile) {
    SirenState& s = Sirens;
    if (!s.SirenBaselineTaken || s.SirenBlockAddress == 0 || profile >= kSirenProfileCount) return false;
    std::array<uint8_t, kSirenProfileBytes> image;
    if (!runtime::SafeReadMemory(s.SirenBlockAddress + SirenProfileOffset(profile), image.data(), kSirenProfileBytes))
        return false;
    return std::memcmp(image.data(), BaselineAt(SirenProfileOffset(profile)), kSirenProfileBytes) != 0;
}

bool ReadSirenDisplayProfile(size_t profile, uint8_t* out) {
    if (profile >= kSirenProfileCount) return false;
    return ReadEdits(SirenProfileOffset(profile), out, kSirenProfileBytes);
}

bool ResetSirenProfile(size_t profile, std::string& status) {
    SirenState& s = Sirens;
    if (!s.SirenBaselineTaken) {
        status = "No saved state.";
        return false;
    }
    if (profile >= kSirenProfileCount || !SirenBlockValid() ||
        !WriteEdits(SirenProfileOffset(profile), BaselineAt(SirenProfileOffset(profile)), kSirenProfileBytes)) {
        status = "Profile reset failed.";
        return false;
    }
    NoteWrite();
    status = "Profile reset.";
    return true;
}

bool ResetSirenValue(size_t profile, size_t row, std::string& status) {
    if (!Sirens.SirenBaselineTaken) {
        status = "No saved state.";
        return false;
    }
    if (profile >= kSirenProfileCount || row >= SirenProfileFieldTable.size()) {
        status = "Value not writable.";
        return false;
    }
    const SirenField& f = SirenProfileFieldTable[row];
    const uint64_t at = SirenProfileOffset(profile) + f.offset;
    if (!WriteEdits(at, BaselineAt(at), SirenFieldWidth(f.type))) {
        status = "Value not writable.";
        return false;
    }
    NoteWrite();
    status = "Value reset.";
    return true;
}

bool ResetSirenLightValue(size_t profile, int light, size_t row, std::string& status) {
    if (!Sirens.SirenBaselineTaken) {
        status = "No saved state.";
        return false;
    }
    const bool all = light < 0;
    if (profile >= kSirenProfileCount || row >= SirenLightFieldTable.size() ||
        (!all && static_cast<uint64_t>(light) >= kSirenLightCount)) {
        status = all ? "Profile not writable." : "Light value not writable.";
        return false;
    }
    const SirenField& f = SirenLightFieldTable[row];
    const uint64_t width = SirenFieldWidth(f.type);
    if (!all) {
        const uint64_t at = SirenLightOffset(profile, static_cast<uint64_t>(light)) + f.offset;
        if (!WriteEdits(at, BaselineAt(at), width)) {
            status = "Light value not writable.";
            return false;
        }
        NoteWrite();
        status = "Light value reset.";
        return true;
    }
    std::array<uint8_t, kSirenProfileBytes> image;
    if (!ReadEdits(SirenProfileOffset(profile), image.data(), kSirenProfileBytes)) {
        status = "Profile read failed.";
        return false;
    }
    for (uint64_t i = 0; i < kSirenLightCount; ++i) {
        const uint64_t inProfile = kSirenHeadBytes + i * kSirenLightBytes + f.offset;
        std::memcpy(image.data() + inProfile, BaselineAt(SirenProfileOffset(profile) + inProfile), width);
    }
    if (!WriteEdits(SirenProfileOffset(profile), image.data(), kSirenProfileBytes)) {
        status = "Profile not writable.";
        return false;
    }
    NoteWrite();
    status = "Light values reset.";
    return true;
}

void SirensAllLiveBeforeAfter(uint8_t before, uint8_t* changed) {
    std::lock_guard<std::mutex> lock(Sirens.lock);
    // The hotkeys change no status line.
    std::string scratch;
    bool wrote = false;
    if (before) {
        if (!BeforeViewShown()) wrote = ShowSirensBefore(scratch);
    } else if (Sirens.SirenBeforeShown) {
        wrote = ShowSirensAfter(scratch);
    }
    if (wrote && changed != nullptr) *changed = 1;
}

}  // namespace weather
