// libFuzzer target of the timecycle modifier reader and its splice export.
// Whatever the input:
// - the reader ends (with a record or an error) and its rows are exactly
//   the elements the export finds, block by block;
// - an export without edits is the input byte for byte;
// - with every row edited, only the value texts change, the file reads back
//   with the same modifiers and rows, and each edited value reads back as
//   written, rounded to the decimals of the number it replaced (a value that
//   has no text the game could read keeps its old one).
// Real seeds: timecycle_mods
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "timecycle/modifier_defaults.h"
#include "timecycle/modifier_files.h"
#include "timecycle/timecycle_numbers.h"

namespace {

using namespace timecycle;

void Require(bool condition) {
    if (!condition) std::abort();
}

// The text without the value texts of the rows: what an export keeps.
std::string Skeleton(std::string_view text) {
    std::string out;
    uint64_t position = 0, cursor = 0;
    ModifierBlockText block;
    while (NextModifierBlock(text, position, block) == ModifierBlockStep::Block) {
        ForEachModifierElement(text, block.bodyStart, block.bodyEnd, [&](const ModifierElement& e) {
            out.append(text.substr(cursor, e.valueStart - cursor));
            cursor = e.valueEnd;
        });
        position = block.next;
    }
    out.append(text.substr(cursor));
    return out;
}

// The decimals of the two value texts of each row, block by block, as the
// export walks them.
std::vector<std::vector<std::pair<int, int>>> RowDecimals(std::string_view text) {
    std::vector<std::vector<std::pair<int, int>>> out;
    uint64_t position = 0;
    ModifierBlockText block;
    while (NextModifierBlock(text, position, block) == ModifierBlockStep::Block) {
        std::vector<std::pair<int, int>>& rows = out.emplace_back();
        ForEachModifierElement(text, block.bodyStart, block.bodyEnd, [&](const ModifierElement& e) {
            const std::string_view value = text.substr(e.valueStart, e.valueEnd - e.valueStart);
            rows.emplace_back(DecimalsLikeExisting(value.substr(e.aStart, e.aEnd - e.aStart)),
                              DecimalsLikeExisting(value.substr(e.bStart, e.bEnd - e.bStart)));
        });
        position = block.next;
    }
    return out;
}

// Within half a unit of the last written decimal (and the float's own rounding).
bool Near(float got, float want, int decimals) {
    return std::fabs(static_cast<double>(got) - static_cast<double>(want)) <=
           std::pow(10.0, -decimals) * 0.5000001 + std::fabs(static_cast<double>(want)) * 1.2e-7;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TimecycleModFileSlot slot;
    std::string error;
    if (!ParseTimecycleModifierText(1, text, slot, error)) {
        Require(error.rfind("timecycle_mods_2.xml ", 0) == 0);
        return 0;
    }
    Require(!slot.modifiers.empty() && slot.sourceText == text);
    size_t rows = 0;
    for (const TimecycleModifier& m : slot.modifiers) rows += m.rows.size();
    Require(rows == slot.totalRows);
    Require(WriteTimecycleModsXml(slot) == text);

    for (TimecycleModifier& m : slot.modifiers)
        for (ModifierRow& row : m.rows) {
            row.valueA = row.fileA * 0.5f + 0.25f;
            row.valueB = -row.fileB;
        }
    const std::vector<std::vector<std::pair<int, int>>> decimals = RowDecimals(text);
    Require(decimals.size() == slot.modifiers.size());
    const std::string exported = WriteTimecycleModsXml(slot);
    Require(Skeleton(exported) == Skeleton(text));
    TimecycleModFileSlot back;
    Require(ParseTimecycleModifierText(1, exported, back, error));
    Require(back.modifiers.size() == slot.modifiers.size() && back.totalRows == slot.totalRows);
    for (size_t i = 0; i < slot.modifiers.size(); ++i) {
        const TimecycleModifier& want = slot.modifiers[i];
        const TimecycleModifier& got = back.modifiers[i];
        Require(got.name == want.name && got.rows.size() == want.rows.size() && decimals[i].size() == want.rows.size());
        for (size_t r = 0; r < want.rows.size(); ++r) {
            const ModifierRow& w = want.rows[r];
            const ModifierRow& g = got.rows[r];
            Require(g.name == w.name);
            const auto [a, b] = decimals[i][r];
            Require(Near(g.fileA, w.valueA, a) || (std::fabs(w.valueA - w.fileA) <= kModifierEditTolerance && g.fileA == w.fileA));
            Require(Near(g.fileB, w.valueB, b) || (std::fabs(w.valueB - w.fileB) <= kModifierEditTolerance && g.fileB == w.fileB));
        }
    }
    return 0;
}
