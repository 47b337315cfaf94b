#include "weather/weather_xml_model.h"

#include <cmath>

#include "core/text.h"
#include "weather/weather_text.h"

namespace weather {

const std::array<WeatherTypeName, kWeatherTypeCount> WeatherTypeNameTable = {{
    {"EXTRASUNNY", 0}, {"CLEAR", 1},     {"CLOUDS", 2},         {"SMOG", 3},
    {"FOGGY", 4},      {"OVERCAST", 5},  {"RAIN", 6},           {"THUNDER", 7},
    {"CLEARING", 8},   {"NEUTRAL", 9},   {"SNOW", 10},          {"BLIZZARD", 11},
    {"SNOWLIGHT", 12}, {"XMAS", 13},     {"HALLOWEEN", 14},     {"RAIN_HALLOWEEN", 15},
    {"SNOW_HALLOWEEN", 16},
}};

const std::array<WeatherTypeField, kWeatherTypeFieldCount> WeatherTypeFieldTable = {{
    {"Sun", 0x00, kWeatherFieldFloat},
    {"Cloud", 0x04, kWeatherFieldFloat},
    {"WindMin", 0x08, kWeatherFieldFloat},
    {"WindMax", 0x0C, kWeatherFieldFloat},
    {"Rain", 0x10, kWeatherFieldFloat},
    {"Snow", 0x14, kWeatherFieldFloat},
    {"SnowMist", 0x18, kWeatherFieldFloat},
    {"Fog", 0x1C, kWeatherFieldFloat},
    {"RippleBumpiness", 0x30, kWeatherFieldFloat},
    {"RippleMinBumpiness", 0x34, kWeatherFieldFloat},
    {"RippleMaxBumpiness", 0x38, kWeatherFieldFloat},
    {"RippleBumpinessWindScale", 0x3C, kWeatherFieldFloat},
    {"RippleSpeed", 0x40, kWeatherFieldFloat},
    {"RippleVelocityTransfer", 0x48, kWeatherFieldFloat},
    {"OceanBumpiness", 0x4C, kWeatherFieldFloat},
    {"DeepOceanScale", 0x50, kWeatherFieldFloat},
    {"OceanNoiseMinAmplitude", 0x54, kWeatherFieldFloat},
    {"OceanWaveAmplitude", 0x58, kWeatherFieldFloat},
    {"ShoreWaveAmplitude", 0x5C, kWeatherFieldFloat},
    {"OceanWaveWindScale", 0x60, kWeatherFieldFloat},
    {"ShoreWaveWindScale", 0x64, kWeatherFieldFloat},
    {"OceanWaveMinAmplitude", 0x68, kWeatherFieldFloat},
    {"ShoreWaveMinAmplitude", 0x6C, kWeatherFieldFloat},
    {"OceanWaveMaxAmplitude", 0x70, kWeatherFieldFloat},
    {"ShoreWaveMaxAmplitude", 0x74, kWeatherFieldFloat},
    {"OceanFoamIntensity", 0x78, kWeatherFieldFloat},
    {"Lightning", 0x20, kWeatherFieldBool},
    {"DropSettingName", 0x24, kWeatherFieldSettingIndex},
    {"MistSettingName", 0x28, kWeatherFieldSettingIndex},
    {"GroundSettingName", 0x2C, kWeatherFieldSettingIndex},
    {"CloudSettingsName", 0xBC, kWeatherFieldCloudHash},
}};

const std::array<EffectSettingName, 11> DropSettingNameTable = {{
    {"-", -1},
    {"RAINSTORM_DROP", 0},
    {"THUNDER_DROP", 1},
    {"VFX_SNOW_LIGHT_DROP", 2},
    {"VFX_SNOW_HEAVY_DROP", 3},
    {"BLIZZARD_DROP", 4},
    {"UNDERWATER_DROP", 5},
    {"LAKE_FOG_DROP", 6},
    {"WOODLAND_POLLEN_DROP", 7},
    {"WOODLAND_FIREFLY_DROP", 8},
    {"WETLAND_FLIES_DROP", 9},
}};

const std::array<EffectSettingName, 6> MistSettingNameTable = {{
    {"-", -1},
    {"RAINSTORM_MIST", 0},
    {"THUNDER_MIST", 1},
    {"VFX_SNOW_HEAVY_MIST", 2},
    {"BLIZZARD_MIST", 3},
    {"UNDERWATER_MIST", 4},
}};

const std::array<EffectSettingName, 10> GroundSettingNameTable = {{
    {"-", -1},
    {"RAINSTORM_GROUND", 0},
    {"THUNDER_GROUND", 1},
    {"VFX_SNOW_HEAVY_GROUND", 2},
    {"BLIZZARD_GROUND", 3},
    {"COUNTRYSIDE_GROUND", 4},
    {"DESERT_GROUND", 5},
    {"DESERT_GROUND_HEAVY", 6},
    {"LAKE_FOG_GROUND", 7},
    {"WOODLAND_MIST_GROUND", 8},
}};

const std::array<CloudSettingsNameRow, 8> CloudSettingsNameTable = {{
    {"Default", 0xE4DF46D5u},
    {"LIGHTclouds", 0x1BF731FBu},
    {"MEDIUMclouds", 0x51E7AA93u},
    {"HEAVYclouds", 0x444BD7D3u},
    {"STORMclouds", 0x97564ED1u},
    {"POSTRAINclouds", 0xC31949CFu},
    {"SNOWclouds", 0x2364AAF0u},
    {"HALLOWEENclouds", 0x8A8D2764u},
}};

const std::array<WeatherGpuFxRow, kWeatherGpuFxCount> WeatherGpuFxTable = {{
    {"RAINSTORM_DROP", "weather\\rainstorm_render_drop.xml"},
    {"RAINSTORM_MIST", "weather\\rainstorm_render_mist.xml"},
    {"RAINSTORM_GROUND", "weather\\rainstorm_render_ground.xml"},
    {"THUNDER_DROP", "weather\\thunder_render_drop.xml"},
    {"THUNDER_MIST", "weather\\thunder_render_mist.xml"},
    {"THUNDER_GROUND", "weather\\thunder_render_ground.xml"},
    {"VFX_SNOW_LIGHT_DROP", "weather\\snowlight_render_drop.xml"},
    {"VFX_SNOW_HEAVY_DROP", "weather\\snowheavy_render_drop.xml"},
    {"VFX_SNOW_HEAVY_MIST", "weather\\snowheavy_render_mist.xml"},
    {"VFX_SNOW_HEAVY_GROUND", "weather\\snowheavy_render_ground.xml"},
    {"BLIZZARD_DROP", "weather\\blizzard_render_drop.xml"},
    {"BLIZZARD_MIST", "weather\\blizzard_render_mist.xml"},
    {"BLIZZARD_GROUND", "weather\\blizzard_render_ground.xml"},
    {"UNDERWATER_DROP", "weather\\underwater_render_drop.xml"},
    {"UNDERWATER_MIST", "weather\\underwater_render_mist.xml"},
    {"COUNTRYSIDE_GROUND", "weather\\countryside_render_ground.xml"},
    {"DESERT_GROUND", "weather\\desert_render_ground.xml"},
    {"DESERT_GROUND_HEAVY", "weather\\desert_render_ground_heavy.xml"},
    {"LAKE_FOG_GROUND", "weather\\lake_fog_render_ground.xml"},
    {"LAKE_FOG_DROP", "weather\\lake_fog_render_drop.xml"},
    {"WOODLAND_POLLEN_DROP", "weather\\pollen_render_drop.xml"},
    {"WOODLAND_FIREFLY_DROP", "weather\\firefly_render_drop.xml"},
    {"WOODLAND_MIST_GROUND", "weather\\woodland_mist_render_ground.xml"},
    {"WETLAND_FLIES_DROP", "weather\\fly_render_drop.xml"},
}};

namespace {

constexpr std::string_view kRootName = "CContentsOfWeatherXmlFile";
constexpr std::string_view kWeatherTypesWord = "WeatherTypes";
constexpr std::string_view kWeatherGpuFxWord = "WeatherGpuFx";

template <class Table>
int32_t FindRowNoCase(const Table& table, std::string_view name) {
    for (size_t i = 0; i < table.size(); ++i) {
        if (EqualsNoCase(table[i].name, name)) return static_cast<int32_t>(i);
    }
    return -1;
}

bool IsLiveEffectField(std::string_view field) {
    return EqualsNoCase(field, "windInfluence") || EqualsNoCase(field, "gravity");
}

// The row of a field by its exact element name, -1 for none.
int32_t FindModelField(std::string_view name) {
    static const auto kNames = [] {
        std::array<std::string_view, kWeatherTypeFieldCount> names;
        for (size_t i = 0; i < names.size(); ++i) names[i] = WeatherTypeFieldTable[i].name;
        return names;
    }();
    for (size_t i = 0; i < kNames.size(); ++i) {
        if (name == kNames[i]) return static_cast<int32_t>(i);
    }
    return -1;
}

// The name of the end tag that starts at closingTagStart ("</").
std::string_view EndTagName(std::string_view text, size_t closingTagStart) {
    const size_t from = SkipXmlSpace(text, closingTagStart + 2, text.size());
    return text.substr(from, SkipXmlNameChars(text, from, text.size()) - from);
}

enum class ItemFields { kNameOnly, kWeatherTypes, kGpuFx };

// One section of the walk below: the first element of its name that is not
// self-closing, wherever it sits, up to its own end tag. Its items are the
// Item elements inside it at any depth, except Items inside an item; an
// item's Name and fields sit at any depth inside it, except inside an Item
// nested in it (that is another item's).
struct SectionWalk {
    static constexpr size_t kNone = ~size_t(0);
    enum State { kLooking, kOpen, kDone };

