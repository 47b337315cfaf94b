#include "visualsettings/runtime_table.h"

#include <bit>
#include <vector>

#include "platform/clock.h"
#include "runtime/guarded_memory.h"
#include "runtime/heap_scan.h"
#include "visualsettings/runtime_keys.h"

namespace visualsettings {

RuntimeTableState RuntimeTable;

namespace {

// Waits out the table's delay in slices; false when a stop came first.
bool WaitBeforeSearch() {
    const uint64_t start = platform::TickCount64();
    for (;;) {
        if (RuntimeTable.stop.Get() != 0) return false;
        const uint64_t now = platform::TickCount64();
        if (now < start || now - start >= kRuntimeTableWaitMs) return true;
        const uint64_t left = kRuntimeTableWaitMs - (now - start);
        platform::SleepMilliseconds(static_cast<uint32_t>(left < kRuntimeTableWaitSliceMs ? left : kRuntimeTableWaitSliceMs));
    }
}

void RunDeferredTableLocate() {
    if (WaitBeforeSearch()) {
        SetStatus(RuntimeTable.status, "");
        ResolveVisualSettingsTable();
    }
    RuntimeTable.finished.Exchange(1);
}

void Forget(bool clearStatus) {
    RuntimeTable.ready.Exchange(0);
    RuntimeTable.base.Set(0);
    if (clearStatus) SetStatus(RuntimeTable.status, "");
}

}  // namespace

bool StartDeferredRuntimeProbe() {
    std::lock_guard<std::mutex> lock(RuntimeTable.threadLock);
    if (RuntimeTable.stop.Get() != 0) return false;
    uint32_t expected = 0;
    if (!RuntimeTable.started.CompareExchange(expected, 1)) return true;
    SetStatus(RuntimeTable.status, "");
    const uint64_t thread = platform::StartThread(RunDeferredTableLocate);
    if (thread == 0) {
        RuntimeTable.started.Set(0);  // a later call tries again
        return false;
    }
    RuntimeTable.thread.Set(thread);
    return true;
}

void ResolveVisualSettingsTable() {
    RuntimeTable.searches.FetchAdd(1);
    std::vector<runtime::FingerprintHit> defaults, guards;
    uint64_t bytes = 0;
    uint32_t regions = 0;
    uint8_t limited = 0;
    runtime::ScanForVisualSettingsBlock(defaults, 0, bytes, regions, limited, &RuntimeTable.stop);
    if (RuntimeTable.stop.Get() == 0)
        runtime::ScanForVisualSettingsBlock(guards, 1, bytes, regions, limited, &RuntimeTable.stop);
    if (RuntimeTable.stop.Get() != 0) return;  // unloading: nothing is published
    if (guards.empty() && defaults.size() == 1) {
        RuntimeTable.base.Set(defaults[0].address);
        RuntimeTable.ready.Exchange(1);
        SetStatus(RuntimeTable.status, "");
    } else {
        Forget(false);
        SetStatus(RuntimeTable.status, "UNAVAILABLE.");
    }
}

uint64_t LiveAddressOfRuntimeKey(const char* key) {
    const RuntimeSliderKey* row = FindRuntimeSliderKey(key);
    if (row == nullptr || RuntimeTable.ready.Get() == 0) return 0;
    const uint64_t base = RuntimeTable.base.Get();
    if (base == 0) return 0;
    const uint64_t address = base + row->offset;
    uint32_t probe = 0;
    if (runtime::GuardedReadU32(address, probe)) return address;
    Forget(true);
    return 0;
}

bool WriteRuntimeTableValue(const char* key, float value) {
    const uint64_t address = LiveAddressOfRuntimeKey(key);
    return address != 0 && runtime::SafeWriteFloat(address, value);
}

bool ReadRuntimeTableValue(const char* key, float& value) {
    const uint64_t address = LiveAddressOfRuntimeKey(key);
    uint32_t bits = 0;
    if (address == 0 || !runtime::SafeReadU32(address, bits)) return false;
    value = std::bit_cast<float>(bits);
    return true;
}

bool StopRuntimeTableLocator(uint32_t timeoutMs) {
    uint64_t thread = 0;
    {
        std::lock_guard<std::mutex> lock(RuntimeTable.threadLock);
        RuntimeTable.stop.Set(1);
        thread = RuntimeTable.thread.Get();
    }
    if (thread == 0) return true;
    if (!platform::AbandonOrWaitForThread(thread, timeoutMs)) return false;
    RuntimeTable.thread.Set(0);
    return true;
}

void ResetRuntimeTableForTesting() {
    RuntimeTable.base.Set(0);
    RuntimeTable.ready.Set(0);
    RuntimeTable.started.Set(0);
    RuntimeTable.finished.Set(0);
    RuntimeTable.stop.Set(0);
    RuntimeTable.thread.Set(0);
    RuntimeTable.searches.Set(0);
    ResetStatus(RuntimeTable.status);
}

}  // namespace visualsettings
