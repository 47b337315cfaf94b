// The test programs' main: GoogleTest and GoogleMock with the watchdog,
// which ends the program when a test or a wait of it does not end in time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/thread_waits.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    testsupport::StartWatchdog();
    const int result = RUN_ALL_TESTS();
    testsupport::StopWatchdog();
    return result;
}
