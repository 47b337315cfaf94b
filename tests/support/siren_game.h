// The game's vehicle siren data for tests, benchmarks and fuzz seeds: the
// siren block (21 profiles of 1,512 bytes whose first 8 bytes point to the
// profile's name) planted into memory the test owns, with decoys, and
// binary carcols.ymt files laid out as the game's resource is (magic
// "PSIN", a structure-map entry of the siren settings, 2,376-byte records).
// The layouts are written out here from the game's formats, not taken from
// the editor's tables.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The 21 profile names in block order.
extern const char* const kSirenNames[21];

// Private read-write memory of the own process (a mapping of its own, so
// that a search can be limited to it); freed on destruction.
class SirenMemory {
public:
    explicit SirenMemory(size_t size);
    ~SirenMemory();
    SirenMemory(const SirenMemory&) = delete;
    SirenMemory& operator=(const SirenMemory&) = delete;
    bool ok() const { return base_ != 0; }
    uint64_t base() const { return base_; }
    uint64_t end() const { return base_ + size_; }
    size_t size() const { return size_; }
    uint8_t* at(uint64_t offset) const { return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(base_ + offset)); }

private:
    uint64_t base_ = 0;
    size_t size_ = 0;
};

// Writes the 21 names (each with its zero) at names and returns where each
// lies; misspell, when 0..20, writes that profile's name with one letter
// changed.
std::vector<uint64_t> PlantSirenNames(uint8_t* names, int misspell = -1);
// The 21 names at addresses that no names held before, the earlier call's
// names wiped: no copy of a block that an earlier test left in freed memory
// (a search's chunk buffer, a vector of the block's bytes) points at them,
// so that a search of the whole address space, once the test's other names
// are wiped, finds only the blocks that point here. The memory is kept to
// the end of the process.
std::vector<uint64_t> PlantUnusedSirenNames();
// Fills the 31,752 bytes at block: profile k's name pointer from names[k],
// the head and lights with values that vary with seed, profile and light.
void PlantSirenBlock(uint8_t* block, const std::vector<uint64_t>& names, uint32_t seed = 1);

// Decoys that no search may take for the block: lone pointers to the
// anchor names, a block whose one name is misspelt, a name without its
// terminating zero, pointer-like filler. Needs 256 KiB at where.
void PlantSirenDecoys(uint8_t* where, size_t size);

// A binary carcols.ymt: header bytes, the structure-map entry at
// entryOffset (hash 0x84EB9B0D, data offset D, length records x 2,376),
// then the records from D, record r with id r at +8 and filler elsewhere.
struct CarcolsLayout {
    uint32_t records = 14;
    uint64_t entryOffset = 64;
    uint64_t dataOffset = 256;
    uint32_t hash = 0x84EB9B0D;
    int64_t lengthOverride = -1;   // the entry's length field, when >= 0
    int64_t offsetOverride = -1;   // the entry's data offset field, when >= 0
    int swapIds = -1;              // records swapIds and swapIds + 1 swap their ids
    uint64_t trailingBytes = 512;  // after the last record
    uint32_t fillSeed = 7;
};
std::string MakeCarcolsYmt(const CarcolsLayout& layout);

// Big-endian u32 at a file offset.
uint32_t BigEndianAt(const std::string& file, uint64_t at);

}  // namespace testsupport
