#include "visualsettings/layout_reader.h"

#include <array>

#include "core/file_utils.h"
#include "core/text.h"
#include "visualsettings/dat_import.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/param_table.h"
#include "visualsettings/walkers.h"

namespace visualsettings {

LayoutReaderState LayoutReader;

namespace {

constexpr const char kPlaceholderTitle[] = "visualsettings.dat";
constexpr const char kDefaultSectionTitle[] = "Visual Settings";
constexpr const char kLodLightsTitle[] = "LOD Lights";
constexpr const char kExcludedTitle[] = "Ausgeschlossen";

constexpr std::array<const char*, 38> kKnownSectionTitles = {
    "Containers LOD", "distant lights", "Emissive night values", "Misc Values", "coronas", "See Through",
    "Tonemapping", "Exposure", "Adaptation", "Cloud generation", "Cloud speeds", "lod fade distances",
    "sky plane", "Rim lighting", "Reflection tweaks", "Light component cutoff", "Bloom",
    "Dynmaic bake paramaters", "Dynamic bake paramaters", "Temporal AA", "SSDO", "Minimap alpha", "Puddles",
    "LOD lights", "Bright Lights", "Vehicle Light Night/Day Settings", "Vehicle light fade distances",
    "Particle Shadow intensity", "Dark Light", "Secondary Dark Light", "Ped light", "ped phone light properties",
    "Adaptive DOF", "Default motion blur", "First person motion blur", "Motion blur for third person view",
    "Motion blur for First person view", "Composite dithering"};

// The prefixes of a section comment, in the order they are taken off.
constexpr std::array<const char*, 6> kTitlePrefixes = {"config values for ", "Config values for ", "Config Values for ",
                                                       "Values to use with ", "Values for ", "Config for static values for "};

bool IsSpace(char c) { return core::IsSpaceByte(static_cast<unsigned char>(c)); }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    size_t p = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, p)) {
        out.append(text, p, at - p);
        out.append(to);
        p = at + from.size();
    }
    out.append(text, p, std::string::npos);
    return out;
}

VisualSettingsSection Placeholder() {
    VisualSettingsSection section;
    section.title = kPlaceholderTitle;
    return section;
}

void AddUnmappedVisualKey(VisualSettingsSection& excluded, const VisualSettingsSection& section,
                          const VisualSettingsGroup& group, std::vector<std::string>& unmapped) {
    if (unmapped.empty()) return;
    VisualSettingsGroup out;
    out.title = section.title + " / " + group.title;
    out.items = std::move(unmapped);
    out.warn = 1;
    excluded.items.push_back(std::move(out));
    unmapped.clear();
}

void Publish(std::shared_ptr<const VisualSettingsLayout> layout) {
    std::lock_guard<std::mutex> lock(LayoutReader.publishMutex);
    LayoutReader.current = std::move(layout);
}

// The edited test's layout: the last published one, held until the next
// call. Its one caller is the before/after hotkey on the script fiber. (No
// thread_local here: in a DLL a thread-local object with a destructor keeps
// the DLL from unloading while its thread lives.)
const VisualSettingsLayout* SnapshotForEditedTest() {
    std::lock_guard<std::mutex> lock(LayoutReader.publishMutex);
    LayoutReader.heldForEditedTest = LayoutReader.current;
    return LayoutReader.heldForEditedTest.get();
}

}  // namespace

std::string_view TrimSpaces(std::string_view text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && IsSpace(text[b])) ++b;
    while (e > b && IsSpace(text[e - 1])) --e;
    return text.substr(b, e - b);
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    if (needle.size() > haystack.size()) return false;
    for (size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        size_t j = 0;
        while (j < needle.size() && core::LowerByte(haystack[i + j]) == core::LowerByte(needle[j])) ++j;
        if (j == needle.size()) return true;
    }
    return false;
}

