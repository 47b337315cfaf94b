// Timecycle modifiers: the four timecycle_modifier_data files the editor
// holds at once (one per file slot), their modifiers and variable rows, where
// the files are looked for, and the reader of the format. The source text of
// each file is kept whole for the splice export (modifier_defaults.h).
//
// The format, as the game ships it:
//     <timecycle_modifier_data version="1.000000">
//       <modifier name="polluted" numMods="12" userFlags="0">
//         <fog_col_a>1.000 1.000</fog_col_a>      value, blend
//       </modifier>
//     </timecycle_modifier_data>
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace timecycle {

inline constexpr int kModFileSlots = 4;
// A row counts as edited when a value differs from the file's by more than this.
inline constexpr float kModifierEditTolerance = 1e-5f;

// The vanilla files' layout, by slot: the game's index of each file's first
// modifier, and the counts of modifiers and rows.
inline constexpr std::array<int32_t, kModFileSlots> ModifierIndexBase = {0, 637, 667, 792};
inline constexpr std::array<uint64_t, kModFileSlots> VanillaModifierCounts = {637, 30, 125, 295};
inline constexpr std::array<uint64_t, kModFileSlots> VanillaRowCounts = {19187, 596, 3018, 8080};

// One variable element of a modifier: value A ("Value") and B ("Blend"),
// as edited and as the file held them.
struct ModifierRow {
    std::string name;  // the element's tag name
    float valueA = 0.0f;
    float valueB = 0.0f;
    float fileA = 0.0f;
    float fileB = 0.0f;
    uint64_t editStamp = 0;  // edit revision of the last edit; 0 unedited or reset
    // Against the slot's reference file (MatchRowsToDefaults): a row of this
    // name is in the modifier's vanilla entry, at the same position, at
    // vanillaIndex (-1 none).
    uint8_t hasVanilla = 1;
    uint8_t samePosition = 1;
    int32_t vanillaIndex = -1;
};
bool RowEdited(const ModifierRow& row);

struct TimecycleModifier {
    std::string name;
    int32_t numMods = 0;
    int32_t globalIndex = -1;  // ModifierIndexBase[slot] + position in the file
    std::string userFlags = "0";
    std::vector<ModifierRow> rows;
};

struct TimecycleModFileSlot {
    std::string fileName;
    std::string sourceText;
    uint8_t loaded = 0;
    uint64_t totalRows = 0;
    uint64_t duplicateNames = 0;  // distinct non-empty names that occur more than once
    uint8_t commonOnly = 0;       // the layout differs from the vanilla file's
    std::vector<TimecycleModifier> modifiers;
};

// The lock of every piece of modifier state that both the render thread (the
// Timecycle Mods tab) and the script fiber (the tick's resolve step, the
// modifier refresh and the before/after hotkey) touch: the slots below, the
// live state of modifier_live.h and the activation. Recursive, so that an
// operation may call another. The fiber holds it for short steps only (a
// resolve scans game memory without it), never across a game native.
std::recursive_mutex& ModifierMutex();
using ModifierLock = std::lock_guard<std::recursive_mutex>;

// The files and the editing state of the Timecycle Mods tab.
// Thread rule: written only on the render thread, under ModifierMutex; the
// script fiber reads it only under ModifierMutex; the render thread reads
// it without the lock (no other thread writes it). A slot is replaced whole,
// under the lock, so that no reader on the fiber holds any part of it.
struct ModifierFilesState {
    std::array<TimecycleModFileSlot, kModFileSlots> slots;
    int32_t selectedFile = 0;
    int32_t selectedModifier = 0;
    uint64_t editRevision = 0;  // grows with every load, edit and reset
    std::array<uint64_t, kModFileSlots> fileRevision{};  // editRevision of each slot's last change
    std::string status;  // the tab's load and export status line
};
extern ModifierFilesState ModifierFiles;
void ResetModifierFilesState();

// ---- File names and places -------------------------------------------------------------
// "timecycle_mods_N.xml", the slot clamped to 0..3.
std::string TimecycleModsFileName(int slot);
// The Imports "Timecycle Mods" folder, or the Imports folder itself, + file name
// (empty when the folder is).
std::string TimecycleModsImportPath(int slot);
std::string TimecycleModsAltPath(int slot);
// The import path when that file exists, else the Imports-root one when that
// exists, else the import path.
std::string FindTimecycleModsFile(int slot);
bool TimecycleModsFileExists(int slot);
// The workspace source: "timecycle_mods 1-4\<file>" beside the process's
// current folder, holding the reference copies of the four files.
std::wstring TimecycleModsWidePath(int slot);
bool TimecycleModsWideExists(int slot);
// Exports "Timecycle Mods" folder (created on the way) + file name.
std::string TimecycleModsExportPath(int slot);

// ---- The format ---------------------------------------------------------------------------
// The value of attribute name="..." in a tag text: the first occurrence of
// name followed by =" up to the next double quote. False (value empty) when
// there is none or the name is empty.
bool ReadXmlAttribute(std::string_view tag, std::string_view name, std::string& value);

// One modifier element of a file: [tagStart, tagEnd) is its opening tag (">"
// included), the body lies in [bodyStart, bodyEnd) and the walk goes on at
// next. A modifier is closed by the first "</modifier>" after its tag that no
// other modifier's opening tag precedes; comments are passed over.
struct ModifierBlockText {
    uint64_t tagStart = 0;
    uint64_t tagEnd = 0;
    uint64_t bodyStart = 0;
    uint64_t bodyEnd = 0;
    uint64_t next = 0;
    bool selfClosed = false;
};
enum class ModifierBlockStep { Block, End, UnterminatedTag, Unclosed };
ModifierBlockStep NextModifierBlock(std::string_view text, uint64_t from, ModifierBlockText& block);

// Every element of a modifier body that makes a row, in document order: a
// simple <name>...</name> (no attribute, not self-closed, not inside a
// comment) whose closing tag lies inside the body and whose text is exactly
// two finite numbers. valueStart/valueEnd frame the text between the tags;
// the tokens' offsets are relative to valueStart.
struct ModifierElement {
    std::string_view name;
    uint64_t valueStart = 0;
    uint64_t valueEnd = 0;
    float a = 0.0f;
    float b = 0.0f;
    uint64_t aStart = 0, aEnd = 0, bStart = 0, bEnd = 0;
};
void ForEachModifierElement(std::string_view text, uint64_t start, uint64_t end,
                            const std::function<void(const ModifierElement&)>& visit);
// The rows of one body appended to the modifier (value = file value).
void TokenizeModifierBody(std::string_view text, uint64_t start, uint64_t end, TimecycleModifier& modifier);

// Reads a text into a new slot record (not stored). False with a message
// that starts with the file name; the record is then unusable.
bool ParseTimecycleModifierText(int slot, std::string_view text, TimecycleModFileSlot& out, std::string& error);

// Parses and checks a text; on success the slot is replaced whole (its edits
// dropped, a live mapping of it reset, its cached blocks forgotten) and true
// is returned with an empty status. A failure leaves the stored slot as it was.
bool LoadTimecycleModifierFile(int slot, std::string_view text, std::string& status);
// Reads the slot's file from Imports (or the workspace source) and loads it:
// "Loaded <file>." or "Load failed: ...".
bool LoadTimecycleModSlot(int slot, std::string& status);
// Loads every slot whose file exists; the summary goes to ModifierFiles.status.
void LoadAllTimecycleModFiles();

// Edited rows of a slot's file; 0 for a slot outside 0..3.
uint64_t CountEditedRowsOf(const TimecycleModFileSlot& slot);
bool ModifierHasEdits(const TimecycleModifier& modifier);
// The edit of a row's values from the tab: stamps it, bumps the revisions.
void SetModifierRowValues(int slot, int modifier, size_t row, float a, float b);
// Back to the file's values (editStamp 0); the revisions grow once.
void ResetModifierRow(int slot, int modifier, size_t row);
void ResetModifierRows(int slot, int modifier);
void ResetModifierFileRows(int slot);

}  // namespace timecycle
