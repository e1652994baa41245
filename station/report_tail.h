// What of a report file the line's database still lacks: the complete lines past the shipper's
// position, and that position, kept in a small file beside the report (REPORT.shipped) that is
// replaced whole each time it moves.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace knot::station {
// How far the database has the report: the byte after the last line shipped, and its number.
struct ShippedPosition {
    std::uint64_t offset = 0;
    std::uint64_t line = 0;
};

struct ReportLine {
    std::string_view text; // without its line end
    ShippedPosition after; // the position once this line is shipped
};

struct ReportTail {
    std::string bytes;             // what was read; the lines point into it
    std::vector<ReportLine> lines; // complete lines only: a line still being written waits
    bool restarted = false;        // the report is shorter than the position: read from its start
};

// The position file of `report`.
std::string PositionPath(const std::string& report);
// The saved position; the start of the report when there is none or it cannot be read.
ShippedPosition ReadPosition(const std::string& positionPath);
// Replaces the position file (synced to the disk first); false with the system's reason.
bool SavePosition(const std::string& positionPath, ShippedPosition position, std::string& why);

// Reads `report` from `from` on, at most `limit` bytes; false with the system's reason.
bool ReadReportTail(const std::string& report, ShippedPosition from, std::size_t limit,
                    ReportTail& tail, std::string& why);

} // namespace knot::station
