// The bench record: one JSON line per unit and run, appended to a file that is never truncated.
// The file is opened (and created when missing) before any unit is touched and stays open for
// the run; each line goes out in one write, so that several knot-fdt processes can share the
// file, and is synced to the disk before the program goes on. Threads share one ReportFile.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

namespace knot::station {
class ReportFile {
  public:
    ReportFile() = default;
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // Opens `path` for appending; false with the system's reason in `why`.
    bool Open(const std::string& path, std::string& why);
    bool IsOpen() const;
    const std::string& Path() const { return m_path; }

    // Appends the line `make` gives, and a line end, unless `taken` is raised already: it is
    // raised here, so a record is appended once whoever asks for it first. False with the
    // system's reason in `why` when the line could not be written or synced.
    bool AppendOnce(std::atomic<bool>& taken, const std::function<std::string()>& make,
                    std::string& why);
    // For the program's last words: from now on only the calling thread appends. An append
    // under way on another thread ends first; any later one waits until the program has ended.
    void Seal();

  private:
    std::string m_path;
    std::recursive_mutex m_mutex; // one line at a time, whole
#ifdef _WIN32
    void* m_file = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace knot::station
