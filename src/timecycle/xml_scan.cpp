#include "timecycle/xml_scan.h"

#include <algorithm>
#include <functional>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "core/file_utils.h"
#include "core/text.h"
#include "timecycle/timecycle_model.h"

namespace timecycle {

namespace {

constexpr std::string_view kRegionOpen = "<region";
constexpr std::string_view kRegionClose = "</region>";

// The first needle at or after from, or npos. Horspool's skips keep it fast
// on texts dense with the needle's first character (a run of "<").
size_t FindFrom(std::string_view text, std::string_view needle, size_t from) {
    if (from > text.size()) return std::string_view::npos;
    const std::boyer_moore_horspool_searcher searcher(needle.begin(), needle.end());
    const auto hit = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), searcher);
    return hit == text.end() ? std::string_view::npos : static_cast<size_t>(hit - text.begin());
}

// Comments and CDATA sections: nothing inside one is markup (mod files
// keep old rows in comments).
struct HiddenSection {
    std::string_view open;
    std::string_view close;
};
constexpr HiddenSection kHiddenSections[2] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}};

// When a comment or CDATA section opens at p: the position just past its
// end, or npos when it never closes (it hides the rest of the text). Any
// other position: p itself.
size_t SkipHidden(std::string_view text, size_t p) {
    for (const HiddenSection& hidden : kHiddenSections) {
        if (text.compare(p, hidden.open.size(), hidden.open) != 0) continue;
        const size_t close = text.find(hidden.close, p + hidden.open.size());
        return close == std::string_view::npos ? close : close + hidden.close.size();
    }
    return p;
}

// The first comment or CDATA section that opens at or after from and
// before limit, or npos. The search looks no further than limit.
size_t NextHidden(std::string_view text, size_t from, size_t limit) {
    const std::string_view range = text.substr(0, std::min(text.size(), limit + 1));
    for (size_t p = from; p < limit; ++p) {
        p = range.find("<!", p);
        if (p == std::string_view::npos || p >= limit) return std::string_view::npos;
        if (SkipHidden(text, p) != p) return p;
    }
    return std::string_view::npos;
}

// The first needle at or after from that starts before limit and stands
// outside every comment and CDATA section (recognised from `from` on), or
// npos. The needle is looked for no further than limit, and each part of
// the text once, however many comments there are.
size_t FindOutsideHidden(std::string_view text, std::string_view needle, size_t from, size_t limit) {
    limit = std::min(limit, text.size());
    const std::string_view range = text.substr(0, std::min(text.size(), limit - 1 + needle.size()));
    const auto search = [&](size_t at) { return limit == 0 ? std::string_view::npos : FindFrom(range, needle, at); };
    size_t hit = search(from);
    size_t hidden = NextHidden(text, from, limit);
    while (hit != std::string_view::npos && hidden != std::string_view::npos && hidden < hit) {
        const size_t resume = SkipHidden(text, hidden);
        if (resume == std::string_view::npos) return resume;
        if (hit < resume) hit = search(resume);  // the hit lay inside it
        hidden = NextHidden(text, resume, limit);
    }
    return hit;
}

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
        const size_t open = FindOutsideHidden(text, kRegionOpen, p, length);
        if (open == std::string_view::npos) return false;
        const size_t tagEnd = text.find('>', open + kRegionOpen.size());
        if (tagEnd == std::string_view::npos) return false;
        const size_t afterTag = tagEnd + 1;
        if (length < 9 || afterTag > length - 9) return false;
        const size_t close = FindOutsideHidden(text, kRegionClose, afterTag, length);
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
    // An opening tag must start before to, a closing tag at or before it:
    // neither search looks further. Tags inside comments and CDATA sections
    // are none.
    const size_t open = FindOutsideHidden(text, openTag, from, to);
    if (open == std::string_view::npos) return false;
    const size_t textStart = open + openTag.size();
    const size_t close = FindOutsideHidden(text, closeTag, textStart, to + 1);
    if (close == std::string_view::npos) return false;
    start = textStart;
    end = close;
    return true;
}

