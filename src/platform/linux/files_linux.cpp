// Linux file seam: Windows paths on a fake drive. "X:\a\b" maps onto
// <root>/X/a/b; the executable, the own module, environment variables and
// known folders are simulated and set by the tests.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/files.h"
#include "platform/simulated.h"

namespace platform {
namespace {

struct FileWorld {
    std::mutex mutex;
    std::string root;
    std::string currentFolder = "C:\\";
    std::string executable = "C:\\Game\\GTA5_Enhanced.exe";
    std::string ownModule = "C:\\Game\\Varnel.asi";
    std::string windowsFolder = "C:\\Windows";
    std::map<std::string, std::string> environment;
    std::map<int, std::string> knownFolders;
    std::map<int, std::string> shellFolders;
    std::set<std::string> failingWrites;
};

FileWorld& World() {
    static FileWorld world;
    return world;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Splits an absolute Windows path into drive and components, resolving "."
// and ".."; false when the path can't be made absolute.
bool Resolve(const std::string& path, const std::string& current, char& drive, std::vector<std::string>& parts) {
    parts.clear();
    std::string full;
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
        if (path.size() >= 3 && IsSeparator(path[2])) {
            full = path;
        } else {
            // "C:relative": relative to the current folder when on the same drive.
            if (current.empty() || Upper(current[0]) != Upper(path[0])) full = std::string(1, path[0]) + ":\\" + path.substr(2);
            else full = current + "\\" + path.substr(2);
        }
    } else if (!path.empty() && IsSeparator(path[0])) {
        if (path.size() >= 2 && IsSeparator(path[1])) return false;  // UNC paths are not simulated
        if (current.size() < 2) return false;
        full = current.substr(0, 2) + path;
    } else {
        if (current.empty()) return false;
        full = current + "\\" + path;
    }
    if (full.size() < 2 || !IsDriveLetter(full[0]) || full[1] != ':') return false;
    drive = Upper(full[0]);
    size_t i = 2;
    while (i < full.size()) {
        while (i < full.size() && IsSeparator(full[i])) ++i;
        size_t j = i;
        while (j < full.size() && !IsSeparator(full[j])) ++j;
        if (j > i) {
            std::string part = full.substr(i, j - i);
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (part != ".") {
                parts.push_back(part);
            }
        }
        i = j;
    }
    return true;
}

std::string HostPath(const std::string& windowsPath) {
    std::string root, current;
    {
        FileWorld& w = World();
        std::lock_guard<std::mutex> lock(w.mutex);
        root = w.root;
        current = w.currentFolder;
    }
    if (root.empty() || windowsPath.empty()) return {};
    char drive = 'C';
    std::vector<std::string> parts;
    if (!Resolve(windowsPath, current, drive, parts)) return {};
    std::string host = root;
    if (host.back() != '/') host += '/';
    host += drive;
    for (const std::string& p : parts) host += "/" + p;
    return host;
}

std::string Utf8FromCodePoints(std::wstring_view text) {
    std::string out;
    for (wchar_t wc : text) {
        auto c = static_cast<uint32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x110000) {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += '?';
        }
    }
    return out;
}

ReadStatus ReadHostFile(const std::string& host, uint64_t maxBytes, std::string& content) {
    content.clear();
    if (host.empty()) return ReadStatus::CannotOpen;
    int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ReadStatus::CannotOpen;
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return ReadStatus::CannotOpen;
    }
    if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        close(fd);
        return ReadStatus::TooLarge;
    }
    content.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < content.size()) {
        ssize_t n = read(fd, content.data() + got, content.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            content.clear();
            return ReadStatus::ReadFailed;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    content.resize(got);
    return ReadStatus::Ok;
}

}  // namespace

uint32_t FileAttributes(const std::string& path) {
    const std::string host = HostPath(path);
    struct stat st{};
    if (host.empty() || stat(host.c_str(), &st) != 0) return kInvalidFileAttributes;
    return S_ISDIR(st.st_mode) ? kFileAttributeDirectory : kFileAttributeNormal;
}

uint32_t FileAttributesWide(const std::wstring& path) { return FileAttributes(NarrowAnsi(path)); }

CreateFolderResult CreateFolder(const std::string& path) {
    const std::string host = HostPath(path);
    if (host.empty()) return CreateFolderResult::Failed;
    if (mkdir(host.c_str(), 0777) == 0) return CreateFolderResult::Created;
    return errno == EEXIST ? CreateFolderResult::AlreadyExists : CreateFolderResult::Failed;
}

std::string FullPathName(const std::string& path) {
    std::string current;
    {
        FileWorld& w = World();
        std::lock_guard<std::mutex> lock(w.mutex);
        current = w.currentFolder;
    }
    if (path.empty()) return {};
    char drive = 'C';
    std::vector<std::string> parts;
    if (!Resolve(path, current, drive, parts)) return {};
    std::string out(1, drive);
    out += ":\\";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += '\\';
        out += parts[i];
    }
    // GetFullPathName keeps a trailing separator of its input.
    if (!parts.empty() && IsSeparator(path.back())) out += '\\';
    if (out.size() >= 260) return {};
    return out;
}

