// Small text rules of the weather documents: ASCII case-insensitive equality
// and the C library's atof/atoi semantics with explicit widths, independent
// of the C locale (the same result on Windows and Linux).
#pragma once
#include <cstdint>
#include <limits>
#include <string_view>

#include "core/file_utils.h"
#include "core/text.h"

namespace weather {

using core::EqualsNoCase;

inline bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// atof: the number at the start of the text (after white space), 0 when none.
inline double LenientDouble(std::string_view text) {
    double value = 0.0;
    return core::ParseDoublePrefix(text, value) ? value : 0.0;
}

// atoi into 32 bits: the decimal number at the start of the text, 0 when
// none; beyond the 32-bit range it saturates at the bound.
inline int32_t LenientInt32(std::string_view text) {
    int64_t value = 0;
    if (!core::ParseIntPrefix(text, value)) return 0;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace weather
