// The fields of the game's 352-byte lightning settings block, by the value
// paths of vfxlightningsettings.xml. Paths compare exactly (case-sensitive).
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

namespace weather {

enum LightningFieldKind : uint32_t { kLightningFloat = 0, kLightningInteger = 1, kLightningColor = 2 };

struct LightningField {
    const char* path;
    uint32_t offset;  // in the game's lightning settings block; every field is 4 bytes
    LightningFieldKind kind;
};

inline constexpr uint32_t kLightningBlockSize = 352;
extern const std::array<LightningField, 68> LightningFieldTable;

// The row whose path equals path exactly, or nullptr.
const LightningField* FindLightningSetting(std::string_view path);

}  // namespace weather
