// libFuzzer target of visualsettings.dat: the import, the layout reader and
// the export over any text. The import counts as many key lines as the line
// parser takes and never more applied than parsed; every parsed value is
// finite. The layout is never empty, its kept keys are spelled as the
// editor spells them and "Ausgeschlossen" comes last. The export with no
// edit gives the text back byte for byte; with edits it keeps the number
// and endings of the lines and changes only lines of edited keys, whose
// rewritten value reads back as the edited value.
// Real seeds: visualsettings
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_utils.h"
#include "visualsettings/dat_export.h"
#include "visualsettings/dat_import.h"
#include "visualsettings/layout_reader.h"
#include "visualsettings/param_switch.h"
#include "visualsettings/runtime_table.h"
#include "visualsettings/walkers.h"

namespace {

using namespace visualsettings;

void Require(bool condition) {
    if (!condition) std::abort();
}

// Lines with their endings, as the export copies them.
std::vector<std::string_view> LinesWithEndings(std::string_view text) {
    std::vector<std::string_view> out;
    size_t p = 0;
    while (p < text.size()) {
        size_t end = p;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        if (end < text.size()) end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
        out.push_back(text.substr(p, end - p));
        p = end;
    }
    return out;
}

std::string_view Ending(std::string_view line) {
    size_t n = 0;
    while (n < line.size() && n < 2 && (line[line.size() - 1 - n] == '\n' || line[line.size() - 1 - n] == '\r')) ++n;
    return line.substr(line.size() - n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // No game here: the runtime table's search (a thread that waits 45 s) is
    // claimed as run, so the import never starts it.
    RuntimeTable.started.Set(1);
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    uint64_t parsed = 0;
    std::vector<std::string> keys;
    ForEachDatLine(text, [&](std::string_view line) {
        std::string key;
        float value = 0.0f;
        if (!ParseImportLine(line, key, value)) return;
        Require(!key.empty() && std::isfinite(value));
        ++parsed;
        if (keys.size() < 4) keys.push_back(key);
    });
    ImportVisualSettingsText(std::string(text));
    Require(DatImport.loaded == 1 && DatImport.loadedText == text);
    Require(DatImport.last.parsed == parsed && DatImport.last.applied <= parsed && DatImport.last.live <= DatImport.last.applied);

    const VisualSettingsLayout layout = ReadVisualSettingsLayout(text);
    Require(!layout.empty());
    for (size_t i = 0; i < layout.size(); ++i) {
        const bool excluded = layout[i].title == "Ausgeschlossen";
        Require(!excluded || i + 1 == layout.size());
        for (const VisualSettingsGroup& group : layout[i].items) {
            Require(!group.items.empty());
            for (const std::string& key : group.items) {
                const char* canonical = LiveMappedKey(key);
                Require(excluded ? canonical == nullptr : (canonical != nullptr && key == canonical));
            }
        }
    }

    // The export with no edit, then with the first keys of the text edited.
    EditedKeyMap edited;
    WrittenKeyMap written;
    uint64_t count = 0;
    std::string out;
    RewriteVisualSettingsTemplate(out, text, edited, written, count);
    Require(out == text && count == 0);
    const float value = size > 0 ? static_cast<float>(data[0]) * 0.37f - 20.0f : 1.5f;
    for (const std::string& key : keys) edited[LowerAscii(key)] = value;
    RewriteVisualSettingsTemplate(out, text, edited, written, count);
    const std::vector<std::string_view> before = LinesWithEndings(text);
    const std::vector<std::string_view> after = LinesWithEndings(out);
    Require(before.size() == after.size());
    uint64_t changed = 0;
    for (size_t i = 0; i < before.size(); ++i) {
        Require(Ending(before[i]) == Ending(after[i]));
        if (before[i] == after[i]) continue;
        ++changed;
        std::string line(after[i].substr(0, after[i].size() - Ending(after[i]).size()));
        std::string newLine;
        WrittenKeyMap again;
        EditedKeyMap probe = edited;
        for (auto& entry : probe) entry.second = value + 1.0f;
        // The rewritten line is still a line of an edited key with a number.
        Require(ParseTemplateLine(line, probe, again, newLine));
    }
    Require(changed <= count);
    return 0;
}
