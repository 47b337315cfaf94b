#include "support/synthetic_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/memory.h"
#include "runtime/block_locators.h"
#include "runtime/data_signatures.h"
#include "runtime/guarded_memory.h"
#include "runtime/heap_scan.h"
#include "runtime/locator_state.h"
#include "runtime/override_patches.h"
#include "runtime/scans.h"

namespace testsupport {
namespace {

constexpr size_t kPage = 4096;
constexpr uint32_t kNtOffset = 0x80;
constexpr uint16_t kOptionalHeaderSize = 240;

size_t RoundPages(size_t n) { return (n + kPage - 1) / kPage * kPage; }

void* Ptr(uint64_t address) { return reinterpret_cast<void*>(static_cast<uintptr_t>(address)); }

template <typename T>
void Put(uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

// Benchmark filler (xorshift32): random code words, and data words of which
// a third are zeros and the rest small decimal floats. Sizes are whole pages.
void Fill(uint8_t* p, size_t n, uint32_t& state, bool code) {
    for (size_t i = 0; i < n; i += 4) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const float f = (state % 3 == 0) ? 0.0f : static_cast<float>(state % 100000u) / 100.0f;
        Put(p + i, code ? state : std::bit_cast<uint32_t>(f));
    }
}

}  // namespace

void ResetRuntimeSearchState() {
    runtime::ResetPatchStateForTesting();
    runtime::ResetLocatorState();
    runtime::ClearDataSignaturesForTesting();
    runtime::ResetGuardedMemoryState();
}

SyntheticImage::SyntheticImage(const SyntheticImageLayout& layout) {
    ResetRuntimeSearchState();
    const size_t text = RoundPages(layout.textSize);
    const size_t rdata = RoundPages(layout.rdataSize);
    const size_t data = RoundPages(layout.dataSize);
    size_ = kPage + text + rdata + data;
    // The no-access page after the image keeps its .data from merging with
    // the next mapping.
    base_ = platform::AllocateAnywhere(size_ + kPage, platform::kPageReadWrite);
    uint32_t old = 0;
    if (base_ == 0 || !platform::ChangeProtection(base_ + size_, kPage, platform::kPageNoAccess, &old)) {
        ADD_FAILURE() << "synthetic image: no memory for " << size_ << " bytes";
        if (base_ != 0) platform::FreeMemory(base_);
        base_ = size_ = 0;
        return;
    }
    text_ = {base_ + kPage, text, 0};
    rdata_ = {text_.start + text, rdata, 0};
    data_ = {rdata_.start + rdata, data, 0};

    uint8_t* image = static_cast<uint8_t*>(Ptr(base_));
    if (layout.fillSeed == 0) {
        std::memset(image + kPage, 0xCC, text);
    } else {
        uint32_t state = layout.fillSeed;
        Fill(image + kPage, text, state, true);
        Fill(image + kPage + text, rdata + data, state, false);
    }

    // DOS header, NT headers (PE32+), section table.
    image[0] = 'M';
    image[1] = 'Z';
    Put<uint32_t>(image + 0x3C, kNtOffset);
    uint8_t* nt = image + kNtOffset;
    std::memcpy(nt, "PE\0\0", 4);
    Put<uint16_t>(nt + 4, 0x8664);  // Machine
    Put<uint16_t>(nt + 6, 3);       // NumberOfSections
    Put<uint16_t>(nt + 20, kOptionalHeaderSize);
    Put<uint16_t>(nt + 24, 0x020B);                        // PE32+ magic
    Put<uint32_t>(nt + 80, static_cast<uint32_t>(size_));  // SizeOfImage
    struct SectionHeader {
        const char* name;
        const Cursor& cursor;
        uint32_t characteristics;
    };
    // Code, read and execute; initialised data, read (and write).
    const SectionHeader sections[] = {
        {".text", text_, 0x60000020u}, {".rdata", rdata_, 0x40000040u}, {".data", data_, 0xC0000040u}};
    uint8_t* header = nt + 24 + kOptionalHeaderSize;
    for (const SectionHeader& s : sections) {
        std::memset(header, 0, 40);
        std::memcpy(header, s.name, std::strlen(s.name));
        const auto rva = static_cast<uint32_t>(s.cursor.start - base_);
        Put<uint32_t>(header + 8, static_cast<uint32_t>(s.cursor.size));   // VirtualSize
        Put<uint32_t>(header + 12, rva);                                    // VirtualAddress
        Put<uint32_t>(header + 16, static_cast<uint32_t>(s.cursor.size));  // SizeOfRawData
        Put<uint32_t>(header + 36, s.characteristics);
        header += 40;
    }
    Write(base_, nullptr, 0);  // applies the section protections
    platform::SetGameModuleForTesting(base_, size_);
}

SyntheticImage::~SyntheticImage() {
    if (base_ == 0) return;
    if (platform::GameModuleBase() == base_) platform::SetGameModuleForTesting(0, 0);
    ResetRuntimeSearchState();
    uint32_t old = 0;
    platform::ChangeProtection(base_, size_, platform::kPageReadWrite, &old);
    platform::FreeMemory(base_);
}

void SyntheticImage::SetSizeOfImageField(uint32_t value) { Write(base_ + kNtOffset + 80, &value, 4); }

uint64_t SyntheticImage::SectionStart(ImageSection section) const {
    return section == ImageSection::Headers ? base_ : CursorOf(section).start;
}

size_t SyntheticImage::SectionSize(ImageSection section) const {
    return section == ImageSection::Headers ? kPage : CursorOf(section).size;
}

const SyntheticImage::Cursor& SyntheticImage::CursorOf(ImageSection section) const {
    return section == ImageSection::Text ? text_ : section == ImageSection::Rdata ? rdata_ : data_;
}

uint64_t SyntheticImage::Reserve(ImageSection section, size_t size, size_t alignment) {
    Cursor& c = const_cast<Cursor&>(CursorOf(section));
    const size_t a = alignment == 0 ? 1 : alignment;
    const size_t at = (c.used + a - 1) / a * a;
    if (section == ImageSection::Headers || base_ == 0 || at + size > c.size) {
        ADD_FAILURE() << "synthetic image: no room for " << size << " bytes in section " << int(section);
        return 0;
    }
    c.used = at + size;
    return c.start + at;
}

uint64_t SyntheticImage::Plant(ImageSection section, const std::vector<uint8_t>& bytes, size_t alignment) {
    const uint64_t at = Reserve(section, bytes.size(), alignment);
    if (at != 0) Write(at, bytes);
    return at;
}

uint64_t SyntheticImage::PlantCode(const std::vector<uint8_t>& bytes, size_t alignment) {
    return Plant(ImageSection::Text, bytes, alignment);
}

void SyntheticImage::WriteRipDisplacement(uint64_t instruction, size_t displacementOffset, size_t length,
                                          uint64_t target) {
    const int64_t displacement = static_cast<int64_t>(target - (instruction + length));
    const int32_t d32 = static_cast<int32_t>(displacement);
    EXPECT_EQ(d32, displacement) << "synthetic image: target out of rel32 reach";
    Write(instruction + displacementOffset, &d32, 4);
}

uint64_t SyntheticImage::PlantRipRelative(std::vector<uint8_t> bytes, size_t displacementOffset, uint64_t target,
                                          size_t alignment) {
    const uint64_t at = PlantCode(bytes, alignment);
    if (at != 0) WriteRipDisplacement(at, displacementOffset, bytes.size(), target);
    return at;
}

void SyntheticImage::Write(uint64_t address, const void* bytes, size_t size) {
    if (base_ == 0) return;
    // The pages written are made writable, then every page of them gets its
    // section's protection back (size 0: the whole image).
    uint64_t from = base_, to = base_ + size_;
    if (size != 0) {
        from = std::max<uint64_t>(base_, address & ~uint64_t(kPage - 1));
        to = std::min<uint64_t>(base_ + size_, (address + size + kPage - 1) & ~uint64_t(kPage - 1));
    }
    uint32_t old = 0;
    platform::ChangeProtection(from, to - from, platform::kPageReadWrite, &old);
    if (size != 0) std::memcpy(Ptr(address), bytes, size);
    const struct {
        uint64_t start, end;
        uint32_t protect;
    } sections[] = {{base_, base_ + kPage, platform::kPageReadOnly},
                    {text_.start, text_.start + text_.size, platform::kPageExecuteRead},
                    {rdata_.start, rdata_.start + rdata_.size, platform::kPageReadOnly},
                    {data_.start, data_.start + data_.size, platform::kPageReadWrite}};
    for (const auto& s : sections) {
        const uint64_t a = std::max(from, s.start), b = std::min(to, s.end);
        if (a < b) platform::ChangeProtection(a, b - a, s.protect, &old);
    }
}

void SyntheticImage::Clear(uint64_t address, size_t size) {
    const bool code = address >= text_.start && address < text_.start + text_.size;
    std::vector<uint8_t> filler(size, code ? 0xCC : 0x00);
    Write(address, filler);
}

std::vector<uint8_t> SyntheticImage::Bytes() const {
    std::vector<uint8_t> copy(size_);
    if (size_ != 0) std::memcpy(copy.data(), Ptr(base_), size_);
    return copy;
}

uint64_t SyntheticImage::PlantTimecycleBlock() {
    std::vector<uint8_t> bytes(runtime::kTimecycleBlockSize);
    for (size_t i = 0; i < bytes.size() / 4; ++i) Put(bytes.data() + 4 * i, static_cast<float>(i) + 0.25f);
    return Plant(ImageSection::Data, bytes, 16);
}

uint64_t SyntheticImage::PlantTimecycleSiteA(uint64_t block) {
    // f2 0f 10 0d d32    movsd  xmm1,QWORD PTR [rip+d32]
    // 0f c6 c9 e1        shufps xmm1,xmm1,0xe1
    // 66 48 0f 7e c8     movq   rax,xmm1
    const uint64_t at = PlantCode({0xF2, 0x0F, 0x10, 0x0D, 0, 0, 0, 0, 0x0F, 0xC6, 0xC9, 0xE1, 0x66, 0x48, 0x0F, 0x7E,
                                   0xC8});
    WriteRipDisplacement(at, 4, 8, block + runtime::kTimecycleSignatureField);
    return at;
}

uint64_t SyntheticImage::PlantTimecycleSiteB(uint64_t block, uint64_t secondField) {
    // +0  f3 0f 10 05 d32      movss  xmm0,DWORD PTR [rip+d32]
    // +8  eb 08                jmp    +8
    // +10 f3 0f 10 05 d32      movss  xmm0,DWORD PTR [rip+d32]
    // +18 88 c1                mov    cl,al
    // +20 f3 44 0f 10 05 d32   movss  xmm8,DWORD PTR [rip+d32]
    // +29 75 00                jne    +0
    // +31 f3 44 0f 59 05 d32   mulss  xmm8,DWORD PTR [rip+d32]
    const uint64_t at = PlantCode({0xF3, 0x0F, 0x10, 0x05, 0,    0,    0,    0,    0xEB, 0x08, 0xF3, 0x0F, 0x10, 0x05,
                                   0,    0,    0,    0,    0x88, 0xC1, 0xF3, 0x44, 0x0F, 0x10, 0x05, 0,    0,    0,
                                   0,    0x75, 0x00, 0xF3, 0x44, 0x0F, 0x59, 0x05, 0,    0,    0,    0});
    const uint64_t field = block + runtime::kTimecycleSignatureField;
    WriteRipDisplacement(at, 4, 8, field);
    WriteRipDisplacement(at + 10, 4, 8, field);
    WriteRipDisplacement(at + 20, 5, 9, field);
    WriteRipDisplacement(at + 31, 5, 9, block + secondField);
    return at;
}

uint64_t SyntheticImage::PlantLocatableTimecycleBlock() {
    const uint64_t block = PlantTimecycleBlock();
    PlantTimecycleSiteA(block);
    PlantTimecycleSiteB(block);
    return block;
}

uint64_t SyntheticImage::PlantSecondaryBlockSite(uint64_t target, int storeCount, bool repeatFirstStore) {
    // 4c 8d 25 d32   lea r12,[rip+d32]
    const uint64_t lea = PlantRipRelative({0x4C, 0x8D, 0x25, 0, 0, 0, 0}, 3, target);
    for (int i = 0; i < storeCount && i < runtime::kSecondaryBlockSignatureCount; ++i) {
        const runtime::SecondaryStoreSignature& s = runtime::SecondaryBlockSignatures[i];
        PlantCode(std::vector<uint8_t>(s.bytes, s.bytes + s.length));
        if (i == 0 && repeatFirstStore) PlantCode(std::vector<uint8_t>(s.bytes, s.bytes + s.length));
    }
    return lea;
}

uint64_t SyntheticImage::PlantLightningBlock() {
    std::vector<uint8_t> bytes(runtime::kVfxLightningBlockSize, 0);
    Put<uint32_t>(&bytes[24], 200);
    Put<float>(&bytes[28], 0.1f);
    const std::vector<uint8_t> run = FloatBytes({0.1f, 8.0f, 0.05f, 0.15f, 0.0f, 180.0f, 50.0f, 60.0f, 10.0f, 5.0f});
    std::memcpy(&bytes[64], run.data(), run.size());
    Put<uint32_t>(&bytes[64 + 16], 7);  // the one integer of the run
    Put<uint32_t>(&bytes[132], 0xFFA1D3FFu);
    Put<float>(&bytes[208], 8.0f);
    Put<uint32_t>(&bytes[312], 0xFF9CCAFFu);
    Put<uint32_t>(&bytes[316], 0xFF869EFCu);
    return Plant(ImageSection::Data, bytes, 16);
}

uint64_t SyntheticImage::PlantWatertuneBlock() {
    std::vector<uint8_t> bytes(runtime::kWatertuneBlockSize, 0);
    const std::vector<uint8_t> run =
        FloatBytes({0.04f, 0.05f, 1118.0f, 1.1f, 0.7f, 0.25f, 10.0f, 50.0f, 0.0f, 10.0f, 90.0f, 80.0f, 0.0f, 200.0f, 0.05f});
    std::memcpy(&bytes[4], run.data(), run.size());
    return Plant(ImageSection::Data, bytes, 16);
}

uint64_t SyntheticImage::PlantCoronasStore(uint64_t field) {
    // f3 0f 11 05 d32         movss  DWORD PTR [rip+d32],xmm0
    // 48 8d 15 d1 83 d4 01    lea    rdx,[rip+0x1d483d1]
    // 48 89 f1                mov    rcx,rsi
    // 0f 28 d6                movaps xmm2,xmm6
    // 41 b1 01                mov    r9b,0x1
    // e8 48 8a 0e 01          call   rel32
    // f3 0f 11 05 2c 5d 78 03 movss  DWORD PTR [rip+0x3785d2c],xmm0
    // 48 8d 15                lea    rdx,[rip+...] (its first three bytes)
    const uint64_t at = PlantCode({0xF3, 0x0F, 0x11, 0x05, 0, 0, 0, 0, 0x48, 0x8D, 0x15, 0xD1, 0x83, 0xD4,
                                   0x01, 0x48, 0x89, 0xF1, 0x0F, 0x28, 0xD6, 0x41, 0xB1, 0x01, 0xE8, 0x48,
                                   0x8A, 0x0E, 0x01, 0xF3, 0x0F, 0x11, 0x05, 0x2C, 0x5D, 0x78, 0x03, 0x48, 0x8D, 0x15});
    if (at != 0) WriteRipDisplacement(at, 4, 8, field);
    return at;
}

uint64_t SyntheticImage::PlantFilmicStores(uint64_t anchor) {
    // Three times (movaps xmm2,xmm9, then xmm10, then xmm8):
    // f3 0f 11 05 d32   movss  DWORD PTR [rip+d32],xmm0
    // 48 8d 15 d32      lea    rdx,[rip+d32]
    // 48 89 f1          mov    rcx,rsi
    // 41 0f 28 d1       movaps xmm2,xmm9
    // 41 b1 01          mov    r9b,0x1
    // e8 rel32          call   rel32
    // (the third ends after its movaps)
    std::vector<uint8_t> bytes;
    for (uint8_t source : {0xD1, 0xD2, 0xD0}) {
        const std::vector<uint8_t> one = {0xF3, 0x0F, 0x11, 0x05, 0, 0, 0, 0, 0x48, 0x8D, 0x15, 0x10, 0x20, 0x30, 0x00,
                                          0x48, 0x89, 0xF1, 0x41, 0x0F, 0x28, source, 0x41, 0xB1, 0x01, 0xE8, 0x40, 0x30,
                                          0x20, 0x00};
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.resize(82);
    const uint64_t at = PlantCode(bytes);
    if (at == 0) return 0;
    WriteRipDisplacement(at, 4, 8, anchor);
    WriteRipDisplacement(at + 30, 4, 8, anchor - 4);
    WriteRipDisplacement(at + 60, 4, 8, anchor - 8);
    return at;
}

uint64_t SyntheticImage::PlantPuddleStoreSequence() {
    // 48 8b 0d d32         mov    rcx,QWORD PTR [rip+d32]
    // 48 8d 54 24 40       lea    rdx,[rsp+0x40]
    // e8 rel32             call   rel32
    // 0f 28 44 24 40       movaps xmm0,XMMWORD PTR [rsp+0x40]
    // 0f 11 86 80 02 00 00 movups XMMWORD PTR [rsi+0x280],xmm0   <- the store site (+22)
    // 0f 28 44 24 50       movaps xmm0,XMMWORD PTR [rsp+0x50]
    // 0f 11 86 90 02 00 00 movups XMMWORD PTR [rsi+0x290],xmm0
    // 0f 28 44 24 60       movaps xmm0,XMMWORD PTR [rsp+0x60]
    // 0f 11 86 a0 02 00 00 movups XMMWORD PTR [rsi+0x2a0],xmm0
    const uint64_t at = PlantCode({0x48, 0x8B, 0x0D, 0x00, 0x10, 0x00, 0x00, 0x48, 0x8D, 0x54, 0x24, 0x40, 0xE8, 0xEF,
                                   0xFF, 0xFF, 0xFF, 0x0F, 0x28, 0x44, 0x24, 0x40, 0x0F, 0x11, 0x86, 0x80, 0x02, 0x00,
                                   0x00, 0x0F, 0x28, 0x44, 0x24, 0x50, 0x0F, 0x11, 0x86, 0x90, 0x02, 0x00, 0x00, 0x0F,
                                   0x28, 0x44, 0x24, 0x60, 0x0F, 0x11, 0x86, 0xA0, 0x02, 0x00, 0x00});
    return at + 22;
}

SyntheticHeap::SyntheticHeap(size_t size) : size_(RoundPages(size)) {
    // An inaccessible page on either side keeps the heap a region of its own:
    // the kernel merges neighbouring mappings of equal protection, which would
    // let a table at the heap's end run on into unrelated memory.
    const size_t page = platform::GetSystemMemoryInfo().pageSize;
    allocation_ = platform::AllocateAnywhere(size_ + 2 * page, platform::kPageReadWrite);
    if (allocation_ == 0) {
        ADD_FAILURE() << "synthetic heap: no memory for " << size_ << " bytes";
        return;
    }
    uint32_t old = 0;
    EXPECT_TRUE(platform::ChangeProtection(allocation_, page, platform::kPageNoAccess, &old) &&
                platform::ChangeProtection(allocation_ + page + size_, page, platform::kPageNoAccess, &old));
    base_ = allocation_ + page;
}

SyntheticHeap::~SyntheticHeap() {
    if (allocation_ != 0) platform::FreeMemory(allocation_);
}

uint64_t SyntheticHeap::PlantVisualSettingsTable(size_t offset, int mode, bool useAlternates) {
    const uint64_t table = base_ + offset;
    for (const runtime::VisualSettingsFingerprintRow& row : runtime::VisualSettingsFingerprint) {
        uint32_t value = row.defaultBits;
        if (mode != 0) value = row.guardBits;
        else if (useAlternates && row.alternateDefaultBits != 0) value = row.alternateDefaultBits;
        std::memcpy(Ptr(table + row.offset), &value, 4);
    }
    return table;
}

std::vector<uint8_t> U32Bytes(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out(values.size() * 4);
    for (size_t i = 0; i < values.size(); ++i) Put(out.data() + 4 * i, values.begin()[i]);
    return out;
}

std::vector<uint8_t> FloatBytes(std::initializer_list<float> values) {
    std::vector<uint8_t> out(values.size() * 4);
    for (size_t i = 0; i < values.size(); ++i) Put(out.data() + 4 * i, values.begin()[i]);
    return out;
}

}  // namespace testsupport
