#include "timecycle/xml_scan.h"

#include <cmath>
#include <cstring>
#include <string>

#include "shell/file_utils.h"
#include "shell/text.h"
#include "timecycle/timecycle_model.h"

namespace timecycle {

namespace {

constexpr std::string_view kRegionOpen = "<region";
constexpr std::string_view kRegionClose = "</region>";

bool TagHoldsName(std::string_view tag, std::string_view name) {
    std::string attribute;
    attribute.reserve(name.size() + 7);
    attribute.append("name=\"").append(name).append("\"");
    return tag.find(attribute) != std::string_view::npos;
}

}  // namespace

bool FindRegionSection(std::string_view text, const char* name, uint64_t& bodyStart, uint64_t& bodyEnd) {
    bodyStart = 0;
    bodyEnd = 0;
    if (!name || text.empty()) return false;
    const size_t length = text.size();
    size_t p = 0;
    for (;;) {
        if (length < 7 || p > length - 7) return false;
        const size_t open = text.find(kRegionOpen, p);
        if (open == std::string_view::npos) return false;
        const size_t tagEnd = text.find('>', open + kRegionOpen.size());
        if (tagEnd == std::string_view::npos) return false;
        const size_t afterTag = tagEnd + 1;
        if (length < 9 || afterTag > length - 9) return false;
        const size_t close = text.find(kRegionClose, afterTag);
        if (close == std::string_view::npos) return false;
        if (TagHoldsName(text.substr(open, afterTag - open), name)) {
            bodyStart = afterTag;
            bodyEnd = close;
            return true;
        }
        p = close + kRegionClose.size();
        if (p >= length) return false;
    }
}

bool FindElementText(std::string_view text, uint64_t from, uint64_t to, const char* name, uint64_t& start,
                     uint64_t& end) {
    start = 0;
    end = 0;
    if (!name || !*name || from >= to || to > text.size()) return false;
    const std::string openTag = std::string("<") + name + ">";
    const std::string closeTag = std::string("</") + name + ">";
    const size_t open = text.find(openTag, from);
    if (open == std::string_view::npos || open >= to) return false;
    const size_t textStart = open + openTag.size();
    // A closing tag that starts beyond `to` does not count, so the search
    // never needs to look further.
    const size_t limit = std::min<size_t>(text.size(), to + closeTag.size());
    const size_t close = text.substr(0, limit).find(closeTag, textStart);
    if (close == std::string_view::npos || close > to) return false;
    start = textStart;
    end = close;
    return true;
}

bool ParseValueList(std::string_view text, std::vector<ValueToken>& tokens) {
    tokens.clear();
    size_t p = 0;
    const size_t length = text.size();
    while (p < length && shell::IsSpaceByte(static_cast<unsigned char>(text[p]))) ++p;
    while (p < length) {
        // strtof would skip white space itself; here p always stands on a
        // non-blank character, so a number must start right there.
        size_t used = 0;
        float value = 0.0f;
        if (!shell::ParseFloatPrefix(text.substr(p), value, &used) || used == 0 || !std::isfinite(value))
            return false;
        tokens.push_back(ValueToken{p, p + used, value});
        p += used;
        while (p < length && shell::IsSpaceByte(static_cast<unsigned char>(text[p]))) ++p;
    }
    return true;
}

bool ReadKeyframeValues(std::string_view elementText, std::vector<ValueToken>& tokens) {
    return ParseValueList(elementText, tokens) && tokens.size() == kKeyframeCount;
}

void FindRegionElements(std::string_view text, uint64_t from, uint64_t to, RegionElements& out) {
    for (ElementSpan& span : out) span = ElementSpan{};
    if (from >= to || to > text.size()) return;
    // The first "<NAME>" of each variable at or after from and before to.
    std::array<size_t, kVariableCount> openAt;
    openAt.fill(std::string_view::npos);
    size_t p = static_cast<size_t>(from);
    while (p < to) {
        const void* hit = std::memchr(text.data() + p, '<', static_cast<size_t>(to) - p);
        if (!hit) break;
        const size_t lt = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
        size_t q = lt + 1;
        while (q < text.size() && q - lt <= 64 && text[q] != '>' && text[q] != '<') ++q;
        if (q < text.size() && text[q] == '>' && q > lt + 1) {
            const int row = FindVariableRow(text.substr(lt + 1, q - lt - 1));
            if (row >= 0 && openAt[static_cast<size_t>(row)] == std::string_view::npos)
                openAt[static_cast<size_t>(row)] = lt;
        }
        p = lt + 1;
    }
    for (size_t row = 0; row < kVariableCount; ++row) {
        if (openAt[row] == std::string_view::npos) continue;
        const char* name = TimecycleVariableTable[row].xmlName;
        const size_t nameLength = std::strlen(name);
        const size_t textStart = openAt[row] + nameLength + 2;
        std::string closeTag;
        closeTag.reserve(nameLength + 3);
        closeTag.append("</").append(name).append(">");
        const size_t limit = std::min<size_t>(text.size(), static_cast<size_t>(to) + closeTag.size());
        const size_t close = text.substr(0, limit).find(closeTag, textStart);
        if (close == std::string_view::npos || close > to) continue;
        out[row] = ElementSpan{textStart, close, true};
    }
}

}  // namespace timecycle
