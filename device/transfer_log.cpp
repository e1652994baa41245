#include "transfer_log.h"

#include "text_stream.h"

#include <array>
#include <cstring>
#include <ctime>
#include <string_view>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace knot::device {
using namespace knot::core;

namespace {

constexpr std::string_view TRAILING_WHITE_SPACE = " \t\n\v\f\r";

#ifdef _WIN32
constexpr const char* CURRENT_LOG_PATH = "C:\\Program Files\\Korvane\\Shared\\Data\\debugZu.txt";
constexpr const char* ROTATED_LOG_PATH = "C:\\Program Files\\Korvane\\Shared\\Data\\debugZu.1.txt";
#else
constexpr const char* LOG_FOLDER_IN_HOME = "/.local/state/Korvane/Shared/Data/";
constexpr const char* CURRENT_LOG_NAME = "debugZu.txt";
constexpr const char* ROTATED_LOG_NAME = "debugZu.1.txt";
#endif

std::string BracketMessage(std::string_view text, bool result) {
    std::string message = "[";
    message.append(text);
    message.append(result ? "]<1>" : "]<0>");
    return message;
}

// The bytes up to the first zero, or all of them.
std::string_view UpToFirstZero(const void* bytes, std::size_t length) {
    const char* text = static_cast<const char*>(bytes);
    const void* zero = std::memchr(text, 0, length);
    return {text, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : length};
}

// Counts the reads a text-mode reader makes of the rest of `file`, noting the last character.
// A 0x1A byte counts as a character: were it to end the file, one traced message holding it
// would hide every later line from the count and stop the rotation for good.
long CountReads(std::FILE* file, char& lastChar, bool& failed) {
    TextLineReader reader(file, EndOfFileMark::IsACharacter);
    std::array<char, TRANSFER_LOG_READ_CHARS + 1> buffer;
    long reads = 0;
    lastChar = '\n';
    while (std::size_t n = reader.ReadLine(buffer.data(), TRANSFER_LOG_READ_CHARS)) {
        ++reads;
        lastChar = buffer[n - 1];
    }
    failed = reader.failed();
    return reads;
}

// The reads our own line adds when the file before it ends cleanly: written in text mode and
// read back, the line is itself again, so only its line feeds and its length matter.
long ReadsOfOwnLine(std::string_view line) {
    long reads = 0;
    while (!line.empty()) {
        std::size_t lf = line.find('\n');
        std::size_t length = lf == std::string_view::npos ? line.size() : lf + 1;
        reads +=
            static_cast<long>((length + TRANSFER_LOG_READ_CHARS - 1) / TRANSFER_LOG_READ_CHARS);
        line.remove_prefix(length);
    }
    return reads;
}

std::size_t TextModeSize(std::string_view text) {
    std::size_t size = text.size();
    for (char c : text) {
        size += c == '\n';
    }
    return size;
}

} // namespace

std::string FormatSendMessage(const void* bytes, std::size_t length, bool result) {
    return BracketMessage(UpToFirstZero(bytes, length), result);
}

std::string FormatReceiveMessage(const void* buffer, std::size_t capacity, bool result) {
    std::string_view text = UpToFirstZero(buffer, capacity);
    std::size_t last = text.find_last_not_of(TRAILING_WHITE_SPACE);
    text = text.substr(0, last == std::string_view::npos ? 0 : last + 1);
    return BracketMessage(text, result);
}

std::string FormatTransferLogLine(PortHandle handle, std::int64_t time, const char* name,
                                  const char* message) {
    // Handles are shown as the 32-bit values the driver's programs have always printed.
    char fields[96];
    std::snprintf(fields, sizeof fields, "%8X,%lld,%20s,",
                  static_cast<unsigned>(handle & 0xFFFFFFFFu), static_cast<long long>(time), name);
    return std::string(fields) + message;
}

long CountTransferLogLines(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return -1;
    }
    char lastChar;
    bool failed;
    long lines = CountReads(file, lastChar, failed);
    std::fclose(file);
    return lines;
}

TransferLog::TransferLog(std::string currentPath, std::string rotatedPath, Clock clock)
    : m_currentPath(std::move(currentPath)), m_rotatedPath(std::move(rotatedPath)),
      m_clock(clock ? std::move(clock)
                    : Clock([] { return static_cast<std::int64_t>(std::time(nullptr)); })) {}

TransferLog TransferLog::AtPlatformPaths() {
#ifdef _WIN32
    return TransferLog(CURRENT_LOG_PATH, ROTATED_LOG_PATH);
#else
    // The user database, not the environment, says where home is. Without it, no log.
    std::string folder;
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
        folder = std::string(user->pw_dir) + LOG_FOLDER_IN_HOME;
    }
    if (folder.empty()) {
        return TransferLog(std::string(), std::string());
    }
    return TransferLog(folder + CURRENT_LOG_NAME, folder + ROTATED_LOG_NAME);
#endif
}

TransferLog::Count TransferLog::CountCurrentFile() {
    Count count;
    std::FILE* file = std::fopen(m_currentPath.c_str(), "rb");
    if (file == nullptr) {
        return count;
    }
    count.stamp = StampOfOpenFile(file);
    if (m_known && count.stamp.SameVersionAs(m_knownCount.stamp)) {
        std::fclose(file);
        count.lines = m_knownCount.lines;
        count.tail = m_knownCount.tail;
        return count;
    }
    char lastChar;
    bool failed;
    count.lines = CountReads(file, lastChar, failed);
    count.tail = !failed && lastChar == '\n' ? Tail::Clean : Tail::Unknown;
    std::fclose(file);
    return count;
}

void TransferLog::Remember(const Count& before, const FileStamp& opened, const FileStamp& written,
                           const std::string& line) {
    m_known = false;
    if (!opened.SameFileAs(written) || written.size != opened.size + TextModeSize(line)) {
        return; // someone else wrote too, or the stamps are unknown: count afresh next time
    }
    Count after{written, 0, Tail::Clean};
    if (opened.size == 0) {
        after.lines = 0; // a new or emptied file, as after our own rotation
    } else if (before.lines >= 0 && before.stamp.SameVersionAs(opened) &&
               before.tail == Tail::Clean) {
        after.lines = before.lines;
    } else {
        return;
    }
    after.lines += ReadsOfOwnLine(line);
    m_knownCount = after;
    m_known = true;
}

void TransferLog::WriteTransferLog(const char* name, const char* message, PortHandle handle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Count before = CountCurrentFile();
    if (before.lines > TRANSFER_LOG_MAX_LINES) {
        // Only the newest generation is kept; both results are ignored, as a failed rename
        // leaves the current file growing and retried at the next line.
        std::remove(m_rotatedPath.c_str());
        std::rename(m_currentPath.c_str(), m_rotatedPath.c_str());
    }
    std::FILE* file = std::fopen(m_currentPath.c_str(), "a+b");
    if (file == nullptr) {
        m_known = false;
        return;
    }
    const FileStamp opened = StampOfOpenFile(file);
    const std::string line = FormatTransferLogLine(handle, m_clock(), name, message) + "\n";
    const bool wrote = WriteTextMode(file, line) && std::fflush(file) == 0;
    const FileStamp written = StampOfOpenFile(file);
    std::fclose(file);
    if (wrote) {
        Remember(before, opened, written, line);
    } else {
        m_known = false;
    }
}

} // namespace knot::device
