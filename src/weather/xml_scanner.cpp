#include "weather/xml_scanner.h"

#include <charconv>
#include <cmath>
#include <algorithm>
#include <functional>

#include "core/text.h"
#include "weather/weather_text.h"

namespace weather {

namespace {

void AppendDecimal(std::string& out, int64_t value) {
    char buffer[24];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
}

// Element path + "." + attribute (unless "value").
void AppendAttributeLeaf(std::string& path, std::string_view attribute) {
    if (attribute != "value") {
        path += '.';
        path += attribute;
    }
}

// Counters keyed by text, without an allocation per key: open addressing
// over (hash, reference, count) slots; the caller resolves a reference back
// to its key for the equality test.
class CountTable {
public:
    explicit CountTable(size_t expected) {
        size_t size = 64;
        while (size < expected * 2) size *= 2;
        slots_.resize(size);
    }

    // The count of the key with this hash, inserted with count 0 and the
    // given reference when new; same(reference) tells whether a slot's key
    // is the one looked for.
    template <class Same>
    int32_t& Find(uint64_t hash, uint32_t newReference, Same&& same) {
        hash |= 1;  // 0 marks an empty slot
        size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.hash == 0) {
                if ((used_ + 1) * 2 > slots_.size()) {
                    Grow();
                    return Find(hash, newReference, same);
                }
                ++used_;
                slot = {hash, newReference, 0};
                return slot.count;
            }
            if (slot.hash == hash && same(slot.reference)) return slot.count;
        }
    }

private:
    struct Slot {
        uint64_t hash = 0;
        uint32_t reference = 0;
        int32_t count = 0;
    };

    void Grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        const size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.hash == 0) continue;
            size_t i = slot.hash & mask;
            while (slots_[i].hash != 0) i = (i + 1) & mask;
            slots_[i] = slot;
        }
    }

    std::vector<Slot> slots_;
    size_t used_ = 0;
};

uint64_t HashText(std::string_view text) { return std::hash<std::string_view>()(text); }

struct XmlScanState {
    std::string_view source;
    std::vector<XmlValueRecord>* records = nullptr;
    uint64_t warnings = 0;

    // The open elements: each frame remembers the path length before its
    // component and a serial that keys the counts of its children.
    struct Frame {
        size_t pathLength;
        uint32_t serial;
    };
    std::vector<Frame> frames;
    std::string path;  // path of the innermost open element (or of the tag being scanned)
    uint32_t nextSerial = 1;
    // Occurrences of a name under one parent instance: the parents' serials
    // and the names (views into the source) of the keys, by reference.
    struct OccurrenceKey {
        uint32_t parent;
        std::string_view name;
    };
    std::vector<OccurrenceKey> occurrenceKeys;
    CountTable occurrences;
    // Paths made so far: a reference is the record that first took the path.
    CountTable duplicates;

    XmlScanState(size_t expectedRecords, size_t expectedElements)
        : occurrences(expectedElements), duplicates(expectedRecords) {
        occurrenceKeys.reserve(expectedElements);
    }

    int32_t NextOccurrence(uint32_t parent, std::string_view name) {
        const uint64_t hash = HashText(name) ^ (parent * 0x9E3779B97F4A7C15ull);
        int32_t& count = occurrences.Find(hash, static_cast<uint32_t>(occurrenceKeys.size()), [&](uint32_t ref) {
            return occurrenceKeys[ref].parent == parent && occurrenceKeys[ref].name == name;
        });
        if (count == 0) occurrenceKeys.push_back({parent, name});
        return ++count;
    }

    // Appends a record for source[start, end) under valuePath, giving the
    // path its " #n" suffix when it was made before.
    XmlValueRecord& AddRecord(std::string&& valuePath, size_t start, size_t end) {
        const uint32_t index = static_cast<uint32_t>(records->size());
        const int32_t count = ++duplicates.Find(HashText(valuePath), index, [&](uint32_t ref) {
            return (*records)[ref].path == valuePath;
        });
        if (count >= 2) {
            valuePath += " #";
            AppendDecimal(valuePath, count);
        }
        XmlValueRecord& record = records->emplace_back();
        record.path = std::move(valuePath);
        record.originalText.assign(source.substr(start, end - start));
        record.currentText = record.originalText;
        record.startOffset = start;
        record.endOffset = end;
        return record;
    }

    bool Open(const XmlStartTag& tag);
    void Close(size_t) {
        path.resize(frames.back().pathLength);
        frames.pop_back();
    }
    void Stopped(size_t) { ++warnings; }
};

