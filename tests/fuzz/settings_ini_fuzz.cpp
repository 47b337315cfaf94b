// libFuzzer target of VRN.ini: whatever the file holds, a start reads it
// without harm, and the settings it ends with are saved and read back by the
// next start unchanged (load, save, load gives the same settings). Runs on
// a fake drive in a temporary folder, made afresh for every input.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/settings.h"
#include "platform/simulated.h"

namespace {

namespace fs = std::filesystem;
std::string Root;  // the Linux folder behind the fake drive
constexpr const char* kIni = "C:\\Users\\Fuzz\\Documents\\VRN\\VRN.ini";

void Require(bool condition) {
    if (!condition) std::abort();
}

void RemoveRoot() {
    std::error_code ec;
    fs::remove_all(Root, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // On a memory file system where there is one: the drive is made anew for every input.
    std::string pattern = fs::is_directory("/dev/shm") ? "/dev/shm/varnel-ini-fuzz-XXXXXX" : "/tmp/varnel-ini-fuzz-XXXXXX";
    Require(mkdtemp(pattern.data()) != nullptr);
    Root = pattern;
    std::atexit(RemoveRoot);
    platform::sim::SetFakeDriveRoot(Root);
    platform::sim::SetKnownFolder(platform::KnownFolder::Documents, std::string("C:\\Users\\Fuzz\\Documents\\"));
    platform::sim::SetExecutablePath("C:\\Games\\GTA5\\GTA5_Enhanced.exe");
    platform::sim::SetOwnModulePath("C:\\Games\\GTA5\\Varnel.asi");
    platform::sim::SetCurrentFolder("C:\\Games\\GTA5\\");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RemoveRoot();  // every input starts on an empty drive: runs don't depend on each other
    const std::string file = platform::sim::HostPathOf(kIni);
    fs::create_directories(fs::path(file).parent_path());
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    core::ResetSettingsState();
    core::LoadSettings();
    const std::string loaded = core::SettingsFileText();
    // A save the user asks for; one refused for its place (a workspace in the
    // game's folder, a folder name the drive can't hold) has nothing to read back.
    if (!core::SaveSettings()) return 0;
    Require(core::SettingsFileText() == loaded);
    core::ResetSettingsState();
    core::LoadSettings();
    Require(core::UiSettings.SettingsStatusLine.rfind("VRN.ini loaded: ", 0) == 0);
    Require(core::SettingsFileText() == loaded);
    return 0;
}
