// libFuzzer target of the weather documents' XML value scanner and the
// weather.xml model: whatever the input, every record's offsets select
// exactly its text, records never overlap, paths are unique, and splicing
// every record changes exactly those ranges. A value edited as the editor
// edits it reads back: a new scan of the written text finds the same
// records, the edited one with its new text and every other as it was
// (eight values, each edited alone, from one the input picks).
// Real seeds: weather watertune vfxlightning
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "support/weather_docs.h"
#include "weather/document_io.h"
#include "weather/weather_xml_model.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckRecords(std::string_view text, const std::vector<weather::XmlValueRecord>& records) {
    Require(testsupport::RecordsFault(text, records).empty());
    // A marker spliced into every value changes exactly those ranges.
    weather::WeatherDocument document{"watertune.xml", "Watertune", "Water"};
    document.sourceText.assign(text);
    document.values = records;
    for (weather::XmlValueRecord& r : document.values) r.currentText = r.originalText + "9";
    std::string out;
    uint64_t edits = 0;
    weather::WriteMiscXml(out, document, edits);
    Require(edits == records.size() && out == testsupport::Spliced(text, document.values));
}

// Edits one record (a number, as a user types one) and scans the written
// text again.
void CheckEditReadsBack(std::string_view text, const std::vector<weather::XmlValueRecord>& records, size_t index) {
    weather::WeatherDocument document{"watertune.xml", "Watertune", "Water"};
    document.sourceText.assign(text);
    document.values = records;
    const std::string edited = records[index].originalText == "7.25" ? "-0.5" : "7.25";
    std::string status;
    Require(weather::SetWeatherValueText(document, index, edited, status));
    std::string out;
    uint64_t edits = 0;
    weather::WriteMiscXml(out, document, edits);
    std::vector<weather::XmlValueRecord> after;
    uint64_t warnings = 0;
    weather::ScanXmlValues(out, after, warnings);
    Require(after.size() == records.size());
    for (size_t i = 0; i < after.size(); ++i) {
        Require(after[i].path == records[i].path);
        Require(after[i].originalText == (i == index ? edited : records[i].originalText));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<weather::XmlValueRecord> records;
    uint64_t warnings = 0;
    Require(weather::ScanXmlValues(text, records, warnings) == !records.empty());
    CheckRecords(text, records);
    if (!records.empty()) {
        const size_t pick = size_t(data[size - 1]) << 8 | data[size / 2];
        for (size_t n = 0; n < 8 && n < records.size(); ++n) CheckEditReadsBack(text, records, (pick + n) % records.size());
    }
    weather::FilterWeatherXmlLiveValues(text, records, warnings);
    CheckRecords(text, records);
    return 0;
}
