#include "visualsettings/puddles.h"

#include <bit>
#include <cstring>

#include "core/editor_state.h"
#include "platform/clock.h"
#include "runtime/data_signatures.h"
#include "runtime/guarded_memory.h"
#include "runtime/scans.h"
#include "visualsettings/binding.h"
#include "visualsettings/param_table.h"

namespace visualsettings {

PuddlesState Puddles;

namespace {

struct RippleField {
    const char* key;
    uint64_t offset;
};
constexpr RippleField kRippleFields[] = {
    {"puddles.ripples.maxsize", 0x00},        {"puddles.ripples.minsize", 0x04},
    {"puddles.ripples.minduration", 0x08},    {"puddles.ripples.maxduration", 0x0C},
    {"puddles.ripples.speed", 0x10},          {"puddles.ripples.dropfactor", 0x14},
    {"puddles.ripples.windstrength", 0x18},   {"puddles.ripples.ripplestrength", 0x20},
    {"puddles.ripples.playermapsize", 0x38},  {"puddles.ripples.playerspeed", 0x3C},
    {"puddles.ripples.winddamping", 0x44},
};

const RippleField* RippleOf(const char* key) {
    if (key == nullptr) return nullptr;
    for (const RippleField& field : kRippleFields) {
        if (std::strcmp(field.key, key) == 0) return &field;
    }
    return nullptr;
}

VisualSettingsParam* ScaleRow() { return FindParamInArray(ArrayByFirstKey(kPuddlesArray), kPuddlesScaleKey); }

// The scale is re-applied only while the edits are shown and the row is overridden.
VisualSettingsParam* ScaleRowToApply() {
    VisualSettingsParam* row = ScaleRow();
    if (row == nullptr || core::Editor.VisualSettingsAfterShown.Get() == 0 || !row->overridden) return nullptr;
    return row;
}

void PuddlesKeeperThread() {
    while (Puddles.keeperStop.Get() == 0) {
        if (Puddles.keeperPause.Get() != 0) {
            platform::SleepMilliseconds(5);
            continue;
        }
        const int32_t mode = Puddles.mode.Get();
        uint32_t sleep = 25;
        if (mode == 1 || mode == 2 || mode == 9) {
            if (VisualSettingsParam* row = ScaleRowToApply()) sleep = ApplyPuddlesScaleLive(row->value) ? 1 : 25;
        }
        platform::SleepMilliseconds(sleep);
    }
}

}  // namespace

bool IsPuddlesPublishedKey(const char* key) {
    return key != nullptr && (std::strcmp(key, kPuddlesRangeKey) == 0 || std::strcmp(key, kPuddlesDepthTestKey) == 0);
}

bool IsPuddleRippleKey(const char* key) { return RippleOf(key) != nullptr; }

uint64_t PuddleRippleFieldAddress(const char* key) {
    const RippleField* field = RippleOf(key);
    if (field == nullptr || Puddles.rippleReady.Get() == 0) return 0;
    const uint64_t base = Puddles.rippleBase.Get();
    return base != 0 ? base + field->offset : 0;
}

bool ReadPuddleRippleField(const char* key, float& value) {
    const uint64_t address = PuddleRippleFieldAddress(key);
    uint32_t bits = 0;
    if (address == 0 || !runtime::SafeReadU32(address, bits)) return false;
    value = std::bit_cast<float>(bits);
    return true;
}

bool WritePuddleRippleField(const char* key, float value) {
    const uint64_t address = PuddleRippleFieldAddress(key);
    return address != 0 && runtime::SafeWriteFloat(address, value);
}

void PublishPuddleRippleBase(uint64_t base) {
    Puddles.rippleBase.Set(base);
    Puddles.rippleReady.Exchange(1);
}

bool ApplyPuddlesScaleLive(float value) {
    VisualSettingsParam* row = ScaleRow();
    const uint64_t module = runtime::GameImageBase();
    if (row == nullptr || module == 0 || !EnsureGameDefault(*row)) return false;
    const int32_t selector = Puddles.targetSelector.Get();
    const size_t extras = row->def->extraCount < kMaxExtraTargets ? row->def->extraCount : kMaxExtraTargets;
    bool any = false;
    for (size_t n = 0; n <= extras; ++n) {
        if (selector > 0 && n != static_cast<size_t>(selector - 1)) continue;
        const uint64_t target = n == 0 ? (row->def->targetGiven ? row->Target() : 0) : row->def->extraTargets[n - 1];
        if (target == 0) continue;
        const uint64_t address = runtime::ResolveLiveHandle(module, target);
        if (address != 0 && runtime::SafeWriteFloat(address, value)) any = true;
    }
    if (!any) return false;
    row->appliedValue = value;
    row->applied = 1;
    return true;
}

void PuddlesRenderHook(PuddlesRenderPoint point) {
    const int32_t mode = Puddles.mode.Get();
    bool asked = false;
    switch (point) {
    case PuddlesRenderPoint::Present: asked = mode == 1 || mode == 3 || mode == 8; break;
    case PuddlesRenderPoint::BeforeExecuteCommandLists: asked = mode == 5 || mode == 7 || mode == 8 || mode == 9; break;
    case PuddlesRenderPoint::AfterExecuteCommandLists: asked = mode == 6 || mode == 7; break;
    }
    if (!asked) return;
    if (VisualSettingsParam* row = ScaleRowToApply()) ApplyPuddlesScaleLive(row->value);
}

void StartPuddlesKeeperWhenAsked() {
    if (Puddles.mode.Get() == 0) return;
    std::lock_guard<std::mutex> lock(Puddles.keeperLock);
    if (Puddles.keeperStop.Get() != 0) return;
    uint32_t expected = 0;
    if (!Puddles.keeperStarted.CompareExchange(expected, 1)) return;
    const uint64_t thread = platform::StartThread(PuddlesKeeperThread);
    if (thread == 0) {
        Puddles.keeperStarted.Set(0);  // the next pass tries again
        return;
    }
    Puddles.keeperThread.Set(thread);
}

bool StopPuddlesKeeper(uint32_t timeoutMs) {
    uint64_t thread = 0;
    {
        std::lock_guard<std::mutex> lock(Puddles.keeperLock);
        Puddles.keeperStop.Set(1);
        thread = Puddles.keeperThread.Get();
    }
    if (thread == 0) return true;
    if (!platform::AbandonOrWaitForThread(thread, timeoutMs)) return false;
    Puddles.keeperThread.Set(0);
    return true;
}

void ResetPuddlesForTesting() {
    Puddles.mode.Set(0);
    Puddles.targetSelector.Set(0);
    Puddles.keeperPause.Set(0);
    Puddles.keeperStop.Set(0);
    Puddles.keeperStarted.Set(0);
    Puddles.keeperThread.Set(0);
    Puddles.rippleBase.Set(0);
    Puddles.rippleReady.Set(0);
}

}  // namespace visualsettings
