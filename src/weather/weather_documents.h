// The 27 weather-family XML documents: watertune.xml,
// vfxlightningsettings.xml, weather.xml and the 24 weather render files.
// Each has one fixed row of WeatherDocumentRegistry holding its names, the
// text it was loaded from and the values found in that text. This file also
// says where a document is looked for in the workspace and where it is
// written.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_utils.h"
#include "weather/xml_scanner.h"

namespace weather {

inline constexpr size_t kWeatherDocumentCount = 27;

// What a document is live: watertune.xml, vfxlightningsettings.xml,
// weather.xml (file names ignoring case), one of the 24 render documents, or
// none of these.
enum class DocumentKind : uint8_t { Watertune, VfxLightning, WeatherXml, Render, Other };

struct WeatherDocument {
    const char* fileName;  // registry key, compared ignoring case; render files carry "weather\"
    const char* title;     // heading of the document's panel
    const char* category;  // "Water", "Lightning", "Weather Settings" or "Weather Render"
    std::string sourceText;  // the whole file as read; every value's offsets point into it
    std::string sourcePath;  // where it was read from
    std::vector<XmlValueRecord> values;  // in scan order
    uint8_t loaded = 0;
    uint64_t warningCount = 0;
    uint64_t editGeneration = 0;  // 0 after a load; each edit or reset stores the next DocumentEditGeneration
    uint64_t loadSerial = 0;      // a new number for each load (0 while never loaded)
    DocumentKind kind = DocumentKind::Other;  // found from the file name when it loads
    uint8_t kindFound = 0;                    // 1 once kind holds it
};

// The documents' state. The tabs (render thread), the before/after hotkey
// (script fiber) and the unload use it under WeatherLive.lock (live_state.h).
struct WeatherDocumentsState {
    // One fixed row per document, names set at process start.
    std::array<WeatherDocument, kWeatherDocumentCount> WeatherDocumentRegistry;
    // Bumped (then stored in the document) by every value edit and every reset.
    uint64_t DocumentEditGeneration = 0;
    // The status line of the weather documents' operations.
    std::string MiscEditorStatus = "Misc Editor idle.";
};
extern WeatherDocumentsState WeatherDocuments;
// Every row released (ReleaseWeatherDocuments), the generation 0 and the
// status idle, as at process start (tests).
void ResetWeatherDocumentsState();

// Releases every row's text, path and values and marks it unloaded (unload,
// and a fresh start for tests).
void ReleaseWeatherDocuments();

// The row whose file name equals fileName ignoring case; -1 when none.
int32_t FindWeatherDocumentIndex(std::string_view fileName);

// ---- Classification and names ---------------------------------------------

// The kind kept with the document when it loads (FindDocumentKind); until
// then a registry row's from a table made once, any other document's from
// its file name.
DocumentKind DocumentKindOf(const WeatherDocument& document);
// Works out the kind from the file name and keeps it with the document.
void FindDocumentKind(WeatherDocument& document);

// weather.xml, watertune.xml, vfxlightningsettings.xml or "weather\..." / "weather/...".
bool IsWeatherFolderFile(const WeatherDocument& document);
// The 24 render documents: not weather.xml, beginning with "weather\" or "weather/".
bool IsWeatherSubfolderFile(std::string_view fileName);
// The base file name for a weather-folder file ("rainstorm_render_drop.xml"),
// the file name otherwise. Messages name documents by it.
std::string WeatherDocumentDisplayName(const WeatherDocument& document);
std::string WeatherDocumentFileName(const WeatherDocument& document);
std::wstring WideFileName(const WeatherDocument& document);

// ---- Paths (empty when their folder can't be formed) --------------------------

std::string WeatherDocumentImportPath(const WeatherDocument& document);
std::string WeatherDocumentMiscImportPath(const WeatherDocument& document);
std::string WeatherDocumentWorkspacePath(const WeatherDocument& document);
std::string WeatherDocumentExportPath(const WeatherDocument& document);
// The import path, or the Misc import path when only that one exists as a file.
std::string WeatherDocumentImportReadPath(const WeatherDocument& document);

bool WeatherDocumentImportExists(const WeatherDocument& document);
bool WeatherDocumentSourceExists(const WeatherDocument& document);
// The import copy (or its Misc fallback), else the workspace copy; the path
// actually read goes to path. False (path empty) when neither reads;
// *failure (when given) then says why, for the first copy that is there.
bool ReadWeatherDocumentText(const WeatherDocument& document, std::string& text, std::string& path,
                             core::FileReadFailure* failure = nullptr);
// Loaded, and read from the import path (or, for a weather-folder file, the
// Misc import path).
bool LoadedFromImportCopy(const WeatherDocument& document);

}  // namespace weather
