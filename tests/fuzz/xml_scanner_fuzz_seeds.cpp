// Generated seeds of xml_scanner_fuzz: a weather.xml and render documents
// in the game's layout, in each line ending, and hostile variants of them.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/weather_docs.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    std::filesystem::create_directories(folder);
    int count = 0;
    const auto put = [&](const std::string& name, const std::string& text) {
        std::ofstream(folder + "/" + name, std::ios::binary) << text;
        ++count;
    };
    using testsupport::LineEnding;
    testsupport::WeatherXmlOptions options;
    options.weatherCount = 3;
    const std::string weather = testsupport::GenerateWeatherXml(options);
    put("weather.xml", weather);
    const LineEnding endings[] = {LineEnding::Lf, LineEnding::CrLf, LineEnding::Cr, LineEnding::Mixed};
    for (uint32_t seed = 0; seed < 4; ++seed)
        put("render" + std::to_string(seed) + ".xml", testsupport::GenerateRenderDocument(seed, endings[seed], seed == 1));
    for (const testsupport::NamedText& variant : testsupport::HostileVariants(weather, 7))
        put("hostile_" + variant.name + ".xml", variant.text);
    std::printf("%d generated seeds in %s\n", count, folder.c_str());
    return 0;
}
