// The driver port of the machine the program runs on: the vendor driver's on Windows, the unit
// simulator's elsewhere.
#pragma once

#include "driver_port.h"

#include <memory>

std::unique_ptr<DriverPort> CreatePlatformDriverPort();