    std::string_view word;
    std::vector<WeatherXmlItem>* items = nullptr;
    ItemFields fields = ItemFields::kNameOnly;
    State state = kLooking;
    size_t depth = 0;            // of the section element
    size_t itemDepth = kNone;    // of the open item, the last of items
    size_t nestedDepth = kNone;  // of an Item open inside the open item
    size_t textDepth = kNone;    // of the open child whose text is read (Name, setting names)
    size_t textChild = 0;
};

// Collects the sections asked for in one walk. Only the first Name and the
// first element of each field are kept per item (for windInfluence and
// gravity the first with a usable value), so an item's list stays short
// whatever the input.
struct SectionCollector {
    std::string_view text;
    std::array<SectionWalk, 2> sections;
    size_t openDepth = 0;
    bool stopped = false;
    uint64_t warnings = 0;

    bool Open(const XmlStartTag& tag) {
        for (SectionWalk& s : sections) {
            if (s.items) Open(s, tag);
        }
        if (!tag.selfClosing) ++openDepth;
        return true;
    }

    void Open(SectionWalk& s, const XmlStartTag& tag) {
        if (s.state == SectionWalk::kLooking) {
            if (!tag.selfClosing && tag.name == s.word) {
                s.state = SectionWalk::kOpen;
                s.depth = tag.depth;
            }
            return;
        }
        if (s.state != SectionWalk::kOpen || s.nestedDepth != SectionWalk::kNone) return;
        if (tag.name == "Item") {
            if (s.itemDepth != SectionWalk::kNone) {
                if (!tag.selfClosing) s.nestedDepth = tag.depth;
                return;
            }
            WeatherXmlItem& item = s.items->emplace_back();
            item.tagStart = tag.tagStart;
            item.tagEnd = tag.tagEnd;
            if (!tag.selfClosing) s.itemDepth = tag.depth;
            return;
        }
        if (s.itemDepth != SectionWalk::kNone) KeepChild(s, tag);
    }

