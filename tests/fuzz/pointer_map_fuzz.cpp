// libFuzzer target of the pointer-map files: the input is a main file and a
// composite file (split at the first NUL byte). Whatever they hold, the map
// built from them keeps its rules: normalised non-empty keys, non-zero
// targets each once per key, a target count that matches, and more than one
// target only for the keys allowed several; every line the parsers take has
// a key and a non-zero target.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "visualsettings/pointer_map.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

bool KeepsSeveral(const std::string& key) {
    return key == "exposure.curve.offset" || key == "misc.damageoverlay.colortop.blue" ||
           key == "misc.damageoverlay.fp.colortop.blue" || key == "ped.phonelight.cone.inner";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string_view main = input.substr(0, split);
    const std::string_view composite = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    const visualsettings::PointerMapData map = visualsettings::BuildPointerMap(main, composite);
    uint64_t count = 0;
    for (const auto& [key, targets] : map.entries) {
        Require(!key.empty() && visualsettings::NormalizePointerMapKey(key) == key);
        Require(!targets.empty());
        Require(targets.size() == 1 || KeepsSeveral(key));
        Require(std::set<uint64_t>(targets.begin(), targets.end()).size() == targets.size());
        for (uint64_t t : targets) Require(t != 0);
        count += targets.size();
    }
    Require(count == map.targetCount);

    for (std::string_view text = input; !text.empty();) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (const auto parsed = visualsettings::ParsePointerMapLine(line)) Require(!parsed->key.empty() && parsed->offset != 0);
        if (const auto parsed = visualsettings::ParseComponentTargetsLine(line)) {
            Require(!parsed->key.empty() && !parsed->targets.empty());
            for (uint64_t t : parsed->targets) Require(t != 0);
        }
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return 0;
}
