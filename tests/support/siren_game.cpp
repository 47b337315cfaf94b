#include "support/siren_game.h"

#include <cstring>

#include "platform/memory.h"

namespace testsupport {

const char* const kSirenNames[21] = {
    "0_unused",      "police/sheriff", "police3",         "fbiold",       "ambulance",        "police van",
    "policebike",    "firetruck",      "police old",      "orange_globes", "orange_lightbar", "foglights",
    "fbi",           "police dual lightbar", "riot2",     "pbus2",         "STD Lightbar",     "CNC Rotators",
    "2024_01 Sirens", "2024_01 Sirens2", "PolBati Lightbar",
};

namespace {

constexpr uint64_t kProfile = 1512;

uint32_t Next(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state;
}

void Put(uint8_t* at, const void* value, size_t n) { std::memcpy(at, value, n); }

}  // namespace

SirenMemory::SirenMemory(size_t size) : size_(size) {
    base_ = platform::AllocateAnywhere(size, platform::kPageReadWrite);
}

SirenMemory::~SirenMemory() {
    if (base_ != 0) platform::FreeMemory(static_cast<uintptr_t>(base_));
}

std::vector<uint64_t> PlantSirenNames(uint8_t* names, int misspell) {
    std::vector<uint64_t> where;
    uint8_t* p = names;
    for (int k = 0; k < 21; ++k) {
        const size_t n = std::strlen(kSirenNames[k]) + 1;
        std::memcpy(p, kSirenNames[k], n);
        if (k == misspell) p[0] = static_cast<uint8_t>(p[0] == 'x' ? 'y' : 'x');
        where.push_back(reinterpret_cast<uintptr_t>(p));
        p += (n + 7) & ~size_t(7);
    }
    return where;
}

std::vector<uint64_t> PlantUnusedSirenNames() {
    constexpr size_t kArenaBytes = 1u << 20;
    constexpr uint64_t kSlotBytes = 512;  // the names take 312 bytes
    // Never freed, so no later mapping takes its addresses. The slots begin
    // 8 bytes into 512: never at the start of a page, where the other tests
    // plant names in mappings of their own (one may have lain here before).
    static SirenMemory* arena = nullptr;
    static uint64_t next = 0;
    if (arena != nullptr) std::memset(arena->at(next - kSlotBytes), 0, kSlotBytes);
    if (arena == nullptr || next + kSlotBytes > kArenaBytes) {
        arena = new SirenMemory(kArenaBytes);
        next = 8;
    }
    if (!arena->ok()) {
        arena = nullptr;
        return {};
    }
    std::vector<uint64_t> names = PlantSirenNames(arena->at(next));
    next += kSlotBytes;
    return names;
}

void PlantSirenBlock(uint8_t* block, const std::vector<uint64_t>& names, uint32_t seed) {
    uint32_t state = seed;
    for (uint64_t k = 0; k < 21; ++k) {
        uint8_t* profile = block + k * kProfile;
        std::memset(profile, 0, kProfile);
        Put(profile, &names[k], 8);
        const float head[] = {1.0f + 0.01f * static_cast<float>(k), 25.0f, 3.0f, 10.0f, 40.0f, 0.05f};
        Put(profile + 12, head, sizeof head);
        const uint32_t bpm = 600 + static_cast<uint32_t>(k);
        Put(profile + 40, &bpm, 4);
        for (int i = 0; i < 4; ++i) {
            const uint32_t sequencer = Next(state);
            Put(profile + 44 + 4 * i, &sequencer, 4);
            profile[60 + i] = static_cast<uint8_t>(1 + i);
        }
        profile[64] = 1;
        for (uint64_t light = 0; light < 20; ++light) {
            uint8_t* l = profile + 72 + light * 72;
            const float rotation[] = {0.5f + 0.125f * static_cast<float>(light), 0.25f};
            Put(l, rotation, sizeof rotation);
            const uint32_t rotationSequencer = Next(state);
            Put(l + 8, &rotationSequencer, 4);
            l[12] = 1;
            l[13] = static_cast<uint8_t>(light & 1);
            l[14] = 1;
            const float flashiness[] = {0.75f, 0.0f, 2.0f + static_cast<float>(k)};
            Put(l + 16, flashiness, sizeof flashiness);
            const uint32_t flashSequencer = Next(state);
            Put(l + 28, &flashSequencer, 4);
            l[32] = 2;
            const float corona[] = {50.0f, 0.4f, 0.01f * static_cast<float>(light)};
            Put(l + 36, corona, sizeof corona);
            l[48] = 1;
            const uint32_t colour = light % 2 == 0 ? 0xFF0000FFu : 0xFFFF0000u;  // red or blue, opaque
            Put(l + 52, &colour, 4);
            const float intensity = 1.0f + 0.5f * static_cast<float>(light);
            Put(l + 56, &intensity, 4);
            l[60] = static_cast<uint8_t>(light % 3);
            l[61] = 3;
            l[62] = 1;
            l[63] = 0;
            l[64] = 1;
            l[65] = 1;
            l[66] = static_cast<uint8_t>(light == 0);
            l[67] = 0;
        }
    }
}

void PlantSirenDecoys(uint8_t* where, size_t size) {
    if (size < (256u << 10)) return;
    std::memset(where, 0, size);
    // Names in the decoy area: the real ones and one without its zero.
    std::vector<uint64_t> names = PlantSirenNames(where);
    std::memcpy(where + 1024, "0_unusedX", 9);
    std::memcpy(where + 1040, "orange_lightbarX", 16);
    uint8_t* words = where + 4096;
    // Lone anchor pointers, 8 bytes apart and at odd strides.
    for (int i = 0; i < 64; ++i) {
        const uint64_t anchor = names[static_cast<size_t>(i % 2 == 0 ? 0 : 13)];
        std::memcpy(words + i * 24, &anchor, 8);
    }
    const uint64_t unterminated = reinterpret_cast<uintptr_t>(where + 1024);
    const uint64_t unterminated2 = reinterpret_cast<uintptr_t>(where + 1040);
    std::memcpy(words + 2048, &unterminated, 8);
    std::memcpy(words + 2056, &unterminated2, 8);
    // A whole block whose profile 7 points at a misspelt name.
    std::vector<uint64_t> misspelt = PlantSirenNames(where + 2048, 7);
    PlantSirenBlock(where + 65536, misspelt, 3);
    // A block whose profile 20 has no name pointer.
    PlantSirenBlock(where + 131072, names, 5);
    std::memset(where + 131072 + 20 * kProfile, 0, 8);
    // Pointer-like filler: addresses inside the area that point at no name.
    uint32_t state = 99;
    for (size_t at = 196608; at + 8 <= size; at += 8) {
        const uint64_t p = reinterpret_cast<uintptr_t>(where) + (Next(state) % size);
        std::memcpy(where + at, &p, 8);
    }
}

std::string MakeCarcolsYmt(const CarcolsLayout& layout) {
    const uint64_t length = static_cast<uint64_t>(layout.records) * 2376;
    const uint64_t total = std::max<uint64_t>(layout.dataOffset + length + layout.trailingBytes, layout.entryOffset + 16);
    std::string file(total, '\0');
    uint32_t state = layout.fillSeed;
    for (char& c : file) c = static_cast<char>(Next(state) >> 24);
    auto be = [&file](uint64_t at, uint32_t v) {
        file[at] = static_cast<char>(v >> 24);
        file[at + 1] = static_cast<char>(v >> 16);
        file[at + 2] = static_cast<char>(v >> 8);
        file[at + 3] = static_cast<char>(v);
    };
    std::memcpy(file.data(), "PSIN", 4);
    // Keep the filler from forming the siren hash anywhere by chance.
    for (uint64_t at = 0; at + 4 <= total; ++at)
        if (BigEndianAt(file, at) == 0x84EB9B0D) file[at] = 0;
    be(layout.entryOffset, layout.hash);
    be(layout.entryOffset + 4,
       static_cast<uint32_t>(layout.offsetOverride >= 0 ? static_cast<uint64_t>(layout.offsetOverride) : layout.dataOffset));
    be(layout.entryOffset + 8, 0x00010000u);
    be(layout.entryOffset + 12, static_cast<uint32_t>(layout.lengthOverride >= 0 ? static_cast<uint64_t>(layout.lengthOverride) : length));
    for (uint32_t r = 0; r < layout.records; ++r) {
        uint32_t id = r;
        if (layout.swapIds >= 0 && r == static_cast<uint32_t>(layout.swapIds)) id = r + 1;
        if (layout.swapIds >= 0 && r == static_cast<uint32_t>(layout.swapIds) + 1) id = r - 1;
        file[layout.dataOffset + r * 2376 + 8] = static_cast<char>(id);
    }
    return file;
}

uint32_t BigEndianAt(const std::string& file, uint64_t at) {
    const auto* p = reinterpret_cast<const uint8_t*>(file.data()) + at;
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

}  // namespace testsupport