    void KeepChild(SectionWalk& s, const XmlStartTag& tag) {
        WeatherXmlItem& item = s.items->back();
        std::string_view kept;
        bool textForm = false;
        bool effectField = false;
        if (tag.name == "Name") {
            kept = "Name";
            textForm = true;
        } else if (s.fields == ItemFields::kWeatherTypes) {
            const int32_t row = FindModelField(tag.name);
            if (row < 0) return;
            const WeatherTypeField& field = WeatherTypeFieldTable[static_cast<size_t>(row)];
            kept = field.name;
            textForm = field.kind == kWeatherFieldSettingIndex || field.kind == kWeatherFieldCloudHash;
        } else if (s.fields == ItemFields::kGpuFx && IsLiveEffectField(tag.name)) {
            // GRAVITY, gravity and Gravity are one game field: kept under one name.
            kept = EqualsNoCase(tag.name, "gravity") ? "gravity" : "windInfluence";
            effectField = true;
        } else {
            return;
        }
        if (effectField && !HasUsableValue(tag)) return;
        for (const WeatherXmlChild& child : item.children) {
            if (child.name != kept) continue;
            if (effectField) ++item.repeatedFields;
            return;
        }
        WeatherXmlChild& child = item.children.emplace_back();
        child.name = kept;
        child.tagStart = tag.tagStart;
        child.tagEnd = tag.tagEnd;
        child.selfClosing = tag.selfClosing;
        if (textForm && !tag.selfClosing) {
            s.textDepth = tag.depth;
            s.textChild = item.children.size() - 1;
        }
    }

