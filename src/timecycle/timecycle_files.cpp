#include "timecycle/timecycle_files.h"

#include "core/file_utils.h"
#include "core/text.h"
#include "core/workspace.h"
#include "platform/files.h"
#include "timecycle/timecycle_model.h"
#include "timecycle/timecycle_tables.h"

namespace timecycle {

namespace {

bool IsFile(const std::string& path) { return !path.empty() && platform::IsExistingFile(path); }

std::string InFolder(const std::string& folder, uint32_t weather) {
    if (folder.empty()) return {};
    return folder + WeatherTimecycleFileName(weather);
}

}  // namespace

std::string WeatherTimecycleFileName(uint32_t weather) {
    const WeatherName& row = WeatherNameTable[weather < kWeatherCount ? weather : 0];
    if (core::EqualsNoCase(row.gameName, "UNDERWATER_DEEP")) return "underwater_deep.xml";
    std::string name = "w_";
    for (const char* p = row.gameName; *p; ++p) {
        if (*p != '_') name.push_back(core::LowerByte(*p));
    }
    return name + ".xml";
}

bool IsTimecycleFileWeather(uint32_t weather) {
    return weather <= 17 && !core::EqualsNoCase(WeatherNameTable[weather].gameName, "UNDERWATER_DEEP");
}

std::string TimecycleFileInImports(uint32_t weather) {
    return InFolder(core::ImportsTimecyclesFolder(), weather);
}

std::string TimecycleFileInImportsRoot(uint32_t weather) { return InFolder(core::ImportsFolder(), weather); }

std::string TimecycleFileImportPath(uint32_t weather) {
    const std::string inTimecycles = TimecycleFileInImports(weather);
    if (IsFile(inTimecycles)) return inTimecycles;
    const std::string inRoot = TimecycleFileInImportsRoot(weather);
    if (IsFile(inRoot)) return inRoot;
    return inTimecycles;
}

bool TimecycleFileExists(uint32_t weather) {
    return IsFile(TimecycleFileInImports(weather)) || IsFile(TimecycleFileInImportsRoot(weather));
}

std::wstring TimecycleFileWidePath(uint32_t weather) { return core::WidenAscii(TimecycleFileImportPath(weather)); }

bool TimecycleFileWideExists(uint32_t weather) {
    const std::wstring path = TimecycleFileWidePath(weather);
    if (path.empty()) return false;
    const uint32_t attributes = platform::FileAttributesWide(path);
    return attributes != platform::kInvalidFileAttributes && (attributes & platform::kFileAttributeDirectory) == 0;
}

std::string TimecycleFileExportPath(uint32_t weather) {
    core::EnsureWorkspaceFolders();
    return InFolder(core::ExportsTimecyclesFolder(), weather);
}

}  // namespace timecycle
