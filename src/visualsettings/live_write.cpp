#include "visualsettings/live_write.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "core/editor_state.h"
#include "platform/clock.h"
#include "runtime/data_signatures.h"
#include "runtime/guarded_memory.h"
#include "runtime/scans.h"
#include "visualsettings/binding.h"
#include "visualsettings/car_lod.h"
#include "visualsettings/code_patch_publishers.h"
#include "visualsettings/pointer_map.h"
#include "visualsettings/puddles.h"
#include "visualsettings/runtime_keys.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/traffic_lights.h"
#include "visualsettings/volume_colour.h"

namespace visualsettings {

VisualSettingsLiveState VisualSettingsLive;

void ResetVisualSettingsLiveState() { VisualSettingsLive.VisualSettingsLivePaused = 0; }

namespace {

constexpr float kDiffersEpsilon = 0.00001f;

bool AfterShown() { return core::Editor.VisualSettingsAfterShown.Get() != 0; }

bool DiffersFromOriginal(const VisualSettingsParam& row, float v) {
    return row.hasOriginal ? std::fabs(v - row.original) > kDiffersEpsilon : true;
}

// v differs from what the game holds of its own: the original, or, for a row
// whose original came from a file, the game's value read since (always,
// while the game's value is unknown): such a value is still to be given to
// the game, and the game's values shown put its own back.
bool DiffersFromGame(const VisualSettingsParam& row, float v) {
    if (!row.originalFromFile) return DiffersFromOriginal(row, v);
    return row.defaultKnown ? std::fabs(v - row.defaultValue) > kDiffersEpsilon : true;
}

// The writer of a ripple, car LOD or runtime-table row: v in game units.
bool WriteChannel(KeyClass kind, const char* key, float v) {
    switch (kind) {
    case KeyClass::Ripple: return WritePuddleRippleField(key, v);
    case KeyClass::CarLodDistance: return WriteCarLodDistance(key, v);
    case KeyClass::RuntimeSlider: return WriteRuntimeTableValue(key, v);
    default: return false;
    }
}

// The live address of a car LOD or runtime-table row's value, 0 when unknown.
uint64_t ChannelAddress(KeyClass kind, const char* key) {
    switch (kind) {
    case KeyClass::CarLodDistance: return CarLodDistanceAddress(key);
    case KeyClass::RuntimeSlider: return LiveAddressOfRuntimeKey(key);
    default: return 0;
    }
}

// Steps shared by the import, the tab edit and the re-apply for the
// published puddle values and the channel rows. True when it handled the row.
bool WriteToChannel(VisualSettingsParam& row, KeyClass kind, float v) {
    if (kind == KeyClass::PuddlesPublished) {
        PublishPuddlesValues();
        row.applied = CaptureHookInstalled() ? 1 : 0;
        row.appliedValue = v;
        return true;
    }
    if (kind != KeyClass::Ripple && kind != KeyClass::CarLodDistance && kind != KeyClass::RuntimeSlider) return false;
    const bool ok = EnsureGameDefault(row) && WriteChannel(kind, row.key, ToGameUnits(row, v));
    row.applied = ok ? 1 : 0;
    if (ok) row.appliedValue = v;
    return true;
}

void WritePlain(VisualSettingsParam& row, uint64_t base, float v) {
    const bool ok = WriteSpecialParam(row, v);
    if (ok) row.appliedValue = v;
    row.applied = ok ? 1 : 0;
    WriteParamOtherTargets(row, base, ToGameUnits(row, v));
}

// The start-up reset of a row read for the first time: its default, when known.
void FirstLoadReset(VisualSettingsParam& row) {
    if (row.loaded) return;
    if (!row.defaultKnown) {
        EnsureGameDefault(row);
        return;
    }
    row.value = row.defaultValue.Get();
    row.appliedValue = row.defaultValue.Get();
    row.loaded = 1;
}

// "take v": the game value read back.
void TakeValue(VisualSettingsParam& row, float v) {
    row.appliedValue = v;
    row.applied = 1;
    if (!row.overridden && !row.differs) row.value = v;
}

bool MenuRefreshDue() { return core::Editor.MenuOpen.Get() != 0 && core::Editor.SlotRefreshTick.Get() != 0; }

void WriteDarkFilmicDefault(size_t i, bool force, bool reset) {
    BindWhenBasesMissing();
    runtime::LiveOverrideSlot& slot = DarkFilmicSlot(i);
    const float d = DarkFilmicDefault(i);
    const bool want = force || slot.enabled || (!AfterShown() && slot.followImport);
    if (reset) {
        slot.loaded = 1;
        slot.enabled = 0;
        slot.followImport = 0;
        slot.value = d;
        slot.liveValue = d;
    }
    if (!want) return;
    bool ok = runtime::SafeWriteFloat(slot.address, d);
    WritePointerMapTargets(slot.name, d);
    ok = runtime::SafeWriteFloat(slot.address, d) || ok;
    slot.liveValue = d;
    slot.liveReadable = ok ? 1 : 0;
}

}  // namespace

KeyClass ClassOfKey(const char* key) {
    if (IsVetoedKey(key)) return KeyClass::Hidden;
    if (IsTrafficLightColorComponent(key)) return KeyClass::TrafficLightComponent;
    if (IsVolumeColorKey(key)) return KeyClass::VolumeColor;
    if (key != nullptr && std::strcmp(key, kPuddlesScaleKey) == 0) return KeyClass::PuddlesScale;
    if (IsPuddlesPublishedKey(key)) return KeyClass::PuddlesPublished;
    if (IsPuddleRippleKey(key)) return KeyClass::Ripple;
    if (IsCarLodKey(key)) return KeyClass::CarLodDistance;
    if (FindRuntimeSliderKey(key) != nullptr) return KeyClass::RuntimeSlider;
    return KeyClass::Plain;
}

KeyClass ClassOfRow(const VisualSettingsParam& row) {
    static const std::array<KeyClass, kParamRowCount> classes = [] {
        std::array<KeyClass, kParamRowCount> out{};
        for (size_t i = 0; i < kParamRowCount; ++i) out[i] = ClassOfKey(detail::kParamSpecs[i].key);
        return out;
    }();
    const std::span<VisualSettingsParam> rows = AllParams();
    if (&row < rows.data() || &row >= rows.data() + rows.size()) return ClassOfKey(row.key);
    return classes[static_cast<size_t>(&row - rows.data())];
}

bool WantsDefaultWrite(const VisualSettingsParam& row, bool force) {
    return force || row.overridden || (!AfterShown() && row.differs);
}

bool GameValuesKnown(std::span<VisualSettingsParam* const> rows) {
    bool known = true;
    for (VisualSettingsParam* row : rows) known = EnsureGameDefault(*row) && known;
    return known;
}

void ResetRowToReference(VisualSettingsParam& row) {
    row.overridden = 0;
    if (!HasReference(row)) {
        row.differs = 0;
        return;
    }
    const float v = ReferenceValue(row);
    row.value = v;
    row.appliedValue = v;
    row.loaded = 1;
    row.differs = row.originalFromFile && DiffersFromGame(row, v) ? 1 : 0;
    // The export's template holds the imported value: a reference other than
    // that is for the export to write, as it is in the tab and the game.
    row.overridden = row.imported && std::fabs(v - row.importedValue) > kDiffersEpsilon ? 1 : 0;
}

void ComposeColour(std::span<VisualSettingsParam* const> rows, size_t named, bool defaultsOfEdited,
                   std::span<float> channels) {
    for (size_t c = 0; c < rows.size() && c < channels.size(); ++c) {
        const VisualSettingsParam& r = *rows[c];
        const bool atDefault = c == named || (defaultsOfEdited && WantsDefaultWrite(r, false));
        channels[c] = atDefault ? r.defaultValue.Get() : r.value.Get();
    }
}

void FollowColourWrite(std::span<VisualSettingsParam* const> rows, std::span<const float> written, bool ok) {
    for (size_t c = 0; c < rows.size() && c < written.size(); ++c) {
        rows[c]->appliedValue = written[c];
        rows[c]->applied = ok ? 1 : 0;
        rows[c]->loaded = 1;
    }
}

bool WriteValueByKind(const VisualSettingsParam& row, uint64_t address, float v) {
    if (address == 0) return false;
    switch (row.Kind()) {
    case ValueKind::UnsignedInt: {
        const uint32_t word = EncodeUnsigned(v);
        return runtime::WriteBytesProtected(address, &word, 4);
    }
    case ValueKind::BoolByte: {
        const uint8_t byte = v >= 0.5f ? 1 : 0;
        return runtime::WriteBytesProtected(address, &byte, 1);
    }
    case ValueKind::Bool32: {
        const uint32_t word = v >= 0.5f ? 1 : 0;
        return runtime::WriteBytesProtected(address, &word, 4);
    }
    case ValueKind::Red:
    case ValueKind::Green:
    case ValueKind::Blue: {
        uint32_t colour = 0;
        if (!runtime::GuardedReadU32(address, colour)) return false;
        colour = SetColorChannel(colour, row.def->kind, v);
        return runtime::WriteBytesProtected(address, &colour, 4);
    }
    default: return runtime::SafeWriteFloat(address, v);
    }
}

bool ReadValueByKind(const VisualSettingsParam& row, uint64_t address, float& out) {
    if (address == 0) return false;
    uint32_t word = 0;
    switch (row.Kind()) {
    case ValueKind::UnsignedInt:
        if (!runtime::GuardedReadU32(address, word)) return false;
        out = ToEditorUnits(row.Unit(), static_cast<float>(word));
        return true;
    case ValueKind::BoolByte: {
        uint8_t byte = 0;
        if (!runtime::GuardedReadU8(address, byte)) return false;
        out = byte != 0 ? 1.0f : 0.0f;
        return true;
    }
    case ValueKind::Bool32:
        if (!runtime::GuardedReadU32(address, word)) return false;
        out = word != 0 ? 1.0f : 0.0f;
        return true;
    case ValueKind::Red:
    case ValueKind::Green:
    case ValueKind::Blue: {
        if (!runtime::GuardedReadU32(address, word)) return false;
        const unsigned shift = row.Kind() == ValueKind::Red ? 16 : row.Kind() == ValueKind::Green ? 8 : 0;
        out = static_cast<float>((word >> shift) & 0xFFu) / 255.0f;
        return true;
    }
    default:
        if (!runtime::GuardedReadU32(address, word)) return false;
        out = ToEditorUnits(row.Unit(), std::bit_cast<float>(word));
        return true;
    }
}

bool WriteSpecialParam(VisualSettingsParam& row, float v) {
    const KeyClass kind = ClassOfRow(row);
    switch (kind) {
    case KeyClass::Hidden: return false;
    case KeyClass::TrafficLightComponent: {
        const char* group = TrafficLightGroupKey(row.key);
        return group != nullptr && WriteTrafficLightColorGroup(group);
    }
    case KeyClass::VolumeColor: return SyncVolumeColor();
    case KeyClass::Ripple:
    case KeyClass::CarLodDistance:
    case KeyClass::RuntimeSlider:
        return EnsureGameDefault(row) && WriteChannel(kind, row.key, ToGameUnits(row, v));
    default: return EnsureGameDefault(row) && WriteValueByKind(row, row.liveAddress, ToGameUnits(row, v));
    }
}

void WriteParamExtraTargets(const VisualSettingsParam& row, uint64_t base, float v) {
    if (base == 0 || row.def->extraCount == 0 || ClassOfRow(row) == KeyClass::Hidden) return;
    const size_t count = row.def->extraCount < kMaxExtraTargets ? row.def->extraCount : kMaxExtraTargets;
    for (size_t i = 0; i < count; ++i) {
        const uint64_t target = row.def->extraTargets[i];
        if (target == 0) continue;
        const uint64_t address = runtime::ResolveLiveHandle(base, target);
        if (address != 0) WriteValueByKind(row, address, v);
    }
}

void WriteParamOtherTargets(VisualSettingsParam& row, uint64_t base, float v) {
    if (!row.defaultKnown) return;  // the game's own value was never read: nothing of the row is written
    if (row.Kind() == ValueKind::Float) WritePointerMapTargets(row.key, v);
    WriteParamExtraTargets(row, base, v);
}

void WriteLiveVisualSetting(VisualSettingsParam& row, uint64_t base, float v, bool write) {
    if (write) EnsureGameDefault(row);  // the game's value before the first write
    // A row that nothing gave a value before: the file's value is its reference.
    if (!row.defaultKnown && !row.hasOriginal) row.originalFromFile = 1;
    if (row.originalFromFile) {
        row.original = v;
        row.hasOriginal = 1;
    }
    row.value = v;
    row.importedValue = v;
    row.imported = 1;
    row.loaded = 1;
    row.differs = DiffersFromGame(row, v) ? 1 : 0;
    row.overridden = 0;
    if (!write) {
        row.applied = 0;
        return;
    }
    const KeyClass kind = ClassOfRow(row);
    if (kind == KeyClass::PuddlesScale) PublishPuddlesScale(ToGameUnits(row, v), false);
    if (WriteToChannel(row, kind, v)) return;
    WritePlain(row, base, v);
}

void ApplyVisualSettingRow(VisualSettingsParam& row) {
    BindWhenBasesMissing();
    EnsureGameDefault(row);
    const float v = row.value;
    row.overridden = DiffersFromOriginal(row, v) ? 1 : 0;
    const KeyClass kind = ClassOfRow(row);
    if (kind == KeyClass::PuddlesScale) {
        PublishPuddlesScale(ToGameUnits(row, v), AfterShown());
        row.appliedValue = v;
        row.applied = CaptureHookInstalled() ? 1 : 0;
        return;
    }
    if (WriteToChannel(row, kind, v)) return;
    WritePlain(row, ParamBaseForKey(row), v);
}

void WriteParamByKind(VisualSettingsParam& row, uint64_t base, bool force, bool reset) {
    BindWhenBasesMissing(true);
    const KeyClass kind = ClassOfRow(row);
    if (kind == KeyClass::Hidden) {
        if (reset) ResetRowToReference(row);
        row.applied = 0;
        return;
    }
    const bool want = WantsDefaultWrite(row, force);
    // The switch to the game's values (neither force nor reset) sends every
    // edited component of a vector at its default, whatever the order of the writes.
    const bool defaultsOfEdited = !force && !reset;
    switch (kind) {
    case KeyClass::TrafficLightComponent:
        if (TrafficLightGroupKey(row.key) != nullptr && (want || reset))
            WriteTrafficLightComponent(row.key, reset, defaultsOfEdited);
        return;
    case KeyClass::VolumeColor:
        if (want || reset) WriteVolumeColorComponent(row.key, reset, defaultsOfEdited);
        return;
    case KeyClass::PuddlesPublished:
        if (reset) ResetRowToReference(row);
        row.applied = CaptureHookInstalled() ? 1 : 0;
        return;
    default: break;
    }
    const bool known = want && EnsureGameDefault(row);  // the game's own value before anything is written
    if (reset) ResetRowToReference(row);
    if (!known) return;
    // A reset writes the row's reference; the game's values shown, its default.
    const float d = reset ? row.value.Get() : row.defaultValue.Get();
    const float game = ToGameUnits(row, d);
    bool ok = false;
    switch (kind) {
    case KeyClass::Ripple: {
        ok = WritePuddleRippleField(row.key, game);
        if (ok) {  // the game may rewrite the field once more right after the first store
            platform::SleepMilliseconds(2);
            ok = WritePuddleRippleField(row.key, game) || ok;
        }
        if (const uint64_t address = PuddleRippleFieldAddress(row.key)) row.liveAddress = address;
        break;
    }
    case KeyClass::CarLodDistance:
    case KeyClass::RuntimeSlider: {
        ok = WriteChannel(kind, row.key, game);
        if (const uint64_t address = ChannelAddress(kind, row.key)) {
            row.liveAddress = address;
            ok = runtime::SafeWriteFloat(address, game) || ok;
        }
        break;
    }
    default: {
        ok = WriteSpecialParam(row, d);
        WriteParamOtherTargets(row, base, game);
        if (row.Kind() == ValueKind::Float && row.liveAddress != 0)
            ok = runtime::SafeWriteFloat(row.liveAddress, game) || ok;
        row.applied = ok ? 1 : 0;
        row.appliedValue = d;
        return;
    }
    }
    row.applied = ok ? 1 : 0;
    if (ok) row.appliedValue = d;
}

void ApplyAllVisualSettingsLive(bool reset, bool force) {
    for (const ParamArray& array : ParamArrays()) {
        if (array.base == ArrayBase::BrightFilmic && Binding.filmicBlockFound.Get() == 0) continue;
        const uint64_t base = ArrayBaseAddress(array);
        for (VisualSettingsParam& row : array.Rows()) WriteParamByKind(row, base, force, reset);
    }
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) WriteDarkFilmicDefault(i, force, reset);
}