    // A value attribute whose text is a number or a bool.
    bool HasUsableValue(const XmlStartTag& tag) const {
        size_t start = 0;
        size_t end = 0;
        return FindTagAttributeSpan(text, tag.tagStart, tag.tagEnd, "value", start, end) &&
               ParseBoolOrNumber(text.substr(start, end - start)) <= kXmlValueBool;
    }

    void Close(size_t closingTagStart) {
        const size_t depth = --openDepth;  // of the element closed
        for (SectionWalk& s : sections) {
            if (s.items && s.state == SectionWalk::kOpen) Close(s, depth, closingTagStart);
        }
    }

    // An element counts as closed only by its own end tag: one closed by an
    // outer element's end tag (its own is missing) is not read.
    void Close(SectionWalk& s, size_t depth, size_t closingTagStart) {
        const std::string_view closer = EndTagName(text, closingTagStart);
        if (depth == s.textDepth) {
            WeatherXmlChild& child = s.items->back().children[s.textChild];
            if (closer == child.name) child.contentEnd = closingTagStart;
            s.textDepth = SectionWalk::kNone;
        } else if (depth == s.nestedDepth) {
            s.nestedDepth = SectionWalk::kNone;
        } else if (depth == s.itemDepth) {
            s.itemDepth = SectionWalk::kNone;
            s.textDepth = SectionWalk::kNone;
            if (closer != "Item") {
                s.items->pop_back();
                ++warnings;
            }
        } else if (depth == s.depth) {
            s.state = SectionWalk::kDone;
            if (closer != s.word) {
                s.items->clear();
                ++warnings;
            }
        }
    }

    // A start tag without ">", one too many, or a comment never closed: the
    // value scanner has counted it already.
    void Stopped(size_t) { stopped = true; }

    // A section still open when the text ends has no items.
    void Finish() {
        for (SectionWalk& s : sections) {
            if (!s.items || s.state != SectionWalk::kOpen) continue;
            s.items->clear();
            if (!stopped) ++warnings;
        }
    }
};

const WeatherXmlChild* FindChild(const WeatherXmlItem& item, std::string_view name) {
    for (const WeatherXmlChild& child : item.children) {
        if (child.name == name) return &child;
    }
    return nullptr;
}

// The text of a closed, non-self-closing child holding no markup, trimmed.
bool ChildTextRange(std::string_view text, const WeatherXmlChild& child, size_t& start, size_t& end) {
    if (child.selfClosing || child.contentEnd == std::string_view::npos) return false;
    start = child.tagEnd + 1;
    end = child.contentEnd;
    if (text.substr(start, end - start).find('<') != std::string_view::npos) return false;
    while (start < end && core::IsSpaceByte(static_cast<unsigned char>(text[start]))) ++start;
    while (end > start && core::IsSpaceByte(static_cast<unsigned char>(text[end - 1]))) --end;
    return true;
}

void NameItems(std::string_view text, std::vector<WeatherXmlItem>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        WeatherXmlItem& item = items[i];
        size_t start = 0;
        size_t end = 0;
        const WeatherXmlChild* name = FindChild(item, "Name");
        if (name && ChildTextRange(text, *name, start, end)) {
            item.name.assign(text.substr(start, end - start));
            item.named = true;
        } else {
            item.name = "Item " + std::to_string(i + 1);
        }
    }
}

XmlValueRecord MakeModelRecord(std::string path, std::string_view text, size_t start, size_t end) {
    XmlValueRecord record;
    record.path = std::move(path);
    record.originalText.assign(text.substr(start, end - start));
    record.currentText = record.originalText;
    record.startOffset = start;
    record.endOffset = end;
    ClassifyRecordText(record);
    return record;
}

// Marks later items that repeat the name of an earlier known item; each one
// found adds a warning.
std::vector<bool> RepeatedKnownItems(const std::vector<WeatherXmlItem>& items, bool gpuFx, uint64_t& warnings) {
    std::vector<bool> repeated(items.size(), false);
    std::vector<bool> seen(gpuFx ? kWeatherGpuFxCount : kWeatherTypeCount, false);
    for (size_t i = 0; i < items.size(); ++i) {
        const int32_t row = gpuFx ? FindWeatherGpuFx(items[i].name) : FindWeatherTypeName(items[i].name);
        if (row < 0) continue;
        if (seen[static_cast<size_t>(row)]) {
            repeated[i] = true;
            ++warnings;
        }
        seen[static_cast<size_t>(row)] = true;
    }
    return repeated;
}

}  // namespace

