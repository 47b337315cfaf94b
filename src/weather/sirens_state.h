// The vehicle sirens: the game's block of 21 siren profiles, its tables, and
// everything the editor keeps about it (the search for the block, the
// baseline of the game's bytes, the edited image of the before view).
//
// The block: 21 profiles of 1,512 bytes; a profile is a 72-byte head (its
// first 8 bytes point to the profile's name) followed by 20 lights of 72
// bytes. Values are little-endian as the game keeps them.
//
// Thread rule: Sirens.lock guards every field of SirenState but those of
// the search thread. The Vehicle Sirens panel (render thread), the all-live
// before/after hotkey (script fiber) and the unload take it; every function
// of the siren files expects the caller to hold it, unless it says
// otherwise (tests on one thread may call them without). Lock order:
// WeatherLive.lock before Sirens.lock before Sirens.workerLock. The search
// thread never takes a lock: it reads Sirens.workerCancel and the search
// range and hands its outcome over through the worker's atomic values.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/shared_value.h"
#include "weather/live_state.h"

namespace weather {

inline constexpr uint64_t kSirenProfileCount = 21;
inline constexpr uint64_t kSirenProfileBytes = 1512;
inline constexpr uint64_t kSirenBlockBytes = kSirenProfileCount * kSirenProfileBytes;  // 31,752
inline constexpr uint64_t kSirenHeadBytes = 72;
inline constexpr uint64_t kSirenLightCount = 20;
inline constexpr uint64_t kSirenLightBytes = 72;
// A search that has not ended after this long is stopped.
inline constexpr uint64_t kSirenLoadTimeoutMs = 45000;

struct SirenProfileRow {
    const char* name;
    int index;
};
extern const std::array<SirenProfileRow, kSirenProfileCount> SirenProfileTable;

// The names a candidate starts from, most distinctive first; the first
// pass of the search uses only the first row.
inline constexpr size_t kSirenAnchorCount = 5;
extern const std::array<SirenProfileRow, kSirenAnchorCount> SirenAnchorTable;

enum class SirenFieldType : uint8_t { Float, U32, Byte, Bool };
inline constexpr uint64_t SirenFieldWidth(SirenFieldType type) {
    return type == SirenFieldType::Byte || type == SirenFieldType::Bool ? 1 : 4;
}

struct SirenField {
    const char* name;
    uint32_t offset;  // in the profile (head fields) or in the light
    SirenFieldType type;
    float step;
    bool colour = false;  // the light's colour: bytes red, green, blue, alpha
};
inline constexpr size_t kSirenProfileFieldCount = 16;
inline constexpr size_t kSirenLightFieldCount = 27;
extern const std::array<SirenField, kSirenProfileFieldCount> SirenProfileFieldTable;
extern const std::array<SirenField, kSirenLightFieldCount> SirenLightFieldTable;

// Offsets in the block.
inline constexpr uint64_t SirenProfileOffset(uint64_t profile) { return profile * kSirenProfileBytes; }
inline constexpr uint64_t SirenLightOffset(uint64_t profile, uint64_t light) {
    return profile * kSirenProfileBytes + kSirenHeadBytes + light * kSirenLightBytes;
}

// The sirens' state; under Sirens.lock but the search thread's fields (the
// thread rule above).
struct SirenState {
    std::mutex lock;

    // ---- The loader (Vehicle Sirens panel) ----
    uint64_t SirenBlockAddress = 0;  // the found block, 0 while not found
    uint8_t SirenLoadPending = 0;    // a load was asked for and its outcome not yet taken
    uint64_t SirenLoadStartTick = 0;
    std::string SirenLoadStatus = "Ready.";  // the Vehicle Sirens status line

    // ---- The search thread: started by a load, waited for by the next
    // load once it has ended, and by the unload ----
    // The load's check, start and record of a worker and the unload's stop
    // and read of it each hold workerLock (not the lock, which a frame may
    // hold while the unload runs): a worker starts before the unload reads
    // its id, or not at all.
    std::mutex workerLock;
    uint64_t worker = 0;        // platform::StartThread id, 0 = none (under workerLock)
    uint8_t workerStopped = 0;  // the unload has begun: no worker starts (under workerLock)
    // Shared with the worker, which writes the result, then running, then
    // done, each in one atomic step: an outcome is taken only once running
    // is clear, so that a load asked for after it starts a worker of its own.
    core::SharedValue<uint8_t> SirenWorkerRunning{0};  // a worker exists and has not begun to hand over
    core::SharedValue<uint8_t> SirenWorkerDone{0};     // its result waits to be taken
    core::SharedValue<uint64_t> SirenWorkerResult{0};  // found address or 0
    core::SharedValue<uint8_t> workerCancel{0};

    // ---- The editor ----
    OwnCopy SirenBaseline;     // the game's block before the first edit (kSirenBlockBytes when taken)
    uint8_t SirenBaselineTaken = 0;
    OwnCopy SirenEditedImage;  // the edited block while the before view is shown
    uint8_t SirenEditedImageSaved = 0;
    uint8_t SirenBeforeShown = 0;  // the game shows the baseline; edits go to SirenEditedImage
    uint64_t SirenChangeCounter = 0;
    OwnCopy scratch;  // working copies of the block (read back, export)
    struct EditedCountCache {
        uint64_t count = 0;
        uint8_t valid = 0;
        uint64_t timeMs = 0;
        uint64_t stamp = 0;
    } editedCount;

    // ---- Seams for tests and benchmarks ----
    // The search's body; null = ScanSirenRuntimeBlock.
    uint64_t (*scan)() = nullptr;
    // Called by the worker after each step of its hand-over (a test holds
    // it there); null = none.
    void (*afterHandOverStep)() = nullptr;
    // The candidate regions searched: [searchFrom, searchTo); 0 = the whole
    // application range. Set while no search runs.
    uint64_t searchFrom = 0;
    uint64_t searchTo = 0;
};
extern SirenState Sirens;

uint64_t SirenNowMs();

// Drops the taken baseline and the saved edited image, with their flags and
// the per-profile edit counts; the change counter is the caller's.
void ClearSirenEdits(SirenState& s);

// Back to the state at start, writing nothing to the game: cancels and
// waits for a running search first. Takes the lock itself. Only tests and
// benchmarks call it (the unload is ReleaseSirens).
void ResetSirenState();

}  // namespace weather
