// The bench record: one JSON line per unit and run, appended to a file that is never truncated,
// written with one append so that several knot-fdt processes can share the file, and synced to
// the disk before the program goes on.
#pragma once

#include <string>

// Appends `line` and a line end; false when the file cannot be opened, written or synced.
bool AppendReportLine(const std::string& path, const std::string& line);
