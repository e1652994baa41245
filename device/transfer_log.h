// The rotating plain-text trace of every packet exchange: one line per send or receive.
// Every failure is silent; the log never changes what the caller returns.
#pragma once

#include "driver_port.h"
#include "file_stamp.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

namespace knot::device {
// The current file moves to the rotated name once it has more than this many lines.
inline constexpr long TRANSFER_LOG_MAX_LINES = 5000;
// Lines are counted as text-mode reads of at most this many characters; a 0x1A byte in the
// file counts as a character, so it hides no line after it.
inline constexpr std::size_t TRANSFER_LOG_READ_CHARS = 1023;

inline constexpr const char* SEND_OPERATION_NAME = "BinSendToDevice";
inline constexpr const char* RECEIVE_OPERATION_NAME = "ReceiveFromDevice";

class TransferLog {
  public:
    // Seconds since 1970-01-01 00:00:00 UTC.
    using Clock = std::function<std::int64_t()>;

    // A log at the given paths; an empty clock means the system clock.
    TransferLog(std::string currentPath, std::string rotatedPath, Clock clock = {});

    // The log at the platform's paths: under "C:\Program Files\Korvane\Shared\Data" on Windows,
    // under the user's ".local/state/Korvane/Shared/Data" (from the user database) elsewhere.
    static TransferLog AtPlatformPaths();

    // Rotates if needed, then appends "<handle>,<time>,<name>,<message>" and a line end.
    void WriteTransferLog(const char* name, const char* message, PortHandle handle);

    const std::string& currentPath() const { return m_currentPath; }
    const std::string& rotatedPath() const { return m_rotatedPath; }

  private:
    // How far a count of the current file can be carried on by adding our own lines to it.
    enum class Tail {
        Clean,   // the file ends after a line feed
        Unknown, // it ends inside a line: only a full count tells
    };
    struct Count {
        FileStamp stamp; // the file version counted
        long lines = -1; // -1: the current file did not open
        Tail tail = Tail::Unknown;
    };

    Count CountCurrentFile();
    void Remember(const Count& before, const FileStamp& opened, const FileStamp& written,
                  const std::string& line);

    std::string m_currentPath;
    std::string m_rotatedPath;
    Clock m_clock;
    std::mutex m_mutex;
    // The current file as our own last write left it; an unchanged file is not counted again.
    bool m_known = false;
    Count m_knownCount;
};

// The trace messages of a send and of a receive: "[text]<result>".
// Send: the packet's bytes up to its first zero. Receive: the buffer up to its first zero,
// without trailing space, tab, line feed, vertical tab, form feed or carriage return.
std::string FormatSendMessage(const void* bytes, std::size_t length, bool result);
std::string FormatReceiveMessage(const void* buffer, std::size_t capacity, bool result);

// The trace line for the given fields, without its line end.
std::string FormatTransferLogLine(PortHandle handle, std::int64_t time, const char* name,
                                  const char* message);

// The number of text-mode reads of at most TRANSFER_LOG_READ_CHARS characters in the file, a
// 0x1A byte read as a character; -1 when it cannot be opened.
long CountTransferLogLines(const std::string& path);

} // namespace knot::device
