// A fresh timecycle editor per test: empty edit store, no context, no
// located keyframe table, idle status, fresh slots, default workspace on a
// fresh fake drive.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "host/editor_state.h"
#include "runtime/live_slots.h"
#include "shell/workspace.h"
#include "support/fake_drive.h"
#include "timecycle/edit_store.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/timecycle_copy.h"
#include "timecycle/timecycle_files.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_xml.h"

namespace timecycletest {

inline void ResetTimecycleEditor() {
    runtime::ResetSlotTablesForTesting();
    for (const timecycle::TimecycleVariable* row : timecycle::TimecycleVariableList()) row->slot->listed = 1;
    timecycle::ResetEditStoreForTesting();
    timecycle::ResetKeyframeTableForTesting();
    for (auto& record : timecycle::TimecycleLoadRecords) record = timecycle::TimecycleLoadRecord{};
    timecycle::TimecycleStatusLine = timecycle::kTimecycleStatusIdle;
    (void)timecycle::SearchTimecycleParameters("\x01 reset");
    host::TimecycleAfterShown = 1;
    host::MenuOpen = 0;
#if defined(__SANITIZE_ADDRESS__)
    // The scans walk every private read-write region of the process; the
    // sanitizer's shadow memory would make each of them run to its budget.
    timecycle::KeyframeScanRegionLimitForTesting = 64u << 20;
#endif
}

class TimecycleTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        shell::ClearWorkspacePaths();
        ResetTimecycleEditor();
    }
    void TearDown() override {
        ResetTimecycleEditor();
        FakeDriveTest::TearDown();
    }

    static constexpr const char* kImportsTimecycles = "C:\\Users\\Player\\Documents\\VRN\\Imports\\Timecycles\\";
    static constexpr const char* kImports = "C:\\Users\\Player\\Documents\\VRN\\Imports\\";
    static constexpr const char* kExportsTimecycles = "C:\\Users\\Player\\Documents\\VRN\\Exports\\Timecycles\\";

    void PutTimecycleFile(int weather, const std::string& text) const {
        PutFile(std::string(kImportsTimecycles) + timecycle::WeatherTimecycleFileName(static_cast<uint32_t>(weather)),
                text);
    }
    std::string ExportedFile(int weather) const {
        return GetFile(std::string(kExportsTimecycles) +
                       timecycle::WeatherTimecycleFileName(static_cast<uint32_t>(weather)));
    }
};

}  // namespace timecycletest
