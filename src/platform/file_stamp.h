// The identity of a file for change tests: whether it exists as a file, its
// last write time and its size (GetFileAttributesExA). Readers that run
// every frame compare stamps and read the file again only when it changed.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

struct FileStamp {
    bool exists = false;     // the query succeeded and the path is not a folder
    uint64_t writeTime = 0;  // 100 ns ticks; 0 when the file does not exist
    uint64_t size = 0;       // bytes; 0 when the file does not exist
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp QueryFileStamp(const std::string& path);

}  // namespace platform
