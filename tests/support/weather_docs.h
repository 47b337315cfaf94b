// Generated weather-family documents for the tests, the fuzz target and the
// benchmarks: weather.xml and weather render files in the game's layout, and
// hostile variants of any document (truncations, unquoted values, ">" in
// values, mixed line endings, BOMs, nested and self-closing items, comments
// and CDATA holding markup, non-ASCII text, huge files).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

enum class LineEnding { Lf, CrLf, Cr, Mixed };

struct WeatherXmlOptions {
    size_t weatherCount = 17;          // the first N of EXTRASUNNY ... SNOW_HALLOWEEN
    bool gpuFx = true;                 // the 24 effects
    LineEnding lineEnding = LineEnding::CrLf;
    bool bom = false;
    bool commentedFields = true;       // commented-out TimeCycleFilename pairs, as real files keep
    uint32_t seed = 1;                 // varies the value texts
};

// A weather.xml with every field the model knows per weather (and the
// fields it doesn't), the 24 effects and a WeatherCycles section.
std::string GenerateWeatherXml(const WeatherXmlOptions& options);

// A rage__ptxgpuDropRenderSettings document with every mapped field (vector
// fields as x/y/z/w attributes, scalars as value attributes) plus a few
// unmapped elements; the seed varies values, spacing and quoting.
std::string GenerateRenderDocument(uint32_t seed, LineEnding lineEnding = LineEnding::CrLf, bool bom = false);

struct NamedText {
    std::string name;
    std::string text;
};

// Hostile variants of a document: each its own kind of damage or oddity.
std::vector<NamedText> HostileVariants(std::string_view base, uint32_t seed);

// Offsets at which to cut a text: per class of the byte before the cut
// (markup characters, quotes, digits, letters, white space, bytes >= 0x80,
// inside a comment, ...) the first, a middle and the last such offset.
std::vector<size_t> TruncationOffsetsByClass(std::string_view text);

// A document of exactly targetBytes: repeated items, each with six values and
// a comment of about 900 bytes.
std::string GenerateLargeDocument(size_t targetBytes);

// A small deterministic generator (xorshift) for the property tests.
struct TestRandom {
    uint64_t state;
    explicit TestRandom(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    size_t Below(size_t n) { return n ? static_cast<size_t>(Next() % n) : 0; }
};

}  // namespace testsupport
