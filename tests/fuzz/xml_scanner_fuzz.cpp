// libFuzzer target of the weather documents' XML value scanner and the
// weather.xml model: whatever the input, every record's offsets select
// exactly its text, records never overlap, and splicing every record
// changes exactly those ranges.
// Real seeds: weather watertune vfxlightning
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "weather/document_io.h"
#include "weather/weather_xml_model.h"
#include "weather/xml_scanner.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckRecords(std::string_view text, const std::vector<weather::XmlValueRecord>& records) {
    uint64_t lastEnd = 0;
    std::vector<const weather::XmlValueRecord*> sorted;
    for (const weather::XmlValueRecord& r : records) {
        Require(r.startOffset <= r.endOffset && r.endOffset <= text.size());
        Require(text.substr(r.startOffset, r.endOffset - r.startOffset) == r.originalText);
        Require(r.currentText == r.originalText);
        sorted.push_back(&r);
    }
    std::sort(sorted.begin(), sorted.end(), [](const auto* a, const auto* b) { return a->startOffset < b->startOffset; });
    for (const weather::XmlValueRecord* r : sorted) {
        Require(r->startOffset >= lastEnd);
        lastEnd = r->endOffset;
    }
    // Splice a marker into every value and rebuild the expected text by hand.
    weather::WeatherDocument document{"watertune.xml", "Watertune", "Water"};
    document.sourceText.assign(text);
    document.values = records;
    for (weather::XmlValueRecord& r : document.values) r.currentText = r.originalText + "9";
    std::string out;
    uint64_t edits = 0;
    weather::WriteMiscXml(out, document, edits);
    Require(edits == records.size());
    std::string expected;
    uint64_t cursor = 0;
    for (const weather::XmlValueRecord* r : sorted) {
        expected.append(text.substr(cursor, r->startOffset - cursor));
        expected += r->originalText + "9";
        cursor = r->endOffset;
    }
    expected.append(text.substr(cursor));
    Require(out == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<weather::XmlValueRecord> records;
    uint64_t warnings = 0;
    Require(weather::ScanXmlValues(text, records, warnings) == !records.empty());
    CheckRecords(text, records);
    weather::FilterWeatherXmlLiveValues(text, records, warnings);
    CheckRecords(text, records);
    return 0;
}
