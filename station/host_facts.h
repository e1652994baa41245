// What knot-fdt asks of the machine it runs on, kept apart from the code that includes the
// unit's driver interface (the system headers of Windows rename some of its names).
#pragma once

#include <string>

namespace knot::station {
// This machine's name, or "" when it cannot be read.
std::string HostName();
// The current time in UTC as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcTimestamp();

} // namespace knot::station
