#include "host/tick_groups.h"

#include <cstring>
#include <string_view>

namespace host {

std::atomic<uint8_t> ScanlinePatchInstalled{0};
std::atomic<uint8_t> LensDistortionPatchInstalled{0};
std::atomic<uint8_t> HeatHazePatchesInstalled{0};

namespace {

using A = GroupApply;
using R = GroupRestore;

// ---- Engine writes (slot, offset in the engine's post-effect block) -----------------

constexpr EngineWrite kGradientWrites[] = {
    {"PostFX Gradient Top Color R", 912},    {"PostFX Gradient Top Color G", 916},
    {"PostFX Gradient Top Color B", 920},    {"PostFX Gradient Top/Middle Midpoint", 924},
    {"PostFX Gradient Middle Color R", 928}, {"PostFX Gradient Middle Color G", 932},
    {"PostFX Gradient Middle Color B", 936}, {"PostFX Gradient Middle/Bottom Midpoint", 940},
    {"PostFX Gradient Bottom Color R", 944}, {"PostFX Gradient Bottom Color G", 948},
    {"PostFX Gradient Bottom Color B", 952}, {"PostFX Gradient Midpoint", 956},
};
constexpr EngineWrite kScanlineWrites[] = {
    {"PostFX Scanline Intensity", 464},
    {"PostFX Scanline Frequency 0", 468},
    {"PostFX Scanline Frequency 1", 472},
    {"PostFX Scanline Speed", 476},
};
constexpr EngineWrite kEnvBlurWrites[] = {
    {"PostFX Environmental Blur In", 48},
    {"PostFX Environmental Blur Out", 52},
    {"PostFX Environmental Blur Size", 56},
};
constexpr EngineWrite kLensDistortionWrites[] = {
    {"Lens Distortion Coeff", 960},
    {"Lens Distortion Cube Coeff", 964},
    {"Chromatic Aberration Coeff", 968},
    {"Chromatic Aberration Coeff 2", 972},
};
constexpr EngineWrite kLensArtefactsWrites[] = {
    {"Lens Artefacts Intensity", 1008},
    {"Lens Artefacts Min Exp Intensity", 1012},
    {"Lens Artefacts Max Exp Intensity", 1016},
};
constexpr EngineWrite kNightVisionColorWrites[] = {
    {"Night Vision Color Lum R", 480},     {"Night Vision Color Lum G", 484},
    {"Night Vision Color Lum B", 488},     {"Night Vision Color LowLum R", 496},
    {"Night Vision Color LowLum G", 500},  {"Night Vision Color LowLum B", 504},
    {"Night Vision Color HighLum R", 512}, {"Night Vision Color HighLum G", 516},
    {"Night Vision Color HighLum B", 520},
};
constexpr EngineWrite kScreenBlurWrites[] = {{"Screen Blur Intensity", 456}};

// ---- Parts ----------------------------------------------------------------------
// Helpers keep each row on one line: slots test, function test, run test.

constexpr GroupPart Slots(const char* slots, A apply, const char* names, const char* gate,
                          std::span<const EngineWrite> writes, R restore, const char* restores) {
    return {slots, nullptr, nullptr, apply, names, gate, writes, restore, restores};
}
constexpr GroupPart Test(const char* test, A apply, const char* names, const char* gate,
                         std::span<const EngineWrite> writes, R restore, const char* restores) {
    return {nullptr, nullptr, test, apply, names, gate, writes, restore, restores};
}
constexpr GroupPart Call(const char* slots, const char* applier, const char* restores) {
    return Slots(slots, A::Calls, applier, nullptr, {}, R::Steps, restores);
}
// A redirect row: its applier, and the record restore of its own first slot.
constexpr GroupPart Redirect(const char* slots, const char* applier) {
    return Slots(slots, A::Calls, applier, nullptr, {}, R::Record, nullptr);
}

constexpr GroupPart kLightDir[] = {
    Call("Light Dir Color R|Light Dir Color G|Light Dir Color B|Light Dir Mult", "ApplyLiveLightDir",
         "RestoreLightDirRedirects"),
};
constexpr GroupPart kVignetting[] = {
    Slots("PostFX Vignetting Intensity|PostFX Vignetting Radius|PostFX Vignetting Contrast|"
          "PostFX Vignetting Color R|PostFX Vignetting Color G|PostFX Vignetting Color B",
          A::GatedCalls,
          "ApplyLivePostFxVignettingIntensity|ApplyLivePostFxVignettingRadius|ApplyLivePostFxVignettingContrast|"
          "ApplyLivePostFxVignettingColorR|ApplyLivePostFxVignettingColorG|ApplyLivePostFxVignettingColorB",
          "GatePostFxVignettingWrites", {}, R::Steps, "RestorePostFxVignettingPatches"),
};
constexpr GroupPart kGradient[] = {
    Test("AnyPostFxGradientOverride", A::GatedEngineWrites, nullptr, "GatePostFxGradientWrites", kGradientWrites,
         R::Steps, "RestorePostFxGradientPatches"),
};
constexpr GroupPart kScanline[] = {
    Slots("PostFX Scanline Intensity|PostFX Scanline Frequency 0|PostFX Scanline Frequency 1|PostFX Scanline Speed",
          A::StorePatch, nullptr, "ProbeScanlineStore", kScanlineWrites, R::StorePatch, nullptr),
};
constexpr GroupPart kEnvBlur[] = {
    Slots("PostFX Environmental Blur In|PostFX Environmental Blur Out|PostFX Environmental Blur Size",
          A::GatedEngineWrites, nullptr, "GateEnvironmentalBlurWrites", kEnvBlurWrites, R::Steps,
          "RestoreEnvironmentalBlurPatches"),
};
constexpr GroupPart kLensDistortion[] = {
    Slots("Lens Distortion Coeff|Lens Distortion Cube Coeff|Chromatic Aberration Coeff|Chromatic Aberration Coeff 2",
          A::StorePatch, nullptr, "ProbeLensDistortionStore", kLensDistortionWrites, R::StorePatch, nullptr),
};
constexpr GroupPart kLensArtefacts[] = {
    Slots("Lens Artefacts Intensity|Lens Artefacts Min Exp Intensity|Lens Artefacts Max Exp Intensity",
          A::GatedEngineWrites, nullptr, "GateLensArtefactsWrites", kLensArtefactsWrites, R::Steps,
          "RestoreLensArtefactsPatch"),
};
constexpr GroupPart kNightVision[] = {
    Test("AnyNightVisionScalarOverride", A::Calls, "ApplyLiveNightVision", nullptr, {}, R::Steps,
         "RestoreNightVisionPatches"),
};
constexpr GroupPart kNightVisionColor[] = {
    Test("AnyNightVisionColorOverride", A::GatedEngineWrites, nullptr, "GateNightVisionColorWrites",
         kNightVisionColorWrites, R::Steps, "RestoreNightVisionColorPatches"),
};
constexpr GroupPart kBlurVignetting[] = {
    Redirect("Blur Vignetting Radius|Blur Vignetting Intensity", "ApplyLiveBlurVignetting"),
};
constexpr GroupPart kNoise[] = {
    Redirect("PostFX Noise|PostFX Noise Size", "ApplyLivePostFxNoise"),
};
constexpr GroupPart kScreenBlur[] = {
    Slots("Screen Blur Intensity", A::GatedEngineWrites, nullptr, "GateScreenBlurWrites", kScreenBlurWrites, R::Steps,
          "RestoreScreenBlurPatches"),
};
constexpr GroupPart kLightRays[] = {
    Test("AnyLightRayOverride", A::Calls, "ApplyLiveLightRays", nullptr, {}, R::Steps, "RestoreLightRaysRedirects"),
};
constexpr GroupPart kPedVehicleLights[] = {
    Call("Ped Light Color R|Ped Light Color G|Ped Light Color B|Ped Light Mult|Vehicle Second Spec Override|"
         "Vehicle Lights Intensity Scale",
         "ApplyLivePedAndVehicleLights",
         "RestorePedLightPatches|@Vehicle Second Spec Override|@Vehicle Lights Intensity Scale"),
};
constexpr GroupPart kSpriteLensflare[] = {
    Call("Sprite Brightness|Sprite Size", "ApplyLiveSpriteLensflare", "RestoreTemperatureBlockPatches"),
};
constexpr GroupPart kDirAmbient[] = {
    Redirect("Directional Ambient Color R", "ApplyLiveDirectionalAmbientColorR"),
    Redirect("Directional Ambient Color G|Directional Ambient Color B", "ApplyLiveDirectionalAmbientColorGB"),
    Redirect("Directional Ambient Intensity", "ApplyLiveDirectionalAmbientIntensity"),
    Redirect("Directional Ambient Intensity Mult", "ApplyLiveDirectionalAmbientIntensityMult"),
};
constexpr GroupPart kAmbientBounce[] = {
    Call("Directional Ambient Bounce Enabled|Light Amb Down Wrap|Natural Ambient Down Color R|"
         "Natural Ambient Down Color G",
         "ApplyLiveAmbientBounceGroup", "RestoreLightAmbDownWrapRedirect"),
};
constexpr GroupPart kNaturalAmbient[] = {
    Redirect("Natural Ambient Down Color B", "ApplyLiveNaturalAmbientDownColorB"),
    Redirect("Natural Ambient Down Intensity", "ApplyLiveNaturalAmbientDownIntensity"),
    Redirect("Natural Ambient Up Color R|Natural Ambient Up Color G", "ApplyLiveNaturalAmbientUpColorRG"),
    Redirect("Natural Ambient Up Color B", "ApplyLiveNaturalAmbientUpColorB"),
    Redirect("Natural Ambient Up Intensity", "ApplyLiveNaturalAmbientUpIntensity"),
    Redirect("Natural Ambient Up Intensity Mult", "ApplyLiveNaturalAmbientUpIntensityMult"),
    Redirect("Natural Ambient Push", "ApplyLiveNaturalAmbientPush"),
};
constexpr GroupPart kArtificialExterior[] = {
    Redirect("Artificial Exterior Down Color R|Artificial Exterior Down Color G",
             "ApplyLiveArtificialExteriorDownColorRG"),
    Redirect("Artificial Exterior Down Color B", "ApplyLiveArtificialExteriorDownColorB"),
    Call("Artificial Exterior Down Intensity|Artificial Exterior Up Color R|Artificial Exterior Up Color G|"
         "Artificial Exterior Up Color B",
         "ApplyLiveArtificialExteriorUpColor", "RestoreArtificialExteriorRedirect"),
    Redirect("Artificial Exterior Up Intensity", "ApplyLiveArtificialExteriorUpIntensity"),
};
constexpr GroupPart kSky[] = {
    Redirect("Sky Sun Color R", "ApplyLiveSkySunColorR"),
    Redirect("Sky Sun Color G|Sky Sun Color B", "ApplyLiveSkySunColorGB"),
    Redirect("Sky Moon Color R", "ApplyLiveSkyMoonColorR"),
    Redirect("Sky Moon Color G|Sky Moon Color B", "ApplyLiveSkyMoonColorGB"),
};
constexpr GroupPart kFogShadow[] = {
    Redirect("Fog Shadow Amount|Fog Shadow Falloff", "ApplyLiveFogShadowAmountFalloff"),
    Redirect("Fog Shadow Base Height", "ApplyLiveFogShadowBaseHeight"),
    Redirect("Far Clip", "ApplyLiveFarClip"),
};
constexpr GroupPart kTemperature[] = {
    Call("Temperature", "ApplyLiveTemperature", "RestoreTemperatureRedirect"),
};
// The four redirects the tick patches itself; their record restores name the slot.
constexpr GroupPart Inline(const char* slot, const char* installer) {
    return {slot, nullptr, nullptr, A::InlineRedirect, nullptr, installer, {}, R::Record, nullptr};
}
constexpr GroupPart kVehicleDirt[] = {
    Inline("Vehicle Dirt Mod", "PrepareRedirectVehicleDirtMod"),
};
constexpr GroupPart kWindLod[] = {
    Redirect("Wind Speed Mult", "ApplyLiveWindSpeedMult"),
    Redirect("LOD Mult", "ApplyLiveLodMult"),
    Redirect("LOD Mult HD", "ApplyLiveLodMultHd"),
    Redirect("LOD Mult OrphanHD", "ApplyLiveLodMultOrphanHd"),
    Redirect("LOD Mult LOD", "ApplyLiveLodMultLod"),
    Redirect("LOD Mult SLOD1", "ApplyLiveLodMultSlod1"),
    Redirect("LOD Mult SLOD2", "ApplyLiveLodMultSlod2"),
    Redirect("LOD Mult SLOD3", "ApplyLiveLodMultSlod3"),
    Redirect("LOD Mult SLOD4", "ApplyLiveLodMultSlod4"),
    Redirect("Render Exterior", "ApplyLiveRenderExterior"),
};
constexpr GroupPart kOcclusion[] = {
    Inline("Enable Occlusion", "PrepareRedirectEnableOcclusion"),
    Inline("Enable Shadow Occlusion", "PrepareRedirectEnableShadowOcclusion"),
};
constexpr GroupPart kLightFalloff[] = {
    Redirect("Light Falloff Mult", "ApplyLiveLightFalloffMult"),
};
constexpr GroupPart kShadowDistance[] = {
    Inline("Shadow Distance Mult", "PrepareRedirectShadowDistanceMult"),
};
constexpr GroupPart kArtificialInterior[] = {
    Redirect("Artificial Int Down Color R|Artificial Int Down Color G", "ApplyLiveArtificialIntDownColorRG"),
    Redirect("Artificial Int Down Color B", "ApplyLiveArtificialIntDownColorB"),
    Redirect("Artificial Int Down Intensity", "ApplyLiveArtificialIntDownIntensity"),
    Redirect("Artificial Int Up Color R|Artificial Int Up Color G", "ApplyLiveArtificialIntUpColorRG"),
    Redirect("Artificial Int Up Color B", "ApplyLiveArtificialIntUpColorB"),
    Redirect("Artificial Int Up Intensity", "ApplyLiveArtificialIntUpIntensity"),
};
constexpr GroupPart kHeatHaze[] = {
    {"Heat Haze Start Range", "Heat Haze Tex2 V Scrolling Speed", nullptr, A::HeatHaze, nullptr, "ProbeHeatHazeStores",
     {}, R::Steps, "RestoreHeatHazePatches"},
};

constexpr TickGroup kGroups[] = {
    {"LightDir", kLightDir, false},
    {"Vignetting", kVignetting, false},
    {"Gradient", kGradient, false},
    {"Scanline", kScanline, false},
    {"EnvBlur", kEnvBlur, false},
    {"LensDistortion", kLensDistortion, false},
    {"LensArtefacts", kLensArtefacts, false},
    {"NightVision", kNightVision, false},
    {"NightVisionColor", kNightVisionColor, false},
    {"BlurVignetting", kBlurVignetting, false},
    {"Noise", kNoise, false},
    {"ScreenBlur", kScreenBlur, false},
    {"LightRays", kLightRays, false},
    {"PedVehicleLights", kPedVehicleLights, false},
    {"SpriteLensflare", kSpriteLensflare, false},
    {"DirAmbient", kDirAmbient, false},
    {"AmbientBounce", kAmbientBounce, false},
    {"NaturalAmbient", kNaturalAmbient, false},
    {"ArtificialExterior", kArtificialExterior, false},
    {"Sky", kSky, false},
    {"FogShadow", kFogShadow, false},
    {"Temperature", kTemperature, false},
    {"VehicleDirt", kVehicleDirt, false},
    {"WindLod", kWindLod, false},
    {"Occlusion", kOcclusion, false},
    {"LightFalloff", kLightFalloff, false},
    {"ShadowDistance", kShadowDistance, false},
    {"ArtificialInterior", kArtificialInterior, false},
    {"HeatHaze", kHeatHaze, true},
};

constexpr const char* kEngineBlockMembers[] = {
    "ApplyLivePostFxExposure",          "ApplyLivePostFxExposureMin",      "ApplyLivePostFxExposureMax",
    "ApplyLivePostFxDesaturation",      "ApplyLivePostFxIntensityBloom",   "ApplyLivePostFxBrightPassThresh",
    "ApplyLivePostFxBrightPassThreshWidth", "ApplyLivePostFxCorrectColorR", "ApplyLivePostFxCorrectColorG",
    "ApplyLivePostFxCorrectColorB",     "ApplyLivePostFxCorrectCutoff",    "ApplyLivePostFxShiftColorR",
    "ApplyLivePostFxShiftColorG",       "ApplyLivePostFxShiftColorB",      "ApplyLivePostFxShiftCutoff",
};

constexpr const char* kImportedOrder[] = {
    kEngineBlockKey, "Vignetting", "Gradient", "Scanline", "EnvBlur", "LensDistortion", "LensArtefacts",
    "NightVision", "NightVisionColor", "BlurVignetting", "Noise", "ScreenBlur", "LightRays", "PedVehicleLights",
    "SpriteLensflare", "LightDir", "DirAmbient", "AmbientBounce", "NaturalAmbient", "ArtificialExterior", "Sky",
    "FogShadow", "Temperature", "VehicleDirt", "WindLod", "Occlusion", "LightFalloff", "ShadowDistance",
    "ArtificialInterior", "HeatHaze",
};

constexpr const char* kOverrideOrder[] = {
    "LightDir", kEngineBlockKey, "Vignetting", "Gradient", "Scanline", "EnvBlur", "LensDistortion", "LensArtefacts",
    "NightVision", "NightVisionColor", "BlurVignetting", "Noise", "ScreenBlur", "LightRays", "DirAmbient",
    "AmbientBounce", "NaturalAmbient", "ArtificialExterior", "Sky", "FogShadow", "WindLod", "LightFalloff",
    "ArtificialInterior", "PedVehicleLights", "SpriteLensflare",
};

constexpr const char* kOverrideRestoreOnly[] = {"Temperature", "VehicleDirt", "Occlusion", "ShadowDistance",
                                                "HeatHaze"};

constexpr SlotRun kRefreshRuns[] = {
    {"PostFX Exposure", "PostFX Environmental Blur Size", 54},
    {"Lens Distortion Coeff", "Screen Blur Intensity", 33},
    {"Light Ray Color R", "Light Ray Length", 11},
    {"Override Dark", "Filmic W Bright", 18},
    {"Ambient Bake Ramp", "Ambient Bake Ramp", 1},
    {"Light Ambient Occlusion Mult", "Moon Direction Z", 19},
};

constexpr const char* kLightDirSlots[] = {"Light Dir Color R", "Light Dir Color G", "Light Dir Color B",
                                          "Light Dir Mult"};

// ---- Running ----------------------------------------------------------------------

// Calls fn for each name of a '|'-separated list (no allocation).
template <typename Fn>
void ForEachName(const char* list, Fn fn) {
    if (!list) return;
    char name[96];
    const char* p = list;
    while (*p) {
        const char* end = std::strchr(p, '|');
        const size_t length = end ? static_cast<size_t>(end - p) : std::strlen(p);
        const size_t n = length < sizeof name - 1 ? length : sizeof name - 1;
        std::memcpy(name, p, n);
        name[n] = '\0';
        if (fn(static_cast<const char*>(name))) return;
        p += length;
        if (*p == '|') ++p;
    }
}

void Call(const char* name) { CallTickStep(name); }
bool Test(const char* name) { return TickTest(name); }

bool PartTestHolds(const GroupPart& part) {
    if (part.testFunction) return Test(part.testFunction);
    if (part.testRunLast) return TickCalls.runEnabled && TickCalls.runEnabled(part.testSlots, part.testRunLast);
    bool any = false;
    if (TickCalls.slotEnabled) {
        ForEachName(part.testSlots, [&](const char* slot) { return any = TickCalls.slotEnabled(slot); });
    }
    return any;
}

void WriteEngine(std::span<const EngineWrite> writes) {
    if (!TickCalls.engineWrite) return;
    for (const EngineWrite& w : writes) TickCalls.engineWrite(w.slot, w.offset);
}

bool Patch(uint64_t address, const uint8_t* bytes, size_t length) {
    return TickCalls.patchCode && address != 0 && TickCalls.patchCode(address, bytes, length);
}

constexpr uint8_t kNops[10] = {0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90};

// The single-site store patches of the scanline and lens-distortion groups.
struct StorePatchState {
    std::atomic<uint8_t>* installed;
    StoreSite site;
};
StorePatchState g_scanline{&ScanlinePatchInstalled, {}};
StorePatchState g_lensDistortion{&LensDistortionPatchInstalled, {}};
StoreSite g_heatHaze[6];

// The patch a probe name stands for; null for a name that is not one of
// the two (nothing is probed, patched or restored for it).
StorePatchState* StorePatchOf(const char* probe) {
    const std::string_view name = probe ? probe : "";
    if (name == "ProbeScanlineStore") return &g_scanline;
    if (name == "ProbeLensDistortionStore") return &g_lensDistortion;
    return nullptr;
}

bool InstallStorePatch(const char* probe) {
    StorePatchState* found = StorePatchOf(probe);
    if (!found) return false;
    StorePatchState& patch = *found;
    if (patch.installed->load()) return true;
    StoreSite site;
    if (!TickCalls.probeStore || !TickCalls.probeStore(probe, site) || site.address == 0) return false;
    patch.site = site;
    if (!Patch(site.address, kNops, 9)) return false;
    patch.installed->store(1);
    return true;
}

void RestoreStorePatch(StorePatchState* found) {
    if (!found || !found->installed->load()) return;
    StorePatchState& patch = *found;
    if (patch.site.captured) Patch(patch.site.address, patch.site.saved, 9);
    patch.installed->store(0);
}

// The six heat-haze stores are taken by their block offset, never by the
// order the probe captured them in: the store at 624 is ten bytes long and
// nine NOPs there would leave a stray byte of the instruction behind.
bool InstallHeatHaze() {
    if (HeatHazePatchesInstalled.load()) return true;
    StoreSite captured[6];
    if (!TickCalls.probeHeatHaze || !TickCalls.probeHeatHaze(captured)) return false;
    StoreSite sites[6];
    for (size_t i = 0; i < 6; ++i) {
        const StoreSite* match = nullptr;
        for (const StoreSite& s : captured)
            if (s.blockOffset == kHeatHazeOffsets[i] && s.captured && s.address != 0) match = &s;
        if (!match || match->length != kHeatHazeLengths[i]) return false;
        sites[i] = *match;
    }
    for (size_t i = 0; i < 6; ++i) {
        if (Patch(sites[i].address, kNops, kHeatHazeLengths[i])) continue;
        // Whole or not at all: put back what this attempt already changed.
        for (size_t j = 0; j < i; ++j) Patch(sites[j].address, sites[j].saved, kHeatHazeLengths[j]);
        return false;
    }
    std::copy(std::begin(sites), std::end(sites), std::begin(g_heatHaze));
    HeatHazePatchesInstalled.store(1);
    return true;
}

void ApplyPart(const GroupPart& part) {
    switch (part.apply) {
    case A::Calls: ForEachName(part.applyNames, [](const char* name) { Call(name); return false; }); break;
    case A::GatedCalls:
        if (Test(part.gate)) ForEachName(part.applyNames, [](const char* name) { Call(name); return false; });
        break;
    case A::GatedEngineWrites:
        if (Test(part.gate)) WriteEngine(part.writes);
        break;
    case A::StorePatch:
        if (InstallStorePatch(part.gate)) WriteEngine(part.writes);
        break;
    case A::InlineRedirect:
        if (TickCalls.inlineRedirect) TickCalls.inlineRedirect(part.testSlots, part.gate);
        break;
    case A::HeatHaze: InstallHeatHaze(); break;
    }
}

void RestoreStep(const char* name) {
    if (name[0] == '@') {
        if (TickCalls.recordRestore) TickCalls.recordRestore(name + 1);
    } else if (std::string_view(name) == "RestoreHeatHazePatches") {
        RestoreHeatHazePatches();
    } else {
        Call(name);
    }
}

void RestorePart(const GroupPart& part) {
    switch (part.restore) {
    case R::StorePatch: RestoreStorePatch(StorePatchOf(part.gate)); break;
    case R::Record:
        ForEachName(part.testSlots, [](const char* slot) {
            if (TickCalls.recordRestore) TickCalls.recordRestore(slot);
            return true;  // the first slot names the record
        });
        break;
    case R::Steps: ForEachName(part.restoreNames, [](const char* name) { RestoreStep(name); return false; }); break;
    }
}

enum class Mode { Imported, Override, RestoreOnly };

void RunGroup(const TickGroup& group, Mode mode) {
    for (const GroupPart& part : group.parts) {
        const bool holds = PartTestHolds(part);
        if (holds && mode != Mode::RestoreOnly) ApplyPart(part);
        else if (!holds && (mode != Mode::Imported || group.restoredInImported)) RestorePart(part);
    }
}

void RunEngineBlockMembers(bool withTonemap) {
    for (const char* member : kEngineBlockMembers) Call(member);
    if (withTonemap) Call(kTonemapDarkBright);
}

void RunOrder(std::span<const char* const> order, Mode mode) {
    for (const char* key : order) {
        if (std::string_view(key) == kEngineBlockKey) {
            RunEngineBlockMembers(mode == Mode::Imported);
            continue;
        }
        if (const TickGroup* group = FindTickGroup(key)) RunGroup(*group, mode);
    }
}

}  // namespace

void CallTickStep(const char* name) {
    if (TickCalls.call) TickCalls.call(name);
}

bool TickTest(const char* name) { return TickCalls.test && TickCalls.test(name); }

std::span<const TickGroup> TickGroupTable() { return kGroups; }

const TickGroup* FindTickGroup(const char* key) {
    for (const TickGroup& group : kGroups)
        if (std::string_view(group.key) == key) return &group;
    return nullptr;
}

std::span<const char* const> EngineBlockMembers() { return kEngineBlockMembers; }
std::span<const char* const> ImportedGroupOrder() { return kImportedOrder; }
std::span<const char* const> OverrideGroupOrder() { return kOverrideOrder; }
std::span<const char* const> OverrideRestoreOnlyOrder() { return kOverrideRestoreOnly; }
std::span<const SlotRun> TickRefreshRuns() { return kRefreshRuns; }
std::span<const char* const> TickLightDirSlots() { return kLightDirSlots; }

void RunGroupsImported() { RunOrder(kImportedOrder, Mode::Imported); }

void RunGroupsOverride() {
    RunOrder(kOverrideOrder, Mode::Override);
    RunOrder(kOverrideRestoreOnly, Mode::RestoreOnly);
}

std::atomic<uint8_t>* TickStorePatchFlag(const char* probe) {
    StorePatchState* patch = StorePatchOf(probe);
    return patch ? patch->installed : nullptr;
}

void RestoreScanlinePatch() { RestoreStorePatch(&g_scanline); }
void RestoreLensDistortionPatch() { RestoreStorePatch(&g_lensDistortion); }

void RestoreHeatHazePatches() {
    if (!HeatHazePatchesInstalled.load()) return;
    for (size_t i = 0; i < 6; ++i)
        if (g_heatHaze[i].captured) Patch(g_heatHaze[i].address, g_heatHaze[i].saved, kHeatHazeLengths[i]);
    HeatHazePatchesInstalled.store(0);
}

void RestoreTickStorePatches() {
    RestoreScanlinePatch();
    RestoreLensDistortionPatch();
    RestoreHeatHazePatches();
}

void ResetTickGroupState() {
    ScanlinePatchInstalled.store(0);
    LensDistortionPatchInstalled.store(0);
    HeatHazePatchesInstalled.store(0);
    g_scanline.site = {};
    g_lensDistortion.site = {};
    for (StoreSite& s : g_heatHaze) s = {};
}

}  // namespace host
