// visualsettings.dat export: the template (the last imported file, else the
// file in the Imports folder) copied line by line into the Exports folder,
// with only the value text of the lines whose key the user edited replaced.
// Comments, blank lines, spacing, the keys as written and every line ending
// (CR LF, LF or CR, mixed too; a last line without one) stay byte for byte.
// A value that is not finite is never exported.
//
// Thread rule: render thread (the tab's export button); no state of its own.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "visualsettings/param_table.h"

namespace visualsettings {

// Lower-cased key to the value to export (found by a key's view too).
using EditedKeyMap = std::map<std::string, float, std::less<>>;
// Lower-cased key to whether some template line took it.
using WrittenKeyMap = std::map<std::string, bool>;

// The Exports folder (workspace folders created first) + "visualsettings.dat".
std::string ExportVisualSettingsPath();
// The export (see above); its outcome is the status line and the file.
void ExportVisualSettingsDat();

bool GetVisualSettingsTemplate(std::string& text);
// Every overridden row of the walk and overridden dark filmic slot (slots
// last; a later one wins), hidden keys, rows without a value and non-finite
// values left out.
void CollectEditedVisualKeys(EditedKeyMap& edited);
void AddEditedParamKey(EditedKeyMap& edited, const char* key, float value, bool overridden);
// The line-by-line copy; count grows by the lines rewritten. Linear in the
// template's size: one map lookup a line.
void RewriteVisualSettingsTemplate(std::string& out, std::string_view templ, const EditedKeyMap& edited,
                                   WrittenKeyMap& written, uint64_t& count);
// True when the line's value was replaced (newLine holds the line then).
bool ParseTemplateLine(std::string_view line, const EditedKeyMap& edited, WrittenKeyMap& written, std::string& newLine);

}  // namespace visualsettings
