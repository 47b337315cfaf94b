#include "visualsettings/binding.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "runtime/data_signatures.h"
#include "runtime/guarded_memory.h"
#include "runtime/scans.h"
#include "visualsettings/car_lod.h"
#include "visualsettings/code_patch_publishers.h"
#include "visualsettings/live_write.h"
#include "visualsettings/pointer_map.h"
#include "visualsettings/puddles.h"
#include "visualsettings/runtime_keys.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/traffic_lights.h"
#include "visualsettings/volume_colour.h"

namespace visualsettings {

BindingState Binding;

namespace {

// movss [rip+d32],xmm0; lea rdx,[rip+0x1d483d1]; mov rcx,rsi;
// movaps xmm2,xmm6; mov r9b,1; call rel32; movss [rip+0x3785d2c],xmm0;
// lea rdx,...: the store of the first coronas setting.
constexpr uint8_t kCoronasPattern[] = {
    0xF3, 0x0F, 0x11, 0x05, 0x00, 0x00, 0x00, 0x00, 0x48, 0x8D, 0x15, 0xD1, 0x83, 0xD4, 0x01, 0x48, 0x89, 0xF1, 0x0F, 0x28,
    0xD6, 0x41, 0xB1, 0x01, 0xE8, 0x48, 0x8A, 0x0E, 0x01, 0xF3, 0x0F, 0x11, 0x05, 0x2C, 0x5D, 0x78, 0x03, 0x48, 0x8D, 0x15};
constexpr char kCoronasMask[] = "xxxx????xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";

// Three times: movss [rip+d32],xmm0; lea rdx,[rip+d32]; mov rcx,rsi;
// movaps xmm2,xmm9 (xmm10, xmm8); mov r9b,1; call: the stores of the filmic
// curve's settings, the first one into the bright exposure field.
constexpr uint8_t kFilmicPattern[] = {
    0xF3, 0x0F, 0x11, 0x05, 0, 0, 0, 0, 0x48, 0x8D, 0x15, 0, 0, 0, 0, 0x48, 0x89, 0xF1, 0x41, 0x0F, 0x28,
    0xD1, 0x41, 0xB1, 0x01, 0xE8, 0, 0, 0, 0, 0xF3, 0x0F, 0x11, 0x05, 0, 0, 0, 0, 0x48, 0x8D, 0x15, 0,
    0, 0, 0, 0x48, 0x89, 0xF1, 0x41, 0x0F, 0x28, 0xD2, 0x41, 0xB1, 0x01, 0xE8, 0, 0, 0, 0, 0xF3, 0x0F,
    0x11, 0x05, 0, 0, 0, 0, 0x48, 0x8D, 0x15, 0, 0, 0, 0, 0x48, 0x89, 0xF1, 0x41, 0x0F, 0x28, 0xD0};
constexpr char kFilmicMask[] = "xxxx????xxx????xxxxxxxxxxx????xxxx????xxx????xxxxxxxxxxx????xxxx????xxx????xxxxxxx";
static_assert(sizeof kCoronasPattern == sizeof kCoronasMask - 1);
static_assert(sizeof kFilmicPattern == sizeof kFilmicMask - 1);

// The rip-relative target of the store at site: site + 8 + disp32.
uint64_t StoreTarget(uint64_t site) {
    uint32_t disp = 0;
    if (site == 0 || !runtime::GuardedReadU32(site + 4, disp)) return 0;
    return site + 8 + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(disp)));
}

// A base derived from the anchor: cached once found; else anchor - back
// when the anchor is at least back and the block is readable.
uint64_t DerivedBase(core::SharedValue<uint64_t>& cache, uint64_t back) {
    if (const uint64_t kept = cache.Get()) return kept;
    const uint64_t anchor = FindFilmicBlockAnchor();
    if (anchor < back || !runtime::IsReadable(anchor - back, kFilmicBlockBytes)) return 0;
    cache.Set(anchor - back);
    return anchor - back;
}

// Step 5: a row's own target decoded.
uint64_t DecodeOwnTarget(const VisualSettingsParam& row, uint64_t module) {
    const KeyClass kind = ClassOfRow(row);
    if (kind == KeyClass::RuntimeSlider) return LiveAddressOfRuntimeKey(row.key);
    if (!row.HasTarget() || kind == KeyClass::Ripple || kind == KeyClass::PuddlesPublished) return 0;
    const uint64_t target = row.Target();
    if ((target & (runtime::kLiveHandleTimecycle | runtime::kLiveHandleSecondary | runtime::kLiveHandleSignature)) == 0 &&
        module == 0)
        return 0;
    return runtime::ResolveLiveHandle(module, target);
}

