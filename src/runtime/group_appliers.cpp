#include "runtime/group_appliers.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "runtime/block_locators.h"
#include "runtime/code_index.h"
#include "runtime/engine_block.h"
#include "runtime/guarded_memory.h"
#include "runtime/locator_state.h"
#include "runtime/near_alloc.h"
#include "runtime/override_groups.h"
#include "runtime/redirects.h"
#include "runtime/store_probes.h"

namespace runtime {

GroupApplierState GroupAppliers;

namespace {

using S = SlotId;

constexpr uint64_t kLightRayFirstField = 264;
constexpr S kSpriteSlots[kSpriteValueCount] = {S::SpriteBrightness, S::SpriteSize, S::SpriteCoronaScreenspaceExpansion,
                                               S::LensflareVisibility, S::SpriteDistantLightTwinkle};
// The night-vision scalars written into the engine block, from Low Lum on.
constexpr uint32_t kNightVisionFirstOffset = 412;
constexpr size_t kNightVisionDirectCount = 3;  // the multipliers, written only to their fields

void StoreWord(uint64_t address, uint32_t bits) {
    __atomic_store_n(reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(address)), bits, __ATOMIC_RELAXED);
}

int32_t I32At(uint64_t address) {
    uint32_t bits = 0;
    GuardedReadU32(address, bits);
    return static_cast<int32_t>(bits);
}

uint64_t RipTarget(uint64_t disp, uint64_t end) { return end + static_cast<uint64_t>(static_cast<int64_t>(I32At(disp))); }

bool FitsRel32(int64_t d) { return d >= INT32_MIN && d <= INT32_MAX; }

// Writes an enabled slot (or one following the import) into its field.
void DirectSlotWrite(S id) {
    LiveOverrideSlot& slot = Slot(id);
    if (!slot.enabled && !(GroupAppliers.importFollow.Get() && slot.followImport)) return;
    const float value = slot.value;
    if (!SafeWriteFloat(slot.address, value)) {
        slot.liveReadable = 0;
        return;
    }
    if (GroupAppliers.onDirectWrite != nullptr) GroupAppliers.onDirectWrite(slot.name, value);
    slot.liveValue = value;
    slot.liveReadable = 1;
}

std::span<CodePatch* const> Patches(RedirectList& list, std::vector<CodePatch*>& out) {
    out.clear();
    for (CodePatch& record : list.records) out.push_back(&record);
    return out;
}

bool InstallList(RedirectList& list) {
    std::vector<CodePatch*> patches;
    return !list.records.empty() && ApplyCodePatches(Patches(list, patches));
}

void RestoreList(RedirectList& list) {
    std::vector<CodePatch*> patches;
    RestoreCodePatches(Patches(list, patches));
}

// A record of a list: the disp32 of the load at instruction, pointed at cell.
bool AddRecord(RedirectList& list, uint64_t instruction, uint8_t dispOffset, uint8_t length, uint64_t cell,
               const uint8_t* expect, uint8_t expectLength) {
    const int64_t disp = static_cast<int64_t>(cell - (instruction + length));
    if (!FitsRel32(disp)) return false;
    CodePatch patch;
    if (CaptureCodePatch(patch, instruction, MaskedBytes{expect, nullptr, expectLength}, dispOffset, 4) !=
        Capture::Captured)
        return false;
    const int32_t d32 = static_cast<int32_t>(disp);
    uint8_t bytes[4];
    std::memcpy(bytes, &d32, 4);
    SetPatchBytes(patch, bytes);
    list.records.push_back(patch);
    return true;
}

std::span<const PartMember> MembersOf(PartId part) { return Part(part).members; }

// The tonemapping jump: the probe's site, its bytes EB 29 (jmp +0x29).
CodePatch* TonemapJump(bool needReady) {
    if (needReady && ProbeTonemappingDarkBright() == 0) return nullptr;
    CodePatch& jump = ProbeSitesOf(ProbeId::TonemappingDarkBright)[0];
    if (!jump.captured) return nullptr;
    if (!jump.applied) {
        static constexpr uint8_t kJump[2] = {0xEB, 0x29};
        SetPatchBytes(jump, kJump);
    }
    return &jump;
}

std::span<CodePatch* const> PedSites(std::array<CodePatch*, 3>& out) {
    const std::span<CodePatch> sites = ProbeSitesOf(ProbeId::PedLightSite);
    for (size_t i = 0; i < 3; ++i) out[i] = &sites[i];
    return out;
}

std::span<CodePatch* const> NightVisionSites(std::array<CodePatch*, 4>& out) {
    for (size_t i = 0; i < 4; ++i) out[i] = &StoreProbes.nightVisionScalar.sites[i];
    return out;
}

}  // namespace

