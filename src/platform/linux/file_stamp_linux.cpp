// The file stamp on the fake drive: stat of the mapped Linux path.
#include <sys/stat.h>

#include "platform/file_stamp.h"
#include "platform/simulated.h"

namespace platform {

FileStamp QueryFileStamp(const std::string& path) {
    FileStamp stamp;
    const std::string host = sim::HostPathOf(path);
    struct stat st{};
    if (host.empty() || stat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return stamp;
    stamp.exists = true;
    stamp.writeTime = static_cast<uint64_t>(st.st_mtim.tv_sec) * 10000000u + static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100u;
    stamp.size = static_cast<uint64_t>(st.st_size);
    return stamp;
}

}  // namespace platform
