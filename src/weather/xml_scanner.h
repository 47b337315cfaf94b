// The XML value scanner of the weather documents: one pass over the raw text
// turns every editable value into a record that names it, keeps its text and
// remembers exactly where that text lies, so that a writer can splice edited
// texts back without touching anything else.
//
// Editable values: the attributes value, x, y, z and w of any element, and
// every number in the text of an element whose content attribute is
// "float_array" or "int_array". Nothing inside a comment or a CDATA section
// is a value.
//
// Paths: components joined by "/"; an element named Item is always numbered
// (Item[1], Item[2], ...), any other element from its second occurrence under
// the same parent (B, B[2], ...); an attribute other than "value" is appended
// after "."; array numbers get "[i]"; a path made a second time gets " #n".
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "weather/xml_walk.h"

namespace weather {

enum XmlValueKind : uint32_t {
    kXmlValueFloat = 0,
    kXmlValueInteger = 1,
    kXmlValueBool = 2,
    kXmlValueHex = 3,
    kXmlValueText = 4,
};

struct XmlValueRecord {
    std::string path;
    std::string originalText;
    std::string currentText;
    uint32_t kind = kXmlValueText;
    uint64_t startOffset = 0;  // first byte of the value text in the source
    uint64_t endOffset = 0;    // one past its last byte
    float floatValue = 0.0f;
    int32_t intValue = 0;
    uint8_t boolValue = 0;
    uint8_t arrayNumber = 0;  // 1 for a number of a float_array or int_array element
};

// Limits no weather document comes near; a text that reaches one ends the
// scan there with a warning, so no input can make a scan take unbounded
// memory (paths grow with nesting, records with the text).
inline constexpr size_t kMaxScanRecords = size_t(1) << 20;
inline constexpr size_t kMaxValuePathLength = 512;

// Empties records, sets warnings to 0, scans; true when a record was made.
// Warnings: a start tag without ">" and a comment or CDATA section never
// closed (the scan ends there), "=" without a value, a value without an
// opening quote, a quote not closed inside its tag, and a text beyond the
// limits above (the scan ends there).
bool ScanXmlValues(std::string_view source, std::vector<XmlValueRecord>& records, uint64_t& warnings);

// components joined by "/", then "/" + element component, then "." + attribute
// unless the attribute is "value".
std::string MakeValuePath(const std::vector<std::string>& components, std::string_view elementComponent,
                          std::string_view attribute);

// The quoted value of the attribute named exactly name (case-sensitive, whole
// name) of the start tag [tagStart, tagEnd], tagEnd being its ">". The search
// never leaves the tag.
bool FindAttribute(std::string_view source, size_t tagStart, size_t tagEnd, std::string_view name,
                   std::string& value);
// The value range (between the quotes, single or double) of the first
// attribute whose name equals name ignoring ASCII case.
bool FindTagAttributeSpan(std::string_view source, size_t tagStart, size_t tagEnd, std::string_view name,
                          size_t& valueStart, size_t& valueEnd);

// The kind of a value text: "true"/"false" (any case) bool; "0x"/"0X" and
// more hex; optional sign and decimal digits integer; a text strtod would
// consume whole float; anything else (the empty text too) text.
XmlValueKind ParseBoolOrNumber(std::string_view text);

// Re-parses the current text into the typed field of the record's kind.
void ParseRecordValue(XmlValueRecord& record);
// The kind of the original text (ParseBoolOrNumber) and the typed value of
// the current text, as a new record gets them.
void ClassifyRecordText(XmlValueRecord& record);

// "MainWaterTune/FogMin.x" -> "FogMin", "x"; a leaf without an inner "." gives
// the leaf and "value". True when both parts are non-empty.
bool SplitAttributePath(std::string_view path, std::string& element, std::string& attribute);

bool IsValueAttributeName(std::string_view name);

}  // namespace weather
