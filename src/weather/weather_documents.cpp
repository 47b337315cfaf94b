#include "weather/weather_documents.h"

#include "core/file_utils.h"
#include "core/workspace.h"
#include "platform/files.h"
#include "weather/render_fields.h"
#include "weather/weather_text.h"

namespace weather {

WeatherDocumentsState WeatherDocuments = {{{
    {"watertune.xml", "Watertune", "Water"},
    {"vfxlightningsettings.xml", "VFX Lightning Settings", "Lightning"},
    {"weather.xml", "Weather Settings", "Weather Settings"},
    {"weather\\blizzard_render_drop.xml", "Blizzard Render Drop", "Weather Render"},
    {"weather\\blizzard_render_ground.xml", "Blizzard Render Ground", "Weather Render"},
    {"weather\\blizzard_render_mist.xml", "Blizzard Render Mist", "Weather Render"},
    {"weather\\countryside_render_ground.xml", "Countryside Render Ground", "Weather Render"},
    {"weather\\desert_render_ground.xml", "Desert Render Ground", "Weather Render"},
    {"weather\\desert_render_ground_heavy.xml", "Desert Render Ground Heavy", "Weather Render"},
    {"weather\\firefly_render_drop.xml", "Firefly Render Drop", "Weather Render"},
    {"weather\\fly_render_drop.xml", "Fly Render Drop", "Weather Render"},
    {"weather\\lake_fog_render_drop.xml", "Lake Fog Render Drop", "Weather Render"},
    {"weather\\lake_fog_render_ground.xml", "Lake Fog Render Ground", "Weather Render"},
    {"weather\\pollen_render_drop.xml", "Pollen Render Drop", "Weather Render"},
    {"weather\\rainstorm_render_drop.xml", "Rainstorm Render Drop", "Weather Render"},
    {"weather\\rainstorm_render_ground.xml", "Rainstorm Render Ground", "Weather Render"},
    {"weather\\rainstorm_render_mist.xml", "Rainstorm Render Mist", "Weather Render"},
    {"weather\\snowheavy_render_drop.xml", "Snowheavy Render Drop", "Weather Render"},
    {"weather\\snowheavy_render_ground.xml", "Snowheavy Render Ground", "Weather Render"},
    {"weather\\snowheavy_render_mist.xml", "Snowheavy Render Mist", "Weather Render"},
    {"weather\\snowlight_render_drop.xml", "Snowlight Render Drop", "Weather Render"},
    {"weather\\thunder_render_drop.xml", "Thunder Render Drop", "Weather Render"},
    {"weather\\thunder_render_ground.xml", "Thunder Render Ground", "Weather Render"},
    {"weather\\thunder_render_mist.xml", "Thunder Render Mist", "Weather Render"},
    {"weather\\underwater_render_drop.xml", "Underwater Render Drop", "Weather Render"},
    {"weather\\underwater_render_mist.xml", "Underwater Render Mist", "Weather Render"},
    {"weather\\woodland_mist_render_ground.xml", "Woodland Mist Render Ground", "Weather Render"},
}}};

void ReleaseWeatherDocuments() {
    for (WeatherDocument& document : WeatherDocuments.WeatherDocumentRegistry) {
        std::string().swap(document.sourceText);
        std::string().swap(document.sourcePath);
        std::vector<XmlValueRecord>().swap(document.values);
        document.loaded = 0;
        document.warningCount = 0;
        document.editGeneration = 0;
        document.loadSerial = 0;
        document.kind = DocumentKind::Other;
        document.kindFound = 0;
    }
}

void ResetWeatherDocumentsState() {
    ReleaseWeatherDocuments();
    WeatherDocuments.DocumentEditGeneration = 0;
    WeatherDocuments.MiscEditorStatus = "Misc Editor idle.";
}

int32_t FindWeatherDocumentIndex(std::string_view fileName) {
    for (size_t i = 0; i < WeatherDocuments.WeatherDocumentRegistry.size(); ++i) {
        if (EqualsNoCase(WeatherDocuments.WeatherDocumentRegistry[i].fileName, fileName)) return static_cast<int32_t>(i);
    }
    return -1;
}

namespace {

std::string_view NameOf(const WeatherDocument& document) {
    return document.fileName ? std::string_view(document.fileName) : std::string_view();
}

bool HasWeatherFolderPrefix(std::string_view name) {
    return name.size() >= 8 && EqualsNoCase(name.substr(0, 7), "weather") && (name[7] == '\\' || name[7] == '/');
}

// A path made of a folder text and a name; empty when the folder is.
std::string Join(const std::string& folder, std::string_view name) {
    if (folder.empty()) return {};
    return folder + std::string(name);
}

// The import folder's getter makes Misc with it (once, not on every call).
std::string CreatedImportsMiscFolder() { return core::ImportsMiscFolder(); }

bool ExistsAsFile(const std::string& path) { return !path.empty() && platform::IsExistingFile(path); }

}  // namespace

namespace {

DocumentKind KindOfName(std::string_view name) {
    if (EqualsNoCase(name, "watertune.xml")) return DocumentKind::Watertune;
    if (EqualsNoCase(name, "vfxlightningsettings.xml")) return DocumentKind::VfxLightning;
    if (EqualsNoCase(name, "weather.xml")) return DocumentKind::WeatherXml;
    if (FindWeatherRenderFile(name) != nullptr) return DocumentKind::Render;
    return DocumentKind::Other;
}

}  // namespace

DocumentKind DocumentKindOf(const WeatherDocument& document) {
    if (document.kindFound) return document.kind;
    // Not loaded yet: a registry row is answered from a table made once.
    static const auto kRows = [] {
        std::array<DocumentKind, kWeatherDocumentCount> kinds{};
        for (size_t i = 0; i < kinds.size(); ++i) kinds[i] = KindOfName(NameOf(WeatherDocuments.WeatherDocumentRegistry[i]));
        return kinds;
    }();
    const WeatherDocument* first = WeatherDocuments.WeatherDocumentRegistry.data();
    if (&document >= first && &document < first + kWeatherDocumentCount)
        return kRows[static_cast<size_t>(&document - first)];
    return KindOfName(NameOf(document));
}

void FindDocumentKind(WeatherDocument& document) {
    document.kind = KindOfName(NameOf(document));
    document.kindFound = 1;
}

bool IsWeatherFolderFile(const WeatherDocument& document) {
    const std::string_view name = NameOf(document);
    return EqualsNoCase(name, "weather.xml") || EqualsNoCase(name, "watertune.xml") ||
           EqualsNoCase(name, "vfxlightningsettings.xml") || HasWeatherFolderPrefix(name);
}

bool IsWeatherSubfolderFile(std::string_view fileName) {
    return !EqualsNoCase(fileName, "weather.xml") && HasWeatherFolderPrefix(fileName);
}

std::string WeatherDocumentDisplayName(const WeatherDocument& document) {
    const std::string_view name = NameOf(document);
    if (IsWeatherFolderFile(document)) return core::FileNameOfPath(name);
    return std::string(name);
}

std::string WeatherDocumentFileName(const WeatherDocument& document) { return std::string(NameOf(document)); }

std::wstring WideFileName(const WeatherDocument& document) {
    std::wstring wide;
    for (const char c : NameOf(document)) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return wide;
}

std::string WeatherDocumentImportPath(const WeatherDocument& document) {
    if (IsWeatherFolderFile(document))
        return Join(core::ImportsWeatherFilesFolder(), WeatherDocumentDisplayName(document));
    return Join(CreatedImportsMiscFolder(), NameOf(document));
}

std::string WeatherDocumentMiscImportPath(const WeatherDocument& document) {
    return Join(CreatedImportsMiscFolder(), NameOf(document));
}

std::string WeatherDocumentWorkspacePath(const WeatherDocument& document) {
    return Join(core::VrnMiscFolder(), NameOf(document));
}

std::string WeatherDocumentExportPath(const WeatherDocument& document) {
    if (IsWeatherFolderFile(document))
        return Join(core::ExportsWeatherFilesFolder(), WeatherDocumentDisplayName(document));
    return Join(core::ExportsMiscFolder(), NameOf(document));
}

std::string WeatherDocumentImportReadPath(const WeatherDocument& document) {
    std::string path = WeatherDocumentImportPath(document);
    if (!ExistsAsFile(path) && IsWeatherFolderFile(document)) {
        std::string misc = WeatherDocumentMiscImportPath(document);
        if (ExistsAsFile(misc)) return misc;
    }
    return path;
}

bool WeatherDocumentImportExists(const WeatherDocument& document) {
    if (ExistsAsFile(WeatherDocumentImportPath(document))) return true;
    return IsWeatherFolderFile(document) && ExistsAsFile(WeatherDocumentMiscImportPath(document));
}

bool WeatherDocumentSourceExists(const WeatherDocument& document) {
    return WeatherDocumentImportExists(document) || ExistsAsFile(WeatherDocumentWorkspacePath(document));
}

bool ReadWeatherDocumentText(const WeatherDocument& document, std::string& text, std::string& path,
                             core::FileReadFailure* failure) {
    core::FileReadFailure importFailure = core::FileReadFailure::NotFound;
    const std::string importPath = WeatherDocumentImportReadPath(document);
    if (core::ReadTextFile(importPath, text, &importFailure)) {
        path = importPath;
        return true;
    }
    // An import file that is there but cannot be read (too large, say) is
    // reported: the workspace copy is not it.
    if (importFailure != core::FileReadFailure::NotFound && ExistsAsFile(importPath)) {
        if (failure) *failure = importFailure;
        path.clear();
        return false;
    }
    const std::string workspacePath = WeatherDocumentWorkspacePath(document);
    if (core::ReadTextFile(workspacePath, text, failure)) {
        path = workspacePath;
        return true;
    }
    if (failure && importFailure != core::FileReadFailure::NotFound) *failure = importFailure;
    path.clear();
    return false;
}

bool LoadedFromImportCopy(const WeatherDocument& document) {
    if (!document.loaded) return false;
    if (core::SameTextTrimmedNoCase(document.sourcePath, WeatherDocumentImportPath(document))) return true;
    return IsWeatherFolderFile(document) &&
           core::SameTextTrimmedNoCase(document.sourcePath, WeatherDocumentMiscImportPath(document));
}

}  // namespace weather
