// Native tests on the simulated game world (Linux build): the world is put
// behind the script-host stand-in, the clock is manual, no key is down, the
// game window is in the foreground, and the settings and the editor's
// game-side state (the live override slots among it) start fresh; the
// editor's entry table is put back after the test, so a test may replace
// entries with recorders. Each test fails when a
// native hash was unknown or a call malformed.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/editor_state.h"
#include "core/settings.h"
#include "game/before_after.h"
#include "game/clock_timelapse.h"
#include "game/free_camera.h"
#include "game/game_controls.h"
#include "host/tick.h"
#include "host/tick_groups.h"
#include "platform/simulated.h"
#include "runtime/editor_entries.h"
#include "runtime/live_slots.h"
#include "sim_world.h"

namespace testsupport {

class SimWorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedEntries_ = runtime::Entries();
        ResetEditorGameSide();
        platform::sim::UseManualClock(true);
        platform::sim::ReleaseAllKeys();
        platform::sim::SetGameWindowForeground(true);
        platform::sim::ClearNativeHandlers();  // every hash the world knows goes to it
        for (uint64_t hash : SimNativeHashes()) {
            platform::sim::SetNativeHandler(hash, [this](uint64_t h, const std::vector<uint64_t>& args, uint64_t* r) {
                if (onNative) onNative(h);
                HandleSimNative(world, h, args.data(), args.size(), r);
            });
        }
        platform::sim::ClearNativeCallLog();
    }
    void TearDown() override {
        ClearCalls();
        for (const std::string& fault : world.faults) ADD_FAILURE() << "malformed native call: " << fault;
        platform::sim::ClearNativeHandlers();
        platform::sim::ReleaseAllKeys();
        runtime::Entries() = savedEntries_;
        ResetEditorGameSide();
    }
    static void ResetEditorGameSide() {
        core::ResetSettingsState();
        core::Editor.MenuOpen.Set(0);
        core::Editor.TimecycleAfterShown.Set(1);
        core::Editor.VisualSettingsAfterShown.Set(1);
        host::ResetTickState();
        game::ResetClockState();
        game::ResetGameControlsState();
        game::ResetFreeCameraState();
        game::ResetBeforeAfterState();
        runtime::ResetSlotTablesForTesting();
    }

    // The calls recorded since the last ClearCalls, in order; their roles as
    // "role; role; "; only the calls of one hash.
    const std::vector<platform::sim::NativeCallRecord>& Calls() const { return platform::sim::NativeCallLog(); }
    std::string Natives() const {
        std::string roles;
        for (const auto& call : Calls()) roles += std::string(SimNativeRole(call.hash)) + "; ";
        return roles;
    }
    std::vector<std::vector<uint64_t>> CallsOf(uint64_t hash) const {
        std::vector<std::vector<uint64_t>> out;
        for (const auto& call : Calls())
            if (call.hash == hash) out.push_back(call.args);
        return out;
    }
    void ClearCalls() {  // the log and the unknown hashes are cleared together: checked first
        EXPECT_TRUE(platform::sim::UnknownNativeHashes().empty()) << "a native hash the game does not have was called";
        platform::sim::ClearNativeCallLog();
    }
    void Advance(uint64_t ms) { platform::sim::AdvanceClock(ms); }

    // The all-live before/after hotkey set to F4 (the first poll learns it),
    // and one press and release of it, a script tick each.
    static void UseF4ForAllLiveBeforeAfter() {
        core::UiSettings.AllLiveBeforeAfterHotkey = 4;  // F4
        game::PollHotkeys();
    }
    static void PressF4() {
        constexpr int kVkF4 = 0x73;
        platform::sim::SetKeyDown(kVkF4, true);
        host::ScriptTick();
        platform::sim::SetKeyDown(kVkF4, false);
        host::ScriptTick();
    }

    SimWorld world;
    void (*onNative)(uint64_t hash) = nullptr;  // told of every call first

private:
    runtime::EditorEntries savedEntries_{};
};

}  // namespace testsupport
