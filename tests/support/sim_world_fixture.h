// Native tests on the simulated game world (Linux build): the world is put
// behind the script-host stand-in, the clock is manual, no key is down, the
// game window is in the foreground, and the settings and the editor's
// game-side state start fresh (the subsystem callees are restored after the
// test, so a test may replace them with recorders). Each test fails when a
// native hash was unknown or a call malformed.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/before_after.h"
#include "host/tick_groups.h"
#include "platform/simulated.h"
#include "sim_world.h"

namespace testsupport {

// Routes every hash the world knows to it; other hashes stay unknown.
void InstallSimWorld(SimWorld& world);

class SimWorldTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The calls recorded since the last ClearCalls, in order; their roles as
    // "role; role; ".
    const std::vector<platform::sim::NativeCallRecord>& Calls() const;
    std::string Natives() const;
    // Only the calls of one hash.
    std::vector<std::vector<uint64_t>> CallsOf(uint64_t hash) const;
    void ClearCalls();
    void Advance(uint64_t ms);

    SimWorld world;

private:
    host::TickCallees savedTickCalls_{};
    host::BeforeAfterCallees savedBeforeAfterCalls_{};
};

}  // namespace testsupport
