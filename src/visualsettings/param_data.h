// The fixed descriptions of the visualsettings parameters and of the
// runtime slider keys: rows generated in the build from
// src/visualsettings/data (tools/gen_visualsettings_tables.py). Read-only.
#pragma once
#include <cstddef>
#include <cstdint>

namespace visualsettings {

inline constexpr size_t kParamArrayCount = 55;
inline constexpr size_t kParamRowCount = 1306;
inline constexpr size_t kMaxExtraTargets = 8;
inline constexpr size_t kRuntimeSliderKeyCount = 89;
// The first rows of the runtime slider keys: the seven that identify the
// game's runtime table, then a table of 37 and one of 45.
inline constexpr size_t kRuntimePatternKeyCount = 7;
inline constexpr size_t kRuntimePlainKeyCount = 37;

// How the game stores a value, and how a file value becomes a game value.
enum class ValueKind : int32_t {
    Float = 0,
    UnsignedInt = 1,  // rounded, clamped to 0 .. 0xFFFFFFFF
    BoolByte = 2,     // one byte, 1 from 0.5 on
    Bool32 = 3,       // 32-bit 0 or 1
    Red = 4,          // bits 16-23 of a packed 32-bit colour, 0..1 as 0..255
    Green = 5,        // bits 8-15
    Blue = 6,         // bits 0-7
};
enum class UnitConversion : int32_t {
    None = 0,
    Degrees = 1,      // degrees in the file, radians in the game
    Thousandths = 2,  // the game holds 1000 times the file's value
};

// One parameter as the data gives it. A default or target the data does not
// give (left to the game build) is marked not given; an extra target the
// data does not give is 0 (no write goes there).
struct ParamDef {
    const char* key;
    uint8_t array;  // 1 .. 55, in walk order
    bool defaultGiven;
    float defaultValue;
    float minimum;  // minimum and maximum both 0: no range
    float maximum;
    int32_t kind;  // ValueKind
    int32_t unit;  // UnitConversion
    bool targetGiven;
    uint64_t target;  // a runtime::LiveHandle, or an offset from the array's base; 0 = no location
    uint8_t extraCount;
    uint64_t extraTargets[kMaxExtraTargets];
    bool preset;     // loaded and applied at start
    bool recapture;  // the game's first value read replaces the given default once
};

// A key whose game value lives in the game's runtime table, at offset from
// its base; the bit patterns of the values the table holds by default
// (alternateDefaultBits 0 = none) and of the guard values (pattern rows
// only; the reference table gives defaultBits alone).
struct RuntimeSliderKey {
    const char* key;
    uint64_t offset;
    uint32_t defaultBits;
    uint32_t alternateDefaultBits;
    uint32_t bits;
};

namespace detail {
extern const ParamDef kParamSpecs[kParamRowCount];
extern const RuntimeSliderKey kRuntimeSliderKeys[kRuntimeSliderKeyCount];
}  // namespace detail

}  // namespace visualsettings