bool IsBoilerplateComment(std::string_view comment) {
    if (comment.empty()) return true;
    for (const char* exact : {"Visual Configuration Table", "Platform tunnings:", "PC vs consoles setup", "XB1 vs others",
                              "Name\tValue", "Name Value"})
        if (comment == exact) return true;
    for (const char* prefix : {"MyValue.", "MyValue ", "stores intial values", "stores initial values"})
        if (StartsWith(comment, prefix)) return true;
    return ContainsNoCase(comment, "the corona size is actually used as the bone offset");
}

bool IsSectionComment(std::string_view comment) {
    for (const char* prefix : kTitlePrefixes)
        if (StartsWith(comment, prefix)) return true;
    return StartsWith(comment, "General weather configuration") || StartsWith(comment, "config values for cloud shadows");
}

std::string CommentToSectionTitle(std::string_view comment) {
    static constexpr std::array<std::pair<const char*, const char*>, 8> kRules = {{
        {"height based reflection map", "Reflection Map"},
        {"rain collision map", "Collision Map"},
        {"rain GPU particle effect", "GPU Particle Effect"},
        {"FSR3", "FSR3"},
        {"General weather configuration", "Weather Configuration"},
        {"static values for skyhat", "Values for Skyhat"},
        {"cloud shadows", "Cloud Shadows"},
        {"Camera Events", "Camera Events"},
    }};
    for (const auto& [part, title] : kRules)
        if (ContainsNoCase(comment, part)) return title;
    std::string_view rest = comment;
    for (const char* prefix : kTitlePrefixes) {
        if (StartsWith(rest, prefix)) {
            rest = TrimSpaces(rest.substr(std::string_view(prefix).size()));
            break;
        }
    }
    if (const size_t tab = rest.find('\t'); tab != std::string_view::npos) rest = rest.substr(0, tab);
    return MakeTitleCase(rest);
}

std::string MakeTitleCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool wordStart = true;
    for (char c : text) {
        if (c == '_' || c == '\t') c = ' ';
        if (IsSpace(c)) {
            if (!out.empty() && out.back() != ' ') out.push_back(' ');
            wordStart = true;
        } else if (wordStart) {
            out.push_back(core::UpperByte(c));
            wordStart = false;
        } else {
            out.push_back(core::LowerByte(c));
        }
    }
    out = std::string(TrimSpaces(out));
    for (const auto& [from, to] : {std::pair{"Lod", "LOD"}, {"Dof", "DOF"}, {"Ssdo", "SSDO"}, {"Aa", "AA"}, {"Fpv", "FPV"},
                                   {"Hdr", "HDR"}, {"Ui", "UI"}, {"Gpu", "GPU"}, {"Fsr3", "FSR3"}, {"Ldr", "LDR"}})
        out = ReplaceAll(std::move(out), from, to);
    return out;
}

bool IsVisualKeyToken(std::string_view token) {
    if (token.empty() || token.front() == '.') return false;
    bool dot = false;
    bool letter = false;
    for (char c : token) {
        if (IsAlpha(c)) letter = true;
        else if (c == '.') dot = true;
        else if (!IsDigit(c) && c != '_' && c != '-') return false;
    }
    return dot && letter;
}

std::string ParseVisualSettingsLine(std::string_view line) {
    line = TrimSpaces(line);
    if (line.empty() || line.front() == '#' || StartsWith(line, "//")) return {};
    size_t end = 0;
    while (end < line.size() && !IsSpace(line[end])) ++end;
    const std::string_view token = line.substr(0, end);
    return IsVisualKeyToken(token) ? std::string(token) : std::string();
}

