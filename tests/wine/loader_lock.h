// Windows tests: the loader lock held as the unload holds it, and the
// threads of the process, to wait for the end of those started meanwhile.
#pragma once
#if defined(_WIN32)
#include <vector>

#include "platform/windows/win32.h"
// (after windows.h)
#include <tlhelp32.h>

namespace winsupport {

inline std::vector<DWORD> ThreadsOfThisProcess() {
    std::vector<DWORD> ids;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.push_back(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return ids;
}

// Holds the loader lock from construction to Release (or destruction);
// NewThreads gives the threads of the process that were not there at
// construction, Ended waits for them.
class LoaderLockHold {
public:
    LoaderLockHold() : before_(ThreadsOfThisProcess()) {
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        lock_ = reinterpret_cast<Lock>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
        unlock_ = reinterpret_cast<Unlock>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
        held_ = lock_ != nullptr && unlock_ != nullptr && lock_(0, nullptr, &cookie_) == 0;
    }
    ~LoaderLockHold() {
        Release();
        for (HANDLE h : started_) CloseHandle(h);
    }
    LoaderLockHold(const LoaderLockHold&) = delete;
    LoaderLockHold& operator=(const LoaderLockHold&) = delete;
    bool Held() const { return held_; }
    void Release() {
        if (held_) unlock_(0, cookie_);
        held_ = false;
    }
    // Takes the threads started since construction; how many there are.
    size_t TakeNewThreads() {
        for (DWORD id : ThreadsOfThisProcess()) {
            bool old = false;
            for (DWORD b : before_) old = old || b == id;
            if (old) continue;
            if (HANDLE h = OpenThread(SYNCHRONIZE, FALSE, id)) started_.push_back(h);
            before_.push_back(id);
        }
        return started_.size();
    }
    // Whether every thread taken has ended within timeoutMs each (false
    // when none was taken).
    bool TakenThreadsEnded(DWORD timeoutMs) {
        bool ended = !started_.empty();
        for (HANDLE h : started_) ended = WaitForSingleObject(h, timeoutMs) == WAIT_OBJECT_0 && ended;
        for (HANDLE h : started_) CloseHandle(h);
        started_.clear();
        return ended;
    }

private:
    using Lock = LONG(WINAPI*)(ULONG, ULONG*, ULONG_PTR*);
    using Unlock = LONG(WINAPI*)(ULONG, ULONG_PTR);
    Lock lock_ = nullptr;
    Unlock unlock_ = nullptr;
    ULONG_PTR cookie_ = 0;
    bool held_ = false;
    std::vector<DWORD> before_;
    std::vector<HANDLE> started_;
};

}  // namespace winsupport
#endif  // _WIN32
