// The visualsettings.dat texts the file tests run over: every real file
// (../shared/testdata/real/visualsettings and $VARNEL_EXTRA_TESTDATA) and a
// partial file made here (a few dozen keys, no comments, tabs and spaces
// mixed as separators). With them, what follows from a text itself: each
// key's last value, and the rows and slots its import leaves edited (only
// those whose default is known and differs from the file's value as the
// game would store it).
#pragma once
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/testdata.h"
#include "visualsettings/dat_import.h"
#include "visualsettings/param_table.h"
#include "visualsettings/sections.h"
#include "visualsettings/walkers.h"

namespace vstest {

struct DatSample {
    std::string name;
    std::string text;
};

inline std::string Number(float v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(v));
    return buffer;
}

// Every 31st row of the table (known defaults every other one at the
// default, the rest well away from it), a colour triple and a key whose
// defaults are unknown, a key in other case, a dark filmic slot at its
// default and one away from it, a key nothing knows.
inline std::string PartialDat() {
    using namespace visualsettings;
    const char* separators[] = {"\t", "   ", " \t\t "};
    std::string text;
    const std::span<VisualSettingsParam> rows = AllParams();
    size_t n = 0;
    for (size_t i = 5; i < rows.size(); i += 31, ++n) {
        const ParamDef& def = *rows[i].def;
        const float v = def.defaultGiven ? (n % 2 == 0 ? def.defaultValue : def.defaultValue + 7.0f)
                                         : 0.5f + 0.25f * static_cast<float>(n);
        text += std::string(rows[i].key) + separators[n % 3] + Number(v) + (n % 4 == 0 ? "\r\n" : "\n");
    }
    text += "car.lod.distance.high\t55\n"
            "car.interiorlight.color.red 0.5\n"
            "car.interiorlight.color.green\t0.25\n"
            "car.interiorlight.color.blue   1\n"
            "car.neon.radius 1.5\n"
            "MISC.CORONAS.SIZESCALEGLOBAL \t 2\n"
            "Tonemapping.dark.filmic.A 0.3\n"
            "Tonemapping.dark.filmic.B\t0.3\n"
            "no.such.key 1\n";
    return text;
}

inline std::vector<DatSample> DatSamples() {
    std::vector<DatSample> out;
    for (const std::string& path : testsupport::RealFiles("visualsettings")) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        out.push_back({path, bytes.str()});
    }
    out.push_back({"a partial file", PartialDat()});
    return out;
}

// Lower-cased key to the value of its last key line.
inline std::map<std::string, float> LastValues(const std::string& text) {
    std::map<std::string, float> out;
    visualsettings::ForEachDatLine(text, [&](std::string_view line) {
        std::string key;
        float v = 0.0f;
        if (visualsettings::ParseImportLine(line, key, v)) out[visualsettings::LowerAscii(key)] = v;
    });
    return out;
}

// a and b are different values once the game stores them by the row's kind.
inline bool StoredDifferently(const visualsettings::VisualSettingsParam& row, float a, float b) {
    using namespace visualsettings;
    switch (row.Kind()) {
    case ValueKind::UnsignedInt: return EncodeUnsigned(ToGameUnits(row, a)) != EncodeUnsigned(ToGameUnits(row, b));
    case ValueKind::BoolByte:
    case ValueKind::Bool32: return (a >= 0.5f) != (b >= 0.5f);
    case ValueKind::Red:
    case ValueKind::Green:
    case ValueKind::Blue: return ChannelByte(a) != ChannelByte(b);
    default: return std::fabs(a - b) > 5e-5f;
    }
}

// The keys an import of text leaves edited: rows and dark filmic slots
// whose default is known and differs from the file's value.
inline std::set<std::string> ExpectedEdited(const std::string& text) {
    using namespace visualsettings;
    const std::map<std::string, float> values = LastValues(text);
    std::set<std::string> out;
    for (const VisualSettingsParam& row : AllParams()) {
        const auto found = values.find(LowerAscii(row.key));
        if (found != values.end() && row.def->defaultGiven && StoredDifferently(row, found->second, row.def->defaultValue))
            out.insert(row.key);
    }
    for (size_t i = 0; i < kDarkFilmicSlotCount; ++i) {
        const char* name = DarkFilmicSlot(i).name;
        const auto found = values.find(LowerAscii(name));
        if (found != values.end() && std::fabs(found->second - DarkFilmicDefault(i)) > 5e-5f) out.insert(name);
    }
    return out;
}

// The keys the editor shows edited (its marker, block and section colours).
inline std::set<std::string> EditedNow() {
    using namespace visualsettings;
    VisibleRows rows;
    VisibleSlots slots;
    CollectVisibleVisualRows(rows, slots);
    std::set<std::string> out;
    for (const auto& [key, row] : rows)
        if (KeysHaveEditedRow({key}, rows, slots)) out.insert(key);
    for (const auto& [key, slot] : slots)
        if (KeysHaveEditedRow({key}, rows, slots)) out.insert(key);
    return out;
}

}  // namespace vstest
