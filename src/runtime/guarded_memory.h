// Guarded access to game memory: the one way the editor reads and writes
// memory it does not own (the game's data blocks, static tables and code).
// Every operation answers with a bool; a bad address, a page that may not be
// touched or a machine fault during the access ends as false, never as a
// crash of the game. Nothing here writes a status line.
//
// Thread safety: every function may be called from the render thread and
// the script fiber at once. The two range caches are append-only tables
// whose lookups take no lock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "core/shared_value.h"
#include "platform/memory.h"

namespace runtime {

// An append-only list of address ranges [start, end) of whole regions.
// Lookups read the published count and the entries below it without a
// lock; an append fills the next entry under the mutex and then publishes
// it, so a lookup never sees a half-written range. When the list is full
// nothing more is cached (the callers then query every time).
struct RangeCache {
    static constexpr size_t kCapacity = 1024;
    core::SharedValue<size_t> count{0};
    uint64_t start[kCapacity] = {};
    uint64_t end[kCapacity] = {};
    std::mutex appendMutex;

    bool Contains(uint64_t address, uint64_t length) const;
    void Append(uint64_t from, uint64_t to);
};

// The module's state: the range caches and the query count; any thread
// (each field says how).
struct GuardedMemoryState {
    // Regions once found committed and readable (IsReadableCached), and once
    // found committed, readable and writable (SafeWriteFloat): trusted for
    // the rest of the run. Any thread (see RangeCache).
    RangeCache ReadableRangeCache;
    RangeCache WritableRangeCache;
    // Region queries made through QueryRegion and QueryNextRegion
    // (diagnostics and tests). Any thread.
    core::SharedValue<uint64_t> RegionQueries{0};
};
extern GuardedMemoryState GuardedMemory;
// Empties both caches and the count. The run never calls it (tests, while
// no other thread uses the caches).
void ResetGuardedMemoryState();

// ---- Protection predicates ---------------------------------------------------
// Readable: no PAGE_NOACCESS or PAGE_GUARD bit, and the low byte is one of
// READONLY, READWRITE, WRITECOPY, EXECUTE_READ, EXECUTE_READWRITE,
// EXECUTE_WRITECOPY (EXECUTE alone is not readable).
bool IsReadableProtect(uint32_t protect);
// Writable: the low byte is READWRITE, WRITECOPY, EXECUTE_READWRITE or
// EXECUTE_WRITECOPY.
bool IsWritableProtect(uint8_t protect);

// One region query, counted (GuardedMemory.RegionQueries). Every piece of
// the runtime queries regions through these; QueryNextRegion is for walks
// over the regions that read what they find through the fault guard (see
// platform::QueryNextMemoryRegion).
bool QueryRegion(uint64_t address, platform::MemoryRegion& out);
bool QueryNextRegion(uint64_t address, platform::MemoryRegion& out);

// ---- Range tests (one query of the first byte; the whole range must lie in
// that one region, even when the next region is accessible too) ----------------
// False for a null address or a zero length.
bool IsReadable(uint64_t address, uint64_t length);
// IsReadable, then the region's whole protection must be exactly READWRITE,
// WRITECOPY, EXECUTE_READWRITE or EXECUTE_WRITECOPY (so NOCACHE or
// WRITECOMBINE added makes a range readable but not writable here).
bool IsWritable(uint64_t address, uint64_t length);
// A hit in the readable-range cache answers at once; otherwise IsReadable,
// and on success the whole region is added to the cache for the rest of the
// run. For per-frame loops over the same few fields.
bool IsReadableCached(uint64_t address, uint64_t length);

// ---- Single accesses -------------------------------------------------------------
// Reads 4 bytes that lie in one committed readable region. A failed check
// leaves out untouched; a fault sets out = 0. Both give false.
bool SafeReadU32(uint64_t address, uint32_t& out);
// Stores one float. A hit in the writable-range cache stores at once;
// otherwise a writable region is cached and stored into, and any other page
// has its protection lifted to EXECUTE_READWRITE for the store and put back.
// A fault gives false with the old protection back in place. The float is
// written by one store (platform::SafeStore32): a game thread reading it
// meanwhile gets the old or the new value, never a mix of the two.
bool SafeWriteFloat(uint64_t address, float value);
// Writes a data block (no instruction-cache flush). Lifts the protection
// when the range is not writable and puts it back; a fault gives false.
// A 4- or 8-byte block is one value, written by one store; in a longer
// block every aligned element of up to 8 bytes is written by one store.
bool WriteBytesProtected(uint64_t destination, const void* source, uint64_t size);
// WriteBytesProtected for writers that come back to the same blocks on
// every frame: a hit in the writable-range cache copies at once under the
// fault guard; otherwise a range that lies in one writable region caches
// that region and is copied into, and any other range is written as
// WriteBytesProtected writes it.
bool WriteBytesCached(uint64_t destination, const void* source, uint64_t size);
// Copies size bytes that IsReadableCached accepts, under the fault guard.
bool ReadBytesCached(uint64_t address, void* destination, uint64_t size);
// The only writer of game code: lifts the protection to EXECUTE_READWRITE,
// writes, flushes the instruction cache and puts the protection back. Game
// threads may run the code meanwhile and never run a half-written
// instruction: the bytes that change are written by one store when they lie
// in one aligned 16-byte block, else in steps while the instruction is held
// (platform::HoldInstruction). The bytes written are taken to begin an
// instruction; PatchInstructionBytes writes inside one (a displacement), the
// instruction beginning at most 15 bytes before destination.
bool PatchCodeBytes(uint64_t destination, const void* source, uint64_t size);
bool PatchInstructionBytes(uint64_t instruction, uint64_t destination, const void* source, uint64_t size);
// ReadProcessMemory / WriteProcessMemory on the own process: true only for
// a complete transfer.
bool SafeReadMemory(uint64_t address, void* destination, uint64_t size);
bool SafeWriteMemory(uint64_t destination, const void* source, uint64_t size);
// A plain copy inside the fault guard (a fault may leave a partial copy).
bool GuardedCopy(void* destination, const void* source, uint64_t size);
// GuardedCopy for data that game threads read while it is written: each
// aligned element of up to 8 bytes goes in one store.
bool GuardedWrite(uint64_t destination, const void* source, uint64_t size);
// Plain reads inside the fault guard, without a region query; a fault sets
// out = 0 and gives false. For many candidate reads inside regions already
// known to be committed.
bool GuardedReadU32(uint64_t address, uint32_t& out);
bool GuardedReadU8(uint64_t address, uint8_t& out);

}  // namespace runtime
