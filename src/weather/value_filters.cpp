#include "weather/value_filters.h"

#include <algorithm>
#include <cstring>

#include "weather/lightning_fields.h"
#include "weather/render_fields.h"
#include "weather/weather_text.h"
#include "weather/weather_xml_model.h"

namespace weather {

ValueFiltersState ValueFilters;

void ResetValueFiltersState() { ValueFilters = ValueFiltersState{}; }

namespace {

DocumentKind KindOf(const WeatherDocument& document) { return DocumentKindOf(document); }

}  // namespace

MiscXmlFilterState& MiscXmlFilterStateOf(const WeatherDocument& document) {
    switch (KindOf(document)) {
        case DocumentKind::Watertune: return ValueFilters.WatertuneFilterState;
        case DocumentKind::VfxLightning: return ValueFilters.VfxLightningFilterState;
        case DocumentKind::WeatherXml: return ValueFilters.WeatherXmlFilterState;
        default: return ValueFilters.WeatherRenderFilterState;
    }
}

bool IsValueEdited(const XmlValueRecord& value) { return value.currentText != value.originalText; }

uint64_t CountChangedValues(const WeatherDocument& document) {
    return static_cast<uint64_t>(std::count_if(document.values.begin(), document.values.end(), IsValueEdited));
}

bool IsLiveSupportedValue(const WeatherDocument& document, const XmlValueRecord& value) {
    switch (KindOf(document)) {
        case DocumentKind::Watertune:
            return true;
        case DocumentKind::VfxLightning:
            return FindLightningSetting(value.path) != nullptr;
        case DocumentKind::Render:
            return DropRenderFieldIndex(value) >= 0;
        case DocumentKind::WeatherXml: {
            int32_t first = 0;
            int32_t row = 0;
            uint32_t offset = 0;
            return ResolveWeatherTypesPath(value.path, first, row) || ResolveWeatherGpuFxPath(value.path, first, offset);
        }
        case DocumentKind::Other:
            break;
    }
    return false;
}

bool IsValueShown(const WeatherDocument& document, const XmlValueRecord& value) {
    return KindOf(document) == DocumentKind::Other || IsLiveSupportedValue(document, value);
}

bool IsValueLiveEditable(const WeatherDocument& document, const XmlValueRecord& value) {
    return KindOf(document) != DocumentKind::Other && IsLiveSupportedValue(document, value);
}

bool WeatherDocumentHasLiveEdits(const WeatherDocument& document) {
    if (!document.loaded) return false;
    for (const XmlValueRecord& value : document.values) {
        if (IsValueEdited(value) && IsLiveSupportedValue(document, value)) return true;
    }
    return false;
}

bool ValueMatchesSearch(const XmlValueRecord& value, const MiscXmlFilterState& filter) {
    const std::string_view search(filter.searchText, strnlen(filter.searchText, sizeof filter.searchText));
    return search.empty() || core::CaseInsensitiveContains(value.path, search);
}

bool ValuePassesWeatherScope(const WeatherDocument& document, const XmlValueRecord& value,
                             const MiscXmlFilterState& filter) {
    if (KindOf(document) != DocumentKind::WeatherXml) return true;
    const std::string_view path = value.path;
    if (filter.scope == 2) {
        if (!StartsWith(path, "WeatherGpuFx/")) return false;
        const int32_t effect = std::clamp(filter.effect, 0, static_cast<int32_t>(kWeatherGpuFxCount));
        if (effect == 0) return true;
        return StartsWith(path, std::string("WeatherGpuFx/") + WeatherGpuFxTable[effect - 1].effect + "/");
    }
    if (filter.scope != 1) return true;
    if (!StartsWith(path, "WeatherTypes/")) return false;
    const int32_t weather = std::clamp(filter.weather, 0, static_cast<int32_t>(kWeatherTypeCount));
    if (weather > 0 &&
        !StartsWith(path, std::string("WeatherTypes/") + WeatherTypeNameTable[weather - 1].name + "/")) {
        return false;
    }
    const int32_t group = std::clamp(filter.group, 0, 9);
    if (group == 0) return true;
    const size_t first = path.find('/');
    const size_t second = path.find('/', first + 1);
    const std::string_view field = second == std::string_view::npos ? std::string_view() : path.substr(second + 1);
    return WeatherFieldGroup(field) == group;
}

uint64_t CountShownValues(const WeatherDocument& document, const MiscXmlFilterState& filter) {
    uint64_t count = 0;
    for (const XmlValueRecord& value : document.values) {
        if (!IsValueShown(document, value) || !ValueMatchesSearch(value, filter) ||
            !ValuePassesWeatherScope(document, value, filter)) {
            continue;
        }
        if (filter.editedOnly && !IsValueEdited(value)) continue;
        ++count;
    }
    return count;
}

}  // namespace weather
