// The weather documents in the game on one frame: every loaded document
// (watertune.xml, vfxlightningsettings.xml, weather.xml with its 24 effects,
// the 24 render files) applied to its blocks in a synthetic image and read
// back, once their blocks are found. "Unchanged" applies documents whose
// values did not change since the last frame; "OneEditEach" edits one value
// of every document first (every conversion made again). The peer is a
// plain copy of as many bytes as the game's blocks hold, in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/simulated.h"
#include "support/synthetic_image.h"
#include "support/weather_game.h"
#include "weather/document_io.h"
#include "weather/document_live.h"
#include "weather/live_state.h"

namespace {

using namespace weather;

struct Setup {
    testsupport::SyntheticImage image;
    testsupport::WeatherGame game;
    bool ok = true;
    Setup() {
        ResetWeatherLiveState();
        ReleaseWeatherDocuments();
        game = testsupport::PlantAndLoadEveryDocument(image);
        ok = ApplyAll();
    }
    ~Setup() {
        ResetWeatherLiveState();
        ReleaseWeatherDocuments();
    }
    static bool ApplyAll() {
        std::string status;
        bool all = true;
        for (WeatherDocument& d : WeatherDocuments.WeatherDocumentRegistry) all = ApplyDocumentLive(d, status) && all;
        return all;
    }
};

void BM_ApplyEveryDocumentUnchanged(benchmark::State& state) {
    Setup setup;
    if (!setup.ok) state.SkipWithError("a document did not apply");
    for (auto _ : state) benchmark::DoNotOptimize(Setup::ApplyAll());
}

void BM_ApplyEveryDocumentOneEditEach(benchmark::State& state) {
    Setup setup;
    if (!setup.ok) state.SkipWithError("a document did not apply");
    std::string status;
    int n = 0;
    for (auto _ : state) {
        const std::string text = std::to_string(++n % 7 + 1) + ".25";
        for (WeatherDocument& d : WeatherDocuments.WeatherDocumentRegistry) {
            size_t i = 0;
            while (i < d.values.size() && d.values[i].kind != kXmlValueFloat) ++i;
            SetWeatherValueText(d, i, text, status);
        }
        benchmark::DoNotOptimize(Setup::ApplyAll());
    }
}

// Reading and writing as many bytes as the documents' blocks hold.
void BM_PeerCopyOfTheBlocksBytes(benchmark::State& state) {
    const size_t bytes = 80 + 352 + 17 * 196 + 24 * (188 + 8);
    std::vector<uint8_t> from(bytes, 1), to(bytes), back(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        std::memcpy(back.data(), to.data(), bytes);
        benchmark::DoNotOptimize(std::memcmp(back.data(), from.data(), bytes));
    }
}

BENCHMARK(BM_ApplyEveryDocumentUnchanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ApplyEveryDocumentOneEditEach)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PeerCopyOfTheBlocksBytes)->Unit(benchmark::kMicrosecond);

}  // namespace
