// A timecycle modifier live in the game: the time-sliced search of game
// memory for the game's copy of a loaded modifier (its rows as consecutive
// 12-byte records: value A at +0, value B at +4, 4 bytes left alone), the
// resolved block with a saved copy of its bytes, the apply of edited rows,
// the restore, the before/after step, and the game's active modifier as the
// editor keeps it set.
//
// A place is accepted only when exactly one place holds all rows of the
// modifier (the file's values or the current edits). Nothing is written to
// the game before a block is resolved and its bytes saved, and nothing after
// the game has reused the block: a full apply, a row apply and a restore
// first check that every record still holds either the saved bytes or the
// values the editor last wrote there.
//
// Files whose layout differs from the game's (commonOnly) are not resolved:
// their edits are stored, and their applies report "Value stored.".
//
// Thread rule: all state below lives under ModifierMutex (modifier_files.h).
// The resolve step (script fiber) copies what it needs under the lock,
// scans game memory without it and takes it again to record what it found;
// a start or reset meanwhile makes the step drop its findings.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/region_walk.h"
#include "timecycle/modifier_files.h"

namespace timecycle {

inline constexpr uint64_t kModifierRecordBytes = 12;
inline constexpr uint64_t kModifierChunkBytes = 1u << 20;
inline constexpr uint64_t kModifierSliceUs = 8000;        // work of one step
inline constexpr uint64_t kModifierPriorityHead = 4u << 20;  // first bytes of a large region, searched first
inline constexpr uint64_t kModifierLargeRegion = 64u << 20;
inline constexpr size_t kModifierMaxMatches = 32;
inline constexpr double kModifierMatchTolerance = 0.0005;

// Test seams: where the search looks, its clock, and where the editor keeps
// its own copies of game bytes (scan buffers, saved blocks). Zero/null: the
// whole address space, a steady microsecond clock, the platform allocator.
struct ModifierResolveConfig {
    uint64_t arenaFrom = 0;
    uint64_t arenaTo = 0;
    uint64_t (*clockUs)() = nullptr;
    uint64_t (*allocate)(uint64_t size) = nullptr;
    void (*release)(uint64_t address) = nullptr;
};

// Bytes of the editor's own, in a mapping of their own that is registered
// as an own range while held (no search finds them) and wiped before it is
// given back.
class OwnBuffer {
public:
    OwnBuffer() = default;
    ~OwnBuffer();
    OwnBuffer(const OwnBuffer&) = delete;
    OwnBuffer& operator=(const OwnBuffer&) = delete;
    // Holds at least size bytes (contents lost when it grows); false when no memory.
    bool Reserve(uint64_t size);
    void Release();
    uint8_t* data() const { return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(base_)); }
    uint64_t capacity() const { return capacity_; }

private:
    uint64_t base_ = 0;
    uint64_t capacity_ = 0;
    uint64_t ownRange_ = 0;
};

struct ModifierScanRange {
    uint64_t start = 0;
    uint64_t end = 0;
    bool operator==(const ModifierScanRange&) const = default;
};

// Where a running resolve stands; moved out by a step while it scans.
struct ModifierScanProgress {
    std::vector<ModifierScanRange> priorityRanges;
    size_t priorityIndex = 0;  // next priority range to take
    bool fullScan = false;
    runtime::RegionWalk walk;  // the current range
    uint64_t bytesRead = 0;
    std::vector<uint64_t> matches;  // verified places, in the order found
    uint64_t steps = 0;
    uint64_t worstStepUs = 0;
};

struct ModifierResolveState {
    uint8_t resolving = 0;
    int32_t file = -1;
    int32_t modifier = -1;
    uint8_t applyWhenReady = 0;
    uint64_t anchorStart = 0;  // first row of the anchor window
    uint64_t generation = 0;   // grows with every start and stop
    ModifierScanProgress progress;
    ModifierScanRange lastRegion;  // region of the last resolved block
};

struct ResolvedModifierBlock {
    uint8_t valid = 0;
    uint64_t address = 0;
    int32_t file = -1;
    int32_t modifier = -1;
    std::string fileName;
    std::string modifierName;
    uint64_t rows = 0;
    uint8_t commonOnly = 0;
    uint64_t savedBytes = 0;  // rows x 12 when saved
    // The game's bytes when resolved, and the block as the editor last left
    // it (the saved bytes with every value written since).
    std::unique_ptr<OwnBuffer> saved;
    std::unique_ptr<OwnBuffer> written;
};

