// A memory copy, and a run of code, whose faults turn into a false result
// instead of a crash. A fault anywhere else in the process is passed on
// unchanged.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// Copies size bytes; false when a read or a write faulted (part of the
// destination may then be written). Thread-safe; installs its fault
// handler on first use.
bool SafeCopy(void* destination, const void* source, size_t size);

// Runs body(context) with a fault anywhere in it turned into a false
// result: the run then ends at the faulting instruction and body does not
// go on. Meant for reading memory in place (a scan over another module's
// memory), so body must be ready to be cut off at any read: no lock held,
// no allocation, nothing to undo beyond what its caller can drop. Runs may
// nest; each thread has its own. True when body returned.
bool GuardedRun(void (*body)(void* context), void* context);

// ---- Writes that a reader never sees half done -------------------------------------
// Game threads read what the editor writes while it writes it: a float of a
// data block, a displacement inside an instruction they run. These stores
// are guarded like SafeCopy (a fault gives false) and done so that a reader
// sees the old value or the new one, never a mix of their bytes.

// One store of a 4- or 8-byte value. A destination aligned to the value's
// size gets one plain store (atomic on x86-64); any other gets one locked
// exchange, which replaces all of its bytes at once whatever the alignment
// (a reader whose own load is split across two cache lines may still mix
// old and new bytes: no writer can prevent that). False, nothing written,
// when the store faulted.
bool SafeStore32(void* destination, uint32_t value);
bool SafeStore64(void* destination, uint64_t value);

// Writes size bytes that lie inside one aligned 16-byte block with one
// locked 16-byte compare-exchange of the block (repeated while other bytes
// of the block change under it), so that a reader of the block, an
// instruction fetch included, gets all of the old bytes or all of the new
// ones. False when the range leaves its block or the store faulted.
bool SafeStoreWithinBlock(void* destination, const void* bytes, size_t size);

// A copy for writing data that others read: every naturally aligned 2-, 4-
// and 8-byte element of the destination is written by one store (a byte
// copy can leave a reader with half of a new float). False when a read or a
// store faulted (part of the destination may then be written).
bool SafeWrite(void* destination, const void* source, size_t size);

// ---- Instructions rewritten while other threads run them ----------------------------
// An instruction whose new bytes do not fit one block store is rewritten in
// steps: a breakpoint byte (0xCC) over its first byte, then the bytes after
// it, then the new first byte. While the instruction is held, a thread that
// runs into the breakpoint waits in the fault handler until the hold ends
// and then runs the instruction afresh, so no thread executes a half-written
// instruction. A thread that met the breakpoint and looks only after the
// hold ended (however many holds came since) finds the instruction's first
// byte back and runs it: every instruction ever held is remembered. A
// writer that finds every hold slot taken waits for one.
// Returns the hold's token for EndInstructionHold.
size_t HoldInstruction(uintptr_t instruction);
void EndInstructionHold(size_t token);
// How many threads wait at a held instruction now (diagnostics and tests).
uint32_t ThreadsWaitingAtHolds();
// Makes every thread of the process that runs code fetch the code afresh
// before it goes on (on Windows FlushProcessWriteBuffers and the lowered
// protection of a written page of our own, which interrupts every core that
// runs the process also where that call does nothing; membarrier with core
// serialisation on Linux, nothing where it is not available).
void SynchronizeInstructionStreams();

// Installs the fault handler now (start-up calls it so that the first
// guarded access does not pay for it).
void InstallSafeCopyHandler();

namespace detail {
// The fault handlers' side of a hold, given the breakpoint's own address:
// true when an instruction was ever held there and no longer begins with the
// breakpoint (waiting while it is held and still does): the thread that
// trapped there may run it again. False for a breakpoint that is not ours.
bool ReleaseTrappedThread(uintptr_t instruction);
}  // namespace detail

}  // namespace platform
