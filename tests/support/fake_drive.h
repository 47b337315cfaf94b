// A fresh fake drive per test: a temporary Linux folder that stands for the
// Windows drives, with Documents and the game folder laid out as on a
// user's machine. Linux build only.
#pragma once
#include <gtest/gtest.h>

#include <string>

namespace testsupport {

class FakeDriveTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The Linux folder behind the drives.
    const std::string& Root() const { return root_; }
    // Linux path of a Windows path on the fake drive.
    std::string Host(const std::string& windowsPath) const;
    // Writes a file on the fake drive (creating its folders).
    void PutFile(const std::string& windowsPath, const std::string& content) const;
    std::string GetFile(const std::string& windowsPath) const { return ReadHostFile(Host(windowsPath)); }
    // The bytes of a Linux file (a real game file read in place).
    static std::string ReadHostFile(const std::string& hostPath);
    bool Exists(const std::string& windowsPath) const;
    // Removes every file under a folder of the fake drive; the folders stay.
    void RemoveFilesUnder(const std::string& windowsFolder) const;

    static constexpr const char* kDocuments = "C:\\Users\\Player\\Documents\\";
    static constexpr const char* kGameFolder = "C:\\Games\\GTA5\\";

private:
    std::string root_;
};

}  // namespace testsupport
