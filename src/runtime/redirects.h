// Redirects of timecycle reads: a game instruction that loads a field of
// the TimecycleBlock through a rip-relative operand is pointed at a cell of
// the editor's, which the appliers fill with the slots' values every
// frame, so the game uses the editor's values while its own block keeps
// being rewritten. The installers find the instructions (redirect_records.tsv
// names each, its shape and the cell) and open the cells; the appliers
// stage the values and rewrite the displacements, all records of an
// installer at once; the restores write the saved displacements back.
//
// Script fiber only (the unload's thread at unload). Game threads read the
// cells: every cell word is a 4-byte aligned store.
#pragma once
#include <cstdint>
#include <span>

#include "runtime/code_patch.h"
#include "runtime/live_slots.h"

namespace runtime {

struct RedirectRecord {
    CodePatch patch;           // the disp32; its bytes point the instruction at cell
    uint64_t instruction = 0;  // the instruction's first byte
    uint64_t cell = 0;         // where this record reads: the installer's cell + its place
    uint8_t found = 0;
};

// The redirects' cells and records; script fiber only (the rule above).
struct RedirectState {
    RedirectRecord records[kRedirectRecordCount];
    uint64_t cells[kRedirectCount] = {};
    Attempts attempts[kRedirectCount];
};
extern RedirectState Redirects;
// Back to nothing found (tests: a new game image; no record may be patched).
void ResetRedirects();

std::span<RedirectRecord> RecordsOf(RedirectId id);

// The installer: true when all its records are found and its cell exists
// (at once when found before). An instruction missing from the image or
// out of every cell's reach fails for the run; a cell that could not be
// had is tried again at a bounded rate.
bool PrepareRedirect(RedirectId id);
// The values the game is to see in the cell, in cell order: an enabled
// slot's value; otherwise the game's own value at the slot's address, and
// when that cannot be read the last value known from the game (never 0
// for a read that faulted).
void StageRedirectCell(RedirectId id);
// The applier: installer ready, cell staged, then every record pointed at
// the cell, all of them or none. True when all are patched.
bool ApplyRedirect(RedirectId id);
// Every patched record's displacement back.
void RestoreRedirect(RedirectId id);
bool RedirectPatched(RedirectId id);
// Every redirect of every installer back (RestoreAllPatches).
void RestoreAllRedirects();

// The value a slot gives the game (see StageRedirectCell), as bits.
uint32_t GameValueBits(const LiveOverrideSlot& slot);

// The light direction's three redirects: each applied while one of its
// slots is enabled and taken back when none is.
void ApplyLiveLightDir();
void RestoreLightDirRedirects();
// The twelve ambient-bounce values into their cell (start-up and the
// ambient-bounce applier).
void ApplyLiveSlotGroupC();

// The tick's entries: the redirect step of the installer whose cell starts
// with slot, and the write-back of its records.
void RedirectCellStep(SlotId slot);
void RestoreRedirectRecord(SlotId slot);
// The installer whose cell starts with slot; false when none.
bool RedirectOfSlot(SlotId slot, RedirectId& id);

// Entry functions of one installer (typed pointers for the entry table).
using RedirectApplyFn = void (*)();
using RedirectPrepareFn = bool (*)();
RedirectApplyFn RedirectApplier(RedirectId id);
RedirectPrepareFn RedirectInstaller(RedirectId id);

}  // namespace runtime
