#include "runtime/store_probes.h"

#include <algorithm>
#include <string_view>

#include "runtime/near_alloc.h"
#include "runtime/scans.h"

namespace runtime {
namespace {

struct StoreProbe {
    const char* name;
    uint8_t pattern[16];
    uint32_t blockOffset;
    StoreSite found;
};
constexpr char kStoreProbeMask[] = "xxx????xxxxxxxxx";
StoreProbe g_storeProbes[] = {
    {"ProbeScanlineStore", {0x0F, 0x10, 0x05, 0, 0, 0, 0, 0x42, 0x0F, 0x29, 0x84, 0x26, 0xD0, 0x01, 0, 0}, 464, {}},
    {"ProbeLensDistortionStore", {0x0F, 0x10, 0x05, 0, 0, 0, 0, 0x42, 0x0F, 0x29, 0x84, 0x26, 0xC0, 3, 0, 0}, 960, {}},
};

}  // namespace

bool ProbeStore(const char* name, StoreSite& site) {
    for (StoreProbe& probe : g_storeProbes) {
        if (std::string_view(name) != probe.name) continue;
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
        site = probe.found;
        return true;
    }
    return false;
}

void ForgetStoreProbes() {
    for (StoreProbe& probe : g_storeProbes) probe.found = {};
}

}  // namespace runtime
