// A fake drive with the editor's settings and folders as at process start,
// and every weather document unloaded.
#pragma once
#include <string>

#include "core/settings.h"
#include "support/fake_drive.h"
#include "weather/weather_documents.h"

namespace coretest {

class CoreTest : public testsupport::FakeDriveTest {
protected:
    void SetUp() override {
        FakeDriveTest::SetUp();
        core::ResetSettingsState();
        weather::ReleaseWeatherDocuments();
    }
    void TearDown() override {
        weather::ReleaseWeatherDocuments();
        core::ResetSettingsState();
        FakeDriveTest::TearDown();
    }

    static constexpr const char* kVrn = "C:\\Users\\Player\\Documents\\VRN\\";
    static std::string InVrn(const std::string& rest) { return std::string(kVrn) + rest; }
};

}  // namespace coretest
