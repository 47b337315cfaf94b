#include "visualsettings/pointer_map.h"

#include <cstring>

#include "core/file_utils.h"
#include "core/text.h"
#include "platform/clock.h"
#include "runtime/data_signatures.h"
#include "runtime/guarded_memory.h"
#include "runtime/heap_scan.h"
#include "runtime/scans.h"
#include "visualsettings/param_table.h"

namespace visualsettings {

PointerMapState PointerMap;

namespace {

constexpr std::string_view kDuplicateTail = "#duplicate_0x";
constexpr std::string_view kModule = "module+";
constexpr std::string_view kDataSection = "section=.data";
constexpr std::string_view kComponentTargets = "componentTargets=";

// Keys whose entries keep more than one target after loading.
constexpr const char* kMultiTargetKeys[] = {"exposure.curve.offset", "misc.damageoverlay.colortop.blue",
                                            "misc.damageoverlay.fp.colortop.blue", "ped.phonelight.cone.inner"};

const std::vector<ComponentTarget> kPedLightDirection = {{"ped.light.direction.x", 0x1009000000000000ull},
                                                         {"ped.light.direction.y", 0x1009000000000004ull},
                                                         {"ped.light.direction.z", 0x1009000000000008ull}};
const std::vector<ComponentTarget> kPhoneLightColour = {{"ped.phonelight.color.r", 0x102800000000002Cull},
                                                        {"ped.phonelight.color.g", 0x1028000000000030ull},
                                                        {"ped.phonelight.color.b", 0x1028000000000034ull}};

bool IsHex(char c) { return core::IsDigitByte(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

unsigned DigitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    return static_cast<unsigned>(core::LowerByte(c) - 'a' + 10);
}

// The offset text after "module+" inside [from, end): an optional 0x when
// at least two characters remain, then the run of hex digits. Returns the
// position after the digits.
size_t OffsetText(std::string_view text, size_t from, size_t end, std::string_view& out) {
    size_t p = from;
    if (end - p >= 2 && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X')) p += 2;
    while (p < end && IsHex(text[p])) ++p;
    out = text.substr(from, p - from);
    return p;
}

std::string_view TrimSpacesAndTabs(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

template <typename Line>
void ForEachLine(std::string_view text, Line&& line) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view one = text.substr(0, end);
        if (!one.empty() && one.back() == '\r') one.remove_suffix(1);
        line(one);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

void RemoveEntry(PointerMapData& map, std::map<std::string, std::vector<uint64_t>>::iterator it) {
    const uint64_t n = it->second.size();
    map.targetCount = map.targetCount >= n ? map.targetCount - n : 0;
    map.entries.erase(it);
}

bool KeepsSeveralTargets(const std::string& key) {
    for (const char* kept : kMultiTargetKeys) {
        if (key == kept) return true;
    }
    return false;
}

bool ReadFile(const std::string& path, std::string& text) {
    return !path.empty() && core::ReadFileBytes(core::WidenAscii(path), text);
}

std::string Decimal(uint64_t v) { return std::to_string(v); }

}  // namespace

std::string NormalizePointerMapKey(std::string_view key) {
    std::string text = core::TrimCopy(key);
    const size_t tail = text.find(kDuplicateTail);
    if (tail != std::string::npos) text = core::TrimCopy(std::string_view(text).substr(0, tail));
    for (char& c : text) c = core::LowerByte(c);
    return text;
}

std::optional<uint64_t> ParseModuleOffset(std::string_view text) {
    unsigned base = 10;
    size_t p = 0;
    if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && IsHex(text[2])) {
        base = 16;
        p = 2;
    } else if (!text.empty() && text[0] == '0') {
        base = 8;
    }
    uint64_t value = 0;
    size_t consumed = 0;
    for (; p < text.size(); ++p) {
        const char c = text[p];
        const bool digit = base == 16 ? IsHex(c) : (c >= '0' && c <= (base == 8 ? '7' : '9'));
        if (!digit) break;
        const uint64_t d = DigitValue(c);
        value = value > (UINT64_MAX - d) / base ? UINT64_MAX : value * base + d;
        ++consumed;
    }
    if (consumed == 0 || value == 0) return std::nullopt;
    return value;
}

std::optional<PointerMapLine> ParsePointerMapLine(std::string_view line) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const size_t module = line.find(kModule, equals);
    if (module == std::string_view::npos || line.find(kDataSection) == std::string_view::npos) return std::nullopt;
    PointerMapLine out;
    out.key = NormalizePointerMapKey(line.substr(0, equals));
    if (out.key.empty()) return std::nullopt;
    std::string_view offset;
    OffsetText(line, module + kModule.size(), line.size(), offset);
    if (offset.empty()) return std::nullopt;
    const std::optional<uint64_t> value = ParseModuleOffset(offset);
    if (!value) return std::nullopt;
    out.offset = *value;
    return out;
}

std::optional<ComponentTargetsLine> ParseComponentTargetsLine(std::string_view line) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    ComponentTargetsLine out;
    out.key = std::string(TrimSpacesAndTabs(line.substr(0, equals)));
    if (out.key.empty()) return std::nullopt;
    const size_t marker = line.find(kComponentTargets);
    if (marker == std::string_view::npos) return std::nullopt;
    const size_t from = marker + kComponentTargets.size();
    const size_t stop = line.find(" ; ", from);
    const size_t end = stop == std::string_view::npos ? line.size() : stop;
    size_t p = from;
    while (p < end) {
        while (p < end && (line[p] == ' ' || line[p] == ',')) ++p;
        const size_t module = line.substr(0, end).find(kModule, p);
        if (module == std::string_view::npos) break;
        std::string_view text;
        p = OffsetText(line, module + kModule.size(), end, text);
        if (const std::optional<uint64_t> value = ParseModuleOffset(text)) out.targets.push_back(*value);
    }
    if (out.targets.empty()) return std::nullopt;
    return out;
}

std::vector<const char*> VectorKeySuffixes(std::string_view key) {
    for (const char* k : {"dark.light.offset", "dark.fpv.light.offset", "dark.seclight.offset"}) {
        if (key == k) return {".x", ".y", ".z"};
    }
    for (const char* k : {"dark.volumecolor", "pedfootlight.offset", "pedfpslight.volumecolor", "pedlight.volumecolor"}) {
        if (key == k) return {".x", ".y", ".z", ".w"};
    }
    for (const char* k : {"distantlights.carlight1.color", "distantlights.carlight2.color",
                          "distantlights.streetlight.color", "trafficlight.amber.color", "trafficlight.dontwalk.color",
                          "trafficlight.green.color", "trafficlight.red.color", "trafficlight.walk.color"}) {
        if (key == k) return {".red", ".green", ".blue"};
    }
    return {};
}

void AddPointerMapTarget(PointerMapData& map, std::string_view key, uint64_t target) {
    if (target == 0) return;
    const std::string normalised = NormalizePointerMapKey(key);
    if (normalised.empty()) return;
    std::vector<uint64_t>& list = map.entries[normalised];
    for (uint64_t t : list) {
        if (t == target) return;
    }
    list.push_back(target);
    ++map.targetCount;
}

void StorePointerMapValue(PointerMapData& map, std::string_view mainKey, const std::vector<ComponentTarget>& components,
                          size_t n) {
    auto it = map.entries.find(NormalizePointerMapKey(mainKey));
    if (it == map.entries.end() || it->second.size() < n) return;
    RemoveEntry(map, it);
    for (const ComponentTarget& c : components) AddPointerMapTarget(map, c.key, c.target);
}

void ParsePointerMapText(PointerMapData& map, std::string_view compositeText) {
    ForEachLine(compositeText, [&map](std::string_view line) {
        const std::optional<ComponentTargetsLine> parsed = ParseComponentTargetsLine(line);
        if (!parsed) return;
        const std::string key = NormalizePointerMapKey(parsed->key);
        const std::vector<const char*> suffixes = VectorKeySuffixes(key);
        for (size_t i = 0; i < parsed->targets.size() && i < suffixes.size(); ++i)
            AddPointerMapTarget(map, parsed->key + suffixes[i], parsed->targets[i]);
    });
}

PointerMapData BuildPointerMap(std::string_view mainText, std::string_view compositeText) {
    PointerMapData map;
    ForEachLine(mainText, [&map](std::string_view line) {
        if (const std::optional<PointerMapLine> parsed = ParsePointerMapLine(line))
            AddPointerMapTarget(map, parsed->key, parsed->offset);
    });
    StorePointerMapValue(map, "ped.light.direction.x", kPedLightDirection, 3);
    StorePointerMapValue(map, "ped.phonelight.color.b", kPhoneLightColour, 3);
    ParsePointerMapText(map, compositeText);
    for (auto it = map.entries.begin(); it != map.entries.end();) {
        auto next = std::next(it);
        if (it->second.size() > 1 && !KeepsSeveralTargets(it->first)) RemoveEntry(map, it);
        it = next;
    }
    return map;
}

void LoadPointerMap() {
    if (PointerMap.loaded.Get()) return;
    const uint64_t now = platform::TickCount64();
    const uint64_t last = PointerMap.lastAttemptMs.Get();
    if (last != 0 && now >= last && now - last < kPointerMapRetryMs) return;
    std::lock_guard<std::mutex> lock(PointerMap.mutex);
    if (PointerMap.loaded.Get()) return;
    const uint64_t seen = PointerMap.lastAttemptMs.Get();
    if (seen != last) return;  // another thread attempted meanwhile
    PointerMap.lastAttemptMs.Set(now != 0 ? now : 1);
    PointerMap.fileReads.FetchAdd(1);
    std::string main, composite;
    if (!ReadFile(PointerMap.mainPath, main)) return;
    ReadFile(PointerMap.compositePath, composite);
    auto map = std::make_shared<PointerMapData>(BuildPointerMap(main, composite));
    if (map->entries.empty()) {
        SetStatus(PointerMap.status, "Pointer map load failed.");
        return;
    }
    const uint64_t keys = map->entries.size();
    const uint64_t targets = map->targetCount;
    PointerMap.published = std::move(map);
    PointerMap.targetCount.Set(targets);
    PointerMap.loaded.Set(true);
    SetStatus(PointerMap.status,
              "Pointer map loaded: " + Decimal(keys) + " keys / " + Decimal(targets) + " safe .data targets.");
}

bool FindPointerMapEntry(const char* key, std::vector<uint64_t>& targets) {
    targets.clear();
    if (key == nullptr || key[0] == '\0') return false;
    LoadPointerMap();
    if (!PointerMap.loaded.Get() || IsVetoedKey(key)) return false;
    std::shared_ptr<const PointerMapData> map;
    {
        std::lock_guard<std::mutex> lock(PointerMap.mutex);
        map = PointerMap.published;
    }
    if (!map) return false;
    auto it = map->entries.find(NormalizePointerMapKey(key));
    if (it == map->entries.end() || it->second.empty()) return false;
    targets = it->second;
    return true;
}

uint64_t PointerMapTargetAddress(uint64_t target) {
    const uint64_t module = runtime::GameImageBase();
    if (target == 0 || module == 0) return 0;
    const uint64_t address = runtime::ResolveLiveHandle(module, target);
    if (address == 0) return 0;
    const uint64_t size = runtime::GetGameImageSize();
    if (address < module || address - module >= size || size - (address - module) < 4) return 0;
    if (runtime::SectionNameOf(address) != ".data" || !runtime::IsWritable(address, 4)) return 0;
    return address;
}

bool WritePointerMapTargets(const char* key, float v) {
    if (key == nullptr || runtime::GameImageBase() == 0) return false;
    std::vector<uint64_t> targets;
    if (!FindPointerMapEntry(key, targets)) return false;
    bool any = false;
    for (uint64_t target : targets) {
        const uint64_t address = PointerMapTargetAddress(target);
        if (address != 0 && runtime::SafeWriteFloat(address, v)) any = true;
    }
    return any;
}

void ResetPointerMapForTesting() {
    std::lock_guard<std::mutex> lock(PointerMap.mutex);
    PointerMap.published.reset();
    PointerMap.loaded.Set(false);
    PointerMap.lastAttemptMs.Set(0);
    PointerMap.targetCount.Set(0);
    PointerMap.fileReads.Set(0);
    PointerMap.mainPath.clear();
    PointerMap.compositePath.clear();
    ResetStatus(PointerMap.status);
}

}  // namespace visualsettings
