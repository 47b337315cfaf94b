// Code caves ("Live writes"): at a game store the editor puts a jump into
// a cave of its own that redoes the game's instruction and then, behind
// flags the editor sets, stores the editor's values over it; or, for the
// write list, stores a list of values on every pass. The manual live
// writes (four visualsettings stores), the generated live writes (the rows
// of code_sites.tsv this build carries), the puddle override cave and the
// write-list cave.
//
// A cave is allocated within reach of its site and never freed: its code
// page becomes execute-read once written, and the flags and values it
// reads lie in its own read-write page beside it, so a game thread still
// inside a cave at unload reads valid memory. A cave that could not be
// built keeps its block for the next attempt, at a bounded rate.
//
// Script fiber only (the unload's thread at unload); the publishers write
// a value before its flag, the flag by atomic exchange.
#pragma once
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/shared_value.h"
#include "runtime/code_patch.h"

namespace runtime {

// A cave: its code page(s) and the read-write data page(s) after them.
struct CaveBlock {
    uint64_t code = 0;
    uint64_t data = 0;
    uint64_t codeSize = 0;
    uint64_t dataSize = 0;
    uint8_t built = 0;
};

// ---- Manual live writes -----------------------------------------------------------------
inline constexpr size_t kManualLiveWriteCount = 4;
struct ManualLiveWrite {
    const char* key;
    uint64_t index;
    uint64_t target = 0;  // the game global the store writes
    CodePatch jump;       // the 8-byte store, replaced by a jump into the cave
    uint8_t resolved = 0;
    CaveBlock cave;       // data: enabled (u32) at 0, value (float) at 4
    Attempts attempts;
};

// ---- Generated live writes -----------------------------------------------------------
struct AutoLiveWrite {
    const CodeSiteRow* row = nullptr;
    CodePatch jump;
    uint64_t target = 0;
    uint8_t resolved = 0;
    uint8_t hasParam[4] = {};  // the lane has a visualsettings key the editor knows
    float initial[4] = {};     // the lane's value at selection (its parameter's)
    CaveBlock cave;            // data: enabled[4] at 0, value[4] at 16
    Attempts attempts;
};
struct CodeSiteMatch {
    uint8_t count = 0;  // 0, 1, 2 for two or more
    uint64_t address = 0;
};

// ---- Puddle override cave -------------------------------------------------------------
struct PuddleCave {
    CodePatch jump;  // movups [rsi+0x280],xmm0, replaced by a jump into the cave
    CaveBlock cave;  // data: flags at 0, 4, 8; scale 12, range 16, 20, depth test 24
    Attempts attempts;
};

// ---- Write-list cave -----------------------------------------------------------------------
inline constexpr size_t kWriteListEntryCount = 320;
inline constexpr size_t kWriteListEntrySize = 24;  // used u32 at 0, target u64 at 8, value u32 at 16
struct WriteListCave {
    // The jump into the cave replaces movaps xmm6,[rsp+0x340]: the store
    // probe's site record (ProbeId::WriteListSite) keeps it.
    CaveBlock cave;  // data: the entries at 0, the count after them
    uint64_t blockOffset = 0;  // the TimecycleBlock's offset from the image base
    uint8_t blockFound = 0;
    std::atomic<uint32_t> countFallback{0};  // the count while there is no cave
    uint32_t countCopy = 0;
    core::SharedValue<uint8_t> installed{0};
};

// The live writes' caves and records; script fiber only (the rule above).
struct LiveWriteState {
    ManualLiveWrite manual[kManualLiveWriteCount] = {
        {"rain.defaultlight.alpha", 0},
        {"car.headlights.submarine.Fake2LightsDisplacementMod", 1},
        {"car.headlights.aim.fullbeam.angle", 2},
        {"car.headlights.aim.dipeedbeam.angle", 3},
    };
    AutoLiveWrite autos[kCodeSiteRowCount];
    size_t autoCount = 0;
    uint8_t selected = 0;
    uint8_t matched = 0;
    CodeSiteMatch matches[kCodeSiteRowCount];
    PuddleCave puddle;
    WriteListCave writeList;
    // Where a lane's key finds its value: the visualsettings editor's
    // parameter table; false for a key it does not know (null: no key is
    // known, every lane is left to the game).
    bool (*findParamValue)(const char* key, float& value) = nullptr;
};
extern LiveWriteState LiveWrites;
// The status line of the manual and generated live writes ("Ready." at
// first): its latest text (any thread).
std::string LiveWritesStatus();
// Back to the start state (tests: frees the caves once no jump leads there).
void ResetLiveWritesForTesting();
// The rows the generated live writes use (the rows this build carries,
// or a test's own).
std::span<const CodeSiteRow> LiveWriteRows();
void SetCodeSiteRowsForTesting(std::span<const CodeSiteRow> rows);

// Manual live writes.
uint64_t FindLiveWritesStorePattern(uint64_t index);
uint64_t ReadMovssStoreTarget(uint64_t index);
uint64_t CheckLiveWritesSite(ManualLiveWrite& entry);
bool BuildManualCave(ManualLiveWrite& entry, uint64_t site);
// True when all four are installed; the status ends with "n/4 installed.".
bool InstallManualLiveWrites();
void PublishManualLiveWrite(size_t index, float value, bool enabled);

// Generated live writes.
void SelectLiveWriteSpecs();
void ResolveCodeSites();
void MatchCodeSiteSpecs(uint64_t start, uint64_t length);
uint64_t CaptureCodeSite(AutoLiveWrite& entry);
uint64_t DecodeSseOperandTarget(const CodeSiteRow& row, uint64_t address);
bool BuildAutoCave(AutoLiveWrite& entry, uint64_t site);
// True when every selected entry is installed or covered by another.
bool InstallAutoLiveWrites();
void PublishAutoLiveWriteLane(size_t entry, size_t lane, float value, bool enabled);

// Puddle override cave.
bool InstallPuddleLiveWriteHook();
bool BuildPuddleOverrideCave(uint64_t site);
// One guarded override: when the flag is set, the float at source into
// [rsi + displacement]. False when its jump does not fit.
bool EmitGuardedFloatOverride(std::vector<uint8_t>& bytes, uint64_t flag, uint64_t source, int32_t displacement);
// Flags 1 to 3 and values: scale (object + 640), two range values (+644,
// +648), depth test (+652).
void PublishPuddleOverride(size_t flag, bool enabled);
void PublishPuddleValue(size_t value, float v);

// Write-list cave.
bool ProbeWriteListBlock();
uint64_t ProbeWriteListSite();
bool BuildWriteListCave(uint64_t site);
// Start-up: installs it when it is not installed (each step must succeed).
bool InstallWriteListCave();
// The count := 0 (atomic exchange), its copy := 0, and once more.
void ClearWriteListCount();
uint32_t WriteListCount();
bool WriteListCaveInstalled();

// The unload: the write-list cave's jump back and the list emptied; then,
// after the override patches, every live-write jump back.
void RestoreWriteListCave();
void RestoreLiveWriteJumps();

}  // namespace runtime