bool TakesPointerMap(const ParamArray& array) {
    return std::strcmp(array.firstKey, kBrightFilmicArray) != 0 && std::strcmp(array.firstKey, kNeonColourArray) != 0 &&
           std::strcmp(array.firstKey, kSeeThroughColourArray) != 0;
}

std::string Decimal(uint64_t v) { return std::to_string(v); }

}  // namespace

void RegisterBindingSearches() {
    Binding.coronasSearch.bytes = kCoronasPattern;
    Binding.coronasSearch.mask = kCoronasMask;
    Binding.filmicSearch.bytes = kFilmicPattern;
    Binding.filmicSearch.mask = kFilmicMask;
    runtime::RegisterSharedImageSearch(Binding.coronasSearch);
    runtime::RegisterSharedImageSearch(Binding.filmicSearch);
}

uint64_t FindCoronasBlock() {
    if (const uint64_t kept = Binding.coronasBase.Get()) return kept;
    if (Binding.coronasSearch.bytes == nullptr) RegisterBindingSearches();
    const uint64_t target = StoreTarget(runtime::SharedImageSearchHit(Binding.coronasSearch));
    if (target < kCoronasFirstField || !runtime::IsReadable(target, kCoronasReadableBytes)) return 0;
    Binding.coronasBase.Set(target - kCoronasFirstField);
    return target - kCoronasFirstField;
}

uint64_t FindFilmicBlockAnchor() {
    if (const uint64_t kept = Binding.filmicAnchor.Get()) return kept;
    if (Binding.filmicSearch.bytes == nullptr) RegisterBindingSearches();
    const uint64_t anchor = StoreTarget(runtime::SharedImageSearchHit(Binding.filmicSearch));
    if (anchor != 0) Binding.filmicAnchor.Set(anchor);
    return anchor;
}

void BindVisualSettingsParams() {
    Binding.bindings.FetchAdd(1);
    const uint64_t coronas = FindCoronasBlock();
    const uint64_t dark = DerivedBase(Binding.filmicDarkBase, kFilmicDarkFromAnchor);
    const uint64_t bright = DerivedBase(Binding.filmicBrightBase, kFilmicBrightFromAnchor);
    const uint64_t module = runtime::GameImageBase();

    for (const ParamArray& array : ParamArrays()) {
        for (VisualSettingsParam& row : array.Rows()) {
            switch (array.base) {
            case ArrayBase::Coronas: row.liveAddress = coronas != 0 ? coronas + row.Target() : 0; break;
            case ArrayBase::BrightFilmic: row.liveAddress = bright != 0 ? bright + row.Target() : 0; break;
            case ArrayBase::Module: row.liveAddress = DecodeOwnTarget(row, module); break;
            }
        }
    }
    Binding.filmicBlockFound = bright != 0 ? 1 : 0;
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) DarkFilmicSlot(i).address = dark != 0 ? dark + 4 * i : 0;

    // The code-patch keys: their game value is what the manual live write's store writes.
    for (size_t i = 0; i < runtime::kManualLiveWriteCount; ++i) {
        VisualSettingsParam* row = FindParamInArray(ArrayByFirstKey(kRainLightArray), ManualLiveWriteKey(i));
        if (row == nullptr) row = FindParamInArray(ArrayByFirstKey(kHeadlightsArray), ManualLiveWriteKey(i));
        if (row != nullptr) row->liveAddress = ManualLiveWriteStoreTarget(i);
    }

    uint64_t rebound = 0;
    for (const ParamArray& array : ParamArrays()) {
        if (!TakesPointerMap(array)) continue;
        for (VisualSettingsParam& row : array.Rows()) rebound += BindParamToPointerMap(row) ? 1 : 0;
    }
    Binding.pointerMapCount = rebound;

    for (const char* first : {kTrafficLightArray, kBrightLightArray}) {
        const ParamArray* array = ArrayByFirstKey(first);
        if (array == nullptr) continue;
        for (VisualSettingsParam& row : array->Rows()) {
            if (ClassOfRow(row) != KeyClass::Hidden) continue;
            row.liveAddress = 0;
            row.overridden = 0;
        }
    }

    if (PointerMap.loaded.Get())
        SetStatus(PointerMap.status, "Pointer map active: " + Decimal(rebound) + " existing UI params bound to " +
                                         Decimal(PointerMap.targetCount.Get()) + " .data targets.");

    // The game's own values of rows whose defaults the game build decides,
    // read before anything is written to them.
    for (VisualSettingsParam& row : AllParams()) {
        if (!row.defaultKnown) EnsureGameDefault(row);
    }
}

