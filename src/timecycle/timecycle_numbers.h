// Number texts written into the timecycle files.
#pragma once
#include <string>
#include <string_view>

namespace timecycle {

// The value as text with as many digits after the point as the old number
// text has directly after its first point (4 when it has none), rounded to
// them, so that a written file keeps the look of its source. A value that
// rounds to zero is written as an unsigned zero; infinity and NaN keep the
// old text. Independent of the C locale.
std::string FormatLikeExisting(float value, std::string_view oldText);
// The number of digits after the point FormatLikeExisting writes over
// oldText (at most 60).
int DecimalsLikeExisting(std::string_view oldText);

}  // namespace timecycle
