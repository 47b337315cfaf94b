// The one walk over the markup of a weather document that both the value
// scanner and the weather.xml model use, so that they agree on which
// elements exist and where they start and end (nothing inside a comment or
// CDATA section is markup). No tree is built.
//
// Rules of the walk:
// - "<!--" skips to just past "-->", "<![CDATA[" to just past "]]>", so
//   nothing inside a comment or a CDATA section is ever taken for markup; one
//   that is never closed ends the walk as a start tag without ">" does (the
//   caller counts a warning). Any other "<!" or "<?" construct skips to just
//   past the next ">".
// - An end tag closes open elements, innermost first, until one of its name
//   has been closed; an end tag whose name is not open closes them all, or,
//   when the caller asks for it, is passed over.
// - A start tag runs from "<" to the first ">" after it; a start tag without
//   ">" ends the walk (the caller counts a warning). It is self-closing when
//   the last character before ">" other than white space is "/".
#pragma once
#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/text.h"

namespace weather {

// Name characters of elements and attributes: letters, digits, "-", ".",
// ":" and "_" (ASCII only, whatever the locale).
inline bool IsXmlNameChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == ':' || c == '_';
}

inline size_t SkipXmlNameChars(std::string_view text, size_t pos, size_t end) {
    while (pos < end && IsXmlNameChar(static_cast<unsigned char>(text[pos]))) ++pos;
    return pos;
}

inline size_t SkipXmlSpace(std::string_view text, size_t pos, size_t end) {
    while (pos < end && core::IsSpaceByte(static_cast<unsigned char>(text[pos]))) ++pos;
    return pos;
}

struct XmlStartTag {
    size_t tagStart = 0;  // the "<"
    size_t tagEnd = 0;    // the ">"
    size_t nameEnd = 0;   // one past the element name
    std::string_view name;
    bool selfClosing = false;
    size_t depth = 0;     // open elements around it
};

// A document with more start tags than this is not a weather document: the
// walk stops there (as at a start tag without ">"), which bounds the memory
// any input can make the scanner and the model take.
inline constexpr size_t kMaxXmlElements = size_t(1) << 22;

enum class StrayEndTags {
    kCloseAll,  // an end tag whose name is not open closes every open element
    kPassOver,  // it closes nothing
};

// Visitor:
//   bool Open(const XmlStartTag&)      every start tag with a name; false stops the walk
//   void Close(size_t closingTagStart) once per element closed, innermost first
//   void Stopped(size_t tagStart)      a start tag without ">", one too many, or a comment or
//                                      CDATA section never closed; the walk ends
template <class Visitor>
void WalkXmlElements(std::string_view text, Visitor& visitor, StrayEndTags stray = StrayEndTags::kCloseAll) {
    const size_t n = text.size();
    std::vector<std::string_view> open;
    open.reserve(32);
    // How many elements of each name are open (kept only to pass stray end tags over).
    std::unordered_map<std::string_view, size_t> openNames;
    const bool passOver = stray == StrayEndTags::kPassOver;
    size_t elements = 0;
    size_t p = 0;
    while (p < n) {
        const size_t lt = text.find('<', p);
        if (lt == std::string_view::npos || lt + 1 >= n) return;
        const char next = text[lt + 1];
        if (next == '!' || next == '?') {
            size_t resume = std::string_view::npos;
            const bool comment = text.compare(lt, 4, "<!--") == 0;
            if (comment || text.compare(lt, 9, "<![CDATA[") == 0) {
                const size_t close = text.find(comment ? "-->" : "]]>", lt + (comment ? 4 : 9));
                if (close == std::string_view::npos) {
                    // Everything after it is hidden: the walk ends, and says so.
                    visitor.Stopped(lt);
                    return;
                }
                resume = close + 3;
            } else {
                const size_t gt = text.find('>', lt + 2);
                resume = gt == std::string_view::npos ? n : gt + 1;
            }
            p = resume;
            continue;
        }
        if (next == '/') {
            const size_t nameStart = SkipXmlSpace(text, lt + 2, n);
            const std::string_view name =
                text.substr(nameStart, SkipXmlNameChars(text, nameStart, n) - nameStart);
            bool closes = true;
            if (passOver) {
                const auto it = openNames.find(name);
                closes = it != openNames.end() && it->second != 0;
            }
            while (closes && !open.empty()) {
                const bool match = open.back() == name;
                if (passOver) --openNames[open.back()];
                open.pop_back();
                visitor.Close(lt);
                if (match) break;
            }
            const size_t gt = text.find('>', lt + 1);
            p = gt == std::string_view::npos ? n : gt + 1;
            continue;
        }
        const size_t gt = text.find('>', lt + 1);
        if (gt == std::string_view::npos || ++elements > kMaxXmlElements) {
            visitor.Stopped(lt);
            return;
        }
        const size_t nameStart = SkipXmlSpace(text, lt + 1, gt);
        const size_t nameEnd = SkipXmlNameChars(text, nameStart, gt);
        if (nameEnd == nameStart) {
            p = gt + 1;
            continue;
        }
        XmlStartTag tag;
        tag.tagStart = lt;
        tag.tagEnd = gt;
        tag.nameEnd = nameEnd;
        tag.name = text.substr(nameStart, nameEnd - nameStart);
        size_t back = gt;
        while (back > lt + 1 && core::IsSpaceByte(static_cast<unsigned char>(text[back - 1]))) --back;
        tag.selfClosing = text[back - 1] == '/';
        tag.depth = open.size();
        if (!visitor.Open(tag)) return;
        if (!tag.selfClosing) {
            open.push_back(tag.name);
            if (passOver) ++openNames[tag.name];
        }
        p = gt + 1;
    }
}

// Walks the attributes of one start tag, from just past its element name to
// its ">" (tagEnd). For each attribute with a quoted value, calls
// visit(name, valueStart, valueEnd) (the range between the quotes); a false
// result stops the walk. Malformed attributes add to warnings: "=" with no
// value before the tag's end (walk ends), a value without an opening quote
// (walk goes on at that character), a quote not closed before the tag's end
// (walk ends). A "/" ends the walk; a name without "=" has no value.
// Returns false when the walk ended on a malformed attribute.
template <class Visit>
bool WalkTagAttributes(std::string_view text, size_t from, size_t tagEnd, size_t& warnings, Visit&& visit) {
    size_t p = from;
    while (p < tagEnd) {
        p = SkipXmlSpace(text, p, tagEnd);
        if (p >= tagEnd || text[p] == '/') return true;
        const size_t nameStart = p;
        p = SkipXmlNameChars(text, p, tagEnd);
        if (p == nameStart) {
            ++p;
            continue;
        }
        const std::string_view name = text.substr(nameStart, p - nameStart);
        p = SkipXmlSpace(text, p, tagEnd);
        if (p >= tagEnd || text[p] != '=') continue;
        p = SkipXmlSpace(text, p + 1, tagEnd);
        if (p >= tagEnd) {
            ++warnings;
            return false;
        }
        const char quote = text[p];
        if (quote != '"' && quote != '\'') {
            ++warnings;
            continue;
        }
        const size_t valueStart = p + 1;
        const size_t close = text.substr(0, tagEnd).find(quote, valueStart);
        if (close == std::string_view::npos) {
            ++warnings;
            return false;
        }
        p = close + 1;
        if (!visit(name, valueStart, close)) return true;
    }
    return true;
}

}  // namespace weather
