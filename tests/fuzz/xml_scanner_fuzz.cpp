// libFuzzer target of the weather documents' XML value scanner and the
// weather.xml model: whatever the input, every record's offsets select
// exactly its text, records never overlap, paths are unique, and splicing
// every record changes exactly those ranges.
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
