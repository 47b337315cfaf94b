// A fake drive with the editor's folders as at process start and every
// weather document unloaded, before and after each test.
#pragma once
#include <gtest/gtest.h>

#include "shell/shell_fixture.h"
#include "support/weather_docs.h"
#include "weather/weather_documents.h"

namespace weathertest {

class WeatherDocsTest : public shelltest::ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        weather::ReleaseWeatherDocuments();
    }
    void TearDown() override {
        weather::ReleaseWeatherDocuments();
        ShellTest::TearDown();
    }
};

}  // namespace weathertest