std::string ExecutablePath() {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.executable;
}

std::string OwnModulePath() {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.ownModule;
}

std::string WindowsFolder() {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.windowsFolder.size() >= 260 ? std::string() : w.windowsFolder;
}

std::string EnvironmentVariable(const char* name) {
    if (!name) return {};
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    auto it = w.environment.find(name);
    if (it == w.environment.end() || it->second.size() >= 260) return {};
    return it->second;
}

std::string KnownFolderPath(KnownFolder folder) {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    auto it = w.knownFolders.find(static_cast<int>(folder));
    return it == w.knownFolders.end() ? std::string() : it->second;
}

std::string ShellFolderPath(int csidl) {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    auto it = w.shellFolders.find(csidl);
    return it == w.shellFolders.end() ? std::string() : it->second;
}

// The simulated ANSI code page is UTF-8.
std::wstring WidenAnsi(std::string_view text) {
    std::wstring out;
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0;
        size_t n = 0;
        if (b < 0x80) { cp = b; n = 1; }
        else if ((b & 0xE0) == 0xC0) { cp = b & 0x1Fu; n = 2; }
        else if ((b & 0xF0) == 0xE0) { cp = b & 0x0Fu; n = 3; }
        else if ((b & 0xF8) == 0xF0) { cp = b & 0x07u; n = 4; }
        bool ok = n != 0 && i + n <= text.size();
        for (size_t k = 1; ok && k < n; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (c & 0x3Fu);
        }
        if (!ok) { out += L'?'; ++i; continue; }
        out += static_cast<wchar_t>(cp);
        i += n;
    }
    return out;
}

std::string NarrowAnsi(std::wstring_view text) { return Utf8FromCodePoints(text); }

ReadStatus ReadWholeFile(const std::string& path, uint64_t maxBytes, std::string& content) {
    return ReadHostFile(HostPath(path), maxBytes, content);
}

ReadStatus ReadWholeFileWide(const std::wstring& path, uint64_t maxBytes, std::string& content) {
    return ReadHostFile(HostPath(NarrowAnsi(path)), maxBytes, content);
}

bool WriteWholeFile(const std::string& path, std::string_view content) {
    const std::string host = HostPath(path);
    if (host.empty() || host.back() == '/') return false;
    {
        FileWorld& w = World();
        std::lock_guard<std::mutex> lock(w.mutex);
        if (w.failingWrites.count(path)) return false;
    }
    static std::atomic<unsigned> counter{0};
    const std::string temp = host + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    size_t put = 0;
    bool ok = true;
    while (put < content.size()) {
        ssize_t n = write(fd, content.data() + put, content.size() - put);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) { ok = false; break; }
        put += static_cast<size_t>(n);
    }
    if (close(fd) != 0) ok = false;
    if (ok) {
        struct stat st{};
        if (stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ok = false;
    }
    if (ok && rename(temp.c_str(), host.c_str()) != 0) ok = false;
    if (!ok) unlink(temp.c_str());
    return ok;
}

namespace sim {

void SetFakeDriveRoot(const std::string& linuxFolder) {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.root = linuxFolder;
}

std::string FakeDriveRoot() {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.root;
}

std::string HostPathOf(const std::string& windowsPath) { return HostPath(windowsPath); }

void SetCurrentFolder(const std::string& windowsFolder) {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.currentFolder = windowsFolder;
    while (w.currentFolder.size() > 3 && IsSeparator(w.currentFolder.back())) w.currentFolder.pop_back();
}

void SetExecutablePath(const std::string& windowsPath) {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.executable = windowsPath;
}

void SetOwnModulePath(const std::string& windowsPath) {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.ownModule = windowsPath;
}

void SetWindowsFolder(std::optional<std::string> path) {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.windowsFolder = path ? *path : std::string();
}

void SetEnvironmentVariable(const std::string& name, std::optional<std::string> value) {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (value) w.environment[name] = *value;
    else w.environment.erase(name);
}

void SetKnownFolder(KnownFolder folder, std::optional<std::string> path) {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (path) w.knownFolders[static_cast<int>(folder)] = *path;
    else w.knownFolders.erase(static_cast<int>(folder));
}

void SetShellFolder(int csidl, std::optional<std::string> path) {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (path) w.shellFolders[csidl] = *path;
    else w.shellFolders.erase(csidl);
}

void FailWritesTo(const std::string& windowsPath, bool fail) {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (fail) w.failingWrites.insert(windowsPath);
    else w.failingWrites.erase(windowsPath);
}

void ResetFiles() {
    FileWorld& w = World();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.root.clear();
    w.currentFolder = "C:\\";
    w.executable = "C:\\Game\\GTA5_Enhanced.exe";
    w.ownModule = "C:\\Game\\Varnel.asi";
    w.windowsFolder = "C:\\Windows";
    w.environment.clear();
    w.knownFolders.clear();
    w.shellFolders.clear();
    w.failingWrites.clear();
}

}  // namespace sim
}  // namespace platform