void ResetGroupAppliers() {
    GroupAppliers.lightRays = RedirectList{};
    GroupAppliers.lightRayBlock = 0;
    GroupAppliers.spriteA = RedirectList{};
    GroupAppliers.spriteB = RedirectList{};
    GroupAppliers.importFollow.Set(0);
    NearAlloc.NearValueBlock = 0;
}

// ---- Light rays ---------------------------------------------------------------------------

bool InstallLightRaysRedirects(uint64_t site1, uint64_t site2) {
    const uint64_t block = TimecycleBlockLocator();
    if (block == 0 || site1 == 0) return false;
    const uint64_t f = block + kLightRayFirstField;
    if (RipTarget(site1 + 11, site1 + 15) != f + 8 || RipTarget(site1 + 19, site1 + 23) != f + 4 ||
        RipTarget(site1 + 33, site1 + 37) != f)
        return false;
    if (site2 != 0 && (RipTarget(site2 + 3, site2 + 7) != f + 20 || RipTarget(site2 + 17, site2 + 21) != f + 36 ||
                       RipTarget(site2 + 25, site2 + 29) != f + 32))
        site2 = 0;
    uint64_t& near = GroupAppliers.lightRayBlock;
    if (near == 0) near = NearCell(site1, 4 * kLightRayFieldCount);
    if (near == 0) return false;
    const uint64_t from = site1 >= 129 ? site1 - 128 : site1;
    const uint64_t to = site2 != 0 ? site2 + 384 : site1 + 1152;
    std::vector<uint8_t> window(static_cast<size_t>(to - from + 12));
    if (!GuardedCopy(window.data(), reinterpret_cast<const void*>(static_cast<uintptr_t>(from)), window.size()))
        return false;
    RedirectList list;
    bool have[kLightRayFieldCount] = {};
    for (uint64_t at = from; at < to;) {
        const uint8_t* b = window.data() + (at - from);
        uint32_t dispOffset = 0, length = 0;
        int64_t relative = 0;
        if (!DecodeRipRelativeLoadBytes(b, window.size() - (at - from), dispOffset, length, relative)) {
            ++at;
            continue;
        }
        const uint64_t target = at + static_cast<uint64_t>(relative);
        const uint64_t index = (target - f) / 4;
        if (target < f || (target - f) % 4 != 0 || index >= kLightRayFieldCount) {
            ++at;
            continue;
        }
        bool recorded = false;
        for (const CodePatch& record : list.records) recorded = recorded || record.site == at + dispOffset;
        if (!recorded && AddRecord(list, at, static_cast<uint8_t>(dispOffset), static_cast<uint8_t>(length),
                                   near + 4 * index, b, static_cast<uint8_t>(dispOffset)))
            have[index] = true;
        at += length;
    }
    for (size_t required : {0, 1, 2, 3, 5, 9})
        if (!have[required]) return false;
    RestoreList(GroupAppliers.lightRays);
    const Attempts attempts = GroupAppliers.lightRays.attempts;
    GroupAppliers.lightRays = list;
    GroupAppliers.lightRays.attempts = attempts;
    GroupAppliers.lightRays.ready = 1;
    ApplyLiveSlotGroupB();
    return true;
}

