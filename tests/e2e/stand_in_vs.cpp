#include "stand_in_vs.h"

#include <cstddef>

namespace {
// The coronas block: the fields the editor binds start 0xCC18 bytes in (39
// floats); the filmic block: the dark curve's eight floats, then the
// bright curve's, whose last (exposure) is what the signature's first store
// writes.
constexpr size_t kCoronasFirst = 0xCC18 / 4;
constexpr size_t kCoronasFloats = kCoronasFirst + 64;
constexpr size_t kFilmicFloats = 32;
constexpr float kCoronasValue = 1.25f;
constexpr float kFilmicValue = 0.75f;
constexpr size_t kTrafficFloats = 48;
constexpr size_t kTrafficHead = 8;
constexpr float kTrafficValue = 0.5f;
// The traffic-light colour vectors' floats: 0x30 (near, not applicable) and 0x50 to 0x9C.
bool TrafficColorFloat(size_t i) { return (i >= 0x30 / 4 && i < 0x40 / 4) || (i >= 0x50 / 4 && i < 0xA0 / 4); }
}  // namespace

extern "C" {
alignas(64) float vrn_vs_coronas[kCoronasFloats];
alignas(64) float vrn_vs_filmic[kFilmicFloats];
// The traffic-light block, found by the values at its head (its only copy
// in the image: initialised data). Its colour vectors (four floats each)
// lie at 0x30 and from 0x50 to 0x9C; the rest of it is kTrafficValue.
alignas(64) float vrn_vs_traffic[kTrafficFloats] = {1.75f, 1.5f, 4.0f, 0.1f, 10.0f, 10.0f, 1.5f, 0.0f};
}

// The two signatures, in the section of the game's code: the first store of
// the coronas settings (into the block's first field) with the instructions
// that follow it, and the filmic curve's three stores (the first into the
// bright exposure field, 88 bytes into the block). Never run.
asm(R"(
    .section .vrnsite,"xr"
    .intel_syntax noprefix
    .balign 16
vrn_vs_coronas_signature:
    movss DWORD PTR [rip + vrn_vs_coronas + 0xCC18], xmm0
    .byte 0x48, 0x8D, 0x15, 0xD1, 0x83, 0xD4, 0x01, 0x48, 0x89, 0xF1, 0x0F, 0x28
    .byte 0xD6, 0x41, 0xB1, 0x01, 0xE8, 0x48, 0x8A, 0x0E, 0x01, 0xF3, 0x0F, 0x11
    .byte 0x05, 0x2C, 0x5D, 0x78, 0x03, 0x48, 0x8D, 0x15, 0x00, 0x00, 0x00, 0x00
    ret
    .balign 16
vrn_vs_filmic_signature:
    movss DWORD PTR [rip + vrn_vs_filmic + 88], xmm0
    .byte 0x48, 0x8D, 0x15, 0x00, 0x00, 0x00, 0x00, 0x48, 0x89, 0xF1, 0x41, 0x0F, 0x28
    .byte 0xD1, 0x41, 0xB1, 0x01, 0xE8, 0x00, 0x00, 0x00, 0x00
    .byte 0xF3, 0x0F, 0x11, 0x05, 0x00, 0x00, 0x00, 0x00
    .byte 0x48, 0x8D, 0x15, 0x00, 0x00, 0x00, 0x00, 0x48, 0x89, 0xF1, 0x41, 0x0F, 0x28
    .byte 0xD2, 0x41, 0xB1, 0x01, 0xE8, 0x00, 0x00, 0x00, 0x00
    .byte 0xF3, 0x0F, 0x11, 0x05, 0x00, 0x00, 0x00, 0x00
    .byte 0x48, 0x8D, 0x15, 0x00, 0x00, 0x00, 0x00, 0x48, 0x89, 0xF1, 0x41, 0x0F, 0x28, 0xD0
    ret
    .att_syntax prefix
    .text
)");

void StandInVisualSettingsStart() {
    for (float& v : vrn_vs_coronas) v = kCoronasValue;
    for (float& v : vrn_vs_filmic) v = kFilmicValue;
    for (size_t i = kTrafficHead; i < kTrafficFloats; ++i) vrn_vs_traffic[i] = kTrafficValue;
}

void StandInVisualSettingsStatus(std::map<std::string, uint64_t>& values) {
    uint64_t changed = 0;
    for (const float v : vrn_vs_coronas) changed += v != kCoronasValue;
    for (const float v : vrn_vs_filmic) changed += v != kFilmicValue;
    values["vs_fields_changed"] = changed;
    uint64_t dark = 0, other = 0;
    for (size_t i = kTrafficHead; i < kTrafficFloats; ++i) {
        if (TrafficColorFloat(i)) dark += vrn_vs_traffic[i] == 0.0f;
        else other += vrn_vs_traffic[i] != kTrafficValue;
    }
    values["vs_traffic_colors_dark"] = dark;
    values["vs_traffic_others_changed"] = other;
    const float size = vrn_vs_coronas[kCoronasFirst];
    values["vs_coronas_size_milli"] = size > 0.0f ? static_cast<uint64_t>(size * 1000.0f + 0.5f) : 0;
    const float intensity = vrn_vs_coronas[kCoronasFirst + 1];
    values["vs_coronas_intensity_milli"] = intensity > 0.0f ? static_cast<uint64_t>(intensity * 1000.0f + 0.5f) : 0;
}
