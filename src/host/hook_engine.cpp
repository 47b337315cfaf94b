#include "host/hook_engine.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/memory.h"
#include "platform/safe_copy.h"

namespace host {
namespace {

struct SlotHook {
    void** slot = nullptr;
    void* detour = nullptr;
    void* original = nullptr;
    bool enabled = false;
};

// Four hooks are all the editor makes; a little room for a second load.
constexpr size_t kMaxSlotHooks = 8;

struct BuiltInState {
    std::mutex mutex;
    bool initialized = false;
    std::array<SlotHook, kMaxSlotHooks> hooks{};
    size_t count = 0;
};

BuiltInState& State() {
    static BuiltInState state;
    return state;
}

bool IsWritableProtection(uint32_t protect) {
    const uint32_t p = protect & 0xFFu;
    return p == platform::kPageReadWrite || p == platform::kPageExecuteReadWrite ||
           p == platform::kPageWriteCopy || p == platform::kPageExecuteWriteCopy;
}

// Stores value into a method-table entry: one aligned 8-byte store (so a
// thread calling the method sees the old or the new entry, never a mix),
// with the page made writable for the store and its protection put back.
bool WriteSlot(void** slot, void* value) {
    const auto address = reinterpret_cast<uintptr_t>(slot);
    if (address % alignof(void*) != 0) return false;
    platform::MemoryRegion region;
    if (!platform::QueryMemoryRegion(address, region) || region.state != platform::kMemCommit) return false;
    if (IsWritableProtection(region.protect)) {
        __atomic_store_n(slot, value, __ATOMIC_SEQ_CST);
        return true;
    }
    const uint32_t p = region.protect & 0xFFu;
    const bool executable = p == platform::kPageExecute || p == platform::kPageExecuteRead;
    uint32_t old = 0;
    if (!platform::ChangeProtection(address, sizeof(void*),
                                    executable ? platform::kPageExecuteReadWrite : platform::kPageReadWrite, &old))
        return false;
    __atomic_store_n(slot, value, __ATOMIC_SEQ_CST);
    uint32_t ignored = 0;
    platform::ChangeProtection(address, sizeof(void*), old, &ignored);
    return true;
}

bool BuiltInInitialize() {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().initialized = true;
    return true;
}

bool BuiltInCreateHook(void** slot, void* detour, void** original) {
    if (slot == nullptr || detour == nullptr || original == nullptr) return false;
    BuiltInState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.initialized || s.count >= s.hooks.size()) return false;
    for (size_t i = 0; i < s.count; ++i)
        if (s.hooks[i].slot == slot) return false;
    void* current = nullptr;
    if (!platform::SafeCopy(&current, slot, sizeof(current)) || current == nullptr || current == detour) return false;
    s.hooks[s.count++] = SlotHook{slot, detour, current, false};
    *original = current;
    return true;
}

bool BuiltInEnableAll() {
    BuiltInState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    bool all = true;
    for (size_t i = 0; i < s.count; ++i) {
        SlotHook& h = s.hooks[i];
        if (h.enabled) continue;
        h.enabled = WriteSlot(h.slot, h.detour);
        all = all && h.enabled;
    }
    return all;
}

bool DisableLocked(BuiltInState& s) {
    bool all = true;
    for (size_t i = 0; i < s.count; ++i) {
        SlotHook& h = s.hooks[i];
        if (!h.enabled) continue;
        // The original goes back even when another hook was chained over
        // ours: after the unload nothing may lead into our code any more.
        if (WriteSlot(h.slot, h.original))
            h.enabled = false;
        else
            all = false;
    }
    return all;
}

bool BuiltInDisableAll() {
    BuiltInState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return DisableLocked(s);
}

void BuiltInUninitialize() {
    BuiltInState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    DisableLocked(s);
    s.hooks = {};
    s.count = 0;
    s.initialized = false;
}

const HookEngine kBuiltInEngine = {
    "built-in method-table engine",
    BuiltInInitialize,
    BuiltInCreateHook,
    BuiltInEnableAll,
    BuiltInDisableAll,
    BuiltInUninitialize,
};

}  // namespace

const HookEngine& BuiltInHookEngine() { return kBuiltInEngine; }

}  // namespace host
