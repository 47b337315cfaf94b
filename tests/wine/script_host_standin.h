// The stand-in script host of the Windows tests: a ScriptHookV.dll of our
// own, exporting the functions the plug-in imports. It runs no scripts; it
// records what it is asked. Portable: used through the platform seam.
#pragma once
#include <cstdint>

namespace standin {

// NativeCall after NativeInit(kStateHash) returns these words.
inline constexpr uint64_t kStateHash = 0;
enum StateWord : int {
    kRegisteredModule,      // module of the last scriptRegister (0 after scriptUnregister of it)
    kRegisteredMain,        // its script function
    kRegisterCalls,
    kLastUnregisteredModule,
    kWaitCalls,
    kLastWait,
    kStateWords
};

// NativeCall after any other NativeInit(hash) returns: [0] the hash, [1] the
// number of words pushed since, [2...] those words (at most kMaxArgs).
inline constexpr int kMaxArgs = 16;

}  // namespace standin

// The script host's functions under the decorated names the plug-in imports
// (its script_host.def); this stand-in and the end-to-end one define them.
extern "C" {
void HostScriptRegister(void* module, void (*main)()) __asm__("\"?scriptRegister@@YAXPEAUHINSTANCE__@@P6AXXZ@Z\"");
void HostScriptUnregister(void* module) __asm__("\"?scriptUnregister@@YAXPEAUHINSTANCE__@@@Z\"");
void HostScriptWait(unsigned long ms) __asm__("\"?scriptWait@@YAXK@Z\"");
void HostNativeInit(uint64_t hash) __asm__("\"?nativeInit@@YAX_K@Z\"");
void HostNativePush64(uint64_t value) __asm__("\"?nativePush64@@YAX_K@Z\"");
uint64_t* HostNativeCall() __asm__("\"?nativeCall@@YAPEA_KXZ\"");
}
