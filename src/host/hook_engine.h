// The hook engine behind the four Direct3D 12 method hooks (Present,
// ResizeBuffers, ResizeBuffers1, ExecuteCommandLists).
//
// A hook is named by the method-table entry (vtable slot) of the method.
// Two engines fit this seam:
// - MinHook, when the build has it: it patches the method's code, so the
//   entry only tells it where the code is, and *original is a trampoline
//   that MinHook keeps until it is uninitialised.
// - the built-in engine (below): it replaces the entry itself. The method
//   tables of the swap chain and the command queue are shared by every
//   object of their class, so replacing an entry found through a throw-away
//   object hooks the game's objects as well.
#pragma once

namespace host {

struct HookEngine {
    const char* name;
    // Prepares the engine; true when it is ready (also when it already was).
    bool (*initialize)();
    // Registers a hook on the method whose table entry is slot. *original
    // receives what to call for the game's own behaviour. Not active until
    // enableAll. False (and *original untouched) when it can't be created.
    bool (*createHook)(void** slot, void* detour, void** original);
    // Activates every created hook; true when all are active.
    bool (*enableAll)();
    // Puts every method back as it was; true when all are back.
    bool (*disableAll)();
    // Disables and forgets every hook; the engine must be initialised again
    // before new hooks are created. What *original pointed at may be freed
    // (MinHook's trampolines): only once no thread is inside a detour.
    void (*uninitialize)();
};

// The engine that replaces method-table entries. Portable: it touches only
// memory of the own process through the platform seam (page protection is
// lifted for the store and put back).
const HookEngine& BuiltInHookEngine();

// MinHook when the build found it, otherwise null (Windows build only).
const HookEngine* MinHookEngine();

}  // namespace host
