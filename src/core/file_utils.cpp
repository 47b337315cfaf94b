#include "core/file_utils.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

#include "core/text.h"
#include "core/workspace.h"
#include "platform/files.h"

namespace core {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsHexDigitByte(unsigned char c) {
    return IsDigitByte(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether a number text that from_chars found out of range is too large
// (true) or too small (false): its order of magnitude, from the position of
// the first non-zero digit and the exponent. Out-of-range values are so far
// from 1 that this rough measure decides without doubt.
bool MagnitudeIsLarge(const char* p, const char* end, bool hex) {
    long long lead = 0;
    bool nonZero = false;
    bool point = false;
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '.') {
            point = true;
            continue;
        }
        if (!(hex ? IsHexDigitByte(c) : IsDigitByte(c))) break;
        if (!nonZero) {
            if (c != '0') {
                nonZero = true;
                if (!point) lead = 1;
            } else if (point) {
                --lead;
            }
        } else if (!point) {
            ++lead;
        }
    }
    long long exponent = 0;
    if (p < end && LowerByte(*p) == (hex ? 'p' : 'e')) {
        ++p;
        bool negative = false;
        if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
        for (; p < end && IsDigitByte(static_cast<unsigned char>(*p)); ++p) {
            if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
        }
        if (negative) exponent = -exponent;
    }
    return lead * (hex ? 4 : 1) + exponent > 0;
}

template <typename F>
bool ParseRealPrefix(std::string_view text, F& value, size_t* consumed) {
    if (consumed) *consumed = 0;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin;
    while (p < end && IsSpaceByte(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end || *p == '+' || *p == '-') return false;

    F result{};
    const char* stop = nullptr;
    bool outOfRange = false;
    const bool hex = end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    const char* digits = hex ? p + 2 : p;
    if (hex && (digits == end || *digits == '+' || *digits == '-')) {
        result = F(0);  // "0x" without digits reads as the 0 before the x
        stop = p + 1;
    } else {
        const std::from_chars_result r =
            std::from_chars(digits, end, result, hex ? std::chars_format::hex : std::chars_format::general);
        if (r.ec == std::errc::invalid_argument) {
            if (!hex) return false;
            result = F(0);
            stop = p + 1;
        } else {
            stop = r.ptr;
            outOfRange = r.ec == std::errc::result_out_of_range;
        }
    }
    if (outOfRange) {
        result = MagnitudeIsLarge(digits, stop, hex) ? std::numeric_limits<F>::infinity() : F(0);
    }
    value = negative ? -result : result;
    if (consumed) *consumed = static_cast<size_t>(stop - begin);
    return true;
}

}  // namespace

// ---- Files -------------------------------------------------------------------

namespace {

// A whole-file read's status as the caller's failure; a file that didn't
// open counts as not found only when nothing is there (attributes: what
// the path names).
bool Outcome(platform::ReadStatus status, uint32_t attributes, FileReadFailure* failure) {
    FileReadFailure why = FileReadFailure::None;
    if (status == platform::ReadStatus::TooLarge) why = FileReadFailure::TooLarge;
    else if (status == platform::ReadStatus::ReadFailed) why = FileReadFailure::NotReadable;
    else if (status == platform::ReadStatus::CannotOpen)
        why = attributes == platform::kInvalidFileAttributes ? FileReadFailure::NotFound : FileReadFailure::NotReadable;
    if (failure) *failure = why;
    return why == FileReadFailure::None;
}

}  // namespace

const char* FileReadFailureText(FileReadFailure failure) {
    switch (failure) {
        case FileReadFailure::None: return "";
        case FileReadFailure::NotFound: return "not found";
        case FileReadFailure::TooLarge: return "too large (over 64 MiB)";
        case FileReadFailure::NotReadable: break;
    }
    return "not readable";
}

bool ReadTextFile(const std::string& path, std::string& content, FileReadFailure* failure) {
    std::string text;
    const platform::ReadStatus status =
        path.empty() ? platform::ReadStatus::CannotOpen : platform::ReadWholeFile(path, kMaxFileBytes, text);
    if (!Outcome(status, status == platform::ReadStatus::CannotOpen ? platform::FileAttributes(path) : 0, failure))
        return false;
    content = std::move(text);
    return true;
}

bool ReadFileBytes(const std::wstring& path, std::string& content, FileReadFailure* failure) {
    content.clear();
    const platform::ReadStatus status =
        path.empty() ? platform::ReadStatus::CannotOpen : platform::ReadWholeFileWide(path, kMaxFileBytes, content);
    return Outcome(status, status == platform::ReadStatus::CannotOpen ? platform::FileAttributesWide(path) : 0,
                   failure);
}

bool WriteTextFile(const std::string& path, std::string_view content) {
    if (!IsPathInWorkspace(path)) return false;
    return platform::WriteWholeFile(path, content);
}

std::wstring WidenAscii(const char* text) {
    if (!text || !*text) return {};
    return platform::WidenAnsi(text);
}

std::wstring WidenAscii(std::string_view text) {
    if (text.empty()) return {};
    return platform::WidenAnsi(text);
}

// ---- Path texts ------------------------------------------------------------------

std::string TrimAndUnquote(std::string_view text) {
    std::string t = TrimCopy(text);
    if (t.size() >= 2 && ((t.front() == '"' && t.back() == '"') || (t.front() == '\'' && t.back() == '\''))) {
        return t.substr(1, t.size() - 2);
    }
    return t;
}

std::string WithTrailingSeparator(std::string_view text) {
    std::string t(text);
    if (!t.empty() && !IsSeparator(t.back())) t += '\\';
    return t;
}

std::string FullPath(std::string_view text) {
    std::string p = WithTrailingSeparator(TrimAndUnquote(text));
    if (p.empty()) return p;
    std::string full = platform::FullPathName(p);
    if (!full.empty()) p = std::move(full);
    for (char& c : p) {
        if (c == '/') c = '\\';
    }
    return WithTrailingSeparator(p);
}

std::string ParentFolder(std::string_view path) {
    const std::string t = TrimAndUnquote(path);
    const size_t pos = t.find_last_of("\\/");
    return pos == std::string::npos ? std::string() : t.substr(0, pos + 1);
}

std::string LastPathComponent(std::string_view path) {
    std::string t = WithTrailingSeparator(TrimAndUnquote(path));
    while (t.size() > 3 && IsSeparator(t.back())) t.pop_back();
    const size_t pos = t.find_last_of("\\/");
    return pos == std::string::npos ? t : t.substr(pos + 1);
}

std::string FileNameOfPath(const char* path) {
    if (!path) return {};
    return FileNameOfPath(std::string_view(path));
}

std::string FileNameOfPath(std::string_view path) {
    const size_t pos = path.find_last_of("\\/");
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

bool SamePath(std::string_view a, std::string_view b) { return EqualsNoCase(FullPath(a), FullPath(b)); }

bool IsUnderFolder(std::string_view path, std::string_view folder) {
    const std::string p = FullPath(path);
    const std::string f = FullPath(folder);
    if (p.empty() || f.empty() || p.size() < f.size()) return false;
    return StartsWithNoCase(p, f);
}

// ---- Other texts -------------------------------------------------------------------

bool SameTextTrimmedNoCase(std::string_view a, std::string_view b) {
    return EqualsNoCase(TrimAndUnquote(a), TrimAndUnquote(b));
}

bool CaseInsensitiveContains(std::string_view text, std::string_view part) {
    if (part.empty() || part.size() > text.size()) return false;
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (EqualsNoCase(text.substr(i, part.size()), part)) return true;
    }
    return false;
}

bool CaseInsensitiveContains(const char* text, const char* part) {
    if (!text || !part) return false;
    return CaseInsensitiveContains(std::string_view(text), std::string_view(part));
}

// ---- Number texts ----------------------------------------------------------------------

std::string FormatFixed(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 60) decimals = 60;
    char buffer[400];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return {};
    return std::string(buffer, r.ptr);
}

