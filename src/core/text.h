// Small text helpers shared by the whole tree.
#pragma once
#include <string>
#include <string_view>

namespace core {

// Character classes of the "C" locale on unsigned bytes (never UB for bytes
// above 127, and independent of the locale the game may have set).
inline bool IsSpaceByte(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsDigitByte(unsigned char c) { return c >= '0' && c <= '9'; }
inline char LowerByte(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
inline char UpperByte(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// A copy without white space at either end; an all-blank text gives "".
std::string TrimCopy(std::string_view text);

// Equal without regard to (ASCII) case.
bool EqualsNoCase(std::string_view a, std::string_view b);
// text begins with prefix without regard to (ASCII) case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace core
