// Text scanners of the timecycle XML files. The files are never parsed into
// a tree: region sections and variable elements are found by plain text
// search, and numbers are read with their offsets so that a writer can
// splice new numbers into the source text.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "timecycle/timecycle_tables.h"

namespace timecycle {

// One number found in a text; offsets relative to the text parsed.
struct ValueToken {
    uint64_t start = 0;
    uint64_t end = 0;
    float value = 0.0f;
};

// The body of the first "<region ...>" section whose opening tag holds
// name="NAME": bodyStart just past the tag's ">", bodyEnd at its
// "</region>". Both 0 on failure.
bool FindRegionSection(std::string_view text, const char* name, uint64_t& bodyStart, uint64_t& bodyEnd);

// The text of element NAME: from just past the first "<NAME>" at or after
// from (which must start before to) to the next "</NAME>" (which must not
// start beyond to). Both 0 on failure. Both searches stay inside the range.
bool FindElementText(std::string_view text, uint64_t from, uint64_t to, const char* name, uint64_t& start,
                     uint64_t& end);

// Numbers separated by white space; false when anything else stands between
// them (also no blank at all: "1.5.5" is no list) or a number is not finite.
// An empty text gives true and no tokens.
bool ParseValueList(std::string_view text, std::vector<ValueToken>& tokens);

// The element text of every variable inside one region body, found with
// the rule of FindElementText, in one pass over the body: the work grows
// with the body's length, whatever the body holds.
struct ElementSpan {
    uint64_t start = 0;
    uint64_t end = 0;
    bool found = false;
};
using RegionElements = std::array<ElementSpan, kVariableCount>;
void FindRegionElements(std::string_view text, uint64_t from, uint64_t to, RegionElements& out);

// Reads exactly 13 values of one element; false when the list is bad or
// holds another count. Stops reading at the 14th number.
bool ReadKeyframeValues(std::string_view elementText, std::vector<ValueToken>& tokens);

// One region of a timecycle text, found and split into its elements in one
// pass each: what the load, the recognition rows and the export read.
struct RegionText {
    bool found = false;
    uint64_t bodyStart = 0;
    uint64_t bodyEnd = 0;
    RegionElements elements;
};
void ReadRegionText(std::string_view text, const char* region, RegionText& out);

}  // namespace timecycle
