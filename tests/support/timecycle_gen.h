// Generated timecycle files for tests and benchmarks: valid files of every
// weather in the game's own layout, and hostile variants (bad rows,
// comments and stray text between rows, attributes on value elements,
// other line endings, a BOM, missing regions, duplicate variables,
// non-ASCII comments). Values are deterministic per weather, region,
// variable and keyframe, so the same values can be planted in a synthetic
// keyframe table.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

// The value the generator writes for (weather, region 0/1, variable row,
// keyframe), already rounded to what a 4-decimal text reads back as.
float GeneratedTimecycleValue(int weather, int region, int variable, int keyframe);

struct TimecycleFileOptions {
    int weather = 0;               // index into the weather table
    // Whose values the file holds: -1 the weather's own; another number gives
    // values no generated keyframe table holds (a modded file).
    int valueWeather = -1;
    std::string lineEnd = "\n";    // "\r\n", "\r", ...
    bool bom = false;              // UTF-8 byte order mark in front
    std::set<std::string> omitRegions;      // "GLOBAL" / "URBAN" written without their section
    std::set<std::string> omitVariables;    // elements left out (both regions)
    std::set<std::string> duplicateVariables;  // written twice; the second copy holds other values
    // Element text replacing the 13 values (both regions), e.g. 12 or 14 values.
    std::map<std::string, std::string> elementTextOverride;
    // Attributes put on the opening tag, e.g. {"far_clip", " type=\"float\""}.
    std::map<std::string, std::string> attributes;
    bool commentsBetweenRows = false;  // "<!-- ... -->" before every row
    bool strayText = false;            // a stray "]" text node after every tenth row
    bool nonAsciiComment = false;      // a comment with UTF-8 and Latin-1 bytes at the top
    // Rows with index >= this are written as constant 0.5 (for scans that
    // must find the table through the first rows only). -1: no limit.
    int distinctRowLimit = -1;
};

// The whole file text.
std::string MakeTimecycleXml(const TimecycleFileOptions& options);
// A hostile file of about targetBytes: in each region the opening tag of
// every variable, then "<" padding, then every closing tag (in reverse
// order), so that each element's text holds the padding and no value. The
// old reader searched the rest of the region once per element.
std::string HostileTimecycleXml(size_t targetBytes);

// A synthetic keyframe table: the weather blocks of all 18 weathers at
// base + typeId x 22,496, each record holding the binary16 values of the
// generated file of that weather (432 values per record; the last three 0).
// Writes into memory the caller owns (at least 18 x 22,496 bytes).
void WriteGeneratedKeyframeTable(uint8_t* base, int distinctRowLimit = -1);
inline constexpr size_t kGeneratedKeyframeTableBytes = 18 * 22496;

// A timecycle_modifier_data text of count modifiers holding rows rows in all
// (spread evenly, CRLF lines): modifier i is named names[i] when given, else
// "mod_i"; its row j is "<var_j>i.jj 1.0d</var_j>" (d = j % 10).
std::string MakeModifierXml(size_t count, size_t rows, const std::vector<std::string>& names = {});

}  // namespace testsupport
