// A trace folder per fuzzing process.
#include "fuzz_trace.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace knot::fuzz {
namespace {
// Removed with the process's static objects.
struct TempFolder {
    TempFolder()
        : path((std::filesystem::temp_directory_path() /
                ("knot-fuzz-trace-" + std::to_string(::getpid())))
                   .string()) {
        std::filesystem::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

} // namespace

const std::string& FuzzTrace::Folder() {
    static const TempFolder folder;
    return folder.path;
}

FuzzTrace::FuzzTrace()
    : m_current(Folder() + "/debugZu.txt"), m_rotated(Folder() + "/debugZu.1.txt") {
    std::remove(m_current.c_str());
    std::remove(m_rotated.c_str());
    m_log = std::make_unique<TransferLog>(m_current, m_rotated, [] { return std::int64_t{0}; });
}

FuzzTrace::~FuzzTrace() {
    std::remove(m_current.c_str());
    std::remove(m_rotated.c_str());
}

std::uint64_t FuzzTrace::Lines() const {
    std::uint64_t lines = 0;
    for (const std::string& path : {m_current, m_rotated}) {
        const long count = CountTransferLogLines(path);
        lines += count > 0 ? static_cast<std::uint64_t>(count) : 0;
    }
    return lines;
}

} // namespace knot::fuzz