// Records of one start tag's value attributes; reports the range of its
// content attribute's value (first one) when it has one. False when the
// tag holds more values than a scan may record.
bool ScanTagAttributes(XmlScanState& state, const XmlStartTag& tag, size_t& contentStart, size_t& contentEnd) {
    contentStart = contentEnd = std::string_view::npos;
    size_t warnings = 0;
    bool full = false;
    WalkTagAttributes(state.source, tag.nameEnd, tag.tagEnd, warnings,
                      [&](std::string_view name, size_t valueStart, size_t valueEnd) {
                          if (IsValueAttributeName(name)) {
                              if (state.records->size() >= kMaxScanRecords) {
                                  full = true;
                                  return false;
                              }
                              std::string valuePath = state.path;
                              AppendAttributeLeaf(valuePath, name);
                              ClassifyRecordText(state.AddRecord(std::move(valuePath), valueStart, valueEnd));
                          } else if (name == "content" && contentStart == std::string_view::npos) {
                              contentStart = valueStart;
                              contentEnd = valueEnd;
                          }
                          return true;
                      });
    state.warnings += warnings;
    return !full;
}

// Records of one number-array element: its text, from just past the start
// tag's ">" to "</name>", must be numbers separated by white space, else the
// element makes no record (numbers run together, "1-2" or "1.5.5", are no
// list: an edit of one would merge it with its neighbour). The numbers are read as they come, so the end tag
// is only looked for where they stop (one pass, whatever the input).
// False when the element holds more numbers than a scan may record.
bool ScanNumberArrayContent(XmlScanState& state, const XmlStartTag& tag) {
    const std::string_view text = state.source;
    struct Number {
        size_t start, end;
        float value;
    };
    std::vector<Number> numbers;
    size_t p = tag.tagEnd + 1;
    while (true) {
        p = SkipXmlSpace(text, p, text.size());
        if (p >= text.size()) return true;
        if (text[p] == '<') break;
        float value = 0.0f;
        size_t used = 0;
        if (!core::ParseFloatPrefix(text.substr(p), value, &used) || used == 0 || !std::isfinite(value)) return true;
        if (state.records->size() + numbers.size() >= kMaxScanRecords) return false;
        numbers.push_back({p, p + used, value});
        p += used;
        if (p < text.size() && text[p] != '<' && !core::IsSpaceByte(static_cast<unsigned char>(text[p]))) return true;
    }
    if (text.compare(p, 2, "</") != 0 || text.compare(p + 2, tag.name.size(), tag.name) != 0 ||
        text.compare(p + 2 + tag.name.size(), 1, ">") != 0) {
        return true;
    }
    for (size_t i = 0; i < numbers.size(); ++i) {
        std::string valuePath = state.path;
        valuePath += '[';
        AppendDecimal(valuePath, static_cast<int64_t>(i + 1));
        valuePath += ']';
        XmlValueRecord& record = state.AddRecord(std::move(valuePath), numbers[i].start, numbers[i].end);
        record.kind = kXmlValueFloat;
        record.floatValue = numbers[i].value;
        record.arrayNumber = 1;
    }
    return true;
}

bool XmlScanState::Open(const XmlStartTag& tag) {
    const uint32_t parent = frames.empty() ? 0 : frames.back().serial;
    const int32_t count = NextOccurrence(parent, tag.name);
    const size_t parentLength = path.size();
    if (!path.empty()) path += '/';
    path += tag.name;
    if (tag.name == "Item" || count >= 2) {
        path += '[';
        AppendDecimal(path, count);
        path += ']';
    }
    if (path.size() > kMaxValuePathLength) {
        ++warnings;
        return false;
    }
    size_t contentStart = 0;
    size_t contentEnd = 0;
    if (!ScanTagAttributes(*this, tag, contentStart, contentEnd)) {
        ++warnings;
        return false;
    }
    if (tag.selfClosing) {
        path.resize(parentLength);
        return true;
    }
    if (contentStart != std::string_view::npos) {
        const std::string_view content = source.substr(contentStart, contentEnd - contentStart);
        if ((EqualsNoCase(content, "float_array") || EqualsNoCase(content, "int_array")) &&
            !ScanNumberArrayContent(*this, tag)) {
            ++warnings;
            return false;
        }
    }
    frames.push_back({parentLength, nextSerial++});
    return true;
}

}  // namespace

bool IsValueAttributeName(std::string_view name) {
    return name == "value" || name == "x" || name == "y" || name == "z" || name == "w";
}

bool ScanXmlValues(std::string_view source, std::vector<XmlValueRecord>& records, uint64_t& warnings) {
    records.clear();
    warnings = 0;
    // Nearly every value is an attribute (one "=" each), every element has a
    // "<"; tables for large texts start smaller and grow as they fill.
    constexpr size_t kInitialLimit = size_t(1) << 16;
    const size_t expected = std::min<size_t>(std::count(source.begin(), source.end(), '='), kInitialLimit);
    const size_t elements = std::min<size_t>(std::count(source.begin(), source.end(), '<'), kInitialLimit);
    XmlScanState state(expected, elements);
    state.source = source;
    state.records = &records;
    state.frames.reserve(32);
    records.reserve(expected);
    WalkXmlElements(source, state);
    warnings = state.warnings;
    return !records.empty();
}

