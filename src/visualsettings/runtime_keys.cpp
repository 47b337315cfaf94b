#include "visualsettings/runtime_keys.h"

#include <cstring>

namespace visualsettings {

std::span<const RuntimeSliderKey> RuntimeSliderKeys() { return detail::kRuntimeSliderKeys; }

std::span<const RuntimeSliderKey> RuntimePatternKeys() {
    return RuntimeSliderKeys().first(kRuntimePatternKeyCount);
}

std::span<const RuntimeSliderKey> RuntimeReferenceKeys() {
    return RuntimeSliderKeys().subspan(kRuntimePatternKeyCount + kRuntimePlainKeyCount);
}

const RuntimeSliderKey* FindRuntimeSliderKey(const char* key) {
    if (key == nullptr) return nullptr;
    for (const RuntimeSliderKey& row : detail::kRuntimeSliderKeys) {
        if (std::strcmp(row.key, key) == 0) return &row;
    }
    return nullptr;
}

}  // namespace visualsettings
