#include "runtime/override_patches.h"

#include <atomic>

#include "runtime/engine_block.h"
#include "runtime/group_appliers.h"
#include "runtime/live_writes.h"
#include "runtime/redirects.h"
#include "runtime/store_patches.h"
#include "runtime/store_probes.h"

namespace runtime {
namespace {

using R = RedirectId;

void RestoreScanlinePatch() { RestoreStorePatch(PartId::Scanline); }
void RestoreLensDistortionPatch() { RestoreStorePatch(PartId::LensDistortion); }
void RestoreHeatHazePatches() { RestoreStorePatch(PartId::HeatHaze); }

constexpr RestoreStep kRestoreSteps[] = {
    {"RestoreLightDirRedirects", RestoreLightDirRedirects},
    {"RestorePostFxExposurePatches", RestorePostFxExposurePatches},
    {"RestorePostFxDesaturationPatch", RestorePostFxDesaturationPatch},
    {"RestoreExposureBloomPatch", RestoreExposureBloomPatch},
    {"RestorePostFxExposureMaxPatch", RestorePostFxExposureMaxPatch},
    {"RestorePostFxCorrectPatch", RestorePostFxCorrectPatch},
    {"RestorePostFxShiftPatch", RestorePostFxShiftPatch},
    {"RestorePostFxVignettingPatches", RestorePostFxVignettingPatches},
    {"RestorePostFxGradientPatches", RestorePostFxGradientPatches},
    {"RestoreScanlinePatch", RestoreScanlinePatch},
    {"RestoreEnvironmentalBlurPatches", RestoreEnvironmentalBlurPatches},
    {"RestoreLensDistortionPatch", RestoreLensDistortionPatch},
    {"RestoreLensArtefactsPatch", RestoreLensArtefactsPatch},
    {"RestoreNightVisionPatches", RestoreNightVisionPatches},
    {"RestoreNightVisionColorPatches", RestoreNightVisionColorPatches},
    {"RestoreLightRaysRedirects", RestoreLightRaysRedirects},
    {"RestoreTemperatureBlockPatches", RestoreTemperatureBlockPatches},
    {"RestorePedLightPatches", RestorePedLightPatches},
    {"RestoreScreenBlurPatches", RestoreScreenBlurPatches},
    {"RestoreTonemapJump", RestoreTonemapJump},
    {"RestoreAllRedirects", RestoreAllRedirects},
    {"RestoreHeatHazePatches", RestoreHeatHazePatches},
};

template <R Id>
bool Prepare() {
    return PrepareRedirect(Id);
}
template <uint64_t (*Probe)()>
bool Found() {
    return Probe() != 0;
}

constexpr StartupStep kStartupSteps[] = {
    {"PrepareRedirectLightDirColorRG", Prepare<R::LightDirColorRG>},
    {"PrepareRedirectLightDirColorB", Prepare<R::LightDirColorB>},
    {"PrepareRedirectLightDirMult", Prepare<R::LightDirMult>},
    {"ProbePostFxCorrectColor", Found<ProbePostFxCorrectColor>},
    {"ProbePostFxShiftColor", Found<ProbePostFxShiftColor>},
    {"ProbeExposureBloomSite", Found<ProbeExposureBloomSite>},
    {"ProbePostFxVignettingStores", ProbePostFxVignettingStores},
    {"ProbePostFxGradientStores", ProbePostFxGradientStores},
    {"ProbeScanlineStore", Found<ProbeScanlineStore>},
    {"ProbeEnvironmentalBlurStores", ProbeEnvironmentalBlurStores},
    {"ProbeLensDistortionStore", Found<ProbeLensDistortionStore>},
    {"ProbeLensArtefactsStores", ProbeLensArtefactsStores},
    {"ProbeNightVisionScalar", ProbeNightVisionScalar},
    {"ProbeNightVisionColorStores", ProbeNightVisionColorStores},
    {"ProbeScreenBlurStore", Found<ProbeScreenBlurStore>},
    {"ProbeLightRays", ProbeLightRays},
    {"PrepareRedirectDirectionalAmbientColorR", Prepare<R::DirectionalAmbientColorR>},
    {"PrepareRedirectDirectionalAmbientColorGB", Prepare<R::DirectionalAmbientColorGB>},
    {"PrepareRedirectDirectionalAmbientIntensity", Prepare<R::DirectionalAmbientIntensity>},
    {"PrepareRedirectDirectionalAmbientIntensityMult", Prepare<R::DirectionalAmbientIntensityMult>},
    {"PrepareRedirectAmbientBounceDownWrap", Prepare<R::AmbientBounceDownWrap>},
    {"PrepareRedirectNaturalAmbientDownColorB", Prepare<R::NaturalAmbientDownColorB>},
    {"PrepareRedirectNaturalAmbientDownIntensity", Prepare<R::NaturalAmbientDownIntensity>},
    {"PrepareRedirectNaturalAmbientUpColorRG", Prepare<R::NaturalAmbientUpColorRG>},
    {"PrepareRedirectNaturalAmbientUpColorB", Prepare<R::NaturalAmbientUpColorB>},
    {"PrepareRedirectNaturalAmbientUpIntensity", Prepare<R::NaturalAmbientUpIntensity>},
    {"PrepareRedirectNaturalAmbientUpIntensityMult", Prepare<R::NaturalAmbientUpIntensityMult>},
    {"PrepareRedirectNaturalAmbientPush", Prepare<R::NaturalAmbientPush>},
    {"PrepareRedirectArtificialExteriorDownColorRG", Prepare<R::ArtificialExteriorDownColorRG>},
    {"PrepareRedirectArtificialExteriorDownColorB", Prepare<R::ArtificialExteriorDownColorB>},
    {"PrepareRedirectArtificialExteriorDownIntensityUpColor", Prepare<R::ArtificialExteriorDownIntensityUpColor>},
    {"PrepareRedirectArtificialExteriorUpIntensity", Prepare<R::ArtificialExteriorUpIntensity>},
    {"PrepareRedirectSkySunColorR", Prepare<R::SkySunColorR>},
    {"PrepareRedirectSkySunColorGB", Prepare<R::SkySunColorGB>},
    {"PrepareRedirectSkyMoonColorR", Prepare<R::SkyMoonColorR>},
    {"PrepareRedirectSkyMoonColorGB", Prepare<R::SkyMoonColorGB>},
    {"PrepareRedirectFogShadowAmountFalloff", Prepare<R::FogShadowAmountFalloff>},
    {"PrepareRedirectFogShadowBaseHeight", Prepare<R::FogShadowBaseHeight>},
    {"PrepareRedirectFarClip", Prepare<R::FarClip>},
    {"PrepareRedirectWindSpeedMult", Prepare<R::WindSpeedMult>},
    {"PrepareRedirectLodMult", Prepare<R::LodMult>},
    {"PrepareRedirectRenderExterior", Prepare<R::RenderExterior>},
    {"PrepareRedirectLightFalloffMult", Prepare<R::LightFalloffMult>},
    {"PrepareRedirectLodMultHD", Prepare<R::LodMultHD>},
    {"PrepareRedirectLodMultOrphanHD", Prepare<R::LodMultOrphanHD>},
    {"PrepareRedirectLodMultLOD", Prepare<R::LodMultLOD>},
    {"PrepareRedirectLodMultSLOD1", Prepare<R::LodMultSLOD1>},
    {"PrepareRedirectLodMultSLOD2", Prepare<R::LodMultSLOD2>},
    {"PrepareRedirectLodMultSLOD3", Prepare<R::LodMultSLOD3>},
    {"PrepareRedirectLodMultSLOD4", Prepare<R::LodMultSLOD4>},
    {"PrepareRedirectPostFxNoise", Prepare<R::PostFxNoise>},
    {"PrepareRedirectBlurVignetting", Prepare<R::BlurVignetting>},
    {"PrepareRedirectArtificialIntDownColorRG", Prepare<R::ArtificialIntDownColorRG>},
    {"PrepareRedirectArtificialIntDownColorB", Prepare<R::ArtificialIntDownColorB>},
    {"PrepareRedirectArtificialIntDownIntensity", Prepare<R::ArtificialIntDownIntensity>},
    {"PrepareRedirectArtificialIntUpColorRG", Prepare<R::ArtificialIntUpColorRG>},
    {"PrepareRedirectArtificialIntUpColorB", Prepare<R::ArtificialIntUpColorB>},
    {"PrepareRedirectArtificialIntUpIntensity", Prepare<R::ArtificialIntUpIntensity>},
    {"ProbePedLightSite", ProbePedLightSite},
    {"PrepareRedirectVehicleSecondSpecOverride", Prepare<R::VehicleSecondSpecOverride>},
    {"PrepareRedirectVehicleLightsIntensityScale", Prepare<R::VehicleLightsIntensityScale>},
};
static_assert(std::size(kStartupSteps) == 61);

void Count(CodePatchReport& report, const CodePatch& patch) {
    report.captured += patch.captured != 0;
    report.applied += patch.applied != 0;
}

}  // namespace

std::span<const RestoreStep> RestoreSteps() { return kRestoreSteps; }

void RestoreAllPatches() {
    for (const RestoreStep& step : kRestoreSteps) step.restore();
}

namespace {
// Set by RestoreOverridePatches (any thread), taken by the tick.
std::atomic<uint8_t> g_restoreRequested{0};
}  // namespace

void RestoreOverridePatches() { g_restoreRequested.store(1); }

void RunRequestedRestore() {
    if (g_restoreRequested.exchange(0) != 0) RestoreAllPatches();
}

CodePatchReport ReportCodePatches() {
    CodePatchReport report;
    for (const ProbeState& probe : StoreProbes.table)
        for (const CodePatch& p : probe.sites) Count(report, p);
    for (const ProbeState* probe : {&StoreProbes.heatHaze, &StoreProbes.nightVisionScalar})
        for (const CodePatch& p : probe->sites) Count(report, p);
    for (const RedirectRecord& r : Redirects.records) Count(report, r.patch);
    for (const RedirectList* list : {&GroupAppliers.lightRays, &GroupAppliers.spriteA, &GroupAppliers.spriteB})
        for (const CodePatch& p : list->records) Count(report, p);
    for (const StorePatch* patch : {&StorePatches.scanline, &StorePatches.lensDistortion, &StorePatches.heatHaze})
        for (const CodePatch& p : patch->sites) Count(report, p);
    for (const ManualLiveWrite& m : LiveWrites.manual) Count(report, m.jump);
    for (size_t i = 0; i < LiveWrites.autoCount; ++i) Count(report, LiveWrites.autos[i].jump);
    Count(report, LiveWrites.puddle.jump);
    return report;
}

std::span<const StartupStep> StartupPreparers() { return kStartupSteps; }

void RunStartupPreparers() {
    for (const StartupStep& step : kStartupSteps) step.run();
}

void ResetPatchStateForTesting() {
    g_restoreRequested.store(0);
    ResetStorePatches();
    ResetGroupAppliers();
    ResetRedirects();
    ResetStoreProbes();
    ResetLiveWritesForTesting();
}

}  // namespace runtime
