#include "atomic_file.h"

#include "file_bytes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace knot::station {
namespace {

constexpr char TEMPORARY_SUFFIX[] = ".tmp";

#ifdef _WIN32

// The program's paths are in the system's ANSI code page, as its command line gives them.
std::wstring Wide(const std::string& path) {
    const int size = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(size > 0 ? size : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), size);
    wide.resize(wide.size() - 1);
    return wide;
}

bool WriteTemporary(const std::string& temporary, std::string_view bytes, bool durable,
                    std::string& why) {
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = SystemErrorText(GetLastError());
        return false;
    }
    DWORD written = 0;
    bool good = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                written == bytes.size() && (!durable || FlushFileBuffers(file));
    if (!good) {
        why = SystemErrorText(GetLastError());
    }
    CloseHandle(file);
    return good;
}

bool Rename(const std::string& from, const std::string& to, std::string& why) {
    if (!MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        why = SystemErrorText(GetLastError());
        return false;
    }
    return true;
}
#else
bool WriteTemporary(const std::string& temporary, std::string_view bytes, bool durable,
                    std::string& why) {
    // A fresh file, never one that someone placed there (a link would send the bytes elsewhere).
    ::unlink(temporary.c_str());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        why = ErrorText(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            why = ErrorText(wrote < 0 ? errno : EIO);
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    if (durable && ::fsync(fd) != 0) {
        why = ErrorText(errno);
        ::close(fd);
        return false;
    }
    return ::close(fd) == 0 || (why = ErrorText(errno), false);
}

bool Rename(const std::string& from, const std::string& to, std::string& why) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        why = ErrorText(errno);
        return false;
    }
    return true;
}
#endif

} // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes, bool durable,
                         std::string& why) {
    const std::string temporary = path + TEMPORARY_SUFFIX;
    if (!WriteTemporary(temporary, bytes, durable, why)) {
        std::remove(temporary.c_str());
        return false;
    }
    if (!Rename(temporary, path, why)) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace knot::station