bool ProbeLightRays() {
    RedirectList& list = GroupAppliers.lightRays;
    if (list.ready) return true;
    if (!AttemptDue(list.attempts)) return false;
    FailForGood(list.attempts);  // one attempt
    if (!EnsureCodeIndex()) return false;
    const MaskedBytes second = PatternBytes(CodePatternId::LightRays2);
    const uint64_t site1 = CodePatternFirst(CodePatternId::LightRays1);
    if (site1 != 0) {
        const uint64_t site2 = FindFirstIn(site1, 1280 + second.length - 1, second);
        if (InstallLightRaysRedirects(site1, site2)) return true;
    }
    const uint64_t site2 = CodePatternFirst(CodePatternId::LightRays2);
    if (site2 == 0) return false;
    const MaskedBytes first = PatternBytes(CodePatternId::LightRays1);
    const uint64_t from = site2 >= 1536 ? site2 - 1536 : 0;
    return InstallLightRaysRedirects(FindFirstIn(from, site2 - from, first), site2);
}

void ApplyLiveSlotGroupB() {
    const uint64_t near = GroupAppliers.lightRayBlock;
    if (near == 0) return;
    const std::span<const PartMember> slots = MembersOf(PartId::LightRays);
    for (size_t i = 0; i < slots.size() && i < kLightRayFieldCount; ++i)
        StoreWord(near + 4 * i, GameValueBits(Slot(slots[i].slot)));
}

void ApplyLiveLightRays() {
    for (const PartMember& m : MembersOf(PartId::LightRays)) DirectSlotWrite(m.slot);
    if (!ProbeLightRays()) return;
    ApplyLiveSlotGroupB();
    InstallList(GroupAppliers.lightRays);
}

void RestoreLightRaysRedirects() { RestoreList(GroupAppliers.lightRays); }

// ---- Sprite and lens flare -------------------------------------------------------------------

namespace {

// One of the two sprite redirects: the timecycle signature's first match,
// whose reads must address the sprite fields.
bool ProbeSprite(RedirectList& list, bool b) {
    if (list.ready) return true;
    if (!AttemptDue(list.attempts)) return false;
    FailForGood(list.attempts);  // one attempt
    const uint64_t block = TimecycleBlockLocator();
    if (block == 0 || !EnsureCodeIndex()) return false;
    const uint64_t hit = b ? Locators.TimecycleSiteB.Get() : Locators.TimecycleSiteA.Get();
    if (hit == 0 || RipTarget(hit + 4, hit + 8) != block + kTimecycleSignatureField) return false;
    if (b && RipTarget(hit + 36, hit + 40) != block + kTimecycleSignatureSecondField) return false;
    if (!AllocateNearValueBlock(hit)) return false;
    RedirectList found;
    uint8_t head[9];
    if (!GuardedCopy(head, reinterpret_cast<const void*>(static_cast<uintptr_t>(hit)), sizeof head)) return false;
    if (!AddRecord(found, hit, 4, 8, NearAlloc.NearValueBlock, head, 4)) return false;
    if (b) {
        uint8_t mul[5];
        if (!GuardedCopy(mul, reinterpret_cast<const void*>(static_cast<uintptr_t>(hit + 31)), sizeof mul) ||
            !AddRecord(found, hit + 31, 5, 9, NearAlloc.NearValueBlock + 4, mul, 5))
            return false;
    }
    const Attempts attempts = list.attempts;
    list = found;
    list.attempts = attempts;
    list.ready = 1;
    ApplyLiveSlotGroupA();
    return true;
}

}  // namespace

bool ProbeSpriteRedirectA() { return ProbeSprite(GroupAppliers.spriteA, false); }
bool ProbeSpriteRedirectB() { return ProbeSprite(GroupAppliers.spriteB, true); }

void ApplyLiveSlotGroupA() {
    if (NearAlloc.NearValueBlock == 0) return;
    for (size_t i = 0; i < kSpriteValueCount; ++i) StoreWord(NearAlloc.NearValueBlock + 4 * i, GameValueBits(Slot(kSpriteSlots[i])));
}

bool GateSpriteLensflareWrites() {
    bool installed = false;
    if (ProbeSpriteRedirectA()) {
        ApplyLiveSlotGroupA();
        installed = InstallList(GroupAppliers.spriteA);
    }
    if (ProbeSpriteRedirectB()) {
        ApplyLiveSlotGroupA();
        if (InstallList(GroupAppliers.spriteB)) installed = true;
    }
    return installed;
}

