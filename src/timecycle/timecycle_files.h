// Where each weather's timecycle file is looked for and written: one rule
// for the loader, the exporter, the recognition rows and the file list.
#pragma once
#include <cstdint>
#include <string>

namespace timecycle {

// "w_" + the game name in lower case without "_" + ".xml";
// "underwater_deep.xml" for UNDERWATER_DEEP. An index above 17 is taken as 0.
std::string WeatherTimecycleFileName(uint32_t weather);
// False for UNDERWATER_DEEP and for every index above 17.
bool IsTimecycleFileWeather(uint32_t weather);
// The Imports "Timecycles" folder (or the Imports folder itself) followed by
// the file name; empty when the folder text is empty.
std::string TimecycleFileInImports(uint32_t weather);
std::string TimecycleFileInImportsRoot(uint32_t weather);
// The file in the "Timecycles" sub-folder when it is there, else the one in
// the Imports folder when that is there, else the "Timecycles" path.
std::string TimecycleFileImportPath(uint32_t weather);
bool TimecycleFileExists(uint32_t weather);
std::wstring TimecycleFileWidePath(uint32_t weather);
bool TimecycleFileWideExists(uint32_t weather);
// Creates the workspace folders, then the Exports "Timecycles" folder
// followed by the file name; empty when the folder text is empty.
std::string TimecycleFileExportPath(uint32_t weather);

}  // namespace timecycle