std::string GroupOfKeyPrefix(std::string_view key) {
    std::vector<std::string_view> parts;
    for (size_t p = 0; p <= key.size();) {
        size_t dot = key.find('.', p);
        if (dot == std::string_view::npos) dot = key.size();
        if (dot > p) parts.push_back(key.substr(p, dot - p));
        p = dot + 1;
    }
    if (parts.empty()) return std::string(key);
    const std::string_view first = parts[0];
    if (first == "pedLight" || first == "pedlight") return "Ped Light";
    if (first == "pedFpsLight" || first == "pedFpslight") return "Ped Fps Light";
    if (parts.size() >= 2) {
        for (const char* joined : {"car", "heli", "plane", "boat", "sub", "train", "trafficLight", "trafficlight", "pedLight",
                                   "pedlight", "cam", "misc", "lodlight", "motionblur", "adaptivedof", "bloom", "cloud",
                                   "hdr", "dark"})
            if (first == joined) return std::string(first) + " " + std::string(parts[1]);
    }
    return std::string(first);
}

bool IsLodLightsTitle(std::string_view text) {
    return ContainsNoCase(text, "LOD Lights") || ContainsNoCase(text, "LOD lights") || ContainsNoCase(text, "lodlight");
}

bool IsLodLightsGroupTitle(std::string_view text) {
    return ContainsNoCase(text, "LOD Lights") || ContainsNoCase(text, "lodlight");
}

VisualSettingsSection& AddVisualSection(VisualSettingsLayout& layout, std::string_view title) {
    // An empty title is the default one, compared as such (so that keys
    // under it never open one section each).
    const std::string_view wanted = title.empty() ? std::string_view(kDefaultSectionTitle) : title;
    if (!layout.empty() && layout.back().title == wanted) return layout.back();
    VisualSettingsSection section;
    section.title = std::string(wanted);
    section.warn = IsLodLightsTitle(wanted) || wanted == "Reflection Map" || wanted == "Collision Map" ||
                           wanted == "GPU Particle Effect" || wanted == "FSR3" || wanted == "Weather Configuration"
                       ? 1
                       : 0;
    layout.push_back(std::move(section));
    return layout.back();
}

VisualSettingsGroup& AddVisualGroup(VisualSettingsSection& section, std::string_view title) {
    std::string name(title.empty() ? std::string_view(section.title) : title);
    const bool lod = IsLodLightsGroupTitle(name);
    if (lod) name = kLodLightsTitle;
    if (!section.items.empty() && section.items.back().title == name) return section.items.back();
    VisualSettingsGroup group;
    group.title = std::move(name);
    group.warn = lod ? 1 : 0;
    section.items.push_back(std::move(group));
    return section.items.back();
}

void BuildVisualBlocks(VisualSettingsLayout& layout) {
    VisualSettingsSection excluded;
    excluded.title = kExcludedTitle;
    excluded.warn = 1;
    VisualSettingsLayout out;
    std::vector<std::string> unmapped;
    for (const VisualSettingsSection& section : layout) {
        VisualSettingsSection copy;
        copy.title = section.title;
        copy.warn = section.warn;
        for (const VisualSettingsGroup& group : section.items) {
            VisualSettingsGroup kept;
            kept.title = group.title;
            kept.warn = group.warn;
            for (const std::string& key : group.items) {
                if (const char* canonical = LiveMappedKey(key)) kept.items.emplace_back(canonical);
                else unmapped.push_back(key);
            }
            if (!kept.items.empty()) copy.items.push_back(std::move(kept));
            AddUnmappedVisualKey(excluded, section, group, unmapped);
        }
        if (!copy.items.empty()) out.push_back(std::move(copy));
    }
    if (!excluded.items.empty()) out.push_back(std::move(excluded));
    layout = std::move(out);
}

