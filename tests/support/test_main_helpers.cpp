// Shared by every test program: where the real game files are.
#include "support/testdata.h"

#include <cstdlib>
#include <filesystem>

namespace testsupport {

std::string SharedTestdataDir() {
#ifdef VARNEL_SHARED_TESTDATA_DIR
    return VARNEL_SHARED_TESTDATA_DIR;
#else
    return {};
#endif
}

std::vector<std::string> RealFiles(const std::string& subfolder) {
    std::vector<std::string> files;
    std::vector<std::string> roots;
    const std::string shared = SharedTestdataDir();
    if (!shared.empty()) roots.push_back(shared + "/real/" + subfolder);
    if (const char* extra = std::getenv("VARNEL_EXTRA_TESTDATA"); extra && *extra)
        roots.push_back(std::string(extra) + "/" + subfolder);
    for (const std::string& root : roots) {
        std::error_code ec;
        if (!std::filesystem::is_directory(root, ec)) continue;
        for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_regular_file(ec)) files.push_back(it->path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace testsupport