void WriteVisualSettingRow(VisualSettingsParam& row) { WriteParamByKind(row, ParamBaseForKey(row), true, true); }

bool ResetVisualSettingRow(VisualSettingsParam& row) {
    if (!row.hasOriginal && !row.defaultKnown) {
        // No game value was ever known: nothing to go back to, nothing written.
        row.overridden = 0;
        row.differs = 0;
        return false;
    }
    const float v = row.hasOriginal ? row.original.Get() : row.appliedValue.Get();
    row.value = v;
    row.appliedValue = v;
    row.loaded = 1;
    row.overridden = 0;
    row.differs = 0;
    const uint64_t address = row.liveAddress;
    return address != 0 && ClassOfRow(row) != KeyClass::Hidden && WriteValueByKind(row, address, ToGameUnits(row, v));
}

bool ResetVisualSettingRow(runtime::LiveOverrideSlot& slot) {
    const float v = slot.baselineCaptured ? slot.baselineValue.Get() : slot.liveValue.Get();
    slot.value = v;
    slot.liveValue = v;
    slot.loaded = 1;
    slot.enabled = 0;
    slot.followImport = 0;
    const uint64_t address = slot.address;
    return address != 0 && runtime::SafeWriteFloat(address, v);
}

void RefreshVisualSettingRow(VisualSettingsParam& row) {
    if (VisualSettingsLive.VisualSettingsLivePaused.Get() != 0) return;
    const KeyClass kind = ClassOfRow(row);
    const bool menuOpen = core::Editor.MenuOpen.Get() != 0;
    float v = 0.0f;
    switch (kind) {
    case KeyClass::Hidden: row.applied = 0; return;
    case KeyClass::TrafficLightComponent:
    case KeyClass::VolumeColor:
        FirstLoadReset(row);
        row.applied = row.loaded ? 1 : 0;
        return;
    case KeyClass::PuddlesPublished:
        FirstLoadReset(row);
        row.applied = CaptureHookInstalled() ? 1 : 0;
        return;
    case KeyClass::Ripple:
        if (!menuOpen && row.loaded) return;
        FirstLoadReset(row);
        row.liveAddress = PuddleRippleFieldAddress(row.key);
        if (Puddles.rippleReady.Get() == 0 || !ReadPuddleRippleField(row.key, v)) {
            row.applied = 0;
            return;
        }
        TakeValue(row, v);
        return;
    case KeyClass::CarLodDistance:
        if (!menuOpen && row.loaded) return;
        FirstLoadReset(row);
        row.liveAddress = CarLodDistanceAddress(row.key);
        if (!ReadCarLodDistance(row.key, v)) {
            row.applied = 0;
            return;
        }
        TakeValue(row, v);
        return;
    case KeyClass::RuntimeSlider: {
        if (!menuOpen && row.loaded) return;
        const uint64_t address = LiveAddressOfRuntimeKey(row.key);
        row.liveAddress = address;
        if (address == 0 || !ReadRuntimeTableValue(row.key, v)) {
            FirstLoadReset(row);
            row.applied = 0;
            return;
        }
        if (!row.defaultKnown) AdoptGameDefault(row, v);
        FirstLoadReset(row);
        if (row.def->recapture && !row.defaultCaptured && !row.overridden) {
            row.defaultValue = v;
            row.original = v;
            row.hasOriginal = 1;
            row.defaultCaptured = 1;
        }
        TakeValue(row, v);
        return;
    }
    default: break;
    }
    // Plain keys (the puddles scale among them).
    const bool plainFloat = row.Unit() == UnitConversion::None && row.Kind() == ValueKind::Float;
    if (plainFloat) {
        if (row.loaded && !MenuRefreshDue()) return;
    } else if (!menuOpen && row.loaded) {
        return;
    }
    if (!ReadLiveVisualSetting(row, v)) {
        row.applied = 0;
        return;
    }
    if (!row.defaultKnown) AdoptGameDefault(row, v);
    row.appliedValue = v;
    row.applied = 1;
    if (!row.hasOriginal && !row.overridden) {
        row.original = v;
        row.hasOriginal = 1;
    }
    const bool keep = row.overridden || row.differs || (plainFloat && row.hold);
    if (!row.loaded || !keep) row.value = v;
    row.loaded = 1;
}

}  // namespace visualsettings
