#include "timecycle/timecycle_numbers.h"

#include <algorithm>
#include <cmath>

#include "core/file_utils.h"
#include "core/text.h"

namespace timecycle {

namespace {

// The most digits after the point core::FormatFixed writes.
constexpr int kMostDecimals = 60;

std::string FormatWithDecimals(float value, int decimals) {
    const double eps = std::pow(10.0, -decimals);
    const double v = static_cast<double>(value);
    return core::FormatFixed(std::fabs(v) < eps / 2.0 ? 0.0 : v, decimals);
}

}  // namespace

int DecimalsLikeExisting(std::string_view oldText) {
    const size_t point = oldText.find('.');
    if (point == std::string_view::npos) return 4;
    int count = 0;
    for (size_t i = point + 1; i < oldText.size() && core::IsDigitByte(static_cast<unsigned char>(oldText[i])); ++i)
        ++count;
    return count > 0 ? std::min(count, kMostDecimals) : 4;
}

std::string FormatLikeExisting(float value, std::string_view oldText) {
    // A value that is no number has no text the game could read: keep the old one.
    if (!std::isfinite(value)) return std::string(oldText);
    return FormatWithDecimals(value, DecimalsLikeExisting(oldText));
}

}  // namespace timecycle
