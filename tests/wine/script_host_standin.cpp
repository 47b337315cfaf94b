// The stand-in script host (see script_host_standin.h), called from one
// thread. Its exports carry the host's decorated names (the plug-in's
// script_host.def is its export list).
#include <cstdint>

#include "script_host_standin.h"

namespace {

uint64_t g_state[standin::kStateWords] = {};
uint64_t g_pendingHash = 0;
uint64_t g_pending[standin::kMaxArgs] = {};
uint64_t g_pendingCount = 0;
uint64_t g_result[2 + standin::kMaxArgs] = {};

uint64_t Word(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

extern "C" {

void HostScriptRegister(void* module, void (*main)()) {
    g_state[standin::kRegisteredModule] = Word(module);
    g_state[standin::kRegisteredMain] = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(main));
    ++g_state[standin::kRegisterCalls];
}

void HostScriptUnregister(void* module) {
    if (g_state[standin::kRegisteredModule] == Word(module)) {
        g_state[standin::kRegisteredModule] = 0;
        g_state[standin::kRegisteredMain] = 0;
    }
    g_state[standin::kLastUnregisteredModule] = Word(module);
}

void HostScriptWait(unsigned long ms) {
    ++g_state[standin::kWaitCalls];
    g_state[standin::kLastWait] = ms;
}

void HostNativeInit(uint64_t hash) {
    g_pendingHash = hash;
    g_pendingCount = 0;
}

void HostNativePush64(uint64_t value) {
    if (g_pendingCount < standin::kMaxArgs) g_pending[g_pendingCount] = value;
    ++g_pendingCount;
}

uint64_t* HostNativeCall() {
    if (g_pendingHash == standin::kStateHash) {
        for (int i = 0; i < standin::kStateWords; ++i) g_result[i] = g_state[i];
        return g_result;
    }
    g_result[0] = g_pendingHash;
    g_result[1] = g_pendingCount;
    for (uint64_t i = 0; i < standin::kMaxArgs; ++i) g_result[2 + i] = i < g_pendingCount ? g_pending[i] : 0;
    return g_result;
}

}  // extern "C"
