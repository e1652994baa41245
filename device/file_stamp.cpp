#include "file_stamp.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <winternl.h>
#else
#include <sys/stat.h>
#endif

namespace knot::device {
#ifdef _WIN32
namespace {

// The file system's own number for a file, asked of the open handle.
constexpr auto kFileInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);
struct FileInternalInformation {
    LARGE_INTEGER indexNumber;
};

// The file's index and size, each a query the file system answers from the open handle alone.
// The volume's serial number is not asked: that query reads the volume's whole description, and
// under Wine it costs more than writing a trace line. Stamps are only ever compared for one path.
bool StampFromFileIndex(HANDLE handle, FileStamp& stamp) {
    IO_STATUS_BLOCK status;
    FileInternalInformation internal{};
    FILE_STANDARD_INFO standard;
    if (!NT_SUCCESS(NtQueryInformationFile(handle, &status, &internal, sizeof internal,
                                           kFileInternalInformation)) ||
        internal.indexNumber.QuadPart == 0 ||
        !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
        return false;
    }
    stamp.index = static_cast<std::uint64_t>(internal.indexNumber.QuadPart);
    stamp.size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
    return true;
}

} // namespace
#endif

FileStamp StampOfOpenFile(std::FILE* file) {
    FileStamp stamp;
#ifdef _WIN32
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE) {
        return stamp;
    }
    if (StampFromFileIndex(handle, stamp)) {
        stamp.valid = true;
        return stamp;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        return stamp;
    }
    stamp.device = info.dwVolumeSerialNumber;
    stamp.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    stamp.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    if (stamp.index == 0) {
        // No file index from this file system: the write time has to tell versions apart.
        stamp.modified =
            static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                      info.ftLastWriteTime.dwLowDateTime);
    }
#else
    struct stat info;
    if (fstat(fileno(file), &info) != 0) {
        return stamp;
    }
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    stamp.index = static_cast<std::uint64_t>(info.st_ino);
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                     static_cast<std::int64_t>(info.st_mtim.tv_nsec);
#endif
    stamp.valid = true;
    return stamp;
}

} // namespace knot::device