WeatherXmlSections ReadWeatherXmlSections(std::string_view text) {
    WeatherXmlSections sections;
    SectionCollector collector;
    collector.text = text;
    collector.sections[0].word = kWeatherTypesWord;
    collector.sections[0].items = &sections.weatherTypes;
    collector.sections[0].fields = ItemFields::kWeatherTypes;
    collector.sections[1].word = kWeatherGpuFxWord;
    collector.sections[1].items = &sections.gpuFx;
    collector.sections[1].fields = ItemFields::kGpuFx;
    WalkXmlElements(text, collector, StrayEndTags::kPassOver);
    collector.Finish();
    sections.warnings = collector.warnings;
    NameItems(text, sections.weatherTypes);
    NameItems(text, sections.gpuFx);
    return sections;
}

void ListSectionItemNames(std::string_view text, std::string_view section, std::vector<std::string>& names) {
    names.clear();
    if (section.empty()) return;
    std::vector<WeatherXmlItem> items;
    SectionCollector collector;
    collector.text = text;
    collector.sections[0].word = section;
    collector.sections[0].items = &items;
    WalkXmlElements(text, collector, StrayEndTags::kPassOver);
    collector.Finish();
    NameItems(text, items);
    for (WeatherXmlItem& item : items) names.push_back(std::move(item.name));
}

bool ReadItemFieldText(std::string_view text, const WeatherXmlItem& item, std::string_view field,
                       size_t& valueStart, size_t& valueEnd) {
    const WeatherXmlChild* child = FindChild(item, field);
    return child && ChildTextRange(text, *child, valueStart, valueEnd);
}

bool ReadItemFieldValueAttr(std::string_view text, const WeatherXmlItem& item, std::string_view field,
                            size_t& valueStart, size_t& valueEnd) {
    const WeatherXmlChild* child = FindChild(item, field);
    return child && FindTagAttributeSpan(text, child->tagStart, child->tagEnd, "value", valueStart, valueEnd);
}

void ScanWeatherTypes(std::string_view text, const std::vector<WeatherXmlItem>& items,
                      std::vector<XmlValueRecord>& records, uint64_t& warnings) {
    const std::vector<bool> repeated = RepeatedKnownItems(items, false, warnings);
    for (size_t i = 0; i < items.size(); ++i) {
        const WeatherXmlItem& item = items[i];
        const int32_t weatherRow = FindWeatherTypeName(item.name);
        if (repeated[i] || weatherRow < 0) continue;
        // Paths carry the table's spelling, whatever case the file writes.
        const std::string_view weatherName = WeatherTypeNameTable[static_cast<size_t>(weatherRow)].name;
        for (const WeatherTypeField& field : WeatherTypeFieldTable) {
            size_t start = 0;
            size_t end = 0;
            const bool elementForm =
                field.kind == kWeatherFieldSettingIndex || field.kind == kWeatherFieldCloudHash;
            const bool found = elementForm ? ReadItemFieldText(text, item, field.name, start, end)
                                           : ReadItemFieldValueAttr(text, item, field.name, start, end);
            if (!found) continue;
            std::string path;
            path.reserve(16 + weatherName.size() + 32);
            path += "WeatherTypes/";
            path += weatherName;
            path += '/';
            path += field.name;
            records.push_back(MakeModelRecord(std::move(path), text, start, end));
        }
    }
}

void ScanWeatherGpuFx(std::string_view text, const std::vector<WeatherXmlItem>& items,
                      std::vector<XmlValueRecord>& records, uint64_t& warnings) {
    const std::vector<bool> repeated = RepeatedKnownItems(items, true, warnings);
    for (size_t i = 0; i < items.size(); ++i) {
        const WeatherXmlItem& item = items[i];
        const int32_t effectRow = FindWeatherGpuFx(item.name);
        if (repeated[i] || effectRow < 0) continue;
        warnings += item.repeatedFields;
        // In document order, as the fields stand in the item.
        for (const WeatherXmlChild& child : item.children) {
            if (child.name == "Name") continue;
            size_t start = 0;
            size_t end = 0;
            if (!FindTagAttributeSpan(text, child.tagStart, child.tagEnd, "value", start, end)) continue;
            std::string path = "WeatherGpuFx/";
            path += WeatherGpuFxTable[static_cast<size_t>(effectRow)].effect;
            path += '/';
            path += child.name;
            records.push_back(MakeModelRecord(std::move(path), text, start, end));
        }
    }
}

