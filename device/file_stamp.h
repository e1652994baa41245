// What identifies one version of an open file: the file itself (device and index) and its size,
// plus the modification time where no file index is known. Used to tell an unchanged file.
#pragma once

#include <cstdint>
#include <cstdio>

namespace knot::device {
struct FileStamp {
    bool valid = false;
    std::uint64_t device = 0; // 0 on Windows where the file system gives the file an index
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0; // nanoseconds; 0 where the file index alone identifies the file

    bool SameFileAs(const FileStamp& other) const {
        return valid && other.valid && device == other.device && index == other.index;
    }
    bool SameVersionAs(const FileStamp& other) const {
        return SameFileAs(other) && size == other.size && modified == other.modified;
    }
};

// The stamp of an open stream's file as it stands now (flush first); invalid when unknown.
FileStamp StampOfOpenFile(std::FILE* file);

} // namespace knot::device
