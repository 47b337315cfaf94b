// A set-up made of steps that each create something: when a step fails,
// what the earlier steps created is released again, newest first, so that
// a set-up retried on the next frame starts from nothing and leaks nothing.
#pragma once
#include <cstddef>

namespace host {

struct SetupStep {
    const char* name;
    bool (*create)();   // true when it created what it is for
    void (*release)();  // releases it again (may be null: nothing to release)
};

// Runs the steps in order; true when all succeeded. On a failure releases
// the steps that succeeded, in reverse order, gives the index of the step
// that failed in failedAt (when given) and returns false.
bool RunSetupSteps(const SetupStep* steps, size_t count, size_t* failedAt = nullptr);

}  // namespace host
