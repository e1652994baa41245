#include "connection_file.h"

#include "file_bytes.h"
#include "utf8_text.h"

#include <cstdio>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace knot::station {
namespace {

constexpr std::size_t CONNECTION_LIMIT = 64u << 10;
constexpr char WHITESPACE[] = " \t\r\n";

ConnectionString Refused(std::string text) {
    ConnectionString refused;
    refused.refusal = std::move(text);
    return refused;
}

#ifndef _WIN32
// Why the file's owner or mode lets someone else see or change it; empty when none can.
std::string WhyNotPrivate(const struct stat& info) {
    const uid_t user = ::geteuid();
    if (info.st_uid != user) {
        return "it belongs to user id " + std::to_string(info.st_uid) + ", not to user id " +
               std::to_string(user) + " who runs this program";
    }
    const unsigned others = info.st_mode & 077;
    if (others == 0) {
        return "";
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return std::string("other users can ") + ((others & 044) != 0 ? "read" : "change") +
           " it (mode " + mode + "; chmod 600 mends it)";
}

bool ReadAll(int fd, std::string& bytes, std::string& why) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            why = ErrorText(errno);
            return false;
        }
        if (got == 0) {
            return true;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > CONNECTION_LIMIT) {
            why = "it is larger than " + std::to_string(CONNECTION_LIMIT) + " bytes";
            return false;
        }
    }
}
#endif

} // namespace

ConnectionString ReadConnectionFile(const std::string& path) {
    const std::string shown = ShownText(path);
    std::string bytes, why;
#ifndef _WIN32
    // The file that is read is the file whose rights are judged.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        return Refused("cannot read the database file " + shown + ": " + ErrorText(error));
    }
    const std::string notPrivate = WhyNotPrivate(info);
    const bool read = notPrivate.empty() && ReadAll(fd, bytes, why);
    ::close(fd);
    if (!notPrivate.empty()) {
        return Refused("refusing the database file " + shown + ": " + notPrivate);
    }
#else
    const bool read = ReadFileBytes(path, CONNECTION_LIMIT, bytes, why);
#endif
    if (!read) {
        return Refused("cannot read the database file " + shown + ": " + why);
    }
    const std::size_t first = bytes.find_first_not_of(WHITESPACE);
    const std::size_t last = bytes.find_last_not_of(WHITESPACE);
    ConnectionString connection;
    if (first == std::string::npos) {
        return Refused("the database file " + shown +
                       " is empty: it should hold an ODBC connection string or DSN=NAME");
    }
    connection.text = bytes.substr(first, last - first + 1);
    if (connection.text.find_first_of("\r\n") != std::string::npos) {
        return Refused("the database file " + shown +
                       " holds more than one line: it should hold one ODBC connection string "
                       "or DSN=NAME");
    }
    return connection;
}

} // namespace knot::station