std::string FormatFixed3(float value) { return FormatFixed(static_cast<double>(value), 3); }

std::string FormatFloat(float value) { return FormatFixed(static_cast<double>(value), 8); }

std::string FormatFloatTrimmed(float value, std::string_view sourceText) {
    std::string s = FormatFixed(static_cast<double>(value), 6);
    const size_t dot = s.find('.');
    if (dot == std::string::npos) return s;
    const bool sourceHadPoint = sourceText.find('.') != std::string_view::npos;
    const size_t minimum = sourceHadPoint ? dot + 2 : dot + 1;
    while (s.size() > minimum && s.back() == '0') s.pop_back();
    if (!sourceHadPoint && s.back() == '.') s.pop_back();
    return s;
}

std::string FormatHexAddress(uint64_t value) {
    char buffer[24];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof(buffer), value, 16);
    std::string out = "0x";
    for (const char* p = buffer; p < r.ptr; ++p) out += UpperByte(*p);
    return out;
}

bool ParseFloatPrefix(std::string_view text, float& value, size_t* consumed) {
    return ParseRealPrefix(text, value, consumed);
}

bool ParseDoublePrefix(std::string_view text, double& value, size_t* consumed) {
    return ParseRealPrefix(text, value, consumed);
}

bool ParseIntPrefix(std::string_view text, int64_t& value, size_t* consumed) {
    if (consumed) *consumed = 0;
    size_t i = 0;
    while (i < text.size() && IsSpaceByte(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const size_t first = i;
    // Accumulated as a negative number, whose range is the larger one.
    int64_t acc = 0;
    bool clamped = false;
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    for (; i < text.size() && IsDigitByte(static_cast<unsigned char>(text[i])); ++i) {
        const int digit = text[i] - '0';
        if (clamped) continue;
        if (acc < (kMin + digit) / 10) {
            clamped = true;
            continue;
        }
        acc = acc * 10 - digit;
    }
    if (i == first) return false;
    if (clamped) value = negative ? kMin : std::numeric_limits<int64_t>::max();
    else if (negative) value = acc;
    else value = acc == kMin ? std::numeric_limits<int64_t>::max() : -acc;
    if (consumed) *consumed = i;
    return true;
}

}  // namespace core
