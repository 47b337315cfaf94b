#include "runtime/store_patches.h"

#include <algorithm>
#include <cstring>

namespace runtime {
namespace {

constexpr StoreShape kScanlineStores[] = {{464, 9}};
constexpr StoreShape kLensDistortionStores[] = {{960, 9}};
// The store at 624 is ten bytes long: nine no-operations there would leave
// a stray byte of the instruction behind.
constexpr StoreShape kHeatHazeStores[] = {{576, 9}, {592, 9}, {608, 9}, {624, 10}, {640, 9}, {656, 9}};

StorePatch* PatchOf(PartId part) {
    for (StorePatch* p : {&StorePatches.scanline, &StorePatches.lensDistortion, &StorePatches.heatHaze})
        if (p->part == part) return p;
    return nullptr;
}

void Clear(StorePatch& patch) {
    patch.installed = 0;
    for (CodePatch& site : patch.sites) site = CodePatch{};
}

}  // namespace

StorePatchState StorePatches{{PartId::Scanline, {0}, kScanlineStores, {}},
                             {PartId::LensDistortion, {0}, kLensDistortionStores, {}},
                             {PartId::HeatHaze, {0}, kHeatHazeStores, {}}};

std::span<const StoreShape> StoreShapesOf(PartId part) {
    const StorePatch* patch = PatchOf(part);
    return patch ? patch->shapes : std::span<const StoreShape>{};
}

core::SharedValue<uint8_t>* StorePatchFlag(PartId part) {
    StorePatch* patch = PatchOf(part);
    return patch ? &patch->installed : nullptr;
}

bool InstallStorePatch(PartId part, bool (*probe)(std::span<StoreSite>)) {
    StorePatch* patch = PatchOf(part);
    if (patch == nullptr) return false;
    if (patch->installed.Get()) return true;
    const size_t count = patch->shapes.size();
    StoreSite captured[kMostPatchedStores];
    if (probe == nullptr || !probe(std::span<StoreSite>(captured, count))) return false;
    const StoreSite* matches[kMostPatchedStores] = {};
    for (size_t i = 0; i < count; ++i) {
        for (size_t j = 0; j < count; ++j) {
            const StoreSite& s = captured[j];
            if (s.blockOffset == patch->shapes[i].blockOffset && s.captured && s.address != 0) matches[i] = &s;
        }
        if (matches[i] == nullptr || matches[i]->length != patch->shapes[i].length) return false;
    }
    CodePatch* group[kMostPatchedStores];
    for (size_t i = 0; i < count; ++i) {
        CodePatch& site = patch->sites[i];
        // A site whose write-back failed is still patched: kept as it stands.
        if (!site.captured || site.site != matches[i]->address) {
            site = CodePatch{};
            AdoptCodePatch(site, matches[i]->address, matches[i]->saved, matches[i]->length);
        }
        group[i] = &site;
    }
    if (!ApplyCodePatches(std::span<CodePatch* const>(group, count))) return false;
    patch->installed.Set(1);
    return true;
}

void RestoreStorePatch(PartId part) {
    StorePatch* patch = PatchOf(part);
    if (patch == nullptr || !patch->installed.Get()) return;
    for (size_t i = 0; i < patch->shapes.size(); ++i) RestoreCodePatch(patch->sites[i]);
    patch->installed.Set(0);
}

void RestoreStorePatches() {
    for (PartId part : {PartId::Scanline, PartId::LensDistortion, PartId::HeatHaze}) RestoreStorePatch(part);
}

void ResetStorePatches() {
    Clear(StorePatches.scanline);
    Clear(StorePatches.lensDistortion);
    Clear(StorePatches.heatHaze);
}

}  // namespace runtime
