// Whole-file input and output, path texts and number texts shared by the
// whole tree. Paths are narrow texts in the system's ANSI code page; folder
// texts end in a backslash. Nothing here keeps state or writes a status
// line: failures are reported only by the result.
//
// Numbers are formatted and parsed independently of the C locale (the game
// process may change it): use these helpers, never printf("%f")/strtof/atof.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// ---- Files -----------------------------------------------------------------

// The largest file ReadFileBytes accepts (64 MiB; exactly this size is fine).
inline constexpr uint64_t kMaxFileBytes = 0x4000000;

// Why a whole-file read failed.
enum class FileReadFailure { None, NotFound, TooLarge, NotReadable };
// The failure in the words of a status line: "not found", "too large (over
// 64 MiB)", "not readable" ("" for None). Callers name the file first:
// "Load .xml failed: w_clear.xml too large (over 64 MiB) in <folder>".
const char* FileReadFailureText(FileReadFailure failure);

// The whole file, byte for byte (no line-end translation). False when it
// doesn't open (a folder is not a file) or is larger than 64 MiB; the
// content is then left untouched and *failure (when given) says why.
bool ReadTextFile(const std::string& path, std::string& content, FileReadFailure* failure = nullptr);

// The whole file, at most 64 MiB, byte for byte in a std::string. False
// (and an empty content) when it doesn't open, is larger than 64 MiB or
// can't be read; *failure (when given) says why. The reader for the large
// game files.
bool ReadFileBytes(const std::wstring& path, std::string& content, FileReadFailure* failure = nullptr);

// Replaces a file inside the workspace (IsPathInWorkspace) with the content,
// byte for byte; line ends are written exactly as the content holds them.
// The folder must exist. The content goes to a temporary file beside the
// target that is then renamed over it, so a failed write leaves the previous
// file as it was. False when refused or not written.
bool WriteTextFile(const std::string& path, std::string_view content);

// A narrow path as the wide path for ReadFileBytes, converted through the
// ANSI code page (so folder names outside ASCII name the right file).
// Null or empty gives an empty text.
std::wstring WidenAscii(const char* text);
std::wstring WidenAscii(std::string_view text);

// ---- Path texts --------------------------------------------------------------

// White space trimmed at both ends, then one pair of matching surrounding
// quotes ("..." or '...') removed; the inside is not trimmed again.
std::string TrimAndUnquote(std::string_view text);
// A non-empty text not ending in "\" or "/" gains "\"; empty stays empty.
std::string WithTrailingSeparator(std::string_view text);
// Absolute folder text with backslashes and a trailing backslash (relative
// texts resolve against the process's current folder); empty gives empty.
std::string FullPath(std::string_view text);
// The folder part, up to and including the last separator; empty when none.
std::string ParentFolder(std::string_view path);
// The last component of a folder path ("D:\Games\VRN\" gives "VRN").
std::string LastPathComponent(std::string_view path);
// The text after the last separator (the whole text when there is none);
// empty for null.
std::string FileNameOfPath(const char* path);
std::string FileNameOfPath(std::string_view path);
// FullPath of both equal without regard to case.
bool SamePath(std::string_view a, std::string_view b);
// FullPath of path begins with FullPath of folder, without regard to case
// (a folder is under itself; "C:\AB\" is not under "C:\A\").
bool IsUnderFolder(std::string_view path, std::string_view folder);

// ---- Other texts ---------------------------------------------------------------

// TrimAndUnquote of both, then equal without regard to case.
bool SameTextTrimmedNoCase(std::string_view a, std::string_view b);
// Whether part occurs in text without regard to (ASCII) case; false when
// either is null or part is empty.
bool CaseInsensitiveContains(std::string_view text, std::string_view part);
bool CaseInsensitiveContains(const char* text, const char* part);

// ---- Number texts (all independent of the C locale) --------------------------

// Fixed notation with the given number of decimals, like "%.*f" in the "C"
// locale (correctly rounded; "inf", "-inf" and "nan" for those values).
std::string FormatFixed(double value, int decimals);
// "%.3f": 1 gives "1.000", 830 gives "830.000".
std::string FormatFixed3(float value);
// Fixed with 8 decimals: 0.5 gives "0.50000000".
std::string FormatFloat(float value);
// Fixed with 6 decimals, trailing zeros removed; when sourceText held "."
// at least one digit stays after the point, otherwise a bare trailing "."
// goes too (2.5 -> "2.5"; 1.0 -> "1.0" for source "0.75", "1" for source "3").
std::string FormatFloatTrimmed(float value, std::string_view sourceText);
// "0x" and upper-case hex digits without leading zeros (0 gives "0x0").
std::string FormatHexAddress(uint64_t value);

// Reads a number from the start of text the way strtof/strtod/strtoll do in
// the "C" locale, whatever locale is set: leading white space is skipped, an
// optional sign, then the number. Floats: decimal digits with an optional
// point and exponent, hexadecimal floats "0x...", "inf"/"infinity"/"nan".
// Integers: decimal digits only (base 10). Whatever follows the number is ignored ("1.5abc" reads 1.5).
// True when a number was read; value is then set and *consumed (when given)
// is the count of bytes used, white space included. False leaves value as
// it was and sets *consumed to 0.
// Float overflow gives +-infinity, underflow +-0 (as strtof does).
bool ParseFloatPrefix(std::string_view text, float& value, size_t* consumed = nullptr);
bool ParseDoublePrefix(std::string_view text, double& value, size_t* consumed = nullptr);
// Like strtoll(text, end, 10); a value outside the 64-bit range is clamped
// to INT64_MIN / INT64_MAX.
bool ParseIntPrefix(std::string_view text, int64_t& value, size_t* consumed = nullptr);

}  // namespace core
