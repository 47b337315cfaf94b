// Scan and export speed of the weather documents, on the largest real
// weather.xml (../shared/testdata/real/weather or $VARNEL_EXTRA_TESTDATA),
// or on a generated one when none is there. Reports bytes per second.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/testdata.h"
#include "support/weather_docs.h"
#include "weather/document_io.h"
#include "weather/weather_xml_model.h"
#include "weather/xml_scanner.h"

namespace {

struct Input {
    std::string text;
    std::string label;
};

const Input& LargestWeatherXml() {
    static const Input input = [] {
        Input in;
        uintmax_t best = 0;
        for (const std::string& file : testsupport::RealFiles("weather")) {
            if (std::filesystem::path(file).filename() != "weather.xml") continue;
            std::error_code ec;
            const uintmax_t size = std::filesystem::file_size(file, ec);
            if (ec || size <= best) continue;
            std::ifstream stream(file, std::ios::binary);
            std::ostringstream s;
            s << stream.rdbuf();
            in.text = s.str();
            in.label = file;
            best = size;
        }
        if (in.text.empty()) {
            in.text = testsupport::GenerateWeatherXml({});
            in.label = "generated weather.xml";
        }
        return in;
    }();
    return input;
}

void BM_ScanWeatherXml(benchmark::State& state) {
    const Input& input = LargestWeatherXml();
    std::vector<weather::XmlValueRecord> records;
    uint64_t warnings = 0;
    for (auto _ : state) {
        weather::ScanXmlValues(input.text, records, warnings);
        benchmark::DoNotOptimize(records.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.text.size()));
    state.SetLabel(input.label + ", " + std::to_string(records.size()) + " values");
}
BENCHMARK(BM_ScanWeatherXml);

// What a load does with the text: the scan and the weather.xml model.
void BM_ScanAndModelWeatherXml(benchmark::State& state) {
    const Input& input = LargestWeatherXml();
    std::vector<weather::XmlValueRecord> records;
    uint64_t warnings = 0;
    for (auto _ : state) {
        weather::ScanXmlValues(input.text, records, warnings);
        weather::FilterWeatherXmlLiveValues(input.text, records, warnings);
        benchmark::DoNotOptimize(records.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.text.size()));
    state.SetLabel(std::to_string(records.size()) + " model values");
}
BENCHMARK(BM_ScanAndModelWeatherXml);

// The splice writer with every model value edited (argument 1) or none (0).
void BM_ExportWeatherXml(benchmark::State& state) {
    const Input& input = LargestWeatherXml();
    weather::WeatherDocument document{"weather.xml", "Weather Settings", "Weather Settings"};
    document.sourceText = input.text;
    uint64_t warnings = 0;
    weather::ScanXmlValues(document.sourceText, document.values, warnings);
    weather::FilterWeatherXmlLiveValues(document.sourceText, document.values, warnings);
    if (state.range(0)) {
        for (weather::XmlValueRecord& value : document.values) value.currentText = "12.25";
    }
    std::string out;
    uint64_t edits = 0;
    for (auto _ : state) {
        weather::WriteMiscXml(out, document, edits);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.text.size()));
    state.SetLabel(std::to_string(edits) + " edits");
}
BENCHMARK(BM_ExportWeatherXml)->Arg(0)->Arg(1);

}  // namespace
