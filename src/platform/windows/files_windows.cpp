// Windows file seam: the real file system, known folders and environment,
// with narrow paths in the ANSI code page.
#include <atomic>
#include <string>

#include "platform/files.h"
#include "platform/windows/win32.h"
// The shell headers after windows.h.
#include <shlobj.h>

namespace platform {
namespace {

constexpr DWORD kPathBuffer = 260;  // MAX_PATH

// The known folders, spelled out here so that nothing depends on which of
// them the headers or import libraries provide.
constexpr GUID kFolderDocuments = {0xFDD39AD0, 0x238F, 0x46AF, {0xAD, 0xB4, 0x6C, 0x85, 0x48, 0x03, 0x69, 0xC7}};
constexpr GUID kFolderProfile = {0x5E6C858F, 0x0E22, 0x4760, {0x9A, 0xFE, 0xEA, 0x33, 0x17, 0xB6, 0x71, 0x73}};
constexpr GUID kFolderPublicDocuments = {0xED4824AF, 0xDCE4, 0x45A8, {0x81, 0xE2, 0xFC, 0x79, 0x65, 0x08, 0x36, 0x34}};

// A read larger than this is split into several ReadFile calls (one DWORD
// count each).
constexpr uint64_t kReadChunk = 0x40000000;

std::string NarrowFrom(const char* buffer, DWORD length) {
    if (length == 0 || length >= kPathBuffer) return {};
    return std::string(buffer, length);
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }
    bool Close() {
        if (!valid()) return true;
        const BOOL ok = CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok != 0;
    }

private:
    HANDLE h_;
};

}  // namespace

uint32_t FileAttributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

uint32_t FileAttributesWide(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

CreateFolderResult CreateFolder(const std::string& path) {
    if (path.empty()) return CreateFolderResult::Failed;
    if (CreateDirectoryA(path.c_str(), nullptr)) return CreateFolderResult::Created;
    return GetLastError() == ERROR_ALREADY_EXISTS ? CreateFolderResult::AlreadyExists : CreateFolderResult::Failed;
}

std::string FullPathName(const std::string& path) {
    if (path.empty()) return {};
    char buffer[kPathBuffer];
    const DWORD n = GetFullPathNameA(path.c_str(), kPathBuffer, buffer, nullptr);
    return NarrowFrom(buffer, n);
}

std::string ExecutablePath() {
    char buffer[kPathBuffer];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, kPathBuffer);
    return NarrowFrom(buffer, n);
}

std::string OwnModulePath() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&OwnModulePath), &module) ||
        module == nullptr)
        return {};
    char buffer[kPathBuffer];
    const DWORD n = GetModuleFileNameA(module, buffer, kPathBuffer);
    return NarrowFrom(buffer, n);
}

std::string WindowsFolder() {
    char buffer[kPathBuffer];
    const UINT n = GetWindowsDirectoryA(buffer, kPathBuffer);
    return NarrowFrom(buffer, n);
}

std::string EnvironmentVariable(const char* name) {
    if (name == nullptr || *name == '\0') return {};
    char buffer[kPathBuffer];
    const DWORD n = GetEnvironmentVariableA(name, buffer, kPathBuffer);
    return NarrowFrom(buffer, n);
}

std::string KnownFolderPath(KnownFolder folder) {
    const GUID* id = &kFolderDocuments;
    switch (folder) {
        case KnownFolder::Documents: id = &kFolderDocuments; break;
        case KnownFolder::Profile: id = &kFolderProfile; break;
        case KnownFolder::PublicDocuments: id = &kFolderPublicDocuments; break;
    }
    PWSTR wide = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(*id, 0, nullptr, &wide);
    std::string out;
    if (SUCCEEDED(hr) && wide != nullptr && wide[0] != L'\0') out = NarrowAnsi(wide);
    CoTaskMemFree(wide);  // also after a failure, and harmless for null
    return out;
}

std::string ShellFolderPath(int csidl) {
    char buffer[kPathBuffer] = {};
    if (SHGetFolderPathA(nullptr, csidl, nullptr, 0, buffer) != S_OK) return {};
    buffer[kPathBuffer - 1] = '\0';
    return std::string(buffer);
}

std::wstring WidenAnsi(std::string_view text) {
    if (text.empty() || text.size() > 0x7FFFFFFF) return {};
    const int length = static_cast<int>(text.size());
    const int need = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (need <= 0) return {};
    std::wstring out(static_cast<size_t>(need), L'\0');
    const int got = MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), need);
    out.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return out;
}

std::string NarrowAnsi(std::wstring_view text) {
    if (text.empty() || text.size() > 0x7FFFFFFF) return {};
    const int length = static_cast<int>(text.size());
    const int need = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (need <= 0) return {};
    std::string out(static_cast<size_t>(need), '\0');
    const int got = WideCharToMultiByte(CP_ACP, 0, text.data(), length, out.data(), need, nullptr, nullptr);
    out.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return out;
}

ReadStatus ReadWholeFileWide(const std::wstring& path, uint64_t maxBytes, std::string& content) {
    content.clear();
    if (path.empty()) return ReadStatus::CannotOpen;
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return ReadStatus::CannotOpen;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return ReadStatus::ReadFailed;
    const auto bytes = static_cast<uint64_t>(size.QuadPart);
    if (bytes > maxBytes) return ReadStatus::TooLarge;
    try {
        content.resize(static_cast<size_t>(bytes));
    } catch (...) {
        content.clear();
        return ReadStatus::ReadFailed;
    }
    uint64_t got = 0;
    while (got < bytes) {
        const uint64_t want = bytes - got < kReadChunk ? bytes - got : kReadChunk;
        DWORD n = 0;
        if (!ReadFile(file.get(), content.data() + got, static_cast<DWORD>(want), &n, nullptr)) {
            content.clear();
            return ReadStatus::ReadFailed;
        }
        if (n == 0) break;  // the file shrank meanwhile
        got += n;
    }
    content.resize(static_cast<size_t>(got));
    return ReadStatus::Ok;
}

ReadStatus ReadWholeFile(const std::string& path, uint64_t maxBytes, std::string& content) {
    return ReadWholeFileWide(WidenAnsi(path), maxBytes, content);
}

bool WriteWholeFile(const std::string& path, std::string_view content) {
    const std::wstring target = WidenAnsi(path);
    if (target.empty() || target.back() == L'\\' || target.back() == L'/') return false;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;

    // The temporary file lies beside the target, so the rename stays on one
    // volume and replaces the target in one step.
    static std::atomic<unsigned> counter{0};
    const std::wstring temp = target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                              std::to_wstring(counter.fetch_add(1));
    bool ok = true;
    {
        Handle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return false;
        size_t put = 0;
        while (ok && put < content.size()) {
            const size_t left = content.size() - put;
            const DWORD want = left < kReadChunk ? static_cast<DWORD>(left) : static_cast<DWORD>(kReadChunk);
            DWORD n = 0;
            if (!WriteFile(file.get(), content.data() + put, want, &n, nullptr) || n == 0) ok = false;
            put += n;
        }
        if (!file.Close()) ok = false;
    }
    if (ok && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) ok = false;
    if (!ok) DeleteFileW(temp.c_str());
    return ok;
}

}  // namespace platform
