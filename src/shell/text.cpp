#include "shell/text.h"

namespace shell {

std::string TrimCopy(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsSpaceByte(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && IsSpaceByte(static_cast<unsigned char>(text[end - 1]))) --end;
    return std::string(text.substr(begin, end - begin));
}

}  // namespace shell