VisualSettingsLayout ReadVisualSettingsLayout(std::string_view text) {
    VisualSettingsLayout layout;
    std::string sectionTitle = kDefaultSectionTitle;
    std::string groupTitle;
    bool cameraEvents = false;
    ForEachDatLine(text, [&](std::string_view raw) {
        const std::string_view line = TrimSpaces(raw);
        if (line.empty()) return;
        const bool hash = line.front() == '#';
        if (hash || StartsWith(line, "//")) {
            const std::string comment = core::TrimCopy(line.substr(hash ? 1 : 2));
            if (IsBoilerplateComment(comment)) return;
            size_t tokenEnd = 0;
            while (tokenEnd < comment.size() && !IsSpace(comment[tokenEnd])) ++tokenEnd;
            if (IsVisualKeyToken(std::string_view(comment).substr(0, tokenEnd))) return;  // a key commented out
            if (IsSectionComment(comment)) {
                sectionTitle = CommentToSectionTitle(comment);
                groupTitle.clear();
                cameraEvents = ContainsNoCase(sectionTitle, "Camera Events");
                AddVisualSection(layout, sectionTitle);
                return;
            }
            if (cameraEvents) {
                for (const char* known : kKnownSectionTitles) {
                    if (!ContainsNoCase(comment, known)) continue;
                    sectionTitle = IsLodLightsTitle(comment) ? std::string(kLodLightsTitle) : MakeTitleCase(comment);
                    groupTitle.clear();
                    AddVisualSection(layout, sectionTitle);
                    return;
                }
            }
            groupTitle = MakeTitleCase(comment);
            AddVisualGroup(AddVisualSection(layout, sectionTitle), groupTitle);
            return;
        }
        const std::string key = ParseVisualSettingsLine(line);
        if (key.empty()) return;
        VisualSettingsSection& section = AddVisualSection(layout, sectionTitle);
        std::string group = groupTitle.empty() ? GroupOfKeyPrefix(key) : groupTitle;
        if (StartsWith(key, "dark.secLight")) {
            group = "Secondary Dark Light";
        } else {
            for (const char* prefix : {"dark.light", "dark.use", "dark.shadow", "dark.volume", "dark.fpv."})
                if (StartsWith(key, prefix)) group = "Dark Light";
        }
        AddVisualGroup(section, group).items.push_back(key);
    });
    if (!layout.empty()) BuildVisualBlocks(layout);
    // Comments that open sections but name no key leave nothing: the
    // placeholder keeps the tab (and its load button) drawn.
    if (layout.empty()) layout.push_back(Placeholder());
    return layout;
}

const VisualSettingsLayout& LoadVisualSettingsLayout() {
    RegisterLayoutReader();  // the edited test of the all-live hotkey reads the snapshots
    const std::string path = ImportVisualSettingsPath();
    const platform::FileStamp stamp = path.empty() ? platform::FileStamp{} : platform::QueryFileStamp(path);
    const bool unchanged = path == LayoutReader.path && stamp == LayoutReader.stamp;
    if (LayoutReader.loadedOnce && unchanged && LayoutReader.reloadRequested.Get() == 0 && LayoutReader.current)
        return *LayoutReader.current;
    LayoutReader.loadedOnce = true;
    LayoutReader.reloadRequested.Set(0);
    LayoutReader.path = path;
    LayoutReader.stamp = stamp;
    auto layout = std::make_shared<VisualSettingsLayout>();
    std::string text;
    if (stamp.exists && core::ReadTextFile(path, text)) {
        ++LayoutReader.reads;
        *layout = ReadVisualSettingsLayout(text);
    } else {
        layout->push_back(Placeholder());
    }
    Publish(layout);
    return *layout;
}

std::shared_ptr<const VisualSettingsLayout> LayoutSnapshot() {
    std::lock_guard<std::mutex> lock(LayoutReader.publishMutex);
    return LayoutReader.current;
}

void RegisterLayoutReader() { Switch.loadLayout.Set(&SnapshotForEditedTest); }

void ResetLayoutReaderForTesting() {
    LayoutReader.reloadRequested.Set(0);
    LayoutReader.path.clear();
    LayoutReader.stamp = {};
    LayoutReader.loadedOnce = false;
    LayoutReader.reads = 0;
    Publish(nullptr);
    std::lock_guard<std::mutex> lock(LayoutReader.publishMutex);
    LayoutReader.heldForEditedTest.reset();
}

}  // namespace visualsettings
