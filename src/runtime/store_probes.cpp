#include "runtime/store_probes.h"

#include <algorithm>
#include <cstring>

#include "runtime/block_locators.h"
#include "runtime/code_index.h"
#include "runtime/guarded_memory.h"
#include "runtime/scans.h"

namespace runtime {

StoreProbeState StoreProbes;

namespace {

ProbeState& StateOf(ProbeId id) { return StoreProbes.table[static_cast<size_t>(id)]; }

bool AllCaptured(const ProbeState& state, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (!state.sites[i].captured) return false;
    return true;
}

int32_t I32At(uint64_t address) {
    int32_t v = 0;
    uint32_t bits = 0;
    if (GuardedReadU32(address, bits)) std::memcpy(&v, &bits, 4);
    return v;
}

// The rip target of an instruction whose disp32 lies at disp and which ends at end.
uint64_t RipTarget(uint64_t disp, uint64_t end) {
    return end + static_cast<uint64_t>(static_cast<int64_t>(I32At(disp)));
}

// Checks that must hold at the match beyond its bytes (false: for good).
bool MatchChecksHold(ProbeId id, uint64_t hit) {
    const uint64_t block = TimecycleBlockLocator();
    switch (id) {
        case ProbeId::PedLightSite:
            return block != 0 && RipTarget(hit + 4, hit + 8) == block + 160 &&
                   RipTarget(hit + 12, hit + 16) == block + 152 && RipTarget(hit + 36, hit + 40) == block + 164;
        case ProbeId::TonemappingDarkBright:
            return block != 0 && RipTarget(hit + 5, hit + 9) == block + 376 &&
                   RipTarget(hit + 21, hit + 25) == block + 412;
        default:
            return true;
    }
}

// The address of each site of a table probe (0: not found), with the
// probes' fallbacks when their pattern is not found once.
bool SiteAddresses(ProbeId id, std::span<const ProbeSiteRow> rows, uint64_t* sites) {
    bool all = true;
    for (size_t i = 0; i < rows.size(); ++i) {
        const uint64_t hit = CodePatternUnique(rows[i].pattern);
        sites[i] = hit != 0 ? hit + rows[i].at : 0;
        all = all && sites[i] != 0;
    }
    if (all) return MatchChecksHold(id, sites[0] - rows[0].at);
    if (id == ProbeId::ScreenBlurStore) {
        sites[0] = CodePatternUnique(CodePatternId::ScreenBlurStore);
        return sites[0] != 0;
    }
    if (id == ProbeId::EnvironmentalBlurStores) {
        // The first store to 0x30; the first to 0x34 after it and the first to
        // 0x38 after that, both starting before it + 64.
        sites[0] = CodePatternFirst(CodePatternId::EnvBlurStore30);
        if (sites[0] == 0) return false;
        const uint64_t limit = sites[0] + 64;
        for (size_t i = 1; i < rows.size(); ++i) {
            const uint64_t from = sites[i - 1] + 1;
            sites[i] = FindFirstIn(from, limit + rows[i].instruction.length - from, rows[i].instruction);
            if (sites[i] == 0 || sites[i] >= limit) return false;
        }
        return true;
    }
    return false;
}

// The table's probes: each site at its place, holding its instruction.
bool RunTableProbe(ProbeId id) {
    ProbeState& state = StateOf(id);
    const std::span<const ProbeSiteRow> rows = ProbeSites(id);
    if (AllCaptured(state, rows.size())) return true;
    if (!AttemptDue(state.attempts)) return false;
    uint64_t sites[kMaxProbeSites] = {};
    if (!EnsureCodeIndex() || !SiteAddresses(id, rows, sites)) {
        FailForGood(state.attempts);
        return false;
    }
    const bool once = ProbeInfo(id).once;
    for (size_t i = 0; i < rows.size(); ++i) {
        const Capture outcome = CaptureCodePatch(state.sites[i], sites[i], rows[i].instruction, 0, rows[i].length);
        if (!Settle(state.attempts, outcome)) {
            if (once) FailForGood(state.attempts);
            return false;
        }
    }
    if (id == ProbeId::PedLightSite) {
        for (size_t i = 0; i < 3; ++i)
            StoreProbes.pedLightTargets[i] = RipTarget(state.sites[i].site + 4, state.sites[i].site + 8);
    }
    return true;
}

uint64_t SiteOf(ProbeId id, size_t index) {
    return RunProbe(id) ? ProbeSitesOf(id)[index].site : 0;
}

// A store of the irregular probes: its bytes, its length and block offset.
struct WindowStore {
    uint8_t bytes[10];
    uint8_t length;
    uint32_t offset;
    MaskedBytes Bytes() const { return {bytes, nullptr, length}; }
};

constexpr WindowStore kHeatHazeStores[] = {
    {{0x42, 0x0F, 0x29, 0x84, 0x26, 0x40, 0x02, 0x00, 0x00}, 9, 576},
    {{0xF2, 0x42, 0x0F, 0x11, 0x84, 0x26, 0x70, 0x02, 0x00, 0x00}, 10, 624},
    {{0x42, 0x0F, 0x29, 0x84, 0x26, 0x50, 0x02, 0x00, 0x00}, 9, 592},
    {{0x42, 0x0F, 0x29, 0x84, 0x26, 0x60, 0x02, 0x00, 0x00}, 9, 608},
    {{0x42, 0x0F, 0x29, 0x84, 0x26, 0x80, 0x02, 0x00, 0x00}, 9, 640},
    {{0x42, 0x0F, 0x29, 0x84, 0x26, 0x90, 0x02, 0x00, 0x00}, 9, 656},
};
constexpr WindowStore kNightVisionScalarStores[] = {
    {{0x42, 0x0F, 0x11, 0x84, 0x26, 0x9C, 0x01, 0x00, 0x00}, 9, 412},
    {{0x42, 0x0F, 0x11, 0x84, 0x26, 0xAC, 0x01, 0x00, 0x00}, 9, 428},
    {{0xF2, 0x42, 0x0F, 0x11, 0x84, 0x26, 0xBC, 0x01, 0x00, 0x00}, 10, 444},
    {{0xF3, 0x42, 0x0F, 0x11, 0x84, 0x26, 0xC4, 0x01, 0x00, 0x00}, 10, 452},
};

// Captures each store at its place: the first in [start, start + size)
// (for the store at fixedIndex, fixedSite instead).
bool CaptureWindow(ProbeState& state, std::span<const WindowStore> stores, uint64_t start, uint64_t size,
                   size_t fixedIndex, uint64_t fixedSite) {
    for (size_t i = 0; i < stores.size(); ++i) {
        if (state.sites[i].captured) continue;
        const uint64_t site = i == fixedIndex ? fixedSite : FindFirstIn(start, size, stores[i].Bytes());
        if (site == 0) {
            FailForGood(state.attempts);
            return false;
        }
        if (!Settle(state.attempts, CaptureCodePatch(state.sites[i], site, stores[i].Bytes(), 0, stores[i].length)))
            return false;
    }
    return true;
}

bool FillStoreSites(std::span<StoreSite> out, ProbeState& state, std::span<const WindowStore> stores) {
    for (size_t i = 0; i < stores.size(); ++i) {
        const CodePatch& p = state.sites[i];
        StoreSite& s = out[i];
        s = {};
        s.address = p.site;
        s.blockOffset = stores[i].offset;
        s.length = p.length;
        std::copy(p.saved, p.saved + std::min<size_t>(p.length, sizeof s.saved), s.saved);
        s.captured = p.captured != 0;
    }
    return true;
}

bool TableStoreSites(ProbeId id, std::span<StoreSite> out) {
    if (out.empty() || !RunProbe(id)) return false;
    const ProbeSiteRow& row = ProbeSites(id)[0];
    const WindowStore shape{{}, row.length, static_cast<uint32_t>(row.offset)};
    return FillStoreSites(out.first(1), StateOf(id), std::span<const WindowStore>(&shape, 1));
}

}  // namespace

void ResetStoreProbes() { StoreProbes = StoreProbeState{}; }

bool RunProbe(ProbeId id) { return RunTableProbe(id); }

std::span<CodePatch> ProbeSitesOf(ProbeId id) {
    return std::span<CodePatch>(StateOf(id).sites, ProbeInfo(id).siteCount);
}

uint64_t ProbeExposureBloomSite() { return SiteOf(ProbeId::ExposureBloomSite, 0); }
bool ProbeColorCorrectSite() { return RunProbe(ProbeId::ColorCorrectSite); }
uint64_t ProbePostFxCorrectColor() { return SiteOf(ProbeId::ColorCorrectSite, 0); }
uint64_t ProbePostFxShiftColor() { return SiteOf(ProbeId::ColorCorrectSite, 1); }
bool ProbeEnvironmentalBlurStores() { return RunProbe(ProbeId::EnvironmentalBlurStores); }
bool ProbePostFxExposureSite() { return RunProbe(ProbeId::PostFxExposureSite); }
bool ProbePostFxGradientStores() { return RunProbe(ProbeId::PostFxGradientStores); }
bool ProbeLensArtefactsStores() { return RunProbe(ProbeId::LensArtefactsStores); }
uint64_t ProbeLensDistortionStore() { return SiteOf(ProbeId::LensDistortionStore, 0); }
uint64_t ProbeScanlineStore() { return SiteOf(ProbeId::ScanlineStore, 0); }
bool ProbeNightVisionColorStores() { return RunProbe(ProbeId::NightVisionColorStores); }
uint64_t ProbeScreenBlurStore() { return SiteOf(ProbeId::ScreenBlurStore, 0); }
bool ProbePostFxVignettingStores() { return RunProbe(ProbeId::PostFxVignettingStores); }
bool ProbePedLightSite() { return RunProbe(ProbeId::PedLightSite); }
uint64_t ProbeTonemappingDarkBright() { return SiteOf(ProbeId::TonemappingDarkBright, 0); }

bool ProbeHeatHazeStores() {
    ProbeState& state = StoreProbes.heatHaze;
    if (AllCaptured(state, std::size(kHeatHazeStores))) return true;
    if (!AttemptDue(state.attempts)) return false;
    const uint64_t hit = CodePatternUnique(CodePatternId::HeatHaze);
    if (hit == 0) {
        FailForGood(state.attempts);
        return false;
    }
    const uint64_t start = hit >= 129 ? hit - 128 : hit;
    // Start positions 0 to 375 of the window; the store at 624 is the match's.
    return CaptureWindow(state, kHeatHazeStores, start, 376 + 8, 1, hit + 8);
}

bool ProbeNightVisionScalar() {
    ProbeState& state = StoreProbes.nightVisionScalar;
    if (AllCaptured(state, std::size(kNightVisionScalarStores))) return true;
    if (!AttemptDue(state.attempts)) return false;
    const uint64_t hit = CodePatternUnique(CodePatternId::NightVisionScalar);
    const uint64_t block = TimecycleBlockLocator();
    // One attempt: whatever it finds decides for the run.
    FailForGood(state.attempts);
    if (hit == 0 || block == 0 || RipTarget(hit + 14, hit + 18) != block + 660) return false;
    const uint64_t base = GameImageBase();
    const uint64_t end = base + GetGameImageSize();
    const uint64_t start = hit - base < 144 ? base : hit - 144;
    const uint64_t size = std::min<uint64_t>(384, end - start);
    if (!CaptureWindow(state, kNightVisionScalarStores, start, size, SIZE_MAX, 0)) return false;
    state.attempts = {};
    return true;
}

bool ScanlineStoreSites(std::span<StoreSite> sites) { return TableStoreSites(ProbeId::ScanlineStore, sites); }
bool LensDistortionStoreSites(std::span<StoreSite> sites) {
    return TableStoreSites(ProbeId::LensDistortionStore, sites);
}
bool HeatHazeStoreSites(std::span<StoreSite> sites) {
    if (sites.size() < std::size(kHeatHazeStores) || !ProbeHeatHazeStores()) return false;
    return FillStoreSites(sites, StoreProbes.heatHaze, kHeatHazeStores);
}

}  // namespace runtime
