// A fresh timecycle editor per test: empty edit store, no context, no
// located keyframe table, idle status, fresh slots, default workspace on a
// fresh fake drive.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/editor_state.h"
#include "runtime/live_slots.h"
#include "shell/workspace.h"
#include "support/fake_drive.h"
#include "support/testdata.h"
#include "support/timecycle_gen.h"
#include "timecycle/edit_store.h"
#include "timecycle/half_float.h"
#include "timecycle/keyframe_table.h"
#include "timecycle/recognition_rows.h"
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
    // The scans walk every private read-write region of the process; a
    // sanitizer's shadow memory would make each of them run to its budget.
    if (VARNEL_UNDER_SHADOW_MEMORY) timecycle::KeyframeScanRegionLimitForTesting = 64u << 20;
}

// "Load .xml" with its preview run to the end, a slice per call, as the
// Timecycles tab runs it one slice per frame; the number of slices.
inline int LoadAndPreview(int weather) {
    timecycle::LoadTimecycleXml(weather);
    int slices = 1;
    while (timecycle::StepTimecyclePreview()) ++slices;
    return slices;
}

// The weather whose file name a real file carries (w_clear.xml -> 1), or -1.
inline int WeatherOfFileName(const std::string& path) {
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    for (uint32_t w = 0; w < timecycle::kWeatherCount; ++w) {
        if (timecycle::WeatherTimecycleFileName(w) == name) return static_cast<int>(w);
    }
    return -1;
}

// Writes a value into a keyframe record of the game's table, as binary16.
inline void PlantHalf(uint64_t block, int region, int keyframe, size_t variable, float value) {
    const uint16_t half = timecycle::FloatToHalf(value);
    std::memcpy(reinterpret_cast<void*>(timecycle::KeyframeRecordAddress(block, region, keyframe) + 2 * variable), &half, 2);
}

// A user edit of one entry: present, original captured, edited, not
// imported, stamped.
inline timecycle::EditEntry& UserEdit(int w, int r, int k, size_t row, float value) {
    timecycle::EditSlot& slot = timecycle::GetEditSlot(w, r, k);
    slot.loaded = 1;
    timecycle::EditEntry& e = slot.entries[row];
    e.value = value;
    e.present = 1;
    e.originalCaptured = 1;
    e.edited = 1;
    e.imported = 0;
    e.editStamp = timecycle::NextEditStamp();
    return e;
}
inline timecycle::EditEntry& UserEdit(int w, int r, int k, const char* name, float value) {
    return UserEdit(w, r, k, static_cast<size_t>(timecycle::FindVariableRow(name)), value);
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
    // The generated file of the weather (other options as given) in the import folder.
    void PutGeneratedFile(int weather, testsupport::TimecycleFileOptions options = {}) const {
        options.weather = weather;
        PutTimecycleFile(weather, testsupport::MakeTimecycleXml(options));
    }
    std::string ExportedFile(int weather) const {
        return GetFile(std::string(kExportsTimecycles) +
                       timecycle::WeatherTimecycleFileName(static_cast<uint32_t>(weather)));
    }
};

}  // namespace timecycletest
