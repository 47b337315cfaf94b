// Number texts written into the timecycle files.
#pragma once
#include <string>
#include <string_view>

namespace timecycle {

// The value as text with as many digits after the point as the old number
// text has (4 when it has none). When that many digits would not read back
// within 1e-5 of the value, more are used, up to 7. A value that rounds to
// zero is written as an unsigned zero; infinity and NaN keep the old text.
// Independent of the C locale.
std::string FormatLikeExisting(float value, std::string_view oldText);

}  // namespace timecycle
