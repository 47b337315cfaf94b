// The one object behind every change the editor makes to the game's code:
// a redirect's displacement, a store replaced by no-operations or another
// store, the jump into a code cave. It captures its site once (the bytes
// there must begin with the instruction the caller expects, else nothing
// is captured), applies its bytes, writes the game's bytes back, and
// answers what it did. Groups of patches go in whole or not at all.
//
// Script fiber only (the unload's thread at unload), except the report.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/patch_tables.h"

namespace runtime {

inline constexpr size_t kMaxCodePatchLength = 16;

struct CodePatch {
    uint64_t site = 0;                      // first byte replaced
    uint64_t instruction = 0;               // first byte of the instruction site lies in
    uint8_t length = 0;                     // bytes replaced
    uint8_t saved[kMaxCodePatchLength] = {};  // the game's bytes there
    uint8_t bytes[kMaxCodePatchLength] = {};  // what applying writes (no-operations unless set)
    uint8_t captured = 0;                   // saved holds the game's bytes
    uint8_t applied = 0;                    // bytes are in the game
};

// Captures length bytes at instruction + siteOffset, inside the instruction
// that begins at instruction, when the bytes at instruction begin with
// expect (an empty expect compares nothing) and the whole range lies in one
// committed readable region; the patch bytes become no-operations. A patch
// captured before is kept as it is. Any other outcome leaves the patch
// untouched: Mismatch (other bytes stand there: the game's code does not
// change, so this is for good, unless the caller knows better) or
// Unreadable (for now).
enum class Capture : uint8_t { Captured, Mismatch, Unreadable };
Capture CaptureCodePatch(CodePatch& patch, uint64_t instruction, const MaskedBytes& expect, uint8_t siteOffset,
                         uint8_t length);
// A patch whose game bytes another captured (a probe's site): takes them as
// its own (a patch captured before keeps its bytes and state).
void AdoptCodePatch(CodePatch& patch, uint64_t site, const uint8_t* saved, uint8_t length);
// The bytes applying writes (patch.length of them).
void SetPatchBytes(CodePatch& patch, const uint8_t* bytes);

// Writes the patch bytes when captured and not applied (applied: true at
// once). False when not captured or the write failed.
bool ApplyCodePatch(CodePatch& patch);
// Writes the saved bytes back when applied. A failed write leaves the patch
// applied, so that the next restore writes it again.
void RestoreCodePatch(CodePatch& patch);
// Applies every patch or none: at the first one that cannot be applied,
// the ones this call applied are written back (ones applied before the call
// stay). True when all are applied. Any number of patches.
bool ApplyCodePatches(std::span<CodePatch* const> patches);
void RestoreCodePatches(std::span<CodePatch* const> patches);
bool AnyApplied(std::span<CodePatch* const> patches);
bool AllCaptured(std::span<CodePatch* const> patches);

// The writer of every code patch and cave: the editor's entry table's code
// writer (WriteGameCode unless a test replaced it). Its bytes lie inside the
// instruction that begins at instruction (0: they begin one).
bool WriteCode(uint64_t address, const void* bytes, size_t length, uint64_t instruction = 0);
// The run's code writer (PatchCodeBytes), as the entry table holds it; when
// the table holds it, WriteCode writes through PatchInstructionBytes so that
// a displacement is written as part of its instruction.
bool WriteGameCode(uint64_t address, const uint8_t* bytes, size_t length);

// ---- Attempts ------------------------------------------------------------------------
// When a search, a capture or an allocation that failed may run again: a
// failure for good (a pattern the image does not hold, an instruction out
// of reach) is never retried in the run; a failure for now (memory that
// could not be read or allocated) is retried at most once per
// kPatchRetryIntervalMs, so nothing scans or allocates on every frame.
inline constexpr uint64_t kPatchRetryIntervalMs = 2000;
struct Attempts {
    uint8_t failedForGood = 0;
    uint64_t retryAtMs = 0;  // 0: due at once
};
bool AttemptDue(const Attempts& attempts);
void FailForGood(Attempts& attempts);
void FailForNow(Attempts& attempts);
// FailForGood for a mismatch, FailForNow for unreadable bytes; false unless captured.
bool Settle(Attempts& attempts, Capture outcome);

}  // namespace runtime
