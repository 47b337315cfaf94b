// The game's script host: script registration, the per-frame wait, and
// game natives called by their 64-bit hash.
#pragma once
#include <cstdint>

namespace platform {

using ScriptMainFunction = void (*)();

void ScriptRegister(void* module, ScriptMainFunction main);
void ScriptUnregister(void* module);
// Yields the script fiber to the game for ms milliseconds (0: one frame).
void ScriptWait(uint32_t ms);

// A native call: NativeInit, one NativePush64 per argument word, NativeCall.
// The result points at the return words (at least 3), never null.
void NativeInit(uint64_t hash);
void NativePush64(uint64_t value);
uint64_t* NativeCall();

// The module (HMODULE) that holds the editor's code.
void* OwnModuleHandle();

}  // namespace platform
