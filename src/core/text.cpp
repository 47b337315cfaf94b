#include "core/text.h"

namespace core {

std::string TrimCopy(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsSpaceByte(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && IsSpaceByte(static_cast<unsigned char>(text[end - 1]))) --end;
    return std::string(text.substr(begin, end - begin));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerByte(a[i]) != LowerByte(b[i])) return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace core
