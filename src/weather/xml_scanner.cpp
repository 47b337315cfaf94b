#include "weather/xml_scanner.h"

#include <charconv>
#include <cmath>
#include <unordered_map>

#include "shell/text.h"
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

struct OccurrenceKey {
    uint64_t parent;
    std::string_view name;
    bool operator==(const OccurrenceKey& o) const { return parent == o.parent && name == o.name; }
};

struct OccurrenceHash {
    size_t operator()(const OccurrenceKey& k) const {
        return std::hash<std::string_view>()(k.name) ^ (k.parent * 0x9E3779B97F4A7C15ull);
    }
};

struct XmlScanState {
    std::string_view source;
    std::vector<XmlValueRecord>* records = nullptr;
    uint64_t warnings = 0;

    // The open elements: each frame remembers the path length before its
    // component and a serial that keys the counts of its children.
    struct Frame {
        size_t pathLength;
        uint64_t serial;
    };
    std::vector<Frame> frames;
    std::string path;  // path of the innermost open element (or of the tag being scanned)
    uint64_t nextSerial = 1;
    std::unordered_map<OccurrenceKey, int32_t, OccurrenceHash> occurrences;
    std::unordered_map<std::string, int32_t> duplicates;

    // Appends a record for source[start, end) under valuePath, giving the
    // path its " #n" suffix when it was made before.
    XmlValueRecord& AddRecord(std::string&& valuePath, size_t start, size_t end) {
        const int32_t count = ++duplicates[valuePath];
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
                              XmlValueRecord& record = state.AddRecord(std::move(valuePath), valueStart, valueEnd);
                              record.kind = ParseBoolOrNumber(record.originalText);
                              ParseRecordValue(record);
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
// element makes no record. The numbers are read as they come, so the end tag
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
        if (!shell::ParseFloatPrefix(text.substr(p), value, &used) || used == 0 || !std::isfinite(value)) return true;
        if (state.records->size() + numbers.size() >= kMaxScanRecords) return false;
        numbers.push_back({p, p + used, value});
        p += used;
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
    }
    return true;
}

bool XmlScanState::Open(const XmlStartTag& tag) {
    const uint64_t parent = frames.empty() ? 0 : frames.back().serial;
    const int32_t count = ++occurrences[OccurrenceKey{parent, tag.name}];
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
    XmlScanState state;
    state.source = source;
    state.records = &records;
    state.frames.reserve(32);
    state.occurrences.reserve(256);
    state.duplicates.reserve(source.size() / 64 + 16);
    records.reserve(source.size() / 96 + 8);
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

bool FindAttribute(std::string_view source, size_t tagStart, size_t tagEnd, std::string_view name,
                   std::string& value) {
    value.clear();
    if (name.empty() || tagStart >= tagEnd || tagEnd >= source.size() || source[tagStart] != '<') return false;
    const size_t nameStart = SkipXmlSpace(source, tagStart + 1, tagEnd);
    bool found = false;
    size_t warnings = 0;
    WalkTagAttributes(source, SkipXmlNameChars(source, nameStart, tagEnd), tagEnd, warnings,
                      [&](std::string_view attribute, size_t valueStart, size_t valueEnd) {
                          if (attribute != name) return true;
                          value.assign(source.substr(valueStart, valueEnd - valueStart));
                          found = true;
                          return false;
                      });
    return found;
}

bool FindTagAttributeSpan(std::string_view source, size_t tagStart, size_t tagEnd, std::string_view name,
                          size_t& valueStart, size_t& valueEnd) {
    if (name.empty() || tagStart >= tagEnd || tagEnd >= source.size() || source[tagStart] != '<') return false;
    const size_t nameStart = SkipXmlSpace(source, tagStart + 1, tagEnd);
    bool found = false;
    size_t warnings = 0;
    WalkTagAttributes(source, SkipXmlNameChars(source, nameStart, tagEnd), tagEnd, warnings,
                      [&](std::string_view attribute, size_t start, size_t end) {
                          if (!EqualsNoCase(attribute, name)) return true;
                          valueStart = start;
                          valueEnd = end;
                          found = true;
                          return false;
                      });
    return found;
}

XmlValueKind ParseBoolOrNumber(std::string_view text) {
    if (EqualsNoCase(text, "true") || EqualsNoCase(text, "false")) return kXmlValueBool;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return kXmlValueHex;
    if (!text.empty()) {
        size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
        if (i < text.size()) {
            size_t j = i;
            while (j < text.size() && shell::IsDigitByte(static_cast<unsigned char>(text[j]))) ++j;
            if (j == text.size()) return kXmlValueInteger;
        }
        double value = 0.0;
        size_t used = 0;
        if (shell::ParseDoublePrefix(text, value, &used) && used == text.size()) return kXmlValueFloat;
    }
    return kXmlValueText;
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
