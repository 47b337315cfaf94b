// The pointer map: a second source of game locations for visualsettings.dat
// keys, read from two text files (a main file of "key = ... module+<offset>
// ... section=.data" lines and a composite file of "key = ...
// componentTargets=module+<a>, module+<b> ..." lines for vector and colour
// keys). It loads at the first lookup (at most one attempt per 5 s until it
// loads) and is then kept for the run. Where the two files lie is not known
// to this build: their paths are empty, so the map never loads and every
// lookup finds nothing; everything below works once paths are given.
//
// A target is a plain offset from the game module (a "module+" field) or a
// tagged live handle (the two alias groups). A target is written only when
// it lies inside the game module's writable data (.data).
//
// Thread rule: lookups come from the render thread and the script fiber; a
// load builds a map apart and publishes it under the lock, after which it is
// only read. The status line takes its own lock.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/shared_value.h"
#include "visualsettings/status_line.h"

namespace visualsettings {

inline constexpr uint64_t kPointerMapRetryMs = 5000;

struct PointerMapData {
    std::map<std::string, std::vector<uint64_t>> entries;  // by normalised key; each target once, in order added
    uint64_t targetCount = 0;
};

// The map's state; the thread rule above.
struct PointerMapState {
    std::mutex mutex;                               // guards published and the paths
    std::shared_ptr<const PointerMapData> published;  // null until loaded
    core::SharedValue<bool> loaded{false};
    core::SharedValue<uint64_t> lastAttemptMs{0};
    core::SharedValue<uint64_t> targetCount{0};
    core::SharedValue<uint64_t> fileReads{0};  // main-file reads attempted (tests)
    std::string mainPath;       // empty: not known to this build
    std::string compositePath;
    // The binding's pointer-map line ("Pointer map loaded: ...", "Pointer
    // map active: ...", "Pointer map load failed.").
    StatusLine status{""};
};
extern PointerMapState PointerMap;

// ---- Text rules ---------------------------------------------------------------------
// Trimmed, cut at the first "#duplicate_0x", trimmed again, lower case.
std::string NormalizePointerMapKey(std::string_view key);
// A number with automatic base: "0x" hexadecimal, a leading "0" octal, else
// decimal, each read as far as its digits go. nullopt when no character was
// consumed or the value is 0.
std::optional<uint64_t> ParseModuleOffset(std::string_view text);
struct PointerMapLine {
    std::string key;  // normalised
    uint64_t offset = 0;
};
// One main-file line; nullopt for a line that does not match.
std::optional<PointerMapLine> ParsePointerMapLine(std::string_view line);
struct ComponentTargetsLine {
    std::string key;  // trimmed of spaces and tabs only
    std::vector<uint64_t> targets;
};
std::optional<ComponentTargetsLine> ParseComponentTargetsLine(std::string_view line);
// The component suffixes of a vector or colour key (exact normalised key);
// empty for any other key.
std::vector<const char*> VectorKeySuffixes(std::string_view normalisedKey);

// ---- Building a map ------------------------------------------------------------------
void AddPointerMapTarget(PointerMapData& map, std::string_view key, uint64_t target);
struct ComponentTarget {
    const char* key;
    uint64_t target;
};
// Replaces the main key's entry by its components when it holds at least n targets.
void StorePointerMapValue(PointerMapData& map, std::string_view mainKey, const std::vector<ComponentTarget>& components,
                          size_t n);
// The composite file's lines added as component entries.
void ParsePointerMapText(PointerMapData& map, std::string_view compositeText);
// The whole map from the two files' texts: main lines, alias groups,
// composite entries, then the filter that drops every entry with more than
// one target except the four keys that keep several.
PointerMapData BuildPointerMap(std::string_view mainText, std::string_view compositeText);

// ---- Lookups ---------------------------------------------------------------------------
// Loads the map when it is not loaded and the last attempt is 5 s old.
void LoadPointerMap();
// The key's targets (null, empty and hidden keys have none); false when none.
bool FindPointerMapEntry(const char* key, std::vector<uint64_t>& targets);
// The game address a map target stands for: decoded against the game module,
// and accepted only inside the module's writable data; else 0.
uint64_t PointerMapTargetAddress(uint64_t target);
// Writes v (game units) to every target of key's entry; true when at least
// one write succeeded. False for a hidden key, without the game module, or
// without an entry.
bool WritePointerMapTargets(const char* key, float v);

void ResetPointerMapForTesting();

}  // namespace visualsettings
