// Linux only: the controls of the simulated Windows and game that stand
// behind the platform seam in the native build. Tests (and the native test
// harnesses) set these; product code never includes this header.
#pragma once
#if defined(_WIN32)
#error "simulated.h is for the Linux build only"
#endif
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/script_host.h"

namespace platform::sim {

// ---- Files: the fake drive -------------------------------------------------
// Drive letter X: maps onto <root>/X/. Paths without a drive resolve against
// the simulated current folder. Case is kept as written.
void SetFakeDriveRoot(const std::string& linuxFolder);
std::string FakeDriveRoot();
// The Linux path a Windows path maps to (empty when it can't be mapped).
std::string HostPathOf(const std::string& windowsPath);
void SetCurrentFolder(const std::string& windowsFolder);  // default "C:\\"
void SetExecutablePath(const std::string& windowsPath);    // default "C:\\Game\\GTA5_Enhanced.exe"
void SetOwnModulePath(const std::string& windowsPath);     // default "C:\\Game\\Varnel.asi"
void SetEnvironmentVariable(const std::string& name, std::optional<std::string> value);
void SetWindowsFolder(std::optional<std::string> path);    // default "C:\\Windows"; nullopt: unknown
void SetKnownFolder(KnownFolder folder, std::optional<std::string> path);
void SetShellFolder(int csidl, std::optional<std::string> path);
// Makes the next WriteWholeFile to this path fail (the target is left alone).
void FailWritesTo(const std::string& windowsPath, bool fail);
// Restores every file-related setting to its default.
void ResetFiles();

// ---- Memory ------------------------------------------------------------------
// How often the memory seam has read the process's map of its mappings.
uint64_t RegionMapReads();
// How many faults the guarded reads, writes and runs have turned into
// failures.
uint64_t GuardedFaults();
// The game at the moment the editor stores into its memory: the next guarded
// data store (SafeStore32, SafeStore64, SafeWrite) whose bytes cover address
// runs hook once, on the storing thread, just before the store or just after
// it (a game store that lands between the editor's read of a block and its
// write, a game store that puts its own word back over the editor's). A new
// hook for the same address and moment replaces the old one.
enum class StoreMoment { kBefore, kAfter };
void AtNextStoreTo(uintptr_t address, StoreMoment moment, std::function<void()> hook);
void ClearStoreHooks();

// ---- Keys, cursor and window ----------------------------------------------
void SetKeyDown(int virtualKey, bool down);
void ReleaseAllKeys();
void SetGameWindowForeground(bool foreground);
int CursorDisplayCount();

// ---- Clock and threads -----------------------------------------------------
// A manual clock stands still until the test advances it.
void UseManualClock(bool manual);
void AdvanceClock(uint64_t ms);
void FailNextThreadStarts(int count);
// While held, every SleepMilliseconds waits at a gate until the hold is
// lifted (a thread that does not come back in time); SleepsHeld counts the
// sleepers waiting there now.
void HoldSleeps(bool hold);
int SleepsHeld();
// While held, every thread started by StartThread waits before its body,
// as a Windows thread waits for the loader lock before it reaches its entry
// (the unload abandons such a thread); ThreadStartsHeld counts those waiting.
void HoldThreadStarts(bool hold);
int ThreadStartsHeld();
// Abandoned threads that have ended (without their body) since process start.
uint64_t AbandonedThreadsEnded();

// ---- Script host -----------------------------------------------------------
// Called by ScriptWait with its argument; a harness uses it to end a pass.
void SetScriptWaitHook(std::function<void(uint32_t)> hook);
platform::ScriptMainFunction RegisteredScript();
bool ScriptRegistered();

// A native handler gets the hash and the pushed argument words and writes
// the return words. NativeCall of a hash with no handler records it as
// unknown (tests check UnknownNativeHashes() is empty).
using NativeHandler = std::function<void(uint64_t hash, const std::vector<uint64_t>& args, uint64_t* ret)>;
void SetNativeHandler(uint64_t hash, NativeHandler handler);
void ClearNativeHandlers();
struct NativeCallRecord {
    uint64_t hash = 0;
    std::vector<uint64_t> args;
};
const std::vector<NativeCallRecord>& NativeCallLog();
void ClearNativeCallLog();
const std::vector<uint64_t>& UnknownNativeHashes();

// ---- Folder dialog -----------------------------------------------------------
// The next dialogs answer with these results in turn (nullopt = cancelled);
// with nothing queued a dialog is cancelled. A gate, when set, makes the
// dialog wait until ReleaseFolderDialog is called.
void QueueFolderDialogAnswer(std::optional<std::string> answer);
void HoldFolderDialogs(bool hold);
void ReleaseFolderDialog();
int FolderDialogsShown();
void FailDialogApartment(bool fail);

}  // namespace platform::sim