namespace {

// Reads numbers separated by white space into tokens, at most limit of
// them; false on anything else, a number that is not finite, or more than
// limit numbers. The text is read up to where it fails and no further.
bool ReadNumbers(std::string_view text, std::vector<ValueToken>& tokens, size_t limit) {
    tokens.clear();
    size_t p = 0;
    const size_t length = text.size();
    while (p < length && core::IsSpaceByte(static_cast<unsigned char>(text[p]))) ++p;
    while (p < length) {
        // strtof would skip white space itself; here p always stands on a
        // non-blank character, so a number must start right there.
        size_t used = 0;
        float value = 0.0f;
        if (tokens.size() >= limit || !core::ParseFloatPrefix(text.substr(p), value, &used) || used == 0 ||
            !std::isfinite(value))
            return false;
        tokens.push_back(ValueToken{p, p + used, value});
        p += used;
        // The next number starts only after white space: "1.5.5" is no list.
        if (p < length && !core::IsSpaceByte(static_cast<unsigned char>(text[p]))) return false;
        while (p < length && core::IsSpaceByte(static_cast<unsigned char>(text[p]))) ++p;
    }
    return true;
}

// Length of the longest variable name: a tag longer than that names none.
size_t LongestVariableName() {
    static const size_t longest = [] {
        size_t n = 0;
        for (const TimecycleVariable& row : TimecycleVariableTable) n = std::max(n, std::strlen(row.xmlName));
        return n;
    }();
    return longest;
}

}  // namespace

bool ParseValueList(std::string_view text, std::vector<ValueToken>& tokens) {
    return ReadNumbers(text, tokens, std::numeric_limits<size_t>::max());
}

bool ReadKeyframeValues(std::string_view elementText, std::vector<ValueToken>& tokens) {
    return ReadNumbers(elementText, tokens, kKeyframeCount) && tokens.size() == kKeyframeCount;
}

void FindRegionElements(std::string_view text, uint64_t from, uint64_t to, RegionElements& out) {
    for (ElementSpan& span : out) span = ElementSpan{};
    if (from >= to || to > text.size()) return;
    // Every "<" of the body is looked at once, with at most the longest
    // name's length of bytes after it: "<NAME>" opens a variable's element
    // (the first one counts), "</NAME>" closes it (the first after its opening).
    std::array<size_t, kVariableCount> textStart;
    textStart.fill(std::string_view::npos);
    const size_t end = static_cast<size_t>(to);
    const size_t longest = LongestVariableName();
    size_t p = static_cast<size_t>(from);
    while (p < end) {
        size_t lt = p;
        if (text[p] != '<') {
            const void* hit = std::memchr(text.data() + p, '<', end - p);
            if (!hit) break;
            lt = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
        }
        const size_t afterHidden = SkipHidden(text, lt);
        if (afterHidden != lt) {
            // Nothing inside a comment or CDATA section counts; one that
            // does not close inside the range hides the rest of it.
            if (afterHidden == std::string_view::npos || afterHidden > end) break;
            p = afterHidden;
            continue;
        }
        p = lt + 1;
        const bool closing = p < end && text[p] == '/';
        const size_t nameStart = closing ? p + 1 : p;
        size_t q = nameStart;
        while (q < end && q - nameStart <= longest && text[q] != '>' && text[q] != '<') ++q;
        if (q >= end || text[q] != '>' || q == nameStart) continue;
        const int row = FindVariableRow(text.substr(nameStart, q - nameStart));
        if (row < 0) continue;
        const size_t r = static_cast<size_t>(row);
        if (!closing) {
            if (textStart[r] == std::string_view::npos) textStart[r] = q + 1;
        } else if (textStart[r] != std::string_view::npos && !out[r].found) {
            out[r] = ElementSpan{textStart[r], lt, true};
        }
        p = q + 1;
    }
}

void ReadRegionText(std::string_view text, const char* region, RegionText& out) {
    out.found = FindRegionSection(text, region, out.bodyStart, out.bodyEnd);
    if (out.found) {
        FindRegionElements(text, out.bodyStart, out.bodyEnd, out.elements);
    } else {
        for (ElementSpan& span : out.elements) span = ElementSpan{};
    }
}

}  // namespace timecycle
