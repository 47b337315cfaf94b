// Generated weather-family documents for the tests and the benchmarks:
// weather.xml and weather render files in the game's layout; and the checks
// every scan of a text must pass (header-only, for the fuzz target too).
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "weather/xml_scanner.h"

namespace testsupport {

enum class LineEnding { Lf, CrLf, Cr, Mixed };

struct WeatherXmlOptions {
    LineEnding lineEnding = LineEnding::CrLf;
    bool bom = false;
    uint32_t seed = 1;  // varies the value texts
};

// A weather.xml with every field the model knows for each of the 17 weathers
// (and the fields it doesn't, and commented-out ones), the 24 effects and a
// WeatherCycles section.
std::string GenerateWeatherXml(const WeatherXmlOptions& options);

// A rage__ptxgpuDropRenderSettings document with every mapped field (vector
// fields as x/y/z/w attributes, scalars as value attributes) plus a few
// unmapped elements; the seed varies values, spacing and quoting.
std::string GenerateRenderDocument(uint32_t seed, LineEnding lineEnding = LineEnding::CrLf, bool bom = false);

// What is wrong with the records a scan made of source, "" when nothing: a
// range beyond the text or not selecting exactly its original text, a current
// text other than the original, two ranges overlapping, a path made twice.
inline std::string RecordsFault(std::string_view source, const std::vector<weather::XmlValueRecord>& records) {
    std::vector<const weather::XmlValueRecord*> sorted;
    for (const weather::XmlValueRecord& r : records) {
        if (r.startOffset > r.endOffset || r.endOffset > source.size() ||
            source.substr(r.startOffset, r.endOffset - r.startOffset) != r.originalText)
            return r.path + ": range is not its text";
        if (r.currentText != r.originalText) return r.path + ": current text is not the original";
        sorted.push_back(&r);
    }
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->startOffset < b->startOffset; });
    for (size_t i = 1; i < sorted.size(); ++i)
        if (sorted[i]->startOffset < sorted[i - 1]->endOffset) return sorted[i]->path + ": overlaps";
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->path < b->path; });
    for (size_t i = 1; i < sorted.size(); ++i)
        if (sorted[i]->path == sorted[i - 1]->path) return sorted[i]->path + ": made twice";
    return {};
}

// The source with the current text of each record (none overlapping) in
// place of its range.
inline std::string Spliced(std::string_view source, const std::vector<weather::XmlValueRecord>& records) {
    std::vector<const weather::XmlValueRecord*> sorted;
    for (const weather::XmlValueRecord& r : records) sorted.push_back(&r);
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->startOffset < b->startOffset; });
    std::string text;
    size_t cursor = 0;
    for (const weather::XmlValueRecord* r : sorted) {
        text.append(source, cursor, r->startOffset - cursor);
        text += r->currentText;
        cursor = r->endOffset;
    }
    return text.append(source, cursor, std::string_view::npos);
}

}  // namespace testsupport
