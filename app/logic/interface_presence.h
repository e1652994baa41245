// Whether an interface with a given device path is present, asked of the setup service only:
// the device is not opened. The disconnect watcher uses it when the driver's event is missing.
#pragma once

#include "driver_port.h"

#include <string>
#include <vector>

// True when some present interface has exactly `devicePath`. When the service gives no set at
// all, the answer is unknown and taken as present, so that a hiccup is not reported as an unplug.
bool IsInterfacePresent(DriverPort& port, const std::string& devicePath);
// The device paths of the present interfaces in the set's order ("" for a path that cannot be
// read); none when the service gives no set. The arrival poller compares two of them, so that an
// interface swapped for another between two looks is a change although their number is not.
std::vector<std::string> PresentInterfacePaths(DriverPort& port);
