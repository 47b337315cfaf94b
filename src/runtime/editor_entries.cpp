#include "runtime/editor_entries.h"

#include "runtime/engine_block.h"
#include "runtime/group_appliers.h"
#include "runtime/guarded_memory.h"
#include "runtime/live_writes.h"
#include "runtime/override_groups.h"
#include "runtime/override_patches.h"
#include "runtime/redirects.h"

namespace runtime {

EditorEntries& Entries() {
    static EditorEntries entries;
    return entries;
}

void FillRuntimeEntries(EditorEntries& entries) {
    entries.patchCode = &WriteGameCode;
    entries.tick.clearWriteListCount = &ClearWriteListCount;
    entries.tick.restoreAllPatches = &RestoreAllPatches;
    entries.engineWrite = &WriteSlotToEngineBlock;
    entries.restoreRecord = &RestoreRedirectRecord;
    entries.redirectStep = &RedirectCellStep;

    auto part = [&](PartId id) -> PartEntries& { return entries.parts[static_cast<size_t>(id)]; };
    // The redirects: a part with the installer's applier, or the tick's own
    // redirect step gated by the installer.
    for (size_t i = 0; i < kRedirectCount; ++i) {
        const RedirectId id = static_cast<RedirectId>(i);
        const RedirectRow& row = Redirect(id);
        if (!row.hasPart) continue;
        if (row.applier != nullptr) part(row.part).apply = RedirectApplier(id);
        else part(row.part).gate = RedirectInstaller(id);
    }
    for (size_t row = 0; row < EngineMembers().size(); ++row)
        entries.memberAppliers[static_cast<size_t>(EngineMembers()[row].slot)] = EngineMemberApplier(row);

    part(PartId::LightDir) = {&ApplyLiveLightDir, nullptr, &RestoreLightDirRedirects, nullptr};
    part(PartId::TonemapDarkBright).apply = &ApplyLiveTonemapDarkBright;
    part(PartId::Vignetting) = {nullptr, &GatePostFxVignettingWrites, &RestorePostFxVignettingPatches, nullptr};
    part(PartId::Gradient) = {nullptr, &GatePostFxGradientWrites, &RestorePostFxGradientPatches, nullptr};
    part(PartId::EnvBlur) = {nullptr, &GateEnvironmentalBlurWrites, &RestoreEnvironmentalBlurPatches, nullptr};
    part(PartId::LensArtefacts) = {nullptr, &GateLensArtefactsWrites, &RestoreLensArtefactsPatch, nullptr};
    part(PartId::NightVision) = {&ApplyLiveNightVision, nullptr, &RestoreNightVisionPatches, nullptr};
    part(PartId::NightVisionColor) = {nullptr, &GateNightVisionColorWrites, &RestoreNightVisionColorPatches, nullptr};
    part(PartId::ScreenBlur) = {nullptr, &GateScreenBlurWrites, &RestoreScreenBlurPatches, nullptr};
    part(PartId::LightRays) = {&ApplyLiveLightRays, nullptr, &RestoreLightRaysRedirects, nullptr};
    part(PartId::PedVehicleLights) = {&ApplyLivePedAndVehicleLights, nullptr, &RestorePedLightPatches, nullptr};
    part(PartId::SpriteLensflare) = {&ApplyLiveSpriteLensflare, nullptr, &RestoreTemperatureBlockPatches, nullptr};
    part(PartId::AmbientBounce).restore = [] { RestoreRedirect(RedirectId::AmbientBounceDownWrap); };
    part(PartId::ArtificialExteriorUpColor).restore = [] {
        RestoreRedirect(RedirectId::ArtificialExteriorDownIntensityUpColor);
    };
    part(PartId::Temperature).restore = [] { RestoreRedirect(RedirectId::Temperature); };
    // The tick's own store patches take their sites from these probes.
    part(PartId::Scanline).probe = &ScanlineStoreSites;
    part(PartId::LensDistortion).probe = &LensDistortionStoreSites;
    part(PartId::HeatHaze).probe = &HeatHazeStoreSites;
}

namespace {

template <typename Fn>
void Need(std::vector<std::string>& lines, Fn* entry, const char* where, const char* what, const char* function) {
    if (entry == nullptr) lines.push_back(std::string(where) + " " + what + " " + function);
}

}  // namespace

std::vector<std::string> MissingEntries(const EditorEntries& e) {
    std::vector<std::string> lines;
    const TickStepEntries& t = e.tick;
    Need(lines, t.syncTimecycleBeforeAfter, "tick", "step", "SyncTimecycleBeforeAfter");
    Need(lines, t.finishVisualSettingsSwitch, "tick", "step", "FinishVisualSettingsSwitch");
    Need(lines, t.modifierWorkPending, "tick", "test", "ModifierWorkPending");
    Need(lines, t.refreshModifier, "tick", "step", "RefreshModifier");
    Need(lines, t.stepModifierLiveResolve, "tick", "step", "StepModifierLiveResolve");
    Need(lines, t.isTimecycleFileWeather, "tick", "test", "IsTimecycleFileWeather");
    Need(lines, t.importedOverridesActive, "tick", "test", "ImportedOverridesActive");
    Need(lines, t.contextHasEdits, "tick", "test", "ContextHasEdits");
    Need(lines, t.visualSettingsBeforeAfter, "tick", "step", "VisualSettingsBeforeAfter");
    Need(lines, t.clearWriteListCount, "tick", "step", "ClearWriteListCount");
    Need(lines, t.restoreAllPatches, "tick", "step", "RestoreAllPatches");

    bool engineWrites = false, records = false, redirects = false;
    for (size_t p = 0; p < kPartCount; ++p) {
        const PartInfo& part = Part(static_cast<PartId>(p));
        const PartEntries& entries = e.parts[p];
        if (part.apply == PartApply::StorePatch) Need(lines, entries.probe, part.name, "probe", part.gate);
        else if (part.gate) Need(lines, entries.gate, part.name, "gate", part.gate);
        if (part.applier) Need(lines, entries.apply, part.name, "apply", part.applier);
        for (const PartMember& member : part.members) {
            if (member.applier)
                Need(lines, e.memberAppliers[static_cast<size_t>(member.slot)], part.name, "member", member.applier);
            engineWrites |= member.engineOffset != kNoEngineField;
            records |= member.record;
        }
        if (part.restorer) Need(lines, entries.restore, part.name, "restore", part.restorer);
        redirects |= part.apply == PartApply::GateRedirect;
    }
    if (engineWrites) Need(lines, e.engineWrite, "slots", "engine write", "ApplySlotToEngineBlock");
    if (records) Need(lines, e.restoreRecord, "slots", "record restore", "RestoreRedirectRecord");
    if (redirects) Need(lines, e.redirectStep, "slots", "redirect step", "RedirectCellStep");
    Need(lines, e.patchCode, "code", "write", "PatchCodeBytes");

    const BeforeAfterEntries& b = e.beforeAfter;
    Need(lines, b.anyTimecycleGroupEdited, "before/after", "test", "AnyTimecycleGroupEdited");
    Need(lines, b.anyVisualSettingsGroupEdited, "before/after", "test", "AnyVisualSettingsGroupEdited");
    Need(lines, b.modifierAllLiveBeforeAfter, "before/after", "step", "ModifierAllLiveBeforeAfter");
    Need(lines, b.showWeatherDocsBeforeAfter, "before/after", "step", "ShowWeatherDocsBeforeAfter");
    Need(lines, e.clearImportPatchesMark, "timecycle", "step", "ClearImportPatchesMark");
    return lines;
}

}  // namespace runtime