void ApplyLiveSpriteLensflare() {
    for (S slot : kSpriteSlots) DirectSlotWrite(slot);
    GateSpriteLensflareWrites();
}

void RestoreTemperatureBlockPatches() {
    RestoreList(GroupAppliers.spriteA);
    RestoreList(GroupAppliers.spriteB);
}

// ---- Night vision -------------------------------------------------------------------------

void ApplyLiveNightVision() {
    const std::span<const PartMember> slots = MembersOf(PartId::NightVision);
    for (size_t i = 0; i < kNightVisionDirectCount; ++i) DirectSlotWrite(slots[i].slot);
    bool any = false;
    for (size_t i = kNightVisionDirectCount; i < slots.size(); ++i) any = any || Slot(slots[i].slot).enabled;
    if (!any) {
        RestoreNightVisionPatches();
        return;
    }
    std::array<CodePatch*, 4> sites;
    if (!ProbeNightVisionScalar() || !ApplyCodePatches(NightVisionSites(sites))) return;
    for (size_t i = kNightVisionDirectCount; i < slots.size(); ++i)
        ApplySlotToEngineBlock(Slot(slots[i].slot),
                               kNightVisionFirstOffset + 4 * static_cast<int64_t>(i - kNightVisionDirectCount));
}

void RestoreNightVisionPatches() {
    std::array<CodePatch*, 4> sites;
    RestoreCodePatches(NightVisionSites(sites));
}

// ---- Ped and vehicle lights --------------------------------------------------------------

void ApplyLivePedAndVehicleLights() {
    const std::span<const PartMember> slots = MembersOf(PartId::PedVehicleLights);
    const std::span<const PartMember> ped = slots.first(4);
    bool any = false;
    for (const PartMember& m : ped) any = any || Slot(m.slot).enabled;
    std::array<CodePatch*, 3> sites;
    if (!any) {
        RestorePedLightPatches();
    } else if (ProbePedLightSite() && ApplyCodePatches(PedSites(sites))) {
        for (const PartMember& m : ped) DirectSlotWrite(m.slot);
        const uint64_t* targets = StoreProbes.pedLightTargets;
        const uint64_t places[4] = {targets[0], targets[0] + 4, targets[1], targets[2]};
        for (size_t i = 0; i < 4; ++i)
            SafeWriteFloat(places[i], std::bit_cast<float>(GameValueBits(Slot(ped[i].slot))));
    }
    for (RedirectId id : {RedirectId::VehicleSecondSpecOverride, RedirectId::VehicleLightsIntensityScale}) {
        const S slot = Redirect(id).slots.front();
        if (Slot(slot).enabled) {
            DirectSlotWrite(slot);
            ApplyRedirect(id);
        } else {
            RestoreRedirect(id);
        }
    }
}

void RestorePedLightPatches() {
    std::array<CodePatch*, 3> sites;
    RestoreCodePatches(PedSites(sites));
}

// ---- Dark and bright tonemapping ------------------------------------------------------------

void ApplyLiveTonemapDarkBright() {
    const std::span<const PartMember> slots = MembersOf(PartId::TonemapDarkBright);
    bool any = false;
    for (const PartMember& m : slots) any = any || Slot(m.slot).enabled;
    if (!any) {
        RestoreTonemapJump();
        return;
    }
    CodePatch* jump = TonemapJump(true);
    if (jump == nullptr || !ApplyCodePatch(*jump)) return;
    for (const PartMember& m : slots) {
        LiveOverrideSlot& slot = Slot(m.slot);
        if (!slot.enabled) continue;
        SafeWriteFloat(slot.address, slot.value);
        slot.liveValue = slot.value.Get();
        slot.liveReadable = 1;
    }
}

void RestoreTonemapJump() {
    if (CodePatch* jump = TonemapJump(false)) RestoreCodePatch(*jump);
}

}  // namespace runtime
