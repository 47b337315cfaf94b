// Modifier defaults and export: the reference copy of each modifier file
// (the workspace source, read once per slot) kept by modifier name, the
// vanilla marks of loaded rows, the vanilla copy of a modifier, and the
// splice export of edited numbers into a copy of a file's source text.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "timecycle/modifier_files.h"
#include "timecycle/timecycle_export.h"

namespace timecycle {

struct ModifierDefaultRow {
    std::string name;
    float a = 0.0f;
    float b = 0.0f;
};

// Thread rule: render thread only (loads and the tab). Each slot's cache is
// built once, on the first call that needs it, even when the read fails.
struct ModifierDefaultsState {
    std::array<uint8_t, kModFileSlots> built{};
    // Lower-case modifier name -> rows of the first block of that name.
    std::array<std::map<std::string, std::vector<ModifierDefaultRow>>, kModFileSlots> entries;
};
extern ModifierDefaultsState ModifierDefaults;
void ResetModifierDefaultsState();

// Every byte through tolower of the "C" locale.
std::string ToLowerString(std::string_view text);

// Builds a slot's cache on first use; true when it holds any modifier.
bool BuildModifierDefaults(int slot);
// The reader's rows of one body, as default rows.
void TokenizeModifierDefaults(std::string_view text, uint64_t start, uint64_t end, std::vector<ModifierDefaultRow>& rows);
// Sets hasVanilla, samePosition and vanillaIndex of every row of a record
// (nothing changes when the slot has no reference file).
void MatchRowsToDefaults(int slot, TimecycleModFileSlot& record);
// The modifier's vanilla entry as a modifier (rows at their vanilla values);
// false, with out empty, when the slot or the name has no such entry.
bool FindVanillaModifier(int slot, const TimecycleModifier& modifier, TimecycleModifier& out);

// The spans between the tags of the elements that make rows, in document order.
struct ModifierValueSpan {
    uint64_t start = 0;
    uint64_t end = 0;
};
std::vector<ModifierValueSpan> TokenizeModifierForExport(std::string_view text, uint64_t start, uint64_t end);
// The source text with the edited numbers spliced in; the source unchanged
// when nothing is edited.
std::string WriteTimecycleModsXml(const TimecycleModFileSlot& slot);
// The splices applied in one pass (sorted by start; one that overlaps an
// earlier one or leaves the text is dropped).
std::string ApplyTextSplices(std::string_view source, std::vector<TextSplice> splices);
// "Export .xml": writes the slot's spliced text into the Exports "Timecycle
// Mods" folder. "Exported <file> to Exports." or "Save failed: ...".
bool SaveTimecycleModsXml(int slot, std::string& status);

}  // namespace timecycle
