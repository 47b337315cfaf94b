#include "host/tick_groups.h"

#include <algorithm>

#include "runtime/editor_entries.h"

namespace host {


namespace {

using runtime::PartApply;
using runtime::PartInfo;
using runtime::PartMember;
using runtime::PartWhen;
using G = GroupId;
using S = SlotId;

// ---- Orders ----------------------------------------------------------------------------

constexpr OrderStep Apply(G group) { return {group, GroupRun::Apply}; }
constexpr OrderStep Both(G group) { return {group, GroupRun::ApplyOrRestore}; }
constexpr OrderStep Restore(G group) { return {group, GroupRun::Restore}; }

constexpr OrderStep kImportedOrder[] = {
    Apply(G::EngineBlock),      Apply(G::TonemapDarkBright), Apply(G::Vignetting),
    Apply(G::Gradient),         Apply(G::Scanline),          Apply(G::EnvBlur),
    Apply(G::LensDistortion),   Apply(G::LensArtefacts),     Apply(G::NightVision),
    Apply(G::NightVisionColor), Apply(G::BlurVignetting),    Apply(G::Noise),
    Apply(G::ScreenBlur),       Apply(G::LightRays),         Apply(G::PedVehicleLights),
    Apply(G::SpriteLensflare),  Apply(G::LightDir),          Apply(G::DirAmbient),
    Apply(G::AmbientBounce),    Apply(G::NaturalAmbient),    Apply(G::ArtificialExterior),
    Apply(G::Sky),              Apply(G::FogShadow),         Apply(G::Temperature),
    Apply(G::VehicleDirt),      Apply(G::WindLod),           Apply(G::Occlusion),
    Apply(G::LightFalloff),     Apply(G::ShadowDistance),    Apply(G::ArtificialInterior),
    Both(G::HeatHaze),
};

constexpr OrderStep kOverrideOrder[] = {
    Both(G::LightDir),         Both(G::EngineBlock),         Both(G::Vignetting),
    Both(G::Gradient),         Both(G::Scanline),            Both(G::EnvBlur),
    Both(G::LensDistortion),   Both(G::LensArtefacts),       Both(G::NightVision),
    Both(G::NightVisionColor), Both(G::BlurVignetting),      Both(G::Noise),
    Both(G::ScreenBlur),       Both(G::LightRays),           Both(G::DirAmbient),
    Both(G::AmbientBounce),    Both(G::NaturalAmbient),      Both(G::ArtificialExterior),
    Both(G::Sky),              Both(G::FogShadow),           Both(G::WindLod),
    Both(G::LightFalloff),     Both(G::ArtificialInterior),  Both(G::PedVehicleLights),
    Both(G::SpriteLensflare),  Restore(G::Temperature),      Restore(G::VehicleDirt),
    Restore(G::Occlusion),     Restore(G::ShadowDistance),   Restore(G::HeatHaze),
};

// ---- Slot refresh --------------------------------------------------------------------------

constexpr SlotRun kRefreshRuns[] = {
    {S::PostFxExposure, S::PostFxEnvironmentalBlurSize},
    {S::LensDistortionCoeff, S::ScreenBlurIntensity},
    {S::LightRayColorR, S::LightRayLength},
    {S::OverrideDark, S::FilmicWBright},
    {S::AmbientBakeRamp, S::AmbientBakeRamp},
    {S::LightAmbientOcclusionMult, S::MoonDirectionZ},
};
static_assert(std::ranges::all_of(kRefreshRuns, [](SlotRun run) { return runtime::IsSlotRun(run.first, run.last); }),
              "a refresh run lies in one slot table, first before last");

const runtime::EditorEntries& Entries() { return runtime::Entries(); }

// ---- Running the parts --------------------------------------------------------------------

size_t IndexOf(PartId part) { return static_cast<size_t>(part); }
size_t IndexOf(SlotId slot) { return static_cast<size_t>(slot); }

bool TestHolds(PartId id) { return runtime::Part(id).when == PartWhen::Always || runtime::AnyMemberEnabled(id); }

void WriteEngineFields(const PartInfo& part) {
    void (*write)(SlotId, uint32_t) = Entries().engineWrite;
    if (write == nullptr) return;
    for (const PartMember& member : part.members)
        if (member.engineOffset != runtime::kNoEngineField)
            write(member.slot, static_cast<uint32_t>(member.engineOffset));
}

void ApplyMembers(const PartInfo& part) {
    for (const PartMember& member : part.members) CallEntry(Entries().memberAppliers[IndexOf(member.slot)]);
}

void ApplyPart(PartId id) {
    const PartInfo& part = runtime::Part(id);
    const runtime::PartEntries& entries = Entries().parts[IndexOf(id)];
    switch (part.apply) {
    case PartApply::Call: CallEntry(entries.apply); break;
    case PartApply::Members: ApplyMembers(part); break;
    case PartApply::GateMembers:
        if (EntryHolds(entries.gate)) ApplyMembers(part);
        break;
    case PartApply::GateEngine:
        if (EntryHolds(entries.gate)) WriteEngineFields(part);
        break;
    case PartApply::StorePatch:
        if (runtime::InstallStorePatch(id, entries.probe)) WriteEngineFields(part);
        break;
    case PartApply::GateRedirect:
        if (EntryHolds(entries.gate) && Entries().redirectStep) Entries().redirectStep(part.members.front().slot);
        break;
    }
}

void RestorePart(PartId id) {
    const PartInfo& part = runtime::Part(id);
    runtime::RestoreStorePatch(id);
    CallEntry(Entries().parts[IndexOf(id)].restore);
    if (void (*restoreRecord)(SlotId) = Entries().restoreRecord)
        for (const PartMember& member : part.members)
            if (member.record) restoreRecord(member.slot);
}

void RunGroup(const OrderStep& step) {
    const runtime::GroupInfo& group = runtime::Group(step.group);
    for (size_t p = 0; p < group.partCount; ++p) {
        const PartId id = static_cast<PartId>(IndexOf(group.firstPart) + p);
        const bool holds = TestHolds(id);
        if (holds && step.run != GroupRun::Restore) ApplyPart(id);
        else if (!holds && step.run != GroupRun::Apply) RestorePart(id);
    }
}

}  // namespace

std::span<const OrderStep> ImportedOrder() { return kImportedOrder; }
std::span<const OrderStep> OverrideOrder() { return kOverrideOrder; }

void RunGroupsImported() {
    for (const OrderStep& step : kImportedOrder) RunGroup(step);
}

void RunGroupsOverride() {
    for (const OrderStep& step : kOverrideOrder) RunGroup(step);
}

std::span<const SlotRun> TickRefreshRuns() { return kRefreshRuns; }

void RestoreTickStorePatches() { runtime::RestoreStorePatches(); }

void ResetTickGroupState() { runtime::ResetStorePatches(); }

}  // namespace host
