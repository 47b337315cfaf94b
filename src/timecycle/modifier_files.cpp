#include "timecycle/modifier_files.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

#include "core/file_utils.h"
#include "core/text.h"
#include "core/workspace.h"
#include "platform/files.h"
#include "timecycle/modifier_defaults.h"
#include "timecycle/modifier_live.h"
#include "timecycle/xml_scan.h"

namespace timecycle {

ModifierFilesState ModifierFiles;

std::recursive_mutex& ModifierMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

void ResetModifierFilesState() {
    ModifierLock lock(ModifierMutex());
    ModifierFiles = ModifierFilesState{};
}

bool RowEdited(const ModifierRow& row) {
    return std::fabs(row.valueA - row.fileA) > kModifierEditTolerance ||
           std::fabs(row.valueB - row.fileB) > kModifierEditTolerance;
}

namespace {

constexpr std::string_view kModifierOpen = "<modifier";
constexpr std::string_view kModifierClose = "</modifier>";
constexpr std::string_view kCommentOpen = "<!--";
constexpr std::string_view kCommentClose = "-->";

int ClampSlot(int slot) { return std::clamp(slot, 0, kModFileSlots - 1); }

bool IsFile(const std::string& path) { return !path.empty() && platform::IsExistingFile(path); }

std::string InFolder(const std::string& folder, int slot) {
    return folder.empty() ? std::string() : folder + TimecycleModsFileName(slot);
}

// The first needle at or after from whose start lies before limit and
// outside every comment; npos when none.
size_t FindOutsideComments(std::string_view text, std::string_view needle, size_t from, size_t limit) {
    limit = std::min(limit, text.size());
    while (from < limit) {
        const size_t hit = text.find(needle, from);
        if (hit == std::string_view::npos || hit >= limit) return std::string_view::npos;
        // Only a comment that opens before the hit matters: look no further.
        const size_t comment = text.substr(0, hit).find(kCommentOpen, from);
        if (comment == std::string_view::npos) return hit;
        const size_t close = text.find(kCommentClose, comment + kCommentOpen.size());
        if (close == std::string_view::npos) return std::string_view::npos;
        from = close + kCommentClose.size();
    }
    return std::string_view::npos;
}

// Where a closing tag "</name>" stands next in a body from a position. The
// tag right after the element's text answers at once (the rows of a good
// file); otherwise one pass indexes every closing tag of the body by name,
// so that no search is repeated over the rest of a hostile body.
struct ClosingTags {
    bool built = false;
    std::unordered_map<std::string_view, std::vector<size_t>> at;

