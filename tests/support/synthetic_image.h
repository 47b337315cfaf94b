// A synthetic game image for tests and benchmarks: an executable mapping
// that starts with MZ/PE headers (SizeOfImage, a section table) and is
// registered through the platform seam as the game's module, so that the
// runtime's locators, scans and guarded access run for real on it.
//
// Layout (every section page-aligned, protections as in a real image):
//   headers  one page, read-only        "MZ" ... "PE\0\0", 3 section headers
//   .text    execute-read               code sites are planted here
//   .rdata   read-only                  constant tables
//   .data    read-write                 data blocks (timecycle block, ...)
//   (one no-access page follows, outside SizeOfImage)
// Filler: with fillSeed 0, .text holds int3 (CC) bytes and the other
// sections zeros; any other seed fills .text with pseudo-random bytes and
// .data/.rdata with pseudo-random floats and zero runs (for benchmarks:
// something a scan must actually reject). Planting overwrites the filler.
//
// Placement is a bump allocator per section: Reserve/Plant hand out the
// next free bytes at the requested alignment, so planted pieces never
// overlap. Write* ignore page protection (tests set up the image; the
// runtime under test must go through guarded access).
//
// Creating an image resets the runtime's process-lifetime search state (the
// block locators, the data-signature cache, the scan caches and the range
// caches), so every test starts as a fresh run; the slot tables are left
// alone (runtime::ResetSlotTablesForTesting resets them). Destroying it
// unregisters and unmaps the image. One image at a time.
//
// Extending it: add a Plant* helper here for each new locator, built on
// Plant/PlantCode and the encoders below, with the instruction bytes checked
// against an assembler's output in a comment.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

enum class ImageSection { Headers, Text, Rdata, Data };

struct SyntheticImageLayout {
    size_t textSize = 1u << 20;
    size_t rdataSize = 256u << 10;
    size_t dataSize = 1u << 20;
    uint32_t fillSeed = 0;
    // false: map and fill only; the caller registers it (RegisterAsGame).
    bool registerAsGame = true;
};

class SyntheticImage {
public:
    explicit SyntheticImage(const SyntheticImageLayout& layout = {});
    ~SyntheticImage();
    SyntheticImage(const SyntheticImage&) = delete;
    SyntheticImage& operator=(const SyntheticImage&) = delete;

    bool ok() const { return base_ != 0; }
    uint64_t base() const { return base_; }
    uint64_t size() const { return size_; }
    uint64_t end() const { return base_ + size_; }
    uint64_t SectionStart(ImageSection section) const;
    size_t SectionSize(ImageSection section) const;
    // The platform seam reports this image as the game's module.
    void RegisterAsGame();
    // Writes the SizeOfImage field (0 makes the runtime see no image).
    void SetSizeOfImageField(uint32_t value);

    // ---- Placement ---------------------------------------------------------------
    // The next free bytes of the section at the alignment; 0 (and a test
    // failure) when the section is full.
    uint64_t Reserve(ImageSection section, size_t size, size_t alignment = 16);
    uint64_t Plant(ImageSection section, const std::vector<uint8_t>& bytes, size_t alignment = 16);
    // Plants code bytes (default alignment 1) and returns their address.
    uint64_t PlantCode(const std::vector<uint8_t>& bytes, size_t alignment = 1);
    // Plants one instruction whose disp32 at displacementOffset is
    // rip-relative (from the end of the instruction, its length being
    // bytes.size()) to target, and returns its address.
    uint64_t PlantRipRelative(std::vector<uint8_t> bytes, size_t displacementOffset, uint64_t target,
                              size_t alignment = 1);
    // Points the disp32 at instruction + displacementOffset at target, for an
    // instruction of instructionLength bytes. A target out of rel32 reach
    // fails the test.
    void WriteRipDisplacement(uint64_t instruction, size_t displacementOffset, size_t instructionLength,
                              uint64_t target);
    // Writes that ignore protection.
    void Write(uint64_t address, const void* bytes, size_t size);
    void Write(uint64_t address, const std::vector<uint8_t>& bytes) { Write(address, bytes.data(), bytes.size()); }
    void WriteU32(uint64_t address, uint32_t value) { Write(address, &value, 4); }
    void WriteFloat(uint64_t address, float value) { Write(address, &value, 4); }
    // Fills [address, address+size) with the section's filler byte (CC in
    // .text, 0 elsewhere), ignoring protection.
    void Clear(uint64_t address, size_t size);
    // A copy of the whole image as it is now.
    std::vector<uint8_t> Bytes() const;

    // ---- Game pieces ---------------------------------------------------------------
    // A 3,072-byte timecycle block in .data (16-aligned); variable i holds
    // the float i + 0.25.
    uint64_t PlantTimecycleBlock();
    // movsd xmm1,[rip→block+1188]; shufps xmm1,xmm1,0xE1; movq rax,xmm1.
    // Returns the address of the sequence.
    uint64_t PlantTimecycleSiteA(uint64_t block);
    // movss xmm0,[block+1188]; jmp +8; movss xmm0,[block+1188]; mov cl,al;
    // movss xmm8,[block+1188]; jne; mulss xmm8,[block+secondField].
    uint64_t PlantTimecycleSiteB(uint64_t block, uint64_t secondField = 1192);
    // Block plus both sites: TimecycleBlockLocator finds it.
    uint64_t PlantLocatableTimecycleBlock();
    // lea r12,[rip→target] followed (in the next 2,560 bytes) by the first
    // storeCount engine store signatures (0..9), each once unless repeat.
    uint64_t PlantSecondaryBlockSite(uint64_t target, int storeCount, bool repeatFirstStore = false);
    // A 352-byte lightning block (.data, 16-aligned) that passes every check.
    uint64_t PlantLightningBlock();
    // An 80-byte water-tuning block (.data) with its value run at +4.
    uint64_t PlantWatertuneBlock();
    // The 53-byte puddle store sequence in .text; returns the store site
    // (sequence + 22).
    uint64_t PlantPuddleStoreSequence();

private:
    struct Cursor {
        uint64_t start = 0;
        size_t size = 0;
        size_t used = 0;
    };
    Cursor& CursorOf(ImageSection section);
    const Cursor& CursorOf(ImageSection section) const;

    uint64_t base_ = 0;
    uint64_t size_ = 0;
    Cursor text_, rdata_, data_;
};

// A private read-write mapping outside the image: the game's heap.
class SyntheticHeap {
public:
    explicit SyntheticHeap(size_t size);
    ~SyntheticHeap();
    SyntheticHeap(const SyntheticHeap&) = delete;
    SyntheticHeap& operator=(const SyntheticHeap&) = delete;
    bool ok() const { return base_ != 0; }
    uint64_t base() const { return base_; }
    size_t size() const { return size_; }
    // Writes the seven fingerprint values of the visualsettings table at
    // base + offset: mode 0 the default values (alternate ones where
    // useAlternates and the row has them), mode 1 the guard values.
    uint64_t PlantVisualSettingsTable(size_t offset, int mode, bool useAlternates = false);

private:
    uint64_t allocation_ = 0;
    uint64_t base_ = 0;
    size_t size_ = 0;
};

// Little-endian bytes of 4-byte values, for planting runs of values.
std::vector<uint8_t> U32Bytes(std::initializer_list<uint32_t> values);
std::vector<uint8_t> FloatBytes(std::initializer_list<float> values);

// Forgets every process-lifetime search state of the runtime (locators,
// data signatures, scan caches, range caches).
void ResetRuntimeSearchState();

}  // namespace testsupport