std::string MakeValuePath(const std::vector<std::string>& components, std::string_view elementComponent,
                          std::string_view attribute) {
    std::string path;
    for (size_t i = 0; i < components.size(); ++i) {
        if (i) path += '/';
        path += components[i];
    }
    if (!path.empty()) path += '/';
    path += elementComponent;
    AppendAttributeLeaf(path, attribute);
    return path;
}

namespace {

// The value range of the first attribute of a start tag whose name passes match.
template <class Match>
bool FindFirstAttribute(std::string_view source, size_t tagStart, size_t tagEnd, Match&& match, size_t& valueStart,
                        size_t& valueEnd) {
    if (tagStart >= tagEnd || tagEnd >= source.size() || source[tagStart] != '<') return false;
    const size_t nameStart = SkipXmlSpace(source, tagStart + 1, tagEnd);
    bool found = false;
    size_t warnings = 0;
    WalkTagAttributes(source, SkipXmlNameChars(source, nameStart, tagEnd), tagEnd, warnings,
                      [&](std::string_view attribute, size_t start, size_t end) {
                          if (!match(attribute)) return true;
                          valueStart = start;
                          valueEnd = end;
                          found = true;
                          return false;
                      });
    return found;
}

}  // namespace

bool FindAttribute(std::string_view source, size_t tagStart, size_t tagEnd, std::string_view name,
                   std::string& value) {
    value.clear();
    size_t start = 0;
    size_t end = 0;
    if (name.empty() ||
        !FindFirstAttribute(source, tagStart, tagEnd, [&](std::string_view a) { return a == name; }, start, end)) {
        return false;
    }
    value.assign(source.substr(start, end - start));
    return true;
}

bool FindTagAttributeSpan(std::string_view source, size_t tagStart, size_t tagEnd, std::string_view name,
                          size_t& valueStart, size_t& valueEnd) {
    return !name.empty() && FindFirstAttribute(
                                source, tagStart, tagEnd, [&](std::string_view a) { return EqualsNoCase(a, name); },
                                valueStart, valueEnd);
}

namespace {

// ParseBoolOrNumber, handing out the number a float text reads as.
XmlValueKind ClassifyText(std::string_view text, double& number) {
    number = 0.0;
    if (EqualsNoCase(text, "true") || EqualsNoCase(text, "false")) return kXmlValueBool;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return kXmlValueHex;
    if (!text.empty()) {
        size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
        if (i < text.size()) {
            size_t j = i;
            while (j < text.size() && core::IsDigitByte(static_cast<unsigned char>(text[j]))) ++j;
            if (j == text.size()) return kXmlValueInteger;
        }
        size_t used = 0;
        if (core::ParseDoublePrefix(text, number, &used) && used == text.size()) return kXmlValueFloat;
        number = 0.0;
    }
    return kXmlValueText;
}

}  // namespace

XmlValueKind ParseBoolOrNumber(std::string_view text) {
    double number = 0.0;
    return ClassifyText(text, number);
}

void ClassifyRecordText(XmlValueRecord& record) {
    double number = 0.0;
    record.kind = ClassifyText(record.originalText, number);
    record.floatValue = 0.0f;
    record.intValue = 0;
    record.boolValue = 0;
    if (record.kind == kXmlValueFloat && record.currentText == record.originalText) {
        record.floatValue = static_cast<float>(number);  // the whole text was the number
    } else {
        ParseRecordValue(record);
    }
}

void ParseRecordValue(XmlValueRecord& record) {
    switch (record.kind) {
        case kXmlValueFloat:
            record.floatValue = static_cast<float>(LenientDouble(record.currentText));
            break;
        case kXmlValueInteger:
            record.intValue = LenientInt32(record.currentText);
            break;
        case kXmlValueBool:
            record.boolValue = EqualsNoCase(record.currentText, "true") ? 1 : 0;
            break;
        default:
            break;
    }
}

bool SplitAttributePath(std::string_view path, std::string& element, std::string& attribute) {
    element.clear();
    attribute.clear();
    const size_t slash = path.rfind('/');
    const std::string_view leaf = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = leaf.rfind('.');
    if (dot != std::string_view::npos && dot != 0 && dot + 1 != leaf.size()) {
        element.assign(leaf.substr(0, dot));
        attribute.assign(leaf.substr(dot + 1));
    } else {
        element.assign(leaf);
        attribute = "value";
    }
    return !element.empty() && !attribute.empty();
}

}  // namespace weather
