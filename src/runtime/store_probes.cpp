#include "runtime/store_probes.h"

#include <algorithm>

#include "runtime/near_alloc.h"
#include "runtime/scans.h"

namespace runtime {
namespace {

struct StoreProbe {
    uint8_t pattern[16];
    uint32_t blockOffset;
    StoreSite found;
};
constexpr char kStoreProbeMask[] = "xxx????xxxxxxxxx";
StoreProbe g_scanline{{0x0F, 0x10, 0x05, 0, 0, 0, 0, 0x42, 0x0F, 0x29, 0x84, 0x26, 0xD0, 0x01, 0, 0}, 464, {}};
StoreProbe g_lensDistortion{{0x0F, 0x10, 0x05, 0, 0, 0, 0, 0x42, 0x0F, 0x29, 0x84, 0x26, 0xC0, 3, 0, 0}, 960, {}};
StoreProbe* const g_storeProbes[] = {&g_scanline, &g_lensDistortion};

bool Probe(StoreProbe& probe, std::span<StoreSite> sites) {
    if (sites.empty()) return false;
    if (!probe.found.captured) {
        const uint64_t hit = FindUniquePattern(probe.pattern, kStoreProbeMask);
        PatchSiteRecord record;
        if (hit == 0 || !CapturePatchSite9(record, hit + 7)) return false;
        probe.found.address = record.site;
        probe.found.blockOffset = probe.blockOffset;
        probe.found.length = 9;
        std::copy(record.original, record.original + 9, probe.found.saved);
        probe.found.captured = true;
    }
    sites[0] = probe.found;
    return true;
}

}  // namespace

bool ProbeScanlineStore(std::span<StoreSite> sites) { return Probe(g_scanline, sites); }
bool ProbeLensDistortionStore(std::span<StoreSite> sites) { return Probe(g_lensDistortion, sites); }

void ForgetStoreProbes() {
    for (StoreProbe* probe : g_storeProbes) probe->found = {};
}

}  // namespace runtime
