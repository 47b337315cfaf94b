#include "timecycle/modifier_defaults.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "core/file_utils.h"
#include "core/text.h"
#include "core/workspace.h"
#include "timecycle/timecycle_numbers.h"
#include "timecycle/xml_scan.h"

namespace timecycle {

ModifierDefaultsState ModifierDefaults;

void ResetModifierDefaultsState() { ModifierDefaults = ModifierDefaultsState{}; }

std::string ToLowerString(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = core::LowerByte(c);
    return out;
}

void TokenizeModifierDefaults(std::string_view text, uint64_t start, uint64_t end, std::vector<ModifierDefaultRow>& rows) {
    ForEachModifierElement(text, start, end, [&](const ModifierElement& e) {
        rows.push_back(ModifierDefaultRow{std::string(e.name), e.a, e.b});
    });
}

bool BuildModifierDefaults(int slot) {
    if (slot < 0 || slot >= kModFileSlots) return false;
    const size_t s = static_cast<size_t>(slot);
    auto& entries = ModifierDefaults.entries[s];
    if (ModifierDefaults.built[s]) return !entries.empty();
    ModifierDefaults.built[s] = 1;
    entries.clear();
    std::string text;
    if (!core::ReadFileBytes(TimecycleModsWidePath(slot), text)) return false;
    uint64_t position = 0;
    ModifierBlockText block;
    while (NextModifierBlock(text, position, block) == ModifierBlockStep::Block) {
        std::string name;
        ReadXmlAttribute(std::string_view(text).substr(block.tagStart, block.tagEnd - block.tagStart), "name", name);
        std::vector<ModifierDefaultRow> rows;
        if (!block.selfClosed) TokenizeModifierDefaults(text, block.bodyStart, block.bodyEnd, rows);
        if (!name.empty()) entries.try_emplace(ToLowerString(name), std::move(rows));
        position = block.next;
    }
    return !entries.empty();
}

void MatchRowsToDefaults(int slot, TimecycleModFileSlot& record) {
    if (!BuildModifierDefaults(slot)) return;
    const auto& entries = ModifierDefaults.entries[static_cast<size_t>(slot)];
    for (TimecycleModifier& m : record.modifiers) {
        const auto it = entries.find(ToLowerString(m.name));
        for (size_t i = 0; i < m.rows.size(); ++i) {
            ModifierRow& row = m.rows[i];
            row.hasVanilla = 0;
            row.samePosition = 0;
            row.vanillaIndex = -1;
            if (it == entries.end()) continue;
            const std::vector<ModifierDefaultRow>& d = it->second;
            for (size_t j = 0; j < d.size(); ++j) {
                if (core::EqualsNoCase(d[j].name, row.name)) {
                    row.vanillaIndex = static_cast<int32_t>(j);
                    break;
                }
            }
            row.hasVanilla = row.vanillaIndex >= 0 ? 1 : 0;
            row.samePosition = (i < d.size() && core::EqualsNoCase(d[i].name, row.name)) ? 1 : 0;
        }
    }
}

bool FindVanillaModifier(int slot, const TimecycleModifier& modifier, TimecycleModifier& out) {
    out = TimecycleModifier{};
    out.userFlags.clear();
    if (!BuildModifierDefaults(slot)) return false;
    const auto& entries = ModifierDefaults.entries[static_cast<size_t>(slot)];
    const auto it = entries.find(ToLowerString(modifier.name));
    if (it == entries.end() || it->second.empty()) return false;
    out.name = modifier.name;
    out.numMods = static_cast<int32_t>(it->second.size());
    out.globalIndex = modifier.globalIndex;
    out.userFlags = modifier.userFlags;
    for (size_t j = 0; j < it->second.size(); ++j) {
        const ModifierDefaultRow& d = it->second[j];
        ModifierRow row;
        row.name = d.name;
        row.valueA = row.fileA = d.a;
        row.valueB = row.fileB = d.b;
        row.vanillaIndex = static_cast<int32_t>(j);
        out.rows.push_back(std::move(row));
    }
    return true;
}

// ---- Export --------------------------------------------------------------------------------

std::vector<ModifierValueSpan> TokenizeModifierForExport(std::string_view text, uint64_t start, uint64_t end) {
    std::vector<ModifierValueSpan> spans;
    ForEachModifierElement(text, start, end,
                           [&](const ModifierElement& e) { spans.push_back({e.valueStart, e.valueEnd}); });
    return spans;
}

std::string ApplyTextSplices(std::string_view source, std::vector<TextSplice> splices) {
    std::stable_sort(splices.begin(), splices.end(),
                     [](const TextSplice& a, const TextSplice& b) { return a.start < b.start; });
    std::string out;
    out.reserve(source.size() + splices.size() * 4);
    uint64_t cursor = 0;
    for (const TextSplice& s : splices) {
        if (s.start < cursor || s.start > source.size() || s.end > source.size() || s.end < s.start) continue;
        out.append(source.substr(cursor, s.start - cursor));
        out.append(s.replacement);
        cursor = s.end;
    }
    out.append(source.substr(cursor));
    return out;
}

std::string WriteTimecycleModsXml(const TimecycleModFileSlot& slot) {
    const std::string_view text = slot.sourceText;
    if (text.empty() || CountEditedRowsOf(slot) == 0) return slot.sourceText;
    std::vector<TextSplice> splices;
    uint64_t position = 0;
    size_t n = 0;
    ModifierBlockText block;
    std::vector<ValueToken> tokens;
    while (NextModifierBlock(text, position, block) == ModifierBlockStep::Block) {
        if (!block.selfClosed && n < slot.modifiers.size()) {
            const std::vector<ModifierRow>& rows = slot.modifiers[n].rows;
            const std::vector<ModifierValueSpan> spans = TokenizeModifierForExport(text, block.bodyStart, block.bodyEnd);
            for (size_t i = 0; i < std::min(spans.size(), rows.size()); ++i) {
                const ModifierRow& row = rows[i];
                if (!RowEdited(row)) continue;
                const ModifierValueSpan& span = spans[i];
                const std::string_view value = text.substr(span.start, span.end - span.start);
                if (!ParseValueList(value, tokens) || tokens.size() != 2) continue;
                const float values[2] = {row.valueA, row.valueB};
                const float files[2] = {row.fileA, row.fileB};
                for (size_t t = 0; t < 2; ++t) {
                    if (std::fabs(values[t] - files[t]) <= kModifierEditTolerance) continue;
                    const std::string_view old = value.substr(tokens[t].start, tokens[t].end - tokens[t].start);
                    splices.push_back({span.start + tokens[t].start, span.start + tokens[t].end,
                                       FormatLikeExisting(values[t], old)});
                }
            }
        }
        ++n;
        position = block.next;
    }
    if (splices.empty()) return slot.sourceText;
    return ApplyTextSplices(text, std::move(splices));
}

bool SaveTimecycleModsXml(int slot, std::string& status) {
    slot = std::clamp(slot, 0, kModFileSlots - 1);
    const std::string name = TimecycleModsFileName(slot);
    std::string text;
    {
        ModifierLock lock(ModifierMutex());
        const TimecycleModFileSlot& record = ModifierFiles.slots[static_cast<size_t>(slot)];
        if (!record.loaded) {
            status = "Save failed: " + name + " is not loaded.";
            return false;
        }
        text = WriteTimecycleModsXml(record);
    }
    const std::string path = TimecycleModsExportPath(slot);
    // The folder getters make a folder once: one the user removed since is made again here.
    if (!path.empty()) core::CreateParentDirectory(path);
    if (path.empty() || !core::WriteTextFile(path, text)) {
        status = "Save failed: " + path + " not writable.";
        return false;
    }
    status = "Exported " + name + " to Exports.";
    return true;
}

}  // namespace timecycle
