#include "report_file.h"

#include "file_bytes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace knot::station {

ReportFile::~ReportFile() {
#ifdef _WIN32
    if (m_file != nullptr) {
        CloseHandle(m_file);
    }
#else
    if (m_fd >= 0) {
        ::close(m_fd);
    }
#endif
}

bool ReportFile::IsOpen() const {
#ifdef _WIN32
    return m_file != nullptr;
#else
    return m_fd >= 0;
#endif
}

bool ReportFile::Open(const std::string& path, std::string& why) {
    m_path = path;
#ifdef _WIN32
    // Append-only access: the system puts every write at the end, whoever else appends.
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = SystemErrorText(GetLastError());
        return false;
    }
    m_file = file;
#else
    m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        why = std::strerror(errno);
        return false;
    }
#endif
    return true;
}

bool ReportFile::AppendOnce(std::atomic<bool>& taken, const std::function<std::string()>& make,
                            std::string& why) {
    std::lock_guard lock(m_mutex);
    if (!IsOpen() || taken.exchange(true)) {
        return true;
    }
    const std::string text = make() + "\n";
#ifdef _WIN32
    DWORD written = 0;
    if (!WriteFile(m_file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        !FlushFileBuffers(m_file)) {
        why = SystemErrorText(GetLastError());
        return false;
    }
    if (written != text.size()) {
        why = "the line was cut short";
        return false;
    }
#else
    // One write: with O_APPEND the whole line lands at the end, never inside another's line.
    ssize_t written;
    do {
        written = ::write(m_fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0 || ::fsync(m_fd) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (written != static_cast<ssize_t>(text.size())) {
        why = "the line was cut short";
        return false;
    }
#endif
    return true;
}

void ReportFile::Seal() {
    m_mutex.lock(); // never let go: the program ends holding it
}

} // namespace knot::station
