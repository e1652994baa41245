#include "file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace knot::station {
std::string ErrorText(int error) {
    return std::strerror(error);
}

#ifdef _WIN32
std::string SystemErrorText(unsigned long error) {
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, sizeof text, nullptr);
    std::string reason = text;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason;
}
#endif

bool ReadFileBytes(const std::string& path, std::size_t limit, std::string& bytes, std::string& why,
                   int* error) {
    int ignored = 0;
    int& failure = error != nullptr ? *error : ignored;
    failure = 0;
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        failure = errno != 0 ? errno : ENOENT;
        why = ErrorText(failure);
        return false;
    }
    bytes.clear();
    char buffer[16 * 1024];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0 && bytes.size() <= limit) {
        bytes.append(buffer, got);
    }
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        failure = readError != 0 ? readError : EIO;
        why = ErrorText(failure);
        return false;
    }
    if (bytes.size() > limit) {
        why = "it is larger than " + std::to_string(limit) + " bytes";
        return false;
    }
    return true;
}

} // namespace knot::station
