// Counts the threads that are inside the editor's detours (Present, the two
// resize methods, ExecuteCommandLists) and its window procedure, so that the
// unload can wait until the last of them has left before it takes away the
// objects they use (and, after it, the code they run).
#pragma once
#include <cstdint>

namespace host {

void EnterDetour();
void LeaveDetour();

// Marks one detour call from construction to destruction.
struct DetourScope {
    DetourScope() { EnterDetour(); }
    ~DetourScope() { LeaveDetour(); }
    DetourScope(const DetourScope&) = delete;
    DetourScope& operator=(const DetourScope&) = delete;
};

// Threads inside a detour now (the calling thread included).
int32_t DetoursInFlight();

// Waits until no thread but the calling one is inside a detour; true when
// that happened within timeoutMs. A thread that unloads from inside a
// detour (its own calls are not waited for) cannot deadlock here.
bool WaitForDetoursToLeave(uint32_t timeoutMs);

}  // namespace host
