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
    const std::string weather = testsupport::GenerateWeatherXml({.weatherCount = 3});
    put("weather.xml", weather);
    for (uint32_t seed = 0; seed < 4; ++seed) {
        const auto ending = static_cast<testsupport::LineEnding>(seed);  // each of them
        put("render" + std::to_string(seed) + ".xml", testsupport::GenerateRenderDocument(seed, ending, seed == 1));
    }
    for (const testsupport::NamedText& variant : testsupport::HostileVariants(weather, 7))
        put("hostile_" + variant.name + ".xml", variant.text);
    std::printf("%d generated seeds in %s\n", count, folder.c_str());
    return 0;
}
