// A synthetic game image for tests and benchmarks, registered through the
// platform seam as the game's module: MZ/PE headers (SizeOfImage, three
// section headers; read-only), .text (execute-read), .rdata (read-only) and
// .data (read-write), page-aligned, then one no-access page outside
// SizeOfImage. Filler: int3 in .text and zeros elsewhere, or with a fillSeed
// pseudo-random code and data floats (something a benchmark's scan rejects).
// Reserve/Plant hand out the next free bytes of a section; Write* ignore page
// protection. Creating or destroying an image resets the runtime's search
// state (not the slot tables). One image at a time. A new locator gets a
// Plant* helper, its instruction bytes checked against an assembler's output.
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
    void SetSizeOfImageField(uint32_t value);  // 0: the runtime sees no image

    // 0 and a test failure when the section is full.
    uint64_t Reserve(ImageSection section, size_t size, size_t alignment = 16);
    uint64_t Plant(ImageSection section, const std::vector<uint8_t>& bytes, size_t alignment = 16);
    uint64_t PlantCode(const std::vector<uint8_t>& bytes, size_t alignment = 1);
    // One instruction whose disp32 at displacementOffset addresses target.
    uint64_t PlantRipRelative(std::vector<uint8_t> bytes, size_t displacementOffset, uint64_t target,
                              size_t alignment = 1);
    void Write(uint64_t address, const void* bytes, size_t size);
    void Write(uint64_t address, const std::vector<uint8_t>& bytes) { Write(address, bytes.data(), bytes.size()); }
    void WriteU32(uint64_t address, uint32_t value) { Write(address, &value, 4); }
    void WriteFloat(uint64_t address, float value) { Write(address, &value, 4); }
    // Back to the section's filler (CC in .text, 0 elsewhere).
    void Clear(uint64_t address, size_t size);
    std::vector<uint8_t> Bytes() const;

    // A 3,072-byte timecycle block in .data; variable i holds i + 0.25.
    uint64_t PlantTimecycleBlock();
    // movsd xmm1,[rip→block+1188]; shufps xmm1,xmm1,0xE1; movq rax,xmm1.
    uint64_t PlantTimecycleSiteA(uint64_t block);
    // movss xmm0,[block+1188]; jmp +8; movss xmm0,[block+1188]; mov cl,al;
    // movss xmm8,[block+1188]; jne; mulss xmm8,[block+secondField].
    uint64_t PlantTimecycleSiteB(uint64_t block, uint64_t secondField = 1192);
    // Block plus both sites: TimecycleBlockLocator finds it.
    uint64_t PlantLocatableTimecycleBlock();
    // lea r12,[rip→target], then the first storeCount engine store
    // signatures (0..9), each once unless repeatFirstStore.
    uint64_t PlantSecondaryBlockSite(uint64_t target, int storeCount, bool repeatFirstStore = false);
    uint64_t PlantLightningBlock();  // 352 bytes that pass every check
    uint64_t PlantWatertuneBlock();  // 80 bytes, the value run at +4
    // The 53-byte puddle store sequence; returns the store site (+22).
    uint64_t PlantPuddleStoreSequence();
    // The 40-byte store of the first coronas setting, whose movss writes
    // field (block + 0xCC18 in the game); returns its start.
    uint64_t PlantCoronasStore(uint64_t field);
    // The 82 bytes of the three filmic stores, the first writing anchor (the
    // bright exposure field); returns their start.
    uint64_t PlantFilmicStores(uint64_t anchor);

private:
    struct Cursor {
        uint64_t start = 0;
        size_t size = 0;
        size_t used = 0;
    };
    const Cursor& CursorOf(ImageSection section) const;
    void WriteRipDisplacement(uint64_t instruction, size_t displacementOffset, size_t length, uint64_t target);

    uint64_t base_ = 0;
    uint64_t size_ = 0;
    Cursor text_, rdata_, data_;
};

// The game's heap: private read-write pages between two no-access pages.
class SyntheticHeap {
public:
    explicit SyntheticHeap(size_t size);
    ~SyntheticHeap();
    SyntheticHeap(const SyntheticHeap&) = delete;
    SyntheticHeap& operator=(const SyntheticHeap&) = delete;
    bool ok() const { return base_ != 0; }
    uint64_t base() const { return base_; }
    size_t size() const { return size_; }
    // The seven fingerprint values of the visualsettings table at base +
    // offset: mode 0 the defaults (the alternates where useAlternates and the
    // row has one), mode 1 the guard values.
    uint64_t PlantVisualSettingsTable(size_t offset, int mode, bool useAlternates = false);

private:
    uint64_t allocation_ = 0;
    uint64_t base_ = 0;
    size_t size_ = 0;
};

std::vector<uint8_t> U32Bytes(std::initializer_list<uint32_t> values);
std::vector<uint8_t> FloatBytes(std::initializer_list<float> values);

void ResetRuntimeSearchState();  // the runtime's process-lifetime search state

}  // namespace testsupport
