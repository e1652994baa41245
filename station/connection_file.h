// The line database's ODBC connection string, read from a file so that no password stands on a
// command line; on Linux a file that other users may read or change is refused, as ssh refuses
// such a key. The string itself never appears in a message.
#pragma once

#include <string>

namespace knot::station {
struct ConnectionString {
    std::string text;    // "Driver=...;Server=...;..." or "DSN=NAME"; empty when refused
    std::string refusal; // the operator's text when the file is refused
};

ConnectionString ReadConnectionFile(const std::string& path);

} // namespace knot::station
