// Files and folders. Paths are Windows paths in narrow text of the system's
// ANSI code page ("C:\Users\me\Documents\VRN\"); on Linux they live on a
// "fake drive": drive letter X maps onto <root>/X/ (see simulated.h).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr uint32_t kFileAttributeDirectory = 0x10;
inline constexpr uint32_t kFileAttributeNormal = 0x80;

// GetFileAttributesA / GetFileAttributesW.
uint32_t FileAttributes(const std::string& path);
uint32_t FileAttributesWide(const std::wstring& path);
inline bool IsExistingFolder(const std::string& path) {
    const uint32_t a = FileAttributes(path);
    return a != kInvalidFileAttributes && (a & kFileAttributeDirectory) != 0;
}
inline bool IsExistingFile(const std::string& path) {
    const uint32_t a = FileAttributes(path);
    return a != kInvalidFileAttributes && (a & kFileAttributeDirectory) == 0;
}

// CreateDirectoryA of one folder (its parent must exist).
enum class CreateFolderResult { Created, AlreadyExists, Failed };
CreateFolderResult CreateFolder(const std::string& path);

// GetFullPathNameA; empty when it fails or the result needs 260 bytes or more.
std::string FullPathName(const std::string& path);

// GetModuleFileNameA of the executable and of the module holding our code;
// empty on failure.
std::string ExecutablePath();
std::string OwnModulePath();

// GetWindowsDirectoryA ("C:\Windows"); empty on failure or when 260 bytes or longer.
std::string WindowsFolder();

// GetEnvironmentVariableA; empty when missing or 260 bytes or longer.
std::string EnvironmentVariable(const char* name);

enum class KnownFolder { Documents, Profile, PublicDocuments };
// SHGetKnownFolderPath converted to the ANSI code page; empty on failure.
std::string KnownFolderPath(KnownFolder folder);
// SHGetFolderPathA with a CSIDL (5 personal, 46 common documents); empty on failure.
std::string ShellFolderPath(int csidl);

// Narrow (ANSI code page) <-> wide. Bytes that don't convert become '?'.
std::wstring WidenAnsi(std::string_view text);
std::string NarrowAnsi(std::wstring_view text);

// Whole-file reads. A file above maxBytes is refused (TooLarge); the
// content is empty on every failure.
enum class ReadStatus { Ok, CannotOpen, TooLarge, ReadFailed };
ReadStatus ReadWholeFile(const std::string& path, uint64_t maxBytes, std::string& content);
ReadStatus ReadWholeFileWide(const std::wstring& path, uint64_t maxBytes, std::string& content);

// Replaces a file with content, byte for byte: written to a temporary file
// beside it and renamed over the target, so a failed write never destroys
// the previous file. The folder must exist.
bool WriteWholeFile(const std::string& path, std::string_view content);

}  // namespace platform
