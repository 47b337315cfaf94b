#include "runtime/engine_block.h"

#include <array>
#include <utility>

#include "runtime/block_locators.h"
#include "runtime/guarded_memory.h"
#include "runtime/override_groups.h"
#include "runtime/store_probes.h"

namespace runtime {
namespace {

// The sites of a group of stores, its probe being ready: a span of the
// probe's captured sites (none when it is not ready).
struct Sites {
    std::array<CodePatch*, kMaxProbeSites> patches{};
    size_t count = 0;
    std::span<CodePatch* const> span() const { return {patches.data(), count}; }
    void Add(CodePatch& p) { patches[count++] = &p; }
};

Sites OfProbe(ProbeId id, bool needReady) {
    Sites sites;
    if (needReady && !RunProbe(id)) return sites;
    for (CodePatch& p : ProbeSitesOf(id)) sites.Add(p);
    return sites;
}

// Installs a group (its probe ready, every site captured): true when every
// site holds the group's bytes.
bool Install(const Sites& sites) { return sites.count != 0 && AllCaptured(sites.span()) && ApplyCodePatches(sites.span()); }

void Restore(ProbeId id) { RestoreCodePatches(OfProbe(id, false).span()); }

Sites ScreenBlurSites(bool needReady) {
    static constexpr uint8_t kStoreOfXmm0[10] = {0xF3, 0x42, 0x0F, 0x11, 0x84, 0x26, 0xC8, 0x01, 0x00, 0x00};
    Sites sites;
    if (needReady && (!RunProbe(ProbeId::ScreenBlurSiteA) || !RunProbe(ProbeId::ScreenBlurStore))) return sites;
    CodePatch& a = ProbeSitesOf(ProbeId::ScreenBlurSiteA)[0];
    CodePatch& b = ProbeSitesOf(ProbeId::ScreenBlurStore)[0];
    if (b.captured && !b.applied) SetPatchBytes(b, kStoreOfXmm0);
    sites.Add(a);
    sites.Add(b);
    return sites;
}

// ---- Member groups --------------------------------------------------------------------

// The probe whose sites a member group removes.
ProbeId ProbeOfGroup(EngineGroup group) {
    switch (group) {
        case EngineGroup::Exposure: return ProbeId::PostFxExposureSite;
        case EngineGroup::ExposureBloom: return ProbeId::ExposureBloomSite;
        case EngineGroup::ExposureMax: return ProbeId::PostFxExposureMaxSite;
        case EngineGroup::Desaturation: return ProbeId::PostFxDesaturationSite;
        default: return ProbeId::ColorCorrectSite;
    }
}

Sites GroupSites(EngineGroup group, bool needReady) {
    const ProbeId probe = ProbeOfGroup(group);
    if (needReady && !RunProbe(probe)) return {};
    Sites sites;
    const std::span<CodePatch> all = ProbeSitesOf(probe);
    if (group == EngineGroup::Correct) sites.Add(all[0]);
    else if (group == EngineGroup::Shift) sites.Add(all[1]);
    else
        for (CodePatch& p : all) sites.Add(p);
    return sites;
}

bool AnyGroupSlotEnabled(EngineGroup group) {
    for (const EngineMemberRow& m : EngineMembers())
        if (m.group == group && Slot(m.slot).enabled) return true;
    return false;
}

// Engine field and mirror of an offset, 0 where it has none.
void EngineFields(int64_t offset, uint64_t& field, uint64_t& mirror) {
    const uint64_t block = SecondaryBlockLocator();
    field = mirror = 0;
    if (block == 0) return;
    if (offset >= 0 && offset < 20480) field = block + static_cast<uint64_t>(offset);
    if (offset >= -kEngineMirrorDistance && offset < 20480 - kEngineMirrorDistance)
        mirror = block + static_cast<uint64_t>(offset + kEngineMirrorDistance);
}

bool EngineWritable(const LiveOverrideSlot& slot, int64_t offset) {
    uint64_t field, mirror;
    EngineFields(offset, field, mirror);
    return slot.address != 0 && field != 0 && mirror != 0 && IsReadableCached(field, 4) && IsReadableCached(mirror, 4);
}

// The groups whose member installs its stores only once the value can be
// written (and takes them back when its slot is off).
bool WritesFirst(EngineGroup group) {
    return group == EngineGroup::Exposure || group == EngineGroup::ExposureMax || group == EngineGroup::Desaturation;
}

void ApplyMember(const EngineMemberRow& m) {
    LiveOverrideSlot& slot = Slot(m.slot);
    if (m.owner) {
        if (!AnyGroupSlotEnabled(m.group)) {
            RestoreCodePatches(GroupSites(m.group, false).span());
            return;
        }
        if (WritesFirst(m.group) && !EngineWritable(slot, m.offset)) return;
        if (!Install(GroupSites(m.group, true))) return;
    }
    ApplySlotToEngineBlock(slot, m.offset);
}

template <size_t Row>
void MemberEntry() {
    ApplyMember(EngineMembers()[Row]);
}
template <size_t... Row>
constexpr std::array<EngineMemberFn, sizeof...(Row)> MemberTable(std::index_sequence<Row...>) {
    return {&MemberEntry<Row>...};
}
constexpr auto kMemberEntries = MemberTable(std::make_index_sequence<kEngineMemberCount>());

}  // namespace

void ApplySlotToEngineBlock(LiveOverrideSlot& slot, int64_t offset) {
    if (!slot.enabled) return;
    uint64_t field, mirror;
    EngineFields(offset, field, mirror);
    const uint64_t address = slot.address;
    if (address == 0 || field == 0 || mirror == 0 || !IsReadableCached(field, 4) || !IsReadableCached(mirror, 4))
        return;
    const float value = slot.value;
    SafeWriteFloat(address, value);
    SafeWriteFloat(field, value);
    SafeWriteFloat(mirror, value);
    slot.liveValue = value;
    slot.liveReadable = 1;
}

void WriteSlotToEngineBlock(SlotId slot, uint32_t offset) { ApplySlotToEngineBlock(Slot(slot), offset); }

EngineMemberFn EngineMemberApplier(size_t row) {
    return row < EngineMembers().size() && row < kMemberEntries.size() ? kMemberEntries[row] : nullptr;
}

bool GatePostFxGradientWrites() { return Install(OfProbe(ProbeId::PostFxGradientStores, true)); }
bool GateEnvironmentalBlurWrites() { return Install(OfProbe(ProbeId::EnvironmentalBlurStores, true)); }
bool GateLensArtefactsWrites() { return Install(OfProbe(ProbeId::LensArtefactsStores, true)); }
bool GateNightVisionColorWrites() { return Install(OfProbe(ProbeId::NightVisionColorStores, true)); }
bool GatePostFxVignettingWrites() { return Install(OfProbe(ProbeId::PostFxVignettingStores, true)); }
bool GatePostFxExposureWrites() { return Install(OfProbe(ProbeId::ExposureBloomSite, true)); }
bool GateScreenBlurWrites() { return Install(ScreenBlurSites(true)); }

void RestorePostFxExposurePatches() { Restore(ProbeId::PostFxExposureSite); }
void RestorePostFxExposureMaxPatch() { Restore(ProbeId::PostFxExposureMaxSite); }
void RestorePostFxDesaturationPatch() { Restore(ProbeId::PostFxDesaturationSite); }
void RestoreExposureBloomPatch() { Restore(ProbeId::ExposureBloomSite); }
void RestorePostFxCorrectPatch() { RestoreCodePatches(GroupSites(EngineGroup::Correct, false).span()); }
void RestorePostFxShiftPatch() { RestoreCodePatches(GroupSites(EngineGroup::Shift, false).span()); }
void RestorePostFxVignettingPatches() { Restore(ProbeId::PostFxVignettingStores); }
void RestorePostFxGradientPatches() { Restore(ProbeId::PostFxGradientStores); }
void RestoreEnvironmentalBlurPatches() { Restore(ProbeId::EnvironmentalBlurStores); }
void RestoreLensArtefactsPatch() { Restore(ProbeId::LensArtefactsStores); }
void RestoreNightVisionColorPatches() { Restore(ProbeId::NightVisionColorStores); }
void RestoreScreenBlurPatches() { RestoreCodePatches(ScreenBlurSites(false).span()); }

}  // namespace runtime
