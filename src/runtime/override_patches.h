// Every code change behind the live override slots taken together: the
// restore of all of them (RestoreAllPatches, in its order, with each
// group's restore as a step), what is in the game now, the start-up's
// preparers and probes, and the state of them all back to the start
// (tests).
#pragma once
#include <cstddef>
#include <span>

#include "runtime/code_patch.h"

namespace runtime {

// Write-list entry count and its copy := 0 (runtime/live_writes.h).
void ClearWriteListCount();

// A group's restore: the game's bytes back over every site of the group
// that holds the editor's (a write that fails leaves the site for the
// next restore).
struct RestoreStep {
    const char* name;
    void (*restore)();
};
// The steps of RestoreAllPatches, in order: the light direction, the
// engine-block members' groups, the gates' groups and the tick's store
// patches, the multi-slot groups and the tonemapping jump, every redirect
// record, the heat haze.
std::span<const RestoreStep> RestoreSteps();
// Takes back every override patch at once (the before mode, entering the
// imported mode, a timecycle preview, the unload). The code caves of the
// live writes are not touched.
void RestoreAllPatches();
// The same, as the timecycle editor asks for it from any thread (a file
// loaded for preview): the tick takes every patch back at the start of its
// next apply-or-restore step (RunRequestedRestore), on the script fiber
// that alone changes the patches.
void RestoreOverridePatches();
void RunRequestedRestore();

// Every code patch the runtime holds: how many are captured and how many
// are in the game now (the unload's check, the property tests).
struct CodePatchReport {
    size_t captured = 0;
    size_t applied = 0;
};
CodePatchReport ReportCodePatches();

// The start-up's preparers and probes, each called once in this order,
// none of their results tested (61 steps).
struct StartupStep {
    const char* name;
    bool (*run)();
};
std::span<const StartupStep> StartupPreparers();
void RunStartupPreparers();

// Every patch, probe, redirect, cave and search state of the code patches
// back to the start of the run (tests: a new game image, nothing patched).
void ResetPatchStateForTesting();

}  // namespace runtime
