// libFuzzer target of the timecycle XML reader with its export: the load's
// reading of both regions, the one-pass element finder against the plain
// per-element search, and the splice export. Whatever the input:
// - an export without edits is the input byte for byte;
// - an edited value reads back as written (rounded to the decimals of the
//   number it replaced), and every other value the reader finds (in both
//   regions) is the same as before.
// The last two bytes of the input choose the edit (region, variable,
// keyframe) and its value; the rest is the file.
// Real seeds: timecycle
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "timecycle/timecycle_export.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_numbers.h"
#include "timecycle/xml_scan.h"

namespace {

using namespace timecycle;

void Require(bool condition) {
    if (!condition) std::abort();
}

// Values of every element that reads as 13 numbers, per region and variable
// (empty when it does not), and where each region's body starts.
struct FileValues {
    std::vector<std::vector<float>> rows = std::vector<std::vector<float>>(2 * kVariableCount);
    uint64_t bodyStart[2] = {~0ull, ~1ull};
};

FileValues ReadValues(std::string_view text, bool checkFinder) {
    FileValues values;
    std::vector<ValueToken> tokens;
    RegionText region;
    const char* const names[2] = {"GLOBAL", "URBAN"};
    for (int r = 0; r < 2; ++r) {
        ReadRegionText(text, names[r], region);
        if (!region.found) continue;
        values.bodyStart[r] = region.bodyStart;
        for (size_t i = 0; i < kVariableCount; ++i) {
            const ElementSpan& span = region.elements[i];
            uint64_t start = 0, end = 0;
            Require(!checkFinder || (FindElementText(text, region.bodyStart, region.bodyEnd, TimecycleVariableTable[i].xmlName,
                                                     start, end) == span.found &&
                                     start == (span.found ? span.start : 0) && end == (span.found ? span.end : 0)));
            if (!span.found || !ReadKeyframeValues(text.substr(span.start, span.end - span.start), tokens)) continue;
            for (const ValueToken& token : tokens) values.rows[r * kVariableCount + i].push_back(token.value);
        }
    }
    return values;
}

bool Same(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// The text of value k of a variable's element in a region (empty when the
// reader found none).
std::string_view OldToken(std::string_view text, int region, size_t variable, size_t keyframe) {
    RegionText found;
    ReadRegionText(text, region == 0 ? "GLOBAL" : "URBAN", found);
    std::vector<ValueToken> tokens;
    if (!found.found || !found.elements[variable].found) return {};
    const ElementSpan& span = found.elements[variable];
    const std::string_view element = text.substr(span.start, span.end - span.start);
    if (!ReadKeyframeValues(element, tokens) || keyframe >= tokens.size()) return {};
    return element.substr(tokens[keyframe].start, tokens[keyframe].end - tokens[keyframe].start);
}

// Within half a unit of the last written decimal (and the float's own rounding).
bool ReadsBackRounded(float got, float value, int decimals) {
    const double unit = std::pow(10.0, -decimals);
    return std::fabs(static_cast<double>(got) - static_cast<double>(value)) <=
           unit * 0.5000001 + std::fabs(static_cast<double>(value)) * 1.2e-7;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t choice = data[size - 2];
    const uint8_t amount = data[size - 1];
    const std::string_view text(reinterpret_cast<const char*>(data), size - 2);
    // The plain search runs once per variable: only on small inputs.
    const FileValues before = ReadValues(text, text.size() <= 8192);

    std::string out;
    uint64_t parameters = 0, values = 0;
    KeyframeEditMap global, urban;
    MergeTimecycleRegions(out, text, global, urban, parameters, values);
    Require(out == text && values == 0);

    // One edit of a value the reader found: region, then the first loaded
    // variable at or after the chosen one.
    const int region = choice & 1;
    const size_t first = (choice >> 1) * kVariableCount / 128;
    size_t variable = kVariableCount;
    for (size_t n = 0; n < kVariableCount && variable == kVariableCount; ++n) {
        const size_t i = (first + n) % kVariableCount;
        if (!before.rows[region * kVariableCount + i].empty()) variable = i;
    }
    if (variable == kVariableCount) return 0;
    const size_t keyframe = amount % kKeyframeCount;
    const float old = before.rows[region * kVariableCount + variable][keyframe];
    const float value = old + (static_cast<float>(amount) - 127.5f) * 0.37f;
    if (!std::isfinite(value)) return 0;
    const int decimals = DecimalsLikeExisting(OldToken(text, region, variable, keyframe));
    KeyframeEditRecord& record = (region == 0 ? global : urban)[TimecycleVariableTable[variable].xmlName];
    record.values[keyframe] = value;
    record.written[keyframe] = 1;
    MergeTimecycleRegions(out, text, global, urban, parameters, values);
    Require(values == 1 && parameters == 1);

    // A tag naming both regions makes them one section: the edit shows in both.
    const bool shared = before.bodyStart[0] == before.bodyStart[1];
    const FileValues after = ReadValues(out, false);
    for (size_t row = 0; row < after.rows.size(); ++row) {
        Require(after.rows[row].size() == before.rows[row].size());
        const bool editedRow = row % kVariableCount == variable && (shared || row / kVariableCount == size_t(region));
        for (size_t k = 0; k < after.rows[row].size(); ++k) {
            if (editedRow && k == keyframe) {
                Require(ReadsBackRounded(after.rows[row][k], value, decimals));
            } else {
                Require(Same(after.rows[row][k], before.rows[row][k]));
            }
        }
    }
    return 0;
}
