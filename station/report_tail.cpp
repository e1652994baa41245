#include "report_tail.h"

#include "atomic_file.h"
#include "file_bytes.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <fstream>

namespace knot::station {
namespace {

constexpr char POSITION_SUFFIX[] = ".shipped";
constexpr std::size_t POSITION_LIMIT = 256;

} // namespace

std::string PositionPath(const std::string& report) {
    return report + POSITION_SUFFIX;
}

ShippedPosition ReadPosition(const std::string& positionPath) {
    std::string bytes, why;
    ShippedPosition position;
    if (!ReadFileBytes(positionPath, POSITION_LIMIT, bytes, why) ||
        std::sscanf(bytes.c_str(), "%" SCNu64 " %" SCNu64, &position.offset, &position.line) != 2) {
        return {};
    }
    return position;
}

bool SavePosition(const std::string& positionPath, ShippedPosition position, std::string& why) {
    char text[64];
    std::snprintf(text, sizeof text, "%" PRIu64 " %" PRIu64 "\n", position.offset, position.line);
    return WriteFileAtomically(positionPath, text, true, why);
}

bool ReadReportTail(const std::string& report, ShippedPosition from, std::size_t limit,
                    ReportTail& tail, std::string& why) {
    tail = ReportTail();
    errno = 0;
    std::ifstream in(report, std::ios::binary);
    if (!in) {
        why = ErrorText(errno != 0 ? errno : ENOENT);
        return false;
    }
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::uint64_t>(in.tellg());
    if (size < from.offset) {
        tail.restarted = true; // another file took the report's name
        from = {};
    }
    const std::uint64_t left = size - from.offset;
    tail.bytes.resize(static_cast<std::size_t>(left < limit ? left : limit));
    in.seekg(static_cast<std::streamoff>(from.offset));
    in.read(tail.bytes.data(), static_cast<std::streamsize>(tail.bytes.size()));
    if (static_cast<std::size_t>(in.gcount()) != tail.bytes.size()) {
        why = "the report could not be read to its end";
        return false;
    }
    ShippedPosition at = from;
    std::size_t begin = 0;
    for (std::size_t end; (end = tail.bytes.find('\n', begin)) != std::string::npos;
         begin = end + 1) {
        std::string_view text(tail.bytes.data() + begin, end - begin);
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
        }
        at.offset = from.offset + end + 1;
        ++at.line;
        tail.lines.push_back({text, at});
    }
    return true;
}

} // namespace knot::station
