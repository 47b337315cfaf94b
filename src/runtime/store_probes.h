// Store-suppression probes: they find the engine's stores of post-effect
// values (and a few other code sites) by the patterns of
// src/runtime/data/code_patterns.tsv and capture each site
// (store_probes.tsv says where and what it must hold). They change no game
// byte: the gates and appliers overwrite the captured sites, the restores
// write them back. A probe whose pattern the image lacks fails for the run;
// one whose site could not be read is tried again at a bounded rate.
// Script fiber only.
#pragma once
#include <cstdint>
#include <span>

#include "runtime/code_patch.h"

namespace runtime {

inline constexpr size_t kMaxProbeSites = 6;

struct ProbeState {
    CodePatch sites[kMaxProbeSites];
    Attempts attempts;
};

// The probes' captures; script fiber only.
struct StoreProbeState {
    ProbeState table[kProbeCount];  // the probes of store_probes.tsv
    ProbeState heatHaze;            // 576, 624, 592, 608, 640, 656, in capture order
    ProbeState nightVisionScalar;   // 412, 428, 444, 452
    uint64_t pedLightTargets[3] = {};  // the globals the ped-light stores write
};
extern StoreProbeState StoreProbes;
// Back to nothing captured (tests: a new game image).
void ResetStoreProbes();

// A probe of the table: true when all its sites are captured (now or before).
bool RunProbe(ProbeId id);
// Its sites (as many as its rows).
std::span<CodePatch> ProbeSitesOf(ProbeId id);

// The probes by their role; the ones returning an address give the (first)
// site, 0 when the probe fails.
uint64_t ProbeExposureBloomSite();
bool ProbeColorCorrectSite();
uint64_t ProbePostFxCorrectColor();
uint64_t ProbePostFxShiftColor();
// Its 34-byte run, or else the first store to 0x30 and, within 64 bytes
// after it, the stores to 0x34 and 0x38.
bool ProbeEnvironmentalBlurStores();
bool ProbePostFxExposureSite();
bool ProbePostFxGradientStores();
// The store at 624 from its pattern, the other five as the first of each in
// the 376 start positions from 128 bytes before the match.
bool ProbeHeatHazeStores();
bool ProbeLensArtefactsStores();
uint64_t ProbeLensDistortionStore();
uint64_t ProbeScanlineStore();
bool ProbeNightVisionColorStores();
// Its 52-byte pattern, or else the store alone.
uint64_t ProbeScreenBlurStore();
bool ProbePostFxVignettingStores();
// The three stores, when the loads before them read the ped-light fields of
// the TimecycleBlock; their targets into StoreProbes.pedLightTargets.
bool ProbePedLightSite();
// When the load after the match reads nv_bloomLum: the four stores, each
// the first in the 384 bytes from 144 before the match.
bool ProbeNightVisionScalar();
// The ja over the filmic tonemapping, when its two loads read the dark and
// bright override fields.
uint64_t ProbeTonemappingDarkBright();

// A code site captured by a probe as the tick's store patches take it: its
// address, the block offset its store writes, its length and the game's
// bytes there.
struct StoreSite {
    uint64_t address = 0;
    uint32_t blockOffset = 0;
    uint8_t length = 0;
    uint8_t saved[10] = {};
    bool captured = false;
};
// The probes of the tick's own store patches: fill sites (the scanline and
// lens-distortion store into sites[0], the six heat-haze stores in capture
// order) and give true when captured; false when not found or sites is too
// short.
bool ScanlineStoreSites(std::span<StoreSite> sites);
bool LensDistortionStoreSites(std::span<StoreSite> sites);
bool HeatHazeStoreSites(std::span<StoreSite> sites);

}  // namespace runtime
