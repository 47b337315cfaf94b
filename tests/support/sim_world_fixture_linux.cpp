#include "sim_world_fixture.h"

#include "host/clock_timelapse.h"
#include "host/editor_state.h"
#include "host/free_camera.h"
#include "host/game_controls.h"
#include "host/tick.h"
#include "platform/simulated.h"
#include "shell/settings.h"

namespace testsupport {

void InstallSimWorld(SimWorld& world) {
    platform::sim::ClearNativeHandlers();
    for (uint64_t hash : SimNativeHashes()) {
        platform::sim::SetNativeHandler(hash, [&world](uint64_t h, const std::vector<uint64_t>& args, uint64_t* ret) {
            HandleSimNative(world, h, args.data(), args.size(), ret);
        });
    }
}

namespace {

void ResetEditorGameSide() {
    shell::ResetSettingsState();
    host::MenuOpen.store(0);
    host::TimecycleAfterShown.store(1);
    host::VisualSettingsAfterShown.store(1);
    host::ResetTickState();
    host::ResetClockState();
    host::ResetGameControlsState();
    host::ResetFreeCameraState();
    host::ResetBeforeAfterState();
}

}  // namespace

void SimWorldTest::SetUp() {
    savedTickCalls_ = host::TickCalls;
    savedBeforeAfterCalls_ = host::BeforeAfterCalls;
    ResetEditorGameSide();
    platform::sim::UseManualClock(true);
    platform::sim::ReleaseAllKeys();
    platform::sim::SetGameWindowForeground(true);
    InstallSimWorld(world);
    platform::sim::ClearNativeCallLog();
}

void SimWorldTest::TearDown() {
    EXPECT_TRUE(platform::sim::UnknownNativeHashes().empty()) << "a native hash the game does not have was called";
    EXPECT_TRUE(world.unknownHashes.empty());
    for (const std::string& fault : world.faults) ADD_FAILURE() << "malformed native call: " << fault;
    platform::sim::ClearNativeHandlers();
    platform::sim::ClearNativeCallLog();
    platform::sim::ReleaseAllKeys();
    host::TickCalls = savedTickCalls_;
    host::BeforeAfterCalls = savedBeforeAfterCalls_;
    ResetEditorGameSide();
}

const std::vector<platform::sim::NativeCallRecord>& SimWorldTest::Calls() const {
    return platform::sim::NativeCallLog();
}

std::string SimWorldTest::Natives() const {
    std::string roles;
    for (const auto& call : Calls()) roles += std::string(SimNativeRole(call.hash)) + "; ";
    return roles;
}

std::vector<std::vector<uint64_t>> SimWorldTest::CallsOf(uint64_t hash) const {
    std::vector<std::vector<uint64_t>> out;
    for (const auto& call : Calls())
        if (call.hash == hash) out.push_back(call.args);
    return out;
}

void SimWorldTest::ClearCalls() {
    // The log and the unknown hashes are cleared together: check first.
    EXPECT_TRUE(platform::sim::UnknownNativeHashes().empty()) << "a native hash the game does not have was called";
    platform::sim::ClearNativeCallLog();
}

void SimWorldTest::Advance(uint64_t ms) { platform::sim::AdvanceClock(ms); }

}  // namespace testsupport