void FilterWeatherXmlLiveValues(std::string_view text, std::vector<XmlValueRecord>& records, uint64_t& warnings) {
    // The scanner's records are not used: the sections are read from the text
    // itself, so no value is ever named after an item it does not sit in.
    const WeatherXmlSections sections = ReadWeatherXmlSections(text);
    warnings += sections.warnings;
    std::vector<XmlValueRecord> model;
    model.reserve(kWeatherTypeFieldCount * sections.weatherTypes.size() + 2 * sections.gpuFx.size());
    ScanWeatherTypes(text, sections.weatherTypes, model, warnings);
    ScanWeatherGpuFx(text, sections.gpuFx, model, warnings);
    records = std::move(model);
}

bool ParseWeatherXmlItemPath(const XmlValueRecord& record, std::string_view section, int32_t& index,
                             std::string& field) {
    index = -1;
    field.clear();
    std::string_view rest = record.path;
    const auto take = [&rest](std::string_view part) {
        if (!StartsWith(rest, part)) return false;
        rest.remove_prefix(part.size());
        return true;
    };
    if (!take(kRootName) || !take("/") || !take(section) || !take("/Item[")) return false;
    const size_t close = rest.find("]/");
    if (close == std::string_view::npos || close == 0 || close + 2 >= rest.size()) return false;
    int64_t n = 0;
    for (size_t i = 0; i < close; ++i) {
        if (!core::IsDigitByte(static_cast<unsigned char>(rest[i]))) return false;
        if (n < 0x7FFFFFFF) n = n * 10 + (rest[i] - '0');
    }
    if (n < 1 || n > 0x7FFFFFFF) return false;
    index = static_cast<int32_t>(n - 1);
    field.assign(rest.substr(close + 2));
    return true;
}

bool SplitSectionPath(std::string_view path, std::string_view section, std::string& name, std::string& field) {
    name.clear();
    field.clear();
    if (path.size() <= section.size() || !StartsWith(path, section) || path[section.size()] != '/') return false;
    const size_t from = section.size() + 1;
    const size_t slash = path.find('/', from);
    if (slash == std::string_view::npos || slash == from || slash + 1 >= path.size()) return false;
    name.assign(path.substr(from, slash - from));
    field.assign(path.substr(slash + 1));
    return true;
}

bool SplitWeatherPath(std::string_view path, std::string& section, std::string& entry, std::string& field) {
    section.clear();
    entry.clear();
    field.clear();
    const size_t first = path.find('/');
    if (first == std::string_view::npos) return false;
    const size_t second = path.find('/', first + 1);
    if (second == std::string_view::npos) return false;
    section.assign(path.substr(0, first));
    entry.assign(path.substr(first + 1, second - first - 1));
    field.assign(path.substr(second + 1));
    return !section.empty() && !entry.empty() && !field.empty();
}

bool ResolveWeatherTypesPath(std::string_view path, int32_t& weatherIndex, int32_t& fieldRow) {
    weatherIndex = -1;
    fieldRow = -1;
    std::string name;
    std::string field;
    if (!SplitSectionPath(path, kWeatherTypesWord, name, field)) return false;
    const int32_t weatherRow = FindWeatherTypeName(name);
    const int32_t row = FindWeatherTypeField(field);
    if (weatherRow < 0 || row < 0) return false;
    weatherIndex = WeatherTypeNameTable[static_cast<size_t>(weatherRow)].index;
    fieldRow = row;
    return true;
}

bool ResolveWeatherGpuFxPath(std::string_view path, int32_t& effectRow, uint32_t& fieldOffset) {
    effectRow = -1;
    fieldOffset = 0;
    std::string name;
    std::string field;
    if (!SplitSectionPath(path, kWeatherGpuFxWord, name, field)) return false;
    const int32_t row = FindWeatherGpuFx(name);
    if (row < 0) return false;
    if (EqualsNoCase(field, "windInfluence")) {
        fieldOffset = kWindInfluenceOffset;
    } else if (EqualsNoCase(field, "gravity")) {
        fieldOffset = kGravityOffset;
    } else {
        return false;
    }
    effectRow = row;
    return true;
}

