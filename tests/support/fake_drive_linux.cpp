#include "support/fake_drive.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/workspace.h"
#include "platform/simulated.h"

namespace testsupport {

namespace fs = std::filesystem;

void FakeDriveTest::SetUp() {
    char pattern[] = "/tmp/varnel-drive-XXXXXX";
    char* made = mkdtemp(pattern);
    ASSERT_NE(made, nullptr);
    root_ = made;
    platform::sim::ResetFiles();
    platform::sim::SetFakeDriveRoot(root_);
    fs::create_directories(root_ + "/C/Users/Player/Documents");
    fs::create_directories(root_ + "/C/Games/GTA5");
    platform::sim::SetKnownFolder(platform::KnownFolder::Documents, std::string(kDocuments));
    platform::sim::SetEnvironmentVariable("USERPROFILE", std::string("C:\\Users\\Player"));
    platform::sim::SetExecutablePath(std::string(kGameFolder) + "GTA5_Enhanced.exe");
    platform::sim::SetOwnModulePath(std::string(kGameFolder) + "Varnel.asi");
    platform::sim::SetCurrentFolder(kGameFolder);
    core::ResetWorkspaceState();  // a new drive: no folder texts, nothing made on it yet
}

void FakeDriveTest::TearDown() {
    platform::sim::ResetFiles();
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string FakeDriveTest::Host(const std::string& windowsPath) const {
    return platform::sim::HostPathOf(windowsPath);
}

void FakeDriveTest::PutFile(const std::string& windowsPath, const std::string& content) const {
    const fs::path host = Host(windowsPath);
    fs::create_directories(host.parent_path());
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string FakeDriveTest::ReadHostFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool FakeDriveTest::Exists(const std::string& windowsPath) const { return fs::exists(Host(windowsPath)); }

void FakeDriveTest::RemoveFilesUnder(const std::string& windowsFolder) const {
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(Host(windowsFolder), ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_directory()) files.push_back(it->path());
    }
    for (const fs::path& file : files) fs::remove(file, ec);
}

}  // namespace testsupport
