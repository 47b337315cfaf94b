// The Linux stand-in for the Windows file system keeps every Windows path
// on its fake drive: the settings and workspace tests and the VRN.ini fuzz
// target write wherever a file names, so nothing may land outside it.
#include <gtest/gtest.h>

#include "platform/simulated.h"
#include "support/fake_drive.h"

namespace shelltest {
namespace {

using FilesSeamTest = testsupport::FakeDriveTest;

TEST_F(FilesSeamTest, EveryPathStaysOnTheFakeDrive) {
    const std::string root = Root();
    const std::pair<const char*, std::string> hosts[] = {
        {"D:\\a\\.\\b\\..\\c", root + "/D/a/c"},
        {"C:\\..\\..\\x", root + "/C/x"},                    // ".." stops at the drive root
        {"C:/../../../etc", root + "/C/etc"},
        {"Mods\\..\\..\\..\\..\\x.xml", root + "/C/x.xml"},  // relative: the current folder
        {"\\Top", root + "/C/Top"},                          // rooted: the current drive
        {"C:rel", root + "/C/Games/GTA5/rel"},               // same drive as the current folder
        {"\\\\server\\share\\x", ""},                       // network paths are not simulated
        {"\\\\?\\C:\\x", ""},
        {"", ""},
    };
    for (const auto& [windows, host] : hosts) EXPECT_EQ(platform::sim::HostPathOf(windows), host) << windows;
}

}  // namespace
}  // namespace shelltest
