// The weather.xml model: the 17 weather types of the WeatherTypes section
// with their 31 fields (each bound to a 4-byte field of the game's 196-byte
// weather record) and the windInfluence and gravity values of the 24 particle
// effects of the WeatherGpuFx section. Model paths:
//   "WeatherTypes/" + weather + "/" + field
//   "WeatherGpuFx/" + effect + "/" + field
// Table names (weathers, fields, effects, setting and cloud names) compare
// ignoring ASCII case; path prefixes and tags compare exactly.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "weather/xml_scanner.h"

namespace weather {

inline constexpr size_t kWeatherTypeCount = 17;
inline constexpr size_t kWeatherTypeFieldCount = 31;
inline constexpr size_t kWeatherGpuFxCount = 24;
inline constexpr uint32_t kWeatherRecordSize = 196;

struct WeatherTypeName {
    const char* name;
    int32_t index;  // record number in the game's WeatherTypes table
};
extern const std::array<WeatherTypeName, kWeatherTypeCount> WeatherTypeNameTable;

enum WeatherFieldKind : uint32_t {
    kWeatherFieldFloat = 0,
    kWeatherFieldBool = 1,          // 32-bit word 0 or 1
    kWeatherFieldSettingIndex = 2,  // 32-bit signed index into a setting-name table
    kWeatherFieldCloudHash = 3,     // 32-bit hash of a cloud settings name
};

struct WeatherTypeField {
    const char* name;  // the XML element name
    uint32_t offset;   // in the game's weather record
    WeatherFieldKind kind;
};
extern const std::array<WeatherTypeField, kWeatherTypeFieldCount> WeatherTypeFieldTable;

struct EffectSettingName {
    const char* name;
    int32_t index;  // -1 for "-" (no effect)
};
extern const std::array<EffectSettingName, 11> DropSettingNameTable;
extern const std::array<EffectSettingName, 6> MistSettingNameTable;
extern const std::array<EffectSettingName, 10> GroundSettingNameTable;

struct CloudSettingsNameRow {
    const char* name;
    uint32_t hash;
};
extern const std::array<CloudSettingsNameRow, 8> CloudSettingsNameTable;

struct WeatherGpuFxRow {
    const char* effect;
    const char* renderDocument;  // registry file name of the effect's render document
};
extern const std::array<WeatherGpuFxRow, kWeatherGpuFxCount> WeatherGpuFxTable;

inline constexpr uint32_t kWindInfluenceOffset = 0;
inline constexpr uint32_t kGravityOffset = 4;

// ---- The sections of a weather.xml text ------------------------------------
// Found by searching the markup (comments and CDATA sections hide what they
// hold), under any root element or none:
// - a section is the first element of its name (e.g. "WeatherTypes") that is
//   not self-closing, wherever it sits, up to its own end tag;
// - its items are the Item elements inside it at any depth, in document
//   order, except an Item inside an item (that belongs to the item);
// - an item's Name and fields sit at any depth inside it, except inside an
//   Item nested in it; the first element of a name is the one read.
// Names compare whole and exactly ("Items", "SunX" are not Item, Sun); an
// end tag of no open element closes nothing. A section or item whose own end
// tag is missing (closed by an outer element's end tag, or never) is not
// read: one warning each (none more when the text ends on a cut-off tag or
// comment, which the value scanner counts).

struct WeatherXmlChild {
    std::string_view name;  // the field's name as the model spells it
    size_t tagStart = 0;
    size_t tagEnd = 0;  // its ">"
    bool selfClosing = false;
    size_t contentEnd = std::string_view::npos;  // start of its own end tag; npos while not closed by it
};

struct WeatherXmlItem {
    std::string name;  // trimmed text of its Name element, else "Item " + position
    bool named = false;
    size_t tagStart = 0;
    size_t tagEnd = 0;
    // Its first Name element and the first element of each model field, in
    // document order: for WeatherTypes the 31 fields, for WeatherGpuFx
    // windInfluence and gravity (in any case) with a number or bool value.
    std::vector<WeatherXmlChild> children;
    uint32_t repeatedFields = 0;  // later windInfluence or gravity elements with such a value
};

struct WeatherXmlSections {
    std::vector<WeatherXmlItem> weatherTypes;
    std::vector<WeatherXmlItem> gpuFx;
    uint64_t warnings = 0;  // sections and items without their own end tag
};

WeatherXmlSections ReadWeatherXmlSections(std::string_view text);

// The names of the Item elements of a section (e.g. "WeatherTypes"), in
// document order.
void ListSectionItemNames(std::string_view text, std::string_view section, std::vector<std::string>& names);

// The value range of one field of an item: the trimmed text of the field's
// element (setting names), or the value attribute of the field's element.
// False when the item has no such field (or its text holds markup).
bool ReadItemFieldText(std::string_view text, const WeatherXmlItem& item, std::string_view field,
                       size_t& valueStart, size_t& valueEnd);
bool ReadItemFieldValueAttr(std::string_view text, const WeatherXmlItem& item, std::string_view field,
                            size_t& valueStart, size_t& valueEnd);

// Appends one record per (weather item, field) found, in item order and per
// item in field-table order, under the table's spelling of the weather. An
// item that repeats a weather already listed (in any case) is skipped with a
// warning.
void ScanWeatherTypes(std::string_view text, const std::vector<WeatherXmlItem>& items,
                      std::vector<XmlValueRecord>& records, uint64_t& warnings);

// Appends the windInfluence and gravity records of the effect items, in item
// order and per item in document order, under the table's spelling of the
// effect and the field. An item that repeats an effect already listed (in
// any case) is skipped with a warning; a later windInfluence or gravity
// element of one item (in any case) adds a warning.
void ScanWeatherGpuFx(std::string_view text, const std::vector<WeatherXmlItem>& items,
                      std::vector<XmlValueRecord>& records, uint64_t& warnings);

// Replaces the scanner's records of a weather.xml text by the model's, read
// from the text itself: the WeatherTypes records followed by the WeatherGpuFx
// records, each with its offsets into text. Adds the sections' warnings.
void FilterWeatherXmlLiveValues(std::string_view text, std::vector<XmlValueRecord>& records, uint64_t& warnings);

// "CContentsOfWeatherXmlFile/" + section + "/Item[n]/" + field -> n - 1 and
// field; index -1 and false when the path is not of that form.
bool ParseWeatherXmlItemPath(const XmlValueRecord& record, std::string_view section, int32_t& index,
                             std::string& field);

bool SplitSectionPath(std::string_view path, std::string_view section, std::string& name, std::string& field);
bool SplitWeatherPath(std::string_view path, std::string& section, std::string& entry, std::string& field);
bool ResolveWeatherTypesPath(std::string_view path, int32_t& weatherIndex, int32_t& fieldRow);
bool ResolveWeatherGpuFxPath(std::string_view path, int32_t& effectRow, uint32_t& fieldOffset);

int32_t FindWeatherTypeName(std::string_view name);  // row or -1
int32_t FindWeatherTypeField(std::string_view field);  // row or -1
int32_t FindWeatherGpuFx(std::string_view effect);     // row or -1

// Value conversions for the game's words.
bool ParseWeatherValue(const XmlValueRecord& record, float& value, std::string& status);
bool EffectSettingIndex(std::string_view field, std::string_view text, int32_t& index);
bool CloudSettingsHash(std::string_view text, uint32_t& hash);

// Presentation.
int32_t WeatherFieldGroup(std::string_view field);        // 0..9
const char* WeatherFieldGroupName(std::string_view field);  // "Sky" ... "Clouds", "Other"
std::string WeatherPathLabel(std::string_view path);
std::string FormatColorHex(float red, float green, float blue, float alpha);

}  // namespace weather
