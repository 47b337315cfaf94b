#include "stand_in_sirens.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kProfiles = 21, kProfileBytes = 1512, kHeadBytes = 72, kLights = 20, kLightBytes = 72;
constexpr size_t kBlockBytes = kProfiles * kProfileBytes;  // 31,752
// The region: the block 256 bytes in, the names from 32 KiB on.
constexpr size_t kRegionBytes = 0x10000, kBlockAt = 0x100, kNamesAt = 0x8000;

// The game's names of its siren profiles, in the block's order.
const char* const kNames[kProfiles] = {
    "0_unused",     "police/sheriff",  "police3",         "fbiold",
    "ambulance",    "police van",      "policebike",      "firetruck",
    "police old",   "orange_globes",   "orange_lightbar", "foglights",
    "fbi",          "police dual lightbar", "riot2",      "pbus2",
    "STD Lightbar", "CNC Rotators",    "2024_01 Sirens",  "2024_01 Sirens2",
    "PolBati Lightbar",
};

volatile unsigned char* g_block = nullptr;
uint64_t g_namePointers[kProfiles] = {};
// The game's bytes of the block with the name pointers left 0: a copy with
// them would be a second block to a search.
std::vector<unsigned char> g_original(kBlockBytes);

void PutFloat(size_t at, float value) { std::memcpy(g_original.data() + at, &value, 4); }
void PutU32(size_t at, uint32_t value) { std::memcpy(g_original.data() + at, &value, 4); }
void PutByte(size_t at, unsigned value) { g_original[at] = static_cast<unsigned char>(value); }

void FillProfile(size_t p) {
    const size_t head = p * kProfileBytes;
    PutU32(head + 8, static_cast<uint32_t>(p));
    PutFloat(head + 12, 1.0f);  // timeMultiplier
    PutFloat(head + 16, 15.0f + static_cast<float>(p));
    PutFloat(head + 20, 55.0f);
    PutFloat(head + 24, 2.3f);
    PutFloat(head + 28, 70.0f);
    PutFloat(head + 32, 0.05f);
    PutU32(head + 40, 600);  // sequencerBpm
    PutU32(head + 44, 0x55555555u);
    PutU32(head + 48, 0xAAAAAAAAu);
    PutU32(head + 52, 0x55555555u);
    PutU32(head + 56, 0xAAAAAAAAu);
    PutByte(head + 60, 2);
    PutByte(head + 61, 2);
    PutByte(head + 62, 1);
    PutByte(head + 63, 1);
    PutByte(head + 64, 1);  // useRealLights
    for (size_t i = 0; i < kLights; ++i) {
        const size_t light = head + kHeadBytes + i * kLightBytes;
        const bool odd = i % 2 != 0;
        PutFloat(light + 0, 0.0f);  // rotation
        PutFloat(light + 4, odd ? 3.14159f : 0.0f);
        PutU32(light + 8, odd ? 0x0F0F0F0Fu : 0xF0F0F0F0u);
        PutByte(light + 12, 1);
        PutByte(light + 14, 1);
        PutFloat(light + 16, 3.14159f);  // flashiness
        PutFloat(light + 24, 1.0f);
        PutU32(light + 28, odd ? 0xAAAAAAAAu : 0x55555555u);
        PutByte(light + 32, 1);
        PutByte(light + 33, 1);
        PutByte(light + 34, 1);
        PutFloat(light + 36, 50.0f);  // corona
        PutFloat(light + 40, 1.0f);
        PutFloat(light + 44, 0.15f);
        PutU32(light + 52, odd ? 0xFFFF0000u : 0xFF0000FFu);  // blue or red, opaque
        PutFloat(light + 56, 1.0f);
        PutByte(light + 60, static_cast<unsigned>(i / 5));  // lightGroup
        PutByte(light + 61, 2);
        PutByte(light + 62, 1);
        PutByte(light + 64, 1);
        PutByte(light + 65, 1);
        PutByte(light + 66, odd ? 1 : 0);
    }
}

// The game's byte at offset o of the block.
unsigned char OriginalByte(size_t o) {
    const size_t inProfile = o % kProfileBytes;
    if (inProfile >= 8) return g_original[o];
    unsigned char pointer[8];
    std::memcpy(pointer, &g_namePointers[o / kProfileBytes], 8);
    return pointer[inProfile];
}

}  // namespace

void StandInSirensStart() {
    auto* region = static_cast<unsigned char*>(VirtualAlloc(nullptr, kRegionBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (region == nullptr) return;
    size_t at = kNamesAt;
    for (size_t p = 0; p < kProfiles; ++p) {
        const size_t n = std::strlen(kNames[p]) + 1;
        std::memcpy(region + at, kNames[p], n);
        g_namePointers[p] = reinterpret_cast<uintptr_t>(region + at);
        at += n;
        FillProfile(p);
    }
    // Written in place, a profile at a time: the whole block is never
    // copied anywhere else.
    g_block = region + kBlockAt;
    for (size_t p = 0; p < kProfiles; ++p) {
        auto* profile = const_cast<unsigned char*>(g_block) + p * kProfileBytes;
        std::memcpy(profile + 8, g_original.data() + p * kProfileBytes + 8, kProfileBytes - 8);
        std::memcpy(profile, &g_namePointers[p], 8);
    }
}

void StandInSirensStatus(std::map<std::string, uint64_t>& values) {
    values["siren_block"] = g_block != nullptr;
    if (g_block == nullptr) return;
    uint64_t changed = 0, first = 0, last = 0;
    for (size_t o = 0; o < kBlockBytes; ++o) {
        if (g_block[o] == OriginalByte(o)) continue;
        if (changed++ == 0) first = o;
        last = o;
    }
    values["siren_bytes_changed"] = changed;
    values["siren_changed_first"] = first;
    values["siren_changed_last"] = last;
    float timeMultiplier;
    unsigned char bytes[4];
    for (size_t i = 0; i < 4; ++i) bytes[i] = g_block[12 * kProfileBytes + 12 + i];
    std::memcpy(&timeMultiplier, bytes, 4);
    values["siren_time_multiplier_milli"] =
        timeMultiplier > 0.0f && timeMultiplier < 1e6f ? static_cast<uint64_t>(timeMultiplier * 1000.0f + 0.5f) : 0;
}
