#include "timecycle/timecycle_numbers.h"

#include <cmath>

#include "core/file_utils.h"
#include "core/text.h"

namespace timecycle {

namespace {

std::string FormatWithDecimals(float value, int decimals) {
    const double eps = std::pow(10.0, -decimals);
    const double v = static_cast<double>(value);
    return core::FormatFixed(std::fabs(v) < eps / 2.0 ? 0.0 : v, decimals);
}

bool ReadsBackWithin(const std::string& text, float value) {
    size_t used = 0;
    float back = 0.0f;
    if (!core::ParseFloatPrefix(text, back, &used) || used != text.size()) return false;
    return std::fabs(static_cast<double>(back) - static_cast<double>(value)) <= 1e-5;
}

}  // namespace

std::string FormatLikeExisting(float value, std::string_view oldText) {
    int decimals = 4;
    const size_t point = oldText.find('.');
    if (point != std::string_view::npos && point + 1 < oldText.size()) {
        int count = 0;
        for (size_t i = point + 1; i < oldText.size() && core::IsDigitByte(static_cast<unsigned char>(oldText[i])); ++i)
            ++count;
        if (count > 0) decimals = count;
    }
    // A value that is no number has no text the game could read: keep the old one.
    if (!std::isfinite(value)) return std::string(oldText);
    std::string text = FormatWithDecimals(value, decimals);
    for (int more = decimals + 1; more <= 7 && !ReadsBackWithin(text, value); ++more)
        text = FormatWithDecimals(value, more);
    return text;
}

}  // namespace timecycle
