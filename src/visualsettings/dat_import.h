// visualsettings.dat import: the user's file in the Imports folder becomes
// the editor's values. Every key the editor knows goes into its parameter
// rows (and, where the game location is known, into the running game); the
// file's whole text is kept as the export's template; the layout reader is
// asked to read the file again; the one search of the run for the game's
// runtime table is started; the area's status line gets the counts.
//
// Lines end at CR, LF or CR LF. A key line is a key and a number separated
// by white space; "#" starts a comment line and "//" a comment to the end
// of the line. Numbers are read independently of the C locale; a value that
// is not finite is no value.
//
// Thread rule: the import runs on the render thread (the tab's load
// button); DatImport is written and read there only (the export reads the
// template on the same thread). The status line is the guarded
// Switch.importExportStatus. The import never waits for the runtime table:
// it starts the search (on its own thread) and uses the table when it is
// ready already.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace visualsettings {

struct ImportCounts {
    uint64_t parsed = 0;   // key lines the parser took
    uint64_t applied = 0;  // went into a row, a dark filmic slot or a runtime-table key
    uint64_t live = 0;     // applied with live writing allowed
    uint64_t unknown = 0;  // nothing knows the key
};

// The import's state; the thread rule above.
struct DatImportState {
    std::string loadedText;  // the last imported file, byte for byte; empty after a failed import
    uint8_t loaded = 0;      // 1 after a successful import, 0 after a failed one
    ImportCounts last;       // the counts of the last import that read its file
    uint64_t imports = 0;    // imports run (tests)
};
extern DatImportState DatImport;

struct ImportOptions {
    // Values far from their reference (CheckImportedValue) are passed over.
    bool checkPlausibility = false;
    // Keep writing live even when the file holds keys outside the import key list.
    bool forceLive = true;
};

// The Imports folder (workspace folders created first) + "visualsettings.dat";
// empty when the folder text is empty.
std::string ImportVisualSettingsPath();
bool ImportVisualSettingsExists();

// The import (see above). Its outcome is the status line and DatImport.
void ImportVisualSettingsDat(const ImportOptions& options = {});
// The same over a text already read (the file's bytes); path names it in
// no message (the benchmark and the fuzz target call this).
void ImportVisualSettingsText(std::string text, const ImportOptions& options = {});

// A key line: key and value (finite) out. "//" ends the line; "#" first
// makes a comment; a number followed by other characters counts ("0.5f").
bool ParseImportLine(std::string_view line, std::string& key, float& value);

// Calls visit(line) for every line of text; lines end at CR LF, LF or CR
// (the ending is not part of the line). A text ending in a line end has no
// empty last line.
template <typename Visit>
void ForEachDatLine(std::string_view text, Visit&& visit) {
    size_t p = 0;
    while (p < text.size()) {
        size_t end = p;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
        visit(text.substr(p, end - p));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
        p = end + 1;
    }
}

// Lower-cased key (A-Z only) to its reference value: every parameter row's
// default, the dark filmic slots' captured originals, the reference rows of
// the runtime table.
using ImportKeyList = std::map<std::string, float>;
void BuildImportKeyList(ImportKeyList& keys);

// A value for a dark filmic slot named key (ignoring case); false when none.
bool WriteImportedValueLive(const char* key, float value, bool live);
// A value for a runtime-table key without a row; false for no such key or,
// live, when the write or its read-back fails.
bool WriteRuntimeKeyValue(const char* key, float value, bool live);
// True when the imported value is implausible against its reference.
bool CheckImportedValue(const char* key, float imported, float reference);

// ASCII lower case (A-Z only).
std::string LowerAscii(std::string_view text);

// Back to the start of the run (tests).
void ResetDatImportForTesting();

}  // namespace visualsettings