int32_t FindWeatherTypeName(std::string_view name) { return FindRowNoCase(WeatherTypeNameTable, name); }
int32_t FindWeatherTypeField(std::string_view field) { return FindRowNoCase(WeatherTypeFieldTable, field); }

int32_t FindWeatherGpuFx(std::string_view effect) {
    for (size_t i = 0; i < WeatherGpuFxTable.size(); ++i) {
        if (EqualsNoCase(WeatherGpuFxTable[i].effect, effect)) return static_cast<int32_t>(i);
    }
    return -1;
}

bool ParseWeatherValue(const XmlValueRecord& record, float& value, std::string& status) {
    value = static_cast<float>(LenientDouble(record.currentText));
    if (std::isfinite(value)) return true;
    status = "Weather live failed: invalid value in " + record.path + ".";
    return false;
}

bool EffectSettingIndex(std::string_view field, std::string_view text, int32_t& index) {
    const std::string name = core::TrimCopy(text);
    int32_t row = -1;
    if (EqualsNoCase(field, "DropSettingName")) {
        row = FindRowNoCase(DropSettingNameTable, name);
        if (row >= 0) index = DropSettingNameTable[static_cast<size_t>(row)].index;
    } else if (EqualsNoCase(field, "MistSettingName")) {
        row = FindRowNoCase(MistSettingNameTable, name);
        if (row >= 0) index = MistSettingNameTable[static_cast<size_t>(row)].index;
    } else if (EqualsNoCase(field, "GroundSettingName")) {
        row = FindRowNoCase(GroundSettingNameTable, name);
        if (row >= 0) index = GroundSettingNameTable[static_cast<size_t>(row)].index;
    }
    return row >= 0;
}

bool CloudSettingsHash(std::string_view text, uint32_t& hash) {
    const int32_t row = FindRowNoCase(CloudSettingsNameTable, core::TrimCopy(text));
    if (row < 0) return false;
    hash = CloudSettingsNameTable[static_cast<size_t>(row)].hash;
    return true;
}

int32_t WeatherFieldGroup(std::string_view field) {
    const int32_t row = FindWeatherTypeField(field);
    if (row < 0) return 0;
    if (row <= 1) return 1;    // Sun, Cloud
    if (row <= 3) return 2;    // WindMin, WindMax
    if (row <= 7) return 3;    // Rain, Snow, SnowMist, Fog
    if (row <= 13) return 4;   // ripples
    if (row <= 16) return 5;   // ocean
    if (row <= 24) return 6;   // waves
    if (row == 25) return 7;   // foam
    if (row <= 29) return 8;   // lightning and setting names
    return 9;                  // cloud settings
}

const char* WeatherFieldGroupName(std::string_view field) {
    static const char* const kNames[] = {"Other", "Sky",   "Wind", "Weather", "Ripples",
                                         "Ocean", "Waves", "Foam", "Details", "Clouds"};
    return kNames[WeatherFieldGroup(field)];
}

std::string WeatherPathLabel(std::string_view path) {
    for (std::string_view section : {kWeatherTypesWord, kWeatherGpuFxWord}) {
        if (path.size() <= section.size() || !StartsWith(path, section) || path[section.size()] != '/') continue;
        const size_t from = section.size() + 1;
        const size_t slash = path.find('/', from);
        if (slash == std::string_view::npos || slash + 1 >= path.size()) continue;
        std::string label(section);
        label += " / ";
        label += path.substr(from, slash - from);
        label += " / ";
        label += path.substr(slash + 1);
        return label;
    }
    const size_t last = path.rfind('/');
    if (last != std::string_view::npos && last + 1 < path.size()) return std::string(path.substr(last + 1));
    return std::string(path);
}

std::string FormatColorHex(float red, float green, float blue, float alpha) {
    const auto channel = [](float c) -> uint32_t {
        const double scaled = std::round(static_cast<double>(c) * 255.0);
        if (!(scaled > 0.0)) return 0;
        if (scaled >= 255.0) return 255;
        return static_cast<uint32_t>(scaled);
    };
    const uint32_t word = channel(alpha) << 24 | channel(red) << 16 | channel(green) << 8 | channel(blue);
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(word >> shift) & 0xF];
    return text;
}

}  // namespace weather