    size_t Find(std::string_view body, std::string_view closeTag, size_t after) {
        const size_t next = body.find('<', after);
        if (next != std::string_view::npos && body.compare(next, closeTag.size(), closeTag) == 0) return next;
        if (next == std::string_view::npos) return std::string_view::npos;
        if (!built) Build(body, after);
        const std::string_view name = closeTag.substr(2, closeTag.size() - 3);
        const auto it = at.find(name);
        if (it == at.end()) return std::string_view::npos;
        const auto hit = std::lower_bound(it->second.begin(), it->second.end(), after);
        return hit == it->second.end() ? std::string_view::npos : *hit;
    }
    void Build(std::string_view body, size_t from) {
        built = true;
        for (size_t p = body.find("</", from); p != std::string_view::npos; p = body.find("</", p + 2)) {
            const size_t gt = body.find('>', p + 2);
            if (gt == std::string_view::npos) break;
            at[body.substr(p + 2, gt - p - 2)].push_back(p);
        }
    }
};

bool IsNameBreak(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/'; }

int32_t ReadNumMods(std::string_view tag) {
    std::string text;
    if (!ReadXmlAttribute(tag, "numMods", text)) return 0;
    int64_t value = 0;
    if (!core::ParseIntPrefix(text, value)) return 0;
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

// ---- File names and places ---------------------------------------------------------------

std::string TimecycleModsFileName(int slot) { return "timecycle_mods_" + std::to_string(ClampSlot(slot) + 1) + ".xml"; }
std::string TimecycleModsImportPath(int slot) { return InFolder(core::ImportsTimecycleModsFolder(), slot); }
std::string TimecycleModsAltPath(int slot) { return InFolder(core::ImportsFolder(), slot); }

std::string FindTimecycleModsFile(int slot) {
    const std::string import = TimecycleModsImportPath(slot);
    if (IsFile(import)) return import;
    const std::string alt = TimecycleModsAltPath(slot);
    if (IsFile(alt)) return alt;
    return import;
}

bool TimecycleModsFileExists(int slot) {
    return IsFile(TimecycleModsImportPath(slot)) || IsFile(TimecycleModsAltPath(slot));
}

std::wstring TimecycleModsWidePath(int slot) {
    std::wstring path = L"timecycle_mods 1-4\\";
    for (char c : TimecycleModsFileName(slot)) path.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return path;
}

bool TimecycleModsWideExists(int slot) {
    const uint32_t attributes = platform::FileAttributesWide(TimecycleModsWidePath(slot));
    return attributes != platform::kInvalidFileAttributes && (attributes & platform::kFileAttributeDirectory) == 0;
}

std::string TimecycleModsExportPath(int slot) { return InFolder(core::ExportsTimecycleModsFolder(), slot); }

// ---- The format ----------------------------------------------------------------------------

bool ReadXmlAttribute(std::string_view tag, std::string_view name, std::string& value) {
    value.clear();
    if (name.empty()) return false;
    std::string needle(name);
    needle += "=\"";
    const size_t at = tag.find(needle);
    if (at == std::string_view::npos) return false;
    const size_t start = at + needle.size();
    const size_t quote = tag.find('"', start);
    if (quote == std::string_view::npos) return false;
    value.assign(tag.substr(start, quote - start));
    return true;
}

ModifierBlockStep NextModifierBlock(std::string_view text, uint64_t from, ModifierBlockText& block) {
    block = ModifierBlockText{};
    const size_t size = text.size();
    if (from > size || size - from < 9) return ModifierBlockStep::End;
    const size_t open = FindOutsideComments(text, kModifierOpen, from, size);
    if (open == std::string_view::npos) return ModifierBlockStep::End;
    const size_t gt = text.find('>', open + kModifierOpen.size());
    block.tagStart = open;
    if (gt == std::string_view::npos) return ModifierBlockStep::UnterminatedTag;
    block.tagEnd = gt + 1;
    const std::string_view tag = text.substr(open, gt + 1 - open);
    if (tag.size() >= 2 && tag[tag.size() - 2] == '/') {
        block.selfClosed = true;
        block.bodyStart = block.bodyEnd = block.next = gt + 1;
        return ModifierBlockStep::Block;
    }
    const size_t close = FindOutsideComments(text, kModifierClose, gt + 1, size);
    if (close == std::string_view::npos) return ModifierBlockStep::Unclosed;
    // A modifier that opens before this close means this one was never closed
    // (a cut file): its body must not take in the next modifier's rows.
    if (FindOutsideComments(text, kModifierOpen, gt + 1, close) != std::string_view::npos)
        return ModifierBlockStep::Unclosed;
    block.bodyStart = gt + 1;
    block.bodyEnd = close;
    block.next = close + kModifierClose.size();
    return ModifierBlockStep::Block;
}

void ForEachModifierElement(std::string_view text, uint64_t start, uint64_t end,
                            const std::function<void(const ModifierElement&)>& visit) {
    // Every search stays inside the body: hostile text costs one pass.
    const std::string_view body = text.substr(0, std::min<uint64_t>(end, text.size()));
    end = body.size();
    std::vector<ValueToken> tokens;
    ClosingTags closes;
    size_t p = static_cast<size_t>(start);
    while (p < end) {
        const size_t lt = body.find('<', p);
        if (lt == std::string_view::npos || lt + 1 >= end) return;
        const char after = body[lt + 1];
        if (after == '!' && body.compare(lt, kCommentOpen.size(), kCommentOpen) == 0) {
            const size_t close = body.find(kCommentClose, lt + kCommentOpen.size());
            if (close == std::string_view::npos) return;
            p = close + kCommentClose.size();
            continue;
        }
        if (after == '!' || after == '/' || after == '?') {
            p = lt + 1;
            continue;
        }
        const size_t gt = body.find('>', lt + 1);
        if (gt == std::string_view::npos) return;
        const std::string_view name = text.substr(lt + 1, gt - lt - 1);
        if (name.empty() || std::any_of(name.begin(), name.end(), IsNameBreak)) {
            p = gt + 1;
            continue;
        }
        std::string closeTag = "</";
        closeTag.append(name).append(">");
        // Only a closing tag inside the body closes the element: one further on
        // belongs to another modifier, and the rest of this body stays readable.
        const size_t close = closes.Find(body, closeTag, gt + 1);
        if (close == std::string_view::npos) {
            p = gt + 1;
            continue;
        }
        const std::string_view value = body.substr(gt + 1, close - gt - 1);
        if (ParseValueList(value, tokens) && tokens.size() == 2) {
            ModifierElement element;
            element.name = name;
            element.valueStart = gt + 1;
            element.valueEnd = close;
            element.a = tokens[0].value;
            element.b = tokens[1].value;
            element.aStart = tokens[0].start;
            element.aEnd = tokens[0].end;
            element.bStart = tokens[1].start;
            element.bEnd = tokens[1].end;
            visit(element);
        }
        p = close + closeTag.size();
    }
}

void TokenizeModifierBody(std::string_view text, uint64_t start, uint64_t end, TimecycleModifier& modifier) {
    ForEachModifierElement(text, start, end, [&](const ModifierElement& e) {
        ModifierRow row;
        row.name.assign(e.name);
        row.valueA = row.fileA = e.a;
        row.valueB = row.fileB = e.b;
        modifier.rows.push_back(std::move(row));
    });
}

bool ParseTimecycleModifierText(int slot, std::string_view text, TimecycleModFileSlot& out, std::string& error) {
    const bool validSlot = slot >= 0 && slot < kModFileSlots;
    const std::string name = TimecycleModsFileName(slot);
    out = TimecycleModFileSlot{};
    out.fileName = name;
    out.loaded = 1;
    if (text.size() < 24 || text.find("<timecycle_modifier_data") == std::string_view::npos) {
        error = name + " is not a timecycle_modifier_data .xml.";
        return false;
    }
    uint64_t position = 0;
    ModifierBlockText block;
    for (;;) {
        const ModifierBlockStep step = NextModifierBlock(text, position, block);
        if (step == ModifierBlockStep::End) break;
        if (step == ModifierBlockStep::UnterminatedTag) {
            error = name + " has an unterminated modifier tag.";
            return false;
        }
        const std::string_view tag = text.substr(block.tagStart, block.tagEnd - block.tagStart);
        TimecycleModifier modifier;
        ReadXmlAttribute(tag, "name", modifier.name);
        modifier.numMods = ReadNumMods(tag);
        modifier.globalIndex =
            validSlot ? ModifierIndexBase[static_cast<size_t>(slot)] + static_cast<int32_t>(out.modifiers.size()) : -1;
        if (!ReadXmlAttribute(tag, "userFlags", modifier.userFlags) || modifier.userFlags.empty())
            modifier.userFlags = "0";
        if (step == ModifierBlockStep::Unclosed) {
            error = name + " has an unclosed modifier: " + modifier.name;
            return false;
        }
        if (!block.selfClosed) TokenizeModifierBody(text, block.bodyStart, block.bodyEnd, modifier);
        out.totalRows += modifier.rows.size();
        out.modifiers.push_back(std::move(modifier));
        position = block.next;
        if (position >= text.size()) break;
    }
    if (out.modifiers.empty()) {
        error = name + " contains no modifier entries.";
        return false;
    }
    out.sourceText.assign(text);
    std::map<std::string_view, int> seen;
    for (const TimecycleModifier& m : out.modifiers)
        if (!m.name.empty() && ++seen[m.name] == 2) ++out.duplicateNames;
    return true;
}

bool LoadTimecycleModifierFile(int slot, std::string_view text, std::string& status) {
    slot = ClampSlot(slot);
    const size_t s = static_cast<size_t>(slot);
    TimecycleModFileSlot record;
    std::string error;
    if (!ParseTimecycleModifierText(slot, text, record, error)) {
        status = error;
        return false;
    }
    record.commonOnly = (record.modifiers.size() != VanillaModifierCounts[s] || record.totalRows != VanillaRowCounts[s]) ? 1 : 0;
    MatchRowsToDefaults(slot, record);
    if (!record.commonOnly) {
        for (const TimecycleModifier& m : record.modifiers)
            for (const ModifierRow& row : m.rows)
                if (!row.samePosition) record.commonOnly = 1;
    }
    ModifierLock lock(ModifierMutex());
    ForgetLiveStateOfSlot(slot, "Live mapping reset because the selected Timecycle Mods .xml was reloaded.");
    ++ModifierFiles.editRevision;
    ModifierFiles.fileRevision[s] = ModifierFiles.editRevision;
    // The old record is released after the swap, still under the lock.
    std::swap(ModifierFiles.slots[s], record);
    if (ModifierFiles.selectedFile == slot) {
        const int32_t count = static_cast<int32_t>(ModifierFiles.slots[s].modifiers.size());
        ModifierFiles.selectedModifier = std::clamp(ModifierFiles.selectedModifier, 0, std::max(count - 1, 0));
    }
    status.clear();
    return true;
}

bool LoadTimecycleModSlot(int slot, std::string& status) {
    slot = ClampSlot(slot);
    const std::string name = TimecycleModsFileName(slot);
    std::string text;
    core::FileReadFailure failure = core::FileReadFailure::None;
    const std::string path = FindTimecycleModsFile(slot);
    if (!core::ReadTextFile(path, text, &failure)) {
        // A file in Imports that cannot be read is reported, not replaced by
        // the workspace source's copy.
        if (failure != core::FileReadFailure::NotFound) {
            status = "Load failed: " + name + " " + core::FileReadFailureText(failure) + " in " + core::ParentFolder(path) + ".";
            return false;
        }
        if (!core::ReadFileBytes(TimecycleModsWidePath(slot), text, &failure)) {
            status = failure == core::FileReadFailure::NotFound
                         ? "Load failed: " + name + " not found in Imports or workspace source."
                         : "Load failed: " + name + " " + core::FileReadFailureText(failure) + " in the workspace source.";
            return false;
        }
    }
    std::string error;
    if (!LoadTimecycleModifierFile(slot, text, error)) {
        status = "Load failed: " + error;
        return false;
    }
    status = "Loaded " + name + ".";
    return true;
}

void LoadAllTimecycleModFiles() {
    int attempted = 0, loaded = 0;
    std::string failed;
    for (int slot = 0; slot < kModFileSlots; ++slot) {
        if (!TimecycleModsFileExists(slot) && !TimecycleModsWideExists(slot)) continue;
        ++attempted;
        std::string status;
        if (LoadTimecycleModSlot(slot, status)) {
            ++loaded;
        } else {
            if (!failed.empty()) failed += ", ";
            failed += TimecycleModsFileName(slot);
        }
    }
    std::string summary;
    if (attempted == 0) {
        summary = "No Timecycle Mod .xml files found.";
    } else if (loaded == attempted) {
        summary = "Loaded " + std::to_string(loaded) + " Timecycle Mod .xml " + (loaded == 1 ? "file" : "files") + ".";
    } else {
        summary = "Loaded " + std::to_string(loaded) + " / " + std::to_string(attempted) +
                  " Timecycle Mod .xml files. Failed: " + failed;
    }
    ModifierLock lock(ModifierMutex());
    ModifierFiles.status = summary;
}

// ---- Edits ---------------------------------------------------------------------------------

uint64_t CountEditedRowsOf(const TimecycleModFileSlot& slot) {
    uint64_t count = 0;
    for (const TimecycleModifier& m : slot.modifiers)
        for (const ModifierRow& row : m.rows) count += RowEdited(row) ? 1 : 0;
    return count;
}

bool ModifierHasEdits(const TimecycleModifier& modifier) {
    return std::any_of(modifier.rows.begin(), modifier.rows.end(), RowEdited);
}

namespace {

TimecycleModifier* ModifierAt(int slot, int modifier) {
    if (slot < 0 || slot >= kModFileSlots) return nullptr;
    TimecycleModFileSlot& s = ModifierFiles.slots[static_cast<size_t>(slot)];
    if (!s.loaded || modifier < 0 || static_cast<size_t>(modifier) >= s.modifiers.size()) return nullptr;
    return &s.modifiers[static_cast<size_t>(modifier)];
}

void BumpRevision(int slot) {
    ++ModifierFiles.editRevision;
    ModifierFiles.fileRevision[static_cast<size_t>(slot)] = ModifierFiles.editRevision;
}

void ResetRows(TimecycleModifier& m) {
    for (ModifierRow& row : m.rows) {
        row.valueA = row.fileA;
        row.valueB = row.fileB;
        row.editStamp = 0;
    }
}

}  // namespace

void SetModifierRowValues(int slot, int modifier, size_t row, float a, float b) {
    ModifierLock lock(ModifierMutex());
    TimecycleModifier* m = ModifierAt(slot, modifier);
    if (!m || row >= m->rows.size()) return;
    BumpRevision(slot);
    ModifierRow& r = m->rows[row];
    r.valueA = a;
    r.valueB = b;
    r.editStamp = ModifierFiles.editRevision;
}

void ResetModifierRow(int slot, int modifier, size_t row) {
    ModifierLock lock(ModifierMutex());
    TimecycleModifier* m = ModifierAt(slot, modifier);
    if (!m || row >= m->rows.size()) return;
    ModifierRow& r = m->rows[row];
    r.valueA = r.fileA;
    r.valueB = r.fileB;
    r.editStamp = 0;
    BumpRevision(slot);
}

void ResetModifierRows(int slot, int modifier) {
    ModifierLock lock(ModifierMutex());
    TimecycleModifier* m = ModifierAt(slot, modifier);
    if (!m) return;
    ResetRows(*m);
    BumpRevision(slot);
}

void ResetModifierFileRows(int slot) {
    ModifierLock lock(ModifierMutex());
    if (slot < 0 || slot >= kModFileSlots || !ModifierFiles.slots[static_cast<size_t>(slot)].loaded) return;
    for (TimecycleModifier& m : ModifierFiles.slots[static_cast<size_t>(slot)].modifiers) ResetRows(m);
    BumpRevision(slot);
}

}  // namespace timecycle