bool BindingBaseMissing(bool bright) {
    return Binding.coronasBase.Get() == 0 || Binding.filmicDarkBase.Get() == 0 ||
           (bright && Binding.filmicBrightBase.Get() == 0);
}

void BindWhenBasesMissing(bool bright) {
    if (!BindingBaseMissing(bright)) return;
    const uint64_t now = platform::TickCount64();
    const uint64_t last = Binding.lastOnDemandMs.Get();
    if (Binding.onDemandTried.Get() != 0 && now >= last && now - last < kRebindIntervalMs) return;
    Binding.onDemandTried = 1;
    Binding.lastOnDemandMs = now;
    BindVisualSettingsParams();
}

bool BindParamToPointerMap(VisualSettingsParam& row) {
    if (runtime::GameImageBase() == 0 || ClassOfRow(row) == KeyClass::Hidden) return false;
    std::vector<uint64_t> targets;
    if (!FindPointerMapEntry(row.key, targets) || targets.empty()) return false;
    const uint64_t address = PointerMapTargetAddress(targets[0]);
    if (address == 0) return false;
    row.liveAddress = address;
    return true;
}

bool ReadLiveVisualSetting(VisualSettingsParam& row, float& out) {
    const char* key = row.key;
    if (key == nullptr) return false;
    const KeyClass kind = ClassOfRow(row);
    auto readFloat = [&out](uint64_t address) {
        uint32_t bits = 0;
        if (address == 0 || !runtime::GuardedReadU32(address, bits)) return false;
        out = std::bit_cast<float>(bits);
        return true;
    };
    if (const char* group = kind == KeyClass::TrafficLightComponent ? TrafficLightGroupKey(key) : nullptr) {
        out = 0.0f;
        const uint64_t address = TrafficLightColorAddress(group);
        if (address == 0) return false;
        const char* channel = key + std::strlen(group) + 1;
        if (std::strcmp(channel, "red") == 0) return readFloat(address);
        if (std::strcmp(channel, "green") == 0) return readFloat(address + 4);
        if (std::strcmp(channel, "blue") == 0) return readFloat(address + 8);
        return false;
    }
    if (kind == KeyClass::VolumeColor) {
        out = 0.0f;
        const char* component = key + std::strlen(kVolumeColorPrefix);
        static constexpr const char* kComponents[] = {"x", "y", "z", "w"};
        for (uint64_t i = 0; i < 4; ++i) {
            if (std::strcmp(component, kComponents[i]) != 0) continue;
            const uint64_t address = VolumeColorAddress();
            return address != 0 && readFloat(address + 4 * i);
        }
        return false;
    }
    if (kind == KeyClass::Ripple) return ReadPuddleRippleField(key, out);
    if (kind == KeyClass::CarLodDistance) return ReadCarLodDistance(key, out);
    if (kind == KeyClass::RuntimeSlider) return ReadRuntimeTableValue(key, out);
    return ReadValueByKind(row, row.liveAddress, out);
}

bool EnsureGameDefault(VisualSettingsParam& row) {
    if (row.defaultKnown) return true;
    float v = 0.0f;
    if (!ReadLiveVisualSetting(row, v) || !std::isfinite(v)) return false;
    AdoptGameDefault(row, v);
    return true;
}

uint64_t ParamBaseForKey(const VisualSettingsParam& row) {
    if (row.key != nullptr && std::strncmp(row.key, "misc.coronas.", 13) == 0) return Binding.coronasBase.Get();
    return runtime::GameImageBase();
}

uint64_t ArrayBaseAddress(const ParamArray& array) {
    switch (array.base) {
    case ArrayBase::Coronas: return Binding.coronasBase.Get();
    case ArrayBase::BrightFilmic: return Binding.filmicBrightBase.Get();
    default: return runtime::GameImageBase();
    }
}

void ResetBindingForTesting() {
    runtime::ForgetSearch(Binding.coronasSearch.result);
    runtime::ForgetSearch(Binding.filmicSearch.result);
    Binding.coronasBase = 0;
    Binding.filmicAnchor = 0;
    Binding.filmicDarkBase = 0;
    Binding.filmicBrightBase = 0;
    Binding.filmicBlockFound = 0;
    Binding.pointerMapCount = 0;
    Binding.bindings = 0;
    Binding.lastOnDemandMs = 0;
    Binding.onDemandTried = 0;
}

}  // namespace visualsettings