struct LiveBlockCacheEntry {
    uint8_t found = 0;
    uint64_t address = 0;
    int32_t file = -1;
    int32_t modifier = -1;
    std::string modifierName;
    uint64_t rows = 0;
    uint8_t commonOnly = 0;
};

// The game's active timecycle modifier as the editor drives it.
struct ModifierActivation {
    std::string activeName;
    uint8_t applyRequested = 0;
    uint8_t applyNow = 0;
    uint8_t deactivateRequested = 0;
    uint64_t lastApplyTick = 0;  // TickCount64 ms; 0 = never
};

// The module's state; all of it under ModifierMutex (see the thread rule
// above).
struct ModifierLiveState {
    ModifierResolveConfig config;
    ModifierResolveState resolve;
    ResolvedModifierBlock block;
    std::map<std::string, LiveBlockCacheEntry> cache;
    ModifierActivation activation;
    uint8_t liveApplied = 0;  // set by a full apply, cleared by ResetLiveMapping
    uint8_t beforeShown = 0;  // the game's values shown by before/after
    std::string status;       // ModifierLiveStatus
    uint8_t closed = 0;       // the unload has run: no step, no buffer kept
    // The step's scan buffer (lent to a step while it scans) and the buffer
    // of checks made under the lock.
    std::unique_ptr<OwnBuffer> scanBuffer;
    std::unique_ptr<OwnBuffer> checkBuffer;
};
extern ModifierLiveState ModifierLive;
// Back to the state at start (no write to the game); keeps the config.
void ResetModifierLiveState();

// ---- Resolve ------------------------------------------------------------------------------
// Row pairs as sought: the file's values (A, B) and the current ones.
struct ModifierRowPair {
    float fileA, fileB, valueA, valueB;
};
// Index of the first row of the best anchor window (windows of 6 rows).
uint64_t ChooseModifierAnchor(const std::vector<ModifierRowPair>& rows);
// Every record i in [first, first + count) of bytes (record 0 at bytes)
// holds finite floats within 0.0005 of the row's file (or current) values.
bool MatchLiveRows(const uint8_t* bytes, const std::vector<ModifierRowPair>& rows, uint64_t first, uint64_t count,
                   bool useOriginals);
// A guarded read of the block at address matches all rows (file or current values).
bool VerifyLiveBlock(uint64_t address, const std::vector<ModifierRowPair>& rows);
// Priority ranges: the last region, then the first 4 MiB of every large
// private read-write region, then their remainders.
std::vector<ModifierScanRange> CollectScanRegions();
std::string LiveBlockCacheKey(int32_t file, int32_t modifier, std::string_view name, uint64_t rows, bool commonOnly);
std::string HexAddressText(uint64_t address);

void StartModifierLiveResolve(int32_t file, int32_t modifier, bool applyWhenReady);
// One time slice; nothing when no resolve runs (script fiber, every frame).
void StepModifierLiveResolve();
bool ReuseCachedLiveBlock(int32_t file, int32_t modifier);
// True when the resolved block belongs to (file, modifier).
bool LiveBlockValidFor(int32_t file, int32_t modifier);

// ---- Apply and restore --------------------------------------------------------------------
void ApplyModifierLive(int32_t file, int32_t modifier, uint8_t startIfNeeded, uint8_t refreshActive);
void ApplyLiveRow(int32_t file, int32_t modifier, uint64_t row);
void RestoreModifierLive(int32_t file, int32_t modifier);
// Forgets the resolved block and stops the resolve; with restoreFirst the
// saved bytes go back first (when the game still holds the block).
void ResetLiveMapping(std::string_view message, bool restoreFirst);
// A reload of a slot: its live mapping reset (restoring first), its cached
// blocks forgotten.
void ForgetLiveStateOfSlot(int slot, std::string_view message);
// The all-live before/after step for the tab's selection.
void ModifierAllLiveBeforeAfter(uint8_t showBefore, uint8_t* changed);
// The unload: the resolve stops, the mapping and the buffers go; the
// values written stay in the game.
void ShutdownModifierLive();

// ---- Activation -------------------------------------------------------------------------------
void ActivateModifier(std::string_view name);
void RequestModifierDeactivation();
// One step of the activation (script fiber, each tick before the resolve step).
void RefreshModifier();
// Any of the six flags that mark modifier work as pending.
bool ModifierWorkPending();

void SetModifierLiveStatus(std::string_view text);
std::string ModifierLiveStatusText();

}  // namespace timecycle
