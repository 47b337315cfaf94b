#include "weather/document_io.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <utility>
#include <vector>

#include "core/file_utils.h"
#include "core/workspace.h"
#include "weather/weather_text.h"
#include "weather/weather_xml_model.h"

namespace weather {

namespace {

void NextEditGeneration(WeatherDocument& document) { document.editGeneration = ++WeatherDocuments.DocumentEditGeneration; }

// Numbers the loads, so that what was made from a document's values is
// never taken for what a later load of it holds.
uint64_t NextLoadSerial() {
    static std::atomic<uint64_t> serial{0};
    return ++serial;
}

// Characters that would end or break the markup around a spliced value, or
// that XML does not allow at all (control characters other than tab and
// line ends).
bool BreaksMarkup(std::string_view text) {
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\'' || c == '<' || c == '>' || c == '&') return true;
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') return true;
    }
    return false;
}

// One number as the array scan reads it, and nothing else: no blank, no
// second number, not infinite or NaN.
bool IsOneFiniteNumber(std::string_view text) {
    float number = 0.0f;
    size_t used = 0;
    return !text.empty() && !core::IsSpaceByte(static_cast<unsigned char>(text.front())) &&
           core::ParseFloatPrefix(text, number, &used) && used == text.size() && std::isfinite(number);
}

}  // namespace

bool LoadWeatherDocument(size_t index, std::string& status) {
    if (index >= kWeatherDocumentCount) {
        status = "Load failed: invalid Misc .xml index.";
        return false;
    }
    WeatherDocument& document = WeatherDocuments.WeatherDocumentRegistry[index];
    const std::string name = WeatherDocumentDisplayName(document);
    std::string text;
    std::string path;
    core::FileReadFailure failure = core::FileReadFailure::NotFound;
    if (!ReadWeatherDocumentText(document, text, path, &failure)) {
        status = failure != core::FileReadFailure::NotFound
                     ? "Load failed: " + name + " " + core::FileReadFailureText(failure) + "."
                     : "Load failed: " + name + " not found in " +
                           (IsWeatherFolderFile(document) ? "VRN\\Imports\\Weather Files" : "VRN\\Imports\\Misc") +
                           " or VRN\\Misc.";
        return false;
    }
    return LoadWeatherDocumentText(index, std::move(text), std::move(path), status);
}

bool LoadWeatherDocumentText(size_t index, std::string text, std::string path, std::string& status) {
    if (index >= kWeatherDocumentCount) {
        status = "Load failed: invalid Misc .xml index.";
        return false;
    }
    WeatherDocument& document = WeatherDocuments.WeatherDocumentRegistry[index];
    FindDocumentKind(document);
    const std::string name = WeatherDocumentDisplayName(document);
    std::vector<XmlValueRecord> records;
    uint64_t warnings = 0;
    if (!ScanXmlValues(text, records, warnings)) {
        status = "Load failed: no editable value/x/y/z/w attributes found in " + name + ".";
        return false;
    }
    if (document.kind == DocumentKind::WeatherXml) {
        FilterWeatherXmlLiveValues(text, records, warnings);
        if (records.empty()) {
            status = "Load failed: weather.xml has no live-supported WeatherTypes or WeatherGpuFx values.";
            return false;
        }
    }
    document.sourceText = std::move(text);
    document.sourcePath = std::move(path);
    document.values = std::move(records);
    document.warningCount = warnings;
    document.loaded = 1;
    document.editGeneration = 0;
    document.loadSerial = NextLoadSerial();
    status = "Loaded " + name;
    if (warnings != 0) status += ". Warnings: " + std::to_string(warnings);
    status += ".";
    return true;
}

void ResetWeatherDocument(WeatherDocument& document) {
    for (XmlValueRecord& value : document.values) {
        value.currentText = value.originalText;
        ParseRecordValue(value);
    }
    NextEditGeneration(document);
}

bool SetWeatherValueText(WeatherDocument& document, size_t valueIndex, std::string_view text, std::string& status) {
    if (valueIndex >= document.values.size()) {
        status = "Value change failed: " + WeatherDocumentDisplayName(document) + " has no such value.";
        return false;
    }
    XmlValueRecord& value = document.values[valueIndex];
    if (BreaksMarkup(text)) {
        status = "Value change refused: quotes, <, >, & and control characters cannot be written into " +
                 value.path + ".";
        return false;
    }
    if (value.arrayNumber && !IsOneFiniteNumber(text)) {
        // Anything else would change how many numbers the array holds, or
        // drop them all, when the file is read again.
        status = "Value change refused: " + value.path + " takes one finite number.";
        return false;
    }
    value.currentText.assign(text);
    ParseRecordValue(value);
    NextEditGeneration(document);
    return true;
}

void ResetWeatherValue(WeatherDocument& document, size_t valueIndex) {
    if (valueIndex >= document.values.size()) return;
    XmlValueRecord& value = document.values[valueIndex];
    value.currentText = value.originalText;
    ParseRecordValue(value);
    NextEditGeneration(document);
}

void WriteMiscXml(std::string& text, const WeatherDocument& document, uint64_t& editCount) {
    struct SpliceEdit {
        uint64_t start;
        uint64_t end;
        const std::string* replacement;
    };
    std::vector<SpliceEdit> edits;
    editCount = 0;
    for (const XmlValueRecord& value : document.values) {
        if (value.currentText == value.originalText) continue;
        edits.push_back({value.startOffset, value.endOffset, &value.currentText});
        ++editCount;
    }
    const std::string& source = document.sourceText;
    if (edits.empty()) {
        text = source;
        return;
    }
    std::stable_sort(edits.begin(), edits.end(),
                     [](const SpliceEdit& a, const SpliceEdit& b) { return a.start < b.start; });
    text.clear();
    text.reserve(source.size() + 8 * edits.size());
    uint64_t cursor = 0;
    for (const SpliceEdit& edit : edits) {
        if (edit.start < cursor || edit.end > source.size() || edit.end < edit.start) continue;
        text.append(source, cursor, edit.start - cursor);
        text += *edit.replacement;
        cursor = edit.end;
    }
    text.append(source, cursor, std::string::npos);
}

bool SaveMiscXml(size_t index, uint8_t saveMode, std::string& status) {
    if (index >= kWeatherDocumentCount) {
        status = "Export failed: invalid Misc .xml index.";
        return false;
    }
    WeatherDocument& document = WeatherDocuments.WeatherDocumentRegistry[index];
    if (!document.loaded && !LoadWeatherDocument(index, status)) return false;
    std::string text;
    uint64_t editCount = 0;
    WriteMiscXml(text, document, editCount);
    const bool fromImportCopy = LoadedFromImportCopy(document);
    std::string target;
    if (saveMode) {
        target = fromImportCopy ? document.sourcePath : WeatherDocumentImportPath(document);
    } else {
        target = WeatherDocumentExportPath(document);
    }
    if (!target.empty()) core::CreateParentDirectory(target);
    if (target.empty() || !core::WriteTextFile(target, text)) {
        status = (saveMode ? "Save failed: " : "Export failed: ") + target + " not writable.";
        return false;
    }
    const char* verb = !saveMode ? "Exported " : fromImportCopy ? "Overwrote " : "Wrote import ";
    status = verb + WeatherDocumentDisplayName(document) + ".";
    return true;
}

}  // namespace weather
